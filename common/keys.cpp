#include "common/keys.h"

#include "common/clalert.h"
#include "common/cp866_text.h"
#include "common/publics.h"
#include "common/runner.h"
#include "platform/eval/eval.h"
#include "platform/screen/keyboard.h"

namespace kvel::common {

using eval::Args;
using eval::Runtime;
using eval::Value;

const std::array<int, 54> kManagedKeys = {
    -1,  -2,  -3,  -4,  -5,  -6,  -7,  -8,  -9,  -10, -11, -12, -13, -14, -15, -16, -17, -18,
    -19, -20, -21, -22, -23, -24, -25, -26, -27, -28, -29, -30, -31, -32, -33, -34, -35, -36,
    -37, -38, -39, 5,   24,  19,  4,   1,   6,   18,  3,   26,  2,   29,  23,  31,  30,  9,
};

namespace {

std::vector<int> key_list(const Value& v) {
  std::vector<int> keys;
  if (v.is_number()) keys.push_back(static_cast<int>(v.as_int()));
  if (v.is_array()) {
    for (const Value& k : v.as_array()->items) {
      if (k.is_number()) keys.push_back(static_cast<int>(k.as_int()));
    }
  }
  return keys;
}

struct KeepHandlers {
  KeepHandlers(screen::Keyboard& kb, const std::vector<int>& keys) : kb_(kb) {
    for (int k : keys) saved_.emplace_back(k, kb.handler(k));
  }
  void rebind() {
    for (auto& [k, h] : saved_) kb_.set_handler(k, h);
  }
  screen::Keyboard& kb_;
  std::vector<std::pair<int, Value>> saved_;
};

Value otmena(Runtime& rt, Args args) {
  std::vector<int> keep = key_list(args[1]);
  if (number_of(args[0], 0) == 0) {
    otmena_push(rt, keep);
  } else {
    otmena_pop(rt, keep);
  }
  return {};
}

// INKEYWAIT(wait, arg): one key; a handler bound to it runs with arg, and the
// last key is returned then, since the handler may have replaced it.
Value inkeywait(Runtime& rt, Args args) {
  screen::Keyboard& kb = screen::keyboard_of(rt);
  double wait = args[0].is_number() ? args[0].as_double() : -1;
  int key = kb.inkey(rt, wait);
  Value h = kb.handler(key);
  if (key != 0 && h.is_block()) {
    std::string proc;
    long line = 0;
    if (!rt.calls().empty()) {
      proc = rt.calls().back().name;
      line = rt.calls().back().line;
    }
    eval::call_block(rt, h, {Value::string(proc), Value::integer(line), args[1]});
    if (wait == 0 || key != 0) return Value::integer(kb.last_key());
  }
  return Value::integer(key);
}

Value keyb_fn(Runtime& rt, Args args) {
  keyb(rt, args[0], args.size() > 1 && !args[1].is_nil());
  return {};
}

Value cget(Runtime& rt, Args) {
  set(rt, pub::GETLIST, empty_list(0));
  return {};
}

}  // namespace

void otmena_push(Runtime& rt, const std::vector<int>& keep) {
  screen::Keyboard& kb = screen::keyboard_of(rt);
  KeepHandlers kept(kb, keep);
  std::map<int, Value> set;
  for (int k : kManagedKeys) set[k] = kb.set_handler(k, Value());
  runner(rt).key_sets.push_back(std::move(set));
  kept.rebind();
}

void otmena_pop(Runtime& rt, const std::vector<int>& keep) {
  screen::Keyboard& kb = screen::keyboard_of(rt);
  Runner& r = runner(rt);
  if (r.key_sets.empty()) {
    AlertSpec a;
    a.lines = {"OTMENA():", ru("Лишний раз восстанавливаются назначения клавиш"), ""};
    a.colours = list_of_colours({13, 77});
    a.raised = true;
    clalert(rt, a);
    return;
  }
  KeepHandlers kept(kb, keep);
  std::map<int, Value> set = std::move(r.key_sets.back());
  r.key_sets.pop_back();
  for (auto& [k, h] : set) kb.set_handler(k, h);
  kept.rebind();
}

void keyb(Runtime& rt, const Value& keys, bool keep) {
  screen::Keyboard& kb = screen::keyboard_of(rt);
  if (!keep) kb.clear();
  auto put = [&kb](const Value& v) {
    if (v.is_number()) kb.put(static_cast<int>(v.as_int()));
    if (v.is_string()) kb.put_text(v.as_string());
  };
  if (keys.is_array()) {
    for (const Value& v : keys.as_array()->items) put(v);
  } else {
    put(keys);
  }
}

void register_keys(eval::Registry& reg) {
  reg.function("OTMENA", otmena);        // push (0) or pop the handlers of 54 keys
  reg.function("INKEYWAIT", inkeywait);  // one key, its handler run with an argument
  reg.function("KEYB", keyb_fn);         // fill the typeahead buffer
  reg.function("CGET", cget);            // discard pending fields
}

}  // namespace kvel::common
