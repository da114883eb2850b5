#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages the build, the tests and the demo need; a no-op when all are present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev libgl-dev libxcb1-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libopencv-contrib-dev
  libtiff-dev libpng-dev libjpeg-dev
  libgtest-dev
  liblcms2-dev qt6-charts-dev libqt6opengl6-dev
  clang libclang-rt-14-dev lld parallel
  colord-data icc-profiles-free argyll-ref
  xvfb xauth x11-utils x11-apps xdotool poppler-utils netpbm
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
