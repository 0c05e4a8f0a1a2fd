// The UI port: every way the application and the engine talk to the user — message boxes, the
// input query, file dialogs, the status line, opening a web address, processing pending messages,
// and the surface of the engine's progress window. The Qt front end implements it with real
// widgets (gui/); tests use ScriptedUi (scripted_ui.h). Texts are Windows-1252 byte strings.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
// The button pressed, numbered as the Windows message box numbers them (IDOK = 1, ...).
enum class MessageResult : int { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::None;
  MessageButtons buttons = MessageButtons::Ok;
};

// A request from Windows message-box flags: the button set in the low four bits (MB_OK 0,
// MB_OKCANCEL 1, MB_ABORTRETRYIGNORE 2, MB_YESNOCANCEL 3, MB_YESNO 4, MB_RETRYCANCEL 5; others
// count as OK), the icon in bits 4 to 7 (MB_ICONERROR 0x10, MB_ICONQUESTION 0x20,
// MB_ICONWARNING 0x30, MB_ICONINFORMATION 0x40; others none).
MessageBoxRequest MessageBoxFromFlags(std::string text, std::string caption, unsigned flags);

// The answer a dialog gives when it is closed without choosing (Escape, the close button): Cancel
// where there is a Cancel button, No for Yes/No, Ok for a lone OK, Abort for Abort/Retry/Ignore.
MessageResult DismissResult(MessageButtons buttons);

// An open or save file dialog. `filter` lists description/pattern pairs separated by "|"
// ("CSV files (*.csv)|*.csv"; see file_dialogs.h); `fileName` is the initial name, which may be a
// pattern such as "*.dbf" (it then filters the listing); `defaultExt` has no leading dot.
struct FileDialogRequest {
  std::string title;
  std::string initialDir;
  std::string fileName;
  std::string filter;
  std::string defaultExt;
};

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};
struct Size {
  int width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

enum class BorderStyle { None, Dialog };

// The window behind the engine's progress window: borderless or with a dialog border and a
// caption, always on top of the other windows, yellow, invisible until shown. It holds a background
// panel (bevelled, filling the window) and a text panel (single border) that shows the text. The
// model that sizes and centres it lives with the engine's progress window; this is only the
// window. Every change shows at once (the surface repaints as it is changed).
class ProgressSurface {
 public:
  virtual ~ProgressSurface() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetBorder(BorderStyle border) = 0;
  virtual void SetBackgroundPanelVisible(bool visible) = 0;
  // Outer position and size in screen pixels.
  virtual void SetBounds(const Rect& bounds) = 0;
  virtual void SetVisible(bool visible) = 0;
  // The text panel's text.
  virtual void SetText(const std::string& text) = 0;
  // The size of `text` in the window's font.
  virtual Size MeasureText(const std::string& text) const = 0;
  // The width of `text` in the system's caption font ("System").
  virtual int MeasureCaption(const std::string& text) const = 0;
  // The height of a dialog caption bar.
  virtual int CaptionHeight() const = 0;
};

class Ui {
 public:
  virtual ~Ui() = default;

  // The application title, the caption of ShowMessage boxes.
  void SetApplicationTitle(std::string title) { title_ = std::move(title); }
  const std::string& ApplicationTitle() const { return title_; }

  // A modal message box; returns the button pressed (DismissResult when closed without one).
  virtual MessageResult MessageBox(const MessageBoxRequest& request) = 0;
  // A modal box with `text`, the application title as caption, no icon and an OK button.
  void ShowMessage(const std::string& text) {
    MessageBox({text, title_, MessageIcon::None, MessageButtons::Ok});
  }

  // A modal input query: shows `value` as the initial text; true and `value` := the text entered
  // when confirmed, false and `value` unchanged when cancelled.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt,
                          std::string& value) = 0;

  // Modal file dialogs. The chosen file as a full path, or nullopt when cancelled. A save dialog
  // with a default extension appends "." + it to a name chosen without extension (see
  // ApplyDefaultExtension) and does not ask before an existing file is chosen.
  virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) = 0;

  // The main window's status line shows `text` (replacing what it showed).
  virtual void SetStatusText(const std::string& text) = 0;

  // Asks the operating system to open `url` (http(s) or file) in the default program; false when
  // it could not.
  virtual bool OpenUrl(const std::string& url) = 0;

  // Lets the window system handle pending events (repaints, input) during a long operation.
  virtual void ProcessMessages() = 0;

  // A new, invisible progress window surface.
  virtual std::unique_ptr<ProgressSurface> CreateProgressSurface() = 0;
  // The screen's work area, and the bounds of the active window when there is one.
  virtual Rect ScreenBounds() const = 0;
  virtual std::optional<Rect> ActiveFormBounds() const = 0;

 private:
  std::string title_;
};

}  // namespace platform::ui
