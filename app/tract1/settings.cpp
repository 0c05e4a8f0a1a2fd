#include "app/tract1/settings.h"

#include <algorithm>

#include "platform/ini/ini_file.h"

namespace app {

void TSettings::SetAge1(int age) {
  age1_ = std::clamp(age, kMinAge, kMaxAge);
  age1Text_ = std::to_string(age1_);
}

void TSettings::SetAge2(int age) {
  age2_ = std::clamp(age, kMinAge, kMaxAge);
  age2Text_ = std::to_string(age2_);
}

std::string SettingsFileName(const std::string& programFolder) {
  return programFolder + "agemill.ini";
}

void ReadSettingsFile(const std::string& fileName, TSettings& s) {
  const platform::ini::IniFile ini(fileName);
  const char* sec = kSettingsSection;
  s.optfile1 = ini.ReadString(sec, "optfile1", s.optfile1);
  s.optfile2 = ini.ReadString(sec, "optfile2", s.optfile2);
  s.optfile3 = ini.ReadString(sec, "optfile3", s.optfile3);
  s.opt4 = ini.ReadString(sec, "opt4", s.opt4);
  s.SetAge1(ini.ReadInteger(sec, "age1", s.age1()));
  s.SetAge2(ini.ReadInteger(sec, "age2", s.age2()));
  s.databasename = ini.ReadString(sec, "databasename", s.databasename);
  s.database1 = ini.ReadInteger(sec, "database1", s.database1);
  s.griddisplay1 = ini.ReadInteger(sec, "griddisplay1", s.griddisplay1);
}

void WriteSettingsFile(const std::string& fileName, const TSettings& s) {
  platform::ini::IniFile ini(fileName);
  const char* sec = kSettingsSection;
  ini.WriteString(sec, "optfile1", s.optfile1);
  ini.WriteString(sec, "optfile2", s.optfile2);
  ini.WriteString(sec, "optfile3", s.optfile3);
  ini.WriteString(sec, "opt4", s.opt4);
  ini.WriteInteger(sec, "age1", s.age1());
  ini.WriteInteger(sec, "age2", s.age2());
  ini.WriteInteger(sec, "database1", s.database1);
  ini.WriteInteger(sec, "griddisplay1", s.griddisplay1);
  ini.WriteString(sec, "databasename", s.databasename);
}

}  // namespace app
