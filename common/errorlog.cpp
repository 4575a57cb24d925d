#include "common/errorlog.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>

#include "common/cp866_text.h"
#include "common/errorsys.h"
#include "common/publics.h"
#include "common/runner.h"
#include "platform/eval/eval.h"
#include "platform/os/file.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/dates.h"
#include "platform/rtl/files.h"
#include "platform/screen/screen.h"

namespace kvel::common {

using eval::Args;
using eval::ErrorObject;
using eval::Runtime;
using eval::Value;

namespace {

constexpr const char* kEol = "\r\n";

std::string centred(const std::string& title, int width, char fill) {
  if (width <= 0) return title;
  int n = static_cast<int>(title.size());
  if (n >= width) return title;
  int left = (width - n) / 2;
  return std::string(static_cast<size_t>(left), fill) + title +
         std::string(static_cast<size_t>(width - n - left), fill);
}

// "999,999": seven characters, right-aligned, a comma between thousands.
std::string line_picture(int line) {
  char buf[32];
  if (line >= 1000) {
    std::snprintf(buf, sizeof buf, "%3d,%03d", line / 1000 % 1000, line % 1000);
  } else {
    std::snprintf(buf, sizeof buf, "%7d", line);
  }
  return buf;
}

std::string onoff(bool b) { return b ? "ON" : "OFF"; }
std::string tf(bool b) { return b ? ".T." : ".F."; }

std::string hostname() {
  char buf[256] = {0};
  if (gethostname(buf, sizeof buf - 1) != 0) return "";
  return buf;
}

std::string os_name() {
  struct utsname u {};
  if (uname(&u) != 0) return "Linux";
  return std::string(u.sysname) + " " + u.release + " " + u.version + " " + u.machine;
}

long free_memory_kb() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  long value = 0;
  std::string unit;
  while (in >> key >> value >> unit) {
    if (key == "MemAvailable:") return value;
  }
  struct sysinfo si {};
  if (sysinfo(&si) == 0) return static_cast<long>(si.freeram / 1024 * si.mem_unit);
  return 0;
}

std::string compiler() {
#if defined(__clang__)
  return std::string("Clang ") + __clang_version__;
#elif defined(__GNUC__)
  return std::string("GNU C++ ") + __VERSION__;
#else
  return "C++";
#endif
}

Value quiet_call(Runtime& rt, const char* name, std::vector<Value> args = {}) {
  eval::ScopedErrorHandler quiet(rt,
                                 [](Runtime&, ErrorObject&) { return eval::Answer::fallback(); });
  try {
    return call_if_present(rt, name, std::move(args));
  } catch (const eval::Break&) {
    return {};
  }
}

std::string settings_lines(Runtime& rt) {
  const eval::Settings& s = rt.settings();
  Runner& r = runner(rt);
  screen::Screen& scr = screen::screen_of(rt);
  auto line = [](const char* name, const std::string& v) {
    return dotted(name) + ": " + rtl::cp866::upper(v) + kEol;
  };
  std::string t;
  t += line("SET ALTERNATE", onoff(s.alternate));
  t += line("SET ALTFILE", s.alternate_file);
  t += line("SET AUTOPEN", onoff(true));
  t += line("SET AUTORDER", "0");
  t += line("SET AUTOSHARE", "0");
  t += line("SET BACKGROUNDTASKS", onoff(false));
  t += line("SET BACKGROUNDTICK", onoff(false));
  t += line("SET BELL", onoff(s.bell));
  t += line("SET BLINK", tf(false));
  t += line("SET CANCEL", onoff(true));
  t += line("SET CENTURY", onoff(s.century));
  t += line("SET COLOR", scr.colour_text());
  t += line("SET CONFIRM", onoff(s.confirm));
  t += line("SET CONSOLE", onoff(s.console));
  t += line("SET COUNT", "0");
  t += line("SET CURSOR", std::to_string(scr.cursor_shape()));
  t += line("SET DATE FORMAT", s.date_format);
  t += line("SET DBFLOCKSCHEME", "1");
  t += line("SET DEBUG", onoff(false));
  t += line("SET DECIMALS", std::to_string(s.decimals));
  t += line("SET DEFAULT", s.default_dir);
  t += line("SET DEFEXTENSIONS", onoff(true));
  t += line("SET DELETED", onoff(s.deleted));
  t += line("SET DELIMCHARS", s.delimiters_chars);
  t += line("SET DELIMETERS", onoff(s.delimiters));
  t += line("SET DEVICE", s.device_printer ? "PRINTER" : "SCREEN");
  t += line("SET DIRCASE", "0");
  t += line("SET DIRSEPARATOR", "/");
  t += line("SET EOL", "13");
  t += line("SET EPOCH", std::to_string(s.epoch));
  t += line("SET ERRORLOG", r.start_dir + r.error_log + "," + tf(r.error_log_append));
  t += line("SET ERRORLOOP", "8");
  t += line("SET ESCAPE", onoff(s.escape));
  t += line("SET EVENTMASK", "128");
  t += line("SET EXACT", onoff(s.exact));
  t += line("SET EXCLUSIVE", onoff(s.exclusive));
  t += line("SET EXIT", onoff(false));
  t += line("SET EXTRA", onoff(false));
  t += line("SET EXTRAFILE", "");
  t += line("SET FILECASE", "0");
  t += line("SET FIXED", onoff(s.fixed));
  t += line("SET FORCEOPT", onoff(false));
  t += line("SET HARDCOMMIT", onoff(s.hardcommit));
  t += line("SET IDLEREPEAT", onoff(true));
  t += line("SET INSERT", onoff(s.insert));
  t += line("SET INTENSITY", onoff(s.intensity));
  t += line("SET LANGUAGE", "RU866");
  t += line("SET MARGIN", std::to_string(s.margin));
  t += line("SET MBLOCKSIZE", "64");
  t += line("SET MCENTER", onoff(s.message_center));
  t += line("SET MESSAGE", std::to_string(s.message_row));
  t += line("SET MFILEEXT", "");
  t += line("SET OPTIMIZE", onoff(s.optimize));
  t += line("SET OUTPUTSAFETY", onoff(true));
  t += line("SET PATH", s.path);
  t += line("SET PRINTER", onoff(s.printer));
  t += line("SET PRINTERJOB", "");
  t += line("SET PRINTFILE", s.printer_file);
  t += line("SET SCOREBOARD", onoff(s.scoreboard));
  t += line("SET SCROLLBREAK", onoff(true));
  t += line("SET SOFTSEEK", onoff(s.softseek));
  t += line("SET STRICTREAD", onoff(true));
  t += line("SET TRACE", onoff(r.trace));
  t += line("SET TRACEFILE", r.start_dir + r.trace_file);
  t += line("SET TRACESTACK", std::to_string(r.trace_stack));
  t += line("SET TRIMFILENAME", onoff(false) == "OFF" ? ".F." : ".T.");
  t += line("SET TYPEAHEAD", std::to_string(s.typeahead));
  t += line("SET UNIQUE", onoff(s.unique));
  t += line("SET VIDEOMODE", "0");
  t += line("SET WRAP", onoff(s.wrap));
  return t;
}

std::string work_areas(Runtime& rt) {
  std::string t;
  if (!rt.registry().find("ALIAS")) return t;
  Value current = quiet_call(rt, "SELECT");
  for (int n = 1; n <= 600; ++n) {
    std::string alias = text_of(quiet_call(rt, "ALIAS", {Value::integer(n)}));
    if (alias.empty()) continue;
    quiet_call(rt, "DBSELECTAREA", {Value::integer(n)});
    t += dotted("Select()") + ": " + std::to_string(n) + kEol;
    t += dotted("Alias()") + ": " + alias + kEol;
    t += dotted("RecNo()") + ": " + value_text(rt, quiet_call(rt, "RECNO")) + kEol;
    t += dotted("DbFilter()") + ": " + text_of(quiet_call(rt, "DBFILTER")) + kEol;
    t +=
        "Relation Exp. .....: " + text_of(quiet_call(rt, "DBRELATION", {Value::integer(1)})) + kEol;
    t += dotted("IndexOrd()") + ": " + value_text(rt, quiet_call(rt, "INDEXORD")) + kEol;
    t += dotted("IndexKey()") + ": " +
         rtl::cp866::upper(text_of(quiet_call(rt, "INDEXKEY", {Value::integer(0)}))) + kEol;
    t += kEol;
  }
  if (current.is_number()) quiet_call(rt, "DBSELECTAREA", {current});
  return t;
}

}  // namespace

