#include "platform/os/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/os/path.h"

namespace kvel::os {
namespace {

// Sharing modes are kept as shared OFD locks on four bytes far above every
// byte the tables' lock protocol uses: "open for reading", "open for
// writing", "denies reading", "denies writing". An open first marks what it
// does and denies, then looks for another descriptor's marks that refuse it.
// Marking before looking means two racing opens never both succeed (at worst
// both fail and one retries). Range locks rather than flock: network file
// systems may turn flock into a whole-file range lock, which would refuse
// every record lock of a table that is open shared.
constexpr uint64_t kShareBase = 0x7FFF'FFFF'FFFF'FF00ull;
constexpr uint64_t kReading = kShareBase + 0;
constexpr uint64_t kWriting = kShareBase + 1;
constexpr uint64_t kDenyRead = kShareBase + 2;
constexpr uint64_t kDenyWrite = kShareBase + 3;

bool lock_byte(int fd, uint64_t at, int& err) {
  struct flock fl {};
  fl.l_type = F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(at);
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
  err = errno;
  return false;
}

// Another descriptor holds a mark on the byte.
bool marked_elsewhere(int fd, uint64_t at) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(at);
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

bool locks_unsupported(int err) {
  return err == ENOLCK || err == EINVAL || err == EOPNOTSUPP || err == ENOSYS;
}

// Pre: fd is open for reading (marks are shared locks). Returns a failure
// when the sharing of another descriptor refuses this open.
Status claim_share(int fd, Access access, Share share, const std::string& path) {
  bool reads = access != Access::Write;
  bool writes = access != Access::Read;
  bool deny_read = share == Share::Exclusive || share == Share::DenyRead;
  bool deny_write = share == Share::Exclusive || share == Share::DenyWrite;
  int err = 0;
  uint64_t mine[4];
  int n = 0;
  if (reads) mine[n++] = kReading;
  if (writes) mine[n++] = kWriting;
  if (deny_read) mine[n++] = kDenyRead;
  if (deny_write) mine[n++] = kDenyWrite;
  for (int i = 0; i < n; ++i) {
    if (!lock_byte(fd, mine[i], err)) {
      // A file system without locks: the open goes on without sharing.
      if (locks_unsupported(err)) return {};
      return Status::from_errno(err, "open " + path);
    }
  }
  bool refused = (reads && marked_elsewhere(fd, kDenyRead)) ||
                 (writes && marked_elsewhere(fd, kDenyWrite)) ||
                 (deny_read && marked_elsewhere(fd, kReading)) ||
                 (deny_write && marked_elsewhere(fd, kWriting));
  if (refused) return Status::failure(kDosSharingViolation, "open " + path + ": in use", EBUSY);
  return {};
}

// A failure on a name. DOS tells a missing directory ("path not found") from
// a missing file; Linux says ENOENT for both.
Status name_failure(const std::string& what, const std::string& path, int e) {
  Status s = Status::from_errno(e, what + " " + path);
  if (e != ENOENT) return s;
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return s;
  struct stat st {};
  std::string parent = path.substr(0, slash);
  if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return s;
  return Status::failure(kDosPathNotFound, s.message(), e);
}

// Write errors: an I/O error while writing is a write fault, not a read fault.
Status write_failure(int e) {
  if (e == EIO) return Status::failure(kDosWriteFault, "write: I/O error", e);
  return Status::from_errno(e, "write");
}

Status close_fd(int fd) {
  // Linux closes the descriptor even when close reports EINTR: no retry.
  if (::close(fd) == 0 || errno == EINTR) return {};
  return Status::from_errno("close");
}

}  // namespace

Status claim_sharing(int fd, OpenMode mode, const std::string& path) {
  return claim_share(fd, mode.access, mode.share, path);
}

OpenMode open_mode_from_number(int mode) {
  OpenMode m;
  switch (mode & 3) {
    case 1:
      m.access = Access::Write;
      break;
    case 2:
      m.access = Access::ReadWrite;
      break;
    default:
      m.access = Access::Read;
      break;
  }
  switch (mode & 0x70) {
    case 16:
      m.share = Share::Exclusive;
      break;
    case 32:
      m.share = Share::DenyWrite;
      break;
    case 48:
      m.share = Share::DenyRead;
      break;
    case 64:
      m.share = Share::DenyNone;
      break;
    default:
      m.share = Share::Compat;
      break;
  }
  return m;
}

File::~File() {
  if (fd_ >= 0) close_fd(fd_);
}

File::File(File&& o) noexcept : fd_(o.fd_), access_(o.access_) { o.fd_ = -1; }

File& File::operator=(File&& o) noexcept {
  if (this != &o) {
    if (fd_ >= 0) close_fd(fd_);
    fd_ = o.fd_;
    access_ = o.access_;
    o.fd_ = -1;
  }
  return *this;
}

namespace {

bool read_only_mode(const struct stat& st) {
  return S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

bool read_only_attribute(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && read_only_mode(st);
}

bool read_only_attribute(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && read_only_mode(st);
}

Result<File> File::open(const std::string& path, OpenMode mode) {
  // Write-only opens read too when they may, because the sharing marks are
  // shared locks; reading through such a handle is refused below.
  int flags = mode.access == Access::Read ? O_RDONLY : O_RDWR;
  // Non-blocking while opening, so that a FIFO given as a name cannot hang
  // the open; the descriptor is made blocking again at once.
  flags |= O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = ::open(path.c_str(), flags);
  bool marks = true;
  if (fd < 0 && errno == EACCES && mode.access == Access::Write) {
    fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    marks = false;
  }
  if (fd < 0) return name_failure("open", path, errno);
  File f(fd, mode.access);
  if (mode.access != Access::Read && read_only_attribute(fd))
    return Status::from_errno(EACCES, "open " + path + " (read-only)");
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
    return Status::from_errno(EISDIR, "open " + path);
  if (marks) {
    Status s = claim_share(fd, mode.access, mode.share, path);
    if (!s.ok()) return s;
  }
  return f;
}

Result<File> File::create(const std::string& path, Share share, bool read_only) {
  if (read_only_attribute(path))
    return Status::from_errno(EACCES, "create " + path + " (read-only)");
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, read_only ? 0444 : 0666);
  if (fd < 0) return name_failure("create", path, errno);
  path_changed(path);
  File f(fd, Access::ReadWrite);
  // Emptied only once no other descriptor's sharing refuses us, so that a
  // refused create leaves the other user's data alone.
  Status s = claim_share(fd, Access::ReadWrite, share, path);
  if (!s.ok()) return s;
  if (::ftruncate(fd, 0) != 0) return Status::from_errno("create " + path);
  return f;
}

Result<size_t> File::read(void* buf, size_t n) {
  if (fd_ < 0) return Status::from_errno(EBADF, "read");
  if (access_ == Access::Write)
    return Status::failure(kDosAccessDenied, "read: opened for writing");
  for (;;) {
    ssize_t r = ::read(fd_, buf, n);
    if (r >= 0) return static_cast<size_t>(r);
    if (errno != EINTR) return Status::from_errno("read");
  }
}

// Writes all n bytes through op(bytes, length, bytes done so far), going on
// after interruptions and partial writes.
template <class Op>
Result<size_t> File::write_all(const void* buf, size_t n, Op op) {
  if (fd_ < 0) return Status::from_errno(EBADF, "write");
  if (access_ == Access::Read)
    return Status::failure(kDosAccessDenied, "write: opened for reading");
  const char* p = static_cast<const char*>(buf);
  size_t done = 0;
  while (done < n) {
    ssize_t w = op(p + done, n - done, done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    // Part written: the caller sees the short count; the next write reports why.
    if (done > 0) return done;
    if (w == 0) return Status::from_errno(ENOSPC, "write");
    return write_failure(errno);
  }
  return done;
}

Result<size_t> File::write(const void* buf, size_t n) {
  return write_all(buf, n,
                   [this](const char* p, size_t len, size_t) { return ::write(fd_, p, len); });
}

Result<size_t> File::read_at(uint64_t offset, void* buf, size_t n) {
  if (fd_ < 0) return Status::from_errno(EBADF, "read");
  if (access_ == Access::Write)
    return Status::failure(kDosAccessDenied, "read: opened for writing");
  char* p = static_cast<char*>(buf);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
    if (r > 0) {
      done += static_cast<size_t>(r);
      continue;
    }
    if (r == 0) break;
    if (errno == EINTR) continue;
    if (done > 0) break;
    return Status::from_errno("read");
  }
  return done;
}

Result<size_t> File::write_at(uint64_t offset, const void* buf, size_t n) {
  return write_all(buf, n, [this, offset](const char* p, size_t len, size_t done) {
    return ::pwrite(fd_, p, len, static_cast<off_t>(offset + done));
  });
}

Result<uint64_t> File::seek(int64_t offset, int whence) {
  if (fd_ < 0) return Status::from_errno(EBADF, "seek");
  int w = whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(fd_, static_cast<off_t>(offset), w);
  if (r < 0) return Status::from_errno("seek");
  return static_cast<uint64_t>(r);
}

Result<uint64_t> File::size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return Status::from_errno(fd_ < 0 ? EBADF : errno, "size");
  return static_cast<uint64_t>(st.st_size);
}

Status File::truncate(uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return {};
  return Status::from_errno("truncate");
}

Status File::sync() {
  if (::fsync(fd_) == 0) return {};
  // Pipes and character devices cannot be flushed; nothing is lost.
  if (errno == EINVAL || errno == EROFS) return {};
  return Status::from_errno("sync");
}

Status File::close() {
  if (fd_ < 0) return Status::from_errno(EBADF, "close");
  int fd = fd_;
  fd_ = -1;
  return close_fd(fd);
}

Result<std::string> read_whole(const std::string& path) {
  auto f = File::open(path, {Access::Read, Share::DenyNone});
  if (!f.ok()) return f.status();
  // A device or a pipe has no end to read to (/dev/zero would fill memory).
  struct stat st {};
  if (::fstat(f->fd(), &st) != 0 || !S_ISREG(st.st_mode))
    return Status::failure(kDosAccessDenied, "read " + path + ": not a file", EINVAL);
  std::string out;
  auto sz = f->size();
  if (sz.ok()) out.reserve(static_cast<size_t>(*sz));
  char buf[65536];
  for (;;) {
    auto n = f->read(buf, sizeof buf);
    if (!n.ok()) return n.status();
    if (*n == 0) break;
    out.append(buf, *n);
  }
  return out;
}

Status write_whole(const std::string& path, std::string_view bytes) {
  struct stat st {};
  bool existed = ::stat(path.c_str(), &st) == 0;
  if (existed && !S_ISREG(st.st_mode)) return Status::from_errno(EISDIR, "write " + path);
  // The replacement is written beside the file and renamed over it, so a
  // full disk leaves the old contents; where the directory refuses new
  // entries the file is rewritten in place.
  std::string tmp = path + ".XXXXXX";
  int tfd = ::mkstemp(tmp.data());
  if (tfd < 0) {
    if (errno != EACCES && errno != EROFS && errno != EPERM)
      return name_failure("write", path, errno);
    auto f = File::create(path);
    if (!f.ok()) return f.status();
    auto w = f->write(bytes.data(), bytes.size());
    if (!w.ok()) return w.status();
    if (*w != bytes.size()) return Status::from_errno(ENOSPC, "write " + path);
    return f->close();
  }
  mode_t mode = st.st_mode & 07777;
  if (!existed) {
    mode_t um = ::umask(0);
    ::umask(um);
    mode = 0666 & ~um;
  }
  ::fchmod(tfd, mode);
  File t = File::adopt(tfd, Access::Write);
  auto w = t.write(bytes.data(), bytes.size());
  Status s = !w.ok()              ? w.status()
             : *w != bytes.size() ? Status::from_errno(ENOSPC, "write " + path)
                                  : t.sync();
  if (s.ok()) s = t.close();
  if (s.ok() && ::rename(tmp.c_str(), path.c_str()) != 0) s = Status::from_errno("write " + path);
  if (!s.ok()) ::unlink(tmp.c_str());
  path_changed(path);
  return s;
}

Status remove_file(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return Status::from_errno(EACCES, "erase " + path);
  if (::unlink(path.c_str()) != 0) return name_failure("erase", path, errno);
  path_changed(path);
  return {};
}

Status rename_file(const std::string& from, const std::string& to) {
  // DOS never replaces an existing file by renaming.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0)
    return Status::failure(kDosAccessDenied, "rename " + to + ": exists", EEXIST);
  if (::rename(from.c_str(), to.c_str()) != 0) return name_failure("rename", from, errno);
  path_changed(from);
  path_changed(to);
  return {};
}

Status make_dir(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) {
    // DOS refuses an existing name with "access denied".
    if (errno == EEXIST)
      return Status::failure(kDosAccessDenied, "mkdir " + path + ": exists", EEXIST);
    return name_failure("mkdir", path, errno);
  }
  path_changed(path);
  return {};
}

