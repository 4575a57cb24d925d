// The environment and time functions, called by name as the evaluator does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/rtl/files.h"
#include "platform/rtl/rtl.h"
#include "support/test_support.h"

namespace kvel::rtl {
namespace {

namespace fs = std::filesystem;
using eval::Value;
using test::TempDir;

struct EnvWorld {
  TempDir dir;
  os::PathLayer layer{"/nonexistent-drives"};
  eval::Runtime rt;
  EnvWorld() {
    layer.map_drive('D', dir.path().string());
    rt.install(FilesService::kSlot, std::make_unique<FilesService>(&layer));
    register_environment(rt.registry());
  }
  Value call(std::string_view fn, std::vector<Value> args = {}) {
    const eval::Function* f = rt.registry().find(fn);
    EXPECT_NE(f, nullptr) << fn;
    return f->fn(rt, eval::Args(args.data(), args.size()));
  }
};

Value S(std::string s) { return Value::string(std::move(s)); }

struct KeepCwd {
  fs::path old = fs::current_path();
  ~KeepCwd() { fs::current_path(old); }
};

TEST(Environment, TimeAndSeconds) {
  EnvWorld w;
  std::string t = w.call("TIME").as_string();
  ASSERT_EQ(t.size(), 8u);
  for (size_t i : {0u, 1u, 3u, 4u, 6u, 7u}) EXPECT_TRUE(std::isdigit(t[i])) << t;
  EXPECT_EQ(t[2], ':');
  EXPECT_EQ(t[5], ':');
  Value s = w.call("SECONDS");
  ASSERT_TRUE(s.is_number());
  EXPECT_EQ(s.decimals(), 2);
  EXPECT_GE(s.as_double(), 0.0);
  EXPECT_LT(s.as_double(), 86400.0);
}

TEST(Environment, Getenv) {
  EnvWorld w;
  ::setenv("KVEL_TEST_VAR", "abc", 1);
  ::unsetenv("KVEL_TEST_NONE");
  struct Case {
    std::vector<Value> args;
    std::string result;
  };
  const Case cases[] = {
      {{S("KVEL_TEST_VAR")}, "abc"},
      {{S("kvel_test_var")}, "abc"},  // names as DOS compares them
      {{S("KVEL_TEST_VAR  ")}, "abc"},
      {{S("KVEL_TEST_NONE")}, ""},
      {{S("KVEL_TEST_NONE"), S("dflt")}, "dflt"},
      {{S("")}, ""},
      {{S("A=B")}, ""},
      {{Value()}, ""},
  };
  for (const Case& c : cases) {
    std::vector<Value> args = c.args;
    EXPECT_EQ(w.call("GETENV", args).as_string(), c.result);
  }
}

TEST(Environment, CurdirAndDiskfree) {
  EnvWorld w;
  fs::create_directories(w.dir / "WORK/APP");
  KeepCwd keep;
  fs::current_path(w.dir / "WORK/APP");
  struct Case {
    Value drive;
    std::string dir;
  };
  const Case cases[] = {
      {Value(), "WORK\\APP"},           {S("D"), "WORK\\APP"}, {S("d:"), "WORK\\APP"},
      {Value::integer(4), "WORK\\APP"}, {S("E"), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(w.call("CURDIR", {c.drive}).as_string(), c.dir);
  EXPECT_GT(w.call("DISKFREE").as_int(), 0);
  EXPECT_GT(w.call("DISKFREE", {S("D")}).as_int(), 0);
  EXPECT_EQ(w.call("DISKFREE", {S("Q")}).as_int(), 0);  // a drive that leads nowhere
}

TEST(Environment, DirectoriesAndAttributes) {
  EnvWorld w;
  test::write_file(w.dir / "F.TXT", "x");
  struct Case {
    const char* fn;
    std::vector<Value> args;
    int64_t result;
  };
  const Case cases[] = {
      {"DIRMAKE", {S("D:\\NEW")}, 0},
      {"DIRMAKE", {S("d:\\new")}, 5},  // exists, whatever the case
      {"DIRMAKE", {S("D:\\NONE\\SUB")}, 3},
      {"DIRMAKE", {S("D:\\new\\Sub")}, 0},
      {"DIRREMOVE", {S("D:\\NEW")}, 5},  // not empty
      {"DIRREMOVE", {S("D:\\NEW\\SUB")}, 0},
      {"DIRREMOVE", {S("d:\\New")}, 0},
      {"DIRREMOVE", {S("D:\\NEW")}, 2},
      {"SETFATTR", {S("D:\\f.txt"), Value::integer(1)}, 0},
      {"SETFATTR", {S("D:\\none.txt"), Value::integer(0)}, 2},
  };
  for (const Case& c : cases) {
    std::vector<Value> args = c.args;
    EXPECT_EQ(w.call(c.fn, args).as_int(), c.result) << c.fn << " " << c.args[0].as_string();
  }
  struct stat st {};
  ASSERT_EQ(::stat((w.dir / "F.TXT").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(w.call("SETFATTR", {S("D:\\F.TXT"), Value::integer(32)}).as_int(), 0);
  ASSERT_EQ(::stat((w.dir / "F.TXT").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
}

TEST(Environment, RandomRanges) {
  EnvWorld w;
  struct Case {
    Value sign;
    int64_t lo, hi;
  };
  const Case cases[] = {
      {Value(), 0, 65535},
      {Value::logical(false), 0, 65535},
      {Value::logical(true), -32768, 32767},
  };
  for (const Case& c : cases) {
    int64_t mn = c.hi, mx = c.lo;
    for (int i = 0; i < 2000; ++i) {
      int64_t r = w.call("RANDOM", {c.sign}).as_int();
      ASSERT_GE(r, c.lo);
      ASSERT_LE(r, c.hi);
      mn = std::min(mn, r);
      mx = std::max(mx, r);
    }
    // 2000 draws cover most of the range.
    EXPECT_LT(mn, c.lo + (c.hi - c.lo) / 10);
    EXPECT_GT(mx, c.hi - (c.hi - c.lo) / 10);
  }
}

TEST(Environment, Version) {
  EnvWorld w;
  EXPECT_FALSE(w.call("VERSION").as_string().empty());
}

}  // namespace
}  // namespace kvel::rtl
