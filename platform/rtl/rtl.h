// The language's standard function library, one family per file, each with
// its register_...() function. register_rtl() registers them all.
#pragma once

#include <string>

#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"

namespace kvel::rtl {

void register_strings(
    eval::Registry& reg);  // strings.cpp: SUBSTR UPPER PADL AT STRTRAN MEMOLINE ...
void register_numbers(eval::Registry& reg);    // numbers.cpp: STR VAL ROUND INT ABS MOD MAX MIN ...
void register_transform(eval::Registry& reg);  // transform.cpp: TRANSFORM
void register_dates(eval::Registry& reg);      // dates.cpp: DATE CTOD DTOC DTOS STOD DAY MONTH ...
void register_arrays(
    eval::Registry& reg);                  // arrays.cpp: ARRAY AADD ASIZE AINS ADEL ASCAN ASORT ...
void register_files(eval::Registry& reg);  // files.cpp: FOPEN FCREATE FREAD ... FILE DIRECTORY
void register_environment(eval::Registry& reg);  // environment.cpp: TIME SECONDS GETENV CURDIR ...
void register_settings(eval::Registry& reg);  // set.cpp: SET() and the family's setting functions
void register_types(eval::Registry& reg);     // types.cpp: EMPTY

// Every family above.
void register_rtl(eval::Registry& reg);

// Empty(): NIL, .F., 0, the empty date, an empty array, and texts of only
// blanks, tabs, CR and LF.
bool is_empty(const eval::Value& v);

// The canonical result form of the conformance data: C:|...|, M:|...|,
// N:<Str(v)> <Transform(v, "")>, D:<DTOS>, L:T, U:NIL, A:n{...}, B:{||...};
// arrays that contain themselves do not hang.
std::string canonical(eval::Runtime& rt, const eval::Value& v);

}  // namespace kvel::rtl