std::string strvalue(Runtime& rt, const Value& v, bool switch_form) {
  std::string s;
  if (v.is_logical()) {
    s = switch_form ? (v.as_logical() ? "On" : "Off") : (v.as_logical() ? ".T." : ".F.");
  } else {
    s = value_text(rt, v);
  }
  return rtl::cp866::upper(s);
}

std::string error_log_text(Runtime& rt, const ErrorObject& e) {
  screen::Screen& scr = screen::screen_of(rt);
  const int w = scr.max_col();  // columns - 1
  std::string picture;
  if (w > 0) {
    for (int r = 0; r <= scr.max_row(); ++r) {
      std::string row;
      for (int c = 0; c <= scr.max_col(); ++c) row += static_cast<char>(scr.cell(r, c).ch);
      picture += "|" + row + "|" + kEol;
    }
  }
  Runner& run = runner(rt);
  std::string t;
  auto heading = [&](const char* utf8) { t += centred(ru(utf8), w, '-') + kEol; };
  auto item = [&](const char* utf8_label, const std::string& v) {
    t += dotted(ru(utf8_label)) + ": " + v + kEol;
  };
  auto blank = [&] { t += kEol; };
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char hms[16];
  std::snprintf(hms, sizeof hms, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  os::PathLayer& paths = rtl::paths(rt);
  heading("Korvelin Error Log");
  blank();
  item("Дата", rtl::dtoc(rt.settings(), rtl::today()));
  item("Время", hms);
  blank();
  item("Программа", run.program);
  item("Рабочая станция", hostname());
  blank();
  item("Операционная система", os_name());
  item("Текущий диск", std::string(1, paths.current_drive()));
  item("Текущий каталог", paths.current_dir());
  os::Result<uint64_t> free = os::disk_free(".");
  item("Доступно на диске", free.ok() ? std::to_string(*free) : "0");
  item("Доступно оп.памяти", std::to_string(free_memory_kb()));
  blank();
  item("Версия Korvelin", "kvel 1.0");
  item("Дата сборки Korvelin", std::string(__DATE__) + " " + __TIME__);
  item("Компилятор", compiler());
  item("Multi Threading", "NO");
  item("VM Optimization", "2");
  item("Текущая раб.область.", value_text(rt, quiet_call(rt, "SELECT")));
  blank();
  heading("Информация о среде исполнения");
  blank();
  t += settings_lines(rt);
  blank();
  heading("Информация о рабочих областях");
  blank();
  t += work_areas(rt);
  heading("Информация об ошибке");
  blank();
  t += dotted("SubSystem()") + ": " + e.subsystem + kEol;
  t += dotted("SubCode()") + ": " + std::to_string(e.sub_code) + kEol;
  t += dotted("CanDefault()") + ": " + tf(e.can_default) + kEol;
  std::string standard = generic_text(e.gen_code);
  t += dotted("Description()") + ": " + (standard.empty() ? e.description : standard) + kEol;
  t += dotted("Operation()") + ": " + e.operation + kEol;
  t += error_arguments(rt, e, std::string(kEol) + " ") + kEol;
  t += dotted("FileName()") + ": " + e.filename + kEol;
  t += dotted("OsCode()") + ": " + std::to_string(e.os_code) + kEol;
  heading("Стэк вызовов");
  blank();
  t += error_msg_prin(rt, e, kEol) + kEol;
  blank();
  auto frame_line = [&](const std::string& name, int line, const std::string& module) {
    std::string n = name.substr(0, 20);
    t += dotted(n) + ": " + line_picture(line) + ru(" в Модуле: ") + module + kEol;
  };
  frame_line(e.procedure, e.line, e.module);
  const auto& calls = rt.calls();
  for (size_t i = calls.size(); i-- > 0;) {
    if (i + 1 == calls.size() && calls[i].name == e.procedure) continue;
    frame_line(calls[i].name, calls[i].line, calls[i].module);
  }
  blank();
  blank();
  if (!picture.empty()) {
    t += centred(ru(" Снимок экрана "), w, '#') + kEol;
    blank();
    std::string border = "+" + std::string(static_cast<size_t>(w + 1), '-') + "+" + kEol;
    t += border + picture + border;
    blank();
    blank();
  } else {
    t += ru(" Снимок экрана не доступен") + kEol;
  }
  return t;
}

bool logerror(Runtime& rt, const ErrorObject& e) {
  std::string text;
  try {
    text = error_log_text(rt, e);
  } catch (...) {
    return false;
  }
  Runner& r = runner(rt);
  std::string name = r.start_dir + r.error_log;
  if (!os::write_whole(rtl::resolve_name(rt, name).path, text).ok()) {
    std::string lower = rtl::cp866::lower(r.error_log);
    if (lower != "error.log") os::write_whole("error.log", text);
  }
  return false;
}

bool tracelog(Runtime& rt, const std::vector<Value>& values) {
  Runner& r = runner(rt);
  if (!r.trace) return true;
  std::string name = r.start_dir + r.trace_file;
  if (name.find_first_of("/\\") == std::string::npos) name = "./" + name;
  std::string t;
  const auto& calls = rt.calls();
  if (r.trace_stack > 0) {
    std::string module = calls.empty() ? "" : calls.back().module;
    std::string fn = calls.empty() ? "" : calls.back().name;
    int line = calls.empty() ? 0 : calls.back().line;
    t += "[" + module + "->" + fn + "] (" + std::to_string(line) + ")";
    if (r.trace_stack > 1 && calls.size() > 1) {
      t += std::string(" Called from: ") + kEol;
      for (size_t i = calls.size() - 1; i-- > 0;) {
        t += std::string(30, ' ') + calls[i].module + "->" + calls[i].name + "(" +
             std::to_string(calls[i].line) + ")" + kEol;
      }
    } else {
      t += kEol;
    }
  }
  for (const Value& v : values) {
    t += "Type: " + std::string(1, v.valtype()) + " >>>" + value_text(rt, v) + "<<<" + kEol;
  }
  t += kEol;
  std::ofstream out(rtl::resolve_name(rt, name).path, std::ios::binary | std::ios::app);
  out << t;
  return true;
}

namespace {

Value logerror_fn(Runtime& rt, Args args) {
  if (ErrorObject* e = eval::error_of(args[0])) logerror(rt, *e);
  return Value::logical(false);
}

Value fwriteline_fn(Runtime& rt, Args args) {
  std::string text = text_of(args[1]) + kEol;
  auto& handles = rtl::files(rt).handles;
  auto it = handles.find(static_cast<int>(number_of(args[0], -1)));
  if (it == handles.end()) return Value::integer(0);
  os::Result<size_t> n = it->second.write(text.data(), text.size());
  return Value::integer(n.ok() ? static_cast<int64_t>(*n) : 0);
}

Value strvalue_fn(Runtime& rt, Args args) {
  return Value::string(strvalue(rt, args[0], args[1].is_logical() && args[1].as_logical()));
}

Value tracelog_fn(Runtime& rt, Args args) {
  std::vector<Value> v;
  for (size_t i = 0; i < args.size(); ++i) v.push_back(args[i]);
  return Value::logical(tracelog(rt, v));
}

}  // namespace

void register_errorlog(eval::Registry& reg) {
  reg.function("LOGERROR", logerror_fn);      // write the error log
  reg.function("FWRITELINE", fwriteline_fn);  // a text and CR LF to an open file
  reg.function("STRVALUE", strvalue_fn);      // a value as the logs show it
  reg.function("TRACELOG", tracelog_fn);      // one trace entry while tracing is on
}

}  // namespace kvel::common
