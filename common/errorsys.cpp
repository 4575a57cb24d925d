#include "common/errorsys.h"

#include <csignal>
#include <cstdio>
#include <map>

#include "common/cp866_text.h"
#include "common/errorlog.h"
#include "common/publics.h"
#include "common/runner.h"
#include "platform/eval/eval.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/dates.h"
#include "platform/screen/keyboard.h"
#include "platform/screen/screen.h"
#include "platform/ui/alert.h"

namespace kvel::common {

using eval::Answer;
using eval::Args;
using eval::ErrorObject;
using eval::Runtime;
using eval::Value;

namespace {

const std::map<int, const char*>& generic_texts() {
  static const std::map<int, const char*> texts = {
      {0, "Неизвестная ошибка"},
      {1, "Неверный аргумент"},
      {2, "Переполнение массива"},
      {3, "Переполнение строки"},
      {4, "Переполнение числа"},
      {5, "Деление на ноль"},
      {6, "Численная ошибка"},
      {7, "Синтаксическая ошибка"},
      {8, "Слишком сложная операция"},
      {11, "Не хватает памяти"},
      {12, "Неизвестная функция"},
      {13, "Метод не экспортирован"},
      {14, "Переменная не существует"},
      {15, "Алиас не существует"},
      {16, "Переменная не экспортирована"},
      {17, "Недопустимые символы в имени алиаса"},
      {18, "Алиас уже используется"},
      {20, "Ошибка создания"},
      {21, "Ошибка открытия"},
      {22, "Ошибка закрытия"},
      {23, "Ошибка чтения"},
      {24, "Ошибка записи"},
      {25, "Ошибка печати"},
      {30, "Операция не поддерживается"},
      {31, "Лимит превышен"},
      {32, "Обнаружено повреждение"},
      {33, "Ошибка типа данных"},
      {34, "Ошибка размера данных"},
      {35, "Файл не открыт"},
      {36, "Файл не индексирован"},
      {37, "Требуется эксклюзивный доступ"},
      {38, "Требуется блокировка"},
      {39, "Запись не разрешена"},
      {40, "Сбой блокировки при добавлении"},
      {41, "Блокировка не удалась"},
      {46, "Неверное количество аргументов"},
      {47, "доступ к массиву"},
      {48, "присвоение массива"},
      {49, "не массив"},
      {50, "сравнение"},
      {51, "Invalid self"},
  };
  return texts;
}

std::string file_part(const std::string& name) {
  size_t p = name.find_last_of("/\\:");
  return p == std::string::npos ? name : name.substr(p + 1);
}

std::string os_text(const ErrorObject& e) {
  return ru("(Код DOS-ошибки: ") + std::to_string(e.os_code) + ")";
}

std::string where(const std::string& name, int line) {
  return name + "(" + std::to_string(line) + ")";
}

// The running entry number for "Метка", "000" when the stack is not set up.
std::string label_number(Runtime& rt) {
  Value* stk = rt.memvars().find(pub::STK.name);
  long level = number_of(get(rt, pub::USTK), -1);
  char buf[16] = "000";
  if (stk && stk->is_array() && stk->as_array()->items.size() >= 2 && level >= 1) {
    const Value& entries = stk->as_array()->items[1];
    if (entries.is_array() && static_cast<size_t>(level) <= entries.as_array()->items.size()) {
      std::snprintf(buf, sizeof buf, "%03ld",
                    number_of(entries.as_array()->items[level - 1]) % 1000);
    }
  }
  return buf;
}

// Stops tracing of an error inside the handler: one trace entry, the alert,
// exit code 99.
[[noreturn]] void handler_failed(Runtime& rt, const ErrorObject& inner) {
  std::string head = ru("Ошибка в ErrorSys - системе обнаружения ошибок.");
  tracelog(rt, {Value::string(head + " " + inner.procedure + " " + std::to_string(inner.line) +
                              " " + inner.module + " " + inner.description)});
  ui::alert(rt,
            head + ru(";Исправьте ошибку в функции:;") + where(inner.procedure, inner.line) +
                ru(" в модуле: ") + inner.module,
            {"Ok"});
  rt.exit_code = 99;
  throw EndRun{99};
}

void set_net_err(Runtime& rt) {
  Value yes = Value::logical(true);
  call_if_present(rt, "NETERR", {yes});
}

// The retry of a refused lock waits a tenth of a second; a key pressed
// meanwhile stops the silent retries so that the dialog lets the user decide.
bool wait_for_retry(Runtime& rt) { return screen::keyboard_of(rt).inkey(rt, 0.1) == 0; }

[[noreturn]] void end_run(Runtime& rt, ErrorObject& e, const std::string& msg) {
  screen::Screen& scr = screen::screen_of(rt);
  rt.settings().printer = false;
  rt.settings().console = true;
  scr.set_colour("W/N");
  scr.set_pos(scr.max_row(), 0);
  scr.write(scr.max_row(), 0, " ");
  std::string out = "\n\n" + msg;
  if (e.args) out += "\n" + error_arguments(rt, e, "\n");
  if (e.os_code != 0) out += "\n" + os_text(e);
  out += "\n\n" + error_msg_prin(rt, e, "\n");
  out += "\n\n" + dotted(ru("Ошибка в")) + ": " + where(e.procedure, e.line) + ru(" в файле ") +
         " " + e.module;
  const auto& calls = rt.calls();
  for (size_t i = calls.size(); i-- > 0;) {
    if (i + 1 == calls.size() && calls[i].name == e.procedure) continue;
    out += "\n" + dotted(ru("Вызов из")) + ": " + where(calls[i].name, calls[i].line) +
           ru(" в файле ") + " " + calls[i].module;
  }
  out += "\n";
  runner(rt).final_report += out;
  logerror(rt, e);
  rt.exit_code = 99;
  throw EndRun{99};
}

Answer handle(Runtime& rt, ErrorObject& e) {
  // Silent rules, first match decides.
  if (e.gen_code == eval::kErrZeroDiv) return Answer::substitute(Value::integer(0));
  if (e.subsystem == "DBFNTX" && e.sub_code == 1035 && e.tries < 25) return Answer::retry();
  if (e.gen_code == eval::kErrLock && e.can_retry && wait_for_retry(rt)) return Answer::retry();
  if (e.gen_code == eval::kErrOpen && e.os_code == 32 && e.can_default) {
    set_net_err(rt);
    return Answer::fallback();
  }
  if (e.gen_code == eval::kErrAppendLock && e.can_default) {
    set_net_err(rt);
    return Answer::fallback();
  }

  screen::Screen& scr = screen::screen_of(rt);
  while (scr.depth() > 0) scr.end();
  screen::IdleTasks& idle = screen::keyboard_of(rt).idle();
  bool background = idle.background_enabled();
  idle.set_background_enabled(false);

  std::string msg = error_message(e);
  std::vector<std::string> buttons = {ru("Завершить")};
  int retry = 0, skip = 0;
  if (e.can_retry) {
    buttons.push_back(ru("Повторить"));
    retry = static_cast<int>(buttons.size());
  }
  if (e.can_default) {
    buttons.push_back(ru("Пропустить"));
    skip = static_cast<int>(buttons.size());
  }
  std::string text = msg;
  // The statement list procedure leaves the failing statement in the cargo.
  if (e.cargo.size() == 3 && e.cargo[2].is_string() && !e.cargo[2].as_string().empty()) {
    text += ";" + e.cargo[2].as_string();
  }
  if (e.args) text += ";" + error_arguments(rt, e, ";");
  if (e.os_code != 0) text += ";" + os_text(e);
  int choice = 0;
  while (choice == 0) choice = ui::alert(rt, text, buttons);
  if (choice == retry || choice == skip) {
    idle.set_background_enabled(background);
    return choice == retry ? Answer::retry() : Answer::fallback();
  }
  std::string report = msg + ";";
  if (e.os_code != 0) report += os_text(e) + ";";
  report +=
      error_msg_prin(rt, e, ";") + ";" + ru("Запишите сообщение об ошибке, файле, метке и вызовах");
  ui::alert(rt, report, {ru("Завершить")});
  end_run(rt, e, msg);
}

}  // namespace

std::string dotted(const std::string& label, size_t width) {
  std::string s = label;
  if (s.size() < width) s.append(width - s.size(), '.');
  return s;
}

std::string generic_text(int gen_code) {
  auto it = generic_texts().find(gen_code);
  return it == generic_texts().end() ? std::string() : ru(it->second);
}

std::string error_message(const ErrorObject& e) {
  std::string m = e.severity > 1 ? ru("Ошибка") : ru("Предупреждение");
  m += " ";
  m += e.subsystem.empty() ? "???" : e.subsystem;
  m += "/" + std::to_string(e.sub_code);
  std::string standard = generic_text(e.gen_code);
  m += " " + (standard.empty() ? e.description : standard);
  if (!e.filename.empty()) {
    m += ": " + e.filename;
  } else if (!e.operation.empty()) {
    m += ": " + e.operation;
  }
  return m;
}

std::string value_text(Runtime& rt, const Value& v) {
  switch (v.type()) {
    case eval::Type::String:
      return v.as_string();
    case eval::Type::Number: {
      Value s = call_if_present(rt, "STR", {v});
      std::string t = text_of(s);
      size_t a = t.find_first_not_of(' ');
      return a == std::string::npos ? std::to_string(v.as_int()) : t.substr(a);
    }
    case eval::Type::Date:
      return rtl::dtoc(rt.settings(), v.as_date());
    case eval::Type::Logical:
      return v.as_logical() ? ".T." : ".F.";
    default:
      return "";
  }
}

std::string error_msg_prin(Runtime& rt, const ErrorObject& e, const std::string& sep) {
  bool dialog = sep == ";";
  screen::Screen& scr = screen::screen_of(rt);
  int width = dialog ? std::min(56, scr.max_col() + 1 - 1 - 23) : 79;
  auto label = [dialog](const char* utf8, int indent) {
    std::string l = ru(utf8);
    return dialog ? std::string(static_cast<size_t>(indent), ' ') + l : dotted(l);
  };
  std::vector<std::string> lines;
  std::string control = text_of(get(rt, pub::CONTROL));
  if (!control.empty()) {
    lines.push_back(label("Файл параметров", 0) + ": " + rtl::cp866::upper(file_part(control)));
    lines.push_back(label("Метка", 10) + ": " + label_number(rt));
  }
  std::string alias = text_of(call_if_present(rt, "ALIAS"));
  if (!alias.empty()) {
    lines.push_back(label("Алиас", 10) + ": " + alias + ru(" [ Запись ") +
                    value_text(rt, call_if_present(rt, "RECNO")) + " ]");
  }
  lines.push_back(label("Вызов из", 7) + ": " + where(e.procedure, e.line));
  lines.push_back(label("в файле", 8) + ": " + file_part(e.module));
  std::string block;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string& l = lines[i];
    if (static_cast<int>(l.size()) < width) l.append(static_cast<size_t>(width) - l.size(), ' ');
    block += l;
    if (i + 1 < lines.size()) block += sep;
  }
  if (!block.empty() && width > 0) {
    std::string rule(static_cast<size_t>(width), '-');
    block = rule + sep + block + sep + rule;
  }
  return block;
}

