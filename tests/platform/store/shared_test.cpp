// Two real processes on the same files: appends from both lose nothing and
// leave a valid index; a record lock held by one is refused to the other,
// also after the holder closed a second open of the table; an exclusive
// open and a shared one exclude each other.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "platform/store/ntx.h"
#include "session.h"
#include "support/test_support.h"

namespace kvel::test {
namespace {

// Runs fn in a child process; returns a waitable pid. The child's exit
// code is fn's result.
pid_t spawn(const std::function<int()>& fn) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int rc = 1;
    try {
      rc = fn();
    } catch (...) {
      rc = 99;
    }
    ::_exit(rc);
  }
  return pid;
}

int wait_for(pid_t pid) {
  int st = 0;
  ::waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A one-byte message between the processes.
struct Pipe {
  int fd[2];
  Pipe() { EXPECT_EQ(::pipe(fd), 0); }
  ~Pipe() {
    ::close(fd[0]);
    ::close(fd[1]);
  }
  void send() { EXPECT_EQ(::write(fd[1], "x", 1), 1); }
  void receive() {
    char c;
    EXPECT_EQ(::read(fd[0], &c, 1), 1);
  }
};

class SharedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Session s;
    s.run("DBCREATE(\"" + table() + "\", {{\"NAME\", \"C\", 20, 0}, {\"N\", \"N\", 6, 0}})");
    s.run("DBUSEAREA(.T.,, \"" + table() + "\", \"T\", .F.)");
    for (int i = 1; i <= 5; ++i) s.run("DBAPPEND(), NAME := \"first" + std::to_string(i) + "\"");
    s.run("ORDCREATE(\"" + index() + "\",, \"NAME\")");
    s.run("DBCLOSEAREA()");
    ASSERT_TRUE(s.errors.empty()) << s.errors.front();
  }
  std::string table() const { return (tmp / "shared.dbf").string(); }
  std::string index() const { return (tmp / "shared.ntx").string(); }
  std::string use(const char* alias = "T") const {
    return "DBUSEAREA(.T.,, \"" + table() + "\", \"" + alias + "\", .T.)";
  }
  TempDir tmp;
};

TEST_F(SharedTest, AppendsFromTwoProcessesLoseNothingAndKeepTheIndexValid) {
  auto writer = [&](char tag) {
    return [&, tag]() {
      Session s;
      s.run(use());
      s.run("ORDLISTADD(\"" + index() + "\")");
      for (int i = 0; i < 150; ++i) {
        s.run(std::string("DBAPPEND(), NAME := \"") + tag + std::to_string(i) +
              "\", N := " + std::to_string(i) + ", DBCOMMIT(), DBUNLOCK()");
        if (s.run("NETERR()").as_logical()) return 2;
      }
      return s.errors.empty() ? 0 : 3;
    };
  };
  pid_t a = spawn(writer('a'));
  pid_t b = spawn(writer('b'));
  EXPECT_EQ(wait_for(a), 0);
  EXPECT_EQ(wait_for(b), 0);
  Session s;
  s.run(use());
  s.run("ORDLISTADD(\"" + index() + "\")");
  EXPECT_EQ(s.run("RECCOUNT()").as_int(), 305);
  std::set<std::string> names;
  std::string last;
  int walked = 0;
  for (s.run("DBGOTOP()"); !s.run("EOF()").as_logical(); s.run("DBSKIP()")) {
    std::string n = s.run("NAME").as_string();
    EXPECT_LE(last, n);
    last = n;
    names.insert(n);
    ++walked;
  }
  EXPECT_EQ(walked, 305);
  EXPECT_EQ(names.size(), 305u);
  auto x = store::Ntx::open(index(), true, true);
  ASSERT_TRUE(x.ok());
  uint64_t keys = 0;
  int depth = 0;
  ASSERT_TRUE((*x)->check(&keys, &depth).ok());
  EXPECT_EQ(keys, 305u);
}

TEST_F(SharedTest, RecordLockIsRefusedToTheOtherProcessAlsoAfterASecondOpenCloses) {
  Pipe locked, checked;
  pid_t holder = spawn([&]() {
    Session s;
    s.run(use("A"));
    s.run(use("B"));  // the same table once more
    s.run("DBSELECTAREA(\"A\"), DBGOTO(2)");
    if (!s.run("RLOCK()").as_logical()) return 2;
    // Closing the other open of the file keeps A's lock.
    s.run("DBSELECTAREA(\"B\"), DBCLOSEAREA()");
    locked.send();
    checked.receive();
    return 0;
  });
  locked.receive();
  Session s;
  s.run(use());
  struct Case {
    std::string expr;
    bool want;
  };
  const Case cases[] = {
      {"(DBGOTO(2), RLOCK())", false},
      {"(DBGOTO(3), RLOCK())", true},
      {"DBRLOCK(2)", false},
      {"FLOCK()", false},  // conflicts with the other's record lock
  };
  for (const Case& c : cases) EXPECT_EQ(s.run(c.expr).as_logical(), c.want) << c.expr;
  // Writing a record without its lock is the lock-required error.
  s.run("DBUNLOCK(), DBGOTO(4), NAME := \"x\"");
  ASSERT_EQ(s.errors.size(), 1u);
  EXPECT_EQ(s.errors[0], "38:DBFNTX/1022 os=0");
  checked.send();
  EXPECT_EQ(wait_for(holder), 0);
}

TEST_F(SharedTest, ExclusiveAndSharedOpensExcludeEachOther) {
  struct Case {
    bool first_shared, second_shared;
    bool refused;
  };
  const Case cases[] = {{false, true, true}, {true, false, true}, {true, true, false}};
  for (const Case& c : cases) {
    Pipe opened, done;
    pid_t first = spawn([&]() {
      Session s;
      s.run("DBUSEAREA(.T.,, \"" + table() + "\", \"T\", " + (c.first_shared ? ".T." : ".F.") +
            ")");
      opened.send();
      done.receive();
      return s.run("USED()").as_logical() ? 0 : 2;
    });
    opened.receive();
    Session s;
    s.run("DBUSEAREA(.T.,, \"" + table() + "\", \"T\", " + (c.second_shared ? ".T." : ".F.") + ")");
    EXPECT_EQ(!s.run("USED()").as_logical(), c.refused) << c.first_shared << c.second_shared;
    if (c.refused) {
      ASSERT_EQ(s.errors.size(), 1u);
      EXPECT_EQ(s.errors[0], "21:DBFNTX/1001 os=32");
      EXPECT_TRUE(s.run("NETERR()").as_logical());
    }
    done.send();
    EXPECT_EQ(wait_for(first), 0);
  }
}

}  // namespace
}  // namespace kvel::test
