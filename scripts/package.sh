#!/usr/bin/env bash
# Installs what is needed and makes the Debian package (the `package` presets: a Release build
# for /usr, without tests and without an update address). Its path is the last line printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
echo "== configure, build and package (preset package)"
cmake --workflow --preset package
deb=$(find "$PWD/build/package" -maxdepth 1 -name "pagewarden_$(sed -n \
  's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/CMakeCache.txt)_*.deb" | head -n 1)
[ -n "$deb" ] || { echo "package.sh: cpack made no package in build/package" >&2; exit 1; }
echo "$deb"
