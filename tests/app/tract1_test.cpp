// The main window's logic: its set-up, the menu and the left panel as built, the shell's
// handlers, the report layout convention, and the program start around the window.
#include "app/tract1/tract1.h"

#include <gtest/gtest.h>

#include <tuple>

#include "app/tract1/program.h"
#include "engine/util/errors.h"
#include "platform/os/exception.h"
#include "platform/ui/file_dialogs.h"
#include "tests/app/app_fixture.h"

namespace {

using app::Ttract1f;
using platform::grid::Alignment;
using platform::grid::MergedRange;
using platform::grid::ReportGrid;
using platform::ui::MessageIcon;

class Tract1Test : public apptest::AppTest {};

TEST_F(Tract1Test, SetUpWithoutSettingsFile) {
  Ttract1f w(ui);
  EXPECT_FALSE(w.SetUpDone());
  w.FormShow();
  EXPECT_TRUE(w.SetUpDone());
  EXPECT_EQ(w.programFolder, Folder());
  EXPECT_EQ(w.settings.optfile3, "");
  EXPECT_EQ(w.settings.age1(), 0);
  EXPECT_EQ(w.settings.age2(), 0);
  EXPECT_EQ(w.StatusText(), "No AX dataset open; use File>Open to start ...");
  EXPECT_EQ(ui.StatusText(), w.StatusText());  // shown on the status line too
  EXPECT_EQ(w.VisibleGrid(), 1);
  EXPECT_TRUE(w.GridVisible(1));
  EXPECT_FALSE(w.GridVisible(2));
  EXPECT_FALSE(w.GridVisible(3));
  EXPECT_EQ(w.FocusedControl(), "RadioGroup1");
  EXPECT_EQ(w.genderWord, "Total");
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(Tract1Test, SetUpReadsTheSettingsFileOfTheProgramFolder) {
  testsupport::WriteFileText(dir.file("agemill.ini"),
                             "[Folders]\nOptfile3=/x/geo.txt\nage1=5\nage2=0x11\nDatabase1=3\n");
  Ttract1f w(ui);
  w.FormShow();
  EXPECT_EQ(w.settings.optfile3, "/x/geo.txt");
  EXPECT_EQ(w.settings.age1Text(), "5");
  EXPECT_EQ(w.settings.age2Text(), "17");
  EXPECT_EQ(w.settings.database1, 3);

  // the set-up runs once: a second show changes nothing
  testsupport::WriteFileText(dir.file("agemill.ini"), "[Folders]\nage1=9\n");
  w.SetStatusText("busy");
  w.FormShow();
  EXPECT_EQ(w.settings.age1(), 5);
  EXPECT_EQ(w.StatusText(), "busy");
}

TEST_F(Tract1Test, EveryGridStartsInTheMessageState) {
  Ttract1f w(ui);
  w.FormShow();
  const int widths[] = {120, 80, 60, 80, 60, 80, 60};
  for (int g = 1; g <= 3; ++g) {
    SCOPED_TRACE("grid " + std::to_string(g));
    const ReportGrid& grid = w.Grid(g);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.ColCount(), 7);
    for (int c = 0; c < 7; ++c) EXPECT_EQ(grid.ColWidth(c), widths[c]);
    EXPECT_EQ(grid.RowHeight(0), 17);
    EXPECT_EQ(grid.RowHeight(1), 17);
    EXPECT_EQ(grid.Cell(0, 0), "Kestrelon Agemill");
    EXPECT_EQ(grid.Cell(0, 1),
              "No dataset open; File>Open to use existing dataset or File>Create to create new "
              "dataset");
    EXPECT_EQ(grid.Merges(), (std::vector<MergedRange>{{0, 0, 7, 1}, {0, 1, 7, 1}}));
    for (int c = 1; c < 7; ++c) {
      EXPECT_EQ(grid.Cell(c, 0), "");
      EXPECT_EQ(grid.Cell(c, 1), "");
    }
  }
  EXPECT_THROW(w.Grid(4), std::out_of_range);
}

TEST_F(Tract1Test, LeftPanelAfterSetUp) {
  Ttract1f w(ui);
  w.FormShow();
  EXPECT_EQ(w.RadioGroup1.Caption, "View/Grid");
  EXPECT_EQ(w.RadioGroup1.Items, (std::vector<std::string>{"1-Single year", "2-Grouped",
                                                           "3-Multicultural", "4-Projections"}));
  EXPECT_EQ(w.RadioGroup1.ItemEnabled, (std::vector<bool>{true, true, true, false}));
  EXPECT_EQ(w.RadioGroup1.ItemIndex, 0);
  EXPECT_TRUE(w.RadioGroup1.Enabled);

  // the gender group is disabled as a whole, so "Total" stays selected
  EXPECT_EQ(w.Radiogroup2.Caption, "Gender");
  EXPECT_EQ(w.Radiogroup2.Items, (std::vector<std::string>{"Total", "Male", "Female"}));
  EXPECT_EQ(w.Radiogroup2.ItemIndex, 0);
  EXPECT_FALSE(w.Radiogroup2.Enabled);
  EXPECT_FALSE(w.Radiogroup2.OnClick);

  EXPECT_EQ(w.racecombo.Label, "Race/Ethnicity");
  ASSERT_EQ(w.racecombo.Items.size(), 9u);
  EXPECT_EQ(w.racecombo.ItemIndex, 0);
  EXPECT_EQ(w.racecombo.Text(), "   Total Population");
  EXPECT_EQ(w.racecombo.Items[3], "C-Am Indian/Al Native alone ");
  EXPECT_EQ(w.racecombo.Items[8], "H-Hispanic");

  struct Expect {
    const app::TControl* control;
    const char* name;
    const char* hint;
  } controls[] = {
      {&w.Button3, "Button3", "Clear selections"},
      {&w.Button1, "Button1", "Select all items in listbox"},
      {&w.Button2, "Button2", ""},
      {&w.Edit1, "Edit1", "dbl-click to find matches"},
      {&w.savetofile1, "savetofile1", "... save selections to file"},
      {&w.ListBox1, "ListBox1", ""},
  };
  for (const Expect& e : controls) {
    EXPECT_EQ(e.control->Name, e.name);
    EXPECT_EQ(e.control->Hint, e.hint) << e.name;
  }
  EXPECT_EQ(w.Button3.Caption, "Clear");
  EXPECT_EQ(w.Button1.Caption, "SelectAll");
  EXPECT_EQ(w.Button2.Caption, "Go");
  EXPECT_EQ(w.Edit1.Label, "Find in List");
  EXPECT_EQ(w.Edit1.Text, "14015003001903");
  EXPECT_EQ(w.savetofile1.Caption, "Save to File");
  EXPECT_FALSE(w.savetofile1.Checked);
  EXPECT_EQ(w.ListBox1.Count(), 0);

  std::vector<std::string> order;
  for (const app::TControl* c : w.LeftPanelControls()) order.push_back(c->Name);
  EXPECT_EQ(order, (std::vector<std::string>{"RadioGroup1", "Radiogroup2", "racecombo", "Button3",
                                             "Button1", "Button2", "Edit1", "savetofile1",
                                             "ListBox1"}));
}

TEST_F(Tract1Test, MenuItemsWithTheirCaptionsAndStates) {
  Ttract1f w(ui);
  struct Expect {
    const char* menu;
    const char* menuCaption;
    std::vector<std::tuple<std::string, std::string, bool>> items;  // name, caption, enabled
  } menus[] = {
      {"File1", "&File",
       {{"Load1", "&Create AX Dataset", false},
        {"Open1", "&Open AX Dataset", false},
        {"N1", "-", false},
        {"SaveAsGrid1", "&SaveGrid as CSV", false},
        {"SaveGridtoHTML1", "SaveGrid as HTML", false},
        {"SaveGrid2As1", "SaveGrid as RTF", false},
        {"N2", "-", false},
        {"Exit1", "&Exit", true}}},
      {"Tools1", "&Tools",
       {{"HTMLBatch1", "HTML Batch", false}, {"Specifications1", "&Specifications", false}}},
      {"Options1", "&Options",
       {{"Year1", "Set &Options", false}, {"SortListbox1", "&Sort Listbox", false}}},
      {"Help1", "&Help",
       {{"Web1", "&Web", true}, {"FactFinder21", "&FactFinder2", true}, {"About1", "&About", false}}},
  };
  ASSERT_EQ(w.MainMenu1.size(), 4u);
  for (size_t m = 0; m < 4; ++m) {
    const app::TMenuItem& menu = w.MainMenu1[m];
    EXPECT_EQ(menu.Name, menus[m].menu);
    EXPECT_EQ(menu.Caption, menus[m].menuCaption);
    EXPECT_TRUE(menu.Enabled);
    ASSERT_EQ(menu.Items.size(), menus[m].items.size()) << menu.Name;
    for (size_t i = 0; i < menu.Items.size(); ++i) {
      const auto& [name, caption, enabled] = menus[m].items[i];
      EXPECT_EQ(menu.Items[i].Name, name);
      EXPECT_EQ(menu.Items[i].Caption, caption);
      EXPECT_EQ(menu.Items[i].Enabled, enabled) << name;
      EXPECT_EQ(menu.Items[i].IsSeparator(), caption == "-");
    }
  }
  EXPECT_EQ(w.FindMenuItem("FactFinder21")->Caption, "&FactFinder2");
  EXPECT_EQ(w.FindMenuItem("nothing"), nullptr);
}

TEST_F(Tract1Test, HelpMenuOpensTheGuideAndTheCensusSite) {
  Ttract1f w(ui);
  w.FormShow();
  w.Click("FactFinder21");
  w.Click("Web1");
  ASSERT_EQ(ui.OpenedUrls().size(), 2u);
  EXPECT_EQ(ui.OpenedUrls()[0], "https://data.census.gov/");
  EXPECT_EQ(ui.OpenedUrls()[1], platform::ui::FileUrl(Folder() + "guide.html"));

  // a page the system cannot open shows nothing
  ui.SetOpenUrlResult(false);
  w.Click("Web1");
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(Tract1Test, ExitAsksTheFrontEndToCloseAndDisabledItemsDoNothing) {
  Ttract1f w(ui);
  w.FormShow();
  int closes = 0;
  w.OnCloseRequest = [&] { ++closes; };
  for (const char* name : {"Load1", "Specifications1", "About1", "File1", "N1", "unknown"}) {
    w.Click(name);
  }
  EXPECT_EQ(closes, 0);
  EXPECT_FALSE(w.CloseRequested());
  w.Click("Exit1");
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(w.CloseRequested());
}

TEST_F(Tract1Test, TheViewGroupShowsExactlyOneGrid) {
  Ttract1f w(ui);
  w.FormShow();
  struct Case {
    int item;
    int visible;
  } cases[] = {{1, 2}, {2, 3}, {0, 1}, {3, 1} /* "4-Projections" has no action */};
  for (const Case& c : cases) {
    w.RadioGroup1.ItemIndex = c.item;
    w.Run(w.RadioGroup1.OnClick);
    EXPECT_EQ(w.VisibleGrid(), c.visible) << c.item;
    int shown = 0;
    for (int g = 1; g <= 3; ++g) shown += w.GridVisible(g);
    EXPECT_EQ(shown, 1);
  }
}

TEST_F(Tract1Test, AHandlersErrorIsShownAndEndsOnlyThatHandler) {
  Ttract1f w(ui);
  ui.ExpectMessage("Cannot open file \"/x/geo.txt\". No such file or directory");
  int after = 0;
  w.Run([] { throw platform::Exception("Cannot open file \"/x/geo.txt\". No such file or directory"); });
  w.Run([&] { ++after; });
  w.Run({});
  EXPECT_EQ(after, 1);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::Error);
  EXPECT_EQ(ui.Messages()[0].caption, "Agemill");
}

TEST(ReportLayout, ReportTablesFollowTheConvention) {
  ReportGrid g;
  g.SetCell(0, 0, "old");
  g.MergeCells(3, 2, 2, 1);
  app::LayoutReportGrid(g, 5, 110, "Grid 1: title");
  EXPECT_EQ(g.ColCount(), 5);
  EXPECT_EQ(g.RowCount(), 110);
  EXPECT_EQ(g.Cell(0, 0), "Kestrelon Agemill");
  EXPECT_EQ(g.Cell(0, 1), "Grid 1: title");
  EXPECT_EQ(g.Cell(0, 2), "Area Name/Code->");
  EXPECT_EQ(g.Merges(), (std::vector<MergedRange>{{0, 0, 7, 1}, {0, 1, 7, 1}}));
  const int widths[] = {120, 80, 60, 80, 60};
  for (int c = 0; c < 5; ++c) EXPECT_EQ(g.ColWidth(c), widths[c]);
  for (int r : {0, 1, 3, 50, 109}) EXPECT_EQ(g.RowHeight(r), 17) << r;
  EXPECT_EQ(g.RowHeight(2), 40);
  struct Cell {
    int col, row;
    Alignment align;
    bool wrap;
  } cells[] = {
      {0, 0, Alignment::Left, false},  {4, 1, Alignment::Left, false},
      {0, 2, Alignment::Left, true},   {3, 2, Alignment::Left, true},
      {0, 3, Alignment::Left, false},  {0, 109, Alignment::Left, false},
      {1, 3, Alignment::Right, false}, {4, 109, Alignment::Right, false},
  };
  for (const Cell& c : cells) {
    EXPECT_EQ(g.CellAlignment(c.col, c.row), c.align) << c.col << "," << c.row;
    EXPECT_EQ(g.CellWordWrap(c.col, c.row), c.wrap) << c.col << "," << c.row;
  }
  // no areas: 3 columns, the titles still merge across 7
  app::LayoutReportGrid(g, 3, 40, "t");
  EXPECT_EQ(g.MergeAt(2, 0), (MergedRange{0, 0, 7, 1}));
}

TEST_F(Tract1Test, TheEnginesMessageBoxesGoThroughTheUiPort) {
  app::ProgramStartup(ui);
  EXPECT_EQ(ui.ApplicationTitle(), "Agemill");
  ui.ExpectMessage("Error # 215 (No database in use)", platform::ui::MessageResult::Ok);
  int button = morvane::EngineMessageBox("Error # 215 (No database in use)", "Program halted.",
                                         morvane::kMbOk | morvane::kMbIconError);
  EXPECT_EQ(button, morvane::kIdOk);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].caption, "Program halted.");
  EXPECT_EQ(ui.Messages()[0].icon, MessageIcon::Error);
  app::ProgramShutdown();
  morvane::EngineMessageBox("after shut-down", "x", 0);  // no longer reaches the UI (stderr)
  EXPECT_EQ(ui.Messages().size(), 1u);
}

}  // namespace
