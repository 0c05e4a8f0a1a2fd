#include "gui/qt_ui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFrame>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <QUrl>

#include "gui/text.h"
#include "platform/ui/file_dialogs.h"

namespace gui {

using namespace platform::ui;

namespace {

QMessageBox::StandardButtons ButtonsOf(MessageButtons b) {
  switch (b) {
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::AbortRetryIgnore:
      return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    case MessageButtons::Ok: break;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon IconOf(MessageIcon i) {
  switch (i) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

std::optional<MessageResult> ResultOf(int button) {
  switch (button) {
    case QMessageBox::Ok: return MessageResult::Ok;
    case QMessageBox::Cancel: return MessageResult::Cancel;
    case QMessageBox::Abort: return MessageResult::Abort;
    case QMessageBox::Retry: return MessageResult::Retry;
    case QMessageBox::Ignore: return MessageResult::Ignore;
    case QMessageBox::Yes: return MessageResult::Yes;
    case QMessageBox::No: return MessageResult::No;
    default: return std::nullopt;
  }
}

Rect RectOf(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

// The progress window: a frameless or dialog-bordered, always-on-top, yellow tool window with a
// bevelled background panel and a single-bordered text panel, both filling it.
class QtProgressSurface : public ProgressSurface {
 public:
  QtProgressSurface() : window_(new QWidget(nullptr, Flags(BorderStyle::None))) {
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    QPalette p = window_->palette();
    p.setColor(QPalette::Window, QColor(255, 255, 0));
    window_->setPalette(p);
    window_->setAutoFillBackground(true);
    background_ = new QFrame(window_);
    background_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    background_->setLineWidth(2);
    text_ = new QLabel(window_);
    text_->setFrameStyle(QFrame::Box | QFrame::Plain);
    text_->setAlignment(Qt::AlignCenter);
    window_->resize(0, 0);
  }
  ~QtProgressSurface() override { delete window_; }

  void SetCaption(const std::string& caption) override { window_->setWindowTitle(FromAnsi(caption)); }
  void SetBorder(BorderStyle border) override {
    bool wasVisible = window_->isVisible();
    window_->setWindowFlags(Flags(border));  // hides the window
    if (wasVisible) window_->show();
  }
  void SetBackgroundPanelVisible(bool visible) override { background_->setVisible(visible); }
  void SetBounds(const Rect& b) override {
    window_->setGeometry(b.left, b.top, b.width, b.height);
    background_->setGeometry(0, 0, b.width, b.height);
    text_->setGeometry(0, 0, b.width, b.height);
  }
  void SetVisible(bool visible) override { window_->setVisible(visible); }
  void SetText(const std::string& text) override {
    text_->setText(FromAnsi(text));
    text_->repaint();
  }
  Size MeasureText(const std::string& text) const override {
    QSize s = text_->fontMetrics().size(0, FromAnsi(text));
    return {s.width(), s.height()};
  }
  int MeasureCaption(const std::string& text) const override {
    return QFontMetrics(QFont("System")).horizontalAdvance(FromAnsi(text));
  }
  int CaptionHeight() const override {
    return window_->style()->pixelMetric(QStyle::PM_TitleBarHeight);
  }

 private:
  static Qt::WindowFlags Flags(BorderStyle border) {
    Qt::WindowFlags f = Qt::Tool | Qt::WindowStaysOnTopHint;
    if (border == BorderStyle::None) f |= Qt::FramelessWindowHint;
    else f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    return f;
  }
  QWidget* window_;  // a top-level window of its own, so that it lives exactly as long as this
  QFrame* background_;
  QLabel* text_;
};

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
  QStringList out;
  for (const FilterEntry& e : ParseFilter(filter)) {
    QString description = FromAnsi(e.description).trimmed();
    // A description that already ends with its patterns in parentheses keeps only its text;
    // the dialog reads the patterns from the parentheses added here.
    if (description.endsWith(')') && description.contains('(')) {
      description = description.left(description.lastIndexOf('(')).trimmed();
    }
    QStringList patterns;
    for (const std::string& p : e.patterns) patterns << FromAnsi(p);
    out << (description.isEmpty() ? "" : description + " ") + "(" + patterns.join(' ') + ")";
  }
  return out;
}

MessageResult QtUi::MessageBox(const MessageBoxRequest& request) {
  QMessageBox box(IconOf(request.icon), FromAnsi(request.caption), FromAnsi(request.text),
                  ButtonsOf(request.buttons), owner_);
  int pressed = box.exec();
  return ResultOf(pressed).value_or(DismissResult(request.buttons));
}

bool QtUi::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  bool ok = false;
  QString text = QInputDialog::getText(owner_, FromAnsi(caption), FromAnsi(prompt),
                                       QLineEdit::Normal, FromAnsi(value), &ok);
  if (!ok) return false;
  value = ToAnsi(text);
  return true;
}

std::optional<std::string> QtUi::FileDialog(const FileDialogRequest& r, bool save) {
  QFileDialog dialog(owner_, FromAnsi(r.title), FromPath(r.initialDir));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  QStringList filters = QtNameFilters(r.filter);
  if (IsPattern(r.fileName)) {
    QString pattern = FromPath(r.fileName);
    bool covered = false;
    for (const QString& f : filters) covered = covered || f.contains("(" + pattern + ")");
    if (!covered) filters.prepend(pattern);
  } else if (!r.fileName.empty()) {
    dialog.selectFile(FromPath(r.fileName));
  }
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!r.defaultExt.empty()) dialog.setDefaultSuffix(FromAnsi(r.defaultExt));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  std::string path = ToPath(dialog.selectedFiles().first());
  return save ? ApplyDefaultExtension(path, r.defaultExt) : path;
}

std::optional<std::string> QtUi::OpenFileDialog(const FileDialogRequest& r) {
  return FileDialog(r, false);
}

std::optional<std::string> QtUi::SaveFileDialog(const FileDialogRequest& r) {
  return FileDialog(r, true);
}

void QtUi::SetStatusText(const std::string& text) {
  if (statusSink_) statusSink_(FromAnsi(text));
}

bool QtUi::OpenUrl(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void QtUi::ProcessMessages() { QApplication::processEvents(); }

std::unique_ptr<ProgressSurface> QtUi::CreateProgressSurface() {
  return std::make_unique<QtProgressSurface>();
}

Rect QtUi::ScreenBounds() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? RectOf(screen->availableGeometry()) : Rect{0, 0, 1024, 768};
}

std::optional<Rect> QtUi::ActiveFormBounds() const {
  QWidget* active = QApplication::activeWindow();
  if (active == nullptr) return std::nullopt;
  return RectOf(active->frameGeometry());
}

}  // namespace gui
