#include "platform/screen/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/screen/keys.h"
#include "support/test_support.h"

namespace kvel::screen {
namespace {

using test::escaped;

// Decodes a whole byte string as one burst (final) into key codes.
std::vector<int> keys_of(KeyDecoder& dec, std::string_view bytes) {
  std::vector<int> out;
  while (!bytes.empty()) {
    Decoded d = dec.decode(bytes, true);
    if (d.used == 0) break;
    if (d.event.kind == InputEvent::Kind::Key) out.push_back(d.event.key);
    bytes.remove_prefix(d.used);
  }
  return out;
}

struct Case {
  std::string_view bytes;
  int key;
};

void expect_keys(const std::vector<Case>& cases, const char* terminal) {
  for (const Case& c : cases) {
    KeyDecoder dec;
    std::vector<int> got = keys_of(dec, c.bytes);
    EXPECT_EQ(got, std::vector<int>{c.key})
        << terminal << " bytes: " << escaped(std::string(c.bytes));
  }
}

TEST(KeyDecoder, XtermSequences) {
  expect_keys(
      {
          {"\x1b[A", kKeyUp},
          {"\x1b[B", kKeyDown},
          {"\x1b[C", kKeyRight},
          {"\x1b[D", kKeyLeft},
          {"\x1bOA", kKeyUp},
          {"\x1bOD", kKeyLeft},
          {"\x1b[H", kKeyHome},
          {"\x1b[F", kKeyEnd},
          {"\x1bOH", kKeyHome},
          {"\x1bOF", kKeyEnd},
          {"\x1b[2~", kKeyIns},
          {"\x1b[3~", kKeyDel},
          {"\x1b[5~", kKeyPgUp},
          {"\x1b[6~", kKeyPgDn},
          {"\x1bOP", kKeyF1},
          {"\x1bOQ", -1},
          {"\x1bOR", -2},
          {"\x1bOS", -3},
          {"\x1b[15~", -4},
          {"\x1b[17~", -5},
          {"\x1b[18~", -6},
          {"\x1b[19~", -7},
          {"\x1b[20~", -8},
          {"\x1b[21~", -9},
          {"\x1b[23~", -40},
          {"\x1b[24~", -41},
          {"\x1b[1;2P", -10},
          {"\x1b[1;2Q", -11},
          {"\x1b[21;2~", -19},
          {"\x1b[1;5P", -20},
          {"\x1b[15;5~", -24},
          {"\x1b[21;5~", -29},
          {"\x1b[1;3P", -30},
          {"\x1b[21;3~", -39},
          {"\x1b[23;2~", -42},
          {"\x1b[24;5~", -45},
          {"\x1b[24;3~", -47},
          {"\x1b[1;5D", kKeyCtrlLeft},
          {"\x1b[1;5C", kKeyCtrlRight},
          {"\x1b[1;5A", kKeyCtrlUp},
          {"\x1b[1;5B", kKeyCtrlDown},
          {"\x1b[1;5H", kKeyCtrlHome},
          {"\x1b[1;5F", kKeyCtrlEnd},
          {"\x1b[5;5~", kKeyCtrlPgUp},
          {"\x1b[6;5~", kKeyCtrlPgDn},
          {"\x1b[1;3A", kKeyAltUp},
          {"\x1b[1;2A", kKeyUp},
          {"\x1b[3;5~", kKeyCtrlDel},
          {"\x1b[Z", kKeyShiftTab},
          {"\r", kKeyEnter},
          {"\n", kKeyCtrlEnter},
          {"\t", kKeyTab},
          {"\x7f", kKeyBs},
          {"\x08", kKeyBs},
          {"\x01", 1},
          {"\x1a", 26},
          {"\x1bk", kKeyAltK},
          {"\x1bK", kKeyAltK},
          {"\x1b"
           "a",
           286},
          {"\x1b"
           "1",
           376},
          {"\x1b\r", kKeyAltEnter},
          {"\x1b\x7f", kKeyAltBs},
          {"\x1b\x1b[A", kKeyAltUp},
          {"\x1bOk", '+'},
          {"\x1bOM", kKeyEnter},
          {"\x1bOp", '0'},
          {" ", ' '},
          {"+", '+'},
          {"-", '-'},
          {"*", '*'},
      },
      "xterm");
}

TEST(KeyDecoder, LinuxConsoleSequences) {
  expect_keys(
      {
          {"\x1b[[A", kKeyF1},
          {"\x1b[[B", -1},
          {"\x1b[[E", -4},
          {"\x1b[1~", kKeyHome},
          {"\x1b[4~", kKeyEnd},
          {"\x1b[25~", -12},
          {"\x1b[34~", -19},
          {"\x1b[7~", kKeyHome},
          {"\x1b[8~", kKeyEnd},
          {"\x1b[11~", kKeyF1},
          {"\x1b[2^", kKeyCtrlIns},
          {"\x1b[11$", -10},
      },
      "linux");
}

TEST(KeyDecoder, Utf8TextBecomesCp866) {
  expect_keys(
      {
          {"\xd0\x90", 0x80},          // А
          {"\xd1\x8f", 0xEF},          // я
          {"\xd0\x81", 0xF0},          // Ё
          {"\xe2\x84\x96", 0xFC},      // №
          {"\x1b\xd0\xbb", kKeyAltK},  // Alt with л, the letter on the K key
      },
      "utf-8");
  KeyDecoder dec;
  EXPECT_TRUE(keys_of(dec, "\xe2\x82\xac").empty()) << "the euro sign has no CP866 byte";
  EXPECT_TRUE(keys_of(dec, "\xff").empty()) << "a byte that starts no UTF-8 character";
  KeyDecoder raw(false);
  EXPECT_EQ(keys_of(raw, "\x80\xef"), (std::vector<int>{0x80, 0xEF})) << "CP866 input";
}

TEST(KeyDecoder, KittyProtocolKeys) {
  expect_keys(
      {
          {"\x1b[97u", 'a'},
          {"\x1b[97;2u", 'A'},
          {"\x1b[97:65;2u", 'A'},
          {"\x1b[97;5u", 1},
          {"\x1b[107;3u", kKeyAltK},
          {"\x1b[107;7u", kKeyAltK},
          {"\x1b[1083;3u", kKeyAltK},
          {"\x1b[1083;1;1083u", 0xAB},
          {"\x1b[1083;2;1051u", 0x8B},
          {"\x1b[13u", kKeyEnter},
          {"\x1b[13;5u", kKeyCtrlEnter},
          {"\x1b[13;3u", kKeyAltEnter},
          {"\x1b[27u", kKeyEsc},
          {"\x1b[9;2u", kKeyShiftTab},
          {"\x1b[127u", kKeyBs},
          {"\x1b[127;5u", kKeyCtrlBs},
          {"\x1b[1;5D", kKeyCtrlLeft},
          {"\x1b[57399u", '0'},
          {"\x1b[57413u", '+'},
          {"\x1b[57414u", kKeyEnter},
          {"\x1b[57417u", kKeyLeft},
          {"\x1b[57424;5u", kKeyCtrlEnd},
          {"\x1b[13~", -2},
          {"\x1b[P", kKeyF1},
          {"\x1b[1;2:1P", -10},
          {"\x1b[32u", ' '},
          {"\x1b[49;3u", 376},
      },
      "kitty");
  KeyDecoder dec;
  EXPECT_TRUE(keys_of(dec, "\x1b[97;1:3u").empty()) << "a key release is no key";
  EXPECT_TRUE(keys_of(dec, "\x1b[1;1:3A").empty()) << "a release of an arrow is no key";
  EXPECT_TRUE(keys_of(dec, "\x1b[57358u").empty()) << "Caps Lock is no key";
}

// Modifier key presses and releases drive the Shift/Ctrl/Alt state.
TEST(KeyDecoder, KittyModifierState) {
  struct Step {
    std::string_view bytes;
    int mods;
  };
  static const Step steps[] = {
      {"\x1b[57441;2u", kModShift},             // left Shift down
      {"\x1b[57442;6u", kModShift | kModCtrl},  // left Ctrl down too
      {"\x1b[57441;5:3u", kModCtrl},            // Shift up
      {"\x1b[57442;1:3u", 0},                   // Ctrl up
      {"\x1b[57443;3u", kModAlt},               // Alt down
      {"\x1b[57449;3u", kModAlt},               // right Alt down
      {"\x1b[57443;3:3u", kModAlt},             // left Alt up, right still held
      {"\x1b[97u", 0},                          // a key without Alt: the release was missed
      {"\x1b[57447;2:2u", kModShift},           // right Shift repeating
      {"\x1b[57447;1:3u", 0},
  };
  KeyDecoder dec;
  for (const Step& s : steps) {
    Decoded d = dec.decode(s.bytes, false);
    EXPECT_EQ(d.used, s.bytes.size()) << escaped(std::string(s.bytes));
    EXPECT_EQ(dec.modifiers(), s.mods) << escaped(std::string(s.bytes));
  }
  KeyDecoder plain;
  keys_of(plain, "\x1b[1;5D\x1b[1;2A");
  EXPECT_EQ(plain.modifiers(), 0) << "legacy sequences leave the state at none held";
}

TEST(KeyDecoder, IncompleteSequencesWaitUnlessFinal) {
  static const std::string_view prefixes[] = {"\x1b", "\x1b[",    "\x1b[1;5", "\x1bO",   "\x1b[[",
                                              "\xd0", "\xe2\x84", "\x1b\x1b", "\x1b\xd0"};
  for (std::string_view p : prefixes) {
    KeyDecoder dec;
    EXPECT_EQ(dec.decode(p, false).used, 0u) << escaped(std::string(p));
    Decoded d = dec.decode(p, true);
    EXPECT_GT(d.used, 0u) << escaped(std::string(p));
  }
  KeyDecoder dec;
  EXPECT_EQ(keys_of(dec, "\x1b"), std::vector<int>{kKeyEsc}) << "a lone Esc after the timeout";
}

TEST(KeyDecoder, RepliesAndUnknownSequencesAreNoKeys) {
  struct Reply {
    std::string_view bytes;
    bool kitty;
    bool device;
  };
  static const Reply replies[] = {
      {"\x1b[?31u", true, false}, {"\x1b[?62;22c", false, true}, {"\x1b[?1;2c", false, true},
      {"\x1b[I", false, false},   {"\x1b[99~", false, false},    {"\x1b[<0;10;5M", false, false},
  };
  for (const Reply& r : replies) {
    KeyDecoder dec;
    Decoded d = dec.decode(r.bytes, false);
    EXPECT_EQ(d.used, r.bytes.size()) << escaped(std::string(r.bytes));
    EXPECT_EQ(d.event.kind, InputEvent::Kind::None) << escaped(std::string(r.bytes));
    EXPECT_EQ(d.kitty_reply, r.kitty) << escaped(std::string(r.bytes));
    EXPECT_EQ(d.device_reply, r.device) << escaped(std::string(r.bytes));
  }
}

TEST(KeyDecoder, BurstOfKeys) {
  KeyDecoder dec;
  EXPECT_EQ(keys_of(dec, "ab\x1b[A\xd0\x90\r\x1bOP"),
            (std::vector<int>{'a', 'b', kKeyUp, 0x80, kKeyEnter, kKeyF1}));
}

}  // namespace
}  // namespace kvel::screen
