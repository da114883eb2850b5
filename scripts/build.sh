#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds into a folder: build.sh <folder> <build type> [extra CMake options...]
set -euo pipefail
cd "$(dirname "$0")/.."

folder=$1
type=$2
shift 2
cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
cmake --build "$folder" -j "$(nproc)"
