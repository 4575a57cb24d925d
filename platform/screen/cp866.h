// Code page 866 and Unicode: the glyph of every byte (frame, block and the
// control-range pictures included) and the way back for keyboard input.
// Screen cells hold CP866 bytes; terminals speak UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvel::screen {

// The Unicode character a CP866 byte shows as. Byte 0 shows as a blank.
char32_t cp866_to_unicode(uint8_t byte);
// The CP866 byte of a Unicode character, or nothing when the code page has none.
std::optional<uint8_t> unicode_to_cp866(char32_t cp);

// Appends the UTF-8 form of a code point.
void append_utf8(std::string& out, char32_t cp);
// Decodes one UTF-8 character at the start of bytes. Returns the number of bytes it
// takes, 0 when the sequence is incomplete, or -1 when the first byte cannot start
// one (or the sequence is malformed); cp is set only on success.
int decode_utf8(std::string_view bytes, char32_t& cp);

// Whole texts. UTF-8 characters without a CP866 byte become '?'; malformed bytes too.
std::string cp866_to_utf8(std::string_view cp866);
std::string utf8_to_cp866(std::string_view utf8);

}  // namespace kvel::screen
