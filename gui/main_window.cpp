#include "gui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/grid_view.h"
#include "gui/text.h"

namespace gui {

namespace {

// Geometry of the left panel's upper part (178 x 208 pixels), top to bottom.
constexpr int kPanelWidth = app::Ttract1f::kLeftPanelWidth;
constexpr QRect kViewGroup{0, 0, kPanelWidth, 58};
constexpr QRect kGenderGroup{0, 60, kPanelWidth, 38};
constexpr QRect kRaceLabel{2, 100, kPanelWidth - 4, 14};
constexpr QRect kRaceCombo{0, 114, kPanelWidth, 22};
constexpr QRect kClearButton{0, 140, 54, 22};
constexpr QRect kSelectAllButton{58, 140, 64, 22};
constexpr QRect kGoButton{126, 140, 52, 22};
constexpr QRect kFindLabel{2, 166, 62, 20};
constexpr QRect kFindEdit{64, 166, kPanelWidth - 64, 20};
constexpr QRect kSaveToFile{2, 188, kPanelWidth - 4, 18};

// Radio buttons of a group in columns filled top down, as a radio group lays them out; `columnX`
// holds the left edge of each column inside the box.
QButtonGroup* AddRadios(QGroupBox* box, const app::TRadioGroup& model, std::vector<int> columnX) {
  auto* group = new QButtonGroup(box);
  const int n = static_cast<int>(model.Items.size());
  const int columns = static_cast<int>(columnX.size());
  const int perColumn = (n + columns - 1) / columns;
  columnX.push_back(box->width() - 2);
  for (int i = 0; i < n; ++i) {
    auto* b = new QRadioButton(FromAnsi(model.Items[static_cast<size_t>(i)]), box);
    b->setObjectName(QString::fromStdString(model.Name) + "_" + QString::number(i));
    b->setStyleSheet("QRadioButton { spacing: 3px; }");
    const int col = i / perColumn;
    b->setGeometry(columnX[col], 15 + (i % perColumn) * 19, columnX[col + 1] - columnX[col], 18);
    group->addButton(b, i);
  }
  return group;
}

}  // namespace

void ApplyApplicationFont() {
  QFont font("Liberation Sans");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  QApplication::setFont(font);
}

MainWindow::MainWindow(app::Ttract1f& tract, QtUi& ui) : tract_(tract), ui_(ui) {
  setObjectName("tract1f");
  setWindowTitle(app::Ttract1f::kCaption);
  resize(app::Ttract1f::kWidth, app::Ttract1f::kHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                    screen->availableGeometry()));
  }
  BuildMenus();

  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setObjectName("Splitter1");
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(BuildLeftPanel());
  splitter_->addWidget(BuildRightPanel());
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({kPanelWidth, app::Ttract1f::kWidth - kPanelWidth});
  setCentralWidget(splitter_);

  auto* bar = new QStatusBar(this);
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(true);
  status_ = new QLabel(bar);
  status_->setObjectName("StatusText");
  bar->addWidget(status_, 1);
  setStatusBar(bar);

  ui_.SetOwner(this);
  ui_.SetStatusSink([this](const QString& text) {
    status_->setText(text);
    status_->repaint();
  });
  tract_.OnCloseRequest = [this] { close(); };
  SyncFromModel();
}

void MainWindow::BuildMenus() {
  menuBar()->setObjectName("MainMenu1");
  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName("ToolBar1");
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  toolBar_->setStyleSheet("QToolButton::menu-indicator { image: none; width: 0px; }");
  addToolBar(Qt::TopToolBarArea, toolBar_);
  for (const app::TMenuItem& top : tract_.MainMenu1) {
    QMenu* menu = menuBar()->addMenu(FromAnsi(top.Caption));
    menu->setObjectName(QString::fromStdString(top.Name));
    for (const app::TMenuItem& item : top.Items) {
      if (item.IsSeparator()) {
        menu->addSeparator()->setObjectName(QString::fromStdString(item.Name));
        continue;
      }
      QAction* action = menu->addAction(FromAnsi(item.Caption));
      action->setObjectName(QString::fromStdString(item.Name));
      const std::string name = item.Name;
      connect(action, &QAction::triggered, this, [this, name] { DispatchMenu(name); });
      actions_[name] = action;
    }
    // The toolbar shows the same menu: one button per menu, dropping the same items.
    auto* button = new QToolButton(toolBar_);
    button->setObjectName("ToolButton_" + QString::fromStdString(top.Name));
    button->setText(FromAnsi(top.Caption));
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setAutoRaise(true);
    toolBar_->addWidget(button);
  }
}

