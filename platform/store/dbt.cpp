#include "platform/store/dbt.h"

#include <cstring>

#include "platform/store/bytes.h"
#include "platform/store/locks.h"

namespace kvel::store {
namespace {

// No memo of the family is this long; a longer run without its end mark is
// a damaged file, read no further.
constexpr size_t kMaxMemo = 64u << 20;

}  // namespace

os::Status Dbt::create(const std::string& path) {
  auto f = File::create(path);
  if (!f.ok()) return f.status();
  char hdr[kMemoBlock] = {};
  put32(hdr, 1);
  put32(hdr + 4, kMemoBlock);
  return f->write_at(0, hdr, sizeof hdr);
}

os::Result<std::unique_ptr<Dbt>> Dbt::open(const std::string& path, bool shared, bool readonly) {
  auto f = File::open(path, !readonly);
  if (!f.ok()) return f.status();
  std::unique_ptr<Dbt> m(new Dbt);
  m->file_ = std::move(*f);
  m->shared_ = shared;
  m->readonly_ = readonly;
  os::Status s = share_lock(m->file_.fd(), shared);
  if (!s.ok()) return os::Status::failure(s.dos(), "open " + path + ": " + s.message(), s.err_no());
  char hdr[8];
  s = m->file_.read_at(0, hdr, sizeof hdr);
  if (!s.ok()) return file_error(path, "not a memo file (header too short)");
  return m;
}

os::Result<std::string> Dbt::read(uint32_t block) {
  if (block == 0) return std::string();
  auto size = file_.size();
  if (!size.ok()) return size.status();
  uint64_t off = static_cast<uint64_t>(block) * kMemoBlock;
  if (off >= *size)
    return file_error(file_.path(), "broken memo pointer (block " + std::to_string(block) + ")");
  std::string out;
  char buf[4096];
  while (off < *size && out.size() < kMaxMemo) {
    size_t got = 0;
    os::Status s = file_.read_some(off, buf, sizeof buf, &got);
    if (!s.ok()) return s;
    if (got == 0) break;
    size_t start = out.size();
    out.append(buf, got);
    // Writers put two 0x1A after the text, but the second may already be
    // the first byte of the next memo (a text one byte short of a block
    // boundary): the first 0x1A ends the text.
    size_t e = out.find('\x1A', start);
    if (e != std::string::npos) {
      out.resize(e);
      return out;
    }
    off += got;
  }
  // No end mark before the end of the file: the text runs to it.
  return out;
}

os::Result<uint32_t> Dbt::write(const std::string& text) {
  if (text.empty()) return 0u;
  if (readonly_)
    return file_error(file_.path(), "memo file opened read-only", os::kDosAccessDenied);
  int fd = file_.fd();
  if (shared_) {
    os::Status s = lock_polled(fd, kMemoLockOffset, 1, os::LockKind::Exclusive);
    if (!s.ok()) return s;
  }
  struct Unlock {
    int fd;
    bool on;
    ~Unlock() {
      if (on) (void)os::unlock_range(fd, kMemoLockOffset, 1);
    }
  } unlock{fd, shared_};
  char hdr[4];
  os::Status s = file_.read_at(0, hdr, 4);
  if (!s.ok()) return s;
  uint32_t next = get32(hdr);
  auto size = file_.size();
  if (!size.ok()) return size.status();
  // A header pointing into the middle of stored memos would overwrite
  // them: never write below the end of the file.
  uint64_t end_block = (*size + kMemoBlock - 1) / kMemoBlock;
  if (next < end_block) next = static_cast<uint32_t>(end_block);
  if (next == 0) next = 1;
  std::string data = text;
  data.append("\x1A\x1A");
  s = file_.write_at(static_cast<uint64_t>(next) * kMemoBlock, data.data(), data.size());
  if (!s.ok()) return s;
  uint32_t blocks = static_cast<uint32_t>((data.size() + kMemoBlock - 1) / kMemoBlock);
  put32(hdr, next + blocks);
  s = file_.write_at(0, hdr, 4);
  if (!s.ok()) return s;
  return next;
}

bool parse_memo_ref(const char* p, int len, uint32_t* block) {
  uint64_t v = 0;
  bool digits = false;
  int i = 0;
  while (i < len && (p[i] == ' ' || p[i] == '\0')) ++i;
  for (; i < len && p[i] >= '0' && p[i] <= '9'; ++i) {
    v = v * 10 + static_cast<uint64_t>(p[i] - '0');
    digits = true;
    if (v > 0xFFFFFFFFu) return false;
  }
  while (i < len && (p[i] == ' ' || p[i] == '\0')) ++i;
  if (i != len) return false;
  *block = digits ? static_cast<uint32_t>(v) : 0;
  return true;
}

void format_memo_ref(uint32_t block, char* p, int len) {
  std::memset(p, ' ', static_cast<size_t>(len));
  if (block == 0) return;
  char tmp[16];
  int n = 0;
  while (block) {
    tmp[n++] = static_cast<char>('0' + block % 10);
    block /= 10;
  }
  for (int i = 0; i < n && i < len; ++i) p[len - 1 - i] = tmp[i];
}

}  // namespace kvel::store
