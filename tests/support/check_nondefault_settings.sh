#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the suites whose code reads the remembered choices under a user whose settings hold other
# choices than the defaults (sRGB pictures, PNG series with precise colours, folders and recent
# files that do not exist). They must pass as they do on a fresh account:
# check_nondefault_settings.sh <build folder> <settings file> <ctest name pattern>
set -euo pipefail
build=$(realpath "$1")
settings=$(realpath "$2")
pattern=$3

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# Where Qt looks for the user's settings, in normal use and in its test mode.
for folder in "$home/.config/Vexmira" "$home/.qttest/config/Vexmira"; do
  mkdir -p "$folder"
  cp "$settings" "$folder/Viewer.conf"
done
export HOME="$home"
export XDG_CONFIG_HOME="$home/.config"

# Through ctest, as every test is run, but with its records kept apart from those of the run
# this check may be part of.
mkdir "$home/ctest"
echo "subdirs(\"$build/tests\")" >"$home/ctest/CTestTestfile.cmake"
ctest --test-dir "$home/ctest" -R "$pattern" -E nondefault_settings --no-tests=error \
  --output-on-failure -j "$(nproc)"
# None of them may have changed what the user chose.
for folder in "$home/.config/Vexmira" "$home/.qttest/config/Vexmira"; do
  if ! cmp -s "$settings" "$folder/Viewer.conf"; then
    echo "a test changed the user's settings in $folder/Viewer.conf" >&2
    exit 1
  fi
done
echo "the suites pass against the user's non-default settings, which stay unchanged"
