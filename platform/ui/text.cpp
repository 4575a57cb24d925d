#include "platform/ui/text.h"

#include "platform/rtl/cp866.h"
#include "platform/screen/cp866.h"

namespace kvel::ui {

// The runtime library's rules, so that "@!" gives what UPPER() gives.
unsigned char upper(unsigned char c) { return rtl::cp866::upper(c); }
unsigned char lower(unsigned char c) { return rtl::cp866::lower(c); }
bool is_alpha(unsigned char c) { return rtl::cp866::is_alpha(c); }

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
