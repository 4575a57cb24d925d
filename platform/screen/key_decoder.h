// Terminal input bytes to key codes: xterm and Linux console escape sequences,
// the kitty keyboard protocol (with key release and modifier key events), Alt
// as an Esc prefix, and UTF-8 text as CP866 bytes. Pure: bytes in, one event
// out; the terminal back-end feeds it and times out a lone Esc.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/screen/backend.h"

namespace kvel::screen {

struct Decoded {
  // Bytes taken from the input; 0 when they are the beginning of a sequence
  // and more must come first.
  size_t used = 0;
  // Kind::None for sequences that are no key (key releases, unknown sequences,
  // replies of the terminal, characters without a CP866 byte).
  InputEvent event;
  bool kitty_reply = false;   // the terminal answered the kitty protocol query
  bool device_reply = false;  // the terminal answered the device attributes query
};

class KeyDecoder {
 public:
  // utf8: input is UTF-8 (else CP866 bytes pass through as they are).
  explicit KeyDecoder(bool utf8 = true) : utf8_(utf8) {}

  // Decodes the first event of `bytes`. `final` says no more bytes are coming
  // soon: an unfinished sequence is then taken as it stands, so a lone Esc
  // is the Esc key. Pre: bytes is not empty.
  Decoded decode(std::string_view bytes, bool final);

  // Shift/Ctrl/Alt held as the kitty protocol last reported; always 0 without it.
  int modifiers() const { return mods_; }

 private:
  struct KittyKey {
    long code = 0;
    long shifted = -1;  // the key with Shift, when the terminal reports it
    long kmods = 1;     // the protocol's modifier field
    long event = 1;     // 1 press, 2 repeat, 3 release
    long text = -1;     // first code point of the text the key produced
  };
  Decoded csi(std::string_view bytes, size_t start, bool final);
  Decoded kitty_key(const KittyKey& k, size_t used);
  int modifier_state(int kmods) const;

  bool utf8_;
  bool alt_prefix_ = false;  // decoding the sequence after Esc Esc
  int mods_ = 0;
  int held_ = 0;  // modifier keys held, one bit per key (left/right apart)
};

}  // namespace kvel::screen
