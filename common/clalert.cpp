#include "common/clalert.h"

#include <algorithm>

#include "common/keys.h"
#include "common/publics.h"
#include "platform/eval/eval.h"
#include "platform/rtl/cp866.h"
#include "platform/screen/colour.h"
#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"
#include "platform/ui/chooser.h"

namespace kvel::common {

using eval::Args;
using eval::Runtime;
using eval::Value;
namespace sc = kvel::screen;

namespace {

constexpr std::string_view kOk = "  Ok  ";
constexpr uint8_t kUpperHalf = 0xDF;  // ▀
constexpr uint8_t kLowerHalf = 0xDC;  // ▄

int len(const std::string& s) { return static_cast<int>(s.size()); }

std::string colr(Runtime& rt, long n) {
  Value* list = rt.memvars().find(pub::COLR.name);
  if (!list || !list->is_array() || n < 1) return "";
  const auto& items = list->as_array()->items;
  if (static_cast<size_t>(n) > items.size()) return "";
  return text_of(items[static_cast<size_t>(n - 1)]);
}

std::string trim(std::string s) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(' ');
  return s.substr(a, b - a + 1);
}

std::vector<std::string> alert_colours(Runtime& rt, const AlertSpec& spec) {
  std::vector<std::string> c;
  Value v = spec.colours;
  if (v.is_nil())
    v = spec.raised ? list_of_colours({2, 53, 82, 4}) : list_of_colours({2, 2, 53, 30});
  if (v.is_array()) {
    for (const Value& e : v.as_array()->items) {
      c.push_back(e.is_number() ? colr(rt, number_of(e)) : text_of(e));
    }
  } else if (v.is_string()) {
    const std::string& t = v.as_string();
    for (size_t start = 0;;) {
      size_t comma = t.find(',', start);
      c.push_back(trim(t.substr(start, comma - start)));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (c.size() == 5) c[2] = c[4];
  }
  c.resize(4);
  if (c[2].empty()) {
    c[2] = c[1];
    c[1].clear();
  }
  if (c[3].empty()) c[3] = c[0];
  return c;
}

std::vector<std::string> buttons_of(const AlertSpec& spec) {
  std::vector<std::string> b = spec.buttons;
  if (b.empty()) b.emplace_back(kOk);
  bool all_empty = std::all_of(b.begin(), b.end(), [](const std::string& s) { return s.empty(); });
  if (all_empty) b.clear();
  return b;
}

struct Item {
  int row, col;
  std::string text;
  int button;  // 1-based
  bool enabled;
};

int by_letter(const std::vector<Item>& items, int key) {
  if (key < 33 || key > 255) return -1;
  uint8_t want = rtl::cp866::upper(static_cast<uint8_t>(key));
  for (size_t i = 0; i < items.size(); ++i) {
    if (!items[i].enabled) continue;
    const std::string& t = items[i].text;
    size_t p = t.find_first_not_of(' ');
    if (p != std::string::npos && rtl::cp866::upper(static_cast<uint8_t>(t[p])) == want) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// The light-bar menu over the buttons. Returns the chosen item index or -1 for Esc.
// `paged`: the one-under-another raised form, PgUp/PgDn turn pages instead.
int run_menu(Runtime& rt, const std::vector<Item>& items, int cur, bool wrap,
             const std::function<void(int cur)>& draw, const std::function<bool(int key)>& page) {
  sc::Keyboard& kb = sc::keyboard_of(rt);
  const int n = static_cast<int>(items.size());
  auto step = [&](int from, int dir) {
    for (int k = 1; k <= n; ++k) {
      int i = from + dir * k;
      if (wrap) i = ((i % n) + n) % n;
      if (i < 0 || i >= n) return from;
      if (items[i].enabled) return i;
    }
    return from;
  };
  for (;;) {
    draw(cur);
    int key = kb.inkey(rt, 0);
    if (kb.handler(key).is_block()) {
      kb.run_handler(rt, key);
      continue;
    }
    switch (key) {
      case sc::kKeyRight:
      case sc::kKeyDown:
        cur = step(cur, 1);
        break;
      case sc::kKeyLeft:
      case sc::kKeyUp:
        cur = step(cur, -1);
        break;
      case sc::kKeyHome:
        cur = items[0].enabled ? 0 : step(0, 1);
        break;
      case sc::kKeyEnd:
        cur = items[n - 1].enabled ? n - 1 : step(n - 1, -1);
        break;
      case sc::kKeyPgUp:
      case sc::kKeyPgDn:
        if (page && page(key)) return -2;
        return cur;
      case sc::kKeyEnter:
        return cur;
      case sc::kKeyEsc:
        return -1;
      default: {
        int i = by_letter(items, key);
        if (i >= 0) {
          draw(i);
          return i;
        }
      }
    }
  }
}

// Restores what the dialog changed, also when a key handler breaks out.
struct Restore {
  Restore(Runtime& r, sc::Screen& s) : rt(r), scr(s) {
    picture = scr.save(sc::Rect{});
    colours = scr.colours();
    shape = scr.cursor_shape();
  }
  ~Restore() {
    if (screen_too) {
      scr.restore(sc::Rect{}, picture);
      scr.set_cursor_shape(shape);
    }
    scr.set_colours(colours);
    otmena_pop(rt);
  }
  Runtime& rt;
  sc::Screen& scr;
  std::string picture;
  sc::ColourList colours;
  int shape;
  bool screen_too = true;
};

bool enabled_flag(Runtime& rt, const AlertSpec& spec, size_t i) {
  if (i >= spec.enabled.size()) return true;
  const Value& e = spec.enabled[i];
  if (e.is_logical()) return e.as_logical();
  if (e.is_string()) {
    Value r = eval::evaluate(rt, e.as_string());
    return !r.is_logical() || r.as_logical();
  }
  return true;
}

}  // namespace

Value list_of_colours(std::initializer_list<int> indexes) {
  Value v = Value::new_array(0);
  for (int i : indexes) v.as_array()->items.push_back(Value::integer(i));
  return v;
}

AlertGeometry alert_geometry(Runtime& rt, const AlertSpec& spec) {
  AlertGeometry g;
  const sc::Screen& scr = sc::screen_of(rt);
  const int max_row = scr.max_row(), max_col = scr.max_col();
  std::vector<std::string> buttons = buttons_of(spec);
  bool across = spec.across && !buttons.empty();
  bool room = spec.room;
  int w = 0;
  for (const auto& l : spec.lines) w = std::max(w, len(l));
  int bw = 0;
  if (across) {
    int gap = spec.raised ? 4 : 3;
    for (const auto& b : buttons) bw += len(b) + gap;
    bw -= gap;
  } else {
    for (const auto& b : buttons) bw = std::max(bw, len(b));
  }
  if (bw <= 0) {
    bw = 0;
    buttons.clear();
    across = false;
  }
  w = std::max(w, spec.raised ? bw + 1 : bw);
  int nl = static_cast<int>(spec.lines.size());
  int h = nl + (across ? 1 : static_cast<int>(buttons.size())) * (spec.raised ? 2 : 1);
  int noshadow = spec.shadow ? 0 : 1;

  int top, bottom, left, right;
  if (h + 2 < max_row - (room ? 7 : 5) + noshadow) {
    top = spec.top ? *spec.top : spec.bottom ? *spec.bottom - h - 1 : (max_row - h) / 2 - 1;
    bottom = spec.bottom ? *spec.bottom : top + h + 1;
  } else {
    top = spec.top ? *spec.top : (room ? 3 : 2);
    bottom = spec.bottom ? *spec.bottom : max_row - (room ? 4 : 3) + noshadow;
  }
  if (w + 2 < max_col - (room ? 9 : 3) + noshadow) {
    left = spec.left ? *spec.left : spec.right ? *spec.right - (w + 2) - 1 : (max_col - w) / 2 - 1;
    right = spec.right ? *spec.right : left + w + 3;
  } else {
    left = spec.left ? *spec.left : (room ? 4 : 1);
    right = spec.right ? *spec.right : max_col - (room ? 9 : 3) + noshadow;
  }
  g.box = {top, left, bottom, right};
  if (room && top - 1 >= 0 && left - 3 >= 0 && bottom + 1 <= max_row && right + 3 < max_col) {
    g.cleared = {top - 1, left - 3, bottom + 1, right + 3};
  } else {
    g.cleared = g.box;
  }
  g.shadow = spec.shadow && g.cleared.bottom < max_row && g.cleared.right < max_col;
  g.width = w;
  g.buttons_width = bw;
  g.centre = (left + right) / 2 + (w % 2 == 0 ? 1 : 0);
  g.button_row = top + nl + 1;
  g.button_col = g.centre - (spec.raised ? bw + 1 : bw) / 2;
  g.colours = alert_colours(rt, spec);
  return g;
}

std::optional<int> clalert(Runtime& rt, const AlertSpec& spec) {
  sc::Screen& scr = sc::screen_of(rt);
  sc::Keyboard& kb = sc::keyboard_of(rt);
  otmena_push(rt);
  Restore restore(rt, scr);
  scr.set_cursor_shape(sc::kCursorNone);
  // A text assigned to F10 would stand in for the key that closes the dialog.
  kb.set_key_text(sc::function_key(10), {});
  kb.clear();
  eval::PrivateFrame frame(rt.memvars());

  AlertGeometry g = alert_geometry(rt, spec);
  std::vector<std::string> buttons =
      g.buttons_width > 0 ? buttons_of(spec) : std::vector<std::string>{};
  bool across = spec.across && !buttons.empty();
  const auto& col = g.colours;
  sc::Attr box_attr = sc::parse_colour(col[0]);
  sc::Attr button_attr = col[1].empty() ? box_attr : sc::parse_colour(col[1]);
  sc::Attr hi_attr = sc::parse_colour(col[2]);
  sc::Attr off_attr = sc::parse_colour(col[3]);
  sc::Attr shade_attr = static_cast<sc::Attr>(box_attr & 0xF0);  // "n/" on the box background
  scr.set_colours(sc::parse_colour_list(col[0] + "," + col[2] + ",,," + col[3]));

  auto publish = [&rt](const char* name, int v) {
    rt.memvars().declare_private(name, Value::integer(v));
  };
  scr.begin();
  scr.fill(g.cleared, ' ', box_attr);
  scr.box(g.box, sc::kFrameSingle, box_attr);
  publish("CLAR1", g.box.top);
  publish("CLARK", g.box.bottom);
  publish("CLAC1", g.box.left);
  publish("CLACK", g.box.right);
  publish("CLARB1", g.button_row);
  publish("CLARBK", g.box.bottom - 1);
  if (g.shadow) scr.shadow(g.cleared);
  for (size_t i = 0; i < spec.lines.size(); ++i) {
    const std::string& l = spec.lines[i];
    scr.write(g.box.top + 1 + static_cast<int>(i), g.centre - len(l) / 2, l, box_attr);
  }

  std::vector<Item> items;
  int start = 0;
  for (size_t i = 0; i < buttons.size(); ++i) {
    bool on = enabled_flag(rt, spec, i);
    items.push_back({0, 0, buttons[i], static_cast<int>(i) + 1, on});
    if (static_cast<int>(i) + 1 == spec.first && on) start = static_cast<int>(i);
  }
  if (!items.empty() && !items[start].enabled) {
    auto it = std::find_if(items.begin(), items.end(), [](const Item& x) { return x.enabled; });
    start = it == items.end() ? 0 : static_cast<int>(it - items.begin());
  }
  bool any_enabled =
      std::any_of(items.begin(), items.end(), [](const Item& x) { return x.enabled; });

  auto draw_item = [&](const Item& it, bool current) {
    sc::Attr a = !it.enabled ? off_attr : current ? hi_attr : button_attr;
    scr.write(it.row, it.col, it.text, a);
    if (spec.raised) {
      scr.put(it.row, it.col + len(it.text), kLowerHalf, shade_attr);
      for (int k = 0; k < len(it.text); ++k)
        scr.put(it.row + 1, it.col + 1 + k, kUpperHalf, shade_attr);
    }
  };

  std::optional<int> result;
  if (across) {
    int x = g.button_col;
    for (auto& it : items) {
      it.row = g.button_row;
      it.col = x;
      x += len(it.text) + (spec.raised ? 4 : 3);
    }
    publish("CLAC1", g.button_col);
    publish("CLACK", x);
    for (const auto& it : items) draw_item(it, false);
    scr.end();
    if (!any_enabled) {
      // Nothing can be chosen: only Esc leaves.
      while (kb.inkey(rt, 0) != sc::kKeyEsc) {
      }
      result = 0;
    } else {
      int cur = start;
      int chosen = run_menu(
          rt, items, cur, rt.settings().wrap,
          [&](int c) {
            for (size_t i = 0; i < items.size(); ++i) draw_item(items[i], static_cast<int>(i) == c);
          },
          nullptr);
      result = chosen < 0 ? 0 : items[chosen].button;
    }
  } else if (!buttons.empty() && spec.raised) {
    int width = g.buttons_width;
    for (auto& it : items) it.text.resize(static_cast<size_t>(width), ' ');
    int page_size = std::max(1, (g.box.bottom - g.button_row) / 2);
    int page = start / page_size;
    int pages = (static_cast<int>(items.size()) + page_size - 1) / page_size;
    publish("CLAC1", g.button_col);
    publish("CLACK", g.button_col + width);
    scr.end();
    int cur_in_page = start % page_size;
    for (;;) {
      std::vector<Item> shown;
      for (int i = page * page_size; i < std::min<int>(items.size(), (page + 1) * page_size); ++i) {
        Item it = items[i];
        it.row = g.button_row + 2 * (i - page * page_size);
        it.col = g.button_col;
        shown.push_back(it);
      }
      sc::Rect inner{g.button_row, g.box.left + 1, g.box.bottom - 1, g.box.right - 1};
      scr.fill(inner, ' ', box_attr);
      bool page_enabled =
          std::any_of(shown.begin(), shown.end(), [](const Item& x) { return x.enabled; });
      if (cur_in_page >= static_cast<int>(shown.size())) cur_in_page = 0;
      if (!shown[cur_in_page].enabled) {
        auto it = std::find_if(shown.begin(), shown.end(), [](const Item& x) { return x.enabled; });
        cur_in_page = it == shown.end() ? 0 : static_cast<int>(it - shown.begin());
      }
      int turn = 0;
      int chosen;
      auto pager = [&](int key) {
        if (key == sc::kKeyPgDn && page + 1 < pages) turn = 1;
        if (key == sc::kKeyPgUp && page > 0) turn = -1;
        return turn != 0 || true;
      };
      if (!page_enabled) {
        for (const auto& it : shown) draw_item(it, false);
        int key = kb.inkey(rt, 0);
        chosen = key == sc::kKeyEsc ? -1 : -2;
        pager(key);
      } else {
        chosen = run_menu(
            rt, shown, cur_in_page, false,
            [&](int c) {
              for (size_t i = 0; i < shown.size(); ++i)
                draw_item(shown[i], static_cast<int>(i) == c);
            },
            pager);
      }
      if (chosen == -1) {
        result = 0;
        break;
      }
      if (chosen >= 0) {
        result = shown[chosen].button;
        break;
      }
      page += turn;
      cur_in_page = 0;
    }
  } else if (!buttons.empty()) {
    publish("CLAC1", g.button_col);
    publish("CLACK", g.button_col + g.buttons_width);
    scr.end();
    ui::ChooserSpec cs;
    cs.area = {g.button_row, g.button_col, g.box.bottom - 1, g.button_col + g.buttons_width - 1};
    cs.count = static_cast<int>(items.size());
    cs.item = [&items](int i) { return items[static_cast<size_t>(i)].text; };
    cs.enabled = [&items](int i) { return items[static_cast<size_t>(i)].enabled; };
    if (!spec.userfunc.empty()) {
      std::string fn = spec.userfunc;
      cs.user = [&rt, fn](int mode, int item, int row) {
        std::vector<Value> a{Value::integer(mode), Value::integer(item), Value::integer(row)};
        Value r = eval::call_function(rt, fn, eval::Args(a.data(), a.size()));
        return static_cast<int>(number_of(r, ui::kAcContinue));
      };
    }
    cs.first = start + 1;
    result = ui::choose(rt, cs);
  } else {
    scr.end();
    restore.screen_too = false;  // the notice stays; the caller restores the screen
  }
  return result;
}

namespace {

std::optional<int> opt_int(const Value& v) {
  if (!v.is_number()) return std::nullopt;
  return static_cast<int>(v.as_int());
}
bool opt_bool(const Value& v, bool fallback) { return v.is_logical() ? v.as_logical() : fallback; }

std::vector<std::string> texts(const Value& v) {
  std::vector<std::string> out;
  if (v.is_string()) out.push_back(v.as_string());
  if (v.is_array()) {
    for (const Value& e : v.as_array()->items) out.push_back(text_of(e));
  }
  return out;
}

// CLALERT(lines, buttons, colours, across, top, left, bottom, right, room,
//         first, shadow, raised, enabled, userfunc)
Value clalert_fn(Runtime& rt, Args args) {
  AlertSpec s;
  s.lines = texts(args[0]);
  s.buttons = texts(args[1]);
  s.colours = args[2];
  s.across = opt_bool(args[3], true);
  s.top = opt_int(args[4]);
  s.left = opt_int(args[5]);
  s.bottom = opt_int(args[6]);
  s.right = opt_int(args[7]);
  s.room = opt_bool(args[8], true);
  s.first = opt_int(args[9]).value_or(1);
  s.shadow = opt_bool(args[10], true);
  s.raised = opt_bool(args[11], false);
  if (args[12].is_array()) s.enabled = args[12].as_array()->items;
  s.userfunc = text_of(args[13]);
  std::optional<int> r = clalert(rt, s);
  return r ? Value::integer(*r) : Value();
}

}  // namespace

void register_clalert(eval::Registry& reg) {
  reg.function("CLALERT", clalert_fn);  // the message dialog
}

}  // namespace kvel::common
