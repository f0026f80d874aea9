#!/usr/bin/env bash
# Runs a Windows program under Wine in one of the build tree's prefixes.
#   wine-run.sh --prefix DIR [--arch win32|win64] [--version win98|nt40|win2k|winxp]
#               program.exe [args...]
# The arch option chooses the prefix's system: win32 (the default) is a
# 32-bit Windows; win64 is a 64-bit Windows, where the 32-bit programs run
# under WoW64 beside 64-bit ones. The version option makes Wine report that
# system to this program (by its file name), so family-dependent code is
# exercised on each family.
set -euo pipefail
prefix=""
version=""
arch=win32
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
export WINEPREFIX="$prefix" WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
# The prefix is made by the loader of its own system: a 64-bit one by
# wine64 (Debian installs it beside the other loaders, not on the path).
boot=(wineboot)
reg=(wine reg)
if [ "$arch" = win64 ]; then
  wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
  [ -x "$wine64" ] || { echo "wine-run.sh: a 64-bit prefix needs wine64" >&2; exit 2; }
  boot=("$wine64" wineboot)
  reg=("$wine64" reg)
fi
mkdir -p "$(dirname "$prefix")"
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
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$program")" /v Version /d "$version" /f >/dev/null 2>&1
fi
# In either prefix, wine starts a 32-bit program with the 32-bit loader
# (under WoW64 in the 64-bit prefix) and hands a 64-bit one to wine64.
exec wine "$@"
