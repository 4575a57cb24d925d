// The procedure manager: runs the entries of the description on the stack of
// levels held in the public variables USTK, STK, SMP, SPAR and PRSTK. Each
// step loads the parameter strings of the entry to run after those of the
// levels below and calls the generic procedure "PROC" + its code; the code the
// procedure leaves in PRSTK returns (0), calls (2) or replaces (any other).
#pragma once

#include <string>

#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::common {

// Runs entries while USTK is above base.
void manager(eval::Runtime& rt, long base);

// JUMP: the transition spec at the start of the running entry's first
// parameter string into PRSTK, SMP[1] and SMP[2].
void jump(eval::Runtime& rt);

// FBRK(code, proc, entry, abort): sets each given one of PRSTK, SMP[1] and
// SMP[2]; a given abort (not NIL, 0, .F. or "") raises a break carrying it.
eval::Value fbrk(eval::Runtime& rt, eval::Args args);

// The running entry's parameter strings SPAR[SMP[3]] .. SPAR[SMP[3]+SMP[4]-1].
std::vector<std::string> entry_params(eval::Runtime& rt);

// Raises (through the error handler) a fault of the stack variables and, when
// the handler lets it go on, gives the step up with a Break.
[[noreturn]] void give_up_step(eval::Runtime& rt);

// The procedure stack's lists and cells, read and written by level.
long smp_number(eval::Runtime& rt, long i);
eval::Value smp(eval::Runtime& rt, long i);
void set_smp(eval::Runtime& rt, long i, eval::Value v);
// Sets every STK list to exactly `level` elements (new ones NIL).
void resize_stk(eval::Runtime& rt, long level);
void set_stk(eval::Runtime& rt, long list, long level, eval::Value v);
eval::Value stk(eval::Runtime& rt, long list, long level);

void register_manager(eval::Registry& reg);

}  // namespace kvel::common
