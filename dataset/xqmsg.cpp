// The progress and message window's model (contracts in dataset/xqmsg.h) and the engine's
// progress hooks that show it.
#include "dataset/xqmsg.h"

#include <algorithm>

#include "engine/dbf/bulk.h"
#include "engine/util/startup.h"

namespace morvane {

namespace ui = platform::ui;

TXqMsg::TXqMsg(ui::Ui& u)
    : ui_(u), surface_(u.CreateProgressSurface()), owner_(u.ActiveFormBounds()) {}

TXqMsg::~TXqMsg() = default;

void TXqMsg::ShowText(const std::string& text) {
  if (!text.empty()) text_ = text;
  Display(text_);
}

void TXqMsg::Display(const std::string& shown) {
  const ui::Size measured = surface_->MeasureText(shown);
  bool resize = false;
  if (caption_.empty() && border_ != ui::BorderStyle::None) {
    border_ = ui::BorderStyle::None;
    surface_->SetBorder(border_);
    resize = true;
  } else if (!caption_.empty() && border_ != ui::BorderStyle::Dialog) {
    border_ = ui::BorderStyle::Dialog;
    surface_->SetBorder(border_);
    resize = true;
  }
  int captionHeight = 0, captionWidth = 0;
  if (border_ == ui::BorderStyle::Dialog) {
    surface_->SetCaption(caption_);
    captionHeight = surface_->CaptionHeight();
    captionWidth = surface_->MeasureCaption(caption_);
    surface_->SetBackgroundPanelVisible(false);
  } else {
    surface_->SetBackgroundPanelVisible(true);
  }
  const int width = std::max(measured.width + 30, captionWidth);
  const int height = measured.height + 30 + captionHeight;
  if (bounds_.width < width || bounds_.height < height || resize) {
    const ui::Rect over = owner_ ? *owner_ : ui_.ScreenBounds();
    bounds_ = {over.left + (over.width - width) / 2, over.top + (over.height - height) / 2, width,
               height};
    surface_->SetBounds(bounds_);
    visible_ = true;
    surface_->SetVisible(true);
  }
  surface_->SetText(shown);
  ui_.ProcessMessages();
}

TXqProgress100::TXqProgress100(ui::Ui& u, const std::string& title)
    : TXqMsg(u), bar_(kSteps, '|') {
  SetCaption(title);
  ShowText(bar_);
}

void TXqProgress100::Step() {
  if (!bar_.empty()) bar_.erase(0, 1);
  else bar_.assign(kSteps, '|');
  Display(bar_);
}

namespace {

ui::Ui* progressUi = nullptr;
std::unique_ptr<TXqProgress100> openWindow;

void OpenHook(const std::string& caption) {
  openWindow.reset();
  if (progressUi != nullptr) openWindow = std::make_unique<TXqProgress100>(*progressUi, caption);
}
void StepHook() {
  if (openWindow) openWindow->Step();
}
void CloseHook() { openWindow.reset(); }

void InstallHooks() {
  if (progressUi == nullptr) return;
  ProgressHooks.Open = &OpenHook;
  ProgressHooks.Step = &StepHook;
  ProgressHooks.Close = &CloseHook;
}

EngineLayerRegistrar registrar({"xqmsg", kLayerOrderDataset, nullptr, &InstallHooks, nullptr});

}  // namespace

void SetProgressUi(ui::Ui* u) {
  openWindow.reset();
  progressUi = u;
  if (u != nullptr) {
    InstallHooks();
  } else if (ProgressHooks.Open == &OpenHook) {
    ProgressHooks = ProgressHookTable{};
  }
}

ui::Ui* ProgressUi() { return progressUi; }

}  // namespace morvane
