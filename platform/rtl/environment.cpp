#include "platform/rtl/rtl.h"

namespace kvel::rtl {

void register_environment(eval::Registry& reg) {}

}  // namespace kvel::rtl
