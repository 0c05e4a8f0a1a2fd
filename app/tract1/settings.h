// The application's settings: the values of section "Folders" of the settings file (folders, the
// geography list file, the Grid 3 age range, the active dataset name and two list indexes), held
// in memory for the whole run, read once at set-up and written only by the Options dialog.
#pragma once

#include <string>

namespace app {

// The settings file's section.
inline constexpr const char* kSettingsSection = "Folders";

class TSettings {
 public:
  std::string optfile1;      // datasets folder
  std::string optfile2;      // output folder
  std::string optfile3;      // geography list file
  std::string opt4;          // geography list query
  std::string databasename;  // active dataset name
  int database1 = 0;         // index of the "Active Primary Database" list
  int griddisplay1 = 0;      // index of the "Grid Display Format" list

  // The Grid 3 age range. Ages are kept between kMinAge and kMaxAge (a value outside, as a
  // hand-edited file may hold, is limited to the nearer end), because each age names a field of
  // the dataset's age categories. Beside each age its decimal text is kept (no padding), refreshed
  // whenever the age changes; both are "0" at start.
  static constexpr int kMinAge = 0, kMaxAge = 100;
  int age1() const { return age1_; }
  int age2() const { return age2_; }
  const std::string& age1Text() const { return age1Text_; }
  const std::string& age2Text() const { return age2Text_; }
  void SetAge1(int age);
  void SetAge2(int age);

 private:
  int age1_ = 0, age2_ = 0;
  std::string age1Text_ = "0", age2Text_ = "0";
};

// The settings file of a program folder (which ends with "/"): its "agemill.ini".
std::string SettingsFileName(const std::string& programFolder);

// Reads the nine keys of section "Folders" in the order optfile1, optfile2, optfile3, opt4, age1,
// age2, databasename, database1, griddisplay1, matching key names without regard to case. A key
// that is missing (or the section, or the whole file, or a file that cannot be read) keeps the
// current value; so does an integer whose text is not a decimal or "0x" hexadecimal number.
void ReadSettingsFile(const std::string& fileName, TSettings& settings);

// Writes the nine keys to section "Folders" in the order optfile1, optfile2, optfile3, opt4,
// age1, age2, database1, griddisplay1, databasename, integers as decimal text; every other key
// and section of the file is kept. Throws platform::Exception when the file cannot be written
// (the in-memory settings are unchanged).
void WriteSettingsFile(const std::string& fileName, const TSettings& settings);

}  // namespace app
