// The main window's logic, free of any toolkit: the application state every handler shares (the
// program folder, dataset names, gender word, settings, the three report grids and the hidden
// one), the menu and the left-panel controls, the set-up run when the window is first shown, and
// the handlers of the shell itself. The user is reached only through the UI port; a front end
// shows the models and forwards events to them.
#pragma once

#include <string>
#include <vector>

#include "app/tract1/controls.h"
#include "app/tract1/report_layout.h"
#include "app/tract1/settings.h"
#include "platform/grid/report_grid.h"
#include "platform/ui/ui.h"

namespace app {

// The web addresses of the Help menu.
inline constexpr const char* kFactFinderUrl = "https://data.census.gov/";
// The user guide, a page in the program folder.
inline constexpr const char* kGuideFileName = "guide.html";

inline constexpr const char* kNoDatasetStatus = "No AX dataset open; use File>Open to start ...";

class Ttract1f {
 public:
  // The window as the front end must show it.
  static constexpr const char* kCaption = "Agemill";
  static constexpr int kWidth = 873, kHeight = 593;
  static constexpr int kLeftPanelWidth = 178;
  static constexpr int kControlsHeight = 208;  // the upper part of the left panel

  // Builds the window's models (menu, controls, empty grids). Nothing is read or shown until
  // FormShow. `ui` must outlive the window.
  explicit Ttract1f(platform::ui::Ui& ui);
  Ttract1f(const Ttract1f&) = delete;
  Ttract1f& operator=(const Ttract1f&) = delete;

  platform::ui::Ui& Ui() { return ui_; }

  // --- application state ---
  std::string programFolder;    // the program's folder, with trailing "/"; set by set-up
  std::string datasetFileName;  // the open or last created AX dataset
  std::string indexFileName;    // datasetFileName with extension ".mdx"
  std::string genderWord = "Total";
  TSettings settings;
  platform::grid::ReportGrid grid1, grid2, grid3;  // single year, age group, multicultural
  platform::grid::ReportGrid DBAdvGrid1;           // hidden; counts the lines of CSV files

  // --- window parts ---
  std::vector<TMenuItem> MainMenu1;  // the menu bar (the toolbar shows the same menu)
  TRadioGroup RadioGroup1;           // "View/Grid"
  TRadioGroup Radiogroup2;           // "Gender"
  TComboBox racecombo;               // "Race/Ethnicity"
  TButton Button3, Button1, Button2; // "Clear", "SelectAll", "Go"
  TEdit Edit1;                       // "Find in List"
  TCheckBox savetofile1;             // "Save to File"
  TListBox ListBox1;                 // the areas

  // The menu item named `name` anywhere in the menu, or nullptr.
  TMenuItem* FindMenuItem(const std::string& name);
  // The left-panel controls from top to bottom.
  std::vector<const TControl*> LeftPanelControls() const;

  // The control that has the input focus (its Name).
  const std::string& FocusedControl() const { return focused_; }
  void SetFocus(const std::string& controlName) { focused_ = controlName; }

  // The status line's text; SetStatusText also shows it through the UI port.
  const std::string& StatusText() const { return status_; }
  void SetStatusText(const std::string& text);

  // The visible report grid: 1, 2 or 3 (exactly one is visible), and its model.
  int VisibleGrid() const { return visibleGrid_; }
  platform::grid::ReportGrid& Grid(int number);  // 1..3; throws std::out_of_range otherwise
  bool GridVisible(int number) const { return number == visibleGrid_; }

  // --- events ---
  // The window is shown; runs the set-up the first time, nothing afterwards.
  void FormShow();
  bool SetUpDone() const { return setUpDone_; }
  // Runs an event's handler: nothing when it is empty; an exception it throws is shown in an
  // error box captioned with the application title (the handler has ended) and goes no further.
  void Run(const TNotifyEvent& handler);
  // A click on the menu item `name`: runs its handler when the item exists and is enabled.
  void Click(const std::string& name);

  // --- handlers of the shell ---
  // File > Exit: asks the front end to close the main window (OnCloseRequest), which ends the
  // program.
  void Exit1Click();
  // Help > Web: opens the user guide (program folder + "guide.html") in the default browser.
  void Web1Click();
  // Help > FactFinder2: opens the Census Bureau's data site in the default browser.
  void FactFinder21Click();
  // A click on "1-Single year", "2-Grouped" or "3-Multicultural": shows that grid, hides the
  // others.
  void RadioButton1Click();

  // Set by the front end: closes the main window.
  TNotifyEvent OnCloseRequest;
  bool CloseRequested() const { return closeRequested_; }

 private:
  void BuildMenu();
  void BuildControls();
  // A leaf item is enabled exactly when it has a handler (menus with items stay enabled).
  static void UpdateEnabled(std::vector<TMenuItem>& items);

  platform::ui::Ui& ui_;
  std::string status_;
  std::string focused_;
  int visibleGrid_ = 1;
  bool setUpDone_ = false;
  bool closeRequested_ = false;
};

}  // namespace app
