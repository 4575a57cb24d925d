// The runtime library's hot functions on typical values of report cells,
// filters and index keys, called as the evaluator calls them (through the
// registry with an argument view).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/eval/runtime.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/rtl.h"

namespace {

using kvel::eval::Args;
using kvel::eval::Runtime;
using kvel::eval::Value;

class Call {
 public:
  Call(const char* name, std::vector<Value> args) : args_(std::move(args)) {
    kvel::rtl::register_rtl(rt_.registry());
    fn_ = rt_.registry().find(name)->fn;
  }
  Value operator()() { return fn_(rt_, Args(args_.data(), args_.size())); }

 private:
  Runtime rt_;
  kvel::eval::NativeFn fn_ = nullptr;
  std::vector<Value> args_;
};

void BM_Str(benchmark::State& state) {
  Call str("STR", {Value::number(12345.678, 12, 3), Value::integer(12), Value::integer(2)});
  for (auto _ : state) benchmark::DoNotOptimize(str());
}
BENCHMARK(BM_Str);

void BM_StrInteger(benchmark::State& state) {
  Call str("STR", {Value::integer(4711)});
  for (auto _ : state) benchmark::DoNotOptimize(str());
}
BENCHMARK(BM_StrInteger);

void BM_TransformNumberPicture(benchmark::State& state) {
  Call tr("TRANSFORM", {Value::number(1234567.891, 14, 3), Value::string("@E 999,999,999.99")});
  for (auto _ : state) benchmark::DoNotOptimize(tr());
}
BENCHMARK(BM_TransformNumberPicture);

void BM_TransformTextPicture(benchmark::State& state) {
  Call tr("TRANSFORM", {Value::string("1234567890"), Value::string("@R 999-999-99-99")});
  for (auto _ : state) benchmark::DoNotOptimize(tr());
}
BENCHMARK(BM_TransformTextPicture);

void BM_Ctod(benchmark::State& state) {
  Call ctod("CTOD", {Value::string("15/03/24")});
  for (auto _ : state) benchmark::DoNotOptimize(ctod());
}
BENCHMARK(BM_Ctod);

void BM_Upper(benchmark::State& state) {
  Call upper("UPPER",
             {Value::string(kvel::rtl::cp866::from_utf8("Иванов Пётр Сергеевич, ул. Ленина"))});
  for (auto _ : state) benchmark::DoNotOptimize(upper());
}
BENCHMARK(BM_Upper);

}  // namespace
