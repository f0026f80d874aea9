#!/usr/bin/env bash
# Drives the running Dormity through its real tray menu by mouse and
# keyboard: chooses a screen saver, disables and enables the screen saver,
# and checks the system's settings after each step.
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

# From no screen saver, enabled, with the fixture installed.
clear_saver
ctl saver on
cp "$build/commands/fixture_saver.exe" "$installed"
start_dormity

# Set Screen Saver (the first item) into its submenu ("[none]" first), down
# to the fixture, chosen. The submenu lists the Windows and System
# directories' screen savers in listing order, so ours may stand anywhere.
listed=$(find "$prefix/drive_c/windows" "$prefix/drive_c/windows/system32" -maxdepth 1 \
  -iname '*.scr' 2>/dev/null | wc -l)
chosen=no
for ((position = 1; position <= listed; position++)); do
  open_menu
  downs=()
  for ((i = 0; i < position; i++)); do downs+=(Down); done
  menu_keys Down Right "${downs[@]}" Return
  if retry 8 0.25 has "registry=C:\\windows\\$saver"; then chosen=yes; break; fi
done
[ "$chosen" = yes ] || fail "could not choose $saver from the submenu"
expect "active=1"

# The seventh item is Disable/Enable Screen Saver.
for active in 0 1; do
  open_menu
  menu_keys Down Down Down Down Down Down Down Return
  expect "active=$active"
done
expect "registry=C:\\windows\\$saver"
echo "menu choices reached the system's settings"
