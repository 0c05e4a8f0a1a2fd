// The Qt window, offscreen: its frame, menus and toolbar, the left panel, the report grids as
// rendered, events reaching the handlers, and the picture `agemill --screenshot` writes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <cstdlib>
#include <memory>
#include <optional>

#include "app/tract1/report_layout.h"
#include "app/tract1/tract1.h"
#include "gui/grid_view.h"
#include "gui/main_window.h"
#include "gui/qt_ui.h"
#include "tests/support/test_support.h"

namespace {

using gui::ReportGridModel;

// A shown main window over a private program folder.
class WindowTest : public ::testing::Test {
 protected:
  WindowTest() {
    const char* old = std::getenv("AGEMILL_HOME");
    if (old) oldHome_ = old;
    setenv("AGEMILL_HOME", dir.path().c_str(), 1);
    ui.SetApplicationTitle("Agemill");
    tract = std::make_unique<app::Ttract1f>(ui);
    window = std::make_unique<gui::MainWindow>(*tract, ui);
    window->show();
    QApplication::processEvents();
  }
  ~WindowTest() override {
    window.reset();
    tract.reset();
    if (oldHome_) setenv("AGEMILL_HOME", oldHome_->c_str(), 1);
    else unsetenv("AGEMILL_HOME");
  }
  template <typename T>
  T* Find(const char* name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // The rectangle of `w` in window coordinates.
  QRect InWindow(QWidget* w) { return QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size()); }

  testsupport::TempDir dir;
  gui::QtUi ui;
  std::unique_ptr<app::Ttract1f> tract;
  std::unique_ptr<gui::MainWindow> window;

 private:
  std::optional<std::string> oldHome_;
};

TEST_F(WindowTest, FrameIsTheCentredAgemillWindow) {
  EXPECT_EQ(window->windowTitle(), "Agemill");
  EXPECT_EQ(window->size(), QSize(873, 593));
  // centred on the screen, give or take the window frame the platform adds
  QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(std::abs(window->geometry().center().x() - screen.center().x()), 4);
  EXPECT_LE(std::abs(window->geometry().center().y() - screen.center().y()), 4);
  EXPECT_TRUE(tract->SetUpDone());  // showing the window ran the set-up
  EXPECT_EQ(Find<QLabel>("StatusText")->text(), "No AX dataset open; use File>Open to start ...");
}

TEST_F(WindowTest, MenuBarAndToolbarShowTheMenuWithItsStates) {
  struct Item {
    const char* name;
    const char* caption;
    bool enabled;
  };
  struct Menu {
    const char* name;
    const char* caption;
    std::vector<Item> items;  // nullptr caption: a separator
  } menus[] = {
      {"File1", "&File",
       {{"Load1", "&Create AX Dataset", false}, {"Open1", "&Open AX Dataset", false},
        {"N1", nullptr, false}, {"SaveAsGrid1", "&SaveGrid as CSV", false},
        {"SaveGridtoHTML1", "SaveGrid as HTML", false}, {"SaveGrid2As1", "SaveGrid as RTF", false},
        {"N2", nullptr, false}, {"Exit1", "&Exit", true}}},
      {"Tools1", "&Tools",
       {{"HTMLBatch1", "HTML Batch", false}, {"Specifications1", "&Specifications", false}}},
      {"Options1", "&Options",
       {{"Year1", "Set &Options", false}, {"SortListbox1", "&Sort Listbox", false}}},
      {"Help1", "&Help",
       {{"Web1", "&Web", true}, {"FactFinder21", "&FactFinder2", true},
        {"About1", "&About", false}}},
  };
  QList<QAction*> bar = window->menuBar()->actions();
  ASSERT_EQ(bar.size(), 4);
  auto* toolBar = Find<QToolBar>("ToolBar1");
  ASSERT_NE(toolBar, nullptr);
  EXPECT_EQ(window->toolBarArea(toolBar), Qt::TopToolBarArea);
  for (int m = 0; m < 4; ++m) {
    SCOPED_TRACE(menus[m].name);
    QMenu* menu = bar[m]->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), menus[m].name);
    EXPECT_EQ(bar[m]->text(), menus[m].caption);
    QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(menus[m].items.size()));
    for (qsizetype i = 0; i < actions.size(); ++i) {
      const Item& expected = menus[m].items[static_cast<size_t>(i)];
      if (expected.caption == nullptr) {
        EXPECT_TRUE(actions[i]->isSeparator()) << expected.name;
        continue;
      }
      EXPECT_EQ(actions[i]->objectName(), expected.name);
      EXPECT_EQ(actions[i]->text(), expected.caption);
      EXPECT_EQ(actions[i]->isEnabled(), expected.enabled) << expected.name;
    }
    // the toolbar's button for this menu drops the very same menu
    auto* button = window->findChild<QToolButton*>(QString("ToolButton_") + menus[m].name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), menus[m].caption);
    EXPECT_EQ(button->menu(), menu);
    EXPECT_TRUE(button->isVisible());
  }
}

