#!/usr/bin/env bash
# "Keep Off While" opened from the tray icon with three programs listed, one
# of them (Notepad) running: kept as BUILD_DIR/screenshots/keep-off-while.png,
# cropped to the popup and the submenu; fails unless the submenu opens beside
# the popup, as high as three entries, a separator and Add Running Program.
#   keep_off_menu.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
need_display
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Dormity'
ended() { run taskkill /f /im notepad.exe >/dev/null 2>&1 || true
          run reg delete "$key" /v KeepOffWhile /f >/dev/null 2>&1 || true; }
trap 'end_dormity || true; ended' EXIT
ctl saver on
run reg add "$key" /v KeepOffWhile /t REG_MULTI_SZ /f \
  /d 'vlc.exe\0notepad.exe\0C:\Program Files\Presenter\show.exe' >/dev/null
run notepad.exe >/dev/null 2>&1 &
sleep 3
start_dormity
open_menu
# Down to "Keep Off While", the ninth item that is not a separator, and into it.
menu_keys Down Down Down Down Down Down Down Down Down Right
sleep 1
shot "$shots/keep-off-while.png"
menu_windows >"$shots/keep-off-while.geometry"
read -r menu_w menu_h menu_x menu_y _ < <(sed -n 2p "$shots/keep-off-while.geometry")
read -r sub_w sub_h sub_x sub_y _ < <(sed -n 1p "$shots/keep-off-while.geometry")
echo "popup ${menu_w}x${menu_h} at $menu_x,$menu_y; submenu ${sub_w}x${sub_h} at $sub_x,$sub_y"
[ "$(wc -l <"$shots/keep-off-while.geometry")" -eq 2 ] && [ "$sub_x" -ge $((menu_x + menu_w - 8)) ] \
  || fail "the submenu did not open beside the popup"
# Four items of at least 16 pixels and a separator.
[ "$sub_h" -ge 70 ] && [ "$sub_h" -le 160 ] || fail "the submenu is ${sub_h} high"
convert "$shots/keep-off-while.png" -crop "$((sub_x + sub_w - menu_x))x$((menu_h))+$menu_x+$menu_y" \
  +repage "$shots/keep-off-while-crop.png"
echo "picture in $shots/keep-off-while-crop.png"
