#!/usr/bin/env bash
# Builds the benchmarks and runs them: the warp passes at every
# instruction-set level beside memcpy and a general-purpose remap (table of
# ns per pixel and ratios at the end), then whole-clip renders of VorluxMorph
# and VorluxOp; --pipeline: whole renders through vxhost beside the ffmpeg
# commands a user compares with (scripts/bench-pipeline.sh).
# Usage: scripts/bench.sh [--passes|--clips|--pipeline] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
what=all
case "${1:-}" in --passes | --clips | --pipeline) what=$1; shift ;; esac
build=${1:-build}
scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vxbench vxbench_render vxhost VorluxMorph VorluxOp
if [ "$what" = --pipeline ]; then
  exec scripts/bench-pipeline.sh "$build"
fi
if [ "$what" != --clips ]; then
  # Three short repetitions each; the table keeps the least disturbed.
  "$build/bin/vxbench" --benchmark_repetitions=3 --benchmark_min_time=0.2
fi
if [ "$what" != --passes ]; then
  "$build/bin/vxbench_render"
fi
