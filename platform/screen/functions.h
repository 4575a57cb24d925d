// The screen and keyboard functions of the language: SETCOLOR SETPOS ROW COL
// MAXROW MAXCOL DEVPOS DEVOUT DISPOUT DISPBOX DISPBEGIN DISPEND DISPCOUNT
// SCROLL SAVESCREEN RESTSCREEN SETCURSOR COLORSELECT ISCOLOR SETMODE
// SHA_SHADOW SCROLLBAR*, INKEY LASTKEY SETLASTKEY NEXTKEY SETKEY __KEYBOARD
// HB_KEYPUT HB_KEYCLEAR and the idle and background task functions.
#pragma once

#include "platform/eval/registry.h"

namespace kvel::screen {

void register_screen(eval::Registry& reg);

}  // namespace kvel::screen
