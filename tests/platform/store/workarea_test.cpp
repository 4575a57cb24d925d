// Work areas through the family's functions, as expressions of the system
// use them: the fixtures in every order, seeks, filters, relations, field
// reads and writes, appends with their index entries, pack and zap.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "manifest.h"
#include "session.h"
#include "support/test_support.h"

namespace kvel::test {
namespace {

class WorkAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const ManifestTable& t : manifest()) {
      tmp.copy_fixture(t.file);
      if (!t.memo.empty()) tmp.copy_fixture(t.memo);
      for (const ManifestIndex& x : t.indexes) tmp.copy_fixture(x.file);
    }
  }
  std::string path(const std::string& name) const { return (tmp / name).string(); }
  // "DBUSEAREA(.T.,, "<dir>/fix1", "T1", shared, readonly)"
  std::string use(const std::string& table, bool shared = false, bool readonly = false) const {
    return "DBUSEAREA(.T.,, \"" + path(table) + "\", \"T1\", " + (shared ? ".T." : ".F.") + ", " +
           (readonly ? ".T." : ".F.") + ")";
  }
  // Record numbers from here to the end (or the beginning) of the order.
  std::string walk(Session& s, int step = 1) {
    std::ostringstream out;
    store::WorkArea* w = s.st.current();
    for (int guard = 0; guard < 10000 && !w->eof(); ++guard) {
      out << (out.tellp() ? " " : "") << w->recno();
      EXPECT_TRUE(w->skip(s.rt, step).ok());
      if (w->bof()) break;
    }
    return out.str();
  }
  TempDir tmp;
};

std::string joined(const std::vector<uint32_t>& v) {
  std::ostringstream out;
  for (size_t i = 0; i < v.size(); ++i) out << (i ? " " : "") << v[i];
  return out.str();
}

TEST_F(WorkAreaTest, FixtureTablesWalkInEveryOrderWithDeletedShownAndHidden) {
  for (const ManifestTable& t : manifest()) {
    for (const ManifestIndex& x : t.indexes) {
      for (bool hide : {false, true}) {
        Session s;
        s.rt.settings().deleted = hide;
        // The big table exclusively: shared use rereads the index header at every step.
        s.run(use(t.file, t.count < 1000, true));
        s.run("ORDLISTADD(\"" + path(x.file) + "\")");
        s.run("DBGOTOP()");
        EXPECT_EQ(walk(s), joined(hide ? x.order_nodel : x.order)) << x.file;
        // Backwards from the bottom: the same in reverse.
        s.run("DBGOBOTTOM()");
        std::string back = walk(s, -1);
        std::vector<uint32_t> want = hide ? x.order_nodel : x.order;
        std::reverse(want.begin(), want.end());
        EXPECT_EQ(back, joined(want)) << x.file << " backwards";
        EXPECT_TRUE(s.errors.empty()) << x.file << ": " << s.errors.front();
      }
    }
  }
}

TEST_F(WorkAreaTest, FieldValuesReadAsTheManifestSays) {
  for (const ManifestTable& t : manifest()) {
    Session s;
    s.rt.settings().deleted = false;
    s.run(use(t.file, false, true));
    ASSERT_EQ(s.run("RECCOUNT()").as_int(), static_cast<int64_t>(t.count));
    for (const ManifestRecord& r : t.records) {
      s.run("DBGOTO(" + std::to_string(r.recno) + ")");
      EXPECT_EQ(s.run("DELETED()").as_logical(), r.deleted) << t.file << " " << r.recno;
      for (size_t f = 0; f < t.fields.size(); ++f) {
        ASSERT_EQ(s.canon("FIELDGET(" + std::to_string(f + 1) + ")"), r.values[f])
            << t.file << " record " << r.recno << " field " << t.fields[f].name;
      }
    }
    EXPECT_TRUE(s.errors.empty()) << t.file << ": " << s.errors.front();
  }
}

TEST_F(WorkAreaTest, OneExpressionSessionSeeksAName) {
  Session s;
  std::string expr = "(DBUSEAREA(.T.,, \"" + path("fix1") + "\", \"T1\", .T., .T.), ORDLISTADD(\"" +
                     path("fix1_nm") + "\"), DBSEEK(\"" + cp("ИВАНОВ") +
                     "\"), x := RECNO(), DBCLOSEAREA(), x)";
  EXPECT_EQ(s.canon(expr), "N:         1          1");
  EXPECT_TRUE(s.errors.empty());
}

