#include "platform/ui/menu.h"

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"
#include "platform/ui/text.h"

namespace kvel::ui {

namespace sc = kvel::screen;

void draw_prompt(eval::Runtime& rt, const Prompt& p, bool current) {
  sc::Screen& scr = sc::screen_of(rt);
  scr.write(p.row, p.col, p.text, scr.colour(current ? sc::kEnhanced : sc::kStandard));
  int mrow = rt.settings().message_row;
  if (current && mrow > 0) {
    scr.fill(sc::Rect{mrow, 0, mrow, scr.max_col()}, ' ', scr.colour(sc::kStandard));
    int mcol = 0;
    if (rt.settings().message_center) {
      mcol = (scr.max_col() + 1 - static_cast<int>(p.message.size())) / 2;
      if (mcol < 0) mcol = 0;
    }
    scr.write(mrow, mcol, p.message, scr.colour(sc::kStandard));
  }
}

namespace {

// The first prompt after `from` (wrapping) whose text, after leading blanks,
// starts with the letter; -1 when none does.
int by_letter(const std::vector<Prompt>& prompts, int from, int key) {
  if (key < 32 || key > 255) return -1;
  unsigned char want = upper(static_cast<unsigned char>(key));
  int n = static_cast<int>(prompts.size());
  for (int k = 1; k <= n; ++k) {
    int i = (from + k) % n;
    const std::string& t = prompts[i].text;
    size_t p = t.find_first_not_of(' ');
    if (p != std::string::npos && upper(static_cast<unsigned char>(t[p])) == want) return i;
  }
  return -1;
}

}  // namespace

int menu_to(eval::Runtime& rt, const std::vector<Prompt>& prompts, const MenuOptions& opt) {
  const int n = static_cast<int>(prompts.size());
  if (n == 0) return 0;
  sc::Keyboard& kb = sc::keyboard_of(rt);
  sc::Screen& scr = sc::screen_of(rt);
  int cur = opt.initial - 1;
  if (cur < 0 || cur >= n) cur = 0;
  int old_shape = scr.set_cursor_shape(sc::kCursorNone);
  for (int i = 0; i < n; ++i) draw_prompt(rt, prompts[i], false);
  int result = -1;
  while (result < 0) {
    draw_prompt(rt, prompts[cur], true);
    int key = kb.inkey(rt, 0);
    int next = cur;
    if (!kb.handler(key).is_nil()) {
      kb.run_handler(rt, key, opt.var);
      for (int i = 0; i < n; ++i) draw_prompt(rt, prompts[i], i == cur);
      continue;
    }
    switch (key) {
      case sc::kKeyRight:
      case sc::kKeyDown:
        next = cur + 1 < n ? cur + 1 : (opt.wrap ? 0 : cur);
        break;
      case sc::kKeyLeft:
      case sc::kKeyUp:
        next = cur > 0 ? cur - 1 : (opt.wrap ? n - 1 : cur);
        break;
      case sc::kKeyHome:
        next = 0;
        break;
      case sc::kKeyEnd:
        next = n - 1;
        break;
      case sc::kKeyEnter:
      case sc::kKeyPgUp:
      case sc::kKeyPgDn:
        result = cur + 1;
        break;
      case sc::kKeyEsc:
        result = 0;
        break;
      default: {
        int i = by_letter(prompts, cur, key);
        if (i >= 0) {
          next = i;
          result = i + 1;
        }
        break;
      }
    }
    if (next != cur) {
      draw_prompt(rt, prompts[cur], false);
      cur = next;
    }
  }
  if (result > 0) draw_prompt(rt, prompts[result - 1], true);
  scr.set_cursor_shape(old_shape);
  return result;
}

}  // namespace kvel::ui
