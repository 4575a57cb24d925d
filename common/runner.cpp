#include "common/runner.h"

#include <memory>

namespace kvel::common {

Runner& runner(eval::Runtime& rt) {
  if (Runner* r = rt.find<Runner>()) return *r;
  rt.install(eval::ServiceSlot::Runner, std::make_unique<Runner>());
  return *rt.find<Runner>();
}

}  // namespace kvel::common
