#include "platform/eval/eval.h"

#include <utility>

#include "platform/eval/node.h"
#include "platform/eval/ops.h"
#include "platform/eval/parser.h"
#include "platform/eval/state.h"

namespace kvel::eval {

namespace {

// Stack the nested evaluations of one outermost call may use. Generous for
// real descriptions (hundreds of levels), well inside the 8 MB main stack.
constexpr ptrdiff_t kStackBudget = 1536 * 1024;

class NativeBlock : public BlockData {
 public:
  NativeBlock(std::function<Value(Runtime&, Args)> fn, std::string src)
      : fn_(std::move(fn)), src_(std::move(src)) {}
  Value call(Runtime& rt, Args args) override { return fn_(rt, args); }
  std::string_view source() const override { return src_; }

 private:
  std::function<Value(Runtime&, Args)> fn_;
  std::string src_;
};

std::string shown(std::string_view text) {
  constexpr size_t kShown = 200;
  if (text.size() <= kShown) return std::string(text);
  return std::string(text.substr(0, kShown)) + "...";
}

}  // namespace

std::shared_ptr<Program> EvalState::program(Runtime& rt, std::string_view text) {
  auto it = cache_.find(text);
  if (it != cache_.end()) return it->second;
  std::shared_ptr<Program> p = compile_text(rt, text);
  if (cache_.size() >= kCacheLimit) cache_.clear();
  cache_.emplace(std::string(text), p);
  return p;
}

EvalState& state(Runtime& rt) {
  if (EvalState* s = rt.find<EvalState>()) return *s;
  rt.install(ServiceSlot::Evaluator, std::make_unique<EvalState>());
  return *rt.find<EvalState>();
}

NestGuard::NestGuard(Runtime& rt) : s_(state(rt)) {
  const char* here = static_cast<const char*>(__builtin_frame_address(0));
  if (s_.nesting++ == 0) s_.stack_base = here;
  if (s_.exhausted) {
    ok = false;
    return;
  }
  if (s_.stack_base - here > kStackBudget || here - s_.stack_base > kStackBudget) {
    ok = false;
    s_.exhausted = true;
    ErrorObject e;
    e.gen_code = kErrLimit;
    e.sub_code = 1;
    e.description = "Evaluation nested too deeply";
    e.operation = "EVAL";
    e.can_default = true;
    try {
      Answer a = rt.raise(e);
      if (a.is_substitute()) result = a.value;
    } catch (...) {
      // No destructor runs for a constructor that throws: undo the count here.
      if (--s_.nesting == 0) s_.exhausted = false;
      throw;
    }
  }
}

Value syntax_error(Runtime& rt, const Program& p) {
  ErrorObject e;
  e.gen_code = kErrSyntax;
  e.sub_code = 1449;
  e.description = "Syntax error: " + p.error + ": " + shown(p.text);
  e.operation = "&";
  e.can_default = true;
  e.can_substitute = true;
  Answer a = rt.raise(e);
  if (a.is_substitute()) return a.value;
  return {};
}

Value run(Runtime& rt, const std::shared_ptr<Program>& p) {
  NestGuard guard(rt);
  if (!guard.ok) return guard.result;
  Ctx c{rt};
  return p->root->eval(c);
}

Value evaluate(Runtime& rt, std::string_view text) {
  std::shared_ptr<Program> p = state(rt).program(rt, text);
  if (!p->root) return syntax_error(rt, *p);
  return run(rt, p);
}

Value compile_block(Runtime& rt, std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool literal = i + 1 < text.size() && text[i] == '{' && text[i + 1] == '|';
  Value v = literal ? evaluate(rt, text) : evaluate(rt, "{||" + std::string(text) + "}");
  return v;
}

Value call_block(Runtime& rt, const Value& block, Args args) {
  if (block.is_block()) return block.as_block()->call(rt, args);
  return op_error(rt, kErrNoMethod, 1004, "No exported method", "EVAL", {block});
}

Value call_block(Runtime& rt, const Value& block, std::initializer_list<Value> args) {
  std::vector<Value> v(args);
  return call_block(rt, block, Args(v.data(), v.size()));
}

Value native_block(std::function<Value(Runtime&, Args)> fn, std::string source) {
  return Value::block(std::make_shared<NativeBlock>(std::move(fn), std::move(source)));
}

Value call_function(Runtime& rt, std::string_view name, Args args) {
  for (int tries = 1;; ++tries) {
    if (const Function* f = rt.registry().find(name)) {
      NestGuard guard(rt);
      if (!guard.ok) return guard.result;
      return f->fn(rt, args);
    }
    ErrorObject e;
    e.gen_code = kErrNoFunc;
    e.sub_code = 1001;
    e.description = "Undefined function";
    e.operation = std::string(name);
    e.can_retry = true;
    e.can_default = true;
    e.tries = tries;
    Answer a = rt.raise(e);
    if (a.is_retry()) continue;
    if (a.is_substitute()) return a.value;
    return {};
  }
}

bool equal(Runtime& rt, const Value& a, const Value& b) {
  Value r = compare_values(rt, CmpOp::Eq, a, b);
  return r.is_logical() && r.as_logical();
}

bool exactly_equal(Runtime& rt, const Value& a, const Value& b) {
  Value r = compare_values(rt, CmpOp::EqEq, a, b);
  return r.is_logical() && r.as_logical();
}

int compare(Runtime& rt, const Value& a, const Value& b) {
  Value lt = compare_values(rt, CmpOp::Lt, a, b);
  if (!lt.is_logical()) return 0;  // unlike types: the error is raised once
  if (lt.as_logical()) return -1;
  Value gt = compare_values(rt, CmpOp::Gt, a, b);
  return gt.is_logical() && gt.as_logical() ? 1 : 0;
}

}  // namespace kvel::eval
