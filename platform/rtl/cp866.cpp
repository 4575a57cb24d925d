#include "platform/rtl/cp866.h"

#include <algorithm>

namespace kvel::rtl::cp866 {

namespace {

// Unicode code points of the bytes 0x80..0xFF.
constexpr char16_t kHigh[128] = {
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

}  // namespace

std::string upper(std::string_view s) {
  std::string r(s);
  upper_in_place(r);
  return r;
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(lower(static_cast<uint8_t>(c)));
  return r;
}

void upper_in_place(std::string& s) {
  for (char& c : s) c = static_cast<char>(upper(static_cast<uint8_t>(c)));
}

char32_t to_unicode(uint8_t byte) { return byte < 0x80 ? byte : kHigh[byte - 0x80]; }

std::optional<uint8_t> from_unicode(char32_t cp) {
  if (cp < 0x80) return static_cast<uint8_t>(cp);
  // The letters first: they are nearly every character of a Russian text.
  if (cp >= 0x0410 && cp <= 0x043F) return static_cast<uint8_t>(0x80 + (cp - 0x0410));
  if (cp >= 0x0440 && cp <= 0x044F) return static_cast<uint8_t>(0xE0 + (cp - 0x0440));
  for (int i = 0; i < 128; ++i) {
    if (kHigh[i] == cp) return static_cast<uint8_t>(0x80 + i);
  }
  return std::nullopt;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int decode_utf8(std::string_view bytes, char32_t& cp) {
  if (bytes.empty()) return 0;
  auto b0 = static_cast<uint8_t>(bytes[0]);
  int len;
  char32_t v;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 < 0xE0) {
    len = 2;
    v = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 < 0xF0) {
    len = 3;
    v = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 < 0xF5) {
    len = 4;
    v = b0 & 0x07;
  } else {
    return -1;
  }
  for (int i = 1; i < len; ++i) {
    if (i >= static_cast<int>(bytes.size())) return 0;
    auto b = static_cast<uint8_t>(bytes[i]);
    if ((b & 0xC0) != 0x80) return -1;
    v = (v << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are malformed.
  if ((len == 3 && v < 0x800) || (len == 4 && (v < 0x10000 || v > 0x10FFFF)) ||
      (v >= 0xD800 && v <= 0xDFFF))
    return -1;
  cp = v;
  return len;
}

bool is_valid_utf8(std::string_view bytes) {
  while (!bytes.empty()) {
    char32_t cp = 0;
    int n = decode_utf8(bytes, cp);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string from_utf8(std::string_view utf8) { return from_utf8_by(utf8, from_unicode); }

std::optional<std::string> from_utf8_strict(std::string_view utf8, size_t* bad_at) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    int n = decode_utf8(utf8.substr(i), cp);
    std::optional<uint8_t> b;
    if (n > 0) b = from_unicode(cp);
    if (!b) {
      if (bad_at) *bad_at = i;
      return std::nullopt;
    }
    out += static_cast<char>(*b);
    i += static_cast<size_t>(n);
  }
  return out;
}

std::string to_utf8(std::string_view cp866) {
  std::string out;
  out.reserve(cp866.size() * 2);
  for (char c : cp866) append_utf8(out, to_unicode(static_cast<uint8_t>(c)));
  return out;
}

}  // namespace kvel::rtl::cp866
