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
# panel provides one; the icons sit in a row from its left edge.
tray=""
for _ in $(seq 100); do
  tray=$(xdotool search --name "Wine System Tray" 2>/dev/null | head -n 1 || true)
  [ -n "$tray" ] && break
  sleep 0.2
done
[ -n "$tray" ] || { echo "no tray window appeared" >&2; run "$build/dormity_ctl.exe" exit; exit 1; }
sleep 1
eval "$(xdotool getwindowgeometry --shell "$tray")"
xdotool mousemove $(( X + 10 )) $(( Y + HEIGHT / 2 ))
xdotool click 3
sleep 1.5
if [ "$mode" = submenu ]; then
  # The first item opens the screen saver list.
  xdotool mousemove $(( X + 60 )) $(( Y + HEIGHT / 2 + 20 ))
  sleep 1.5
fi
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
xdotool key Escape Escape
sleep 0.3
run "$build/dormity_ctl.exe" exit
