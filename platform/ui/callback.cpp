#include "platform/ui/callback.h"

#include <vector>

#include "platform/eval/eval.h"

namespace kvel::ui {

using eval::Value;

namespace {

class NativeBlock : public eval::BlockData {
 public:
  explicit NativeBlock(std::function<Value(eval::Runtime&, eval::Args)> fn) : fn_(std::move(fn)) {}
  Value call(eval::Runtime& rt, eval::Args args) override { return fn_(rt, args); }
  std::string_view source() const override { return {}; }

 private:
  std::function<Value(eval::Runtime&, eval::Args)> fn_;
};

Value call_with(eval::Runtime& rt, const Value& block, std::initializer_list<Value> args) {
  std::vector<Value> v(args);
  return block.as_block()->call(rt, eval::Args(v.data(), v.size()));
}

}  // namespace

Value make_block(std::function<Value(eval::Runtime&, eval::Args)> fn) {
  return Value::block(std::make_shared<NativeBlock>(std::move(fn)));
}

Value call(eval::Runtime& rt, const Value& block, std::initializer_list<Value> args) {
  if (!block.is_block()) return {};
  return call_with(rt, block, args);
}

bool holds(eval::Runtime& rt, const Value& cond, const Value& arg) {
  Value r;
  if (cond.is_nil()) return true;
  if (cond.is_logical()) return cond.as_logical();
  if (cond.is_block()) {
    r = call_with(rt, cond, {arg});
  } else if (cond.is_string()) {
    if (cond.as_string().find_first_not_of(' ') == std::string::npos) return true;
    r = eval::evaluate(rt, cond.as_string());
  } else {
    return true;
  }
  return !r.is_logical() || r.as_logical();
}

Value call_user(eval::Runtime& rt, const Value& fn, std::initializer_list<Value> args) {
  if (fn.is_block()) return call_with(rt, fn, args);
  if (!fn.is_string() || fn.as_string().empty()) return {};
  std::vector<Value> v(args);
  std::string name = fn.as_string();
  size_t paren = name.find('(');
  if (paren != std::string::npos) name.resize(paren);
  return eval::call_function(rt, name, eval::Args(v.data(), v.size()));
}

Value var_block(eval::Runtime& rt, const std::string& name) {
  return make_block([name](eval::Runtime& r, eval::Args a) -> Value {
    eval::FieldAccess* f = r.fields();
    int area = f ? f->selected() : 0;
    int pos = f && area > 0 ? f->field_pos(area, name) : 0;
    if (a.size() > 0 && !a[0].is_nil()) {
      if (pos > 0) {
        f->put(r, area, pos, a[0]);
      } else {
        r.memvars().assign(name, a[0]);
      }
      return a[0];
    }
    if (pos > 0) {
      Value out;
      f->get(r, area, pos, out);
      return out;
    }
    return r.memvars().get(name);
  });
}

void raise_no_method(eval::Runtime& rt, std::string_view name) {
  eval::ErrorObject e;
  e.gen_code = eval::kErrNoMethod;
  e.sub_code = 1004;
  e.description = "No exported method";
  e.operation = eval::upper_name(name);
  rt.raise(e);
}

}  // namespace kvel::ui
