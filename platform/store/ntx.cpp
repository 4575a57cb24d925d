#include "platform/store/ntx.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "platform/store/bytes.h"
#include "platform/store/locks.h"

namespace kvel::store {
namespace {

// No index of the family is deeper than this; a deeper walk is a cycle.
constexpr int kMaxDepth = 40;

// Offsets within the header.
constexpr int kKeyExprAt = 22;
constexpr int kUniqueAt = 278;
constexpr int kDescendAt = 280;
constexpr int kForExprAt = 282;
constexpr int kExprLen = 256;
constexpr int kOrderNameAt = 538;
constexpr int kOrderNameLen = 11;  // ten characters and a NUL

os::Status corrupt(const std::string& path, const std::string& what) {
  return file_error(path, "corrupt index (" + what + ")", os::kDosReadFault);
}

}  // namespace

NtxHeader make_ntx_header(std::string key_expr, std::string for_expr, int key_size, int key_dec,
                          bool unique, bool descend) {
  NtxHeader h;
  h.signature = for_expr.empty() ? 6 : 7;
  h.version = 1;
  h.root = kNtxPage;
  h.key_size = static_cast<uint16_t>(key_size);
  h.key_dec = static_cast<uint16_t>(key_dec);
  h.item_size = static_cast<uint16_t>(key_size + 8);
  int max = 1022 / (key_size + 10) - 1;
  if (max % 2) --max;
  if (max < 2) max = 2;
  h.max_items = static_cast<uint16_t>(max);
  h.half_page = static_cast<uint16_t>(max / 2);
  h.key_expr = std::move(key_expr);
  h.for_expr = std::move(for_expr);
  h.unique = unique;
  h.descend = descend;
  return h;
}

std::string encode_ntx_header(const NtxHeader& h) {
  std::string b(kNtxPage, '\0');
  put16(&b[0], h.signature);
  put16(&b[2], h.version);
  put32(&b[4], h.root);
  put32(&b[8], h.next_free);
  put16(&b[12], h.item_size);
  put16(&b[14], h.key_size);
  put16(&b[16], h.key_dec);
  put16(&b[18], h.max_items);
  put16(&b[20], h.half_page);
  std::memcpy(&b[kKeyExprAt], h.key_expr.data(), std::min<size_t>(h.key_expr.size(), kExprLen - 1));
  b[kUniqueAt] = h.unique ? 1 : 0;
  b[kDescendAt] = h.descend ? 1 : 0;
  std::memcpy(&b[kForExprAt], h.for_expr.data(), std::min<size_t>(h.for_expr.size(), kExprLen - 1));
  std::memcpy(&b[kOrderNameAt], h.order_name.data(),
              std::min<size_t>(h.order_name.size(), kOrderNameLen - 1));
  return b;
}

os::Status decode_ntx_header(const char* p, const std::string& path, NtxHeader* h) {
  h->signature = get16(p);
  h->version = get16(p + 2);
  h->root = get32(p + 4);
  h->next_free = get32(p + 8);
  h->item_size = get16(p + 12);
  h->key_size = get16(p + 14);
  h->key_dec = get16(p + 16);
  h->max_items = get16(p + 18);
  h->half_page = get16(p + 20);
  auto text = [](const char* s, int n) {
    int len = 0;
    while (len < n && s[len] != '\0') ++len;
    return std::string(s, static_cast<size_t>(len));
  };
  h->key_expr = text(p + kKeyExprAt, kExprLen);
  h->unique = p[kUniqueAt] != 0;
  h->descend = p[kDescendAt] != 0;
  h->for_expr = text(p + kForExprAt, kExprLen);
  h->order_name = text(p + kOrderNameAt, kOrderNameLen - 1);
  if (h->signature != 6 && h->signature != 7) return corrupt(path, "not an NTX index");
  if (h->key_size < 1 || h->key_size > kNtxMaxKey || h->item_size != h->key_size + 8)
    return corrupt(path, "key size");
  if (h->max_items < 2 || 2 + 2 * (h->max_items + 1) > kNtxPage ||
      2 + (h->max_items + 1) * (2 + h->item_size) > kNtxPage + h->item_size)
    return corrupt(path, "page geometry");
  if (h->half_page < 1 || h->half_page > h->max_items) h->half_page = h->max_items / 2;
  if (h->key_expr.empty()) return corrupt(path, "no key expression");
  return {};
}

Ntx::~Ntx() {
  if (file_.is_open() && !readonly_ && !shared_) (void)flush();
  if (map_) ::munmap(map_, map_len_);
}

void Ntx::remap() {
  if (shared_) return;
  if (map_) ::munmap(map_, map_len_);
  map_ = nullptr;
  map_len_ = 0;
  if (file_size_ == 0) return;
  void* m = ::mmap(nullptr, file_size_, PROT_READ, MAP_SHARED, file_.fd(), 0);
  if (m == MAP_FAILED) return;
  map_ = static_cast<char*>(m);
  map_len_ = file_size_;
}

os::Status Ntx::create_empty(const std::string& path, const NtxHeader& h) {
  auto f = File::create(path);
  if (!f.ok()) return f.status();
  std::string b = encode_ntx_header(h);
  std::string page(kNtxPage, '\0');
  int base = 2 + 2 * (h.max_items + 1);
  for (int i = 0; i <= h.max_items; ++i)
    put16(&page[2 + 2 * i], static_cast<uint16_t>(base + i * h.item_size));
  b += page;
  return f->write_at(0, b.data(), b.size());
}

os::Result<std::unique_ptr<Ntx>> Ntx::open(const std::string& path, bool shared, bool readonly) {
  auto f = File::open(path, !readonly);
  if (!f.ok()) return f.status();
  std::unique_ptr<Ntx> x(new Ntx);
  x->file_ = std::move(*f);
  x->shared_ = shared;
  x->readonly_ = readonly;
  os::Status s = share_lock(x->file_.fd(), shared);
  if (!s.ok()) return os::Status::failure(s.dos(), "open " + path + ": " + s.message(), s.err_no());
  if (shared) {
    s = lock_polled(x->file_.fd(), kIndexLockOffset, 1, os::LockKind::Shared);
    if (!s.ok()) return s;
  }
  s = x->reread_header();
  if (shared) (void)os::unlock_range(x->file_.fd(), kIndexLockOffset, 1);
  if (!s.ok()) return s;
  return x;
}

os::Status Ntx::reread_header() {
  if (hdr_.key_size != 0) {
    // Known already: the counter, root and free list say whether anything
    // changed since, without reading the texts again.
    char b[12];
    os::Status s = file_.read_at(0, b, sizeof b);
    if (!s.ok()) return s;
    if (get16(b + 2) == hdr_.version && get32(b + 4) == hdr_.root && get32(b + 8) == hdr_.next_free)
      return {};
  }
  char b[kNtxPage];
  os::Status s = file_.read_at(0, b, kNtxPage);
  if (!s.ok()) return file_error(file_.path(), "not an index (header too short)");
  auto size = file_.size();
  if (!size.ok()) return size.status();
  NtxHeader h;
  s = decode_ntx_header(b, file_.path(), &h);
  if (!s.ok()) return s;
  hdr_ = std::move(h);
  file_size_ = *size;
  drop_cache();
  return {};
}

void Ntx::drop_cache() {
  std::fill(cache_.begin(), cache_.end(), nullptr);
  for (Page& p : frames_) p.off = 0, p.dirty = false;
  ++gen_;
}

os::Status Ntx::begin_read() {
  start_op();
  if (!shared_ || read_depth_++ > 0 || update_depth_ > 0) return {};
  os::Status s = lock_polled(file_.fd(), kIndexLockOffset, 1, os::LockKind::Shared);
  if (!s.ok()) {
    --read_depth_;
    return s;
  }
  s = reread_header();
  if (!s.ok()) end_read();
  return s;
}

void Ntx::end_read() {
  if (!shared_ || update_depth_ > 0) {
    if (read_depth_ > 0) --read_depth_;
    return;
  }
  if (read_depth_ > 0 && --read_depth_ == 0)
    (void)os::unlock_range(file_.fd(), kIndexLockOffset, 1);
}

os::Status Ntx::begin_update() {
  start_op();
  if (readonly_) return file_error(file_.path(), "index opened read-only", os::kDosAccessDenied);
  if (update_depth_++ > 0) return {};
  if (!shared_) return {};
  os::Status s = lock_polled(file_.fd(), kIndexLockOffset, 1, os::LockKind::Exclusive);
  if (!s.ok()) {
    --update_depth_;
    return s;
  }
  s = reread_header();
  if (!s.ok()) {
    --update_depth_;
    (void)os::unlock_range(file_.fd(), kIndexLockOffset, 1);
  }
  return s;
}

os::Status Ntx::end_update() {
  if (update_depth_ == 0 || --update_depth_ > 0) return {};
  ++hdr_.version;
  header_dirty_ = true;
  ++gen_;
  if (!shared_) return {};
  os::Status s = flush();
  if (read_depth_ > 0) {
    (void)os::lock_range(file_.fd(), kIndexLockOffset, 1, os::LockKind::Shared);
  } else {
    (void)os::unlock_range(file_.fd(), kIndexLockOffset, 1);
  }
  return s;
}

os::Status Ntx::write_dirty() {
  for (Page& p : frames_) {
    if (p.off && p.dirty) {
      os::Status s = file_.write_at(p.off, p.data, kNtxPage);
      if (!s.ok()) return s;
      p.dirty = false;
    }
  }
  return {};
}

os::Status Ntx::flush() {
  if (readonly_) return {};
  os::Status s = write_dirty();
  if (!s.ok()) return s;
  if (!header_dirty_) return {};
  // Only the numbers: the texts and flags stay as the file has them.
  char b[12];
  put16(b, hdr_.signature);
  put16(b + 2, hdr_.version);
  put32(b + 4, hdr_.root);
  put32(b + 8, hdr_.next_free);
  header_dirty_ = false;
  return file_.write_at(0, b, sizeof b);
}

os::Result<Ntx::Page*> Ntx::page(uint32_t off) {
  size_t no = off / kNtxPage;
  if (no < cache_.size() && cache_[no] && off % kNtxPage == 0) {
    cache_[no]->used = op_;
    return cache_[no];
  }
  if (off % kNtxPage != 0) return corrupt(file_.path(), "page offset " + std::to_string(off));
  if (off < kNtxPage || off + static_cast<uint64_t>(kNtxPage) > file_size_) {
    auto size = file_.size();
    if (size.ok()) file_size_ = std::max(file_size_, *size);
    if (off < kNtxPage || off + static_cast<uint64_t>(kNtxPage) > file_size_)
      return corrupt(file_.path(), "page offset " + std::to_string(off));
  }
  Page* fr = nullptr;
  if (frames_.size() < cache_cap_) {
    fr = &frames_.emplace_back();
  } else {
    for (size_t n = 0; n < frames_.size() && !fr; ++n) {
      Page& cand = frames_[clock_];
      clock_ = (clock_ + 1) % frames_.size();
      if (cand.used < op_) fr = &cand;
    }
    if (!fr) fr = &frames_.emplace_back();
    if (fr->off) {
      if (fr->dirty) {
        os::Status s = file_.write_at(fr->off, fr->data, kNtxPage);
        if (!s.ok()) return s;
      }
      if (fr->off / kNtxPage < cache_.size()) cache_[fr->off / kNtxPage] = nullptr;
    }
  }
  fr->off = 0;
  fr->dirty = false;
  if (!shared_ && off + static_cast<uint64_t>(kNtxPage) > map_len_) remap();
  if (map_ && off + static_cast<uint64_t>(kNtxPage) <= map_len_) {
    std::memcpy(fr->data, map_ + off, kNtxPage);
  } else {
    os::Status s = file_.read_at(off, fr->data, kNtxPage);
    if (!s.ok()) return s;
  }
  int n = count(fr);
  if (n > hdr_.max_items) return corrupt(file_.path(), "key count of page " + std::to_string(off));
  for (int i = 0; i <= n; ++i) {
    int slot = get16(fr->data + 2 + 2 * i);
    if (slot < 2 || slot + hdr_.item_size > kNtxPage)
      return corrupt(file_.path(), "item offset in page " + std::to_string(off));
  }
  if (no >= cache_.size()) cache_.resize(std::max<size_t>(no + 1, file_size_ / kNtxPage + 64));
  fr->off = off;
  cache_[no] = fr;
  fr->used = op_;
  return fr;
}

int Ntx::count(const Page* p) { return get16(p->data); }

const char* Ntx::item(const Page* p, int i) const { return p->data + get16(p->data + 2 + 2 * i); }

uint32_t Ntx::child(const Page* p, int i) const { return get32(item(p, i)); }

int Ntx::cmp(const char* stored, std::string_view key) const {
  size_t n = std::min<size_t>(key.size(), hdr_.key_size);
  int c = std::memcmp(stored, key.data(), n);
  return hdr_.descend ? -c : c;
}

os::Status Ntx::push(uint32_t off, int idx) {
  if (stack_.size() >= static_cast<size_t>(kMaxDepth))
    return corrupt(file_.path(), "tree deeper than " + std::to_string(kMaxDepth) + " levels");
  for (const Level& l : stack_) {
    if (l.page == off) return corrupt(file_.path(), "page " + std::to_string(off) + " in a cycle");
  }
  stack_.push_back({off, idx});
  return {};
}

bool Ntx::load_current() {
  const Level& top = stack_.back();
  Page* p = cache_[top.page / kNtxPage];
  const char* it = item(p, top.idx);
  cur_rec_ = get32(it + 4);
  cur_key_.assign(it + 8, hdr_.key_size);
  positioned_ = true;
  cursor_gen_ = gen_;
  return true;
}

// From the top of the stack down to a leaf along the first (or last) child.
os::Status Ntx::descend_edge(bool leftmost) {
  for (;;) {
    Level& top = stack_.back();
    auto p = page(top.page);
    if (!p.ok()) return p.status();
    int n = count(*p);
    uint32_t c = child(*p, leftmost ? 0 : n);
    if (c == 0) {
      top.idx = leftmost ? 0 : n - 1;
      return {};
    }
    top.idx = leftmost ? 0 : n;
    os::Status s = push(c, 0);
    if (!s.ok()) return s;
  }
}

os::Result<bool> Ntx::settle_forward() {
  for (;;) {
    if (stack_.empty()) {
      positioned_ = false;
      return false;
    }
    Level& top = stack_.back();
    auto p = page(top.page);
    if (!p.ok()) return p.status();
    if (top.idx < count(*p)) return load_current();
    stack_.pop_back();
  }
}

os::Result<bool> Ntx::settle_backward() {
  for (;;) {
    if (stack_.empty()) {
      positioned_ = false;
      return false;
    }
    Level& top = stack_.back();
    if (top.idx >= 0) {
      auto p = page(top.page);
      if (!p.ok()) return p.status();
      if (top.idx < count(*p)) return load_current();
      top.idx = count(*p) - 1;
      if (top.idx >= 0) return load_current();
    }
    stack_.pop_back();
    if (!stack_.empty()) stack_.back().idx -= 1;
  }
}

os::Result<bool> Ntx::first() {
  start_op();
  stack_.clear();
  os::Status s = push(hdr_.root, 0);
  if (s.ok()) s = descend_edge(true);
  if (!s.ok()) return s;
  return settle_forward();
}

os::Result<bool> Ntx::last() {
  start_op();
  stack_.clear();
  os::Status s = push(hdr_.root, 0);
  if (s.ok()) s = descend_edge(false);
  if (!s.ok()) return s;
  return settle_backward();
}

// Puts the cursor back on its entry after the tree changed under it. When
// the entry is gone the cursor stands on the first entry after it; *exact
// says which.
os::Result<bool> Ntx::resync(bool* exact) {
  std::string k = cur_key_;
  auto f = find(k, cur_rec_);
  if (!f.ok()) return f;
  *exact = *f;
  return positioned_;
}

os::Result<bool> Ntx::next() {
  start_op();
  if (!positioned_) return false;
  if (!cursor_valid()) {
    bool exact = false;
    auto r = resync(&exact);
    if (!r.ok() || !*r || !exact) return r;
  }
  Level& top = stack_.back();
  auto p = page(top.page);
  if (!p.ok()) return p.status();
  uint32_t c = child(*p, top.idx + 1);
  ++top.idx;
  if (c != 0) {
    os::Status s = push(c, 0);
    if (s.ok()) s = descend_edge(true);
    if (!s.ok()) return s;
  }
  return settle_forward();
}

os::Result<bool> Ntx::prev() {
  start_op();
  if (!positioned_) return false;
  if (!cursor_valid()) {
    bool exact = false;
    auto r = resync(&exact);
    if (!r.ok()) return r;
    if (!*r) return last();
  }
  Level& top = stack_.back();
  auto p = page(top.page);
  if (!p.ok()) return p.status();
  uint32_t c = child(*p, top.idx);
  if (c == 0) {
    --top.idx;
  } else {
    os::Status s = push(c, 0);
    if (s.ok()) s = descend_edge(false);
    if (!s.ok()) return s;
  }
  return settle_backward();
}

os::Result<bool> Ntx::lower_bound(std::string_view key) {
  stack_.clear();
  uint32_t off = hdr_.root;
  for (;;) {
    auto p = page(off);
    if (!p.ok()) return p.status();
    int lo = 0, hi = count(*p);
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      if (cmp(item(*p, mid) + 8, key) < 0) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    os::Status s = push(off, lo);
    if (!s.ok()) return s;
    uint32_t c = child(*p, lo);
    if (c == 0) break;
    off = c;
  }
  return settle_forward();
}

// The first entry past every key that begins with at most `key`, then one back.
os::Result<bool> Ntx::upper_bound_last(std::string_view key) {
  stack_.clear();
  uint32_t off = hdr_.root;
  for (;;) {
    auto p = page(off);
    if (!p.ok()) return p.status();
    int lo = 0, hi = count(*p);
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      if (cmp(item(*p, mid) + 8, key) <= 0) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    os::Status s = push(off, lo);
    if (!s.ok()) return s;
    uint32_t c = child(*p, lo);
    if (c == 0) break;
    off = c;
  }
  stack_.back().idx -= 1;
  return settle_backward();
}

os::Result<bool> Ntx::seek(std::string_view key, bool last) {
  start_op();
  if (key.size() > hdr_.key_size) key = key.substr(0, hdr_.key_size);
  return last ? upper_bound_last(key) : lower_bound(key);
}

os::Result<bool> Ntx::find(std::string_view key, uint32_t rec) {
  start_op();
  std::string k(key.substr(0, std::min<size_t>(key.size(), hdr_.key_size)));
  auto r = lower_bound(k);
  // Equal keys are not kept in record order after updates: look at each.
  while (r.ok() && *r) {
    if (cmp(cur_key_.data(), k) != 0) return false;
    if (cur_rec_ == rec) return true;
    r = next();
  }
  return r;
}

Ntx::Node Ntx::decode(const Page* p) const {
  Node n;
  int c = count(p);
  n.items.resize(static_cast<size_t>(c));
  for (int i = 0; i < c; ++i) {
    const char* it = item(p, i);
    n.items[i].child = get32(it);
    n.items[i].rec = get32(it + 4);
    n.items[i].key.assign(it + 8, hdr_.key_size);
  }
  n.right = child(p, c);
  return n;
}

void Ntx::encode(const Node& n, Page* p) const {
  std::memset(p->data, 0, kNtxPage);
  put16(p->data, static_cast<uint16_t>(n.items.size()));
  int base = 2 + 2 * (hdr_.max_items + 1);
  for (int i = 0; i <= hdr_.max_items; ++i)
    put16(p->data + 2 + 2 * i, static_cast<uint16_t>(base + i * hdr_.item_size));
  for (size_t i = 0; i < n.items.size(); ++i) {
    char* it = p->data + base + i * hdr_.item_size;
    put32(it, n.items[i].child);
    put32(it + 4, n.items[i].rec);
    std::memcpy(it + 8, n.items[i].key.data(), hdr_.key_size);
  }
  put32(p->data + base + n.items.size() * hdr_.item_size, n.right);
  p->dirty = true;
}

os::Result<uint32_t> Ntx::alloc_page() {
  uint32_t off;
  if (hdr_.next_free) {
    off = hdr_.next_free;
    auto p = page(off);
    if (!p.ok()) return p.status();
    // A free page links to the next one through its first child pointer.
    uint32_t nxt = child(*p, 0);
    if (nxt == off) nxt = 0;
    hdr_.next_free = nxt;
  } else {
    off = static_cast<uint32_t>((file_size_ + kNtxPage - 1) / kNtxPage * kNtxPage);
    if (off < kNtxPage) off = kNtxPage;
    std::string blank(kNtxPage, '\0');
    int base = 2 + 2 * (hdr_.max_items + 1);
    for (int i = 0; i <= hdr_.max_items; ++i)
      put16(&blank[2 + 2 * i], static_cast<uint16_t>(base + i * hdr_.item_size));
    os::Status s = file_.write_at(off, blank.data(), blank.size());
    if (!s.ok()) return s;
    file_size_ = off + static_cast<uint64_t>(kNtxPage);
  }
  header_dirty_ = true;
  return off;
}

os::Status Ntx::free_page(uint32_t off) {
  auto p = page(off);
  if (!p.ok()) return p.status();
  Node n;
  n.right = hdr_.next_free;
  encode(n, *p);
  hdr_.next_free = off;
  header_dirty_ = true;
  return {};
}

os::Status Ntx::insert(std::string_view key, uint32_t rec) {
  os::Status s = insert_impl(key, rec);
  ++gen_;
  return s;
}

os::Status Ntx::remove(std::string_view key, uint32_t rec) {
  os::Status s = remove_impl(key, rec);
  ++gen_;
  return s;
}

os::Status Ntx::insert_impl(std::string_view key, uint32_t rec) {
  start_op();
  std::string k(key.substr(0, std::min<size_t>(key.size(), hdr_.key_size)));
  k.resize(hdr_.key_size, ' ');
  if (hdr_.unique) {
    auto r = lower_bound(k);
    if (!r.ok()) return r.status();
    if (*r && cmp(cur_key_.data(), k) == 0) return {};
    start_op();
  }
  // Down to the leaf past the equal keys, remembering the way.
  std::vector<Level> path;
  uint32_t off = hdr_.root;
  for (;;) {
    if (path.size() >= static_cast<size_t>(kMaxDepth))
      return corrupt(file_.path(), "tree too deep");
    for (const Level& l : path)
      if (l.page == off) return corrupt(file_.path(), "page cycle");
    auto p = page(off);
    if (!p.ok()) return p.status();
    int lo = 0, hi = count(*p);
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      if (cmp(item(*p, mid) + 8, k) <= 0) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    path.push_back({off, lo});
    uint32_t c = child(*p, lo);
    if (c == 0) break;
    off = c;
  }
  Item up{0, rec, k};
  for (size_t lv = path.size(); lv-- > 0;) {
    auto p = page(path[lv].page);
    if (!p.ok()) return p.status();
    Node n = decode(*p);
    n.items.insert(n.items.begin() + path[lv].idx, up);
    if (n.items.size() <= hdr_.max_items) {
      encode(n, *p);
      return {};
    }
    // Split: the left half goes to a new page, the middle item moves up
    // with the new page as its left child, the right half stays here.
    size_t half = n.items.size() / 2;
    Node left;
    left.items.assign(n.items.begin(), n.items.begin() + half);
    left.right = n.items[half].child;
    Item mid = n.items[half];
    Node right;
    right.items.assign(n.items.begin() + half + 1, n.items.end());
    right.right = n.right;
    auto nl = alloc_page();
    if (!nl.ok()) return nl.status();
    auto lp = page(*nl);
    if (!lp.ok()) return lp.status();
    encode(left, *lp);
    p = page(path[lv].page);
    if (!p.ok()) return p.status();
    encode(right, *p);
    mid.child = *nl;
    up = mid;
  }
  // The root split: a new root over the two halves.
  auto nr = alloc_page();
  if (!nr.ok()) return nr.status();
  auto rp = page(*nr);
  if (!rp.ok()) return rp.status();
  Node root;
  root.items.push_back(up);
  root.right = path[0].page;
  encode(root, *rp);
  hdr_.root = *nr;
  header_dirty_ = true;
  return {};
}

os::Status Ntx::remove_impl(std::string_view key, uint32_t rec) {
  start_op();
  auto f = find(key, rec);
  if (!f.ok()) return f.status();
  if (!*f) return {};
  std::vector<Level> path = stack_;
  auto p = page(path.back().page);
  if (!p.ok()) return p.status();
  int idx = path.back().idx;
  if (child(*p, idx) != 0) {
    // An inner item takes the place of its predecessor, the last item of
    // the rightmost leaf of its left subtree.
    uint32_t c = child(*p, idx);
    for (;;) {
      for (const Level& l : path)
        if (l.page == c) return corrupt(file_.path(), "page cycle");
      if (path.size() >= static_cast<size_t>(kMaxDepth))
        return corrupt(file_.path(), "tree too deep");
      auto cp = page(c);
      if (!cp.ok()) return cp.status();
      int n = count(*cp);
      path.push_back({c, n});
      uint32_t cc = child(*cp, n);
      if (cc == 0) break;
      c = cc;
    }
    auto leaf = page(path.back().page);
    if (!leaf.ok()) return leaf.status();
    Node ln = decode(*leaf);
    if (ln.items.empty()) return corrupt(file_.path(), "empty leaf page");
    Item pred = ln.items.back();
    ln.items.pop_back();
    encode(ln, *leaf);
    p = page(path[stack_.size() - 1].page);
    if (!p.ok()) return p.status();
    Node in = decode(*p);
    in.items[idx].rec = pred.rec;
    in.items[idx].key = pred.key;
    encode(in, *p);
    path.back().idx = static_cast<int>(ln.items.size());
  } else {
    Node ln = decode(*p);
    ln.items.erase(ln.items.begin() + idx);
    encode(ln, *p);
  }
  positioned_ = false;
  return rebalance(std::move(path));
}

// Brings every page on the path back to at least half full, from the leaf
// up: an item is borrowed from a sibling that can spare one, otherwise the
// page, the separator and a sibling become one page.
os::Status Ntx::rebalance(std::vector<Level> path) {
  for (size_t lv = path.size(); lv-- > 0;) {
    auto p = page(path[lv].page);
    if (!p.ok()) return p.status();
    Node n = decode(*p);
    if (lv == 0) {
      if (n.items.empty() && n.right != 0) {
        uint32_t old = path[0].page;
        hdr_.root = n.right;
        header_dirty_ = true;
        return free_page(old);
      }
      return {};
    }
    if (n.items.size() >= hdr_.half_page) return {};
    auto pp = page(path[lv - 1].page);
    if (!pp.ok()) return pp.status();
    Node parent = decode(*pp);
    int ci = path[lv - 1].idx;  // this page is child ci of the parent
    if (ci < 0 || ci > static_cast<int>(parent.items.size())) return corrupt(file_.path(), "path");
    auto child_of = [&](int i) {
      return i == static_cast<int>(parent.items.size()) ? parent.right : parent.items[i].child;
    };
    auto set_child = [&](int i, uint32_t c) {
      if (i == static_cast<int>(parent.items.size())) {
        parent.right = c;
      } else {
        parent.items[i].child = c;
      }
    };
    bool has_left = ci > 0;
    bool has_right = ci < static_cast<int>(parent.items.size());
    Node sib;
    uint32_t sib_off = 0;
    if (has_left) {
      sib_off = child_of(ci - 1);
    } else if (has_right) {
      sib_off = child_of(ci + 1);
    } else {
      return {};
    }
    auto sp = page(sib_off);
    if (!sp.ok()) return sp.status();
    sib = decode(*sp);
    // Writes the changed nodes back to their pages.
    auto put = [&](uint32_t off, const Node& node) -> os::Status {
      auto q = page(off);
      if (!q.ok()) return q.status();
      encode(node, *q);
      return {};
    };
    auto put_all = [&](std::initializer_list<std::pair<uint32_t, const Node*>> nodes) {
      for (const auto& [off, node] : nodes) {
        os::Status s = put(off, *node);
        if (!s.ok()) return s;
      }
      return os::Status{};
    };
    const uint32_t here = path[lv].page, above = path[lv - 1].page;
    if (has_left) {
      Item& sep = parent.items[ci - 1];
      if (sib.items.size() > hdr_.half_page) {
        // Borrow the left sibling's last item through the separator.
        Item moved{sib.right, sep.rec, sep.key};
        n.items.insert(n.items.begin(), moved);
        Item last = sib.items.back();
        sib.items.pop_back();
        sib.right = last.child;
        sep.rec = last.rec;
        sep.key = last.key;
        return put_all({{sib_off, &sib}, {here, &n}, {above, &parent}});
      }
      // Merge into the left sibling: sibling + separator + this page.
      sib.items.push_back({sib.right, sep.rec, sep.key});
      for (Item& it : n.items) sib.items.push_back(it);
      sib.right = n.right;
      parent.items.erase(parent.items.begin() + (ci - 1));
      set_child(ci - 1, sib_off);
      os::Status s = put_all({{sib_off, &sib}, {above, &parent}});
      if (!s.ok()) return s;
      s = free_page(here);
      if (!s.ok()) return s;
    } else {
      Item& sep = parent.items[ci];
      if (sib.items.size() > hdr_.half_page) {
        // Borrow the right sibling's first item through the separator.
        Item first = sib.items.front();
        n.items.push_back({n.right, sep.rec, sep.key});
        n.right = first.child;
        sep.rec = first.rec;
        sep.key = first.key;
        sib.items.erase(sib.items.begin());
        return put_all({{sib_off, &sib}, {here, &n}, {above, &parent}});
      }
      // Merge the right sibling into this page.
      n.items.push_back({n.right, sep.rec, sep.key});
      for (Item& it : sib.items) n.items.push_back(it);
      n.right = sib.right;
      parent.items.erase(parent.items.begin() + ci);
      set_child(ci, here);
      os::Status s = put_all({{here, &n}, {above, &parent}});
      if (!s.ok()) return s;
      s = free_page(sib_off);
      if (!s.ok()) return s;
    }
  }
  return {};
}

os::Status Ntx::check_page(uint32_t off, int depth, int* leaf_depth, uint64_t* keys,
                           std::vector<uint32_t>& seen, std::string* last_key, bool* have_last) {
  if (depth > kMaxDepth) return corrupt(file_.path(), "tree too deep");
  if (std::find(seen.begin(), seen.end(), off) != seen.end())
    return corrupt(file_.path(), "page " + std::to_string(off) + " reached twice");
  seen.push_back(off);
  start_op();
  auto p = page(off);
  if (!p.ok()) return p.status();
  Node n = decode(*p);
  bool leaf = n.right == 0;
  for (const Item& it : n.items) {
    if ((it.child == 0) != leaf) return corrupt(file_.path(), "mixed page " + std::to_string(off));
  }
  if (leaf) {
    if (*leaf_depth == 0) *leaf_depth = depth;
    if (*leaf_depth != depth) return corrupt(file_.path(), "leaves at different depths");
  }
  auto order = [&](const std::string& k) -> os::Status {
    if (*have_last && cmp(last_key->data(), k) > 0)
      return corrupt(file_.path(), "keys out of order in page " + std::to_string(off));
    *last_key = k;
    *have_last = true;
    return {};
  };
  for (const Item& it : n.items) {
    if (!leaf) {
      os::Status s = check_page(it.child, depth + 1, leaf_depth, keys, seen, last_key, have_last);
      if (!s.ok()) return s;
    }
    os::Status s = order(it.key);
    if (!s.ok()) return s;
    ++*keys;
  }
  if (!leaf) return check_page(n.right, depth + 1, leaf_depth, keys, seen, last_key, have_last);
  return {};
}

os::Status Ntx::check(uint64_t* keys, int* depth) {
  *keys = 0;
  *depth = 0;
  std::vector<uint32_t> seen;
  std::string last;
  bool have = false;
  return check_page(hdr_.root, 1, depth, keys, seen, &last, &have);
}

}  // namespace kvel::store
