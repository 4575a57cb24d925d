#include "platform/rtl/rtl.h"

namespace kvel::rtl {

void register_rtl(eval::Registry& reg) {
  register_strings(reg);
  register_numbers(reg);
  register_transform(reg);
  register_dates(reg);
  register_arrays(reg);
  register_files(reg);
  register_environment(reg);
  register_settings(reg);
  register_types(reg);
}

}  // namespace kvel::rtl
