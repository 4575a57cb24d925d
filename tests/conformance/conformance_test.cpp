// Every conformance group file through the code of kvel-eval: each line's
// expression must give exactly the recorded canonical result.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/test_support.h"
#include "tools/kvel_eval.h"

namespace kvel {
namespace {

// The groups that must match. ORDER: none; one line enables a group.
const char* const kGroups[] = {
    "01-operators",
    "02-numbers",
    "03-strings",
    "04-dates",
    "05-types",
    "06-arrays",
    "07-macro",
    "08-collation",
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

}  // namespace
}  // namespace kvel
