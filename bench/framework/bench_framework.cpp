// Subtree operations over wide trees: MirrorRegistry, ReadCache, WriteCache(1),
// DeleteRegKey and the write-back of a destroyed tree on 1,000, 10,000 and (off Windows)
// 100,000 and 1,000,000 keys with three values each.
//
// Targets off Windows: WriteCache(1), the write-back and DeleteRegKey at most 5 us a key
// at 100,000 keys; the time per key of each grows at most 1.5 times from 1,000 keys to
// 1,000,000. --benchmark_filter='/[0-9]{4,5}/' leaves the largest size out.
#include <benchmark/benchmark.h>

#include <memory>
#include <utility>

#include "framework/RegDeclHive.h"
#include "framework/registry_calls/RegistryCalls.h"
#include "tests/store/TempStore.h"

namespace {

constexpr int kKeysPerGroup = 100;

// The keys of the tree below "Bench": Bench\G<i>\K<j>, every key holding a string, an
// int and a binary value. Group keys count as keys too.
int TotalKeys(int leaves) { return leaves + leaves / kKeysPerGroup; }

// A hive bound to the current user, with one run-time key "Bench" below it.
struct BenchTree {
  BenchTree() {
    hive.m_hRootKey = HKEY_CURRENT_USER;
    bench = hive.GetChildKey("Bench");
  }
  CRegDeclHive hive;
  CRegDeclKey* bench;
};

// Declares the whole tree as run-time children of `tree`, each value dirty and, with a
// nonzero `change`, different from what the store holds.
void Declare(BenchTree& tree, int leaves, int change) {
  static const unsigned char kBytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (int g = 0; g < leaves / kKeysPerGroup; ++g) {
    CRegDeclKey* group = tree.bench->GetChildKeyFormName("G%d", g);
    for (int k = 0; k < kKeysPerGroup; ++k) {
      CRegDeclKey* key = group->GetChildKeyFormName("K%d", k);
      key->GetChildString("Name", "value");
      key->GetChildInt("Number", k)->SetValue(k + change);
      key->GetChildBinary("Bytes", 8)->SetValue(kBytes);
    }
  }
}

// Declares the whole tree and writes it to the store.
void Populate(int leaves) {
  BenchTree tree;
  tree.hive.SetWriteCacheOnDelete(0);
  Declare(tree, leaves, 0);
  tree.bench->WriteCache(1);
}

// One store per size, populated once and shared by the benchmarks of that size.
class Store {
 public:
  static void Use(int leaves) {
    static std::unique_ptr<Store> current;
    if (current && current->leaves_ == leaves) return;
    current.reset();
    current.reset(new Store(leaves));
  }

