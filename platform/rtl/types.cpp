// EMPTY.
#include "platform/eval/runtime.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/rtl.h"

namespace kvel::rtl {

using eval::Args;
using eval::Runtime;
using eval::Value;

bool is_empty(const Value& v) {
  switch (v.type()) {
    case eval::Type::Nil:
      return true;
    case eval::Type::Logical:
      return !v.as_logical();
    case eval::Type::Number:
      return v.is_integer() ? v.as_int() == 0 : v.as_double() == 0;
    case eval::Type::String:
      for (char c : v.as_string()) {
        if (!cp866::is_blank(static_cast<uint8_t>(c))) return false;
      }
      return true;
    case eval::Type::Date:
      return v.as_date() == 0;
    case eval::Type::Array:
      return v.as_array()->items.empty();
    case eval::Type::Block:
    case eval::Type::Object:
      return false;
  }
  return false;
}

namespace {

Value empty(Runtime&, Args args) { return Value::logical(is_empty(args[0])); }

}  // namespace

void register_types(eval::Registry& reg) { reg.function("EMPTY", empty); }

}  // namespace kvel::rtl
