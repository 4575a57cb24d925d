#include "session.h"

#include "platform/rtl/cp866.h"
#include "platform/rtl/rtl.h"

namespace kvel::test {

namespace {
eval::Runtime& prepare(eval::Runtime& rt) {
  eval::register_eval(rt.registry());
  rtl::register_rtl(rt.registry());
  store::register_store(rt.registry());
  return rt;
}
}  // namespace

Session::Session() : st(store::store(prepare(rt))) {
  rt.set_error_handler([this](eval::Runtime&, eval::ErrorObject& e) {
    errors.push_back(std::to_string(e.gen_code) + ":" + e.subsystem + "/" +
                     std::to_string(e.sub_code) + " os=" + std::to_string(e.os_code));
    if (e.gen_code == 21 && e.os_code == 32) st.net_err = true;
    if (e.gen_code == 40) st.net_err = true;
    return eval::Answer::fallback();
  });
}

eval::Value Session::run(const std::string& expr) {
  try {
    return eval::evaluate(rt, expr);
  } catch (const eval::Break& b) {
    return b.value;
  }
}

std::string Session::canon(const std::string& expr) { return rtl::canonical(rt, run(expr)); }

std::string cp(const std::string& utf8) { return rtl::cp866::from_utf8(utf8); }

}  // namespace kvel::test
