// Scroll bars as the language holds them: a list of 8 elements
// {kind (1 horizontal, 2 vertical), top, left, bottom, right, colour text,
// current, total}. A horizontal bar is "<" a track of "░" with a "▓" thumb and
// ">"; a vertical bar is a track of "░" with a "▓" thumb, top to bottom.
#pragma once

#include <optional>
#include <string>

#include "platform/eval/value.h"
#include "platform/screen/screen.h"

namespace kvel::screen {

inline constexpr int kBarHorizontal = 1;
inline constexpr int kBarVertical = 2;

struct ScrollBar {
  int kind = kBarHorizontal;
  Rect rect;  // one row (horizontal) or one column (vertical)
  std::string colour = "W/N";
  int current = 1;
  int total = 1;
};

// Offset of the thumb in a track of `length` cells (0 .. length - 1).
int thumb_offset(int current, int total, int length);
void draw(Screen& s, const ScrollBar& bar);

eval::Value to_value(const ScrollBar& bar);
// Nothing when the value is not a bar list.
std::optional<ScrollBar> scroll_bar_of(const eval::Value& v);

}  // namespace kvel::screen
