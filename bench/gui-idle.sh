#!/usr/bin/env bash
# Idle cost of the watch window, side by side in the same run with an empty Qt window and with a
# Qt window showing one label and one focused text field: resident memory after start-up, and
# context switches (wake-ups) while they sit idle. A focused text field's caret blinks on a timer
# of the toolkit, in the baseline with text as in the watch window.
# Needs a display; without one it runs itself under xvfb-run.
#
# Usage: bench/gui-idle.sh BUILD_DIR [SECONDS=60]     (BUILD_DIR e.g. build/release)
set -euo pipefail
BUILD=${1:?usage: bench/gui-idle.sh BUILD_DIR [SECONDS]}
SECONDS_IDLE=${2:-60}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

PROGRAM="$BUILD/app/pagewarden"
BARE="$BUILD/bench/pw_bench_bare_qt"
CONFIG=$(mktemp -d)  # no stored settings: nothing is monitored, as on a first start
trap 'rm -rf "$CONFIG"' EXIT

field() { awk -v f="$2:" '$1 == f { print $2 }' "/proc/$1/status"; }
# Context switches of every thread of the process.
all_switches() {
  local total=0 t
  for t in /proc/"$1"/task/*; do
    total=$(( total + $(awk '$1 ~ /ctxt_switches:/ { s += $2 } END { print s }' "$t/status") ))
  done
  echo "$total"
}

measure() {  # name, command...
  local name=$1; shift
  XDG_CONFIG_HOME="$CONFIG" SDL_AUDIODRIVER=dummy "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep 3
  local rss; rss=$(field "$pid" VmRSS)
  local before; before=$(all_switches "$pid")
  sleep "$SECONDS_IDLE"
  local after; after=$(all_switches "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  printf '%-18s RSS %7d kB   context switches in %ds: %d\n' "$name" "$rss" "$SECONDS_IDLE" $(( after - before ))
  LAST_RSS=$rss
}

measure "bare Qt window" "$BARE"; BARE_RSS=$LAST_RSS
measure "bare, with text" "$BARE" --text; TEXT_RSS=$LAST_RSS
measure "pagewarden" "$PROGRAM"; OURS_RSS=$LAST_RSS
awk -v a="$OURS_RSS" -v b="$BARE_RSS" -v c="$TEXT_RSS" \
  'BEGIN { printf "RSS ratio: %.2f x the empty window, %.2f x the window with text\n", a / b, a / c }'
