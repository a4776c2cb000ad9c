#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail

# OpenCV's video module gives vxhost auto-key its optical flow; the core and
# imgproc files also serve the benchmarks (a general-purpose remap to
# compare the warp passes with).
# ffmpeg, melt and GStreamer are the video tools the frei0r adapter is tested in.
# clang and its sanitizer runtimes build the fuzz targets (scripts/fuzz.sh).
# Slurm and munge run the one-node cluster of the farm test.
packages=(g++ cmake ninja-build pkg-config libgtest-dev libbenchmark-dev libpng-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-video-dev libfreetype-dev fonts-dejavu-core libsdl2-dev xvfb xauth
  frei0r-plugins-dev ffmpeg melt gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  clang libclang-rt-14-dev slurm-wlm munge)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
