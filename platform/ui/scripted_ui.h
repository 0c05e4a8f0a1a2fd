// A UI port for tests: it records every call and answers dialogs from queues that the test fills
// beforehand. A dialog for which nothing was queued, a message other than the one expected, and a
// queued answer that no dialog used are failures, reported through the test's reporter.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace platform::ui {

// The state of one progress surface, as the scripted UI records it.
struct ProgressRecord {
  std::string caption;
  std::string text;
  BorderStyle border = BorderStyle::None;
  bool backgroundPanelVisible = true;
  bool visible = false;
  Rect bounds;
  int boundsChanges = 0;  // SetBounds calls
  int textChanges = 0;    // SetText calls
  bool destroyed = false;
};

class ScriptedUi : public Ui {
 public:
  // Called with a description of every failure; a gtest test passes a function that calls
  // ADD_FAILURE(). It must not throw (it is also called from the destructor).
  using FailureReporter = std::function<void(const std::string& failure)>;
  explicit ScriptedUi(FailureReporter reportFailure);
  // Reports every queued answer that no dialog used.
  ~ScriptedUi() override;

  // --- answers, each kind in its own queue, used first in first out ---
  // The next message box must show exactly `text` (any text when `text` is empty); it answers
  // `answer`.
  void ExpectMessage(std::string text, MessageResult answer = MessageResult::Ok);
  // The next message box's text must contain `part`.
  void ExpectMessageContaining(std::string part, MessageResult answer = MessageResult::Ok);
  // The next input query answers `text` (nullopt: cancelled).
  void QueueInput(std::optional<std::string> text);
  // The next open / save dialog answers `path` (nullopt: cancelled). A save answer gets the
  // dialog's default extension as a real dialog would add it.
  void QueueOpenFile(std::optional<std::string> path);
  void QueueSaveFile(std::optional<std::string> path);
  // What OpenUrl reports (true at start).
  void SetOpenUrlResult(bool result) { openUrlResult_ = result; }

  // --- what was shown ---
  struct InputRecord {
    std::string caption, prompt, initial;
  };
  struct FileDialogRecord {
    bool save = false;
    FileDialogRequest request;
  };
  // Every call, one line each, in order ("MessageBox [caption] text", "SetStatusText text",
  // "InputQuery [caption] prompt", "OpenFileDialog title", "SaveFileDialog title", "OpenUrl url",
  // "ProcessMessages", "CreateProgressSurface").
  const std::vector<std::string>& Calls() const { return calls_; }
  const std::vector<MessageBoxRequest>& Messages() const { return messages_; }
  const std::vector<InputRecord>& Inputs() const { return inputs_; }
  const std::vector<FileDialogRecord>& FileDialogs() const { return fileDialogs_; }
  const std::vector<std::string>& OpenedUrls() const { return urls_; }
  const std::vector<std::string>& StatusTexts() const { return statusTexts_; }
  // The status line's current text ("" before the first SetStatusText).
  std::string StatusText() const { return statusTexts_.empty() ? "" : statusTexts_.back(); }
  int ProcessMessagesCount() const { return processMessages_; }
  // One record per progress surface created, kept after the surface is destroyed.
  const std::vector<std::shared_ptr<ProgressRecord>>& ProgressSurfaces() const { return surfaces_; }

  // --- the scripted screen and fonts ---
  // Text measures width = 7 pixels a byte (caption: 8), height = 16 (0 for ""); caption bar 22.
  static constexpr int kCharWidth = 7, kCaptionCharWidth = 8, kTextHeight = 16,
                       kCaptionHeight = 22;
  void SetScreenBounds(Rect r) { screen_ = r; }
  void SetActiveFormBounds(std::optional<Rect> r) { activeForm_ = r; }

  // Ui
  MessageResult MessageBox(const MessageBoxRequest& request) override;
  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
  void SetStatusText(const std::string& text) override;
  bool OpenUrl(const std::string& url) override;
  void ProcessMessages() override;
  std::unique_ptr<ProgressSurface> CreateProgressSurface() override;
  Rect ScreenBounds() const override { return screen_; }
  std::optional<Rect> ActiveFormBounds() const override { return activeForm_; }

 private:
  struct MessageExpectation {
    std::string text;
    bool exact = true;
    MessageResult answer = MessageResult::Ok;
  };

  FailureReporter report_;
  std::deque<MessageExpectation> messageAnswers_;
  std::deque<std::optional<std::string>> inputAnswers_, openAnswers_, saveAnswers_;
  bool openUrlResult_ = true;
  std::vector<std::string> calls_;
  std::vector<MessageBoxRequest> messages_;
  std::vector<InputRecord> inputs_;
  std::vector<FileDialogRecord> fileDialogs_;
  std::vector<std::string> urls_;
  std::vector<std::string> statusTexts_;
  int processMessages_ = 0;
  std::vector<std::shared_ptr<ProgressRecord>> surfaces_;
  Rect screen_{0, 0, 1024, 768};
  std::optional<Rect> activeForm_;
};

}  // namespace platform::ui
