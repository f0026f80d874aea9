#!/usr/bin/env bash
# The usage box asks to read right to left (MB_RTLREADING | MB_RIGHT) in an
# Arabic user's language, not in a German one's. Wine draws boxes alike
# either way, so the call is read from its relay trace.
#   rtl_box.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
log=$build/rtl_box.log
trap 'run reg delete "HKCU\Software\Wine\Debug" /v RelayInclude /f >/dev/null 2>&1' EXIT
run reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'user32.MessageBoxW' /f >/dev/null
status=0
for case in "ar_SA.UTF-8 1" "de_DE.UTF-8 0"; do
  read -r language rtl <<<"$case"
  LC_ALL=$language DORMITY_WINEDEBUG=+relay run "$build/Dormity.exe" /no-such-switch 2>"$log" &
  for ((i = 0; i < 100; i++)); do grep -q 'Call user32.MessageBoxW' "$log" && break; sleep 0.2; done
  WINEPREFIX=$build/wineprefix wineserver -k 2>/dev/null; wait
  type=$(sed -nE 's/.*Call user32\.MessageBoxW\(.*,([0-9a-f]+)\) ret=.*/\1/p' "$log" | head -n 1)
  echo "$language: MessageBoxW type ${type:-none}"
  [ -n "$type" ] && [ $(((16#$type & 0x180000) == 0x180000)) = "$rtl" ] || status=1
done
echo "$((1 - status)) passed, $status failed"
exit $status