QWidget* MainWindow::BuildLeftPanel() {
  auto* panel = new QWidget;
  panel->setObjectName("LeftPanel");
  panel->setMinimumWidth(kPanelWidth);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* controls = new QWidget(panel);
  controls->setObjectName("ControlsPanel");
  controls->setFixedSize(kPanelWidth, app::Ttract1f::kControlsHeight);
  layout->addWidget(controls);

  viewGroup_ = new QGroupBox(FromAnsi(tract_.RadioGroup1.Caption), controls);
  viewGroup_->setObjectName(QString::fromStdString(tract_.RadioGroup1.Name));
  viewGroup_->setGeometry(kViewGroup);
  viewButtons_ = AddRadios(viewGroup_, tract_.RadioGroup1, {2, 89});
  connect(viewButtons_, &QButtonGroup::idClicked, this, [this](int) {
    Dispatch(tract_.RadioGroup1.OnClick);
  });

  genderGroup_ = new QGroupBox(FromAnsi(tract_.Radiogroup2.Caption), controls);
  genderGroup_->setObjectName(QString::fromStdString(tract_.Radiogroup2.Name));
  genderGroup_->setGeometry(kGenderGroup);
  genderButtons_ = AddRadios(genderGroup_, tract_.Radiogroup2, {3, 60, 116});
  connect(genderButtons_, &QButtonGroup::idClicked, this, [this](int) {
    Dispatch(tract_.Radiogroup2.OnClick);
  });

  auto* raceLabel = new QLabel(FromAnsi(tract_.racecombo.Label), controls);
  raceLabel->setObjectName("racelabel");
  raceLabel->setGeometry(kRaceLabel);
  raceCombo_ = new QComboBox(controls);
  raceCombo_->setObjectName(QString::fromStdString(tract_.racecombo.Name));
  raceCombo_->setGeometry(kRaceCombo);
  for (const std::string& item : tract_.racecombo.Items) raceCombo_->addItem(FromAnsi(item));
  connect(raceCombo_, &QComboBox::activated, this, [this](int) {
    Dispatch(tract_.racecombo.OnChange);
  });

  auto makeButton = [&](app::TButton& model, const QRect& geometry) {
    auto* b = new QPushButton(FromAnsi(model.Caption), controls);
    b->setObjectName(QString::fromStdString(model.Name));
    b->setGeometry(geometry);
    b->setToolTip(FromAnsi(model.Hint));
    connect(b, &QPushButton::clicked, this, [this, &model] { Dispatch(model.OnClick); });
    return b;
  };
  clearButton_ = makeButton(tract_.Button3, kClearButton);
  selectAllButton_ = makeButton(tract_.Button1, kSelectAllButton);
  goButton_ = makeButton(tract_.Button2, kGoButton);

  auto* findLabel = new QLabel(FromAnsi(tract_.Edit1.Label), controls);
  findLabel->setObjectName("findlabel");
  findLabel->setGeometry(kFindLabel);
  findEdit_ = new QLineEdit(controls);
  findEdit_->setObjectName(QString::fromStdString(tract_.Edit1.Name));
  findEdit_->setGeometry(kFindEdit);
  findEdit_->setToolTip(FromAnsi(tract_.Edit1.Hint));
  findEdit_->installEventFilter(this);

  saveToFile_ = new QCheckBox(FromAnsi(tract_.savetofile1.Caption), controls);
  saveToFile_->setObjectName(QString::fromStdString(tract_.savetofile1.Name));
  saveToFile_->setGeometry(kSaveToFile);
  saveToFile_->setToolTip(FromAnsi(tract_.savetofile1.Hint));

  list_ = new QListWidget(panel);
  list_->setObjectName(QString::fromStdString(tract_.ListBox1.Name));
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setUniformItemSizes(true);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) {
    Dispatch(tract_.ListBox1.OnDblClick);
  });
  layout->addWidget(list_, 1);
  return panel;
}

QWidget* MainWindow::BuildRightPanel() {
  auto* panel = new QWidget;
  panel->setObjectName("RightPanel");
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  for (int g = 1; g <= 3; ++g) {
    auto* view = new ReportGridView(tract_.Grid(g), panel);
    view->setObjectName("grid" + QString::number(g));
    layout->addWidget(view);
    grids_.push_back(view);
  }
  return panel;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == findEdit_ && event->type() == QEvent::MouseButtonDblClick) {
    Dispatch(tract_.Edit1.OnDblClick);
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!tract_.SetUpDone()) {
    tract_.Run([this] { tract_.FormShow(); });
    SyncFromModel();
  }
}

