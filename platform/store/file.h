// A file descriptor owned by value, with whole-buffer positioned reads and
// writes. The table store's readers and writers sit on it; every call
// reports through Status with the file name and never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os/status.h"

namespace kvel::store {

class File {
 public:
  File() = default;
  ~File() { close(); }
  File(File&& o) noexcept : fd_(o.fd_), path_(std::move(o.path_)) { o.fd_ = -1; }
  File& operator=(File&& o) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file for reading, or for reading and writing.
  static os::Result<File> open(const std::string& path, bool writable);
  // Creates (or truncates) a file for reading and writing.
  static os::Result<File> create(const std::string& path);

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  void close();
  // The file was renamed: later messages use the new name.
  void renamed(std::string path) { path_ = std::move(path); }

  // Reads exactly n bytes at off; a short read is a failure ("truncated").
  os::Status read_at(uint64_t off, void* buf, size_t n) const;
  // Reads up to n bytes; *got says how many.
  os::Status read_some(uint64_t off, void* buf, size_t n, size_t* got) const;
  os::Status write_at(uint64_t off, const void* buf, size_t n) const;
  os::Result<uint64_t> size() const;
  os::Status truncate(uint64_t n) const;
  os::Status sync() const;

 private:
  int fd_ = -1;
  std::string path_;
};

// "what path: detail" as the store's messages name a file.
os::Status file_error(const std::string& path, const std::string& detail, int dos = 0);

}  // namespace kvel::store
