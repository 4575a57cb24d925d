// The runner's command line: keyword and positional values, the option string
// and the "//" switches of the runner itself, and the public values start-up
// derives from them. Pure functions, so the whole table of cases is tested
// without starting anything.
#pragma once

#include <string>
#include <vector>

namespace kvel::common {

struct CommandLine {
  std::string ext, cpath, spath, cfg;
  std::string title;  // CP866, converted from the Windows Cyrillic page
  bool has_title = false;
  std::string option;  // the last argument holding "/", as given
  bool has_option = false;

  // "//" switches. The runner's own are //headless, //keys=FILE, //help,
  // and for the headless screen //dump=FILE and //mono; every switch is kept
  // in `switches`.
  bool headless = false;
  std::string keys_file;
  bool help = false;
  std::vector<std::string> switches;  // without the leading "//"
};

// Classifies each argument (argv[1..]) in order. On Linux every path holds
// "/", so an argument that begins with a keyword (ext=, cpath=, spath=, cfg=,
// title=, any case) is taken by the keyword before the "/" tests; a positional
// argument holding "/" stays the option string.
CommandLine parse_command_line(const std::vector<std::string>& args);

// The public start-up values made from the command line.
struct StartValues {
  std::string ext;      // "0" when none was given
  std::string cfgfile;  // "flagco.txt" when none was given
  std::string dospar;   // option string without one leading "/", "^^" as "^"
  std::vector<std::string> adospar;
  std::string ckpril;  // "[]" or "[D05],[I20]"
  std::string cpath;   // with a trailing separator when not empty
  std::string offset, control;
  std::string set_up, iset_up;
  std::string title;  // the console title, "КВЕЛ" by default (CP866)
};
StartValues start_values(const CommandLine& cl);

// Windows Cyrillic (1251) to code page 866; a title given as UTF-8 text (what
// Linux terminals pass) is converted from UTF-8 instead.
std::string title_to_cp866(const std::string& arg);

// The text of //help.
std::string usage_text();

}  // namespace kvel::common