TEST_F(WindowTest, LeftPanelHoldsTheControlsAboveTheList) {
  auto* view = Find<QGroupBox>("RadioGroup1");
  auto* gender = Find<QGroupBox>("Radiogroup2");
  ASSERT_TRUE(view && gender);
  EXPECT_EQ(view->title(), "View/Grid");
  EXPECT_EQ(gender->title(), "Gender");
  EXPECT_TRUE(view->isEnabled());
  EXPECT_FALSE(gender->isEnabled());

  struct Radio {
    const char* name;
    const char* text;
    bool enabled, checked;
  } radios[] = {
      {"RadioGroup1_0", "1-Single year", true, true},
      {"RadioGroup1_1", "2-Grouped", true, false},
      {"RadioGroup1_2", "3-Multicultural", true, false},
      {"RadioGroup1_3", "4-Projections", false, false},
      {"Radiogroup2_0", "Total", false, true},  // the group is disabled
      {"Radiogroup2_1", "Male", false, false},
      {"Radiogroup2_2", "Female", false, false},
  };
  for (const Radio& r : radios) {
    auto* b = Find<QRadioButton>(r.name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), r.text);
    EXPECT_EQ(b->isEnabled(), r.enabled) << r.name;
    EXPECT_EQ(b->isChecked(), r.checked) << r.name;
    // the caption fits its button
    EXPECT_LE(b->sizeHint().width(), b->width()) << r.name;
  }

  auto* race = Find<QComboBox>("racecombo");
  ASSERT_NE(race, nullptr);
  EXPECT_EQ(race->count(), 9);
  EXPECT_EQ(race->currentIndex(), 0);
  EXPECT_EQ(race->currentText(), "   Total Population");
  EXPECT_EQ(race->itemText(8), "H-Hispanic");
  EXPECT_EQ(Find<QLabel>("racelabel")->text(), "Race/Ethnicity");

  struct Button {
    const char* name;
    const char* text;
    const char* hint;
  } buttons[] = {{"Button3", "Clear", "Clear selections"},
                 {"Button1", "SelectAll", "Select all items in listbox"},
                 {"Button2", "Go", ""}};
  for (const Button& b : buttons) {
    auto* w = Find<QPushButton>(b.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->text(), b.text);
    EXPECT_EQ(w->toolTip(), b.hint);
  }
  auto* edit = Find<QLineEdit>("Edit1");
  EXPECT_EQ(edit->text(), "14015003001903");
  EXPECT_EQ(edit->toolTip(), "dbl-click to find matches");
  EXPECT_EQ(Find<QLabel>("findlabel")->text(), "Find in List");
  auto* save = Find<QCheckBox>("savetofile1");
  EXPECT_EQ(save->text(), "Save to File");
  EXPECT_FALSE(save->isChecked());
  EXPECT_EQ(save->toolTip(), "... save selections to file");

  // geometry: 178 pixels wide, controls in the upper 208, the list filling the rest
  QWidget* left = Find<QWidget>("LeftPanel");
  QWidget* controls = Find<QWidget>("ControlsPanel");
  auto* list = Find<QListWidget>("ListBox1");
  EXPECT_EQ(left->width(), 178);
  EXPECT_EQ(controls->geometry(), QRect(0, 0, 178, 208));
  EXPECT_EQ(list->geometry().top(), 208);
  EXPECT_EQ(list->geometry().bottom(), left->height() - 1);
  EXPECT_EQ(list->width(), 178);
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
  for (QWidget* child : controls->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_TRUE(controls->rect().contains(child->geometry())) << child->objectName().toStdString();
  }
  auto* splitter = Find<QSplitter>("Splitter1");
  EXPECT_EQ(splitter->widget(0), left);
  EXPECT_EQ(splitter->widget(1), Find<QWidget>("RightPanel"));
}

