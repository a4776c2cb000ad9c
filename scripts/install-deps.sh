#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail

# The OpenCV development files serve only the benchmarks (a general-purpose
# remap to compare the warp passes with); the build works without them.
# ffmpeg and melt are the video tools the frei0r adapter is tested in.
# clang and its sanitizer runtimes build the fuzz targets (scripts/fuzz.sh).
packages=(g++ cmake ninja-build pkg-config libgtest-dev libbenchmark-dev libpng-dev
  libopencv-core-dev libopencv-imgproc-dev libfreetype-dev fonts-dejavu-core libsdl2-dev xvfb xauth
  frei0r-plugins-dev ffmpeg melt libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  clang libclang-rt-14-dev)

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
