// Code page 866 as the system uses it: case conversion, character classes and
// text order. Latin letters and the 32 Cyrillic letters А..Я / а..я convert;
// Ё and ё (0xF0, 0xF1) and every other byte stay as they are. Texts order by
// plain byte value, a shorter text before a longer one it begins.
// Shared by the runtime library, the table store (index keys) and the screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvel::rtl::cp866 {

constexpr bool is_upper(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 0x80 && c <= 0x9F); }
constexpr bool is_lower(uint8_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 0xA0 && c <= 0xAF) || (c >= 0xE0 && c <= 0xEF);
}
constexpr bool is_alpha(uint8_t c) { return is_upper(c) || is_lower(c); }
constexpr bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

constexpr uint8_t upper(uint8_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 0x20);
  if (c >= 0xA0 && c <= 0xAF) return static_cast<uint8_t>(c - 0x20);  // а..п
  if (c >= 0xE0 && c <= 0xEF) return static_cast<uint8_t>(c - 0x50);  // р..я
  return c;
}
constexpr uint8_t lower(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c + 0x20);
  if (c >= 0x80 && c <= 0x8F) return static_cast<uint8_t>(c + 0x20);  // А..П
  if (c >= 0x90 && c <= 0x9F) return static_cast<uint8_t>(c + 0x50);  // Р..Я
  return c;
}

std::string upper(std::string_view s);
std::string lower(std::string_view s);
void upper_in_place(std::string& s);

// <0, 0, >0: byte order; a text that is a prefix of another sorts first.
inline int compare(std::string_view a, std::string_view b) {
  int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// The blanks that LTrim() skips and Empty() ignores: space, tab, CR, LF.
constexpr bool is_blank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Converts UTF-8 text to code page 866 (characters outside it become '?').
// For Russian texts written in the C++ sources.
std::string from_utf8(std::string_view utf8);

}  // namespace kvel::rtl::cp866
