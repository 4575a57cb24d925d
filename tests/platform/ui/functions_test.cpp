// The widgets' functions called from expressions, as the application
// description calls them.
#include <gtest/gtest.h>

#include "platform/eval/eval.h"
#include "platform/rtl/rtl.h"
#include "platform/ui/ui_fixture.h"
#include "platform/ui/ui_state.h"

namespace kvel::ui {
namespace {

using eval::Value;
using test::K;
using test::UiFixture;

std::string canon(UiFixture& f, const char* expr) {
  try {
    return rtl::canonical(f.rt, eval::evaluate(f.rt, expr));
  } catch (const eval::Break& b) {
    const eval::ErrorObject* e = eval::error_of(b.value);
    return "break: " + (e ? e->description + " " + e->operation : std::string("?"));
  }
}

TEST(UiFunctions, CallableFromExpressions) {
  struct Case {
    const char* what;
    std::initializer_list<K> keys;
    const char* expr;
    const char* result;
  } cases[] = {
      {"ALERT", {4, 13}, "ALERT('Save?;Really', {'Yes', 'No'})", "N:         2          2"},
      {"ALERT Esc", {27}, "ALERT('Message')", "N:         0          0"},
      {"ACHOICE",
       {24, 13},
       "ACHOICE(5, 10, 8, 20, {'one', 'two', 'three'})",
       "N:         2          2"},
      {"ACHOICE with flags",
       {24, 13},
       "ACHOICE(5, 10, 8, 20, {'one', 'two', 'three'}, {.T., .F., '1 = 1'})",
       "N:         3          3"},
      {"ACHOICE all disabled",
       {13},
       "ACHOICE(5, 10, 8, 20, {'one', 'two'}, .F.)",
       "N:         0          0"},
      {"ACHOICE user function block",
       {13},
       "ACHOICE(5, 10, 8, 20, {'one', 'two'}, .T., {|m, i, r| IIF(m == 3, 1, 2)}, 2)",
       "N:         2          2"},
      {"MEMOEDIT saves (overwrite)", {"ab", 23}, "MEMOEDIT('xyz', 5, 10, 10, 40)", "C:|abz|"},
      {"MEMOEDIT saves (insert)", {22, "ab", 23}, "MEMOEDIT('xy', 5, 10, 10, 40)", "C:|abxy|"},
      {"MEMOEDIT Esc", {"ab", 27}, "MEMOEDIT('xy', 5, 10, 10, 40)", "C:|xy|"},
      {"MEMOEDIT read-only", {"ab", 23}, "MEMOEDIT('xy', 5, 10, 10, 40, .F.)", "C:|xy|"},
      {"menu of prompts",
       {4, 13},
       "(n := 1, __ATPROMPT(10, 5, ' One '), __ATPROMPT(10, 12, ' Two '), __MENUTO({|x| IIF(x == "
       "NIL, n, n := x)}, 'n'), n)",
       "N:         2          2"},
      {"GET and READ",
       {"Z", 13, "7", 13},
       "(s := 'abc', v := 0, g := {GETNEW(5, 5, {|x| IIF(x == NIL, s, s := x)}, 's'), GETNEW(6, "
       "5,, 'v')}, "
       "READMODAL(g), s + STR(v, 3))",
       "C:|Zbc  7|"},
      {"READKEY and UPDATED",
       {"Q", 23},
       "(s := 'abc', READMODAL({GETNEW(5, 5,, 's')}), STR(READKEY(), 3) + IIF(UPDATED(), 'U', "
       "'-'))",
       "C:|270U|"},
      {"the field object in VALID",
       {"5", 13, "50", 13},
       "(v := 0, o := GETNEW(5, 5,, 'v'), o:postBlock := {|g| g:varGet() > 10}, READMODAL({o}), v)",
       "N:        50         50"},
      {"GETLIST read and discarded",
       {"x", 13},
       "(s := 'ab', GETLIST := {GETNEW(5, 5,, 's')}, __READ(), STR(LEN(GETLIST)) + s)",
       "C:|         0xb|"},
      {"GETLIST kept with READ SAVE",
       {13},
       "(s := 'ab', GETLIST := {GETNEW(5, 5,, 's')}, __READ(.T.), LEN(GETLIST))",
       "N:         1          1"},
  };
  for (const Case& c : cases) {
    UiFixture f(c.keys);
    f.rt.memvars().declare_public("GETLIST", Value::new_array());
    EXPECT_EQ(canon(f, c.expr), c.result) << c.what;
  }
}

TEST(UiFunctions, BrowseObjectsFromExpressions) {
  UiFixture f;
  const char* expr =
      "(a := {'x', 'y', 'z'}, n := 1, b := TBROWSENEW(2, 0, 6, 20), "
      "b:goTopBlock := {|| n := 1}, b:goBottomBlock := {|| n := LEN(a)}, "
      "b:skipBlock := {|k| k := MAX(1 - n, MIN(LEN(a) - n, k)), n += k, k}, "
      "b:addColumn(TBCOLUMNNEW('Letter', {|| a[n]})), b:headSep := '-', "
      "b:forceStable(), b:down(), b:forceStable(), STR(b:rowPos, 2) + a[n])";
  EXPECT_EQ(canon(f, expr), "C:| 2y|");
  EXPECT_EQ(f.row(2, 0, 6), "Letter");
  EXPECT_EQ(f.row(4, 0, 6), "x     ");
  EXPECT_EQ(f.row(6, 0, 6), "z     ");
}

}  // namespace
}  // namespace kvel::ui
