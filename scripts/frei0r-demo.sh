#!/usr/bin/env bash
# The operators inside ffmpeg and melt through the frei0r plug-ins, on the
# built-in sample clips: ffmpeg warps clip 0, melt morphs clip 0 into clip 1
# and runs a procedural transition between them; a contact sheet shows the
# two melt transitions.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
base=$(realpath -m "${OUT:-out}")
out=$base/frei0r
mkdir -p "$out"
export VXHOME=${VXHOME:-$base/vxhome}
export FREI0R_PATH=$PWD/build/frei0r
vx=build/bin/vxhost

# Inputs: the sample clips (720x576, 50 frames) as PNG frames.
$vx samples "$out" >/dev/null
ffmpeg -v error -y -i "$out/sample0.y4m" "$out/a_%04d.png"
ffmpeg -v error -y -i "$out/sample1.y4m" "$out/b_%04d.png"
# Effect files for fields of 720x288 over 50 frames.
$vx sample-effect demo-warp --size 720x288 --frames 50 >/dev/null
$vx sample-effect demo-morph --size 720x288 --frames 50 >/dev/null

# ffmpeg: the warp filter; parameters in order effect|length.
ffmpeg -v error -y -i "$out/a_%04d.png" -vf 'frei0r=vorlux_warp:demo-warp|50' \
  -pix_fmt rgba "$out/ffmpeg-warp_%04d.png"

# melt: transitions over the whole clips, in a profile of the clips' size
# with square pixels (melt rescales pictures whose pixel aspect differs).
cat >"$out/profile" <<'PROFILE'
description=720x576 square pixels
frame_rate_num=25
frame_rate_den=1
width=720
height=576
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=5
display_aspect_den=4
colorspace=601
PROFILE
# melt now and then hangs or stops early (whatever the plug-in): up to three
# tries, until all 50 frames are written (numbered from 1).
transition() { # NAME TRANSITION-AND-PARAMETERS...
  local name=$1
  shift
  for attempt in 1 2 3; do
    rm -f "$out/$name"_*.png
    timeout 600 melt -silent -profile "$out/profile" avformat:"$out/a_%04d.png" out=49 \
      -track avformat:"$out/b_%04d.png" out=49 -transition "$@" in=0 out=49 a_track=0 b_track=1 \
      -consumer avformat:"$out/$name"_%04d.png vcodec=png pix_fmt=rgba real_time=-1 \
      </dev/null 2>&1 | grep -v -e LADSPA -e '^$' || true
    [ -e "$out/$name"_0050.png ] && return 0
  done
  echo "melt did not finish $name" >&2
  return 1
}
transition melt-morph frei0r.vorlux_morph effect=demo-morph length=50
transition melt-op frei0r.vorlux_op length=50 amount9=40 amount4=30 fade=25

$vx contact "$out/contact.png" "$out/melt-morph_%04d.png" "$out/melt-op_%04d.png" >/dev/null
echo "output in $out/: ffmpeg-warp_*.png, melt-morph_*.png, melt-op_*.png, contact.png"
