# Sourced by the script tests: Wine, the running Dormity, its tray icon and
# menu on the X display (Xvfb, no window manager) and screenshots.
#   source tests/support/tray_menu.sh BUILD_DIR   (a $prefix already set stays)
build=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
prefix=${prefix:-$build/wineprefix}
shots=$build/screenshots
run() { "$here/cmake/wine-run.sh" --prefix "$prefix" "$@"; }
ctl() { run "$build/dormity_ctl.exe" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
need_display() { [ -n "${DISPLAY:-}" ] || { echo "no X display: skipped (run under xvfb-run)" >&2; exit 77; }; }
clear_saver() { run reg delete 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /f >/dev/null 2>&1 || true; }
retry() {  # retry TRIES PAUSE COMMAND...: until the command succeeds
  local tries=$1 pause=$2 i; shift 2
  for ((i = 0; i < tries; i++)); do "$@" && return 0; sleep "$pause"; done; return 1
}
# Where the icon sits in Wine's own notification area window.
tray_rect() { local rect; rect=$(ctl trayicon 2>/dev/null | tr -d '\r') && [ -n "$rect" ] && echo "$rect"; }
# Starts Dormity (or the program given), waits for its window and icon:
# icon is "X Y WIDTH HEIGHT", iconX and iconY its centre.
start_dormity() {
  local width height
  run "${1:-$build/Dormity.exe}" >/dev/null 2>&1 &
  ctl wait 30000 || fail "Dormity did not start"
  icon=$(retry 100 0.2 tray_rect) || fail "no tray icon appeared"
  read -r iconX iconY width height <<<"$icon"
  iconX=$((iconX + width / 2)) iconY=$((iconY + height / 2))
  sleep 1
}
# Dormity's menu windows on the screen, topmost first: "WIDTH HEIGHT X Y ID".
menu_windows() {
  xwininfo -root -children | grep '("dormity.exe"' | grep 'has no name' \
    | sed -E 's/^ *(0x[0-9a-f]+) .* ([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+) .*/\2 \3 \4 \5 \1/' \
    | awk '$1 > 1 && $2 > 1'
}
# The right button on the icon opens the menu at the pointer; the pointer
# on its first item opens the "Set Screen Saver" submenu.
open_menu() { xdotool mousemove "$iconX" "$iconY" click 3; sleep 1.5; [ -n "$(menu_windows)" ] || fail "the menu did not open"; }
open_submenu() { xdotool mousemove $((iconX + 50)) $((iconY + 12)); sleep 1.5; }
# Keys reach the menu once given the keyboard (no window manager does here).
menu_keys() {
  xdotool windowfocus "$(menu_windows | awk 'NR == 1 { print $5 }')" 2>/dev/null || true
  local key; for key in "$@"; do sleep 0.3; xdotool key "$key"; done; sleep 0.3
}
# shot FILE [IMPORT OPTIONS...]: the screen.
shot() { mkdir -p "$(dirname "$1")"; import -window root "${@:2}" "$1"; }
# A click beside the menu closes it (Escape would not reach it, and an open
# menu keeps Dormity from ending); then Exit.
end_dormity() { xdotool mousemove 1000 740 click 1 >/dev/null 2>&1 || true; sleep 0.5; ctl exit >/dev/null 2>&1; }
