// kvel-keys: draws boxes, shadows and the 16x16 colours in a real terminal and
// shows the key codes it reads and the Shift/Ctrl/Alt state. F10 or Esc twice
// ends it; Alt+Q ends it through exit(99); Alt+X raises a crash signal. It
// exists to try a terminal by hand and for the terminal restore tests.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "platform/eval/runtime.h"
#include "platform/screen/cp866.h"
#include "platform/screen/headless_backend.h"
#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"
#include "platform/screen/scrollbar.h"
#include "platform/screen/term_backend.h"

using namespace kvel;
using namespace kvel::screen;

namespace {

std::string cp(const std::string& utf8) { return utf8_to_cp866(utf8); }

void draw_static(Screen& s, bool kitty) {
  s.begin();
  s.clear_all();
  s.fill({0, 0, 0, kCols - 1}, ' ', parse_colour("W+/B"));
  s.write(0, 1, cp("kvel-keys: коды клавиш и цвета"), parse_colour("W+/B"));
  s.write(0, 50, kitty ? cp("протокол kitty: есть") : cp("протокол kitty: нет"),
          parse_colour("GR+/B"));
  // All 256 attributes: background by row, foreground by column.
  s.box({2, 1, 19, 36}, 2, parse_colour("W+/N"));
  s.write(2, 4, cp(" Цвета "), parse_colour("W+/N"));
  for (int bg = 0; bg < 16; ++bg)
    for (int fg = 0; fg < 16; ++fg)
      s.write(3 + bg, 3 + fg * 2, "Ag", static_cast<Attr>(bg << 4 | fg));
  s.box({2, 40, 12, 76}, std::string(kFrameSingle) + " ", parse_colour("N/W"));
  s.write(2, 42, cp(" Последние клавиши "), parse_colour("N/W"));
  s.shadow({2, 40, 12, 76});
  s.box({15, 40, 19, 76}, kFrameDoubleSingle, parse_colour("BG+/B"));
  s.fill({16, 41, 18, 75}, ' ', parse_colour("BG+/B"));
  s.write(15, 42, cp(" Shift/Ctrl/Alt "), parse_colour("BG+/B"));
  std::string frames =
      "\xDA\xC4\xC2\xBF \xC9\xCD\xCB\xBB \xB0\xB1\xB2\xDB\xDC\xDF\xDD\xDE \x80\x81\x82 "
      "\xA0\xA1\xA2 \xF0\xF1\xFC";
  s.write(21, 2, frames, parse_colour("GR+/N"));
  s.fill({24, 0, 24, kCols - 1}, ' ', parse_colour("N/BG"));
  s.write(24, 0, cp("10Выход  Esc Esc выход  Alt+Q выход 99  Alt+X сигнал аварии"),
          parse_colour("N/BG"));
  s.end();
}

void draw_state(Screen& s, const std::deque<int>& keys, int mods, int count) {
  s.begin();
  Attr a = parse_colour("N/W");
  for (int i = 0; i < 9; ++i) {
    std::string line(34, ' ');
    if (i < static_cast<int>(keys.size())) {
      int k = keys[keys.size() - 1 - i];
      std::string text = std::to_string(k) + "  " + key_name(k);
      line.replace(0, std::min(text.size(), line.size()), text.substr(0, line.size()));
    }
    s.write(3 + i, 41, line, a);
  }
  Attr m = parse_colour("BG+/B"), on = parse_colour("GR+/R");
  s.write(17, 44, " Shift ", (mods & kModShift) ? on : m);
  s.write(17, 53, " Ctrl ", (mods & kModCtrl) ? on : m);
  s.write(17, 61, " Alt ", (mods & kModAlt) ? on : m);
  ScrollBar bar{kBarHorizontal, {22, 2, 22, 36}, "W/N", count % 20 + 1, 20};
  draw(s, bar);
  s.end();
}

}  // namespace

int main() {
  auto term = TermBackend::open(TermOptions::from_environment());
  if (!term.ok()) {
    std::fprintf(stderr, "kvel-keys: %s\n", term.status().message().c_str());
    return 1;
  }
  eval::Runtime rt;
  install_console(rt, term.value());
  Screen& s = rt.get<Screen>();
  Keyboard& k = rt.get<Keyboard>();
  s.set_title(cp("kvel-keys"));
  s.set_cursor_shape(kCursorNone);
  draw_static(s, term.value()->kitty_active());
  std::deque<int> keys;
  int shown_mods = -1, count = 0;
  k.idle().add_idle([&](eval::Runtime&) {
    if (k.modifiers() != shown_mods) {
      shown_mods = k.modifiers();
      draw_state(s, keys, shown_mods, count);
    }
  });
  draw_state(s, keys, 0, 0);
  int escapes = 0;
  for (;;) {
    int key = k.inkey(rt, 0);
    keys.push_back(key);
    if (keys.size() > 9) keys.pop_front();
    ++count;
    draw_state(s, keys, k.modifiers(), count);
    if (key == -9) break;
    escapes = key == kKeyEsc ? escapes + 1 : 0;
    if (escapes == 2) break;
    if (key == alt_key('q')) std::exit(99);
    if (key == alt_key('x')) std::raise(SIGSEGV);
  }
  return 0;
}
