// Keys computed from the record bytes agree with the evaluator's value of
// the same expression on every fixture record; other expressions are left
// to the evaluator.
#include <gtest/gtest.h>

#include "platform/store/keyprog.h"
#include "session.h"
#include "support/test_support.h"

namespace kvel::test {
namespace {

TEST(KeyProgram, AgreesWithTheEvaluatorOnEveryRecord) {
  struct Case {
    const char* expr;
    bool compiled;
  };
  const Case cases[] = {
      {"UPPER(NAME)", true},
      {"Upper( NAME )", true},
      {"Str( AMOUNT, 10, 2 ) + DToS( DDATE ) + NAME", true},
      {"STR(QTY,5)+UPPER(NAME)", true},
      {"STR(AMOUNT,12,4)+DTOS(DDATE)", true},
      {"STR(AMOUNT)", true},
      {"STR(AMOUNT,10)", false},  // fewer decimals: rounding is the evaluator's
      {"NAME+DDATE", false},      // a type error, left to the evaluator
      {"LOWER(NAME)", false},
      {"NAME)", false},
      {"NOTE", false},
  };
  TempDir tmp;
  tmp.copy_fixture("fix1.dbf");
  tmp.copy_fixture("fix1.dbt");
  Session s;
  s.rt.settings().deleted = false;
  s.run("DBUSEAREA(.T.,, \"" + (tmp / "fix1.dbf").string() + "\", \"T\", .F., .T.)");
  store::WorkArea* w = s.st.current();
  ASSERT_NE(w, nullptr);
  for (const Case& c : cases) {
    auto prog = store::KeyProgram::compile(c.expr, w->dbf());
    EXPECT_EQ(prog.has_value(), c.compiled) << c.expr;
    if (!prog) continue;
    int records = 0;
    for (s.run("DBGOTOP()"); !w->eof(); s.run("DBSKIP()")) {
      ++records;
      std::string key;
      prog->run(w->buffer(), &key);
      EXPECT_EQ(key, s.run(c.expr).as_string()) << c.expr << " record " << w->recno();
    }
    EXPECT_EQ(records, 30) << c.expr;
  }
  EXPECT_TRUE(s.errors.empty()) << s.errors.front();
}

}  // namespace
}  // namespace kvel::test
