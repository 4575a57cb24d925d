#include "platform/store/dbf.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/store/bytes.h"
#include "platform/store/locks.h"

namespace kvel::store {
namespace {

constexpr size_t kTailFlushBytes = 1 << 20;
constexpr char kEof = 0x1A;

void today(char* ymd3) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  ymd3[0] = static_cast<char>(tm.tm_year);  // years since 1900 fit a byte until 2155
  ymd3[1] = static_cast<char>(tm.tm_mon + 1);
  ymd3[2] = static_cast<char>(tm.tm_mday);
}

std::string header_bytes(const std::vector<FieldDef>& fields, uint32_t count, int record_len) {
  bool memo = false;
  for (const FieldDef& f : fields) memo = memo || f.type == 'M';
  size_t hlen = 32 + 32 * fields.size() + 2;
  std::string h(hlen, '\0');
  h[0] = static_cast<char>(memo ? 0x83 : 0x03);
  today(&h[1]);
  put32(&h[4], count);
  put16(&h[8], static_cast<uint16_t>(hlen));
  put16(&h[10], static_cast<uint16_t>(record_len));
  for (size_t i = 0; i < fields.size(); ++i) {
    char* d = &h[32 + 32 * i];
    const FieldDef& f = fields[i];
    for (size_t k = 0; k < f.name.size() && k < 10; ++k)
      d[k] = static_cast<char>(std::toupper(static_cast<unsigned char>(f.name[k])));
    d[11] = f.type;
    if (f.type == 'C' && f.len > 255) {
      // Long character fields keep the high byte of the length in the
      // decimals byte, as the family's writers do.
      d[16] = static_cast<char>(f.len & 0xFF);
      d[17] = static_cast<char>(f.len >> 8);
    } else {
      d[16] = static_cast<char>(f.len);
      d[17] = static_cast<char>(f.dec);
    }
  }
  h[hlen - 2] = 0x0D;
  return h;
}

}  // namespace

Dbf::~Dbf() {
  if (file_.is_open() && !readonly_) (void)flush();
  unmap();
}

void Dbf::unmap() {
  if (map_) ::munmap(map_, map_len_);
  map_ = nullptr;
  map_len_ = 0;
}

std::string Dbf::check_structure(const std::vector<FieldDef>& fields) {
  if (fields.empty()) return "a table needs at least one field";
  if (fields.size() > 1024) return "too many fields";
  long total = 1;
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldDef& f = fields[i];
    if (f.name.empty() || f.name.size() > 10) return "bad field name \"" + f.name + "\"";
    for (size_t j = 0; j < i; ++j) {
      if (strcasecmp(fields[j].name.c_str(), f.name.c_str()) == 0)
        return "field \"" + f.name + "\" given twice";
    }
    switch (f.type) {
      case 'C':
        if (f.len < 1 || f.len > 65535) return "bad length of field " + f.name;
        break;
      case 'N':
      case 'F':
        if (f.len < 1 || f.len > 32 || f.dec < 0 || (f.dec > 0 && f.dec > f.len - 2))
          return "bad size of field " + f.name;
        break;
      case 'D':
      case 'L':
      case 'M':
        break;
      default:
        return "bad type of field " + f.name;
    }
    total += f.len;
  }
  if (total > 65535) return "record too long";
  return {};
}

os::Status Dbf::create(const std::string& path, const std::vector<FieldDef>& in) {
  std::vector<FieldDef> fields = in;
  for (FieldDef& f : fields) {
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(f.type)));
    for (char& c : f.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (f.type == 'D') f.len = 8, f.dec = 0;
    if (f.type == 'L') f.len = 1, f.dec = 0;
    if (f.type == 'M') f.len = 10, f.dec = 0;
    if (f.type == 'C') f.dec = 0;
  }
  std::string err = check_structure(fields);
  if (!err.empty()) return file_error(path, err, os::kDosAccessDenied);
  int record_len = 1;
  for (const FieldDef& f : fields) record_len += f.len;
  std::string h = header_bytes(fields, 0, record_len);
  h.push_back(kEof);
  auto f = File::create(path);
  if (!f.ok()) return f.status();
  return f->write_at(0, h.data(), h.size());
}

