#include "platform/screen/term_render.h"

#include <cstdio>
#include <cstring>

#include "platform/screen/cp866.h"

namespace kvel::screen {
namespace {

// A cursor move costs about this many bytes; shorter gaps of unchanged cells
// in the current colour are cheaper to send again.
constexpr int kMoveCost = 6;

}  // namespace

int ansi_colour(int colour) {
  static constexpr int kAnsi[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  return kAnsi[colour & 7];
}

TermRenderer::TermRenderer(bool utf8) : utf8_(utf8), shown_(kRows * kCols) {}

void TermRenderer::glyph(uint8_t ch, std::string& out) const {
  if (utf8_) {
    append_utf8(out, cp866_to_unicode(ch));
  } else {
    out += (ch < 0x20 || ch == 0x7F) ? ' ' : static_cast<char>(ch);
  }
}

void TermRenderer::move(int row, int col, std::string& out) {
  if (row == row_ && col == col_) return;
  char buf[48];
  if (row == row_ && col > col_ && col_ >= 0)
    std::snprintf(buf, sizeof buf, "\x1b[%dC", col - col_);
  else if (col == 0)
    std::snprintf(buf, sizeof buf, "\x1b[%dH", row + 1);
  else
    std::snprintf(buf, sizeof buf, "\x1b[%d;%dH", row + 1, col + 1);
  out += buf;
  row_ = row;
  col_ = col;
}

void TermRenderer::colour(Attr a, std::string& out) {
  if (a == attr_) return;
  int fg = a & 0x0F, bg = a >> 4;
  bool fg_changed = attr_ < 0 || fg != (attr_ & 0x0F);
  bool bg_changed = attr_ < 0 || bg != (attr_ >> 4);
  char buf[48];
  int n = 0;
  int fg_code = (fg & 8 ? 90 : 30) + ansi_colour(fg);
  int bg_code = (bg & 8 ? 100 : 40) + ansi_colour(bg);
  if (fg_changed && bg_changed)
    n = std::snprintf(buf, sizeof buf, "\x1b[%d;%dm", fg_code, bg_code);
  else if (fg_changed)
    n = std::snprintf(buf, sizeof buf, "\x1b[%dm", fg_code);
  else
    n = std::snprintf(buf, sizeof buf, "\x1b[%dm", bg_code);
  out.append(buf, static_cast<size_t>(n));
  attr_ = a;
}

void TermRenderer::render(const Cell* cells, const CursorState& cursor, std::string& out) {
  if (!valid_) {
    // Hide the cursor while drawing; clear in W/N so a larger terminal shows
    // black around the picture.
    out += "\x1b[?25l\x1b[0;37;40m\x1b[2J";
    attr_ = 0x07;
    row_ = col_ = -1;
    cursor_visible_ = false;
  }
  // The cursor stays visible while cells change: the bytes go out in one
  // write, and terminals show the result at once.
  for (int r = 0; r < kRows; ++r) {
    const Cell* now = cells + r * kCols;
    Cell* was = &shown_[r * kCols];
    // Cells are two plain bytes: a whole unchanged row is one comparison.
    if (valid_ && std::memcmp(now, was, sizeof(Cell) * kCols) == 0) continue;
    int c = 0;
    while (c < kCols) {
      if (valid_ && now[c] == was[c]) {
        ++c;
        continue;
      }
      // Bridge a short gap of unchanged cells in the current colour instead of moving.
      if (row_ == r && col_ >= 0 && col_ < c && c - col_ <= kMoveCost) {
        bool same = true;
        for (int g = col_; g < c && same; ++g) same = now[g].attr == attr_;
        if (same)
          for (int g = col_; g < c; ++g) glyph(now[g].ch, out);
        if (same) col_ = c;
      }
      move(r, c, out);
      colour(now[c].attr, out);
      glyph(now[c].ch, out);
      was[c] = now[c];
      ++col_;
      ++c;
    }
  }
  valid_ = true;
  // The cursor: at its place when it is shown and on the screen.
  bool visible = cursor.shape != kCursorNone && cursor.row >= 0 && cursor.row < kRows &&
                 cursor.col >= 0 && cursor.col < kCols;
  if (visible) {
    move(cursor.row, cursor.col, out);
    if (cursor.shape != cursor_shape_) {
      out += cursor.shape == kCursorInsert ? "\x1b[1 q" : "\x1b[3 q";
      cursor_shape_ = cursor.shape;
    }
    if (!cursor_visible_) out += "\x1b[?25h";
  } else if (cursor_visible_) {
    out += "\x1b[?25l";
  }
  cursor_visible_ = visible;
  cursor_ = cursor;
}

}  // namespace kvel::screen
