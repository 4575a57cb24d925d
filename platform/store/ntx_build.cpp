#include "platform/store/ntx_build.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <queue>

#include "platform/store/bytes.h"

namespace kvel::store {
namespace {

// Big fresh buffers of a build are asked for in huge pages where the
// system allows: faulting in tens of megabytes 4 KB at a time costs more
// than sorting them.
void advise_huge(void* p, size_t len) {
  constexpr uintptr_t kHuge = 2u << 20;
  auto b = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  auto e = (reinterpret_cast<uintptr_t>(p) + len) & ~(kHuge - 1);
  if (e > b) (void)::madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);
}

// A stream of sorted entries (key bytes, then the record number).
class Source {
 public:
  virtual ~Source() = default;
  // nullptr at the end; the pointer lives until the next call.
  virtual const char* next() = 0;
  virtual os::Status status() const { return {}; }
};

class MemorySource : public Source {
 public:
  MemorySource(const std::vector<char>& buf, std::vector<uint32_t> order, size_t entry)
      : buf_(buf), order_(std::move(order)), entry_(entry) {}
  const char* next() override {
    if (pos_ >= order_.size()) return nullptr;
    return buf_.data() + static_cast<size_t>(order_[pos_++]) * entry_;
  }

 private:
  const std::vector<char>& buf_;
  std::vector<uint32_t> order_;
  size_t entry_;
  size_t pos_ = 0;
};

class RunReader {
 public:
  RunReader(File f, size_t entry) : f_(std::move(f)), entry_(entry) {
    buf_.resize(std::max<size_t>(entry, (256u << 10) / entry * entry));
  }
  const char* next() {
    if (pos_ + entry_ > len_) {
      size_t got = 0;
      st_ = f_.read_some(off_, buf_.data(), buf_.size(), &got);
      if (!st_.ok()) return nullptr;
      got -= got % entry_;
      off_ += got;
      len_ = got;
      pos_ = 0;
      if (got == 0) return nullptr;
    }
    const char* p = buf_.data() + pos_;
    pos_ += entry_;
    return p;
  }
  const os::Status& status() const { return st_; }

 private:
  File f_;
  size_t entry_;
  std::vector<char> buf_;
  uint64_t off_ = 0;
  size_t len_ = 0, pos_ = 0;
  os::Status st_;
};

class MergeSource : public Source {
 public:
  MergeSource(std::vector<std::unique_ptr<RunReader>> runs, size_t key_size, bool descend,
              bool unique)
      : runs_(std::move(runs)), key_size_(key_size), descend_(descend), unique_(unique) {
    heads_.resize(runs_.size());
    for (size_t i = 0; i < runs_.size(); ++i) {
      heads_[i] = runs_[i]->next();
      if (heads_[i]) heap_.push_back(static_cast<int>(i));
    }
    std::make_heap(heap_.begin(), heap_.end(), Greater{this});
    last_.resize(key_size);
  }
  const char* next() override {
    for (;;) {
      if (heap_.empty()) return nullptr;
      std::pop_heap(heap_.begin(), heap_.end(), Greater{this});
      int r = heap_.back();
      heap_.pop_back();
      std::memcpy(out_, heads_[r], key_size_ + 4);
      heads_[r] = runs_[r]->next();
      if (heads_[r]) {
        heap_.push_back(r);
        std::push_heap(heap_.begin(), heap_.end(), Greater{this});
      }
      if (unique_ && have_last_ && std::memcmp(last_.data(), out_, key_size_) == 0) continue;
      std::memcpy(last_.data(), out_, key_size_);
      have_last_ = true;
      return out_;
    }
  }
  os::Status status() const override {
    for (const auto& r : runs_)
      if (!r->status().ok()) return r->status();
    return {};
  }

