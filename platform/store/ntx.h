// One NTX index: a B-tree of 1024-byte pages whose items hold a key, the
// record number and the left child page. Searching, stepping and updating;
// the index lock is taken here (shared to read, exclusive to update) and
// cached pages are dropped when another program changed the file.
// Building a whole index in one go is ntx_build.h. Layout: doc/ntx.md.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/status.h"
#include "platform/store/file.h"

namespace kvel::store {

inline constexpr int kNtxPage = 1024;
inline constexpr int kNtxMaxKey = 256;

struct NtxHeader {
  uint16_t signature = 6;  // 7 with a FOR condition
  uint16_t version = 1;    // raised by every update
  uint32_t root = kNtxPage;
  uint32_t next_free = 0;  // first page of the free list, 0: none
  uint16_t item_size = 0;
  uint16_t key_size = 0;
  uint16_t key_dec = 0;
  uint16_t max_items = 0;
  uint16_t half_page = 0;
  std::string key_expr;
  std::string for_expr;
  bool unique = false;
  bool descend = false;
  std::string order_name;  // empty: the order is named after its file
};

// The header of a new index with the family's page geometry.
NtxHeader make_ntx_header(std::string key_expr, std::string for_expr, int key_size, int key_dec,
                          bool unique, bool descend);
std::string encode_ntx_header(const NtxHeader& h);  // 1024 bytes
os::Status decode_ntx_header(const char* p, const std::string& path, NtxHeader* h);

class Ntx {
 public:
  ~Ntx();
  Ntx(const Ntx&) = delete;
  Ntx& operator=(const Ntx&) = delete;

  static os::Result<std::unique_ptr<Ntx>> open(const std::string& path, bool shared, bool readonly);
  // Writes an index with no keys.
  static os::Status create_empty(const std::string& path, const NtxHeader& h);

  const std::string& path() const { return file_.path(); }
  const NtxHeader& header() const { return hdr_; }
  int key_size() const { return hdr_.key_size; }
  // Pages kept in memory at most (besides those an operation is using).
  void set_cache_pages(size_t n) { cache_cap_ = n < 64 ? 64 : n; }

  // Every search and step runs between begin_read() and end_read(), every
  // change between begin_update() and end_update(). On a shared index they
  // take the index lock and check the update counter; nesting is allowed.
  os::Status begin_read();
  void end_read();
  os::Status begin_update();
  os::Status end_update();

  // The cursor. Each call returns whether it stands on an entry now; false
  // means past either end. key() is key_size() bytes.
  os::Result<bool> first();
  os::Result<bool> last();
  os::Result<bool> next();
  os::Result<bool> prev();
  // The first entry whose key begins with at least `key` (prefix compare of
  // key.size() bytes, at most key_size()); with `last`, the last entry whose
  // key begins with at most `key`.
  os::Result<bool> seek(std::string_view key, bool last = false);
  // Stands on the entry (key, rec); false when it is not in the index.
  os::Result<bool> find(std::string_view key, uint32_t rec);
  bool positioned() const { return positioned_; }
  // Whether the cursor still stands where the last call left it: false
  // after an update or when another program changed the index since.
  bool cursor_valid() const { return positioned_ && cursor_gen_ == gen_; }
  uint32_t rec() const { return cur_rec_; }
  const std::string& key() const { return cur_key_; }

  // Adds (key, rec) after the equal keys already there; a unique index
  // keeps only the first of equal keys. `key` is key_size() bytes.
  os::Status insert(std::string_view key, uint32_t rec);
  // Removes (key, rec); a missing entry is no error.
  os::Status remove(std::string_view key, uint32_t rec);
  // Writes changed pages and the header (exclusive use: kept until here).
  os::Status flush();

  // Walks the whole tree checking its structure: page bounds, key order,
  // equal depth of leaves. Gives the number of keys and of levels.
  os::Status check(uint64_t* keys, int* depth);

 private:
  struct Page {
    uint32_t off = 0;
    bool dirty = false;
    uint64_t used = 0;  // operation number of the last use
    char data[kNtxPage];
  };
  struct Level {
    uint32_t page;
    int idx;
  };
  struct Item {
    uint32_t child;
    uint32_t rec;
    std::string key;
  };
  struct Node {
    std::vector<Item> items;
    uint32_t right = 0;  // rightmost child
    bool leaf() const { return right == 0 && (items.empty() || items[0].child == 0); }
  };

  Ntx() = default;
  os::Result<Page*> page(uint32_t off);
  os::Status reread_header();
  void drop_cache();
  void start_op() { ++op_; }
  int cmp(const char* stored, std::string_view key) const;
  // Raw page access; Pre: p passed validation in page().
  static int count(const Page* p);
  const char* item(const Page* p, int i) const;
  uint32_t child(const Page* p, int i) const;
  os::Status descend_edge(bool leftmost);
  os::Result<bool> settle_forward();
  os::Result<bool> settle_backward();
  os::Status push(uint32_t off, int idx);
  bool load_current();
  os::Result<bool> resync(bool* exact);
  os::Status insert_impl(std::string_view key, uint32_t rec);
  os::Status remove_impl(std::string_view key, uint32_t rec);
  os::Result<bool> lower_bound(std::string_view key);
  os::Result<bool> upper_bound_last(std::string_view key);
  Node decode(const Page* p) const;
  void encode(const Node& n, Page* p) const;
  os::Result<uint32_t> alloc_page();
  os::Status free_page(uint32_t off);
  os::Status rebalance(std::vector<Level> path);
  os::Status write_dirty();
  os::Status check_page(uint32_t off, int depth, int* leaf_depth, uint64_t* keys,
                        std::vector<uint32_t>& seen, std::string* last_key, bool* have_last);

  File file_;
  NtxHeader hdr_;
  bool shared_ = false;
  bool readonly_ = false;
  uint64_t file_size_ = 0;
  int read_depth_ = 0;
  int update_depth_ = 0;
  bool header_dirty_ = false;

  // Cached pages by page number (offset / 1024); nullptr when not cached.
  std::vector<Page*> cache_;
  // Exclusive opens copy missing pages from a read-only mapping instead of
  // reading them one by one.
  char* map_ = nullptr;
  size_t map_len_ = 0;
  void remap();
  std::deque<Page> frames_;
  size_t cache_cap_ = 16384;
  size_t clock_ = 0;
  uint64_t op_ = 1;

  std::vector<Level> stack_;
  bool positioned_ = false;
  uint32_t cur_rec_ = 0;
  std::string cur_key_;
  uint64_t gen_ = 1;  // changes whenever the tree may have moved under the cursor
  uint64_t cursor_gen_ = 0;
};

}  // namespace kvel::store
