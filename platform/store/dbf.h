// One DBF table file: header, field descriptors and fixed-length records.
// Reading, rewriting and appending records, kept safe for other programs
// that use the same file (the append lock is taken here); record and table
// locks belong to the work area. Layout: doc/dbf.md.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/status.h"
#include "platform/store/file.h"

namespace kvel::store {

struct FieldDef {
  std::string name;  // upper case, at most 10 characters
  char type = 'C';   // C N D L M; other letters are kept as read
  int len = 0;
  int dec = 0;
  int offset = 0;  // within the record; byte 0 is the deletion flag
};

class Dbf {
 public:
  ~Dbf();
  Dbf(const Dbf&) = delete;
  Dbf& operator=(const Dbf&) = delete;

  // Opens a table. `shared`: other programs may use it too (whole-file share
  // lock shared, record count reread, appends under the append lock).
  static os::Result<std::unique_ptr<Dbf>> open(const std::string& path, bool shared, bool readonly);
  // Writes a new empty table (version 0x83 when a field is a memo).
  static os::Status create(const std::string& path, const std::vector<FieldDef>& fields);
  // Checks a structure: names, types and sizes a table may have. "" when fine.
  static std::string check_structure(const std::vector<FieldDef>& fields);

  const std::string& path() const { return file_.path(); }
  const std::vector<FieldDef>& fields() const { return fields_; }
  // 0-based index of a field by name, any case; -1 when there is none.
  int field_index(std::string_view name) const;
  int record_len() const { return record_len_; }
  int header_len() const { return header_len_; }
  uint8_t version() const { return version_; }
  bool has_memo() const;
  bool shared() const { return shared_; }
  bool readonly() const { return readonly_; }
  int fd() const { return file_.fd(); }
  // Header bytes 1-3: year - 1900, month, day of the last update.
  void last_update(int* y, int* m, int* d) const;

  uint32_t count() const { return count_; }
  // Shared tables: rereads the record count another program may have raised.
  os::Status refresh_count();

  // Pre: 1 <= rec <= count(). buf holds record_len() bytes.
  os::Status read(uint32_t rec, char* buf);
  os::Status write(uint32_t rec, const char* buf);
  // Appends a record and returns its number. Shared: under the append lock,
  // counted from the file size, written with the end mark and the header
  // at once. Exclusive: buffered, written at flush().
  os::Result<uint32_t> append(const char* buf);
  // Writes buffered appends and the header (count, date of update).
  os::Status flush();
  // flush() and the data on disk (hard commit).
  os::Status commit();
  // Drops every record (exclusive only; the caller checks).
  os::Status zap();
  // Keeps the records in `keep` order (1-based numbers, ascending), writing
  // a new file beside the old and renaming it over the old one.
  os::Status rewrite(const std::vector<uint32_t>& keep);

 private:
  Dbf() = default;
  os::Status parse_header(const std::string& hdr, uint64_t file_size);
  os::Status write_header();
  os::Status flush_tail();
  void unmap();
  const char* mapped(uint32_t rec);
  uint64_t rec_off(uint32_t rec) const {
    return static_cast<uint64_t>(header_len_) + static_cast<uint64_t>(rec - 1) * record_len_;
  }

  File file_;
  std::vector<FieldDef> fields_;
  uint8_t version_ = 3;
  int header_len_ = 0;
  int record_len_ = 0;
  uint32_t count_ = 0;
  bool shared_ = false;
  bool readonly_ = false;
  bool header_dirty_ = false;
  // Exclusive appends not yet written: records tail_first_ .. count_.
  std::vector<char> tail_;
  uint32_t tail_first_ = 0;
  // Exclusive opens read through a read-only mapping of the file.
  char* map_ = nullptr;
  size_t map_len_ = 0;
};

}  // namespace kvel::store
