#include "platform/store/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os/file.h"

namespace kvel::store {

File& File::operator=(File&& o) noexcept {
  if (this != &o) {
    close();
    fd_ = o.fd_;
    path_ = std::move(o.path_);
    o.fd_ = -1;
  }
  return *this;
}

os::Result<File> File::open(const std::string& path, bool writable) {
  int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return os::Status::from_errno("open " + path);
  File f;
  f.fd_ = fd;
  f.path_ = path;
  if (writable && os::read_only_attribute(fd))
    return os::Status::from_errno(EACCES, "open " + path + " (read-only)");
  return f;
}

os::Result<File> File::create(const std::string& path) {
  if (os::read_only_attribute(path))
    return os::Status::from_errno(EACCES, "create " + path + " (read-only)");
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return os::Status::from_errno("create " + path);
  File f;
  f.fd_ = fd;
  f.path_ = path;
  return f;
}

void File::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

os::Status File::read_some(uint64_t off, void* buf, size_t n, size_t* got) const {
  size_t done = 0;
  auto* p = static_cast<char*>(buf);
  while (done < n) {
    ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(off + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return os::Status::from_errno("read " + path_);
    }
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  *got = done;
  return {};
}

os::Status File::read_at(uint64_t off, void* buf, size_t n) const {
  size_t got = 0;
  os::Status s = read_some(off, buf, n, &got);
  if (!s.ok()) return s;
  if (got != n) return file_error(path_, "truncated file", os::kDosReadFault);
  return {};
}

os::Status File::write_at(uint64_t off, const void* buf, size_t n) const {
  size_t done = 0;
  auto* p = static_cast<const char*>(buf);
  while (done < n) {
    ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(off + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return os::Status::from_errno("write " + path_);
    }
    done += static_cast<size_t>(r);
  }
  return {};
}

os::Result<uint64_t> File::size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return os::Status::from_errno("stat " + path_);
  return static_cast<uint64_t>(st.st_size);
}

os::Status File::truncate(uint64_t n) const {
  if (::ftruncate(fd_, static_cast<off_t>(n)) != 0)
    return os::Status::from_errno("truncate " + path_);
  return {};
}

os::Status File::sync() const {
  if (::fdatasync(fd_) != 0) return os::Status::from_errno("sync " + path_);
  return {};
}

os::Status file_error(const std::string& path, const std::string& detail, int dos) {
  return os::Status::failure(dos ? dos : os::kDosReadFault, path + ": " + detail);
}

}  // namespace kvel::store
