// The UI port's shared rules (message-box flags, filters, default extensions, file URLs) and the
// scripted UI that the application's tests rely on.
#include <gtest/gtest.h>

#include "platform/ui/file_dialogs.h"
#include "platform/ui/scripted_ui.h"

namespace {

using namespace platform::ui;

TEST(UiPort, MessageBoxFlagsGiveButtonsAndIcon) {
  struct Case {
    unsigned flags;
    MessageButtons buttons;
    MessageIcon icon;
  } cases[] = {
      {0x00, MessageButtons::Ok, MessageIcon::None},
      {0x10, MessageButtons::Ok, MessageIcon::Error},
      {0x21, MessageButtons::OkCancel, MessageIcon::Question},
      {0x32, MessageButtons::AbortRetryIgnore, MessageIcon::Warning},
      {0x43, MessageButtons::YesNoCancel, MessageIcon::Information},
      {0x24, MessageButtons::YesNo, MessageIcon::Question},
      {0x05, MessageButtons::RetryCancel, MessageIcon::None},
      {0x1006, MessageButtons::Ok, MessageIcon::None},  // unknown bits count as OK / no icon
      {0x50, MessageButtons::Ok, MessageIcon::None},
  };
  for (const Case& c : cases) {
    MessageBoxRequest r = MessageBoxFromFlags("t", "c", c.flags);
    EXPECT_EQ(r.buttons, c.buttons) << std::hex << c.flags;
    EXPECT_EQ(r.icon, c.icon) << std::hex << c.flags;
    EXPECT_EQ(r.text, "t");
    EXPECT_EQ(r.caption, "c");
  }
  EXPECT_EQ(DismissResult(MessageButtons::Ok), MessageResult::Ok);
  EXPECT_EQ(DismissResult(MessageButtons::YesNo), MessageResult::No);
  EXPECT_EQ(DismissResult(MessageButtons::YesNoCancel), MessageResult::Cancel);
  EXPECT_EQ(static_cast<int>(MessageResult::Yes), 6);  // IDYES
}

TEST(UiPort, FiltersAreReadAsDescriptionPatternPairs) {
  struct Case {
    const char* filter;
    std::vector<FilterEntry> entries;
  } cases[] = {
      {"", {}},
      {"CSV files (*.csv)|*.csv", {{"CSV files (*.csv)", {"*.csv"}}}},
      {"txt files (*.txt)|*.txt|All files (*.*)|*.*",
       {{"txt files (*.txt)", {"*.txt"}}, {"All files (*.*)", {"*.*"}}}},
      {"DBF files (*.dbf)", {{"DBF files (*.dbf)", {"*.dbf"}}}},  // patterns from the parentheses
      {"dbf|*.dbf", {{"dbf", {"*.dbf"}}}},
      {"Tables|*.dbf; *.DBF", {{"Tables", {"*.dbf", "*.DBF"}}}},
      {"Anything", {{"Anything", {"*"}}}},
      {"|*.htm", {{"*.htm", {"*.htm"}}}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFilter(c.filter), c.entries) << c.filter;
}

TEST(UiPort, DefaultExtensionIsAddedOnlyToANameWithoutOne) {
  struct Case {
    const char* path;
    const char* ext;
    const char* result;
  } cases[] = {
      {"/d/g1", "rtf", "/d/g1.rtf"},
      {"/d/g1.rtf", "rtf", "/d/g1.rtf"},
      {"/d/g1.txt", "rtf", "/d/g1.txt"},
      {"/d.x/g1", "csv", "/d.x/g1.csv"},  // a dot in the folder does not count
      {"/d/.hidden", "csv", "/d/.hidden.csv"},
      {"/d/g1", "", "/d/g1"},
      {"g1", "htm", "g1.htm"},
      {"/d/", "csv", "/d/"},
  };
  for (const Case& c : cases) EXPECT_EQ(ApplyDefaultExtension(c.path, c.ext), c.result) << c.path;
  EXPECT_TRUE(IsPattern("*.dbf"));
  EXPECT_TRUE(IsPattern("g?.csv"));
  EXPECT_FALSE(IsPattern("newfile.dbf"));
}

TEST(UiPort, FileUrlsEncodeEverythingButPlainPathCharacters) {
  EXPECT_EQ(FileUrl("/opt/agemill/guide.html"), "file:///opt/agemill/guide.html");
  EXPECT_EQ(FileUrl("/my dir/a#b%c.html"), "file:///my%20dir/a%23b%25c.html");
  EXPECT_EQ(FileUrl("/caf\xC3\xA9/"), "file:///caf%C3%A9/");
}

// A scripted UI whose failures are collected instead of failing the test, so that the failure
// reports themselves can be checked.
struct Collected {
  std::vector<std::string> failures;
  ScriptedUi::FailureReporter reporter() {
    return [this](const std::string& f) { failures.push_back(f); };
  }
};

TEST(ScriptedUi, AnswersDialogsFromItsQueuesAndRecordsEveryCall) {
  Collected c;
  {
    ScriptedUi ui(c.reporter());
    ui.SetApplicationTitle("Agemill");
    ui.ExpectMessage("done.");
    ui.ExpectMessageContaining("Error # 2", MessageResult::Cancel);
    ui.QueueInput("/data/DEC_10_SF1_PCT12");
    ui.QueueInput(std::nullopt);
    ui.QueueOpenFile("/data/ax.dbf");
    ui.QueueSaveFile("/out/g1");

    ui.ShowMessage("done.");
    EXPECT_EQ(ui.MessageBox({"Error # 2 (File not found)", "x", MessageIcon::Error,
                             MessageButtons::OkCancel}),
              MessageResult::Cancel);
    std::string value = "initial";
    EXPECT_TRUE(ui.InputQuery("cap", "Enter folder/name", value));
    EXPECT_EQ(value, "/data/DEC_10_SF1_PCT12");
    EXPECT_FALSE(ui.InputQuery("cap", "again", value));
    EXPECT_EQ(value, "/data/DEC_10_SF1_PCT12");  // unchanged by a cancel
    EXPECT_EQ(ui.OpenFileDialog({"Open", "/data/", "*.dbf", "DBF files (*.dbf)", "dbf"}),
              "/data/ax.dbf");
    EXPECT_EQ(ui.SaveFileDialog({"Save Grid1 to RTF", "/out/", "g1.rtf", "RTF files", "rtf"}),
              "/out/g1.rtf");  // the default extension, as a real dialog adds it
    ui.SetStatusText("one");
    ui.SetStatusText("two");
    EXPECT_TRUE(ui.OpenUrl("https://data.census.gov/"));
    ui.SetOpenUrlResult(false);
    EXPECT_FALSE(ui.OpenUrl("file:///x"));
    ui.ProcessMessages();

    EXPECT_EQ(ui.Messages()[0].caption, "Agemill");
    EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::None);
    EXPECT_EQ(ui.Inputs()[0].initial, "initial");
    EXPECT_EQ(ui.FileDialogs()[0].request.fileName, "*.dbf");
    EXPECT_TRUE(ui.FileDialogs()[1].save);
    EXPECT_EQ(ui.StatusText(), "two");
    EXPECT_EQ(ui.OpenedUrls().size(), 2u);
    EXPECT_EQ(ui.ProcessMessagesCount(), 1);
    EXPECT_EQ(ui.Calls(), (std::vector<std::string>{
                              "MessageBox [Agemill] done.",
                              "MessageBox [x] Error # 2 (File not found)",
                              "InputQuery [cap] Enter folder/name", "InputQuery [cap] again",
                              "OpenFileDialog Open", "SaveFileDialog Save Grid1 to RTF",
                              "SetStatusText one", "SetStatusText two",
                              "OpenUrl https://data.census.gov/", "OpenUrl file:///x",
                              "ProcessMessages"}));
  }
  EXPECT_TRUE(c.failures.empty()) << c.failures.front();
}

TEST(ScriptedUi, ReportsDialogsNobodyExpectedAndAnswersNobodyUsed) {
  Collected c;
  {
    ScriptedUi ui(c.reporter());
    EXPECT_EQ(ui.MessageBox({"surprise", "cap", MessageIcon::None, MessageButtons::YesNo}),
              MessageResult::No);
    std::string v;
    EXPECT_FALSE(ui.InputQuery("cap", "prompt", v));
    EXPECT_EQ(ui.OpenFileDialog({}), std::nullopt);
    EXPECT_EQ(ui.SaveFileDialog({}), std::nullopt);
    ui.ExpectMessage("done.");
    ui.ShowMessage("Not found.");  // another text than expected
    ui.ExpectMessage("never shown");
    ui.QueueSaveFile("/never/used");
    EXPECT_EQ(c.failures.size(), 5u);
  }
  ASSERT_EQ(c.failures.size(), 7u);
  EXPECT_NE(c.failures[0].find("surprise"), std::string::npos);
  EXPECT_NE(c.failures[4].find("Not found."), std::string::npos);
  EXPECT_NE(c.failures[5].find("never shown"), std::string::npos);
  EXPECT_NE(c.failures[6].find("/never/used"), std::string::npos);
}

TEST(ScriptedUi, ProgressSurfacesRecordTheirStateBeyondTheirLifetime) {
  Collected c;
  ScriptedUi ui(c.reporter());
  ui.SetScreenBounds({0, 0, 800, 600});
  EXPECT_EQ(ui.ScreenBounds().width, 800);
  EXPECT_FALSE(ui.ActiveFormBounds().has_value());
  {
    auto s = ui.CreateProgressSurface();
    EXPECT_EQ(s->MeasureText("||||"), (Size{4 * ScriptedUi::kCharWidth, ScriptedUi::kTextHeight}));
    EXPECT_EQ(s->MeasureText(""), (Size{0, 0}));
    EXPECT_EQ(s->MeasureCaption("Progress"), 8 * ScriptedUi::kCaptionCharWidth);
    s->SetCaption("Appending...");
    s->SetBorder(BorderStyle::Dialog);
    s->SetBackgroundPanelVisible(false);
    s->SetBounds({10, 20, 300, 60});
    s->SetVisible(true);
    s->SetText("|||");
  }
  ASSERT_EQ(ui.ProgressSurfaces().size(), 1u);
  const ProgressRecord& r = *ui.ProgressSurfaces()[0];
  EXPECT_EQ(r.caption, "Appending...");
  EXPECT_EQ(r.border, BorderStyle::Dialog);
  EXPECT_FALSE(r.backgroundPanelVisible);
  EXPECT_EQ(r.bounds, (Rect{10, 20, 300, 60}));
  EXPECT_TRUE(r.visible);
  EXPECT_EQ(r.text, "|||");
  EXPECT_EQ(r.boundsChanges, 1);
  EXPECT_TRUE(r.destroyed);
}

}  // namespace
