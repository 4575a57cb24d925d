#include "platform/platform.h"

#include "platform/eval/eval.h"
#include "platform/rtl/rtl.h"
#include "platform/screen/functions.h"
#include "platform/store/store.h"
#include "platform/ui/ui.h"

namespace kvel {

void register_platform(eval::Registry& reg) {
  eval::register_eval(reg);
  rtl::register_rtl(reg);
  store::register_store(reg);
  screen::register_screen(reg);
  ui::register_ui(reg);
}

std::shared_ptr<screen::HeadlessBackend> setup_headless(eval::Runtime& rt,
                                                        screen::KeyScript script,
                                                        screen::HeadlessOptions options) {
  register_platform(rt.registry());
  auto backend = screen::install_headless(rt, std::move(script), std::move(options));
  store::store(rt);
  return backend;
}

}  // namespace kvel
