#!/usr/bin/env bash
# Dormity's one entry point for developers and CI.
#   ./dev.sh run    installs what is missing, builds, and starts Dormity under Wine
#   ./dev.sh test   installs what is missing, builds, and runs every test
#   ./dev.sh build  installs what is missing and builds
#   ./dev.sh bench  installs what is missing, builds, and prints the performance figures
#   ./dev.sh fuzz [SECONDS]  builds the file reader's fuzz target and fuzzes it (default 60 s)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
BUILD=$ROOT/build

# wine64 and the x86-64 compiler are for the 64-bit Windows prefix and its
# 64-bit fixture screen saver; wixl builds the MSI package, msiinfo reads it.
# The Japanese and Arabic fonts draw those languages' menus and dialogs (the
# screenshots, the language runs).
PACKAGES=(cmake ninja-build python3 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  binutils-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  googletest wine wine32:i386 wine64 xvfb xauth
  xdotool imagemagick x11-utils fonts-wine nsis cppcheck file clang libclang-rt-14-dev
  msitools wixl fonts-ipafont-gothic fonts-kacst)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

install_deps() {
  local missing=()
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
      || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# 32-bit Wine is a 32-bit Linux program. Some kernels are built or started
# without 32-bit support and refuse to execute it; there the Wine tests run
# on a 64-bit build of the same sources under 64-bit Wine instead.
can_run_32bit() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# Everything, or only the targets given (a machine that cannot run 32-bit
# programs needs only the program itself from the 32-bit build).
build() {
  if [ ! -f "$BUILD/build.ninja" ]; then
    cmake --preset default
  fi
  cmake --build --preset default ${1:+--target "$@"}
}

build_for_this_machine() {
  if can_run_32bit; then build; else build Dormity; fi
}

# The same sources for 64-bit Windows, whose tests run under 64-bit Wine.
build_x64() {
  if [ ! -f "$ROOT/build-x64/build.ninja" ]; then
    cmake --preset x64
  fi
  cmake --build --preset x64
}

# The file reader's fuzz target, built natively with clang and the sanitizers.
FUZZ_BUILD=$ROOT/build-fuzz
FUZZ_TARGET=$FUZZ_BUILD/tests/fuzz/fuzz_pe_image
FUZZ_FINDINGS=$ROOT/tests/fuzz/findings
FUZZ_MAX_LEN=262144

build_fuzz() {
  if [ ! -f "$FUZZ_BUILD/build.ninja" ]; then
    cmake --preset fuzz
  fi
  cmake --build --preset fuzz
}

# Seeds: the screen savers and satellites the test build makes, and real
# files no one here wrote: the smallest programs and libraries of each
# architecture that the installed Wine ships (a bounded choice, so that a
# run stays short).
seed_fuzz_corpus() {
  local seeds=$FUZZ_BUILD/seeds dir file
  rm -rf "$seeds"
  mkdir -p "$seeds"
  find "$BUILD" -path "$BUILD/wineprefix*" -prune -o -type f \( -name '*.scr' -o -name '*.mui' \) \
      -size -$((FUZZ_MAX_LEN / 1024))k -print | while read -r file; do
    local name=${file#"$BUILD"/}
    cp "$file" "$seeds/${name//\//-}"
  done
  for dir in /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/x86_64-windows; do
    [ -d "$dir" ] || continue
    # sed, not head: a reader that stops early ends sort with SIGPIPE, and
    # pipefail would fail the run for it.
    { find "$dir" -maxdepth 1 -name '*.exe' -size -$((FUZZ_MAX_LEN / 1024))k -printf '%s %p\n' | sort -n | sed -n 1,15p
      find "$dir" -maxdepth 1 -name '*.dll' -size +12k -size -$((FUZZ_MAX_LEN / 1024))k -printf '%s %p\n' | sort -n | sed -n 1,5p
    } | while read -r _ file; do
      cp "$file" "$seeds/$(basename "$dir")-$(basename "$file")"
    done
  done
  echo "Fuzz seeds: $(find "$seeds" -type f | wc -l) files in $seeds"
}

# Every earlier finding again, then a run of SECONDS on the corpus; any
# finding fails it and is saved in tests/fuzz/findings/ (move it to
# tests/fuzz/regressions/ once it is mended).
fuzz() {
  local seconds=$1 log=$FUZZ_BUILD/fuzz.log
  local regressions=()
  mapfile -t regressions < <(find "$ROOT/tests/fuzz/regressions" -type f ! -name '.*' | sort)
  if [ ${#regressions[@]} -gt 0 ]; then
    "$FUZZ_TARGET" "${regressions[@]}" >"$log" 2>&1 || { tail -n 60 "$log"; return 1; }
    echo "Fuzz regressions: ${#regressions[@]} replayed, none fails."
  fi
  seed_fuzz_corpus
  mkdir -p "$FUZZ_BUILD/corpus" "$FUZZ_FINDINGS"
  if ! "$FUZZ_TARGET" -max_total_time="$seconds" -max_len=$FUZZ_MAX_LEN -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$FUZZ_FINDINGS/" \
      "$FUZZ_BUILD/corpus" "$FUZZ_BUILD/seeds" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "The fuzz target found a fault; the input is in $FUZZ_FINDINGS." >&2
    return 1
  fi
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::' "$log"
  echo "Fuzzed for $seconds s: no finding (log: $log)."
}

wine_env() {
  export WINEPREFIX="$BUILD/wineprefix" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
}

# Headless: Dormity under a private Xvfb, its menu opened on the tray icon,
# and a screenshot of the screen for the user to look at.
run_headless() {
  local build=$1
  local shot="$build/screenshots/run.png"
  mkdir -p "$(dirname "$shot")"
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$ROOT/tests/e2e/show_menu.sh" "$build" "$shot"
  echo "Dormity ran under a private X server; screenshot of its tray menu: $shot"
}

case "${1:-}" in
  build)
    install_deps
    build
    ;;
  run)
    install_deps
    build_for_this_machine
    run_build=$BUILD
    if ! can_run_32bit; then
      echo "This kernel cannot run 32-bit programs: running the 64-bit build of Dormity."
      build_x64
      run_build=$ROOT/build-x64
      export DORMITY_WINEARCH=win64
    fi
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
      "$ROOT/cmake/wine-run.sh" --prefix "$run_build/wineprefix" "$run_build/Dormity.exe"
    else
      run_headless "$run_build"
    fi
    ;;
  test)
    install_deps
    build_for_this_machine
    build_fuzz
    start=$(date +%s)
    if can_run_32bit; then
      xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset default
    else
      echo "This kernel cannot run 32-bit programs (32-bit Wine among them): the static"
      echo "checks run on the 32-bit program, every other test on a 64-bit build of the"
      echo "same sources under 64-bit Wine."
      status=0
      ctest --preset default -R '^static_' || status=1
      build_x64
      DORMITY_WINEARCH=win64 xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset x64 || status=1
      [ $status -eq 0 ] || exit 1
    fi
    fuzz 60
    echo "Test command took $(( $(date +%s) - start )) s after the build."
    ;;
  bench)
    install_deps
    build_for_this_machine
    if can_run_32bit; then
      bash "$ROOT/tests/bench/bench.sh" "$BUILD"
    else
      build_x64
      DORMITY_WINEARCH=win64 bash "$ROOT/tests/bench/bench.sh" "$BUILD" "$ROOT/build-x64"
    fi
    ;;
  fuzz)
    install_deps
    build catalogue_fixtures
    build_fuzz
    fuzz "${2:-60}"
    ;;
  *)
    echo "usage: $0 run|test|build|bench|fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
