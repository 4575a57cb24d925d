// DATE CTOD DTOC DTOS STOD DAY MONTH YEAR DOW CDOW CMONTH, and the date texts
// the other families share.
#include "platform/rtl/dates.h"

#include <array>
#include <ctime>

#include "platform/eval/runtime.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/rtl.h"
#include "platform/rtl/support.h"

namespace kvel::rtl {

using eval::Args;
using eval::Runtime;
using eval::Value;

namespace {

constexpr int32_t kFirstDay = 1721426;  // 1 January of year 1
constexpr int32_t kLastDay = 5373484;   // 31 December 9999

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Writes the last n digits of value (>= 0), zero-filled, to out[0..n).
void put_digits(char* out, int value, size_t n) {
  unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
  for (size_t i = n; i-- > 0; v /= 10) out[i] = static_cast<char>('0' + v % 10);
}

// Appends the last `digits` digits of value, zero-filled.
void put_number(std::string& out, int value, size_t digits) {
  char buf[16];
  size_t n = digits < sizeof buf ? digits : sizeof buf;
  put_digits(buf, value, n);
  out.append(digits - n, '0');
  out.append(buf, n);
}

}  // namespace

int32_t day_number(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m)) return 0;
  int a = (14 - m) / 12;
  int64_t yy = y + 4800 - a;
  int64_t mm = m + 12 * a - 3;
  return static_cast<int32_t>(d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 -
                              32045);
}

CivilDate civil(int32_t jd) {
  if (jd < kFirstDay || jd > kLastDay) return {};
  // Every day number of the range keeps these products within 32 bits.
  int32_t a = jd + 32044;
  int32_t b = (4 * a + 3) / 146097;
  int32_t c = a - 146097 * b / 4;
  int32_t d = (4 * c + 3) / 1461;
  int32_t e = c - 1461 * d / 4;
  int32_t m = (5 * e + 2) / 153;
  CivilDate r;
  r.day = e - (153 * m + 2) / 5 + 1;
  r.month = m + 3 - 12 * (m / 10);
  r.year = 100 * b + d - 4800 + m / 10;
  return r;
}

int day_of_week(int32_t jd) {
  if (jd == 0) return 0;
  int64_t r = (static_cast<int64_t>(jd) + 1) % 7;
  if (r < 0) r += 7;
  return static_cast<int>(r) + 1;
}

int32_t ctod(const eval::Settings& s, std::string_view text) {
  // The order of day, month and year in the format.
  std::array<char, 3> order{};
  size_t parts = 0;
  for (char f : s.date_format) {
    char c = lower_ascii(f);
    if ((c == 'd' || c == 'm' || c == 'y') && parts < 3) {
      bool seen = false;
      for (size_t k = 0; k < parts; ++k) seen = seen || order[k] == c;
      if (!seen) order[parts++] = c;
    }
  }
  if (parts < 3) order = {'d', 'm', 'y'};
  std::array<int, 3> num{};
  size_t got = 0;
  for (size_t i = 0; i < text.size() && got < 3;) {
    if (text[i] < '0' || text[i] > '9') {
      ++i;
      continue;
    }
    int v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (v < 100000) v = v * 10 + (text[i] - '0');
    }
    num[got++] = v;
  }
  int d = 0, m = 0, y = 0;
  for (size_t k = 0; k < 3; ++k) {
    (order[k] == 'd' ? d : order[k] == 'm' ? m : y) = num[k];
  }
  if (d == 0 && m == 0 && y == 0) return 0;
  if (y < 100) {
    y += s.epoch / 100 * 100;
    if (y < s.epoch) y += 100;
  }
  return day_number(y, m, d);
}

std::string dtoc(const eval::Settings& s, int32_t jd) {
  CivilDate c = civil(jd);
  const std::string& f = s.date_format;
  std::string out;
  out.reserve(f.size());
  for (size_t i = 0; i < f.size();) {
    char l = lower_ascii(f[i]);
    if (l != 'd' && l != 'm' && l != 'y') {
      out += f[i++];
      continue;
    }
    size_t run = 1;
    while (i + run < f.size() && lower_ascii(f[i + run]) == l) ++run;
    i += run;
    if (jd == 0) {
      out.append(run, ' ');
    } else {
      put_number(out, l == 'd' ? c.day : l == 'm' ? c.month : c.year, run);
    }
  }
  return out;
}

std::string dtos(int32_t jd) {
  if (jd == 0) return std::string(8, ' ');
  CivilDate c = civil(jd);
  char b[8];
  put_digits(b, c.year, 4);
  put_digits(b + 4, c.month, 2);
  put_digits(b + 6, c.day, 2);
  return std::string(b, sizeof b);
}

