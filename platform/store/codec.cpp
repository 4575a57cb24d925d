#include "platform/store/codec.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/rtl/dates.h"

namespace kvel::store {
namespace {

const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                         1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

}  // namespace

bool format_number(double v, int len, int dec, char* out) {
  if (len <= 0) return true;
  if (dec < 0) dec = 0;
  if (dec > 15) dec = 15;
  char tmp[400];
  int n = 0;
  bool neg = v < 0;
  double a = std::fabs(v);
  if (!std::isfinite(a)) {
    std::memset(out, '*', static_cast<size_t>(len));
    return false;
  }
  double scaled = a * kPow10[dec];
  if (scaled < 4e15) {
    // The product of a decimal fraction and a power of ten lands just below
    // the half more often than not (1.005 * 100 = 100.49999...); a few units
    // of the last place put it back before rounding half up.
    scaled += scaled * 8 * DBL_EPSILON;
    auto u = static_cast<uint64_t>(std::floor(scaled + 0.5));
    if (u == 0) neg = false;
    char digits[24];
    int nd = 0;
    do {
      digits[nd++] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u);
    while (nd <= dec) digits[nd++] = '0';
    if (neg) tmp[n++] = '-';
    for (int i = nd - 1; i >= dec; --i) tmp[n++] = digits[i];
    if (dec) {
      tmp[n++] = '.';
      for (int i = dec - 1; i >= 0; --i) tmp[n++] = digits[i];
    }
  } else {
    n = std::snprintf(tmp, sizeof tmp, "%.*f", dec, v);
    if (n < 0 || n >= static_cast<int>(sizeof tmp)) n = static_cast<int>(sizeof tmp);
  }
  if (n > len) {
    std::memset(out, '*', static_cast<size_t>(len));
    return false;
  }
  std::memset(out, ' ', static_cast<size_t>(len - n));
  std::memcpy(out + (len - n), tmp, static_cast<size_t>(n));
  return true;
}

double parse_number(const char* p, size_t n) {
  size_t b = 0;
  while (b < n && (p[b] == ' ' || p[b] == '\0')) ++b;
  if (b == n) return 0;
  // Fast path for the usual "[-]ddd[.ddd]".
  bool neg = false;
  size_t i = b;
  if (p[i] == '-') {
    neg = true;
    ++i;
  } else if (p[i] == '+') {
    ++i;
  }
  uint64_t ip = 0;
  int digits = 0;
  while (i < n && p[i] >= '0' && p[i] <= '9' && digits < 18) {
    ip = ip * 10 + static_cast<uint64_t>(p[i] - '0');
    ++i;
    ++digits;
  }
  uint64_t fp = 0;
  int fd = 0;
  if (i < n && p[i] == '.') {
    ++i;
    while (i < n && p[i] >= '0' && p[i] <= '9' && fd < 18) {
      fp = fp * 10 + static_cast<uint64_t>(p[i] - '0');
      ++i;
      ++fd;
    }
  }
  size_t j = i;
  while (j < n && (p[j] == ' ' || p[j] == '\0')) ++j;
  if (j == n && digits + fd <= 18) {
    double v = static_cast<double>(ip);
    if (fd) v += static_cast<double>(fp) / kPow10[fd];
    return neg ? -v : v;
  }
  char buf[64];
  size_t m = n - b < sizeof buf - 1 ? n - b : sizeof buf - 1;
  std::memcpy(buf, p + b, m);
  buf[m] = 0;
  char* end = nullptr;
  double v = std::strtod(buf, &end);
  if (end == buf || !std::isfinite(v)) return 0;
  return v;
}

int32_t parse_dtos(const char* p) { return rtl::stod(std::string_view(p, 8)); }

void format_dtos(int32_t j, char* out) {
  if (j <= 0) {
    std::memset(out, ' ', 8);
    return;
  }
  rtl::CivilDate c = rtl::civil(j);
  const int y = c.year, m = c.month, d = c.day;
  if (y == 0) {
    std::memset(out, ' ', 8);
    return;
  }
  out[0] = static_cast<char>('0' + y / 1000);
  out[1] = static_cast<char>('0' + y / 100 % 10);
  out[2] = static_cast<char>('0' + y / 10 % 10);
  out[3] = static_cast<char>('0' + y % 10);
  out[4] = static_cast<char>('0' + m / 10);
  out[5] = static_cast<char>('0' + m % 10);
  out[6] = static_cast<char>('0' + d / 10);
  out[7] = static_cast<char>('0' + d % 10);
}

void numeric_key(double v, int len, int dec, char* out) {
  bool neg = v < 0;
  format_number(std::fabs(v), len, dec, out);
  for (int i = 0; i < len; ++i) {
    char& c = out[i];
    if (c == ' ') c = '0';
    if (neg && c >= '0' && c <= '9') c = static_cast<char>(0x5C - c);
  }
}

double numeric_key_value(const char* p, size_t n) {
  std::string t(p, n);
  bool neg = false;
  for (char& c : t) {
    if (c >= 0x23 && c <= 0x2C) {
      neg = true;
      c = static_cast<char>(0x5C - c);
    }
  }
  double v = parse_number(t.data(), t.size());
  return neg ? -v : v;
}

}  // namespace kvel::store
