// TRANSFORM and the picture formatting behind data-entry fields and reports.
#include "platform/rtl/transform.h"

#include <cmath>

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

bool is_digit_slot(char c) { return c == '9' || c == '#' || c == '$' || c == '*'; }

bool is_text_slot(char c) {
  switch (c) {
    case 'A':
    case 'N':
    case 'X':
    case '9':
    case '#':
    case '!':
    case 'L':
    case 'Y':
    case 'a':
    case 'n':
    case 'x':
    case 'l':
    case 'y':
      return true;
    default:
      return false;
  }
}

bool is_fill(char c) { return c == ' ' || c == '*' || c == '$'; }

// The numeric template's shape: digit places and the decimals after the point.
struct NumShape {
  int width = 0;  // digit places, plus one for the point when decimals follow it
  int dec = 0;
  bool point = false;
};

NumShape shape_of(std::string_view tmpl) {
  NumShape s;
  int slots = 0;
  for (char c : tmpl) {
    if (is_digit_slot(c)) {
      ++slots;
      if (s.point) ++s.dec;
    } else if (c == '.' && !s.point) {
      s.point = true;
    }
  }
  s.width = slots + (s.dec > 0 ? 1 : 0);
  return s;
}

// Lays the digits text (as wide as the template's places) into the template:
// digit places take its characters in turn, the point shows as the decimal
// separator, a comma shows the thousands separator after a digit and repeats
// the fill (blank, "*", "$") after one; other characters stay. With
// `open_paren` the first digit place shows "(" instead of taking a character.
std::string lay_digits(std::string_view tmpl, const NumShape& shape, std::string_view digits,
                       bool european, bool open_paren) {
  const char point = european ? ',' : '.';
  const char thousands = european ? '.' : ',';
  std::string out;
  out.reserve(tmpl.size() + 1);
  size_t k = 0;
  bool point_seen = false;
  bool paren_pending = open_paren;
  for (char c : tmpl) {
    if (is_digit_slot(c)) {
      if (paren_pending) {
        out += '(';
        paren_pending = false;
        continue;
      }
      char ch = k < digits.size() ? digits[k++] : ' ';
      if (ch == ' ' && (c == '$' || c == '*')) ch = c;
      out += ch;
    } else if (c == '.' && !point_seen) {
      point_seen = true;
      out += point;
      if (shape.dec > 0) ++k;
    } else if (c == ',') {
      char prev = out.empty() ? '\0' : out.back();
      out += (prev != '\0' && is_fill(prev)) ? prev : thousands;
    } else {
      out += c;
    }
  }
  return out;
}

void swap_separators(std::string& t) {
  for (char& c : t) {
    if (c == '.')
      c = ',';
    else if (c == ',')
      c = '.';
  }
}

bool is_zero(const Value& v) { return v.is_integer() ? v.as_int() == 0 : v.as_double() == 0; }

Value negated(const Value& v) {
  if (v.is_integer()) return Value::integer(-v.as_int(), v.width());
  return Value::number(-v.as_double(), v.width(), v.decimals());
}

// Whether the value shows a minus sign at dec decimals (-0.001 at 2 does not).
bool shows_negative(const Value& v, int dec) {
  if (v.is_integer()) return v.as_int() < 0;
  double d = v.as_double();
  if (!std::isfinite(d)) return d < 0;
  return fixed_text(d, dec)[0] == '-';
}

std::string number_picture(const Picture& p, const Value& v) {
  NumShape shape = shape_of(p.tmpl);
  bool has_template = shape.width > 0;
  // The sign matters only to the functions that mark negatives or positives.
  bool neg = (p.paren || p.paren_tight || p.debit || p.credit) &&
             shows_negative(v, has_template ? shape.dec : v.decimals());
  bool wrap = neg && (p.paren || p.paren_tight);
  Value shown = (wrap || (neg && p.debit)) ? negated(v) : v;

  std::string out;
  bool open_laid = false;
  if (has_template) {
    open_laid = wrap && p.paren;
    std::string digits = str(shown, std::max(shape.width - (open_laid ? 1 : 0), 1), shape.dec);
    out = lay_digits(p.tmpl, shape, digits, p.european, open_laid);
  } else {
    out = str(shown);
    if (p.european) swap_separators(out);
  }
  if (wrap) {
    if (!open_laid) {
      // "(" in the first column (@(), or next to the first digit (@)).
      size_t at = p.paren ? 0 : out.find_first_not_of(' ');
      if (at == std::string::npos) at = 0;
      if (at > 0 || (p.paren && !out.empty() && out[0] == ' ')) {
        out[p.paren ? 0 : at - 1] = '(';
      } else {
        out.insert(out.begin(), '(');
      }
    }
    out += ')';
  }
  if (p.left) {
    size_t first = out.find_first_not_of(' ');
    if (first != std::string::npos && first > 0) {
      out = out.substr(first) + std::string(first, ' ');
    }
  }
  if (p.credit && !neg && !is_zero(v)) out += " CR";
  if (p.debit && neg) out += " DB";
  if (p.blank_zero && is_zero(v)) out.assign(out.size(), ' ');
  return out;
}

