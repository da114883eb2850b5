#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang in build-fuzz (apart from the gcc builds), makes the seed
# corpus and runs each over a fixed number of inputs from a fixed seed:
# run.sh [picture inputs] [profile inputs]. Non-zero on any finding; the input that caused it is
# left in build-fuzz/findings/ and belongs in fuzz/regressions/ once mended.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-60000}
profile_runs=${2:-$runs}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXMIRA_FUZZ=ON -DVEXMIRA_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target fuzz_image_file fuzz_profile make_fuzz_corpus -j "$(nproc)"

corpus=build-fuzz/corpus
rm -rf "$corpus" build-fuzz/findings
mkdir -p build-fuzz/findings
build-fuzz/fuzz/make_fuzz_corpus "$corpus"

# Qt keeps caches alive until exit; leak reports from them would drown real faults.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
export OPENCV_LOG_LEVEL=ERROR
build-fuzz/fuzz/fuzz_image_file -runs="$runs" -seed=1245 -max_len=65536 -rss_limit_mb=2560 \
  -timeout=25 -detect_leaks=0 -print_final_stats=1 -artifact_prefix=build-fuzz/findings/ \
  "$corpus" fuzz/regressions
# Profiles: the same corpus, whose pictures carry real ones, and the saved damaged inputs.
build-fuzz/fuzz/fuzz_profile -runs="$profile_runs" -seed=1245 -max_len=65536 -rss_limit_mb=2560 \
  -timeout=25 -detect_leaks=0 -print_final_stats=1 -artifact_prefix=build-fuzz/findings/ \
  "$corpus" fuzz/regressions
