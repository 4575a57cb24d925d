// Code page 866 on the screen: the glyph of every byte (the control-range
// pictures included) and the way back for keyboard input. Screen cells hold
// CP866 bytes; terminals speak UTF-8. Text conversion is the runtime's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/rtl/cp866.h"

namespace kvel::screen {

using rtl::cp866::append_utf8;
using rtl::cp866::decode_utf8;

// The Unicode character a CP866 byte shows as. Byte 0 shows as a blank, the
// other control bytes as the pictures the text screen draws for them.
char32_t cp866_to_unicode(uint8_t byte);
// The CP866 byte of a Unicode character (a control picture included), or
// nothing when the code page has none.
std::optional<uint8_t> unicode_to_cp866(char32_t cp);

// Whole texts. UTF-8 characters without a CP866 byte become '?'; malformed bytes too.
std::string cp866_to_utf8(std::string_view cp866);
std::string utf8_to_cp866(std::string_view utf8);

}  // namespace kvel::screen