TEST_F(WorkAreaTest, SeeksInCharacterNumericDateAndDescendingOrders) {
  struct Case {
    const char* index;
    std::string key;  // an expression
    bool soft;
    std::string want;  // FOUND() RECNO() EOF()
  };
  const Case cases[] = {
      {"fix1_nm", "\"" + cp("ИВАН") + "\"", false, "T 1 F"},  // a prefix finds
      {"fix1_nm", "\"IVANOV\"", false, "T 4 F"},              // the first of equal keys
      {"fix1_nm", "\"" + cp("ИВАНЫЧ") + "\"", false, "F 31 T"},
      {"fix1_nm", "\"" + cp("ИВАНЫЧ") + "\"", true, "F 24 F"},  // soft: the next key
      {"fix1_nm", "\"" + cp("ЯЯ") + "\"", true, "F 9 F"},
      {"fix1_nm", "\"zzz\"", true, "F 16 F"},  // lower-case Latin sorts before Cyrillic
      {"fix1_nm", "\"" + cp("ёя") + "\"", true, "F 31 T"},  // past every key
      {"fix1_am", "-123.45", false, "T 2 F"},
      {"fix1_am", "0", false, "T 6 F"},
      {"fix1_am", "-0.02", true, "F 12 F"},
      {"fix1_am", "1000000", false, "T 13 F"},
      {"fix1_dt", "CTOD(\"17/05/90\")", false, "T 1 F"},
      {"fix1_dt", "CTOD(\"\")", false, "T 6 F"},
      {"fix1_ds", "\"Z\"", false, "T 13 F"},  // descending: "zebra" comes before "Zebra"
      {"fix1_ds", "\"a\"", true, "F 13 F"},   // soft: "Zebra", the first key below "a"
      {"fix1_lg", ".T.", false, "T 1 F"},
  };
  for (const Case& c : cases) {
    Session s;
    s.run(use("fix1.dbf", true, true));
    s.run("ORDLISTADD(\"" + path(c.index) + "\")");
    s.run("DBSEEK(" + c.key + ", " + (c.soft ? ".T." : ".F.") + ")");
    std::string got = std::string(s.run("FOUND()").as_logical() ? "T" : "F") + " " +
                      std::to_string(s.run("RECNO()").as_int()) + " " +
                      (s.run("EOF()").as_logical() ? "T" : "F");
    EXPECT_EQ(got, c.want) << c.index << " seek " << escaped(c.key);
  }
}

TEST_F(WorkAreaTest, FilterHidesRecordsAndRelationFollowsTheParent) {
  Session s;
  s.run(use("fix1.dbf", true));
  s.run("DBSETFILTER({|| QTY > 100}, \"QTY > 100\")");
  s.run("DBGOTOP()");
  EXPECT_EQ(walk(s), "5 15 20");
  EXPECT_EQ(s.canon("DBFILTER()"), "C:|QTY > 100|");
  s.run("DBCLEARFILTER()");
  // A child keyed by NAME follows the parent's DDATE-ordered records.
  s.run("DBUSEAREA(.T.,, \"" + path("fix1.dbf") + "\", \"C\", .T., .T.)");
  s.run("ORDLISTADD(\"" + path("fix1_nm") + "\")");
  s.run("DBSELECTAREA(\"T1\")");
  s.run("DBSETRELATION(\"C\", {|| UPPER(NAME)}, \"UPPER(NAME)\")");
  s.run("DBGOTO(14)");  // zebra
  EXPECT_EQ(s.run("C->(RECNO())").as_int(), 13);
  s.run("DBGOTO(6)");  // blank name: the first blank record
  EXPECT_EQ(s.run("C->(RECNO())").as_int(), 6);
  EXPECT_EQ(s.canon("SELECT()"), "N:         1          1");
  EXPECT_TRUE(s.errors.empty()) << s.errors.front();
}

