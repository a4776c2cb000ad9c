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
out=${OUT:-out}/frei0r
mkdir -p "$out"
export VXHOME=${VXHOME:-$PWD/${OUT:-out}/vxhome}
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
transition() { # NAME TRANSITION-AND-PARAMETERS...
  local name=$1
  shift
  melt -silent -profile "$out/profile" avformat:"$out/a_%04d.png" out=49 \
    -track avformat:"$out/b_%04d.png" out=49 -transition "$@" in=0 out=49 a_track=0 b_track=1 \
    -consumer avformat:"$out/$name"_%04d.png vcodec=png pix_fmt=rgba real_time=-1 2>&1 |
    grep -v -e LADSPA -e '^$' || true
}
transition melt-morph frei0r.vorlux_morph effect=demo-morph length=50
transition melt-op frei0r.vorlux_op length=50 amount9=40 amount4=30 fade=25

$vx contact "$out/contact.png" "$out/melt-morph_%04d.png" "$out/melt-op_%04d.png" >/dev/null
echo "output in $out/: ffmpeg-warp_*.png, melt-morph_*.png, melt-op_*.png, contact.png"
