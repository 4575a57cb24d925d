// Calling runtime-library functions by name in tests, with results in the
// canonical form ("C:|abc|", "N:        10         10") or "ERR:1:BASE/1102"
// for an error that no handler resolved.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/eval/error.h"
#include "platform/eval/runtime.h"
#include "platform/rtl/rtl.h"

namespace kvel::rtl::test {

// A runtime with the library registered, under the settings of the
// conformance data (the defaults of eval::Settings).
class RtlRuntime {
 public:
  RtlRuntime() { register_rtl(rt.registry()); }

  eval::Value call(std::string_view fn, std::vector<eval::Value> args) {
    const eval::Function* f = rt.registry().find(fn);
    if (!f) throw std::runtime_error("no function " + std::string(fn));
    return f->fn(rt, eval::Args(args.data(), args.size()));
  }

  // The canonical result, or the error that ended the call.
  std::string run(std::string_view fn, std::vector<eval::Value> args) {
    try {
      return canonical(rt, call(fn, std::move(args)));
    } catch (const eval::Break& b) {
      const eval::ErrorObject* e = eval::error_of(b.value);
      if (!e) return "BREAK";
      return "ERR:" + std::to_string(e->gen_code) + ":" + e->subsystem + "/" +
             std::to_string(e->sub_code);
    }
  }

  eval::Runtime rt;
};

// Values as literals of the language give them.
inline eval::Value I(int64_t n) { return eval::Value::integer(n); }
// A floating literal: dec decimals, the default width.
inline eval::Value F(double d, int dec) { return eval::Value::number(d, 0, dec); }
inline eval::Value S(std::string_view s) { return eval::Value::string(s); }
inline eval::Value L(bool b) { return eval::Value::logical(b); }
inline eval::Value NIL() { return {}; }

}  // namespace kvel::rtl::test
