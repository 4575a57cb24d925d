// Speed of the evaluator on the work the runner does most: calling stored
// blocks, macro-compiling a text seen for the first time, and evaluating a
// compiled report cell that reads fields.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/eval/eval.h"
#include "platform/eval/state.h"
#include "platform/rtl/rtl.h"

namespace {

using kvel::eval::Runtime;
using kvel::eval::Value;

// One record of NAME C, SUMMA N(12,2), DATA D in area 1.
class OneRecord : public kvel::eval::FieldAccess {
 public:
  std::vector<std::pair<std::string, Value>> fields = {
      {"NAME", Value::string("ivanov ivan")},
      {"SUMMA", Value::number(1234.5, 12, 2)},
      {"DATA", Value::date(2460311)},
  };
  int selected() const override { return 1; }
  void select(int) override {}
  int area_of(std::string_view) const override { return 0; }
  uint32_t layout(int) const override { return 1; }
  int field_pos(int, std::string_view name) const override {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].first == name) return static_cast<int>(i) + 1;
    }
    return 0;
  }
  bool get(Runtime&, int, int pos, Value& out) override {
    out = fields[static_cast<size_t>(pos - 1)].second;
    return true;
  }
  bool put(Runtime&, int, int, const Value&) override { return false; }
};

void setup(Runtime& rt) {
  kvel::rtl::register_rtl(rt.registry());
  kvel::eval::register_eval(rt.registry());
}

void BM_BlockCall(benchmark::State& st) {
  Runtime rt;
  setup(rt);
  Value b = kvel::eval::compile_block(rt, "{|a, b| Upper(a) + Str(b, 12, 2) + DToS(Date())}");
  Value args[2] = {Value::string("abc"), Value::number(12.5, 0, 1)};
  for (auto _ : st) benchmark::DoNotOptimize(b.as_block()->call(rt, kvel::eval::Args(args, 2)));
}
BENCHMARK(BM_BlockCall);

// The compile cache is emptied before each evaluation: every text is compiled.
void BM_CompileAndEvaluate(benchmark::State& st) {
  Runtime rt;
  setup(rt);
  auto& state = kvel::eval::state(rt);
  const std::string text = "Upper('abc') + Str(7, 12, 2)";
  for (auto _ : st) {
    state.clear_cache();
    benchmark::DoNotOptimize(kvel::eval::evaluate(rt, text));
  }
}
BENCHMARK(BM_CompileAndEvaluate);

void BM_CachedEvaluate(benchmark::State& st) {
  Runtime rt;
  setup(rt);
  const std::string text = "Upper('abc') + Str(7, 12, 2)";
  for (auto _ : st) benchmark::DoNotOptimize(kvel::eval::evaluate(rt, text));
}
BENCHMARK(BM_CachedEvaluate);

void BM_CompiledFieldExpression(benchmark::State& st) {
  Runtime rt;
  setup(rt);
  OneRecord rec;
  rt.set_fields(&rec);
  Value b = kvel::eval::compile_block(rt, "UPPER(NAME) + STR(SUMMA, 12, 2) + DTOS(DATA)");
  for (auto _ : st) benchmark::DoNotOptimize(b.as_block()->call(rt, kvel::eval::Args()));
}
BENCHMARK(BM_CompiledFieldExpression);

}  // namespace

// The parts of the cell above on their own: where its time goes.
namespace {
void BM_Piece(benchmark::State& st, const char* text) {
  Runtime rt;
  setup(rt);
  OneRecord rec;
  rt.set_fields(&rec);
  Value b = kvel::eval::compile_block(rt, text);
  for (auto _ : st) benchmark::DoNotOptimize(b.as_block()->call(rt, kvel::eval::Args()));
}
BENCHMARK_CAPTURE(BM_Piece, name, "NAME");
BENCHMARK_CAPTURE(BM_Piece, upper, "UPPER(NAME)");
BENCHMARK_CAPTURE(BM_Piece, str, "STR(SUMMA, 12, 2)");
BENCHMARK_CAPTURE(BM_Piece, dtos, "DTOS(DATA)");
BENCHMARK_CAPTURE(BM_Piece, date, "Date()");
BENCHMARK_CAPTURE(BM_Piece, one, "1");
}  // namespace
