#include "platform/screen/term_render.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/screen/cp866.h"
#include "support/test_support.h"

namespace kvel::screen {
namespace {

// A small terminal: enough of the control sequences the renderer sends to
// rebuild the picture from the byte stream. Anything else fails the test.
class FakeTerminal {
 public:
  explicit FakeTerminal(bool utf8) : utf8_(utf8), cells_(kRows * kCols, Cell{'?', 0x55}) {}

  void feed(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
      if (s[i] == '\x1b') {
        ASSERT_LT(i + 1, s.size());
        ASSERT_EQ(s[i + 1], '[') << test::escaped(std::string(s.substr(i, 10)));
        size_t j = i + 2;
        while (j < s.size() &&
               ((s[j] >= '0' && s[j] <= '9') || s[j] == ';' || s[j] == '?' || s[j] == ' '))
          ++j;
        ASSERT_LT(j, s.size());
        control(s.substr(i + 2, j - i - 2), s[j]);
        i = j + 1;
        continue;
      }
      uint8_t byte;
      if (utf8_) {
        char32_t cp = 0;
        int n = decode_utf8(s.substr(i), cp);
        ASSERT_GT(n, 0);
        auto b = unicode_to_cp866(cp);
        ASSERT_TRUE(b.has_value());
        byte = *b;
        i += static_cast<size_t>(n);
      } else {
        byte = static_cast<uint8_t>(s[i++]);
      }
      ASSERT_TRUE(row_ >= 0 && row_ < kRows && col_ >= 0 && col_ < kCols) << row_ << "," << col_;
      cells_[row_ * kCols + col_] = Cell{byte, attr_};
      if (col_ < kCols - 1) ++col_;  // no automatic wrap: the last column stays
    }
  }
  const std::vector<Cell>& cells() const { return cells_; }
  int row() const { return row_; }
  int col() const { return col_; }
  bool cursor_visible() const { return visible_; }
  int shape() const { return shape_; }

 private:
  static int dos_of(int ansi) {
    static const int kDos[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    return kDos[ansi];
  }
  std::vector<int> numbers(std::string_view p) {
    std::vector<int> v(1, 0);
    for (char c : p) {
      if (c == ';') v.push_back(0);
      if (c >= '0' && c <= '9') v.back() = v.back() * 10 + (c - '0');
    }
    return v;
  }
  void control(std::string_view p, char f) {
    if (p == "?25" && (f == 'l' || f == 'h')) {
      visible_ = f == 'h';
      return;
    }
    if (!p.empty() && p.back() == ' ' && f == 'q') {
      shape_ = numbers(p)[0];
      return;
    }
    std::vector<int> n = numbers(p);
    switch (f) {
      case 'H':
        row_ = (n[0] ? n[0] : 1) - 1;
        col_ = (n.size() > 1 && n[1] ? n[1] : 1) - 1;
        break;
      case 'C':
        col_ = std::min(col_ + (n[0] ? n[0] : 1), kCols - 1);
        break;
      case 'J':
        ASSERT_EQ(n[0], 2);
        for (Cell& c : cells_) c = Cell{' ', attr_};
        break;
      case 'm':
        for (int v : n) {
          if (v == 0)
            attr_ = 0x07;
          else if (v >= 30 && v <= 37)
            attr_ = static_cast<Attr>((attr_ & 0xF0) | dos_of(v - 30));
          else if (v >= 90 && v <= 97)
            attr_ = static_cast<Attr>((attr_ & 0xF0) | 8 | dos_of(v - 90));
          else if (v >= 40 && v <= 47)
            attr_ = static_cast<Attr>((attr_ & 0x0F) | dos_of(v - 40) << 4);
          else if (v >= 100 && v <= 107)
            attr_ = static_cast<Attr>((attr_ & 0x0F) | (8 | dos_of(v - 100)) << 4);
          else
            ADD_FAILURE() << "SGR " << v;
        }
        break;
      default:
        ADD_FAILURE() << "sequence " << std::string(p) << f;
    }
  }

  bool utf8_;
  std::vector<Cell> cells_;
  int row_ = 0, col_ = 0;
  Attr attr_ = 0x55;
  bool visible_ = true;
  int shape_ = 0;
};

// Random pictures and random changes: after every render the terminal shows
// exactly the screen's cells.
TEST(TermRenderer, OutputDecodesBackToTheCells) {
  for (bool utf8 : {true, false}) {
    std::mt19937 rng(utf8 ? 866 : 1251);
    TermRenderer r(utf8);
    FakeTerminal t(utf8);
    std::vector<Cell> cells(kRows * kCols);
    for (int round = 0; round < 40; ++round) {
      int changes = round == 0 ? kRows * kCols : static_cast<int>(rng() % 300);
      for (int i = 0; i < changes; ++i) {
        uint8_t ch = static_cast<uint8_t>(rng() % 256);
        if (!utf8 && (ch < 0x20 || ch == 0x7F)) ch = ' ';  // CP866 output sends those as blanks
        if (ch == 0) ch = ' ';                             // byte 0 shows as a blank
        cells[rng() % cells.size()] = Cell{ch, static_cast<Attr>(rng() % 256)};
      }
      std::string out;
      CursorState cur{static_cast<int>(rng() % kRows), static_cast<int>(rng() % kCols),
                      static_cast<int>(rng() % 3)};
      r.render(cells.data(), cur, out);
      t.feed(out);
      for (size_t i = 0; i < cells.size(); ++i)
        ASSERT_EQ(t.cells()[i], cells[i])
            << "utf8 " << utf8 << " round " << round << " row " << i / kCols << " col " << i % kCols
            << ": " << int(t.cells()[i].ch) << "/" << int(t.cells()[i].attr) << " for "
            << int(cells[i].ch) << "/" << int(cells[i].attr);
      EXPECT_EQ(t.cursor_visible(), cur.shape != kCursorNone);
      if (cur.shape != kCursorNone) {
        EXPECT_EQ(t.row(), cur.row);
        EXPECT_EQ(t.col(), cur.col);
        EXPECT_EQ(t.shape(), cur.shape == kCursorInsert ? 1 : 3);
      }
    }
  }
}

TEST(TermRenderer, SendsOnlyWhatChanged) {
  TermRenderer r;
  std::vector<Cell> cells(kRows * kCols);
  CursorState hidden{0, 0, kCursorNone};
  std::string out;
  r.render(cells.data(), hidden, out);
  out.clear();
  r.render(cells.data(), hidden, out);
  EXPECT_EQ(out, "") << "nothing changed, nothing sent";
  cells[10 * kCols + 40] = Cell{0xDB, 0x1E};
  r.render(cells.data(), hidden, out);
  EXPECT_EQ(out, "\x1b[11;41H\x1b[93;44m\xe2\x96\x88");
  out.clear();
  cells[10 * kCols + 43] = Cell{'x', 0x1E};
  r.render(cells.data(), hidden, out);
  EXPECT_EQ(out, "\x1b[2Cx") << "two cells on: a short move forward";
  out.clear();
  r.invalidate();
  r.render(cells.data(), hidden, out);
  EXPECT_GT(out.size(), static_cast<size_t>(kRows * kCols)) << "after invalidate everything again";
}

}  // namespace
}  // namespace kvel::screen
