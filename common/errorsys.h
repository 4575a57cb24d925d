// The one error handler of the system (DEFERROR, installed by ERRORSYS) and
// its texts. It resolves the expected failures without a word (division by
// zero, refused locks, tables held by another user), lets the user retry or
// skip where the error allows, and otherwise reports, writes the error log and
// ends the run with exit code 99. It never unwinds into the procedure manager.
#pragma once

#include <string>

#include "platform/eval/error.h"
#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::common {

// Installs DEFERROR as the current error handler.
void errorsys(eval::Runtime& rt);
eval::Answer deferror(eval::Runtime& rt, eval::ErrorObject& e);

// The standard text of a generic code ("Деление на ноль"), "" when it has none.
std::string generic_text(int gen_code);
// "Ошибка BASE/1340 Деление на ноль: /".
std::string error_message(const eval::ErrorObject& e);
// The context block: separator ";" gives the dialog form, any other the
// stream form of standard error and the error log.
std::string error_msg_prin(eval::Runtime& rt, const eval::ErrorObject& e, const std::string& sep);
// The argument list text in the same two forms; "" without arguments.
std::string error_arguments(eval::Runtime& rt, const eval::ErrorObject& e, const std::string& sep);
// A value as the reports show it (texts as they are, numbers trimmed, dates
// in the date format, logicals .T./.F.).
std::string value_text(eval::Runtime& rt, const eval::Value& v);
// Pads a label with dots to 20 characters (CP866 bytes: one byte per letter).
std::string dotted(const std::string& label, size_t width = 20);

void register_errorsys(eval::Registry& reg);

}  // namespace kvel::common