 private:
  // Heap order: smallest key first; equal keys by run, which is record order.
  struct Greater {
    const MergeSource* m;
    bool operator()(int a, int b) const {
      int c = std::memcmp(m->heads_[a], m->heads_[b], m->key_size_);
      if (m->descend_) c = -c;
      if (c != 0) return c > 0;
      return a > b;
    }
  };
  std::vector<std::unique_ptr<RunReader>> runs_;
  std::vector<const char*> heads_;
  std::vector<int> heap_;
  size_t key_size_;
  bool descend_, unique_;
  char out_[kNtxMaxKey + 8];
  std::vector<char> last_;
  bool have_last_ = false;
};

// Lays the pages out for a known number of keys: each level's pages are
// full except the last two, which share what is left evenly when the last
// would otherwise hold fewer than half a page.
class PageWriter {
 public:
  PageWriter(const NtxHeader& h, File* out, uint64_t n) : h_(h), out_(out) {
    int m = h.max_items;
    uint64_t nl = n;
    for (;;) {
      Level lv;
      lv.keys = nl;
      lv.pages = nl <= static_cast<uint64_t>(m) ? 1 : (nl + 1 + m) / (m + 1);
      lv.own = nl - (lv.pages - 1);
      levels_.push_back(lv);
      if (lv.pages == 1) break;
      nl = lv.pages - 1;
    }
    for (Level& lv : levels_) {
      lv.buf.assign(kNtxPage, '\0');
      start(lv);
    }
    base_ = 2 + 2 * (h.max_items + 1);
  }

  os::Status add(const char* entry) {
    size_t L = 0;
    for (;;) {
      Level& lv = levels_[L];
      if (lv.count < target(L)) {
        put_item(lv, L ? levels_[L - 1].last_done : 0, get32(entry + h_.key_size), entry);
        return {};
      }
      // This page is full and, above the leaves, its last child is done.
      os::Status s = finish_page(L);
      if (!s.ok()) return s;
      if (++L >= levels_.size()) return file_error(out_->path(), "index build overran its levels");
    }
  }

  // Writes the last page of every level; the top one is the root.
  os::Result<uint32_t> close() {
    for (size_t L = 0; L < levels_.size(); ++L) {
      os::Status s = finish_page(L);
      if (!s.ok()) return s;
    }
    os::Status s = drain();
    if (!s.ok()) return s;
    return levels_.back().last_done;
  }

 private:
  struct Level {
    uint64_t keys = 0, pages = 0, own = 0;
    uint64_t page_no = 0;  // index of the page being filled
    int count = 0;
    uint32_t last_done = 0;
    std::string buf;
  };

  int target(size_t L) const {
    const Level& lv = levels_[L];
    int m = h_.max_items;
    if (lv.pages == 1) return static_cast<int>(lv.own);
    if (lv.page_no + 2 < lv.pages) return m;
    uint64_t rest = lv.own - (lv.pages - 2) * static_cast<uint64_t>(m);
    uint64_t last = rest - m;
    bool even = last < h_.half_page;
    if (lv.page_no + 2 == lv.pages) return even ? static_cast<int>((rest + 1) / 2) : m;
    return even ? static_cast<int>(rest / 2) : static_cast<int>(last);
  }

  void start(Level& lv) {
    std::fill(lv.buf.begin(), lv.buf.end(), '\0');
    int base = 2 + 2 * (h_.max_items + 1);
    for (int i = 0; i <= h_.max_items; ++i)
      put16(&lv.buf[2 + 2 * i], static_cast<uint16_t>(base + i * h_.item_size));
    lv.count = 0;
  }

  void put_item(Level& lv, uint32_t child, uint32_t rec, const char* key) {
    char* it = &lv.buf[base_ + static_cast<size_t>(lv.count) * h_.item_size];
    put32(it, child);
    put32(it + 4, rec);
    std::memcpy(it + 8, key, h_.key_size);
    ++lv.count;
  }

  os::Status finish_page(size_t L) {
    Level& lv = levels_[L];
    put16(&lv.buf[0], static_cast<uint16_t>(lv.count));
    char* right = &lv.buf[base_ + static_cast<size_t>(lv.count) * h_.item_size];
    put32(right, L ? levels_[L - 1].last_done : 0);
    uint32_t off = static_cast<uint32_t>(kNtxPage * (1 + pages_written_++));
    pending_.append(lv.buf);
    if (pending_.size() >= (1u << 20)) {
      os::Status s = drain();
      if (!s.ok()) return s;
    }
    lv.last_done = off;
    ++lv.page_no;
    start(lv);
    return {};
  }

  os::Status drain() {
    if (pending_.empty()) return {};
    os::Status s = out_->write_at(pending_at_, pending_.data(), pending_.size());
    pending_at_ += pending_.size();
    pending_.clear();
    return s;
  }

  const NtxHeader& h_;
  File* out_;
  std::vector<Level> levels_;
  int base_ = 0;
  uint64_t pages_written_ = 0;
  std::string pending_;
  uint64_t pending_at_ = kNtxPage;
};

}  // namespace

