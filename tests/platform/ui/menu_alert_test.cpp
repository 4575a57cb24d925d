#include <gtest/gtest.h>

#include "platform/screen/keyboard.h"
#include "platform/ui/alert.h"
#include "platform/ui/callback.h"
#include "platform/ui/menu.h"
#include "platform/ui/ui_fixture.h"

namespace kvel::ui {
namespace {

using eval::Value;
using test::cp;
using test::K;
using test::UiFixture;
namespace sc = kvel::screen;

std::vector<Prompt> prompts() {
  return {{10, 5, cp(" Да "), cp("согласиться")},
          {10, 12, cp(" Нет "), ""},
          {10, 20, cp(" отмена "), ""}};
}

TEST(Menu, KeysChooseAPrompt) {
  struct Case {
    const char* what;
    std::initializer_list<K> keys;
    bool wrap;
    int initial;
    int result;
  } cases[] = {
      {"Enter on the first", {13}, true, 1, 1},
      {"Right twice", {4, 4, 13}, true, 1, 3},
      {"Down moves like Right", {24, 13}, true, 1, 2},
      {"Left wraps to the last", {19, 13}, true, 1, 3},
      {"Right wraps to the first", {4, 13}, true, 3, 1},
      {"no wrap stops at the last", {4, 4, 4, 13}, false, 1, 3},
      {"no wrap stops at the first", {5, 13}, false, 2, 1},
      {"End and Home", {6, 1, 4, 13}, true, 1, 2},
      {"Esc gives 0", {4, 27}, true, 1, 0},
      {"PgDn chooses", {4, 3}, true, 1, 2},
      {"a letter chooses at once, case ignored", {"н"}, true, 1, 2},
      {"a letter after blanks, lower-case text", {"О"}, true, 1, 3},
      {"an unknown letter does nothing", {"q", 13}, true, 2, 2},
  };
  for (const Case& c : cases) {
    UiFixture f(c.keys);
    MenuOptions opt;
    opt.wrap = c.wrap;
    opt.initial = c.initial;
    EXPECT_EQ(menu_to(f.rt, prompts(), opt), c.result) << c.what;
  }
}

TEST(Menu, CurrentPromptIsHighlightedAndItsMessageShown) {
  UiFixture f({-1, 13});
  f.rt.settings().message_row = 24;
  sc::Attr first = 0, second = 0;
  std::string message;
  sc::keyboard_of(f.rt).set_handler(-1, make_block([&](eval::Runtime& rt, eval::Args) {
    first = sc::screen_of(rt).attr_at(10, 5);
    second = sc::screen_of(rt).attr_at(10, 12);
    return Value();
  }));
  f.scr().set_colour("W/B,N/W");
  EXPECT_EQ(menu_to(f.rt, prompts(), {}), 1);
  EXPECT_EQ(first, sc::parse_colour("N/W"));
  EXPECT_EQ(second, sc::parse_colour("W/B"));
  EXPECT_EQ(f.row(24, 0, 11), "согласиться");
  EXPECT_EQ(f.row(10, 5, 23), " Да     Нет     отмена ");
}

TEST(Menu, EmptyMenuGivesZero) {
  UiFixture f;
  EXPECT_EQ(menu_to(f.rt, {}, {}), 0);
}

TEST(Alert, CentredBoxWithLinesAndButtons) {
  UiFixture f({test::shot("open"), 4, 13});
  f.scr().write(12, 0, std::string(80, 'x'));
  int r = alert(f.rt, cp("Первая строка;вторая"), {cp("Да"), cp("Нет")});
  EXPECT_EQ(r, 2);
  const sc::Snapshot& s = f.shot("open");
  // Frame, two lines, a blank row, the buttons, frame: rows 9 to 14, centred.
  EXPECT_EQ(s.row_text(9).substr(0, 31), std::string(31, ' '));
  EXPECT_EQ(s.row_text(9).find("┌"), 31u) << s.row_text(9);
  EXPECT_NE(s.row_text(10).find("│ Первая строка │"), std::string::npos) << s.row_text(10);
  EXPECT_NE(s.row_text(11).find("│    вторая     │"), std::string::npos) << s.row_text(11);
  EXPECT_NE(s.row_text(12).find("x│               │x"), std::string::npos) << s.row_text(12);
  EXPECT_NE(s.row_text(13).find("│   Да    Нет   │"), std::string::npos) << s.row_text(13);
  EXPECT_NE(s.row_text(14).find("└───"), std::string::npos) << s.row_text(14);
  // The screen under the box comes back.
  EXPECT_EQ(f.row(12), std::string(80, 'x'));
}

TEST(Alert, KeysAndColours) {
  struct Case {
    std::initializer_list<K> keys;
    int result;
  } cases[] = {{{13}, 1}, {{27}, 0}, {{19, 13}, 3}, {{"п"}, 2}, {{6, 4, 13}, 1}, {{"z", 13}, 1}};
  for (const Case& c : cases) {
    UiFixture f(c.keys);
    EXPECT_EQ(alert(f.rt, "?", {cp("Завершить"), cp("Повторить"), cp("Пропустить")}), c.result);
  }
  UiFixture f({test::shot("open"), 13});
  EXPECT_EQ(alert(f.rt, "Message", {"Ok", "No"}), 1);
  const sc::Snapshot& s = f.shot("open");
  sc::Attr current = 0, other = 0;
  for (int c = 0; c < 80; ++c) {
    if (s.at(13, c).ch == 'O') current = s.at(13, c).attr;
    if (s.at(13, c).ch == 'N') other = s.at(13, c).attr;
  }
  EXPECT_EQ(s.at(11, 40).attr, sc::parse_colour("W+/R"));
  EXPECT_EQ(current, sc::parse_colour("W+/B"));
  EXPECT_EQ(other, sc::parse_colour("W+/R"));
}

}  // namespace
}  // namespace kvel::ui
