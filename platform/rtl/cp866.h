// Code page 866 as the system uses it: case conversion, character classes and
// text order. Latin letters and the 32 Cyrillic letters А..Я / а..я convert;
// Ё and ё (0xF0, 0xF1) and every other byte stay as they are. Texts order by
// plain byte value, a shorter text before a longer one it begins.
// Shared by the runtime library, the table store (index keys) and the screen.
#pragma once

#include <cstdint>
#include <optional>
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

// Code page 866 and Unicode. As text, bytes 0x00-0x7F are themselves; the
// high half holds the Cyrillic letters, frame and block characters.
char32_t to_unicode(uint8_t byte);
// The byte of a character, or nothing when the code page lacks it.
std::optional<uint8_t> from_unicode(char32_t cp);

// Appends the UTF-8 form of a code point.
void append_utf8(std::string& out, char32_t cp);
// Decodes one UTF-8 character at the start of bytes. Returns the number of
// bytes it takes, 0 when the sequence is incomplete, or -1 when it is malformed
// (overlong forms and surrogates included); cp is set only on success.
int decode_utf8(std::string_view bytes, char32_t& cp);
bool is_valid_utf8(std::string_view bytes);

// Whole texts. UTF-8 to code page 866: a malformed byte or a character the
// page lacks becomes '?'. For Russian texts written in the C++ sources, and
// terminal or file text.
std::string from_utf8(std::string_view utf8);
// The same with another mapping of characters to bytes (the screen maps its
// control pictures back too).
template <class Map>
std::string from_utf8_by(std::string_view utf8, Map&& map) {
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    char32_t cp = 0;
    int n = decode_utf8(utf8, cp);
    if (n <= 0) {
      out += '?';
      utf8.remove_prefix(1);
      continue;
    }
    utf8.remove_prefix(static_cast<size_t>(n));
    std::optional<uint8_t> b = map(cp);
    out += b ? static_cast<char>(*b) : '?';
  }
  return out;
}
// The strict form for files: nothing when the text is not valid UTF-8 or
// holds a character the page lacks; bad_at receives the byte offset of the
// fault.
std::optional<std::string> from_utf8_strict(std::string_view utf8, size_t* bad_at = nullptr);
std::string to_utf8(std::string_view cp866);

}  // namespace kvel::rtl::cp866
