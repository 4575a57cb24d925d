// Builds a whole NTX index in one go from (key, record) pairs given in
// record order: sorted runs of bounded size spill to temporary files and
// are merged, and the pages are written bottom-up in one pass, full pages
// first and the last two of each level shared out evenly, as the family's
// own builders lay them out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/os/status.h"
#include "platform/store/file.h"
#include "platform/store/ntx.h"

namespace kvel::store {

class NtxBuilder {
 public:
  // `temp_dir`: where runs spill; `mem_budget`: bytes of keys held at once.
  NtxBuilder(NtxHeader hdr, std::string temp_dir, size_t mem_budget = 48u << 20);
  ~NtxBuilder();
  NtxBuilder(const NtxBuilder&) = delete;
  NtxBuilder& operator=(const NtxBuilder&) = delete;

  // The number of keys to come, when known: memory is taken at once.
  void expect(uint64_t n);
  // Pre: key is header().key_size bytes; records come in ascending order.
  os::Status add(const char* key, uint32_t rec);
  // Writes the index file at `path` (created or replaced in place).
  os::Status finish(const std::string& path);
  const NtxHeader& header() const { return hdr_; }

 private:
  struct Sorted;
  os::Status spill();
  void sort_run(std::vector<uint32_t>* order) const;

  NtxHeader hdr_;
  std::string temp_dir_;
  size_t budget_;
  size_t entry_;  // key + record number
  std::vector<char> buf_;
  std::vector<std::string> runs_;  // spilled run files, in record order
  uint64_t total_ = 0;
};

}  // namespace kvel::store
