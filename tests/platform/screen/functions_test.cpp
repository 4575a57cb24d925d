#include "platform/screen/functions.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "platform/screen/cp866.h"
#include "platform/screen/headless_backend.h"
#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"

namespace kvel::screen {
namespace {

using eval::Value;

class Functions : public ::testing::Test {
 protected:
  Functions() {
    register_screen(rt_.registry());
    backend_ = install_headless(rt_);
  }
  Value call(std::string_view name, std::initializer_list<Value> args = {}) {
    const eval::Function* f = rt_.registry().find(name);
    EXPECT_NE(f, nullptr) << name;
    std::vector<Value> v(args);
    return f ? f->fn(rt_, eval::Args(v.data(), v.size())) : Value();
  }
  static Value n(double d) { return Value::integer(static_cast<int64_t>(d)); }
  static Value s(std::string_view t) { return Value::string(t); }
  std::string text(int r, int c, int len) {
    std::string cp;
    for (int i = c; i < c + len; ++i) cp += static_cast<char>(rt_.get<Screen>().cell(r, i).ch);
    return cp866_to_utf8(cp);
  }
  eval::Runtime rt_;
  std::shared_ptr<HeadlessBackend> backend_;
};

TEST_F(Functions, ColourPositionAndOutput) {
  EXPECT_EQ(call("SETCOLOR", {s("W+/B,N/W")}).as_string(), "W/N,N/W,N/N,N/N,N/W");
  EXPECT_EQ(call("SETCOLOR").as_string(), "W+/B,N/W,N/N,N/N,N/W");
  EXPECT_EQ(call("MAXROW").as_int(), 24);
  EXPECT_EQ(call("MAXCOL").as_int(), 79);
  call("DEVPOS", {n(3), n(5)});
  call("DEVOUT", {s("ab")});
  call("DISPOUT", {n(42)});
  call("DEVOUT", {Value::logical(true), s("GR+/R")});
  EXPECT_EQ(text(3, 5, 13), "ab        42T");
  EXPECT_EQ(call("COL").as_int(), 18);
  EXPECT_EQ(call("ROW").as_int(), 3);
  Screen& scr = rt_.get<Screen>();
  EXPECT_EQ(scr.attr_at(3, 5), 0x1F);
  EXPECT_EQ(scr.attr_at(3, 17), 0x4E);
  EXPECT_EQ(call("COLORSELECT", {n(1)}).as_int(), 0);
  call("SETPOS", {n(4), n(0)});
  call("DISPOUT", {Value::number(3.5, 0, 1)});
  EXPECT_EQ(text(4, 0, 12), "         3.5");
  EXPECT_EQ(scr.attr_at(4, 0), 0x70) << "the enhanced colour is selected";
  call("SETPOS", {n(5), n(0)});
  call("DISPOUT", {Value::date(2460315)});  // 5 January 2024
  EXPECT_EQ(text(5, 0, 8), "05/01/24");
  EXPECT_TRUE(call("ISCOLOR").as_logical());
  EXPECT_TRUE(call("SETMODE", {n(25), n(80)}).as_logical());
  EXPECT_FALSE(call("SETMODE", {n(50), n(80)}).as_logical());
}

TEST_F(Functions, BoxesScrollAndSavedScreens) {
  call("DISPBOX", {n(1), n(1), n(3), n(4), n(2), s("W+/B")});
  EXPECT_EQ(text(1, 1, 4), "╔══╗");
  call("DISPBOX", {n(5), n(1), n(7), n(4), s("12345678.")});
  EXPECT_EQ(text(6, 1, 4), "8..4");
  Value saved = call("SAVESCREEN", {n(1), n(1), n(3), n(4)});
  EXPECT_EQ(saved.as_string().size(), 24u);
  call("SCROLL");
  EXPECT_EQ(text(1, 1, 4), "    ");
  call("RESTSCREEN", {n(10), n(10), n(12), n(13), saved});
  EXPECT_EQ(text(10, 10, 4), "╔══╗");
  call("SHA_SHADOW", {n(10), n(10), n(12), n(13)});
  EXPECT_EQ(rt_.get<Screen>().attr_at(13, 12), kShadowAttr);
  EXPECT_EQ(call("SETCURSOR", {n(0)}).as_int(), 1);
  EXPECT_EQ(call("SETCURSOR").as_int(), 0);
  call("DISPBEGIN");
  EXPECT_EQ(call("DISPCOUNT").as_int(), 1);
  call("DISPEND");
  EXPECT_EQ(call("DISPCOUNT").as_int(), 0);
}

TEST_F(Functions, WindowTitleIsReadAndSet) {
  std::string before = call("WINTITLE").as_string();
  EXPECT_EQ(call("WINTITLE", {s("\x8a\x82\x85\x8b")}).as_string(), before);
  EXPECT_EQ(call("WINTITLE").as_string(), "\x8a\x82\x85\x8b");
  EXPECT_EQ(cp866_to_utf8(backend_->title()), "КВЕЛ") << "the display shows it";
}

TEST_F(Functions, ScrollBars) {
  Value h = call("SCROLLBARHR", {n(20), n(0), n(11), s("W/N"), n(1), n(10)});
  call("SCROLLBARDISPLAY", {h});
  EXPECT_EQ(text(20, 0, 12), "<▓░░░░░░░░░>");
  call("SCROLLBARUPDATE", {h, n(10)});
  EXPECT_EQ(text(20, 0, 12), "<░░░░░░░░░▓>");
  EXPECT_EQ(h.as_array()->items[6].as_int(), 10) << "the bar keeps its current position";
  call("SCROLLBARUPDATE", {h, n(5)});
  EXPECT_EQ(text(20, 0, 12), "<░░░░▓░░░░░>");
  Value v = call("SCROLLBARVT", {n(2), n(6), n(79)});
  call("SCROLLBARDISPLAY", {v});
  std::string col;
  for (int r = 2; r <= 6; ++r) col += text(r, 79, 1);
  EXPECT_EQ(col, "▓░░░░") << "current and total default to 1";
  EXPECT_TRUE(call("SCROLLBARDISPLAY", {s("no bar")}).is_string())
      << "a wrong argument draws nothing";
  EXPECT_NE(rt_.registry().find("SCROLLBARNEW"), nullptr);
}

TEST_F(Functions, KeysAndTypeahead) {
  call("__KEYBOARD", {s("ab")});
  EXPECT_EQ(call("NEXTKEY").as_int(), 'a');
  EXPECT_EQ(call("INKEY").as_int(), 'a');
  EXPECT_EQ(call("LASTKEY").as_int(), 'a');
  call("__KEYBOARD", {n(-9)});
  EXPECT_EQ(call("INKEY").as_int(), -9) << "filling empties the buffer first";
  call("HB_KEYPUT", {n(13)});
  Value list = Value::new_array();
  list.as_array()->items = {n(5), s("x")};
  call("HB_KEYPUT", {list});
  EXPECT_EQ(call("INKEY").as_int(), 13);
  EXPECT_EQ(call("INKEY").as_int(), 5);
  EXPECT_EQ(call("INKEY").as_int(), 'x');
  call("HB_KEYPUT", {n(1)});
  call("HB_KEYCLEAR");
  EXPECT_EQ(call("INKEY").as_int(), 0);
  EXPECT_EQ(call("SETLASTKEY", {n(0)}).as_int(), 'x');
  EXPECT_EQ(call("LASTKEY").as_int(), 0);
  double before = backend_->now();
  EXPECT_EQ(call("INKEY", {n(2)}).as_int(), 0) << "no keys: the wait runs out";
  EXPECT_NEAR(backend_->now() - before, 2.0, 0.01) << "on the virtual clock";
  EXPECT_EQ(call("KBDSTAT").as_int(), 0);
}

TEST_F(Functions, TextAssignedToAFunctionKeyStandsInForIt) {
  EXPECT_EQ(call("__SETFUNCTION", {n(10), s("ab")}).as_string(), "");
  call("__KEYBOARD", {n(-9)});
  call("HB_KEYPUT", {n('z')});
  EXPECT_EQ(call("INKEY").as_int(), 'a');
  EXPECT_EQ(call("INKEY").as_int(), 'b');
  EXPECT_EQ(call("INKEY").as_int(), 'z') << "the text goes ahead of later keys";
  EXPECT_EQ(call("__SETFUNCTION", {n(10)}).as_string(), "ab");
  call("__KEYBOARD", {n(-9)});
  EXPECT_EQ(call("INKEY").as_int(), -9) << "removed: the key reads as itself";
}

TEST_F(Functions, SetkeyBindsAndReturnsThePrevious) {
  Value none = call("SETKEY", {n(-1)});
  EXPECT_TRUE(none.is_nil());
  EXPECT_TRUE(call("SETKEY", {n(-1), s("not a block")}).is_nil());
  EXPECT_EQ(call("SETKEY", {n(-1), Value()}).as_string(), "not a block");
  EXPECT_TRUE(call("SETKEY", {n(-1)}).is_nil()) << "NIL unbinds";
}

}  // namespace
}  // namespace kvel::screen
