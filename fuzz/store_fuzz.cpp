// Feeds arbitrary bytes to the DBF, NTX and DBT readers: the first byte
// chooses the reader, the rest is the file. Every damaged file must give an
// error, never a crash, a hang or an endless walk.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/store/dbf.h"
#include "platform/store/dbt.h"
#include "platform/store/ntx.h"

namespace {

std::string temp_file(const uint8_t* data, size_t size) {
  static std::string dir = [] {
    char tmpl[] = "/tmp/kvel-fuzz-XXXXXX";
    return std::string(::mkdtemp(tmpl));
  }();
  std::string path = dir + "/f";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

void fuzz_dbf(const std::string& path) {
  auto t = kvel::store::Dbf::open(path, false, true);
  if (!t.ok()) return;
  std::string buf(static_cast<size_t>((*t)->record_len()), '\0');
  uint32_t n = (*t)->count();
  for (uint32_t r = 1; r <= n && r <= 2000; ++r) (void)(*t)->read(r, buf.data());
}

void fuzz_ntx(const std::string& path) {
  auto x = kvel::store::Ntx::open(path, false, true);
  if (!x.ok()) return;
  kvel::store::Ntx& n = **x;
  n.set_cache_pages(64);
  // A walk visits each key once; a damaged tree ends it with an error.
  int steps = 0;
  for (auto r = n.first(); r.ok() && *r && steps < 100000; r = n.next()) ++steps;
  steps = 0;
  for (auto r = n.last(); r.ok() && *r && steps < 100000; r = n.prev()) ++steps;
  (void)n.seek("A");
  uint64_t keys = 0;
  int depth = 0;
  (void)n.check(&keys, &depth);
}

void fuzz_dbt(const std::string& path, uint8_t which) {
  auto m = kvel::store::Dbt::open(path, false, true);
  if (!m.ok()) return;
  for (uint32_t b = 0; b < 4; ++b) (void)(*m)->read(b + which);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string path = temp_file(data + 1, size - 1);
  switch (data[0] % 3) {
    case 0: fuzz_dbf(path); break;
    case 1: fuzz_ntx(path); break;
    default: fuzz_dbt(path, static_cast<uint8_t>(data[0] / 3 % 8)); break;
  }
  return 0;
}
