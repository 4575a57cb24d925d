#include "platform/os/lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.h"

namespace kvel::os {
namespace {

using test::TempDir;

constexpr uint64_t kBase = 1'000'000'000;

struct Fd {
  int fd;
  explicit Fd(const std::string& p, int flags = O_RDWR) : fd(::open(p.c_str(), flags)) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Runs `body` in a child process and returns its exit status.
template <class F>
int in_child(F body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int st = 0;
  ::waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST(Lock, RangesBetweenTwoDescriptors) {
  TempDir dir;
  std::string p = dir / "t.dbf";
  test::write_file(p, "x");
  struct Case {
    LockKind first;
    uint64_t off1, len1;
    LockKind second;
    uint64_t off2, len2;
    bool granted;
  };
  const LockKind S = LockKind::Shared, X = LockKind::Exclusive;
  static const Case cases[] = {
      {X, kBase + 5, 1, X, kBase + 5, 1, false},      // same record
      {X, kBase + 5, 1, X, kBase + 6, 1, true},       // neighbouring records
      {X, kBase + 1, kBase, X, kBase + 7, 1, false},  // table lock against a record
      {X, kBase + 7, 1, X, kBase + 1, kBase, false},  // record lock against the table
      {X, kBase, 1, X, kBase + 1, 1, true},           // append lock is apart from record 1
      {S, kBase, 1, S, kBase, 1, true},               // index readers
      {S, kBase, 1, X, kBase, 1, false},              // index writer waits for readers
      {X, kBase, 1, S, kBase, 1, false},
      {X, 0, 1, S, 0, 1, false},  // memo file header
  };
  for (const Case& c : cases) {
    Fd a(p), b(p);
    ASSERT_TRUE(lock_range(a.fd, c.off1, c.len1, c.first).ok());
    Status s = lock_range(b.fd, c.off2, c.len2, c.second);
    EXPECT_EQ(s.ok(), c.granted) << c.off1 << "+" << c.len1 << " then " << c.off2 << "+" << c.len2;
    if (!c.granted) {
      EXPECT_EQ(s.dos(), kDosLockViolation);
    }
  }
}

TEST(Lock, ClosingAnotherDescriptorKeepsLocks) {
  TempDir dir;
  std::string p = dir / "t.dbf";
  test::write_file(p, "x");
  Fd a(p);
  ASSERT_TRUE(lock_range(a.fd, kBase + 3, 1, LockKind::Exclusive).ok());
  {
    Fd b(p);  // opened and closed by the same process
    EXPECT_FALSE(lock_range(b.fd, kBase + 3, 1, LockKind::Exclusive).ok());
  }
  EXPECT_EQ(in_child([&] {
              Fd c(p);
              return lock_range(c.fd, kBase + 3, 1, LockKind::Exclusive).dos();
            }),
            kDosLockViolation);
  ASSERT_TRUE(unlock_range(a.fd, kBase + 3, 1).ok());
  EXPECT_EQ(in_child([&] {
              Fd c(p);
              return lock_range(c.fd, kBase + 3, 1, LockKind::Exclusive).dos();
            }),
            0);
}

TEST(Lock, UpgradeAndUnlockOnSameDescriptor) {
  TempDir dir;
  std::string p = dir / "t.ntx";
  test::write_file(p, "x");
  Fd a(p), b(p);
  ASSERT_TRUE(lock_range(a.fd, kBase, 1, LockKind::Shared).ok());
  ASSERT_TRUE(lock_range(a.fd, kBase, 1, LockKind::Exclusive).ok());
  EXPECT_FALSE(lock_range(b.fd, kBase, 1, LockKind::Shared).ok());
  auto t = range_taken(b.fd, kBase, 1, LockKind::Shared);
  ASSERT_TRUE(t.ok());
  EXPECT_TRUE(*t);
  ASSERT_TRUE(unlock_range(a.fd, kBase, 1).ok());
  EXPECT_TRUE(lock_range(b.fd, kBase, 1, LockKind::Shared).ok());
  EXPECT_TRUE(unlock_range(a.fd, kBase + 99, 1).ok());  // never held
}

TEST(Lock, ModeOfDescriptorAndBadHandle) {
  TempDir dir;
  std::string p = dir / "t.dbf";
  test::write_file(p, "x");
  Fd ro(p, O_RDONLY);
  EXPECT_TRUE(lock_range(ro.fd, kBase, 1, LockKind::Shared).ok());
  EXPECT_EQ(lock_range(ro.fd, kBase + 1, 1, LockKind::Exclusive).dos(), kDosBadHandle);
  EXPECT_EQ(lock_range(-1, kBase, 1, LockKind::Shared).dos(), kDosBadHandle);
}

TEST(Lock, WholeFile) {
  TempDir dir;
  std::string p = dir / "t.dbf";
  test::write_file(p, "x");
  const LockKind S = LockKind::Shared, X = LockKind::Exclusive;
  struct Case {
    LockKind first, second;
    bool granted;
  };
  static const Case cases[] = {{S, S, true}, {S, X, false}, {X, S, false}, {X, X, false}};
  for (const Case& c : cases) {
    Fd a(p), b(p);
    ASSERT_TRUE(lock_file(a.fd, c.first).ok());
    Status s = lock_file(b.fd, c.second);
    EXPECT_EQ(s.ok(), c.granted);
    if (!c.granted) {
      EXPECT_EQ(s.dos(), kDosLockViolation);
    }
  }
  Fd a(p), b(p);
  ASSERT_TRUE(lock_file(a.fd, X).ok());
  ASSERT_TRUE(unlock_file(a.fd).ok());
  EXPECT_TRUE(lock_file(b.fd, X).ok());
}

}  // namespace
}  // namespace kvel::os
