// The application tests' fixture: a private program folder (AGEMILL_HOME) and a scripted UI whose
// unexpected dialogs fail the running test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/ui/scripted_ui.h"
#include "tests/support/test_support.h"

namespace apptest {

class AppTest : public ::testing::Test {
 protected:
  AppTest() {
    const char* old = std::getenv("AGEMILL_HOME");
    if (old) oldHome_ = old;
    setenv("AGEMILL_HOME", dir.path().c_str(), 1);
    ui.SetApplicationTitle("Agemill");
  }
  ~AppTest() override {
    if (oldHome_) setenv("AGEMILL_HOME", oldHome_->c_str(), 1);
    else unsetenv("AGEMILL_HOME");
  }
  // The program folder as the program sees it (with trailing "/").
  std::string Folder() const { return dir.path() + "/"; }

  testsupport::TempDir dir;
  platform::ui::ScriptedUi ui{[](const std::string& failure) { ADD_FAILURE() << failure; }};

 private:
  std::optional<std::string> oldHome_;
};

}  // namespace apptest
