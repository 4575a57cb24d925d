#include "common/procn10.h"

#include <gtest/gtest.h>

#include "common/errorsys.h"
#include "common/main.h"
#include "common/publics.h"
#include "platform/eval/eval.h"
#include "runner_fixture.h"

namespace kvel::common {
namespace {

using eval::Args;
using eval::Runtime;
using eval::Value;

std::vector<std::string> g_rec;
Value rec(Runtime& rt, Args a) {
  g_rec.push_back(value_text(rt, a[0]));
  return {};
}

TEST(Procn10, HowStatementsAreTaken) {
  using K = Statement::Kind;
  struct Case {
    std::string text;
    K kind;
    std::string names;
  };
  const Case cases[] = {
      {"PRIVATE a, b", K::Private, "a|b|"},
      {"pri x", K::Private, "x|"},
      {"Publ  Tot", K::Public, "Tot|"},
      {"RELEASE q", K::Release, "q|"},
      {"PRICE := 5", K::Expression, "PRICE|"},  // a keyword needs a blank after it
      {"PRI(1)", K::Expression, ""},
      {"PR x", K::Expression, ""},  // two letters are no abbreviation
      {"x := y := 3", K::Expression, "x|y|"},
      {"a[1] := 2", K::Expression, ""},
      {"T1->F := 1", K::Expression, ""},
      {"f(n := 4)", K::Expression, "n|"},
      {"{|v| w := v}", K::Expression, "w|"},
  };
  for (const Case& c : cases) {
    Statement st = classify_statement(c.text);
    std::string names;
    for (const auto& n : st.names) names += n + "|";
    EXPECT_EQ(st.kind, c.kind) << c.text;
    EXPECT_EQ(names, c.names) << c.text;
  }
}

struct Procn10Run : ::testing::Test {
  test::RunnerFixture f;
  void SetUp() override {
    g_rec.clear();
    f.rt().registry().function("REC", rec);
  }
};

TEST_F(Procn10Run, DeclarationsAndAssignments) {
  f.describe(
      "1\n  N10002\n"
      "2\n  1N10003\n  PUBLIC PX\n  PX := 0\n  PV := 1\n  REC(PV)\n  PRICE := 5\n"
      "  REC(TYPE('PRICE'))\n  A := {1}\n  A[1] := 2\n  REC(A[1])\n  PUBLIC Q\n"
      "3\n  0N10000\n  REC(TYPE('PX') + STR(PX, 1))\n  REC(TYPE('PV') + TYPE('PRICE'))\n"
      "  Q := 5\n  REC(Q)\n  RELEASE Q\n  REC(TYPE('Q'))\n");
  EXPECT_EQ(run_description(f.rt()), 0);
  // The public made by a declaration keeps its 0; the names assigned
  // without one were private to their entry.
  EXPECT_EQ(g_rec, (std::vector<std::string>{"1", "N", "2", "N0", "UU", "5", "U"}));
}

TEST_F(Procn10Run, AFailingStatementShowsItsTextAndStopsTheRest) {
  f.keys("checkpoint err\nkey Enter\nkey Enter");
  f.describe("1\n  N10002\n2\n  0N10000\n  REC(1)\n  X := NOSUCH(1)\n  REC(2)\n");
  EXPECT_EQ(run_description(f.rt()), 99);
  EXPECT_EQ(g_rec, (std::vector<std::string>{"1"}));
  const screen::Snapshot* s = f.at("err");
  ASSERT_NE(s, nullptr);
  EXPECT_NE(s->text().find("Неизвестная функция: NOSUCH"), std::string::npos) << s->text();
  EXPECT_NE(s->text().find("X := NOSUCH(1)"), std::string::npos) << s->text();
}

TEST_F(Procn10Run, ADeclarationOfSomethingElseThanNamesIsASyntaxErrorToSkip) {
  // Skipped twice; the statements after them run and nothing odd was made.
  f.keys("checkpoint err\nkey Right Enter\nkey Right Enter");
  f.describe(
      "1\n  N10002\n2\n  0N10000\n  PRIV := 5\n  PUBLIC y, x := 1\n  REC(TYPE('y') + TYPE('x'))\n");
  EXPECT_EQ(run_description(f.rt()), 0);
  EXPECT_EQ(g_rec, (std::vector<std::string>{"UU"}));
  const screen::Snapshot* s = f.at("err");
  ASSERT_NE(s, nullptr);
  EXPECT_NE(s->text().find("Синтаксическая ошибка"), std::string::npos) << s->text();
  EXPECT_NE(s->text().find("PRIV := 5"), std::string::npos) << s->text();
  EXPECT_NE(s->text().find("Пропустить"), std::string::npos) << s->text();
}

TEST_F(Procn10Run, CargoNamesTheProcedureLineAndStatement) {
  f.describe("1\n  N10002\n2\n  0N10000\n  REC(1)\n  1 + 'a'\n");
  // the handler in force outside the procedure records the error
  struct Capture {
    static eval::Answer handle(Runtime& rt, eval::ErrorObject& e) {
      g_rec.push_back(value_text(rt, e.cargo.at(0)) + "/" + value_text(rt, e.cargo.at(1)) + "/" +
                      value_text(rt, e.cargo.at(2)));
      return eval::Answer::substitute(Value::integer(0));
    }
  };
  {
    eval::CallFrame frame(f.rt(), "PROCN10", "CONTROL.0", 2);
    make_public(f.rt(), pub::SPAR, list_of_texts({"0N10000", "REC(1)", "1 + 'a'"}));
    Value smp = Value::new_array(6);
    smp.as_array()->items = {Value::string("N10"), Value::integer(2), Value::integer(1),
                             Value::integer(3),    Value::integer(0), Value::integer(0)};
    make_public(f.rt(), pub::SMP, smp);
    f.rt().set_error_handler(Capture::handle);
    procn10(f.rt());
  }
  EXPECT_EQ(g_rec, (std::vector<std::string>{"1", "PROCN10/3/1 + 'a'"}));
}

TEST_F(Procn10Run, BreakValues) {
  // A long text ends the procedure normally; a small number goes on to the
  // restart (counted in DOSPAR, which the restart keeps).
  f.describe(
      "1\n  N10002\n2\n  1N10003\n  REC('a')\n  FBRK(, , , 'stop here')\n  REC('not run')\n"
      "3\n  0N10000\n  DOSPAR := DOSPAR + 'x'\n  REC(DOSPAR)\n  IF(LEN(DOSPAR) < 2, FBRK(, , , 7), "
      "0)\n"
      "  REC('end')\n");
  EXPECT_EQ(run_description(f.rt()), 0);
  EXPECT_EQ(g_rec, (std::vector<std::string>{"a", "x", "a", "xx", "end"}));
}

}  // namespace
}  // namespace kvel::common
