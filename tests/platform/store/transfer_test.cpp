// Copying between tables and text files with field lists and scopes, and
// the structure table, through the family's functions.
#include <gtest/gtest.h>

#include "session.h"
#include "support/test_support.h"

namespace kvel::test {
namespace {

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp.copy_fixture("fix1.dbf");
    tmp.copy_fixture("fix1.dbt");
    s.rt.settings().deleted = false;
    s.run("DBUSEAREA(.T.,, \"" + p("fix1") + "\", \"F\", .T., .T.)");
  }
  std::string p(const std::string& name) const { return (tmp / name).string(); }
  std::string q(const std::string& name) const { return "\"" + p(name) + "\""; }
  TempDir tmp;
  Session s;
};

TEST_F(TransferTest, CopyToWithFieldsAndForThenAppendFromBack) {
  s.run("__DBCOPY(" + q("part") + ", {\"NAME\", \"QTY\", \"NOTE\"}, {|| QTY > 100})");
  s.run("DBUSEAREA(.T.,, " + q("part") + ", \"P\", .F.)");
  EXPECT_EQ(s.canon("FCOUNT()"), "N:         3          3");
  EXPECT_EQ(s.canon("RECCOUNT()"), "N:         3          3");
  EXPECT_EQ(s.canon("(DBGOTO(1), QTY)"), "N:99999 99999");
  EXPECT_EQ(s.run("LEN(NOTE)").as_int(), 511);  // the memo came along
  // Appending from the fixture, opened anew for it: matching fields only,
  // the first 4 records.
  s.run("__DBAPP(" + q("fix1") + ", {}, NIL, NIL, 4, NIL, .F.)");
  EXPECT_EQ(s.canon("RECCOUNT()"), "N:         7          7");
  EXPECT_EQ(s.canon("(DBGOTO(5), NAME)"), "C:|" + cp("Петров") + "    |");
  EXPECT_EQ(s.canon("(DBGOTO(6), DELETED())"), "L:T");  // record 3 of the fixture is deleted
  EXPECT_TRUE(s.errors.empty()) << s.errors.front();
}

TEST_F(TransferTest, TextFilesFixedWidthAndDelimitedRoundTrip) {
  s.run("__DBSDF(.T., " + q("out.txt") +
        ", {\"NAME\", \"AMOUNT\", \"DDATE\", \"FLAG\"}, NIL, NIL, NIL, 2)");
  EXPECT_EQ(read_file(p("out.txt")), cp("Петров    ") + "   -123.4520000229F\r\n\x1A");
  s.run("__DBDELIM(.T., " + q("out.csv") +
        ", NIL, {\"NAME\", \"QTY\", \"DDATE\"}, {|| RECNO() < 3})");
  EXPECT_EQ(read_file(p("out.csv")),
            "\"" + cp("Иванов") + "\",10,19900517\r\n\"" + cp("Петров") + "\",-5,20000229\r\n\x1A");
  s.run("__DBCOPYSTRUCT(" + q("back") + ", {})");
  s.run("DBUSEAREA(.T.,, " + q("back") + ", \"B\", .F.)");
  s.run("__DBDELIM(.F., " + q("out.csv") + ", NIL, {\"NAME\", \"QTY\", \"DDATE\"})");
  s.run("__DBSDF(.F., " + q("out.txt") + ", {\"NAME\", \"AMOUNT\", \"DDATE\", \"FLAG\"})");
  EXPECT_EQ(s.canon("RECCOUNT()"), "N:         3          3");
  EXPECT_EQ(s.canon("(DBGOTO(2), STR(QTY) + DTOS(DDATE))"), "C:|   -520000229|");
  EXPECT_EQ(s.canon("(DBGOTO(3), STR(AMOUNT, 10, 2) + NAME)"),
            "C:|   -123.45" + cp("Петров    ") + "|");
  EXPECT_TRUE(s.errors.empty()) << s.errors.front();
}

TEST_F(TransferTest, StructureExtendedMakesTheSameStructure) {
  s.run("__DBCOPYXSTRUCT(" + q("xs") + ")");
  s.run("DBUSEAREA(.T.,, " + q("xs") + ", \"X\", .F.)");
  EXPECT_EQ(s.canon("RECCOUNT()"), "N:         6          6");
  EXPECT_EQ(s.canon("(DBGOTO(2), FIELD_NAME + FIELD_TYPE + STR(FIELD_LEN) + STR(FIELD_DEC))"),
            "C:|AMOUNT    N 10  2|");
  s.run("DBCLOSEAREA()");
  s.run("__DBCREATE(" + q("made") + ", " + q("xs") + ", NIL, .T., \"M2\")");
  EXPECT_EQ(s.canon("ALIAS()"), "C:|M2|");
  EXPECT_EQ(s.canon("DBSTRUCT()"), s.canon("F->(DBSTRUCT())"));
  EXPECT_TRUE(s.errors.empty()) << s.errors.front();
}

}  // namespace
}  // namespace kvel::test
