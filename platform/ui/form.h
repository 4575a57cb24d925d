// Data-entry forms: fields at a row and column over a getter/setter block with
// a picture, a colour pair and WHEN/VALID conditions, and the read that moves
// between them. A field is also the language's "GET" object, so conditions and
// key handlers receive it (g:buffer, g:pos, g:varGet(), ...).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"
#include "platform/ui/picture.h"

namespace kvel::ui {

// How a field was left, numbered as the family numbers them.
enum GetExit : int {
  kGeNoExit = 0,
  kGeUp = 1,
  kGeDown = 2,
  kGeTop = 3,
  kGeBottom = 4,
  kGeEnter = 5,
  kGeWrite = 6,
  kGeEscape = 7,
  kGeWhen = 8,
};

class GetField : public eval::ObjectData, public std::enable_shared_from_this<GetField> {
 public:
  // block: {|x| ...} returning the value when called without argument and
  // storing x otherwise. colour: "unfocused,focused"; empty parts take the
  // screen's unselected and enhanced colours.
  GetField(int row, int col, eval::Value block, std::string name, std::string picture = {},
           std::string colour = {});

  std::string_view class_name() const override { return "GET"; }
  eval::Value get(eval::Runtime& rt, std::string_view name) override;
  void set(eval::Runtime& rt, std::string_view name, const eval::Value& v) override;
  eval::Value call(eval::Runtime& rt, std::string_view name, eval::Args args) override;

  int row = 0, col = 0;
  std::string name;
  std::string picture;
  std::string colour;
  eval::Value block;
  eval::Value when;   // NIL, logical, block called with the field, or expression text
  eval::Value valid;  // same forms
  eval::Value cargo;
  int exit_state = kGeNoExit;

  eval::Value var_get(eval::Runtime& rt);
  void var_put(eval::Runtime& rt, const eval::Value& v);

  // Focus: the edit buffer exists only while the field has the focus.
  void set_focus(eval::Runtime& rt);
  void kill_focus(eval::Runtime& rt);
  bool has_focus() const { return buffer_.has_value(); }
  EditBuffer* buffer() { return buffer_ ? &*buffer_ : nullptr; }
  // Stores the buffer's value into the variable (when changed).
  void assign(eval::Runtime& rt);
  // Reads the variable into the buffer again, keeping the cursor place.
  void update_buffer(eval::Runtime& rt);
  // Draws the field (the buffer with the focus, the formatted value without)
  // and, with the focus, puts the cursor on it.
  void display(eval::Runtime& rt);
  // The text the field shows without the focus.
  std::string shown_text(eval::Runtime& rt);

 private:
  std::optional<EditBuffer> buffer_;
  int drawn_ = 0;  // columns the last display() wrote
};

// Field lists as the language holds them (GETLIST): an array of GET objects.
std::vector<std::shared_ptr<GetField>> fields_of(const eval::Value& list);

// Reads the fields, starting with `first` (0-based). Returns whether any field
// changed its variable. The key that ended the read is LASTKEY; READKEY's code
// and the updated flag are kept in UiState.
bool read_modal(eval::Runtime& rt, const std::vector<std::shared_ptr<GetField>>& fields,
                size_t first = 0);

// Applies one key to the focused field (the reader's step): editing keys change
// the buffer, leaving keys set exit_state. Key handlers run first.
void apply_key(eval::Runtime& rt, GetField& f, int key);

}  // namespace kvel::ui
