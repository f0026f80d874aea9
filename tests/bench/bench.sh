#!/usr/bin/env bash
# Prints Dormity's performance figures in one run under Wine (Xvfb):
# executable size by section, start-up, catalogue rebuilds, menu opening,
# idle cost and memory. The sections are those of BUILD_DIR's program; the
# timings run RUN_DIR's programs (BUILD_DIR unless given: the 64-bit test
# build where this machine cannot run 32-bit programs).
#   bench.sh BUILD_DIR [RUN_DIR]
set -euo pipefail
sections=$1
source "$(dirname "$0")/../support/tray_menu.sh" "${2:-$1}"

echo "== Executable: $sections/Dormity.exe ($(stat -c %s "$sections/Dormity.exe") bytes)"
code=0; rsrc=0
while read -r _ name size _; do
  bytes=$((16#$size))
  printf '  %-10s %7d bytes\n' "$name" "$bytes"
  case "$name" in .text|.rdata|.data) code=$((code + bytes)) ;; .rsrc) rsrc=$bytes ;; esac
done < <(i686-w64-mingw32-objdump -h "$sections/Dormity.exe" | awk '$2 ~ /^\./ {print $1, $2, $3}')
echo "  code and data (.text + .rdata + .data): $code bytes ($((code / 1024)) KB)"
echo "  resources (.rsrc, mostly the icons): $rsrc bytes ($((rsrc / 1024)) KB)"

bench() { xvfb-run -a -s "-screen 0 1024x768x24" "$here/cmake/wine-run.sh" --prefix "$prefix" "$@" 2>&1 | grep -v '^X connection'; }
[ "$build" = "$sections" ] || echo "== Timings of the 64-bit build $build under 64-bit Wine"
echo "== Whole program"
bench "$build/bench_dormity.exe" --idle-seconds "${IDLE_SECONDS:-30}"
[ ! -f "$build/bench_catalogue.exe" ] || { echo "== Catalogue"; bench "$build/bench_catalogue.exe"; }
