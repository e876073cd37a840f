// `ruzide reg import` of 1,000,000 values (10,000 keys of 100 REG_DWORD values each) into
// an empty store, and `ruzide reg delete` of that subtree, each a run of the tool.
//
// Target: the import within 10 s.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/store/TempStore.h"

extern char** environ;

namespace {

constexpr int kKeys = 10000;
constexpr int kValuesPerKey = 100;

// Runs the tool with `args`; true if it exits with 0.
bool RunTool(const char* command, const std::string& operand, const char* option = nullptr) {
  const char* argv[] = {RUZIDE_TOOL_PATH, "reg", command, operand.c_str(), option, nullptr};
  pid_t pid;
  if (posix_spawn(&pid, RUZIDE_TOOL_PATH, nullptr, nullptr, const_cast<char**>(argv), environ) !=
      0) {
    return false;
  }
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Writes the .reg file into the store folder; returns its path.
std::string WriteRegFile(const TempStoreFolder& folder) {
  const std::string path = folder.path() + "/bench.reg";
  FILE* file = fopen(path.c_str(), "w");
  if (file == nullptr) return path;
  fputs("Windows Registry Editor Version 5.00\n", file);
  for (int k = 0; k < kKeys; ++k) {
    fprintf(file, "\n[HKEY_CURRENT_USER\\Software\\Bench\\G%d\\K%d]\n", k / 100, k);
    for (int v = 0; v < kValuesPerKey; ++v) fprintf(file, "\"Value%d\"=dword:%08x\n", v, k + v);
  }
  fclose(file);
  return path;
}

void BM_RegImport(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    TempStoreFolder folder;
    const std::string file = WriteRegFile(folder);
    state.ResumeTiming();
    if (!RunTool("import", file)) state.SkipWithError("ruzide reg import failed");
    state.PauseTiming();
    if (!RunTool("delete", "HKCU\\Software\\Bench", "/f")) {
      state.SkipWithError("ruzide reg delete failed");
    }
    state.ResumeTiming();
  }
  state.counters["per_value"] =
      benchmark::Counter(kKeys * kValuesPerKey, benchmark::Counter::kIsIterationInvariantRate |
                                                    benchmark::Counter::kInvert);
}

// The same store, its subtree deleted: keys and their values.
void BM_RegDeleteSubtree(benchmark::State& state) {
  TempStoreFolder folder;
  const std::string file = WriteRegFile(folder);
  for (auto _ : state) {
    state.PauseTiming();
    if (!RunTool("import", file)) state.SkipWithError("ruzide reg import failed");
    state.ResumeTiming();
    if (!RunTool("delete", "HKCU\\Software\\Bench", "/f")) {
      state.SkipWithError("ruzide reg delete failed");
    }
  }
  state.counters["per_key"] = benchmark::Counter(
      kKeys, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_RegImport)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_RegDeleteSubtree)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK_MAIN();
