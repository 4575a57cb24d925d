// The error log, rewritten by the error handler just before it ends the run
// (environment, settings, open tables, the error, the call stack and a picture
// of the screen), and the trace log, an append-only journal written by
// TRACELOG while tracing is on. Both lie in the start directory.
#pragma once

#include <string>
#include <vector>

#include "platform/eval/error.h"
#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::common {

// Writes the error log for the error; never raises. Returns false.
bool logerror(eval::Runtime& rt, const eval::ErrorObject& e);
// The text of the error log as it would be written.
std::string error_log_text(eval::Runtime& rt, const eval::ErrorObject& e);
// One trace entry; nothing when tracing is off. Returns true.
bool tracelog(eval::Runtime& rt, const std::vector<eval::Value>& values);
// STRVALUE(value, switch form): the logs' rendering of a value, upper case.
std::string strvalue(eval::Runtime& rt, const eval::Value& v, bool switch_form);

void register_errorlog(eval::Registry& reg);

}  // namespace kvel::common
