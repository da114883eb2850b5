#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds into a folder: build.sh <folder> <build type> [extra CMake options...]
set -euo pipefail
cd "$(dirname "$0")/.."

folder=$1
type=$2
shift 2
# Rebuilds of unchanged sources, in this folder or another checkout, come from the compiler cache.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# What ccache needs to cache sources compiled with a precompiled header.
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE="$type" "${launcher[@]}" "$@" >/dev/null
cmake --build "$folder" -j "$(nproc)"