int32_t stod(std::string_view t) {
  if (t.size() < 8) return 0;
  int v[8];
  for (size_t i = 0; i < 8; ++i) {
    if (t[i] < '0' || t[i] > '9') return 0;
    v[i] = t[i] - '0';
  }
  return day_number(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5],
                    v[6] * 10 + v[7]);
}

const std::string& day_name(int dow) {
  static const std::array<std::string, 7> kNames = {
      cp866::from_utf8("Воскресенье"), cp866::from_utf8("Понедельник"), cp866::from_utf8("Вторник"),
      cp866::from_utf8("Среда"),       cp866::from_utf8("Четверг"),     cp866::from_utf8("Пятница"),
      cp866::from_utf8("Суббота")};
  return kNames[static_cast<size_t>(dow - 1)];
}

const std::string& month_name(int month) {
  static const std::array<std::string, 12> kNames = {
      cp866::from_utf8("Январь"),  cp866::from_utf8("Февраль"), cp866::from_utf8("Март"),
      cp866::from_utf8("Апрель"),  cp866::from_utf8("Май"),     cp866::from_utf8("Июнь"),
      cp866::from_utf8("Июль"),    cp866::from_utf8("Август"),  cp866::from_utf8("Сентябрь"),
      cp866::from_utf8("Октябрь"), cp866::from_utf8("Ноябрь"),  cp866::from_utf8("Декабрь")};
  return kNames[static_cast<size_t>(month - 1)];
}

int32_t today() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return day_number(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

namespace {

Value date(Runtime&, Args) { return Value::date(today()); }

Value ctod_(Runtime& rt, Args args) {
  if (!args[0].is_string()) return arg_error(rt, 1119, "CTOD", args);
  return Value::date(ctod(rt.settings(), args[0].as_string()));
}

Value dtoc_(Runtime& rt, Args args) {
  if (!args[0].is_date()) return arg_error(rt, 1118, "DTOC", args);
  return Value::string(dtoc(rt.settings(), args[0].as_date()));
}

Value dtos_(Runtime& rt, Args args) {
  if (!args[0].is_date()) return arg_error(rt, 1120, "DTOS", args);
  return Value::string(dtos(args[0].as_date()));
}

Value stod_(Runtime&, Args args) {
  // Qualified: std::stod would win overload resolution for a std::string.
  return Value::date(args[0].is_string() ? rtl::stod(args[0].as_string()) : 0);
}

// Day, Month, Year, DoW: widths 3, 3, 5 and 3 as the family shows them.
template <int Width>
Value date_part(Runtime& rt, Args args, int subcode, std::string_view name, int (*part)(int32_t)) {
  if (!args[0].is_date()) return arg_error(rt, subcode, name, args);
  return Value::integer(part(args[0].as_date()), Width);
}

Value day(Runtime& rt, Args args) {
  return date_part<3>(rt, args, 1114, "DAY", [](int32_t jd) { return civil(jd).day; });
}
Value month(Runtime& rt, Args args) {
  return date_part<3>(rt, args, 1113, "MONTH", [](int32_t jd) { return civil(jd).month; });
}
Value year(Runtime& rt, Args args) {
  return date_part<5>(rt, args, 1112, "YEAR", [](int32_t jd) { return civil(jd).year; });
}
Value dow(Runtime& rt, Args args) { return date_part<3>(rt, args, 1115, "DOW", day_of_week); }

Value cdow(Runtime& rt, Args args) {
  if (!args[0].is_date()) return arg_error(rt, 1117, "CDOW", args);
  int32_t jd = args[0].as_date();
  if (civil(jd).year == 0) return Value::string("");
  return Value::string(day_name(day_of_week(jd)));
}

Value cmonth(Runtime& rt, Args args) {
  if (!args[0].is_date()) return arg_error(rt, 1116, "CMONTH", args);
  int m = civil(args[0].as_date()).month;
  return Value::string(m == 0 ? std::string() : month_name(m));
}

}  // namespace

void register_dates(eval::Registry& reg) {
  reg.function("DATE", date);
  reg.function("CTOD", ctod_);
  reg.function("DTOC", dtoc_);
  reg.function("DTOS", dtos_);
  reg.function("STOD", stod_);
  reg.function("DAY", day);
  reg.function("MONTH", month);
  reg.function("YEAR", year);
  reg.function("DOW", dow);
  reg.function("CDOW", cdow);
  reg.function("CMONTH", cmonth);
}

}  // namespace kvel::rtl
