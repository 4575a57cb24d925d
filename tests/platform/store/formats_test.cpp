// The file formats against the fixtures written by another program: every
// record, memo and index entry reads as its manifest says, and an index we
// build from the same keys comes out byte for byte as theirs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "manifest.h"
#include "platform/store/codec.h"
#include "platform/store/dbf.h"
#include "platform/store/dbt.h"
#include "platform/store/ntx.h"
#include "platform/store/ntx_build.h"
#include "support/test_support.h"

namespace kvel::store {
namespace {

using test::manifest;
using test::ManifestTable;

std::string fixture(const std::string& name) {
  return (test::shared_dir() / "fixtures" / name).string();
}

std::string escape_text(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F || c == '\\') {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", c);
      out += b;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// The canonical form of a stored key as the manifest writes it.
std::string canonical_key(const std::string& key, const test::ManifestIndex& x) {
  const std::string& first = x.keys.front().second;
  if (first.rfind("N:", 0) == 0) {
    char buf[64];
    int len = static_cast<int>(key.size());
    format_number(numeric_key_value(key.data(), key.size()), len, std::stoi(x.hdr.at("keydec")),
                  buf);
    std::string s(buf, static_cast<size_t>(len));
    return "N:" + s + " " + s;
  }
  if (first.rfind("L:", 0) == 0) return "L:" + key;
  if (first.rfind("D:", 0) == 0) return "D:" + key;
  return "C:|" + escape_text(key) + "|";
}

// A page as (child, record, key) of each item in slot order, then the
// rightmost child.
std::vector<std::string> page_items(const std::string& file, size_t off, const NtxHeader& h) {
  auto u16 = [&](size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(file[at]) |
                                 static_cast<unsigned char>(file[at + 1]) << 8);
  };
  std::vector<std::string> items;
  unsigned n = u16(off);
  for (unsigned i = 0; i <= n; ++i) {
    size_t at = off + u16(off + 2 + 2 * i);
    items.push_back(file.substr(at, i < n ? h.item_size : 4));
  }
  return items;
}

TEST(DbfFormat, FixtureHeadersFieldsAndRecordsReadAsTheManifestSays) {
  for (const ManifestTable& t : manifest()) {
    auto dbf = Dbf::open(fixture(t.file), true, true);
    ASSERT_TRUE(dbf.ok()) << t.file << ": " << dbf.status().message();
    Dbf& d = **dbf;
    EXPECT_EQ(d.version(), static_cast<uint8_t>(t.dbf_header[0])) << t.file;
    EXPECT_EQ(d.count(), t.count) << t.file;
    ASSERT_EQ(d.fields().size(), t.fields.size()) << t.file;
    for (size_t i = 0; i < t.fields.size(); ++i) {
      EXPECT_EQ(d.fields()[i].name, t.fields[i].name) << t.file;
      EXPECT_EQ(d.fields()[i].type, t.fields[i].type) << t.file;
      EXPECT_EQ(d.fields()[i].len, t.fields[i].len) << t.file;
      EXPECT_EQ(d.fields()[i].dec, t.fields[i].dec) << t.file;
    }
    std::string buf(static_cast<size_t>(d.record_len()), '\0');
    for (const test::ManifestRecord& r : t.records) {
      ASSERT_TRUE(d.read(r.recno, buf.data()).ok()) << t.file << " record " << r.recno;
      EXPECT_EQ(buf[0] == '*', r.deleted) << t.file << " record " << r.recno;
      if (!r.raw.empty()) {
        EXPECT_EQ(buf, r.raw) << t.file << " record " << r.recno;
      }
    }
  }
}

TEST(DbtFormat, FixtureMemosReadAsTheManifestSays) {
  const ManifestTable& t = test::manifest_table("fix1.dbf");
  auto dbf = Dbf::open(fixture(t.file), true, true);
  auto dbt = Dbt::open(fixture(t.memo), true, true);
  ASSERT_TRUE(dbf.ok() && dbt.ok());
  int memo = (*dbf)->field_index("NOTE");
  const FieldDef& f = (*dbf)->fields()[static_cast<size_t>(memo)];
  std::string buf(static_cast<size_t>((*dbf)->record_len()), '\0');
  for (const test::ManifestRecord& r : t.records) {
    ASSERT_TRUE((*dbf)->read(r.recno, buf.data()).ok());
    uint32_t block = 0;
    ASSERT_TRUE(parse_memo_ref(&buf[static_cast<size_t>(f.offset)], f.len, &block));
    auto text = (*dbt)->read(block);
    ASSERT_TRUE(text.ok()) << text.status().message();
    EXPECT_EQ("M:|" + escape_text(*text) + "|", r.values[static_cast<size_t>(memo)])
        << "record " << r.recno;
  }
}

TEST(NtxFormat, FixtureIndexesReadInTheManifestOrder) {
  for (const ManifestTable& t : manifest()) {
    for (const test::ManifestIndex& x : t.indexes) {
      auto ntx = Ntx::open(fixture(x.file), true, true);
      ASSERT_TRUE(ntx.ok()) << x.file << ": " << ntx.status().message();
      Ntx& n = **ntx;
      const NtxHeader& h = n.header();
      EXPECT_EQ(std::to_string(h.key_size), x.hdr.at("keysize")) << x.file;
      EXPECT_EQ(std::to_string(h.max_items), x.hdr.at("maxitem")) << x.file;
      EXPECT_EQ(std::to_string(h.version), x.hdr.at("ver")) << x.file;
      EXPECT_EQ(h.key_expr, x.key_expr) << x.file;
      EXPECT_EQ(h.for_expr, x.for_expr) << x.file;
      EXPECT_EQ(h.unique, x.unique) << x.file;
      EXPECT_EQ(h.descend, x.descend) << x.file;
      std::vector<uint32_t> order;
      std::vector<std::pair<uint32_t, std::string>> keys;
      for (auto r = n.first(); r.ok() && *r; r = n.next()) {
        order.push_back(n.rec());
        keys.emplace_back(n.rec(), canonical_key(n.key(), x));
      }
      EXPECT_EQ(order, x.order) << x.file;
      EXPECT_EQ(keys, x.keys) << x.file;
      // Backwards gives the same entries in reverse.
      std::vector<uint32_t> back;
      for (auto r = n.last(); r.ok() && *r; r = n.prev()) back.push_back(n.rec());
      std::reverse(back.begin(), back.end());
      EXPECT_EQ(back, x.order) << x.file;
      uint64_t count = 0;
      int depth = 0;
      ASSERT_TRUE(n.check(&count, &depth).ok()) << x.file;
      EXPECT_EQ(count, static_cast<uint64_t>(x.key_count)) << x.file;
      EXPECT_EQ(depth, x.depth) << x.file;
    }
  }
}

TEST(NtxFormat, IndexBuiltInOneGoHasTheFixtureBytes) {
  // The indexes the other program built in one go; big_ci and big_id were
  // kept up by updates instead.
  const char* built[] = {"fix1_nm.ntx", "fix1_am.ntx", "fix1_cp.ntx", "fix1_ds.ntx",
                         "fix1_fr.ntx", "fix1_un.ntx", "fix1_lg.ntx", "big_cd.ntx",
                         "big_lk.ntx",  "empty_nm.ntx"};
  test::TempDir tmp;
  for (const char* name : built) {
    auto src = Ntx::open(fixture(name), true, true);
    ASSERT_TRUE(src.ok()) << name;
    std::vector<std::pair<uint32_t, std::string>> entries;
    for (auto r = (*src)->first(); r.ok() && *r; r = (*src)->next())
      entries.emplace_back((*src)->rec(), (*src)->key());
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    NtxHeader h = (*src)->header();
    // A small memory budget makes the bigger ones spill and merge.
    NtxBuilder b(
        make_ntx_header(h.key_expr, h.for_expr, h.key_size, h.key_dec, h.unique, h.descend),
        tmp.path().string(), 64 << 10);
    for (const auto& e : entries) ASSERT_TRUE(b.add(e.second.data(), e.first).ok());
    std::string out = (tmp / name).string();
    ASSERT_TRUE(b.finish(out).ok()) << name;
    std::string ours = test::read_file(out), theirs = test::read_file(fixture(name));
    ASSERT_EQ(ours.size(), theirs.size()) << name;
    EXPECT_EQ(ours.substr(0, kNtxPage), theirs.substr(0, kNtxPage)) << name << ": header";
    // Bytes past a page's last item are whatever the writer's buffer held:
    // the pages must agree in what they say, not in those.
    for (size_t off = kNtxPage; off < ours.size(); off += kNtxPage) {
      ASSERT_EQ(page_items(ours, off, h), page_items(theirs, off, h)) << name << " page " << off;
    }
  }
}

TEST(DbfFormat, DamagedTablesAndMemosGiveErrorsNamingTheFile) {
  test::TempDir tmp;
  const std::string dbf = test::read_file(fixture("fix1.dbf"));
  const size_t hlen = 226, rlen = 45;
  struct Case {
    const char* what;
    std::string bytes;
    bool opens;
    uint32_t count;  // when it opens
  };
  std::string no_terminator = dbf.substr(0, 40);
  std::string bad_field = dbf;
  bad_field[32 + 16] = static_cast<char>(200);  // NAME longer than the record
  std::string header_len = dbf;
  header_len[8] = '\xFF';
  header_len[9] = '\x7F';
  const Case cases[] = {
      {"empty file", "", false, 0},
      {"header cut short", dbf.substr(0, 20), false, 0},
      {"field list cut short", no_terminator, false, 0},
      {"field beyond the record", bad_field, false, 0},
      {"header length past the end", header_len, false, 0},
      {"half a record missing (append died)", dbf.substr(0, hlen + 29 * rlen + 20), true, 29},
      {"end mark missing", dbf.substr(0, dbf.size() - 1), true, 30},
      {"ten records missing", dbf.substr(0, hlen + 20 * rlen), false, 0},
  };
  for (const Case& c : cases) {
    std::string path = (tmp / "bad.dbf").string();
    test::write_file(path, c.bytes);
    auto t = Dbf::open(path, false, false);
    EXPECT_EQ(t.ok(), c.opens) << c.what;
    if (t.ok()) {
      EXPECT_EQ((*t)->count(), c.count) << c.what;
    } else {
      EXPECT_NE(t.status().message().find("bad.dbf"), std::string::npos) << c.what;
    }
  }
  // Memo pointers past the end of the memo file, and fields that are no
  // pointer at all.
  std::string memo = test::read_file(fixture("fix1.dbt"));
  std::string path = (tmp / "bad.dbt").string();
  test::write_file(path, memo.substr(0, 1024));
  auto m = Dbt::open(path, false, true);
  ASSERT_TRUE(m.ok());
  auto r = (*m)->read(500);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.status().message().find("bad.dbt"), std::string::npos);
  uint32_t block = 0;
  struct Ref {
    const char* field;
    bool ok;
    uint32_t block;
  };
  const Ref refs[] = {{"          ", true, 0},
                      {"        25", true, 25},
                      {"  12ab    ", false, 0},
                      {"99999999999", false, 0},
                      {"0000000007", true, 7}};
  for (const Ref& x : refs) {
    int len = static_cast<int>(std::strlen(x.field));
    EXPECT_EQ(parse_memo_ref(x.field, len, &block), x.ok) << x.field;
    if (x.ok) {
      EXPECT_EQ(block, x.block) << x.field;
    }
  }
}

TEST(DbfFormat, NumbersAndDatesAsTheFieldsHoldThem) {
  struct Case {
    double v;
    int len, dec;
    const char* text;
  };
  const Case cases[] = {{123.45, 10, 2, "    123.45"},
                        {-123.45, 10, 2, "   -123.45"},
                        {1.005, 6, 2, "  1.01"},
                        {-0.001, 6, 2, "  0.00"},
                        {99999, 5, 0, "99999"},
                        {100000, 5, 0, "*****"},
                        {-9999, 5, 0, "-9999"},
                        {-10000, 5, 0, "*****"},
                        {0.5, 3, 0, "  1"},
                        {2.675, 8, 2, "    2.68"},
                        {1e15, 20, 2, " 1000000000000000.00"}};
  for (const Case& c : cases) {
    char buf[64] = {};
    format_number(c.v, c.len, c.dec, buf);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(c.len)), std::string(c.text).substr(0, c.len))
        << c.v;
  }
  struct Key {
    double v;
    const char* key;
  };
  const Key keys[] = {{-999999.99, ",######.##"},
                      {-123.45, ",,,,+*).('"},
                      {0, "0000000.00"},
                      {123.45, "0000123.45"}};
  for (const Key& k : keys) {
    char buf[16] = {};
    numeric_key(k.v, 10, 2, buf);
    EXPECT_EQ(std::string(buf, 10), k.key) << k.v;
    EXPECT_DOUBLE_EQ(numeric_key_value(buf, 10), k.v) << k.v;
  }
  char d[9] = {};
  format_dtos(parse_dtos("20000229"), d);
  EXPECT_STREQ(d, "20000229");
  EXPECT_EQ(parse_dtos("20010229"), 0);  // no such day
  EXPECT_EQ(parse_dtos("        "), 0);
}

}  // namespace
}  // namespace kvel::store
