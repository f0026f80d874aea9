#!/usr/bin/env bash
# Message boxes read right to left for a right-to-left language: Dormity's
# usage box asks for it (MB_RTLREADING | MB_RIGHT) in an Arabic user's
# language and not in a German one's. Wine draws boxes alike either way, so
# the call itself is read from Wine's relay trace.
#   rtl_box.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$build/wineprefix
run() { "$here/cmake/wine-run.sh" --prefix "$prefix" "$@"; }
log=$build/rtl_box.log
debugKey='HKCU\Software\Wine\Debug'
trap 'run reg delete "$debugKey" /v RelayInclude /f >/dev/null 2>&1 || true' EXIT
run reg add "$debugKey" /v RelayInclude /d 'user32.MessageBoxW' /f >/dev/null
# The type of the usage box's call, once it is made; the box is then ended.
boxType() {
  : >"$log"
  LC_ALL=$1 DORMITY_WINEDEBUG=+relay run "$build/Dormity.exe" /no-such-switch 2>"$log" &
  local pid=$! i
  for ((i = 0; i < 100; i++)); do
    grep -q 'Call user32.MessageBoxW' "$log" && break
    sleep 0.2
  done
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  sed -nE 's/.*Call user32\.MessageBoxW\(.*,([0-9a-f]+)\) ret=.*/\1/p' "$log" | head -n 1
}
status=0
for case in "ar_SA.UTF-8 1" "de_DE.UTF-8 0"; do
  read -r language mirrored <<<"$case"
  type=$(boxType "$language")
  [ -n "$type" ] || { echo "FAIL: no MessageBoxW call seen in $language"; status=1; continue; }
  # MB_RTLREADING (0x100000) and MB_RIGHT (0x80000).
  flags=$(((16#$type & 0x180000) == 0x180000 ? 1 : 0))
  echo "$language: MessageBoxW type $type"
  [ "$flags" = "$mirrored" ] || { echo "FAIL: $language box right to left is $flags"; status=1; }
done
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
