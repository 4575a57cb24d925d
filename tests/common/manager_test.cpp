#include "common/manager.h"

#include <gtest/gtest.h>

#include "common/main.h"
#include "common/publics.h"
#include "platform/eval/eval.h"
#include "runner_fixture.h"

namespace kvel::common {
namespace {

using eval::Args;
using eval::Runtime;
using eval::Value;

// Procedures of the tests: each records what it sees and follows a script of
// transitions, one per run.
std::vector<std::string> g_seen;
std::vector<std::string> g_moves;  // "2N11007", "0", "1M01003" ...

std::string state(Runtime& rt, const char* who) {
  std::string s = std::string(who) + " prstk=" + std::to_string(number_of(get(rt, pub::PRSTK))) +
                  " ustk=" + std::to_string(number_of(get(rt, pub::USTK))) +
                  " smp=" + text_of(smp(rt, 1)) + "," + std::to_string(smp_number(rt, 2)) + "," +
                  std::to_string(smp_number(rt, 3)) + "," + std::to_string(smp_number(rt, 4)) +
                  " par=";
  for (const auto& p : entry_params(rt)) s += p + "|";
  return s;
}

Value follow(Runtime& rt, const char* who) {
  g_seen.push_back(state(rt, who));
  std::string m = g_moves.empty() ? "0" : g_moves.front();
  if (!g_moves.empty()) g_moves.erase(g_moves.begin());
  set(rt, pub::PRSTK, Value::integer(m[0] - '0'));
  if (m.size() >= 7) {
    set_smp(rt, 1, Value::string(m.substr(1, 3)));
    set_smp(rt, 2, Value::integer(std::stol(m.substr(4, 3))));
  }
  return {};
}
Value procm01(Runtime& rt, Args) { return follow(rt, "M01"); }
Value procn11(Runtime& rt, Args) { return follow(rt, "N11"); }
Value procd05(Runtime& rt, Args) { return follow(rt, "D05"); }

struct ManagerTest : ::testing::Test {
  test::RunnerFixture f;
  void SetUp() override {
    g_seen.clear();
    g_moves.clear();
    f.rt().registry().function("PROCM01", procm01);
    f.rt().registry().function("PROCN11", procn11);
    f.rt().registry().function("PROCD05", procd05);
  }
  void expect_seen(const std::vector<std::string>& want) {
    ASSERT_EQ(g_seen.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(g_seen[i], want[i]) << "step " << i + 1;
  }
};

TEST_F(ManagerTest, WorkedExampleCallAndReturn) {
  f.describe("1\n  M01002\n2\n  a\n  b\n  c\n7\n  1N11007;x\n  e\n  f\n  g\n");
  g_moves = {"2N11007", "0", "0"};
  EXPECT_EQ(run_description(f.rt()), 0);
  expect_seen({
      "M01 prstk=1 ustk=1 smp=M01,2,1,3 par=a|b|c|",
      "N11 prstk=2 ustk=2 smp=N11,7,4,4 par=1N11007;x|e|f|g|",
      // resumed without reading: the same strings although the callee's were loaded after
      "M01 prstk=0 ustk=1 smp=M01,2,1,3 par=a|b|c|",
  });
}

TEST_F(ManagerTest, ReplaceCallWithNoStringsAndDeepLevels) {
  // Entry 3 has no strings; digit 3 (like any digit but 0 and 2) replaces.
  f.describe("1\n  D05002\n2\n  x\n  y\n3\n");
  g_moves = {"2D05002", "2D05002", "2D05002", "2D05002", "2D05003", "3N11002",
             "0",       "0",       "0",       "0",       "0",       "0"};
  EXPECT_EQ(run_description(f.rt()), 0);
  ASSERT_GE(g_seen.size(), 7u);
  EXPECT_EQ(g_seen[4], "D05 prstk=2 ustk=5 smp=D05,2,9,2 par=x|y|");
  // the call from level 5 to an entry of 0 strings: one past the caller's last string
  EXPECT_EQ(g_seen[5], "D05 prstk=2 ustk=6 smp=D05,3,11,0 par=");
  // the replace keeps the level and its place in SPAR
  EXPECT_EQ(g_seen[6], "N11 prstk=3 ustk=6 smp=N11,2,11,2 par=x|y|");
  EXPECT_EQ(g_seen[7], "D05 prstk=0 ustk=5 smp=D05,2,9,2 par=x|y|");
}

TEST_F(ManagerTest, JumpTakesTheTransitionOfTheFirstString) {
  f.describe("1\n  D05002\n2\n  1N11007;a;b\n");
  f.rt().registry().function("PROCD05", [](Runtime& rt, Args) -> Value {
    jump(rt);
    g_seen.push_back(state(rt, "after-jump"));
    set(rt, pub::PRSTK, Value::integer(0));
    return {};
  });
  run_description(f.rt());
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0], "after-jump prstk=1 ustk=1 smp=N11,7,1,1 par=1N11007;a;b|");
}

TEST_F(ManagerTest, NestedDescriptionEntryForm) {
  // Outer: level 1 D05 calls entry 12 under Z00 at level 2.
  f.describe("1\n  D05002\n2\n  m\n3\n  three\n12\n  1D05003\n  .2\n");
  f.describe("1\n  N11005\n5\n  inner\n", "2");
  g_moves = {"2Z00012", "0", "0", "0"};
  EXPECT_EQ(run_description(f.rt()), 0);
  expect_seen({
      "D05 prstk=1 ustk=1 smp=D05,2,1,1 par=m|",
      "N11 prstk=1 ustk=3 smp=N11,5,2,1 par=inner|",
      // after the nested level returned, the marker gave way to entry 3 of the outer files
      "D05 prstk=1 ustk=2 smp=D05,3,2,1 par=three|",
      "D05 prstk=0 ustk=1 smp=D05,2,1,1 par=m|",
  });
}

std::string where(Runtime& rt, const char* who) {
  return std::string(who) + " " + std::to_string(smp_number(rt, 2)) + " ";
}

TEST(NestedNames, FilesOfTheEntryFormAndWhereTheRunGoesOn) {
  // The outer level 1 calls entry 12 under Z00; its strings are the case's.
  struct Case {
    const char* name;
    const char* z00;  // the strings of entry 12
    const char* nested_ext;
    const char* inner;  // what the nested procedure sees
    const char* after;  // the outer procedure that runs next
  };
  const Case cases[] = {
      {"short offset name, no control, no directory", "  1D05003\n  .3\n", "3",
       "N11 5 offset.3 control.3", "D05 3 prstk=1 offset.0"},
      {"evaluated names; an empty control name follows the offset name",
       "  0D05003\n  &'.' + '4'\n  &''\n", "4", "N11 5 offset.4 control.4",
       "D05 2 prstk=0 offset.0"},
      {"a directory and a start entry of its own", "  1D05003N11006\n  .5\n\\\n  sub\n", "5",
       "N11 6 sub/offset.5 sub/control.5", "D05 3 prstk=1 offset.0"},
      {"a name with a path takes no directory", "  1D05003\n  sub/offset.6\n  control.6\n  x\n",
       "6", "N11 5 sub/offset.6 control.6", "D05 3 prstk=1 offset.0"},
  };
  static std::vector<std::string> seen;
  static int calls;
  for (const Case& c : cases) {
    test::RunnerFixture f;
    seen.clear();
    calls = 0;
    f.rt().registry().function("PROCD05", [](Runtime& rt, Args) -> Value {
      seen.push_back(where(rt, "D05") + "prstk=" + std::to_string(number_of(get(rt, pub::PRSTK))) +
                     " " + text_of(get(rt, pub::OFFSET)));
      bool first = calls++ == 0;
      set(rt, pub::PRSTK, Value::integer(first ? 2 : 0));
      if (first) {
        set_smp(rt, 1, Value::string("Z00"));
        set_smp(rt, 2, Value::integer(12));
      }
      return {};
    });
    f.rt().registry().function("PROCN11", [](Runtime& rt, Args) -> Value {
      seen.push_back(where(rt, "N11") + text_of(get(rt, pub::OFFSET)) + " " +
                     text_of(get(rt, pub::CONTROL)));
      set(rt, pub::PRSTK, Value::integer(0));
      return {};
    });
    f.describe(std::string("1\n  D05002\n2\n  m\n3\n  three\n12\n") + c.z00);
    std::filesystem::create_directories(f.dir() / "sub");
    common::DescCompile d = common::compile_description("1\n  N11005\n5\n  five\n6\n  six\n");
    ASSERT_TRUE(d.problems.empty());
    std::string ext = c.nested_ext;
    for (const char* dir : {".", "sub"}) {
      test::write_file(f.dir() / dir / ("offset." + ext), d.image.offset);
      test::write_file(f.dir() / dir / ("control." + ext), d.image.control);
    }
    EXPECT_EQ(run_description(f.rt()), 0) << c.name;
    ASSERT_GE(seen.size(), 3u) << c.name;
    EXPECT_EQ(seen[1], c.inner) << c.name;
    // the outer files are back, and the run goes on as the return spec says
    EXPECT_EQ(seen[2], c.after) << c.name;
  }
}

TEST_F(ManagerTest, NestedDescriptionFunctionFormComesBackToTheCaller) {
  f.describe("1\n  D05002\n2\n  m\n");
  f.describe("1\n  N11005\n5\n  inner\n", "3");
  f.rt().registry().function("PROCD05", [](Runtime& rt, Args) -> Value {
    g_seen.push_back(state(rt, "before"));
    eval::evaluate(rt, "PROCZ00(3)");
    g_seen.push_back(state(rt, "after") + " offset=" + text_of(get(rt, pub::OFFSET)));
    set(rt, pub::PRSTK, Value::integer(0));
    return {};
  });
  g_moves = {"0"};
  EXPECT_EQ(run_description(f.rt()), 0);
  expect_seen({
      "before prstk=1 ustk=1 smp=D05,2,1,1 par=m|",
      "N11 prstk=1 ustk=3 smp=N11,5,2,1 par=inner|",
      "after prstk=1 ustk=1 smp=D05,2,1,1 par=m| offset=offset.0",
  });
}

TEST_F(ManagerTest, UncaughtBreakRestartsFromTheStartRecord) {
  f.describe("1\n  D05002\n2\n  m\n");
  f.rt().registry().function("PROCD05", [](Runtime& rt, Args) -> Value {
    g_seen.push_back(state(rt, "run"));
    // The restart keeps DOSPAR only; it counts the runs here.
    std::string d = text_of(get(rt, pub::DOSPAR)) + "x";
    set(rt, pub::DOSPAR, Value::string(d));
    if (d.size() < 3) eval::evaluate(rt, "FBRK(1, 'N11', 9, .T.)");
    set(rt, pub::PRSTK, Value::integer(0));
    return {};
  });
  EXPECT_EQ(run_description(f.rt()), 0);
  ASSERT_EQ(g_seen.size(), 3u);
  for (const auto& s : g_seen) EXPECT_EQ(s, "run prstk=1 ustk=1 smp=D05,2,1,1 par=m|");
}

TEST(Restart, AStartEntryThatBreaksOffAtOnceEndsTheRunInsteadOfRestartingForEver) {
  // Each run counts itself, then breaks off to the restart.
  const char* always = "1\n  N10002\n2\n  0N10000\n  RUNS()\n  FBRK(1, 'N10', 2, 1)\n";
  const char* stuffed =
      "1\n  N10002\n2\n  0N10000\n  RUNS()\n  KEYB(65)\n  INKEY()\n  FBRK(1, 'N10', 2, 1)\n";
  // Keys of the user restart the run each time until Esc.
  const char* asks =
      "1\n  N10002\n2\n  0N10000\n  RUNS()\n  IIF(INKEY(0) == 27, 0, FBRK(1, 'N10', 2, 1))\n";
  struct Case {
    const char* name;
    const char* description;
    const char* keys;
    int exit_code;
    int runs;
    bool message;
  };
  const Case cases[] = {
      {"no key read", always, "checkpoint shown\nkey Enter", 99, 3, true},
      {"keys it put in itself", stuffed, "checkpoint shown\nkey Enter", 99, 100, true},
      {"keys of the user", asks, "key x x x x x Esc", 0, 6, false},
  };
  for (const Case& c : cases) {
    test::RunnerFixture f{c.keys};
    static int runs;
    runs = 0;
    f.rt().registry().function("RUNS", [](Runtime&, Args) -> Value {
      ++runs;
      return {};
    });
    f.describe(c.description);
    EXPECT_EQ(run_description(f.rt()), c.exit_code) << c.name;
    EXPECT_EQ(runs, c.runs) << c.name;
    const screen::Snapshot* s = f.at("shown");
    EXPECT_EQ(s != nullptr, c.message) << c.name;
    if (s) {
      EXPECT_NE(s->text().find("Описание прерывается сразу после каждого запуска"),
                std::string::npos)
          << s->text();
      EXPECT_NE(s->text().find("CONTROL.0"), std::string::npos) << s->text();
    }
  }
}

TEST_F(ManagerTest, ExitCodeIsTheOneSetLast) {
  f.describe("1\n  N10002\n2\n  0N10000\n  ERRORLEVEL(7)\n");
  EXPECT_EQ(run_description(f.rt()), 7);
}

}  // namespace
}  // namespace kvel::common

namespace kvel::common {
namespace {

TEST(StartDirectory, AsmPwdAndAsmCd) {
  test::RunnerFixture f;
  std::filesystem::create_directory(f.dir() / "Sub");
  std::string before = text_of(eval::evaluate(f.rt(), "ASM_PWD()"));
  ASSERT_GE(before.size(), 3u);
  EXPECT_EQ(before.substr(1, 2), ":\\");
  EXPECT_EQ(eval::evaluate(f.rt(), "ASM_CD('sub')").as_int(), 0);  // any letter case
  std::string after = text_of(eval::evaluate(f.rt(), "ASM_PWD()"));
  EXPECT_EQ(after, before + "\\Sub");
  EXPECT_NE(eval::evaluate(f.rt(), "ASM_CD('no-such-dir')").as_int(), 0);
  EXPECT_EQ(text_of(eval::evaluate(f.rt(), "ASM_PWD()")), after);
}

}  // namespace
}  // namespace kvel::common
