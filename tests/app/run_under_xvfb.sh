#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the viewer under Xvfb in a drive root holding the demo photograph, waits for its window,
# quits it with Ctrl+Q and expects exit code 0. With VEXMIRA_SCREENSHOT=<file.png> it also keeps
# a picture of the screen (optionally after pressing the keys in VEXMIRA_KEYS, e.g. "w", and
# moving the mouse to the window's point VEXMIRA_MOUSE, e.g. "300 400").
# With a third argument --open-test-picture it starts the viewer on a red 400 x 300 picture
# named on its command line and checks that the screen shows it.
set -euo pipefail
viewer=$(realpath "$1")
make_photo=$(realpath "$2")

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
"$make_photo" "$root/Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif"
# What the viewer remembers goes here, not into the user's settings.
export XDG_CONFIG_HOME="$root/config"
arguments=()
# VEXMIRA_SETTINGS=<file> starts it with those settings; VEXMIRA_OPEN=<file> on that picture.
if [ -n "${VEXMIRA_SETTINGS:-}" ]; then
  mkdir -p "$XDG_CONFIG_HOME/Vexmira"
  cp "$VEXMIRA_SETTINGS" "$XDG_CONFIG_HOME/Vexmira/Viewer.conf"
fi
if [ -n "${VEXMIRA_OPEN:-}" ]; then
  arguments=("$VEXMIRA_OPEN")
fi
if [ "${3:-}" = "--open-test-picture" ]; then
  ppmmake rgb:ff/00/00 400 300 | pnmtopng > "$root/red.png"
  arguments=("$root/red.png")
  # All of it but what the quadrilateral's lines cover.
  export VEXMIRA_EXPECT_RED=$((400 * 300 * 9 / 10))
fi

cat > "$root/session.sh" <<'SESSION'
set -euo pipefail
viewer=$(realpath "$1")
shift
"$viewer" "$@" &
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
if [ -n "${VEXMIRA_EXPECT_RED:-}" ]; then
  # xwdtopnm may write 16-bit samples.
  red=$(xwd -root -silent | xwdtopnm 2>/dev/null | pamdepth 255 | ppmhist -noheader |
        awk '$1 == 255 && $2 == 0 && $3 == 0 { print $5 }')
  if [ "${red:-0}" -lt "$VEXMIRA_EXPECT_RED" ]; then
    echo "the picture named on the command line is not shown: ${red:-0} red pixels" >&2
    kill "$pid"
    exit 1
  fi
  echo "the picture named on the command line is shown: $red red pixels"
fi
if [ -n "${VEXMIRA_MOUSE:-}" ]; then
  xdotool mousemove --window "$window" ${VEXMIRA_MOUSE}
  sleep 1
fi
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
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$root/session.sh" "$viewer" "${arguments[@]}"
