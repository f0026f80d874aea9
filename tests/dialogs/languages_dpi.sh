#!/usr/bin/env bash
# Every language's dialogs and menu at 120 and 144 pixels per inch: the
# EveryLanguage tests in a prefix of their own, set through LogPixels and a
# fresh wineserver, then back to 96.
#   languages_dpi.sh BUILD_DIR
set -uo pipefail
export WINEPREFIX=$1/wineprefix-dpi
run() { "$(dirname "$0")/../../cmake/wine-run.sh" --prefix "$WINEPREFIX" "$@"; }
status=0
for dpi in 120 144 96; do
  run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  wineserver -k 2>/dev/null; wineserver -w
  [ "$dpi" = 96 ] && break
  # Passed only on GoogleTest's own summary: a program that dies can end with 0.
  run "$1/dialog_tests.exe" --gtest_filter='EveryLanguage.*' | tee "$WINEPREFIX.log"
  grep -q '^\[  PASSED  \] 2 tests' "$WINEPREFIX.log" || { echo "FAIL at $dpi" >&2; status=1; }
done
exit $status
