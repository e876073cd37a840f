// Speed of the embedded registry store on a populated store, for the calls RuzIde makes.
//
// Targets: open (or create) + query + close of a REG_DWORD five keys deep within 2 us; a
// write within 15 us; enumeration within 1 us a name, at any index.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/WinReg.h"
#include "tests/store/TempStore.h"

namespace {

constexpr REGSAM kReadWrite = 0x2001F;  // what RuzIde asks for
constexpr int kNames = 10000;
const char kDeepPath[] = "Software\\RuzIde\\Bench\\Settings\\Window\\";
const char kSubkeysPath[] = "Software\\RuzIde\\Bench\\ManyKeys\\";
const char kValuesPath[] = "Software\\RuzIde\\Bench\\ManyValues\\";

HKEY Create(const char* path) {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, kReadWrite, nullptr, &key, nullptr);
  return key;
}

void SetDword(HKEY key, const char* name, DWORD number) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
}

// A store with the five-deep value, a key with kNames subkeys, one with kNames values, and
// some bulk beside them.
void Populate() {
  HKEY deep = Create(kDeepPath);
  SetDword(deep, "Width", 640);
  RegCloseKey(deep);
  HKEY many_keys = Create(kSubkeysPath);
  HKEY many_values = Create(kValuesPath);
  for (int i = 0; i < kNames; ++i) {
    std::string name = "Item" + std::to_string(i);
    HKEY child = nullptr;
    RegCreateKeyExA(many_keys, name.c_str(), 0, nullptr, 0, kReadWrite, nullptr, &child, nullptr);
    RegCloseKey(child);
    SetDword(many_values, name.c_str(), i);
  }
  RegCloseKey(many_keys);
  RegCloseKey(many_values);
  for (int i = 0; i < 1000; ++i) {
    std::string path =
        "Software\\Other\\App" + std::to_string(i % 50) + "\\Key" + std::to_string(i);
    HKEY key = Create(path.c_str());
    SetDword(key, "Value", i);
    RegCloseKey(key);
  }
}

void BM_OpenQueryClose(benchmark::State& state) {
  for (auto _ : state) {
    HKEY key = nullptr;
    DWORD type = 0, number = 0, size = sizeof number;
    RegOpenKeyExA(HKEY_CURRENT_USER, kDeepPath, 0, kReadWrite, &key);
    RegQueryValueExA(key, "Width", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    RegCloseKey(key);
    benchmark::DoNotOptimize(number);
  }
}

void BM_CreateQueryClose(benchmark::State& state) {
  for (auto _ : state) {
    HKEY key = nullptr;
    DWORD type = 0, number = 0, size = sizeof number, disposition = 0;
    RegCreateKeyExA(HKEY_CURRENT_USER, kDeepPath, 0, nullptr, 0, kReadWrite, nullptr, &key,
                    &disposition);
    RegQueryValueExA(key, "Width", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    RegCloseKey(key);
    benchmark::DoNotOptimize(number);
  }
}

int64_t MonotonicNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The time reported is a mean over the iterations, which includes the WAL checkpoint that
// every thousandth write makes (two fsyncs). The per-call median and 99th percentile,
// in microseconds, show the typical write apart from it.
void ReportCallPercentiles(benchmark::State& state, std::vector<int64_t>* nanos) {
  if (nanos->empty()) return;
  for (auto [name, fraction] : {std::pair("call_p50_us", 0.5), std::pair("call_p99_us", 0.99)}) {
    auto at = nanos->begin() + static_cast<ptrdiff_t>(fraction * (nanos->size() - 1));
    std::nth_element(nanos->begin(), at, nanos->end());
    state.counters[name] = static_cast<double>(*at) / 1000;
  }
}

void BM_CreateSetClose(benchmark::State& state) {
  DWORD number = 0;
  std::vector<int64_t> nanos;
  for (auto _ : state) {
    int64_t start = MonotonicNanos();
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, kDeepPath, 0, nullptr, 0, kReadWrite, nullptr, &key,
                    nullptr);
    SetDword(key, "Width", ++number);
    RegCloseKey(key);
    nanos.push_back(MonotonicNanos() - start);
  }
  ReportCallPercentiles(state, &nanos);
}

// Reports the time per name enumerated.
void PerName(benchmark::State& state) {
  state.counters["per_name"] = benchmark::Counter(
      kNames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_EnumerateSubkeys(benchmark::State& state) {
  HKEY key = Create(kSubkeysPath);
  char name[261];
  FILETIME time;
  for (auto _ : state) {
    for (DWORD index = 0;; ++index) {
      DWORD size = sizeof name;
      if (RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, &time) !=
          ERROR_SUCCESS) {
        break;
      }
    }
  }
  RegCloseKey(key);
  PerName(state);
}

void BM_EnumerateValues(benchmark::State& state) {
  HKEY key = Create(kValuesPath);
  char name[261];
  for (auto _ : state) {
    for (DWORD index = 0;; ++index) {
      DWORD size = sizeof name, type = 0;
      if (RegEnumValueA(key, index, name, &size, nullptr, &type, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
    }
  }
  RegCloseKey(key);
  PerName(state);
}

// Creates kNames keys with three values each, then deletes them; reported per key.
void BM_CreateAndDeleteKeys(benchmark::State& state) {
  HKEY parent = Create("Software\\RuzIde\\Bench\\Churn\\");
  for (auto _ : state) {
    for (int i = 0; i < kNames; ++i) {
      std::string name = "Key" + std::to_string(i);
      HKEY key = nullptr;
      RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, kReadWrite, nullptr, &key, nullptr);
      SetDword(key, "One", 1);
      SetDword(key, "Two", 2);
      SetDword(key, "Three", 3);
      RegCloseKey(key);
    }
    for (int i = 0; i < kNames; ++i) {
      RegDeleteKeyA(parent, ("Key" + std::to_string(i)).c_str());
    }
  }
  RegCloseKey(parent);
  state.counters["per_key"] = benchmark::Counter(
      kNames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Wall-clock time throughout: a registry served by another process (Wine's server, the
// Windows kernel) spends most of a call outside this process's CPU time.
BENCHMARK(BM_OpenQueryClose)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_CreateQueryClose)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_CreateSetClose)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_EnumerateSubkeys)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_EnumerateValues)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_CreateAndDeleteKeys)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

// Runs on a registry of its own: a fresh store folder, or on Windows the system registry
// with the benchmark's keys removed afterwards.
int main(int argc, char** argv) {
  IsolatedRegistry registry;
  Populate();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
