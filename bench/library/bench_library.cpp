// The two costs applications see: loading the library, which builds and reads both
// common-settings trees (target: at most 150 us), and reading a declared value, which
// answers from its cache (target: at most 2 ns). Both run on a store that holds every
// declared value, as an installed system's does.
#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>

#include "RuzIde.h"
#include "tests/store/TempStore.h"

namespace {

// A store folder of its own in which both trees have written every declared value.
class PopulatedStore {
 public:
  PopulatedStore() {
    CRDCLg_oRegCmnCUser cuser;
    CRDCLg_oRegCmnLMach lmach;
    cuser.WriteCache(1);
    lmach.WriteCache(1);
  }

 private:
  IsolatedRegistry registry_;
};

PopulatedStore& Store() {
  static PopulatedStore store;
  return store;
}

// The work of the library's load: both root constructors, in the library's order. Only
// construction is timed; the trees are destroyed (writing nothing, as none is dirty)
// outside the measurement.
void BM_LoadBothTrees(benchmark::State& state) {
  Store();
  for (auto _ : state) {
    std::optional<CRDCLg_oRegCmnCUser> cuser;
    std::optional<CRDCLg_oRegCmnLMach> lmach;
    const auto start = std::chrono::steady_clock::now();
    cuser.emplace();
    lmach.emplace();
    const auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
}
BENCHMARK(BM_LoadBothTrees)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A read of a declared value: operator int() on its cache, as applications read it.
void BM_CachedRead(benchmark::State& state) {
  Store();
  CRDCLg_oRegCmnCUser cuser;
  auto& date = cuser.m_oSWT_BF_CMN.m_oRegional.m_oDate;
  for (auto _ : state) {
    int value = date;
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_CachedRead);

}  // namespace

BENCHMARK_MAIN();
