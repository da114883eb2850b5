#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Under Xvfb: the viewer in the "Colour-managed (ICC)" mode on a ProPhoto RGB picture with its
# profile embedded. Keeps the screen in <file.png> and checks that each half of the picture is
# shown in the sRGB colour Little CMS makes of its stored values (within one code), not in the
# stored values themselves. The status bar names "ProPhoto RGB" (its text is checked by
# test_pictureprofiles).
# Usage: screenshot_icc.sh <viewer> <make-demo-photo> <make-prophoto-picture> <file.png>
set -euo pipefail
here=$(dirname "$(realpath "$0")")
shot=$(realpath -m "$4")
mkdir -p "$(dirname "$shot")"
rm -f "$shot"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

expected=$("$3" /usr/share/color/icc/colord/ProPhotoRGB.icc "$work/prophoto.tif")
printf '[colour]\nencoding=icc\n' > "$work/Viewer.conf"
VEXMIRA_OPEN="$work/prophoto.tif" VEXMIRA_SETTINGS="$work/Viewer.conf" VEXMIRA_SCREENSHOT="$shot" \
  "$here/run_under_xvfb.sh" "$1" "$2"

colours=$(pngtopnm "$shot" | pamdepth 255 | ppmhist -noheader)
# Pixels within one code of r g b.
count_near() {
  awk -v r="$1" -v g="$2" -v b="$3" 'function d(x, y) { return x > y ? x - y : y - x }
    d($1, r) <= 1 && d($2, g) <= 1 && d($3, b) <= 1 { n += $NF } END { print n + 0 }' \
    <<<"$colours"
}
while read -r r g b sr sg sb; do
  shown=$(count_near "$r" "$g" "$b")
  raw=$(count_near "$sr" "$sg" "$sb")
  echo "sRGB $r $g $b: $shown pixels; stored values $sr $sg $sb: $raw pixels"
  # Each half is 200 x 300, less what the overlay covers.
  if [ "$shown" -lt 40000 ] || [ "$raw" -gt 1000 ]; then
    echo "the picture is not shown colour-managed" >&2
    exit 1
  fi
done <<<"$expected"
echo "screenshot kept in $shot"
