#!/usr/bin/env bash
# Runs a command (ctest, a benchmark) that starts Windows programs under Wine, with one
# Wine server kept running for all of them and stopped afterwards.
#
#   scripts/with-wine.sh <wine prefix folder> <command> [arguments...]
#
# The prefix is made once (wineboot -i, some seconds) and reused by later runs, each of
# which starts from the registry as it was when the prefix was made, whatever an earlier
# run left in it. Wine's background services are started here with their output to
# /dev/null: started by the first test program instead they would inherit ctest's
# output pipe and, living as long as the persistent server, keep ctest waiting for it to
# close. With WINE_CPU set to a CPU number, the server and the command are pinned to
# that one CPU.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 <wine prefix folder> <command> [arguments...]" >&2
  exit 2
fi
export WINEPREFIX="$(realpath -m "$1")"
shift
export WINEDEBUG="${WINEDEBUG:--all}"
# Debian's wine64 loader lives in the wine package's library folder.
export PATH="$PATH:/usr/lib/wine"

pin=()
if [ -n "${WINE_CPU:-}" ]; then
  pin=(taskset -c "$WINE_CPU")
fi

hives=(system.reg user.reg userdef.reg)
pristine="$WINEPREFIX/pristine-registry"
stop_server() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_server EXIT
stop_server
if [ ! -f "$pristine/system.reg" ]; then
  echo "Preparing the Wine prefix $WINEPREFIX (once)"
  mkdir -p "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  mkdir -p "$pristine"
  for hive in "${hives[@]}"; do cp "$WINEPREFIX/$hive" "$pristine/"; done
fi
for hive in "${hives[@]}"; do cp "$pristine/$hive" "$WINEPREFIX/"; done
"${pin[@]}" wineserver -p
# Starts the services under the persistent server, away from the caller's pipes.
"${pin[@]}" wine cmd /c exit </dev/null >/dev/null 2>&1
"${pin[@]}" "$@"
