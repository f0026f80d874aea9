#!/usr/bin/env bash
# Starts Dormity on the X display, opens its tray menu (and with "submenu"
# the "Set Screen Saver" submenu; with "disable-for" the "Disable For"
# submenu, 30 minutes running), saves a screenshot and ends Dormity.
#   show_menu.sh BUILD_DIR SCREENSHOT.png [submenu|disable-for]
set -euo pipefail
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
trap 'end_dormity || true' EXIT
start_dormity
[ "${3:-}" != disable-for ] || { ctl command 421; sleep 1; }
open_menu
[ "${3:-}" != submenu ] || open_submenu
# Eight items down (separators skipped) is "Disable For".
[ "${3:-}" != disable-for ] || menu_keys Down Down Down Down Down Down Down Down Right
shot "$2"
