// SUBSTR LEFT RIGHT TRIM RTRIM LTRIM ALLTRIM UPPER LOWER PADL PADR PADC SPACE
// REPLICATE AT RAT STRTRAN STUFF LEN ASC CHR ISALPHA ISDIGIT ISUPPER ISLOWER
// MEMOLINE MLCOUNT MEMOTRAN HARDCR DESCEND.
#include "platform/rtl/strings.h"

#include <algorithm>

#include "platform/eval/runtime.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/dates.h"
#include "platform/rtl/numbers.h"
#include "platform/rtl/rtl.h"
#include "platform/rtl/support.h"

namespace kvel::rtl {

using eval::Args;
using eval::Runtime;
using eval::Value;

namespace {

constexpr uint8_t kSoftCr = 0x8D;

struct LineSpan {
  size_t begin = 0, end = 0, next = 0;
};

bool soft_break_at(std::string_view s, size_t i) {
  return static_cast<uint8_t>(s[i]) == kSoftCr && i + 1 < s.size() && s[i + 1] == '\n';
}

// The line that starts at pos. Pre: pos < s.size().
LineSpan next_line(std::string_view s, size_t pos, const MemoLayout& lay) {
  size_t n = s.size(), i = pos, space = std::string_view::npos;
  int col = 0;
  while (i < n) {
    char c = s[i];
    if (c == '\r' && i + 1 < n && s[i + 1] == '\n') return {pos, i, i + 2};
    if (c == '\n') return {pos, i, i + 1};
    if (soft_break_at(s, i)) {
      i += 2;
      continue;
    }
    int w = c == '\t' ? lay.tab - col % lay.tab : 1;
    if (col + w > lay.width) {
      if (i == pos) return {pos, i + 1, i + 1};  // one character wider than the line
      if (c == ' ') return {pos, i, i + 1};
      if (lay.wrap && space != std::string_view::npos && space > pos)
        return {pos, space, space + 1};
      return {pos, i, i};
    }
    if (c == ' ') space = i;
    col += w;
    ++i;
  }
  return {pos, n, n};
}

MemoLayout sane(MemoLayout lay) {
  lay.width = std::clamp(lay.width, 1, 65535);
  lay.tab = std::clamp(lay.tab, 1, lay.width);
  return lay;
}

// The text PadL/PadR/PadC pad: numbers as Str() without leading blanks,
// dates as DToC(). Other values give an empty result.
std::string pad_source(Runtime& rt, const Value& v) {
  if (v.is_string()) return v.as_string();
  if (v.is_number()) {
    std::string t = str(v);
    return t.substr(std::min(t.find_first_not_of(' '), t.size()));
  }
  return dtoc(rt.settings(), v.as_date());
}

Value pad_fn(Runtime& rt, Args args, Pad where, std::string_view name) {
  const Value& v = args[0];
  if (!args[1].is_number() || !(v.is_string() || v.is_number() || v.is_date())) {
    return Value::string("");
  }
  int64_t n = to_int(args[1]);
  if (n <= 0) return Value::string("");
  Value sub;
  if (!text_fits(rt, n, name, args, &sub)) return sub;
  char fill = args[2].is_string() && !args[2].as_string().empty() ? args[2].as_string()[0] : ' ';
  return Value::string(pad(pad_source(rt, args[0]), static_cast<size_t>(n), fill, where));
}

Value padl(Runtime& rt, Args args) { return pad_fn(rt, args, Pad::Left, "PADL"); }
Value padr(Runtime& rt, Args args) { return pad_fn(rt, args, Pad::Right, "PADR"); }
Value padc(Runtime& rt, Args args) { return pad_fn(rt, args, Pad::Center, "PADC"); }

Value substr(Runtime& rt, Args args) {
  if (!args[0].is_string() || !args[1].is_number() || !(args[2].is_nil() || args[2].is_number())) {
    return arg_error(rt, 1110, "SUBSTR", args);
  }
  const std::string& s = args[0].as_string();
  int64_t n = static_cast<int64_t>(s.size());
  int64_t start = to_int(args[1]);
  if (start > 0) {
    --start;
  } else if (start < 0) {
    start = std::max<int64_t>(0, n + start);
  }
  if (start >= n) return Value::string("");
  int64_t count = args[2].is_number() ? to_int(args[2]) : n - start;
  if (count <= 0) return Value::string("");
  count = std::min(count, n - start);
  return Value::string(s.substr(static_cast<size_t>(start), static_cast<size_t>(count)));
}

Value left(Runtime& rt, Args args) {
  if (!args[0].is_string() || !args[1].is_number()) return arg_error(rt, 1124, "LEFT", args);
  int n = to_int(args[1]);
  if (n <= 0) return Value::string("");
  return Value::string(args[0].as_string().substr(0, static_cast<size_t>(n)));
}

Value right(Runtime& rt, Args args) {
  if (!args[0].is_string() || !args[1].is_number()) return arg_error(rt, 1124, "RIGHT", args);
  int n = to_int(args[1]);
  const std::string& s = args[0].as_string();
  if (n <= 0) return Value::string("");
  if (static_cast<size_t>(n) >= s.size()) return Value::string(s);
  return Value::string(s.substr(s.size() - static_cast<size_t>(n)));
}

// Trailing trim removes blanks (spaces) only; leading trim also tabs, CR and LF.
std::string_view rtrim_view(std::string_view s) {
  size_t e = s.find_last_not_of(' ');
  return e == std::string_view::npos ? std::string_view() : s.substr(0, e + 1);
}

std::string_view ltrim_view(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && cp866::is_blank(static_cast<uint8_t>(s[b]))) ++b;
  return s.substr(b);
}

Value trim(Runtime& rt, Args args) {
  if (!args[0].is_string()) return arg_error(rt, 1100, "TRIM", args);
  return Value::string(rtrim_view(args[0].as_string()));
}

Value rtrim(Runtime& rt, Args args) {
  if (!args[0].is_string()) return arg_error(rt, 1100, "RTRIM", args);
  return Value::string(rtrim_view(args[0].as_string()));
}

Value ltrim(Runtime& rt, Args args) {
  if (!args[0].is_string()) return arg_error(rt, 1101, "LTRIM", args);
  return Value::string(ltrim_view(args[0].as_string()));
}

Value alltrim(Runtime& rt, Args args) {
  if (!args[0].is_string()) return arg_error(rt, 2022, "ALLTRIM", args);
  return Value::string(ltrim_view(rtrim_view(args[0].as_string())));
}

Value upper(Runtime& rt, Args args) {
  if (!args[0].is_string()) return arg_error(rt, 1102, "UPPER", args);
  return Value::string(cp866::upper(args[0].as_string()));
}

Value lower(Runtime& rt, Args args) {
  if (!args[0].is_string()) return arg_error(rt, 1103, "LOWER", args);
  return Value::string(cp866::lower(args[0].as_string()));
}

Value space(Runtime& rt, Args args) {
  if (!args[0].is_number()) return arg_error(rt, 1105, "SPACE", args);
  int64_t n = to_int(args[0]);
  if (n <= 0) return Value::string("");
  Value sub;
  if (!text_fits(rt, n, "SPACE", args, &sub)) return sub;
  return Value::string(std::string(static_cast<size_t>(n), ' '));
}

Value replicate(Runtime& rt, Args args) {
  if (!args[0].is_string() || !args[1].is_number()) return arg_error(rt, 1106, "REPLICATE", args);
  const std::string& s = args[0].as_string();
  int64_t n = to_int(args[1]);
  if (n <= 0 || s.empty()) return Value::string("");
  Value sub;
  if (!text_fits(rt, n * static_cast<int64_t>(s.size()), "REPLICATE", args, &sub)) return sub;
  std::string r;
  r.reserve(static_cast<size_t>(n) * s.size());
  for (int64_t i = 0; i < n; ++i) r += s;
  return Value::string(std::move(r));
}

Value at(Runtime& rt, Args args) {
  if (!args[0].is_string() || !args[1].is_string()) return arg_error(rt, 1108, "AT", args);
  const std::string& needle = args[0].as_string();
  if (needle.empty()) return Value::integer(0);
  size_t p = args[1].as_string().find(needle);
  return Value::integer(p == std::string::npos ? 0 : static_cast<int64_t>(p) + 1);
}

Value rat(Runtime& rt, Args args) {
  if (!args[0].is_string() || !args[1].is_string()) return Value::integer(0);
  const std::string& needle = args[0].as_string();
  if (needle.empty()) return Value::integer(0);
  size_t p = args[1].as_string().rfind(needle);
  return Value::integer(p == std::string::npos ? 0 : static_cast<int64_t>(p) + 1);
}

// StrTran(text, find, [replace], [first], [count]): occurrences are counted
// from 1 left to right without overlapping; those from `first` on are
// replaced, at most `count` of them. A first occurrence or a count below 1
// gives an empty text.
Value strtran(Runtime& rt, Args args) {
  if (!args[0].is_string() || !args[1].is_string()) return arg_error(rt, 1126, "STRTRAN", args);
  const std::string& s = args[0].as_string();
  const std::string& find = args[1].as_string();
  std::string repl = args[2].is_string() ? args[2].as_string() : std::string();
  int64_t first = args[3].is_number() ? to_int(args[3]) : 1;
  int64_t count = args[4].is_number() ? to_int(args[4]) : -1;
  if (first < 1 || count == 0) return Value::string("");
  if (find.empty()) return args[0];
  std::string out;
  size_t pos = 0;
  int64_t seen = 0, done = 0;
  while (true) {
    size_t p = s.find(find, pos);
    if (p == std::string::npos || (count > 0 && done >= count)) break;
    ++seen;
    out.append(s, pos, p - pos);
    if (seen >= first) {
      if (static_cast<int64_t>(out.size() + repl.size()) > kMaxText) {
        return func_error(rt, eval::kErrStrOverflow, 1234, "String overflow", "STRTRAN", args);
      }
      out += repl;
      ++done;
    } else {
      out += find;
    }
    pos = p + find.size();
  }
  out.append(s, pos, std::string::npos);
  return Value::string(std::move(out));
}

Value stuff(Runtime& rt, Args args) {
  if (!args[0].is_string()) return Value::string("");
  const std::string& s = args[0].as_string();
  int64_t n = static_cast<int64_t>(s.size());
  int64_t start = std::clamp<int64_t>(args[1].is_number() ? to_int(args[1]) : 0, 1, n + 1);
  int64_t del = std::clamp<int64_t>(args[2].is_number() ? to_int(args[2]) : 0, 0, n - (start - 1));
  std::string ins = args[3].is_string() ? args[3].as_string() : std::string();
  std::string r = s.substr(0, static_cast<size_t>(start - 1));
  r += ins;
  r.append(s, static_cast<size_t>(start - 1 + del), std::string::npos);
  return Value::string(std::move(r));
}

Value len(Runtime& rt, Args args) {
  const Value& v = args[0];
  if (v.is_string()) return Value::integer(static_cast<int64_t>(v.as_string().size()));
  if (v.is_array()) return Value::integer(static_cast<int64_t>(v.as_array()->items.size()));
  return arg_error(rt, 1111, "LEN", args);
}

Value asc(Runtime& rt, Args args) {
  if (!args[0].is_string()) return arg_error(rt, 1107, "ASC", args);
  const std::string& s = args[0].as_string();
  return Value::integer(s.empty() ? 0 : static_cast<uint8_t>(s[0]));
}

Value chr(Runtime& rt, Args args) {
  if (!args[0].is_number()) return arg_error(rt, 1104, "CHR", args);
  int64_t n = args[0].is_integer() ? args[0].as_int() : to_int(args[0]);
  return Value::string(std::string(1, static_cast<char>(((n % 256) + 256) % 256)));
}

template <bool (*Test)(uint8_t)>
Value char_class(Runtime&, Args args) {
  if (!args[0].is_string() || args[0].as_string().empty()) return Value::logical(false);
  return Value::logical(Test(static_cast<uint8_t>(args[0].as_string()[0])));
}

bool test_alpha(uint8_t c) { return cp866::is_alpha(c); }
bool test_digit(uint8_t c) { return cp866::is_digit(c); }
bool test_upper(uint8_t c) { return cp866::is_upper(c); }
bool test_lower(uint8_t c) { return cp866::is_lower(c); }

MemoLayout layout_from(Args args, size_t width_at, size_t tab_at, size_t wrap_at) {
  MemoLayout lay;
  if (args[width_at].is_number()) lay.width = to_int(args[width_at]);
  if (args[tab_at].is_number()) lay.tab = to_int(args[tab_at]);
  if (args[wrap_at].is_logical()) lay.wrap = args[wrap_at].as_logical();
  return sane(lay);
}

Value mlcount(Runtime&, Args args) {
  if (!args[0].is_string()) return Value::integer(0);
  return Value::integer(
      static_cast<int64_t>(memo_count(args[0].as_string(), layout_from(args, 1, 2, 3))));
}

Value memoline(Runtime&, Args args) {
  if (!args[0].is_string()) return Value::string("");
  int64_t n = args[2].is_number() ? to_int(args[2]) : 1;
  if (n < 1) return Value::string("");
  return Value::string(
      memo_line(args[0].as_string(), layout_from(args, 1, 3, 4), static_cast<size_t>(n)));
}

Value memotran(Runtime&, Args args) {
  if (!args[0].is_string()) return Value::string("");
  std::string hard = args[1].is_string() ? args[1].as_string() : std::string(";");
  std::string soft = args[2].is_string() ? args[2].as_string() : std::string(" ");
  const std::string& s = args[0].as_string();
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      out += hard;
      ++i;
    } else if (soft_break_at(s, i)) {
      out += soft;
      ++i;
    } else {
      out += s[i];
    }
  }
  return Value::string(std::move(out));
}

