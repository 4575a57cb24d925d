// Copying records between tables and text files, and the structure table.
#include "platform/eval/eval.h"
#include "platform/store/errors.h"
#include "platform/store/store.h"

namespace kvel::store {

void register_transfer(eval::Registry& reg) { (void)reg; }

}  // namespace kvel::store
