// A runtime with the evaluator, the runtime library and the table store,
// for tests that drive the store through expressions as the system does.
#pragma once

#include <string>
#include <vector>

#include "platform/eval/eval.h"
#include "platform/eval/runtime.h"
#include "platform/store/store.h"

namespace kvel::test {

class Session {
 public:
  Session();
  // Evaluates an expression (CP866 bytes); an unresolved error comes back
  // as its canonical "ERR:..." form.
  eval::Value run(const std::string& expr);
  // The canonical form of the result.
  std::string canon(const std::string& expr);
  // Errors the handler saw, as "gen:subsystem/sub os=N", answered by default.
  std::vector<std::string> errors;
  eval::Runtime rt;
  store::Store& st;
};

// UTF-8 text in code page 866.
std::string cp(const std::string& utf8);

}  // namespace kvel::test
