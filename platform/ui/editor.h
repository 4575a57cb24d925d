// The text editor: a window over a text, word-wrapped at a line length, with
// insert and overwrite, movement and paging keys, an optional key callback
// told of idle moments, keys it may want and the start, and a read-only mode.
// Ctrl+W (and Alt+W) end it keeping the edited text; Esc ends it giving the
// original text back.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/eval/runtime.h"
#include "platform/screen/cell.h"

namespace kvel::ui {

// Modes passed to the callback and the answers it gives.
enum EditorMode : int { kMeIdle = 0, kMeUnkey = 1, kMeUnkeyX = 2, kMeInit = 3 };
enum EditorAnswer : int {
  kMeDefault = 0,        // the editor handles the key as it would
  kMeIgnore = 32,        // the key is dropped
  kMeData = 33,          // the key is typed as a character
  kMeToggleWrap = 34,    // word wrap off / on
  kMeToggleScroll = 35,  // the arrows scroll the text under the cursor / move it
  kMeWordRight = 100,
  kMeBottomRight = 101,
  // 1..31: the editor acts as for that key code
};

// The code the family gives "save and leave" besides Ctrl+W and Alt+W.
inline constexpr int kKeySaveExit = 535;

struct EditorSpec {
  screen::Rect area;
  bool editable = true;
  // Characters per line before wrapping; < 1: the window's width.
  int line_length = 0;
  int tab_size = 4;
  int start_line = 1;  // 1-based
  int start_col = 0;   // 0-based
  int win_row = 0;     // row of the cursor inside the window
  int win_col = 0;
  // (mode, line 1-based, column 0-based) -> answer. Called in the init mode
  // until it answers kMeDefault, when idle, and for keys the editor does not
  // handle and the configurable ones (Ctrl+Y, Ctrl+T, Ctrl+B, Ins, Ctrl+W,
  // Esc). Ctrl+B shares its code with Ctrl+Right and Ctrl+W with Ctrl+End, as
  // in the family: by default they reformat and save; kMeWordRight and
  // kMeBottomRight give the movements instead.
  std::function<int(int, int, int)> user;
};

struct EditorResult {
  std::string text;  // the edited text when saved, else the original
  bool saved = false;
  int line = 1, col = 0, win_row = 0, win_col = 0;
};

EditorResult edit_text(eval::Runtime& rt, std::string_view text, const EditorSpec& spec);

}  // namespace kvel::ui
