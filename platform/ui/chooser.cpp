#include "platform/ui/chooser.h"

#include <algorithm>

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"
#include "platform/ui/text.h"

namespace kvel::ui {

namespace sc = kvel::screen;

namespace {

class Chooser {
 public:
  Chooser(eval::Runtime& rt, const ChooserSpec& s)
      : rt_(rt), s_(s), scr_(sc::screen_of(rt)), kb_(sc::keyboard_of(rt)) {
    h_ = s.area.bottom - s.area.top + 1;
    w_ = s.area.right - s.area.left + 1;
    n_ = s.count < 0 ? 0 : s.count;
  }

  int run();

 private:
  bool enabled(int i) const { return i >= 0 && i < n_ && (!s_.enabled || s_.enabled(i)); }
  int find(int from, int dir) const {  // first enabled item from `from` going `dir`
    for (int i = from; i >= 0 && i < n_; i += dir)
      if (enabled(i)) return i;
    return -1;
  }
  int near(int at) const {  // enabled item at or after `at`, else before it
    int i = find(at, 1);
    return i >= 0 ? i : find(at, -1);
  }
  void visible() {
    if (cur_ < top_) top_ = cur_;
    if (cur_ >= top_ + h_) top_ = cur_ - h_ + 1;
    if (top_ < 0) top_ = 0;
  }
  void draw_row(int r) {
    int i = top_ + r;
    std::string text = i < n_ ? fit(s_.item(i), w_) : std::string(w_, ' ');
    sc::Attr a = scr_.colour(i == cur_ && enabled(i) && active_ ? sc::kEnhanced
                             : i >= n_ || enabled(i)            ? sc::kStandard
                                                                : sc::kUnselected);
    scr_.write(s_.area.top + r, s_.area.left, text, a);
  }
  void draw() {
    scr_.begin();
    for (int r = 0; r < h_; ++r) draw_row(r);
    scr_.set_pos(s_.area.top + cur_ - top_, s_.area.left);
    scr_.end();
  }
  int ask(int mode) { return s_.user(mode, cur_ + 1, cur_ - top_); }
  // The item after the current one (wrapping) whose text, after leading
  // blanks (buttons and menu lines are often padded), starts with the key's
  // letter, without regard to case.
  int by_letter(int key) const {
    if (key < 33 || key > 255 || n_ == 0) return -1;
    unsigned char want = upper(static_cast<unsigned char>(key));
    for (int k = 1; k <= n_; ++k) {
      int i = (cur_ + k) % n_;
      std::string t = s_.item(i);
      size_t p = t.find_first_not_of(' ');
      if (p != std::string::npos && upper(static_cast<unsigned char>(t[p])) == want && enabled(i))
        return i;
    }
    return -1;
  }
  int no_items();

  eval::Runtime& rt_;
  const ChooserSpec& s_;
  sc::Screen& scr_;
  sc::Keyboard& kb_;
  int h_ = 0, w_ = 0, n_ = 0;
  int cur_ = 0, top_ = 0;
  bool active_ = true;
};

int Chooser::no_items() {
  active_ = false;
  draw();
  if (!s_.user) return 0;
  for (;;) {
    int last = kb_.last_key();
    size_t pending = kb_.pending();
    int ans = ask(kAcNoItem);
    if (ans == kAcAbort || ans == kAcSelect) return 0;
    draw();
    // A user function that took no key: wait for one here, so the list cannot spin.
    if (kb_.last_key() == last && kb_.pending() == pending) {
      if (kb_.inkey(rt_, 0) == sc::kKeyEsc) return 0;
    }
  }
}

int Chooser::run() {
  if (h_ <= 0 || w_ <= 0) return 0;
  cur_ = std::clamp(s_.first - 1, 0, n_ > 0 ? n_ - 1 : 0);
  int row = std::clamp(s_.first_row, 0, h_ - 1);
  top_ = std::max(0, std::min(cur_ - row, n_ - h_));
  if (cur_ - top_ >= h_ || top_ > cur_) top_ = std::max(0, cur_ - row);
  int sel = near(cur_);
  if (sel < 0) return no_items();
  cur_ = sel;
  visible();
  draw();
  bool idle_asked = false;  // once per key: an idle answer never spins the list
  for (;;) {
    int answer = -1;
    if (s_.user && !idle_asked && kb_.next_key(rt_) == 0) {
      answer = ask(kAcIdle);
      idle_asked = true;
    }
    if (answer < 0 || answer == kAcContinue) {
      if (answer == kAcContinue) draw();
      int key = kb_.inkey(rt_, 0);
      idle_asked = false;
      if (!kb_.handler(key).is_nil()) {
        kb_.run_handler(rt_, key);
        draw();
        continue;
      }
      int to = cur_;
      int hit = -1;
      switch (key) {
        case sc::kKeyUp:
          to = find(cur_ - 1, -1);
          if (to < 0) hit = kAcHitTop;
          break;
        case sc::kKeyDown:
          to = find(cur_ + 1, 1);
          if (to < 0) hit = kAcHitBottom;
          break;
        case sc::kKeyPgUp:
          if (find(cur_ - 1, -1) < 0) {
            hit = kAcHitTop;
          } else {
            to = near(std::max(0, cur_ - h_));
            if (to >= cur_) to = find(cur_ - 1, -1);
            top_ = std::max(0, top_ - h_);
          }
          break;
        case sc::kKeyPgDn:
          if (find(cur_ + 1, 1) < 0) {
            hit = kAcHitBottom;
          } else {
            int at = std::min(n_ - 1, cur_ + h_);
            to = find(at, -1);
            if (to <= cur_) to = find(cur_ + 1, 1);
            top_ = std::min(std::max(0, n_ - h_), top_ + h_);
          }
          break;
        case sc::kKeyCtrlPgUp:
          to = find(0, 1);
          break;
        case sc::kKeyCtrlPgDn:
          to = find(n_ - 1, -1);
          break;
        case sc::kKeyCtrlHome:
          to = near(top_);
          break;
        case sc::kKeyCtrlEnd: {
          int i = find(std::min(n_ - 1, top_ + h_ - 1), -1);
          to = i >= top_ ? i : cur_;
          break;
        }
        default:
          if (s_.user) {
            answer = ask(kAcException);
          } else if (key == sc::kKeyHome) {
            to = find(0, 1);
          } else if (key == sc::kKeyEnd) {
            to = find(n_ - 1, -1);
          } else if (key == sc::kKeyEnter) {
            answer = kAcSelect;
          } else if (key == sc::kKeyEsc || key == sc::kKeyLeft || key == sc::kKeyRight) {
            answer = kAcAbort;
          } else {
            int i = by_letter(key);
            if (i >= 0) to = i;
          }
          break;
      }
      if (to >= 0 && to != cur_) {
        cur_ = to;
        visible();
        draw();
      }
      if (hit >= 0 && s_.user) answer = ask(hit);
      if (answer < 0) continue;
    }
    switch (answer) {
      case kAcAbort:
        active_ = false;
        draw();
        return 0;
      case kAcSelect:
        if (!enabled(cur_)) break;
        active_ = false;
        draw();
        return cur_ + 1;
      case kAcGoto: {
        int i = by_letter(kb_.last_key());
        if (i >= 0) {
          cur_ = i;
          visible();
        }
        break;
      }
      default:
        break;
    }
    draw();
  }
}

}  // namespace

int choose(eval::Runtime& rt, const ChooserSpec& spec) {
  Chooser c(rt, spec);
  return c.run();
}

}  // namespace kvel::ui
