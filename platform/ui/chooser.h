// The list chooser: a scrolling list of items in a rectangle, disabled items
// shown (in the unselected colour) but passed over, and an optional user
// function told what happened (idle, top or bottom reached, a key the chooser
// does not handle, no selectable item) whose answer aborts, selects, goes on,
// or moves to the next item starting with the last key's character.
#pragma once

#include <functional>
#include <string>

#include "platform/eval/runtime.h"
#include "platform/screen/cell.h"

namespace kvel::ui {

// Modes passed to the user function and the answers it gives.
enum ChooserMode : int {
  kAcIdle = 0,
  kAcHitTop = 1,
  kAcHitBottom = 2,
  kAcException = 3,
  kAcNoItem = 4
};
enum ChooserAnswer : int { kAcAbort = 0, kAcSelect = 1, kAcContinue = 2, kAcGoto = 3 };

struct ChooserSpec {
  screen::Rect area;
  int count = 0;
  // Item i (0-based). Read again whenever a row is drawn, so a user function
  // that changes the items (marks) is seen at once.
  std::function<std::string(int)> item;
  // Whether item i may be chosen; none: all may.
  std::function<bool(int)> enabled;
  // (mode, item 1-based, window row 0-based) -> answer. None: the chooser's
  // own handling of Enter, Esc, Left, Right, Home, End and letters.
  std::function<int(int, int, int)> user;
  int first = 1;      // item highlighted first (1-based)
  int first_row = 0;  // its row in the window (0-based)
};

// Runs the chooser; returns the chosen item (1-based) or 0.
int choose(eval::Runtime& rt, const ChooserSpec& spec);

}  // namespace kvel::ui
