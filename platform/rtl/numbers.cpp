// STR STRZERO VAL ROUND INT ABS MOD MAX MIN SQRT EXP LOG, and the number
// texts the other families share.
#include "platform/rtl/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/eval/runtime.h"
#include "platform/rtl/rtl.h"
#include "platform/rtl/support.h"

namespace kvel::rtl {

using eval::Args;
using eval::Runtime;
using eval::Value;

namespace {

// Longest Str() text: far beyond any field or report cell.
constexpr int kMaxWidth = 4096;

void increment(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

// round(a * 10^dec) as decimal digits, a >= 0 and finite, computed from the
// 16 significant digits of a so that binary error below them does not decide
// a rounding.
std::string scaled_digits(double a, int dec) {
  if (a == 0) return "0";
  // Fast path: a small scaled value that is not near a tie rounds the same
  // from the binary value as from its 16 digits (the product's error is below
  // 1e-7 there), so the decimal expansion can be skipped.
  static constexpr double kPow10[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  if (dec >= 0 && dec <= 9) {
    double y = a * kPow10[dec];
    if (y < 1e9) {
      double f = std::floor(y);
      double frac = y - f;
      if (std::fabs(frac - 0.5) > 1e-6) {
        uint64_t r = static_cast<uint64_t>(f) + (frac > 0.5 ? 1 : 0);
        char fast[24];
        auto end = std::to_chars(fast, fast + sizeof fast, r).ptr;
        return std::string(fast, end);
      }
    }
  }
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf - 1, a, std::chars_format::scientific, 15);
  *res.ptr = '\0';  // d.ddddddddddddddde+XX
  char dig[16];
  dig[0] = buf[0];
  std::memcpy(dig + 1, buf + 2, 15);
  long exp = std::strtol(buf + 18, nullptr, 10);
  long s = exp - 15 + dec;  // a ~ D * 10^(exp - 15), D the 16 digits
  std::string out;
  if (s >= 0) {
    out.assign(dig, 16);
    out.append(static_cast<size_t>(s), '0');
  } else {
    long drop = -s;
    if (drop > 16) return "0";
    size_t keep = static_cast<size_t>(16 - drop);
    out.assign(dig, keep);
    if (dig[keep] >= '5') increment(out);
  }
  size_t nz = out.find_first_not_of('0');
  if (nz == std::string::npos) return "0";
  return out.substr(nz);
}

std::string int_text(int64_t n, int dec) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, n);
  std::string t(buf, r.ptr);
  if (dec > 0) {
    t += '.';
    t.append(static_cast<size_t>(dec), '0');
  }
  return t;
}

// The text of v with dec decimals; empty when v is not finite.
std::string number_text(const Value& v, int dec) {
  if (v.is_integer()) return int_text(v.as_int(), dec);
  double d = v.as_double();
  if (!std::isfinite(d)) return {};
  return fixed_text(d, dec);
}

std::string pad_left(std::string t, size_t width) {
  if (t.size() < width) t.insert(0, width - t.size(), ' ');
  return t;
}

bool optional_number(const Value& v) { return v.is_nil() || v.is_number(); }

}  // namespace

std::string fixed_text(double d, int dec) {
  std::string n = scaled_digits(std::fabs(d), dec);
  bool zero = n == "0";
  bool minus = d < 0 && !zero;
  if (dec <= 0) {
    if (!zero && dec < 0) n.append(static_cast<size_t>(-dec), '0');
    if (minus) n.insert(n.begin(), '-');
    return n;
  }
  // Digits d...d into [-]int.dec in one text.
  size_t udec = static_cast<size_t>(dec);
  size_t int_digits = n.size() > udec ? n.size() - udec : 0;
  std::string t;
  t.reserve((minus ? 1 : 0) + (int_digits ? int_digits : 1) + 1 + udec);
  if (minus) t += '-';
  if (int_digits) {
    t.append(n, 0, int_digits);
  } else {
    t += '0';
  }
  t += '.';
  if (n.size() < udec) t.append(udec - n.size(), '0');
  t.append(n, int_digits, std::string::npos);
  return t;
}

double round_half(double d, int dec) {
  if (!std::isfinite(d)) return d;
  return std::strtod(fixed_text(d, dec).c_str(), nullptr);
}

std::string str(const Value& v) {
  int width = v.width() > 0 ? v.width() : 10;
  std::string t = number_text(v, v.decimals());
  if (t.empty()) return std::string(static_cast<size_t>(width), '*');
  if (t.size() <= static_cast<size_t>(width)) return pad_left(std::move(t), width);
  // Wider than the value's own width: results beyond the usual ten places
  // keep one leading blank, negatives take the 20 columns of large numbers.
  if (t[0] == '-' && t.size() < 20) return pad_left(std::move(t), 20);
  return " " + t;
}

