// The small keyboard services of every interactive procedure: the
// key-assignment stack OTMENA that suspends and restores the handlers of the
// function and movement keys, INKEYWAIT, KEYB and CGET.
#pragma once

#include <array>
#include <vector>

#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::common {

// The 54 keys OTMENA manages: F2..F10 and their Shift, Ctrl and Alt forms,
// then the movement keys and Tab. F1, Enter and Esc are not among them.
extern const std::array<int, 54> kManagedKeys;

// OTMENA(0, keep): saves and removes the handlers of the 54 keys. The keys
// in `keep` have their handlers of before the call bound again afterwards.
void otmena_push(eval::Runtime& rt, const std::vector<int>& keep = {});
// OTMENA(1, keep): puts the saved set back; with nothing saved shows a
// message and changes nothing.
void otmena_pop(eval::Runtime& rt, const std::vector<int>& keep = {});

// KEYB(keys, keep): the typeahead buffer emptied (unless keep) and filled
// with a key code, the keys of a text, or the elements of a list.
void keyb(eval::Runtime& rt, const eval::Value& keys, bool keep = false);

void register_keys(eval::Registry& reg);

}  // namespace kvel::common
