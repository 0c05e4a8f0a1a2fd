// Shared fixture of the engine utility tests: every test starts from a fresh engine start-up
// in a fixed locale (English, United States), with the locale variables restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "engine/util/errors.h"
#include "engine/util/startup.h"

namespace utiltest {

// Sets (or, with nullopt, unsets) environment variables for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv() = default;
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  // Only LANG set (the other locale variables unset).
  void Locale(const std::string& lang) {
    Set("LC_ALL", std::nullopt);
    Set("LC_TIME", std::nullopt);
    Set("LC_NUMERIC", std::nullopt);
    Set("LANG", lang);
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Locale("en_US.UTF-8");
    morvane::EngineStartup();
  }
  void TearDown() override { morvane::EngineShutdown(); }

  ScopedEnv env_;
};

}  // namespace utiltest
