// Helpers the store's function families share: names of the language as
// table paths, structure arrays, creating a table with its memo file.
#pragma once

#include <string>
#include <vector>

#include "platform/eval/runtime.h"
#include "platform/os/status.h"
#include "platform/store/dbf.h"

namespace kvel::store {

// The Linux path of a table or index name; `ext` is added when the name
// has no extension of its own.
std::string table_path(eval::Runtime& rt, const std::string& name, const char* ext);
// {{name, type, len, dec}, ...} as field definitions; false with a message.
bool fields_from_array(const eval::Value& v, std::vector<FieldDef>* out, std::string* why);
// Creates a table, and its memo file when a field is a memo.
os::Status create_table(const std::string& path, const std::vector<FieldDef>& fields);

}  // namespace kvel::store
