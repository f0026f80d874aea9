#!/usr/bin/env bash
# The popup menu and the "Set Screen Saver" submenu as the screen shows
# them, with two fixture screen savers installed, one of them selected and
# the screen saver enabled; then the submenu once more with no screen saver
# installed at all. Dormity runs as a process under Wine on the X display
# (Xvfb); the screenshots are kept under BUILD_DIR/screenshots:
#   menu.png, submenu.png, submenu-none.png                 the whole screen
#   menu-crop.png, submenu-crop.png, submenu-none-crop.png  the menus alone
# The steps are those of tests/e2e/show_menu.sh, with the pictures taken in
# one session, and the menu closed by a click beside it: without a window
# manager the Escape key does not reach Wine's menu, which then stays open
# and keeps Dormity from ending.
# The test fails when the menus do not show at the sizes their items ask for.
#   menu_screenshots.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
[ -n "${DISPLAY:-}" ] || { echo "no X display: skipped" >&2; exit 77; }
prefix=$build/wineprefix
shots=$build/screenshots
run() { "$here/cmake/wine-run.sh" --prefix "$prefix" "$@"; }

# The prefix exists after the first program has run in it.
run "$build/dormity_ctl.exe" saver on
windows=$prefix/drive_c/windows
installed=("$windows/first.scr" "$windows/tenchars.scr")
close_and_exit() {
  xdotool mousemove 700 600 click 1 >/dev/null 2>&1 || true
  sleep 0.5
  run "$build/dormity_ctl.exe" exit >/dev/null 2>&1
}
cleanup() {
  close_and_exit || true
  rm -f "${installed[@]}"
  run reg delete 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /f >/dev/null 2>&1 || true
}
trap cleanup EXIT

# The menu windows of Dormity now on the screen, topmost first, one
# "width height x y" a line.
menu_windows() {
  xwininfo -root -children | grep '("dormity.exe"' | grep 'has no name' \
    | sed -E 's/.* ([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+) .*/\1 \2 \3 \4/' \
    | awk '$1 > 1 && $2 > 1'
}

# Starts Dormity, opens the popup (and the submenu), saves both screens
# with their menu windows' geometry in NAME.geometry, and ends Dormity.
shoot() {
  local menu=$1 submenu=$2 rect X Y WIDTH HEIGHT
  run "$build/Dormity.exe" >/dev/null 2>&1 &
  run "$build/dormity_ctl.exe" wait 30000
  rect=""
  for _ in $(seq 100); do
    rect=$(run "$build/dormity_ctl.exe" trayicon 2>/dev/null | tr -d '\r' || true)
    [ -n "$rect" ] && break
    sleep 0.2
  done
  [ -n "$rect" ] || { echo "no tray icon appeared" >&2; exit 1; }
  read -r X Y WIDTH HEIGHT <<<"$rect"
  sleep 1
  if [ -n "$menu" ]; then
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
    sleep 1.5
    import -window root "$shots/$menu.png"
    menu_windows >"$shots/$menu.geometry"
  else
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
    sleep 1.5
  fi
  # The first item opens the screen saver list.
  xdotool mousemove $((X + WIDTH / 2 + 50)) $((Y + HEIGHT / 2 + 12))
  sleep 1.5
  import -window root "$shots/$submenu.png"
  menu_windows >"$shots/$submenu.geometry"
  close_and_exit || { echo "Dormity did not end" >&2; exit 1; }
}

# Crops a screenshot to the union of its menu windows.
crop() {
  local name=$1 left top right bottom
  read -r left top right bottom < <(awk 'NR == 1 || $3 < l { l = $3 } NR == 1 || $4 < t { t = $4 }
    NR == 1 || $3 + $1 > r { r = $3 + $1 } NR == 1 || $4 + $2 > b { b = $4 + $2 }
    END { print l, t, r, b }' "$shots/$name.geometry")
  convert "$shots/$name.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    "$shots/$name-crop.png"
}

mkdir -p "$shots"
rm -f "$shots"/*.png "$shots"/*.geometry

# Two screen savers, the first selected.
cp "$build/catalogue_fixtures/starfield.scr" "$windows/first.scr"
cp "$build/catalogue_fixtures/tenchars.scr" "$windows/tenchars.scr"
# Both names are 8.3 already, so this is the catalogue's own form.
run reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\windows\first.scr' /f >/dev/null
shoot menu submenu
crop menu
crop submenu

# No screen saver at all: the submenu holds only "[none]", checked.
rm -f "${installed[@]}"
run reg delete 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /f >/dev/null 2>&1 || true
shoot "" submenu-none
crop submenu-none

# The popup: twelve items of SM_CYMENUSIZE + 2 pixels and five separators,
# as wide as the common item width; then the submenu beside it.
read -r menu_w menu_h menu_x menu_y <"$shots/menu.geometry"
echo "popup menu window: ${menu_w}x${menu_h} at ${menu_x},${menu_y}"
if [ "$(wc -l <"$shots/menu.geometry")" -ne 1 ] || [ "$menu_w" -lt 150 ] || [ "$menu_h" -lt 200 ]; then
  echo "the popup menu did not show as one window of its size" >&2
  exit 1
fi
read -r sub_w sub_h sub_x sub_y < <(head -n 1 "$shots/submenu.geometry")
echo "screen saver submenu window: ${sub_w}x${sub_h} at ${sub_x},${sub_y}"
if [ "$(wc -l <"$shots/submenu.geometry")" -ne 2 ] || [ "$sub_x" -lt $((menu_x + menu_w - 8)) ] \
   || [ "$sub_h" -lt 3 ]; then
  echo "the screen saver submenu did not open beside the popup" >&2
  exit 1
fi
read -r none_w none_h _ _ < <(head -n 1 "$shots/submenu-none.geometry")
echo "submenu with only \"[none]\": ${none_w}x${none_h}"
# Three entries are three times as high as the one "[none]", apart from
# the submenu's frame: (sub_h - frame) = 3 (none_h - frame).
frame2=$((3 * none_h - sub_h))
if [ $((frame2 % 2)) -ne 0 ] || [ "$frame2" -lt 0 ] || [ "$frame2" -gt 20 ]; then
  echo "the submenus do not hold three and one entries" >&2
  exit 1
fi
