#include "platform/rtl/support.h"

#include <cmath>
#include <limits>
#include <string>

namespace kvel::rtl {

namespace {

std::vector<eval::Value> copy_args(eval::Args args) {
  std::vector<eval::Value> v;
  v.reserve(args.size());
  for (size_t i = 0; i < args.size(); ++i) v.push_back(args[i]);
  return v;
}

}  // namespace

eval::Value func_error(eval::Runtime& rt, int gen_code, int subcode, std::string_view description,
                       std::string_view name, eval::Args args) {
  eval::ErrorObject e;
  e.gen_code = gen_code;
  e.sub_code = subcode;
  e.description = std::string(description);
  e.operation = std::string(name);
  e.args = copy_args(args);
  e.can_substitute = true;
  eval::Answer a = rt.raise(e);
  return a.is_substitute() ? a.value : eval::Value();
}

eval::Value arg_error(eval::Runtime& rt, int subcode, std::string_view name, eval::Args args) {
  return func_error(rt, eval::kErrArg, subcode, "Argument error", name, args);
}

bool text_fits(eval::Runtime& rt, int64_t n, std::string_view name, eval::Args args,
               eval::Value* substitute) {
  if (n <= kMaxText) return true;
  *substitute = func_error(rt, eval::kErrStrOverflow, 1234, "String overflow", name, args);
  return false;
}

int to_int(const eval::Value& v) {
  if (!v.is_number()) return 0;
  if (v.is_integer()) {
    int64_t n = v.as_int();
    if (n > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (n < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(n);
  }
  double d = v.as_double();
  if (std::isnan(d)) return 0;
  if (d >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (d <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(d);
}

}  // namespace kvel::rtl
