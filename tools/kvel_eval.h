// The line evaluation of kvel-eval, shared with the conformance test so that
// both run the same code: settings of the conformance data, a runtime with
// every function of the platform (runtime library, table store, a headless
// screen and keyboard with no keys), and one expression's canonical result.
#pragma once

#include <string>
#include <string_view>

#include "platform/eval/eval.h"
#include "platform/eval/runtime.h"
#include "platform/platform.h"
#include "platform/rtl/rtl.h"

namespace kvel::tools {

// The settings the conformance data was recorded under.
inline void conformance_settings(eval::Runtime& rt) {
  eval::Settings& s = rt.settings();
  s.date_format = "dd/mm/yy";
  s.century = false;
  s.epoch = 1935;
  s.exact = true;
  s.softseek = true;
  s.deleted = true;
  s.confirm = true;
  s.wrap = true;
  s.decimals = 2;
}

inline void setup_runtime(eval::Runtime& rt) {
  setup_headless(rt);
  conformance_settings(rt);
}

// Evaluates one line in a frame of its own, with no error handler: the first
// error ends it and is shown as ERR:<gen>:<subsystem>/<sub>.
inline std::string eval_line(eval::Runtime& rt, std::string_view text) {
  eval::PrivateFrame frame(rt.memvars());
  try {
    eval::Value v = eval::evaluate(rt, text);
    return rtl::canonical(rt, v);
  } catch (const eval::Break& b) {
    if (const eval::ErrorObject* e = eval::error_of(b.value)) {
      return "ERR:" + std::to_string(e->gen_code) + ":" + e->subsystem + "/" +
             std::to_string(e->sub_code);
    }
    return "BREAK:" + rtl::canonical(rt, b.value);
  }
}

}  // namespace kvel::tools
