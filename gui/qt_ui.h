// The UI port with Qt widgets: modal message boxes, the input query and file dialogs owned by the
// main window, the status line, the desktop's "open" of a web address, event processing during
// long operations, and the engine's progress window as a small always-on-top yellow window.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "platform/ui/ui.h"

namespace gui {

class QtUi : public platform::ui::Ui {
 public:
  // The window that owns the dialogs (the main window once it exists).
  void SetOwner(QWidget* owner) { owner_ = owner; }
  // Where SetStatusText sends its text (the main window's status line).
  void SetStatusSink(std::function<void(const QString&)> sink) { statusSink_ = std::move(sink); }

  platform::ui::MessageResult MessageBox(const platform::ui::MessageBoxRequest& request) override;
  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override;
  std::optional<std::string> OpenFileDialog(const platform::ui::FileDialogRequest& r) override;
  std::optional<std::string> SaveFileDialog(const platform::ui::FileDialogRequest& r) override;
  void SetStatusText(const std::string& text) override;
  bool OpenUrl(const std::string& url) override;
  void ProcessMessages() override;
  std::unique_ptr<platform::ui::ProgressSurface> CreateProgressSurface() override;
  platform::ui::Rect ScreenBounds() const override;
  std::optional<platform::ui::Rect> ActiveFormBounds() const override;

 private:
  std::optional<std::string> FileDialog(const platform::ui::FileDialogRequest& r, bool save);

  QPointer<QWidget> owner_;
  std::function<void(const QString&)> statusSink_;
};

// The name filters of a QFileDialog for a filter text ("CSV files (*.csv)|*.csv").
QStringList QtNameFilters(const std::string& filter);

}  // namespace gui
