#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/util/errors.h"
#include "tests/util/util_test_env.h"

namespace {

using morvane::Errors;
using utiltest::EngineTest;

class ErrorsTest : public EngineTest {};

TEST_F(ErrorsTest, ErrorTextAcrossTheFamilies) {
  struct Case {
    uint16_t code;
    const char* text;
  };
  const Case cases[] = {
      {0, ""},
      {2, "Error # 2 (File not found)"},
      {7, "Error # 7 (Undefined error)"},
      {18, "Error # 18 (Too many open files)"},
      {37, "Error # 37 (Undefined error)"},
      {101, "Error # 101 (Disk write error (probable cause: Disk Full).)"},
      {158, "Error # 158 (Disk sector not found)"},
      {209, "Error # 209 (Overlay file read error)"},
      {210, "Error # 210 (Not a dBASE data file)"},
      {215, "Error # 215 (No database in use)"},
      {227, "Error # 227 (Insufficient disk space )"},
      {228, "Error # 228 (Unbalanced Push/Pop operation )"},
      {232, "Error # 232 (Undefined error)"},
      {254, "Error # 254 (Morvane internal error)"},
      {266, "Error # 266 (Invalid size)"},
      {1003, "Error # 1003 (Invalid memo address)"},
      {1019,
       "Error # 1019 (Invalid memo operation: database not open or no memo field in database)"},
      {1103, "Error # 1103 (Invalid Operation )"},
      {1201, "Error # 1201 (File not locked)"},
      {1202,
       "Error # 1202 (Semaphore file error. Possible solutions: log into network or load "
       "SHARE.EXE before running Windows)"},
      {1203, "Error # 1203 (Network Error)"},
      {1250, "Error # 1250 (Network Error)"},
      {1299, "Error # 1299 (Network Error)"},
      {1300, "Error # 1300 (File format not supported)"},
      {1301, "Error # 1301 (Undefined error)"},
      {1401, "Error # 1401 (Undefined error)"},
      {65535, "Error # 65535 (Undefined error)"},
  };
  for (const Case& c : cases) EXPECT_EQ(morvane::ErrorText(c.code), c.text) << c.code;
}

TEST_F(ErrorsTest, WithErrorCheckOffAReportIsOnlyRecorded) {
  morvane::SetErrorCheck(false);
  morvane::ReportError(215, "No database in use [SKIP]");
  EXPECT_EQ(Errors.DbfError, 215);
  EXPECT_EQ(morvane::ErrorReport(), "Error # 215 (No database in use)\r\nNo database in use [SKIP]");
  EXPECT_EQ(morvane::ErrorReport(), "");   // the detail has been taken
  EXPECT_EQ(Errors.DbfError, 215);         // the code stays until the next operation clears it
  EXPECT_EQ(Errors.ErrorDetail, "");
}

TEST_F(ErrorsTest, TakeErrorDetailClearsDetailAndLastCode) {
  morvane::SetErrorCheck(false);
  morvane::ReportError(2, "gone [USE/OpenDbf]");
  EXPECT_EQ(Errors.LastErrorCode, 2);
  EXPECT_EQ(morvane::TakeErrorDetail(), "gone [USE/OpenDbf]");
  EXPECT_EQ(Errors.LastErrorCode, 0);
  EXPECT_EQ(morvane::TakeErrorDetail(), "");
  EXPECT_EQ(Errors.DbfError, 2);
}

TEST_F(ErrorsTest, SwitchesReturnTheirFormerValue) {
  EXPECT_TRUE(morvane::SetErrorCheck(false));
  EXPECT_FALSE(morvane::SetErrorCheck(true));
  EXPECT_FALSE(morvane::SetRaiseErrors(true));
  EXPECT_TRUE(morvane::SetRaiseErrors(false));
}

// ErrorCheck on with RaiseErrors on raises; any combination with ErrorCheck off only records.
TEST_F(ErrorsTest, SwitchCombinationsThatDoNotEndTheProcess) {
  struct Case {
    bool check;
    bool raise;
    bool throws;
  };
  const Case cases[] = {{false, false, false}, {false, true, false}, {true, true, true}};
  for (const Case& c : cases) {
    morvane::EngineStartup();
    morvane::SetErrorCheck(c.check);
    morvane::SetRaiseErrors(c.raise);
    std::string message;
    try {
      morvane::ReportError(215, "No database in use [GOTOP]  WorkArea = 1");
    } catch (const morvane::EMorvaneError& e) {
      message = e.what();
    }
    EXPECT_EQ(!message.empty(), c.throws) << c.check << c.raise;
    EXPECT_EQ(Errors.DbfError, 215);
    if (c.throws) {
      // The same text the box would show; the detail has been taken.
      EXPECT_EQ(message, "Error # 215 (No database in use)\r\nNo database in use [GOTOP]  WorkArea = 1");
      EXPECT_EQ(Errors.ErrorDetail, "");
    } else {
      EXPECT_EQ(Errors.ErrorDetail, "No database in use [GOTOP]  WorkArea = 1");
    }
  }
}

TEST_F(ErrorsTest, EngineExceptionIsThePlatformException) {
  try {
    morvane::RaiseEngineError("Semaphore timeout");
    FAIL() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_STREQ(e.what(), "Semaphore timeout");
    EXPECT_NE(dynamic_cast<const morvane::EMorvaneError*>(&e), nullptr);
  }
  // RaiseEngineError raises whatever the switches say.
  morvane::SetErrorCheck(false);
  EXPECT_THROW(morvane::RaiseEngineError("x"), std::runtime_error);
}

int gHookCalls = 0;
uint16_t gHookSawLastCode = 0;
void CountingHook() {
  ++gHookCalls;
  gHookSawLastCode = Errors.LastErrorCode;
}

TEST_F(ErrorsTest, ErrorHookReplacesBoxAndException) {
  for (bool raise : {false, true}) {
    morvane::EngineStartup();
    gHookCalls = 0;
    Errors.ErrorHook = &CountingHook;
    morvane::SetRaiseErrors(raise);
    EXPECT_NO_THROW(morvane::ReportError(220, "Invalid workarea selected = [Select(40)]"));
    EXPECT_EQ(gHookCalls, 1);
    EXPECT_EQ(gHookSawLastCode, 220);
    EXPECT_EQ(Errors.ErrorDetail, "Invalid workarea selected = [Select(40)]");  // left for the hook's owner
  }
  // The hook is called even when HandleError finds no error.
  Errors.DbfError = 0;
  morvane::HandleError();
  EXPECT_EQ(gHookCalls, 2);
}

TEST_F(ErrorsTest, HandleErrorWithoutErrorOrWhenHaltedDoesNothing) {
  Errors.DbfError = 0;
  EXPECT_NO_FATAL_FAILURE(morvane::HandleError());
  Errors.Halted = true;
  morvane::SetRaiseErrors(true);
  EXPECT_NO_THROW(morvane::ReportError(215, "after the halt"));
  EXPECT_EQ(Errors.DbfError, 215);
}

std::vector<std::string> gBoxTexts;
std::vector<std::string> gBoxCaptions;
unsigned gBoxFlags = 0;
int RecordingBox(const std::string& text, const std::string& caption, unsigned flags) {
  gBoxTexts.push_back(text);
  gBoxCaptions.push_back(caption);
  gBoxFlags = flags;
  return morvane::kIdOk;
}

TEST_F(ErrorsTest, MessageBoxCutsTextAndCaptionTo255) {
  gBoxTexts.clear();
  gBoxCaptions.clear();
  const morvane::MessageBoxProc previous = morvane::SetEngineMessageBoxHook(&RecordingBox);
  EXPECT_EQ(morvane::EngineMessageBox(std::string(300, 'x'), std::string(256, 'c'), 0x30),
            morvane::kIdOk);
  EXPECT_EQ(morvane::EngineMessageBox("short", "Caption", 0), morvane::kIdOk);
  morvane::SetEngineMessageBoxHook(previous);
  ASSERT_EQ(gBoxTexts.size(), 2u);
  EXPECT_EQ(gBoxTexts[0], std::string(255, 'x'));
  EXPECT_EQ(gBoxCaptions[0], std::string(255, 'c'));
  EXPECT_EQ(gBoxTexts[1], "short");
  EXPECT_EQ(gBoxCaptions[1], "Caption");
}

using ErrorsDeathTest = ErrorsTest;

// The default switches: the box (here on standard error), then the process ends with the code.
TEST_F(ErrorsDeathTest, DefaultSwitchesShowTheBoxAndEndTheProcess) {
  EXPECT_EXIT(morvane::ReportError(215, "No database in use [SKIP]  WorkArea = 3"),
              ::testing::ExitedWithCode(215),
              "Program halted.\nError # 215 \\(No database in use\\)\nNo database in use \\[SKIP\\]  "
              "WorkArea = 3");
  // Only the low 8 bits reach the shell: 258 leaves 2.
  EXPECT_EXIT(morvane::ReportError(258, ""), ::testing::ExitedWithCode(2), "Error # 258");
}

TEST_F(ErrorsDeathTest, CodeWithZeroLowByteDoesNotExitAsSuccess) {
  EXPECT_EXIT(morvane::ReportError(1280, "net"), ::testing::ExitedWithCode(255),
              "Error # 1280 \\(Network Error\\)");
  EXPECT_EQ(morvane::ExitStatusOf(512), 255);
  EXPECT_EQ(morvane::ExitStatusOf(1003), 1003 & 0xFF);
}

int LengthReportingBox(const std::string& text, const std::string& caption, unsigned flags) {
  fprintf(stderr, "[%s] flags=%u length=%zu\n", caption.c_str(), flags, text.size());
  return morvane::kIdOk;
}

TEST_F(ErrorsDeathTest, HaltBoxGoesThroughTheHookCutTo255) {
  morvane::SetEngineMessageBoxHook(&LengthReportingBox);
  EXPECT_EXIT(morvane::ReportError(2, std::string(400, 'd')), ::testing::ExitedWithCode(2),
              "\\[Program halted.\\] flags=16 length=255");
  morvane::SetEngineMessageBoxHook(nullptr);
}

TEST_F(ErrorsTest, FreeingNothingIsReported) {
  morvane::SetErrorCheck(false);
  void* p = nullptr;
  morvane::EngineFreeMem(p, 10);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(Errors.DbfError, 9);
  EXPECT_EQ(morvane::ErrorReport(),
            "Error # 9 (Memory block address invalid)\r\nAttempt to free NIL pointer [FreeMem()]");

  morvane::SetErrorCheck(true);
  morvane::SetRaiseErrors(true);
  EXPECT_THROW(morvane::EngineFreeMem(p, 10), morvane::EMorvaneError);
}

TEST_F(ErrorsTest, MemoryBlocksAreZeroedAndReleased) {
  char* block = nullptr;
  morvane::EngineGetMem(block, 65520);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[65519], 0);
  block[65519] = 'x';
  morvane::EngineFreeMem(block, 65520);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(Errors.DbfError, 0);
  EXPECT_EQ(morvane::MaxAvail(), 2147483647);
}

TEST_F(ErrorsTest, AnsiOemConversionKeepsLength) {
  // "Février" and "März" in Windows-1252 and in code page 437.
  const std::string ansi = "F\xE9vrier M\xE4rz";
  const std::string oem = "F\x82vrier M\x84rz";
  EXPECT_EQ(morvane::AnsiToOemText(ansi), oem);
  EXPECT_EQ(morvane::OemToAnsiText(oem), ansi);
  const std::string odd = std::string("a\0\x80\xFF", 4);
  EXPECT_EQ(morvane::AnsiToOemText(odd).size(), odd.size());
  EXPECT_EQ(morvane::OemToAnsiText(odd).size(), odd.size());
}

}  // namespace
