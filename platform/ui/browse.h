// The table browser: a grid of columns in a rectangle over three callbacks
// (go to the top, go to the bottom, skip n rows and tell how many were
// skipped). Headings, footings and their separators, column separators,
// frozen left columns and horizontal panning; cell colours from the column's
// colour callback. Drawing is incremental: stabilize() does one row per call,
// so the caller can stop as soon as a key is waiting. The grid and its columns
// are also the language's browse objects (b:rowPos, b:refreshAll(), c:width).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"
#include "platform/screen/cell.h"

namespace kvel::ui {

class BrowseColumn : public eval::ObjectData {
 public:
  BrowseColumn(std::string heading, eval::Value block)
      : heading(std::move(heading)), block(std::move(block)) {}
  std::string_view class_name() const override { return "TBCOLUMN"; }
  eval::Value get(eval::Runtime& rt, std::string_view name) override;
  void set(eval::Runtime& rt, std::string_view name, const eval::Value& v) override;

  std::string heading;  // ";" starts a new heading line
  std::string footing;
  eval::Value block;  // the cell's value at the current row
  int width = -1;     // -1: from heading, footing and the first value; 0 hides
  std::string picture;
  eval::Value colour_block;  // value -> {normal, highlighted} colour numbers
  // Colour numbers (1-based, into the grid's colour list): cell, highlighted
  // cell, heading, footing.
  std::vector<int> def_colour{1, 2};
  // Separators of this column; unset ones take the grid's.
  bool has_col_sep = false, has_head_sep = false, has_foot_sep = false;
  std::string col_sep, head_sep, foot_sep;
  eval::Value cargo;
};

class Browse : public eval::ObjectData, public std::enable_shared_from_this<Browse> {
 public:
  explicit Browse(screen::Rect area);
  std::string_view class_name() const override { return "TBROWSE"; }
  eval::Value get(eval::Runtime& rt, std::string_view name) override;
  void set(eval::Runtime& rt, std::string_view name, const eval::Value& v) override;
  eval::Value call(eval::Runtime& rt, std::string_view name, eval::Args args) override;

  // Callbacks: blocks of the language or made with make_block().
  eval::Value go_top_block, go_bottom_block;
  eval::Value skip_block;   // {|n| ...} -> rows actually skipped
  std::string colour_spec;  // colour pairs joined by ","; empty: the screen's list
  std::string col_sep = " ", head_sep, foot_sep;
  eval::Value cargo;

  void add_column(std::shared_ptr<BrowseColumn> c);
  void insert_column(int pos, std::shared_ptr<BrowseColumn> c);  // 1-based
  void remove_column(int pos);
  const std::vector<std::shared_ptr<BrowseColumn>>& columns() const { return cols_; }
  void set_area(screen::Rect r);
  screen::Rect area() const { return area_; }

  // Movement: asks for it; stabilize() carries it out.
  void down() { request(1); }
  void up() { request(-1); }
  void page_down();
  void page_up();
  void go_top(eval::Runtime& rt);
  void go_bottom(eval::Runtime& rt);
  void left();
  void right();
  void home();
  void end();
  void pan_left();
  void pan_right();
  void pan_home();
  void pan_end();
  void refresh_all();      // every row read again, the current record kept
  void refresh_current();  // the current row drawn again
  void configure();        // widths, separators and headings worked out again
  void set_freeze(int n);
  void set_col_pos(int n);  // 1-based
  void set_row_pos(int n);  // 1-based

  // One step of drawing; true when the grid is complete (stable).
  bool stabilize(eval::Runtime& rt);
  // Draws until stable, or until a key is waiting; returns whether stable.
  bool stabilize_until_key(eval::Runtime& rt);
  void force_stable(eval::Runtime& rt);
  // The standard keys: rows, pages, columns, panning. False for other keys.
  bool apply_key(eval::Runtime& rt, int key);

  int row_pos() const { return row_pos_ + 1; }
  int col_pos() const { return col_pos_ + 1; }
  int row_count() const { return rows_; }
  int freeze() const { return freeze_; }
  int left_visible() const { return left_visible_ + 1; }
  int right_visible() const { return right_visible_ + 1; }
  bool hit_top() const { return hit_top_; }
  bool hit_bottom() const { return hit_bottom_; }
  bool stable() const { return stable_; }
  // Screen position of the current cell (valid once stable).
  int cell_row() const { return data_top_ + row_pos_; }
  int cell_col() const;
  bool auto_lite = true;  // the current cell is highlighted

 private:
  void request(int n);
  long skip(eval::Runtime& rt, long n);
  void layout(eval::Runtime& rt);
  void place();  // which columns are shown and where
  void draw_frame_rows(eval::Runtime& rt);
  void draw_row(eval::Runtime& rt, int r, bool with_data);
  screen::Attr colour(eval::Runtime& rt, int n) const;  // 1-based into colour_spec
  const std::string& sep_of(const BrowseColumn& c) const;
  const std::string& head_sep_of(const BrowseColumn& c) const;
  const std::string& foot_sep_of(const BrowseColumn& c) const;
  void invalidate_rows();

  screen::Rect area_;
  std::vector<std::shared_ptr<BrowseColumn>> cols_;
  std::vector<int> widths_;
  struct Shown {
    int col;    // index into cols_
    int x;      // screen column of the cell
    int sep_x;  // screen column of the separator before it, -1 for the first
  };
  std::vector<Shown> shown_;
  int freeze_ = 0;
  int left_visible_ = 0, right_visible_ = 0;
  int col_pos_ = 0, row_pos_ = 0;
  int rows_ = 0, head_rows_ = 0, foot_rows_ = 0;
  bool head_line_ = false, foot_line_ = false;
  int data_top_ = 0;
  bool pan_ = false;   // placing keeps the view and moves the cursor into it
  int data_row_ = 0;   // the row the data source stands on
  int data_rows_ = 0;  // rows that hold data (the others are blank)
  long pending_ = 0;   // rows to move
  bool configured_ = false, placed_ = false, refresh_all_ = true, frame_drawn_ = false;
  bool stable_ = false, hit_top_ = false, hit_bottom_ = false;
  std::vector<bool> valid_;
};

}  // namespace kvel::ui
