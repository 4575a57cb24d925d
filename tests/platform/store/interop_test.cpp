// Files we write, read by independent readers: python3-dbfread for the
// table and its memos, Perl XBase for the index order. A reader that is
// not installed skips its test.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "session.h"
#include "support/test_support.h"

namespace kvel::test {
namespace {

std::string run_command(const std::string& cmd, int* status) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) {
    *status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  *status = ::pclose(p);
  return out;
}

bool have(const std::string& probe) {
  int st = 0;
  run_command(probe + " >/dev/null 2>&1", &st);
  return st == 0;
}

// 300 records of every field type: enough for a three-level index.
void fill(Session& s, const std::string& dir) {
  s.run("DBCREATE(\"" + dir + "/inter\", {{\"NAME\", \"C\", 12, 0}, {\"AMOUNT\", \"N\", 10, 2}, " +
        "{\"QTY\", \"N\", 3, 0}, {\"DDATE\", \"D\", 8, 0}, {\"FLAG\", \"L\", 1, 0}, " +
        "{\"NOTE\", \"M\", 10, 0}})");
  s.run("DBUSEAREA(.T.,, \"" + dir + "/inter\", \"I\", .F.)");
  for (int i = 1; i <= 300; ++i) {
    std::string n = std::to_string(i);
    s.run("DBAPPEND(), NAME := \"" + cp(i % 3 ? "Имя" : "ёж") + std::to_string(i % 17) +
          "\", AMOUNT := " + std::to_string(i * 37 % 1000 - 500) +
          ".25, QTY := " + std::to_string(i % 9) + ", DDATE := STOD(\"20240101\") + " + n +
          ", FLAG := " + (i % 2 ? ".F." : ".T.") +
          (i % 5 == 0
               ? ", NOTE := REPLICATE(\"x\", " + std::to_string(i * 3) + ") + \"" + cp("я") + "\""
               : std::string()));
  }
  s.run("DBGOTO(7), DBDELETE(), DBCOMMIT()");
}

TEST(Interop, PythonDbfreadReadsOurTableAndMemos) {
  if (!have("/usr/bin/python3 -c 'import dbfread'")) GTEST_SKIP() << "python3-dbfread missing";
  TempDir tmp;
  Session s;
  fill(s, tmp.path().string());
  s.run("DBCLOSEAREA()");
  ASSERT_TRUE(s.errors.empty()) << s.errors.front();
  std::string script = (tmp / "read.py").string();
  write_file(script,
             "import dbfread, sys\n"
             "t = dbfread.DBF(sys.argv[1], encoding='cp866', load=True)\n"
             "print(len(t.records), len(t.deleted))\n"
             "for r in t.records:\n"
             "    n = r['NOTE'] or ''\n"
             "    print('%s|%.2f|%d|%s|%s|%d:%s' % (r['NAME'], r['AMOUNT'], r['QTY'],\n"
             "          r['DDATE'].isoformat(), r['FLAG'], len(n), n[-2:]))\n");
  int st = 0;
  std::string out =
      run_command("/usr/bin/python3 " + script + " " + (tmp / "inter.dbf").string(), &st);
  ASSERT_EQ(st, 0) << out;
  std::ostringstream want;
  want << "299 1\n";
  for (int i = 1; i <= 300; ++i) {
    if (i == 7) continue;
    char amount[32];
    int whole = i * 37 % 1000 - 500;  // written as whole + ".25"
    std::snprintf(amount, sizeof amount, "%.2f", whole < 0 ? whole - 0.25 : whole + 0.25);
    int y = 2024, m = 1, d = 1 + i;
    static const int mdays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    while (d > mdays[m - 1]) d -= mdays[m - 1], ++m;
    char date[48];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", y, m, d);
    want << (i % 3 ? "Имя" : "ёж") << i % 17 << "|" << amount << "|" << i % 9 << "|" << date << "|"
         << (i % 2 ? "False" : "True") << "|";
    if (i % 5 == 0) {
      want << i * 3 + 1 << ":xя\n";
    } else {
      want << "0:\n";
    }
  }
  size_t at = 0;
  std::string w = want.str();
  while (at < out.size() && at < w.size() && out[at] == w[at]) ++at;
  EXPECT_EQ(out, w) << "first difference at " << at << ": " << escaped(out.substr(at, 20)) << " / "
                    << escaped(w.substr(at, 20));
}

TEST(Interop, PerlXbaseWalksOurIndexesInOurOrder) {
  if (!have("perl -MXBase::Index -e 1")) GTEST_SKIP() << "libdbd-xbase-perl missing";
  TempDir tmp;
  Session s;
  fill(s, tmp.path().string());
  struct Case {
    const char* file;
    const char* key;
    const char* type;
  };
  const Case cases[] = {{"byname", "UPPER(NAME)+STR(QTY,3)", "C"},
                        {"bydate", "DTOS(DDATE)", "C"},
                        {"byqty", "QTY", "N"}};
  for (const Case& c : cases) {
    std::string ntx = (tmp / c.file).string() + ".ntx";
    s.run("ORDCREATE(\"" + ntx + "\",, \"" + c.key + "\")");
    // Updates after the build: moved keys, a new record, page splits.
    for (int r = 10; r <= 290; r += 20) {
      s.run("DBGOTO(" + std::to_string(r) + "), QTY := " + std::to_string(r % 7) + ", NAME := \"" +
            cp("Ъ") + std::to_string(r) + "\"");
    }
    s.run("DBAPPEND(), NAME := \"A\", QTY := 1, DDATE := STOD(\"19991231\"), DBCOMMIT()");
    std::ostringstream ours;
    s.run("DBGOTOP()");
    s.rt.settings().deleted = false;
    for (int guard = 0; guard < 1000 && !s.run("EOF()").as_logical(); ++guard) {
      ours << s.run("RECNO()").as_int() << "\n";
      s.run("DBSKIP()");
    }
    ASSERT_TRUE(s.errors.empty()) << s.errors.front();
    int st = 0;
    std::string out = run_command(
        std::string("perl -MXBase::Index -e 'my $i = XBase::Index->new($ARGV[0], type => \"") +
            c.type +
            "\") or die XBase::Index->errstr; $i->prepare_select; "
            "while (my ($k, $v) = $i->fetch) { print \"$v\\n\" }' " +
            ntx,
        &st);
    ASSERT_EQ(st, 0) << out;
    EXPECT_EQ(out, ours.str()) << c.file;
  }
}

}  // namespace
}  // namespace kvel::test
