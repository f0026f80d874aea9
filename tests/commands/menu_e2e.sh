#!/usr/bin/env bash
# Drives the running Dormity through its real tray menu, by mouse and
# keyboard on the X display: chooses a screen saver, disables and enables
# the screen saver, and checks the system's settings after each step.
#   menu_e2e.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$build/wineprefix
run() { "$here/cmake/wine-run.sh" --prefix "$prefix" "$@"; }
state() { run "$build/commands/saver_state.exe" query 2>/dev/null | tr -d '\r'; }
fail() { echo "FAIL: $*" >&2; state >&2 || true; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "no X display: skipped (run ctest under xvfb-run)" >&2; exit 77; }

saver=dme2e.scr
installed=$prefix/drive_c/windows/$saver
cleanup() {
  run "$build/dormity_ctl.exe" exit >/dev/null 2>&1 || true
  rm -f "$installed"
  run "$build/commands/saver_state.exe" clear >/dev/null 2>&1 || true
}
trap cleanup EXIT

# Start from no screen saver, enabled; our fixture is an installed one.
run "$build/commands/saver_state.exe" clear
run "$build/dormity_ctl.exe" saver on
cp "$build/commands/fixture_saver.exe" "$installed"

run "$build/Dormity.exe" >/dev/null 2>&1 &
run "$build/dormity_ctl.exe" wait 30000 || fail "Dormity did not start"

# Wine shows the notification area as a small window of its own when no
# desktop panel provides one; dormity_ctl reports where the icon sits in it.
rect=""
for _ in $(seq 100); do
  rect=$(run "$build/dormity_ctl.exe" trayicon 2>/dev/null | tr -d '\r' || true)
  [ -n "$rect" ] && break
  sleep 0.2
done
[ -n "$rect" ] || fail "no tray icon appeared"
read -r iconX iconY iconWidth iconHeight <<<"$rect"
sleep 0.5

# Right button on the icon. The menu opens at the pointer; without a window
# manager nobody hands it the keyboard, so the script does: the keys then
# reach the program that tracks the menu.
open_menu() {
  local x=$(( iconX + iconWidth / 2 )) y=$(( iconY + iconHeight / 2 )) menu=""
  xdotool mousemove "$x" "$y"
  xdotool click 3
  sleep 1
  for window in $(xdotool search --onlyvisible --name '^$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$window")"
    if [ "$X" -le "$x" ] && [ "$Y" -le "$y" ] && [ $(( X + WIDTH )) -gt "$x" ] \
       && [ $(( Y + HEIGHT )) -gt "$y" ] && [ "$WIDTH" -lt 600 ]; then
      menu=$window
    fi
  done
  [ -n "$menu" ] || fail "the menu did not open"
  xdotool windowfocus "$menu" 2>/dev/null || true
  sleep 0.2
}
keys() {
  for key in "$@"; do
    xdotool key "$key"
    sleep 0.3
  done
}
has() {
  local want=$1 tries=${2:-20} got=""
  for _ in $(seq "$tries"); do
    got=$(state)
    grep -qxF "$want" <<<"$got" && return 0
    sleep 0.25
  done
  return 1
}
expect() { has "$1" || fail "expected $1"; }

# Set Screen Saver (first item), into its submenu ("[none]" first), down to
# the installed screen saver, choose it. The submenu lists the Windows and
# System directories' screen savers in the order the directory listing
# gives, so with others installed ours may stand further down.
listed=$(find "$prefix/drive_c/windows" "$prefix/drive_c/windows/system32" -maxdepth 1 \
  -iname '*.scr' 2>/dev/null | wc -l)
chosen=no
for position in $(seq 1 "$listed"); do
  open_menu
  downs=()
  for _ in $(seq "$position"); do downs+=(Down); done
  keys Down Right "${downs[@]}" Return
  if has "registry=C:\\windows\\$saver" 8; then chosen=yes; break; fi
done
[ "$chosen" = yes ] || fail "could not choose $saver from the submenu"
expect "active=1"

# The seventh item is Disable/Enable Screen Saver.
open_menu
keys Down Down Down Down Down Down Down Return
expect "active=0"

open_menu
keys Down Down Down Down Down Down Down Return
expect "active=1"
expect "registry=C:\\windows\\$saver"
echo "menu choices reached the system's settings"
