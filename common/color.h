// COLOR and LOADVAR: the colour table COLR and the run-time variables, month
// names and stored callbacks that procedures and the description share. Both
// run before the procedure manager starts and again after every restart.
#pragma once

#include <string>

#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::common {

// The colour flag of a workstation configuration file's bytes: the character
// after the first "COLOR=" (any case); else the first byte, when the file can
// be opened for reading and writing; else "1".
char colour_flag(const std::string& bytes, bool writable);

// Entry n (1..89) of the colour set or the monochrome set.
const char* colour_set(int n, bool colour);

void color(eval::Runtime& rt);
void loadvar(eval::Runtime& rt);

void register_color(eval::Registry& reg);

}  // namespace kvel::common