std::string error_arguments(Runtime& rt, const ErrorObject& e, const std::string& sep) {
  if (!e.args) return "";
  bool dialog = sep == ";";
  std::string t = (dialog ? ru("Список аргументов") : dotted(ru("Список аргументов"))) + ": ";
  for (size_t i = 0; i < e.args->size(); ++i) {
    const Value& v = (*e.args)[i];
    if (dialog) {
      t += ";";
    } else if (i > 0) {
      t += sep + std::string(22, ' ');
    }
    t += "[" + std::to_string(i + 1) + "]";
    std::string shown = value_text(rt, v);
    if (!v.is_nil() && !shown.empty()) t += ru(" Значение:") + shown;
    t += ru(" Тип:") + std::string(1, v.valtype());
  }
  return t;
}

Answer deferror(Runtime& rt, ErrorObject& e) {
  Runner& r = runner(rt);
  if (r.in_error_handler) handler_failed(rt, e);
  r.in_error_handler = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{r.in_error_handler};
  try {
    return handle(rt, e);
  } catch (const eval::Break& b) {
    // An error raised inside the handler comes back as a break of its error.
    if (const ErrorObject* inner = eval::error_of(b.value)) handler_failed(rt, *inner);
    throw;
  }
}

void errorsys(Runtime& rt) { rt.set_error_handler(deferror); }

