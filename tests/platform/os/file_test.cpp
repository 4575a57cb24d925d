#include "platform/os/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "support/test_support.h"

namespace kvel::os {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(Status, ErrnoToDosError) {
  struct Case {
    int err, dos;
  };
  static const Case cases[] = {
      {0, 0},       {ENOENT, 2},   {ENOTDIR, 3}, {EMFILE, 4},     {ENFILE, 4},
      {EACCES, 5},  {EPERM, 5},    {EISDIR, 5},  {ENOTEMPTY, 5},  {EBADF, 6},
      {ENOMEM, 8},  {EROFS, 19},   {ENXIO, 21},  {ENOMEDIUM, 21}, {ETIMEDOUT, 21},
      {ESPIPE, 25}, {ENOSPC, 29},  {EDQUOT, 29}, {EFBIG, 29},     {EIO, 30},
      {EBUSY, 32},  {ETXTBSY, 32}, {EAGAIN, 33}, {ENOLCK, 36},    {EEXIST, 80},
  };
  for (const Case& c : cases) EXPECT_EQ(dos_error(c.err), c.dos) << "errno " << c.err;
  Status s = Status::from_errno(ENOENT, "open x.dbf");
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.err_no(), ENOENT);
  EXPECT_EQ(s.message(), std::string("open x.dbf: ") + std::strerror(ENOENT));
}

TEST(File, OpenModeNumbers) {
  struct Case {
    int mode;
    Access access;
    Share share;
  };
  static const Case cases[] = {
      {0, Access::Read, Share::Compat},          {1, Access::Write, Share::Compat},
      {2, Access::ReadWrite, Share::Compat},     {16, Access::Read, Share::Exclusive},
      {18, Access::ReadWrite, Share::Exclusive}, {32, Access::Read, Share::DenyWrite},
      {49, Access::Write, Share::DenyRead},      {66, Access::ReadWrite, Share::DenyNone},
  };
  for (const Case& c : cases) {
    OpenMode m = open_mode_from_number(c.mode);
    EXPECT_EQ(m.access, c.access) << c.mode;
    EXPECT_EQ(m.share, c.share) << c.mode;
  }
}

// Two opens of one file, as two work areas or two workstations make them.
TEST(File, SharingBetweenOpens) {
  TempDir dir;
  std::string p = dir / "T.DBF";
  test::write_file(p, "data");
  struct Case {
    int first, second;  // FOPEN mode numbers
    bool granted;
  };
  static const Case cases[] = {
      {18, 18, false},                                 // exclusive twice
      {18, 0, false},                                  // exclusive refuses even a plain reader
      {0, 18, false},                                  // and cannot start while someone reads
      {66, 66, true},                                  // shared twice
      {66, 18, false}, {64, 64, true}, {32, 0, true},  // deny write lets readers in
      {32, 1, false},                                  // but not writers
      {2, 32, false},                                  // nor starts while someone writes
      {32, 32, true},  {48, 1, true},                  // deny read lets writers in
      {48, 0, false},  {0, 0, true},                   // compat behaves as deny none
      {2, 2, true},
  };
  for (const Case& c : cases) {
    auto a = File::open(p, open_mode_from_number(c.first));
    ASSERT_TRUE(a.ok()) << a.status().message();
    auto b = File::open(p, open_mode_from_number(c.second));
    EXPECT_EQ(b.ok(), c.granted) << c.first << " then " << c.second;
    if (!c.granted) {
      EXPECT_EQ(b.status().dos(), kDosSharingViolation) << c.first << " then " << c.second;
    }
  }
  // Closing the exclusive handle lets the next one in.
  auto a = File::open(p, open_mode_from_number(18));
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE(a->close().ok());
  EXPECT_TRUE(File::open(p, open_mode_from_number(18)).ok());
}

// The store opens its files itself and claims the same sharing on them.
TEST(File, ClaimedSharingMeetsFileOpens) {
  TempDir dir;
  std::string p = dir / "T.DBF";
  test::write_file(p, "data");
  int fd = ::open(p.c_str(), O_RDWR);
  ASSERT_TRUE(claim_sharing(fd, {Access::ReadWrite, Share::Exclusive}, p).ok());
  EXPECT_EQ(File::open(p, {}).status().dos(), kDosSharingViolation);
  ::close(fd);
  auto f = File::open(p, open_mode_from_number(66));
  ASSERT_TRUE(f.ok());
  int fd2 = ::open(p.c_str(), O_RDONLY);
  EXPECT_TRUE(claim_sharing(fd2, {Access::Read, Share::DenyNone}, p).ok());
  ::close(fd2);
  int fd3 = ::open(p.c_str(), O_RDONLY);
  EXPECT_EQ(claim_sharing(fd3, {Access::Read, Share::DenyWrite}, p).dos(), kDosSharingViolation);
  ::close(fd3);
}