void MainWindow::ReadWidgets() {
  if (syncing_) return;
  tract_.RadioGroup1.ItemIndex = viewButtons_->checkedId();
  tract_.Radiogroup2.ItemIndex = genderButtons_->checkedId();
  tract_.racecombo.ItemIndex = raceCombo_->currentIndex();
  tract_.Edit1.Text = ToAnsi(findEdit_->text());
  tract_.savetofile1.Checked = saveToFile_->isChecked();
  app::TListBox& lb = tract_.ListBox1;
  if (listShown_ == lb.Items) {
    for (int i = 0; i < list_->count(); ++i) {
      lb.Selected[static_cast<size_t>(i)] = list_->item(i)->isSelected();
    }
    QListWidgetItem* top = list_->itemAt(0, 0);
    lb.TopIndex = top ? list_->row(top) : 0;
  }
}

void MainWindow::Dispatch(const app::TNotifyEvent& handler) {
  if (syncing_) return;
  ReadWidgets();
  tract_.Run(handler);
  SyncFromModel();
}

void MainWindow::DispatchMenu(const std::string& name) {
  if (syncing_) return;
  ReadWidgets();
  tract_.Click(name);
  SyncFromModel();
}

void MainWindow::SyncFromModel() {
  syncing_ = true;
  std::function<void(const std::vector<app::TMenuItem>&)> menus =
      [&](const std::vector<app::TMenuItem>& items) {
        for (const app::TMenuItem& item : items) {
          if (auto it = actions_.find(item.Name); it != actions_.end()) {
            it->second->setEnabled(item.Enabled);
            it->second->setText(FromAnsi(item.Caption));
          }
          menus(item.Items);
        }
      };
  menus(tract_.MainMenu1);

  auto syncRadios = [](QGroupBox* box, QButtonGroup* buttons, const app::TRadioGroup& m) {
    box->setTitle(FromAnsi(m.Caption));
    box->setEnabled(m.Enabled);
    box->setVisible(m.Visible);
    for (size_t i = 0; i < m.Items.size(); ++i) {
      QAbstractButton* b = buttons->button(static_cast<int>(i));
      if (!b) continue;
      b->setText(FromAnsi(m.Items[i]));
      b->setEnabled(i < m.ItemEnabled.size() ? m.ItemEnabled[i] : true);
      b->setChecked(static_cast<int>(i) == m.ItemIndex);
    }
  };
  syncRadios(viewGroup_, viewButtons_, tract_.RadioGroup1);
  syncRadios(genderGroup_, genderButtons_, tract_.Radiogroup2);

  raceCombo_->setEnabled(tract_.racecombo.Enabled);
  raceCombo_->setCurrentIndex(tract_.racecombo.ItemIndex);
  for (auto [widget, model] : {std::pair<QWidget*, const app::TControl*>{clearButton_, &tract_.Button3},
                               {selectAllButton_, &tract_.Button1},
                               {goButton_, &tract_.Button2},
                               {findEdit_, &tract_.Edit1},
                               {saveToFile_, &tract_.savetofile1}}) {
    widget->setEnabled(model->Enabled);
    widget->setVisible(model->Visible);
  }
  if (findEdit_->text() != FromAnsi(tract_.Edit1.Text)) findEdit_->setText(FromAnsi(tract_.Edit1.Text));
  saveToFile_->setChecked(tract_.savetofile1.Checked);

  const app::TListBox& lb = tract_.ListBox1;
  if (listShown_ != lb.Items) {
    list_->clear();
    QStringList items;
    for (const std::string& entry : lb.Items) items << FromAnsi(entry);
    list_->addItems(items);
    listShown_ = lb.Items;
  }
  for (int i = 0; i < list_->count(); ++i) {
    bool selected = static_cast<size_t>(i) < lb.Selected.size() && lb.Selected[static_cast<size_t>(i)];
    if (list_->item(i)->isSelected() != selected) list_->item(i)->setSelected(selected);
  }
  if (lb.TopIndex >= 0 && lb.TopIndex < list_->count()) {
    list_->scrollToItem(list_->item(lb.TopIndex), QAbstractItemView::PositionAtTop);
  }
  list_->setEnabled(lb.Enabled);
  list_->setVisible(lb.Visible);

  for (int g = 1; g <= 3; ++g) {
    ReportGridView* view = GridView(g);
    view->Refresh();
    view->setVisible(tract_.GridVisible(g));
  }
  status_->setText(FromAnsi(tract_.StatusText()));

  const std::string& focus = tract_.FocusedControl();
  if (!focus.empty()) {
    if (focus == tract_.RadioGroup1.Name) {
      if (QAbstractButton* checked = viewButtons_->checkedButton()) checked->setFocus();
    } else if (auto* w = findChild<QWidget*>(QString::fromStdString(focus))) {
      w->setFocus();
    }
  }
  syncing_ = false;
}

}  // namespace gui
