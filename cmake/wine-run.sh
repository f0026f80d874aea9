#!/usr/bin/env bash
# Runs a Windows program under Wine in one of the build tree's prefixes.
#   wine-run.sh --prefix DIR [--arch win32|win64] [--version win98|nt40|win2k|winxp]
#               program.exe [args...]
# The arch option chooses the prefix's system: win32 (the default, or
# DORMITY_WINEARCH) is a 32-bit Windows; win64 is a 64-bit Windows, where
# 32-bit programs run under WoW64 beside 64-bit ones. On a machine whose
# kernel cannot run 32-bit programs, a win64 prefix runs everything with the
# 64-bit loader (the 64-bit test build). The version option makes Wine
# report that system to this program (by its file name), so family-dependent
# code is exercised on each family. DORMITY_DLL_OVERRIDES, when set, is added
# to Wine's DLL load orders.
# DORMITY_WINEDEBUG, when set, replaces the silenced WINEDEBUG (a relay trace).
set -euo pipefail
prefix=""
version=""
arch=${DORMITY_WINEARCH:-win32}
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --arch) arch="$2"; shift 2 ;;
    --version) version="$2"; shift 2 ;;
    *) break ;;
  esac
done
[ -n "$prefix" ] || { echo "wine-run.sh: --prefix is required" >&2; exit 2; }
case "$arch" in win32|win64) ;; *) echo "wine-run.sh: --arch is win32 or win64" >&2; exit 2 ;; esac
case "$prefix" in /*) ;; *) prefix="$PWD/$prefix" ;; esac
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG="${DORMITY_WINEDEBUG:--all}" \
  WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d${DORMITY_DLL_OVERRIDES:+;$DORMITY_DLL_OVERRIDES}"
mkdir -p "$(dirname "$prefix")"
if [ "$arch" = win64 ]; then
  wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
  [ -x "$wine64" ] || { echo "wine-run.sh: a 64-bit prefix needs wine64" >&2; exit 2; }
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    # Debian's wine script prefers the 32-bit loader whenever it is
    # installed; without 32-bit support every "wine" (also the one wineboot
    # calls) has to be the 64-bit one.
    shim="$prefix.bin"
    mkdir -p "$shim"
    # Written once, through a rename: rewriting it while another run
    # executes it fails that run with "Text file busy".
    for name in wine wine-stable; do
      [ -x "$shim/$name" ] && continue
      printf '#!/bin/sh\nexec %s "$@"\n' "$wine64" > "$shim/$name.$$"
      chmod +x "$shim/$name.$$"
      mv -f "$shim/$name.$$" "$shim/$name"
    done
    export PATH="$shim:$PATH" WINELOADER="$wine64"
  fi
  # The prefix is made by the loader of its own system.
  boot=("$wine64" wineboot)
  reg=("$wine64" reg)
else
  boot=(wine wineboot)
  reg=(wine reg)
fi
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    "${boot[@]}" -i >/dev/null 2>&1 || true
    wineserver -w
    # Wine's own faces (MS Sans Serif, Tahoma, Marlett...) are not found
    # where Debian installs them; without copies in the prefix, dialogs
    # and menus are laid out in a wider substitute and their texts clip.
    if [ -d /usr/share/wine/fonts ]; then
      cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    # Without a window manager (Xvfb) Wine waits two seconds whenever a
    # managed window is hidden; unmanaged windows behave the same otherwise.
    "${reg[@]}" add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wineserver -w
  fi
) 9>"$prefix.lock"
program="$1"
if [ -n "$version" ]; then
  # A wineserver that is just ending (the previous test's) can refuse the
  # first client; a refused setting would run the program on the wrong family.
  key="HKCU\\Software\\Wine\\AppDefaults\\$(basename "$program")"
  for try in 1 2 3 4 5; do
    "${reg[@]}" add "$key" /v Version /d "$version" /f >/dev/null 2>&1 && break
    [ "$try" -lt 5 ] || { echo "wine-run.sh: cannot set the Windows version for $program" >&2; exit 1; }
    sleep 1
  done
fi
# In either prefix, wine starts a 32-bit program with the 32-bit loader
# (under WoW64 in the 64-bit prefix) and hands a 64-bit one to wine64.
exec wine "$@"
