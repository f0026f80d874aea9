#!/usr/bin/env bash
# Every language's dialogs and menu at 120 and 144 pixels per inch: the in-process
# EveryLanguage tests in a prefix of their own (so no other test sees the
# setting), set through LogPixels and a fresh wineserver.
#   languages_dpi.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=$build/wineprefix-dpi
run() { "$here/cmake/wine-run.sh" --prefix "$WINEPREFIX" "$@"; }
setDpi() {
  run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
  wineserver -k 2>/dev/null || true
  wineserver -w
}
status=0
for dpi in 120 144; do
  setDpi $dpi
  # Passed only on GoogleTest's own summary: a program that dies can end with 0.
  run "$build/dialog_tests.exe" --gtest_filter='EveryLanguage.*' | tee "$WINEPREFIX.languages.log"
  grep -q '^\[  PASSED  \]' "$WINEPREFIX.languages.log" \
    && ! grep -q '^\[  FAILED  \]' "$WINEPREFIX.languages.log" || { echo "FAIL at $dpi" >&2; status=1; }
done
# Back to 96 for the tests that use this prefix next.
setDpi 96
exit $status