namespace {

Value errorsys_fn(Runtime& rt, Args) {
  errorsys(rt);
  return {};
}

Value deferror_fn(Runtime& rt, Args args) {
  ErrorObject* e = eval::error_of(args[0]);
  if (!e) return Value::logical(false);
  Answer a = deferror(rt, *e);
  if (a.is_substitute()) return a.value;
  return Value::logical(a.is_retry());
}

Value errormessage_fn(Runtime& rt, Args args) {
  ErrorObject* e = eval::error_of(args[0]);
  return Value::string(e ? error_message(*e) : std::string());
}

Value errormsgprin_fn(Runtime& rt, Args args) {
  ErrorObject* e = eval::error_of(args[0]);
  std::string sep = args[1].is_string() ? args[1].as_string() : "\r\n";
  return Value::string(e ? error_msg_prin(rt, *e, sep) : std::string());
}

Value arguments_fn(Runtime& rt, Args args) {
  ErrorObject* e = eval::error_of(args[0]);
  std::string sep = args[1].is_string() ? args[1].as_string() : ";";
  return Value::string(e ? error_arguments(rt, *e, sep) : std::string());
}

// Linux shows no critical-error pop-ups; the mode is kept and returned.
Value seterrormode_fn(Runtime& rt, Args args) {
  Runner& r = runner(rt);
  int previous = r.error_mode;
  if (args[0].is_number()) r.error_mode = static_cast<int>(args[0].as_int());
  return Value::integer(previous);
}

// The crash signals call the stored function, then go on to the handlers
// installed before (the terminal's restore) and the default action.
Runtime* g_filter_runtime = nullptr;
struct sigaction g_previous[32];
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

void on_crash(int sig, siginfo_t* info, void* ctx) {
  static volatile sig_atomic_t once = 0;
  if (!once && g_filter_runtime) {
    once = 1;
    Runtime& rt = *g_filter_runtime;
    Value f = runner(rt).exception_filter;
    try {
      if (f.is_block()) eval::call_block(rt, f, {Value()});
      if (f.is_string() && rt.registry().find(f.as_string())) {
        Value none;
        eval::call_function(rt, f.as_string(), Args(&none, 1));
      }
    } catch (...) {
    }
  }
  struct sigaction& prev = g_previous[sig];
  if (prev.sa_flags & SA_SIGINFO) {
    if (prev.sa_sigaction) {
      prev.sa_sigaction(sig, info, ctx);
      return;
    }
  } else if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN) {
    prev.sa_handler(sig);
    return;
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

Value setunhandledexceptionfilter_fn(Runtime& rt, Args args) {
  Runner& r = runner(rt);
  long previous = r.exception_filter.is_nil() ? 0 : r.filter_serial;
  r.exception_filter = args[0];
  r.filter_serial += 1;
  if (!g_filter_runtime) {
    for (int sig : kCrashSignals) {
      struct sigaction sa {};
      sa.sa_sigaction = on_crash;
      sa.sa_flags = SA_SIGINFO | SA_NODEFER;
      sigemptyset(&sa.sa_mask);
      sigaction(sig, &sa, &g_previous[sig]);
    }
  }
  g_filter_runtime = &rt;
  return Value::integer(previous);
}

}  // namespace

void register_errorsys(eval::Registry& reg) {
  reg.function("ERRORSYS", errorsys_fn);          // install DEFERROR
  reg.function("DEFERROR", deferror_fn);          // the handler itself
  reg.function("ERRORMESSAGE", errormessage_fn);  // one-line message text
  reg.function("ERRORMSGPRIN", errormsgprin_fn);  // the context block
  reg.function("ARGUMENTS", arguments_fn);        // the argument list text
  reg.function("SETERRORMODE", seterrormode_fn);  // kept and returned
  reg.function("SETUNHANDLEDEXCEPTIONFILTER", setunhandledexceptionfilter_fn);
}

}  // namespace kvel::common
