#include "common/common.h"

#include "common/clalert.h"
#include "common/color.h"
#include "common/crspar.h"
#include "common/errorlog.h"
#include "common/errorsys.h"
#include "common/keys.h"
#include "common/main.h"
#include "common/manager.h"
#include "common/procn10.h"
#include "common/procz00.h"

namespace kvel::common {

void register_common(eval::Registry& reg) {
  register_main(reg);
  register_crspar(reg);
  register_manager(reg);
  register_procz00(reg);
  register_color(reg);
  register_clalert(reg);
  register_keys(reg);
  register_errorsys(reg);
  register_errorlog(reg);
  register_procn10(reg);
}

}  // namespace kvel::common
