// CRSPAR: loads the offset file named by OFFSET into the offset table MSME,
// opens the control file named by CONTROL for the rest of the run (its handle
// in HANDS) and returns the start record; and the reading of one parameter
// string from the open control file. A description file that cannot be read
// shows its dialog and ends the run.
#pragma once

#include <string>

#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::common {

// Throws EndRun (after the dialog) when a file cannot be opened or read.
std::string crspar(eval::Runtime& rt);
// Closes the control file CRSPAR opened, if any.
void close_control(eval::Runtime& rt);
// The parameter string at a byte offset of the open control file: up to 256
// bytes, the text before the first NUL. A read failure goes to the error
// handler (retry or an empty text).
std::string read_param(eval::Runtime& rt, long offset);

void register_crspar(eval::Registry& reg);

}  // namespace kvel::common
