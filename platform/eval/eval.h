// The evaluator's public face: expression texts of the application description
// evaluated at run time, code blocks, and the language's comparison rules.
// Compiled texts are cached by their text, so evaluating the same filter or
// report cell again does not parse it again.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"

namespace kvel::eval {

// Compiles (or takes from the cache) and evaluates an expression text, as the
// macro operator & does. A syntax error is a run-time error of generic code 7
// with the offending text in its description.
Value evaluate(Runtime& rt, std::string_view text);

// A code block from a text: "{|a, b| ...}" is taken as a block literal,
// anything else as the body of a block without parameters.
Value compile_block(Runtime& rt, std::string_view text);

// Eval(): calls a block with arguments; other values are an error (generic code 13).
Value call_block(Runtime& rt, const Value& block, Args args);
Value call_block(Runtime& rt, const Value& block, std::initializer_list<Value> args = {});

// A block around a C++ callable (for stored callbacks the system makes).
Value native_block(std::function<Value(Runtime&, Args)> fn, std::string source = {});

// Calls a registered function by name; an unknown name is an error (code 12).
Value call_function(Runtime& rt, std::string_view name, Args args);

// The language's comparisons, under the runtime's settings (SET EXACT):
// "=" and "==" of two values, and ordering (<0, 0, >0) for "<" and ">".
// Operands of unlike types raise the family's errors through rt.
bool equal(Runtime& rt, const Value& a, const Value& b);
bool exactly_equal(Runtime& rt, const Value& a, const Value& b);
int compare(Runtime& rt, const Value& a, const Value& b);

// Registers the functions the evaluator itself provides (EVAL, VALTYPE, TYPE, ...).
void register_eval(Registry& reg);

}  // namespace kvel::eval
