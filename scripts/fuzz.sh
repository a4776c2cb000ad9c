#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each for a fixed
# time on its corpus. Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
# (default 6 seconds each, every target; TARGET is y4m, png, ...).
#   VX_FUZZ_BUILD   build folder (default build-fuzz)
#   VX_FUZZ_CORPUS  folder of the corpora, one folder per target, grown by
#                   each run (default BUILD/fuzz/corpus)
# Seeds are written anew into BUILD/fuzz/seeds by vxfuzzseeds; a crash, leak
# or time-out is kept as BUILD/fuzz/crashes/TARGET-*, and the run fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-6}
shift || true
build=${VX_FUZZ_BUILD:-build-fuzz}
corpus=${VX_FUZZ_CORPUS:-$build/fuzz/corpus}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(y4m png effect opparams script cli media hostapi editor frei0r)

scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_FUZZ=ON \
  -DVX_TESTS=OFF -DVX_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz
rm -rf "$build/fuzz/seeds"
"$build/fuzz/vxfuzzseeds" "$build/fuzz/seeds"
mkdir -p "$build/fuzz/crashes" "$build/fuzz/logs"

passed=0 failed=0
for t in "${targets[@]}"; do
  mkdir -p "$corpus/$t"
  log="$build/fuzz/logs/$t.log"
  # The target's own messages (stderr) are dropped; libFuzzer's and the
  # sanitizers' reports are kept in the log.
  if "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=25 -close_fd_mask=2 \
    -print_final_stats=1 \
    -artifact_prefix="$build/fuzz/crashes/$t-" "$corpus/$t" "$build/fuzz/seeds/$t" >"$log" 2>&1; then
    passed=$((passed + 1))
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    echo "fuzz_$t: $runs executions in ${seconds} s, corpus of $(ls "$corpus/$t" | wc -l) inputs"
  else
    failed=$((failed + 1))
    echo "fuzz_$t: FAILED (log $log, input kept in $build/fuzz/crashes/)"
    tail -n 40 "$log"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
