#include "platform/screen/key_decoder.h"

#include <array>
#include <vector>

#include "platform/screen/cp866.h"
#include "platform/screen/keys.h"

namespace kvel::screen {
namespace {

constexpr char kEsc = '\x1b';
// "No key" in the tables below; -1 is F2.
constexpr int kNoKey = -1000000;

enum Move {
  kMvUp,
  kMvDown,
  kMvLeft,
  kMvRight,
  kMvHome,
  kMvEnd,
  kMvPgUp,
  kMvPgDn,
  kMvIns,
  kMvDel,
  kMoves
};

// Plain, with Ctrl, with Alt. Shift adds nothing to a movement key.
constexpr int kMoveCodes[kMoves][3] = {
    {kKeyUp, kKeyCtrlUp, kKeyAltUp},       {kKeyDown, kKeyCtrlDown, kKeyAltDown},
    {kKeyLeft, kKeyCtrlLeft, kKeyAltLeft}, {kKeyRight, kKeyCtrlRight, kKeyAltRight},
    {kKeyHome, kKeyCtrlHome, kKeyAltHome}, {kKeyEnd, kKeyCtrlEnd, kKeyAltEnd},
    {kKeyPgUp, kKeyCtrlPgUp, kKeyAltPgUp}, {kKeyPgDn, kKeyCtrlPgDn, kKeyAltPgDn},
    {kKeyIns, kKeyCtrlIns, kKeyAltIns},    {kKeyDel, kKeyCtrlDel, kKeyAltDel},
};

int move_key(int m, int mods) {
  return kMoveCodes[m][(mods & kModAlt) ? 2 : (mods & kModCtrl) ? 1 : 0];
}

// xterm's modifier parameter: 1 + bits (1 Shift, 2 Alt, 4 Ctrl, 8 Meta). The
// kitty protocol uses the same encoding and adds Super, Hyper and the locks.
int xterm_mods(long p) {
  if (p < 2) return 0;
  long b = p - 1;
  int m = 0;
  if (b & 1) m |= kModShift;
  if (b & 2) m |= kModAlt;
  if (b & 4) m |= kModCtrl;
  if (b & 32) m |= kModAlt;  // Meta
  return m;
}

// The Latin key under each Cyrillic letter а..я of the Russian layout, so that
// Alt and Ctrl with a Cyrillic letter give the code of that key.
constexpr std::string_view kLatinUnder = "f,dult;pbqrkvyjghcnea[wxio]sm'.z";

char latin_of(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  if (cp >= 0x410 && cp <= 0x42F) cp += 0x20;
  if (cp >= 0x430 && cp <= 0x44F) return kLatinUnder[cp - 0x430];
  if (cp == 0x401 || cp == 0x451) return '`';
  return 0;
}

// The key of a character typed with modifiers; -1 when it has none.
int char_key(char32_t cp, int mods) {
  if (mods & kModAlt) {
    if (cp == '\r') return kKeyAltEnter;
    if (cp == 27) return kKeyAltEsc;
    if (cp == 127 || cp == 8) return kKeyAltBs;
    if (cp == '\t') return kKeyAltTab;
    if (int k = alt_key(latin_of(cp))) return k;
  } else if (mods & kModCtrl) {
    if (cp == '\r') return kKeyCtrlEnter;
    if (cp == '\t') return kKeyCtrlTab;
    if (cp == 127 || cp == 8) return kKeyCtrlBs;
    if (int k = ctrl_key(latin_of(cp))) return k;
  }
  if (cp == '\t' && (mods & kModShift)) return kKeyShiftTab;
  switch (cp) {
    case '\r':
      return kKeyEnter;
    case '\n':
      return kKeyCtrlEnter;
    case 127:
      return kKeyBs;
    case 0:
      return kNoKey;
    default:
      break;
  }
  if (cp < 0x80) return static_cast<int>(cp);
  auto b = unicode_to_cp866(cp);
  return b ? *b : kNoKey;
}

Decoded key(size_t used, int code, int mods = 0) {
  Decoded d;
  d.used = used;
  if (code != kNoKey) d.event = {InputEvent::Kind::Key, code, mods};
  return d;
}

Decoded nothing(size_t used) {
  Decoded d;
  d.used = used;
  return d;
}

// Numbers of a parameter text "1;5:3;97": fields by ';', parts by ':'; an
// empty part is -1.
std::vector<std::vector<long>> parse_params(std::string_view p) {
  std::vector<std::vector<long>> fields(1, std::vector<long>(1, -1));
  for (char c : p) {
    if (c == ';') {
      fields.emplace_back(1, -1);
    } else if (c == ':') {
      fields.back().push_back(-1);
    } else if (c >= '0' && c <= '9') {
      long& v = fields.back().back();
      v = v < 0 ? 0 : v;
      if (v < 100000000) v = v * 10 + (c - '0');
    }
  }
  return fields;
}

long part(const std::vector<std::vector<long>>& f, size_t field, size_t idx, long fallback) {
  if (field >= f.size() || idx >= f[field].size() || f[field][idx] < 0) return fallback;
  return f[field][idx];
}

// "CSI n ~" keys: Home, Ins, Del, End, PgUp, PgDn and the function keys. The
// Linux console gives Shift+F1, F2 as F11, F12 and Shift+F3..F10 as 25~..34~.
int tilde_key(long n, int mods) {
  switch (n) {
    case 1:
    case 7:
      return move_key(kMvHome, mods);
    case 2:
      return move_key(kMvIns, mods);
    case 3:
      return move_key(kMvDel, mods);
    case 4:
    case 8:
      return move_key(kMvEnd, mods);
    case 5:
      return move_key(kMvPgUp, mods);
    case 6:
      return move_key(kMvPgDn, mods);
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return function_key(static_cast<int>(n - 10), mods);
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return function_key(static_cast<int>(n - 11), mods);
    case 23:
      return function_key(11, mods);
    case 24:
      return function_key(12, mods);
    case 25:
      return function_key(3, mods | kModShift);
    case 26:
      return function_key(4, mods | kModShift);
    case 28:
      return function_key(5, mods | kModShift);
    case 29:
      return function_key(6, mods | kModShift);
    case 31:
      return function_key(7, mods | kModShift);
    case 32:
      return function_key(8, mods | kModShift);
    case 33:
      return function_key(9, mods | kModShift);
    case 34:
      return function_key(10, mods | kModShift);
    default:
      return kNoKey;
  }
}

int letter_key(char c, int mods) {
  switch (c) {
    case 'A':
      return move_key(kMvUp, mods);
    case 'B':
      return move_key(kMvDown, mods);
    case 'C':
      return move_key(kMvRight, mods);
    case 'D':
      return move_key(kMvLeft, mods);
    case 'H':
      return move_key(kMvHome, mods);
    case 'F':
      return move_key(kMvEnd, mods);
    case 'P':
      return function_key(1, mods);
    case 'Q':
      return function_key(2, mods);
    case 'R':
      return function_key(3, mods);
    case 'S':
      return function_key(4, mods);
    default:
      return kNoKey;
  }
}

// Keypad keys of the application keypad mode (SS3 j..y, X, M).
int keypad_key(char c) {
  if (c >= 'p' && c <= 'y') return '0' + (c - 'p');
  switch (c) {
    case 'j':
      return '*';
    case 'k':
      return '+';
    case 'l':
      return ',';
    case 'm':
      return '-';
    case 'n':
      return '.';
    case 'o':
      return '/';
    case 'X':
      return '=';
    case 'M':
      return kKeyEnter;
    default:
      return kNoKey;
  }
}

// Kitty's codes for modifier keys: left and right Shift, Control, Alt, Super,
// Hyper, Meta, then the two level shifts.
constexpr long kKittyLeftShift = 57441;
constexpr long kKittyLastModifier = 57454;

int modifier_of_key(long code) {
  switch (code) {
    case 57441:
    case 57447:
      return kModShift;
    case 57442:
    case 57448:
      return kModCtrl;
    case 57443:
    case 57449:
    case 57446:
    case 57452:
      return kModAlt;
    default:
      return 0;
  }
}

Decoded ss3(std::string_view bytes, size_t start, bool final, int extra) {
  size_t i = start;
  long m = 0;
  while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9') m = m * 10 + (bytes[i++] - '0');
  if (i >= bytes.size()) return final ? key(2, alt_key('O')) : nothing(0);
  char c = bytes[i];
  int mods = xterm_mods(m) | extra;
  int k = letter_key(c, mods);
  if (k == kNoKey) k = keypad_key(c);
  return k == kNoKey ? nothing(i + 1) : key(i + 1, k);
}

}  // namespace

int KeyDecoder::modifier_state(int) const {
  int m = 0;
  for (long code = kKittyLeftShift; code <= kKittyLastModifier; ++code)
    if (held_ & (1 << (code - kKittyLeftShift))) m |= modifier_of_key(code);
  return m;
}

Decoded KeyDecoder::decode(std::string_view bytes, bool final) {
  if (bytes.empty()) return nothing(0);
  auto b0 = static_cast<unsigned char>(bytes[0]);
  if (b0 == static_cast<unsigned char>(kEsc)) {
    if (bytes.size() == 1) return final ? key(1, kKeyEsc, mods_) : nothing(0);
    char b1 = bytes[1];
    if (b1 == '[') return csi(bytes, 2, final);
    if (b1 == 'O') {
      if (bytes.size() == 2) return final ? key(2, alt_key('O'), mods_) : nothing(0);
      return ss3(bytes, 2, final, 0);
    }
    if (b1 == kEsc) {
      // Esc Esc [ and Esc Esc O are Alt with a sequence (some terminals send
      // Alt+Up so). Otherwise these are two Escapes pressed quickly: the
      // system backs out of a level with each, so they are not Alt+Esc.
      if (bytes.size() == 2 && !final) return nothing(0);
      if (bytes.size() == 2) return key(1, kKeyEsc, mods_);
      if (bytes[2] == '[') {
        alt_prefix_ = true;
        Decoded d = csi(bytes, 3, final);
        alt_prefix_ = false;
        return d;
      }
      if (bytes[2] == 'O') return ss3(bytes, 3, final, kModAlt);
      return key(1, kKeyEsc, mods_);
    }
    // Alt with a character.
    char32_t cp = 0;
    int n = utf8_ ? decode_utf8(bytes.substr(1), cp) : 1;
    if (!utf8_) cp = static_cast<unsigned char>(b1);
    if (n == 0) return final ? key(1, kKeyEsc, mods_) : nothing(0);
    if (n < 0) return key(1, kKeyEsc, mods_);
    return key(1 + n, char_key(cp, kModAlt), mods_);
  }
  if (b0 < 0x80 || !utf8_) {
    if (b0 >= 0x80) return key(1, b0, mods_);
    return key(1, char_key(b0, 0), mods_);
  }
  char32_t cp = 0;
  int n = decode_utf8(bytes, cp);
  if (n == 0) return final ? nothing(bytes.size()) : nothing(0);
  if (n < 0) return nothing(1);
  return key(n, char_key(cp, 0), mods_);
}

Decoded KeyDecoder::csi(std::string_view bytes, size_t start, bool final) {
  int extra = alt_prefix_ ? kModAlt : 0;
  size_t i = start;
  while (i < bytes.size() && bytes[i] >= 0x30 && bytes[i] <= 0x3F) ++i;
  // '$' ends rxvt's Shift sequences ("Esc [ 11 $"), so it is no intermediate here.
  while (i < bytes.size() && bytes[i] >= 0x20 && bytes[i] <= 0x2F && bytes[i] != '$') ++i;
  if (i >= bytes.size()) return final ? key(1, kKeyEsc, mods_) : nothing(0);
  char f = bytes[i];
  size_t used = i + 1;
  std::string_view p = bytes.substr(start, i - start);
  if (p.empty() && f == '[') {
    // Linux console F1..F5: Esc [ [ A .. E.
    if (used >= bytes.size()) return final ? nothing(used) : nothing(0);
    char c = bytes[used];
    if (c >= 'A' && c <= 'E') return key(used + 1, function_key(c - 'A' + 1, extra), mods_);
    return nothing(used + 1);
  }
  if (!p.empty() && p[0] == '?') {
    Decoded d = nothing(used);
    d.kitty_reply = f == 'u';
    d.device_reply = f == 'c';
    return d;
  }
  if (!p.empty() && (p[0] == '<' || p[0] == '>' || p[0] == '=')) return nothing(used);
  if (f == 'M' && p.empty()) {
    // X10 mouse report: three bytes follow.
    if (used + 3 > bytes.size() && !final) return nothing(0);
    return nothing(std::min(used + 3, bytes.size()));
  }
  auto fields = parse_params(p);
  long code = part(fields, 0, 0, 1);
  long kmods = part(fields, 1, 0, 1);
  long event = part(fields, 1, 1, 1);
  int mods = xterm_mods(kmods) | extra;
  if (f == 'u') {
    KittyKey k;
    k.code = code;
    k.shifted = part(fields, 0, 1, -1);
    k.kmods = kmods;
    k.event = event;
    k.text = part(fields, 2, 0, -1);
    return kitty_key(k, used);
  }
  if (event == 3) return nothing(used);  // key release (kitty protocol)
  int k = kNoKey;
  switch (f) {
    case '~':
      k = tilde_key(code, mods);
      break;
    case '$':
      k = tilde_key(code, mods | kModShift);
      break;  // rxvt
    case '^':
      k = tilde_key(code, mods | kModCtrl);
      break;
    case '@':
      k = tilde_key(code, mods | kModCtrl | kModShift);
      break;
    case 'Z':
      k = kKeyShiftTab;
      break;
    default:
      k = letter_key(f, mods);
      break;
  }
  return k == kNoKey ? nothing(used) : key(used, k, mods_);
}

Decoded KeyDecoder::kitty_key(const KittyKey& k, size_t used) {
  int mods = xterm_mods(k.kmods);
  if (k.code >= kKittyLeftShift && k.code <= kKittyLastModifier) {
    int bit = 1 << (k.code - kKittyLeftShift);
    if (k.event == 3)
      held_ &= ~bit;
    else
      held_ |= bit;
    mods_ = modifier_state(0);
    Decoded d = nothing(used);
    d.event = {InputEvent::Kind::Modifiers, 0, mods_};
    return d;
  }
  // Any other key carries the true state: drop modifier keys whose release was
  // missed (the window lost focus while they were held).
  for (long c = kKittyLeftShift; c <= kKittyLastModifier; ++c)
    if (modifier_of_key(c) && !(modifier_of_key(c) & mods)) held_ &= ~(1 << (c - kKittyLeftShift));
  mods_ = mods;
  if (k.event == 3) return nothing(used);
  long code = k.code;
  int kc = -1;
  if (code >= 57399 && code <= 57408) {
    kc = static_cast<int>('0' + (code - 57399));
  } else if (code >= 57409 && code <= 57427) {
    static constexpr int kPad[] = {'.', '/', '*', '-', '+', kKeyEnter, '=', ',', -2, -3,
                                   -4,  -5,  -6,  -7,  -8,  -9,        -10, -11, -1};
    kc = kPad[code - 57409];
    static constexpr Move kPadMoves[] = {kMvLeft, kMvRight, kMvUp,  kMvDown, kMvPgUp,
                                         kMvPgDn, kMvHome,  kMvEnd, kMvIns,  kMvDel};
    if (kc <= -2) return key(used, move_key(kPadMoves[-kc - 2], mods), mods_);
    if (kc == -1) return nothing(used);
    if (kc == kKeyEnter) return key(used, char_key('\r', mods), mods_);
  } else if (code >= 57344) {
    return nothing(used);  // locks, media keys, F13 and up
  } else if (code == 27) {
    return key(used, (mods & kModAlt) ? kKeyAltEsc : kKeyEsc, mods_);
  }
  if (kc >= 0 && !(mods & (kModCtrl | kModAlt))) return key(used, kc, mods_);
  if (k.text > 0 && !(mods & (kModCtrl | kModAlt)))
    return key(used, char_key(static_cast<char32_t>(k.text), 0), mods_);
  char32_t cp = static_cast<char32_t>(kc >= 0 ? kc : code);
  if ((mods & kModShift) && !(mods & (kModCtrl | kModAlt)) && kc < 0) {
    if (k.shifted > 0)
      cp = static_cast<char32_t>(k.shifted);
    else if (cp >= 'a' && cp <= 'z')
      cp -= 32;
  }
  return key(used, char_key(cp, mods), mods_);
}

}  // namespace kvel::screen
