// The array functions where blocks misbehave or arrays hold themselves.
#include <gtest/gtest.h>

#include "eval_test_support.h"

namespace kvel::eval {
namespace {

using test::run;
using test::setup;

TEST(ArrayFunctions, SurviveBlocksThatMisbehave) {
  struct Case {
    const char* expr;
    const char* expect;
  };
  static const Case cases[] = {
      // An inconsistent order still ends, with every element kept.
      {"(n := 0, a := ASort({3, 1, 2, 5, 4, 1, 2}, , , {|x, y| (n := n + 1) % 2 == 0}), Len(a))",
       ""},
      {"(a := {1, 2, 3}, ASort(a, , , {|x, y| ASize(a, 0), x < y}), Len(a))", "I:0/10"},
      {"(a := {1, 2, 3, 4}, AEval(a, {|x| ASize(a, 2)}), Len(a))", "I:2/10"},
      {"(a := {1, 2, 3}, AScan(a, {|x| ASize(a, 1), .F.}))", "I:0/10"},
      {"ASort({'b', 'a', 'C'}, 2)", "A:{C:|b|,C:|C|,C:|a|}"},
      {"AFill(Array(3), 7, 2)", "A:{U,I:7/10,I:7/10}"},
      {"(a := {1}, AAdd(a, a), b := AClone(a), b[2] == b .AND. !(b[2] == a))", "L:T"},
      {"ACopy({1, 2, 3}, Array(2), 2, , 1)", "A:{I:2/10,I:3/10}"},
      {"ATail({})", "U"},
      {"Array(2000, 2000)", "ERR:2/1131"},
      {"ASize({1}, 'x')", "ERR:1/2023"},
  };
  Runtime rt;
  setup(rt);
  rt.registry().function("LEN", [](Runtime&, Args a) {
    return Value::integer(a[0].is_array() ? static_cast<int64_t>(a[0].as_array()->items.size())
                                          : -1);
  });
  for (const auto& c : cases) {
    std::string got = run(rt, c.expr);
    if (*c.expect)
      EXPECT_EQ(got, c.expect) << "expr: " << c.expr;
    else
      EXPECT_EQ(got, "I:7/10") << "expr: " << c.expr;
  }
}

TEST(ArrayFunctions, RecursionThatBranchesStopsQuickly) {
  Runtime rt;
  setup(rt);
  int errors = 0;
  ScopedErrorHandler h(rt, [&](Runtime&, ErrorObject& e) {
    ++errors;
    return Answer::fallback();
  });
  // Each level calls itself twice: after the first limit error the rest of
  // the evaluation fails at once instead of 2^depth times.
  EXPECT_EQ(run(rt, "(b := {|| Eval(b), Eval(b)}, Eval(b), 'done')"), "C:|done|");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(run(rt, "(b := {|x| x + 1}, Eval(b, 1))"), "I:2/10");
}

}  // namespace
}  // namespace kvel::eval
