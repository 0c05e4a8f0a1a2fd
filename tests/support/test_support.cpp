#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = (tmp && *tmp) ? tmp : "/tmp";
  std::string templ = base + "/agemill-test-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary folder under " << base;
    path_ = base;
    return;
  }
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  if (path_.find("agemill-test-") != std::string::npos) std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path) {
  Bytes b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    ADD_FAILURE() << "cannot write " << path;
    return;
  }
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFileText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

Bytes FromHex(const std::string& hex) {
  Bytes out;
  int nibble = -1;
  for (char c : hex) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else continue;
    if (nibble < 0) {
      nibble = v;
    } else {
      out.push_back(static_cast<uint8_t>(nibble * 16 + v));
      nibble = -1;
    }
  }
  return out;
}

std::string HexDump(const Bytes& bytes) {
  std::ostringstream s;
  char cell[32];  // room for any offset, so a dump is never cut short
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % 16 == 0) {
      std::snprintf(cell, sizeof cell, "%s%04zx:", i ? "\n" : "", i);
      s << cell;
    }
    std::snprintf(cell, sizeof cell, " %02x", bytes[i]);
    s << cell;
  }
  return s.str();
}

}  // namespace testsupport
