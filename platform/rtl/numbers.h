// How the language shows and rounds numbers. A number carries its display
// width and decimals (see value.h); these helpers turn it into text the way
// Str() and Transform() do, and build function results with the family's
// widths. Decimal rounding is half away from zero after taking a floating
// value to 16 significant digits, so 1.005 rounds to 1.01 as a person expects.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/eval/value.h"

namespace kvel::rtl {

// The fixed-point text of d rounded to dec decimals ("-12.30", "0.50"); a
// negative dec rounds to tens, hundreds ... ("1200"). A result that rounds
// to zero has no minus sign. Pre: d is finite.
std::string fixed_text(double d, int dec);

// Round(): d rounded to dec decimals as above.
double round_half(double d, int dec);

// Str(v) with the value's own width and decimals. A number too wide for its
// own width widens (one leading blank; 20 columns for large negatives); a
// value that is not finite shows as asterisks. Pre: v is a number.
std::string str(const eval::Value& v);
// Str(v, width, dec) with an explicit width (>= 1) and decimals (>= 0): a
// number that does not fit shows as `width` asterisks.
std::string str(const eval::Value& v, int width, int dec);

// The width Str() uses for a floating result of `dec` decimals: 10 integer
// places (20 for values beyond 1e10 or below -1e9, or not finite), then the
// point and the decimals.
int float_width(double d, int dec);
// A floating function result with that width.
eval::Value float_value(double d, int dec);
// An integer function result with the family's width (Str() widens it as
// needed, see str()).
eval::Value int_value(int64_t n);

// Val(): the number at the start of text (leading blanks, a sign, digits, one
// point), 0 when none. Its width is the length of the text; its decimals are
// the characters after the point.
eval::Value val(std::string_view text);

}  // namespace kvel::rtl
