#!/usr/bin/env bash
# The main job on the built-in sample clips: builds, then renders a morph
# and a warp through a sample effect and a procedural transition, and
# writes a contact sheet.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
out=${OUT:-out}
mkdir -p "$out"
export VXHOME=${VXHOME:-$PWD/$out/vxhome}
vx=build/bin/vxhost
plugins=build/plugins

# Effect files for fields of 720x288 over 50 frames (100 fields).
$vx sample-effect demo-morph --size 720x288 --frames 50 --force >/dev/null
$vx sample-effect demo-warp --size 720x288 --frames 50 --force >/dev/null

$vx render $plugins/VorluxMorph.so --effect demo-morph -o "$out/morph.y4m"
$vx render $plugins/VorluxWarp.so --effect demo-warp -o "$out/warp.y4m"
# A procedural transition: rotation (type 9) at 40 and radial wave (type 4)
# at 30, cross-fade over 25 fields about the middle.
$vx render $plugins/VorluxOp.so --effect demo-op --fresh --gadget 0=9 --gadget 1=40 \
  --gadget 0=4 --gadget 1=30 --gadget 2=25 -o "$out/transition.y4m"
$vx contact "$out/contact.png" "$out/morph.y4m" "$out/warp.y4m" "$out/transition.y4m" >/dev/null

echo
echo "output in $out/:"
ls -l "$out"
