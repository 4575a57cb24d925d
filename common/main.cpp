#include "common/main.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "common/clalert.h"
#include "common/color.h"
#include "common/common.h"
#include "common/cp866_text.h"
#include "common/crspar.h"
#include "common/errorsys.h"
#include "common/manager.h"
#include "common/publics.h"
#include "common/runner.h"
#include "platform/eval/eval.h"
#include "platform/platform.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/files.h"
#include "platform/screen/headless_backend.h"
#include "platform/screen/keyboard.h"
#include "platform/screen/screen.h"
#include "platform/screen/term_backend.h"
#include "platform/store/store.h"

namespace kvel::common {

using eval::Args;
using eval::Runtime;
using eval::Value;

namespace {

// Tables committed, unlocked and closed, pending fields dropped, echo to a
// file off: what both the restart and the end of the run do first.
void close_everything(Runtime& rt) {
  call_if_present(rt, "DBCOMMITALL");
  call_if_present(rt, "DBUNLOCKALL");
  call_if_present(rt, "DBCLOSEALL");
  rt.settings().alternate = false;
  rt.settings().alternate_file.clear();
}

void startup_settings(Runtime& rt) {
  eval::Settings& s = rt.settings();
  s.softseek = true;
  s.date_format = s.century ? "dd/mm/yyyy" : "dd/mm/yy";
  s.epoch = 1935;
  s.exact = true;
  s.scoreboard = false;
  s.deleted = true;
  s.confirm = true;
  s.wrap = true;
  s.path.clear();
  s.default_dir.clear();
  s.optimize = true;
  s.hardcommit = true;
  s.typeahead = 20;
  screen::Keyboard& kb = screen::keyboard_of(rt);
  kb.set_capacity(20);
  kb.clear();
}

// Steps 7.1 to 7.6: the public state of one run, the colour table, the
// run-time variables, the offset table and the start record.
void begin_run(Runtime& rt) {
  Runner& r = runner(rt);
  const StartValues& v = r.start;
  make_public(rt, pub::USTK, Value::integer(0));
  make_public(rt, pub::HANDS, Value::integer(0));
  make_public(rt, pub::PRSTK, Value::integer(0));
  Value stk = Value::new_array(5);
  for (auto& l : stk.as_array()->items) l = Value::new_array(0);
  make_public(rt, pub::STK, stk);
  make_public(rt, pub::SMP, Value::new_array(6));
  for (pub::VarName n : {pub::MSME, pub::MSPR, pub::MOFF, pub::MCON, pub::SPAR}) {
    make_public(rt, n, Value::new_array(0));
  }
  make_public(rt, pub::CPATH, Value::string(v.cpath));
  make_public(rt, pub::CFGFILE, Value::string(v.cfgfile));
  make_public(rt, pub::SET_UP, Value::string(v.set_up));
  make_public(rt, pub::ISET_UP, Value::string(v.iset_up));
  make_public(rt, pub::OFFSET, Value::string(v.offset));
  make_public(rt, pub::CONTROL, Value::string(v.control));
  make_public(rt, pub::CKPRIL, Value::string(v.ckpril));
  make_public(rt, pub::ADOSPAR, list_of_texts(v.adospar));

  color(rt);
  loadvar(rt);

  for (auto& c : list(rt, pub::SMP)->items) c = Value::integer(0);
  for (int i = 0; i < 4; ++i) stk.as_array()->items[i].as_array()->items = {Value::integer(1)};
  stk.as_array()->items[4].as_array()->items = {Value()};
  set(rt, pub::PRSTK, Value::integer(1));
  set(rt, pub::USTK, Value::integer(1));
  set_smp(rt, 3, Value::integer(1));
  set_smp(rt, 4, Value::integer(0));

  std::string start = crspar(rt);
  set_smp(rt, 1, Value::string(start.substr(0, 3)));
  long entry = 0;
  for (size_t i = 3; i < start.size() && i < 6; ++i) {
    if (start[i] == ' ' && entry == 0) continue;
    if (start[i] < '0' || start[i] > '9') break;
    entry = entry * 10 + (start[i] - '0');
  }
  set_smp(rt, 2, Value::integer(entry));
}

// A run that breaks off before it waited for the user starts again at once;
// a description whose start entry breaks off every time would restart for
// ever. The guard counts such restarts in a row: a run that neither read a
// key nor waited for one counts fully, a run that took keys without waiting
// (keys it put into the typeahead itself) counts towards a larger limit. A
// run that waited for the user starts the counts again.
class RestartGuard {
 public:
  static constexpr int kMaxQuietRestarts = 3;
  static constexpr int kMaxUnwaitedRestarts = 100;

