#!/usr/bin/env bash
# vxhost farm on a real one-node Slurm cluster (tests/farm/cluster.sh):
# a render split into parts equals the whole render, YUV4MPEG2 and MP4; a
# cancelled part leaves no output and no part that looks done, and resume
# completes it; bad submissions are refused before anything is queued.
# Exit 77 (skipped, with the reason printed) where Slurm cannot run.
# Usage: farm.sh VXHOST
set -uo pipefail
vxhost=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cluster=$work/cluster
trap 'bash "$here/cluster.sh" stop "$cluster"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

started=$(bash "$here/cluster.sh" start "$cluster") || {
  code=$?
  echo "skipped: no Slurm cluster could be started here: $started"
  [ "$code" = 77 ] && exit 77
  cat "$cluster"/log/*.log 2>/dev/null | tail -20
  exit 1
}
export "${started?}" VXHOME=$work/home
cd "$work"
# Waits until the queue holds none of the jobs given (a minute at most).
drain() {
  for _ in $(seq 240); do
    [ -z "$(squeue -h -r -j "$1" 2>/dev/null)" ] && return 0
    sleep 0.25
  done
  squeue
  fail "jobs $1 still queued after a minute"
}
"$vxhost" sample-effect m --frames 50 >/dev/null 2>&1
"$vxhost" sample-effect small --size 96x32 --frames 50 >/dev/null 2>&1

# Four parts, YUV4MPEG2 and MP4: the whole render's bytes.
for out in farmed.y4m farmed.mp4; do
  start=$(date +%s.%N)
  "$vxhost" render morph --effect m -q -o "whole.${out#*.}" 2>/dev/null || fail "the whole render failed"
  whole=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
  start=$(date +%s.%N)
  read -r array join < <("$vxhost" farm morph --effect m -q -o "$out" --parts 4 2>submit.txt) ||
    fail "submit: $(cat submit.txt)"
  drain "$array,$join"
  farmed=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
  cmp -s "whole.${out#*.}" "$out" || fail "4 parts of $out differ from the whole render"
  [ "$("$vxhost" farm status "$out.farm" | grep -c ' done')" = 5 ] ||
    fail "status: $("$vxhost" farm status "$out.farm")"
  echo "$out: the whole render ${whole} s; 4 parts and the join through Slurm ${farmed} s"
done

# Over an earlier file: the parts wait two minutes, so that part 1 is
# cancelled before it starts; the others are then let go.
rm -rf farmed.mp4.farm
echo earlier >farmed.mp4
read -r array join < <("$vxhost" farm morph --effect m -q -o farmed.mp4 --parts 4 \
  --sbatch --begin=now+120 2>submit.txt) || fail "submit: $(cat submit.txt)"
scancel "${array}_1"
scontrol update jobid="$array" starttime=now >/dev/null
drain "$array"
status=$("$vxhost" farm status farmed.mp4.farm)
[[ $status == *"part 1  fields 24:50  failed or cancelled"* && $status == *"farm resume"* ]] ||
  fail "status after the cancel: $status"
[ "$(cat farmed.mp4)" = earlier ] || fail "the earlier output was touched"
[ -z "$(ls farmed.mp4.farm/parts | grep -v -e '^part-0000.y4m$' -e '^part-0002.y4m$' -e '^part-0003.y4m$')" ] ||
  fail "parts left: $(ls farmed.mp4.farm/parts)"
resumed=$("$vxhost" farm resume farmed.mp4.farm --sbatch --begin=now) || fail "resume: $resumed"
drain "$(awk '/^array/ {printf "%s%s", s, $2; s=","} /^joinjob/ {j=$2} END {print "," j}' farmed.mp4.farm/farm.txt)"
cmp -s whole.mp4 farmed.mp4 || fail "the resumed MP4 differs from the whole render: $(tail -3 farmed.mp4.farm/logs/join.log)"

# Refused before anything is queued, with render's messages.
before=$(squeue -h | wc -l)
while IFS='|' read -r args says; do
  out=$("$vxhost" farm morph $args --parts 2 -q 2>&1) && fail "farm $args was taken"
  [[ $out == *"$says"* ]] || fail "farm $args said: $out"
done <<'CASES'
--effect nosuch -o a.y4m|effect 'nosuch' not found
--effect small -o b.y4m|vxhost effect resize small
--effect m -o /nonexistent/c.y4m|cannot create a temporary file beside it
CASES
[ "$(squeue -h | wc -l)" = "$before" ] || fail "a refused submission queued a job"
ls -d ./*.farm | grep -q -e a.y4m -e b.y4m -e c.y4m && fail "a refused submission left its folder"
echo "farm: passed"
