// kvel-dbf as its users run it: on copies of tables and indexes written by
// another program, with the exit status and the text it prints.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace kvel {
namespace {

struct ToolRun {
  int status = -1;
  std::string out;  // standard output and error together
};

ToolRun run_dbf(const test::TempDir& dir, const std::string& args) {
  std::string cmd = "cd '" + dir.path().string() + "' && '" +
                    (test::binary_dir() / "tools" / "kvel-dbf").string() + "' " + args + " 2>&1";
  ToolRun r;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class DbfTool : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"fix1.dbf", "fix1.dbt", "fix1_nm.ntx", "big_cd.ntx"})
      dir_.copy_fixture(f);
    // A table cut inside its header.
    test::write_file(dir_ / "bad.dbf", test::read_file(dir_ / "fix1.dbf").substr(0, 20));
  }
  test::TempDir dir_;
};

TEST_F(DbfTool, ShowsChecksAndBuildsAsAsked) {
  struct Case {
    const char* args;
    int status;
    const char* shows;  // a piece of what it prints
  } cases[] = {
      {"struct fix1.dbf", 0, "records 30"},
      {"struct fix1.dbf", 0, "NAME       C    10   0"},
      // Code page 866 comes out as UTF-8; a deleted record is marked.
      {"list fix1.dbf 2 2", 0, "2\tПетров    \t-123.45\t-5\t20000229\tF\tкороткая"},
      {"list fix1.dbf 3 1", 0, "3*\tСидоров"},
      {"keys fix1_nm.ntx", 0, "key Upper( NAME )"},
      {"check fix1.dbf fix1_nm.ntx", 0, "index matches the table"},
      {"index fix1.dbf new.ntx \"UPPER(NAME)\"", 0, "30 records indexed"},
      {"check fix1.dbf new.ntx", 0, "index matches the table"},
      // Faults: a clear message and a failing status, never a crash.
      {"check fix1.dbf big_cd.ntx", 1, "big_cd.ntx"},
      {"list bad.dbf", 1, "bad.dbf: not a table"},
      {"struct none.dbf", 1, "none.dbf"},
      {"list fix1.dbf abc", 2, "usage:"},
      {"frobnicate fix1.dbf", 2, "usage:"},
  };
  for (const Case& c : cases) {
    ToolRun r = run_dbf(dir_, c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    EXPECT_NE(r.out.find(c.shows), std::string::npos) << c.args << "\n" << r.out;
  }
}

TEST_F(DbfTool, PackDropsDeletedRecordsAndRebuildsTheIndexesGiven) {
  // A read-only table is left as it is.
  std::filesystem::copy_file(dir_ / "fix1.dbf", dir_ / "ro.dbf");
  std::filesystem::permissions(dir_ / "ro.dbf", std::filesystem::perms::owner_read);
  const std::string before = test::read_file(dir_ / "ro.dbf");
  ToolRun ro = run_dbf(dir_, "pack ro.dbf");
  EXPECT_EQ(ro.status, 1) << ro.out;
  EXPECT_NE(ro.out.find("read-only"), std::string::npos) << ro.out;
  EXPECT_EQ(test::read_file(dir_ / "ro.dbf"), before);

  ToolRun r = run_dbf(dir_, "pack fix1.dbf fix1_nm.ntx");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("26 records kept of 30, 1 indexes rebuilt"), std::string::npos) << r.out;
  EXPECT_NE(run_dbf(dir_, "struct fix1.dbf").out.find("records 26"), std::string::npos);
  r = run_dbf(dir_, "check fix1.dbf fix1_nm.ntx");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("26 keys"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace kvel
