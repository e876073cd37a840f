#!/usr/bin/env bash
# Measures `ruzide reg import` and `ruzide reg export` of a large .reg file, and Wine's
# `reg import` of the same file in the same run: wall time, MB/s of the file read or
# written, and peak memory (maximum resident set size, from time(1)). The figures in
# docs/ruzide-tool.md come from it.
#
#   scripts/bench-reg-files.sh <ruzide> [values] [values for Wine] [values a key]
#
# The file is UTF-16LE with a byte order mark, as Windows' tools write it: 100 values a
# key (or as many as the fourth argument says; 1 gives a key a value), by turns a dword,
# a string with a non-ASCII letter, 16 bytes of hex and a hex(2)
# string. Wine's prefix is made under build/bench-wineprefix on the first run (as
# scripts/with-wine.sh makes one); with 0 values for Wine it is left out.
set -euo pipefail

tool=$(realpath "${1:?usage: $0 <ruzide> [values] [values for Wine] [values a key]}")
values=${2:-1000000}
wine_values=${3:-$values}
per_key=${4:-100}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# generate <values> <file>
generate() {
  awk -v n="$1" -v m="$per_key" 'BEGIN {
    printf "Windows Registry Editor Version 5.00\r\n\r\n"
    for (i = 0; i < n; i++) {
      if (i % m == 0) printf "[HKEY_CURRENT_USER\\Software\\Bench\\G%d\\K%d]\r\n", int(i / (100 * m)), int(i / m)
      t = i % 4
      if (t == 0) printf "\"Value%d\"=dword:%08x\r\n", i, i
      else if (t == 1) printf "\"Value%d\"=\"Text number %d, caf\xc3\xa9\"\r\n", i, i
      else if (t == 2) printf "\"Value%d\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\r\n", i
      else printf "\"Value%d\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00\r\n", i
      if (i % m == m - 1) printf "\r\n"
    }
  }' | iconv -f UTF-8 -t UTF-16LE | { printf '\377\376'; cat; } >"$2"
}

# measure <label> <file whose size counts> <command...>
measure() {
  local label=$1 file=$2
  shift 2
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
  local size seconds kb
  size=$(stat -c %s "$file")
  read -r seconds kb <"$work/time"
  awk -v l="$label" -v s="$seconds" -v b="$size" -v k="$kb" 'BEGIN {
    printf "%-34s %8.1f MB %8.1f s %8.1f MB/s %8.0f MB peak\n", l, b / 1048576, s, b / 1048576 / s, k / 1024 }'
}

echo "$(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
generate "$values" "$work/in.reg"
export RUZIDE_REGISTRY="$work/store"
mkdir -p "$RUZIDE_REGISTRY"
measure "ruzide reg import ($values values)" "$work/in.reg" "$tool" reg import "$work/in.reg"
measure "ruzide reg export" "$work/out.reg" "$tool" reg export 'HKCU\Software\Bench' "$work/out.reg"
measure "ruzide reg export /a" "$work/out4.reg" "$tool" reg export 'HKCU\Software\Bench' "$work/out4.reg" /a
if [ "$wine_values" -gt 0 ]; then
  [ "$wine_values" = "$values" ] || generate "$wine_values" "$work/in.reg"
  "$here/with-wine.sh" "$here/../build/bench-wineprefix" \
    bash -c "$(declare -f measure); work='$work'; measure 'Wine reg.exe import ($wine_values values)' \
      '$work/in.reg' wine reg.exe import 'Z:$work/in.reg'
      ps -o rss= -p \$(pgrep -n wineserver) | awk '{ printf \"wineserver: %.0f MB resident after the import\\n\", \$1 / 1024 }'"
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
