#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Under Xvfb: the viewer on the demo photograph, fitted to the window, the mouse resting on the
# picture, so the status bar shows its read-out. Keeps the screen in <file.png> and checks that
# it holds the overlay's colours: the quadrilateral and corner numbers in magenta, the two dashed
# rectangles in orange and blue (the read-out's texts are checked by test_imagereadout).
# Usage: screenshot_readouts.sh <viewer> <make-demo-photo> <file.png>
set -euo pipefail
here=$(dirname "$(realpath "$0")")
shot=$(realpath -m "$3")
mkdir -p "$(dirname "$shot")"
rm -f "$shot"

VEXMIRA_KEYS="ctrl+f" VEXMIRA_MOUSE="200 400" VEXMIRA_SCREENSHOT="$shot" \
  "$here/run_under_xvfb.sh" "$1" "$2"

# Exact colours: the overlay is drawn without antialiasing. The samples may be 16-bit.
colours=$(pngtopnm "$shot" | pamdepth 255 | ppmhist -noheader)
for colour in "169 1 219" "255 140 0" "0 190 255"; do
  read -r r g b <<<"$colour"
  count=$(awk -v r="$r" -v g="$g" -v b="$b" '$1 == r && $2 == g && $3 == b { print $NF }' \
    <<<"$colours")
  if [ -z "$count" ] || [ "$count" -lt 40 ]; then
    echo "the screenshot holds ${count:-no} pixels of colour $colour" >&2
    exit 1
  fi
  echo "colour $colour: $count pixels"
done
echo "screenshot kept in $shot"
