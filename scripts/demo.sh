#!/usr/bin/env bash
# The main job: builds, then renders a morph and a warp through a sample
# effect and a procedural transition, and writes a contact sheet.
# Usage: scripts/demo.sh [CLIP0 [CLIP1]]
# Without clips it uses the built-in sample clips and writes .y4m; with the
# user's own clips (MP4, MOV, MKV, ..., YUV4MPEG2, PNG) it writes .mp4 when
# vxhost is built with FFmpeg's libraries. CLIP1 must have CLIP0's size;
# without it sample clip 1 is drawn at that size.
set -euo pipefail
clips=()
for c in "$@"; do clips+=("$(realpath "$c")"); done
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
out=${OUT:-out}
mkdir -p "$out"
case $out in /*) ;; *) out=$PWD/$out ;; esac
export VXHOME=${VXHOME:-$out/vxhome}
vx=build/bin/vxhost
plugins=build/plugins

inputs=() ext=y4m fit=(--size 720x288 --frames 50)
if [ ${#clips[@]} -gt 0 ]; then
  inputs=(--input0 "${clips[0]}")
  inputs+=(--input1 "${clips[1]:-sample}") # sample: the built-in sample clip 1
  fit=(--like "${clips[0]}")
  pkg-config --exists libavformat libavcodec libswscale libavutil && ext=mp4
fi

# Effect files fitting the fields and length of input 0 (the sample clips:
# 720x288 over 50 frames).
$vx sample-effect demo-morph "${fit[@]}" --force >/dev/null
$vx sample-effect demo-warp "${fit[@]}" --force >/dev/null

$vx render $plugins/VorluxMorph.so "${inputs[@]}" --effect demo-morph -o "$out/morph.$ext"
$vx render $plugins/VorluxWarp.so "${inputs[@]}" --effect demo-warp -o "$out/warp.$ext"
# A procedural transition: rotation (type 9) at 40 and radial wave (type 4)
# at 30, cross-fade over 25 fields about the middle.
$vx render $plugins/VorluxOp.so "${inputs[@]}" --effect demo-op --fresh --gadget 0=9 --gadget 1=40 \
  --gadget 0=4 --gadget 1=30 --gadget 2=25 -o "$out/transition.$ext"
$vx contact "$out/contact.png" "$out/morph.$ext" "$out/warp.$ext" "$out/transition.$ext" >/dev/null

echo
echo "output in $out/:"
ls -l "$out"
