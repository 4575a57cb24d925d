// The functions the evaluator itself provides to the language.
#include "platform/eval/eval.h"
#include "platform/eval/ops.h"
#include "platform/eval/state.h"

namespace kvel::eval {

namespace {

Value eval(Runtime& rt, Args args) { return call_block(rt, args[0], args.tail(1)); }

Value valtype(Runtime& rt, Args args) { return Value::string(std::string(1, args[0].valtype())); }

// TYPE(text): the type letter of what the text evaluates to, with every error
// kept from the handler: "U" when a name or function does not exist, "UE"
// when the text does not compile or its evaluation fails otherwise, "UI" when
// the evaluation was broken off for another reason.
Value type(Runtime& rt, Args args) {
  if (!args[0].is_string()) return op_error(rt, kErrArg, 1121, "Argument error", "TYPE", {args[0]});
  std::shared_ptr<Program> p = state(rt).program(rt, args[0].as_string());
  if (!p->root) return Value::string("UE");
  ScopedErrorHandler quiet(rt,
                           [](Runtime&, ErrorObject& e) -> Answer { throw Break{error_value(e)}; });
  try {
    Value v = run(rt, p);
    return Value::string(std::string(1, v.valtype()));
  } catch (const Break& b) {
    const ErrorObject* e = error_of(b.value);
    if (!e) return Value::string("UI");
    if (e->gen_code == kErrNoVar || e->gen_code == kErrNoFunc) return Value::string("U");
    return Value::string("UE");
  }
}

}  // namespace

void register_eval(Registry& reg) {
  reg.function("EVAL", eval);
  reg.function("VALTYPE", valtype);
  reg.function("TYPE", type);
}

}  // namespace kvel::eval
