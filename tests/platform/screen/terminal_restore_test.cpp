// The terminal is given back after every kind of end of the program, checked
// in a real terminal emulator (tmux) with the kvel-keys demo: the stty modes,
// the main screen's contents, the cursor, line wrapping and the exit status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace kvel::screen {
namespace {

namespace fs = std::filesystem;

std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

class Tmux {
 public:
  explicit Tmux(const fs::path& dir)
      : socket_("kvel-screen-test-" + std::to_string(::getpid())), dir_(dir) {
    run(tmux() +
        " new-session -d -s t -x 100 -y 30 'env -i PATH=/usr/bin:/bin TERM=tmux-256color "
        "PS1=ready: HOME=" +
        dir.string() + " bash --norc --noprofile' 2>&1");
  }
  ~Tmux() { run(tmux() + " kill-server 2>/dev/null"); }
  std::string tmux() const { return "tmux -L " + socket_; }
  void keys(const std::string& k) { run(tmux() + " send-keys -t t " + k); }
  void line(const std::string& text) {
    run(tmux() + " send-keys -t t -l '" + text + "'");
    keys("Enter");
  }
  std::string screen() { return run(tmux() + " capture-pane -t t -p"); }
  std::string format(const std::string& f) {
    return run(tmux() + " display-message -p -t t '" + f + "'");
  }
  // Waits until the pane shows `text`; false after 10 seconds.
  bool wait_for(const std::string& text) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
      if (screen().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  std::string socket_;
  fs::path dir_;
};

struct Ending {
  const char* name;
  const char* action;  // "keys:<tmux keys>" or "kill:<signal>"
  int status;
};

TEST(TerminalRestore, AfterEveryKindOfEnd) {
  fs::path demo = test::binary_dir() / "tools" / "kvel-keys";
  if (run("command -v tmux").empty()) GTEST_SKIP() << "tmux is not installed";
  if (!fs::exists(demo)) GTEST_SKIP() << "kvel-keys is not built";
  static const Ending endings[] = {
      {"F10", "keys:F10", 0},
      {"Esc Esc", "keys:Escape Escape", 0},
      {"exit(99)", "keys:M-q", 99},
      {"SIGINT", "kill:INT", 130},
      {"SIGTERM", "kill:TERM", 143},
      {"SIGHUP", "kill:HUP", 129},
      {"crash signal", "keys:M-x", 139},
      {"SIGABRT", "kill:ABRT", 134},
  };
  test::TempDir dir;
  Tmux t(dir.path());
  ASSERT_TRUE(t.wait_for("ready:")) << t.screen();
  t.line("ulimit -c 0; cd " + dir.path().string());
  for (const Ending& e : endings) {
    SCOPED_TRACE(e.name);
    // The shell ignores SIGINT here, or a child ended by it would end the list
    // too; the program sets its own handlers either way.
    test::write_file(dir / "run.sh", "trap '' INT; clear; stty -g > before; echo 'MARK-" +
                                         std::string(e.name) + "'; sh -c 'echo $$ > pid; exec " +
                                         demo.string() +
                                         "'; echo EXIT=$?; stty -g > after; trap - INT\n");
    t.line(". ./run.sh");
    ASSERT_TRUE(t.wait_for("kvel-keys:")) << t.screen();
    t.keys("F5");  // a key read first: the program is in its loop
    ASSERT_TRUE(t.wait_for("-4  F5")) << t.screen();
    std::string action = e.action;
    if (action.rfind("keys:", 0) == 0)
      t.keys(action.substr(5));
    else
      run("kill -" + action.substr(5) + " $(cat " + (dir.path() / "pid").string() + ")");
    ASSERT_TRUE(t.wait_for("EXIT=")) << t.screen();
    std::string shown = t.screen();
    EXPECT_NE(shown.find("EXIT=" + std::to_string(e.status)), std::string::npos) << shown;
    EXPECT_NE(shown.find("MARK-" + std::string(e.name)), std::string::npos) << "main screen back:\n"
                                                                            << shown;
    EXPECT_EQ(shown.find("kvel-keys:"), std::string::npos) << shown;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(test::read_file(dir / "before"), test::read_file(dir / "after")) << "stty modes";
    EXPECT_EQ(t.format("#{alternate_on} #{cursor_flag} #{wrap_flag}"), "0 1 1\n")
        << "alternate screen, cursor, wrap";
  }
}

TEST(TerminalRestore, SmallTerminalShowsAMessageUntilItGrows) {
  fs::path demo = test::binary_dir() / "tools" / "kvel-keys";
  if (run("command -v tmux").empty()) GTEST_SKIP() << "tmux is not installed";
  if (!fs::exists(demo)) GTEST_SKIP() << "kvel-keys is not built";
  test::TempDir dir;
  Tmux t(dir.path());
  ASSERT_TRUE(t.wait_for("ready:")) << t.screen();
  t.line(demo.string());
  ASSERT_TRUE(t.wait_for("kvel-keys:")) << t.screen();
  run(t.tmux() + " resize-window -t t -x 60 -y 20");
  ASSERT_TRUE(t.wait_for("80x25 (")) << t.screen();
  EXPECT_NE(t.screen().find("60x20"), std::string::npos) << t.screen();
  run(t.tmux() + " resize-window -t t -x 90 -y 26");
  ASSERT_TRUE(t.wait_for("kvel-keys:")) << t.screen();
  t.keys("F10");
}

}  // namespace
}  // namespace kvel::screen
