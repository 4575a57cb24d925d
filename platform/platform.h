// The whole platform behind two calls: every function the platform provides,
// and a runtime made ready with the table store, the screen and the keyboard.
#pragma once

#include <memory>

#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"
#include "platform/screen/headless_backend.h"

namespace kvel {

// The evaluator's own functions, the runtime library, the table store, the
// screen and keyboard, and the UI facilities.
void register_platform(eval::Registry& reg);

// Registers the platform's functions and installs a headless screen and
// keyboard fed by `script` (programs without a terminal, tests) and the table
// store. `options` carry the dump file and the clock of the headless screen.
// Returns the headless back-end.
std::shared_ptr<screen::HeadlessBackend> setup_headless(eval::Runtime& rt,
                                                        screen::KeyScript script = {},
                                                        screen::HeadlessOptions options = {});

}  // namespace kvel
