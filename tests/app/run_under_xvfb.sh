#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the viewer under Xvfb in a drive root holding the demo photograph, waits for its window,
# quits it with Ctrl+Q and expects exit code 0. With VEXMIRA_SCREENSHOT=<file.png> it also keeps
# a picture of the screen (optionally after pressing the keys in VEXMIRA_KEYS, e.g. "w").
set -euo pipefail
viewer=$(realpath "$1")
make_photo=$(realpath "$2")

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
"$make_photo" "$root/Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif"

cat > "$root/session.sh" <<'SESSION'
set -euo pipefail
viewer=$(realpath "$1")
"$viewer" &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Vexmira Viewer$' | head -n 1)
if [ -z "$window" ]; then
  echo "no window titled 'Vexmira Viewer' appeared" >&2
  kill "$pid"
  exit 1
fi
xdotool windowfocus --sync "$window"
sleep 1
for key in ${VEXMIRA_KEYS:-}; do
  xdotool key --window "$window" "$key"
  sleep 2
done
if [ -n "${VEXMIRA_SCREENSHOT:-}" ]; then
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > "$VEXMIRA_SCREENSHOT"
fi
xdotool key --clearmodifiers ctrl+q
status=0
timeout 30 tail --pid="$pid" -f /dev/null || { echo "the viewer did not quit" >&2; kill "$pid"; exit 1; }
wait "$pid" || status=$?
echo "exit code $status"
exit "$status"
SESSION

cd "$root"
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$root/session.sh" "$viewer"
