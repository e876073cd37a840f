#!/usr/bin/env bash
# Checks that the tools and libraries RuzIde builds with are present. Run as root, it
# installs what is missing with apt-get and says what it installs; otherwise it names
# what is missing and fails.
#
# With the argument "windows" it checks the cross compiler and Wine instead, which the
# Windows build and its tests need; with "fuzz", clang and its fuzzing runtime.
set -euo pipefail

missing=()
need_cmd() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_file() { [ -e "$1" ] || missing+=("$2"); }

need_cmd cmake cmake
need_cmd ninja ninja-build
need_cmd make make
if [ "${1:-}" = fuzz ]; then
  need_cmd clang++ clang
  need_file /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a libclang-rt-14-dev
elif [ "${1:-}" = windows ]; then
  need_cmd x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
  need_cmd wine wine
  need_file /usr/lib/wine/wine64 wine64
  need_file /usr/src/googletest/CMakeLists.txt googletest
else
  need_cmd g++ g++
  need_cmd nm binutils
  need_cmd iconv libc-bin
  need_cmd pkg-config pkg-config
  need_file /usr/include/gtest/gtest.h libgtest-dev
  need_file /usr/include/benchmark/benchmark.h libbenchmark-dev
  need_file /usr/include/sqlite3.h libsqlite3-dev
  need_cmd sqlite3 sqlite3
  need_file /usr/bin/time time  # a test's measure of the tool's peak memory
fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "Installing missing prerequisites: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Missing prerequisites: ${missing[*]}" >&2
  echo "Install them (for example: sudo apt-get install ${missing[*]}) and run again." >&2
  exit 1
fi
