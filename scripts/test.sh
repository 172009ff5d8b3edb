#!/usr/bin/env bash
# Installs what is needed, builds everything (debug, with Qt) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
echo "== configure (dev)"
cmake --preset dev
echo "== build"
cmake --build --preset dev
echo "== test"
ctest --preset dev
