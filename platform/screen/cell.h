// One character cell of the text screen and the screen's fixed geometry.
#pragma once

#include <cstdint>

namespace kvel::screen {

// Colour attribute of a cell: foreground in the low nibble, background in the
// high nibble. Blinking is never used, so bit 7 is a bright background.
using Attr = uint8_t;
inline constexpr Attr kDefaultAttr = 0x07;  // W/N

struct Cell {
  uint8_t ch = ' ';  // CP866 byte
  Attr attr = kDefaultAttr;
  friend bool operator==(const Cell&, const Cell&) = default;
};

static_assert(sizeof(Cell) == 2, "cells are compared and copied as bytes");

inline constexpr int kRows = 25;
inline constexpr int kCols = 80;

// A rectangle of rows top..bottom and columns left..right, inclusive.
struct Rect {
  int top = 0;
  int left = 0;
  int bottom = kRows - 1;
  int right = kCols - 1;
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace kvel::screen
