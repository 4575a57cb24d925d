// Code page 866 and UTF-8: the system's texts are CP866 bytes, while C++
// sources, description sources and today's terminals speak UTF-8. Russian
// message texts are written as UTF-8 literals and turned into CP866 once.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/rtl/cp866.h"

namespace kvel::common {

// The Unicode code point of a CP866 byte (0x00-0x7F map to themselves).
inline char32_t cp866_to_unicode(unsigned char b) { return rtl::cp866::to_unicode(b); }
// The CP866 byte of a code point, or nullopt when the page has none.
inline std::optional<unsigned char> unicode_to_cp866(char32_t c) {
  return rtl::cp866::from_unicode(c);
}

// UTF-8 text to CP866 bytes; a character the page lacks becomes "?".
inline std::string to866(std::string_view utf8) { return rtl::cp866::from_utf8(utf8); }
// CP866 bytes to UTF-8 text.
inline std::string from866(std::string_view cp866) { return rtl::cp866::to_utf8(cp866); }

// Strict forms for files: nullopt when the text is not valid UTF-8 or holds a
// character the page lacks; `bad_at` receives the byte offset of the fault.
inline std::optional<std::string> utf8_to_cp866_strict(std::string_view utf8,
                                                       size_t* bad_at = nullptr) {
  return rtl::cp866::from_utf8_strict(utf8, bad_at);
}
inline bool is_valid_utf8(std::string_view bytes) { return rtl::cp866::is_valid_utf8(bytes); }

// A literal of the system's Russian messages: ru("Ошибка") is the CP866 text.
inline std::string ru(std::string_view utf8) { return to866(utf8); }

}  // namespace kvel::common