  explicit RestartGuard(Runtime& rt) : kb_(screen::keyboard_of(rt)) {
    idle_ = kb_.idle().add_idle([this](Runtime&) { ++waits_; });
  }
  ~RestartGuard() { kb_.idle().remove_idle(idle_); }
  RestartGuard(const RestartGuard&) = delete;
  RestartGuard& operator=(const RestartGuard&) = delete;

  // A fresh run, like a fresh process, has read no key yet.
  void run_begins() {
    waits_ = 0;
    kb_.set_last_key(0);
  }
  // After a break: whether the run is to be given up rather than restarted.
  bool stuck() {
    if (waits_ > 0) {
      quiet_ = unwaited_ = 0;
      return false;
    }
    if (kb_.last_key() == 0) ++quiet_;
    ++unwaited_;
    return quiet_ >= kMaxQuietRestarts || unwaited_ >= kMaxUnwaitedRestarts;
  }
  int restarts() const { return unwaited_; }

 private:
  screen::Keyboard& kb_;
  int idle_ = 0;
  long waits_ = 0;
  int quiet_ = 0;
  int unwaited_ = 0;
};

// The message of a description that breaks off at once on every start; the
// run ends with the exit code of a run the error handler ended.
[[noreturn]] void give_up_restarting(Runtime& rt, int restarts) {
  AlertSpec a;
  a.lines = {ru("Описание прерывается сразу после каждого запуска"),
             ru("(перезапусков подряд: ") + std::to_string(restarts) + ")",
             ru("Файл параметров: ") + rtl::cp866::upper(text_of(get(rt, pub::CONTROL))), ""};
  a.colours = list_of_colours({13, 2, 77});
  a.raised = true;
  a.buttons = {"  Ok  "};
  clalert(rt, a);
  runner(rt).final_report += "\n" + a.lines[0] + " " + a.lines[1] + "\n" + a.lines[2] + "\n";
  rt.exit_code = 99;
  throw EndRun{99};
}

void recover(Runtime& rt) {
  call_if_present(rt, "BGSTOPALL");
  close_everything(rt);
  close_control(rt);
  rt.memvars().release_all_except({"GETLIST", "DOSPAR"});
  set(rt, pub::GETLIST, Value::new_array(0));
  errorsys(rt);
  rt.exit_code = 0;
  call_if_present(rt, "BGSTARTALL");
}

Value asm_pwd_fn(Runtime& rt, Args) { return Value::string(asm_pwd(rt)); }

// ASM_CD(path): the drive of "D:..." and then the directory; 0 on success,
// else the DOS error number.
Value asm_cd_fn(Runtime& rt, Args args) {
  std::string p = text_of(args[0]);
  if (p.find(':') != std::string::npos && p.size() == 2) p += "\\";
  std::string path = rtl::resolve_name(rt, p).path;
  if (path.empty() || chdir(path.c_str()) != 0) return Value::integer(os::dos_error(errno));
  return Value::integer(0);
}

// ERRORLEVEL(n): the exit code of the process, set when n is given; the
// previous one is returned.
Value errorlevel_fn(Runtime& rt, Args args) {
  int previous = rt.exit_code;
  if (args[0].is_number()) rt.exit_code = static_cast<int>(args[0].as_int());
  return Value::integer(previous);
}

// QUIT: ends the run with the exit code set last.
Value quit_fn(Runtime& rt, Args) { throw EndRun{rt.exit_code}; }

}  // namespace

std::string asm_pwd(Runtime& rt) {
  os::PathLayer& paths = rtl::paths(rt);
  return std::string(1, paths.current_drive()) + ":\\" + paths.current_dir();
}

int run_description(Runtime& rt) {
  Runner& r = runner(rt);
  screen::Screen& scr = screen::screen_of(rt);
  // Step 1: the first publics and the window title.
  make_public(rt, pub::GETLIST, Value::new_array(0));
  make_public(rt, pub::DOSPAR, Value::string(""));
  std::string old_title = scr.title();
  scr.set_title(ru("КВЕЛ"));
  // Step 2: the error handler, the exit code, the critical-error mode.
  errorsys(rt);
  rt.exit_code = 0;
  r.error_mode = 1;
  // Step 3: the command-line values.
  set(rt, pub::DOSPAR, Value::string(r.start.dospar));
  if (r.command_line.has_title) scr.set_title(r.start.title);
  // Step 4: the logs in the start directory.
  char cwd[4096];
  r.start_dir = getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" : std::string("./");
  r.error_log = "_error.log";
  r.trace_file = "_trace.log";
  r.trace = false;
  // Steps 5 and 6.
  startup_settings(rt);
  screen::ColourList old_colours = scr.colours();
  int old_shape = scr.set_cursor_shape(screen::kCursorNone);
  rt.settings().insert = true;
  call_if_present(rt, "SETMODE", {Value::integer(25), Value::integer(80)});
  call_if_present(rt, "BGSTARTALL");

  try {
    eval::CallFrame frame(rt, "MAIN", "main", 0);
    RestartGuard guard(rt);
    for (;;) {
      guard.run_begins();
      try {
        begin_run(rt);
        manager(rt, 0);
        break;
      } catch (const eval::Break&) {
        if (guard.stuck()) give_up_restarting(rt, guard.restarts());
        recover(rt);
      }
    }
  } catch (const EndRun& end) {
    rt.exit_code = end.exit_code;
  }

  // Step 9: shutdown.
  close_everything(rt);
  close_control(rt);
  rt.memvars().release_all_except({"GETLIST"});
  set(rt, pub::GETLIST, Value::new_array(0));
  call_if_present(rt, "BGSTOPALL");
  r.error_mode = 0;
  scr.set_title(old_title);
  scr.set_colours(old_colours);
  scr.set_cursor_shape(old_shape);
  return rt.exit_code;
}

int run_main(const std::vector<std::string>& argv) {
  std::vector<std::string> args(argv.begin() + (argv.empty() ? 0 : 1), argv.end());
  CommandLine cl = parse_command_line(args);
  if (cl.help) {
    std::fputs(usage_text().c_str(), stdout);
    return 0;
  }
  int code = 0;
  std::string report;
  {
    Runtime rt;
    register_platform(rt.registry());
    register_common(rt.registry());
    if (const eval::Function* f = rt.registry().find("DBCREATEINDEX")) {
      rt.registry().function("DBCREATEIND", f->fn);
    }
    std::shared_ptr<screen::Backend> backend;
    if (cl.headless) {
      screen::KeyScript script;
      if (!cl.keys_file.empty()) {
        os::Result<screen::KeyScript> s = screen::load_key_script(cl.keys_file);
        if (!s.ok()) {
          std::fprintf(stderr, "kvel: %s\n", s.status().message().c_str());
          return 2;
        }
        script = *s;
      }
      screen::HeadlessOptions opt;
      for (const std::string& sw : cl.switches) {
        if (sw.rfind("dump=", 0) == 0) opt.dump_file = sw.substr(5);
        if (sw == "mono") opt.colour = false;
      }
      backend = screen::install_headless(rt, std::move(script), opt);
    } else {
      os::Result<std::shared_ptr<screen::TermBackend>> term =
          screen::TermBackend::open(screen::TermOptions::from_environment());
      if (!term.ok()) {
        std::fprintf(stderr, "kvel: %s (use //headless without a terminal)\n",
                     term.status().message().c_str());
        return 1;
      }
      backend = *term;
      screen::install_console(rt, backend);
    }
    store::store(rt);
    Runner& r = runner(rt);
    r.command_line = cl;
    r.start = start_values(cl);
    r.program = argv.empty() ? "kvel" : argv[0];
    code = run_description(rt);
    report = r.final_report;
  }
  // The terminal is given back by now, so the report is seen.
  if (!report.empty()) {
    std::string text = from866(report);
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
  return code;
}

void register_main(eval::Registry& reg) {
  reg.function("ASM_PWD", asm_pwd_fn);        // current drive and directory
  reg.function("ASM_CD", asm_cd_fn);          // change drive and directory
  reg.function("ERRORLEVEL", errorlevel_fn);  // the process exit code
  reg.function("QUIT", quit_fn);              // end the run
  reg.function("__QUIT", quit_fn);
}

}  // namespace kvel::common
