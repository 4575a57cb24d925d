#include "platform/ui/chooser.h"

#include <gtest/gtest.h>

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/ui/callback.h"
#include "platform/ui/ui_fixture.h"

namespace kvel::ui {
namespace {

using test::K;
using test::UiFixture;
namespace sc = kvel::screen;

const std::vector<std::string> kItems = {"alpha",   "beta", "gamma", "delta",
                                         "epsilon", "zeta", "eta"};

ChooserSpec spec(const std::vector<std::string>& items, std::vector<bool> enabled = {}) {
  ChooserSpec s;
  s.area = sc::Rect{5, 10, 7, 19};  // three rows of ten columns
  s.count = static_cast<int>(items.size());
  s.item = [items](int i) { return items[i]; };
  if (!enabled.empty()) s.enabled = [enabled](int i) { return bool(enabled[i]); };
  return s;
}

TEST(Chooser, KeysWithoutUserFunction) {
  struct Case {
    const char* what;
    std::initializer_list<K> keys;
    std::vector<bool> enabled;
    int first;
    int result;
  } cases[] = {
      {"Enter", {13}, {}, 1, 1},
      {"Down three", {24, 24, 24, 13}, {}, 1, 4},
      {"Up at the top stays", {5, 13}, {}, 1, 1},
      {"Down at the bottom stays", {24, 24, 13}, {}, 7, 7},
      {"PgDn a page", {3, 13}, {}, 1, 4},
      {"PgUp a page", {18, 13}, {}, 6, 3},
      {"Ctrl+PgDn, Ctrl+PgUp", {30, 13}, {}, 2, 7},
      {"End, Home", {6, 1, 13}, {}, 4, 1},
      {"Esc", {24, 27}, {}, 1, 0},
      {"Left aborts", {19}, {}, 1, 0},
      {"letter goes to the next item with it", {"e", "e", 13}, {}, 1, 7},
      {"disabled items are passed over", {24, 13}, {true, false, false, true}, 1, 4},
      {"a disabled first item starts on the next", {13}, {false, true}, 1, 2},
      {"Up over disabled items stops at the first enabled",
       {5, 5, 13},
       {false, true, false, true},
       4,
       2},
  };
  for (const Case& c : cases) {
    UiFixture f(c.keys);
    std::vector<bool> en = c.enabled;
    en.resize(kItems.size(), true);
    ChooserSpec s = spec(kItems, c.enabled.empty() ? std::vector<bool>{} : en);
    s.first = c.first;
    EXPECT_EQ(choose(f.rt, s), c.result) << c.what;
  }
}

TEST(Chooser, LetterLooksPastLeadingBlanksWithoutRegardToCase) {
  const std::vector<std::string> items = {test::cp(" Да "), test::cp(" Нет "), test::cp("  ещё")};
  struct Case {
    std::initializer_list<K> keys;
    int result;
  } cases[] = {{{"н", 13}, 2}, {{"Е", 13}, 3}, {{" ", 13}, 1}};
  for (const Case& c : cases) {
    UiFixture f(c.keys);
    EXPECT_EQ(choose(f.rt, spec(items)), c.result);
  }
}

TEST(Chooser, KeyHandlersRunAndTheListGoesOn) {
  UiFixture f({-1, 24, 13});
  int ran = 0;
  sc::keyboard_of(f.rt).set_handler(-1, make_block([&](eval::Runtime&, eval::Args) {
    ++ran;
    return eval::Value();
  }));
  EXPECT_EQ(choose(f.rt, spec(kItems)), 2);
  EXPECT_EQ(ran, 1);
}

TEST(Chooser, ScrollsAndColoursTheRows) {
  UiFixture f({24, 24, 24, test::shot("scrolled"), 13});
  f.scr().set_colour("W/B,N/W,,,GR/B");
  ChooserSpec s = spec(kItems, {true, true, true, true, false, true, true});
  EXPECT_EQ(choose(f.rt, s), 4);
  const sc::Snapshot& shot = f.shot("scrolled");
  EXPECT_EQ(shot.row_text(5).substr(10, 10), "beta      ");
  EXPECT_EQ(shot.row_text(6).substr(10, 10), "gamma     ");
  EXPECT_EQ(shot.row_text(7).substr(10, 10), "delta     ");
  EXPECT_EQ(shot.at(7, 10).attr, sc::parse_colour("N/W"));  // current
  EXPECT_EQ(shot.at(6, 10).attr, sc::parse_colour("W/B"));
  EXPECT_EQ(shot.cursor.row, 7);
  // A disabled item shows in the unselected colour.
  UiFixture g({24, 24, 24, 24, test::shot("down"), 13});
  g.scr().set_colour("W/B,N/W,,,GR/B");
  EXPECT_EQ(choose(g.rt, s), 6);
  EXPECT_EQ(g.shot("down").row_text(6).substr(10, 7), "epsilon");
  EXPECT_EQ(g.shot("down").at(6, 10).attr, sc::parse_colour("GR/B"));
}

TEST(Chooser, AllDisabledList) {
  // Without a user function nothing is read and nothing chosen.
  UiFixture f({"x"});
  ChooserSpec s = spec(kItems, std::vector<bool>(kItems.size(), false));
  EXPECT_EQ(choose(f.rt, s), 0);
  EXPECT_EQ(sc::keyboard_of(f.rt).pending(), 0u);
  EXPECT_EQ(f.row(5, 10, 5), "alpha");
  // With one, it hears of the empty list until it gives up.
  UiFixture g({"a", "b", 27});
  std::vector<int> modes;
  s.user = [&](int mode, int, int) {
    modes.push_back(mode);
    return sc::keyboard_of(g.rt).inkey(g.rt, 0) == 'b' ? kAcAbort : kAcContinue;
  };
  EXPECT_EQ(choose(g.rt, s), 0);
  EXPECT_EQ(modes, (std::vector<int>{kAcNoItem, kAcNoItem}));
  // A user function that reads no key cannot make the list spin.
  UiFixture h({13, 27});
  int calls = 0;
  s.user = [&](int, int, int) {
    ++calls;
    return kAcContinue;
  };
  EXPECT_EQ(choose(h.rt, s), 0);
  EXPECT_EQ(calls, 2);
  // An empty list is a list without selectable items.
  UiFixture e;
  EXPECT_EQ(choose(e.rt, spec({})), 0);
}

TEST(Chooser, UserFunctionModesAndAnswers) {
  UiFixture f({test::pause(), 5, "x", 24, 24, 24, 24, 24, 24, "g", 13});
  struct Call {
    int mode, item, row;
    int key;
  };
  std::vector<Call> calls;
  ChooserSpec s = spec(kItems);
  s.user = [&](int mode, int item, int row) {
    int key = sc::keyboard_of(f.rt).last_key();
    calls.push_back({mode, item, row, key});
    if (mode != kAcException) return kAcContinue;
    if (key == sc::kKeyEnter) return kAcSelect;
    if (key == 'g') return kAcGoto;
    return kAcContinue;
  };
  EXPECT_EQ(choose(f.rt, s), 3);  // "g" went to gamma, Enter chose it
  std::vector<int> modes;
  for (const Call& c : calls) modes.push_back(c.mode);
  // idle while the user waits; Up at the top; "x" unknown; six Downs stop at eta.
  EXPECT_EQ(modes.front(), kAcIdle);
  EXPECT_NE(std::find(modes.begin(), modes.end(), kAcHitTop), modes.end());
  EXPECT_EQ(std::count(modes.begin(), modes.end(), kAcHitBottom), 0);
  auto exc = std::count(modes.begin(), modes.end(), kAcException);
  EXPECT_EQ(exc, 3);  // "x", "g", Enter
  // The row passed is the item's row in the window.
  for (const Call& c : calls) EXPECT_GE(c.row, 0);
  const Call& last = calls.back();
  EXPECT_EQ(last.item, 3);
  EXPECT_EQ(last.key, sc::kKeyEnter);
}

TEST(Chooser, UserFunctionWrapsByTypingKeys) {
  // The menu's way of wrapping: at the bottom, Ctrl+PgUp is typed.
  UiFixture f({24, 24, 24, 24, 24, 24, 24, test::pause(), 13});
  ChooserSpec s = spec(kItems);
  s.user = [&](int mode, int, int) {
    int key = sc::keyboard_of(f.rt).last_key();
    if (mode == kAcHitBottom) sc::keyboard_of(f.rt).put(sc::kKeyCtrlPgUp);
    if (mode == kAcException && key == sc::kKeyEnter) return kAcSelect;
    return kAcContinue;
  };
  EXPECT_EQ(choose(f.rt, s), 1);
}

TEST(Chooser, FirstItemAndRowPlaceTheWindow) {
  UiFixture f({test::shot("start"), 13});
  ChooserSpec s = spec(kItems);
  s.first = 5;
  s.first_row = 2;
  EXPECT_EQ(choose(f.rt, s), 5);
  EXPECT_EQ(f.shot("start").row_text(5).substr(10, 5), "gamma");
  EXPECT_EQ(f.shot("start").row_text(7).substr(10, 7), "epsilon");
}

}  // namespace
}  // namespace kvel::ui
