#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: the build's emulator for its tests and
# for the programs it runs while building.
#
#   wine-run.sh ARCH PREFIX PROGRAM [ARGS...]
#
# ARCH (i686 or x86_64) picks Wine's 32- or 64-bit loader. PREFIX is a Wine prefix of the build's
# own; it is made on first use, once, however many tests start at the same moment. A wineserver
# that outlives each program spares every run the start of a cold one (seconds); wineserver -k
# (with WINEPREFIX set to PREFIX) ends it at once.
set -euo pipefail
arch=$1 prefix=$2
shift 2
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d}

case $arch in
  x86_64) loader=/usr/lib/wine/wine64 ;;
  *) loader=/usr/lib/wine/wine ;;
esac
if [ ! -x "$loader" ]; then
  echo "wine-run.sh: $loader is missing (scripts/install-windows-deps.sh installs Wine)" >&2
  exit 127
fi
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver

mkdir -p "$prefix"
(
  flock 9
  # Nothing Wine starts for itself may hold this program's output: its services outlive the
  # program, and a caller reading the output to its end (ctest) would wait for them. So a cold
  # prefix is brought up here, with its output elsewhere, before the program runs: the server,
  # kept for five idle minutes, and Wine's own services.
  if ! "$server" -k0 2>/dev/null; then
    "$server" -p300 </dev/null >/dev/null 2>&1 9>&- || true
    "$loader" wineboot.exe --init </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix.lock"

# The program's own output goes through files, relayed as it grows until the program ends: a
# process Wine starts on the program's behalf (the desktop, for the first window) inherits the
# program's descriptors and lives on, and a pipe would stay open for as long as it does.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
"$loader" "$@" <&0 >"$out" 2>"$err" &
program=$!
trap 'kill "$program" 2>/dev/null' TERM INT HUP
tail -q -s 0.05 -n +1 --pid="$program" -f "$out" &
relay_out=$!
tail -q -s 0.05 -n +1 --pid="$program" -f "$err" >&2 &
relay_err=$!
status=0
wait "$program" || status=$?
# A signal ends the first wait early; the program is ending and its status comes with it.
while kill -0 "$program" 2>/dev/null; do wait "$program" || status=$?; done
wait "$relay_out" "$relay_err" || true
# A program Wine could not start at all ends without a word; say so, with the status.
if [ "$status" != 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  printf 'wine-run.sh: %s ended with status %s and wrote nothing\n' "$1" "$status" >&2
fi
exit "$status"
