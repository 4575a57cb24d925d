// What a picture costs on its way to the terminal: a full redraw and a
// one-cell change, in bytes sent and time, for UTF-8 and CP866 output; and
// drawing a framed window on the screen itself.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/screen/headless_backend.h"
#include "platform/screen/screen.h"
#include "platform/screen/term_render.h"

using namespace kvel::screen;

namespace {

// A busy picture: Cyrillic text in changing colours, as a browse looks.
std::vector<Cell> busy_picture() {
  std::vector<Cell> cells(kRows * kCols);
  for (int i = 0; i < kRows * kCols; ++i)
    cells[i] =
        Cell{static_cast<uint8_t>(0x80 + i % 64), static_cast<Attr>((i / 7) % 2 ? 0x1F : 0x70)};
  return cells;
}

void BM_FullRedraw(benchmark::State& state) {
  bool utf8 = state.range(0) == 1;
  TermRenderer r(utf8);
  std::vector<Cell> cells = busy_picture();
  CursorState cur{0, 0, kCursorNone};
  std::string out;
  size_t bytes = 0;
  for (auto _ : state) {
    out.clear();
    r.invalidate();
    r.render(cells.data(), cur, out);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_FullRedraw)->Arg(1)->Arg(0)->ArgName("utf8");

void BM_OneCellChange(benchmark::State& state) {
  bool utf8 = state.range(0) == 1;
  TermRenderer r(utf8);
  std::vector<Cell> cells = busy_picture();
  CursorState cur{10, 10, kCursorNormal};
  std::string out;
  r.render(cells.data(), cur, out);
  size_t bytes = 0;
  int n = 0;
  for (auto _ : state) {
    out.clear();
    cells[12 * kCols + 40].ch = static_cast<uint8_t>(0x80 + (++n % 32));
    r.render(cells.data(), cur, out);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_OneCellChange)->Arg(1)->Arg(0)->ArgName("utf8");

void BM_NothingChanged(benchmark::State& state) {
  TermRenderer r(true);
  std::vector<Cell> cells = busy_picture();
  CursorState cur{10, 10, kCursorNormal};
  std::string out;
  r.render(cells.data(), cur, out);
  for (auto _ : state) {
    out.clear();
    r.render(cells.data(), cur, out);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_NothingChanged);

// A framed, shadowed window with 20 lines of text, drawn as one buffered section.
void BM_DrawWindow(benchmark::State& state) {
  auto backend = std::make_shared<HeadlessBackend>();
  Screen s(backend);
  const std::string line(60, '\xE0');
  for (auto _ : state) {
    s.begin();
    s.box({1, 5, 22, 70}, std::string(kFrameDouble) + " ", 0x1F);
    s.shadow({1, 5, 22, 70});
    for (int r = 0; r < 20; ++r) s.write(2 + r, 6, line, r == 5 ? 0x70 : 0x1F);
    s.end();
  }
}
BENCHMARK(BM_DrawWindow);

}  // namespace
