#!/usr/bin/env bash
# icon_renders_match_svg.sh ICON_DIR SIZE...: fails when a committed PNG
# ivra-<size>.png is not what ivra.svg renders to, i.e. the artwork was edited
# without running render.sh, and the program and the menu would differ.
set -euo pipefail
dir=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for size in "$@"; do
  rsvg-convert --width "$size" --height "$size" --format png --output "$work/$size.png" "$dir/ivra.svg"
  # Pixels whose colour or opacity differs by more than 2 %, counting
  # renderer rounding as equal.
  differing=$(compare -metric AE -fuzz 2% "$dir/ivra-$size.png" "$work/$size.png" null: 2>&1 || true)
  if [[ "$differing" != 0 ]]; then
    echo "ivra-$size.png differs from ivra.svg in $differing pixels: run packaging/icons/render.sh" >&2
    status=1
  fi
done
(( status == 0 )) && echo "ivra-{$(IFS=,; echo "$*")}.png match ivra.svg"
exit "$status"
