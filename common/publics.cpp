#include "common/publics.h"

#include <cmath>

#include "platform/eval/eval.h"

namespace kvel::common {

using eval::Value;

Value get(eval::Runtime& rt, pub::VarName v) { return rt.memvars().get(v.name); }

void set(eval::Runtime& rt, pub::VarName v, Value value) {
  if (Value* p = rt.memvars().find(v.name)) {
    *p = std::move(value);
  } else {
    rt.memvars().declare_public(v.name, std::move(value));
  }
}

void make_public(eval::Runtime& rt, std::string_view name, Value value) {
  rt.memvars().declare_public(name) = std::move(value);
}

void make_public(eval::Runtime& rt, pub::VarName v, Value value) {
  make_public(rt, v.name, std::move(value));
}

long number_of(const Value& v, long fallback) {
  if (!v.is_number()) return fallback;
  double d = v.as_double();
  if (!std::isfinite(d) || d > 2e9 || d < -2e9) return fallback;
  return static_cast<long>(v.as_int());
}

std::string text_of(const Value& v) { return v.is_string() ? v.as_string() : std::string(); }

Value list_of_texts(const std::vector<std::string>& texts) {
  Value a = Value::new_array(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) a.as_array()->items[i] = Value::string(texts[i]);
  return a;
}

Value empty_list(size_t n) { return Value::new_array(n); }

namespace {

void bound_error(eval::Runtime& rt, const Value& list, long i, std::string_view what) {
  eval::ErrorObject e;
  e.gen_code = eval::kErrBound;
  e.sub_code = 1132;
  e.description = "Bound error";
  e.operation = "array access: " + std::string(what);
  e.args = std::vector<Value>{list, Value::integer(i)};
  if (!rt.calls().empty()) {
    e.procedure = rt.calls().back().name;
    e.module = rt.calls().back().module;
    e.line = rt.calls().back().line;
  }
  rt.raise(e);
}

}  // namespace

Value* element(eval::Runtime& rt, const Value& list, long i, std::string_view what) {
  if (!list.is_array() || i < 1 || static_cast<size_t>(i) > list.as_array()->items.size()) {
    bound_error(rt, list, i, what);
    return nullptr;
  }
  return &list.as_array()->items[static_cast<size_t>(i - 1)];
}

Value* element(eval::Runtime& rt, pub::VarName v, long i) {
  Value* p = rt.memvars().find(v.name);
  return element(rt, p ? *p : Value(), i, v.name);
}

eval::ArrayData* list(eval::Runtime& rt, pub::VarName v) {
  Value* p = rt.memvars().find(v.name);
  if (p && p->is_array()) return p->as_array().get();
  bound_error(rt, p ? *p : Value(), 0, v.name);
  return nullptr;
}

Value call_if_present(eval::Runtime& rt, std::string_view name, std::vector<Value> args) {
  if (!rt.registry().find(name)) return {};
  return eval::call_function(rt, name, eval::Args(args.data(), args.size()));
}

}  // namespace kvel::common
