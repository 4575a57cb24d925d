// Every function of the runner and its generic procedures, registered for the
// description's expressions and the procedure manager.
#pragma once

#include "platform/eval/registry.h"

namespace kvel::common {

void register_common(eval::Registry& reg);

}  // namespace kvel::common
