#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: the build's emulator for its tests and
# for the programs it runs while building.
#
#   wine-run.sh ARCH PREFIX PROGRAM [ARGS...]
#
# ARCH (i686 or x86_64) picks Wine's 32- or 64-bit loader. PREFIX is a Wine prefix of the build's
# own; it is made on first use, once, however many tests start at the same moment. A wineserver
# that outlives each program for a minute spares every run the start of a cold one (seconds).
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
  if [ ! -f "$prefix/system.reg" ]; then
    "$loader" wineboot.exe --init >/dev/null 2>&1 9>&- || true
    "$server" -w 9>&-
  fi
  # Fails harmlessly when a server already runs. It must not inherit the lock.
  "$server" -p60 </dev/null >/dev/null 2>&1 9>&- || true
) 9>"$prefix.lock"

exec "$loader" "$@"
