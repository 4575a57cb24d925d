// The memo file of a table: 512-byte blocks, block 0 holding the number of
// the next free block. A memo is its text followed by two 0x1A bytes,
// starting at a block boundary; a changed memo always takes new blocks at
// the end. Writers hold the memo lock (byte 0). Layout: doc/dbt.md.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/os/status.h"
#include "platform/store/file.h"

namespace kvel::store {

inline constexpr int kMemoBlock = 512;

class Dbt {
 public:
  static os::Result<std::unique_ptr<Dbt>> open(const std::string& path, bool shared, bool readonly);
  static os::Status create(const std::string& path);

  const std::string& path() const { return file_.path(); }
  // The text of the memo at `block` (0: the empty memo). A block past the end
  // of the file is a broken pointer.
  os::Result<std::string> read(uint32_t block);
  // Writes a memo and returns its first block (0 for an empty text).
  os::Result<uint32_t> write(const std::string& text);

 private:
  Dbt() = default;
  File file_;
  bool shared_ = false;
  bool readonly_ = false;
};

// A memo field's 10 bytes: a right-aligned block number, blank for none.
// Returns false when the field holds anything else.
bool parse_memo_ref(const char* p, int len, uint32_t* block);
void format_memo_ref(uint32_t block, char* p, int len);

}  // namespace kvel::store
