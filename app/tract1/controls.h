// The models of the main window's controls: menu items and the controls of the left panel, with
// their captions, hints, states and the handlers their events run. The front end shows them and
// forwards the user's actions; the handlers (Ttract1f) change them. No toolkit types here.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace app {

using TNotifyEvent = std::function<void()>;

// A menu item, a submenu or a separator (Caption "-"). A leaf item is enabled exactly when a
// handler is attached (see Ttract1f), so items whose handlers are not part of the program yet are
// shown disabled.
struct TMenuItem {
  std::string Name;     // "Open1"
  std::string Caption;  // "&Open AX Dataset"; "&" marks the access key
  bool Enabled = true;
  TNotifyEvent OnClick;
  std::vector<TMenuItem> Items;  // a submenu's items
  bool IsSeparator() const { return Caption == "-"; }
};

// What every control of the left panel has.
struct TControl {
  std::string Name;
  std::string Hint;  // the tooltip; "" for none
  bool Enabled = true;
  bool Visible = true;
};

struct TRadioGroup : TControl {
  std::string Caption;
  std::vector<std::string> Items;
  std::vector<bool> ItemEnabled;  // one per item
  int ItemIndex = -1;             // the checked item, -1 for none
  TNotifyEvent OnClick;           // after the user checks an (enabled) item
};

struct TComboBox : TControl {
  std::string Label;  // the caption of the label above it
  std::vector<std::string> Items;
  int ItemIndex = -1;
  TNotifyEvent OnChange;  // after the user chooses another item
  // The current item's text ("" when none).
  std::string Text() const {
    return ItemIndex >= 0 && ItemIndex < static_cast<int>(Items.size()) ? Items[ItemIndex] : "";
  }
};

struct TButton : TControl {
  std::string Caption;
  TNotifyEvent OnClick;
};

struct TEdit : TControl {
  std::string Label;
  std::string Text;
  TNotifyEvent OnDblClick;
};

struct TCheckBox : TControl {
  std::string Caption;
  bool Checked = false;
};

// A multi-selection list. Items and Selected always have the same length.
struct TListBox : TControl {
  std::vector<std::string> Items;
  std::vector<bool> Selected;
  int TopIndex = 0;  // the first visible entry
  TNotifyEvent OnDblClick;

  void Clear() {
    Items.clear();
    Selected.clear();
    TopIndex = 0;
  }
  void Add(std::string item) {
    Items.push_back(std::move(item));
    Selected.push_back(false);
  }
  int Count() const { return static_cast<int>(Items.size()); }
  int SelCount() const {
    int n = 0;
    for (bool s : Selected) n += s;
    return n;
  }
};

}  // namespace app
