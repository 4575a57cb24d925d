// The kvel executable on the headless screen: the command line, the exit
// codes, the error handler's end with its log, and the description-file
// dialogs. Each case builds its description from text, then runs a scenario.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/desc_text.h"
#include "scenarios/scenario.h"
#include "support/test_support.h"

namespace kvel::scenario {
namespace {

namespace fs = std::filesystem;

// Shows the start-up publics, then waits in a dialog.
constexpr const char* kProbe =
    "1\n  N10002\n"
    "2\n  0N10000\n"
    "  EVAL(BOUT, 0, 0, 'D=' + DOSPAR + ' K=' + CKPRIL + ' A=' + LTRIM(STR(LEN(ADOSPAR))), 13)\n"
    "  EVAL(BOUT, 1, 0, 'O=' + OFFSET + ' C=' + CONTROL, 1)\n"
    "  EVAL(BOUT, 2, 0, 'S=' + SET_UP + ' G=' + CFGFILE, 1)\n"
    "  CLALERT({'probe'})\n";

struct Case {
  const char* name;
  const char* description;  // nullptr: no files
  const char* dir;          // where the files go, inside the working directory
  const char* ext;
  std::string script;  // the scenario after its "copy" line
};

void run_case(const Case& c) {
  test::TempDir base;
  fs::create_directories(base / "work" / c.dir);
  if (c.description) {
    common::DescCompile d = common::compile_description(c.description);
    ASSERT_TRUE(d.problems.empty()) << c.name << ": " << d.problems[0].message;
    test::write_file(base / "work" / c.dir / (std::string("offset.") + c.ext), d.image.offset);
    test::write_file(base / "work" / c.dir / (std::string("control.") + c.ext), d.image.control);
  }
  test::write_file(base / "work" / "mono.txt", "0");
  auto sc = parse("scenario " + std::string(c.name) + "\ncopy work as .\n" + c.script, base.path());
  ASSERT_TRUE(sc.ok()) << c.name << ": " << sc.status().message();
  Outcome o = run(sc.value(), test::binary_dir() / "app" / "kvel");
  ASSERT_TRUE(o.ran) << c.name << ": " << (o.failures.empty() ? "" : o.failures[0]);
  for (const auto& f : o.failures) ADD_FAILURE() << c.name << ": " << f << "\n" << o.output;
}

TEST(RunnerScenario, CommandLine) {
  const Case cases[] = {
      {"no arguments", kProbe, ".", "0",
       "run kvel\ncheckpoint p\nexpect row 0 \"D= K=[] A=0 \"\n"
       "expect row 1 \"O=offset.0 C=control.0 \"\nexpect row 2 \"S=Setup G=flagco.txt \"\n"
       "expect colour 0 0 3 W+/R\nkey Enter\nat end\nexpect exit 0\n"},
      {"keywords in any case, option string, // switch", kProbe, "app", "5",
       "run kvel EXT=5 Cpath=app /net/fast^d05,i20/x //frob cfg=mono.txt\ncheckpoint p\n"
       "expect row 0 \"D=net/fast^d05,i20/x K=[D05],[I20] A=3 \"\n"
       "expect row 1 \"O=app/offset.5 C=app/control.5 \"\n"
       "expect row 2 \"S=Setup G=mono.txt \"\n"
       // the configuration file's first byte "0" selects the monochrome set
       "expect colour 0 0 3 W+/W\nkey Enter\nat end\nexpect exit 0\n"},
      {"positional values and a Linux path keyword", kProbe, "app", "2",
       "run kvel 2 app set my.cfg ignored\ncheckpoint p\n"
       "expect row 1 \"O=app/offset.2 C=app/control.2 \"\n"
       "expect row 2 \"S=set/Setup G=my.cfg \"\nkey Enter\n"},
      {"doubled caret", kProbe, ".", "0",
       "run kvel /x^^d05\ncheckpoint p\nexpect row 0 \"D=x^d05 K=[D05] A=1 \"\nkey Enter\n"},
  };
  for (const Case& c : cases) run_case(c);
}

TEST(RunnerScenario, ExitCodesAndTheErrorLog) {
  const Case cases[] = {
      {"the exit code set last", "1\n  N10002\n2\n  0N10000\n  ERRORLEVEL(7)\n", ".", "0",
       "run kvel\nat end\nexpect exit 7\n"},
      {"the error handler ends with 99 and writes its log",
       "1\n  N10002\n2\n  0N10000\n  X := 1 + 'a'\n", ".", "0",
       "run kvel\ncheckpoint err\nexpect row 9 col 21 \"Ошибка BASE/1081 Неверный аргумент: +\"\n"
       "expect row 10 col 19 \"│             X := 1 + 'a'              │\"\n"
       "key Enter\ncheckpoint report\nkey Enter\nat end\nexpect exit 99\n"
       "expect file _error.log exists\n"
       "expect file _error.log contains \"Информация об ошибке\"\n"
       "expect file _error.log contains \"Метка...............: 002\"\n"
       "expect file _error.log contains \"Файл параметров.....: CONTROL.0\"\n"},
      {"a start entry that breaks off at once every time",
       "1\n  N10002\n2\n  0N10000\n  FBRK(1, 'N10', 2, 1)\n", ".", "0",
       "run kvel\ncheckpoint stuck\nexpect row 9 col 14 "
       "\"│ Описание прерывается сразу после каждого запуска │\"\n"
       "key Enter\nat end\nexpect exit 99\n"},
      {"no offset file", nullptr, ".", "0",
       "run kvel\ncheckpoint d\nexpect row 9 col 21 \"│ Ошибка при открытии файла смещения │\"\n"
       "expect row 10 col 21 \"│              OFFSET.0              │\"\n"
       "expect row 11 col 21 \"│           (код ошибки  2)          │\"\n"
       "expect colour 9 22 36 W+/R\nkey Enter\nat end\nexpect exit 0\n"},
  };
  for (const Case& c : cases) run_case(c);
}

}  // namespace
}  // namespace kvel::scenario
