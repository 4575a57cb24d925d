#include "platform/ui/editor.h"

#include <algorithm>

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"
#include "platform/ui/editor_text.h"
#include "platform/ui/text.h"

namespace kvel::ui {

namespace sc = kvel::screen;

namespace {

constexpr int kCtrlT = 20;
constexpr int kCtrlY = 25;

bool is_save_key(int key) {
  return key == sc::kKeyCtrlEnd || key == sc::alt_key('W') || key == kKeySaveExit;
}

class Editor {
 public:
  Editor(eval::Runtime& rt, std::string_view text, const EditorSpec& spec)
      : rt_(rt),
        spec_(spec),
        scr_(sc::screen_of(rt)),
        kb_(sc::keyboard_of(rt)),
        h_(std::max(0, spec.area.bottom - spec.area.top + 1)),
        w_(std::max(0, spec.area.right - spec.area.left + 1)),
        txt_(text, spec.line_length > 0 ? spec.line_length : std::max(1, w_)) {}

  EditorResult run(std::string_view original);

 private:
  bool known(int key) const;
  void act(int key);
  void answer(int ans, int key);
  void type(int key);
  void word_right();
  bool scroll(int key);
  void visible();
  void draw();
  int ask(int mode) { return spec_.user(mode, line_ + 1, col_); }
  int max_col() const { return txt_.wrap() ? txt_.line_length() : 0xFFFF; }