os::Result<std::unique_ptr<Dbf>> Dbf::open(const std::string& path, bool shared, bool readonly) {
  auto f = File::open(path, !readonly);
  if (!f.ok()) return f.status();
  std::unique_ptr<Dbf> t(new Dbf);
  t->file_ = std::move(*f);
  t->shared_ = shared;
  t->readonly_ = readonly;
  os::Status s = share_lock(t->file_.fd(), shared);
  if (!s.ok()) return os::Status::failure(s.dos(), "open " + path + ": " + s.message(), s.err_no());
  auto size = t->file_.size();
  if (!size.ok()) return size.status();
  std::string hdr(32, '\0');
  s = t->file_.read_at(0, hdr.data(), 32);
  if (!s.ok()) return file_error(path, "not a table (header too short)", os::kDosReadFault);
  uint16_t hlen = get16(&hdr[8]);
  if (hlen < 34 || hlen > *size) return file_error(path, "corrupt table header", os::kDosReadFault);
  hdr.resize(hlen);
  s = t->file_.read_at(0, hdr.data(), hlen);
  if (!s.ok()) return s;
  s = t->parse_header(hdr, *size);
  if (!s.ok()) return s;
  if (!shared) {
    void* m = ::mmap(nullptr, *size, PROT_READ, MAP_SHARED, t->file_.fd(), 0);
    if (m != MAP_FAILED) {
      t->map_ = static_cast<char*>(m);
      t->map_len_ = *size;
    }
  }
  return t;
}

os::Status Dbf::parse_header(const std::string& h, uint64_t file_size) {
  const std::string& p = file_.path();
  version_ = static_cast<uint8_t>(h[0]);
  count_ = get32(&h[4]);
  header_len_ = get16(&h[8]);
  record_len_ = get16(&h[10]);
  if (record_len_ < 2) return file_error(p, "corrupt table header (record length)");
  fields_.clear();
  int offset = 1;
  size_t pos = 32;
  while (pos < h.size() && h[pos] != 0x0D) {
    if (pos + 32 > h.size()) return file_error(p, "corrupt table header (field list)");
    const char* d = &h[pos];
    FieldDef f;
    size_t nl = 0;
    while (nl < 11 && d[nl] != '\0') ++nl;
    f.name.assign(d, nl);
    while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
    for (char& c : f.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(d[11])));
    f.len = static_cast<unsigned char>(d[16]);
    f.dec = static_cast<unsigned char>(d[17]);
    if (f.type == 'C') {
      f.len |= f.dec << 8;
      f.dec = 0;
    }
    f.offset = offset;
    offset += f.len;
    if (f.len == 0 || offset > record_len_)
      return file_error(p, "corrupt table header (field " + f.name + ")");
    fields_.push_back(std::move(f));
    pos += 32;
  }
  if (fields_.empty()) return file_error(p, "corrupt table header (no fields)");
  uint64_t data = file_size > static_cast<uint64_t>(header_len_) ? file_size - header_len_ : 0;
  uint64_t room = data / static_cast<uint64_t>(record_len_);
  if (count_ > room) {
    // A record whose append died before its bytes all reached the file
    // is dropped; a larger shortfall is a damaged table.
    if (count_ - room > 1)
      return file_error(p, "truncated table (fewer records than the header says)");
    count_ = static_cast<uint32_t>(room);
  }
  return {};
}

bool Dbf::has_memo() const {
  for (const FieldDef& f : fields_)
    if (f.type == 'M') return true;
  return false;
}

