// Updating an index in place: inserts with page splits, removals with
// borrowing and merging, equal keys after the ones already there, and the
// tree valid after every step; a damaged file is an error, not a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <list>
#include <random>

#include "platform/store/ntx.h"
#include "platform/store/ntx_build.h"
#include "support/test_support.h"

namespace kvel::store {
namespace {

std::string key_of(int v, int size) {
  std::string k = std::to_string(v);
  k.insert(0, 6 - std::min<size_t>(6, k.size()), '0');
  k.resize(static_cast<size_t>(size), ' ');
  return k;
}

// The entries in index order, walking forwards.
std::vector<std::pair<std::string, uint32_t>> entries(Ntx& n) {
  std::vector<std::pair<std::string, uint32_t>> out;
  for (auto r = n.first(); r.ok() && *r; r = n.next()) out.emplace_back(n.key(), n.rec());
  return out;
}

TEST(NtxUpdate, RandomInsertsAndRemovalsKeepOrderAndShape) {
  struct Case {
    int key_size;
    bool descend;
    int values;  // distinct key values: few values give long runs of equal keys
  };
  const Case cases[] = {{100, false, 50}, {100, true, 1000}, {10, false, 7}, {250, false, 100000}};
  for (const Case& c : cases) {
    test::TempDir tmp;
    std::string path = (tmp / "t.ntx").string();
    NtxHeader h = make_ntx_header("K", "", c.key_size, 0, false, c.descend);
    ASSERT_TRUE(Ntx::create_empty(path, h).ok());
    auto opened = Ntx::open(path, false, false);
    ASSERT_TRUE(opened.ok());
    Ntx& n = **opened;
    n.set_cache_pages(64);
    // The model: equal keys keep the order they came in.
    std::list<std::pair<std::string, uint32_t>> model;
    auto model_insert = [&](const std::string& k, uint32_t r) {
      auto it = model.begin();
      while (it != model.end() && (c.descend ? it->first >= k : it->first <= k)) ++it;
      model.insert(it, {k, r});
    };
    std::mt19937 rng(42);
    std::vector<std::pair<std::string, uint32_t>> live;
    for (uint32_t rec = 1; rec <= 1500; ++rec) {
      std::string k = key_of(static_cast<int>(rng() % c.values), c.key_size);
      os::Status st = n.insert(k, rec);
      ASSERT_TRUE(st.ok()) << st.message();
      model_insert(k, rec);
      live.emplace_back(k, rec);
      if (rng() % 3 == 0) {
        size_t victim = rng() % live.size();
        ASSERT_TRUE(n.remove(live[victim].first, live[victim].second).ok());
        model.remove(live[victim]);
        live.erase(live.begin() + static_cast<long>(victim));
      }
    }
    std::vector<std::pair<std::string, uint32_t>> want(model.begin(), model.end());
    EXPECT_EQ(entries(n), want) << "key size " << c.key_size;
    uint64_t keys = 0;
    int depth = 0;
    ASSERT_TRUE(n.check(&keys, &depth).ok()) << "key size " << c.key_size;
    EXPECT_EQ(keys, want.size());
    // Everything out again: an empty, valid index remains.
    for (const auto& e : live) ASSERT_TRUE(n.remove(e.first, e.second).ok());
    EXPECT_TRUE(entries(n).empty());
    ASSERT_TRUE(n.check(&keys, &depth).ok());
    EXPECT_EQ(depth, 1);
    // Pages freed by merging are used again before the file grows.
    ASSERT_TRUE(n.flush().ok());
    uint64_t size = std::filesystem::file_size(path);
    for (uint32_t rec = 1; rec <= 200; ++rec)
      ASSERT_TRUE(n.insert(key_of(rec, c.key_size), rec).ok());
    ASSERT_TRUE(n.flush().ok());
    EXPECT_EQ(std::filesystem::file_size(path), size) << "key size " << c.key_size;
  }
}

TEST(NtxUpdate, SeekFindsPrefixesSoftlyAndLast) {
  test::TempDir tmp;
  std::string path = (tmp / "s.ntx").string();
  NtxBuilder b(make_ntx_header("NAME", "", 6, 0, false, false), tmp.path().string());
  const char* keys[] = {"ANNA  ", "BORIS ", "BORIS ", "BORYA ", "IVAN  "};
  uint32_t rec = 0;
  for (const char* k : keys) ASSERT_TRUE(b.add(k, ++rec).ok());
  ASSERT_TRUE(b.finish(path).ok());
  auto n = Ntx::open(path, false, true);
  ASSERT_TRUE(n.ok());
  struct Case {
    std::string key;
    bool last;
    bool positioned;
    uint32_t rec;
  };
  const Case cases[] = {
      {"BOR", false, true, 2},      {"BOR", true, true, 4}, {"BORIS", true, true, 3},
      {"BORIS ", false, true, 2},   {"C", false, true, 5},  {"J", false, false, 0},
      {"", false, true, 1},         {"A", true, true, 1},   {"0", true, false, 0},
      {"IVAN    ", false, true, 5},  // longer than the key: cut to the key size
  };
  for (const Case& c : cases) {
    auto r = (*n)->seek(c.key, c.last);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(*r, c.positioned) << c.key << (c.last ? " last" : "");
    if (*r) {
      EXPECT_EQ((*n)->rec(), c.rec) << c.key << (c.last ? " last" : "");
    }
  }
}

TEST(NtxUpdate, UniqueIndexKeepsTheFirstOfEqualKeys) {
  test::TempDir tmp;
  std::string path = (tmp / "u.ntx").string();
  ASSERT_TRUE(Ntx::create_empty(path, make_ntx_header("K", "", 3, 0, true, false)).ok());
  auto n = Ntx::open(path, false, false);
  ASSERT_TRUE(n.ok());
  const char* keys[] = {"BBB", "AAA", "BBB", "AAA", "CCC"};
  uint32_t rec = 0;
  for (const char* k : keys) ASSERT_TRUE((*n)->insert(k, ++rec).ok());
  std::vector<std::pair<std::string, uint32_t>> want = {{"AAA", 2}, {"BBB", 1}, {"CCC", 5}};
  EXPECT_EQ(entries(**n), want);
}

TEST(NtxUpdate, DamagedFilesGiveErrorsNamingTheFile) {
  test::TempDir tmp;
  std::string good = (tmp / "g.ntx").string();
  NtxBuilder b(make_ntx_header("K", "", 100, 0, false, false), tmp.path().string());
  for (uint32_t r = 1; r <= 300; ++r)
    ASSERT_TRUE(b.add(key_of(static_cast<int>(r), 100).data(), r).ok());
  ASSERT_TRUE(b.finish(good).ok());
  const std::string bytes = test::read_file(good);
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
  };
  uint32_t root = u32(4);
  auto set32 = [](std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
  };
  auto first_child_at = [&](uint32_t page) {
    size_t slot = static_cast<unsigned char>(bytes[page + 2]) |
                  static_cast<unsigned char>(bytes[page + 3]) << 8;
    return page + slot;
  };
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    bool opens;
  };
  const Case cases[] = {
      {"signature", [](std::string& s) { s[0] = 9; }, false},
      {"key size", [](std::string& s) { s[14] = 0; }, false},
      {"header cut short", [](std::string& s) { s.resize(500); }, false},
      {"root past the end", [&](std::string& s) { set32(s, 4, 0x7FFFFC00); }, true},
      {"child points at the root", [&](std::string& s) { set32(s, first_child_at(root), root); },
       true},
      {"key count too large", [&](std::string& s) { s[root] = '\xFF'; }, true},
      {"item slot outside the page", [&](std::string& s) { s[root + 3] = '\x7F'; }, true},
      {"file cut in the middle", [&](std::string& s) { s.resize(s.size() / 2); }, true},
  };
  for (const Case& c : cases) {
    std::string bad = bytes;
    c.damage(bad);
    std::string path = (tmp / "bad.ntx").string();
    test::write_file(path, bad);
    auto n = Ntx::open(path, false, true);
    EXPECT_EQ(n.ok(), c.opens) << c.what;
    if (!n.ok()) {
      EXPECT_NE(n.status().message().find("bad.ntx"), std::string::npos) << c.what;
      continue;
    }
    // Walking the whole index ends, with an error, whichever way it goes.
    bool failed = false;
    int steps = 0;
    for (auto r = (*n)->first(); steps < 100000; r = (*n)->next(), ++steps) {
      if (!r.ok()) {
        failed = true;
        EXPECT_NE(r.status().message().find("bad.ntx"), std::string::npos) << c.what;
        break;
      }
      if (!*r) break;
    }
    uint64_t keys = 0;
    int depth = 0;
    EXPECT_TRUE(failed || !(*n)->check(&keys, &depth).ok()) << c.what;
    EXPECT_LT(steps, 100000) << c.what;
  }
}

}  // namespace
}  // namespace kvel::store
