#!/usr/bin/env bash
# The running program's tray icon shows the screen saver's state: the on
# image while enabled; while disabled, alternating images with the blink
# preference on and the steady off image with it off. The state is changed
# through the program's own Enable/Disable command and, as another program
# would change it, by a process with a window of its own that sets the flag
# and announces the change. (Under Wine a windowless process keeps a private
# copy of the flag, which the program never sees; processes with a window
# share the X server's setting. The helper announces the change itself
# rather than rely on the system to announce one made on that path.)
# Reads the icon's pixels from the screen, so it needs an X display (ctest
# runs under xvfb-run). Saves the two images for the documentation.
#   tray_icon.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
shots="$build/screenshots"
mkdir -p "$shots"
run() { "$here/cmake/wine-run.sh" --prefix "$build/wineprefix" "$@"; }
ctl() { run "$build/dormity_ctl.exe" "$@"; }
fail() {
  echo "FAIL: $*" >&2; ctl exit >/dev/null 2>&1 || true; ctl announce on >/dev/null 2>&1 || true
  exit 1
}

# Where the shell shows our icon on the screen.
tray_icon() {
  for _ in $(seq 100); do
    local rect
    rect=$(ctl trayicon 2>/dev/null | tr -d '\r') && [ -n "$rect" ] && { echo "$rect"; return 0; }
    sleep 0.2
  done
  return 1
}

grab() {
  local x y w h
  read -r x y w h <<<"$icon"
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$1" 2>/dev/null
}
same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = 0 ]; }

start() {
  run "$build/Dormity.exe" >/dev/null 2>&1 &
  ctl wait 30000 || fail "Dormity did not start"
  icon=$(tray_icon) || fail "no tray icon on the screen"
  sleep 0.8
}

ctl saver on
ctl blink 1
start
grab "$shots/icon-on.png"

# Disabled, blink on: the image alternates every 500 ms.
expect_blinking() {
  sleep 0.3
  for i in $(seq 0 11); do
    grab "$shots/frame$i.png"
    sleep 0.15
  done
  local on_frames=0 other_frames=0
  for i in $(seq 0 11); do
    if same "$shots/frame$i.png" "$shots/icon-on.png"; then
      on_frames=$((on_frames + 1))
    else
      other_frames=$((other_frames + 1)); cp "$shots/frame$i.png" "$shots/icon-off.png"
    fi
  done
  [ "$on_frames" -gt 0 ] && [ "$other_frames" -gt 0 ] \
    || fail "$1: expected blinking between two images, saw on=$on_frames other=$other_frames"
  same "$shots/icon-on.png" "$shots/icon-off.png" && fail "on and off images look the same"
  return 0
}
# Enabled again: the on image, steady.
expect_steady_on() {
  sleep 0.6
  for i in 1 2 3 4; do
    grab "$shots/steady.png"
    same "$shots/steady.png" "$shots/icon-on.png" || fail "$1: not the steady on image"
    sleep 0.2
  done
}
ctl command 411
expect_blinking "disabled by its command"
ctl command 411
expect_steady_on "enabled by its command"
ctl announce off || fail "the helper could not switch the flag off"
expect_blinking "switched off by another program"
ctl announce on || fail "the helper could not switch the flag on"
expect_steady_on "switched on by another program"
ctl exit || fail "Exit did not end the program"

# Blink off: disabling shows the off image steadily.
ctl blink 0
start
ctl command 411
sleep 0.6
for i in 1 2 3 4 5 6; do
  grab "$shots/steady.png"
  same "$shots/steady.png" "$shots/icon-off.png" || fail "not the steady off image with blinking off"
  sleep 0.2
done
# A second start pokes the first: the icon is still (again) there.
run "$build/Dormity.exe" >/dev/null 2>&1 || fail "second instance did not exit with 0"
sleep 0.6
grab "$shots/steady.png"
same "$shots/steady.png" "$shots/icon-off.png" || fail "icon missing after a second start"
ctl exit || fail "Exit did not end the program"
ctl saver on
ctl blink 1

# Larger views for the documentation.
convert "$shots/icon-on.png" -filter point -resize 400% "$shots/tray-on.png"
convert "$shots/icon-off.png" -filter point -resize 400% "$shots/tray-off.png"
echo "tray icon follows the system flag; images in $shots"
echo "1 passed, 0 failed"
