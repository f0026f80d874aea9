#!/usr/bin/env bash
# The menu and its saver submenu with two savers installed (also dark), then
# with none, at their items' sizes; kept in BUILD_DIR/screenshots (and as -crop.png).
#   menu_screenshots.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
need_display
ctl saver on  # the prefix exists once a program has run in it
windows=$prefix/drive_c/windows
installed=("$windows/first.scr" "$windows/tenchars.scr")
personalize='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
light() {
  run reg delete "$personalize" /v AppsUseLightTheme /f >/dev/null 2>&1 || true
  run reg delete 'HKCU\Software\Wine\AppDefaults\Dormity.exe' /v Version /f >/dev/null 2>&1 || true
}
trap 'end_dormity || true; rm -f "${installed[@]}"; clear_saver; light' EXIT
# shoot MENU SUBMENU: the screen with the popup (none for "") and then with
# the submenu, each with its menu windows in NAME.geometry, cropped to them.
shoot() {
  local name
  start_dormity
  open_menu
  [ -z "$1" ] || { shot "$shots/$1.png"; menu_windows >"$shots/$1.geometry"; }
  open_submenu
  shot "$shots/$2.png"
  menu_windows >"$shots/$2.geometry"
  end_dormity || fail "Dormity did not end"
  for name in $1 $2; do
    read -r left top right bottom < <(awk '{ r = $3 + $1; b = $4 + $2 }
      NR == 1 || $3 < L { L = $3 } NR == 1 || $4 < T { T = $4 } NR == 1 || r > R { R = r }
      NR == 1 || b > B { B = b } END { print L, T, R, B }' "$shots/$name.geometry")
    convert "$shots/$name.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
      "$shots/$name-crop.png"
  done
}

mkdir -p "$shots"
rm -f "$shots"/*.png "$shots"/*.geometry
cp "$build/catalogue_fixtures/starfield.scr" "${installed[0]}"
cp "$build/catalogue_fixtures/tenchars.scr" "${installed[1]}"
# Both names are 8.3 already, so this is the catalogue's own form.
run reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\windows\first.scr' /f >/dev/null
shoot menu submenu
# Dark apps, on a Windows whose menus turn dark (Windows 10 as Wine reports it).
run reg add "$personalize" /v AppsUseLightTheme /t REG_DWORD /d 0 /f >/dev/null
run reg add 'HKCU\Software\Wine\AppDefaults\Dormity.exe' /v Version /d win10 /f >/dev/null
shoot menu-dark submenu-dark
light
rm -f "${installed[@]}"
clear_saver
shoot "" submenu-none

# The popup: thirteen items of SM_CYMENUSIZE + 2 pixels and five separators,
# as wide as the common item width, one window; the submenu beside it.
read -r menu_w menu_h menu_x _ <"$shots/menu.geometry"
read -r sub_w sub_h sub_x _ <"$shots/submenu.geometry"
read -r _ none_h _ <"$shots/submenu-none.geometry"
echo "popup ${menu_w}x${menu_h} at x ${menu_x}; submenu ${sub_w}x${sub_h} at x ${sub_x}; [none] alone ${none_h} high"
[ "$(wc -l <"$shots/menu.geometry")" -eq 1 ] && [ "$menu_w" -ge 150 ] && [ "$menu_h" -ge 200 ] \
  || fail "the popup menu did not show as one window of its size"
[ "$(wc -l <"$shots/submenu.geometry")" -eq 2 ] && [ "$sub_x" -ge $((menu_x + menu_w - 8)) ] \
  && [ "$sub_h" -ge 3 ] || fail "the screen saver submenu did not open beside the popup"
# Three entries, apart from the frame, are three times as high as "[none]".
frame2=$((3 * none_h - sub_h))
[ $((frame2 % 2)) -eq 0 ] && [ "$frame2" -ge 0 ] && [ "$frame2" -le 20 ] \
  || fail "the submenus do not hold three and one entries"
# Dark: as large as the light popup (its own separators as high as the system's),
# dark up to its frame beside the items, no light line across (no row half white).
read -r dark_w dark_h _ <"$shots/menu-dark.geometry"
[ "$dark_w $dark_h" = "$menu_w $menu_h" ] || fail "the dark popup is ${dark_w}x${dark_h}"
colour=$(convert "$shots/menu-dark-crop.png" -format "%[pixel:p{1,$((dark_h - 2))}]" info:)
[ "$colour" = "srgb(43,43,43)" ] || fail "the dark popup's corner is $colour"
for name in menu-dark submenu-dark; do
  whitest=$(convert "$shots/$name-crop.png" -fill black +opaque white -scale '1x!' -depth 8 txt:- \
    | awk -F'[(,)]' 'NR > 1 && $3 > m { m = $3 } END { print m + 0 }')
  [ "$whitest" -lt 128 ] || fail "a light line across the $name"
done
