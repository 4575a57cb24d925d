// Field and key text as the DBF and NTX files hold them: numbers as
// right-aligned decimal text, dates as YYYYMMDD, numeric index keys as
// zero-padded text with negative digits mapped below '0'. Pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvel::store {

// Writes v as `len` characters with `dec` decimals, right-aligned, rounded
// half away from zero (after removing the binary error of the last digit).
// Returns false and fills the field with '*' when the number does not fit.
bool format_number(double v, int len, int dec, char* out);

// Reads a number field's text: leading and trailing blanks ignored, an
// empty or malformed field reads as 0.
double parse_number(const char* p, size_t n);

// Dates as day numbers (the language's date values; 0 is the empty date).
// "YYYYMMDD" to a day number; blanks or an impossible date give 0.
int32_t parse_dtos(const char* p8);
// Day number to "YYYYMMDD"; 0 gives 8 blanks.
void format_dtos(int32_t j, char* out8);

// The key bytes of a number in an index of key size `len` and `dec`
// decimals: the absolute value zero-padded, each digit d of a negative
// number written as 0x5C - d, so that plain byte order is numeric order.
void numeric_key(double v, int len, int dec, char* out);
// The number a numeric key stands for (for tools that show keys).
double numeric_key_value(const char* p, size_t n);

}  // namespace kvel::store
