// Dates as day numbers (the Julian day number; 0 is the empty date) and
// their texts under the date format and epoch of the settings. Day numbers
// before 1 January of year 1 are kept (date arithmetic may make them) but
// have no calendar date: their parts read as 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/eval/settings.h"

namespace kvel::rtl {

struct CivilDate {
  int year = 0;   // 1..9999, 0 for the empty date
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

// 0 when the parts are not a date of years 1..9999.
int32_t day_number(int year, int month, int day);
CivilDate civil(int32_t day_number);
// 1 for Sunday .. 7 for Saturday; 0 for the empty date.
int day_of_week(int32_t day_number);

// CToD(): numbers in the order of the format's d, m and y, any non-digits
// between them; a year below 100 goes through the epoch. Not a date: 0.
int32_t ctod(const eval::Settings& s, std::string_view text);
// DToC(): the date in the format ("dd/mm/yy"); the empty date shows blanks
// where the digits go.
std::string dtoc(const eval::Settings& s, int32_t day_number);
// DToS(): "yyyymmdd", 8 blanks for the empty date.
std::string dtos(int32_t day_number);
// SToD(): "yyyymmdd" as a date, 0 when it is not one.
int32_t stod(std::string_view text);

// Russian names in code page 866, nominative: "Понедельник", "Январь".
// Pre: 1 <= dow <= 7, 1 <= month <= 12.
const std::string& day_name(int dow);
const std::string& month_name(int month);

// Today's date in the local time zone.
int32_t today();

}  // namespace kvel::rtl
