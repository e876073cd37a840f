# Entry points for a newcomer: `make run` shows the tool on a store in ./.run-store,
# `make test` builds and runs every native test. Both install what is missing first.
PRESET ?= default
BUILD  := build/$(PRESET)
STORE  := $(CURDIR)/.run-store

.PHONY: all prerequisites build test run bench asan windows-build test-windows \
        bench-windows fuzz clean

all: build

prerequisites:
	@scripts/prerequisites.sh

build: prerequisites
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET) -j2

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS on a copy of its
# seed corpus: the .reg parser, and the store's registry functions against a model.
# The leak checker does not follow __tls_get_addr, for the reason README.md gives.
FUZZ_SECONDS ?= 30
FUZZERS := reg_format registry
fuzz:
	@scripts/prerequisites.sh fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz --target $(FUZZERS:%=%_fuzzer)
	@rm -rf build/fuzz/corpus && cp -r fuzz/corpus build/fuzz/corpus
	@for f in $(FUZZERS); do \
	  echo "== $${f}_fuzzer"; \
	  ASAN_OPTIONS=intercept_tls_get_addr=0 build/fuzz/fuzz/$${f}_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    build/fuzz/corpus/$$f > build/fuzz/$$f.log 2>&1; rc=$$?; \
	  grep -a DONE build/fuzz/$$f.log; \
	  [ $$rc -eq 0 ] || { tail -n 30 build/fuzz/$$f.log; exit $$rc; }; done

# Cross-builds RuzIde.dll, ruzide.exe, the tests and the benchmarks for Windows and runs
# the tests under Wine, against Wine's registry, in a Wine prefix in build/windows.
WINE_PREFIX := build/windows/wineprefix
# The build runs Windows programs too (the settings schemas' generators), in the same prefix.
windows-build:
	@scripts/prerequisites.sh windows
	@cmake --preset windows >/dev/null
	@scripts/with-wine.sh $(WINE_PREFIX) cmake --build --preset windows

test-windows: windows-build
	@scripts/with-wine.sh $(WINE_PREFIX) ctest --preset windows

# The same benchmarks under Wine. WINE_CPU=n pins Wine's server and the benchmark to
# CPU n.
bench-windows: windows-build
	@for b in build/windows/bin/bench_*.exe; do \
	  [ -f "$$b" ] || continue; echo "== $$b"; \
	  scripts/with-wine.sh $(WINE_PREFIX) wine "$$b" --benchmark_min_time=0.2 || exit 1; done

run: build
	@mkdir -p $(STORE)
	@echo "== store folder: $(STORE)"
	@RUZIDE_REGISTRY=$(STORE) $(BUILD)/tools/ruzide/ruzide settings
	@echo
	@RUZIDE_REGISTRY=$(STORE) $(BUILD)/tools/ruzide/ruzide languages

bench: build
	@for b in $(BUILD)/bench/*/bench_*; do \
	  [ -x "$$b" ] || continue; echo "== $$b"; "$$b" --benchmark_min_time=0.2 || exit 1; done

clean:
	@rm -rf build .run-store
