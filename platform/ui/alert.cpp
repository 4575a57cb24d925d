#include "platform/ui/alert.h"

#include <algorithm>

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"
#include "platform/ui/text.h"

namespace kvel::ui {

namespace sc = kvel::screen;

int alert(eval::Runtime& rt, std::string_view message, std::vector<std::string> buttons,
          std::string_view colours) {
  sc::Screen& scr = sc::screen_of(rt);
  sc::Keyboard& kb = sc::keyboard_of(rt);
  if (buttons.empty()) buttons.push_back("Ok");

  // Lines wider than the screen allows are continued on the next line.
  const int max_w = scr.max_col() + 1 - 8;
  std::vector<std::string> lines;
  for (std::string& l : split(message, ';')) {
    do {
      lines.push_back(l.substr(0, static_cast<size_t>(max_w)));
      l.erase(0, static_cast<size_t>(std::min<int>(max_w, static_cast<int>(l.size()))));
    } while (!l.empty());
  }
  const int max_lines = scr.max_row() + 1 - 6;
  if (static_cast<int>(lines.size()) > max_lines) lines.resize(static_cast<size_t>(max_lines));

  std::vector<std::string> shown;
  int bw = 0;
  for (const std::string& b : buttons) {
    shown.push_back(" " + b.substr(0, static_cast<size_t>(max_w)) + " ");
    bw += static_cast<int>(shown.back().size()) + (shown.size() > 1 ? 2 : 0);
  }
  if (bw > max_w) bw = max_w;
  int w = bw;
  for (const std::string& l : lines) w = std::max(w, static_cast<int>(l.size()));
  const int height = static_cast<int>(lines.size()) + 4;
  const int width = w + 4;
  const int top = (scr.max_row() + 1 - height) / 2;
  const int left = (scr.max_col() + 1 - width) / 2;
  const sc::Rect box{top, left, top + height - 1, left + width - 1};

  sc::ColourList list = sc::parse_colour_list(colours);
  sc::Attr box_attr = list.slot[sc::kStandard];
  sc::Attr cur_attr = list.slot[sc::kEnhanced];

  std::string saved = scr.save(box);
  int old_shape = scr.set_cursor_shape(sc::kCursorNone);
  scr.begin();
  scr.fill(box, ' ', box_attr);
  scr.box(box, sc::kFrameSingle, box_attr);
  for (size_t i = 0; i < lines.size(); ++i) {
    int col = left + 2 + (w - static_cast<int>(lines[i].size())) / 2;
    scr.write(top + 1 + static_cast<int>(i), col, lines[i], box_attr);
  }
  scr.end();
  std::vector<int> at;
  int col = left + 2 + (w - bw) / 2;
  for (const std::string& s : shown) {
    at.push_back(col);
    col += static_cast<int>(s.size()) + 2;
  }
  const int brow = box.bottom - 1;
  const int n = static_cast<int>(shown.size());
  int cur = 0, result = -1;
  while (result < 0) {
    scr.begin();
    for (int i = 0; i < n; ++i) scr.write(brow, at[i], shown[i], i == cur ? cur_attr : box_attr);
    scr.end();
    int key = kb.inkey(rt, 0);
    switch (key) {
      case sc::kKeyLeft:
      case sc::kKeyUp:
        cur = (cur + n - 1) % n;
        break;
      case sc::kKeyRight:
      case sc::kKeyDown:
        cur = (cur + 1) % n;
        break;
      case sc::kKeyHome:
        cur = 0;
        break;
      case sc::kKeyEnd:
        cur = n - 1;
        break;
      case sc::kKeyEnter:
        result = cur + 1;
        break;
      case sc::kKeyEsc:
        result = 0;
        break;
      default:
        if (key >= 33 && key <= 255) {
          unsigned char want = upper(static_cast<unsigned char>(key));
          for (int i = 0; i < n && result < 0; ++i) {
            const std::string& b = buttons[static_cast<size_t>(i)];
            size_t p = b.find_first_not_of(' ');
            if (p != std::string::npos && upper(static_cast<unsigned char>(b[p])) == want)
              result = i + 1;
          }
        }
        break;
    }
  }
  scr.restore(box, saved);
  scr.set_cursor_shape(old_shape);
  return result;
}

}  // namespace kvel::ui
