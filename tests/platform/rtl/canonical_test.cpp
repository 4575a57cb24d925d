#include <gtest/gtest.h>

#include "platform/rtl/set.h"
#include "rtl_calls.h"

namespace kvel::rtl::test {
namespace {

using eval::Value;

TEST(Canonical, EveryKindOfValue) {
  RtlRuntime r;
  auto arr = Value::new_array(0);
  arr.as_array()->items = {I(1), S("a"), NIL(), Value::date(0), L(true)};
  struct Row {
    Value v;
    std::string want;
  };
  const Row rows[] = {
      {S("a\\b\x7F\x01"), "C:|a\\x5Cb\\x7F\\x01|"},
      {Value::memo("m"), "M:|m|"},
      {F(2.5, 2), "N:         2.50          2.50"},
      {Value::date(2460311), "D:20240101"},
      {Value::date(0), "D:        "},
      {L(false), "L:F"},
      {NIL(), "U:NIL"},
      {arr, "A:5{N:         1          1,C:|a|,U:NIL,D:        ,L:T}"},
      {Value::new_array(0), "A:0{}"},
  };
  for (const Row& row : rows) EXPECT_EQ(canonical(r.rt, row.v), row.want);
}

TEST(Canonical, AnArrayInsideItselfDoesNotHang) {
  RtlRuntime r;
  Value a = Value::new_array(0);
  a.as_array()->items.push_back(I(1));
  a.as_array()->items.push_back(a);
  Value twice = Value::new_array(0);
  twice.as_array()->items = {Value::new_array(0), Value()};
  twice.as_array()->items[1] = twice.as_array()->items[0];  // shared, not a cycle
  EXPECT_EQ(canonical(r.rt, a), "A:2{N:         1          1,A:2{...}}");
  EXPECT_EQ(canonical(r.rt, twice), "A:2{A:0{},A:0{}}");
  a.as_array()->items.clear();  // break the cycle for the leak checker
}

TEST(Settings, SetReadsAndChangesBySetNumber) {
  RtlRuntime r;
  struct Row {
    int id;
    Value value;
    std::string old_value;
    std::string new_value;
  };
  const Row rows[] = {
      {kSetExact, L(false), "L:T", "L:F"},
      {kSetSoftseek, S("off"), "L:T", "L:F"},
      {kSetDecimals, I(4), "N:         2          2", "N:         4          4"},
      {kSetEpoch, I(1950), "N:      1935       1935", "N:      1950       1950"},
      {kSetDateFormat, S("dd.mm.yyyy"), "C:|dd/mm/yy|", "C:|dd.mm.yyyy|"},
      {kSetDevice, S("PRINTER"), "C:|SCREEN|", "C:|PRINTER|"},
      {kSetPath, I(1), "C:||", "C:||"},  // a wrong type changes nothing
      {999, I(1), "U:NIL", "U:NIL"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(r.run("SET", {I(row.id), row.value}), row.old_value) << "set " << row.id;
    EXPECT_EQ(r.run("SET", {I(row.id)}), row.new_value) << "set " << row.id;
  }
  EXPECT_TRUE(r.rt.settings().century);
  EXPECT_EQ(r.run("__SETCENTURY", {L(false)}), "L:T");
  EXPECT_EQ(r.rt.settings().date_format, "dd.mm.yy");
  {
    eval::KeepSettings keep(r.rt);
    r.run("__SETCENTURY", {S("ON")});
    EXPECT_EQ(r.run("DTOC", {Value::date(2460311)}), "C:|01.01.2024|");
  }
  EXPECT_EQ(r.run("DTOC", {Value::date(2460311)}), "C:|01.01.24|");
}

}  // namespace
}  // namespace kvel::rtl::test
