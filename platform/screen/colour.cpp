#include "platform/screen/colour.h"

#include <cctype>

namespace kvel::screen {
namespace {

// Colour numbers by letter combination; index = colour number 0..7.
constexpr const char* kLetters[8] = {"N", "B", "G", "BG", "R", "RB", "GR", "W"};

// Reads one side of a pair: letters add their bits, digits form a number.
struct Side {
  int colour = 0;
  bool any = false;
};

Side read_side(std::string_view s, bool& bright, bool& blink, bool& inverse, bool& blank) {
  Side side;
  int number = -1;
  for (char ch : s) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    switch (c) {
      case 'B':
        side.colour |= 1;
        side.any = true;
        break;
      case 'G':
        side.colour |= 2;
        side.any = true;
        break;
      case 'R':
        side.colour |= 4;
        side.any = true;
        break;
      case 'W':
        side.colour |= 7;
        side.any = true;
        break;
      case 'N':
        side.any = true;
        break;
      case 'U':
        side.colour |= 1;
        side.any = true;
        break;  // underline shows as blue
      case 'I':
        inverse = true;
        side.any = true;
        break;
      case 'X':
        blank = true;
        side.any = true;
        break;
      case '+':
        bright = true;
        break;
      case '*':
        blink = true;
        break;
      default:
        if (c >= '0' && c <= '9') {
          number = (number < 0 ? 0 : number * 10) + (c - '0');
          if (number > 255) number = 255;
          side.any = true;
        }
        break;
    }
  }
  if (number >= 0) side.colour = number & 0x0F;
  return side;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

Attr parse_colour(std::string_view pair, Attr fallback) {
  pair = trim(pair);
  if (pair.empty()) return fallback;
  size_t slash = pair.find('/');
  std::string_view fg_text = pair.substr(0, slash);
  std::string_view bg_text =
      slash == std::string_view::npos ? std::string_view{} : pair.substr(slash + 1);
  bool bright = false, blink = false, inverse = false, blank = false;
  Side fg = read_side(fg_text, bright, blink, inverse, blank);
  Side bg = read_side(bg_text, bright, blink, inverse, blank);
  int f = fg.colour, b = bg.colour;
  if (inverse) {
    f = 0;
    b = 7;
  }
  if (bright) f |= 8;
  if (blink) b |= 8;
  if (blank) f = b & 7;
  return static_cast<Attr>((b & 0x0F) << 4 | (f & 0x0F));
}

std::string colour_string(Attr a) {
  std::string s = kLetters[a & 7];
  if (a & 0x08) s += '+';
  s += '/';
  s += kLetters[(a >> 4) & 7];
  if (a & 0x80) s += '*';
  return s;
}

ColourList parse_colour_list(std::string_view text, const ColourList& base) {
  if (trim(text).empty()) return ColourList{};
  ColourList out = base;
  int slot = 0;
  while (slot < kColourSlots) {
    size_t comma = text.find(',');
    std::string_view part = text.substr(0, comma);
    if (!trim(part).empty()) out.slot[slot] = parse_colour(part, base.slot[slot]);
    ++slot;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return out;
}

std::string colour_list_string(const ColourList& list) {
  std::string s;
  for (int i = 0; i < kColourSlots; ++i) {
    if (i) s += ',';
    s += colour_string(list.slot[i]);
  }
  return s;
}

}  // namespace kvel::screen
