#include "platform/ui/editor.h"

#include <gtest/gtest.h>

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/ui/callback.h"
#include "platform/ui/editor_text.h"
#include "platform/ui/ui_fixture.h"
#include "support/test_support.h"

namespace kvel::ui {
namespace {

using test::K;
using test::UiFixture;
namespace sc = kvel::screen;

std::vector<std::string> lines_of(const EditorText& t) {
  std::vector<std::string> out;
  for (int i = 0; i < t.lines(); ++i) out.push_back(t.line(i) + (t.soft(i) ? "~" : ""));
  return out;
}

TEST(EditorText, WrapsAtWordsAndKeepsBreaks) {
  struct Case {
    const char* text;
    int length;
    std::vector<std::string> lines;  // "~" marks a soft break
  } cases[] = {
      {"one two three", 8, {"one two ~", "three"}},
      {"abcdefghij", 4, {"abcd~", "efgh~", "ij"}},
      {"ab cd\r\nef", 10, {"ab cd", "ef"}},
      {"ab\ncd", 10, {"ab", "cd"}},
      {"one two \x8D\nthree", 20, {"one two three"}},  // soft breaks are wrapped afresh
      {"", 10, {""}},
      {"x\r\n", 10, {"x", ""}},
      {"aaaa bbbb", 4, {"aaaa ~", "bbbb"}},  // a blank right after a full line stays on it
  };
  for (const Case& c : cases) {
    EditorText t(c.text, c.length);
    EXPECT_EQ(lines_of(t), c.lines) << kvel::test::escaped(c.text);
  }
}

TEST(EditorText, TextComesBackWithSoftBreaksWritten) {
  struct Case {
    const char* in;
    int length;
    const char* out;
  } cases[] = {
      {"ab cd\r\nef\r\n", 10, "ab cd\r\nef\r\n"},
      {"lone\nfeeds\n", 10, "lone\nfeeds\n"},
      {"one two three", 8, "one two \x8D\nthree"},
  };
  for (const Case& c : cases) EXPECT_EQ(EditorText(c.in, c.length).text(), c.out) << c.in;
}

TEST(EditorText, EditingWrapsTheParagraphAgain) {
  EditorText t("aaa bbb ccc\r\nnext", 8);
  ASSERT_EQ(lines_of(t), (std::vector<std::string>{"aaa bbb ~", "ccc", "next"}));
  int line = 0, col = 0;
  t.insert(line, col, "zz ");
  EXPECT_EQ(lines_of(t), (std::vector<std::string>{"zz aaa ~", "bbb ccc", "next"}));
  EXPECT_EQ(line, 0);
  EXPECT_EQ(col, 3);
  // Taking the words out again lets the next line move back up.
  t.backspace(line, col);
  t.backspace(line, col);
  t.backspace(line, col);
  EXPECT_EQ(lines_of(t), (std::vector<std::string>{"aaa bbb ~", "ccc", "next"}));
  // Typing at the end of a full line carries the cursor to the next line.
  line = 1;
  col = 3;
  t.insert(line, col, " dddd eee");
  EXPECT_EQ(lines_of(t), (std::vector<std::string>{"aaa bbb ~", "ccc dddd ~", "eee", "next"}));
  EXPECT_EQ(line, 2);
  EXPECT_EQ(col, 3);
  // A hard break splits; Backspace at column 0 joins.
  line = 3;
  col = 2;
  t.split(line, col);
  EXPECT_EQ(lines_of(t).back(), "xt");
  EXPECT_EQ(line, 4);
  t.backspace(line, col);
  EXPECT_EQ(lines_of(t).back(), "next");
  EXPECT_EQ(t.text(), "aaa bbb \x8D\nccc dddd \x8D\neee\r\nnext");
}

TEST(EditorText, TwentyThousandLinesEditInPlace) {
  std::string big;
  for (int i = 1; i <= 20000; ++i) big += "line " + std::to_string(i) + "\r\n";
  EditorText t(big, 79);
  EXPECT_EQ(t.lines(), 20001);
  int line = 19999, col = 0;
  t.insert(line, col, "last ");
  EXPECT_EQ(t.line(19999), "last line 20000");
  int l2 = 10, c2 = 6;
  t.erase(l2, c2);  // "line 11": the last digit goes
  EXPECT_EQ(t.line(10), "line 1");
  EXPECT_EQ(t.lines(), 20001);
  std::string out = t.text();
  EXPECT_EQ(out.size(), big.size() + 5 - 1);
  EXPECT_EQ(out.substr(out.size() - 17), "last line 20000\r\n");
}

TEST(EditorText, ReformatWrapsTheWholeParagraphAndGoesToTheNext) {
  // Wrapping off: typed text stays on its line until the paragraph is reformatted.
  EditorText t("aaa bbb ccc ddd\r\nnext", 8, false);
  ASSERT_EQ(lines_of(t), (std::vector<std::string>{"aaa bbb ccc ddd", "next"}));
  int line = 0, col = 5;
  EXPECT_TRUE(t.reformat(line, col));
  EXPECT_EQ(lines_of(t), (std::vector<std::string>{"aaa bbb ~", "ccc ddd", "next"}));
  EXPECT_EQ(line, 2);
  EXPECT_EQ(col, 0);
  EXPECT_EQ(t.text(), "aaa bbb \x8D\nccc ddd\r\nnext");
  // The last paragraph: nothing to change, the cursor goes to the end of the text.
  EXPECT_FALSE(t.reformat(line, col));
  EXPECT_EQ(line, 2);
  EXPECT_EQ(col, 4);
  // From the middle of a wrapped paragraph the whole of it is taken.
  line = 1;
  col = 0;
  EXPECT_FALSE(t.reformat(line, col));
  EXPECT_EQ(line, 2);
}

// A key callback that answers `first` to the first init call and then `then(mode)`.
std::function<int(int, int, int)> first_init_answer(int first, std::function<int(int)> then) {
  auto done = std::make_shared<bool>(false);
  return [=](int mode, int, int) {
    if (mode == kMeInit && !*done) {
      *done = true;
      return first;
    }
    return then(mode);
  };
}

EditorSpec window() {
  EditorSpec s;
  s.area = sc::Rect{5, 10, 9, 29};  // five rows of twenty
  s.line_length = 20;
  return s;
}

TEST(Editor, CtrlWSavesAndEscGivesTheOriginalBack) {
  struct Case {
    const char* what;
    std::initializer_list<K> keys;
    bool editable;
    bool saved;
    const char* text;
  } cases[] = {
      {"typing and Ctrl+W", {"Hi ", 23}, true, true, "Hi first\r\nsecond"},
      {"Alt+W saves too", {6, "!", 273}, true, true, "first!\r\nsecond"},
      {"Esc", {"Hi ", 27}, true, false, "first\r\nsecond"},
      {"Enter breaks the line", {4, 4, 13, 23}, true, true, "fi\r\nrst\r\nsecond"},
      {"Del at the end joins", {6, 7, 23}, true, true, "firstsecond"},
      {"Ctrl+Y deletes the line", {25, 23}, true, true, "second"},
      {"read-only ignores typing", {"xyz", 7, 23}, false, true, "first\r\nsecond"},
      {"Ins toggles overwrite", {22, "XY", 23}, true, true, "XYrst\r\nsecond"},
      {"Down then End then text", {24, 6, "!", 23}, true, true, "first\r\nsecond!"},
  };
  for (const Case& c : cases) {
    UiFixture f(c.keys);
    f.rt.settings().insert = true;
    EditorSpec s = window();
    s.editable = c.editable;
    EditorResult r = edit_text(f.rt, "first\r\nsecond", s);
    EXPECT_EQ(r.saved, c.saved) << c.what;
    EXPECT_EQ(r.text, c.text) << c.what;
  }
}

TEST(Editor, AnUnchangedTextComesBackAsItWas) {
  // A line longer than the line length is shown wrapped; saving it unchanged
  // gives the bytes back without soft breaks, an edit writes them.
  const std::string text = "aaaa bbbb cccc dddd eeee ffff\r\n";
  struct Case {
    std::initializer_list<K> keys;
    bool editable;
    std::string out;
  } cases[] = {
      {{24, 23}, true, text},
      {{24, 23}, false, text},
      {{"x", 23}, true, "xaaaa bbbb cccc dddd \x8D\neeee ffff\r\n"},
  };
  for (const Case& c : cases) {
    UiFixture f(c.keys);
    f.rt.settings().insert = true;
    EditorSpec s = window();
    s.editable = c.editable;
    EditorResult r = edit_text(f.rt, text, s);
    EXPECT_TRUE(r.saved);
    EXPECT_EQ(r.text, c.out) << kvel::test::escaped(c.out);
  }
}

TEST(Editor, WindowShowsTheTextAndWrapsTypedWords) {
  UiFixture f({"the quick brown fox jumps", test::shot("typed"), 23});
  f.rt.settings().insert = true;
  EditorResult r = edit_text(f.rt, "", window());
  EXPECT_EQ(r.text, "the quick brown fox \x8D\njumps");
  const sc::Snapshot& s = f.shot("typed");
  EXPECT_EQ(s.row_text(5).substr(10, 20), "the quick brown fox ");
  EXPECT_EQ(s.row_text(6).substr(10, 20), "jumps               ");
  EXPECT_EQ(s.cursor.row, 6);
  EXPECT_EQ(s.cursor.col, 15);
  EXPECT_EQ(r.line, 2);
  EXPECT_EQ(r.col, 5);
}

TEST(Editor, KeyCallbackModesAndAnswers) {
  // F2 is not an editor key: the callback is asked and types Ctrl+W for it.
  UiFixture f({test::pause(), "a", -1, 27, test::pause(), 23});
  std::vector<std::pair<int, int>> calls;  // mode, last key
  EditorSpec s = window();
  s.user = [&](int mode, int, int) -> int {
    int key = sc::keyboard_of(f.rt).last_key();
    calls.push_back({mode, mode == kMeInit ? 0 : key});
    if (mode == kMeInit) return calls.size() < 3 ? kMeToggleScroll : kMeDefault;
    if (key == sc::kKeyEsc) return static_cast<int>(kMeIgnore);
    if (key == -1) return static_cast<int>(sc::kKeyCtrlEnd);  // act as Ctrl+W
    return static_cast<int>(kMeDefault);
  };
  f.rt.settings().insert = true;
  EditorResult r = edit_text(f.rt, "text", s);
  EXPECT_TRUE(r.saved);
  EXPECT_EQ(r.text, "atext");
  std::vector<std::pair<int, int>> want = {
      {kMeInit, 0}, {kMeInit, 0}, {kMeInit, 0}, {kMeIdle, 0}, {kMeUnkeyX, -1}};
  EXPECT_EQ(calls, want);
}

TEST(Editor, KeyHandlersRunInsteadOfTheCallback) {
  // F1 has a handler (the viewer's key help): it runs, the callback is not asked.
  UiFixture f({28, "a", 23});
  f.rt.settings().insert = true;
  int ran = 0, asked = 0;
  sc::keyboard_of(f.rt).set_handler(28, make_block([&](eval::Runtime&, eval::Args) {
                                      ++ran;
                                      return eval::Value();
                                    }));
  EditorSpec s = window();
  s.user = [&](int mode, int, int) {
    if (mode == kMeUnkey || mode == kMeUnkeyX) ++asked;
    return static_cast<int>(kMeDefault);
  };
  EditorResult r = edit_text(f.rt, "x", s);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(asked, 1) << "only Ctrl+W";
  EXPECT_EQ(r.text, "ax");
}

TEST(Editor, EscIsAskedAboutAndCanBeIgnored) {
  UiFixture f({27, "b", 23});
  EditorSpec s = window();
  int asked = 0;
  s.user = [&](int mode, int, int) -> int {
    if (mode == kMeUnkey || mode == kMeUnkeyX) ++asked;
    return mode == kMeUnkey && sc::keyboard_of(f.rt).last_key() == sc::kKeyEsc ? kMeIgnore
                                                                               : kMeDefault;
  };
  f.rt.settings().insert = true;
  EditorResult r = edit_text(f.rt, "x", s);
  EXPECT_EQ(r.text, "bx");
  EXPECT_EQ(asked, 2);  // Esc, then Ctrl+W
}

TEST(Editor, StartPlaceAndPagingInALongText) {
  std::string big;
  for (int i = 1; i <= 20000; ++i) big += "line " + std::to_string(i) + "\r\n";
  UiFixture f({30, test::shot("end"), 18, test::shot("page"), 31, 24, 6, "!", 23});
  f.rt.settings().insert = true;
  EditorResult r = edit_text(f.rt, big, window());
  EXPECT_EQ(f.shot("end").row_text(9).substr(10, 6), "      ");
  EXPECT_EQ(f.shot("end").row_text(8).substr(10, 10), "line 20000");
  EXPECT_EQ(f.shot("page").row_text(8).substr(10, 10), "line 19995");
  EXPECT_TRUE(r.saved);
  EXPECT_EQ(r.text.substr(0, 16), "line 1\r\nline 2!\r");
  EXPECT_EQ(r.text.size(), big.size() + 1);

  UiFixture g({test::shot("start"), 27});
  EditorSpec s = window();
  s.start_line = 100;
  s.start_col = 3;
  s.win_row = 2;
  s.win_col = 3;
  EditorResult r2 = edit_text(g.rt, big, s);
  EXPECT_EQ(g.shot("start").row_text(5).substr(10, 7), "line 98");
  EXPECT_EQ(g.shot("start").cursor.row, 7);
  EXPECT_EQ(g.shot("start").cursor.col, 13);
  EXPECT_FALSE(r2.saved);
  EXPECT_EQ(r2.line, 100);
  EXPECT_EQ(r2.win_row, 2);
}

TEST(Editor, CtrlBReformatsTheParagraphWrappingTurnedOff) {
  // The callback turns wrapping off at the start; the typed words overfill the
  // first line until Ctrl+B (code 2) reformats the paragraph.
  UiFixture f({"xxxxx ", 2, test::shot("reformatted"), "!", 23});
  f.rt.settings().insert = true;
  EditorSpec s = window();
  s.user = first_init_answer(kMeToggleWrap, [](int) { return kMeDefault; });
  EditorResult r = edit_text(f.rt, "aaaa bbbb cccc dddd eeee ffff\r\nnext", s);
  EXPECT_EQ(f.shot("reformatted").row_text(5).substr(10, 20), "xxxxx aaaa bbbb cccc");
  EXPECT_EQ(f.shot("reformatted").row_text(6).substr(10, 20), "dddd eeee ffff      ");
  EXPECT_EQ(f.shot("reformatted").cursor.row, 7) << "on the next paragraph";
  EXPECT_EQ(r.text, "xxxxx aaaa bbbb cccc \x8D\ndddd eeee ffff\r\n!next");
}

TEST(Editor, CodeTwoReformatsOrMovesAWord) {
  struct Case {
    const char* what;
    bool editable;
    bool word_right_answer;  // the callback answers kMeWordRight for code 2
    int line, col;           // where the cursor ends
  } cases[] = {
      {"editable: reformat, then the next paragraph", true, false, 2, 0},
      {"the callback asks for a word instead", true, true, 1, 4},
      {"read-only: nothing to reformat, a word", false, false, 1, 4},
  };
  for (const Case& c : cases) {
    UiFixture f({2, 27});
    EditorSpec s = window();
    s.editable = c.editable;
    if (c.word_right_answer) {
      s.user = [&](int mode, int, int) -> int {
        return mode != kMeInit && sc::keyboard_of(f.rt).last_key() == 2 ? kMeWordRight : kMeDefault;
      };
    }
    EditorResult r = edit_text(f.rt, "one two\r\nthree", s);
    EXPECT_EQ(r.line, c.line) << c.what;
    EXPECT_EQ(r.col, c.col) << c.what;
    EXPECT_EQ(r.text, "one two\r\nthree") << c.what;
  }
}

TEST(Editor, ScrollModeMovesTheTextUnderTheCursor) {
  std::string text;
  for (int i = 1; i <= 9; ++i) text += "l" + std::to_string(i) + "\r\n";
  UiFixture f(
      {24, 24, test::shot("down"), 5, 4, test::shot("right"), -1, 24, test::shot("off"), 27});
  EditorSpec s = window();
  // Scroll mode from the start; the answer to F2 toggles it back.
  s.user = first_init_answer(kMeToggleScroll, [&](int mode) {
    return mode != kMeInit && sc::keyboard_of(f.rt).last_key() == -1 ? kMeToggleScroll : kMeDefault;
  });
  edit_text(f.rt, text, s);
  const sc::Snapshot& down = f.shot("down");
  EXPECT_EQ(down.row_text(5).substr(10, 2), "l3");
  EXPECT_EQ(down.cursor.row, 5) << "the cursor kept its row";
  const sc::Snapshot& right = f.shot("right");
  EXPECT_EQ(right.row_text(5).substr(10, 2), "2 ") << "the text moved a column left";
  EXPECT_EQ(right.cursor.col, 10);
  const sc::Snapshot& off = f.shot("off");
  EXPECT_EQ(off.row_text(5).substr(10, 2), "l2");
  EXPECT_EQ(off.cursor.row, 6) << "the cursor moves again";
}

}  // namespace
}  // namespace kvel::ui
