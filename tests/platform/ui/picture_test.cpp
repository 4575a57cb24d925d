#include "platform/ui/picture.h"

#include <gtest/gtest.h>

#include "platform/rtl/rtl.h"
#include "platform/ui/ui_fixture.h"
#include "support/test_support.h"

namespace kvel::ui {
namespace {

using eval::Value;
using test::cp;

TEST(Picture, ParsesFunctionsScrollAndTemplate) {
  struct Case {
    const char* text;
    const char* functions;
    int scroll;
    const char* templ;
  } cases[] = {
      {"@!R 999-999", "!R", 0, "999-999"}, {"@S10", "S", 10, ""}, {"@rs5 XX", "RS", 5, "XX"},
      {"99/99/9999", "", 0, "99/99/9999"}, {"", "", 0, ""},
  };
  for (const Case& c : cases) {
    Picture p = parse_picture(c.text);
    EXPECT_EQ(p.functions, c.functions) << c.text;
    EXPECT_EQ(p.scroll, c.scroll) << c.text;
    EXPECT_EQ(p.templ, c.templ) << c.text;
  }
}

TEST(Picture, FormatsNumbersIntoTemplates) {
  struct Case {
    double v;
    const char* pic;
    const char* out;
  } cases[] = {
      {1234.5, "9,999.99", "1,234.50"},
      {5, "9,999.99", "    5.00"},
      {-5, "999", " -5"},
      {12345, "999", "***"},
      {0, "@Z 999", "   "},
      {5, "@B 999", "5  "},
      {1234.5, "@E 9,999.99", "1.234,50"},
      {2.675, "9.99", "2.68"},
      {-0.001, "9.99", "0.00"},
      {-1234, "999", "***"},
      {7, "@C 99", " 7 CR"},
      {-7, "@X 99", "-7 DB"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format_number(c.v, 0, parse_picture(c.pic)), c.out) << c.v << " " << c.pic;
  }
}

// Keys as the reader gives them to the buffer: '\x01' Home, '\x06' End,
// '\x13' Left, '\x04' Right, '\b' Backspace, '\x7f' Del, '.' in a number moves
// to the decimals (so does ','); every other byte is typed.
void drive(EditBuffer& b, const std::string& keys, bool insert) {
  for (unsigned char k : keys) {
    switch (k) {
      case 0x01:
        b.home();
        break;
      case 0x06:
        b.end();
        break;
      case 0x13:
        b.left();
        break;
      case 0x04:
        b.right();
        break;
      case '\b':
        b.backspace();
        break;
      case 0x7f:
        b.del();
        break;
      default:
        if (b.type() == 'N' && (k == '.' || k == ',')) {
          b.to_dec_pos();
        } else {
          b.put(k, insert);
        }
    }
  }
}

TEST(EditBuffer, KeysChangeTextAndValue) {
  test::UiFixture f;
  struct Case {
    Value value;
    const char* pic;
    std::string keys;
    bool insert;
    std::string text;  // the buffer afterwards
    Value expect;      // its value
  } cases[] = {
      {Value::string("abc   "), "", "xy", false, "xyc   ", Value::string("xyc   ")},
      {Value::string("abc"), "@!", "d", true, "DAB", Value::string("DAB")},
      // @R: literals are shown, not stored.
      {Value::string("1234567"), "@R 999-9999", "9", false, "923-4567", Value::string("9234567")},
      // Without @R the literal stays in the value; the cursor jumps over it.
      {Value::string(""), "999-999", "123456", false, "123-456", Value::string("123-456")},
      {Value::string("ab"), "AA", "1", false, "ab", Value::string("ab")},
      {Value::string("ab"), "NN", "\x04z", false, "az", Value::string("az")},
      {Value::string("abcdef"), "", "\x04\x04\x7f", false, "abdef ", Value::string("abdef ")},
      {Value::string("abcd  "), "", "\x06\b\b", false, "ab    ", Value::string("ab    ")},
      // End on a full field stands on the last place.
      {Value::string("abcdef"), "", "\x06\b", false, "abcdf ", Value::string("abcdf ")},
      // A text longer than its template keeps its tail.
      {Value::string("abcdef"), "!!!", "x", false, "XBC", Value::string("XBCdef")},
      // Numbers: the first key clears the field; "." aligns the integer part.
      {Value::number(0, 6, 2), "999.99", "5", false, "5  .  ", Value::number(5, 6, 2)},
      {Value::number(0, 6, 2), "999.99", "12.5", false, " 12.50", Value::number(12.5, 6, 2)},
      {Value::integer(150), "", "-3", false, "-3        ", Value::integer(-3)},
      {Value::integer(150), "",
       "\x06"
       "0",
       false, "       150", Value::integer(150)},
      {Value::integer(1234, 4), "9999",
       "\x13"
       "9",
       false, "9234", Value::integer(9234, 4)},
      {Value::logical(false), "", "y", false, "Y", Value::logical(true)},
      {Value::logical(true), "Y", "n", false, "N", Value::logical(false)},
      {Value::logical(true), "", "q", false, "T", Value::logical(true)},
      // @K: the first typed key clears a text too, unless the cursor moved first.
      {Value::string("abcd"), "@K", "x", false, "x   ", Value::string("x   ")},
      {Value::string("abcd"), "@K", "\x04x", false, "axcd", Value::string("axcd")},
      // A number's digits shift within their part, never across the decimal point.
      {Value::number(12.5, 6, 2), "999.99", "\x06\b\b", false, " 1 .0 ", Value::number(1, 6, 2)},
      {Value::number(12.5, 6, 2), "999.99", "\x01\x04\x7f", false, " 2 .50",
       Value::number(2.5, 6, 2)},
      {Value::number(12.5, 6, 2), "999.99",
       "\x01\x04"
       "7",
       true, " 71.50", Value::number(71.5, 6, 2)},
      // The sign is the buffer's: a "-" typed over or deleted makes it positive.
      {Value::integer(-5, 4), "9999",
       "\x01\x04\x04"
       "3",
       false, "  35", Value::integer(35, 4)},
      {Value::integer(-5, 4), "9999", "\x01\x04\x04\x7f", false, "  5 ", Value::integer(5, 4)},
      {Value::integer(5, 5), "(999)", "", false, "(  5)", Value::integer(5, 5)},
      // @E: thousands "." and decimals ","; either mark jumps to the decimals.
      {Value::number(1234.5, 8, 2), "@E 9,999.99", "", false, "1.234,50",
       Value::number(1234.5, 8, 2)},
      {Value::number(1234.5, 8, 2), "@E 9,999.99", "1234,5", false, "1.234,50",
       Value::number(1234.5, 8, 2)},
      {Value::number(1, 8, 2), "@E 9,999.99", "98.76", false, "   98,76",
       Value::number(98.76, 8, 2)},
      {Value::number(1234.5, 8, 2), "@E 9,999.99", "\x01\x7f", false, "2.34 ,50",
       Value::number(234.5, 8, 2)},
      {Value::number(-3.5, 8, 2), "@E", "", false, "   -3,50", Value::number(-3.5, 8, 2)},
      // @Z: a zero starts blank; typing brings the decimal point back.
      {Value::number(0, 6, 2), "@Z 999.99", "", false, "      ", Value::number(0, 6, 2)},
      {Value::number(0, 6, 2), "@Z 999.99", "42", false, "42 .  ", Value::number(42, 6, 2)},
      {Value::number(0, 6, 2), "@Z 999.99",
       "\x04"
       "7",
       false, " 7 .  ", Value::number(7, 6, 2)},
      {Value::number(0, 8, 2), "@EZ 9,999.99", "12,5", false, "   12,50",
       Value::number(12.5, 8, 2)},
      {Value::integer(5, 3), "@Z 999", "\x06\x7f", false, "   ", Value::integer(0, 3)},
      // @(: edited with its minus sign.
      {Value::integer(-12, 4), "@( 9999", "", false, " -12", Value::integer(-12, 4)},
      {Value::integer(12, 4), "@( 9999", "-7", false, "-7  ", Value::integer(-7, 4)},
      {Value::number(-2.5, 7, 2), "@(E 9999.99", "", false, "  -2,50", Value::number(-2.5, 7, 2)},
  };
  for (const Case& c : cases) {
    EditBuffer b(f.rt, c.value, c.pic);
    drive(b, c.keys, c.insert);
    std::string where =
        std::string("pic '") + c.pic + "' keys '" + kvel::test::escaped(c.keys) + "'";
    EXPECT_EQ(b.text(), c.text) << where;
    Value v = b.value();
    EXPECT_EQ(v.valtype(), c.expect.valtype()) << where;
    if (v.is_number()) {
      EXPECT_DOUBLE_EQ(v.as_double(), c.expect.as_double()) << where;
    } else if (v.is_string()) {
      EXPECT_EQ(v.as_string(), c.expect.as_string()) << where;
    } else if (v.is_logical()) {
      EXPECT_EQ(v.as_logical(), c.expect.as_logical()) << where;
    }
  }
}

TEST(EditBuffer, FullFieldIsTypedOut) {
  test::UiFixture f;
  EditBuffer b(f.rt, Value::string("    "), "");
  drive(b, "abc", false);
  EXPECT_FALSE(b.typed_out());
  drive(b, "d", false);
  EXPECT_TRUE(b.typed_out());
  drive(b, "e", false);  // nothing more goes in
  EXPECT_EQ(b.text(), "abcd");
  EXPECT_TRUE(b.rejected());
}

TEST(EditBuffer, ScrollWindowFollowsTheCursor) {
  test::UiFixture f;
  EditBuffer b(f.rt, Value::string("abcdefghij"), "@S4");
  EXPECT_EQ(b.shown(), "abcd");
  drive(b, "\x04\x04\x04\x04\x04\x04", false);
  EXPECT_EQ(b.pos(), 6);
  EXPECT_EQ(b.shown(), "defg");
  drive(b, "\x01", false);
  EXPECT_EQ(b.shown(), "abcd");
}

TEST(EditBuffer, CyrillicLettersTakeUpperCase) {
  test::UiFixture f;
  EditBuffer b(f.rt, Value::string("   "), "@!");
  drive(b, cp("жя1"), false);
  EXPECT_EQ(b.text(), cp("ЖЯ1"));
  EditBuffer a(f.rt, Value::string("  "), "AA");
  drive(a, cp("я"), false);
  EXPECT_EQ(a.text(), cp("я "));
}

TEST(EditBuffer, DatesUseTheDateFormat) {
  test::UiFixture f;
  if (!f.rt.registry().find("CTOD")) GTEST_SKIP() << "date functions not registered";
  f.rt.settings().date_format = "dd/mm/yyyy";
  EditBuffer b(f.rt, Value::date(0), "");
  EXPECT_EQ(b.text(), "  /  /    ");
  drive(b, "31122024", false);
  EXPECT_EQ(b.text(), "31/12/2024");
  EXPECT_FALSE(b.bad_date());
  EXPECT_TRUE(b.value().is_date());
  EXPECT_NE(b.value().as_date(), 0);
  EditBuffer bad(f.rt, Value::date(0), "");
  drive(bad, "31022024", false);
  EXPECT_TRUE(bad.bad_date());
}

}  // namespace
}  // namespace kvel::ui
