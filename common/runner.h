// The runner's own state in the runtime: the command-line values, the start
// directory and the logs' settings, the critical-error mode and exception
// filter, the key-assignment stack, and the open control file. One object per
// runtime (ServiceSlot::Runner), installed on first use, so a test builds a
// runtime of its own and gets a fresh runner with it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "platform/eval/runtime.h"
#include "platform/eval/value.h"

namespace kvel::common {

// Ends the run: thrown by whatever must end the process (a description file
// that cannot be read, the error handler's "Завершить"); start-up catches it,
// shuts down and leaves with the exit code. Not a Break: no recovery point of
// the language may catch it.
struct EndRun {
  int exit_code = 0;
};

class Runner : public eval::Service {
 public:
  static constexpr eval::ServiceSlot kSlot = eval::ServiceSlot::Runner;

  CommandLine command_line;
  StartValues start;
  std::string program;  // argv[0] as started

  // Logs. The start directory ends in a separator.
  std::string start_dir;
  std::string error_log = "_error.log";
  bool error_log_append = false;
  bool trace = false;
  std::string trace_file = "_trace.log";
  int trace_stack = 2;

  // SETERRORMODE keeps the mode; Linux has no such pop-ups to suppress.
  int error_mode = 0;
  // SETUNHANDLEDEXCEPTIONFILTER: the stored function reference.
  eval::Value exception_filter;
  long filter_serial = 1;

  // OTMENA: the saved handler sets, innermost last.
  std::vector<std::map<int, eval::Value>> key_sets;

  // The control file opened by CRSPAR (a handle of the file functions), -1: none.
  int control_handle = -1;

  // DEFERROR is running (an error inside it ends the run at once).
  bool in_error_handler = false;
  // What the error handler writes to standard error when it ends the run;
  // start-up writes it once the terminal is given back, so that it is seen.
  std::string final_report;
};

Runner& runner(eval::Runtime& rt);

}  // namespace kvel::common
