#include "platform/screen/term_backend.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/screen/cp866.h"
#include "platform/screen/keys.h"

namespace kvel::screen {
namespace {

// What the signal handlers need, set up before they are installed. Only
// async-signal-safe calls touch it from a handler: write, tcsetattr, raise.
struct Terminal {
  int in_fd = -1;
  int out_fd = -1;
  termios saved{};
  termios raw{};
  char restore[160] = {};
  size_t restore_len = 0;
  volatile sig_atomic_t active = 0;
  volatile sig_atomic_t resized = 0;
  volatile sig_atomic_t resumed = 0;
  int pipe_r = -1;
  int pipe_w = -1;
  bool exit_hook = false;
};
Terminal g;

constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV,
                                 SIGBUS, SIGFPE,  SIGILL, SIGABRT};
struct sigaction g_old[NSIG];

const char kEnter[] = "\x1b[?1049h\x1b[22;0t\x1b[?7l\x1b[?25l";
const char kLeave[] = "\x1b[0m\x1b[?7h\x1b[0 q\x1b[?25h\x1b[?1049l\x1b[23;0t";
const char kKittyPush[] = "\x1b[>31u";  // disambiguate, events, alternates, all keys, text
const char kKittyPop[] = "\x1b[<u";

void write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno == EAGAIN) {
      pollfd pfd{fd, POLLOUT, 0};
      ::poll(&pfd, 1, 100);
      continue;
    }
    if (w <= 0) return;
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void restore_now() {
  if (!g.active) return;
  g.active = 0;
  write_all(g.out_fd, g.restore, g.restore_len);
  ::tcsetattr(g.in_fd, TCSADRAIN, &g.saved);
}

void on_exit_hook() { restore_now(); }

void on_fatal(int sig) {
  int saved_errno = errno;
  restore_now();
  ::signal(sig, SIG_DFL);
  ::raise(sig);  // delivered when the handler returns: the process ends as the signal says
  errno = saved_errno;
}

void wake(char c) {
  if (g.pipe_w >= 0) {
    ssize_t r = ::write(g.pipe_w, &c, 1);
    (void)r;
  }
}

void on_winch(int) {
  int saved_errno = errno;
  g.resized = 1;
  wake('w');
  errno = saved_errno;
}

void on_tstp(int) {
  int saved_errno = errno;
  restore_now();
  ::signal(SIGTSTP, SIG_DFL);
  ::raise(SIGTSTP);  // stops here until SIGCONT
  errno = saved_errno;
}

void on_cont(int) {
  int saved_errno = errno;
  struct sigaction sa {};
  sa.sa_handler = on_tstp;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGTSTP, &sa, nullptr);
  g.resumed = 1;
  wake('c');
  errno = saved_errno;
}

void install(int sig, void (*fn)(int)) {
  struct sigaction sa {};
  sa.sa_handler = fn;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = sig == SIGWINCH || sig == SIGCONT ? SA_RESTART : 0;
  ::sigaction(sig, &sa, &g_old[sig]);
}

void uninstall(int sig) { ::sigaction(sig, &g_old[sig], nullptr); }

double seconds_now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TermOptions TermOptions::from_environment() {
  TermOptions o;
  if (const char* cs = std::getenv("KVEL_CHARSET");
      cs && (std::strcmp(cs, "cp866") == 0 || std::strcmp(cs, "CP866") == 0))
    o.cp866_output = o.cp866_input = true;
  if (const char* k = std::getenv("KVEL_KITTY"); k && std::strcmp(k, "0") == 0) o.kitty = false;
  return o;
}

TermBackend::TermBackend(TermOptions options)
    : options_(options),
      renderer_(!options.cp866_output),
      decoder_(!options.cp866_input),
      cells_(kRows * kCols) {}

os::Result<std::shared_ptr<TermBackend>> TermBackend::open(TermOptions options) {
  if (g.in_fd >= 0)
    return os::Status::failure(os::kDosAccessDenied, "the terminal is already in use");
  if (!::isatty(options.in_fd))
    return os::Status::failure(os::kDosNotReady, "standard input is not a terminal");
  std::shared_ptr<TermBackend> t(new TermBackend(options));
  if (!t->start()) return os::Status::from_errno("terminal");
  return t;
}

