// What the widgets keep per runtime between calls: the field being edited (so
// key handlers and the calculator can read it), how the last read ended, the
// prompts waiting for a menu, and the read settings the language can change.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/eval/runtime.h"

namespace kvel::ui {

class GetField;

struct Prompt {
  int row = 0;
  int col = 0;
  std::string text;
  std::string message;  // shown on the message row while the prompt is current
};

class UiState : public eval::Service {
 public:
  static constexpr eval::ServiceSlot kSlot = eval::ServiceSlot::Ui;

  // The field that has the focus during a read; null outside reads. Owned by
  // the read's field list, which outlives the pointer.
  GetField* active = nullptr;
  // The family's code of the key that ended the last read (READKEY), +256
  // when a field was changed.
  int read_key = 0;
  bool updated = false;    // a field of the last (or running) read was changed
  bool kill_read = false;  // asked to end the running read as if by Esc
  bool read_exit = false;  // Up on the first / Down on the last field ends the read
  int reads_running = 0;
  std::string active_var;  // name of the field being read, for READVAR and handlers

  // Prompts placed for the next menu.
  std::vector<Prompt> prompts;
};

// The runtime's state, installed on first use.
UiState& ui_state(eval::Runtime& rt);

}  // namespace kvel::ui
