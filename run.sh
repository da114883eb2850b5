#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds (Release) and starts the viewer on the demo photograph.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
./scripts/build.sh build Release

# The program's fixed start-up image lies under the drive root, its working directory.
root="$PWD/build/demo-root"
photo="$root/Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif"
# The chart's reference values lie beside the photograph, for the "Chart" dock.
reference="${photo%.tif}_reference.txt"
if [ ! -f "$photo" ] || [ ! -f "$reference" ]; then
  mkdir -p "$(dirname "$photo")"
  ./build/tools/make-demo-photo "$photo"
fi

cd "$root"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found; starting the viewer on a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$OLDPWD/build/app/vexmira-viewer" "$@"
fi
exec "$OLDPWD/build/app/vexmira-viewer" "$@"
