// Helpers the runtime library's families share: argument errors that resume
// with the handler's substitute, and the limit on the texts functions build.
// Internal to platform/rtl.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"

namespace kvel::rtl {

// Longest text a function builds (Space, Replicate, PadL ...). Beyond it the
// call is a "string overflow" error rather than an attempt to allocate it.
inline constexpr int64_t kMaxText = 64 * 1024 * 1024;

// Raises an argument error (generic code 1, subsystem BASE) of function
// `name` with the call's arguments and returns the handler's substitute, or
// NIL when the handler gave none.
eval::Value arg_error(eval::Runtime& rt, int subcode, std::string_view name, eval::Args args);

// Any other resumable error of a function (zero divisor, string overflow).
eval::Value func_error(eval::Runtime& rt, int gen_code, int subcode, std::string_view description,
                       std::string_view name, eval::Args args);

// Raises "string overflow" when n exceeds kMaxText; true when n is usable.
bool text_fits(eval::Runtime& rt, int64_t n, std::string_view name, eval::Args args,
               eval::Value* substitute);

// A numeric argument as an int, clamped to the int range (NaN gives 0).
int to_int(const eval::Value& v);

}  // namespace kvel::rtl
