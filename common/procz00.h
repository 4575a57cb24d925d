// The nested description: procedure code z00 runs another pair of offset and
// control files as a sub-application on top of the running one, and resumes
// the first when the second finishes. The entry form is run by the manager;
// PROCZ00(ext, dir, code, entry) is the function form for expressions.
#pragma once

#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::common {

// The manager's step for code z00: on an entry, the nesting; on a marker level
// (entry number 0), the return to the outer description.
void procz00_step(eval::Runtime& rt);

void register_procz00(eval::Registry& reg);

}  // namespace kvel::common
