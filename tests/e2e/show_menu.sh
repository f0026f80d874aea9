#!/usr/bin/env bash
# Starts Dormity under Wine on the current X display, right-clicks its tray
# icon, saves a screenshot of the open menu, and ends Dormity again.
#   show_menu.sh BUILD_DIR SCREENSHOT.png [submenu]
# With "submenu", the "Set Screen Saver" submenu is opened too.
set -euo pipefail
build=$1
shot=$2
mode=${3:-}
here=$(cd "$(dirname "$0")/../.." && pwd)
run() { "$here/cmake/wine-run.sh" --prefix "$build/wineprefix" "$@"; }

run "$build/Dormity.exe" >/dev/null 2>&1 &
run "$build/dormity_ctl.exe" wait 30000

# Wine shows the notification area as its own small window when no desktop
# panel provides one; dormity_ctl reports where our icon sits in it.
rect=""
for _ in $(seq 100); do
  rect=$(run "$build/dormity_ctl.exe" trayicon 2>/dev/null | tr -d '\r' || true)
  [ -n "$rect" ] && break
  sleep 0.2
done
[ -n "$rect" ] || { echo "no tray icon appeared" >&2; run "$build/dormity_ctl.exe" exit; exit 1; }
read -r X Y WIDTH HEIGHT <<<"$rect"
sleep 1
xdotool mousemove $(( X + WIDTH / 2 )) $(( Y + HEIGHT / 2 ))
xdotool click 3
sleep 1.5
if [ "$mode" = submenu ]; then
  # The first item opens the screen saver list.
  xdotool mousemove $(( X + WIDTH / 2 + 50 )) $(( Y + HEIGHT / 2 + 12 ))
  sleep 1.5
fi
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
# A click beside the menu closes it (without a window manager the menu does
# not get the keyboard, so Escape would not reach it).
xdotool mousemove 1000 740 click 1
sleep 0.5
run "$build/dormity_ctl.exe" exit
