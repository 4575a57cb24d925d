#include "platform/screen/screen.h"

#include <algorithm>
#include <cstring>

#include "platform/screen/headless_backend.h"

namespace kvel::screen {

Screen::Screen(std::shared_ptr<Backend> backend) : backend_(std::move(backend)) {
  backend_->present(cells_, cursor_);
}

Screen::~Screen() = default;

std::string Screen::set_colour(std::string_view text) {
  std::string old = colour_text();
  colours_ = parse_colour_list(text, colours_);
  return old;
}

int Screen::select_slot(int slot) {
  int old = selected_;
  if (slot >= 0 && slot < kColourSlots) selected_ = slot;
  return old;
}

bool Screen::clip(Rect& r) const {
  r.top = std::max(r.top, 0);
  r.left = std::max(r.left, 0);
  r.bottom = std::min(r.bottom, kRows - 1);
  r.right = std::min(r.right, kCols - 1);
  return r.top <= r.bottom && r.left <= r.right;
}

void Screen::changed() {
  if (depth_ == 0) backend_->present(cells_, cursor_);
}

void Screen::write(int row, int col, std::string_view text, Attr a) {
  if (row < 0 || row >= kRows || col >= kCols) return;
  size_t skip = 0;
  if (col < 0) {
    skip = static_cast<size_t>(-static_cast<long>(col));
    if (skip >= text.size()) return;
    col = 0;
  }
  size_t n = std::min(text.size() - skip, static_cast<size_t>(kCols - col));
  Cell* c = &cells_[row * kCols + col];
  for (size_t i = 0; i < n; ++i) c[i] = Cell{static_cast<uint8_t>(text[skip + i]), a};
  changed();
}

void Screen::put(int row, int col, uint8_t ch, Attr a) {
  if (row < 0 || row >= kRows || col < 0 || col >= kCols) return;
  cells_[row * kCols + col] = Cell{ch, a};
  changed();
}

void Screen::fill(Rect r, uint8_t ch, Attr a) {
  if (!clip(r)) return;
  for (int y = r.top; y <= r.bottom; ++y)
    for (int x = r.left; x <= r.right; ++x) cells_[y * kCols + x] = Cell{ch, a};
  changed();
}

void Screen::scroll(Rect r, int rows, int cols, Attr a) {
  if (!clip(r)) return;
  int h = r.bottom - r.top + 1, w = r.right - r.left + 1;
  // No amounts at all clears, as the family's SCROLL() does.
  if (rows >= h || -rows >= h || cols >= w || -cols >= w || (rows == 0 && cols == 0)) {
    fill(r, ' ', a);
    return;
  }
  Cell copy[kRows * kCols];
  std::memcpy(copy, cells_, sizeof copy);
  Cell blank{' ', a};
  for (int y = r.top; y <= r.bottom; ++y) {
    for (int x = r.left; x <= r.right; ++x) {
      int sy = y + rows, sx = x + cols;
      bool inside = sy >= r.top && sy <= r.bottom && sx >= r.left && sx <= r.right;
      cells_[y * kCols + x] = inside ? copy[sy * kCols + sx] : blank;
    }
  }
  changed();
}

void Screen::box(Rect r, std::string_view frame, Attr a) {
  char f[9];
  for (int i = 0; i < 8; ++i) f[i] = i < static_cast<int>(frame.size()) ? frame[i] : ' ';
  f[8] = frame.size() > 8 ? frame[8] : 0;
  if (r.top > r.bottom || r.left > r.right) return;
  begin();
  auto ch = [&](int i) { return static_cast<uint8_t>(f[i]); };
  if (r.top == r.bottom) {
    fill(r, ch(1), a);
  } else if (r.left == r.right) {
    fill(r, ch(3), a);
  } else {
    fill({r.top, r.left + 1, r.top, r.right - 1}, ch(1), a);
    fill({r.bottom, r.left + 1, r.bottom, r.right - 1}, ch(5), a);
    fill({r.top + 1, r.left, r.bottom - 1, r.left}, ch(7), a);
    fill({r.top + 1, r.right, r.bottom - 1, r.right}, ch(3), a);
    put(r.top, r.left, ch(0), a);
    put(r.top, r.right, ch(2), a);
    put(r.bottom, r.right, ch(4), a);
    put(r.bottom, r.left, ch(6), a);
    if (f[8]) fill({r.top + 1, r.left + 1, r.bottom - 1, r.right - 1}, ch(8), a);
  }
  end();
}

void Screen::box(Rect r, int frame_number, Attr a) {
  if (frame_number == 1) box(r, kFrameSingle, a);
  if (frame_number == 2) box(r, kFrameDouble, a);
}

void Screen::shadow(Rect r) {
  Attr a = is_colour() ? kShadowAttr : kShadowAttrMono;
  auto shade = [&](int y, int x) {
    if (y >= 0 && y < kRows && x >= 0 && x < kCols) cells_[y * kCols + x].attr = a;
  };
  for (int x = r.left + 2; x <= r.right + 2; ++x) shade(r.bottom + 1, x);
  for (int y = r.top + 1; y <= r.bottom; ++y) {
    shade(y, r.right + 1);
    shade(y, r.right + 2);
  }
  changed();
}

std::string Screen::save(Rect r) const {
  std::string out;
  if (!clip(r)) return out;
  out.reserve(static_cast<size_t>((r.bottom - r.top + 1) * (r.right - r.left + 1) * 2));
  for (int y = r.top; y <= r.bottom; ++y)
    for (int x = r.left; x <= r.right; ++x) {
      const Cell& c = cells_[y * kCols + x];
      out += static_cast<char>(c.ch);
      out += static_cast<char>(c.attr);
    }
  return out;
}

void Screen::restore(Rect r, std::string_view bytes) {
  if (!clip(r)) return;
  size_t i = 0;
  for (int y = r.top; y <= r.bottom && i + 2 <= bytes.size(); ++y)
    for (int x = r.left; x <= r.right && i + 2 <= bytes.size(); ++x, i += 2)
      cells_[y * kCols + x] = Cell{static_cast<uint8_t>(bytes[i]), static_cast<Attr>(bytes[i + 1])};
  changed();
}

Cell Screen::cell(int row, int col) const {
  if (row < 0 || row >= kRows || col < 0 || col >= kCols) return Cell{};
  return cells_[row * kCols + col];
}

void Screen::begin() { ++depth_; }

void Screen::end() {
  if (depth_ == 0) return;
  if (--depth_ == 0) backend_->present(cells_, cursor_);
}

void Screen::flush() { backend_->present(cells_, cursor_); }

void Screen::set_pos(int row, int col) {
  cursor_.row = row;
  cursor_.col = col;
  changed();
}

int Screen::set_cursor_shape(int shape) {
  int old = cursor_.shape;
  if (shape >= kCursorNone && shape <= kCursorInsert) {
    cursor_.shape = shape;
    changed();
  }
  return old;
}

void Screen::set_title(std::string_view cp866) {
  title_ = cp866;
  backend_->set_title(cp866);
}

Screen& screen_of(eval::Runtime& rt) {
  if (Screen* s = rt.find<Screen>()) return *s;
  install_headless(rt);  // also replaces a keyboard left without a screen
  return rt.get<Screen>();
}

}  // namespace kvel::screen
