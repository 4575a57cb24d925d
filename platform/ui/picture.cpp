#include "platform/ui/picture.h"

#include <cmath>
#include <cstdio>

#include "platform/ui/text.h"

namespace kvel::ui {

using eval::Value;

Picture parse_picture(std::string_view text) {
  Picture p;
  if (!text.empty() && text[0] == '@') {
    size_t i = 1;
    for (; i < text.size() && text[i] != ' '; ++i) {
      char f = static_cast<char>(upper(static_cast<unsigned char>(text[i])));
      if (f == 'S') {
        int n = 0;
        while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') {
          n = n * 10 + (text[++i] - '0');
          if (n > 100000) n = 100000;
        }
        p.scroll = n;
      }
      p.functions += f;
    }
    if (i < text.size()) p.templ = std::string(text.substr(i + 1));
  } else {
    p.templ = std::string(text);
  }
  return p;
}

namespace {

bool is_digit_place(char t) { return t == '9' || t == '#' || t == '$' || t == '*'; }

bool is_text_place(char t) {
  switch (t) {
    case '9':
    case '#':
    case 'A':
    case 'N':
    case 'X':
    case '!':
    case 'L':
    case 'Y':
      return true;
    default:
      return false;
  }
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

std::string date_template(const std::string& fmt) {
  std::string t;
  for (char c : fmt) {
    char u = static_cast<char>(upper(static_cast<unsigned char>(c)));
    t += (u == 'D' || u == 'M' || u == 'Y') ? '9' : c;
  }
  return t;
}

Value call_rtl(eval::Runtime& rt, const char* name, Value arg) {
  const eval::Function* f = rt.registry().find(name);
  if (!f) return {};
  Value a[1] = {std::move(arg)};
  return f->fn(rt, eval::Args(a, 1));
}

}  // namespace

std::string format_number(double v, int decimals, const Picture& pic) {
  const std::string& t = pic.templ;
  int int_places = 0, dec_places = 0;
  size_t point = t.find('.');
  for (size_t i = 0; i < t.size(); ++i) {
    if (!is_digit_place(t[i])) continue;
    if (point != std::string::npos && i > point) {
      ++dec_places;
    } else {
      ++int_places;
    }
  }
  if (point == std::string::npos) dec_places = 0;
  (void)decimals;
  bool negative = v < 0;
  double scale = std::pow(10.0, dec_places);
  // Half away from zero, after taking out the binary error of the last place.
  double a = std::fabs(v);
  double scaled = std::floor(a * scale + 0.5 + 1e-9 * std::max(1.0, a * scale));
  if (scaled == 0) negative = false;
  char digits[400];
  std::snprintf(digits, sizeof digits, "%.0f", scaled);
  std::string ds = digits;
  while (static_cast<int>(ds.size()) < dec_places + 1) ds.insert(ds.begin(), '0');
  std::string int_digits = ds.substr(0, ds.size() - dec_places);
  std::string dec_digits = ds.substr(ds.size() - dec_places);
  if (int_digits == "0" && int_places < static_cast<int>(t.size()) && dec_places > 0 &&
      int_places == 0)
    int_digits.clear();
  if (int_digits == "0" && int_places == 0) int_digits.clear();

  bool zero_blank = pic.has('Z') && scaled == 0;
  std::string out(t.size(), ' ');
  bool overflow =
      static_cast<int>(int_digits.size()) + (negative && !pic.has('(') ? 1 : 0) > int_places;
  // Decimals, left to right.
  size_t di = 0;
  for (size_t i = (point == std::string::npos ? t.size() : point + 1); i < t.size(); ++i) {
    out[i] = is_digit_place(t[i]) ? (di < dec_digits.size() ? dec_digits[di++] : '0') : t[i];
  }
  // Integer part, right to left; a comma shows only between digits.
  int k = static_cast<int>(int_digits.size()) - 1;
  int last_digit_at = -1;
  size_t end = point == std::string::npos ? t.size() : point;
  for (int i = static_cast<int>(end) - 1; i >= 0; --i) {
    char tc = t[i];
    if (is_digit_place(tc)) {
      if (k >= 0) {
        out[i] = int_digits[k--];
        last_digit_at = i;
      } else {
        out[i] = tc == '*' ? '*' : tc == '$' ? '$' : ' ';
      }
    } else if (tc == ',') {
      out[i] = k >= 0 ? ',' : ' ';
    } else {
      out[i] = tc;
    }
  }
  if (point != std::string::npos) out[point] = '.';
  if (negative && !pic.has('(') && !overflow) {
    int at = last_digit_at < 0 ? static_cast<int>(end) : last_digit_at;
    for (int i = at - 1; i >= 0; --i) {
      if (is_digit_place(t[i]) || t[i] == ',') {
        out[i] = '-';
        break;
      }
    }
  }
  if (overflow) {
    for (size_t i = 0; i < t.size(); ++i) {
      if (is_digit_place(t[i]) || t[i] == ',') out[i] = '*';
    }
    return out;
  }
  if (zero_blank) return std::string(t.size(), ' ');
  if (pic.has('E')) {
    for (char& c : out) c = c == '.' ? ',' : c == ',' ? '.' : c;
  }
  if (negative && pic.has('(')) {
    size_t first = out.find_first_not_of(' ');
    if (first != std::string::npos && first > 0) {
      out[first - 1] = '(';
    } else {
      out.insert(out.begin(), '(');
    }
    out += ')';
  }
  if (pic.has('B')) {
    size_t first = out.find_first_not_of(' ');
    if (first != std::string::npos) out = out.substr(first) + std::string(first, ' ');
  }
  if (pic.has('X') && negative) out += " DB";
  if (pic.has('C') && !negative && scaled != 0) out += " CR";
  return out;
}

std::string display_text(eval::Runtime& rt, const Value& v, std::string_view picture) {
  if (v.is_nil()) return {};
  if (!picture.empty()) {
    Value pic = Value::string(picture);
    if (const eval::Function* f = rt.registry().find("TRANSFORM")) {
      Value a[2] = {v, pic};
      Value r = f->fn(rt, eval::Args(a, 2));
      if (r.is_string()) return r.as_string();
    }
  }
  EditBuffer b(rt, v, picture);
  if (b.type() == 'N') {
    Picture p = parse_picture(picture);
    p.templ = b.templ();
    std::string s = format_number(v.is_number() ? v.as_double() : 0, b.decimals(), p);
    return p.scroll > 0 ? s.substr(0, static_cast<size_t>(p.scroll)) : s;
  }
  return b.shown();
}

EditBuffer::EditBuffer(eval::Runtime& rt, const Value& value, std::string_view picture)
    : rt_(rt), pic_(parse_picture(picture)) {
  reset(value);
}

void EditBuffer::reset(const Value& value) {
  original_ = value;
  switch (value.type()) {
    case eval::Type::Number:
      type_ = 'N';
      break;
    case eval::Type::Date:
      type_ = 'D';
      break;
    case eval::Type::Logical:
      type_ = 'L';
      break;
    default:
      type_ = 'C';
      break;
  }
  templ_ = pic_.templ;
  tail_.clear();
  if (type_ == 'N') {
    width_ = value.width();
    decimals_ = value.decimals();
    if (templ_.empty()) {
      int w = width_ > 0 ? width_ : 10;
      int ints = decimals_ > 0 ? w - decimals_ - 1 : w;
      if (ints < 1) ints = 1;
      templ_ = std::string(ints, '9');
      if (decimals_ > 0) templ_ += "." + std::string(decimals_, '9');
    }
    size_t p = templ_.find('.');
    dec_pos_ = p == std::string::npos ? -1 : static_cast<int>(p);
  } else if (type_ == 'D') {
    if (templ_.empty()) templ_ = date_template(rt_.settings().date_format);
    dec_pos_ = -1;
  } else if (type_ == 'L') {
    if (templ_.empty()) templ_ = "L";
    dec_pos_ = -1;
  } else {
    const std::string s = value.is_string() ? value.as_string() : std::string();
    size_t places = 0;
    for (char c : templ_) places += is_text_place(c) ? 1 : 0;
    if (templ_.empty()) {
      templ_ = std::string(s.size(), pic_.has('!') ? '!' : 'X');
      places = s.size();
    }
    size_t taken = pic_.has('R') ? places : templ_.size();
    if (s.size() > taken) tail_ = s.substr(taken);
    dec_pos_ = -1;
  }
  buf_ = format(value);
  if (buf_.size() < templ_.size()) buf_.resize(templ_.size(), ' ');
  // @Z: a zero is edited from a blank field, as it is shown.
  blank_ = type_ == 'N' && pic_.has('Z') && value.is_number() && value.as_double() == 0;
  if (blank_) buf_.assign(buf_.size(), ' ');
  pos_ = first_editable();
  offset_ = 0;
  minus_ = false;
  clear_ = type_ == 'N' || pic_.has('K');
  changed_ = rejected_ = type_out_ = false;
  adjust_offset();
}

std::string EditBuffer::format(const Value& v) const {
  std::string out;
  if (type_ == 'N') return number_text(v.is_number() ? v.as_double() : 0);
  if (type_ == 'D') {
    Value s = call_rtl(rt_, "DTOC", v);
    std::string d = s.is_string() ? s.as_string() : std::string();
    out = templ_;
    size_t k = 0;
    for (size_t i = 0; i < templ_.size(); ++i) {
      if (templ_[i] == '9') out[i] = k < d.size() ? d[k] : ' ';
      if (k < d.size()) ++k;
    }
    return out;
  }
  if (type_ == 'L') {
    bool b = v.is_logical() && v.as_logical();
    char t = templ_.empty() ? 'L' : templ_[0];
    out = templ_;
    out[0] = t == 'Y' ? (b ? 'Y' : 'N') : (b ? 'T' : 'F');
    return out;
  }
  const std::string s = v.is_string() ? v.as_string() : std::string();
  out = templ_;
  bool r = pic_.has('R');
  size_t k = 0;
  for (size_t i = 0; i < templ_.size(); ++i) {
    if (is_text_place(templ_[i])) {
      unsigned char c = k < s.size() ? static_cast<unsigned char>(s[k]) : ' ';
      ++k;
      if (templ_[i] == '!' || pic_.has('!')) c = upper(c);
      out[i] = static_cast<char>(c);
    } else if (!r) {
      ++k;  // a literal takes the place of the value's character
    }
  }
  return out;
}

std::string EditBuffer::number_text(double v) const {
  // The number is edited plain: its minus sign and the template's literals,
  // never @( parentheses or " CR"/" DB"; @E swaps point and comma.
  Picture plain;
  plain.templ = templ_;
  std::string s = format_number(v, decimals_, plain);
  if (pic_.has('E')) {
    for (char& c : s) c = c == '.' ? ',' : c == ',' ? '.' : c;
  }
  return s;
}

void EditBuffer::show_literals() {
  // The template's literals come back into a field blanked by @Z once it is
  // edited (thousands separators stay blank until the number is aligned).
  if (!blank_) return;
  blank_ = false;
  for (int i = 0; i < static_cast<int>(buf_.size()) && i < static_cast<int>(templ_.size()); ++i) {
    if (editable(i)) continue;
    char t = templ_[i];
    if (t == ',') t = ' ';
    if (i == dec_pos_ && pic_.has('E')) t = ',';
    buf_[i] = t;
  }
}

bool EditBuffer::editable(int p) const {
  if (p < 0 || p >= static_cast<int>(templ_.size())) return false;
  char t = templ_[p];
  if (type_ == 'N') return is_digit_place(t);
  if (type_ == 'D') return t == '9';
  if (type_ == 'L') return p == 0;
  return is_text_place(t);
}

int EditBuffer::first_editable() const { return next_editable(-1) < 0 ? 0 : next_editable(-1); }

int EditBuffer::last_editable() const {
  int p = prev_editable(static_cast<int>(templ_.size()));
  return p < 0 ? 0 : p;
}

int EditBuffer::next_editable(int p) const {
  for (int i = p + 1; i < static_cast<int>(templ_.size()); ++i)
    if (editable(i)) return i;
  return -1;
}

int EditBuffer::prev_editable(int p) const {
  for (int i = p - 1; i >= 0; --i)
    if (editable(i)) return i;
  return -1;
}

void EditBuffer::set_pos(int p) {
  if (editable(p)) {
    pos_ = p;
  } else {
    int n = next_editable(p);
    pos_ = n >= 0 ? n : last_editable();
  }
  type_out_ = false;
  adjust_offset();
}

int EditBuffer::shown_width() const {
  int w = static_cast<int>(buf_.size());
  return pic_.scroll > 0 && pic_.scroll < w ? pic_.scroll : w;
}

std::string EditBuffer::shown() const { return buf_.substr(offset_, shown_width()); }

void EditBuffer::adjust_offset() {
  int w = shown_width();
  if (pos_ < offset_) offset_ = pos_;
  if (pos_ >= offset_ + w) offset_ = pos_ - w + 1;
  int max_off = static_cast<int>(buf_.size()) - w;
  if (offset_ > max_off) offset_ = max_off < 0 ? 0 : max_off;
}

bool EditBuffer::accepts(int p, unsigned char& c) const {
  char t = templ_[p];
  if (type_ == 'N' || type_ == 'D') {
    if (is_digit(c)) return true;
    return type_ == 'N' && (c == '-' || c == '+' || c == ' ');
  }
  if (type_ == 'L' || t == 'L' || t == 'Y') {
    c = upper(c);
    if (t == 'Y') return c == 'Y' || c == 'N';
    return c == 'T' || c == 'F' || c == 'Y' || c == 'N';
  }
  switch (t) {
    case '9':
      return is_digit(c) || c == '-' || c == '+';
    case '#':
      return is_digit(c) || c == '-' || c == '+' || c == ' ';
    case 'A':
      if (!is_alpha(c)) return false;
      break;
    case 'N':
      if (!is_alpha(c) && !is_digit(c)) return false;
      break;
    case '!':
      c = upper(c);
      break;
    default:
      break;
  }
  if (pic_.has('!')) c = upper(c);
  return true;
}

void EditBuffer::clear_text() {
  for (int i = 0; i < static_cast<int>(buf_.size()); ++i)
    if (editable(i)) buf_[i] = ' ';
  minus_ = false;
}

void EditBuffer::put(unsigned char c, bool insert) {
  rejected_ = false;
  if (templ_.empty() || type_out_) {
    rejected_ = true;
    return;
  }
  if (!accepts(pos_, c)) {
    rejected_ = true;
    return;
  }
  show_literals();
  if (clear_) {
    clear_text();
    clear_ = false;
    if (type_ == 'N') pos_ = first_editable();
  }
  if (insert) {
    int last = part_end(pos_);
    for (int i = last; i > pos_; i = prev_editable(i)) buf_[i] = buf_[prev_editable(i)];
  }
  if (type_ == 'L') {
    buf_[0] = static_cast<char>(c);
  } else {
    buf_[pos_] = static_cast<char>(c);
  }
  changed_ = true;
  int n = next_editable(pos_);
  if (n < 0) {
    type_out_ = true;
  } else {
    pos_ = n;
  }
  adjust_offset();
}

void EditBuffer::left() {
  clear_ = false;
  type_out_ = false;
  int p = prev_editable(pos_);
  if (p >= 0) pos_ = p;
  adjust_offset();
}

void EditBuffer::right() {
  clear_ = false;
  int n = next_editable(pos_);
  if (n >= 0) pos_ = n;
  adjust_offset();
}

void EditBuffer::home() {
  clear_ = false;
  type_out_ = false;
  pos_ = first_editable();
  adjust_offset();
}

void EditBuffer::end() {
  clear_ = false;
  type_out_ = false;
  // The place after the last non-blank, as far as the buffer goes.
  int last = -1;
  for (int i = 0; i < static_cast<int>(buf_.size()); ++i)
    if (editable(i) && buf_[i] != ' ') last = i;
  int n = last < 0 ? first_editable() : next_editable(last);
  pos_ = n < 0 ? last_editable() : n;
  adjust_offset();
}

void EditBuffer::word_left() {
  clear_ = false;
  type_out_ = false;
  int p = prev_editable(pos_);
  while (p >= 0 && buf_[p] == ' ') p = prev_editable(p);
  while (p >= 0) {
    int q = prev_editable(p);
    if (q < 0 || buf_[q] == ' ') break;
    p = q;
  }
  pos_ = p < 0 ? first_editable() : p;
  adjust_offset();
}

void EditBuffer::word_right() {
  clear_ = false;
  int p = pos_;
  while (p >= 0 && buf_[p] != ' ') p = next_editable(p);
  while (p >= 0 && buf_[p] == ' ') p = next_editable(p);
  pos_ = p < 0 ? last_editable() : p;
  adjust_offset();
}

int EditBuffer::part_end(int p) const {
  if (type_ == 'N' && dec_pos_ >= 0 && p < dec_pos_) {
    int e = prev_editable(dec_pos_);
    if (e >= p) return e;
  }
  return last_editable();
}

void EditBuffer::del() {
  clear_ = false;
  if (!editable(pos_)) return;
  int i = pos_;
  const int end = part_end(pos_);
  for (int n = next_editable(i); n >= 0 && n <= end; i = n, n = next_editable(n)) buf_[i] = buf_[n];
  buf_[i] = ' ';
  changed_ = true;
}

void EditBuffer::backspace() {
  clear_ = false;
  if (type_out_) {
    type_out_ = false;
  } else {
    int p = prev_editable(pos_);
    if (p < 0) return;
    pos_ = p;
  }
  del();
  adjust_offset();
}

void EditBuffer::del_end() {
  clear_ = false;
  for (int i = pos_; i < static_cast<int>(buf_.size()); ++i)
    if (editable(i)) buf_[i] = ' ';
  changed_ = true;
}

void EditBuffer::del_word_right() {
  clear_ = false;
  while (editable(pos_) && buf_[pos_] != ' ') del();
  while (editable(pos_) && buf_[pos_] == ' ') {
    bool rest_blank = true;
    for (int i = pos_; i >= 0; i = next_editable(i)) rest_blank = rest_blank && buf_[i] == ' ';
    if (rest_blank) break;
    del();
  }
  changed_ = true;
}

void EditBuffer::to_dec_pos() {
  if (type_ != 'N' || dec_pos_ < 0) return;
  if (clear_) {
    clear_text();
    clear_ = false;
  }
  bool neg = minus();
  Value v = value();
  blank_ = false;
  buf_ = number_text(v.as_double());
  minus_ = false;
  if (neg && v.as_double() == 0) {
    // "-" typed before any digit: keep showing it while the number is empty
    // (a template without integer places keeps it unseen).
    int p = prev_editable(dec_pos_);
    if (p >= 0) {
      buf_[p] = '-';
    } else {
      minus_ = true;
    }
  }
  int n = next_editable(dec_pos_);
  if (n >= 0) pos_ = n;
  type_out_ = false;
  changed_ = true;
  adjust_offset();
}

bool EditBuffer::minus() const {
  if (type_ != 'N') return false;
  if (minus_) return true;
  // The sign is what the buffer shows: a "-" typed over or deleted is gone.
  for (int i = 0; i < static_cast<int>(buf_.size()); ++i)
    if (buf_[i] == '-' && editable(i)) return true;
  return false;
}

void EditBuffer::undo() {
  Value o = original_;
  reset(o);
}

bool EditBuffer::bad_date() {
  if (type_ != 'D') return false;
  bool any = false;
  for (int i = 0; i < static_cast<int>(buf_.size()); ++i)
    if (editable(i) && buf_[i] != ' ') any = true;
  if (!any) return false;
  Value d = call_rtl(rt_, "CTOD", Value::string(buf_));
  return !d.is_date() || d.as_date() == 0;
}

Value EditBuffer::value() {
  if (type_ == 'N') {
    double ip = 0, fp = 0, scale = 1;
    const bool neg = minus();
    for (int i = 0; i < static_cast<int>(buf_.size()); ++i) {
      unsigned char c = static_cast<unsigned char>(buf_[i]);
      if (!is_digit(c) || !editable(i)) continue;
      if (dec_pos_ >= 0 && i > dec_pos_) {
        scale /= 10;
        fp += (c - '0') * scale;
      } else {
        ip = ip * 10 + (c - '0');
      }
    }
    double d = ip + fp;
    if (neg) d = -d;
    int dec = 0;
    if (dec_pos_ >= 0) {
      for (int i = dec_pos_ + 1; i < static_cast<int>(templ_.size()); ++i)
        dec += is_digit_place(templ_[i]) ? 1 : 0;
    }
    if (!pic_.templ.empty() || dec != decimals_) {
      // A picture decides the decimals; the width stays the variable's.
      if (dec == 0 && original_.is_integer())
        return Value::integer(static_cast<int64_t>(d), width_);
      return Value::number(d, width_, dec);
    }
    if (decimals_ == 0 && original_.is_integer()) {
      return Value::integer(static_cast<int64_t>(d), width_);
    }
    return Value::number(d, width_, decimals_);
  }
  if (type_ == 'D') {
    if (bad_date()) return Value::date(0);
    bool any = false;
    for (int i = 0; i < static_cast<int>(buf_.size()); ++i)
      if (editable(i) && buf_[i] != ' ') any = true;
    if (!any) return Value::date(0);
    Value d = call_rtl(rt_, "CTOD", Value::string(buf_));
    return d.is_date() ? d : Value::date(0);
  }
  if (type_ == 'L') {
    unsigned char c = upper(static_cast<unsigned char>(buf_.empty() ? 'F' : buf_[0]));
    return Value::logical(c == 'T' || c == 'Y');
  }
  std::string s;
  if (pic_.has('R')) {
    for (int i = 0; i < static_cast<int>(buf_.size()); ++i)
      if (editable(i)) s += buf_[i];
  } else {
    s = buf_;
  }
  s += tail_;
  return original_.is_memo() ? Value::memo(std::move(s)) : Value::string(std::move(s));
}

}  // namespace kvel::ui
