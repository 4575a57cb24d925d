// The registry of functions implemented in C++, looked up by name without
// regard to letter case. The runtime library, the system's own functions and
// the generic procedures (PROC + code) all register here, each module in one
// visible register_...() function.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/eval/value.h"

namespace kvel::eval {

using NativeFn = Value (*)(Runtime& rt, Args args);

// A name as the language compares names: ASCII letters in upper case (the
// language's identifiers are Latin).
std::string upper_name(std::string_view name);

struct Function {
  std::string name;  // upper case
  NativeFn fn = nullptr;
};

class Registry {
 public:
  // Registers or replaces a function.
  void function(std::string_view name, NativeFn fn);
  // nullptr when no function of that name exists. The pointer is stable for
  // the registry's lifetime (replacing a function updates it in place).
  const Function* find(std::string_view name) const;
  std::vector<std::string> names() const;

 private:
  std::unordered_map<std::string, std::unique_ptr<Function>> fns_;
};

}  // namespace kvel::eval
