#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the benchmarks (Release, in build-bench) and prints one line per figure, "name: ratio";
# figures named as arguments only, when any are.
set -euo pipefail
cd "$(dirname "$0")/.."

log=$(mktemp)
runtime=$(mktemp -d)
trap 'rm -rf "$log" "$runtime"' EXIT
if ! ./scripts/build.sh build-bench Release -DVEXMIRA_BUILD_BENCH=ON -DVEXMIRA_BUILD_TESTS=OFF \
    >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi
# Qt asks for a runtime folder even on the offscreen platform.
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$runtime}
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} build-bench/bench/vexmira-bench "$@"
