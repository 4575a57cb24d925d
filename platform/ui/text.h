// Small text helpers shared by the widgets: CP866 letter case and classes as
// data entry needs them, and fitting a text into a number of columns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvel::ui {

// CP866 letter case and letters, as UPPER(), LOWER() and ISALPHA() see them.
unsigned char upper(unsigned char c);
unsigned char lower(unsigned char c);
bool is_alpha(unsigned char c);

// Cut or padded with blanks to exactly `width` bytes (nothing for width <= 0).
std::string fit(std::string_view s, int width);
// The text split at every `sep`.
std::vector<std::string> split(std::string_view s, char sep);
// UTF-8 source text to CP866 bytes (for the system's own Russian texts).
std::string cp866(std::string_view utf8);

}  // namespace kvel::ui
