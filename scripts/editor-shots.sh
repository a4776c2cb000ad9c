#!/usr/bin/env bash
# Screenshots of the editors for docs/: each effect plug-in's editor in a
# real SDL window on a virtual X display (Xvfb), grabbed from the display
# by ffmpeg after a scripted session has painted an effect, and one
# headless picture of the stand-in screen after a session.
# Usage: scripts/editor-shots.sh [BUILD_DIR]   (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -x "$build/bin/vxhost" ]; then
  scripts/install-deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target vxhost VorluxMorph VorluxDraw VorluxFX VorluxWarp >/dev/null
vx=$PWD/$build/bin/vxhost
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VXHOME=$work/home

# The built-in 720x576 sample clips, 20 frames, on a 1024x768 screen: the
# edit view is x 385..954, y 154..609, the overview x 68..352, y 127..354;
# on the timeline's marker row (y 387..396) frame f is at x = 70 + ceil(f * 154 / 19).
paint='gadget img:203 1
gadget key:109 2
press 560 260
move 600 270
move 640 285
move 680 300
release 680 300
press 820 480
move 790 500
move 760 520
release 760 520
press 700 380 right
move 720 390
release 720 390 right
click 152 392
gadget key:101 GENERATOR
gadget str:110 AMOUNT
click 111 392
press 450 300
move 480 330
move 510 360
release 510 360'

# plug-in, picture, generator (1-17), amount, lines after the painting
variants=(
  "VorluxMorph editor-morph 12 70 gadget str:405 0"
  "VorluxDraw editor-draw 10 30 gadget img:216 0"
  "VorluxFX editor-fx 5 50 gadget str:404 160"
  "VorluxWarp editor-warp 16 80 gadget img:212 1"
)
for v in "${variants[@]}"; do
  read -r plugin name generator amount tail <<<"$v"
  rm -rf "$VXHOME"
  {
    echo "${paint//GENERATOR/$generator}" | sed "s/AMOUNT/$amount/"
    echo "$tail"
    echo "screenshot $work/ready.png"
    echo "wait 4000"
  } >"$work/$name.txt"
  rm -f "$work/ready.png"
  # The grab waits for the script to reach its end, while the window still shows.
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" edit "$2" --fields 40 --window --script "$3" -q & pid=$!
    for _ in $(seq 300); do [ -e "$4" ] && break; sleep 0.1; done
    sleep 0.5
    ffmpeg -loglevel error -f x11grab -draw_mouse 0 -video_size 1024x768 -i "$DISPLAY" \
      -frames:v 1 -y "$5"
    wait $pid' _ "$vx" "$PWD/$build/plugins/$plugin.so" "$work/$name.txt" "$work/ready.png" \
    "$work/$name.png"
  # 128 colours keep the pictures small; the GUI needs no more.
  ffmpeg -loglevel error -i "$work/$name.png" \
    -vf "split[a][b];[a]palettegen=max_colors=128[p];[b][p]paletteuse=dither=none" -y "docs/$name.png"
  echo "docs/$name.png"
done

# Headless: a morph with four keys, zoomed in about a point of the
# overview, as the stand-in screen shows it when the editor leaves.
rm -rf "$VXHOME"
{
  echo "${paint//GENERATOR/11}" | sed "s/AMOUNT/45/"
  echo "click 192 392
gadget key:101 0
press 600 300
move 640 330
move 680 360
release 680 360
gadget img:212 1
click 200 240
gadget img:216 0"
} >"$work/session.txt"
"$vx" edit "$PWD/$build/plugins/VorluxMorph.so" --fields 40 --script "$work/session.txt" -q \
  --screenshot "$work/session.png"
ffmpeg -loglevel error -i "$work/session.png" \
  -vf "split[a][b];[a]palettegen=max_colors=128[p];[b][p]paletteuse=dither=none" -y docs/editor-session.png
echo docs/editor-session.png
