#!/usr/bin/env bash
# Starts Dormity on the X display, opens its tray menu (and with "submenu"
# the "Set Screen Saver" submenu), saves a screenshot and ends Dormity.
#   show_menu.sh BUILD_DIR SCREENSHOT.png [submenu]
set -euo pipefail
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
trap 'end_dormity || true' EXIT
start_dormity
open_menu
[ "${3:-}" != submenu ] || open_submenu
shot "$2"
