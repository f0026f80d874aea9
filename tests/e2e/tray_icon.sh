#!/usr/bin/env bash
# The tray icon on the screen: on while enabled; while disabled, blinking or,
# with the blink preference off, steady off. The flag is changed by the
# program's command and by another program with a window (which shares the
# X server's setting), which announces the change itself.
#   tray_icon.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
trap 'end_dormity || true; ctl announce on >/dev/null 2>&1 || true' EXIT
grab() { local x y w h; read -r x y w h <<<"$icon"; shot "$1" -crop "${w}x${h}+${x}+${y}" +repage 2>/dev/null; }
same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = 0 ]; }
# expect_steady IMAGE WHY [LOOKS]
expect_steady() {
  sleep 0.6
  for ((i = 0; i < ${3:-4}; i++)); do
    grab "$shots/steady.png"; same "$shots/steady.png" "$1" || fail "$2"; sleep 0.2
  done
}
# Disabled, blink on: the image alternates every 500 ms.
expect_blinking() {
  local on=0 other=0
  sleep 0.3
  for ((i = 0; i < 12; i++)); do grab "$shots/frame$i.png"; sleep 0.15; done
  for ((i = 0; i < 12; i++)); do
    if same "$shots/frame$i.png" "$shots/icon-on.png"; then on=$((on + 1))
    else other=$((other + 1)); cp "$shots/frame$i.png" "$shots/icon-off.png"; fi
  done
  [ "$on" -gt 0 ] && [ "$other" -gt 0 ] || fail "$1: expected blinking, saw on=$on other=$other"
  ! same "$shots/icon-on.png" "$shots/icon-off.png" || fail "on and off images look the same"
}

ctl saver on
ctl blink 1
start_dormity
grab "$shots/icon-on.png"
ctl command 411
expect_blinking "disabled by its command"
ctl command 411
expect_steady "$shots/icon-on.png" "enabled by its command: not the steady on image"
ctl announce off || fail "the helper could not switch the flag off"
expect_blinking "switched off by another program"
ctl announce on || fail "the helper could not switch the flag on"
expect_steady "$shots/icon-on.png" "switched on by another program: not the steady on image"
ctl exit || fail "Exit did not end the program"

# Blink off: steady off; a second start pokes the first, ends, the icon stays.
ctl blink 0
start_dormity
ctl command 411
expect_steady "$shots/icon-off.png" "not the steady off image with blinking off" 6
timeout 60 "$here/cmake/wine-run.sh" --prefix "$prefix" "$build/Dormity.exe" >/dev/null 2>&1 \
  || fail "second instance did not exit with 0 at once"
expect_steady "$shots/icon-off.png" "icon missing after a second start" 1
ctl exit || fail "Exit did not end the program"
ctl saver on
ctl blink 1
for state in on off; do convert "$shots/icon-$state.png" -filter point -resize 400% "$shots/tray-$state.png"; done
echo "tray icon follows the system flag; images in $shots"
