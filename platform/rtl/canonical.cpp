// The canonical result form the conformance data and kvel-eval use.
#include <unordered_set>

#include "platform/rtl/dates.h"
#include "platform/rtl/numbers.h"
#include "platform/rtl/rtl.h"
#include "platform/rtl/transform.h"

namespace kvel::rtl {

using eval::Value;

namespace {

void put_text(std::string& out, const std::string& s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char ch : s) {
    auto c = static_cast<uint8_t>(ch);
    if (c < 0x20 || c == 0x7F || c == '\\') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
}

// `open` holds the arrays being written, so an array inside itself shows
// as A:n{...} instead of recursing.
void put(eval::Runtime& rt, std::string& out, const Value& v,
         std::unordered_set<const eval::ArrayData*>& open) {
  switch (v.type()) {
    case eval::Type::Nil:
      out += "U:NIL";
      break;
    case eval::Type::Logical:
      out += v.as_logical() ? "L:T" : "L:F";
      break;
    case eval::Type::Number:
      out += "N:";
      out += str(v);
      out += ' ';
      out += transform(rt, v, "");
      break;
    case eval::Type::String:
      out += v.is_memo() ? "M:|" : "C:|";
      put_text(out, v.as_string());
      out += '|';
      break;
    case eval::Type::Date:
      out += "D:";
      out += dtos(v.as_date());
      break;
    case eval::Type::Array: {
      const auto& items = v.as_array()->items;
      out += "A:";
      out += std::to_string(items.size());
      if (!open.insert(v.as_array().get()).second) {
        out += "{...}";
        break;
      }
      out += '{';
      for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ',';
        put(rt, out, items[i], open);
      }
      out += '}';
      open.erase(v.as_array().get());
      break;
    }
    case eval::Type::Block:
      out += "B:{||...}";
      break;
    case eval::Type::Object:
      out += "O:";
      out += v.as_object()->class_name();
      break;
  }
}

}  // namespace

std::string canonical(eval::Runtime& rt, const Value& v) {
  std::string out;
  std::unordered_set<const eval::ArrayData*> open;
  put(rt, out, v, open);
  return out;
}

}  // namespace kvel::rtl
