// The details of a conflict question and the merge rule on one large record: a multivalued
// field of `n` values (the largest seen in the field: 40,000 values, 0.85 MiB), changed in one
// value on the laptop and in another field on the server. The question waits on this; it must
// stay linear in the record's size (40,000 values well under 0.2 s).
#include <benchmark/benchmark.h>

#include <string>

#include "db/dyn_array.h"
#include "export/conflict_details.h"
#include "export/merge_rule.h"

namespace {

using cortevane::db::DynArray;
using cortevane::db::DynArrayBuilder;

struct Versions {
  DynArray reference, office, laptop;
};

Versions Build(int values) {
  auto record = [values](int changed_value, const char* field3) {
    DynArrayBuilder b;
    b.AddField("DUPONT");
    b.StartField();
    for (int v = 1; v <= values; ++v)
      b.AddValue(v == changed_value ? "01 99 99 99 99" : "rendez-vous " + std::to_string(v));
    b.AddField(field3);
    return b.Take();
  };
  return {record(0, "Anne"), record(0, "Anne-Marie"), record(values / 2, "Anne")};
}

void BM_ConflictDetails(benchmark::State& state) {
  const Versions v = Build(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::string details = cortevane::exporting::ConflictDetails("00042", v.reference, v.office,
                                                                v.laptop, {{2, "Rendez-vous"}});
    benchmark::DoNotOptimize(details);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(v.reference.Text().size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ConflictDetails)
    ->RangeMultiplier(8)
    ->Range(625, 40000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_Merge(benchmark::State& state) {
  const Versions v = Build(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto merged = cortevane::exporting::Merge(v.reference, v.office, v.laptop);
    benchmark::DoNotOptimize(merged);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Merge)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
