#include "platform/ui/browse.h"

#include <gtest/gtest.h>

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/ui/callback.h"
#include "platform/ui/ui_fixture.h"

namespace kvel::ui {
namespace {

using eval::Value;
using test::UiFixture;
namespace sc = kvel::screen;

// A source of n rows; the current row is `at` (0-based). Counts the cell reads.
struct Source {
  explicit Source(int rows) : n(rows) {}
  int n = 0;
  int at = 0;
  int reads = 0;
  std::vector<double> amounts;
};

std::shared_ptr<Browse> grid(Source& src, sc::Rect area, int columns = 2) {
  auto b = std::make_shared<Browse>(area);
  b->go_top_block = make_block([&src](eval::Runtime&, eval::Args) {
    src.at = 0;
    return Value();
  });
  b->go_bottom_block = make_block([&src](eval::Runtime&, eval::Args) {
    src.at = std::max(0, src.n - 1);
    return Value();
  });
  b->skip_block = make_block([&src](eval::Runtime&, eval::Args a) {
    long want = a[0].as_int();
    long to = std::clamp<long>(src.at + want, 0, std::max(0, src.n - 1));
    long moved = src.n == 0 ? 0 : to - src.at;
    src.at = static_cast<int>(to);
    return Value::integer(moved);
  });
  b->head_sep = "-";
  b->col_sep = "|";
  auto name = std::make_shared<BrowseColumn>(
      "Name", make_block([&src](eval::Runtime&, eval::Args) {
        ++src.reads;
        return src.n == 0 ? Value::string("") : Value::string("row" + std::to_string(src.at + 1));
      }));
  name->width = 6;
  b->add_column(name);
  for (int k = 1; k < columns; ++k) {
    auto c = std::make_shared<BrowseColumn>(
        "C" + std::to_string(k), make_block([&src, k](eval::Runtime&, eval::Args) {
          if (src.n == 0) return Value::integer(0, 4);
          double v = src.amounts.empty() ? src.at * 10 + k : src.amounts[src.at];
          return Value::number(v, 6, 1);
        }));
    c->width = 6;
    b->add_column(c);
  }
  return b;
}

TEST(Browse, DrawsHeadingsSeparatorsFootingsAndRows) {
  UiFixture f;
  f.scr().set_colour("W/B,N/W");
  Source src{10};
  auto b = grid(src, {2, 0, 8, 19});
  b->foot_sep = "=";
  b->columns()[1]->heading = "C1;sum";
  b->columns()[1]->footing = "tot";
  b->force_stable(f.rt);
  EXPECT_EQ(f.row(2, 0, 20), "Name  |C1           ");
  EXPECT_EQ(f.row(3, 0, 20), "      |sum          ");
  EXPECT_EQ(f.row(4, 0, 20), "--------------------");
  EXPECT_EQ(f.row(5, 0, 20), "row1  |   1.0       ");
  EXPECT_EQ(f.row(6, 0, 20), "row2  |  11.0       ");
  EXPECT_EQ(f.row(7, 0, 20), "====================");
  EXPECT_EQ(f.row(8, 0, 20), "      |tot          ");
  EXPECT_EQ(b->row_count(), 2);
  // The current cell is highlighted and holds the cursor; the source stands on its row.
  EXPECT_EQ(f.attr(5, 0), sc::parse_colour("N/W"));
  EXPECT_EQ(f.attr(5, 7), sc::parse_colour("W/B"));
  EXPECT_EQ(f.attr(6, 0), sc::parse_colour("W/B"));
  EXPECT_EQ(b->cell_row(), 5);
  EXPECT_EQ(b->cell_col(), 0);
  EXPECT_EQ(f.scr().row(), 5);
  EXPECT_EQ(src.at, 0);
}

TEST(Browse, MovesScrollsAndHitsTheEnds) {
  // Ten rows in a window of three; each case starts at the top.
  struct Case {
    const char* what;
    std::vector<int> keys;
    int row_pos;
    int at;  // the source's row, 0-based
    const char* first_row;
    bool hit_top, hit_bottom;
  } cases[] = {
      {"Down twice", {24, 24}, 3, 2, "row1", false, false},
      {"Down four times scrolls", {24, 24, 24, 24}, 3, 4, "row3", false, false},
      {"Up at the top", {5}, 1, 0, "row1", true, false},
      {"PgDn keeps the row", {24, 3}, 2, 4, "row4", false, false},
      {"PgDn then PgUp", {3, 18}, 1, 0, "row1", false, false},
      {"Ctrl+PgDn", {30}, 3, 9, "row8", false, false},
      {"Down at the bottom", {30, 24}, 3, 9, "row8", false, true},
      {"Ctrl+PgDn, Ctrl+PgUp", {30, 31}, 1, 0, "row1", false, false},
      {"Up from the bottom scrolls back", {30, 5, 5, 5}, 1, 6, "row7", false, false},
  };
  for (const Case& c : cases) {
    UiFixture f;
    Source src{10};
    auto b = grid(src, {0, 0, 4, 19});
    b->force_stable(f.rt);
    for (int k : c.keys) {
      b->apply_key(f.rt, k);
      b->force_stable(f.rt);
    }
    EXPECT_EQ(b->row_pos(), c.row_pos) << c.what;
    EXPECT_EQ(src.at, c.at) << c.what;
    EXPECT_EQ(f.row(2, 0, 4), c.first_row) << c.what;
    EXPECT_EQ(b->hit_top(), c.hit_top) << c.what;
    EXPECT_EQ(b->hit_bottom(), c.hit_bottom) << c.what;
    // Every row shown is the source row it stands for.
    for (int r = 0; r < 3; ++r) {
      int n = std::stoi(c.first_row + 3) + r;
      EXPECT_EQ(f.row(2 + r, 0, 6), "row" + std::to_string(n) + (n < 10 ? "  " : " ")) << c.what;
    }
  }
}

TEST(Browse, EmptySource) {
  UiFixture f;
  Source src{0};
  auto b = grid(src, {0, 0, 4, 19});
  b->force_stable(f.rt);
  EXPECT_EQ(f.row(0, 0, 13), "Name  |C1    ");
  EXPECT_EQ(f.row(3, 0, 13), "      |      ");
  for (int k : {30, 24, 3}) {
    b->apply_key(f.rt, k);
    b->force_stable(f.rt);
  }
  EXPECT_TRUE(b->hit_bottom());
  b->apply_key(f.rt, sc::kKeyUp);
  b->force_stable(f.rt);
  EXPECT_TRUE(b->hit_top());
  EXPECT_EQ(b->row_pos(), 1);
  EXPECT_EQ(src.at, 0);
}

TEST(Browse, FrozenColumnsAndPanning) {
  // Six columns of 6 and separators of 1 in 20 columns: three fit at a time.
  struct Case {
    const char* what;
    std::vector<int> keys;
    const char* heading;
    int col_pos;
  } cases[] = {
      {"start", {}, "Name  |C1    |C2    ", 1},
      {"Right moves the cursor", {4}, "Name  |C1    |C2    ", 2},
      {"Right past the edge pans, Name stays", {4, 4, 4}, "Name  |C2    |C3    ", 4},
      {"End of the grid", {4, 4, 4, 4, 4, 4, 4}, "Name  |C4    |C5    ", 6},
      {"Ctrl+Right pans; the cursor stays on the frozen column", {2, 2}, "Name  |C3    |C4    ", 1},
      {"Ctrl+Right pans the cursor column away", {4, 2}, "Name  |C2    |C3    ", 3},
      {"Ctrl+Left pans back", {2, 2, 26}, "Name  |C2    |C3    ", 1},
      {"Ctrl+End", {23}, "Name  |C4    |C5    ", 6},
      {"Ctrl+End, Ctrl+Home", {23, 29}, "Name  |C1    |C2    ", 1},
      {"Left on the first column stays", {19}, "Name  |C1    |C2    ", 1},
  };
  for (const Case& c : cases) {
    UiFixture f;
    Source src{4};
    auto b = grid(src, {0, 0, 4, 19}, 6);
    b->set_freeze(1);
    b->force_stable(f.rt);
    for (int k : c.keys) {
      b->apply_key(f.rt, k);
      b->force_stable(f.rt);
    }
    EXPECT_EQ(f.row(0, 0, 20), c.heading) << c.what;
    EXPECT_EQ(b->col_pos(), c.col_pos) << c.what;
    EXPECT_EQ(f.scr().col(), b->cell_col()) << c.what;
  }
}

TEST(Browse, ColourCallbackPerCell) {
  UiFixture f;
  Source src{3};
  src.amounts = {5, -2, 7};
  auto b = grid(src, {0, 0, 4, 19});
  b->colour_spec = "W/B,N/W,R/B,R+/W";
  b->columns()[1]->colour_block = make_block([](eval::Runtime&, eval::Args a) {
    bool neg = a[0].as_double() < 0;
    Value pair = Value::new_array(2);
    pair.as_array()->items[0] = Value::integer(neg ? 3 : 1);
    pair.as_array()->items[1] = Value::integer(neg ? 4 : 2);
    return pair;
  });
  b->force_stable(f.rt);
  EXPECT_EQ(f.attr(2, 7), sc::parse_colour("W/B"));
  EXPECT_EQ(f.attr(3, 7), sc::parse_colour("R/B"));
  EXPECT_EQ(f.row(3, 7, 6), "  -2.0");
  b->apply_key(f.rt, sc::kKeyDown);
  b->apply_key(f.rt, sc::kKeyRight);
  b->force_stable(f.rt);
  EXPECT_EQ(f.attr(3, 7), sc::parse_colour("R+/W"));
}

TEST(Browse, DrawingGivesWayToAWaitingKey) {
  UiFixture f;
  Source src{50};
  auto b = grid(src, {0, 0, 24, 19});
  sc::keyboard_of(f.rt).put(sc::kKeyDown);
  EXPECT_FALSE(b->stabilize_until_key(f.rt));
  EXPECT_LT(src.reads, 3);
  EXPECT_FALSE(b->stable());
  sc::keyboard_of(f.rt).clear();
  EXPECT_TRUE(b->stabilize_until_key(f.rt));
  EXPECT_EQ(src.reads, 23);  // one read per row shown: the widths are given
  EXPECT_EQ(f.row(24, 0, 6), "row23 ");
}

TEST(Browse, RefreshCurrentAndAll) {
  UiFixture f;
  Source src{3};
  src.amounts = {1, 2, 3};
  auto b = grid(src, {0, 0, 4, 19});
  b->force_stable(f.rt);
  src.amounts = {10, 20, 30};
  b->refresh_current();
  b->force_stable(f.rt);
  EXPECT_EQ(f.row(2, 7, 6), "  10.0");
  EXPECT_EQ(f.row(3, 7, 6), "   2.0");
  b->refresh_all();
  b->force_stable(f.rt);
  EXPECT_EQ(f.row(3, 7, 6), "  20.0");
  EXPECT_EQ(f.row(4, 7, 6), "  30.0");
}

TEST(Browse, LanguageMessages) {
  UiFixture f;
  Source src{10};
  auto b = grid(src, {0, 0, 4, 19});
  auto msg = [&](const char* m) { return b->call(f.rt, m, {}); };
  msg("FORCESTABLE");
  msg("DOWN");
  msg("FORCESTABLE");
  EXPECT_EQ(b->get(f.rt, "ROWPOS").as_int(), 2);
  EXPECT_EQ(b->get(f.rt, "COLCOUNT").as_int(), 2);
  EXPECT_TRUE(b->get(f.rt, "STABLE").as_logical());
  b->set(f.rt, "COLPOS", Value::integer(2));
  msg("FORCESTABLE");
  EXPECT_EQ(f.scr().col(), 7);
  Value c = b->call(f.rt, "GETCOLUMN", {});
  EXPECT_TRUE(c.is_nil());
  auto col = b->columns()[0];
  col->set(f.rt, "WIDTH", Value::integer(3));
  EXPECT_EQ(col->get(f.rt, "WIDTH").as_int(), 3);
  EXPECT_EQ(col->get(f.rt, "HEADING").as_string(), "Name");
}

TEST(Browse, PicturesZeroWidthColumnsAndJoinedSeparators) {
  // C1 takes no room but keeps its separator (a caller that hides columns
  // gives them empty ones); C2 is formatted by its picture, which sets its width.
  UiFixture f;
  Source src{2};
  auto b = grid(src, {0, 0, 4, 29}, 3);
  b->col_sep = test::cp(" │ ");
  b->head_sep = test::cp("─┬─");
  b->foot_sep = test::cp("─┴─");
  b->columns()[1]->width = 0;
  b->columns()[2]->picture = "999.99";
  b->columns()[2]->width = -1;
  b->force_stable(f.rt);
  EXPECT_EQ(f.row(0, 0, 20), "Name   │  │ C2      ");
  EXPECT_EQ(f.row(1, 0, 20), "───────┬──┬─────────");
  EXPECT_EQ(f.row(2, 0, 20), "row1   │  │   2.00  ");
  EXPECT_EQ(f.row(3, 0, 20), "row2   │  │  12.00  ");
  EXPECT_EQ(f.row(4, 0, 20), "───────┴──┴─────────");
  // The cursor can stand on the hidden column; the caller steps off it.
  b->apply_key(f.rt, sc::kKeyRight);
  b->force_stable(f.rt);
  EXPECT_EQ(b->col_pos(), 2);
}

}  // namespace
}  // namespace kvel::ui
