#include <gtest/gtest.h>

#include "platform/rtl/cp866.h"
#include "platform/rtl/dates.h"
#include "rtl_calls.h"

namespace kvel::rtl::test {
namespace {

using eval::Value;

Value D(const char* yyyymmdd) { return Value::date(stod(yyyymmdd)); }

TEST(Dates, CtodReadsTheFormatThroughTheEpoch) {
  struct Row {
    const char* text;
    const char* dtos;
  };
  static const Row rows[] = {
      {"01/01/24", "20240101"},        {"01/01/34", "20340101"}, {"31/12/34", "20341231"},
      {"01/01/35", "19350101"},        {"01/01/00", "20000101"}, {"01/01/2024", "20240101"},
      {"01/01/1899", "18990101"},      {"31/02/24", "        "}, {"29/02/00", "20000229"},
      {"29/02/23", "        "},        {"01/13/24", "        "}, {"32/01/24", "        "},
      {"31/04/24", "        "},        {"", "        "},         {"  /  /  ", "        "},
      {"00/00/00", "        "},        {"abc", "        "},      {"01/01", "20000101"},
      {"010124", "        "},          {"15.03.24", "20240315"}, {"01/01/24 extra", "20240101"},
      {"99999999999/1/1", "        "},
  };
  eval::Settings s;
  for (const Row& r : rows) EXPECT_EQ(dtos(ctod(s, r.text)), r.dtos) << r.text;

  s.epoch = 1950;
  EXPECT_EQ(dtos(ctod(s, "01/01/49")), "20490101");
  EXPECT_EQ(dtos(ctod(s, "01/01/50")), "19500101");
  s.date_format = "mm/dd/yyyy";
  EXPECT_EQ(dtos(ctod(s, "12/31/1999")), "19991231");
  EXPECT_EQ(dtoc(s, stod("19991231")), "12/31/1999");
  EXPECT_EQ(dtoc(s, 0), "  /  /    ");
}

TEST(Dates, TextsPartsAndNames) {
  RtlRuntime r;
  struct Case {
    const char* fn;
    std::vector<Value> args;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"DTOC", {D("19991231")}, "C:|31/12/99|"},
      {"DTOC", {D("21000101")}, "C:|01/01/00|"},
      {"DTOC", {Value::date(0)}, "C:|  /  /  |"},
      {"DTOC", {S("x")}, "ERR:1:BASE/1118"},
      {"DTOS", {Value::date(1)}, "C:|00000000|"},
      {"DTOS", {S("x")}, "ERR:1:BASE/1120"},
      {"STOD", {S("20240229")}, "D:20240229"},
      {"STOD", {S("20230229")}, "D:        "},
      {"STOD", {S("2024")}, "D:        "},
      {"STOD", {S("2024-01-01")}, "D:        "},
      {"STOD", {S("99991231")}, "D:99991231"},
      {"STOD", {NIL()}, "D:        "},
      {"CTOD", {I(1)}, "ERR:1:BASE/1119"},
      {"DAY", {D("20240315")}, "N: 15  15"},
      {"MONTH", {D("20240315")}, "N:  3   3"},
      {"YEAR", {D("20340101")}, "N: 2034  2034"},
      {"YEAR", {Value::date(0)}, "N:    0     0"},
      {"YEAR", {S("2024")}, "ERR:1:BASE/1112"},
      {"DOW", {D("20240101")}, "N:  2   2"},
      {"DOW", {D("20240107")}, "N:  1   1"},
      {"DOW", {D("20240106")}, "N:  7   7"},
      {"DOW", {Value::date(0)}, "N:  0   0"},
      {"CDOW", {D("20240101")}, "C:|" + cp866::from_utf8("Понедельник") + "|"},
      {"CDOW", {Value::date(0)}, "C:||"},
      {"CMONTH", {D("20240101")}, "C:|" + cp866::from_utf8("Январь") + "|"},
      {"CMONTH", {D("20241215")}, "C:|" + cp866::from_utf8("Декабрь") + "|"},
      {"CMONTH", {Value::date(0)}, "C:||"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(r.run(c.fn, c.args), c.want) << c.fn << " case " << (&c - cases.data());
  // Day numbers are the Julian day numbers, so date differences are day counts.
  EXPECT_EQ(stod("20240101"), 2460311);
  EXPECT_EQ(stod("20240301") - stod("20240201"), 29);
  EXPECT_TRUE(r.call("DATE", {}).as_date() > stod("20240101"));
}

TEST(Dates, CivilRoundTripsEveryDayOfFourCenturies) {
  for (int32_t jd = stod("18991231"); jd <= stod("23000101"); ++jd) {
    CivilDate c = civil(jd);
    ASSERT_EQ(day_number(c.year, c.month, c.day), jd);
  }
}

}  // namespace
}  // namespace kvel::rtl::test
