// The settings the runtime's functions read (SET SOFTSEEK, SET DATE, SET EPOCH,
// SET EXACT, SET DELETED ...). One object lives in the Runtime; code that
// changes settings for one step saves the whole object and restores it.
#pragma once

#include <string>

namespace kvel::eval {

struct Settings {
  bool softseek = true;
  std::string date_format = "dd/mm/yy";  // "dd/mm/yyyy" with four-digit years
  bool century = false;
  int epoch = 1935;
  bool exact = true;
  bool deleted = true;  // deleted records are skipped
  bool confirm = true;  // a full field waits for Enter
  bool wrap = true;     // menus wrap around
  bool insert = false;  // insert mode of data entry
  int decimals = 2;
  bool fixed = false;
  bool bell = false;
  bool escape = true;
  bool exclusive = false;
  bool scoreboard = false;
  bool intensity = true;
  bool cursor = true;
  bool hardcommit = true;
  bool optimize = true;
  bool unique = false;
  int typeahead = 20;
  std::string delimiters_chars = "::";
  bool delimiters = false;
  std::string path;         // SET PATH
  std::string default_dir;  // SET DEFAULT
  int message_row = 0;
  bool message_center = false;
  int margin = 0;
  bool console = true;
  bool printer = false;
  std::string printer_file;    // SET PRINTER TO
  std::string alternate_file;  // SET ALTERNATE TO
  bool alternate = false;
  bool device_printer = false;  // SET DEVICE TO PRINTER
};

}  // namespace kvel::eval