std::string text_picture(const Picture& p, std::string_view s) {
  std::string out;
  if (p.tmpl.empty()) {
    out = s;
  } else if (p.literals) {
    size_t k = 0;
    for (char c : p.tmpl) {
      if (is_text_slot(c)) {
        char ch = k < s.size() ? s[k++] : ' ';
        out += c == '!' ? static_cast<char>(cp866::upper(static_cast<uint8_t>(ch))) : ch;
      } else {
        out += c;
      }
    }
  } else {
    // Without @R the template runs over the text character by character and
    // ends with the shorter of the two.
    for (size_t i = 0; i < p.tmpl.size() && i < s.size(); ++i) {
      char c = p.tmpl[i];
      if (c == '!') {
        out += static_cast<char>(cp866::upper(static_cast<uint8_t>(s[i])));
      } else {
        out += is_text_slot(c) ? s[i] : c;
      }
    }
  }
  if (p.upper) cp866::upper_in_place(out);
  if (p.scroll > 0 && out.size() > static_cast<size_t>(p.scroll))
    out.resize(static_cast<size_t>(p.scroll));
  return out;
}

std::string date_picture(const eval::Settings& s, const Picture& p, int32_t jd) {
  if (p.european) {
    eval::Settings british = s;
    bool century = s.date_format.find("yyyy") != std::string::npos ||
                   s.date_format.find("YYYY") != std::string::npos;
    british.date_format = century ? "dd/mm/yyyy" : "dd/mm/yy";
    return dtoc(british, jd);
  }
  std::string out = dtoc(s, jd);
  if (p.blank_zero && jd == 0) out.assign(out.size(), ' ');
  return out;
}

std::string logical_picture(const Picture& p, bool b) {
  std::string out;
  bool shown = false;
  for (char c : p.tmpl) {
    char u = static_cast<char>(cp866::upper(static_cast<uint8_t>(c)));
    if (u == 'L' || u == '#') {
      out += b ? 'T' : 'F';
      shown = true;
    } else if (u == 'Y') {
      out += b ? 'Y' : 'N';
      shown = true;
    } else if (p.literals) {
      out += c;
    }
  }
  if (!shown) out += b ? 'T' : 'F';
  return out;
}

}  // namespace

Picture parse_picture(std::string_view pic) {
  Picture p;
  size_t i = 0;
  if (!pic.empty() && pic[0] == '@') {
    for (i = 1; i < pic.size() && pic[i] != ' '; ++i) {
      switch (cp866::upper(static_cast<uint8_t>(pic[i]))) {
        case '!':
          p.upper = true;
          break;
        case 'R':
          p.literals = true;
          break;
        case 'Z':
          p.blank_zero = true;
          break;
        case 'B':
          p.left = true;
          break;
        case 'E':
          p.european = true;
          break;
        case '(':
          p.paren = true;
          break;
        case ')':
          p.paren_tight = true;
          break;
        case 'C':
          p.credit = true;
          break;
        case 'X':
          p.debit = true;
          break;
        case 'K':
          p.clear = true;
          break;
        case 'D':
          p.date = true;
          break;
        case 'S': {
          int n = 0;
          while (i + 1 < pic.size() && pic[i + 1] >= '0' && pic[i + 1] <= '9') {
            if (n < 100000) n = n * 10 + (pic[i + 1] - '0');
            ++i;
          }
          p.scroll = n;
          break;
        }
        default:
          break;
      }
    }
    if (i < pic.size()) ++i;  // the blank before the template
  }
  p.tmpl = std::string(pic.substr(i));
  return p;
}

std::optional<std::string> transform(const eval::Settings& s, const Value& v,
                                     std::string_view picture) {
  Picture p = parse_picture(picture);
  switch (v.type()) {
    case eval::Type::Number:
      return number_picture(p, v);
    case eval::Type::String:
      return text_picture(p, v.as_string());
    case eval::Type::Date:
      return date_picture(s, p, v.as_date());
    case eval::Type::Logical:
      return logical_picture(p, v.as_logical());
    default:
      return std::nullopt;
  }
}

std::string transform(Runtime& rt, const Value& v, std::string_view picture) {
  if (auto r = transform(rt.settings(), v, picture)) return *std::move(r);
  Value args[2] = {v, Value::string(picture)};
  Value sub = arg_error(rt, 1122, "TRANSFORM", Args(args, 2));
  return sub.is_string() ? sub.as_string() : std::string();
}

namespace {

Value transform_(Runtime& rt, Args args) {
  if (!(args[1].is_nil() || args[1].is_string())) return arg_error(rt, 1122, "TRANSFORM", args);
  std::string_view pic =
      args[1].is_string() ? std::string_view(args[1].as_string()) : std::string_view();
  if (auto r = transform(rt.settings(), args[0], pic)) return Value::string(*std::move(r));
  return arg_error(rt, 1122, "TRANSFORM", args);
}

}  // namespace

void register_transform(eval::Registry& reg) { reg.function("TRANSFORM", transform_); }

}  // namespace kvel::rtl
