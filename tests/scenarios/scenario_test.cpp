// The scenario format itself, on small modules of this binary, and every
// scenario file in tests/scenarios/ (*.scn) run against the kvel executable.
#include "scenario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"
#include "support/test_support.h"

namespace kvel::scenario {
namespace {

namespace fs = std::filesystem;

// A two-item menu: Down moves the bar, Enter writes the chosen item to
// "chosen.txt" and ends with exit code 7, Esc ends with 0.
int menu_module(eval::Runtime& rt) {
  screen::Screen& s = rt.get<screen::Screen>();
  screen::Keyboard& k = rt.get<screen::Keyboard>();
  static const char* items[] = {"\x8f\xa5\xe0\xa2\xeb\xa9",
                                "\x82\xe2\xae\xe0\xae\xa9"};  // Первый, Второй
  int at = 0;
  for (;;) {
    s.begin();
    s.box({2, 10, 5, 30}, 2, 0x1F);
    for (int i = 0; i < 2; ++i) s.write(3 + i, 12, items[i], i == at ? 0x70 : 0x1F);
    s.set_pos(3 + at, 12);
    s.end();
    int key = k.inkey(rt, 0);
    if (key == screen::kKeyDown) at = (at + 1) % 2;
    if (key == screen::kKeyEsc) return 0;
    if (key == screen::kKeyEnter) {
      std::ofstream("chosen.txt", std::ios::binary) << items[at];
      return 7;
    }
  }
}

struct Registered {
  Registered() { register_module("menu", menu_module); }
} registered;

Outcome run_text(std::string_view text) {
  auto sc = parse(text);
  EXPECT_TRUE(sc.ok()) << sc.status().message();
  if (!sc.ok()) return {};
  return run(sc.value());
}

TEST(ScenarioFormat, PassingScenario) {
  Outcome o = run_text(R"(
scenario menu picks the second item
module menu
checkpoint start
expect row 3 col 12 "Первый"
expect colour 3 12 6 N/W
expect colour 4 12 6 W+/B
expect cursor 3 12
key Down
checkpoint moved
expect colour 4 12 6 N/W
expect row 2 col 10 "╔"
key Enter
at end
expect exit 7
expect file chosen.txt equals "Второй"
expect file chosen.txt contains "тор"
expect file other.txt missing
)");
  EXPECT_TRUE(o.ran);
  EXPECT_TRUE(o.failures.empty()) << testing::PrintToString(o.failures);
}

// The screen and key functions through the evaluator, as the description calls them.
TEST(ScenarioFormat, ExpressionOnTheHeadlessScreen) {
  Outcome o = run_text(R"(
expression (SetColor("W+/B"), DispBox(1, 1, 3, 12, 2), DevPos(2, 3), DevOut("Привет"), SetKey(-9, {|| DevOut("!")}), nKey := Inkey(0), DevPos(5, 0), DevOut(Str(nKey, 4)), DevOut(Str(LastKey(), 4)), DevOut(Str(Inkey(2), 2)))
checkpoint waiting
expect row 1 col 1 "╔══════════╗"
expect row 2 col 3 "Привет"
expect colour 2 3 6 W+/B
key F10
at end
expect row 5 "  -9  -9 0"
expect exit 0
)");
  EXPECT_TRUE(o.failures.empty()) << testing::PrintToString(o.failures);
}

TEST(ScenarioFormat, FailuresNameTheLineAndShowTheScreen) {
  struct Case {
    std::string_view expectation;
    std::string_view message;
  };
  static const Case cases[] = {
      {"expect row 3 col 12 \"Второй\"", "line 4: at start row 3 col 12 is not \"Второй\""},
      {"expect colour 3 12 2 W+/B", "line 4: at start row 3 col 12 is not W+/B:\n  {W/N}"},
      {"expect cursor 4 12", "line 4: at start the cursor is at 3,12"},
      {"expect exit 3", "line 4: exit code 0, expected 3"},
      {"expect file chosen.txt exists", "line 4: chosen.txt does not exist"},
      {"at nowhere\nexpect row 0 \"x\"", "line 5: the run reached no checkpoint \"nowhere\""},
  };
  for (const Case& c : cases) {
    Outcome o =
        run_text("module menu\ncheckpoint start\nkey Esc\n" + std::string(c.expectation) + "\n");
    ASSERT_EQ(o.failures.size(), 1u) << c.expectation;
    EXPECT_NE(o.failures[0].find(c.message), std::string::npos) << o.failures[0];
  }
}

TEST(ScenarioFormat, MalformedScenariosAreRejected) {
  static const std::string_view cases[] = {
      "key Enter",                           // nothing to run
      "module menu\nexpect row x \"a\"",     // not a number
      "module menu\nexpect row 1 unquoted",  // text must be quoted
      "module menu\nkey Nokey",              // bad key script line
      "module menu\nexpect colour 1 2",      // no colour
      "module menu\nfrobnicate",             // unknown command
      "module menu\nexpect row 1 \"open",    // unclosed quote
      "run python",                          // only kvel runs
  };
  for (std::string_view c : cases) EXPECT_FALSE(parse(c).ok()) << c;
}

TEST(ScenarioFormat, DumpFilesReadBack) {
  test::TempDir dir;
  {
    screen::HeadlessOptions opt;
    opt.dump_file = dir / "dump.txt";
    eval::Runtime rt;
    auto keys = screen::parse_key_script("checkpoint one\nkey a\n");
    auto backend = screen::install_headless(rt, keys.value(), opt);
    rt.get<screen::Screen>().write(24, 70, "\x8c\xa5\xad\xee", 0x4E);
    rt.get<screen::Screen>().set_title("kvel");
    rt.get<screen::Keyboard>().inkey(rt, 0);
    rt.get<screen::Screen>().set_pos(5, 6);
  }
  std::vector<screen::Snapshot> shots = read_dump(test::read_file(dir / "dump.txt"));
  ASSERT_EQ(shots.size(), 2u);
  EXPECT_EQ(shots[0].name, "one");
  EXPECT_EQ(shots[1].name, "end") << "the last picture when the run ends";
  EXPECT_EQ(shots[0].row_text(24).substr(70), "Меню      ");
  EXPECT_EQ(shots[0].at(24, 70).attr, 0x4E);
  EXPECT_EQ(shots[0].title, "kvel");
  EXPECT_EQ(shots[1].cursor.row, 5);
  EXPECT_EQ(shots[1].cursor.col, 6);
}

// Every *.scn file beside this test, run against the kvel executable.
std::vector<fs::path> scenario_files() {
  std::vector<fs::path> files;
  fs::path dir = test::source_dir() / "tests" / "scenarios";
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.path().extension() == ".scn") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

class ScenarioFile : public testing::TestWithParam<fs::path> {};

TEST_P(ScenarioFile, Passes) {
  auto sc = load(GetParam());
  ASSERT_TRUE(sc.ok()) << sc.status().message();
  fs::path runner = test::binary_dir() / "app" / "kvel";
  if (sc.value().launch == Scenario::Launch::Runner && !fs::exists(runner))
    GTEST_SKIP() << "kvel is not built";
  Outcome o = run(sc.value(), runner);
  EXPECT_TRUE(o.failures.empty()) << GetParam().string() << "\n"
                                  << testing::PrintToString(o.failures) << "\n"
                                  << o.output;
}

INSTANTIATE_TEST_SUITE_P(Files, ScenarioFile, testing::ValuesIn(scenario_files()),
                         [](const testing::TestParamInfo<fs::path>& p) {
                           std::string name = p.param.stem().string();
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ScenarioFile);

}  // namespace
}  // namespace kvel::scenario
