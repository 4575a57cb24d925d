// Shared by the evaluator's tests: a runtime with the evaluator's own and the
// array functions, a short printed form of values, an in-memory table store
// and a small object kind.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/eval/eval.h"
#include "platform/eval/runtime.h"

namespace kvel::eval::test {

// N:<value>/<width>/<decimals> (integers as I:...), C:|..|, L:T, D:<day>,
// U, A:{...}, B, O:<class>; an error that ended the evaluation as
// ERR:<gen>/<sub>.
std::string show(const Value& v);
std::string run(Runtime& rt, const std::string& text);

// A runtime with EVAL, VALTYPE, TYPE, the array functions and a few test
// functions: TWICE(n), SETREF(@x, v) assigns v to x, NARGS(...) counts
// arguments, ISNIL(x), UPPERT(c) in ASCII.
void setup(Runtime& rt);

// Work areas holding one record each; fields are (name, value).
class MemoryFields : public FieldAccess {
 public:
  struct Area {
    std::string alias;
    std::vector<std::pair<std::string, Value>> fields;
    uint32_t layout = 1;
  };
  std::map<int, Area> areas;
  int current = 1;
  int puts = 0;

  int selected() const override { return current; }
  void select(int area) override { current = area; }
  int area_of(std::string_view alias) const override;
  uint32_t layout(int area) const override;
  int field_pos(int area, std::string_view name) const override;
  bool get(Runtime& rt, int area, int pos, Value& out) override;
  bool put(Runtime& rt, int area, int pos, const Value& v) override;
};

}  // namespace kvel::eval::test