TEST(File, SharingAcrossProcesses) {
  TempDir dir;
  std::string p = dir / "T.DBF";
  test::write_file(p, "data");
  auto a = File::open(p, open_mode_from_number(18));
  ASSERT_TRUE(a.ok());
  pid_t pid = ::fork();
  if (pid == 0) {
    auto b = File::open(p, open_mode_from_number(66));
    ::_exit(b.ok() ? 0 : b.status().dos());
  }
  int st = 0;
  ::waitpid(pid, &st, 0);
  EXPECT_EQ(WEXITSTATUS(st), kDosSharingViolation);
}

TEST(File, CreateRefusedLeavesDataAlone) {
  TempDir dir;
  std::string p = dir / "T.DBF";
  test::write_file(p, "precious");
  auto a = File::open(p, open_mode_from_number(16));
  ASSERT_TRUE(a.ok());
  auto c = File::create(p);
  ASSERT_FALSE(c.ok());
  EXPECT_EQ(c.status().dos(), kDosSharingViolation);
  EXPECT_EQ(test::read_file(p), "precious");
}

TEST(File, ReadWriteSeek) {
  TempDir dir;
  std::string p = dir / "x.txt";
  auto f = File::create(p);
  ASSERT_TRUE(f.ok());
  ASSERT_EQ(*f->write("hello world", 11), 11u);
  EXPECT_EQ(*f->seek(0, 0), 0u);
  char buf[16] = {};
  EXPECT_EQ(*f->read(buf, 5), 5u);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(*f->seek(-5, 2), 6u);
  EXPECT_EQ(*f->seek(1, 1), 7u);
  EXPECT_EQ(*f->read(buf, 16), 4u);
  EXPECT_EQ(*f->read(buf, 16), 0u);  // end of file
  EXPECT_EQ(*f->write_at(0, "J", 1), 1u);
  EXPECT_EQ(*f->read_at(0, buf, 3), 3u);
  EXPECT_EQ(std::string(buf, 3), "Jel");
  EXPECT_EQ(*f->size(), 11u);
  EXPECT_FALSE(f->seek(-1, 0).ok());
  ASSERT_TRUE(f->truncate(4).ok());
  EXPECT_EQ(*f->size(), 4u);
  ASSERT_TRUE(f->close().ok());
  EXPECT_EQ(f->close().dos(), kDosBadHandle);
  EXPECT_EQ(f->read(buf, 1).status().dos(), kDosBadHandle);

  auto r = File::open(p, {Access::Read, Share::Compat});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->write("x", 1).status().dos(), kDosAccessDenied);
  auto w = File::open(p, {Access::Write, Share::Compat});
  ASSERT_TRUE(w.ok());
  EXPECT_EQ(w->read(buf, 1).status().dos(), kDosAccessDenied);
}

