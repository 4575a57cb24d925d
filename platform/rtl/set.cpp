// SET() and __SETCENTURY(): the settings object seen from the language.
#include "platform/rtl/set.h"

#include <string>

#include "platform/eval/runtime.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/rtl.h"
#include "platform/rtl/support.h"

namespace kvel::rtl {

using eval::Args;
using eval::Runtime;
using eval::Settings;
using eval::Value;

namespace {

// Templates so that reading a const Settings and changing one share the tables.
template <class S>
auto flag(S& s, int id) -> decltype(&s.exact) {
  switch (id) {
    case kSetExact:
      return &s.exact;
    case kSetFixed:
      return &s.fixed;
    case kSetExclusive:
      return &s.exclusive;
    case kSetSoftseek:
      return &s.softseek;
    case kSetUnique:
      return &s.unique;
    case kSetDeleted:
      return &s.deleted;
    case kSetCursor:
      return &s.cursor;
    case kSetConsole:
      return &s.console;
    case kSetAlternate:
      return &s.alternate;
    case kSetPrinter:
      return &s.printer;
    case kSetBell:
      return &s.bell;
    case kSetConfirm:
      return &s.confirm;
    case kSetEscape:
      return &s.escape;
    case kSetInsert:
      return &s.insert;
    case kSetIntensity:
      return &s.intensity;
    case kSetScoreboard:
      return &s.scoreboard;
    case kSetDelimiters:
      return &s.delimiters;
    case kSetWrap:
      return &s.wrap;
    case kSetMCenter:
      return &s.message_center;
    case kSetOptimize:
      return &s.optimize;
    case kSetHardCommit:
      return &s.hardcommit;
    default:
      return nullptr;
  }
}

template <class S>
auto number(S& s, int id) -> decltype(&s.decimals) {
  switch (id) {
    case kSetDecimals:
      return &s.decimals;
    case kSetEpoch:
      return &s.epoch;
    case kSetTypeahead:
      return &s.typeahead;
    case kSetMargin:
      return &s.margin;
    case kSetMessage:
      return &s.message_row;
    default:
      return nullptr;
  }
}

template <class S>
auto text(S& s, int id) -> decltype(&s.path) {
  switch (id) {
    case kSetDateFormat:
      return &s.date_format;
    case kSetPath:
      return &s.path;
    case kSetDefault:
      return &s.default_dir;
    case kSetAltFile:
      return &s.alternate_file;
    case kSetPrintFile:
      return &s.printer_file;
    case kSetDelimChars:
      return &s.delimiters_chars;
    default:
      return nullptr;
  }
}

bool has_century(const std::string& format) {
  return format.find("yyyy") != std::string::npos || format.find("YYYY") != std::string::npos;
}

}  // namespace

Value get_setting(const Settings& s, int id) {
  if (id == kSetCursor) return Value::integer(s.cursor ? 1 : 0);
  if (id == kSetDevice) return Value::string(s.device_printer ? "PRINTER" : "SCREEN");
  if (const bool* b = flag(s, id)) return Value::logical(*b);
  if (const int* n = number(s, id)) return Value::integer(*n);
  if (const std::string* t = text(s, id)) return Value::string(*t);
  return {};
}

bool put_setting(Settings& s, int id, const Value& v) {
  if (id == kSetCursor && v.is_number()) {
    s.cursor = v.as_int() != 0;
    return true;
  }
  if (id == kSetDevice && v.is_string()) {
    s.device_printer = cp866::upper(v.as_string()).rfind("PRIN", 0) == 0;
    return true;
  }
  if (bool* b = flag(s, id)) {
    if (v.is_logical()) {
      *b = v.as_logical();
      return true;
    }
    if (v.is_string()) {
      std::string u = cp866::upper(v.as_string());
      if (u == "ON" || u == "OFF") {
        *b = u == "ON";
        return true;
      }
    }
    return false;
  }
  if (int* n = number(s, id)) {
    if (!v.is_number()) return false;
    *n = to_int(v);
    return true;
  }
  if (std::string* t = text(s, id)) {
    if (!v.is_string()) return false;
    *t = v.as_string();
    if (id == kSetDateFormat) s.century = has_century(*t);
    return true;
  }
  return false;
}

void set_century(Settings& s, bool on) {
  std::string& f = s.date_format;
  size_t y = f.find_first_of("yY");
  if (y != std::string::npos) {
    size_t run = f.find_first_not_of("yY", y);
    if (run == std::string::npos) run = f.size();
    f.replace(y, run - y, on ? "yyyy" : "yy");
  }
  s.century = on;
}

namespace {

// Set(n [, value]): the previous value; a value other than NIL changes it.
Value set(Runtime& rt, Args args) {
  if (!args[0].is_number()) return {};
  int id = to_int(args[0]);
  Value old = get_setting(rt.settings(), id);
  if (args.size() > 1 && !args[1].is_nil()) put_setting(rt.settings(), id, args[1]);
  return old;
}

Value setcentury(Runtime& rt, Args args) {
  bool old = rt.settings().century;
  const Value& v = args[0];
  if (v.is_logical()) {
    set_century(rt.settings(), v.as_logical());
  } else if (v.is_string()) {
    std::string u = cp866::upper(v.as_string());
    if (u == "ON" || u == "OFF") set_century(rt.settings(), u == "ON");
  }
  return Value::logical(old);
}

}  // namespace

void register_settings(eval::Registry& reg) {
  reg.function("SET", set);
  reg.function("__SETCENTURY", setcentury);
}

}  // namespace kvel::rtl
