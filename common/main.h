// MAIN, the runner's entry point: reads the command line, puts the screen,
// the table store and the logs into the state every procedure relies on,
// creates the public start-up state and runs the procedure manager in a loop
// that starts the description again after an abort no procedure caught. When
// the manager returns it closes everything and gives the console back.
#pragma once

#include <string>
#include <vector>

#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::common {

// argv[0] included. Returns the process exit code: the one set last (0 by
// default, 99 after the error handler ended the run, or QUIT's).
int run_main(const std::vector<std::string>& argv);

// The run itself on a runtime that has its screen and keyboard installed and
// the runner's values set (tests use it in-process).
int run_description(eval::Runtime& rt);

// ASM_PWD(): "C:\WORK\APP" form of the current directory.
std::string asm_pwd(eval::Runtime& rt);

void register_main(eval::Registry& reg);

}  // namespace kvel::common
