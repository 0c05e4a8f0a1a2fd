// The engine's progress and message window: TXqMsg shows one line of text in a small yellow,
// always-on-top window sized to fit; TXqProgress100 adds a caption and a bar of 100 "|" characters
// that shrinks by one per step. The model sizes and centres the window; the UI port's progress
// surface is the window itself (Qt in gui/, scripted in tests). The delimited import and the
// index build show their progress through it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/ui.h"

namespace morvane {

class TXqMsg {
 public:
  // A new, invisible window of width and height 0 with no border; its owner form is the UI's
  // active form at this moment (none: the window is centred on the screen). Ui must outlive it.
  explicit TXqMsg(platform::ui::Ui& Ui);
  virtual ~TXqMsg();
  TXqMsg(const TXqMsg&) = delete;
  TXqMsg& operator=(const TXqMsg&) = delete;

  // Shows Text (an empty Text shows the current text again). The border follows the caption
  // (none without, dialog with one); the window grows to fit the text (its width + 30, height +
  // 30 + the caption bar, at least the caption's width) and is then centred over its owner form;
  // it never shrinks. Lets the window system process pending messages.
  void ShowText(const std::string& Text);

  void SetCaption(const std::string& Caption) { caption_ = Caption; }
  const std::string& Caption() const { return caption_; }
  const std::string& CurrentText() const { return text_; }
  platform::ui::Rect Bounds() const { return bounds_; }
  platform::ui::BorderStyle Border() const { return border_; }
  bool Visible() const { return visible_; }

 protected:
  // ShowText's sizing and display of the text Shown (which may be empty).
  void Display(const std::string& Shown);

 private:
  platform::ui::Ui& ui_;
  std::unique_ptr<platform::ui::ProgressSurface> surface_;
  std::optional<platform::ui::Rect> owner_;  // the owner form's bounds
  std::string text_;
  std::string caption_;
  platform::ui::BorderStyle border_ = platform::ui::BorderStyle::None;
  platform::ui::Rect bounds_;
  bool visible_ = false;
};

class TXqProgress100 : public TXqMsg {
 public:
  static constexpr int kSteps = 100;
  // A window captioned Title showing a full bar.
  explicit TXqProgress100(platform::ui::Ui& Ui, const std::string& Title = "Progress");

  // Removes one character of the bar, or fills an empty bar again; shows the bar (also empty).
  void Step();
  const std::string& Bar() const { return bar_; }

 private:
  std::string bar_;
};

// The UI the engine's progress windows appear on (null: no windows). While one is set, the
// delimited import shows its "Appending..." window through it (ProgressHooks, engine/dbf/bulk.h),
// also after every engine start-up. Ui must outlive its use; set null before it goes.
void SetProgressUi(platform::ui::Ui* Ui);
platform::ui::Ui* ProgressUi();

}  // namespace morvane
