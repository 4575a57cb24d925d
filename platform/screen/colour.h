// Colour strings: "W+/B" pairs of foreground and background letters (N B G BG
// R RB GR W), "+" for a bright foreground, "*" for a bright background, and
// lists of pairs joined by "," (standard, enhanced, border, background,
// unselected). Letters are read without regard to case; blanks are ignored.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/screen/cell.h"

namespace kvel::screen {

// Positions in a colour list; COLORSELECT numbers them the same way.
enum ColourSlot : int {
  kStandard = 0,
  kEnhanced = 1,
  kBorder = 2,
  kBackground = 3,
  kUnselected = 4,
  kColourSlots = 5,
};

// One pair. Unknown characters are skipped, a missing part is black, numbers
// ("15/1") are taken as colour numbers, "I" is inverse (N/W) and "X" blank.
// Returns `fallback` for a text with nothing in it but blanks.
Attr parse_colour(std::string_view pair, Attr fallback = kDefaultAttr);

// The pair of an attribute in the system's own spelling: "W+/B", "N/W*", "N+/N".
// parse_colour(colour_string(a)) == a for every attribute.
std::string colour_string(Attr a);

struct ColourList {
  // W/N, N/W, N/N, N/N, N/W: what a fresh screen uses.
  std::array<Attr, kColourSlots> slot{0x07, 0x70, 0x00, 0x00, 0x70};
  friend bool operator==(const ColourList&, const ColourList&) = default;
};

// Applies a colour text to a list. Slots left empty ("W/B,,GR+/R") keep what
// `base` has; an entirely empty text gives the fresh list.
ColourList parse_colour_list(std::string_view text, const ColourList& base = {});
// "W/N,N/W,N/N,N/N,N/W".
std::string colour_list_string(const ColourList& list);

}  // namespace kvel::screen