bool TermBackend::start() {
  if (::tcgetattr(options_.in_fd, &g.saved) != 0) return false;
  int fds[2];
  if (::pipe(fds) != 0) return false;
  for (int fd : fds) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  g.pipe_r = fds[0];
  g.pipe_w = fds[1];
  g.in_fd = options_.in_fd;
  g.out_fd = options_.out_fd;
  g.raw = g.saved;
  g.raw.c_iflag &=
      ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  g.raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  // ISIG off: Ctrl+C, Ctrl+Z and Ctrl+\ are keys of the system (PgDn, Ctrl+Left, F1).
  g.raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  g.raw.c_cflag = (g.raw.c_cflag & ~static_cast<tcflag_t>(CSIZE | PARENB)) | CS8;
  g.raw.c_cc[VMIN] = 0;
  g.raw.c_cc[VTIME] = 0;
  std::memcpy(g.restore, kLeave, sizeof kLeave - 1);
  g.restore_len = sizeof kLeave - 1;
  // Signal handlers first, so that no end can leave the terminal raw.
  for (int sig : kFatalSignals) install(sig, on_fatal);
  install(SIGWINCH, on_winch);
  install(SIGTSTP, on_tstp);
  install(SIGCONT, on_cont);
  if (!g.exit_hook) {
    std::atexit(on_exit_hook);
    g.exit_hook = true;
  }
  if (::tcsetattr(options_.in_fd, TCSAFLUSH, &g.raw) != 0) return false;
  g.active = 1;
  open_ = true;
  write_out(kEnter);
  if (options_.kitty) detect_kitty();
#ifdef __linux__
  if (const char* term = std::getenv("TERM"); term && std::strcmp(term, "linux") == 0) {
    char arg = 6;  // TIOCL_GETSHIFTSTATE: the console's modifier keys
    if (::ioctl(options_.in_fd, TIOCLINUX, &arg) == 0) linux_mods_ = 0;
  }
#endif
  check_size();
  return true;
}

void TermBackend::detect_kitty() {
  // Ask for the kitty flags, then for the device attributes that every
  // terminal answers: a kitty answer before that one means the protocol is there.
  write_out("\x1b[?u\x1b[c");
  double deadline = now() + 0.5;
  bool done = false;
  size_t pos = 0;
  while (!done && now() < deadline) {
    if (!fill(deadline - now())) continue;
    while (pos < input_.size()) {
      Decoded d = decoder_.decode(std::string_view(input_).substr(pos), false);
      if (d.used == 0) break;
      if (d.kitty_reply || d.device_reply) {
        kitty_ = kitty_ || d.kitty_reply;
        done = done || d.device_reply;
        input_.erase(pos, d.used);  // replies are no keys
      } else {
        pos += d.used;  // keys typed meanwhile stay for later
      }
    }
  }
  if (kitty_) {
    write_out(kKittyPush);
    // Pop the flags before anything else on the way out.
    // The handlers read the restore bytes: keep them out while they change.
    sigset_t block, old;
    sigfillset(&block);
    ::sigprocmask(SIG_BLOCK, &block, &old);
    constexpr size_t kPop = sizeof kKittyPop - 1, kRest = sizeof kLeave - 1;
    static_assert(kPop + kRest <= sizeof g.restore);
    std::memcpy(g.restore, kKittyPop, kPop);
    std::memcpy(g.restore + kPop, kLeave, kRest);
    g.restore_len = kPop + kRest;
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
  }
}

TermBackend::~TermBackend() {
  restore();
  for (int sig : kFatalSignals) uninstall(sig);
  uninstall(SIGWINCH);
  uninstall(SIGTSTP);
  uninstall(SIGCONT);
  ::close(g.pipe_r);
  ::close(g.pipe_w);
  g.pipe_r = g.pipe_w = -1;
  g.in_fd = g.out_fd = -1;
}

void TermBackend::restore() {
  if (!open_) return;
  open_ = false;
  restore_now();
}

double TermBackend::now() { return seconds_now(); }

void TermBackend::write_out(const std::string& bytes) {
  if (!open_ || bytes.empty()) return;
  write_all(options_.out_fd, bytes.data(), bytes.size());
  sent_ += bytes.size();
}

