// PROCN10, the statement list procedure: runs the entry's parameter strings
// from the second on as a small script, one statement per string:
// declarations (PRIVATE, PUBLIC, RELEASE), assignments and any other
// expression. Errors are reported with the text of the statement that failed.
#pragma once

#include <string>

#include "platform/eval/error.h"
#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::common {

// How a statement is taken: a declaration needs its keyword (PRIVATE, PUBLIC,
// RELEASE or an abbreviation of at least three letters, any case) followed
// by a blank, so "PRICE := 5" is an assignment.
struct Statement {
  enum class Kind { Private, Public, Release, Expression };
  Kind kind = Kind::Expression;
  std::vector<std::string> names;  // declared names, or the names assigned by ":="
};
Statement classify_statement(const std::string& text);

// The error action while the statements run: the procedure, its line and the
// statement go into the error's cargo, then the previous action decides.
eval::Answer errorhandlern10(eval::Runtime& rt, eval::ErrorObject& e,
                             const eval::ErrorHandler& previous, const std::string& statement);

void procn10(eval::Runtime& rt);

void register_procn10(eval::Registry& reg);

}  // namespace kvel::common
