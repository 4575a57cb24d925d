// The evaluator's own state inside a Runtime: the compile cache keyed by
// text, and the guard that keeps nested evaluations (blocks calling blocks,
// macros expanding macros) from exhausting the C++ stack. Internal.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/eval/node.h"
#include "platform/eval/runtime.h"

namespace kvel::eval {

class EvalState : public Service {
 public:
  static constexpr ServiceSlot kSlot = ServiceSlot::Evaluator;
  // A stale cache is dropped whole when it grows past this many texts.
  static constexpr size_t kCacheLimit = 20000;

  // The compiled text, from the cache or compiled now (errors included).
  std::shared_ptr<Program> program(Runtime& rt, std::string_view text);
  void clear_cache() { cache_.clear(); }
  size_t cached() const { return cache_.size(); }

  const char* stack_base = nullptr;  // frame address of the outermost evaluation
  int nesting = 0;
  // Set when the stack budget ran out, until the outermost evaluation ends:
  // deeper calls then fail at once and quietly, so that a block calling
  // itself twice does not retry the limit an exponential number of times.
  bool exhausted = false;

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::shared_ptr<Program>, Hash, std::equal_to<>> cache_;
};

EvalState& state(Runtime& rt);

// Bounds the C++ stack that nested evaluations use. When the budget is spent
// the guard raises a limit error; `ok` is then false and `result` holds the
// handler's substitute.
class NestGuard {
 public:
  explicit NestGuard(Runtime& rt);
  ~NestGuard() {
    if (--s_.nesting == 0) s_.exhausted = false;
  }
  NestGuard(const NestGuard&) = delete;
  NestGuard& operator=(const NestGuard&) = delete;

  bool ok = true;
  Value result;

 private:
  EvalState& s_;
};

// Raises the syntax error of a program that did not compile; returns the
// handler's substitute or NIL.
Value syntax_error(Runtime& rt, const Program& p);

// Evaluates a compiled program at the top level (no block parameters).
Value run(Runtime& rt, const std::shared_ptr<Program>& p);

}  // namespace kvel::eval
