// The light-bar menu of prompts: texts at screen positions, the current one
// highlighted, moved with the arrows (wrapping when the setting says so),
// Home and End, chosen with Enter (PgUp and PgDn too) or by its first letter;
// Esc gives 0. Key handlers run when their key is read.
#pragma once

#include <string_view>
#include <vector>

#include "platform/eval/runtime.h"
#include "platform/ui/ui_state.h"

namespace kvel::ui {

struct MenuOptions {
  int initial = 1;       // prompt highlighted first (1-based)
  bool wrap = true;      // from the last prompt to the first and back
  std::string_view var;  // variable name handed to key handlers
};

// Draws the prompts in the standard colour, runs the menu and returns the
// chosen prompt (1-based) or 0. An empty list returns 0 at once.
int menu_to(eval::Runtime& rt, const std::vector<Prompt>& prompts, const MenuOptions& opt);

// Draws one prompt (and its message when current).
void draw_prompt(eval::Runtime& rt, const Prompt& p, bool current);

}  // namespace kvel::ui
