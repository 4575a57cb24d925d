#include "platform/os/path.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/os/file.h"
#include "support/test_support.h"

namespace kvel::os {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Puts the current directory back when the test ends.
struct KeepCwd {
  fs::path old = fs::current_path();
  ~KeepCwd() { fs::current_path(old); }
};

// Sets a directory's modification time far in the past, so that its listing
// counts as settled and only a newer time (or our own notice) refreshes it.
void age(const fs::path& dir) {
  struct timespec t[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), t, 0), 0);
}

TEST(PathLayer, Translate) {
  PathLayer layer("/drives");
  layer.map_drive('d', "/srv/d/");
  struct Case {
    std::string_view name, path;
  };
  static const Case cases[] = {
      {"D:\\WORK\\X.DBF", "/srv/d/WORK/X.DBF"},
      {"d:\\work", "/srv/d/work"},
      {"D:", "/srv/d"},
      {"D:\\", "/srv/d"},
      {"D:X.DBF", "/srv/d/X.DBF"},  // drive-relative: from the drive's root
      {"C:\\TMP\\A", "/TMP/A"},
      {"c:/tmp/a", "/tmp/a"},
      {"E:\\X", "/drives/e/X"},
      {"DATA\\FIX1.DBF", "DATA/FIX1.DBF"},
      {"..\\UP", "../UP"},
      {"FForma.out", "FForma.out"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(layer.translate(c.name), c.path) << c.name;
  EXPECT_EQ(layer.drive_root('D'), "/srv/d");
  EXPECT_EQ(layer.drive_root('c'), "/");
}

TEST(PathLayer, ToDos) {
  PathLayer layer("/drives");
  layer.map_drive('D', "/srv/d");
  layer.map_drive('E', "/srv/d/e");
  struct Case {
    std::string_view path, dos;
  };
  static const Case cases[] = {
      {"/srv/d/WORK/APP", "D:\\WORK\\APP"}, {"/srv/d", "D:\\"},           {"/srv/d/e/x", "E:\\x"},
      {"/srv/dd/x", "C:\\srv\\dd\\x"},      {"/usr/lib", "C:\\usr\\lib"}, {"/", "C:\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(layer.to_dos(c.path), c.dos) << c.path;
}

TEST(PathLayer, CurrentDriveAndDirectory) {
  TempDir dir;
  fs::create_directories(dir / "WORK/APP");
  KeepCwd keep;
  PathLayer layer("/drives");
  layer.map_drive('F', dir.path().string());
  fs::current_path(dir / "WORK/APP");
  EXPECT_EQ(layer.current_drive(), 'F');
  EXPECT_EQ(layer.current_dir(), "WORK\\APP");
  fs::current_path(dir.path());
  EXPECT_EQ(layer.current_dir(), "");
  // Rooted names without a drive start at the current drive's root.
  EXPECT_EQ(layer.translate("\\WORK"), dir.path().string() + "/WORK");
}

TEST(PathLayer, FindsNamesWhateverTheCase) {
  TempDir dir;
  fs::create_directories(dir / "DATA/Sub");
  for (const char* f : {"SETUP.DBF", "SETUP.NTX", "sly.dbf", "HELPS.DBF", "DATA/FIX1.DBF",
                        "DATA/Sub/Report.TXT", "Both.dbf", "BOTH.DBF", "\x8F\xE0\xAE\xA1\xA0.TXT"})
    test::write_file(dir / f, "x");
  PathLayer layer("/drives");
  layer.map_drive('D', dir.path().string());
  std::string root = dir.path().string();
  struct Case {
    std::string_view name;
    std::string path;  // under the drive's root
    bool exists;
  };
  const Case cases[] = {
      {"D:\\Setup.dbf", "/SETUP.DBF", true},
      {"D:\\setup.ntx", "/SETUP.NTX", true},
      {"D:\\SLY.DBF", "/sly.dbf", true},
      {"d:\\helps.dbf", "/HELPS.DBF", true},
      {"D:\\data\\fix1.dbf", "/DATA/FIX1.DBF", true},
      {"D:\\Data\\SUB\\report.txt", "/DATA/Sub/Report.TXT", true},
      {"D:\\data", "/DATA", true},
      {"D:\\Both.dbf", "/Both.dbf", true},  // an exact match wins
      {"D:\\BOTH.DBF", "/BOTH.DBF", true},
      {"D:\\both.dbf", "/BOTH.DBF", true},  // otherwise the first by bytes
      {"D:\\\xAF\xE0\xAE\xA1\xA0.txt", "/\x8F\xE0\xAE\xA1\xA0.TXT", true},  // Cyrillic letters fold
      {"D:\\data\\New.dbf", "/DATA/New.dbf", false},                        // the new name as given
      {"D:\\nodir\\x.dbf", "/nodir/x.dbf", false},
      {"D:\\setup.dbf\\x", "/SETUP.DBF/x", false},  // a file is no directory
      {"D:\\Setup", "/Setup", false},               // no extension is added
  };
  for (const Case& c : cases) {
    Resolved r = layer.lookup(c.name);
    EXPECT_EQ(r.path, root + c.path) << c.name;
    EXPECT_EQ(r.exists, c.exists) << c.name;
  }
}

TEST(PathLayer, RelativeNamesStayRelative) {
  TempDir dir;
  fs::create_directories(dir / "DATA");
  test::write_file(dir / "DATA/FIX1.DBF", "x");
  KeepCwd keep;
  PathLayer layer("/drives");
  fs::current_path(dir.path());
  EXPECT_EQ(layer.resolve("data\\fix1.dbf"), "DATA/FIX1.DBF");
  // The cache is keyed by absolute directories: another current directory
  // with the same relative names gives its own files.
  TempDir other;
  fs::create_directories(other / "Data");
  test::write_file(other / "Data/Fix1.dbf", "x");
  fs::current_path(other.path());
  EXPECT_EQ(layer.resolve("DATA\\FIX1.DBF"), "Data/Fix1.dbf");
}

// The cache must follow every change, whoever makes it: our own calls tell
// it, changes of other processes move the directory's modification time.
TEST(PathLayer, CacheFollowsCreateRemoveRename) {
  TempDir dir;
  PathLayer layer("/drives");
  layer.map_drive('D', dir.path().string());
  std::string root = dir.path().string();
  auto found = [&](std::string_view name) {
    Resolved r = layer.lookup(name);
    return r.exists ? r.path.substr(root.size()) : std::string("-");
  };

  // Changes by our own calls, in a directory whose time does not move.
  age(dir.path());
  EXPECT_EQ(found("D:\\a.dbf"), "-");
  {
    auto f = File::create(root + "/A.DBF");
    ASSERT_TRUE(f.ok());
  }
  age(dir.path());
  EXPECT_EQ(found("D:\\a.dbf"), "/A.DBF");
  ASSERT_TRUE(rename_file(root + "/A.DBF", root + "/B.DBF").ok());
  age(dir.path());
  EXPECT_EQ(found("D:\\a.dbf"), "-");
  EXPECT_EQ(found("D:\\b.dbf"), "/B.DBF");
  ASSERT_TRUE(remove_file(root + "/B.DBF").ok());
  age(dir.path());
  EXPECT_EQ(found("D:\\b.dbf"), "-");
  ASSERT_TRUE(make_dir(root + "/SUB").ok());
  age(dir.path());
  EXPECT_EQ(found("D:\\sub"), "/SUB");
  ASSERT_TRUE(remove_dir(root + "/SUB").ok());
  age(dir.path());
  EXPECT_EQ(found("D:\\sub"), "-");

  // Changes behind our back (as another process makes them).
  age(dir.path());
  EXPECT_EQ(found("D:\\c.dbf"), "-");
  test::write_file(dir / "C.DBF", "x");
  EXPECT_EQ(found("D:\\c.dbf"), "/C.DBF");
  fs::rename(dir / "C.DBF", dir / "c2.DBF");
  EXPECT_EQ(found("D:\\c.dbf"), "-");
  EXPECT_EQ(found("D:\\C2.dbf"), "/c2.DBF");
  fs::remove(dir / "c2.DBF");
  EXPECT_EQ(found("D:\\C2.dbf"), "-");
  // A case twin created later by someone else: the exact name still wins.
  test::write_file(dir / "Twin.dbf", "x");
  EXPECT_EQ(found("D:\\TWIN.DBF"), "/Twin.dbf");
  test::write_file(dir / "TWIN.DBF", "x");
  EXPECT_EQ(found("D:\\TWIN.DBF"), "/TWIN.DBF");
}

TEST(PathLayer, FoldsCodePage866Letters) {
  struct Case {
    unsigned char in, out;
  };
  static const Case cases[] = {
      {'A', 'a'},   {'Z', 'z'},   {'a', 'a'},   {'1', '1'}, {'_', '_'}, {0x80, 0xA0},  // А
      {0x8F, 0xAF},                                                                    // П
      {0x90, 0xE0},                                                                    // Р
      {0x9F, 0xEF},                                                                    // Я
      {0xF0, 0xF1},                                                                    // Ё
      {0xA0, 0xA0}, {0xE0, 0xE0}, {0xB0, 0xB0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(static_cast<unsigned char>(fold_name_char(static_cast<char>(c.in))), c.out)
        << int(c.in);
}

}  // namespace
}  // namespace kvel::os
