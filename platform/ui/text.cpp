#include "platform/ui/text.h"

#include "platform/screen/cp866.h"

namespace kvel::ui {

unsigned char upper(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xA0 && c <= 0xAF) return static_cast<unsigned char>(c - 0x20);  // а..п
  if (c >= 0xE0 && c <= 0xEF) return static_cast<unsigned char>(c - 0x50);  // р..я
  if (c == 0xF1) return 0xF0;                                               // ё
  return c;
}

unsigned char lower(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0x80 && c <= 0x8F) return static_cast<unsigned char>(c + 0x20);
  if (c >= 0x90 && c <= 0x9F) return static_cast<unsigned char>(c + 0x50);
  if (c == 0xF0) return 0xF1;
  return c;
}

bool is_alpha(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0x80 && c <= 0xAF) ||
         (c >= 0xE0 && c <= 0xF1);
}

std::string fit(std::string_view s, int width) {
  if (width <= 0) return {};
  std::string out(s.substr(0, static_cast<size_t>(width)));
  out.resize(static_cast<size_t>(width), ' ');
  return out;
}

std::vector<std::string> split(std::string_view s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t p = s.find(sep, start);
    out.emplace_back(s.substr(start, p == std::string_view::npos ? s.npos : p - start));
    if (p == std::string_view::npos) break;
    start = p + 1;
  }
  return out;
}

std::string cp866(std::string_view utf8) { return screen::utf8_to_cp866(utf8); }

}  // namespace kvel::ui
