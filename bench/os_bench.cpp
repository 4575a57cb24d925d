// The path layer and the lock primitives on the paths every table open and
// record edit takes: names in the table's own letter case and in another,
// a record lock and unlock, a shared open with its sharing marks.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os/file.h"
#include "platform/os/lock.h"
#include "platform/os/path.h"

namespace {

namespace fs = std::filesystem;

struct Drive {
  std::string root;
  kvel::os::PathLayer layer{"/nonexistent"};
  Drive() {
    std::string tmpl = (fs::temp_directory_path() / "kvel-bench-XXXXXX").string();
    root = ::mkdtemp(tmpl.data());
    fs::create_directories(root + "/DATA");
    for (int i = 0; i < 200; ++i)  // a directory of a typical application
      std::ofstream(root + "/DATA/T" + std::to_string(i) + ".DBF") << "x";
    std::ofstream(root + "/DATA/FIX1.DBF") << "x";
    // Settled: older than the cache's racy window.
    for (const std::string& d : {root + "/DATA", root})
      fs::last_write_time(d, fs::file_time_type::clock::now() - std::chrono::hours(1));
    layer.map_drive('D', root);
  }
  ~Drive() { fs::remove_all(root); }
};

Drive& drive() {
  static Drive d;
  return d;
}

void BM_ResolveExactCase(benchmark::State& st) {
  for (auto _ : st) benchmark::DoNotOptimize(drive().layer.lookup("D:\\DATA\\FIX1.DBF"));
}
BENCHMARK(BM_ResolveExactCase);

void BM_ResolveOtherCaseName(benchmark::State& st) {
  for (auto _ : st) benchmark::DoNotOptimize(drive().layer.lookup("D:\\DATA\\fix1.dbf"));
}
BENCHMARK(BM_ResolveOtherCaseName);

void BM_ResolveOtherCaseDirAndName(benchmark::State& st) {
  for (auto _ : st) benchmark::DoNotOptimize(drive().layer.lookup("d:\\data\\fix1.dbf"));
}
BENCHMARK(BM_ResolveOtherCaseDirAndName);

void BM_ResolveMissing(benchmark::State& st) {
  for (auto _ : st) benchmark::DoNotOptimize(drive().layer.lookup("D:\\data\\new.dbf"));
}
BENCHMARK(BM_ResolveMissing);

void BM_RecordLockUnlock(benchmark::State& st) {
  int fd = ::open((drive().root + "/DATA/FIX1.DBF").c_str(), O_RDWR);
  uint64_t rec = 0;
  for (auto _ : st) {
    uint64_t at = 1'000'000'000ull + 1 + (rec++ % 1000);
    benchmark::DoNotOptimize(kvel::os::lock_range(fd, at, 1, kvel::os::LockKind::Exclusive));
    benchmark::DoNotOptimize(kvel::os::unlock_range(fd, at, 1));
  }
  ::close(fd);
}
BENCHMARK(BM_RecordLockUnlock);

void BM_OpenSharedAndClose(benchmark::State& st) {
  std::string p = drive().root + "/DATA/FIX1.DBF";
  for (auto _ : st) {
    auto f = kvel::os::File::open(p, kvel::os::open_mode_from_number(66));
    benchmark::DoNotOptimize(f.ok());
  }
}
BENCHMARK(BM_OpenSharedAndClose);

}  // namespace
