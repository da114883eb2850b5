#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one test with a home and settings location of its own, empty when it starts and removed
# when it ends, so that no test reads or writes the user's settings
# (~/.config/Vexmira/Viewer.conf), Qt's test-mode settings under the user's home, or another
# test's: private_settings.sh <folder for the homes> <program> [arguments...]
# Every test starts through here, so it starts as few processes as it can.
set -euo pipefail
root=$1
shift
# The process number keeps the homes of tests running at once apart.
home="$root/${1##*/}.$$"
if [ -e "$home" ]; then
  rm -rf "$home" # left by a run that was killed
fi
mkdir -p "$home"
trap 'rm -rf "$home"' EXIT
export HOME="$home"
export XDG_CONFIG_HOME="$home/.config"
export XDG_DATA_HOME="$home/.local/share"
export XDG_STATE_HOME="$home/.local/state"
"$@"
