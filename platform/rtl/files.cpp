#include "platform/rtl/rtl.h"

namespace kvel::rtl {

void register_files(eval::Registry& reg) {}

}  // namespace kvel::rtl