  eval::Runtime& rt_;
  const EditorSpec& spec_;
  sc::Screen& scr_;
  sc::Keyboard& kb_;
  int h_, w_;
  EditorText txt_;
  int line_ = 0, col_ = 0, top_ = 0, left_ = 0;
  bool changed_ = false, done_ = false, saved_ = false;
  bool scroll_mode_ = false;
};

bool Editor::known(int key) const {
  switch (key) {
    case sc::kKeyUp:
    case sc::kKeyDown:
    case sc::kKeyLeft:
    case sc::kKeyRight:
    case sc::kKeyHome:
    case sc::kKeyEnd:
    case sc::kKeyCtrlHome:
    case sc::kKeyPgUp:
    case sc::kKeyPgDn:
    case sc::kKeyCtrlPgUp:
    case sc::kKeyCtrlPgDn:
    case sc::kKeyCtrlLeft:
    case sc::kKeyCtrlRight:
    case sc::kKeyEnter:
    case sc::kKeyDel:
    case sc::kKeyBs:
    case sc::kKeyTab:
      return true;
    default:
      return key >= 32 && key <= 255 && key != sc::kKeyCtrlBs;
  }
}

void Editor::type(int key) {
  if (!spec_.editable) return;
  char c = static_cast<char>(key);
  txt_.insert(line_, col_, std::string_view(&c, 1), !rt_.settings().insert);
  changed_ = true;
}

void Editor::act(int key) {
  if (scroll_mode_ && scroll(key)) return;
  const int n = txt_.lines();
  auto len = [&](int i) { return static_cast<int>(txt_.line(i).size()); };
  switch (key) {
    case sc::kKeyUp:
      if (line_ > 0) --line_;
      break;
    case sc::kKeyDown:
      if (line_ + 1 < n) ++line_;
      break;
    case sc::kKeyLeft:
      if (col_ > 0) {
        --col_;
      } else if (line_ > 0) {
        --line_;
        col_ = len(line_);
      }
      break;
    case sc::kKeyRight:
      if (col_ < max_col()) {
        ++col_;
      } else if (line_ + 1 < n) {
        ++line_;
        col_ = 0;
      }
      break;
    case sc::kKeyHome:
      col_ = 0;
      break;
    case sc::kKeyEnd:
      col_ = len(line_);
      break;
    case sc::kKeyCtrlHome:
      line_ = top_;
      col_ = 0;
      break;
    case sc::kKeyPgUp:
      line_ = std::max(0, line_ - h_);
      top_ = std::max(0, top_ - h_);
      break;
    case sc::kKeyPgDn:
      line_ = std::min(n - 1, line_ + h_);
      top_ = std::min(std::max(0, n - h_), top_ + h_);
      break;
    case sc::kKeyCtrlPgUp:
      line_ = 0;
      col_ = 0;
      break;
    case sc::kKeyCtrlPgDn:
      line_ = n - 1;
      col_ = len(line_);
      break;
    case sc::kKeyCtrlLeft: {
      // To the start of the word before the cursor, across lines.
      int l = line_, c = std::min(col_, len(line_));
      for (;;) {
        const std::string& t = txt_.line(l);
        while (c > 0 && t[c - 1] == ' ') --c;
        if (c > 0) {
          while (c > 0 && t[c - 1] != ' ') --c;
          break;
        }
        if (l == 0) break;
        --l;
        c = len(l);
      }
      line_ = l;
      col_ = c;
      break;
    }
    case sc::kKeyCtrlRight:
      // The code of Ctrl+B as well: the family reformats the paragraph with
      // it; a key callback answers kMeWordRight to move a word instead.
      if (spec_.editable) {
        if (txt_.reformat(line_, col_)) changed_ = true;
      } else {
        word_right();
      }
      break;
    case sc::kKeyEnter:
      if (spec_.editable) {
        txt_.split(line_, col_);
        changed_ = true;
      } else if (line_ + 1 < n) {
        ++line_;
        col_ = 0;
      }
      break;
    case sc::kKeyDel:
      if (spec_.editable) {
        txt_.erase(line_, col_);
        changed_ = true;
      }
      break;
    case sc::kKeyBs:
      if (spec_.editable && (col_ > 0 || line_ > 0)) {
        txt_.backspace(line_, col_);
        changed_ = true;
      } else if (!spec_.editable && col_ > 0) {
        --col_;
      }
      break;
    case sc::kKeyTab: {
      int ts = std::max(1, spec_.tab_size);
      int to = (col_ / ts + 1) * ts;
      if (spec_.editable && rt_.settings().insert) {
        txt_.insert(line_, col_, std::string(static_cast<size_t>(to - col_), ' '));
        changed_ = true;
      } else {
        col_ = std::min(to, max_col());
      }
      break;
    }
    case kCtrlY:
      if (spec_.editable) {
        txt_.erase_line(line_);
        line_ = std::min(line_, txt_.lines() - 1);
        col_ = 0;
        changed_ = true;
      }
      break;
    case kCtrlT:
      if (spec_.editable) {
        txt_.erase_word(line_, col_);
        changed_ = true;
      }
      break;
    case sc::kKeyIns:
      rt_.settings().insert = !rt_.settings().insert;
      scr_.set_cursor_shape(rt_.settings().insert ? sc::kCursorInsert : sc::kCursorNormal);
      break;
    case sc::kKeyEsc:
      done_ = true;
      break;
    default:
      if (is_save_key(key)) {
        done_ = saved_ = true;
      } else if (key >= 32 && key <= 255 && key != sc::kKeyCtrlBs) {
        type(key);
      }
      break;
  }
}

void Editor::word_right() {
  const int n = txt_.lines();
  auto len = [&](int i) { return static_cast<int>(txt_.line(i).size()); };
  int l = line_, c = std::min(col_, len(line_));
  const std::string* t = &txt_.line(l);
  while (c < len(l) && (*t)[c] != ' ') ++c;
  for (;;) {
    while (c < len(l) && (*t)[c] == ' ') ++c;
    if (c < len(l) || l + 1 >= n) break;
    ++l;
    c = 0;
    t = &txt_.line(l);
  }
  line_ = l;
  col_ = c;
}

// Scroll mode: the arrows move the text under a cursor that keeps its place
// in the window, as long as the text goes on that way.
bool Editor::scroll(int key) {
  switch (key) {
    case sc::kKeyUp:
      if (top_ == 0) return false;
      --top_;
      --line_;
      return true;
    case sc::kKeyDown:
      if (line_ + 1 >= txt_.lines()) return false;
      ++top_;
      ++line_;
      return true;
    case sc::kKeyLeft:
      if (left_ == 0) return false;
      --left_;
      --col_;
      return true;
    case sc::kKeyRight:
      if (col_ >= max_col()) return false;
      ++left_;
      ++col_;
      return true;
    default:
      return false;
  }
}

void Editor::answer(int ans, int key) {
  switch (ans) {
    case kMeDefault:
      act(key);
      break;
    case kMeIgnore:
      break;
    case kMeData:
      if (key >= 1 && key <= 255) type(key);
      break;
    case kMeToggleWrap:
      txt_.set_wrap(!txt_.wrap() && txt_.line_length() > 0);
      break;
    case kMeToggleScroll:
      scroll_mode_ = !scroll_mode_;
      break;
    case kMeWordRight:
      word_right();
      break;
    case kMeBottomRight:
      line_ = std::min(txt_.lines() - 1, top_ + h_ - 1);
      col_ = static_cast<int>(txt_.line(line_).size());
      break;
    default:
      if (ans >= 1 && ans <= 31) act(ans);
      break;
  }
}

void Editor::visible() {
  line_ = std::clamp(line_, 0, txt_.lines() - 1);
  col_ = std::clamp(col_, 0, max_col());
  if (line_ < top_) top_ = line_;
  if (line_ >= top_ + h_) top_ = line_ - h_ + 1;
  if (col_ < left_) left_ = col_;
  if (col_ >= left_ + w_) left_ = col_ - w_ + 1;
  // A line that fits the window is shown from its start (unless the user
  // scrolls the window himself).
  if (!scroll_mode_ && col_ < w_ && static_cast<int>(txt_.line(line_).size()) < w_) left_ = 0;
  top_ = std::max(0, top_);
  left_ = std::max(0, left_);
}

void Editor::draw() {
  scr_.begin();
  sc::Attr a = scr_.colour();
  for (int r = 0; r < h_; ++r) {
    int i = top_ + r;
    std::string t;
    if (i < txt_.lines()) {
      const std::string& l = txt_.line(i);
      if (static_cast<int>(l.size()) > left_)
        t = l.substr(static_cast<size_t>(left_), static_cast<size_t>(w_));
    }
    scr_.write(spec_.area.top + r, spec_.area.left, fit(t, w_), a);
  }
  scr_.set_pos(spec_.area.top + line_ - top_, spec_.area.left + col_ - left_);
  scr_.end();
}

EditorResult Editor::run(std::string_view original) {
  EditorResult res;
  if (h_ == 0 || w_ == 0) {
    res.text = std::string(original);
    return res;
  }
  int old_shape =
      scr_.set_cursor_shape(rt_.settings().insert ? sc::kCursorInsert : sc::kCursorNormal);
  line_ = spec_.start_line - 1;
  col_ = spec_.start_col;
  line_ = std::clamp(line_, 0, txt_.lines() - 1);
  top_ = std::max(0, line_ - std::clamp(spec_.win_row, 0, h_ - 1));
  left_ = std::max(0, col_ - std::clamp(spec_.win_col, 0, w_ - 1));
  visible();
  draw();
  if (spec_.user) {
    // The callback prepares the editor; it answers the default when done.
    for (int guard = 0; guard < 256; ++guard) {
      int ans = ask(kMeInit);
      if (ans == kMeDefault) break;
      answer(ans, 0);
    }
    visible();
    draw();
  }
  bool idle_asked = false;
  while (!done_) {
    if (spec_.user && !idle_asked && kb_.next_key(rt_) == 0) {
      ask(kMeIdle);
      idle_asked = true;
      visible();
      draw();
      continue;
    }
    int key = kb_.inkey(rt_, 0);
    idle_asked = false;
    if (!kb_.handler(key).is_nil()) {
      kb_.run_handler(rt_, key);
    } else {
      bool configurable = key == kCtrlY || key == kCtrlT || key == sc::kKeyCtrlRight ||
                          key == sc::kKeyIns || key == sc::kKeyEsc || is_save_key(key);
      if (spec_.user && (configurable || !known(key))) {
        answer(ask(changed_ ? kMeUnkeyX : kMeUnkey), key);
      } else {
        act(key);
      }
    }
    visible();
    draw();
  }
  scr_.set_cursor_shape(old_shape);
  res.saved = saved_;
  // Unchanged, the text comes back as it was given: looking at a text never
  // writes soft breaks into its long lines.
  res.text = saved_ && changed_ ? txt_.text() : std::string(original);
  res.line = line_ + 1;
  res.col = col_;
  res.win_row = line_ - top_;
  res.win_col = col_ - left_;
  return res;
}

}  // namespace

EditorResult edit_text(eval::Runtime& rt, std::string_view text, const EditorSpec& spec) {
  Editor e(rt, text, spec);
  return e.run(text);
}

}  // namespace kvel::ui
