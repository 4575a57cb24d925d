#include "common/manager.h"

#include "common/crspar.h"
#include "common/procz00.h"
#include "common/publics.h"
#include "common/runner.h"
#include "platform/eval/eval.h"
#include "platform/rtl/cp866.h"

namespace kvel::common {

using eval::Args;
using eval::Runtime;
using eval::Value;

void give_up_step(Runtime& rt) {
  eval::ErrorObject e;
  e.gen_code = eval::kErrBound;
  e.sub_code = 1132;
  e.description = "Bound error";
  e.operation = "procedure stack";
  rt.raise(e);
  throw eval::Break{Value()};
}

namespace {

Value& cell(Runtime& rt, pub::VarName v, long i) {
  Value* p = element(rt, v, i);
  if (!p) give_up_step(rt);
  return *p;
}

eval::ArrayData& stk_list(Runtime& rt, long list) {
  Value& l = cell(rt, pub::STK, list);
  if (!l.is_array()) l = Value::new_array(0);
  return *l.as_array();
}

std::string file_part(const std::string& name) {
  size_t p = name.find_last_of("/\\:");
  return rtl::cp866::upper(p == std::string::npos ? name : name.substr(p + 1));
}

// Loads the entry named by SMP[2] into SPAR from SMP[3] on.
void load_entry(Runtime& rt) {
  long entry = smp_number(rt, 2);
  Value* msme = rt.memvars().find(pub::MSME.name);
  Value table = msme ? *msme : Value();
  Value* offsets = element(rt, table, 1, "MSME");
  Value* counts = offsets ? element(rt, table, 2, "MSME") : nullptr;
  if (!counts) give_up_step(rt);
  Value* count = element(rt, *counts, entry, "MSME[2]");
  Value* offset = count ? element(rt, *offsets, entry, "MSME[1]") : nullptr;
  if (!offset) give_up_step(rt);
  if (!count->is_number() || !offset->is_number()) {
    // An entry the offset file has no record for.
    eval::ErrorObject e;
    e.gen_code = eval::kErrBound;
    e.sub_code = 1132;
    e.description = "Bound error";
    e.operation = "array access: MSME";
    e.args = std::vector<Value>{*counts, Value::integer(entry)};
    rt.raise(e);
    throw eval::Break{Value()};
  }
  Value n = *count;
  long off = number_of(*offset);
  set_smp(rt, 4, n);
  long first = smp_number(rt, 3);
  long strings = number_of(n);
  if (first < 1) give_up_step(rt);
  eval::ArrayData* spar = list(rt, pub::SPAR);
  if (!spar) give_up_step(rt);
  spar->items.resize(static_cast<size_t>(first + strings - 1));
  for (long k = 0; k < strings; ++k) {
    std::string s = read_param(rt, off);
    off += static_cast<long>(s.size()) + 1;
    spar->items[static_cast<size_t>(first - 1 + k)] = Value::string(std::move(s));
  }
}

void run_procedure(Runtime& rt, const std::string& code) {
  std::string name = "PROC" + rtl::cp866::upper(code);
  eval::CallFrame frame(rt, name, file_part(text_of(get(rt, pub::CONTROL))),
                        static_cast<int>(smp_number(rt, 2)));
  if (name == "PROCZ00") {
    procz00_step(rt);
    return;
  }
  if (!rt.registry().find(name)) {
    eval::ErrorObject e;
    e.gen_code = eval::kErrNoFunc;
    e.sub_code = 1001;
    e.description = "Undefined function";
    e.operation = name;
    e.procedure = name;
    rt.raise(e);
    throw eval::Break{Value()};
  }
  eval::call_function(rt, name, Args());
}

}  // namespace

Value smp(Runtime& rt, long i) { return cell(rt, pub::SMP, i); }
long smp_number(Runtime& rt, long i) { return number_of(cell(rt, pub::SMP, i)); }
void set_smp(Runtime& rt, long i, Value v) { cell(rt, pub::SMP, i) = std::move(v); }

void resize_stk(Runtime& rt, long level) {
  for (long l = 1; l <= 5; ++l)
    stk_list(rt, l).items.resize(static_cast<size_t>(std::max(0L, level)));
}

void set_stk(Runtime& rt, long list, long level, Value v) {
  eval::ArrayData& a = stk_list(rt, list);
  if (level < 1) give_up_step(rt);
  if (a.items.size() < static_cast<size_t>(level)) a.items.resize(static_cast<size_t>(level));
  a.items[static_cast<size_t>(level - 1)] = std::move(v);
}

Value stk(Runtime& rt, long list, long level) {
  eval::ArrayData& a = stk_list(rt, list);
  if (level < 1 || static_cast<size_t>(level) > a.items.size()) give_up_step(rt);
  return a.items[static_cast<size_t>(level - 1)];
}

void manager(Runtime& rt, long base) {
  for (;;) {
    long level = number_of(get(rt, pub::USTK));
    if (level <= base) return;
    Value prstk = get(rt, pub::PRSTK);
    bool resumed = prstk.is_number() && prstk.as_double() == 0;
    if (resumed) {
      for (long i = 1; i <= 4; ++i) set_smp(rt, i, stk(rt, i, level));
    } else {
      if (prstk.is_number() && prstk.as_double() == 2) {
        set_smp(rt, 3, Value::integer(smp_number(rt, 3) + smp_number(rt, 4)));
      }
      load_entry(rt);
      for (long i = 1; i <= 4; ++i) set_stk(rt, i, level, smp(rt, i));
    }
    run_procedure(rt, text_of(smp(rt, 1)).substr(0, 3));
    prstk = get(rt, pub::PRSTK);
    level = number_of(get(rt, pub::USTK));
    if (prstk.is_number() && prstk.as_double() == 0) {
      set(rt, pub::USTK, Value::integer(level - 1));
      resize_stk(rt, level - 1);
    } else if (prstk.is_number() && prstk.as_double() == 2) {
      set(rt, pub::USTK, Value::integer(level + 1));
      resize_stk(rt, level + 1);
    }
  }
}

std::vector<std::string> entry_params(Runtime& rt) {
  long first = smp_number(rt, 3), count = smp_number(rt, 4);
  std::vector<std::string> out;
  Value* spar = rt.memvars().find(pub::SPAR.name);
  if (!spar || !spar->is_array()) return out;
  const auto& items = spar->as_array()->items;
  for (long i = first; i < first + count; ++i) {
    if (i >= 1 && static_cast<size_t>(i) <= items.size()) out.push_back(text_of(items[i - 1]));
  }
  return out;
}

void jump(Runtime& rt) {
  std::vector<std::string> p = entry_params(rt);
  std::string spec = p.empty() ? std::string() : p[0];
  auto number = [&spec](size_t from, size_t n) {
    long v = 0;
    size_t i = from;
    while (i < spec.size() && i < from + n && spec[i] == ' ') ++i;
    for (; i < spec.size() && i < from + n && spec[i] >= '0' && spec[i] <= '9'; ++i) {
      v = v * 10 + (spec[i] - '0');
    }
    return v;
  };
  set(rt, pub::PRSTK, Value::integer(number(0, 1)));
  set_smp(rt, 1, Value::string(spec.size() > 1 ? spec.substr(1, 3) : std::string()));
  set_smp(rt, 2, Value::integer(number(4, 3)));
}

namespace {

bool given(const Value& v) {
  if (v.is_nil()) return false;
  if (v.is_number()) return v.as_double() != 0;
  if (v.is_logical()) return v.as_logical();
  if (v.is_string()) return !v.as_string().empty();
  return true;
}

}  // namespace

Value fbrk(Runtime& rt, Args args) {
  if (!args[0].is_nil()) set(rt, pub::PRSTK, args[0]);
  if (!args[1].is_nil()) set_smp(rt, 1, args[1]);
  if (!args[2].is_nil()) set_smp(rt, 2, args[2]);
  if (given(args[3])) throw eval::Break{args[3]};
  return {};
}

namespace {

Value manager_fn(Runtime& rt, Args args) {
  manager(rt, number_of(args[0]));
  return {};
}

Value jump_fn(Runtime& rt, Args) {
  jump(rt);
  return {};
}

}  // namespace

void register_manager(eval::Registry& reg) {
  reg.function("MANAGER", manager_fn);  // run entries above a level
  reg.function("JUMP", jump_fn);        // apply the running entry's transition spec
  reg.function("FBRK", fbrk);           // set the transition, optionally break out
}

}  // namespace kvel::common
