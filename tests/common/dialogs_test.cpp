// CLALERT, the key services, the colour table and the failure dialogs of the
// description files, on the headless screen.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/clalert.h"
#include "common/color.h"
#include "common/cp866_text.h"
#include "common/keys.h"
#include "common/main.h"
#include "common/publics.h"
#include "platform/eval/eval.h"
#include "platform/screen/colour.h"
#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "runner_fixture.h"

namespace kvel::common {
namespace {

using eval::Value;
namespace sc = kvel::screen;

// n cells of a row from a column, as UTF-8.
std::string cells(const sc::Snapshot& s, int row, int col, int n) {
  sc::Snapshot one = s;
  std::string out;
  for (int c = col; c < col + n; ++c) {
    for (auto& x : one.cells) x.ch = ' ';
    one.cells[row * sc::kCols] = s.at(row, c);
    std::string t = one.row_text(row);
    out += t.substr(0, t.find(' ', 1) == 1 ? 1 : t.size() - (sc::kCols - 1));
  }
  return out;
}

std::string colour_at(const sc::Snapshot& s, int row, int col) {
  return sc::colour_string(s.at(row, col).attr);
}

struct Dialog : ::testing::Test {
  test::RunnerFixture f;
  void SetUp() override {
    color(f.rt());
    loadvar(f.rt());
  }
  std::optional<int> show(const AlertSpec& a, const std::string& keys) {
    f.keys("checkpoint shown\n" + keys);
    return clalert(f.rt(), a);
  }
};

TEST_F(Dialog, GeometryOfTheBoxAndButtons) {
  struct Case {
    const char* name;
    AlertSpec spec;
    sc::Rect box;
    int bw, button_row, button_col;
  };
  AlertSpec lines_only;
  lines_only.lines = {"Hello"};
  AlertSpec yes_no;
  yes_no.lines = {ru("Удалить?")};
  yes_no.buttons = {ru(" Да "), ru(" Нет ")};
  AlertSpec raised = yes_no;
  raised.raised = true;
  AlertSpec wide;
  wide.lines = {std::string(90, 'x')};
  AlertSpec no_room = lines_only;
  no_room.room = false;
  no_room.shadow = false;
  AlertSpec vertical = yes_no;
  vertical.across = false;
  AlertSpec placed = lines_only;
  placed.bottom = 20;
  placed.right = 70;
  const Case cases[] = {
      // W 6 ("  Ok  "), H 2: top INT((24-2)/2)-1, left INT((79-6)/2)-1, centre 40
      {"lines only", lines_only, {10, 35, 13, 44}, 6, 12, 37},
      // " Да " 4 + 3 + " Нет " 5 = 12 columns
      {"yes/no across", yes_no, {10, 32, 13, 47}, 12, 12, 34},
      // raised: 4 + 4 + 5 = 13 and a shadow row: H 3
      {"raised", raised, {9, 31, 13, 48}, 13, 11, 33},
      // a line longer than the screen allows: the fixed width, left 4 with room
      {"too wide", wide, {10, 4, 13, 70}, 6, 12, 35},
      {"no room, no shadow", no_room, {10, 35, 13, 44}, 6, 12, 37},
      {"one under another", vertical, {9, 34, 13, 45}, 5, 11, 38},
      {"given bottom and right", placed, {17, 61, 20, 70}, 6, 19, 63},
  };
  for (const Case& c : cases) {
    AlertGeometry g = alert_geometry(f.rt(), c.spec);
    EXPECT_EQ(g.box, c.box) << c.name << ": " << g.box.top << "," << g.box.left << ","
                            << g.box.bottom << "," << g.box.right;
    EXPECT_EQ(g.buttons_width, c.bw) << c.name;
    EXPECT_EQ(g.button_row, c.button_row) << c.name;
    EXPECT_EQ(g.button_col, c.button_col) << c.name;
  }
  // the margin and the shadow rule
  AlertGeometry g = alert_geometry(f.rt(), lines_only);
  EXPECT_EQ(g.cleared, (sc::Rect{9, 32, 14, 47}));
  EXPECT_TRUE(g.shadow);
  EXPECT_EQ(alert_geometry(f.rt(), wide).cleared, (sc::Rect{9, 1, 14, 73}));
}

TEST_F(Dialog, ColourRules) {
  struct Case {
    Value colours;
    bool raised;
    std::vector<std::string> want;  // box, buttons, highlighted, disabled
  };
  const Case cases[] = {
      {Value(), false, {"N/W", "N/W", "N/BG", "BG/W"}},
      {Value(), true, {"N/W", "N/BG", "N/BG*", "B/BG"}},
      // two parts: the buttons in the box colour, highlighted in the second
      {Value::string("w+/r, n/w*"), false, {"w+/r", "", "n/w*", "w+/r"}},
      {list_of_colours({13, 2, 77}), false, {"W+/R", "N/W", "N/W*", "W+/R"}},
      // five parts: the fifth in place of the third
      {Value::string("a,b,c,d,e"), false, {"a", "b", "e", "d"}},
  };
  for (const Case& c : cases) {
    AlertSpec a;
    a.colours = c.colours;
    a.raised = c.raised;
    EXPECT_EQ(alert_geometry(f.rt(), a).colours, c.want) << test::escaped(text_of(c.colours));
  }
}

TEST_F(Dialog, LinesOnlyOkButtonEnterAndEsc) {
  AlertSpec a;
  a.lines = {"Hello"};
  a.colours = list_of_colours({13, 2, 77});
  EXPECT_EQ(show(a, "key Enter"), 1);
  const sc::Snapshot* s = f.at("shown");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(cells(*s, 10, 35, 10), "┌────────┐");
  EXPECT_EQ(cells(*s, 11, 35, 10), "│  Hello │");
  EXPECT_EQ(cells(*s, 12, 35, 10), "│   Ok   │");
  EXPECT_EQ(colour_at(*s, 11, 36), "W+/R");
  EXPECT_EQ(colour_at(*s, 12, 37), "N/W*");  // the highlighted button
  EXPECT_EQ(colour_at(*s, 9, 32), "W+/R");   // the cleared margin
  EXPECT_EQ(colour_at(*s, 15, 34), "N+/N");  // the shadow below
  // the screen comes back afterwards
  EXPECT_EQ(cells(f.screen().snapshot(), 11, 35, 10), std::string(10, ' '));
  EXPECT_EQ(show(a, "key Esc"), 0);
}

TEST_F(Dialog, ButtonsKeysLettersAndDisabled) {
  AlertSpec a;
  a.lines = {"?"};
  a.buttons = {ru(" Да "), ru(" Нет "), ru(" Отмена ")};
  struct Case {
    std::string keys;
    int want;
  };
  const Case cases[] = {
      {"key Right Enter", 2},
      {"key Left Enter", 3},  // wraps from the first to the last
      {"key End Home Enter", 1},
      {"key PgDn", 1},
      {"text н", 2},  // a letter chooses at once, without regard to case
      {"key Esc", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(show(a, c.keys), c.want) << c.keys;
  // A text assigned to F10 is taken away: F10 must not type the letter of a button.
  sc::Keyboard& kb = sc::keyboard_of(f.rt());
  kb.set_key_text(sc::function_key(10), ru("н"));
  EXPECT_NE(show(a, "key F10 Enter"), 2);
  EXPECT_EQ(kb.key_text(sc::function_key(10)), "");
  // A disabled button is passed over by the cursor and by its letter.
  a.enabled = {Value::logical(true), Value::string("1 == 2")};
  EXPECT_EQ(show(a, "key Right Enter"), 3);
  EXPECT_EQ(show(a, "text Н\nkey Enter"), 1);
  const sc::Snapshot& s = f.screen().checkpoints().back();
  int col = alert_geometry(f.rt(), a).button_col + 4 + 3;  // " Нет "
  EXPECT_EQ(colour_at(s, alert_geometry(f.rt(), a).button_row, col), "BG/W");
}

TEST_F(Dialog, OneUnderAnotherForms) {
  AlertSpec list;
  list.lines = {"?"};
  list.buttons = {"one", "two", "three"};
  list.across = false;
  EXPECT_EQ(show(list, "key Down Enter"), 2);
  EXPECT_EQ(show(list, "key Esc"), 0);
  // raised: pages of the buttons that fit; PgDn shows the next page, no wrapping
  AlertSpec paged = list;
  paged.raised = true;
  paged.buttons.clear();
  for (int i = 1; i <= 12; ++i) paged.buttons.push_back("b" + std::to_string(i));
  AlertGeometry g = alert_geometry(f.rt(), paged);
  int per_page = (g.box.bottom - g.button_row) / 2;
  ASSERT_LT(per_page, 12);
  EXPECT_EQ(show(paged, "key Up Enter"), 1);
  EXPECT_EQ(show(paged, "key PgDn Enter"), per_page + 1);
  EXPECT_EQ(show(paged, "key PgDn PgUp Down Enter"), 2);
}

TEST_F(Dialog, RaisedButtonsHaveHalfBlockShadows) {
  AlertSpec a;
  a.lines = {"?"};
  a.buttons = {" A ", " B "};
  a.raised = true;
  a.colours = list_of_colours({13, 2, 77});
  EXPECT_EQ(show(a, "key Enter"), 1);
  const sc::Snapshot* s = f.at("shown");
  AlertGeometry g = alert_geometry(f.rt(), a);
  std::string row = s->row_text(g.button_row);
  std::string below = s->row_text(g.button_row + 1);
  // " A " then "▄" right after it; "▀" under it from one column to the right
  EXPECT_EQ(s->at(g.button_row, g.button_col + 3).ch, 0xDC);
  EXPECT_EQ(s->at(g.button_row + 1, g.button_col).ch, ' ');
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(s->at(g.button_row + 1, g.button_col + k).ch, 0xDF);
  EXPECT_EQ(colour_at(*s, g.button_row + 1, g.button_col + 1), "N/R");
  EXPECT_EQ(s->at(g.button_row, g.button_col + 7).ch, ' ');  // " B " starts 3 + 4 further
  EXPECT_EQ(s->at(g.button_row, g.button_col + 8).ch, 'B');
}

TEST_F(Dialog, NoButtonsLeavesTheNoticeOnTheScreen) {
  AlertSpec a;
  a.lines = {ru(" Изменение структур "), ru("Ждите ...")};
  a.buttons = {""};
  EXPECT_FALSE(clalert(f.rt(), a).has_value());
  EXPECT_NE(f.screen().snapshot().row_text(11).find("Изменение структур"), std::string::npos);
}

TEST_F(Dialog, FunctionKeysRestAndComeBack) {
  eval::evaluate(f.rt(), "SETKEY(-1, {|| ERRORLEVEL(42)})");
  AlertSpec a;
  a.lines = {"x"};
  EXPECT_EQ(show(a, "key F2 Enter"), 1);
  EXPECT_EQ(f.rt().exit_code, 0);  // F2 did nothing while the dialog was open
  EXPECT_TRUE(sc::keyboard_of(f.rt()).handler(-1).is_block());
  // OTMENA popped once too often: a message, nothing changed
  f.keys("checkpoint extra\nkey Enter");
  otmena_pop(f.rt());
  ASSERT_NE(f.at("extra"), nullptr);
  EXPECT_NE(f.at("extra")->text().find("Лишний раз восстанавливаются"), std::string::npos);
  EXPECT_TRUE(sc::keyboard_of(f.rt()).handler(-1).is_block());
}

TEST_F(Dialog, KeybAndBkey) {
  sc::Keyboard& kb = sc::keyboard_of(f.rt());
  eval::evaluate(f.rt(), "KEYB({65, 'bc'})");
  EXPECT_EQ(kb.pending(), 3u);
  eval::evaluate(f.rt(), "KEYB(68, .T.)");
  EXPECT_EQ(kb.pending(), 4u);
  eval::evaluate(f.rt(), "EVAL(BKEY, 27)");
  EXPECT_EQ(kb.last_key(), 27);
  EXPECT_EQ(kb.pending(), 0u);
  eval::evaluate(f.rt(), "KEYB(5), EVAL(BKEY)");
  EXPECT_EQ(kb.pending(), 0u);
  EXPECT_EQ(kb.last_key(), 0);
}

TEST(ColourTable, FlagOfTheConfigurationFile) {
  struct Case {
    const char* name;
    std::string bytes;
    bool writable;
    char flag;
  };
  const Case cases[] = {
      {"missing or empty", "", false, '1'},
      {"first byte 0, no key", "0\r\ni20_Printer=x\r\n", true, '0'},
      {"the key wins over the first byte", "1\r\ncolor=0\r\n", true, '0'},
      {"read-only without key", "0\r\n", false, '1'},
      {"key in upper case", "x COLOR=2", false, '2'},
  };
  for (const Case& c : cases) EXPECT_EQ(colour_flag(c.bytes, c.writable), c.flag) << c.name;
  EXPECT_STREQ(colour_set(13, true), "W+/R");
  EXPECT_STREQ(colour_set(13, false), "W+/W");
  EXPECT_STREQ(colour_set(89, true), "W+/N*");
}

TEST(ColourTable, ColorAndLoadvarMakeThePublics) {
  test::RunnerFixture f;
  test::write_file(f.dir() / "mono.txt", "0");
  struct Case {
    std::string cfg;
    std::string colr13;
  };
  const Case cases[] = {{"flagco.txt", "W+/R"}, {"mono.txt", "W+/W"}};
  for (const Case& c : cases) {
    set(f.rt(), pub::CFGFILE, Value::string(c.cfg));
    color(f.rt());
    loadvar(f.rt());
    EXPECT_EQ(text_of(eval::evaluate(f.rt(), "COLR[13]")), c.colr13) << c.cfg;
  }
  EXPECT_EQ(text_of(eval::evaluate(f.rt(), "INDCOL")), "N/W,W+/W");
  EXPECT_EQ(text_of(eval::evaluate(f.rt(), "UPRVIV")), "FForma.out");
  EXPECT_EQ(text_of(eval::evaluate(f.rt(), "MMES[1] + MMES1[12]")), ru(" января  декабрь "));
  EXPECT_EQ(text_of(eval::evaluate(f.rt(), "EVAL(BSAYDAT, STOD('20240105'))")),
            ru("5 января 2024 г."));
  eval::evaluate(f.rt(), "TEK_DATA := STOD('20240105')");
  EXPECT_EQ(text_of(eval::evaluate(f.rt(), "EVAL(BSAYDAT, CTOD(''), 1)")),
            ru("5 января 2024, ") + text_of(eval::evaluate(f.rt(), "CDOW(TEK_DATA)")));
  EXPECT_EQ(text_of(eval::evaluate(f.rt(), "EVAL(BZERO, 5, 3) + EVAL(BZERO, '12', 5)")),
            "00500012");
}

struct FileDialog : ::testing::Test {
  test::RunnerFixture f{"checkpoint shown\nkey Enter"};
};

TEST_F(FileDialog, FailuresOfTheDescriptionFilesEndTheRun) {
  struct Case {
    const char* name;
    std::string offset;  // "-": no file
    std::string control;
    std::string first_line;
    std::string second_line;
    std::string third_line;
  };
  const Case cases[] = {
      {"no offset file", "-", "-", "Ошибка при открытии файла смещения", "OFFSET.0",
       "(код ошибки  2)"},
      {"empty offset file", "", "-", "Ошибка при чтении файла смещения", "OFFSET.0",
       "(код ошибки  0)"},
      {"entry above N",
       "00000001000"
       "00200000001",
       "x", "Ошибка при чтении файла смещения", "OFFSET.0", "(код ошибки 13)"},
      {"entry 0",
       "00000001000"
       "00000000001",
       "x", "Ошибка при чтении файла смещения", "OFFSET.0", "(код ошибки 13)"},
      {"no control file",
       "00000001000"
       "00100000001",
       "-", "Ошибка при открытии файла управления", "CONTROL.0", ""},
  };
  for (const Case& c : cases) {
    test::RunnerFixture g{"checkpoint shown\nkey Enter"};
    if (c.offset != "-") test::write_file(g.dir() / "offset.0", c.offset);
    if (c.control != "-") test::write_file(g.dir() / "control.0", c.control);
    EXPECT_EQ(run_description(g.rt()), 0) << c.name;
    const sc::Snapshot* s = g.at("shown");
    ASSERT_NE(s, nullptr) << c.name;
    std::string all = s->text();
    EXPECT_NE(all.find(c.first_line), std::string::npos) << c.name << "\n" << all;
    EXPECT_NE(all.find(c.second_line), std::string::npos) << c.name;
    EXPECT_NE(all.find(c.third_line), std::string::npos) << c.name;
    EXPECT_NE(all.find("Ok"), std::string::npos) << c.name;
  }
}

}  // namespace
}  // namespace kvel::common
