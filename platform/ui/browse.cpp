#include "platform/ui/browse.h"

#include <algorithm>

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"
#include "platform/ui/callback.h"
#include "platform/ui/picture.h"
#include "platform/ui/text.h"

namespace kvel::ui {

using eval::Value;
namespace sc = kvel::screen;

namespace {

std::string text_of(const Value& v) { return v.is_string() ? v.as_string() : std::string(); }

int lines_of(const std::string& s) {
  return s.empty() ? 0 : static_cast<int>(std::count(s.begin(), s.end(), ';')) + 1;
}

std::vector<int> numbers_of(const Value& v) {
  std::vector<int> out;
  if (!v.is_array()) return out;
  for (const Value& e : v.as_array()->items)
    out.push_back(e.is_number() ? static_cast<int>(e.as_int()) : 1);
  return out;
}

Value array_of(const std::vector<int>& v) {
  Value a = Value::new_array(v.size());
  for (size_t i = 0; i < v.size(); ++i) a.as_array()->items[i] = Value::integer(v[i]);
  return a;
}

}  // namespace

// ---- columns ----

Value BrowseColumn::get(eval::Runtime& rt, std::string_view n) {
  std::string m = eval::upper_name(n);
  if (m == "HEADING") return Value::string(heading);
  if (m == "FOOTING") return Value::string(footing);
  if (m == "BLOCK") return block;
  if (m == "WIDTH") return width < 0 ? Value() : Value::integer(width);
  if (m == "PICTURE") return picture.empty() ? Value() : Value::string(picture);
  if (m == "COLORBLOCK") return colour_block;
  if (m == "DEFCOLOR") return array_of(def_colour);
  if (m == "COLSEP") return has_col_sep ? Value::string(col_sep) : Value();
  if (m == "HEADSEP") return has_head_sep ? Value::string(head_sep) : Value();
  if (m == "FOOTSEP") return has_foot_sep ? Value::string(foot_sep) : Value();
  if (m == "CARGO") return cargo;
  raise_no_method(rt, n);
  return {};
}

void BrowseColumn::set(eval::Runtime& rt, std::string_view n, const Value& v) {
  std::string m = eval::upper_name(n);
  if (m == "HEADING") {
    heading = text_of(v);
  } else if (m == "FOOTING") {
    footing = text_of(v);
  } else if (m == "BLOCK") {
    block = v;
  } else if (m == "WIDTH") {
    width = v.is_number() ? std::max<int>(0, static_cast<int>(v.as_int())) : -1;
  } else if (m == "PICTURE") {
    picture = text_of(v);
  } else if (m == "COLORBLOCK") {
    colour_block = v;
  } else if (m == "DEFCOLOR") {
    std::vector<int> d = numbers_of(v);
    if (!d.empty()) def_colour = d;
  } else if (m == "COLSEP") {
    has_col_sep = v.is_string();
    col_sep = text_of(v);
  } else if (m == "HEADSEP") {
    has_head_sep = v.is_string();
    head_sep = text_of(v);
  } else if (m == "FOOTSEP") {
    has_foot_sep = v.is_string();
    foot_sep = text_of(v);
  } else if (m == "CARGO") {
    cargo = v;
  } else {
    raise_no_method(rt, n);
  }
}

// ---- the grid ----

Browse::Browse(sc::Rect area) : area_(area) {}

void Browse::add_column(std::shared_ptr<BrowseColumn> c) {
  cols_.push_back(std::move(c));
  configured_ = false;
}

void Browse::insert_column(int pos, std::shared_ptr<BrowseColumn> c) {
  pos = std::clamp(pos - 1, 0, static_cast<int>(cols_.size()));
  cols_.insert(cols_.begin() + pos, std::move(c));
  configured_ = false;
}

void Browse::remove_column(int pos) {
  if (pos < 1 || pos > static_cast<int>(cols_.size())) return;
  cols_.erase(cols_.begin() + (pos - 1));
  configured_ = false;
}

void Browse::set_area(sc::Rect r) {
  area_ = r;
  configured_ = false;
}

void Browse::request(int n) {
  pending_ += n;
  hit_top_ = hit_bottom_ = false;
  stable_ = false;
}

void Browse::page_down() { request(std::max(1, rows_)); }
void Browse::page_up() { request(-std::max(1, rows_)); }

void Browse::go_top(eval::Runtime& rt) {
  ui::call(rt, go_top_block);
  row_pos_ = 0;
  pending_ = 0;
  hit_top_ = hit_bottom_ = false;
  refresh_all();
}

void Browse::go_bottom(eval::Runtime& rt) {
  ui::call(rt, go_bottom_block);
  row_pos_ = std::max(0, rows_ - 1);
  if (!configured_) row_pos_ = area_.bottom - area_.top;  // trimmed once the layout is known
  pending_ = 0;
  hit_top_ = hit_bottom_ = false;
  refresh_all();
}

void Browse::refresh_all() {
  refresh_all_ = true;
  stable_ = false;
}

void Browse::refresh_current() {
  if (row_pos_ < static_cast<int>(valid_.size())) valid_[row_pos_] = false;
  stable_ = false;
}

void Browse::configure() {
  configured_ = false;
  stable_ = false;
}

void Browse::invalidate_rows() {
  std::fill(valid_.begin(), valid_.end(), false);
  stable_ = false;
}

void Browse::set_freeze(int n) {
  freeze_ = std::max(0, n);
  placed_ = false;
  stable_ = false;
}

void Browse::set_col_pos(int n) {
  col_pos_ = std::max(0, n - 1);
  pan_ = false;
  placed_ = false;
  stable_ = false;
}

void Browse::set_row_pos(int n) {
  row_pos_ = std::max(0, n - 1);
  refresh_all();
}

void Browse::left() {
  if (col_pos_ == 0) return;
  --col_pos_;
  pan_ = false;
  placed_ = false;
  stable_ = false;
}

void Browse::right() {
  if (col_pos_ + 1 >= static_cast<int>(cols_.size())) return;
  ++col_pos_;
  pan_ = false;
  placed_ = false;
  stable_ = false;
}

void Browse::home() {
  if (!shown_.empty()) col_pos_ = shown_.front().col;
  pan_ = false;
  placed_ = false;
  stable_ = false;
}

void Browse::end() {
  if (!shown_.empty()) col_pos_ = shown_.back().col;
  pan_ = false;
  placed_ = false;
  stable_ = false;
}

void Browse::pan_left() {
  if (left_visible_ > freeze_) --left_visible_;
  pan_ = true;
  placed_ = false;
  stable_ = false;
}

void Browse::pan_right() {
  if (right_visible_ + 1 < static_cast<int>(cols_.size())) ++left_visible_;
  pan_ = true;
  placed_ = false;
  stable_ = false;
}

void Browse::pan_home() {
  left_visible_ = freeze_;
  col_pos_ = 0;
  pan_ = false;
  placed_ = false;
  stable_ = false;
}

void Browse::pan_end() {
  col_pos_ = std::max(0, static_cast<int>(cols_.size()) - 1);
  pan_ = false;
  placed_ = false;
  stable_ = false;
}

long Browse::skip(eval::Runtime& rt, long n) {
  if (n == 0 || !skip_block.is_block()) return 0;
  Value r = ui::call(rt, skip_block, {Value::integer(n)});
  long moved = r.is_number() ? static_cast<long>(r.as_int()) : 0;
  // A callback that claims more than was asked is taken at its word only as far as asked.
  return n > 0 ? std::clamp(moved, 0L, n) : std::clamp(moved, n, 0L);
}

const std::string& Browse::sep_of(const BrowseColumn& c) const {
  return c.has_col_sep ? c.col_sep : col_sep;
}
const std::string& Browse::head_sep_of(const BrowseColumn& c) const {
  return c.has_head_sep ? c.head_sep : head_sep;
}
const std::string& Browse::foot_sep_of(const BrowseColumn& c) const {
  return c.has_foot_sep ? c.foot_sep : foot_sep;
}

sc::Attr Browse::colour(eval::Runtime& rt, int n) const {
  sc::Screen& scr = sc::screen_of(rt);
  if (n < 1) n = 1;
  if (!colour_spec.empty()) {
    std::vector<std::string> parts = split(colour_spec, ',');
    if (n <= static_cast<int>(parts.size())) {
      const std::string& p = parts[static_cast<size_t>(n - 1)];
      if (p.find_first_not_of(' ') != std::string::npos) return sc::parse_colour(p);
    }
    if (n > 2) return colour(rt, 1);
  }
  if (n <= sc::kColourSlots) return scr.colour(static_cast<sc::ColourSlot>(n - 1));
  return scr.colour(sc::kStandard);
}

void Browse::layout(eval::Runtime& rt) {
  widths_.clear();
  head_rows_ = foot_rows_ = 0;
  head_line_ = !head_sep.empty();
  foot_line_ = !foot_sep.empty();
  for (const auto& c : cols_) {
    int w = c->width;
    if (w < 0) {
      w = 0;
      for (const std::string& l : split(c->heading, ';'))
        w = std::max(w, static_cast<int>(l.size()));
      for (const std::string& l : split(c->footing, ';'))
        w = std::max(w, static_cast<int>(l.size()));
      w = std::max(w,
                   static_cast<int>(display_text(rt, ui::call(rt, c->block), c->picture).size()));
    }
    widths_.push_back(w);
    head_rows_ = std::max(head_rows_, lines_of(c->heading));
    foot_rows_ = std::max(foot_rows_, lines_of(c->footing));
    head_line_ = head_line_ || !head_sep_of(*c).empty();
    foot_line_ = foot_line_ || !foot_sep_of(*c).empty();
  }
  int height = area_.bottom - area_.top + 1;
  data_top_ = area_.top + head_rows_ + (head_line_ ? 1 : 0);
  rows_ =
      std::max(0, height - head_rows_ - foot_rows_ - (head_line_ ? 1 : 0) - (foot_line_ ? 1 : 0));
  valid_.assign(static_cast<size_t>(rows_), false);
  data_rows_ = rows_;
  if (row_pos_ >= rows_) row_pos_ = std::max(0, rows_ - 1);
  configured_ = true;
  placed_ = false;
}

void Browse::place() {
  const int n = static_cast<int>(cols_.size());
  shown_.clear();
  placed_ = true;
  if (n == 0) return;
  freeze_ = std::min(freeze_, n);
  col_pos_ = std::clamp(col_pos_, 0, n - 1);
  left_visible_ = std::clamp(left_visible_, freeze_, std::max(freeze_, n - 1));
  auto build = [&](int lv) {
    shown_.clear();
    int x = area_.left;
    auto add = [&](int c) {
      bool first = shown_.empty();
      int sepw = first ? 0 : static_cast<int>(sep_of(*cols_[c]).size());
      int w = widths_[c];
      if (!first && x + sepw + w - 1 > area_.right) return false;
      shown_.push_back({c, x + sepw, first ? -1 : x});
      x += sepw + w;
      return true;
    };
    for (int c = 0; c < freeze_; ++c)
      if (!add(c)) return;
    for (int c = lv; c < n; ++c)
      if (!add(c)) return;
  };
  auto visible = [&](int c) {
    return std::any_of(shown_.begin(), shown_.end(), [c](const Shown& s) { return s.col == c; });
  };
  if (pan_) {
    build(left_visible_);
    if (!visible(col_pos_)) {
      // The cursor follows the view: the nearest scrolling column shown.
      int lo = n, hi = -1;
      for (const Shown& s : shown_)
        if (s.col >= freeze_) lo = std::min(lo, s.col), hi = std::max(hi, s.col);
      if (hi >= 0) col_pos_ = col_pos_ < lo ? lo : hi;
    }
  } else {
    if (col_pos_ >= freeze_ && col_pos_ < left_visible_) left_visible_ = col_pos_;
    build(left_visible_);
    while (col_pos_ >= freeze_ && !visible(col_pos_) && left_visible_ < col_pos_)
      build(++left_visible_);
  }
  pan_ = false;
  right_visible_ = left_visible_ - 1;
  for (const Shown& s : shown_)
    if (s.col >= freeze_) right_visible_ = std::max(right_visible_, s.col);
}

int Browse::cell_col() const {
  for (const Shown& s : shown_)
    if (s.col == col_pos_) return s.x;
  return area_.left;
}

void Browse::draw_frame_rows(eval::Runtime& rt) {
  sc::Screen& scr = sc::screen_of(rt);
  const sc::Attr base = colour(rt, 1);
  auto cut = [&](int x, const std::string& s) {
    return s.substr(0, static_cast<size_t>(std::max(0, area_.right - x + 1)));
  };
  auto text_rows = [&](int top, int count, bool heading) {
    for (int k = 0; k < count; ++k) {
      int y = top + k;
      scr.fill(sc::Rect{y, area_.left, y, area_.right}, ' ', base);
      for (const Shown& s : shown_) {
        const BrowseColumn& c = *cols_[s.col];
        if (s.sep_x >= 0) scr.write(y, s.sep_x, cut(s.sep_x, sep_of(c)), base);
        std::vector<std::string> lines = split(heading ? c.heading : c.footing, ';');
        // Footings stand on the last rows, headings on the first.
        int idx = heading ? k : k - (count - static_cast<int>(lines.size()));
        std::string line = idx >= 0 && idx < static_cast<int>(lines.size()) ? lines[idx] : "";
        size_t ci = heading ? 2 : 3;
        int cn = c.def_colour.size() > ci ? c.def_colour[ci]
                 : c.def_colour.empty()   ? 1
                                          : c.def_colour[0];
        scr.write(y, s.x, cut(s.x, fit(line, std::min(widths_[s.col], area_.right - s.x + 1))),
                  colour(rt, cn));
      }
    }
  };
  auto sep_row = [&](int y, bool heading) {
    char fill_ch = ' ';
    scr.fill(sc::Rect{y, area_.left, y, area_.right}, ' ', base);
    int end_x = area_.left;
    for (const Shown& s : shown_) {
      const std::string& hs = heading ? head_sep_of(*cols_[s.col]) : foot_sep_of(*cols_[s.col]);
      fill_ch = hs.empty() ? ' ' : hs.back();
      int w = std::min(widths_[s.col], area_.right - s.x + 1);
      if (w > 0) scr.fill(sc::Rect{y, s.x, y, s.x + w - 1}, static_cast<uint8_t>(fill_ch), base);
      if (s.sep_x >= 0) scr.write(y, s.sep_x, cut(s.sep_x, hs), base);
      end_x = s.x + w;
    }
    if (end_x <= area_.right)
      scr.fill(sc::Rect{y, end_x, y, area_.right}, static_cast<uint8_t>(fill_ch), base);
  };
  text_rows(area_.top, head_rows_, true);
  if (head_line_) sep_row(area_.top + head_rows_, true);
  int foot_top = data_top_ + rows_;
  if (foot_line_) sep_row(foot_top++, false);
  text_rows(foot_top, foot_rows_, false);
}

void Browse::draw_row(eval::Runtime& rt, int r, bool with_data) {
  sc::Screen& scr = sc::screen_of(rt);
  const sc::Attr base = colour(rt, 1);
  const int y = data_top_ + r;
  scr.fill(sc::Rect{y, area_.left, y, area_.right}, ' ', base);
  for (const Shown& s : shown_) {
    const BrowseColumn& c = *cols_[s.col];
    if (s.sep_x >= 0) {
      std::string sep =
          sep_of(c).substr(0, static_cast<size_t>(std::max(0, area_.right - s.sep_x + 1)));
      scr.write(y, s.sep_x, sep, base);
    }
    int w = std::min(widths_[s.col], area_.right - s.x + 1);
    if (w <= 0) continue;
    std::vector<int> cn = c.def_colour;
    std::string text(static_cast<size_t>(w), ' ');
    if (with_data) {
      Value v = ui::call(rt, c.block);
      std::string t = display_text(rt, v, c.picture);
      if (v.is_number() && static_cast<int>(t.size()) < w)
        t.insert(0, static_cast<size_t>(w) - t.size(), ' ');
      text = fit(t, w);
      if (c.colour_block.is_block()) {
        std::vector<int> got = numbers_of(ui::call(rt, c.colour_block, {v}));
        for (size_t i = 0; i < got.size() && i < 2; ++i) {
          if (cn.size() <= i) cn.resize(i + 1, 1);
          cn[i] = got[i];
        }
      }
    }
    bool hi = auto_lite && with_data && r == row_pos_ && s.col == col_pos_;
    int n = hi ? (cn.size() > 1 ? cn[1] : 2) : (cn.empty() ? 1 : cn[0]);
    scr.write(y, s.x, text, colour(rt, n));
  }
}

bool Browse::stabilize(eval::Runtime& rt) {
  if (stable_) return true;
  if (!configured_) layout(rt);
  if (!placed_) {
    place();
    draw_frame_rows(rt);
    invalidate_rows();
  }
  if (rows_ == 0) {
    stable_ = true;
    return true;
  }
  if (refresh_all_) {
    row_pos_ = std::clamp(row_pos_, 0, rows_ - 1);
    long back = skip(rt, -row_pos_);
    row_pos_ = static_cast<int>(-back);
    data_row_ = 0;
    data_rows_ = rows_;
    invalidate_rows();
    refresh_all_ = false;
    return false;
  }
  if (pending_ != 0) {
    data_row_ += static_cast<int>(skip(rt, row_pos_ - data_row_));
    long n = pending_;
    pending_ = 0;
    long moved = skip(rt, n);
    if (moved == 0) {
      (n > 0 ? hit_bottom_ : hit_top_) = true;
      return false;
    }
    const int old = row_pos_;
    if (std::labs(n) > 1 && moved == n) {
      // A whole page: the cursor keeps its row, every row is read again.
      refresh_all_ = true;
      return false;
    }
    long nr = row_pos_ + moved;
    sc::Screen& scr = sc::screen_of(rt);
    const sc::Rect data{data_top_, area_.left, data_top_ + rows_ - 1, area_.right};
    if (nr >= 0 && nr < rows_) {
      valid_[old] = false;
      row_pos_ = static_cast<int>(nr);
    } else if (nr >= rows_) {
      int shift = static_cast<int>(nr - (rows_ - 1));
      row_pos_ = rows_ - 1;
      if (shift >= rows_) {
        refresh_all_ = true;
        return false;
      }
      scr.scroll(data, shift, 0, colour(rt, 1));
      std::rotate(valid_.begin(), valid_.begin() + shift, valid_.end());
      std::fill(valid_.end() - shift, valid_.end(), false);
      if (old - shift >= 0) valid_[old - shift] = false;
    } else {
      int shift = static_cast<int>(-nr);
      row_pos_ = 0;
      if (shift >= rows_) {
        refresh_all_ = true;
        return false;
      }
      scr.scroll(data, -shift, 0, colour(rt, 1));
      std::rotate(valid_.rbegin(), valid_.rbegin() + shift, valid_.rend());
      std::fill(valid_.begin(), valid_.begin() + shift, false);
      if (old + shift < rows_) valid_[old + shift] = false;
      data_rows_ = std::min(rows_, data_rows_ + shift);
    }
    data_row_ = row_pos_;
    valid_[row_pos_] = false;
    return false;
  }
  for (int r = 0; r < rows_; ++r) {
    if (valid_[r]) continue;
    valid_[r] = true;
    if (r >= data_rows_) {
      draw_row(rt, r, false);
      return false;
    }
    data_row_ += static_cast<int>(skip(rt, r - data_row_));
    if (data_row_ != r) {
      if (data_row_ < r) data_rows_ = data_row_ + 1;
      draw_row(rt, r, false);
      return false;
    }
    draw_row(rt, r, true);
    return false;
  }
  data_row_ += static_cast<int>(skip(rt, row_pos_ - data_row_));
  sc::screen_of(rt).set_pos(cell_row(), cell_col());
  stable_ = true;
  return true;
}

bool Browse::stabilize_until_key(eval::Runtime& rt) {
  sc::Keyboard& kb = sc::keyboard_of(rt);
  while (!stabilize(rt)) {
    if (kb.pending() > 0) return false;
  }
  return true;
}

void Browse::force_stable(eval::Runtime& rt) {
  while (!stabilize(rt)) {
  }
}

bool Browse::apply_key(eval::Runtime& rt, int key) {
  switch (key) {
    case sc::kKeyDown:
      down();
      break;
    case sc::kKeyUp:
      up();
      break;
    case sc::kKeyPgDn:
      page_down();
      break;
    case sc::kKeyPgUp:
      page_up();
      break;
    case sc::kKeyCtrlPgUp:
      go_top(rt);
      break;
    case sc::kKeyCtrlPgDn:
      go_bottom(rt);
      break;
    case sc::kKeyRight:
      right();
      break;
    case sc::kKeyLeft:
      left();
      break;
    case sc::kKeyHome:
      home();
      break;
    case sc::kKeyEnd:
      end();
      break;
    case sc::kKeyCtrlLeft:
      pan_left();
      break;
    case sc::kKeyCtrlRight:
      pan_right();
      break;
    case sc::kKeyCtrlHome:
      pan_home();
      break;
    case sc::kKeyCtrlEnd:
      pan_end();
      break;
    default:
      return false;
  }
  return true;
}

Value Browse::get(eval::Runtime& rt, std::string_view n) {
  std::string m = eval::upper_name(n);
  if (m == "NTOP") return Value::integer(area_.top);
  if (m == "NLEFT") return Value::integer(area_.left);
  if (m == "NBOTTOM") return Value::integer(area_.bottom);
  if (m == "NRIGHT") return Value::integer(area_.right);
  if (m == "COLORSPEC") return Value::string(colour_spec);
  if (m == "COLSEP") return Value::string(col_sep);
  if (m == "HEADSEP") return Value::string(head_sep);
  if (m == "FOOTSEP") return Value::string(foot_sep);
  if (m == "FREEZE") return Value::integer(freeze_);
  if (m == "LEFTVISIBLE") return Value::integer(left_visible());
  if (m == "RIGHTVISIBLE") return Value::integer(right_visible());
  if (m == "COLPOS") return Value::integer(col_pos());
  if (m == "ROWPOS") return Value::integer(row_pos());
  if (m == "ROWCOUNT") return Value::integer(rows_);
  if (m == "COLCOUNT") return Value::integer(static_cast<int64_t>(cols_.size()));
  if (m == "HITTOP") return Value::logical(hit_top_);
  if (m == "HITBOTTOM") return Value::logical(hit_bottom_);
  if (m == "STABLE") return Value::logical(stable_);
  if (m == "AUTOLITE") return Value::logical(auto_lite);
  if (m == "CARGO") return cargo;
  if (m == "GOTOPBLOCK") return go_top_block;
  if (m == "GOBOTTOMBLOCK") return go_bottom_block;
  if (m == "SKIPBLOCK") return skip_block;
  raise_no_method(rt, n);
  return {};
}

void Browse::set(eval::Runtime& rt, std::string_view n, const Value& v) {
  std::string m = eval::upper_name(n);
  auto num = [&](int fallback) { return v.is_number() ? static_cast<int>(v.as_int()) : fallback; };
  sc::Rect r = area_;
  if (m == "NTOP") {
    r.top = num(r.top);
    set_area(r);
  } else if (m == "NLEFT") {
    r.left = num(r.left);
    set_area(r);
  } else if (m == "NBOTTOM") {
    r.bottom = num(r.bottom);
    set_area(r);
  } else if (m == "NRIGHT") {
    r.right = num(r.right);
    set_area(r);
  } else if (m == "COLORSPEC") {
    colour_spec = text_of(v);
    configure();
  } else if (m == "COLSEP") {
    col_sep = text_of(v);
    configure();
  } else if (m == "HEADSEP") {
    head_sep = text_of(v);
    configure();
  } else if (m == "FOOTSEP") {
    foot_sep = text_of(v);
    configure();
  } else if (m == "FREEZE") {
    set_freeze(num(freeze_));
  } else if (m == "COLPOS") {
    set_col_pos(num(col_pos()));
  } else if (m == "ROWPOS") {
    set_row_pos(num(row_pos()));
  } else if (m == "AUTOLITE") {
    auto_lite = v.is_logical() ? v.as_logical() : auto_lite;
  } else if (m == "CARGO") {
    cargo = v;
  } else if (m == "GOTOPBLOCK") {
    go_top_block = v;
  } else if (m == "GOBOTTOMBLOCK") {
    go_bottom_block = v;
  } else if (m == "SKIPBLOCK") {
    skip_block = v;
  } else {
    raise_no_method(rt, n);
  }
}

Value Browse::call(eval::Runtime& rt, std::string_view n, eval::Args args) {
  std::string m = eval::upper_name(n);
  Value self = Value::object(shared_from_this());
  auto column_arg = [&](size_t i) -> std::shared_ptr<BrowseColumn> {
    return args[i].is_object() ? std::dynamic_pointer_cast<BrowseColumn>(args[i].as_object())
                               : nullptr;
  };
  int k = args[0].is_number() ? static_cast<int>(args[0].as_int()) : 0;
  if (m == "DOWN")
    down();
  else if (m == "UP")
    up();
  else if (m == "PAGEDOWN")
    page_down();
  else if (m == "PAGEUP")
    page_up();
  else if (m == "GOTOP")
    go_top(rt);
  else if (m == "GOBOTTOM")
    go_bottom(rt);
  else if (m == "LEFT")
    left();
  else if (m == "RIGHT")
    right();
  else if (m == "HOME")
    home();
  else if (m == "END")
    end();
  else if (m == "PANLEFT")
    pan_left();
  else if (m == "PANRIGHT")
    pan_right();
  else if (m == "PANHOME")
    pan_home();
  else if (m == "PANEND")
    pan_end();
  else if (m == "REFRESHALL")
    refresh_all();
  else if (m == "REFRESHCURRENT")
    refresh_current();
  else if (m == "CONFIGURE" || m == "INVALIDATE")
    configure();
  else if (m == "STABILIZE")
    return Value::logical(stabilize(rt));
  else if (m == "FORCESTABLE")
    force_stable(rt);
  else if (m == "APPLYKEY")
    return Value::logical(apply_key(rt, k));
  else if (m == "DEHILITE" || m == "HILITE")
    refresh_current();
  else if (m == "ADDCOLUMN") {
    if (auto c = column_arg(0)) add_column(c);
  } else if (m == "INSCOLUMN") {
    if (auto c = column_arg(1)) insert_column(k, c);
  } else if (m == "DELCOLUMN") {
    Value old =
        k >= 1 && k <= static_cast<int>(cols_.size()) ? Value::object(cols_[k - 1]) : Value();
    remove_column(k);
    return old;
  } else if (m == "GETCOLUMN") {
    return k >= 1 && k <= static_cast<int>(cols_.size()) ? Value::object(cols_[k - 1]) : Value();
  } else if (m == "SETCOLUMN") {
    if (auto c = column_arg(1); c && k >= 1 && k <= static_cast<int>(cols_.size())) {
      Value old = Value::object(cols_[k - 1]);
      cols_[k - 1] = c;
      configure();
      return old;
    }
    return {};
  } else {
    return get(rt, n);
  }
  return self;
}

}  // namespace kvel::ui
