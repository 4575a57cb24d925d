#include "platform/screen/keys.h"

#include <cctype>
#include <charconv>

namespace kvel::screen {
namespace {

// Alt+letter codes follow the keyboard's scan codes: row QWERTYUIOP from 272,
// ASDFGHJKL from 286, ZXCVBNM from 300.
constexpr int kAltLetters[26] = {
    286, 304, 302, 288, 274, 289, 290, 291, 279, 292, 293, 294, 306,  // A..M
    305, 280, 281, 272, 275, 287, 276, 278, 303, 273, 301, 277, 300,  // N..Z
};

struct Named {
  const char* name;
  int code;
};

// ORDER: the first name of a code is the one key_name gives.
constexpr Named kNames[] = {
    {"None", kKeyNone},
    {"Enter", kKeyEnter},
    {"Esc", kKeyEsc},
    {"Space", kKeySpace},
    {"Up", kKeyUp},
    {"Down", kKeyDown},
    {"Left", kKeyLeft},
    {"Right", kKeyRight},
    {"Home", kKeyHome},
    {"End", kKeyEnd},
    {"PgUp", kKeyPgUp},
    {"PgDn", kKeyPgDn},
    {"Ins", kKeyIns},
    {"Del", kKeyDel},
    {"BS", kKeyBs},
    {"Tab", kKeyTab},
    {"Shift+Tab", kKeyShiftTab},
    {"Ctrl+Enter", kKeyCtrlEnter},
    {"Ctrl+Left", kKeyCtrlLeft},
    {"Ctrl+Right", kKeyCtrlRight},
    {"Ctrl+Up", kKeyCtrlUp},
    {"Ctrl+Down", kKeyCtrlDown},
    {"Ctrl+Home", kKeyCtrlHome},
    {"Ctrl+End", kKeyCtrlEnd},
    {"Ctrl+PgUp", kKeyCtrlPgUp},
    {"Ctrl+PgDn", kKeyCtrlPgDn},
    {"Ctrl+Ins", kKeyCtrlIns},
    {"Ctrl+Del", kKeyCtrlDel},
    {"Ctrl+Tab", kKeyCtrlTab},
    {"Ctrl+BS", kKeyCtrlBs},
    {"Alt+Esc", kKeyAltEsc},
    {"Alt+BS", kKeyAltBs},
    {"Alt+Enter", kKeyAltEnter},
    {"Alt+Up", kKeyAltUp},
    {"Alt+Down", kKeyAltDown},
    {"Alt+Left", kKeyAltLeft},
    {"Alt+Right", kKeyAltRight},
    {"Alt+Home", kKeyAltHome},
    {"Alt+End", kKeyAltEnd},
    {"Alt+PgUp", kKeyAltPgUp},
    {"Alt+PgDn", kKeyAltPgDn},
    {"Alt+Ins", kKeyAltIns},
    {"Alt+Del", kKeyAltDel},
    {"Alt+Tab", kKeyAltTab},
    {"Backspace", kKeyBs},
    {"Return", kKeyEnter},
    {"Escape", kKeyEsc},
    {"Insert", kKeyIns},
    {"Delete", kKeyDel},
    {"PageUp", kKeyPgUp},
    {"PageDown", kKeyPgDn},
};

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool starts_with_i(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && iequal(s.substr(0, prefix.size()), prefix);
}

}  // namespace

int function_key(int n, int mods) {
  if (n < 1 || n > 12) return 0;
  int group = (mods & kModAlt) ? 3 : (mods & kModCtrl) ? 2 : (mods & kModShift) ? 1 : 0;
  if (n <= 10) {
    if (group == 0) return n == 1 ? kKeyF1 : -(n - 1);
    return -(group * 10 + n - 1);
  }
  // F11, F12: -40, -41; Shift -42, -43; Ctrl -44, -45; Alt -46, -47.
  return -(40 + group * 2 + (n - 11));
}

int alt_key(char c) {
  auto u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return kAltLetters[u - 'a'];
  if (u >= 'A' && u <= 'Z') return kAltLetters[u - 'A'];
  if (u >= '1' && u <= '9') return 376 + (u - '1');
  if (u == '0') return 385;
  return 0;
}

int ctrl_key(char c) {
  auto u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return u - 'a' + 1;
  if (u >= 'A' && u <= 'Z') return u - 'A' + 1;
  return 0;
}

std::string key_name(int code) {
  for (const Named& n : kNames)
    if (n.code == code) return n.name;
  static const char* kGroups[4] = {"", "Shift+", "Ctrl+", "Alt+"};
  for (int fn = 1; fn <= 12; ++fn)
    for (int g = 0; g < 4; ++g)
      if (function_key(fn, g == 0 ? 0 : 1 << (g - 1)) == code)
        return std::string(kGroups[g]) + "F" + std::to_string(fn);
  for (char c = 'A'; c <= 'Z'; ++c)
    if (alt_key(c) == code) return std::string("Alt+") + c;
  for (char c = '0'; c <= '9'; ++c)
    if (alt_key(c) == code) return std::string("Alt+") + c;
  if (code >= 1 && code <= 26) return std::string("Ctrl+") + static_cast<char>('A' + code - 1);
  if (code >= 32 && code <= 255 && code != 127) return std::string(1, static_cast<char>(code));
  return std::to_string(code);
}

std::optional<int> key_from_name(std::string_view name) {
  if (name.empty()) return std::nullopt;
  for (const Named& n : kNames)
    if (iequal(name, n.name)) return n.code;
  if (name.size() == 1) return static_cast<unsigned char>(name[0]);  // "5" is the digit, not Right
  int value = 0;
  auto [p, ec] = std::from_chars(name.data(), name.data() + name.size(), value);
  if (ec == std::errc() && p == name.data() + name.size()) return value;
  std::string_view rest = name;
  int mods = 0;
  for (;;) {
    if (starts_with_i(rest, "Shift+")) {
      mods |= kModShift;
      rest.remove_prefix(6);
    } else if (starts_with_i(rest, "Ctrl+")) {
      mods |= kModCtrl;
      rest.remove_prefix(5);
    } else if (starts_with_i(rest, "Alt+")) {
      mods |= kModAlt;
      rest.remove_prefix(4);
    } else {
      break;
    }
  }
  if (rest.size() >= 2 && (rest[0] == 'F' || rest[0] == 'f')) {
    int n = 0;
    auto [q, ec2] = std::from_chars(rest.data() + 1, rest.data() + rest.size(), n);
    if (ec2 == std::errc() && q == rest.data() + rest.size() && n >= 1 && n <= 12)
      return function_key(n, mods);
  }
  if (rest.size() == 1 && mods == kModAlt && alt_key(rest[0])) return alt_key(rest[0]);
  if (rest.size() == 1 && mods == kModCtrl && ctrl_key(rest[0])) return ctrl_key(rest[0]);
  return std::nullopt;
}

}  // namespace kvel::screen
