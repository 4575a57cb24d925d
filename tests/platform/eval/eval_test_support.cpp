#include "eval_test_support.h"

#include <cctype>
#include <cstdio>

#include "platform/rtl/rtl.h"

namespace kvel::eval::test {

namespace {

std::string upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

void show_into(const Value& v, std::string& out, int depth) {
  char buf[64];
  switch (v.type()) {
    case Type::Nil:
      out += "U";
      return;
    case Type::Logical:
      out += v.as_logical() ? "L:T" : "L:F";
      return;
    case Type::Number:
      if (v.is_integer()) {
        std::snprintf(buf, sizeof buf, "I:%lld/%d", static_cast<long long>(v.as_int()), v.width());
      } else {
        std::snprintf(buf, sizeof buf, "N:%.*f/%d/%d", v.decimals(), v.as_double(), v.width(),
                      v.decimals());
      }
      out += buf;
      return;
    case Type::String:
      out += (v.is_memo() ? "M:|" : "C:|") + v.as_string() + "|";
      return;
    case Type::Date:
      out += "D:" + std::to_string(v.as_date());
      return;
    case Type::Array: {
      if (depth > 8) {
        out += "A:...";
        return;
      }
      out += "A:{";
      const auto& items = v.as_array()->items;
      for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ",";
        show_into(items[i], out, depth + 1);
      }
      out += "}";
      return;
    }
    case Type::Block:
      out += "B";
      return;
    case Type::Object:
      out += "O:" + std::string(v.as_object()->class_name());
      return;
  }
}

Value twice(Runtime& rt, Args a) { return Value::integer(a[0].as_int() * 2); }
Value setref(Runtime& rt, Args a) {
  a.assign(0, a[1]);
  return Value::logical(a.is_ref(0));
}
Value nargs(Runtime& rt, Args a) { return Value::integer(static_cast<int64_t>(a.size())); }
Value isnil(Runtime& rt, Args a) { return Value::logical(a[0].is_nil()); }
Value uppert(Runtime& rt, Args a) { return Value::string(upper(a[0].as_string())); }

}  // namespace

std::string show(const Value& v) {
  std::string s;
  show_into(v, s, 0);
  return s;
}

std::string run(Runtime& rt, const std::string& text) {
  PrivateFrame frame(rt.memvars());
  try {
    return show(evaluate(rt, text));
  } catch (const Break& b) {
    if (const ErrorObject* e = error_of(b.value)) {
      return "ERR:" + std::to_string(e->gen_code) + "/" + std::to_string(e->sub_code);
    }
    return "BREAK:" + show(b.value);
  }
}

void setup(Runtime& rt) {
  register_eval(rt.registry());
  rtl::register_arrays(rt.registry());
  rt.registry().function("TWICE", twice);
  rt.registry().function("SETREF", setref);
  rt.registry().function("NARGS", nargs);
  rt.registry().function("ISNIL", isnil);
  rt.registry().function("UPPERT", uppert);
}

int MemoryFields::area_of(std::string_view alias) const {
  std::string a = upper(alias);
  for (const auto& [n, area] : areas) {
    if (upper(area.alias) == a || std::to_string(n) == a) return n;
  }
  return 0;
}

uint32_t MemoryFields::layout(int area) const {
  auto it = areas.find(area);
  return it == areas.end() ? 0 : it->second.layout;
}

int MemoryFields::field_pos(int area, std::string_view name) const {
  auto it = areas.find(area);
  if (it == areas.end()) return 0;
  std::string n = upper(name);
  const auto& f = it->second.fields;
  for (size_t i = 0; i < f.size(); ++i) {
    if (upper(f[i].first) == n) return static_cast<int>(i) + 1;
  }
  return 0;
}

bool MemoryFields::get(Runtime& rt, int area, int pos, Value& out) {
  out = areas.at(area).fields.at(static_cast<size_t>(pos - 1)).second;
  return true;
}

bool MemoryFields::put(Runtime& rt, int area, int pos, const Value& v) {
  areas.at(area).fields.at(static_cast<size_t>(pos - 1)).second = v;
  ++puts;
  return true;
}

}  // namespace kvel::eval::test
