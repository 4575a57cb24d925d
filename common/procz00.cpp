#include "common/procz00.h"

#include <cstdio>

#include "common/crspar.h"
#include "common/manager.h"
#include "common/publics.h"
#include "platform/eval/eval.h"
#include "platform/rtl/cp866.h"

namespace kvel::common {

using eval::Args;
using eval::Runtime;
using eval::Value;

namespace {

eval::ArrayData& stack_list(Runtime& rt, pub::VarName v) {
  Value* p = rt.memvars().find(v.name);
  if (!p || !p->is_array()) {
    make_public(rt, v, Value::new_array(0));
    p = rt.memvars().find(v.name);
  }
  return *p->as_array();
}

Value pop(Runtime& rt, pub::VarName v) {
  eval::ArrayData& a = stack_list(rt, v);
  if (a.items.empty()) give_up_step(rt);
  Value last = a.items.back();
  a.items.pop_back();
  return last;
}

// "&expr" is replaced by the value of expr (every "&" removed).
std::string expand(Runtime& rt, const std::string& v) {
  if (v.empty() || v[0] != '&') return v;
  std::string expr;
  for (char c : v) {
    if (c != '&') expr += c;
  }
  return text_of(eval::evaluate(rt, expr));
}

bool has_separator(const std::string& s) { return s.find_first_of("/\\") != std::string::npos; }

// The naming rules shared by both forms; sets OFFSET and CONTROL.
void name_files(Runtime& rt, std::string offset, std::string control, std::string dir) {
  dir = expand(rt, dir);
  offset = expand(rt, offset);
  if (!offset.empty() && offset[0] == '.' && offset.size() < 5) offset = "offset" + offset;
  // A control name that is absent, or an expression that gives an empty
  // text, follows the offset name.
  control = expand(rt, control);
  if (control.empty()) {
    control = rtl::cp866::lower(offset);
    size_t p = control.find("offset");
    if (p != std::string::npos) control.replace(p, 6, "control");
  } else if (control[0] == '.' && control.size() < 5) {
    control = "control" + control;
  }
  if (!has_separator(offset) && !has_separator(control) && !dir.empty()) {
    if (dir.back() != '/' && dir.back() != '\\')
      dir += dir.find('\\') != std::string::npos ? '\\' : '/';
    offset = dir + offset;
    control = dir + control;
  }
  set(rt, pub::OFFSET, Value::string(offset));
  set(rt, pub::CONTROL, Value::string(control));
}

long digits(const std::string& s, size_t from, size_t n) {
  long v = 0;
  size_t i = from;
  while (i < s.size() && i < from + n && s[i] == ' ') ++i;
  for (; i < s.size() && i < from + n && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
  return v;
}

void start_at(Runtime& rt, const std::string& start) {
  set_smp(rt, 1, Value::string(start.substr(0, 3)));
  set_smp(rt, 2, Value::integer(digits(start, 3, 3)));
}

void nest_entry(Runtime& rt) {
  long level = number_of(get(rt, pub::USTK));
  std::vector<std::string> p = entry_params(rt);
  p.resize(std::max<size_t>(p.size(), 4));
  set_stk(rt, 1, level, Value::string("z00"));
  set_stk(rt, 2, level, Value::integer(0));
  set_stk(rt, 3, level, smp(rt, 3));
  set_stk(rt, 4, level, smp(rt, 4));
  set_stk(rt, 5, level, Value());
  set(rt, pub::USTK, Value::integer(level + 1));
  resize_stk(rt, level + 1);
  stack_list(rt, pub::MSPR).items.push_back(Value::string(p[0]));
  stack_list(rt, pub::MOFF).items.push_back(get(rt, pub::OFFSET));
  stack_list(rt, pub::MCON).items.push_back(get(rt, pub::CONTROL));
  std::string dir = p[3].empty() ? text_of(get(rt, pub::CPATH)) : p[3];
  name_files(rt, p[1], p[2], dir);
  close_control(rt);
  std::string start = crspar(rt);
  start_at(rt, p[0].size() > 7 ? p[0].substr(7, 6) : start);
  set(rt, pub::PRSTK, Value::integer(1));
}

void nest_return(Runtime& rt) {
  std::string spec = text_of(pop(rt, pub::MSPR));
  long code = digits(spec, 0, 1);
  set(rt, pub::PRSTK, Value::integer(code));
  set_smp(rt, 1, Value::string(spec.size() > 1 ? spec.substr(1, 3) : std::string()));
  set_smp(rt, 2, Value::integer(digits(spec, 4, spec.size())));
  long level = number_of(get(rt, pub::USTK));
  Value saved = stk(rt, 5, level);
  if (!saved.is_nil()) {
    set_smp(rt, 3, stk(rt, 3, level));
    set_smp(rt, 4, stk(rt, 4, level));
    level -= 1;
    resize_stk(rt, level);
    level = level - code + 1;
    set(rt, pub::USTK, Value::integer(level));
    resize_stk(rt, std::max(0L, level));
  }
  set(rt, pub::OFFSET, pop(rt, pub::MOFF));
  set(rt, pub::CONTROL, pop(rt, pub::MCON));
  close_control(rt);
  crspar(rt);
}

// PROCZ00(ext, dir, code, entry): runs a nested description from within an
// expression of the procedure at level L and comes back to it.
Value procz00_fn(Runtime& rt, Args args) {
  long level = number_of(get(rt, pub::USTK));
  Value prstk = get(rt, pub::PRSTK);
  set(rt, pub::USTK, Value::integer(level + 1));
  resize_stk(rt, level + 1);
  set_stk(rt, 1, level + 1, Value::string("z00"));
  set_stk(rt, 2, level + 1, Value::integer(0));
  set_stk(rt, 3, level + 1, smp(rt, 3));
  set_stk(rt, 4, level + 1, smp(rt, 4));
  set_stk(rt, 5, level + 1, prstk.is_nil() ? Value::integer(0) : prstk);
  set_smp(rt, 3, Value::integer(smp_number(rt, 3) + smp_number(rt, 4)));
  set(rt, pub::USTK, Value::integer(level + 2));
  resize_stk(rt, level + 2);
  char spec[16];
  std::snprintf(spec, sizeof spec, "%1ld", number_of(prstk) % 10);
  std::string saved = spec + text_of(smp(rt, 1)).substr(0, 3);
  saved.resize(4, ' ');
  std::snprintf(spec, sizeof spec, "%3ld", smp_number(rt, 2));
  saved += spec;
  stack_list(rt, pub::MSPR).items.push_back(Value::string(saved));
  stack_list(rt, pub::MOFF).items.push_back(get(rt, pub::OFFSET));
  stack_list(rt, pub::MCON).items.push_back(get(rt, pub::CONTROL));
  std::string ext = args[0].is_number() ? std::to_string(args[0].as_int()) : text_of(args[0]);
  std::string dir = args[1].is_string() ? args[1].as_string() : text_of(get(rt, pub::CPATH));
  name_files(rt, "offset." + ext, "control." + ext, dir);
  close_control(rt);
  std::string start = crspar(rt);
  if (!args[2].is_nil() && !args[3].is_nil()) {
    set_smp(rt, 1, args[2]);
    set_smp(rt, 2, args[3]);
  } else {
    start_at(rt, start);
  }
  set(rt, pub::PRSTK, Value::integer(1));
  manager(rt, level);
  return {};
}

}  // namespace

void procz00_step(Runtime& rt) {
  if (smp_number(rt, 2) == 0) {
    nest_return(rt);
  } else {
    nest_entry(rt);
  }
}

void register_procz00(eval::Registry& reg) {
  reg.function("PROCZ00", procz00_fn);  // run a nested description from an expression
}

}  // namespace kvel::common