Status remove_dir(const std::string& path) {
  if (::rmdir(path.c_str()) != 0) return name_failure("rmdir", path, errno);
  path_changed(path);
  return {};
}

Status change_dir(const std::string& path) {
  if (::chdir(path.c_str()) != 0) return name_failure("chdir", path, errno);
  return {};
}

bool wildcard_match(std::string_view pat, std::string_view name) {
  if (pat == "*.*") return true;
  // Iterative match with one backtrack point for the last "*".
  size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pat.size() && pat[p] == '*') {
      star = p++;
      mark = n;
    } else if (p < pat.size() &&
               (pat[p] == '?' || fold_name_char(pat[p]) == fold_name_char(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  // "NAME.*" matches "NAME" too, as DOS lets the extension be empty.
  while (p < pat.size() &&
         (pat[p] == '*' || (pat[p] == '.' && p + 1 < pat.size() && pat[p + 1] == '*')))
    ++p;
  return p == pat.size();
}

namespace {

int attrs_of(const std::string& name, const struct stat& st) {
  int a = 0;
  if (S_ISDIR(st.st_mode))
    a |= 16;
  else
    a |= 32;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) a |= 1;
  if (!name.empty() && name[0] == '.') a |= 2;
  return a;
}

std::string attr_letters(int a) {
  std::string s;
  if (a & 1) s += 'R';
  if (a & 2) s += 'H';
  if (a & 16) s += 'D';
  if (a & 32) s += 'A';
  return s;
}

}  // namespace

Result<std::vector<DirEntry>> list_dir(const std::string& dir, std::string_view pattern,
                                       std::string_view attributes) {
  auto has = [&](char c) {
    return std::any_of(attributes.begin(), attributes.end(),
                       [c](char a) { return fold_name_char(a) == fold_name_char(c); });
  };
  bool dirs = has('D');
  bool hidden = has('H') || has('S');
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return name_failure("directory", dir, errno);
  std::vector<DirEntry> out;
  while (struct dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    if (!wildcard_match(pattern.empty() ? "*.*" : pattern, n)) continue;
    std::string full = dir.empty() ? n : (dir.back() == '/' ? dir + n : dir + "/" + n);
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0) continue;  // vanished or a dangling link
    int a = attrs_of(n, st);
    if ((a & 16) && !dirs) continue;
    if ((a & 2) && !hidden) continue;
    out.push_back({n, S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size), st.st_mtime,
                   attr_letters(a)});
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return out;
}

Result<int> file_attributes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Status::from_errno("attributes " + path);
  size_t slash = path.rfind('/');
  return attrs_of(slash == std::string::npos ? path : path.substr(slash + 1), st);
}

Status set_file_attributes(const std::string& path, int attributes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Status::from_errno("attributes " + path);
  mode_t m = st.st_mode & 07777;
  if (attributes & 1)
    m &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    m |= S_IWUSR;
  if (m != (st.st_mode & 07777) && ::chmod(path.c_str(), m) != 0)
    return Status::from_errno("attributes " + path);
  return {};
}

Result<uint64_t> disk_free(const std::string& path) {
  struct statvfs sv {};
  if (::statvfs(path.empty() ? "." : path.c_str(), &sv) != 0)
    return Status::from_errno("disk free " + path);
  return static_cast<uint64_t>(sv.f_bavail) * static_cast<uint64_t>(sv.f_frsize);
}

}  // namespace kvel::os
