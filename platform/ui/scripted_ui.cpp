#include "platform/ui/scripted_ui.h"

#include "platform/ui/file_dialogs.h"

namespace platform::ui {
namespace {

class ScriptedSurface : public ProgressSurface {
 public:
  explicit ScriptedSurface(std::shared_ptr<ProgressRecord> record) : r_(std::move(record)) {}
  ~ScriptedSurface() override { r_->destroyed = true; }
  void SetCaption(const std::string& caption) override { r_->caption = caption; }
  void SetBorder(BorderStyle border) override { r_->border = border; }
  void SetBackgroundPanelVisible(bool visible) override { r_->backgroundPanelVisible = visible; }
  void SetBounds(const Rect& bounds) override {
    r_->bounds = bounds;
    ++r_->boundsChanges;
  }
  void SetVisible(bool visible) override { r_->visible = visible; }
  void SetText(const std::string& text) override {
    r_->text = text;
    ++r_->textChanges;
  }
  Size MeasureText(const std::string& text) const override {
    if (text.empty()) return {0, 0};
    return {static_cast<int>(text.size()) * ScriptedUi::kCharWidth, ScriptedUi::kTextHeight};
  }
  int MeasureCaption(const std::string& text) const override {
    return static_cast<int>(text.size()) * ScriptedUi::kCaptionCharWidth;
  }
  int CaptionHeight() const override { return ScriptedUi::kCaptionHeight; }

 private:
  std::shared_ptr<ProgressRecord> r_;
};

std::string Describe(const std::optional<std::string>& answer) {
  return answer ? "\"" + *answer + "\"" : "cancel";
}

}  // namespace

ScriptedUi::ScriptedUi(FailureReporter reportFailure) : report_(std::move(reportFailure)) {}

ScriptedUi::~ScriptedUi() {
  for (const auto& m : messageAnswers_) {
    report_("expected message box never shown: \"" + m.text + "\"");
  }
  for (const auto& a : inputAnswers_) report_("queued input answer never used: " + Describe(a));
  for (const auto& a : openAnswers_) report_("queued open-file answer never used: " + Describe(a));
  for (const auto& a : saveAnswers_) report_("queued save-file answer never used: " + Describe(a));
}

void ScriptedUi::ExpectMessage(std::string text, MessageResult answer) {
  messageAnswers_.push_back({std::move(text), true, answer});
}

void ScriptedUi::ExpectMessageContaining(std::string part, MessageResult answer) {
  messageAnswers_.push_back({std::move(part), false, answer});
}

void ScriptedUi::QueueInput(std::optional<std::string> text) {
  inputAnswers_.push_back(std::move(text));
}
void ScriptedUi::QueueOpenFile(std::optional<std::string> path) {
  openAnswers_.push_back(std::move(path));
}
void ScriptedUi::QueueSaveFile(std::optional<std::string> path) {
  saveAnswers_.push_back(std::move(path));
}

MessageResult ScriptedUi::MessageBox(const MessageBoxRequest& request) {
  calls_.push_back("MessageBox [" + request.caption + "] " + request.text);
  messages_.push_back(request);
  if (messageAnswers_.empty()) {
    report_("unexpected message box [" + request.caption + "]: \"" + request.text + "\"");
    return DismissResult(request.buttons);
  }
  MessageExpectation e = messageAnswers_.front();
  messageAnswers_.pop_front();
  bool matches = e.exact ? (e.text.empty() || e.text == request.text)
                         : request.text.find(e.text) != std::string::npos;
  if (!matches) {
    report_("message box shows \"" + request.text + "\" where " +
            (e.exact ? "\"" : "a text containing \"") + e.text + "\" was expected");
  }
  return e.answer;
}

bool ScriptedUi::InputQuery(const std::string& caption, const std::string& prompt,
                            std::string& value) {
  calls_.push_back("InputQuery [" + caption + "] " + prompt);
  inputs_.push_back({caption, prompt, value});
  if (inputAnswers_.empty()) {
    report_("unexpected input query [" + caption + "]: \"" + prompt + "\"");
    return false;
  }
  std::optional<std::string> answer = inputAnswers_.front();
  inputAnswers_.pop_front();
  if (!answer) return false;
  value = *answer;
  return true;
}

std::optional<std::string> ScriptedUi::OpenFileDialog(const FileDialogRequest& request) {
  calls_.push_back("OpenFileDialog " + request.title);
  fileDialogs_.push_back({false, request});
  if (openAnswers_.empty()) {
    report_("unexpected open-file dialog \"" + request.title + "\" (file name \"" +
            request.fileName + "\")");
    return std::nullopt;
  }
  std::optional<std::string> answer = openAnswers_.front();
  openAnswers_.pop_front();
  return answer;
}

std::optional<std::string> ScriptedUi::SaveFileDialog(const FileDialogRequest& request) {
  calls_.push_back("SaveFileDialog " + request.title);
  fileDialogs_.push_back({true, request});
  if (saveAnswers_.empty()) {
    report_("unexpected save-file dialog \"" + request.title + "\" (file name \"" +
            request.fileName + "\")");
    return std::nullopt;
  }
  std::optional<std::string> answer = saveAnswers_.front();
  saveAnswers_.pop_front();
  if (answer) *answer = ApplyDefaultExtension(*answer, request.defaultExt);
  return answer;
}

void ScriptedUi::SetStatusText(const std::string& text) {
  calls_.push_back("SetStatusText " + text);
  statusTexts_.push_back(text);
}

bool ScriptedUi::OpenUrl(const std::string& url) {
  calls_.push_back("OpenUrl " + url);
  urls_.push_back(url);
  return openUrlResult_;
}

void ScriptedUi::ProcessMessages() {
  calls_.push_back("ProcessMessages");
  ++processMessages_;
}

std::unique_ptr<ProgressSurface> ScriptedUi::CreateProgressSurface() {
  calls_.push_back("CreateProgressSurface");
  auto record = std::make_shared<ProgressRecord>();
  surfaces_.push_back(record);
  return std::make_unique<ScriptedSurface>(record);
}

}  // namespace platform::ui
