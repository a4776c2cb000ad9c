#!/usr/bin/env bash
# Whole renders through vxhost beside the ffmpeg command a user would
# compare them with, on the same clips in the same run: wall time, peak
# memory and the ratios. Called by scripts/bench.sh --pipeline.
# Usage: scripts/bench-pipeline.sh BUILD_DIR [1080|2160 ...]
set -euo pipefail
build=$1
shift
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1080 2160)
vxhost=$build/bin/vxhost
plugins=$build/plugins
work=$build/bench-pipeline
mkdir -p "$work/home"
export VXHOME=$work/home
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# Two clips of each size, 4:2:0 H.264 as cameras and phones write them, with
# grain so the encoder works as on real footage; YUV4MPEG2 4:4:4 copies.
makeClips() {
  local size=$1 frames=$2 dims
  dims=$([ "$size" = 2160 ] && echo 3840x2160 || echo 1920x1080)
  [ -f "$work/b$size.mp4" ] && return
  ff -f lavfi -i "testsrc2=size=$dims:rate=30000/1001,noise=alls=6:allf=t" -frames:v "$frames" \
    -pix_fmt yuv420p -c:v libx264 "$work/a$size.mp4"
  ff -f lavfi -i "mandelbrot=size=$dims:rate=30000/1001,noise=alls=6:allf=t" -frames:v "$frames" \
    -pix_fmt yuv420p -c:v libx264 "$work/b$size.mp4"
  if [ "$size" = 1080 ]; then
    ff -i "$work/a$size.mp4" -pix_fmt yuv444p "$work/a$size.y4m"
    ff -i "$work/b$size.mp4" -pix_fmt yuv444p "$work/b$size.y4m"
  fi
  "$vxhost" sample-effect "m$size" --like "$work/a$size.mp4" --frames "$frames" --force >/dev/null
}

# Runs a command twice; prints the faster run's wall seconds and its peak
# memory in MiB.
measure() {
  local best="" line
  for _ in 1 2; do
    /usr/bin/time -o "$work/time" -f "%e %M" bash -c "$1" >/dev/null 2>&1
    line=$(tail -n 1 "$work/time")
    if [ -z "$best" ] || awk -v a="${line% *}" -v b="${best% *}" 'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  awk -v t="${best% *}" -v m="${best#* }" 'BEGIN { printf "%.2f %.0f", t, m / 1024 }'
}

row() { # title, our command, their command, what theirs is
  local ours theirs
  ours=$(measure "$2")
  theirs=$(measure "$3")
  awk -v title="$1" -v o="$ours" -v t="$theirs" -v what="$4" 'BEGIN {
    split(o, a, " "); split(t, b, " ");
    printf "| %s | %.2f s, %d MiB | %.2f s, %d MiB (%s) | %.2fx | %.2fx |\n",
      title, a[1], a[2], b[1], b[2], what, a[1] / b[1], a[2] / b[2] }'
}

echo "| work | vxhost | ffmpeg | time ratio | memory ratio |"
echo "|---|---|---|---|---|"
morph="$vxhost render $plugins/VorluxMorph.so -q"
for size in "${sizes[@]}"; do
  frames=$([ "$size" = 2160 ] && echo 30 || echo 60)
  makeClips "$size" "$frames"
  a=$work/a$size.mp4 b=$work/b$size.mp4
  row "$size MP4 to MP4, Morph, $frames frames" \
    "$morph --effect m$size --input0 $a --input1 $b -o $work/o.mp4" \
    "ffmpeg -nostdin -y -i $a -c:v libx264 $work/t.mp4" "plain transcode of input 0"
  row "$size MP4 to MP4, Morph, $frames frames" \
    "$morph --effect m$size --input0 $a --input1 $b -o $work/o.mp4" \
    "ffmpeg -nostdin -y -i $a -i $b -filter_complex xfade=duration=1:offset=0 -c:v libx264 $work/t.mp4" \
    "xfade of the two clips, same encoder"
  [ "$size" = 1080 ] || continue
  a=$work/a$size.y4m b=$work/b$size.y4m
  xfade="-filter_complex xfade=duration=1:offset=0,format=yuva444p -strict -1 -f yuv4mpegpipe"
  row "$size YUV4MPEG2 to YUV4MPEG2 file, Morph, $frames frames" \
    "$morph --effect m$size --input0 $a --input1 $b -o $work/o.y4m" \
    "ffmpeg -nostdin -y -i $a -i $b $xfade $work/t.y4m" "xfade, same output format"
  row "$size YUV4MPEG2 pipes in and out, Morph, $frames frames" \
    "cat $a | $morph --effect m$size --input0 - --input1 $b -o - | cat >/dev/null" \
    "cat $a | ffmpeg -nostdin -i - -i $b $xfade - | cat >/dev/null" "xfade, same pipes"
done

# The frei0r plug-ins inside ffmpeg and melt with one host thread and with
# two: ffmpeg's filter threads, melt's render threads (real_time=-N).
[ -e "$build/frei0r/vorlux_warp.so" ] || exit 0
export FREI0R_PATH=$build/frei0r
a=$work/a1080.mp4
"$vxhost" sample-effect w1080 --like "$a" --frames 60 --force >/dev/null
cat >"$work/profile" <<'PROFILE'
description=1080p 29.97 square pixels
frame_rate_num=30000
frame_rate_den=1001
width=1920
height=1080
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=16
display_aspect_den=9
colorspace=709
PROFILE
threads() { # title, command with THREADS in it
  local one two
  one=$(measure "${2//THREADS/1}")
  two=$(measure "${2//THREADS/2}")
  awk -v title="$1" -v a="$one" -v b="$two" 'BEGIN {
    split(a, x, " "); split(b, y, " ");
    printf "| %s | %.2f s | %.2f s | %.2fx |\n", title, x[1], y[1], x[1] / y[1] }'
}
echo
echo "| frei0r, 1080, 60 frames of warp | one thread | two threads | speed-up |"
echo "|---|---|---|---|"
threads "ffmpeg -filter_threads N" \
  "ffmpeg -nostdin -y -filter_threads THREADS -i $a -vf 'frei0r=vorlux_warp:w1080|60' -f null -"
threads "melt, real_time=-N" \
  "melt -silent -profile $work/profile $a out=59 -filter frei0r.vorlux_warp effect=w1080 length=60 -consumer avformat:$work/m.nut vcodec=rawvideo an=1 real_time=-THREADS </dev/null"
