// CLALERT, the one dialog of the system: a framed box with centred message
// lines and a row (or column) of buttons in colours of COLR, the screen given
// back afterwards. A dialog without buttons stays on the screen (wait
// notices); the caller restores the screen later.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"
#include "platform/eval/value.h"
#include "platform/screen/cell.h"

namespace kvel::common {

struct AlertSpec {
  std::vector<std::string> lines;    // CP866
  std::vector<std::string> buttons;  // empty: one "  Ok  "
  // A list of COLR indexes (NIL elements stay empty) or a colour text; NIL:
  // {2, 2, 53, 30}, or {2, 53, 82, 4} when raised.
  eval::Value colours;
  bool across = true;
  std::optional<int> top, left, bottom, right;
  bool room = true;  // a cleared margin of 1 row and 3 columns
  int first = 1;
  bool shadow = true;
  bool raised = false;
  // Per button: a logical or an expression text evaluated when the dialog
  // draws; missing elements are true.
  std::vector<eval::Value> enabled;
  std::string userfunc;  // list user function of the plain vertical form
};

// Where the dialog went, for tests and for the published coordinates.
struct AlertGeometry {
  screen::Rect box;
  screen::Rect cleared;
  bool shadow = false;
  int width = 0;          // W: the inner text width
  int buttons_width = 0;  // BW
  int centre = 0;         // C
  int button_row = 0;
  int button_col = 0;
  // The four colours after the rules: box, buttons, highlighted, disabled.
  std::vector<std::string> colours;
};
AlertGeometry alert_geometry(eval::Runtime& rt, const AlertSpec& spec);

// Shows the dialog; the chosen button (1-based), 0 for Esc, nothing when the
// dialog has no buttons.
std::optional<int> clalert(eval::Runtime& rt, const AlertSpec& spec);

eval::Value list_of_colours(std::initializer_list<int> indexes);

void register_clalert(eval::Registry& reg);

}  // namespace kvel::common
