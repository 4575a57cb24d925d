// Index keys from values: character keys padded or cut to the key size,
// numbers as numeric key text, dates as YYYYMMDD, logicals as "T"/"F".
// The same encoding serves the index builder, updates and seeks.
#pragma once

#include <string>

#include "platform/eval/value.h"

namespace kvel::store {

// The key type letter of a value ('C', 'N', 'D', 'L'), 0 for values no key
// can hold.
char key_type(const eval::Value& v);
// Key size and decimals an index of this key value gets.
void key_geometry(const eval::Value& v, int* size, int* dec);
// Writes the key of v into *out (resized to `size`). For a seek the result
// of a character value is only as long as the value (a prefix); `full` pads
// it to the key size. Returns false for a value of another type than `type`.
bool encode_key(const eval::Value& v, char type, int size, int dec, bool full, std::string* out);

}  // namespace kvel::store
