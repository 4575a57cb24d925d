#include "platform/screen/functions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/eval/runtime.h"
#include "platform/screen/keyboard.h"
#include "platform/screen/screen.h"
#include "platform/screen/scrollbar.h"

namespace kvel::screen {
namespace {

using eval::Args;
using eval::Runtime;
using eval::Value;

// Screen functions take what they are given: a wrong type reads as the default.
int num(const Args& a, size_t i, int fallback) {
  if (!a[i].is_number()) return fallback;
  double d = a[i].as_double();
  if (!(d > -1e9 && d < 1e9)) return fallback;
  return static_cast<int>(a[i].as_int());
}

double real(const Args& a, size_t i, double fallback) {
  return a[i].is_number() ? a[i].as_double() : fallback;
}

Value nil() { return Value(); }

// Civil date from a Julian day number.
void civil(int32_t jd, int& y, int& m, int& d) {
  int64_t a = jd + 32044, b = (4 * a + 3) / 146097, c = a - 146097 * b / 4;
  int64_t dd = (4 * c + 3) / 1461, e = c - 1461 * dd / 4, mm = (5 * e + 2) / 153;
  d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
  m = static_cast<int>(mm + 3 - 12 * (mm / 10));
  y = static_cast<int>(100 * b + dd - 4800 + mm / 10);
}

// What DEVOUT and DISPOUT show for a value.
std::string display_text(Runtime& rt, const Value& v) {
  char buf[64];
  switch (v.type()) {
    case eval::Type::String:
      return v.as_string();
    case eval::Type::Logical:
      return v.as_logical() ? "T" : "F";
    case eval::Type::Number: {
      if (v.is_integer()) {
        std::snprintf(buf, sizeof buf, "%*lld", v.width() ? v.width() : 10,
                      static_cast<long long>(v.as_int()));
      } else {
        int dec = v.decimals();
        int w = v.width() ? v.width() : 10 + (dec ? dec + 1 : 0);
        std::snprintf(buf, sizeof buf, "%*.*f", w, dec, v.as_double());
      }
      return buf;
    }
    case eval::Type::Date: {
      const std::string& fmt = rt.settings().date_format;
      std::string out = fmt;
      if (v.as_date() == 0) {
        for (char& c : out)
          if (std::isalpha(static_cast<unsigned char>(c))) c = ' ';
        return out;
      }
      int y, m, d;
      civil(v.as_date(), y, m, d);
      auto put = [&](char key, int value) {
        size_t first =
            out.find_first_of(std::string(1, key) + static_cast<char>(std::toupper(key)));
        if (first == std::string::npos) return;
        size_t n = 0;
        while (first + n < out.size() &&
               std::tolower(static_cast<unsigned char>(out[first + n])) == key)
          ++n;
        std::string digits = std::to_string(value);
        if (digits.size() < n) digits.insert(0, n - digits.size(), '0');
        out.replace(first, n, digits.substr(digits.size() - n));
      };
      put('d', d);
      put('m', m);
      put('y', y);
      return out;
    }
    case eval::Type::Nil:
      return "NIL";
    default:
      return "";
  }
}

// The standard colour of a colour text argument, or the current colour.
Attr colour_arg(Screen& s, const Args& a, size_t i) {
  if (!a[i].is_string() || a[i].as_string().empty()) return s.colour();
  return parse_colour_list(a[i].as_string(), s.colours()).slot[kStandard];
}

Rect rect_arg(const Args& a, size_t first) {
  return {num(a, first, 0), num(a, first + 1, 0), num(a, first + 2, kRows - 1),
          num(a, first + 3, kCols - 1)};
}

Value setcolor(Runtime& rt, Args a) {
  Screen& s = screen_of(rt);
  std::string old = s.colour_text();
  if (a[0].is_string()) s.set_colour(a[0].as_string());
  return Value::string(old);
}

Value setpos(Runtime& rt, Args a) {
  Screen& s = screen_of(rt);
  s.set_pos(num(a, 0, s.row()), num(a, 1, s.col()));
  return nil();
}

Value row(Runtime& rt, Args) { return Value::integer(screen_of(rt).row()); }
Value col(Runtime& rt, Args) { return Value::integer(screen_of(rt).col()); }
Value maxrow(Runtime& rt, Args) { return Value::integer(screen_of(rt).max_row()); }
Value maxcol(Runtime& rt, Args) { return Value::integer(screen_of(rt).max_col()); }

Value dispout(Runtime& rt, Args a) {
  Screen& s = screen_of(rt);
  std::string text = display_text(rt, a[0]);
  s.write(s.row(), s.col(), text, colour_arg(s, a, 1));
  s.set_pos(s.row(), std::min<long>(s.col() + static_cast<long>(text.size()), kCols));
  return nil();
}

Value dispbox(Runtime& rt, Args a) {
  Screen& s = screen_of(rt);
  Rect r{num(a, 0, 0), num(a, 1, 0), num(a, 2, 0), num(a, 3, 0)};
  Attr attr = colour_arg(s, a, 5);
  if (a[4].is_string())
    s.box(r, a[4].as_string(), attr);
  else
    s.box(r, num(a, 4, 1), attr);
  s.set_pos(r.top + 1, r.left + 1);
  return nil();
}

Value dispbegin(Runtime& rt, Args) {
  screen_of(rt).begin();
  return nil();
}

Value dispend(Runtime& rt, Args) {
  screen_of(rt).end();
  return nil();
}

Value dispcount(Runtime& rt, Args) { return Value::integer(screen_of(rt).depth()); }

Value scroll(Runtime& rt, Args a) {
  Screen& s = screen_of(rt);
  s.scroll(rect_arg(a, 0), num(a, 4, 0), num(a, 5, 0));
  return nil();
}

Value savescreen(Runtime& rt, Args a) { return Value::string(screen_of(rt).save(rect_arg(a, 0))); }

Value restscreen(Runtime& rt, Args a) {
  if (a[4].is_string()) screen_of(rt).restore(rect_arg(a, 0), a[4].as_string());
  return nil();
}

Value setcursor(Runtime& rt, Args a) {
  Screen& s = screen_of(rt);
  int old = a[0].is_number() ? s.set_cursor_shape(num(a, 0, -1)) : s.cursor_shape();
  return Value::integer(old);
}

Value colorselect(Runtime& rt, Args a) {
  Screen& s = screen_of(rt);
  int old = s.selected_slot();
  if (a[0].is_number()) s.select_slot(num(a, 0, old));
  return Value::integer(old);
}

Value iscolor(Runtime& rt, Args) { return Value::logical(screen_of(rt).is_colour()); }

Value setmode(Runtime& rt, Args a) {
  screen_of(rt);
  return Value::logical(num(a, 0, kRows) == kRows && num(a, 1, kCols) == kCols);
}

// Blinking is always off: "*" gives a bright background.
Value setblink(Runtime&, Args) { return Value::logical(false); }

Value wintitle(Runtime& rt, Args a) {
  Screen& s = screen_of(rt);
  std::string old = s.title();
  if (a[0].is_string()) s.set_title(a[0].as_string());
  return Value::string(old);
}

Value sha_shadow(Runtime& rt, Args a) {
  screen_of(rt).shadow({num(a, 0, 0), num(a, 1, 0), num(a, 2, 0), num(a, 3, 0)});
  return nil();
}

ScrollBar new_bar(int kind, Args a) {
  ScrollBar b;
  b.kind = kind;
  if (kind == kBarHorizontal) {
    int r = num(a, 0, 0);
    b.rect = {r, num(a, 1, 0), r, num(a, 2, 0)};
  } else {
    int c = num(a, 2, 0);
    b.rect = {num(a, 0, 0), c, num(a, 1, 0), c};
  }
  if (a[3].is_string() && !a[3].as_string().empty()) b.colour = a[3].as_string();
  b.current = num(a, 4, 1);
  b.total = num(a, 5, 1);
  return b;
}

Value scrollbarhr(Runtime&, Args a) { return to_value(new_bar(kBarHorizontal, a)); }
Value scrollbarvt(Runtime&, Args a) { return to_value(new_bar(kBarVertical, a)); }

Value scrollbardisplay(Runtime& rt, Args a) {
  if (auto b = scroll_bar_of(a[0])) draw(screen_of(rt), *b);
  return a[0];
}

Value scrollbarupdate(Runtime& rt, Args a) {
  auto b = scroll_bar_of(a[0]);
  if (!b) return a[0];
  auto& items = a[0].as_array()->items;
  if (a[1].is_number()) {
    b->current = num(a, 1, b->current);
    items[6] = Value::integer(b->current);
  }
  if (a[2].is_number()) {
    b->total = num(a, 2, b->total);
    items[7] = Value::integer(b->total);
  }
  draw(screen_of(rt), *b);
  return a[0];
}

Value inkey(Runtime& rt, Args a) {
  double wait = a[0].is_number() ? std::max(real(a, 0, 0), 0.0) : -1;
  return Value::integer(keyboard_of(rt).inkey(rt, wait));
}

Value lastkey(Runtime& rt, Args) { return Value::integer(keyboard_of(rt).last_key()); }

Value setlastkey(Runtime& rt, Args a) {
  Keyboard& k = keyboard_of(rt);
  int old = k.last_key();
  if (a[0].is_number()) k.set_last_key(num(a, 0, old));
  return Value::integer(old);
}

Value nextkey(Runtime& rt, Args) { return Value::integer(keyboard_of(rt).next_key(rt)); }

Value kbdstat(Runtime& rt, Args) { return Value::integer(keyboard_of(rt).modifiers()); }

Value setkey(Runtime& rt, Args a) {
  Keyboard& k = keyboard_of(rt);
  if (!a[0].is_number()) return nil();
  int key = num(a, 0, 0);
  if (a.size() >= 2) return k.set_handler(key, a[1]);
  return k.handler(key);
}

// Puts numbers, texts and lists of them into the typeahead buffer.
void put_keys(Keyboard& k, const Value& v, int depth = 0) {
  if (v.is_number()) {
    k.put(static_cast<int>(v.as_int()));
  } else if (v.is_string()) {
    k.put_text(v.as_string());
  } else if (v.is_array() && depth < 8) {
    for (const Value& e : v.as_array()->items) put_keys(k, e, depth + 1);
  }
}

Value keyboard_fill(Runtime& rt, Args a) {
  Keyboard& k = keyboard_of(rt);
  k.clear();
  put_keys(k, a[0]);
  return nil();
}

Value keyput(Runtime& rt, Args a) {
  put_keys(keyboard_of(rt), a[0]);
  return nil();
}

// __SETFUNCTION(n, text): assigns a text to function key n (1 is F1, 2..10 are
// F2..F10, 11..20 Shift+F1..F10, 21..30 Ctrl+F1..F10, 31..40 Alt+F1..F10); an
// empty or missing text removes the assignment. Returns the previous text.
Value set_function(Runtime& rt, Args a) {
  if (!a[0].is_number()) return nil();
  int64_t n = a[0].as_int();
  if (n < 1 || n > 40) return nil();
  int key = n == 1 ? 28 : static_cast<int>(-(n - 1));  // F1 is 28, the rest count down from -1
  std::string text = a[1].is_string() ? a[1].as_string() : std::string();
  return Value::string(keyboard_of(rt).set_key_text(key, std::move(text)));
}

Value keyclear(Runtime& rt, Args) {
  keyboard_of(rt).clear();
  return nil();
}

// Idle routines and background tasks over code blocks.
IdleTasks::Task block_task(const Value& block) {
  return [block](Runtime& rt) { block.as_block()->call(rt, Args()); };
}

Value idleadd(Runtime& rt, Args a) {
  if (!a[0].is_block()) return Value::integer(0);
  return Value::integer(keyboard_of(rt).idle().add_idle(block_task(a[0])));
}

Value idledel(Runtime& rt, Args a) {
  return Value::logical(keyboard_of(rt).idle().remove_idle(num(a, 0, 0)));
}

Value idlestate(Runtime& rt, Args) {
  Keyboard& k = keyboard_of(rt);
  k.idle().run_idle(rt, screen_of(rt).backend().now());
  return nil();
}

Value backgroundadd(Runtime& rt, Args a) {
  if (!a[0].is_block()) return Value::integer(0);
  double interval = real(a, 1, 0) / 1000.0;
  bool active = a[2].is_logical() ? a[2].as_logical() : true;
  return Value::integer(keyboard_of(rt).idle().add_background(block_task(a[0]), interval, active));
}

Value backgrounddel(Runtime& rt, Args a) {
  return Value::logical(keyboard_of(rt).idle().remove_background(num(a, 0, 0)));
}

Value backgroundactive(Runtime& rt, Args a) {
  bool on = a[1].is_logical() ? a[1].as_logical() : true;
  return Value::logical(keyboard_of(rt).idle().set_active(num(a, 0, 0), on));
}

Value backgroundrun(Runtime& rt, Args) {
  keyboard_of(rt).idle().run_background(rt);
  return nil();
}

Value backgroundreset(Runtime& rt, Args) {
  keyboard_of(rt).idle().clear_background();
  return nil();
}

Value backgroundtasks(Runtime& rt, Args a) {
  IdleTasks& t = keyboard_of(rt).idle();
  bool old = t.background_enabled();
  if (a[0].is_logical()) t.set_background_enabled(a[0].as_logical());
  return Value::logical(old);
}

}  // namespace

void register_screen(eval::Registry& reg) {
  reg.function("SETCOLOR", setcolor);
  reg.function("SETPOS", setpos);
  reg.function("DEVPOS", setpos);
  reg.function("ROW", row);
  reg.function("COL", col);
  reg.function("MAXROW", maxrow);
  reg.function("MAXCOL", maxcol);
  reg.function("DEVOUT", dispout);  // the screen is the only device here
  reg.function("DISPOUT", dispout);
  reg.function("DISPBOX", dispbox);
  reg.function("DISPBEGIN", dispbegin);
  reg.function("DISPEND", dispend);
  reg.function("DISPCOUNT", dispcount);
  reg.function("SCROLL", scroll);
  reg.function("SAVESCREEN", savescreen);
  reg.function("RESTSCREEN", restscreen);
  reg.function("SETCURSOR", setcursor);
  reg.function("COLORSELECT", colorselect);
  reg.function("ISCOLOR", iscolor);
  reg.function("SETMODE", setmode);
  reg.function("SETBLINK", setblink);
  reg.function("WINTITLE", wintitle);
  reg.function("SHA_SHADOW", sha_shadow);
  reg.function("SCROLLBARHR", scrollbarhr);
  reg.function("SCROLLBARNEW", scrollbarhr);
  reg.function("SCROLLBARVT", scrollbarvt);
  reg.function("SCROLLBARDISPLAY", scrollbardisplay);
  reg.function("SCROLLBARUPDATE", scrollbarupdate);
  reg.function("INKEY", inkey);
  reg.function("LASTKEY", lastkey);
  reg.function("SETLASTKEY", setlastkey);
  reg.function("NEXTKEY", nextkey);
  reg.function("KBDSTAT", kbdstat);
  reg.function("SETKEY", setkey);
  reg.function("__KEYBOARD", keyboard_fill);
  reg.function("__SETFUNCTION", set_function);
  reg.function("HB_KEYPUT", keyput);
  reg.function("HB_KEYCLEAR", keyclear);
  reg.function("HB_IDLEADD", idleadd);
  reg.function("HB_IDLEDEL", idledel);
  reg.function("HB_IDLESTATE", idlestate);
  reg.function("HB_BACKGROUNDADD", backgroundadd);
  reg.function("HB_BACKGROUNDDEL", backgrounddel);
  reg.function("HB_BACKGROUNDACTIVE", backgroundactive);
  reg.function("HB_BACKGROUNDRUN", backgroundrun);
  reg.function("HB_BACKGROUNDRESET", backgroundreset);
  reg.function("HB_BACKGROUNDTASKS", backgroundtasks);
}

}  // namespace kvel::screen
