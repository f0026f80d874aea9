#!/usr/bin/env bash
# The MSI package's round trip in a fresh prefix of its own: a silent
# per-machine install, what it installs, Dormity started by its Start menu
# shortcut's target, an upgrade to a later version's package while Dormity
# runs (one installed entry, the user's sound kept), a silent removal while
# it runs (a timed disable ended first), and nothing left but the user's
# settings.
#   installer_msi.sh BUILD_DIR PACKAGE NEXT_PACKAGE win32|win64
set -euo pipefail
export DORMITY_WINEARCH=$4
prefix="$1/wineprefix-msi"
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
package=$2 next=$3
rm -rf "$prefix" "$prefix.lock" "$prefix.bin"
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
# The package's own registry values are the 32-bit program's: on a 64-bit
# system they lie in its 32-bit view (view= reads the native one).
view=/reg:32
regval() {  # regval KEY [NAME]: the value (default: the key's own) as reg.exe prints it
  local out
  if [ $# -gt 1 ]; then out=$(run reg query "$1" /v "$2" $view 2>/dev/null) || return 1
  else out=$(run reg query "$1" /ve $view 2>/dev/null) || return 1; fi
  printf '%s\n' "$out" | tr -d '\r' | awk -F'    ' 'NF>=4 {print $4; found=1} END {exit !found}'
}
has_key() { run reg query "$1" /reg:32 >/dev/null 2>&1; }
not() { ! "$@" >/dev/null; }
equals() { [ "$1" = "$2" ]; }
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }
msi_property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name {print $2}'; }
# Installed products named Dormity: their entries in the installed programs.
entries() {
  run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 2>/dev/null \
    | tr -d '\r' | grep -c 'DisplayName    REG_SZ    Dormity$' || true
}
msiexec() { run msiexec "$@" /qn; }

for file in "$package" "$next"; do [ -f "$file" ] || { echo "no package at $file"; exit 1; }; done
run wineboot -i >/dev/null 2>&1 || true
drive="$prefix/drive_c"
# The 32-bit Program Files folder: beside the native one on a 64-bit system.
if [ "$DORMITY_WINEARCH" = win64 ]; then folder='Program Files (x86)'; else folder='Program Files'; fi
install_dir="$drive/$folder/Dormity"
program="C:\\$folder\\Dormity\\Dormity.exe"
U='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
S='HKCU\AppEvents\Schemes\Apps\Dormity'
L='HKCU\AppEvents\EventLabels\Dormity-Launch'
P='HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Dormity'

# The user's own screen saver settings, which the round trip must leave alone.
run reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\windows\system32\mine.scr' /f >/dev/null
run reg add 'HKCU\Control Panel\Desktop' /v ScreenSaveTimeOut /d 420 /f >/dev/null

msiexec /i "$(windows_path "$package")"
product=$(msi_property "$package" ProductCode)
check "program installed, byte for byte" cmp -s "$install_dir/Dormity.exe" "$build/Dormity.exe"
check "readme and licence installed" test -f "$install_dir/README.txt" -a -f "$install_dir/LICENSE.txt"
# Wine's installer puts an all-users shortcut into the user's own menu.
shortcut=$(find "$drive/users" "$drive/ProgramData" -path '*Start Menu/Programs/Dormity/Dormity.lnk' 2>/dev/null | head -n 1)
check "Start menu shortcut" test -n "$shortcut"
check "starts at logon for every user" equals "$(regval 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' Dormity)" "\"$program\""
check "one installed entry" equals "$(entries)" 1
check "listed name" equals "$(regval "$U\\$product" DisplayName)" "Dormity"
check "listed version" equals "$(regval "$U\\$product" DisplayVersion)" "$(msi_property "$package" ProductVersion)"
check "listed publisher" equals "$(regval "$U\\$product" Publisher)" "The Dormity developers"
# Windows Installer keeps the entry's icon with the product's registration.
packed=$(echo "${product//[\{\}-]/}" | sed -E 's/^(.{8})(.{4})(.{4})(.{16})$/\1 \2 \3 \4/' \
  | awk '{ r=""; for (i = 1; i <= 3; i++) { s=""; for (j = length($i); j > 0; j--) s = s substr($i, j, 1); r = r s }
           for (j = 1; j <= 16; j += 2) r = r substr($4, j + 1, 1) substr($4, j, 1); print r }')
icon=$(view='' regval "HKLM\\Software\\Classes\\Installer\\Products\\$packed" ProductIcon || true)
icon_file="$drive/${icon#C:\\}"
check "listed with Dormity's icon" cmp -s "${icon_file//\\//}" "$build/icons/icon104.ico"

# Started as the Start menu starts it, Dormity registers its sound events.
target=$(ctl shortcut "$(windows_path "$shortcut")" | tr -d '\r')
check "the shortcut starts the installed program" equals "$target" "$program"
run "$target" >/dev/null 2>&1 &
check "installed program starts" ctl wait 30000
check "its sound events registered" equals "$(regval "$L")" "Launch Screen Saver"
run reg add "$S\\Dormity-Launch\\.Current" /ve /d 'C:\windows\media\ding.wav' /f >/dev/null
ctl blink 0
ctl command 420  # Disable For 15 minutes
check "disabled for a while" retry 50 0.2 not ctl active

# A later version's package replaces this one in place, ending Dormity first.
msiexec /i "$(windows_path "$next")"
check "upgrade ended the running program" not ctl wait 500
check "screen saver enabled on the way out" ctl active
check "one installed entry after the upgrade" equals "$(entries)" 1
check "the later version is the one listed" equals "$(regval "$U\\$(msi_property "$next" ProductCode)" DisplayVersion)" "$(msi_property "$next" ProductVersion)"
check "the earlier version is gone" not has_key "$U\\$product"
check "program still installed" cmp -s "$install_dir/Dormity.exe" "$build/Dormity.exe"
check "shortcut still there" test -f "$shortcut"
check "logon start still there" equals "$(regval 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' Dormity)" "\"$program\""
check "assigned sound survives the upgrade" equals "$(regval "$S\\Dormity-Launch\\.Current")" 'C:\windows\media\ding.wav'
check "preference survives the upgrade" has_key "$P"

# Removed while Dormity runs a timed disable.
run "$target" >/dev/null 2>&1 &
ctl wait 30000 || true
ctl command 420
check "disabled again" retry 50 0.2 not ctl active
msiexec /x "$(msi_property "$next" ProductCode)"
check "program no longer running" not ctl wait 500
check "screen saver enabled on the way out" ctl active
check "files removed" test ! -e "$install_dir"
check "shortcut removed" test ! -e "$(dirname "$shortcut")"
check "logon start removed" not regval 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' Dormity
check "no installed entry" equals "$(entries)" 0
check "sound scheme removed" not has_key "$S"
check "sound labels removed" not has_key "$L"
check "preference removed" not has_key "$P"
check "screen saver setting untouched" equals "$(regval 'HKCU\Control Panel\Desktop' SCRNSAVE.EXE)" 'C:\windows\system32\mine.scr'
check "screen saver timeout untouched" equals "$(regval 'HKCU\Control Panel\Desktop' ScreenSaveTimeOut)" '420'

run wineserver -k >/dev/null 2>&1 || true
if [ "$failures" -eq 0 ]; then echo "MSI round trip: 1 passed, 0 failed"; exit 0; fi
echo "MSI round trip: 0 passed, 1 failed ($failures checks)"; exit 1
