// The text editor on a large report: loading (wrapping) a 5 MB text, one
// typed key in the middle of it, and writing the text back.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/ui/editor_text.h"

namespace {

std::string report(size_t bytes) {
  std::string s;
  int n = 0;
  while (s.size() < bytes) {
    s += "Line " + std::to_string(++n) +
         " of the report: amounts, accounts and a few words to wrap at the width.\r\n";
  }
  return s;
}

const std::string& big() {
  static const std::string s = report(5 << 20);
  return s;
}

void BM_EditorLoad5MB(benchmark::State& state) {
  for (auto _ : state) {
    kvel::ui::EditorText t(big(), 254);
    benchmark::DoNotOptimize(t.lines());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * big().size()));
}
BENCHMARK(BM_EditorLoad5MB)->Unit(benchmark::kMillisecond);

void BM_EditorKeyInMiddle(benchmark::State& state) {
  kvel::ui::EditorText t(big(), 60);
  int middle = t.lines() / 2;
  for (auto _ : state) {
    int line = middle, col = 3;
    t.insert(line, col, "x");
    line = middle;
    col = 4;
    t.backspace(line, col);
  }
}
BENCHMARK(BM_EditorKeyInMiddle)->Unit(benchmark::kMicrosecond);

void BM_EditorText5MB(benchmark::State& state) {
  kvel::ui::EditorText t(big(), 60);
  for (auto _ : state) benchmark::DoNotOptimize(t.text());
}
BENCHMARK(BM_EditorText5MB)->Unit(benchmark::kMillisecond);

}  // namespace
