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

bench() { xvfb-run -a -s "-screen 0 1024x768x24" "$here/cmake/wine-run.sh" --prefix "$prefix" "$@" 2>&1 | grep --line-buffered -v "^X connection"; }
[ "$build" = "$sections" ] || echo "== Timings of the 64-bit build $build under 64-bit Wine"
echo "== Whole program"
bench "$build/bench_dormity.exe" --idle-seconds "${IDLE_SECONDS:-30}"
[ ! -f "$build/bench_catalogue.exe" ] || { echo "== Catalogue"; bench "$build/bench_catalogue.exe"; }

# Wine reads 0 for another process's CPU time: Dormity's is read here, from Linux, while each
# "measure: SECONDS what" line's seconds run.
echo "== Keeping it off while listed programs run (${KEEP_OFF_PROCESSES:-300} processes)"
dormity="Z:$(echo "$build" | tr / '\\')\\Dormity.exe"
bench "$build/bench_dormity.exe" --keep-off "${KEEP_OFF_PROCESSES:-300}" \
    --idle-seconds "${IDLE_SECONDS:-30}" | while read -r line; do
  case "$line" in
    measure:*)
      read -r _ seconds what <<< "$line"
      pid=$(pgrep -af 'Dormity\.exe' | grep -F "$dormity" | awk '{print $1; exit}')
      ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
      before=$(ticks); sleep $((seconds - 1)); after=$(ticks)
      ms=$(( (after - before) * 1000 / $(getconf CLK_TCK) ))
      echo "keep-off: $what: $ms ms CPU over $((seconds - 1)) s" \
           "($(awk -v ms="$ms" -v s="$((seconds - 1))" 'BEGIN { printf "%.3f", ms / s / 10 }') % of one core)" ;;
    *) echo "$line" ;;
  esac
done
