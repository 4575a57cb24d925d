// Key codes as the language sees them (INKEY, LASTKEY, SETKEY): printable
// characters are their CP866 byte; movement, function and modified keys have
// the family's numbers. Codes that share a number are one key to the system:
// Ctrl+A is Home (1), Ctrl+C is PgDn (3), Ctrl+\ is F1 (28).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvel::screen {

inline constexpr int kKeyNone = 0;
inline constexpr int kKeyHome = 1;
inline constexpr int kKeyCtrlRight = 2;
inline constexpr int kKeyPgDn = 3;
inline constexpr int kKeyRight = 4;
inline constexpr int kKeyUp = 5;
inline constexpr int kKeyEnd = 6;
inline constexpr int kKeyDel = 7;
inline constexpr int kKeyBs = 8;
inline constexpr int kKeyTab = 9;
inline constexpr int kKeyCtrlEnter = 10;
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyPgUp = 18;
inline constexpr int kKeyLeft = 19;
inline constexpr int kKeyIns = 22;
inline constexpr int kKeyCtrlEnd = 23;
inline constexpr int kKeyDown = 24;
inline constexpr int kKeyCtrlLeft = 26;
inline constexpr int kKeyEsc = 27;
inline constexpr int kKeyF1 = 28;
inline constexpr int kKeyCtrlHome = 29;
inline constexpr int kKeyCtrlPgDn = 30;
inline constexpr int kKeyCtrlPgUp = 31;
inline constexpr int kKeySpace = 32;
inline constexpr int kKeyCtrlBs = 127;
inline constexpr int kKeyAltEsc = 257;
inline constexpr int kKeyAltBs = 270;
inline constexpr int kKeyShiftTab = 271;
inline constexpr int kKeyAltEnter = 284;
inline constexpr int kKeyAltK = 293;
inline constexpr int kKeyCtrlUp = 397;
inline constexpr int kKeyCtrlDown = 401;
inline constexpr int kKeyCtrlIns = 402;
inline constexpr int kKeyCtrlDel = 403;
inline constexpr int kKeyCtrlTab = 404;
inline constexpr int kKeyAltHome = 407;
inline constexpr int kKeyAltUp = 408;
inline constexpr int kKeyAltPgUp = 409;
inline constexpr int kKeyAltLeft = 411;
inline constexpr int kKeyAltRight = 413;
inline constexpr int kKeyAltEnd = 415;
inline constexpr int kKeyAltDown = 416;
inline constexpr int kKeyAltPgDn = 417;
inline constexpr int kKeyAltIns = 418;
inline constexpr int kKeyAltDel = 419;
inline constexpr int kKeyAltTab = 421;

// Modifier bits of the Shift, Ctrl and Alt state.
inline constexpr int kModShift = 1;
inline constexpr int kModCtrl = 2;
inline constexpr int kModAlt = 4;

// Function key n (1..12) with the modifiers held: F1 28, F2..F10 -1..-9,
// F11 -40, F12 -41, Shift+F1..F10 -10..-19, Ctrl -20..-29, Alt -30..-39,
// Shift/Ctrl/Alt+F11,F12 -42..-47. Several modifiers: Alt wins, then Ctrl.
int function_key(int n, int mods = 0);
// Alt with a Latin letter (either case) or a digit: Alt+A 286, Alt+K 293, Alt+1 376,
// Alt+0 385. 0 for other characters.
int alt_key(char c);
// Ctrl with a Latin letter: 1..26. 0 for other characters.
int ctrl_key(char c);

// The name of a key as scripts and the demo write it: "Enter", "F10",
// "Shift+F3", "Alt+K", "Ctrl+Left", "Ctrl+B"... Printable CP866 bytes are the
// byte itself; other codes are their number.
std::string key_name(int code);
// Reads a name back (without regard to case): the names key_name gives, "Ctrl+A"
// .. "Ctrl+Z", "Alt+<letter or digit>", "Backspace", "Return", "Space", one
// character for itself ("5" is the digit) and numbers of two or more
// characters ("13", "-9"). Nothing for an unknown name.
std::optional<int> key_from_name(std::string_view name);

}  // namespace kvel::screen
