// RTF export of a report grid: one document holding one table, from cell (0, 0) to the last cell.
//
//   {\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss Arial;}}          header, Windows-1252
//   \viewkind4\uc1\f0\fs16                                              8-point text
//   per grid row:
//     \trowd\trgaph60\trleft0\trrh<height>                              row height in twips
//     per column: [\clmgf|\clmrg][\clvmgf|\clvmrg]\cellx<right edge>    edges in twips
//     per column: \pard\intbl\q<l|c|r>{<text>}\cell
//     \row
//   \pard\par}
//
// Sizes: 15 twips per pixel (96 pixels to the inch). A merged range becomes RTF merged cells:
// \clmgf/\clmrg for its columns, \clvmgf/\clvmrg for its rows, cut at the grid's edge; covered
// cells are written empty. A grid without columns gives a document without a table. A height of 0 leaves the row at its natural height. Texts: "\", "{"
// and "}" are escaped, a tab becomes \tab, a line feed \line, other control characters are
// dropped, and bytes from 0x80 on are written as \'hh. No pictures.
#include <cstdio>

#include "platform/grid/report_grid.h"

namespace platform::grid {
namespace {

constexpr int kTwipsPerPixel = 15;

void AppendText(std::string& out, const std::string& text) {
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += ch;
    } else if (c == '\t') {
      out += "\\tab ";
    } else if (c == '\n') {
      out += "\\line ";
    } else if (c < 0x20) {
      // other control characters have no place in a cell text
    } else if (c >= 0x80) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\'%02x", c);
      out += hex;
    } else {
      out += ch;
    }
  }
}

}  // namespace

std::string ReportGrid::ToRTF() const {
  std::string out =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n"
      "\\viewkind4\\uc1\\f0\\fs16\r\n";
  for (int r = 0; cols_ > 0 && r < rows_; ++r) {
    out += "\\trowd\\trgaph60\\trleft0";
    if (RowHeight(r) > 0) out += "\\trrh" + std::to_string(RowHeight(r) * kTwipsPerPixel);
    long edge = 0;
    for (int c = 0; c < cols_; ++c) {
      if (auto m = MergeAt(c, r)) {
        if (m->cols > 1 && m->col + 1 < cols_) out += c == m->col ? "\\clmgf" : "\\clmrg";
        if (m->rows > 1 && m->row + 1 < rows_) out += r == m->row ? "\\clvmgf" : "\\clvmrg";
      }
      edge += static_cast<long>(ColWidth(c)) * kTwipsPerPixel;
      out += "\\cellx" + std::to_string(edge);
    }
    out += "\r\n";
    for (int c = 0; c < cols_; ++c) {
      auto m = MergeAt(c, r);
      bool covered = m && (m->col != c || m->row != r);
      switch (CellAlignment(c, r)) {
        case Alignment::Left: out += "\\pard\\intbl\\ql{"; break;
        case Alignment::Center: out += "\\pard\\intbl\\qc{"; break;
        case Alignment::Right: out += "\\pard\\intbl\\qr{"; break;
      }
      if (!covered) AppendText(out, Cell(c, r));
      out += "}\\cell\r\n";
    }
    out += "\\row\r\n";
  }
  out += "\\pard\\par}\r\n";
  return out;
}

}  // namespace platform::grid
