#!/usr/bin/env bash
# Builds everything and runs the tests. Usage: scripts/test.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build"
cd "$build"
# Soaks (ctest -L soak) are left out: they run for minutes.
ctest --output-on-failure -j2 -LE soak