TEST(File, NameFailures) {
  TempDir dir;
  std::string root = dir.path().string();
  fs::create_directories(dir / "SUB");
  test::write_file(dir / "RO.TXT", "x");
  fs::permissions(dir / "RO.TXT", fs::perms::owner_read);
  struct Case {
    const char* what;
    Status s;
    int dos;
  };
  const Case cases[] = {
      {"open missing", File::open(root + "/NONE.DBF", {}).status(), 2},
      {"open in missing dir", File::open(root + "/NODIR/X.DBF", {}).status(), 3},
      {"create in missing dir", File::create(root + "/NODIR/X.DBF").status(), 3},
      {"open a directory", File::open(root + "/SUB", {}).status(), 5},
      {"erase missing", remove_file(root + "/NONE.DBF"), 2},
      {"erase a directory", remove_file(root + "/SUB"), 5},
      {"rename missing", rename_file(root + "/NONE", root + "/B"), 2},
      {"rename onto existing", rename_file(root + "/RO.TXT", root + "/SUB"), 5},
      {"mkdir existing", make_dir(root + "/SUB"), 5},
      {"mkdir in missing dir", make_dir(root + "/NODIR/X"), 3},
      {"rmdir missing", remove_dir(root + "/NONE"), 2},
      {"chdir missing", change_dir(root + "/NONE"), 2},
      {"chdir to a file", change_dir(root + "/RO.TXT"), 3},
      // The read-only attribute holds for root too.
      {"write read-only", File::open(root + "/RO.TXT", {Access::Write}).status(), 5},
      {"read-write read-only", File::open(root + "/RO.TXT", {Access::ReadWrite}).status(), 5},
      {"create over read-only", File::create(root + "/RO.TXT").status(), 5},
      {"read read-only", File::open(root + "/RO.TXT", {}).status(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.s.dos(), c.dos) << c.what << ": " << c.s.message();
}

// A name that turns out to be a FIFO must not hang the open waiting for a writer.
TEST(File, OpeningAFifoDoesNotWait) {
  TempDir dir;
  std::string p = dir / "PIPE";
  ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
  auto f = File::open(p, {Access::Read, Share::DenyNone});
  ASSERT_TRUE(f.ok()) << f.status().message();
  char c;
  EXPECT_EQ(*f->read(&c, 1), 0u);  // no writer: the end at once
}

TEST(File, WildcardMatch) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  static const Case cases[] = {
      {"*.*", "ANY", true},
      {"*.*", "a.b", true},
      {"*", "x.dbf", true},
      {"*.DBF", "setup.dbf", true},
      {"*.DBF", "setup.ntx", false},
      {"S*.DBF", "SLY.DBF", true},
      {"?LY.*", "sly.dbf", true},
      {"?LY.*", "SLY", true},
      {"??.*", "SLY.DBF", false},
      {"A*B*C", "AxxBxxC", true},
      {"A*B*C", "AxxCxxB", false},
      {"", "x", false},
      {"FORMA.OUT", "Forma.out", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(File, ListDirAndAttributes) {
  TempDir dir;
  std::string root = dir.path().string();
  fs::create_directories(dir / "SUB");
  test::write_file(dir / "B.DBF", "12345");
  test::write_file(dir / "a.dbf", "1");
  test::write_file(dir / "C.NTX", "1");
  test::write_file(dir / ".hidden.dbf", "1");
  ASSERT_TRUE(set_file_attributes(root + "/a.dbf", 1).ok());
  struct Case {
    const char* pattern;
    const char* attrs;
    std::string names;
  };
  const Case cases[] = {
      {"*.DBF", "", "B.DBF a.dbf"},
      {"*.*", "", "B.DBF C.NTX a.dbf"},
      {"*.*", "D", "B.DBF C.NTX SUB a.dbf"},
      {"*.dbf", "H", ".hidden.dbf B.DBF a.dbf"},
  };
  for (const Case& c : cases) {
    auto l = list_dir(root, c.pattern, c.attrs);
    ASSERT_TRUE(l.ok());
    std::string names;
    for (const DirEntry& e : *l) names += (names.empty() ? "" : " ") + e.name;
    EXPECT_EQ(names, c.names) << c.pattern << " " << c.attrs;
  }
  auto l = list_dir(root, "*.*", "D");
  ASSERT_TRUE(l.ok());
  EXPECT_EQ((*l)[0].size, 5u);
  EXPECT_EQ((*l)[0].attributes, "A");
  EXPECT_EQ((*l)[2].attributes, "D");
  EXPECT_EQ((*l)[3].attributes, "RA");
  EXPECT_EQ(*file_attributes(root + "/a.dbf"), 33);
  ASSERT_TRUE(set_file_attributes(root + "/a.dbf", 32).ok());
  EXPECT_EQ(*file_attributes(root + "/a.dbf"), 32);
  EXPECT_EQ(file_attributes(root + "/none").status().dos(), 2);
  EXPECT_EQ(list_dir(root + "/none", "*.*").status().dos(), 2);
}

TEST(File, WholeFiles) {
  TempDir dir;
  std::string p = dir / "MEMO.TXT";
  ASSERT_TRUE(write_whole(p, "first").ok());
  EXPECT_EQ(*read_whole(p), "first");
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(write_whole(p, std::string("a\0b", 3)).ok());
  EXPECT_EQ(*read_whole(p), std::string("a\0b", 3));
  EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(read_whole(dir / "NONE").status().dos(), 2);
  // A device or a pipe is refused rather than read without end.
  EXPECT_EQ(read_whole("/dev/zero").status().dos(), 5);
  std::string fifo = dir / "PIPE";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(read_whole(fifo).status().dos(), 5);
  ::unlink(fifo.c_str());
  EXPECT_FALSE(write_whole(dir.path().string(), "x").ok());  // a directory
  // Nothing is left beside the file.
  int n = 0;
  for (auto& e : fs::directory_iterator(dir.path())) n += e.is_regular_file();
  EXPECT_EQ(n, 1);
}

TEST(File, DiskFree) {
  TempDir dir;
  auto f = disk_free(dir.path().string());
  ASSERT_TRUE(f.ok());
  EXPECT_GT(*f, 0u);
  EXPECT_EQ(disk_free(dir.path().string() + "/none/x").status().dos(), 2);
}

}  // namespace
}  // namespace kvel::os
