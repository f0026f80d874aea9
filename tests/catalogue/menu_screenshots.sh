#!/usr/bin/env bash
# The popup menu and the "Set Screen Saver" submenu on the screen, with two
# fixture screen savers installed and the first selected; then the submenu
# with none installed. Fails when the menus do not show at the sizes their
# items ask for. Keeps in BUILD_DIR/screenshots: menu.png, submenu.png,
# submenu-none.png (the screen) and each one's -crop.png (the menus alone).
#   menu_screenshots.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
need_display
ctl saver on  # the prefix exists once a program has run in it
windows=$prefix/drive_c/windows
installed=("$windows/first.scr" "$windows/tenchars.scr")
trap 'end_dormity || true; rm -f "${installed[@]}"; clear_saver' EXIT

# shoot MENU SUBMENU: screenshots of the popup (none for "") and of the
# submenu, each with its menu windows' geometry in NAME.geometry.
shoot() {
  start_dormity
  open_menu
  [ -z "$1" ] || { shot "$shots/$1.png"; menu_windows >"$shots/$1.geometry"; }
  open_submenu
  shot "$shots/$2.png"
  menu_windows >"$shots/$2.geometry"
  end_dormity || fail "Dormity did not end"
}
# Crops a screenshot to the union of its menu windows.
crop() {
  local left top right bottom
  read -r left top right bottom < <(awk 'NR == 1 || $3 < l { l = $3 } NR == 1 || $4 < t { t = $4 }
    NR == 1 || $3 + $1 > r { r = $3 + $1 } NR == 1 || $4 + $2 > b { b = $4 + $2 }
    END { print l, t, r, b }' "$shots/$1.geometry")
  convert "$shots/$1.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    "$shots/$1-crop.png"
}

mkdir -p "$shots"
rm -f "$shots"/*.png "$shots"/*.geometry
cp "$build/catalogue_fixtures/starfield.scr" "$windows/first.scr"
cp "$build/catalogue_fixtures/tenchars.scr" "$windows/tenchars.scr"
# Both names are 8.3 already, so this is the catalogue's own form.
run reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\windows\first.scr' /f >/dev/null
shoot menu submenu
rm -f "${installed[@]}"
clear_saver
shoot "" submenu-none
for name in menu submenu submenu-none; do crop "$name"; done

# The popup: twelve items of SM_CYMENUSIZE + 2 pixels and five separators,
# as wide as the common item width, one window; the submenu beside it.
read -r menu_w menu_h menu_x _ _ <"$shots/menu.geometry"
echo "popup menu window: ${menu_w}x${menu_h} at ${menu_x}"
[ "$(wc -l <"$shots/menu.geometry")" -eq 1 ] && [ "$menu_w" -ge 150 ] && [ "$menu_h" -ge 200 ] \
  || fail "the popup menu did not show as one window of its size"
read -r sub_w sub_h sub_x _ _ < <(head -n 1 "$shots/submenu.geometry")
echo "screen saver submenu window: ${sub_w}x${sub_h} at ${sub_x}"
[ "$(wc -l <"$shots/submenu.geometry")" -eq 2 ] && [ "$sub_x" -ge $((menu_x + menu_w - 8)) ] \
  && [ "$sub_h" -ge 3 ] || fail "the screen saver submenu did not open beside the popup"
# Three entries are three times as high as the one "[none]", apart from the
# submenu's frame: (sub_h - frame) = 3 (none_h - frame).
read -r _ none_h _ _ _ < <(head -n 1 "$shots/submenu-none.geometry")
echo "submenu with only \"[none]\": height ${none_h}"
frame2=$((3 * none_h - sub_h))
[ $((frame2 % 2)) -eq 0 ] && [ "$frame2" -ge 0 ] && [ "$frame2" -le 20 ] \
  || fail "the submenus do not hold three and one entries"
