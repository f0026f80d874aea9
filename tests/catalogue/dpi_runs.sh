#!/usr/bin/env bash
# The owner-drawn items at 120, 144 and 192 pixels per inch: the in-process
# DpiDrawing test, and every language's dialogs and menu, in a prefix of its
# own (so no other test sees the setting), set to each in turn through
# LogPixels and a fresh wineserver.
#   dpi_runs.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=$build/wineprefix-dpi
run() { "$here/cmake/wine-run.sh" --prefix "$WINEPREFIX" "$@"; }
for dpi in 120 144 192; do
  echo "== $dpi pixels per inch"
  run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  wineserver -k 2>/dev/null || true
  wineserver -w
  # Passed only on GoogleTest's own summary: a program that dies can end with 0.
  DORMITY_EXPECT_DPI=$dpi run "$build/catalogue_tests.exe" --gtest_filter='DpiDrawing.*' \
    | tee "$WINEPREFIX.log"
  grep -q '^\[  PASSED  \] 1 test' "$WINEPREFIX.log" || { echo "FAIL at $dpi" >&2; exit 1; }
  # Every language's dialogs and menu, their texts whole at this scale too.
  run "$build/dialog_tests.exe" --gtest_filter='EveryLanguage.*' | tee "$WINEPREFIX.log"
  grep -q '^\[  PASSED  \] 2 tests' "$WINEPREFIX.log" || { echo "FAIL at $dpi" >&2; exit 1; }
done
# Back to 96 for the screenshots that may use this prefix next.
run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null
wineserver -k 2>/dev/null || true
