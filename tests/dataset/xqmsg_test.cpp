// The progress and message window's model on the scripted UI: the bar's steps, sizing and
// centring, the border that follows the caption, and the window the delimited import shows.
#include <gtest/gtest.h>

#include "dataset/xqmsg.h"
#include "engine/dbf/bulk.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "platform/ui/scripted_ui.h"
#include "tests/dbf/dbf_fixture.h"

namespace {

using namespace morvane;
using platform::ui::BorderStyle;
using platform::ui::Rect;
using platform::ui::ScriptedUi;

class XqMsgTest : public ::testing::Test {
 protected:
  ScriptedUi ui{[](const std::string& failure) { ADD_FAILURE() << failure; }};
  const platform::ui::ProgressRecord& Surface(size_t i = 0) { return *ui.ProgressSurfaces().at(i); }
};

TEST_F(XqMsgTest, HundredStepsEmptyTheBarAndTheNextFillsIt) {
  TXqProgress100 p(ui);
  EXPECT_EQ(Surface().text, std::string(100, '|'));
  EXPECT_EQ(Surface().caption, "Progress");
  for (int i = 1; i <= 100; ++i) {
    p.Step();
    ASSERT_EQ(Surface().text, std::string(static_cast<size_t>(100 - i), '|')) << i;
  }
  EXPECT_EQ(p.Bar(), "");
  p.Step();
  EXPECT_EQ(Surface().text, std::string(100, '|'));
}

TEST_F(XqMsgTest, AWindowGrowsToFitAndNeverShrinks) {
  TXqMsg m(ui);
  EXPECT_FALSE(Surface().visible);
  EXPECT_EQ(m.Bounds(), (Rect{0, 0, 0, 0}));
  m.ShowText("hello");  // 5 x 7 = 35 + 30 wide, 16 + 30 high, centred on the 1024 x 768 screen
  EXPECT_EQ(Surface().bounds, (Rect{479, 361, 65, 46}));
  EXPECT_TRUE(Surface().visible);
  EXPECT_EQ(Surface().border, BorderStyle::None);
  EXPECT_TRUE(Surface().backgroundPanelVisible);
  m.ShowText("hi");
  EXPECT_EQ(Surface().bounds, (Rect{479, 361, 65, 46}));
  EXPECT_EQ(Surface().boundsChanges, 1);
  EXPECT_EQ(Surface().text, "hi");
  m.ShowText("");  // shows the current text again
  EXPECT_EQ(Surface().text, "hi");
  m.ShowText("a longer text");  // 13 x 7 + 30 = 121
  EXPECT_EQ(Surface().bounds, (Rect{451, 361, 121, 46}));
  EXPECT_GT(ui.ProcessMessagesCount(), 3);
}

TEST_F(XqMsgTest, ACaptionGivesADialogBorderAndTheWindowIsCentredOnItsOwner) {
  ui.SetActiveFormBounds(Rect{100, 50, 873, 593});
  TXqProgress100 p(ui, "Appending...");
  // 100 x 7 + 30 wide; 16 + 30 + 22 (caption bar) high; over the owner form.
  EXPECT_EQ(Surface().bounds, (Rect{100 + (873 - 730) / 2, 50 + (593 - 68) / 2, 730, 68}));
  EXPECT_EQ(Surface().border, BorderStyle::Dialog);
  EXPECT_FALSE(Surface().backgroundPanelVisible);
  EXPECT_EQ(Surface().caption, "Appending...");
  for (int i = 0; i < 99; ++i) p.Step();
  EXPECT_EQ(Surface().boundsChanges, 1);  // a shorter bar keeps the size

  TXqProgress100 wide(ui, std::string(120, 'C'));  // the caption is wider than the bar
  EXPECT_EQ(Surface(1).bounds.width, 120 * 8);
  TXqMsg plain(ui);
  plain.SetCaption("Title");
  plain.ShowText("x");
  plain.SetCaption("");
  plain.ShowText("x");  // the caption went: the border goes too, and the size is set again
  EXPECT_EQ(Surface(2).border, BorderStyle::None);
  EXPECT_EQ(Surface(2).boundsChanges, 2);
  EXPECT_EQ(Surface(2).bounds.height, 46);
}

TEST_F(XqMsgTest, TheImportShowsAnAppendingWindow) {
  EngineStartup();
  SetErrorCheck(false);
  testsupport::TempDir dir;
  dbftest::CreateTable(dir.file("t.dbf"), {dbftest::Fd("N", 'N', 3)});
  std::string text;
  for (int i = 0; i < 300; ++i) text += std::to_string(i) + "\n";
  testsupport::WriteFileText(dir.file("in.csv"), text);
  SetProgressUi(&ui);
  EngineStartup();  // the window survives a restart of the engine
  SetErrorCheck(false);
  Use(dir.file("t.dbf") + " EXCLUSIVE", nullptr, 0);
  EXPECT_EQ(AppendFromDelimited(dir.file("in.csv"), true).Appended, 300);
  ASSERT_EQ(ui.ProgressSurfaces().size(), 1u);
  EXPECT_EQ(Surface().caption, "Appending...");
  EXPECT_EQ(Surface().text, "");  // stepped 100 times
  EXPECT_TRUE(Surface().destroyed);
  AppendFromDelimited(dir.file("in.csv"), false);
  EXPECT_EQ(ui.ProgressSurfaces().size(), 1u);
  SetProgressUi(nullptr);
  AppendFromDelimited(dir.file("in.csv"), true);
  EXPECT_EQ(ui.ProgressSurfaces().size(), 1u);
  EngineShutdown();
}

}  // namespace
