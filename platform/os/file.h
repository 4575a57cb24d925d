// Files by handle and by name: open with the family's access and sharing
// modes, read, write, seek, and the directory operations. Names here are Linux
// paths already passed through the path layer (path.h); operations that add,
// remove or rename directory entries tell the path layer's caches.
// Sharing between descriptors and processes: doc/paths.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/status.h"

namespace kvel::os {

enum class Access { Read, Write, ReadWrite };
// Compat behaves as DenyNone; Exclusive denies reading and writing to others.
enum class Share { Compat, Exclusive, DenyWrite, DenyRead, DenyNone };

struct OpenMode {
  Access access = Access::Read;
  Share share = Share::Compat;
};
// The language's FOPEN mode number: access 0 read, 1 write, 2 read-write,
// plus sharing 0 compat, 16 exclusive, 32 deny write, 48 deny read, 64 deny none.
OpenMode open_mode_from_number(int mode);

// Claims the sharing of `mode` for a descriptor opened by other means (the
// table store's own files), exactly as File::open does: refused by another
// descriptor's sharing, DOS 32. Pre: fd is open for reading and has not
// claimed before. The claim lasts until the descriptor is closed; a refused
// descriptor is to be closed too. A file system without locks grants it.
Status claim_sharing(int fd, OpenMode mode, const std::string& path);

// The read-only attribute: a regular file that nobody may write. Opening it
// for writing, or creating over it, is refused (DOS 5) to every user, root
// included, as on the systems the files come from.
bool read_only_attribute(int fd);
bool read_only_attribute(const std::string& path);

// An open file. Owns its descriptor; moving hands it on, destruction closes it.
class File {
 public:
  File() = default;
  ~File();
  File(File&& o) noexcept;
  File& operator=(File&& o) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file. Refused by another descriptor's sharing: DOS 32.
  static Result<File> open(const std::string& path, OpenMode mode);
  // Creates the file, or empties an existing one; opened read-write with the
  // given sharing. Read-only permissions when `read_only` (the family's
  // FCREATE attribute 1); the new handle can still write.
  static Result<File> create(const std::string& path, Share share = Share::Compat,
                             bool read_only = false);

  // Takes ownership of an open descriptor (no sharing marks are taken).
  static File adopt(int fd, Access access) { return File(fd, access); }

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  Access access() const { return access_; }

  // Reads up to n bytes at the current position; 0 at the end of the file.
  Result<size_t> read(void* buf, size_t n);
  // Writes all n bytes (a short count only when the disk is full: DOS 29).
  Result<size_t> write(const void* buf, size_t n);
  // At an explicit offset, the position unchanged.
  Result<size_t> read_at(uint64_t offset, void* buf, size_t n);
  Result<size_t> write_at(uint64_t offset, const void* buf, size_t n);
  // whence: 0 from the start, 1 from the current position, 2 from the end.
  // A position before the start is refused (DOS 25 is not ours: EINVAL).
  Result<uint64_t> seek(int64_t offset, int whence);
  Result<uint64_t> size() const;
  Status truncate(uint64_t size);
  Status sync();
  Status close();

 private:
  File(int fd, Access a) : fd_(fd), access_(a) {}
  template <class Op>
  Result<size_t> write_all(const void* buf, size_t n, Op op);
  int fd_ = -1;
  Access access_ = Access::Read;
};

// Whole files.
Result<std::string> read_whole(const std::string& path);
// Writes the bytes to a new file beside path and renames it over path, so
// that a failure leaves the old contents.
Status write_whole(const std::string& path, std::string_view bytes);

// Directory entries.
Status remove_file(const std::string& path);
Status rename_file(const std::string& from, const std::string& to);
Status make_dir(const std::string& path);
Status remove_dir(const std::string& path);
// Makes path the process's current directory (and so its drive the current
// drive of the path layer).
Status change_dir(const std::string& path);

// The family's file attribute letters: "R" read-only, "H" hidden (names
// beginning with "."), "D" directory, "A" archive (every regular file).
struct DirEntry {
  std::string name;
  uint64_t size = 0;
  std::time_t mtime = 0;
  std::string attributes;
};
// Entries of `dir` whose name matches the DOS wildcard pattern ("*.DBF",
// "A?C.*") without regard to letter case. Directories are listed when
// `attributes` holds "D", hidden entries when it holds "H" (or "S").
// Sorted by name.
Result<std::vector<DirEntry>> list_dir(const std::string& dir, std::string_view pattern,
                                       std::string_view attributes = {});
// DOS wildcard match: "*" any run, "?" one character, "*.*" and "*" match
// every name, letter case ignored.
bool wildcard_match(std::string_view pattern, std::string_view name);

// Attributes of an existing entry as the bit set of the family (1 read-only,
// 2 hidden, 16 directory, 32 archive).
Result<int> file_attributes(const std::string& path);
// Sets the read-only bit (the write permissions); hidden, system and archive
// cannot be kept by the file system and are ignored.
Status set_file_attributes(const std::string& path, int attributes);

// Free bytes for an unprivileged user on the file system holding path.
Result<uint64_t> disk_free(const std::string& path);

}  // namespace kvel::os