NtxBuilder::NtxBuilder(NtxHeader hdr, std::string temp_dir, size_t mem_budget)
    : hdr_(std::move(hdr)),
      temp_dir_(std::move(temp_dir)),
      budget_(mem_budget < (1u << 16) ? (1u << 16) : mem_budget),
      entry_(hdr_.key_size + 4u) {
  buf_.reserve(std::min<size_t>(budget_, 1u << 20));
}

NtxBuilder::~NtxBuilder() {
  for (const std::string& r : runs_) ::unlink(r.c_str());
}

void NtxBuilder::expect(uint64_t n) {
  uint64_t fits = budget_ / (entry_ + 16);
  buf_.reserve(static_cast<size_t>(std::min<uint64_t>(n, fits + 1) * entry_));
  advise_huge(buf_.data(), buf_.capacity());
}

os::Status NtxBuilder::add(const char* key, uint32_t rec) {
  char r[4];
  put32(r, rec);
  buf_.insert(buf_.end(), key, key + hdr_.key_size);
  buf_.insert(buf_.end(), r, r + 4);
  ++total_;
  // Each entry also costs 16 bytes of sort keys.
  if ((buf_.size() / entry_) * (entry_ + 16) >= budget_) return spill();
  return {};
}

// Sorts the held entries: by an 8-byte prefix as one integer first, then
// the rest of the key, then arrival (record) order.
void NtxBuilder::sort_run(std::vector<uint32_t>* order) const {
  struct SortKey {
    uint64_t prefix;
    uint32_t idx;
  };
  size_t n = buf_.size() / entry_;
  size_t ks = hdr_.key_size;
  // Keys often share their first bytes (a letter and zeros, leading
  // blanks): the prefix compared as one integer starts after those.
  size_t common = ks;
  for (size_t i = 1; i < n && common > 0; ++i) {
    const char* a = &buf_[0];
    const char* b = &buf_[i * entry_];
    size_t c = 0;
    while (c < common && a[c] == b[c]) ++c;
    common = c;
  }
  if (common == ks) common = 0;
  // Filled below: no need to clear them first.
  std::unique_ptr<SortKey[]> keys(new SortKey[n]);
  advise_huge(keys.get(), n * sizeof(SortKey));
  for (size_t i = 0; i < n; ++i) {
    const auto* k = reinterpret_cast<const unsigned char*>(&buf_[i * entry_]);
    uint64_t p = 0;
    for (size_t b = common; b < common + 8; ++b) p = (p << 8) | (b < ks ? k[b] : 0);
    keys[i] = {hdr_.descend ? ~p : p, static_cast<uint32_t>(i)};
  }
  const char* base = buf_.data();
  size_t entry = entry_;
  bool desc = hdr_.descend;
  // Radix sort on the prefix, 16 bits a pass from the lowest; stable, so
  // equal prefixes stay in arrival (record) order. Passes where every key
  // has the same digit are skipped.
  {
    std::unique_ptr<SortKey[]> tmp(new SortKey[n]);
    advise_huge(tmp.get(), n * sizeof(SortKey));
    std::vector<uint32_t> hist(1u << 16);
    for (int shift = 0; shift < 64; shift += 16) {
      std::fill(hist.begin(), hist.end(), 0u);
      for (size_t i = 0; i < n; ++i) ++hist[(keys[i].prefix >> shift) & 0xFFFF];
      if (n == 0 || hist[(keys[0].prefix >> shift) & 0xFFFF] == n) continue;
      uint32_t sum = 0;
      for (uint32_t& h : hist) {
        uint32_t c = h;
        h = sum;
        sum += c;
      }
      for (size_t i = 0; i < n; ++i) tmp[hist[(keys[i].prefix >> shift) & 0xFFFF]++] = keys[i];
      keys.swap(tmp);
    }
  }
  // Keys longer than the prefix: runs of equal prefixes are ordered by the
  // rest of the key, then by arrival.
  if (ks > common + 8) {
    size_t from = common + 8;
    auto rest_less = [&](const SortKey& a, const SortKey& b) {
      int c = std::memcmp(base + a.idx * entry + from, base + b.idx * entry + from, ks - from);
      if (desc) c = -c;
      if (c != 0) return c < 0;
      return a.idx < b.idx;
    };
    for (size_t i = 0; i < n;) {
      size_t j = i + 1;
      while (j < n && keys[j].prefix == keys[i].prefix) ++j;
      if (j - i > 1) std::sort(keys.get() + i, keys.get() + j, rest_less);
      i = j;
    }
  }
  order->clear();
  order->reserve(n);
  for (size_t i = 0; i < n; ++i) {
    uint32_t idx = keys[i].idx;
    if (hdr_.unique && !order->empty() &&
        std::memcmp(base + order->back() * entry, base + idx * entry, ks) == 0)
      continue;
    order->push_back(idx);
  }
}

