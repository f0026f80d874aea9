#!/usr/bin/env bash
# Starts Dormity under Wine on the current X display, opens the Timeout and
# the About dialog with their menu commands, saves a picture of each and
# closes each with the Escape key, then ends Dormity.
#   show_dialogs.sh BUILD_DIR OUTPUT_DIR
# Writes OUTPUT_DIR/timeout-dialog.png and OUTPUT_DIR/about-dialog.png.
# Fails when a dialog does not appear, has an unlikely size, or stays open.
set -euo pipefail
build=$1
out=$2
here=$(cd "$(dirname "$0")/../.." && pwd)
run() { "$here/cmake/wine-run.sh" --prefix "$build/wineprefix" "$@"; }

program="$build/Dormity.exe"
mkdir -p "$out"

run "$program" >/dev/null 2>&1 &
started=$!
finish() {
  run "$build/dormity_ctl.exe" exit >/dev/null 2>&1 || true
  wait "$started" 2>/dev/null || true
}
trap finish EXIT
run "$build/dormity_ctl.exe" wait 30000

find_dialog() {
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true
}

# shoot COMMAND CAPTION FILE MIN_WIDTH MIN_HEIGHT
shoot() {
  local command=$1 caption=$2 file=$3 minWidth=$4 minHeight=$5 window=""
  run "$build/dormity_ctl.exe" command "$command"
  for _ in $(seq 100); do
    window=$(find_dialog "$caption")
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "the $caption dialog did not appear" >&2; return 1; }
  sleep 1  # painted
  eval "$(xdotool getwindowgeometry --shell "$window")"
  echo "$caption: ${WIDTH}x${HEIGHT} at $X,$Y"
  if [ "$WIDTH" -lt "$minWidth" ] || [ "$HEIGHT" -lt "$minHeight" ] || [ "$WIDTH" -le "$HEIGHT" ]; then
    echo "the $caption dialog is ${WIDTH}x${HEIGHT}" >&2
    return 1
  fi
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$file"
  # A real keystroke: Escape closes the dialog without changing anything.
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key Escape
  for _ in $(seq 50); do
    [ -z "$(find_dialog "$caption")" ] && return 0
    sleep 0.1
  done
  echo "Escape left the $caption dialog open" >&2
  return 1
}

# Dialog units of 177x93 and 213x151 in an 8-point face: well over these.
shoot 412 Timeout timeout-dialog.png 200 100
shoot 406 About about-dialog.png 250 170
trap - EXIT
finish
echo "pictures in $out"