std::string str(const Value& v, int width, int dec) {
  if (width < 1) width = 1;
  std::string t = number_text(v, dec < 0 ? 0 : dec);
  if (t.empty() || t.size() > static_cast<size_t>(width)) {
    return std::string(static_cast<size_t>(width), '*');
  }
  return pad_left(std::move(t), width);
}

int float_width(double d, int dec) {
  int w = (!std::isfinite(d) || d >= 1e10 || d <= -1e9) ? 20 : 10;
  return dec > 0 ? w + dec + 1 : w;
}

Value float_value(double d, int dec) { return Value::number(d, float_width(d, dec), dec); }

Value int_value(int64_t n) { return Value::integer(n, n < -999999999 ? 20 : 10); }

Value val(std::string_view s) {
  size_t n = s.size(), i = 0;
  while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool neg = false;
  if (i < n && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  size_t int_begin = i;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
  size_t int_end = i;
  if (i < n && s[i] == '.') {
    size_t dot = i++;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
    int dec = static_cast<int>(std::min<size_t>(n - dot - 1, kMaxWidth));
    std::string digits = "0" + std::string(s.substr(int_begin, i - int_begin));
    double d = std::strtod(digits.c_str(), nullptr);
    size_t nz = s.substr(int_begin, int_end - int_begin).find_first_not_of('0');
    size_t int_digits = nz == std::string_view::npos ? 1 : int_end - int_begin - nz;
    size_t need = (neg && d != 0 ? 1 : 0) + int_digits + (dec > 0 ? dec + 1 : 0);
    int width = static_cast<int>(std::min<size_t>(std::max(n, need), kMaxWidth));
    return Value::number(neg ? -d : d, width, dec);
  }
  uint64_t acc = 0;
  bool overflow = false;
  for (size_t k = int_begin; k < int_end; ++k) {
    unsigned digit = static_cast<unsigned>(s[k] - '0');
    if (acc > (std::numeric_limits<uint64_t>::max() - digit) / 10) overflow = true;
    if (!overflow) acc = acc * 10 + digit;
  }
  if (overflow || acc > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    std::string digits(s.substr(int_begin, int_end - int_begin));
    double d = std::strtod(digits.c_str(), nullptr);
    return Value::number(neg ? -d : d,
                         static_cast<int>(std::min<size_t>(std::max<size_t>(n, 20), kMaxWidth)), 0);
  }
  int64_t value = neg ? -static_cast<int64_t>(acc) : static_cast<int64_t>(acc);
  bool small =
      value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
  int width = small ? static_cast<int>(std::min<size_t>(n, kMaxWidth)) : 20;
  return Value::integer(value, width);
}

namespace {

Value str_(Runtime& rt, Args args) {
  const Value& v = args[0];
  if (!v.is_number() || !optional_number(args[1]) || !optional_number(args[2])) {
    return arg_error(rt, 1099, "STR", args);
  }
  int width = args[1].is_number() ? to_int(args[1]) : 0;
  int dec = args[2].is_number() ? std::max(0, to_int(args[2])) : -1;
  if (width > kMaxWidth) width = kMaxWidth;
  if (dec > kMaxWidth) dec = kMaxWidth;
  if (width >= 1) return Value::string(str(v, width, dec < 0 ? 0 : dec));
  if (dec >= 0) {
    // Decimals without a usable width: the value's integer places, these decimals.
    int own = v.width() - (v.decimals() > 0 ? v.decimals() + 1 : 0);
    Value w = Value::number(v.as_double(), own + (dec > 0 ? dec + 1 : 0), dec);
    return Value::string(str(w));
  }
  return Value::string(str(v));
}

Value strzero(Runtime& rt, Args args) {
  Value s = str_(rt, args);
  if (!s.is_string()) return s;
  std::string t = s.as_string();
  size_t first = t.find_first_not_of(' ');
  if (first == std::string::npos || t[first] == '*') return s;
  bool neg = t[first] == '-';
  for (size_t i = 0; i < first; ++i) t[i] = '0';
  if (neg) {
    t[first] = '0';
    t[0] = '-';
  }
  return Value::string(std::move(t));
}

Value val_(Runtime& rt, Args args) {
  if (!args[0].is_string()) return arg_error(rt, 1098, "VAL", args);
  return val(args[0].as_string());
}

Value round(Runtime& rt, Args args) {
  const Value& v = args[0];
  if (!v.is_number() || !args[1].is_number()) return arg_error(rt, 1094, "ROUND", args);
  int dec = std::clamp(to_int(args[1]), -kMaxWidth, kMaxWidth);
  if (v.is_integer() && dec == 0) return v;
  double r = round_half(v.as_double(), dec);
  if (dec < 0 && v.is_integer()) return int_value(static_cast<int64_t>(r));
  return float_value(r, std::max(dec, 0));
}

Value int_(Runtime& rt, Args args) {
  const Value& v = args[0];
  if (!v.is_number()) return arg_error(rt, 1090, "INT", args);
  if (v.is_integer()) return v;
  double t = std::trunc(v.as_double());
  if (!std::isfinite(t) || std::fabs(t) >= 9.2e18) return Value::number(t, float_width(t, 0), 0);
  return int_value(static_cast<int64_t>(t));
}

Value abs_(Runtime& rt, Args args) {
  const Value& v = args[0];
  if (!v.is_number()) return arg_error(rt, 1089, "ABS", args);
  if (v.is_integer()) {
    int64_t n = v.as_int();
    if (n == std::numeric_limits<int64_t>::min()) return float_value(-static_cast<double>(n), 0);
    return int_value(n < 0 ? -n : n);
  }
  return Value::number(std::fabs(v.as_double()), v.width(), v.decimals());
}

Value mod(Runtime& rt, Args args) {
  if (!args[0].is_number() || !args[1].is_number()) return arg_error(rt, 1085, "%", args);
  double a = args[0].as_double(), b = args[1].as_double();
  if (b == 0) return func_error(rt, eval::kErrZeroDiv, 1341, "Zero divisor", "%", args);
  double r = std::fmod(a, b);
  // The result takes the sign of the divisor.
  if (r != 0 && ((r < 0) != (b < 0))) r += b;
  return float_value(r, rt.settings().decimals);
}

// Max and Min: two numbers or two dates; the winning argument is returned as
// it is, with its own width.
Value extreme(Runtime& rt, Args args, bool want_max, int subcode, std::string_view name) {
  const Value& a = args[0];
  const Value& b = args[1];
  int c;
  if (a.is_number() && b.is_number()) {
    if (a.is_integer() && b.is_integer()) {
      c = a.as_int() < b.as_int() ? -1 : (a.as_int() > b.as_int() ? 1 : 0);
    } else {
      c = a.as_double() < b.as_double() ? -1 : (a.as_double() > b.as_double() ? 1 : 0);
    }
  } else if (a.is_date() && b.is_date()) {
    c = a.as_date() < b.as_date() ? -1 : (a.as_date() > b.as_date() ? 1 : 0);
  } else {
    return arg_error(rt, subcode, name, args);
  }
  if (want_max) return c >= 0 ? a : b;
  return c <= 0 ? a : b;
}

Value max(Runtime& rt, Args args) { return extreme(rt, args, true, 1093, "MAX"); }
Value min(Runtime& rt, Args args) { return extreme(rt, args, false, 1092, "MIN"); }

Value sqrt_(Runtime& rt, Args args) {
  if (!args[0].is_number()) return arg_error(rt, 1097, "SQRT", args);
  double d = args[0].as_double();
  return float_value(d > 0 ? std::sqrt(d) : 0.0, rt.settings().decimals);
}

Value exp_(Runtime& rt, Args args) {
  if (!args[0].is_number()) return arg_error(rt, 1096, "EXP", args);
  double r = std::exp(args[0].as_double());
  // An overflow gives 0 rather than a value no width can show.
  if (!std::isfinite(r)) r = 0;
  return float_value(r, rt.settings().decimals);
}

Value log_(Runtime& rt, Args args) {
  if (!args[0].is_number()) return arg_error(rt, 1095, "LOG", args);
  double d = args[0].as_double();
  double r = d > 0 ? std::log(d) : -std::numeric_limits<double>::infinity();
  return float_value(r, rt.settings().decimals);
}

}  // namespace

void register_numbers(eval::Registry& reg) {
  reg.function("STR", str_);
  reg.function("STRZERO", strzero);
  reg.function("VAL", val_);
  reg.function("ROUND", round);
  reg.function("INT", int_);
  reg.function("ABS", abs_);
  reg.function("MOD", mod);
  reg.function("MAX", max);
  reg.function("MIN", min);
  reg.function("SQRT", sqrt_);
  reg.function("EXP", exp_);
  reg.function("LOG", log_);
}

}  // namespace kvel::rtl
