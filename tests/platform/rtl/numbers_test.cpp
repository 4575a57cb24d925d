#include <gtest/gtest.h>

#include <cmath>

#include "platform/rtl/numbers.h"
#include "rtl_calls.h"

namespace kvel::rtl::test {
namespace {

using eval::Value;

struct Case {
  const char* fn;
  std::vector<Value> args;
  const char* want;
};

void run_cases(const std::vector<Case>& cases) {
  RtlRuntime r;
  for (const Case& c : cases) {
    EXPECT_EQ(r.run(c.fn, c.args), c.want) << c.fn << " case " << (&c - cases.data());
  }
}

TEST(Str, DefaultWidthsExplicitWidthsAndOverflow) {
  run_cases({
      {"STR", {I(123)}, "C:|       123|"},
      {"STR", {I(-123)}, "C:|      -123|"},
      {"STR", {F(123.45, 2)}, "C:|       123.45|"},
      {"STR", {F(123456789.123, 3)}, "C:| 123456789.123|"},
      // Too wide for their width: one leading blank, large negatives 20 columns.
      {"STR", {Value::integer(10000000000, 10)}, "C:| 10000000000|"},
      {"STR", {Value::integer(-1234567890, 10)}, "C:|         -1234567890|"},
      {"STR", {F(1e20, 0)}, "C:| 100000000000000000000|"},
      {"STR", {F(123.456, 3), I(10), I(2)}, "C:|    123.46|"},
      {"STR", {F(123.455, 3), I(10), I(2)}, "C:|    123.46|"},
      {"STR", {F(2.5, 1), I(3), I(0)}, "C:|  3|"},
      {"STR", {F(-2.5, 1), I(4), I(0)}, "C:|  -3|"},
      {"STR", {F(0.5, 1), I(1), I(0)}, "C:|1|"},
      {"STR", {F(1234.5678, 4), I(8)}, "C:|    1235|"},
      {"STR", {F(1234.5678, 4), I(4)}, "C:|1235|"},
      {"STR", {I(12345), I(3)}, "C:|***|"},
      {"STR", {I(-1), I(1)}, "C:|*|"},
      {"STR", {F(1.23, 2), I(3), I(2)}, "C:|***|"},
      {"STR", {F(1.23, 2), I(4), I(2)}, "C:|1.23|"},
      {"STR", {F(-0.23, 2), I(3), I(2)}, "C:|***|"},
      {"STR", {I(5), I(5), I(2)}, "C:| 5.00|"},
      {"STR", {F(-3.75, 2), I(6), I(1)}, "C:|  -3.8|"},
      {"STR", {I(10), I(0)}, "C:|        10|"},
      {"STR", {I(10), I(-1)}, "C:|        10|"},
      {"STR", {I(10), I(5), I(-1)}, "C:|   10|"},
      {"STR", {F(-0.001, 3), I(5), I(2)}, "C:| 0.00|"},
      {"STR", {L(true)}, "ERR:1:BASE/1099"},
      {"STR", {S("12")}, "ERR:1:BASE/1099"},
      {"STR", {I(1), S("5")}, "ERR:1:BASE/1099"},
      {"STRZERO", {I(-5), I(4)}, "C:|-005|"},
      {"STRZERO", {F(3.5, 1), I(6), I(1)}, "C:|0003.5|"},
  });
}

TEST(Str, SixteenSignificantDigitsThenZeros) {
  run_cases({
      {"STR", {F(0.3, 1), I(20), I(18)}, "C:|0.300000000000000000|"},
      {"STR", {F(1.0 / 3, 2), I(20), I(18)}, "C:|0.333333333333333300|"},
      {"STR", {F((0.1 + 0.2) - 0.3, 2), I(25), I(20)}, "C:|   0.00000000000000005551|"},
      {"STR", {F(100 * 1.1, 2), I(20), I(15)}, "C:| 110.000000000000000|"},
      {"STR", {F(std::exp(1.0), 2), I(12), I(8)}, "C:|  2.71828183|"},
      {"STR", {F(9007199254740992.0, 2), I(20)}, "C:|    9007199254740992|"},
  });
}

TEST(Val, WidthOfTheTextDecimalsAfterThePoint) {
  run_cases({
      {"VAL", {S("12.50")}, "N:12.50 12.50"},
      {"VAL", {S("abc")}, "N:  0   0"},
      {"VAL", {S("-0.5")}, "N:-0.5 -0.5"},
      {"VAL", {S("")}, "N:         0          0"},
      {"VAL", {S("  -12  ")}, "N:    -12     -12"},
      {"VAL", {S("+5")}, "N: 5  5"},
      {"VAL", {S("1.2.3")}, "N:1.200 1.200"},
      {"VAL", {S(".5")}, "N:0.5 0.5"},
      {"VAL", {S("12abc")}, "N:   12    12"},
      {"VAL", {S("1 000")}, "N:    1     1"},
      {"VAL", {S("7")}, "N:7 7"},
      {"VAL", {S("123456789012")}, "N:        123456789012         123456789012"},
      {"VAL", {S("99999999999999999999999")}, "N:99999999999999990000000 99999999999999990000000"},
      {"VAL", {I(1)}, "ERR:1:BASE/1098"},
  });
}

TEST(Round, HalfAwayFromZeroAfterCorrectingBinaryError) {
  run_cases({
      {"ROUND", {F(2.5, 1), I(0)}, "N:         3          3"},
      {"ROUND", {F(-2.5, 1), I(0)}, "N:        -3         -3"},
      {"ROUND", {F(1234.5678, 4), I(2)}, "N:      1234.57       1234.57"},
      {"ROUND", {F(1234.5678, 4), I(-2)}, "N:      1200       1200"},
      {"ROUND", {I(1250), I(-2)}, "N:      1300       1300"},
      {"ROUND", {F(2.675, 3), I(2)}, "N:         2.68          2.68"},
      {"ROUND", {F(1.005, 3), I(2)}, "N:         1.01          1.01"},
      {"ROUND", {F(2.345, 3), I(2)}, "N:         2.35          2.35"},
      {"ROUND", {S("1"), I(0)}, "ERR:1:BASE/1094"},
      {"ROUND", {F(1.5, 1)}, "ERR:1:BASE/1094"},
  });
  RtlRuntime r;
  EXPECT_EQ(r.call("ROUND", {F(0.1 + 0.2, 2), I(2)}).as_double(), 0.3);
}

TEST(Numbers, IntAbsModMaxMinAndTheMathFunctions) {
  Value ymd_a = Value::date(2460311), ymd_b = Value::date(2460342);
  run_cases({
      {"INT", {F(3.9, 1)}, "N:         3          3"},
      {"INT", {F(-0.5, 1)}, "N:         0          0"},
      {"INT", {F(1000000000000000.5, 1)}, "N: 1000000000000000  1000000000000000"},
      {"INT", {F(1.15 * 100, 2)}, "N:       114        114"},
      {"INT", {S("1")}, "ERR:1:BASE/1090"},
      {"ABS", {F(-2.5, 2)}, "N:         2.50          2.50"},
      {"ABS", {I(-7)}, "N:         7          7"},
      {"ABS", {S("a")}, "ERR:1:BASE/1089"},
      {"MOD", {I(7), I(3)}, "N:         1.00          1.00"},
      {"MOD", {I(7), I(-3)}, "N:        -2.00         -2.00"},
      {"MOD", {F(7.5, 1), I(2)}, "N:         1.50          1.50"},
      {"MOD", {I(0), I(5)}, "N:         0.00          0.00"},
      {"MOD", {I(1), I(0)}, "ERR:5:BASE/1341"},
      {"MAX", {I(1), I(2)}, "N:         2          2"},
      {"MAX", {I(1), F(1.5, 1)}, "N:         1.5          1.5"},
      {"MIN", {I(1), F(1.5, 1)}, "N:         1          1"},
      {"MAX", {ymd_a, ymd_b}, "D:20240201"},
      {"MIN", {ymd_a, ymd_b}, "D:20240101"},
      {"MAX", {I(1), S("2")}, "ERR:1:BASE/1093"},
      {"MAX", {S("a"), S("b")}, "ERR:1:BASE/1093"},
      {"MAX", {I(1)}, "ERR:1:BASE/1093"},
      {"MIN", {ymd_a, I(1)}, "ERR:1:BASE/1092"},
      {"SQRT", {I(16)}, "N:         4.00          4.00"},
      {"SQRT", {I(2)}, "N:         1.41          1.41"},
      {"SQRT", {I(-1)}, "N:         0.00          0.00"},
      {"EXP", {I(1000)}, "N:         0.00          0.00"},
      {"LOG", {I(0)}, "N:*********************** ***********************"},
      {"LOG", {I(-1)}, "N:*********************** ***********************"},
      {"LOG", {S("x")}, "ERR:1:BASE/1095"},
  });
}

TEST(Numbers, FixedTextRoundsEveryScale) {
  struct Row {
    double d;
    int dec;
    std::string want;
  };
  const Row rows[] = {
      {0, 2, "0.00"},       {-0.004, 2, "0.00"},      {0.005, 2, "0.01"},
      {-0.005, 2, "-0.01"}, {999.995, 2, "1000.00"},  {123456, -3, "123000"},
      {499, -3, "0"},       {500, -3, "1000"},        {1e-20, 2, "0.00"},
      {0.5, 0, "1"},        {1.5e-7, 7, "0.0000002"}, {1e300, -300, "1" + std::string(300, '0')},
  };
  for (const Row& r : rows) EXPECT_EQ(fixed_text(r.d, r.dec), r.want) << r.d << " at " << r.dec;
}

TEST(Numbers, ArgumentErrorTakesTheHandlersSubstitute) {
  RtlRuntime r;
  eval::ScopedErrorHandler h(r.rt, [](eval::Runtime&, eval::ErrorObject& e) {
    EXPECT_TRUE(e.can_substitute);
    EXPECT_EQ(e.operation, "STR");
    EXPECT_TRUE(e.args && e.args->size() == 1);
    return eval::Answer::substitute(Value::string("sub"));
  });
  EXPECT_EQ(r.run("STR", {L(true)}), "C:|sub|");
}

}  // namespace
}  // namespace kvel::rtl::test
