// The table store on a 1,000,000-record table (ID N8, CODE C20, NAME C30,
// AMOUNT N12.2, DDATE D), exclusive use, files in the page cache. The table
// is built once per process by the first benchmark; the others use it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/eval/eval.h"
#include "platform/rtl/rtl.h"
#include "platform/store/store.h"

namespace kvel::store {
namespace {

constexpr int kRecords = 1000000;

struct Bench {
  eval::Runtime rt;
  Store* st = nullptr;
  std::string dir;
  Bench() {
    eval::register_eval(rt.registry());
    rtl::register_rtl(rt.registry());
    register_store(rt.registry());
    st = &store(rt);
    char tmpl[] = "/tmp/kvel-bench-XXXXXX";
    dir = ::mkdtemp(tmpl);
    rt.set_error_handler([](eval::Runtime&, eval::ErrorObject& e) -> eval::Answer {
      std::fprintf(stderr, "error %d/%d %s %s\n", e.gen_code, e.sub_code, e.description.c_str(),
                   e.filename.c_str());
      return eval::Answer::fallback();
    });
  }
  ~Bench() {
    st->close_all(rt);
    std::filesystem::remove_all(dir);
  }
  std::string table() const { return dir + "/big.dbf"; }
  WorkArea& open() {
    if (!st->area(1)) {
      st->select(1);
      os::Status s = st->open(rt, 1, table(), "BIG", false, false);
      if (!s.ok()) std::fprintf(stderr, "%s\n", s.message().c_str());
    }
    st->select(1);
    return *st->area(1);
  }
};

Bench& bench() {
  static Bench b;
  return b;
}

std::string code_of(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "C%09d",
                static_cast<int>((static_cast<int64_t>(i) * 7919) % kRecords));
  return buf;
}

void BM_AppendRecords(benchmark::State& state) {
  Bench& b = bench();
  for (auto _ : state) {
    b.st->close_all(b.rt);
    std::vector<FieldDef> f = {{"ID", 'N', 8, 0, 0},
                               {"CODE", 'C', 20, 0, 0},
                               {"NAME", 'C', 30, 0, 0},
                               {"AMOUNT", 'N', 12, 2, 0},
                               {"DDATE", 'D', 8, 0, 0}};
    (void)Dbf::create(b.table(), f);
    WorkArea& w = b.open();
    std::string why;
    bool width = false;
    const int32_t base = 2451545;  // 1 January 2000
    char name[40];
    for (int i = 1; i <= kRecords; ++i) {
      (void)w.append_blank(b.rt);
      std::snprintf(name, sizeof name, "NAME %d SURNAME %d", i % 1000, i % 97);
      w.put(b.rt, 0, eval::Value::integer(i), &why, &width);
      w.put(b.rt, 1, eval::Value::string(code_of(i)), &why, &width);
      w.put(b.rt, 2, eval::Value::string(name), &why, &width);
      w.put(b.rt, 3, eval::Value::number((i * 37 % 100000) / 100.0, 12, 2), &why, &width);
      w.put(b.rt, 4, eval::Value::date(base + i % 8000), &why, &width);
    }
    (void)w.flush(b.rt);
    (void)w.dbf().flush();
  }
}

void index_on(benchmark::State& state, const char* key, const char* file) {
  Bench& b = bench();
  WorkArea& w = b.open();
  for (auto _ : state) {
    IndexSpec spec;
    spec.path = b.dir + "/" + file;
    spec.key_text = key;
    os::Status s = w.create_index(b.rt, spec);
    if (!s.ok()) state.SkipWithError(s.message().c_str());
  }
}

void BM_IndexOnCode(benchmark::State& state) { index_on(state, "CODE", "code.ntx"); }

void BM_IndexOnCompoundKey(benchmark::State& state) {
  index_on(state, "STR(AMOUNT,12,2)+DTOS(DDATE)+UPPER(NAME)", "comp.ntx");
}

// The same through the function, as an expression of the system calls it.
void BM_OrdCreateFromExpression(benchmark::State& state) {
  Bench& b = bench();
  b.open();
  for (auto _ : state) {
    eval::evaluate(b.rt, "ORDCREATE(\"" + b.dir + "/code2.ntx\",, \"CODE\")");
  }
}

void BM_ScanEvaluatingABlock(benchmark::State& state) {
  Bench& b = bench();
  WorkArea& w = b.open();
  w.clear_indexes();
  int64_t hits = 0;
  for (auto _ : state) {
    eval::evaluate(b.rt, "n := 0");
    eval::evaluate(b.rt,
                   "DBEVAL({|| IIF(AMOUNT > 500 .AND. \"77\" $ NAME .AND. YEAR(DDATE) >= 2010, "
                   "n++, NIL)})");
    hits = eval::evaluate(b.rt, "n").as_int();
  }
  state.counters["hits"] = static_cast<double>(hits);
}

// The table in the order of its CODE index, built first when a run left
// out the benchmark that builds it.
WorkArea& open_in_code_order(Bench& b) {
  WorkArea& w = b.open();
  w.clear_indexes();
  if (!w.add_index(b.rt, b.dir + "/code.ntx").ok()) {
    IndexSpec spec;
    spec.path = b.dir + "/code.ntx";
    spec.key_text = "CODE";
    (void)w.create_index(b.rt, spec);
  }
  return w;
}

// 100,000 codes of records spread over the table.
std::vector<eval::Value> seek_keys() {
  std::vector<eval::Value> keys;
  for (int i = 0; i < 100000; ++i) keys.push_back(eval::Value::string(code_of(i * 10 + 3)));
  return keys;
}

void BM_ScanInIndexOrder(benchmark::State& state) {
  Bench& b = bench();
  WorkArea& w = open_in_code_order(b);
  int64_t seen = 0;
  for (auto _ : state) {
    seen = 0;
    (void)w.go_top(b.rt);
    while (!w.eof()) {
      ++seen;
      (void)w.skip(b.rt, 1);
    }
  }
  state.counters["records"] = static_cast<double>(seen);
}

void BM_Seeks(benchmark::State& state) {
  Bench& b = bench();
  WorkArea& w = open_in_code_order(b);
  const std::vector<eval::Value> keys = seek_keys();
  int64_t found = 0;
  for (auto _ : state) {
    found = 0;
    for (const eval::Value& k : keys) {
      (void)w.seek(b.rt, k, false, false);
      found += w.found();
    }
  }
  state.counters["found"] = static_cast<double>(found);
}

// DBSEEK from an expression, 100,000 times.
void BM_SeeksFromExpression(benchmark::State& state) {
  Bench& b = bench();
  open_in_code_order(b);
  const std::vector<eval::Value> keys = seek_keys();
  eval::Value block = eval::compile_block(b.rt, "{|k| DBSEEK(k)}");
  int64_t found = 0;
  for (auto _ : state) {
    found = 0;
    for (const eval::Value& k : keys) found += eval::call_block(b.rt, block, {k}).as_logical();
  }
  state.counters["found"] = static_cast<double>(found);
}

BENCHMARK(BM_AppendRecords)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexOnCode)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexOnCompoundKey)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrdCreateFromExpression)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanEvaluatingABlock)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanInIndexOrder)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seeks)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeeksFromExpression)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kvel::store
