// LOADVAR: the run-time variables and the stored callbacks of the description.
#include <string>

#include "common/color.h"
#include "common/cp866_text.h"
#include "common/keys.h"
#include "common/manager.h"
#include "common/publics.h"
#include "platform/eval/eval.h"
#include "platform/rtl/dates.h"
#include "platform/screen/colour.h"
#include "platform/screen/keyboard.h"
#include "platform/screen/screen.h"

namespace kvel::common {

using eval::Args;
using eval::Runtime;
using eval::Value;
namespace sc = kvel::screen;

namespace {

const char* const kGenitive[12] = {" января ",   " февраля ", " марта ",  " апреля ",
                                   " мая ",      " июня ",    " июля ",   " августа ",
                                   " сентября ", " октября ", " ноября ", " декабря "};
const char* const kNominative[12] = {" январь ",   " февраль ", " март ",   " апрель ",
                                     " май ",      " июнь ",    " июль ",   " август ",
                                     " сентябрь ", " октябрь ", " ноябрь ", " декабрь "};

sc::Attr colr_attr(Runtime& rt, const Value& index) {
  Value* list = rt.memvars().find(pub::COLR.name);
  long n = number_of(index);
  if (list && list->is_array() && n >= 1 &&
      static_cast<size_t>(n) <= list->as_array()->items.size()) {
    return sc::parse_colour(text_of(list->as_array()->items[n - 1]));
  }
  return sc::screen_of(rt).colour();
}

int int_arg(const Value& v) { return static_cast<int>(number_of(v)); }

Value bout(Runtime& rt, Args a) {
  sc::screen_of(rt).write(int_arg(a[0]), int_arg(a[1]), text_of(a[2]), colr_attr(rt, a[3]));
  return Value::string("");
}

Value bbox(Runtime& rt, Args a) {
  sc::Screen& scr = sc::screen_of(rt);
  sc::Rect r{int_arg(a[0]), int_arg(a[1]), int_arg(a[2]), int_arg(a[3])};
  sc::Attr attr = colr_attr(rt, a[6]);
  if (number_of(a[5]) == 1) scr.box(r, "         ", attr);
  if (a[4].is_string()) {
    scr.box(r, a[4].as_string(), attr);
  } else if (a[4].is_number()) {
    scr.box(r, int_arg(a[4]), attr);
  }
  if (number_of(a[7]) == 1) scr.shadow(r);
  return Value::string("");
}

Value bd05(Runtime& rt, Args) {
  sc::Keyboard& kb = sc::keyboard_of(rt);
  kb.clear();
  kb.put(1);
  kb.inkey(rt, -1);
  make_public(rt, pub::LMORE, Value::logical(false));
  set(rt, pub::RETCODE, Value::integer(0));
  return Value::integer(0);
}

Value bkey(Runtime& rt, Args a) {
  sc::Keyboard& kb = sc::keyboard_of(rt);
  long n = number_of(a[0]);
  kb.clear();
  if (n != 0) kb.put(static_cast<int>(n));
  if (n == 0) {
    kb.set_last_key(0);
  } else {
    kb.inkey(rt, -1);
  }
  return {};
}

Value bnort(Runtime& rt, Args a) {
  std::vector<Value> v;
  for (size_t i = 0; i < a.size(); ++i) v.push_back(a[i]);
  call_if_present(rt, "FNORT", v);
  return Value::string("");
}

Value bzero(Runtime& rt, Args a) {
  if (rt.registry().find("FZERO")) return eval::call_function(rt, "FZERO", a);
  // Until the table and text helpers are there: the same rules in short.
  std::string t;
  if (a[0].is_string()) {
    t = a[0].as_string();
    size_t b = t.find_first_not_of(' '), e = t.find_last_not_of(' ');
    t = b == std::string::npos ? "" : t.substr(b, e - b + 1);
  } else if (a[0].is_number()) {
    t = std::to_string(a[0].as_int());
  } else {
    return Value::string("");
  }
  long w = a[1].is_number() ? number_of(a[1]) : static_cast<long>(t.size());
  if (static_cast<long>(t.size()) < w) t.insert(0, static_cast<size_t>(w) - t.size(), '0');
  return Value::string(t);
}

Value bsaydat(Runtime& rt, Args a) {
  Value d = a[0].is_date() && a[0].as_date() != 0 ? a[0] : get(rt, pub::TEK_DATA);
  if (!d.is_date() || d.as_date() == 0) return Value::string("");
  rtl::CivilDate c = rtl::civil(d.as_date());
  std::string s = std::to_string(c.day) + ru(kGenitive[c.month - 1]) + std::to_string(c.year);
  if (a[1].is_nil()) return Value::string(s + ru(" г."));
  return Value::string(s + ", " + rtl::day_name(rtl::day_of_week(d.as_date())));
}

Value blockf04(Runtime& rt, Args a) {
  Value* m = rt.memvars().find("MZF04");
  long n = number_of(a[0]);
  if (m && m->is_array() && n >= 0) m->as_array()->items.resize(static_cast<size_t>(4 * n));
  return {};
}

Value month_list(const char* const (&names)[12]) {
  Value v = Value::new_array(12);
  for (int i = 0; i < 12; ++i) v.as_array()->items[i] = Value::string(ru(names[i]));
  return v;
}

Value loadvar_fn(Runtime& rt, Args) {
  loadvar(rt);
  return {};
}

Value color_fn(Runtime& rt, Args) {
  color(rt);
  return {};
}

}  // namespace

void loadvar(Runtime& rt) {
  auto pub = [&rt](std::string_view name, Value v) { make_public(rt, name, std::move(v)); };
  pub("LONGPAGE", Value::integer(0));
  pub("SHORTPAGE", Value::integer(0));
  pub("KOLK", empty_list(15));
  pub("KVIR", empty_list(15));
  for (const char* n : {"MKF04", "MPF04", "MNF04", "MZF04"}) pub(n, empty_list(60));
  pub("BLOCKF04", eval::native_block(blockf04, "{|n| BLOCKF04}"));
  pub("NETPATH", Value::string(""));
  pub("KOD_KEY", Value::integer(0));
  pub("KODER", Value::integer(1));
  pub("PRPOS", Value::integer(0));
  pub("INTPECH", Value::string(""));
  pub("UPRVIV", Value::string("FForma.out"));
  Value* colr = rt.memvars().find(pub::COLR.name);
  std::string c2, c53;
  if (colr && colr->is_array() && colr->as_array()->items.size() >= 53) {
    c2 = text_of(colr->as_array()->items[1]);
    c53 = text_of(colr->as_array()->items[52]);
  }
  pub("INDCOL", Value::string(c2 + "," + c53));
  pub("F_GETIND", Value::string("getind"));
  pub("RETCODE", Value::integer(0));
  pub("FLAG_FUNC", Value::integer(0));
  pub("MMES", month_list(kGenitive));
  pub("MMES1", month_list(kNominative));
  pub("BOUT", eval::native_block(bout, "{|r, c, t, n| BOUT}"));
  pub("BBOX", eval::native_block(bbox, "{|t, l, b, r, f, fill, n, sh| BBOX}"));
  pub("BD05", eval::native_block(bd05, "{|x| BD05}"));
  pub("BKEY", eval::native_block(bkey, "{|n| BKEY}"));
  pub("BNORT", eval::native_block(bnort, "{|k, c, t, f| FNORT(k, c, t, f)}"));
  pub("BBRK", eval::native_block(fbrk, "{|p, c, e, a| FBRK(p, c, e, a)}"));
  pub("BZERO", eval::native_block(bzero, "{|v, w| FZERO(v, w)}"));
  pub("BSAYDAT", eval::native_block(bsaydat, "{|d, f| BSAYDAT}"));
}

void register_color(eval::Registry& reg) {
  reg.function("COLOR", color_fn);      // the colour table COLR
  reg.function("LOADVAR", loadvar_fn);  // the run-time variables and callbacks
}

}  // namespace kvel::common
