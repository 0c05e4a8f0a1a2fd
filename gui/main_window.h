// The main window on screen: binds Qt widgets to the window logic of app::Ttract1f — the menu bar
// and the toolbar showing the same menu, the left panel's controls and list, the splitter, the
// right panel with the three report grids (one visible), and the status line. The widgets hold
// no state of their own: before an event their values go into the models, the handler runs, and
// the widgets are then refreshed from the models.
#pragma once

#include <QMainWindow>
#include <map>
#include <string>
#include <vector>

#include "app/tract1/tract1.h"
#include "gui/qt_ui.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSplitter;
class QToolBar;

namespace gui {

class ReportGridView;

class MainWindow : public QMainWindow {
 public:
  // `tract` and `ui` must outlive the window. Widgets carry the models' names as object names
  // ("RadioGroup1", "ListBox1", "grid1", menu actions "Open1", ...).
  MainWindow(app::Ttract1f& tract, QtUi& ui);

  // Refreshes every widget from the models.
  void SyncFromModel();
  ReportGridView* GridView(int number) const { return grids_.at(static_cast<size_t>(number - 1)); }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  QWidget* BuildLeftPanel();
  QWidget* BuildRightPanel();
  // Copies what the user may have changed in the widgets into the models.
  void ReadWidgets();
  // An event: widgets to models, the handler, models to widgets.
  void Dispatch(const app::TNotifyEvent& handler);
  void DispatchMenu(const std::string& name);

  app::Ttract1f& tract_;
  QtUi& ui_;
  bool syncing_ = false;
  std::map<std::string, QAction*> actions_;
  QToolBar* toolBar_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QGroupBox* viewGroup_ = nullptr;
  QButtonGroup* viewButtons_ = nullptr;
  QGroupBox* genderGroup_ = nullptr;
  QButtonGroup* genderButtons_ = nullptr;
  QComboBox* raceCombo_ = nullptr;
  QPushButton* clearButton_ = nullptr;
  QPushButton* selectAllButton_ = nullptr;
  QPushButton* goButton_ = nullptr;
  QLineEdit* findEdit_ = nullptr;
  QCheckBox* saveToFile_ = nullptr;
  QListWidget* list_ = nullptr;
  std::vector<std::string> listShown_;  // the entries the list widget holds
  std::vector<ReportGridView*> grids_;
  QLabel* status_ = nullptr;
};

// The window's font: Liberation Sans (else the system's sans serif), 11 pixels.
void ApplyApplicationFont();

}  // namespace gui
