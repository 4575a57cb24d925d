// Feeds bytes to the evaluator as an expression text: compile, then evaluate
// under a handler that answers every error with its default. Only the
// evaluator's own, array, text, number, date and picture functions exist; no
// file, screen or process functions. Any numeric argument beyond a few
// thousand makes a function call give NIL, so that the run explores the
// language rather than the memory of the machine.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/eval/eval.h"
#include "platform/rtl/rtl.h"

namespace {

using kvel::eval::Args;
using kvel::eval::NativeFn;
using kvel::eval::Runtime;
using kvel::eval::Value;

constexpr size_t kMaxInput = 2048;
constexpr double kMaxNumberArg = 4096;
constexpr size_t kSlots = 256;

NativeFn originals[kSlots];

template <size_t I>
Value capped(Runtime& rt, Args args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i].is_number() && !(std::fabs(args[i].as_double()) <= kMaxNumberArg)) return Value();
  }
  return originals[I](rt, args);
}

template <size_t... I>
constexpr std::array<NativeFn, kSlots> make_capped(std::index_sequence<I...>) {
  return {&capped<I>...};
}

const std::array<NativeFn, kSlots> kCapped = make_capped(std::make_index_sequence<kSlots>());

void setup(Runtime& rt) {
  kvel::eval::Registry& reg = rt.registry();
  kvel::eval::register_eval(reg);
  kvel::rtl::register_arrays(reg);
  kvel::rtl::register_strings(reg);
  kvel::rtl::register_numbers(reg);
  kvel::rtl::register_dates(reg);
  kvel::rtl::register_transform(reg);
  size_t n = 0;
  for (const std::string& name : reg.names()) {
    if (n == kSlots) break;
    originals[n] = reg.find(name)->fn;
    reg.function(name, kCapped[n]);
    ++n;
  }
  rt.set_error_handler(
      [](Runtime&, kvel::eval::ErrorObject&) { return kvel::eval::Answer::fallback(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  static Runtime* rt = [] {
    auto* r = new Runtime;
    setup(*r);
    return r;
  }();
  std::string text(reinterpret_cast<const char*>(data), size);
  {
    kvel::eval::PrivateFrame frame(rt->memvars());
    try {
      kvel::eval::evaluate(*rt, text);
    } catch (const kvel::eval::Break&) {
      // BREAK() and errors raised while the handler runs end the evaluation.
    }
  }
  kvel::eval::collect_cycles();
  return 0;
}
