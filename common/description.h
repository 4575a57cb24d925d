// The two files of an application description. The offset file is a run of
// 11-byte ASCII records (a header holding N, then entry number, byte offset in
// the control file and number of strings per entry); the control file holds the
// NUL-ended parameter strings. Pure functions over bytes: the runner's CRSPAR
// and the kvel-desc tool both use them. Layout: doc/description.md.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvel::common {

inline constexpr size_t kOffsetRecordSize = 11;
inline constexpr size_t kMaxParamLength = 256;  // one read of a parameter string
inline constexpr int kMaxEntryNumber = 999;
inline constexpr long kMaxEntryOffset = 99999;
inline constexpr int kMaxStringCount = 999;
// No offset record reaches past byte 99,999 + 999 strings of 257 bytes; a
// control file far beyond that holds nothing a reader can find, and a text
// source that asks for one is refused rather than allowed to fill the memory.
inline constexpr size_t kMaxControlSize = size_t{16} << 20;

// A decimal field read the way a text converts to a number: leading blanks,
// then digits up to the first other byte; empty or non-numeric is 0.
long field_number(std::string_view field);

struct OffsetRecord {
  long entry = 0;
  long offset = 0;
  long count = 0;
};
// The three fields of one 11-byte record. Pre: rec.size() >= 11.
OffsetRecord split_record(std::string_view rec);
// The record as the tools write it: "%03d%05d%03d".
std::string format_record(long entry, long offset, long count);
// The header record for N entries: "000" + N in 5 digits + "000".
std::string format_header(long n);

// The offset table MSME: for entry k (1..n) its offset and string count;
// entries without a record are absent.
struct OffsetTable {
  long n = 0;
  std::vector<long> offset;  // index k - 1
  std::vector<long> count;
  std::vector<bool> present;
  // Bytes after the last whole record: description files never carry such a
  // fragment, and it is ignored rather than taken for a record.
  size_t fragment = 0;
};

struct OffsetParse {
  enum class Fault { None, NoHeader, BadEntry };
  Fault fault = Fault::None;
  size_t bad_record = 0;  // 1 = the first record after the header
  long bad_entry = 0;
  OffsetTable table;
};

// Reads a whole offset file. A record whose entry number is 0 or above N is a
// fault of the file (reported when it is read, not when the entry is run).
// When two records carry the same entry number the later one wins.
OffsetParse parse_offsets(std::string_view bytes);

// One parameter string from the bytes read at its offset (up to 256 of them):
// the text before the first NUL, or all of them when there is none.
std::string_view param_text(std::string_view chunk);

// The `count` strings of an entry from a whole control-file image: each read
// takes up to 256 bytes at its offset; the next one begins one past its end.
std::vector<std::string> entry_strings(std::string_view control, long offset, long count);

}  // namespace kvel::common
