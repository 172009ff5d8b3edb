#!/usr/bin/env bash
# Installs a Debian package of Pagewarden on this machine with apt, runs the installed program
# as a user would, and removes it again: the package must install its dependencies, work from
# /usr/bin without an update address, and leave nothing behind. Needs root (or sudo).
#   check-package.sh build/package/pagewarden_VERSION_ARCH.deb
set -euo pipefail

[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: check-package.sh PACKAGE.deb" >&2; exit 2; }
deb=$(realpath "$1")
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
program=/usr/bin/pagewarden
version=$(dpkg-deb --field "$deb" Version)
work=$(mktemp -d)
installed=0

fail() {
  echo "check-package.sh: $*" >&2
  exit 1
}
cleanup() {
  [ $installed -eq 0 ] || $SUDO apt-get remove -y -q pagewarden >/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# expect STATUS OUTPUT-PATTERN COMMAND...: runs the installed program in a fresh home, with no
# update address from the environment, and checks its exit status and standard output.
expect() {
  local status=$1 pattern=$2 got=0
  shift 2
  env -u PAGEWARDEN_UPDATE_URL HOME="$work/home" XDG_CACHE_HOME="$work/cache" \
    XDG_CONFIG_HOME="$work/config" "$@" >"$work/out" 2>"$work/err" || got=$?
  [ "$got" -eq "$status" ] && { [ -z "$pattern" ] || grep -q -E -- "$pattern" "$work/out"; } ||
    fail "$* exited with $got (expected $status), said: $(cat "$work/out" "$work/err")"
  echo "   $* -> $got: $(head -n 1 "$work/out")"
}

echo "== install $deb"
[ ! -e $program ] || fail "$program exists before the package is installed"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "$deb" >"$work/apt" ||
  fail "apt-get install failed: $(cat "$work/apt")"
installed=1
dpkg-query -W -f='${Status}' pagewarden | grep -q "install ok installed" || fail "not installed"

echo "== run $program"
mkdir -p "$work/home"
printf '<p>Status: In stock</p>\n' >"$work/page.html"
page="file://$work/page.html"
T=$'\t'
expect 0 "^Pagewarden $version, released [0-9]+/[0-9]+/[0-9]+$" $program --version
expect 0 "^1${T}ok${T}absence${T}$page${T}$" $program --check --url "$page" --text "In stock"
expect 1 "^1${T}ALARM${T}absence${T}$page${T}$" $program --check --url "$page" --text "Sold out"
expect 0 "^The user guide \(Help in the window\): /usr/share/doc/pagewarden/pagewarden.pdf$" \
  $program --help
# Built without an update address: the question cannot even be asked, and a packaged program
# takes none from the environment either (its package manager updates it).
expect 2 "" $program --check-update
expect 2 "" env PAGEWARDEN_UPDATE_URL=http://127.0.0.1:9/info.txt $program --check-update
[ -f "$work/cache/pagewarden/url2.htm" ] || fail "the page was not kept in the user's cache"
[ ! -e /usr/bin/url2.htm ] || fail "the installed program wrote /usr/bin/url2.htm"

echo "== remove"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -q pagewarden >"$work/apt" ||
  fail "apt-get remove failed: $(cat "$work/apt")"
installed=0
[ ! -e $program ] || fail "$program is still there after the package was removed"
if dpkg-query -W -f='${Status}' pagewarden 2>/dev/null | grep -q "install ok installed"; then
  fail "dpkg still lists pagewarden as installed"
fi
echo "== package $deb: installs, runs and removes cleanly"