TEST_F(WorkAreaTest, WritesAppendsAndDeletionsKeepEveryIndexRight) {
  Session s;
  s.rt.settings().deleted = false;
  s.run(use("fix1.dbf"));
  const char* idx[] = {"fix1_nm", "fix1_am", "fix1_qt", "fix1_dt", "fix1_cp", "fix1_fr", "fix1_un"};
  for (const char* x : idx) s.run("ORDLISTADD(\"" + path(x) + "\")");
  s.run("DBGOTO(3)");
  s.run("FIELDPUT(1, \"AAA\"), FIELDPUT(2, -7.5), FIELDPUT(3, 0)");
  for (int i = 0; i < 40; ++i) {
    s.run("DBAPPEND()");
    s.run("T1->NAME := \"N" + std::to_string(i % 7) +
          "\", T1->AMOUNT := " + std::to_string(i * 3 - 50) + ", QTY := " + std::to_string(i % 4) +
          ", DDATE := CTOD(\"01/02/" + std::to_string(10 + i) + "\")");
  }
  s.run("DBGOTO(7)");
  s.run("DBDELETE()");
  s.run("DBCOMMIT()");
  EXPECT_EQ(s.run("RECCOUNT()").as_int(), 70);
  ASSERT_TRUE(s.errors.empty()) << s.errors.front();
  // Every order walks through the records sorted by its key, equal keys
  // in the order they were made (record order here); the FOR index holds
  // only the records with QTY > 0 and the unique one the first of each key.
  struct Check {
    int order;
    std::string key;  // the key as an expression
    std::string cond;
    bool unique;
  };
  const Check checks[] = {
      {1, "UPPER(NAME)", "", false},        {2, "STR(AMOUNT,10,2)", "", false},
      {4, "DTOS(DDATE)", "", false},        {5, "STR(AMOUNT,10,2)+DTOS(DDATE)+NAME", "", false},
      {6, "UPPER(NAME)", "QTY > 0", false}, {7, "UPPER(NAME)", "", true}};
  for (const Check& c : checks) {
    std::vector<std::pair<std::string, int64_t>> want;
    s.run("DBSETORDER(0), DBGOTOP()");
    while (!s.run("EOF()").as_logical()) {
      if (c.cond.empty() || s.run(c.cond).as_logical())
        want.emplace_back(s.run(c.key).as_string(), s.run("RECNO()").as_int());
      s.run("DBSKIP()");
    }
    std::stable_sort(want.begin(), want.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    if (c.unique) {
      want.erase(std::unique(want.begin(), want.end(),
                             [](const auto& a, const auto& b) { return a.first == b.first; }),
                 want.end());
    }
    std::vector<std::pair<std::string, int64_t>> got;
    s.run("DBSETORDER(" + std::to_string(c.order) + "), DBGOTOP()");
    while (!s.run("EOF()").as_logical()) {
      got.emplace_back(s.run(c.key).as_string(), s.run("RECNO()").as_int());
      s.run("DBSKIP()");
    }
    // A numeric key orders as numbers, not as the text of STR().
    if (c.order == 2) {
      auto num = [](const std::pair<std::string, int64_t>& a,
                    const std::pair<std::string, int64_t>& b) {
        return std::stod(a.first.substr(0, 10)) < std::stod(b.first.substr(0, 10));
      };
      std::stable_sort(want.begin(), want.end(), num);
    }
    EXPECT_EQ(got.size(), want.size()) << "order " << c.order;
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
      if (got[i].first != want[i].first) {
        ADD_FAILURE() << "order " << c.order << " entry " << i << ": " << escaped(got[i].first)
                      << " want " << escaped(want[i].first);
        break;
      }
    }
  }
}

TEST_F(WorkAreaTest, PackAndZapNeedExclusiveUseAndKeepTheIndexes) {
  {
    Session s;
    s.run(use("fix1.dbf", true));
    s.run("__DBPACK()");
    ASSERT_EQ(s.errors.size(), 1u);
    EXPECT_EQ(s.errors[0], "37:DBFNTX/1023 os=0");
    EXPECT_EQ(s.run("RECCOUNT()").as_int(), 30);
  }
  Session s;
  s.run(use("fix1.dbf"));
  s.run("ORDLISTADD(\"" + path("fix1_nm") + "\")");
  s.run("__DBPACK()");
  EXPECT_EQ(s.run("RECCOUNT()").as_int(), 26);
  s.run("DBGOTOP()");
  EXPECT_EQ(s.canon("NAME"), "C:|          |");
  // Memos stay with their records.
  s.run("DBSEEK(\"" + cp("ЁЛКИН") + "\")");
  EXPECT_TRUE(s.run("FOUND()").as_logical());
  EXPECT_EQ(s.run("LEN(NOTE)").as_int(), 1500);  // record 9's memo in the fixture
  s.run("__DBZAP()");
  EXPECT_EQ(s.run("RECCOUNT()").as_int(), 0);
  EXPECT_TRUE(s.run("EOF()").as_logical());
  EXPECT_TRUE(s.errors.empty()) << s.errors.front();
  s.run("DBAPPEND(), NAME := \"X\", NOTE := \"memo\", DBCOMMIT()");
  EXPECT_EQ(s.canon("NOTE"), "M:|memo|");
  s.run("DBCLOSEAREA()");
  // The files stay openable by a new session.
  Session t;
  t.run(use("fix1.dbf"));
  EXPECT_EQ(t.run("RECCOUNT()").as_int(), 1);
  EXPECT_EQ(t.canon("NOTE"), "M:|memo|");
}

