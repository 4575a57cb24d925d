#include "platform/ui/form.h"

#include <gtest/gtest.h>

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/ui/callback.h"
#include "platform/ui/ui_fixture.h"
#include "platform/ui/ui_state.h"

namespace kvel::ui {
namespace {

using eval::Value;
using test::K;
using test::UiFixture;
namespace sc = kvel::screen;

using Fields = std::vector<std::shared_ptr<GetField>>;

std::shared_ptr<GetField> field(UiFixture& f, int row, const char* var, Value init,
                                const char* pic = "") {
  f.rt.memvars().declare_public(var, std::move(init));
  return std::make_shared<GetField>(row, 10, var_block(f.rt, var), var, pic);
}

std::string text(UiFixture& f, const char* var) { return f.rt.memvars().get(var).as_string(); }
double number(UiFixture& f, const char* var) { return f.rt.memvars().get(var).as_double(); }

TEST(Form, KeysMoveBetweenFieldsAndEndTheRead) {
  // Every case reads A (text), B (number), C (text); the read starts on A.
  struct Case {
    const char* what;
    std::initializer_list<K> keys;
    const char* a;
    double b;
    const char* c;
    bool updated;
    int read_key;
  } cases[] = {
      {"Enter through all", {"xy", 13, "12", 13, "q", 13}, "xyc", 12, "q  ", true, 15 + 256},
      {"Esc abandons the field", {"zz", 27}, "abc", 7, "   ", false, 12},
      {"Esc keeps fields already left", {"zz", 13, "5", 27}, "zzc", 7, "   ", true, 12 + 256},
      {"Ctrl+W ends and keeps", {"q", 23}, "qbc", 7, "   ", true, 14 + 256},
      {"PgDn ends", {3}, "abc", 7, "   ", false, 7},
      {"PgUp ends", {24, 18}, "abc", 7, "   ", false, 6},
      {"Up on the first field stays",
       {5, "k", 24, 24, "w", 24, "m", 13},
       "kbc",
       7,
       "m  ",
       true,
       15 + 256},
      {"Ctrl+Home goes to the first",
       {24, 24, 29, "r", 13, 13, 13},
       "rbc",
       7,
       "   ",
       true,
       15 + 256},
  };
  for (const Case& c : cases) {
    UiFixture f(c.keys);
    Fields fs{field(f, 2, "A", Value::string("abc")), field(f, 3, "B", Value::integer(7)),
              field(f, 4, "C", Value::string("   "))};
    bool updated = read_modal(f.rt, fs);
    EXPECT_EQ(text(f, "A"), c.a) << c.what;
    EXPECT_EQ(number(f, "B"), c.b) << c.what;
    EXPECT_EQ(text(f, "C"), c.c) << c.what;
    EXPECT_EQ(updated, c.updated) << c.what;
    EXPECT_EQ(ui_state(f.rt).read_key, c.read_key) << c.what;
  }
}

TEST(Form, FieldWithFalseWhenIsSkippedBothWays) {
  UiFixture f({"1", 13, "3", 5, "9", 13, 13, 13});
  Fields fs{field(f, 2, "A", Value::string(" ")), field(f, 3, "B", Value::string(" ")),
            field(f, 4, "C", Value::string(" "))};
  fs[1]->when = Value::logical(false);
  read_modal(f.rt, fs);
  // Up from C passes B and lands on A.
  EXPECT_EQ(text(f, "A"), "9");
  EXPECT_EQ(text(f, "B"), " ");
  EXPECT_EQ(text(f, "C"), "3");
}

TEST(Form, FailingValidKeepsTheCursorInTheField) {
  UiFixture f({"5", 13, "20", 13});
  Fields fs{field(f, 2, "N", Value::integer(0)), field(f, 3, "S", Value::string("  "))};
  int checks = 0;
  fs[0]->valid = make_block([&](eval::Runtime& rt, eval::Args a) {
    ++checks;
    auto* g = static_cast<GetField*>(a[0].as_object().get());
    return Value::logical(g->var_get(rt).as_double() > 10);
  });
  read_modal(f.rt, fs);
  EXPECT_EQ(checks, 2);
  EXPECT_EQ(number(f, "N"), 20);
  // The last Enter left N; S was reached with the script run out (Esc).
  EXPECT_EQ(text(f, "S"), "  ");
}

TEST(Form, PictureWithLiteralsShowsThemAndStoresPerFunctionR) {
  UiFixture f({"4951234567", 13});
  Fields fs{field(f, 5, "T", Value::string("          "), "@R (999) 999-9999")};
  read_modal(f.rt, fs);
  EXPECT_EQ(text(f, "T"), "4951234567");
  EXPECT_EQ(f.row(5, 10, 14), "(495) 123-4567");
}

TEST(Form, ConfirmOffMovesOnWhenTheFieldIsFull) {
  UiFixture f({"abcd", 13});
  f.rt.settings().confirm = false;
  Fields fs{field(f, 2, "A", Value::string("   ")), field(f, 3, "B", Value::string("   "))};
  read_modal(f.rt, fs);
  EXPECT_EQ(text(f, "A"), "abc");
  EXPECT_EQ(text(f, "B"), "d  ");
}

TEST(Form, ConfirmOnKeepsAFullFieldUntilEnter) {
  // The fourth letter finds the field full and is refused; Enter moves on.
  UiFixture f({"abcd", test::shot("full"), 13, "x", 13});
  f.rt.settings().confirm = true;
  Fields fs{field(f, 2, "A", Value::string("   ")), field(f, 3, "B", Value::string("   "))};
  read_modal(f.rt, fs);
  EXPECT_EQ(f.shot("full").cursor.row, 2) << "the cursor waits in the full field";
  EXPECT_EQ(text(f, "A"), "abc");
  EXPECT_EQ(text(f, "B"), "x  ");
}

TEST(Form, InsToggleChangesModeAndCursorShape) {
  UiFixture f({22, "x", -1, 13});
  f.rt.settings().insert = false;
  int shape = -1;
  sc::keyboard_of(f.rt).set_handler(-1, make_block([&](eval::Runtime& rt, eval::Args) {
    shape = sc::screen_of(rt).cursor_shape();
    return Value();
  }));
  Fields fs{field(f, 2, "A", Value::string("abc"))};
  read_modal(f.rt, fs);
  EXPECT_EQ(text(f, "A"), "xab");
  EXPECT_EQ(shape, sc::kCursorInsert);
  EXPECT_TRUE(f.rt.settings().insert);
}

TEST(Form, KeyHandlerSeesTheActiveFieldAndItsText) {
  // F2's handler reads the field being typed (as the calculator does) and
  // stores a new value, which the field shows at once.
  UiFixture f({"15", -1, 13});
  std::string seen_buffer, seen_name;
  sc::keyboard_of(f.rt).set_handler(-1, make_block([&](eval::Runtime& rt, eval::Args) {
    GetField* g = ui_state(rt).active;
    seen_buffer = g->buffer()->text();
    seen_name = g->name;
    g->var_put(rt, Value::integer(300));
    return Value();
  }));
  Fields fs{field(f, 2, "N", Value::integer(0))};
  bool updated = read_modal(f.rt, fs);
  EXPECT_EQ(seen_buffer, "15        ");
  EXPECT_EQ(seen_name, "N");
  EXPECT_EQ(number(f, "N"), 300);
  EXPECT_TRUE(updated);
  EXPECT_EQ(ui_state(f.rt).active, nullptr);
}

TEST(Form, FieldShowsItsColoursFocusedAndNot) {
  UiFixture f({-1, 13});
  sc::Attr during = 0;
  sc::keyboard_of(f.rt).set_handler(-1, make_block([&](eval::Runtime& rt, eval::Args) {
    during = sc::screen_of(rt).attr_at(2, 10);
    return Value();
  }));
  Fields fs{field(f, 2, "A", Value::string("ab"))};
  fs[0]->colour = "W/B,GR+/R";
  read_modal(f.rt, fs);
  EXPECT_EQ(during, sc::parse_colour("GR+/R"));
  EXPECT_EQ(f.attr(2, 10), sc::parse_colour("W/B"));
  EXPECT_EQ(f.row(2, 10, 2), "ab");
}

TEST(Form, ScrollingFieldShowsItsWidthOnly) {
  UiFixture f({6, "Z", 13});
  Fields fs{field(f, 2, "A", Value::string("abcdefghij"), "@S4")};
  read_modal(f.rt, fs);
  EXPECT_EQ(text(f, "A"), "abcdefghiZ");
  EXPECT_EQ(f.row(2, 10, 5), "abcd ");
}

TEST(Form, KillReadEndsLikeEsc) {
  UiFixture f({"x", -1, "y", 13});
  sc::keyboard_of(f.rt).set_handler(-1, make_block([](eval::Runtime& rt, eval::Args) {
    ui_state(rt).kill_read = true;
    return Value();
  }));
  Fields fs{field(f, 2, "A", Value::string("ab")), field(f, 3, "B", Value::string("cd"))};
  read_modal(f.rt, fs);
  // The handler saw a changed field: its text was stored before it ran.
  EXPECT_EQ(text(f, "A"), "xb");
  EXPECT_EQ(text(f, "B"), "cd");
  EXPECT_EQ(ui_state(f.rt).read_key % 256, 12);
}

TEST(Form, NumberFunctionsShowTheirEditForm) {
  // One number field on row 2; "edit" is the screen while the field has the
  // focus, the row after the read shows the value without it.
  struct Case {
    const char* pic;
    Value init;
    std::initializer_list<K> keys;
    const char* editing;
    const char* after;
    double value;
  } cases[] = {
      {"@E 9,999.99",
       Value::number(1234.5, 8, 2),
       {test::shot("edit"), 13},
       "1.234,50",
       "1.234,50",
       1234.5},
      {"@E 9,999.99",
       Value::number(0, 8, 2),
       {"98,7", test::shot("edit"), 13},
       "   98,70",
       "   98,70",
       98.7},
      {"@E 9,999.99",
       Value::number(0, 8, 2),
       {"5.25", test::shot("edit"), 13},
       "    5,25",
       "    5,25",
       5.25},
      {"@Z 999.99", Value::number(0, 6, 2), {test::shot("edit"), 13}, "      ", "      ", 0},
      {"@Z 999.99", Value::number(0, 6, 2), {"5", test::shot("edit"), 13}, "5  .  ", "  5.00", 5},
      {"@Z 999", Value::integer(5, 3), {6, 7, test::shot("edit"), 13}, "   ", "   ", 0},
      // The parentheses and " CR" of the shown form are gone while editing.
      {"@( 9999", Value::integer(-12, 4), {test::shot("edit"), 13}, " -12   ", "( 12)  ", -12},
      {"@( 9999", Value::integer(8, 4), {"-7", test::shot("edit"), 13}, "-7     ", "(  7)  ", -7},
      {"@C 99", Value::integer(7, 2), {test::shot("edit"), 13}, " 7     ", " 7 CR  ", 7},
  };
  for (const Case& c : cases) {
    UiFixture f(c.keys);
    Fields fs{field(f, 2, "N", c.init, c.pic)};
    read_modal(f.rt, fs);
    const size_t w = std::string(c.editing).size();
    EXPECT_EQ(f.shot("edit").row_text(2).substr(10, w), c.editing) << c.pic;
    EXPECT_EQ(f.row(2, 10, static_cast<int>(w)), c.after) << c.pic;
    EXPECT_DOUBLE_EQ(number(f, "N"), c.value) << c.pic;
  }
}

TEST(Form, AllFieldsWithFalseWhenEndTheRead) {
  UiFixture f;
  Fields fs{field(f, 2, "A", Value::string("a")), field(f, 3, "B", Value::string("b"))};
  for (auto& g : fs) g->when = Value::logical(false);
  EXPECT_FALSE(read_modal(f.rt, fs));
  EXPECT_TRUE(read_modal(f.rt, {}) == false);
}

}  // namespace
}  // namespace kvel::ui
