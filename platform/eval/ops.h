// The operators of the language on values: arithmetic with the family's
// result widths and decimals, comparisons under SET EXACT, and the errors
// they raise (generic code and subcode as the family numbers them). An error
// answered with a substitute gives that value as the operation's result;
// answered otherwise, the result is NIL.
#pragma once

#include <initializer_list>
#include <string>

#include "platform/eval/node.h"
#include "platform/eval/runtime.h"
#include "platform/eval/value.h"

namespace kvel::eval {

// Raises an operator or argument error (severity error, subsystem BASE) and
// returns the handler's substitute, or NIL.
Value op_error(Runtime& rt, int gen, int sub, const char* description, std::string operation,
               std::initializer_list<Value> args);

Value arith(Runtime& rt, BinOp op, const Value& a, const Value& b);
// a := a + b for the running value of a chain: appends texts in place.
void accumulate(Runtime& rt, BinOp op, Value& acc, const Value& b);
Value negate(Runtime& rt, const Value& a);
Value unary_plus(Runtime& rt, const Value& a);
Value step(Runtime& rt, const Value& a, bool inc);  // ++ and --

// The comparison operators; the result is logical unless an error was
// answered with a substitute.
Value compare_values(Runtime& rt, CmpOp op, const Value& a, const Value& b);

// Texts under the comparison rules: "=" with SET EXACT, or exactly for "==".
int compare_text(const std::string& a, const std::string& b, bool exact_setting, bool force_exact);

// A number result of arithmetic: integer or floating, with the width the
// family gives it.
Value number_result(double d, int dec);
Value integer_result(int64_t n);

}  // namespace kvel::eval
