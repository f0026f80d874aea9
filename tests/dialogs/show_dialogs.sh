#!/usr/bin/env bash
# Opens the running Dormity's Timeout, About and Add Running Program dialogs
# by their commands, keeps OUTPUT_DIR/timeout-dialog.png, about-dialog.png
# and picker-dialog.png (three programs of Wine's with windows running) and
# closes each with Escape; fails if one does not appear, is of an unlikely
# size or stays.
#   show_dialogs.sh BUILD_DIR OUTPUT_DIR
set -euo pipefail
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
out=$2
programs=(notepad.exe winemine.exe regedit.exe)
ended() { for program in "${programs[@]}"; do run taskkill /f /im "$program" >/dev/null 2>&1 || true; done; }
trap 'end_dormity || true; ended' EXIT
dialog() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true; }
# Up first, so that none of them takes the keyboard from a dialog as it shows.
for program in "${programs[@]}"; do run "$program" >/dev/null 2>&1 & done
shown() { [ -n "$(dialog 'Untitled - Notepad')" ] && [ -n "$(dialog WineMine)" ] \
          && [ -n "$(dialog 'Registry Editor')" ]; }
retry 300 0.1 shown || fail "the three programs did not show their windows"
sleep 1
start_dormity
found() { window=$(dialog "$1"); [ -n "$window" ]; }
gone() { [ -z "$(dialog "$1")" ]; }
# shoot COMMAND CAPTION FILE MIN_WIDTH MIN_HEIGHT
shoot() {
  local X Y WIDTH HEIGHT
  ctl command "$1"
  retry 100 0.1 found "$2" || fail "the $2 dialog did not appear"
  sleep 1  # painted
  eval "$(xdotool getwindowgeometry --shell "$window")"
  echo "$2: ${WIDTH}x${HEIGHT} at $X,$Y"
  [ "$WIDTH" -ge "$4" ] && [ "$HEIGHT" -ge "$5" ] && [ "$WIDTH" -gt "$HEIGHT" ] \
    || fail "the $2 dialog is ${WIDTH}x${HEIGHT}"
  shot "$out/$3" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage
  # A real keystroke: Escape closes the dialog without changing anything.
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key Escape
  retry 50 0.1 gone "$2" || fail "Escape left the $2 dialog open"
}

# Dialog units of 177x93, 213x164 and 260x178 in an 8-point face: well over these.
shoot 412 Timeout timeout-dialog.png 200 100
shoot 406 About about-dialog.png 250 190
shoot 425 "Add Running Program" picker-dialog.png 300 200
echo "pictures in $out"
