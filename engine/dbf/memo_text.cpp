// The line view of a memo (the text device of AssignMemo), used by the memo search of Locate:
// the memo is cut into stored lines at hard returns (CR, an LF after it skipped), soft returns
// (0x8D) and the width of 253 characters; reading returns whole paragraphs.
#include "engine/dbf/memo.h"
#include "engine/dbf/memo_internal.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "platform/codepage/codepage.h"

namespace morvane {

using namespace memo;

void MemoTextFile::AssignMemo(int32_t block) {
  lines_.clear();
  next_ = 0;
  assigned_ = false;
  block_ = block;
  if (CurrentMemo("AssignMemo") == nullptr) return;
  assigned_ = true;
}

bool MemoTextFile::Reset() {
  lines_.clear();
  next_ = 0;
  if (!assigned_) return false;
  WorkArea* a = CurrentWorkArea();
  MemoControlBlock* m = CurrentMemo("AssignMemo");
  if (a == nullptr || m == nullptr) return false;
  // The returns are found in the stored bytes; text is converted line by line afterwards.
  BlobDescriptor b;
  if (!OpenRead(*a, *m, b, block_, false)) return false;
  std::string text;
  if (!ReadAll(*a, *m, b, text)) return false;
  const bool convert = a->Table.OemTranslation && LooksLikeText(text.data(), text.size());
  const uint64_t covered = text.size() + b.HeaderSize;
  m->BlocksLastTextRead = static_cast<uint32_t>((covered + m->BlockSize - 1) / m->BlockSize);

  std::string line;
  auto store = [&](LineEnd end) {
    if (lines_.size() >= kMaxLines) return false;
    lines_.push_back({line, end});
    line.clear();
    return true;
  };
  bool full = false;
  for (size_t i = 0; i < text.size() && !full; ++i) {
    const char c = text[i];
    if (c == '\r') {
      full = !store(LineEnd::Hard);
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (static_cast<uint8_t>(c) == 0x8D) {
      full = !store(LineEnd::Soft);
    } else {
      if (line.size() == kLineWidth) {
        // The line would exceed the width: break it after its last blank, or at the width.
        const size_t blank = line.find_last_of(' ');
        std::string rest;
        if (blank != std::string::npos) {
          rest = line.substr(blank + 1);
          line.erase(blank + 1);
        }
        full = !store(LineEnd::Width);
        line = rest;
      }
      line += c;
    }
  }
  if (!full && !line.empty()) full = !store(LineEnd::Hard);
  if (convert) {
    for (StoredLine& l : lines_) platform::codepage::OemToAnsiBuffer(l.Text.data(), l.Text.size());
  }
  if (full) {
    ReportError(217, "Reading memo field in " + m->ShownName);
    return false;
  }
  return true;
}

bool MemoTextFile::ReadLn(std::string& out) {
  out.clear();
  if (next_ >= lines_.size()) return false;
  while (next_ < lines_.size()) {
    const StoredLine& l = lines_[next_++];
    out += l.Text;
    if (l.End == LineEnd::Hard) break;
  }
  return true;
}

}  // namespace morvane
