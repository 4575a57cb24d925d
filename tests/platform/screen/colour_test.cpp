#include "platform/screen/colour.h"

#include <gtest/gtest.h>

#include "platform/screen/cp866.h"

namespace kvel::screen {
namespace {

TEST(Colour, PairsToAttributes) {
  struct Case {
    std::string_view text;
    Attr attr;
  };
  static const Case cases[] = {
      {"W/N", 0x07},   {"N/W", 0x70},  {"BG+/B", 0x1B}, {"GR+/R", 0x4E},  {"RB+/GR*", 0xED},
      {"N/W*", 0xF0},  {"n/g*", 0xA0}, {"w+/r", 0x4F},  {" n/w* ", 0xF0}, {"W*/B", 0x97},
      {"+W/B", 0x1F},  {"GR", 0x06},   {"/W", 0x70},    {"15/1", 0x1F},   {"I", 0x70},
      {"BG/RB", 0x53}, {"N+/N", 0x08}, {"X/B", 0x11},   {"", 0x07},       {"ZZ/??", 0x00},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parse_colour(c.text), c.attr) << "colour: \"" << c.text << '"';
}

TEST(Colour, AttributeToStringRoundTrips) {
  EXPECT_EQ(colour_string(0x1B), "BG+/B");
  EXPECT_EQ(colour_string(0xF0), "N/W*");
  EXPECT_EQ(colour_string(0x08), "N+/N");
  EXPECT_EQ(colour_string(0x6E), "GR+/GR");
  for (int a = 0; a < 256; ++a)
    EXPECT_EQ(parse_colour(colour_string(static_cast<Attr>(a))), a) << a;
}

TEST(Colour, Lists) {
  struct Case {
    std::string_view text;
    std::string_view result;
  };
  static const Case cases[] = {
      {"W+/B,N/W", "W+/B,N/W,N/N,N/N,N/W"}, {"w+/r, n/w*", "W+/R,N/W*,N/N,N/N,N/W"},
      {",GR+/R", "W/N,GR+/R,N/N,N/N,N/W"},  {"W/B,,,,B/W", "W/B,N/W,N/N,N/N,B/W"},
      {"", "W/N,N/W,N/N,N/N,N/W"},          {"R/N,G/N,B/N,W/N,N/N,RB/N", "R/N,G/N,B/N,W/N,N/N"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(colour_list_string(parse_colour_list(c.text)), c.result)
        << "colours: \"" << c.text << '"';
  ColourList base = parse_colour_list("W+/B,GR+/R");
  EXPECT_EQ(colour_list_string(parse_colour_list("N/W", base)), "N/W,GR+/R,N/N,N/N,N/W")
      << "empty slots keep";
}

TEST(Cp866, EveryByteHasAGlyphThatMapsBack) {
  for (int b = 1; b < 256; ++b) {
    char32_t cp = cp866_to_unicode(static_cast<uint8_t>(b));
    auto back = unicode_to_cp866(cp);
    ASSERT_TRUE(back.has_value()) << b;
    EXPECT_EQ(*back, b) << b;
  }
  struct Case {
    uint8_t byte;
    std::string_view utf8;
  };
  static const Case cases[] = {
      {0x80, "А"}, {0xAF, "п"}, {0xE0, "р"}, {0xF0, "Ё"}, {0xF1, "ё"}, {0xB0, "░"},
      {0xB2, "▓"}, {0xC9, "╔"}, {0xDA, "┌"}, {0xDB, "█"}, {0xDC, "▄"}, {0xDF, "▀"},
      {0xFC, "№"}, {0x10, "►"}, {0x1E, "▲"}, {0x7F, "⌂"}, {0xFE, "■"}, {0x00, " "},
  };
  for (const Case& c : cases)
    EXPECT_EQ(cp866_to_utf8(std::string(1, static_cast<char>(c.byte))), c.utf8) << int(c.byte);
  EXPECT_EQ(utf8_to_cp866("Выход €"), "\x82\xeb\xe5\xae\xa4 ?");
}

}  // namespace
}  // namespace kvel::screen
