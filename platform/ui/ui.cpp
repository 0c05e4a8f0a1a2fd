#include "platform/ui/ui.h"

namespace platform::ui {

MessageBoxRequest MessageBoxFromFlags(std::string text, std::string caption, unsigned flags) {
  MessageBoxRequest r;
  r.text = std::move(text);
  r.caption = std::move(caption);
  switch (flags & 0x0F) {
    case 1: r.buttons = MessageButtons::OkCancel; break;
    case 2: r.buttons = MessageButtons::AbortRetryIgnore; break;
    case 3: r.buttons = MessageButtons::YesNoCancel; break;
    case 4: r.buttons = MessageButtons::YesNo; break;
    case 5: r.buttons = MessageButtons::RetryCancel; break;
    default: r.buttons = MessageButtons::Ok; break;
  }
  switch (flags & 0xF0) {
    case 0x10: r.icon = MessageIcon::Error; break;
    case 0x20: r.icon = MessageIcon::Question; break;
    case 0x30: r.icon = MessageIcon::Warning; break;
    case 0x40: r.icon = MessageIcon::Information; break;
    default: r.icon = MessageIcon::None; break;
  }
  return r;
}

MessageResult DismissResult(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok: return MessageResult::Ok;
    case MessageButtons::YesNo: return MessageResult::No;
    case MessageButtons::AbortRetryIgnore: return MessageResult::Abort;
    default: return MessageResult::Cancel;
  }
}

}  // namespace platform::ui