 private:
  explicit Store(int leaves) : leaves_(leaves) { Populate(leaves); }
  IsolatedRegistry registry_;
  int leaves_;
};

// Registry calls of every kind the framework has made in this process.
long TotalCalls() {
  const ruzide::store::CallCounts& c = ruzide::store::GetCallCounts();
  return c.opens + c.closes + c.queries + c.writes + c.infos + c.enums + c.deletes;
}

// Runs `op` and adds the registry calls it made to `*calls`. Never inlined, so that a
// profiler can count only what runs inside (valgrind --toggle-collect='*Counted*').
template <class Op>
__attribute__((noinline)) void Counted(long* calls, Op op) {
  const long before = TotalCalls();
  op();
  *calls += TotalCalls() - before;
}

// Time per key, registry calls per key, and time per registry call: the first must stay
// flat as the tree grows, which it does when the second is constant and the third is
// the store's own cost of a call.
void Report(benchmark::State& state, int leaves, long calls) {
  const double keys = static_cast<double>(TotalKeys(leaves)) * state.iterations();
  state.counters["per_key"] = benchmark::Counter(
      static_cast<double>(TotalKeys(leaves)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["calls_per_key"] = static_cast<double>(calls) / keys;
  state.counters["per_call"] = benchmark::Counter(
      static_cast<double>(calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_MirrorRegistry(benchmark::State& state) {
  const int leaves = static_cast<int>(state.range(0));
  Store::Use(leaves);
  long calls = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto tree = std::make_unique<BenchTree>();
    state.ResumeTiming();
    Counted(&calls, [&] { tree->bench->MirrorRegistry(); });
    state.PauseTiming();
    tree.reset();
    state.ResumeTiming();
  }
  Report(state, leaves, calls);
}

void BM_ReadCache(benchmark::State& state) {
  const int leaves = static_cast<int>(state.range(0));
  Store::Use(leaves);
  long calls = 0;
  BenchTree tree;
  tree.bench->MirrorRegistry();
  for (auto _ : state) Counted(&calls, [&] { tree.bench->ReadCache(); });
  Report(state, leaves, calls);
}

void BM_WriteCacheForced(benchmark::State& state) {
  const int leaves = static_cast<int>(state.range(0));
  Store::Use(leaves);
  long calls = 0;
  BenchTree tree;
  tree.bench->MirrorRegistry();
  for (auto _ : state) Counted(&calls, [&] { tree.bench->WriteCache(1); });
  Report(state, leaves, calls);
}

void BM_DeleteRegKey(benchmark::State& state) {
  const int leaves = static_cast<int>(state.range(0));
  Store::Use(leaves);
  long calls = 0;
  // Declared rather than mirrored: a mirrored binary value has no buffer, so writing the
  // tree back would leave it out, and the next round, and the benchmarks after this one,
  // would find a store without it.
  BenchTree tree;
  Declare(tree, leaves, 0);
  for (auto _ : state) {
    Counted(&calls, [&] { tree.hive.DeleteRegKey(tree.bench); });
    state.PauseTiming();
    tree.bench->WriteCache(1);  // put it back for the next round
    state.ResumeTiming();
  }
  Report(state, leaves, calls);
}

// A tree whose every value is dirty, destroyed: as the library's unload writes back.
void BM_WriteBack(benchmark::State& state) {
  const int leaves = static_cast<int>(state.range(0));
  Store::Use(leaves);
  long calls = 0;
  int change = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto tree = std::make_unique<BenchTree>();
    Declare(*tree, leaves, ++change);
    state.ResumeTiming();
    Counted(&calls, [&] { tree.reset(); });
  }
  Report(state, leaves, calls);
}

}  // namespace

// Sizes outermost, so that each store is populated once: one round over 100,000 keys
// takes seconds, hence a fixed number of rounds, three at every size, so that each figure
// weighs the first round after populating (which may find what the population left
// uncached) the same way. Over a registry served by another process, as on Windows (and
// under Wine, where a call costs some 30 us), a round over 100,000 keys would take
// minutes, so there the largest size is 10,000.
//
// Off Windows the store works inside the calling process, so the per-key figures are its
// CPU time, which a machine shared with other work leaves as it is. On Windows the
// registry works in another process (under Wine, its server), whose time the caller's
// CPU time would leave out: there they are real time.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
#ifdef _WIN32
  const int kSizes[] = {1000, 10000};
#else
  const int kSizes[] = {1000, 10000, 100000, 1000000};
#endif
  for (int leaves : kSizes) {
    for (auto bm : {std::make_pair("MirrorRegistry", BM_MirrorRegistry),
                    std::make_pair("ReadCache", BM_ReadCache),
                    std::make_pair("WriteCache(1)", BM_WriteCacheForced),
                    std::make_pair("DeleteRegKey", BM_DeleteRegKey),
                    std::make_pair("WriteBack", BM_WriteBack)}) {
      benchmark::RegisterBenchmark(bm.first, bm.second)
          ->Arg(leaves)
          ->Unit(benchmark::kMillisecond)
#ifdef _WIN32
          ->UseRealTime()
#endif
          ->Iterations(3);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
