#include "app/tract1/tract1.h"

#include <exception>
#include <stdexcept>

#include "platform/os/files.h"
#include "platform/ui/file_dialogs.h"

namespace app {

using platform::ui::MessageBoxRequest;
using platform::ui::MessageButtons;
using platform::ui::MessageIcon;

namespace {

TMenuItem Item(const char* name, const char* caption, TNotifyEvent onClick = {}) {
  TMenuItem item;
  item.Name = name;
  item.Caption = caption;
  item.OnClick = std::move(onClick);
  return item;
}

TMenuItem Separator(const char* name) { return Item(name, "-"); }

TMenuItem Menu(const char* name, const char* caption, std::vector<TMenuItem> items) {
  TMenuItem menu = Item(name, caption);
  menu.Items = std::move(items);
  return menu;
}

TMenuItem* Find(std::vector<TMenuItem>& items, const std::string& name) {
  for (TMenuItem& item : items) {
    if (item.Name == name) return &item;
    if (TMenuItem* found = Find(item.Items, name)) return found;
  }
  return nullptr;
}

}  // namespace

Ttract1f::Ttract1f(platform::ui::Ui& ui) : ui_(ui) {
  BuildMenu();
  BuildControls();
}

void Ttract1f::BuildMenu() {
  // Handlers of later parts of the program are attached here as they are written; until then
  // their items are shown disabled.
  MainMenu1 = {
      Menu("File1", "&File",
           {Item("Load1", "&Create AX Dataset"), Item("Open1", "&Open AX Dataset"),
            Separator("N1"), Item("SaveAsGrid1", "&SaveGrid as CSV"),
            Item("SaveGridtoHTML1", "SaveGrid as HTML"), Item("SaveGrid2As1", "SaveGrid as RTF"),
            Separator("N2"), Item("Exit1", "&Exit", [this] { Exit1Click(); })}),
      Menu("Tools1", "&Tools",
           {Item("HTMLBatch1", "HTML Batch"),
            Item("Specifications1", "&Specifications")}),  // shown disabled, no action
      Menu("Options1", "&Options",
           {Item("Year1", "Set &Options"), Item("SortListbox1", "&Sort Listbox")}),
      Menu("Help1", "&Help",
           {Item("Web1", "&Web", [this] { Web1Click(); }),
            Item("FactFinder21", "&FactFinder2", [this] { FactFinder21Click(); }),
            Item("About1", "&About")}),
  };
  UpdateEnabled(MainMenu1);
}

void Ttract1f::UpdateEnabled(std::vector<TMenuItem>& items) {
  for (TMenuItem& item : items) {
    if (!item.Items.empty()) {
      item.Enabled = true;
      UpdateEnabled(item.Items);
    } else {
      item.Enabled = !item.IsSeparator() && static_cast<bool>(item.OnClick);
    }
  }
}

void Ttract1f::BuildControls() {
  RadioGroup1.Name = "RadioGroup1";
  RadioGroup1.Caption = "View/Grid";
  RadioGroup1.Items = {"1-Single year", "2-Grouped", "3-Multicultural", "4-Projections"};
  RadioGroup1.ItemEnabled = {true, true, true, false};
  RadioGroup1.ItemIndex = 0;
  RadioGroup1.OnClick = [this] { RadioButton1Click(); };

  Radiogroup2.Name = "Radiogroup2";
  Radiogroup2.Caption = "Gender";
  Radiogroup2.Items = {"Total", "Male", "Female"};
  Radiogroup2.ItemEnabled = {true, true, true};
  Radiogroup2.ItemIndex = 0;

  racecombo.Name = "racecombo";
  racecombo.Label = "Race/Ethnicity";
  racecombo.Items = {"   Total Population", "A-White alone", "B-Black alone",
                     "C-Am Indian/Al Native alone ", "D-Asian alone",
                     "E-Native Hawaiian OPI alone", "F-Other race alone",
                     "G-Two or more races", "H-Hispanic"};
  racecombo.ItemIndex = 0;

  Button3.Name = "Button3";
  Button3.Caption = "Clear";
  Button3.Hint = "Clear selections";
  Button1.Name = "Button1";
  Button1.Caption = "SelectAll";
  Button1.Hint = "Select all items in listbox";
  Button2.Name = "Button2";
  Button2.Caption = "Go";

  Edit1.Name = "Edit1";
  Edit1.Label = "Find in List";
  Edit1.Text = "14015003001903";
  Edit1.Hint = "dbl-click to find matches";

  savetofile1.Name = "savetofile1";
  savetofile1.Caption = "Save to File";
  savetofile1.Hint = "... save selections to file";
  savetofile1.Checked = false;

  ListBox1.Name = "ListBox1";
}

TMenuItem* Ttract1f::FindMenuItem(const std::string& name) { return Find(MainMenu1, name); }

std::vector<const TControl*> Ttract1f::LeftPanelControls() const {
  return {&RadioGroup1, &Radiogroup2, &racecombo, &Button3, &Button1,
          &Button2,     &Edit1,       &savetofile1, &ListBox1};
}

void Ttract1f::SetStatusText(const std::string& text) {
  status_ = text;
  ui_.SetStatusText(text);
}

platform::grid::ReportGrid& Ttract1f::Grid(int number) {
  switch (number) {
    case 1: return grid1;
    case 2: return grid2;
    case 3: return grid3;
    default: throw std::out_of_range("there is no grid " + std::to_string(number));
  }
}

void Ttract1f::FormShow() {
  if (setUpDone_) return;
  setUpDone_ = true;
  const std::string folder = platform::os::ProgramFolder();
  // 1. the settings (the age texts follow the ages)
  ReadSettingsFile(SettingsFileName(folder), settings);
  // 2. the program folder
  programFolder = folder;
  // 3. the view group; checking the first option shows Grid 1
  RadioGroup1.Caption = "View/Grid";
  RadioGroup1.ItemEnabled = {true, true, true, false};
  RadioGroup1.ItemIndex = 0;
  RadioButton1Click();
  // 4. the gender group, disabled as a whole so that "Total" stays selected
  Radiogroup2.Caption = "Gender";
  Radiogroup2.ItemIndex = 0;
  Radiogroup2.Enabled = false;
  // 5. the race list
  racecombo.ItemIndex = 0;
  // 6. focus
  SetFocus(RadioGroup1.Name);
  // 7. status text
  SetStatusText(kNoDatasetStatus);
  // 8. the grids' message state
  for (int g = 1; g <= 3; ++g) SetMessageState(Grid(g), kNoDatasetMessage);
}

void Ttract1f::Run(const TNotifyEvent& handler) {
  if (!handler) return;
  const TNotifyEvent run = handler;  // the handler may replace the event it was attached to
  try {
    run();
  } catch (const std::exception& e) {
    ui_.MessageBox(MessageBoxRequest{e.what(), ui_.ApplicationTitle(), MessageIcon::Error,
                                     MessageButtons::Ok});
  }
}

void Ttract1f::Click(const std::string& name) {
  TMenuItem* item = FindMenuItem(name);
  if (item == nullptr || !item->Enabled || !item->Items.empty()) return;
  Run(item->OnClick);
}

void Ttract1f::Exit1Click() {
  closeRequested_ = true;
  if (OnCloseRequest) OnCloseRequest();
}

void Ttract1f::Web1Click() {
  // A page the system cannot open shows nothing.
  ui_.OpenUrl(platform::ui::FileUrl(platform::os::ExpandPath(programFolder + kGuideFileName)));
}

void Ttract1f::FactFinder21Click() { ui_.OpenUrl(kFactFinderUrl); }

void Ttract1f::RadioButton1Click() {
  int index = RadioGroup1.ItemIndex;
  if (index >= 0 && index <= 2) visibleGrid_ = index + 1;
}

}  // namespace app
