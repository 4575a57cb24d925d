// The language's low-level file functions, called as the evaluator calls
// them: by name from the registry with an argument list.
#include "platform/rtl/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/eval/eval.h"
#include "platform/rtl/rtl.h"
#include "support/test_support.h"

namespace kvel::rtl {
namespace {

namespace fs = std::filesystem;
using eval::Value;
using test::TempDir;

// A runtime with the file functions whose drive D: is a temporary directory.
struct FileWorld {
  TempDir dir;
  os::PathLayer layer{"/nonexistent-drives"};
  eval::Runtime rt;
  FileWorld() {
    layer.map_drive('D', dir.path().string());
    rt.install(FilesService::kSlot, std::make_unique<FilesService>(&layer));
    register_files(rt.registry());
  }
  Value call(std::string_view fn, std::vector<Value> args) {
    const eval::Function* f = rt.registry().find(fn);
    EXPECT_NE(f, nullptr) << fn;
    return f->fn(rt, eval::Args(args.data(), args.size()));
  }
  int64_t ferror() { return call("FERROR", {}).as_int(); }
  std::string path(const std::string& name) { return (dir / name).string(); }
};

Value S(std::string s) { return Value::string(std::move(s)); }
Value N(int64_t n) { return Value::integer(n); }

// A short form of a result for failure messages and expectations.
std::string shown(const Value& v) {
  switch (v.type()) {
    case eval::Type::Nil:
      return "NIL";
    case eval::Type::Logical:
      return v.as_logical() ? ".T." : ".F.";
    case eval::Type::Number:
      return std::to_string(v.as_int());
    case eval::Type::String:
      return "\"" + test::escaped(v.as_string()) + "\"";
    default:
      return "?";
  }
}

TEST(Files, HandleFunctionsInSequence) {
  FileWorld w;
  Value h = w.call("FCREATE", {S("D:\\Out.txt")});
  ASSERT_GE(h.as_int(), 0);
  struct Step {
    const char* fn;
    std::vector<Value> args;
    std::string result;
    int ferror;
  };
  const Step steps[] = {
      {"FWRITE", {h, S("hello world")}, "11", 0},
      {"FWRITE", {h, S("!!!"), N(1)}, "1", 0},
      {"FSEEK", {h, N(0)}, "0", 0},
      {"FREADSTR", {h, N(5)}, "\"hello\"", 0},
      {"FSEEK", {h, N(-6), N(2)}, "6", 0},
      {"FSEEK", {h, N(2), N(1)}, "8", 0},
      {"FREADSTR", {h, N(100)}, "\"rld!\"", 0},
      {"FREADSTR", {h, N(10)}, "\"\"", 0},     // at the end
      {"FSEEK", {h, N(-1), N(0)}, "12", 25},   // before the start: stays
      {"FSEEK", {h, N(100), N(0)}, "100", 0},  // past the end is allowed
      {"FWRITE", {h, S(std::string("a\0b", 3))}, "3", 0},
      {"FSEEK", {h, N(100)}, "100", 0},
      {"FREADSTR", {h, N(3)}, "\"a\"", 0},  // stops at chr(0)
      {"FCLOSE", {h}, ".T.", 0},
      {"FCLOSE", {h}, ".F.", 6},
      {"FWRITE", {h, S("x")}, "0", 6},
      {"FREADSTR", {N(12345), N(1)}, "\"\"", 6},
  };
  for (const Step& s : steps) {
    std::vector<Value> args = s.args;
    Value r = w.call(s.fn, args);
    EXPECT_EQ(shown(r), s.result) << s.fn << " step";
    EXPECT_EQ(w.ferror(), s.ferror) << s.fn << " -> " << shown(r);
  }
  EXPECT_EQ(fs::file_size(w.path("Out.txt")), 103u);
}

TEST(Files, FreadFillsTheBufferByReference) {
  FileWorld w;
  test::write_file(w.path("IN.TXT"), "abcdefgh");
  Value h = w.call("FOPEN", {S("d:\\in.txt")});
  ASSERT_GE(h.as_int(), 0);
  Value buf = S("..........");
  std::vector<Value> args = {h, buf, N(4)};
  Value* refs[3] = {nullptr, &buf, nullptr};
  auto* fread = w.rt.registry().find("FREAD")->fn;
  EXPECT_EQ(fread(w.rt, eval::Args(args.data(), 3, refs)).as_int(), 4);
  EXPECT_EQ(buf.as_string(), "abcd......");
  // Never more than the buffer holds.
  Value small = S("xy");
  args = {h, small, N(100)};
  refs[1] = &small;
  EXPECT_EQ(fread(w.rt, eval::Args(args.data(), 3, refs)).as_int(), 2);
  EXPECT_EQ(small.as_string(), "ef");
  // Short at the end of the file.
  args = {h, buf, N(10)};
  refs[1] = &buf;
  EXPECT_EQ(fread(w.rt, eval::Args(args.data(), 3, refs)).as_int(), 2);
  EXPECT_EQ(buf.as_string(), "ghcd......");
  // A write-only handle cannot be read.
  Value wh = w.call("FOPEN", {S("D:\\IN.TXT"), N(1)});
  args = {wh, buf, N(1)};
  EXPECT_EQ(fread(w.rt, eval::Args(args.data(), 3, refs)).as_int(), 0);
  EXPECT_EQ(w.ferror(), 5);
}

TEST(Files, OpenModesShareLikeTheFamily) {
  struct Case {
    int first, second;
    int ferror;  // of the second open; 0: granted
  };
  static const Case cases[] = {
      {16, 16, 32}, {18, 2, 32}, {0, 16, 32}, {66, 66, 0},
      {64, 18, 32}, {32, 0, 0},  {32, 2, 32}, {0, 0, 0},
  };
  for (const Case& c : cases) {
    FileWorld w;
    test::write_file(w.path("T.DBF"), "x");
    Value a = w.call("FOPEN", {S("D:\\T.DBF"), N(c.first)});
    ASSERT_GE(a.as_int(), 0);
    Value b = w.call("FOPEN", {S("D:\\t.dbf"), N(c.second)});
    EXPECT_EQ(w.ferror(), c.ferror) << c.first << " then " << c.second;
    EXPECT_EQ(b.as_int() >= 0, c.ferror == 0) << c.first << " then " << c.second;
    // Once the first handle is closed the second mode is granted.
    w.call("FCLOSE", {a});
    if (c.ferror) {
      EXPECT_GE(w.call("FOPEN", {S("D:\\T.DBF"), N(c.second)}).as_int(), 0);
    }
  }
}

TEST(Files, NameFunctionsAndErrorNumbers) {
  FileWorld w;
  fs::create_directories(w.dir / "DATA");
  w.dir.copy_fixture("fix1.dbf");
  fs::rename(w.dir / "fix1.dbf", w.dir / "DATA/FIX1.DBF");
  test::write_file(w.path("OTHER.TXT"), "x");
  struct Case {
    const char* fn;
    std::vector<Value> args;
    std::string result;
    int ferror;
  };
  const Case cases[] = {
      {"FILE", {S("D:\\data\\fix1.dbf")}, ".T.", -1},
      {"FILE", {S("D:\\Data\\Fix1.Dbf   ")}, ".T.", -1},  // trailing blanks are no part of names
      {"FILE", {S("D:\\DATA\\*.DBF")}, ".T.", -1},
      {"FILE", {S("D:\\DATA\\*.NTX")}, ".F.", -1},
      {"FILE", {S("D:\\DATA")}, ".F.", -1},  // a directory is no file
      {"FILE", {S("D:\\NONE\\X.DBF")}, ".F.", -1},
      {"FILE", {N(1)}, ".F.", -1},
      {"FOPEN", {S("D:\\none.dbf")}, "-1", 2},
      {"FOPEN", {S("D:\\nodir\\x.dbf")}, "-1", 3},
      {"FOPEN", {S("D:\\DATA")}, "-1", 5},
      {"FCREATE", {S("D:\\nodir\\x.dbf")}, "-1", 3},
      {"FERASE", {S("D:\\none.dbf")}, "-1", 2},
      {"FRENAME", {S("D:\\none.txt"), S("D:\\new.txt")}, "-1", 2},
      {"FRENAME", {S("D:\\other.txt"), S("D:\\DATA\\fix1.dbf")}, "-1", 5},  // never replaces
      {"FRENAME", {S("D:\\other.txt"), S("D:\\Renamed.txt")}, "0", 0},
      {"FILE", {S("D:\\OTHER.TXT")}, ".F.", -1},
      {"FILE", {S("D:\\RENAMED.TXT")}, ".T.", -1},
      {"FERASE", {S("d:\\renamed.TXT")}, "0", 0},
      {"FILE", {S("D:\\Renamed.txt")}, ".F.", -1},
  };
  for (const Case& c : cases) {
    std::vector<Value> args = c.args;
    Value r = w.call(c.fn, args);
    EXPECT_EQ(shown(r), c.result) << c.fn << "(" << shown(c.args[0]) << ")";
    if (c.ferror >= 0) {
      EXPECT_EQ(w.ferror(), c.ferror) << c.fn << "(" << shown(c.args[0]) << ")";
    }
  }
  // The store's own file is found through the same names.
  Value h = w.call("FOPEN", {S("D:\\data\\FIX1.dbf")});
  ASSERT_GE(h.as_int(), 0);
  Value head = w.call("FREADSTR", {h, N(1)});
  EXPECT_EQ(head.as_string().size(), 1u);
}

TEST(Files, DefaultDirectoryAndSearchPath) {
  FileWorld w;
  fs::create_directories(w.dir / "WORK");
  fs::create_directories(w.dir / "LIB");
  test::write_file(w.path("WORK/A.DBF"), "x");
  test::write_file(w.path("LIB/B.DBF"), "x");
  w.rt.settings().default_dir = "D:\\work";
  w.rt.settings().path = "D:\\NONE;D:\\lib";
  struct Case {
    const char* name;
    bool found;
  };
  static const Case cases[] = {
      {"a.dbf", true}, {"b.dbf", true}, {"*.DBF", true}, {"c.dbf", false}, {"D:\\b.dbf", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(w.call("FILE", {S(c.name)}).as_logical(), c.found) << c.name;
  // FOPEN and FCREATE take relative names from the default directory only.
  EXPECT_GE(w.call("FOPEN", {S("A.DBF")}).as_int(), 0);
  EXPECT_EQ(w.call("FOPEN", {S("B.DBF")}).as_int(), -1);
  EXPECT_GE(w.call("FCREATE", {S("New.txt")}).as_int(), 0);
  EXPECT_TRUE(fs::exists(w.dir / "WORK/New.txt"));
}

TEST(Files, DirectoryRows) {
  FileWorld w;
  fs::create_directories(w.dir / "SUB");
  test::write_file(w.path("B.DBF"), "12345");
  test::write_file(w.path("a.dbf"), "1");
  test::write_file(w.path("C.NTX"), "");
  struct Case {
    std::vector<Value> args;
    std::string names;
  };
  const Case cases[] = {
      {{S("D:\\*.DBF")}, "B.DBF a.dbf"},  {{S("D:\\*.*"), S("D")}, "B.DBF C.NTX SUB a.dbf"},
      {{S("D:\\")}, "B.DBF C.NTX a.dbf"}, {{S("d:\\b.dbf")}, "B.DBF"},
      {{S("D:\\NONE\\*.*")}, ""},
  };
  for (const Case& c : cases) {
    std::vector<Value> args = c.args;
    Value r = w.call("DIRECTORY", args);
    ASSERT_TRUE(r.is_array());
    std::string names;
    for (const Value& row : r.as_array()->items)
      names += (names.empty() ? "" : " ") + row.as_array()->items[0].as_string();
    EXPECT_EQ(names, c.names) << shown(c.args[0]);
  }
  Value r = w.call("DIRECTORY", {S("D:\\B.DBF")});
  const auto& row = r.as_array()->items.at(0).as_array()->items;
  ASSERT_EQ(row.size(), 5u);
  EXPECT_EQ(row[1].as_int(), 5);
  EXPECT_TRUE(row[2].is_date());
  EXPECT_GT(row[2].as_date(), 2451545);  // after 2000-01-01
  EXPECT_EQ(row[3].as_string().size(), 8u);
  EXPECT_EQ(row[3].as_string()[2], ':');
  EXPECT_EQ(row[4].as_string(), "A");
}

TEST(Files, MemoReadAndWrite) {
  FileWorld w;
  struct Case {
    std::vector<Value> args;
    std::string on_disk;
  };
  const Case cases[] = {
      {{S("D:\\M.TXT"), S("line 1\r\nline 2")}, "line 1\r\nline 2\x1A"},
      {{S("D:\\M.TXT"), S("no mark"), Value::logical(false)}, "no mark"},
      {{S("D:\\m.txt"), S("")}, "\x1A"},
  };
  for (const Case& c : cases) {
    std::vector<Value> args = c.args;
    EXPECT_TRUE(w.call("MEMOWRIT", args).as_logical());
    EXPECT_EQ(test::read_file(w.path("M.TXT")), c.on_disk);
    // The mark is taken off again when reading.
    EXPECT_EQ(w.call("MEMOREAD", {S("d:\\M.txt")}).as_string(), c.args[1].as_string());
  }
  EXPECT_EQ(w.call("MEMOREAD", {S("D:\\NONE.TXT")}).as_string(), "");
  EXPECT_EQ(w.ferror(), 2);
  EXPECT_FALSE(w.call("MEMOWRIT", {S("D:\\NODIR\\M.TXT"), S("x")}).as_logical());
  EXPECT_EQ(w.ferror(), 3);
}

TEST(Files, WrongArgumentsGoToTheHandler) {
  FileWorld w;
  int raised = 0;
  eval::ScopedErrorHandler h(w.rt, [&](eval::Runtime&, eval::ErrorObject& e) {
    ++raised;
    EXPECT_EQ(e.gen_code, eval::kErrArg);
    return e.operation == "FCREATE" ? eval::Answer::substitute(N(77)) : eval::Answer::fallback();
  });
  EXPECT_EQ(w.call("FOPEN", {N(5)}).as_int(), -1);
  EXPECT_EQ(w.call("FCREATE", {Value()}).as_int(), 77);
  EXPECT_EQ(w.call("FWRITE", {N(5), N(5)}).as_int(), 0);
  EXPECT_EQ(raised, 3);
}

TEST(Files, ErrorObjectFromStatus) {
  os::Status s = os::Status::failure(os::kDosSharingViolation, "open t.dbf: in use");
  eval::ErrorObject e = file_error(s, eval::kErrOpen, "USE", "t.dbf", "DBFNTX");
  EXPECT_EQ(e.gen_code, eval::kErrOpen);
  EXPECT_EQ(e.os_code, 32);
  EXPECT_EQ(e.subsystem, "DBFNTX");
  EXPECT_EQ(e.filename, "t.dbf");
  EXPECT_EQ(e.operation, "USE");
}

}  // namespace
}  // namespace kvel::rtl

namespace kvel::rtl {
namespace {

// The functions as expressions of an application description call them,
// buffers passed by reference included.
TEST(Files, ThroughTheEvaluator) {
  FileWorld w;
  eval::register_eval(w.rt.registry());
  register_environment(w.rt.registry());
  test::write_file(w.path("IN.TXT"), "abcdef");
  struct Case {
    const char* expr;
    std::string result;
  };
  static const Case cases[] = {
      {"(h := FOPEN('d:\\in.txt'), b := '....', n := FREAD(h, @b, 3), FCLOSE(h), b)", "\"abc.\""},
      {"(h := FOPEN('D:\\IN.TXT', 2), FSEEK(h, 0, 2), FWRITE(h, 'gh'), FCLOSE(h), "
       "MEMOREAD('d:\\In.Txt'))",
       "\"abcdefgh\""},
      {"(h := FOPEN('D:\\NONE.TXT'), FERROR())", "2"},
      {"(a := FOPEN('D:\\IN.TXT', 16), b := FOPEN('D:\\IN.TXT', 16), FERROR())", "32"},
      {"MEMOWRIT('D:\\NEW.TXT', 'xyz') .AND. FILE('d:\\new.txt')", ".T."},
      {"DIRECTORY('D:\\*.TXT')[2][1]", "\"NEW.TXT\""},
      {"DIRECTORY('D:\\NEW.TXT')[1][2]", "4"},
      {"DIRMAKE('D:\\SUB')", "0"},
      {"FRENAME('D:\\new.txt', 'D:\\sub\\moved.txt')", "0"},
      {"FILE('D:\\SUB\\MOVED.TXT')", ".T."},
  };
  for (const Case& c : cases) {
    Value r;
    try {
      r = eval::evaluate(w.rt, c.expr);
    } catch (const eval::Break&) {
      ADD_FAILURE() << "error in " << c.expr;
      continue;
    }
    EXPECT_EQ(shown(r), c.result) << c.expr;
  }
}

}  // namespace
}  // namespace kvel::rtl
