#include "platform/rtl/transform.h"

#include <gtest/gtest.h>

#include "platform/rtl/cp866.h"
#include "platform/rtl/dates.h"
#include "rtl_calls.h"

namespace kvel::rtl::test {
namespace {

using eval::Value;

struct Case {
  Value v;
  std::string picture;
  std::string want;
};

void run_cases(const std::vector<Case>& cases) {
  RtlRuntime r;
  for (const Case& c : cases) {
    EXPECT_EQ(transform(r.rt, c.v, c.picture), c.want)
        << "picture \"" << c.picture << "\" case " << (&c - cases.data());
  }
}

TEST(Transform, NumbersThroughTemplatesAndFunctions) {
  run_cases({
      {F(-12.3, 1), "999.99", "-12.30"},
      {I(0), "@Z 999", "   "},
      {I(0), "@Z 9.99", "    "},
      {F(1234.5, 1), "@E 999,999.99", "  1.234,50"},
      {F(1234567.891, 3), "@E 999,999.99", "*******,**"},
      {F(123.456, 3), "@E 999.99", "123,46"},
      {I(1234), "9,999", "1,234"},
      {I(123), "9,999", "  123"},
      {F(-1234.5, 1), "9,999.99", "*****.**"},
      {I(5), "@( 999", "  5"},
      {F(-1234.5, 1), "@( 9,999.99", "(,***.**)"},
      {I(-5), "@( 999", "( 5)"},
      {I(-5), "@) 999", " (5)"},
      {I(5), "@B 999", "5  "},
      {F(1234.5, 1), "@B 9999.99", "1234.50"},
      {I(5), "@X 999", "  5"},
      {I(-5), "@X 999", "  5 DB"},
      {I(5), "@C 999", "  5 CR"},
      {F(0.5, 1), "9.99", "0.50"},
      {F(-0.5, 1), "9.99", "*.**"},
      {F(-0.001, 3), "9.99", "0.00"},
      {I(0), "999.99", "  0.00"},
      {F(1.25, 2), "", "         1.25"},
      {I(1234), "$9,999", "$1,234"},
      {I(34), "$9,999", "$   34"},
      {I(12), "*999", "* 12"},
      {I(12), "**99", "**12"},
      {I(12), "@R 9-9", "1-2"},
      {I(7), "999.", "  7."},
      {F(2.5, 1), "@E", "         2,5"},
  });
}

TEST(Transform, TextsDatesAndLogicals) {
  std::string ab = cp866::from_utf8("абв ёж");
  run_cases({
      {S("abc"), "@!", "ABC"},
      {S(ab), "@!", cp866::from_utf8("АБВ ёЖ")},
      {S("123456"), "@R 999-999", "123-456"},
      {S("12345"), "@R 999-999", "123-45 "},
      {S("abcdefgh"), "@S5", "abcde"},
      {S("abc"), "@R !!!", "ABC"},
      {S("abc"), "!!", "AB"},
      {S("abcd"), "!XA9", "Abcd"},
      {S("abc"), "", "abc"},
      {S("ab"), "XXXX", "ab"},
      {S("abcdef"), "@!S3", "ABC"},
      {Value::date(stod("20240315")), "@D", "15/03/24"},
      {Value::date(stod("20240315")), "", "15/03/24"},
      {Value::date(stod("20240315")), "@E", "15/03/24"},
      {Value::date(stod("20240315")), "99/99/99", "15/03/24"},
      {Value::date(0), "", "  /  /  "},
      {L(true), "", "T"},
      {L(false), "", "F"},
      {L(true), "L", "T"},
      {L(true), "Y", "Y"},
      {L(false), "Y", "N"},
      {L(true), "@!", "T"},
      {L(false), "@R L", "F"},
      {L(true), "@R [Y]", "[Y]"},
  });
  eval::Settings mdy;
  mdy.date_format = "mm/dd/yyyy";
  EXPECT_EQ(transform(mdy, Value::date(stod("20240315")), "@E"), "15/03/2024");
}

TEST(Transform, WrongTypesAreArgumentErrors) {
  RtlRuntime r;
  EXPECT_EQ(r.run("TRANSFORM", {NIL(), S("")}), "ERR:1:BASE/1122");
  EXPECT_EQ(r.run("TRANSFORM", {Value::new_array(0), S("")}), "ERR:1:BASE/1122");
  EXPECT_EQ(r.run("TRANSFORM", {I(1), I(2)}), "ERR:1:BASE/1122");
  EXPECT_EQ(r.run("TRANSFORM", {I(1), NIL()}), "C:|         1|");
  EXPECT_FALSE(transform(r.rt.settings(), Value(), "").has_value());
}

}  // namespace
}  // namespace kvel::rtl::test
