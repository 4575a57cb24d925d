// Calling the language's callbacks from widgets: code blocks given by the
// caller, blocks made around C++ functions, and conditions written as
// expression texts. Errors inside go through the runtime's error handler.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"

namespace kvel::ui {

// A code block around a C++ callable.
eval::Value make_block(std::function<eval::Value(eval::Runtime&, eval::Args)> fn);

// Calls a block with arguments; NIL for a value that is not a block.
eval::Value call(eval::Runtime& rt, const eval::Value& block,
                 std::initializer_list<eval::Value> args = {});

// A condition: NIL holds, a logical is itself, a block is called with `arg`,
// a text is evaluated as an expression ("" holds). Anything else holds.
bool holds(eval::Runtime& rt, const eval::Value& cond, const eval::Value& arg = {});

// The value of a function given by name ("MYFUNC") or as a block, called with
// arguments; NIL when fn is neither.
eval::Value call_user(eval::Runtime& rt, const eval::Value& fn,
                      std::initializer_list<eval::Value> args);

// A block reading and writing a memory variable or, when the current work area
// has a field of that name, the field ({|x| IIF(x == NIL, name, name := x)}).
eval::Value var_block(eval::Runtime& rt, const std::string& name);

// Raises the error of a message an object does not know (generic code 13).
void raise_no_method(eval::Runtime& rt, std::string_view name);

}  // namespace kvel::ui
