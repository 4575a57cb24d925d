#include "common/cp866_text.h"

#include <array>

namespace kvel::common {
namespace {

// Code points of bytes 0x80-0xFF.
constexpr std::array<char32_t, 128> kHigh = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

void put_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one character at i; returns false on a malformed sequence.
bool next_utf8(std::string_view s, size_t& i, char32_t& c) {
  auto b = static_cast<unsigned char>(s[i]);
  int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) return false;
  c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k < len; ++k) {
    auto cb = static_cast<unsigned char>(s[i + k]);
    if ((cb & 0xC0) != 0x80) return false;
    c = (c << 6) | (cb & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  i += len;
  return true;
}

}  // namespace

char32_t cp866_to_unicode(unsigned char b) { return b < 0x80 ? b : kHigh[b - 0x80]; }

std::optional<unsigned char> unicode_to_cp866(char32_t c) {
  if (c < 0x80) return static_cast<unsigned char>(c);
  for (size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

std::string from866(std::string_view cp866) {
  std::string out;
  out.reserve(cp866.size() * 2);
  for (unsigned char b : cp866) put_utf8(out, cp866_to_unicode(b));
  return out;
}

std::string to866(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t c = 0;
    if (!next_utf8(utf8, i, c)) {
      out += '?';
      ++i;
      continue;
    }
    auto b = unicode_to_cp866(c);
    out += b ? static_cast<char>(*b) : '?';
  }
  return out;
}

std::optional<std::string> utf8_to_cp866_strict(std::string_view utf8, size_t* bad_at) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    size_t at = i;
    char32_t c = 0;
    std::optional<unsigned char> b;
    if (next_utf8(utf8, i, c)) b = unicode_to_cp866(c);
    if (!b) {
      if (bad_at) *bad_at = at;
      return std::nullopt;
    }
    out += static_cast<char>(*b);
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    if (!next_utf8(bytes, i, c)) return false;
  }
  return true;
}

}  // namespace kvel::common