TEST_F(WorkAreaTest, OrdersAreNamedAtCreationAndChosenByName) {
  Session s;
  s.run(use("fix1.dbf"));
  // ORDCREATE(bag, order name, key text, key block, unique); no block: made from the text.
  s.run("ORDCREATE(\"" + path("by_qty") + "\", \"Qty\", \"QTY\")");
  s.run("ORDCREATE(\"" + path("by_amount") + "\", , \"AMOUNT\")");
  EXPECT_EQ(s.canon("{ORDNAME(), INDEXKEY()}"), "A:2{C:|BY_AMOUNT|,C:|AMOUNT|}");
  s.run("ORDLISTCLEAR(), ORDLISTADD(\"" + path("by_amount") + "\"), ORDLISTADD(\"" +
        path("by_qty") + "\")");
  EXPECT_EQ(s.canon("{ORDNAME(1), ORDNAME(2), ORDNAME(3), ORDNUMBER(\"qty\")}"),
            "A:4{C:|BY_AMOUNT|,C:|QTY|,C:||,N:         2          2}");
  // ORDSETFOCUS answers the order in force before.
  EXPECT_EQ(s.canon("ORDSETFOCUS(\"QTY\")"), "C:|BY_AMOUNT|");
  EXPECT_EQ(s.canon("{INDEXORD(), INDEXKEY(), ORDSETFOCUS(1), INDEXORD()}"),
            "A:4{N:         2          2,C:|QTY|,C:|QTY|,N:         1          1}");
  // The name lives in the index file: it survives a rebuild and a new open.
  s.run("DBREINDEX(), DBCLOSEAREA()");
  s.run(use("fix1.dbf", true, true) + ", ORDLISTADD(\"" + path("by_qty") + "\")");
  EXPECT_EQ(s.canon("ORDNAME(1)"), "C:|QTY|");
  EXPECT_TRUE(s.errors.empty()) << s.errors.front();
}

TEST_F(WorkAreaTest, OpenErrorsCarryTheOsCode) {
  Session s;
  s.run("DBUSEAREA(.T.,, \"" + path("missing") + "\")");
  ASSERT_EQ(s.errors.size(), 1u);
  EXPECT_EQ(s.errors[0], "21:DBFNTX/1001 os=2");
  EXPECT_FALSE(s.run("USED()").as_logical());
  // Held exclusively by another open (another program would be the same).
  s.errors.clear();
  s.run(use("fix1.dbf"));
  s.run("DBUSEAREA(.T.,, \"" + path("fix1") + "\", \"T2\", .T.)");
  ASSERT_EQ(s.errors.size(), 1u);
  EXPECT_EQ(s.errors[0], "21:DBFNTX/1001 os=32");
  EXPECT_TRUE(s.run("NETERR()").as_logical());
  EXPECT_FALSE(s.run("USED()").as_logical());
}

TEST_F(WorkAreaTest, ReadOnlyTablesAreNotWrittenEvenByRoot) {
  Session s;
  std::filesystem::permissions(path("fix1.dbf"), std::filesystem::perms::owner_read);
  std::string before = read_file(path("fix1.dbf"));
  // Opening it for writing is refused with access denied; pack never starts.
  s.run(use("fix1.dbf") + ", __DBPACK()");
  ASSERT_FALSE(s.errors.empty());
  EXPECT_EQ(s.errors[0], "21:DBFNTX/1001 os=5");
  EXPECT_FALSE(s.run("USED()").as_logical());
  // A read-only open reads it; a new index over a read-only index file is refused.
  s.errors.clear();
  std::filesystem::permissions(path("fix1_nm.ntx"), std::filesystem::perms::owner_read);
  s.run(use("fix1.dbf", false, true));
  EXPECT_EQ(s.run("RECCOUNT()").as_int(), 30);
  s.run("DBCLOSEAREA()");
  std::filesystem::permissions(path("fix1.dbf"), std::filesystem::perms::owner_all);
  s.run(use("fix1.dbf") + ", ORDCREATE(\"" + path("fix1_nm") + "\",, \"NAME\")");
  ASSERT_EQ(s.errors.size(), 1u);
  EXPECT_EQ(s.errors[0], "20:DBFNTX/1004 os=5");
  EXPECT_EQ(read_file(path("fix1.dbf")), before);
}

}  // namespace
}  // namespace kvel::test
