#!/usr/bin/env bash
# Installs what the Windows build needs on Debian: the mingw-w64 cross compilers (the -posix
# ones, for std::thread), Wine to run what they build, a display for Wine, GoogleTest's sources;
# and puts cpp-httplib's header-only form, from Debian's source package, where the Windows tests
# find it (Debian's binary package holds a Linux library only). Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build curl xz-utils patch
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix   # the 32-bit program; the 64-bit tests
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64     # windres: real resources
  wine wine64                                           # runs the tests and the build's tools
  xvfb xauth file                                       # a display for Wine; checks of the build
  googletest                                            # GoogleTest's sources
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ ${#missing[@]} -eq 0 ]; then
  echo "== windows packages: all ${#PACKAGES[@]} already installed"
else
  echo "== windows packages: installing ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# cpp-httplib 0.11.4 as Debian 12 ships it (the same version as libcpp-httplib-dev on Linux),
# with Debian's patches, checked against the digests of its source package.
dest=build/sources/cpp-httplib
version=0.11.4+ds
revision=1+deb12u1
pool=http://deb.debian.org/debian/pool/main/c/cpp-httplib
if [ -f "$dest/httplib.h" ] && [ "$(cat "$dest/.version" 2>/dev/null)" = "$version-$revision" ]; then
  echo "== cpp-httplib: $dest/httplib.h already there"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
orig=cpp-httplib_${version}.orig.tar.xz
debian=cpp-httplib_${version}-${revision}.debian.tar.xz
echo "== cpp-httplib: fetching $orig and $debian from Debian"
curl -fsS -o "$work/$orig" "$pool/$orig"
curl -fsS -o "$work/$debian" "$pool/$debian"
( cd "$work" && sha256sum -c --quiet - <<SUMS
8b1a5df569003b6a4f24c68489bbda5c64aec94697bdc9ebba5d79408b2ae7eb  $orig
a0adf8a38610806f6d94ba69839438635e5e6580775e28ff31d6a081e34f1484  $debian
SUMS
)
mkdir -p "$work/src"
tar -xf "$work/$orig" -C "$work/src" --strip-components=1
tar -xf "$work/$debian" -C "$work/src"
if [ -f "$work/src/debian/patches/series" ]; then
  while read -r patch; do
    case $patch in ''|'#'*) continue ;; esac
    patch -s -p1 -d "$work/src" < "$work/src/debian/patches/$patch"
  done < "$work/src/debian/patches/series"
fi
mkdir -p "$dest"
cp "$work/src/httplib.h" "$work/src/LICENSE" "$dest/"
echo "$version-$revision" > "$dest/.version"
echo "== cpp-httplib: $dest/httplib.h"
