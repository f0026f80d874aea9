#!/usr/bin/env bash
# Dormity's one entry point for developers and CI.
#   ./dev.sh run    installs what is missing, builds, and starts Dormity under Wine
#   ./dev.sh test   installs what is missing, builds, and runs every test
#   ./dev.sh build  installs what is missing and builds
#   ./dev.sh bench  installs what is missing, builds, and prints the performance figures
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
BUILD=$ROOT/build

PACKAGES=(cmake ninja-build python3 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  binutils-mingw-w64-i686 mingw-w64-i686-dev googletest wine wine32:i386 xvfb xauth
  xdotool imagemagick x11-utils fonts-wine nsis cppcheck file)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

install_deps() {
  local missing=()
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
      || missing+=("$package")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    ensure_i386_exec
    return 0
  fi
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
  ensure_i386_exec
}

# 32-bit Wine runs as a 32-bit Linux program. A kernel built or started
# without 32-bit support refuses to execute it; there the i386 user-mode
# emulator runs it instead, registered for 32-bit x86 executables.
ensure_i386_exec() {
  if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    return 0
  fi
  echo "This kernel does not run 32-bit programs; running them through qemu-i386."
  if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q "install ok installed"; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends qemu-user-static
  fi
  local binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e "$binfmt/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # The ELF header of a 32-bit x86 executable, and its mask.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      | as_root tee "$binfmt/register" >/dev/null
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "cannot run 32-bit programs here" >&2; exit 1; }
}

build() {
  if [ ! -f "$BUILD/build.ninja" ]; then
    cmake --preset default
  fi
  cmake --build --preset default
}

wine_env() {
  export WINEPREFIX="$BUILD/wineprefix" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
}

# Headless: Dormity under a private Xvfb, its menu opened on the tray icon,
# and a screenshot of the screen for the user to look at.
run_headless() {
  local shot="$BUILD/screenshots/run.png"
  mkdir -p "$(dirname "$shot")"
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$ROOT/tests/e2e/show_menu.sh" "$BUILD" "$shot"
  echo "Dormity ran under a private X server; screenshot of its tray menu: $shot"
}

case "${1:-}" in
  build)
    install_deps
    build
    ;;
  run)
    install_deps
    build
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
      "$ROOT/cmake/wine-run.sh" --prefix "$BUILD/wineprefix" "$BUILD/Dormity.exe"
    else
      run_headless
    fi
    ;;
  test)
    install_deps
    build
    start=$(date +%s)
    xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset default
    echo "Test command took $(( $(date +%s) - start )) s after the build."
    ;;
  bench)
    install_deps
    build
    bash "$ROOT/tests/bench/bench.sh" "$BUILD"
    ;;
  *)
    echo "usage: $0 run|test|build|bench" >&2
    exit 2
    ;;
esac