os::Status NtxBuilder::spill() {
  std::vector<uint32_t> order;
  sort_run(&order);
  std::string tmpl = temp_dir_ + "/kvel-ntx-XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return os::Status::from_errno("create " + tmpl);
  ::close(fd);
  runs_.push_back(tmpl);
  auto f = File::open(tmpl, true);
  if (!f.ok()) return f.status();
  std::vector<char> out;
  out.reserve(1u << 20);
  uint64_t off = 0;
  for (uint32_t idx : order) {
    out.insert(out.end(), buf_.begin() + static_cast<long>(idx * entry_),
               buf_.begin() + static_cast<long>((idx + 1) * entry_));
    if (out.size() >= (1u << 20)) {
      os::Status s = f->write_at(off, out.data(), out.size());
      if (!s.ok()) return s;
      off += out.size();
      out.clear();
    }
  }
  os::Status s = f->write_at(off, out.data(), out.size());
  buf_.clear();
  return s;
}

os::Status NtxBuilder::finish(const std::string& path) {
  std::unique_ptr<Source> src;
  uint64_t n = total_;
  auto open_runs = [&]() -> os::Result<std::vector<std::unique_ptr<RunReader>>> {
    std::vector<std::unique_ptr<RunReader>> readers;
    for (const std::string& r : runs_) {
      auto f = File::open(r, false);
      if (!f.ok()) return f.status();
      readers.push_back(std::make_unique<RunReader>(std::move(*f), entry_));
    }
    return readers;
  };
  if (runs_.empty()) {
    std::vector<uint32_t> order;
    sort_run(&order);
    n = order.size();
    src = std::make_unique<MemorySource>(buf_, std::move(order), entry_);
  } else {
    if (!buf_.empty()) {
      os::Status s = spill();
      if (!s.ok()) return s;
    }
    if (hdr_.unique) {
      // The number of distinct keys decides the page layout: merge once
      // into a single run to count them.
      auto readers = open_runs();
      if (!readers.ok()) return readers.status();
      MergeSource m(std::move(*readers), hdr_.key_size, hdr_.descend, true);
      std::string tmpl = temp_dir_ + "/kvel-ntx-XXXXXX";
      int fd = ::mkstemp(tmpl.data());
      if (fd < 0) return os::Status::from_errno("create " + tmpl);
      ::close(fd);
      auto f = File::open(tmpl, true);
      if (!f.ok()) return f.status();
      std::vector<char> out;
      uint64_t off = 0;
      n = 0;
      while (const char* e = m.next()) {
        out.insert(out.end(), e, e + entry_);
        ++n;
        if (out.size() >= (1u << 20)) {
          os::Status s = f->write_at(off, out.data(), out.size());
          if (!s.ok()) return s;
          off += out.size();
          out.clear();
        }
      }
      if (!m.status().ok()) return m.status();
      os::Status s = f->write_at(off, out.data(), out.size());
      if (!s.ok()) return s;
      for (const std::string& r : runs_) ::unlink(r.c_str());
      runs_.assign(1, tmpl);
    }
    auto readers = open_runs();
    if (!readers.ok()) return readers.status();
    src = std::make_unique<MergeSource>(std::move(*readers), hdr_.key_size, hdr_.descend, false);
  }
  auto out = File::create(path);
  if (!out.ok()) return out.status();
  PageWriter w(hdr_, &*out, n);
  while (const char* e = src->next()) {
    os::Status s = w.add(e);
    if (!s.ok()) return s;
  }
  if (!src->status().ok()) return src->status();
  auto root = w.close();
  if (!root.ok()) return root.status();
  NtxHeader h = hdr_;
  h.root = *root;
  h.version = 1;
  h.next_free = 0;
  std::string hb = encode_ntx_header(h);
  return out->write_at(0, hb.data(), hb.size());
}

}  // namespace kvel::store
