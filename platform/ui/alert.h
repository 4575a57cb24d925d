// The standard alert box: a centred framed box with the message split into
// lines at ";", a row of buttons, the current one highlighted. The screen
// under the box, the colour and the cursor are given back afterwards.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/eval/runtime.h"

namespace kvel::ui {

// Colours of the box and of the current button.
inline constexpr std::string_view kAlertColours = "W+/R,W+/B";

// Returns the chosen button (1-based), or 0 for Esc. No buttons means one "Ok".
// A letter chooses the first button starting with it (case ignored).
int alert(eval::Runtime& rt, std::string_view message, std::vector<std::string> buttons = {},
          std::string_view colours = kAlertColours);

}  // namespace kvel::ui
