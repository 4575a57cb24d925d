#include "platform/screen/cp866.h"

namespace kvel::screen {
namespace {

// The pictures the text screen draws for bytes 0x00-0x1F (byte 0 as a blank).
constexpr char32_t kControlGlyphs[32] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 00
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,  // 08
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 10
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,  // 18
};
constexpr char32_t kDeleteGlyph = 0x2302;  // byte 0x7F

}  // namespace

char32_t cp866_to_unicode(uint8_t byte) {
  if (byte < 0x20) return kControlGlyphs[byte];
  if (byte == 0x7F) return kDeleteGlyph;
  return rtl::cp866::to_unicode(byte);
}

std::optional<uint8_t> unicode_to_cp866(char32_t cp) {
  // Input of the ASCII controls (Enter, Tab, Esc ...) is handled by the key
  // decoder before it gets here, so the pictures map back to their bytes only
  // as pictures.
  if (auto b = rtl::cp866::from_unicode(cp)) return b;
  if (cp == kDeleteGlyph) return 0x7F;
  for (uint8_t b = 1; b < 0x20; ++b) {
    if (kControlGlyphs[b] == cp) return b;
  }
  return std::nullopt;
}

std::string cp866_to_utf8(std::string_view cp866) {
  std::string out;
  out.reserve(cp866.size() * 2);
  for (char c : cp866) append_utf8(out, cp866_to_unicode(static_cast<uint8_t>(c)));
  return out;
}

std::string utf8_to_cp866(std::string_view utf8) {
  return rtl::cp866::from_utf8_by(utf8, unicode_to_cp866);
}

}  // namespace kvel::screen