TEST_F(WindowTest, ExactlyGridOneIsVisibleInItsMessageState) {
  auto* g1 = Find<gui::ReportGridView>("grid1");
  auto* g2 = Find<gui::ReportGridView>("grid2");
  auto* g3 = Find<gui::ReportGridView>("grid3");
  ASSERT_TRUE(g1 && g2 && g3);
  EXPECT_TRUE(g1->isVisible());
  EXPECT_FALSE(g2->isVisible());
  EXPECT_FALSE(g3->isVisible());
  EXPECT_EQ(g1->size(), Find<QWidget>("RightPanel")->size());  // fills the panel

  QAbstractItemModel* m = g1->model();
  EXPECT_EQ(m->rowCount(), 2);
  EXPECT_EQ(m->columnCount(), 7);
  EXPECT_EQ(m->index(0, 0).data().toString(), "Kestrelon Agemill");
  EXPECT_EQ(m->index(1, 0).data().toString(),
            "No dataset open; File>Open to use existing dataset or File>Create to create new "
            "dataset");
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(g1->columnSpan(r, 0), 7);
    EXPECT_EQ(g1->rowSpan(r, 0), 1);
    EXPECT_EQ(g1->rowHeight(r), 17);
  }
  const int widths[] = {120, 80, 60, 80, 60, 80, 60};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(g1->columnWidth(c), widths[c]);
}

TEST_F(WindowTest, GridsRenderTextsSpansSizesAlignmentAndWrap) {
  platform::grid::ReportGrid& g = tract->grid1;
  app::LayoutReportGrid(g, 5, 110, "Grid 1: Total Population Single Year of Age - Census 2010 - "
                                   " Total Population");
  g.SetCell(1, 2, "0500100000 Autauga County, Alabama");  // a long header that wraps
  g.MergeCells(1, 2, 2, 1);
  g.SetCell(0, 3, "Total Population");
  g.SetCell(1, 3, "      54,571");
  g.SetCell(2, 3, "      100.00");
  g.SetCell(0, 4, "Caf\xE9");  // a Windows-1252 text
  window->SyncFromModel();

  auto* view = Find<gui::ReportGridView>("grid1");
  QAbstractItemModel* m = view->model();
  EXPECT_EQ(m->rowCount(), 110);
  EXPECT_EQ(m->columnCount(), 5);
  EXPECT_EQ(view->columnSpan(0, 0), 5);  // the 7-column title cut at the edge
  EXPECT_EQ(view->columnSpan(2, 1), 2);
  EXPECT_EQ(view->columnSpan(3, 1), 1);
  EXPECT_EQ(view->rowHeight(2), 40);
  EXPECT_EQ(view->rowHeight(3), 17);
  EXPECT_EQ(m->index(4, 0).data().toString(), QString::fromUtf8("Caf\xC3\xA9"));
  auto align = [&](int row, int col) {
    return Qt::Alignment(m->index(row, col).data(Qt::TextAlignmentRole).toInt()) &
           Qt::AlignHorizontal_Mask;
  };
  EXPECT_EQ(align(3, 1), Qt::AlignRight);
  EXPECT_EQ(align(3, 0), Qt::AlignLeft);
  EXPECT_EQ(align(2, 1), Qt::AlignLeft);
  EXPECT_TRUE(m->index(2, 1).data(ReportGridModel::kWordWrapRole).toBool());
  EXPECT_FALSE(m->index(3, 1).data(ReportGridModel::kWordWrapRole).toBool());

  // the value is drawn at the right end of its cell: dark pixels there, none at the left end
  QImage picture = window->grab().toImage();
  QRect cell = view->visualRect(m->index(3, 1));
  cell.translate(view->viewport()->mapTo(window.get(), QPoint(0, 0)));
  auto darkIn = [&](const QRect& r) {
    int dark = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) dark += qGray(picture.pixel(x, y)) < 110;
    return dark;
  };
  EXPECT_GT(darkIn(QRect(cell.right() - 30, cell.top() + 2, 26, cell.height() - 4)), 0);
  EXPECT_EQ(darkIn(QRect(cell.left() + 2, cell.top() + 2, 20, cell.height() - 4)), 0);
  // the wrapped header takes a second line inside its 40-pixel row
  QRect header = view->visualRect(m->index(2, 1));
  header.translate(view->viewport()->mapTo(window.get(), QPoint(0, 0)));
  EXPECT_GT(darkIn(QRect(header.left() + 2, header.top() + 20, 60, 14)), 0);
}

