#!/usr/bin/env bash
# One pass over 20 pages (six of 10 KiB, six of 100 KiB, five of 1 MiB, three of 10 MiB) served on
# 127.0.0.1 by nginx, run by `pagewarden --check`, side by side in the same run with
#   (a) one curl process fetching all 20 pages into files, then one `grep -F -c` over them: the
#       near-physical floor of fetching and searching;
#   (b) a shell loop of `curl -s URL | grep -F -q TEXT`, one pair of processes per page.
# Every page holds its search text only in its last bytes, so every method reads every byte. The
# three are run in turn, round after round, after one unmeasured warm-up round; the median and
# the best of each are printed with their ratios to (a).
#
# nginx runs in the foreground with its own configuration in a temporary folder, no system
# service; as root it runs as "nobody".
#
# Usage: bench/check-pass.sh PATH/TO/pagewarden [ROUNDS=9]

set -euo pipefail

PAGEWARDEN=$(realpath "${1:?usage: $0 PATH/TO/pagewarden [ROUNDS]}")
ROUNDS=${2:-9}
TEXT="Sold out"
NGINX=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$NGINX" ] || { echo "nginx is missing (scripts/install-deps.sh installs it)" >&2; exit 2; }
[ -x "$PAGEWARDEN" ] || { echo "no program at $PAGEWARDEN" >&2; exit 2; }

work=$(mktemp -d /tmp/pw-check-pass.XXXXXX)
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/nginx" "$work/config/pagewarden" "$work/fetched"

# --- the pages: random text in lines, the search text as the very last bytes ---
names=()
make_page() {  # name bytes
  local body=$(( $2 - ${#TEXT} ))
  head -c "$body" < <(base64 -w 76 /dev/urandom) > "$work/www/$1"
  printf '%s' "$TEXT" >> "$work/www/$1"
  names+=("$1")
}
for i in 1 2 3 4 5 6; do make_page "p10k-$i.html" $((10 * 1024)); done
for i in 1 2 3 4 5 6; do make_page "p100k-$i.html" $((100 * 1024)); done
for i in 1 2 3 4 5; do make_page "p1m-$i.html" $((1024 * 1024)); done
for i in 1 2 3; do make_page "p10m-$i.html" $((10 * 1024 * 1024)); done
total_bytes=$(cat "$work"/www/* | wc -c)

# --- nginx on a free loopback port ---
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
  chown nobody:nogroup "$work/nginx"
  chmod 755 "$work" "$work/www"
fi
start_nginx() {  # port
  cat > "$work/nginx/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  types { text/html html; }
  sendfile on;
  keepalive_requests 1000;
  server { listen 127.0.0.1:$1; root $work/www; }
}
EOF
  "${run_as[@]}" "$NGINX" -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>>"$work/nginx/start.log" &
  nginx_pid=$!
  for _ in $(seq 50); do
    if curl -sf -o /dev/null "http://127.0.0.1:$1/${names[0]}"; then return 0; fi
    if ! kill -0 "$nginx_pid" 2>/dev/null; then nginx_pid=""; return 1; fi
    sleep 0.1
  done
  return 1
}
port=""
for p in $(shuf -i 20000-60000 -n 20); do
  if start_nginx "$p"; then port=$p; break; fi
  [ -z "$nginx_pid" ] || { kill "$nginx_pid"; wait "$nginx_pid" 2>/dev/null || true; nginx_pid=""; }
done
[ -n "$port" ] || { echo "nginx did not start:" >&2; cat "$work/nginx/start.log" "$work/nginx/error.log" >&2 2>/dev/null; exit 2; }
base="http://127.0.0.1:$port"
export no_proxy="127.0.0.1" NO_PROXY="127.0.0.1"

# --- the watch list, as the window's Save writes it ---
{
  key='HKEY_CURRENT_USER\Software\Quillmere\Pagewarden\watchset.ini'
  echo 'Windows Registry Editor Version 5.00'
  echo
  echo "[$key\\URLs]"
  k=1; for n in "${names[@]}"; do echo "\"URL$k\"=\"$base/$n\""; k=$((k + 1)); done
  echo
  echo "[$key\\Search]"
  for k in $(seq 20); do echo "\"Search$k\"=\"$TEXT\""; done
  echo
  echo "[$key\\Logic]"
  for k in $(seq 20); do echo "\"logic$k\"=dword:00000000"; done
} > "$work/config/pagewarden/HKCU.reg"

now_ns() { date +%s%N; }

run_pagewarden() {
  XDG_CONFIG_HOME="$work/config" "$PAGEWARDEN" --check > "$work/pw.out"
}
curl_args=()
k=1; for n in "${names[@]}"; do curl_args+=(-o "$work/fetched/$k" "$base/$n"); k=$((k + 1)); done
run_floor() {
  # Old files are deleted, not overwritten: truncating and rewriting a file costs ext4 up to twice
  # as much, and the window deletes its scratch file the same way.
  rm -f "$work"/fetched/*
  curl -s "${curl_args[@]}"
  grep -F -c "$TEXT" "$work"/fetched/* > "$work/grep.out"
}
run_loop() {
  for n in "${names[@]}"; do curl -s "$base/$n" | grep -F -q "$TEXT"; done
}

# Warm-up, and proof that every method saw every page whole.
run_pagewarden || { echo "pagewarden --check failed ($?):" >&2; cat "$work/pw.out" >&2; exit 2; }
[ "$(grep -c $'\tok\t' "$work/pw.out")" -eq 20 ] || { echo "pagewarden did not find all 20 texts:" >&2; cat "$work/pw.out" >&2; exit 2; }
run_floor
[ "$(grep -c ':1$' "$work/grep.out")" -eq 20 ] || { echo "curl + grep did not find all 20 texts" >&2; exit 2; }
run_loop

pw_us=(); floor_us=(); loop_us=()
for _ in $(seq "$ROUNDS"); do
  t0=$(now_ns); run_pagewarden; t1=$(now_ns); pw_us+=($(( (t1 - t0) / 1000 )))
  t0=$(now_ns); run_floor; t1=$(now_ns); floor_us+=($(( (t1 - t0) / 1000 )))
  t0=$(now_ns); run_loop; t1=$(now_ns); loop_us+=($(( (t1 - t0) / 1000 )))
done
median_us() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
min_us() { printf '%s\n' "$@" | sort -n | head -1; }
pw=$(median_us "${pw_us[@]}"); floor=$(median_us "${floor_us[@]}"); loop=$(median_us "${loop_us[@]}")
pw_min=$(min_us "${pw_us[@]}"); floor_min=$(min_us "${floor_us[@]}"); loop_min=$(min_us "${loop_us[@]}")

echo "One pass over 20 pages, $((total_bytes / 1024)) KiB in all, nginx on 127.0.0.1; $ROUNDS rounds"
printf '  %-44s %10s %8s %10s %8s\n' "" "median ms" "x (a)" "best ms" "x (a)"
row() {  # label median best
  awk -v l="$1" -v m="$2" -v b="$3" -v fm="$floor" -v fb="$floor_min" \
    'BEGIN { printf "  %-44s %10.1f %8.2f %10.1f %8.2f\n", l, m / 1000, m / fm, b / 1000, b / fb }'
}
row "pagewarden --check" "$pw" "$pw_min"
row "(a) one curl for all 20 + one grep -F -c" "$floor" "$floor_min"
row "(b) loop of curl -s URL | grep -F -q TEXT" "$loop" "$loop_min"
