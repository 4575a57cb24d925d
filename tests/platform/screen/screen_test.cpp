#include "platform/screen/screen.h"

#include <gtest/gtest.h>

#include "platform/screen/cp866.h"
#include "platform/screen/headless_backend.h"

namespace kvel::screen {
namespace {

class ScreenTest : public ::testing::Test {
 protected:
  ScreenTest() : backend_(std::make_shared<HeadlessBackend>()), s_(backend_) {}
  // The row as the screen holds it, as UTF-8, cut to n characters.
  std::string text(int row, int col = 0, int n = kCols) {
    std::string cp;
    for (int c = col; c < col + n; ++c) cp += static_cast<char>(s_.cell(row, c).ch);
    return cp866_to_utf8(cp);
  }
  std::shared_ptr<HeadlessBackend> backend_;
  Screen s_;
};

TEST_F(ScreenTest, WritingIsClippedAtTheEdges) {
  s_.write(0, 76, "abcdef", 0x1F);
  EXPECT_EQ(text(0, 74, 6), "  abcd");
  s_.write(1, -2, "xyz", 0x1F);
  EXPECT_EQ(text(1, 0, 2), "z ");
  s_.write(25, 0, "lost", 0x1F);
  s_.write(-1, 0, "lost", 0x1F);
  EXPECT_EQ(s_.cell(30, 100), Cell{});
  s_.set_colour("GR+/R");
  s_.write(2, 0, "x");
  EXPECT_EQ(s_.attr_at(2, 0), 0x4E);
}

TEST_F(ScreenTest, BoxesWithFrameStringsAndNumbers) {
  s_.box({1, 1, 3, 6}, 2, 0x1F);
  EXPECT_EQ(text(1, 1, 6), "╔════╗");
  EXPECT_EQ(text(2, 1, 6), "║    ║") << "without a filler the inside stays";
  EXPECT_EQ(text(3, 1, 6), "╚════╝");
  s_.write(6, 2, "xx", 0x07);
  s_.box({5, 1, 7, 4}, std::string(kFrameSingle) + "\xb0", 0x70);
  EXPECT_EQ(text(5, 1, 4), "┌──┐");
  EXPECT_EQ(text(6, 1, 4), "│░░│") << "the 9th character fills";
  EXPECT_EQ(text(7, 1, 4), "└──┘");
  EXPECT_EQ(s_.attr_at(6, 2), 0x70);
  s_.box({9, 0, 9, 3}, 1, 0x07);
  EXPECT_EQ(text(9, 0, 4), "────") << "a one-row box is a line";
  s_.box({11, 0, 12, 1}, "12345678", 0x07);
  EXPECT_EQ(text(11, 0, 2), "13");
  EXPECT_EQ(text(12, 0, 2), "75");
  s_.box({20, 70, 30, 90}, 1, 0x07);
  EXPECT_EQ(text(20, 70, 10), "┌─────────") << "clipped at the screen's edge";
}

TEST_F(ScreenTest, ShadowKeepsCharactersAndClips) {
  s_.fill({}, 'x', 0x1F);
  s_.shadow({2, 3, 4, 10});
  for (int col = 0; col < kCols; ++col)
    EXPECT_EQ(s_.attr_at(5, col), col >= 5 && col <= 12 ? kShadowAttr : 0x1F)
        << "row below, col " << col;
  for (int row = 0; row < kRows; ++row)
    for (int col : {11, 12})
      EXPECT_EQ(s_.attr_at(row, col), (row >= 3 && row <= 5) ? kShadowAttr : 0x1F)
          << row << "," << col;
  EXPECT_EQ(s_.cell(5, 6).ch, 'x');
  s_.shadow({20, 70, 24, 79});  // entirely off the screen: nothing happens
  EXPECT_EQ(s_.attr_at(24, 79), 0x1F);
  s_.set_monochrome(true);
  s_.shadow({0, 0, 0, 0});
  EXPECT_EQ(s_.attr_at(1, 2), kShadowAttrMono);
}

TEST_F(ScreenTest, SavedRegionsAreTwoBytesPerCell) {
  s_.write(3, 4, "AB", 0x1F);
  s_.write(4, 4, "CD", 0x4E);
  std::string saved = s_.save({3, 4, 4, 5});
  EXPECT_EQ(saved, std::string("A\x1F"
                               "B\x1F"
                               "C\x4E"
                               "D\x4E",
                               8));
  s_.clear_all();
  // The system rewrites such texts directly: make the first cell's attribute a shadow.
  saved[1] = static_cast<char>(kShadowAttr);
  s_.restore({10, 10, 11, 11}, saved);
  EXPECT_EQ(text(10, 10, 2) + text(11, 10, 2), "ABCD");
  EXPECT_EQ(s_.attr_at(10, 10), kShadowAttr);
  s_.restore({0, 0, 1, 1}, "Z\x07Y");  // short: only whole cells are taken
  EXPECT_EQ(text(0, 0, 2), "Z ");
  EXPECT_EQ(s_.save({23, 78, 26, 82}).size(), 2u * 2 * 2) << "only the part on the screen";
  EXPECT_EQ(s_.save({5, 5, 4, 5}), "") << "an empty rectangle";
}

TEST_F(ScreenTest, ScrollingRectangles) {
  for (int r = 0; r < 4; ++r) s_.write(r, 0, std::string(1, static_cast<char>('a' + r)) + "1234");
  s_.scroll({0, 0, 3, 4}, 1, 0, 0x1F);
  EXPECT_EQ(text(0, 0, 5) + text(3, 0, 5), "b1234     ");
  EXPECT_EQ(s_.attr_at(3, 0), 0x1F);
  s_.scroll({0, 0, 3, 4}, -2, 0);
  EXPECT_EQ(text(2, 0, 5), "b1234");
  s_.scroll({2, 0, 2, 4}, 0, 2);
  EXPECT_EQ(text(2, 0, 5), "234  ");
  s_.scroll({2, 0, 2, 4}, 0, -1);
  EXPECT_EQ(text(2, 0, 5), " 234 ");
  s_.scroll({0, 0, 3, 4}, 0, 0);
  EXPECT_EQ(text(2, 0, 5), "     ") << "no amount clears";
}

TEST_F(ScreenTest, BufferedDrawingShowsAtTheOutermostEnd) {
  int shown = backend_->presents();
  s_.begin();
  s_.write(0, 0, "one");
  s_.begin();
  s_.write(1, 0, "two");
  s_.end();
  EXPECT_EQ(backend_->presents(), shown);
  EXPECT_EQ(backend_->row_text(0).substr(0, 3), "   ");
  s_.end();
  EXPECT_EQ(backend_->presents(), shown + 1);
  EXPECT_EQ(backend_->row_text(1).substr(0, 3), "two");
  s_.end();  // one end too many does nothing
  EXPECT_EQ(s_.depth(), 0);
  s_.write(2, 0, "x");
  EXPECT_EQ(backend_->presents(), shown + 2);
}

TEST_F(ScreenTest, CursorAndColourSelection) {
  EXPECT_EQ(s_.set_cursor_shape(kCursorNone), kCursorNormal);
  EXPECT_EQ(s_.set_cursor_shape(7), kCursorNone) << "unknown shapes are ignored";
  EXPECT_EQ(s_.cursor_shape(), kCursorNone);
  s_.set_pos(3, 7);
  EXPECT_EQ(backend_->cursor(), (CursorState{3, 7, kCursorNone}));
  EXPECT_EQ(s_.set_colour("W+/B,GR+/R"), "W/N,N/W,N/N,N/N,N/W");
  EXPECT_EQ(s_.select_slot(kEnhanced), kStandard);
  EXPECT_EQ(s_.colour(), 0x4E);
  s_.select_slot(9);
  EXPECT_EQ(s_.selected_slot(), kEnhanced);
  s_.set_title("\x8a\x82\x85\x8b");
  EXPECT_EQ(cp866_to_utf8(backend_->title()), "КВЕЛ");
}

}  // namespace
}  // namespace kvel::screen
