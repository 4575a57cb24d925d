#include <gtest/gtest.h>

#include "platform/rtl/cp866.h"
#include "platform/rtl/dates.h"
#include "platform/rtl/strings.h"
#include "rtl_calls.h"
#include "support/test_support.h"

namespace kvel::rtl::test {
namespace {

using eval::Value;

struct Case {
  const char* fn;
  std::vector<Value> args;
  std::string want;
};

// Russian texts are written in UTF-8 here and compared in code page 866.
Value R(const char* utf8) { return Value::string(cp866::from_utf8(utf8)); }
std::string RC(const char* utf8) { return "C:|" + cp866::from_utf8(utf8) + "|"; }

void run_cases(const std::vector<Case>& cases) {
  RtlRuntime r;
  for (const Case& c : cases) {
    EXPECT_EQ(r.run(c.fn, c.args), c.want) << c.fn << " case " << (&c - cases.data());
  }
}

TEST(Strings, SubstrLeftRightCountFromEitherEnd) {
  run_cases({
      {"SUBSTR", {S("hello"), I(2)}, "C:|ello|"},
      {"SUBSTR", {S("hello"), I(-3)}, "C:|llo|"},
      {"SUBSTR", {S("hello"), I(-3), I(2)}, "C:|ll|"},
      {"SUBSTR", {S("hello"), I(0)}, "C:|hello|"},
      {"SUBSTR", {S("hello"), I(6)}, "C:||"},
      {"SUBSTR", {S("hello"), I(2), I(-1)}, "C:||"},
      {"SUBSTR", {S("hello"), I(-10), I(3)}, "C:|hel|"},
      {"SUBSTR", {R("Москва"), I(2), I(3)}, RC("оск")},
      {"SUBSTR", {I(1), I(1)}, "ERR:1:BASE/1110"},
      {"LEFT", {S("hello"), I(2)}, "C:|he|"},
      {"LEFT", {S("hello"), I(-1)}, "C:||"},
      {"LEFT", {S("hello"), I(10)}, "C:|hello|"},
      {"LEFT", {NIL(), I(1)}, "ERR:1:BASE/1124"},
      {"LEFT", {S("abc")}, "ERR:1:BASE/1124"},
      {"RIGHT", {S("hello"), I(2)}, "C:|lo|"},
      {"RIGHT", {S("hello"), I(-1)}, "C:||"},
      {"RIGHT", {S("hello"), I(10)}, "C:|hello|"},
  });
}

TEST(Strings, TrimsPadsAndRepeats) {
  run_cases({
      {"RTRIM", {S("  a  ")}, "C:|  a|"},
      {"LTRIM", {S("  a  ")}, "C:|a  |"},
      {"ALLTRIM", {S("   ")}, "C:||"},
      {"TRIM", {S("a b  ")}, "C:|a b|"},
      // Leading trim takes tabs, CR and LF too; trailing trim only blanks.
      {"LTRIM", {S("\ta")}, "C:|a|"},
      {"ALLTRIM", {S("\r a \n")}, "C:|a \\x0A|"},
      {"TRIM", {I(1)}, "ERR:1:BASE/1100"},
      {"LTRIM", {I(1)}, "ERR:1:BASE/1101"},
      {"PADL", {S("abc"), I(2)}, "C:|ab|"},
      {"PADR", {S("abc"), I(5), S("*")}, "C:|abc**|"},
      {"PADC", {S("abc"), I(6)}, "C:| abc  |"},
      {"PADC", {S("abc"), I(8), S("-")}, "C:|--abc---|"},
      {"PADL", {S(""), I(3), S("x")}, "C:|xxx|"},
      {"PADR", {S("abc"), I(5), S("xy")}, "C:|abcxx|"},
      {"PADR", {F(1.5, 1), I(6), S("0")}, "C:|1.5000|"},
      {"PADL", {I(123), I(5)}, "C:|  123|"},
      {"PADL", {Value::integer(10000000000, 12), I(3)}, "C:|100|"},
      {"PADL", {Value::date(stod("20030201")), I(10)}, "C:|  01/02/03|"},
      {"PADL", {NIL(), I(3)}, "C:||"},
      {"SPACE", {I(0)}, "C:||"},
      {"SPACE", {I(-2)}, "C:||"},
      {"SPACE", {S("a")}, "ERR:1:BASE/1105"},
      {"SPACE", {I(2000000000)}, "ERR:3:BASE/1234"},
      {"REPLICATE", {S("ab"), I(3)}, "C:|ababab|"},
      {"REPLICATE", {S("x"), I(-1)}, "C:||"},
      {"REPLICATE", {S("a"), S("b")}, "ERR:1:BASE/1106"},
      {"REPLICATE", {S("abcd"), I(100000000)}, "ERR:3:BASE/1234"},
  });
}

TEST(Strings, SearchAndReplace) {
  run_cases({
      {"AT", {S("b"), S("abcb")}, "N:         2          2"},
      {"RAT", {S("b"), S("abcb")}, "N:         4          4"},
      {"AT", {S(""), S("abc")}, "N:         0          0"},
      {"AT", {S("abc"), S("ab")}, "N:         0          0"},
      {"RAT", {S("bc"), S("abcbc")}, "N:         4          4"},
      {"AT", {R("в"), R("абвгв")}, "N:         3          3"},
      {"AT", {I(1), S("1")}, "ERR:1:BASE/1108"},
      {"STRTRAN", {S("aaa"), S("a"), S("b"), I(2)}, "C:|abb|"},
      {"STRTRAN", {S("aaa"), S("a"), S("b"), I(2), I(1)}, "C:|aba|"},
      {"STRTRAN", {S("aaa"), S("a"), S("b"), I(1), I(0)}, "C:||"},
      {"STRTRAN", {S("aaa"), S("a"), S("b"), I(5)}, "C:|aaa|"},
      {"STRTRAN", {S("aaa"), S("a"), S("b"), I(0)}, "C:||"},
      {"STRTRAN", {S("aaa"), S("a")}, "C:||"},
      {"STRTRAN", {S("abc"), S(""), S("x")}, "C:|abc|"},
      {"STRTRAN", {S("aaaa"), S("aa"), S("b")}, "C:|bb|"},
      {"STRTRAN", {R("Мама мыла"), R("ма"), R("па")}, RC("Мапа мыла")},
      {"STUFF", {S("abcdef"), I(2), I(3), S("XY")}, "C:|aXYef|"},
      {"STUFF", {S("abc"), I(2), I(0), S("XY")}, "C:|aXYbc|"},
      {"STUFF", {S("abc"), I(2), I(10), S("")}, "C:|a|"},
      {"STUFF", {S("abc"), I(9), I(1), S("!")}, "C:|abc!|"},
  });
}

TEST(Strings, CodesClassesAndLength) {
  run_cases({
      {"LEN", {S("a\0b")}, "N:         1          1"},
      {"LEN", {Value::string(std::string("a\0b", 3))}, "N:         3          3"},
      {"LEN", {Value::new_array(2)}, "N:         2          2"},
      {"LEN", {I(5)}, "ERR:1:BASE/1111"},
      {"ASC", {S("")}, "N:         0          0"},
      {"ASC", {R("Ё")}, "N:       240        240"},
      {"ASC", {I(1)}, "ERR:1:BASE/1107"},
      {"CHR", {I(256)}, "C:|\\x00|"},
      {"CHR", {I(-1)}, "C:|" + std::string(1, '\xFF') + "|"},
      {"CHR", {S("A")}, "ERR:1:BASE/1104"},
      {"UPPER", {R("ёжик")}, RC("ёЖИК")},
      {"UPPER", {R("Привет, World!")}, RC("ПРИВЕТ, WORLD!")},
      {"LOWER", {R("ПРИВЕТ, WORLD!")}, RC("привет, world!")},
      {"UPPER", {S("a"), S("b")}, "C:|A|"},
      {"UPPER", {}, "ERR:1:BASE/1102"},
      {"LOWER", {I(1)}, "ERR:1:BASE/1103"},
      {"ISALPHA", {R("а")}, "L:T"},
      {"ISALPHA", {R("ё")}, "L:F"},
      {"ISALPHA", {S("1abc")}, "L:F"},
      {"ISDIGIT", {S("5a")}, "L:T"},
      {"ISDIGIT", {S("")}, "L:F"},
      {"ISUPPER", {R("А")}, "L:T"},
      {"ISUPPER", {R("Ё")}, "L:F"},
      {"ISLOWER", {R("я")}, "L:T"},
      {"ISLOWER", {I(1)}, "L:F"},
      {"EMPTY", {S("\t\r\n ")}, "L:T"},
      {"EMPTY", {Value::string(std::string(1, '\0'))}, "L:F"},
      {"EMPTY", {F(0.0, 1)}, "L:T"},
      {"EMPTY", {F(0.00001, 5)}, "L:F"},
      {"EMPTY", {NIL()}, "L:T"},
      {"EMPTY", {Value::date(0)}, "L:T"},
      {"EMPTY", {Value::new_array(1)}, "L:F"},
      {"DESCEND", {S("20991231")}, "C:|\xCE\xD0\xC7\xC7\xCF\xCE\xCD\xCF|"},
      {"DESCEND", {Value::string(std::string("\0 ", 2))}, "C:|\\x00\xE0|"},
      {"DESCEND", {I(5)}, "N:        -5         -5"},
      {"DESCEND", {L(true)}, "L:F"},
  });
}

TEST(Strings, MemoLinesWrapAtBlanksAndKeepHardBreaks) {
  const std::string soft = "\x8D\n";
  struct Row {
    std::string text;
    int width;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"", 10, {}},
      {"one two three", 8, {"one two ", "three   "}},
      {"abcdefghij", 4, {"abcd", "efgh", "ij  "}},
      {"ab\r\n\r\ncd", 4, {"ab  ", "    ", "cd  "}},
      {"ab\ncd", 4, {"ab  ", "cd  "}},
      {"one" + soft + "two", 8, {"onetwo  "}},
      {"a\tb", 6, {"a   b "}},
      {"word  next", 4, {"word", " nex", "t   "}},
  };
  for (const Row& r : rows) {
    MemoLayout lay;
    lay.width = r.width;
    ASSERT_EQ(memo_count(r.text, lay), r.lines.size()) << kvel::test::escaped(r.text);
    for (size_t i = 0; i < r.lines.size(); ++i) {
      EXPECT_EQ(memo_line(r.text, lay, i + 1), r.lines[i])
          << kvel::test::escaped(r.text) << " line " << i + 1;
    }
    EXPECT_EQ(memo_line(r.text, lay, r.lines.size() + 1), std::string(r.width, ' '));
  }
  RtlRuntime rt;
  EXPECT_EQ(rt.run("MEMOTRAN", {S("a\r\nb" + soft + "c")}), "C:|a;b c|");
  EXPECT_EQ(rt.run("HARDCR", {S("a" + soft + "b")}), "C:|a\\x0D\\x0Ab|");
  EXPECT_EQ(rt.run("MLCOUNT", {S("one two three"), I(8)}), "N:         2          2");
  EXPECT_EQ(rt.run("MEMOLINE", {S("one two three"), I(8), I(2)}), "C:|three   |");
}

}  // namespace
}  // namespace kvel::rtl::test
