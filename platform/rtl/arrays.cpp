#include "platform/rtl/rtl.h"

namespace kvel::rtl {

void register_arrays(eval::Registry& reg) {}

}  // namespace kvel::rtl