Value hardcr(Runtime&, Args args) {
  if (!args[0].is_string()) return Value::string("");
  std::string s = args[0].as_string();
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    if (soft_break_at(s, i)) s[i] = '\r';
  }
  return Value::string(std::move(s));
}

// Descend(): a key that sorts in reverse. Texts take each byte's complement
// to 256 (0 stays 0), as descending index keys are stored; numbers negate,
// dates become a day count that falls as the date rises, logicals flip.
Value descend(Runtime&, Args args) {
  const Value& v = args[0];
  switch (v.type()) {
    case eval::Type::String: {
      std::string s = v.as_string();
      for (char& c : s) c = static_cast<char>((256 - static_cast<uint8_t>(c)) & 0xFF);
      return Value::string(std::move(s));
    }
    case eval::Type::Number:
      if (v.is_integer()) return Value::integer(-v.as_int(), v.width());
      return Value::number(-v.as_double(), v.width(), v.decimals());
    case eval::Type::Date:
      return Value::integer(5231808 - static_cast<int64_t>(v.as_date()));
    case eval::Type::Logical:
      return Value::logical(!v.as_logical());
    default:
      return {};
  }
}

}  // namespace

size_t memo_count(std::string_view text, const MemoLayout& layout) {
  MemoLayout lay = sane(layout);
  size_t count = 0;
  for (size_t pos = 0; pos < text.size(); pos = next_line(text, pos, lay).next) ++count;
  return count;
}

