#!/usr/bin/env bash
# Makes the README's pictures of vxhost auto-key: a morph between the two
# views of a stereo photograph (scikit-image's sample motorcycle pair),
# rendered once with the plug-in's empty keys (a plain dissolve) and once
# with a last key found by auto-key, and prints the figures: the luma
# difference of the two pictures at the key unwarped and warped, the flow's
# mean displacement, the share of unreliable nodes and the time auto-key took.
#
# Writes docs/autokey-morph.png (contact sheets: top the empty keys, bottom
# the auto key) and docs/autokey-middle.png (the middle frame of each, side
# by side). Usage: scripts/autokey-demo.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
vxhost=$PWD/${1:-build}/bin/vxhost
photos=/usr/lib/python3/dist-packages/skimage/data
python=/usr/bin/python3

if [ ! -f "$photos/motorcycle_left.png" ] || ! "$python" -c 'import numpy' 2>/dev/null; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    python3-skimage python3-numpy ffmpeg
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VXHOME=$work/home

# 740 x 500: the width a multiple of 4, the height even, so the key grid's
# cells tile the picture. A PNG still is a clip of 25 frames.
for side in left right; do
  ffmpeg -v error -y -i "$photos/motorcycle_$side.png" -vf crop=740:500:0:0 "$work/$side.png"
done
inputs=(--input0 "$work/left.png" --input1 "$work/right.png")

start=$(date +%s.%N)
"$vxhost" auto-key morph --effect auto -i "$work/left.png" -i "$work/right.png" --frames 24 \
  --progressive | tee "$work/autokey.txt"
end=$(date +%s.%N)
echo "auto-key ran $(echo "$end - $start" | bc) s (whole command)"

# Frames 0..23 of 25: the last frame sits on the key, where the plug-in
# shows input 1 through the negated key mesh.
"$vxhost" render morph --effect empty --allow-default-effect --progressive -q "${inputs[@]}" \
  --range 0:48 -o "$work/empty_%04d.png"
"$vxhost" render morph --effect auto -q "${inputs[@]}" --range 0:48 -o "$work/auto_%04d.png"
"$vxhost" contact docs/autokey-morph.png "$work/empty_%04d.png" "$work/auto_%04d.png"
ffmpeg -v error -y -i "$work/empty_0012.png" -i "$work/auto_0012.png" \
  -filter_complex "[0][1]hstack" docs/autokey-middle.png

# Input 0 through the key's mesh alone: a key at level 0, rendered on its
# frame; compared with input 1 as the render reads it (the empty effect's
# last frame).
"$vxhost" auto-key morph --effect lineup -i "$work/left.png" -i "$work/right.png" --frames 12 \
  --level 0 --progressive >/dev/null
"$vxhost" render morph --effect lineup -q "${inputs[@]}" --range 24:26 -o "$work/lineup.y4m"
"$vxhost" render morph --effect empty --allow-default-effect --progressive -q "${inputs[@]}" \
  -o "$work/pair.y4m"
"$python" - "$work/pair.y4m" "$work/lineup.y4m" <<'EOF'
import sys
import numpy as np

def luma_frames(path):
    data = open(path, "rb").read()
    header, rest = data.split(b"\n", 1)
    fields = {f[:1]: f[1:] for f in header.split()[1:]}
    w, h = int(fields[b"W"]), int(fields[b"H"])
    planes = 4 if fields[b"C"] == b"444alpha" else 3
    frames, at = [], 0
    while at < len(rest):
        at = rest.index(b"\n", at) + 1  # past FRAME and its parameters
        frames.append(np.frombuffer(rest, np.uint8, w * h, at).reshape(h, w).astype(int))
        at += planes * w * h
    return frames

pair, lineup = luma_frames(sys.argv[1]), luma_frames(sys.argv[2])
left, right, warped = pair[0], pair[-1], lineup[0]
before = np.abs(left - right).mean()
after = np.abs(warped - right).mean()
print(f"rendered at the key: luma difference {before:.2f} unwarped, {after:.2f} warped "
      f"({100 * (1 - after / before):.0f}% lower)")
EOF
