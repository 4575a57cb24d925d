// What the screen and keyboard need of a display: show a picture of cells and a
// cursor, take input events, tell the time. The terminal back-end draws into a
// real terminal; the headless back-end keeps a virtual screen and a key script.
// Widgets never talk to a back-end: they draw into Screen (screen.h).
#pragma once

#include <string_view>

#include "platform/screen/cell.h"

namespace kvel::screen {

// Cursor shapes: hidden, normal (underline), insert (block).
inline constexpr int kCursorNone = 0;
inline constexpr int kCursorNormal = 1;
inline constexpr int kCursorInsert = 2;

struct CursorState {
  int row = 0;
  int col = 0;
  int shape = kCursorNormal;
  friend bool operator==(const CursorState&, const CursorState&) = default;
};

struct InputEvent {
  enum class Kind { None, Key, Modifiers };
  Kind kind = Kind::None;
  int key = 0;   // Kind::Key: the key code (keys.h)
  int mods = 0;  // the Shift/Ctrl/Alt bits held after this event (keys.h)
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Shows kRows * kCols cells, row by row, and the cursor. A back-end may send
  // only what changed since the last call.
  virtual void present(const Cell* cells, const CursorState& cursor) = 0;
  // The window title, CP866 text.
  virtual void set_title(std::string_view cp866) = 0;
  // Whether colours can be shown (false: the monochrome colour sets apply).
  virtual bool is_colour() const { return true; }

  // Waits up to `timeout` seconds for one input event (0: only looks). Returns
  // Kind::None when the time passed without input.
  virtual InputEvent read_input(double timeout) = 0;
  // True when no input will ever come again (a key script that has run out).
  virtual bool input_exhausted() const { return false; }
  // Monotonic seconds; the headless back-end's virtual clock.
  virtual double now() = 0;
};

}  // namespace kvel::screen