std::string TermBackend::size_message() const {
  std::string cp =
      utf8_to_cp866("Окно терминала меньше 80x25 (сейчас " + std::to_string(term_cols_) + "x" +
                    std::to_string(term_rows_) + ").");
  std::string cp2 = utf8_to_cp866("Увеличьте окно: экран вернётся сам.");
  std::string out = "\x1b[0m\x1b[2J\x1b[H";
  for (char c : cp) renderer_.glyph(static_cast<uint8_t>(c), out);
  out += "\x1b[2;1H";
  for (char c : cp2) renderer_.glyph(static_cast<uint8_t>(c), out);
  return out;
}

void TermBackend::check_size() {
  winsize ws{};
  if (::ioctl(options_.out_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0) {
    term_rows_ = ws.ws_row;
    term_cols_ = ws.ws_col;
  }
  too_small_ = term_rows_ < kRows || term_cols_ < kCols;
  renderer_.invalidate();
  if (too_small_) {
    write_out(size_message());
  } else {
    std::string out;
    renderer_.render(cells_.data(), cursor_, out);
    write_out(out);
  }
}

void TermBackend::present(const Cell* cells, const CursorState& cursor) {
  std::copy(cells, cells + kRows * kCols, cells_.begin());
  cursor_ = cursor;
  if (!open_) return;
  if (g.resized) {
    g.resized = 0;
    check_size();
    return;
  }
  if (too_small_) return;
  std::string out;
  renderer_.render(cells_.data(), cursor_, out);
  write_out(out);
}

void TermBackend::set_title(std::string_view cp866) {
  std::string out = "\x1b]2;";
  for (char c : cp866) {
    auto b = static_cast<uint8_t>(c);
    if (b < 0x20 || b == 0x7F) continue;  // a control byte would end the title early
    renderer_.glyph(b, out);
  }
  out += '\x07';
  write_out(out);
}

bool TermBackend::fill(double timeout) {
  pollfd pfd[2] = {{options_.in_fd, POLLIN, 0}, {g.pipe_r, POLLIN, 0}};
  int ms = timeout <= 0 ? 0 : static_cast<int>(timeout * 1000 + 0.999);
  int n = ::poll(pfd, 2, ms);
  if (n <= 0) return false;
  if (pfd[1].revents & POLLIN) {
    char buf[16];
    while (::read(g.pipe_r, buf, sizeof buf) > 0) {
    }
  }
  if (!(pfd[0].revents & (POLLIN | POLLHUP | POLLERR))) return false;
  char buf[512];
  ssize_t r = ::read(options_.in_fd, buf, sizeof buf);
  if (r <= 0) return false;
  input_.append(buf, static_cast<size_t>(r));
  return true;
}

InputEvent TermBackend::read_input(double timeout) {
  double deadline = now() + std::max(timeout, 0.0);
  bool looked = false;
  for (;;) {
    if (g.resumed) {
      g.resumed = 0;
      ::tcsetattr(options_.in_fd, TCSAFLUSH, &g.raw);
      g.active = 1;
      write_out(kEnter);
      if (kitty_) write_out(kKittyPush);
      check_size();
    }
    if (g.resized) {
      g.resized = 0;
      check_size();
    }
#ifdef __linux__
    if (linux_mods_ >= 0) {
      char arg = 6;
      if (::ioctl(options_.in_fd, TIOCLINUX, &arg) == 0) {
        int bits = static_cast<unsigned char>(arg);
        int mods =
            ((bits & 1) ? kModShift : 0) | ((bits & 4) ? kModCtrl : 0) | ((bits & 8) ? kModAlt : 0);
        if (mods != linux_mods_) {
          linux_mods_ = mods;
          return {InputEvent::Kind::Modifiers, 0, mods};
        }
      }
    }
#endif
    while (!input_.empty()) {
      Decoded d = decoder_.decode(input_, false);
      if (d.used == 0) {
        // The start of a sequence: wait a moment for the rest, else take it as it is.
        if (fill(options_.esc_timeout)) continue;
        d = decoder_.decode(input_, true);
      }
      input_.erase(0, d.used);
      if (d.event.kind != InputEvent::Kind::None) {
        if (linux_mods_ >= 0 && !kitty_) d.event.mods = linux_mods_;
        return d.event;
      }
    }
    double left = deadline - now();
    if (left <= 0 && looked) return {};
    looked = true;
    fill(left);
  }
}

}  // namespace kvel::screen
