#include "platform/eval/runtime.h"

namespace kvel::eval {

Runtime::Runtime() = default;
// Facilities go first (they may still read variables), then the variables;
// arrays that only keep each other alive are freed last.
Runtime::~Runtime() {
  handler_ = nullptr;
  for (size_t i = services_.size(); i-- > 0;) services_[i].reset();
  memvars_.release_all_except({});
  collect_cycles();
}

Answer Runtime::raise(ErrorObject& e) {
  if (!handler_ || in_handler_) throw Break{error_value(e)};
  in_handler_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{in_handler_};
  return handler_(*this, e);
}

ErrorHandler Runtime::set_error_handler(ErrorHandler h) {
  ErrorHandler old = std::move(handler_);
  handler_ = std::move(h);
  return old;
}

void Runtime::install(ServiceSlot slot, std::unique_ptr<Service> s) {
  services_[static_cast<int>(slot)] = std::move(s);
}

}  // namespace kvel::eval