std::string memo_line(std::string_view text, const MemoLayout& layout, size_t n) {
  if (n < 1) return {};
  MemoLayout lay = sane(layout);
  std::string out;
  size_t pos = 0;
  for (size_t k = 1; pos < text.size(); ++k) {
    LineSpan span = next_line(text, pos, lay);
    if (k == n) {
      for (size_t i = span.begin; i < span.end; ++i) {
        if (soft_break_at(text, i)) {
          ++i;
        } else if (text[i] == '\t') {
          out.append(static_cast<size_t>(lay.tab - static_cast<int>(out.size()) % lay.tab), ' ');
        } else {
          out += text[i];
        }
      }
      break;
    }
    pos = span.next;
  }
  out.resize(static_cast<size_t>(lay.width), ' ');
  return out;
}

std::string pad(std::string_view text, size_t n, char fill, Pad where) {
  if (text.size() >= n) return std::string(text.substr(0, n));
  size_t extra = n - text.size();
  size_t before = where == Pad::Left ? extra : (where == Pad::Center ? extra / 2 : 0);
  std::string r(before, fill);
  r += text;
  r.append(extra - before, fill);
  return r;
}

void register_strings(eval::Registry& reg) {
  reg.function("SUBSTR", substr);
  reg.function("LEFT", left);
  reg.function("RIGHT", right);
  reg.function("TRIM", trim);
  reg.function("RTRIM", rtrim);
  reg.function("LTRIM", ltrim);
  reg.function("ALLTRIM", alltrim);
  reg.function("UPPER", upper);
  reg.function("LOWER", lower);
  reg.function("PADL", padl);
  reg.function("PADR", padr);
  reg.function("PADC", padc);
  reg.function("SPACE", space);
  reg.function("REPLICATE", replicate);
  reg.function("AT", at);
  reg.function("RAT", rat);
  reg.function("STRTRAN", strtran);
  reg.function("STUFF", stuff);
  reg.function("LEN", len);
  reg.function("ASC", asc);
  reg.function("CHR", chr);
  reg.function("ISALPHA", char_class<test_alpha>);
  reg.function("ISDIGIT", char_class<test_digit>);
  reg.function("ISUPPER", char_class<test_upper>);
  reg.function("ISLOWER", char_class<test_lower>);
  reg.function("MEMOLINE", memoline);
  reg.function("MLCOUNT", mlcount);
  reg.function("MEMOTRAN", memotran);
  reg.function("HARDCR", hardcr);
  reg.function("DESCEND", descend);
}

}  // namespace kvel::rtl