TEST_F(WindowTest, EventsReachTheHandlersAndTheWindowFollows) {
  Find<QRadioButton>("RadioGroup1_1")->click();
  EXPECT_EQ(tract->VisibleGrid(), 2);
  EXPECT_FALSE(Find<QWidget>("grid1")->isVisible());
  EXPECT_TRUE(Find<QWidget>("grid2")->isVisible());
  Find<QRadioButton>("RadioGroup1_2")->click();
  EXPECT_TRUE(Find<QWidget>("grid3")->isVisible());
  EXPECT_FALSE(Find<QWidget>("grid2")->isVisible());

  // what the user typed or chose reaches the models with the next event
  tract->ListBox1.Add("05001001..... Autauga County");
  tract->ListBox1.Add("05001003..... Baldwin County");
  window->SyncFromModel();
  Find<QLineEdit>("Edit1")->setText("1400");
  Find<QCheckBox>("savetofile1")->setChecked(true);
  auto* list = Find<QListWidget>("ListBox1");
  ASSERT_EQ(list->count(), 2);
  list->item(1)->setSelected(true);
  Find<QRadioButton>("RadioGroup1_0")->click();
  EXPECT_EQ(tract->Edit1.Text, "1400");
  EXPECT_TRUE(tract->savetofile1.Checked);
  EXPECT_EQ(tract->ListBox1.Selected, (std::vector<bool>{false, true}));
  EXPECT_EQ(tract->VisibleGrid(), 1);

  // the status line shows what the handlers put there
  tract->SetStatusText("Open dataset starting ...");
  EXPECT_EQ(Find<QLabel>("StatusText")->text(), "Open dataset starting ...");

  // a disabled item does nothing; File > Exit closes the window
  window->findChild<QAction*>("Load1")->trigger();
  EXPECT_TRUE(window->isVisible());
  window->findChild<QAction*>("Exit1")->trigger();
  EXPECT_FALSE(window->isVisible());
}

TEST(QtUiFilters, NameFiltersCarryTheirPatterns) {
  EXPECT_EQ(gui::QtNameFilters("CSV files (*.csv)|*.csv"), QStringList{"CSV files (*.csv)"});
  EXPECT_EQ(gui::QtNameFilters("DBF files (*.dbf)"), QStringList{"DBF files (*.dbf)"});
  EXPECT_EQ(gui::QtNameFilters("dbf|*.dbf"), QStringList{"dbf (*.dbf)"});
  EXPECT_EQ(gui::QtNameFilters("txt files (*.txt)|*.txt|All files (*.*)|*.*"),
            (QStringList{"txt files (*.txt)", "All files (*.*)"}));
}

TEST_F(WindowTest, ScreenshotShowsTheWindow) {
  // Where the window's parts are, from this process's window (same fonts and style).
  auto* view = Find<gui::ReportGridView>("grid1");
  QRect title = view->visualRect(view->model()->index(0, 0));
  title.translate(view->viewport()->mapTo(window.get(), QPoint(0, 0)));
  QRect status = InWindow(Find<QLabel>("StatusText"));
  QRect gridEmpty = InWindow(view);
  gridEmpty = QRect(gridEmpty.center(), QSize(40, 40));
  QRect controls = InWindow(Find<QWidget>("ControlsPanel"));

  const QString png = QString::fromStdString(dir.file("agemill.png"));
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("AGEMILL_HOME", QString::fromStdString(dir.path()));
  process.setProcessEnvironment(env);
  process.start(AGEMILL_EXE, {"--screenshot", png});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

  QImage image(png);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(873, 593));
  auto count = [&](const QRect& r, auto pred) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) n += pred(image.pixel(x, y));
    return n;
  };
  auto dark = [](QRgb p) { return qGray(p) < 100; };
  auto white = [](QRgb p) { return qRed(p) > 250 && qGreen(p) > 250 && qBlue(p) > 250; };
  EXPECT_GT(count(title, dark), 20) << "the title text in row 0 of the grid";
  EXPECT_GT(count(status, dark), 20) << "the status text";
  EXPECT_EQ(count(gridEmpty, white), gridEmpty.width() * gridEmpty.height())
      << "the grid's empty area is white";
  EXPECT_GT(count(controls, dark), 100) << "the left panel's controls";
  EXPECT_LT(count(controls, white), controls.width() * controls.height() / 2);
}

}  // namespace
