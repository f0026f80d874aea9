#!/usr/bin/env bash
# Drives the running Dormity through its real tray menu by mouse and keys:
# chooses a screen saver, disables and enables it, and checks the system's
# settings after each step.
#   menu_e2e.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
need_display
state() { run "$build/commands/saver_state.exe" 2>/dev/null | tr -d '\r'; }
has() { grep -qxF "$1" <<<"$(state)"; }
expect() { retry 20 0.25 has "$1" || { state >&2; fail "expected $1"; }; }
saver=dme2e.scr
installed=$prefix/drive_c/windows/$saver
trap 'end_dormity || true; rm -f "$installed"; clear_saver' EXIT
clear_saver
ctl saver on
cp "$build/commands/fixture_saver.exe" "$installed"
start_dormity

# Set Screen Saver (the first item), its submenu ("[none]" first, then the
# installed savers in listing order), down to ours, chosen.
listed=$(find "$prefix/drive_c/windows" "$prefix/drive_c/windows/system32" -maxdepth 1 \
  -iname '*.scr' 2>/dev/null | wc -l)
downs=()
for ((position = 1; position <= listed; position++)); do
  downs+=(Down)
  open_menu
  menu_keys Down Right "${downs[@]}" Return
  ! retry 8 0.25 has "registry=C:\\windows\\$saver" || break
done
expect "registry=C:\\windows\\$saver"
expect "active=1"
# The seventh item is Disable/Enable Screen Saver.
for active in 0 1; do
  open_menu
  menu_keys Down Down Down Down Down Down Down Return
  expect "active=$active"
done
expect "registry=C:\\windows\\$saver"
echo "menu choices reached the system's settings"
