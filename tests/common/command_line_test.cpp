#include "common/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/cp866_text.h"

namespace kvel::common {
namespace {

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += "<" + x + ">";
  return s;
}

TEST(CommandLine, StartValuesTable) {
  struct Case {
    std::vector<std::string> args;
    std::string offset, control, cfgfile, set_up, dospar, adospar, ckpril;
  };
  const Case cases[] = {
      {{}, "offset.0", "control.0", "flagco.txt", "Setup", "", "", "[]"},
      {{"2", "d:\\app\\", "d:\\set\\"},
       "d:\\app\\offset.2",
       "d:\\app\\control.2",
       "flagco.txt",
       "d:\\set\\Setup",
       "",
       "",
       "[]"},
      // a fifth positional value is ignored
      {{"2", "a", "b", "my.cfg", "extra"},
       "a/offset.2",
       "a/control.2",
       "my.cfg",
       "b/Setup",
       "",
       "",
       "[]"},
      {{"cpath=d:\\app"},
       "d:\\app\\offset.0",
       "d:\\app\\control.0",
       "flagco.txt",
       "Setup",
       "",
       "",
       "[]"},
      // Linux: a keyword takes its path although it holds "/"
      {{"cpath=/srv/app", "SPATH=/srv/set/"},
       "/srv/app/offset.0",
       "/srv/app/control.0",
       "flagco.txt",
       "/srv/set/Setup",
       "",
       "",
       "[]"},
      {{"/net/fast^d05,i20/x"},
       "offset.0",
       "control.0",
       "flagco.txt",
       "Setup",
       "net/fast^d05,i20/x",
       "<net><fast^d05,i20><x>",
       "[D05],[I20]"},
      {{"/x^^d05"}, "offset.0", "control.0", "flagco.txt", "Setup", "x^d05", "<x^d05>", "[D05]"},
      {{"/^"}, "offset.0", "control.0", "flagco.txt", "Setup", "^", "<^>", "[]"},
      {{"/a/b"}, "offset.0", "control.0", "flagco.txt", "Setup", "a/b", "<a><b>", "[]"},
      // a later option string replaces an earlier one
      {{"/a", "/b"}, "offset.0", "control.0", "flagco.txt", "Setup", "b", "<b>", "[]"},
      // a positional value holding "/" is the option string
      {{"5", "app/"}, "offset.5", "control.5", "flagco.txt", "Setup", "app/", "<app><>", "[]"},
      {{"EXT=5", "Cfg=c.txt"}, "offset.5", "control.5", "c.txt", "Setup", "", "", "[]"},
      // a keyword fills its value; positional values fill the ones still empty
      {{"ext=7", "dir"}, "dir/offset.7", "dir/control.7", "flagco.txt", "Setup", "", "", "[]"},
      // "//" switches change nothing
      {{"//headless", "//keys=k.txt", "//frob"},
       "offset.0",
       "control.0",
       "flagco.txt",
       "Setup",
       "",
       "",
       "[]"},
  };
  for (const Case& c : cases) {
    StartValues v = start_values(parse_command_line(c.args));
    std::string in = joined(c.args);
    EXPECT_EQ(v.offset, c.offset) << "args: " << in;
    EXPECT_EQ(v.control, c.control) << "args: " << in;
    EXPECT_EQ(v.cfgfile, c.cfgfile) << "args: " << in;
    EXPECT_EQ(v.set_up, c.set_up) << "args: " << in;
    EXPECT_EQ(v.iset_up, c.set_up) << "args: " << in;
    EXPECT_EQ(v.dospar, c.dospar) << "args: " << in;
    EXPECT_EQ(joined(v.adospar), c.adospar) << "args: " << in;
    EXPECT_EQ(v.ckpril, c.ckpril) << "args: " << in;
  }
}

TEST(CommandLine, RunnerSwitchesAndTitle) {
  CommandLine cl = parse_command_line({"//headless", "//keys=demo.keys", "//HELP", "//dump=x"});
  EXPECT_TRUE(cl.headless);
  EXPECT_TRUE(cl.help);
  EXPECT_EQ(cl.keys_file, "demo.keys");
  EXPECT_EQ(joined(cl.switches), "<headless><keys=demo.keys><HELP><dump=x>");
  EXPECT_FALSE(parse_command_line({"//keys"}).headless);

  struct Case {
    std::string arg;
    std::string title;
  };
  const Case cases[] = {
      {"title=\xCA\xE2\xE5\xEB", ru("Квел")},  // Windows Cyrillic
      {"TITLE=Квел", ru("Квел")},              // UTF-8 from a Linux terminal
      {"title=App 1", "App 1"},
  };
  for (const Case& c : cases) {
    CommandLine t = parse_command_line({c.arg});
    EXPECT_TRUE(t.has_title) << c.arg;
    EXPECT_EQ(start_values(t).title, c.title) << c.arg;
  }
  EXPECT_EQ(start_values(parse_command_line({})).title, ru("КВЕЛ"));
}

}  // namespace
}  // namespace kvel::common
