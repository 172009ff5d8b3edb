#!/usr/bin/env bash
# Installs what is needed, builds Pagewarden (release) and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
echo "== configure (release)"
cmake --preset release
echo "== build"
cmake --build --preset release --target pagewarden
echo "== start build/release/app/pagewarden $*"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "   (no display: running under xvfb-run)"
  exec xvfb-run -a build/release/app/pagewarden "$@"
fi
exec build/release/app/pagewarden "$@"
