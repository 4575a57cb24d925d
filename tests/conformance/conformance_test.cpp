// Every conformance group file through the code of kvel-eval: each line's
// expression must give exactly the recorded canonical result.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/rtl/cp866.h"
#include "support/test_support.h"
#include "tools/kvel_eval.h"

namespace kvel {
namespace {

// The groups that must match. ORDER: none; one line enables a group.
const char* const kGroups[] = {
    "01-operators", "02-numbers", "03-strings", "04-dates",
    "05-types",     "06-arrays",  "07-macro",   "08-collation",
};

class Conformance : public testing::TestWithParam<const char*> {};

TEST_P(Conformance, GroupGivesTheRecordedResults) {
  std::string data =
      test::read_file(test::shared_dir() / "conformance" / (std::string(GetParam()) + ".tsv"));
  ASSERT_FALSE(data.empty());
  eval::Runtime rt;
  tools::setup_runtime(rt);
  std::istringstream in(data);
  std::string line;
  int cases = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string expr = line.substr(0, tab), expected = line.substr(tab + 1);
    EXPECT_EQ(tools::eval_line(rt, expr), expected) << "expr: " << test::escaped(expr);
    ++cases;
  }
  EXPECT_GT(cases, 0);
}

INSTANTIATE_TEST_SUITE_P(Groups, Conformance, testing::ValuesIn(kGroups),
                         [](const testing::TestParamInfo<const char*>& p) {
                           std::string n = p.param;
                           for (char& c : n) {
                             if (c == '-') c = '_';
                           }
                           return "G" + n;
                         });

// kvel-eval reaches the table store and a keyboard without keys, so a whole
// table session is one line and a wait for a key ends with no key.
TEST(EvalTool, ReachesTheTableStoreAndTheKeyboard) {
  test::TempDir dir;
  for (const char* f : {"fix1.dbf", "fix1.dbt", "fix1_nm.ntx"}) dir.copy_fixture(f);
  eval::Runtime rt;
  tools::setup_runtime(rt);
  std::string base = (dir.path() / "fix1").string();
  std::string session = "(DBUSEAREA(.T.,, \"" + base + "\", \"T1\", .T., .T.), ORDLISTADD(\"" +
                        base + "_nm\"), DBSEEK(\"" + rtl::cp866::from_utf8("ПЕТРОВ") +
                        "\"), x := RECNO(), DBCLOSEAREA(), x)";
  EXPECT_EQ(tools::eval_line(rt, session), "N:         2          2");
  EXPECT_EQ(tools::eval_line(rt, "USED()"), "L:F");
  EXPECT_EQ(tools::eval_line(rt, "INKEY(2)"), "N:         0          0");
}

}  // namespace
}  // namespace kvel
