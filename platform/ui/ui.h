// The widgets' functions for expressions: ACHOICE, MEMOEDIT, ALERT, the form
// functions (GETNEW, __GET, READMODAL, __READ, GETACTIVE, READKEY, READVAR,
// READEXIT, READINSERT, UPDATED, __KILLREAD), the menu functions (__ATPROMPT,
// __MENUTO) and the browse objects (TBROWSENEW, TBROWSEDB, TBCOLUMNNEW).
// The C++ interfaces are form.h, menu.h, chooser.h, browse.h, editor.h, alert.h.
#pragma once

#include "platform/eval/registry.h"

namespace kvel::ui {

void register_ui(eval::Registry& reg);

}  // namespace kvel::ui