int Dbf::field_index(std::string_view name) const {
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  for (size_t i = 0; i < fields_.size(); ++i) {
    const std::string& n = fields_[i].name;
    if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

void Dbf::last_update(int* y, int* m, int* d) const {
  char h[4] = {};
  (void)file_.read_at(0, h, 4);
  *y = 1900 + static_cast<unsigned char>(h[1]);
  *m = static_cast<unsigned char>(h[2]);
  *d = static_cast<unsigned char>(h[3]);
}

os::Status Dbf::refresh_count() {
  if (!shared_) return {};
  char h[8];
  os::Status s = file_.read_at(0, h, 8);
  if (!s.ok()) return s;
  uint32_t n = get32(&h[4]);
  if (n != count_) {
    auto size = file_.size();
    if (!size.ok()) return size.status();
    uint64_t room = (*size - std::min<uint64_t>(*size, header_len_)) / record_len_;
    count_ = static_cast<uint32_t>(std::min<uint64_t>(n, room));
  }
  return {};
}

const char* Dbf::mapped(uint32_t rec) {
  uint64_t end = rec_off(rec) + record_len_;
  if (end <= map_len_) return map_ + rec_off(rec);
  if (shared_ || !map_) return nullptr;
  auto size = file_.size();
  if (!size.ok() || end > *size) return nullptr;
  unmap();
  void* m = ::mmap(nullptr, *size, PROT_READ, MAP_SHARED, file_.fd(), 0);
  if (m == MAP_FAILED) return nullptr;
  map_ = static_cast<char*>(m);
  map_len_ = *size;
  return map_ + rec_off(rec);
}

os::Status Dbf::read(uint32_t rec, char* buf) {
  if (rec < 1 || rec > count_) return file_error(file_.path(), "record out of range");
  if (tail_first_ && rec >= tail_first_) {
    std::memcpy(buf, tail_.data() + static_cast<size_t>(rec - tail_first_) * record_len_,
                record_len_);
    return {};
  }
  if (map_) {
    if (const char* p = mapped(rec)) {
      std::memcpy(buf, p, record_len_);
      return {};
    }
  }
  return file_.read_at(rec_off(rec), buf, record_len_);
}

os::Status Dbf::write(uint32_t rec, const char* buf) {
  if (readonly_) return file_error(file_.path(), "table opened read-only", os::kDosAccessDenied);
  if (rec < 1 || rec > count_) return file_error(file_.path(), "record out of range");
  if (tail_first_ && rec >= tail_first_) {
    std::memcpy(tail_.data() + static_cast<size_t>(rec - tail_first_) * record_len_, buf,
                record_len_);
    return {};
  }
  header_dirty_ = true;
  return file_.write_at(rec_off(rec), buf, record_len_);
}

os::Result<uint32_t> Dbf::append(const char* buf) {
  if (readonly_) return file_error(file_.path(), "table opened read-only", os::kDosAccessDenied);
  if (!shared_) {
    if (!tail_first_) tail_first_ = count_ + 1;
    tail_.insert(tail_.end(), buf, buf + record_len_);
    ++count_;
    header_dirty_ = true;
    if (tail_.size() >= kTailFlushBytes) {
      os::Status s = flush();
      if (!s.ok()) return s;
    }
    return count_;
  }
  // Other programs append too: the count is taken from the file size while
  // the append lock is held, and the record, end mark and header are
  // written before it is released.
  int fd = file_.fd();
  os::Status s = lock_polled(fd, kAppendLockOffset, 1, os::LockKind::Exclusive);
  if (!s.ok()) return s;
  struct Unlock {
    int fd;
    ~Unlock() { (void)os::unlock_range(fd, kAppendLockOffset, 1); }
  } unlock{fd};
  auto size = file_.size();
  if (!size.ok()) return size.status();
  uint64_t data = *size > static_cast<uint64_t>(header_len_) ? *size - header_len_ : 0;
  auto n = static_cast<uint32_t>(data / record_len_);
  std::vector<char> out(buf, buf + record_len_);
  out.push_back(kEof);
  s = file_.write_at(rec_off(n + 1), out.data(), out.size());
  if (!s.ok()) return s;
  count_ = n + 1;
  s = write_header();
  if (!s.ok()) return s;
  return count_;
}

os::Status Dbf::write_header() {
  char h[7];
  today(h);
  put32(&h[3], count_);
  header_dirty_ = false;
  return file_.write_at(1, h, 7);
}

os::Status Dbf::flush_tail() {
  if (!tail_first_) return {};
  tail_.push_back(kEof);
  os::Status s = file_.write_at(rec_off(tail_first_), tail_.data(), tail_.size());
  tail_.clear();
  tail_first_ = 0;
  return s;
}

os::Status Dbf::flush() {
  if (readonly_) return {};
  os::Status s = flush_tail();
  if (!s.ok()) return s;
  // The header goes after the records, so that a crash in between leaves a
  // header that promises no more than the file holds.
  if (header_dirty_) return write_header();
  return {};
}

os::Status Dbf::commit() {
  os::Status s = flush();
  if (!s.ok()) return s;
  return file_.sync();
}

os::Status Dbf::zap() { return rewrite({}); }

os::Status Dbf::rewrite(const std::vector<uint32_t>& keep) {
  if (readonly_) return file_error(file_.path(), "table opened read-only", os::kDosAccessDenied);
  os::Status s = flush();
  if (!s.ok()) return s;
  const std::string path = file_.path();
  const std::string tmp = path + ".kvtmp";
  auto out = File::create(tmp);
  if (!out.ok()) return out.status();
  struct Remove {
    const std::string& name;
    bool armed = true;
    ~Remove() {
      if (armed) ::unlink(name.c_str());
    }
  } remove_tmp{tmp};
  // The old header is kept as it is (code page byte, reserved bytes) apart
  // from the count and date.
  std::string hdr(static_cast<size_t>(header_len_), '\0');
  s = file_.read_at(0, hdr.data(), hdr.size());
  if (!s.ok()) return s;
  today(&hdr[1]);
  put32(&hdr[4], static_cast<uint32_t>(keep.size()));
  std::vector<char> buf;
  buf.reserve(kTailFlushBytes + record_len_);
  buf.insert(buf.end(), hdr.begin(), hdr.end());
  uint64_t off = 0;
  std::vector<char> rec(static_cast<size_t>(record_len_));
  for (uint32_t r : keep) {
    s = read(r, rec.data());
    if (!s.ok()) return s;
    buf.insert(buf.end(), rec.begin(), rec.end());
    if (buf.size() >= kTailFlushBytes) {
      s = out->write_at(off, buf.data(), buf.size());
      if (!s.ok()) return s;
      off += buf.size();
      buf.clear();
    }
  }
  buf.push_back(kEof);
  s = out->write_at(off, buf.data(), buf.size());
  if (!s.ok()) return s;
  s = out->sync();
  if (!s.ok()) return s;
  // The new file is held exclusively before it takes the old one's name, so
  // that no other program opens it in between.
  s = share_lock(out->fd(), false);
  if (!s.ok()) return s;
  if (::rename(tmp.c_str(), path.c_str()) != 0) return os::Status::from_errno("rename " + tmp);
  remove_tmp.armed = false;
  unmap();
  file_ = std::move(*out);
  file_.renamed(path);
  count_ = static_cast<uint32_t>(keep.size());
  header_dirty_ = false;
  if (!shared_) {
    auto size = file_.size();
    if (size.ok() && *size) {
      void* m = ::mmap(nullptr, *size, PROT_READ, MAP_SHARED, file_.fd(), 0);
      if (m != MAP_FAILED) {
        map_ = static_cast<char*>(m);
        map_len_ = *size;
      }
    }
  }
  return {};
}

}  // namespace kvel::store
