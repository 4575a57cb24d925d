// The language's environment and time functions: the clock, environment
// variables, current directory, free disk space, directories and attributes,
// random numbers and the version text.
#include <strings.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "platform/rtl/files.h"
#include "platform/rtl/rtl.h"

extern char** environ;

namespace kvel::rtl {

using eval::Args;
using eval::Runtime;
using eval::Value;

namespace {

struct tm local_now(int* hundredths = nullptr) {
  struct timeval tv {};
  ::gettimeofday(&tv, nullptr);
  time_t secs = tv.tv_sec;
  struct tm t {};
  ::localtime_r(&secs, &t);
  if (hundredths) *hundredths = static_cast<int>(tv.tv_usec / 10000);
  return t;
}

// TIME() -> "hh:mm:ss"
Value time(Runtime&, Args) {
  struct tm t = local_now();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return Value::string(buf);
}

// SECONDS() -> seconds since midnight, to the hundredth
Value seconds(Runtime&, Args) {
  int cs = 0;
  struct tm t = local_now(&cs);
  double s = t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec + cs / 100.0;
  return Value::number(s, 0, 2);
}

// GETENV(name, [default]) -> the variable's text; names are matched without
// regard to letter case when no exact match exists, as DOS names are.
Value getenv(Runtime&, Args args) {
  Value fallback = args[1].is_string() ? args[1] : Value::string("");
  if (!args[0].is_string()) return fallback;
  std::string name = args[0].as_string();
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name.empty() || name.find('=') != std::string::npos) return fallback;
  if (const char* v = std::getenv(name.c_str())) return Value::string(v);
  for (char** e = environ; e && *e; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq && static_cast<size_t>(eq - *e) == name.size() &&
        ::strncasecmp(*e, name.c_str(), name.size()) == 0)
      return Value::string(eq + 1);
  }
  return fallback;
}

// The drive letter an argument names ("D", "d:", "D:\X"), or 0 for the
// current drive (also for NIL, "" and anything else).
char drive_arg(const Value& v) {
  if (v.is_string() && !v.as_string().empty() &&
      std::isalpha(static_cast<unsigned char>(v.as_string()[0])))
    return static_cast<char>(std::toupper(static_cast<unsigned char>(v.as_string()[0])));
  if (v.is_number() && v.as_int() >= 1 && v.as_int() <= 26)
    return static_cast<char>('A' + v.as_int() - 1);
  return 0;
}

// CURDIR([drive]) -> the current directory without drive and leading "\".
// The system keeps one current directory; another drive is at its root.
Value curdir(Runtime& rt, Args args) {
  os::PathLayer& p = paths(rt);
  char d = drive_arg(args[0]);
  if (d && d != p.current_drive()) return Value::string("");
  return Value::string(p.current_dir());
}

// VERSION() -> the runner's name and version
Value version(Runtime&, Args) { return Value::string("Kvel 1.0 (Linux)"); }

// DISKFREE([drive]) -> free bytes of the drive (the current one by default)
Value diskfree(Runtime& rt, Args args) {
  char d = drive_arg(args[0]);
  std::string where = d ? paths(rt).drive_root(d) : std::string(".");
  auto f = os::disk_free(where);
  return Value::integer(f.ok() ? static_cast<int64_t>(*f) : 0);
}

// RANDOM([signed]) -> -32768..32767 when signed is true, else 0..65535
Value random(Runtime&, Args args) {
  static std::mt19937 gen{std::random_device{}()};
  bool sign = args[0].is_logical() && args[0].as_logical();
  std::uniform_int_distribution<int> dist(sign ? -32768 : 0, sign ? 32767 : 65535);
  return Value::integer(dist(gen));
}

// DIRMAKE(dir) / DIRREMOVE(dir) / SETFATTR(file, attributes) -> 0 or the DOS error
Value dirmake(Runtime& rt, Args args) {
  if (!args[0].is_string()) return Value::integer(os::kDosPathNotFound);
  os::Status s = os::make_dir(resolve_name(rt, args[0].as_string()).path);
  return Value::integer(s.ok() ? 0 : s.dos());
}

Value dirremove(Runtime& rt, Args args) {
  if (!args[0].is_string()) return Value::integer(os::kDosPathNotFound);
  os::Status s = os::remove_dir(resolve_name(rt, args[0].as_string()).path);
  return Value::integer(s.ok() ? 0 : s.dos());
}

Value setfattr(Runtime& rt, Args args) {
  if (!args[0].is_string()) return Value::integer(os::kDosFileNotFound);
  int attr = args[1].is_number() ? static_cast<int>(args[1].as_int()) : 0;
  os::Status s = os::set_file_attributes(resolve_name(rt, args[0].as_string()).path, attr);
  return Value::integer(s.ok() ? 0 : s.dos());
}

}  // namespace

void register_environment(eval::Registry& reg) {
  reg.function("TIME", time);
  reg.function("SECONDS", seconds);
  reg.function("GETENV", getenv);
  reg.function("CURDIR", curdir);
  reg.function("VERSION", version);
  reg.function("DISKFREE", diskfree);
  reg.function("RANDOM", random);
  reg.function("DIRMAKE", dirmake);
  reg.function("DIRREMOVE", dirremove);
  reg.function("SETFATTR", setfattr);
}

}  // namespace kvel::rtl
