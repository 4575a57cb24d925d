// Scenario tests: a text file that starts the runner (or a module of the test
// binary, or one expression) on the headless screen, feeds it keys, and checks
// the text and colours of the screen at checkpoints and the files left
// behind. The format is described in README.md ("Scenario tests").
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/eval/runtime.h"
#include "platform/os/status.h"
#include "platform/screen/headless_backend.h"

namespace kvel::scenario {

struct Expectation {
  enum class Kind { Text, Colour, Cursor, Exit, FileExists, FileMissing, FileContains, FileEquals };
  Kind kind = Kind::Text;
  std::string checkpoint;  // screen checks: the checkpoint above them ("end": the last screen)
  int row = 0, col = 0, len = 1;
  std::string text;  // UTF-8: screen text, colour string, file name
  std::string data;  // FileContains / FileEquals: UTF-8 text, compared as CP866 bytes
  int number = 0;    // Exit
  int line = 0;      // line of the scenario, for messages
};

struct Scenario {
  std::string name;
  std::filesystem::path base;                               // the scenario file's directory
  std::vector<std::pair<std::string, std::string>> copies;  // source, name in the working directory
  enum class Launch { None, Runner, Module, Expression } launch = Launch::None;
  std::vector<std::string> args;  // Runner: arguments after the platform switches; Module: its name
  std::string expression;         // Expression: the text, CP866
  std::string keys;               // the key script (doc/screen.md)
  std::vector<Expectation> expects;
};

os::Result<Scenario> parse(std::string_view text, const std::filesystem::path& base = {});
os::Result<Scenario> load(const std::filesystem::path& file);

// An in-process module: runs on a runtime with the screen functions registered
// and a headless screen fed by the scenario's keys; returns the exit code.
using Module = std::function<int(eval::Runtime&)>;
void register_module(const std::string& name, Module m);

struct Outcome {
  bool ran = false;
  int exit_code = 0;
  std::vector<screen::Snapshot> checkpoints;
  std::vector<std::string> failures;  // one line per failed expectation; empty: passed
  std::string output;                 // what the runner wrote to stdout and stderr
};

// Runs the scenario in a fresh temporary directory and checks its expectations.
// `runner` is the kvel executable for Launch::Runner.
Outcome run(const Scenario& s, const std::filesystem::path& runner = {});

// Reads the checkpoints a headless run wrote with //dump=FILE.
std::vector<screen::Snapshot> read_dump(std::string_view text);

}  // namespace kvel::scenario
