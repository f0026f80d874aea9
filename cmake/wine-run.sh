#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix.
#   wine-run.sh --prefix DIR [--version win98|nt40|win2k|winxp] program.exe [args...]
# DORMITY_DLL_OVERRIDES, when set, is added to Wine's DLL load orders.
# The version option makes Wine report that system to this program (by its
# file name), so family-dependent code is exercised on each family.
# DORMITY_WINEARCH=win64 runs the 64-bit test build in a 64-bit prefix with
# the 64-bit loader alone (for machines that cannot run 32-bit programs).
set -euo pipefail
prefix=""
version=""
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --version) version="$2"; shift 2 ;;
    *) break ;;
  esac
done
[ -n "$prefix" ] || { echo "wine-run.sh: --prefix is required" >&2; exit 2; }
case "$prefix" in /*) ;; *) prefix="$PWD/$prefix" ;; esac
arch=${DORMITY_WINEARCH:-win32}
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d${DORMITY_DLL_OVERRIDES:+;$DORMITY_DLL_OVERRIDES}"
mkdir -p "$(dirname "$prefix")"
if [ "$arch" = win64 ]; then
  # Debian's wine script prefers the 32-bit loader whenever it is installed;
  # here every "wine" (also the one wineboot calls) is the 64-bit one.
  shim="$prefix.bin"
  mkdir -p "$shim"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$shim/$name"
    chmod +x "$shim/$name"
  done
  export PATH="$shim:$PATH" WINELOADER=/usr/lib/wine/wine64
fi
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    wine wineboot.exe -i >/dev/null 2>&1 || true
    wineserver -w
    # Wine's own faces (MS Sans Serif, Tahoma, Marlett...) are not found
    # where Debian installs them; without copies in the prefix, dialogs
    # and menus are laid out in a wider substitute and their texts clip.
    if [ -d /usr/share/wine/fonts ]; then
      cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    # Without a window manager (Xvfb) Wine waits two seconds whenever a
    # managed window is hidden; unmanaged windows behave the same otherwise.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wineserver -w
  fi
) 9>"$prefix.lock"
program="$1"
if [ -n "$version" ]; then
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$program")" /v Version /d "$version" /f >/dev/null 2>&1
fi
exec wine "$@"
