#!/usr/bin/env bash
# The MSI package's round trip in a fresh prefix of its own: a silent
# per-machine install, what it installs, Dormity started by its Start menu
# shortcut, an upgrade to a later version's package while Dormity runs (one
# installed entry, the user's sound kept), a silent removal while it runs (a
# timed disable ended first), and nothing left but the user's settings.
#   installer_msi.sh BUILD_DIR PACKAGE NEXT_PACKAGE win32|win64
set -euo pipefail
export DORMITY_WINEARCH=$4
prefix="$1/wineprefix-msi"
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
source "$(dirname "$0")/../support/install_checks.sh"
package=$2 next=$3
rm -rf "$prefix" "$prefix.lock" "$prefix.bin"
# The package is a 32-bit program's: on a 64-bit system its values lie in the 32-bit view.
view=/reg:32
property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name {print $2}'; }
entries() {  # how many installed programs are named Dormity
  run reg query "$U" /s $view 2>/dev/null | tr -d '\r' | grep -c 'DisplayName    REG_SZ    Dormity$' || true
}
msiexec() { run msiexec "$1" "$2" /qn; }
gone() { local key; for key; do ! has_key "$key" || return 1; done; }
start_installed() { run start /unix "$shortcut" >/dev/null 2>&1; ctl wait 30000; }
disable_for_a_while() { ctl command 420; retry 50 0.2 not ctl active; }  # Disable For 15 minutes
ended() { not ctl wait 500 && ctl active; }  # and the screen saver enabled on the way out
logon_start() { regval "$R" Dormity; }
listed() { regval "$U\\$1" DisplayName; regval "$U\\$1" DisplayVersion; regval "$U\\$1" Publisher; }

for file in "$package" "$next"; do [ -f "$file" ] || { echo "no package at $file"; exit 1; }; done
run wineboot -i >/dev/null 2>&1 || true
drive="$prefix/drive_c"
if [ "$DORMITY_WINEARCH" = win64 ]; then folder='Program Files (x86)'; else folder='Program Files'; fi
install_dir="$drive/$folder/Dormity" program="C:\\$folder\\Dormity\\Dormity.exe"
U='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
R='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
S='HKCU\AppEvents\Schemes\Apps\Dormity'
L='HKCU\AppEvents\EventLabels\Dormity-Launch'
P='HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Dormity'
run reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\windows\system32\mine.scr' /f >/dev/null
run reg add 'HKCU\Control Panel\Desktop' /v ScreenSaveTimeOut /d 420 /f >/dev/null

msiexec /i "Z:${package//\//\\}"
product=$(property "$package" ProductCode)
check "program installed, byte for byte" cmp -s "$install_dir/Dormity.exe" "$build/Dormity.exe"
check "readme and licence installed" test -f "$install_dir/README.txt" -a -f "$install_dir/LICENSE.txt"
# Wine's installer puts an all-users shortcut into the user's own menu.
shortcut=$(find "$drive/users" "$drive/ProgramData" -path '*Start Menu/Programs/Dormity/Dormity.lnk' | head -n 1)
check "Start menu shortcut to the installed program" grep -aqF "$program" "$shortcut"
check "starts at logon for every user" equals "$(logon_start)" "\"$program\""
check "one installed entry" equals "$(entries)" 1
check "listed name, version and publisher" equals "$(listed "$product")" \
  "$(printf 'Dormity\n%s\nThe Dormity developers' "$(property "$package" ProductVersion)")"

check "the shortcut starts it" start_installed
check "its sound events registered" equals "$(regval "$L")" "Launch Screen Saver"
run reg add "$S\\Dormity-Launch\\.Current" /ve /d 'C:\windows\media\ding.wav' /f >/dev/null
ctl blink 0
check "disabled for a while" disable_for_a_while

msiexec /i "Z:${next//\//\\}"
check "upgrade ended the running program, the screen saver enabled" ended
check "one installed entry after the upgrade" equals "$(entries)" 1
check "the later version is the one listed" \
  equals "$(regval "$U\\$(property "$next" ProductCode)" DisplayVersion)" "$(property "$next" ProductVersion)"
check "program kept" cmp -s "$install_dir/Dormity.exe" "$build/Dormity.exe"
check "shortcut and logon start kept" equals "$(test -f "$shortcut" && logon_start)" "\"$program\""
check "assigned sound survives the upgrade" equals "$(regval "$S\\Dormity-Launch\\.Current")" 'C:\windows\media\ding.wav'
check "preference survives the upgrade" has_key "$P"

start_installed || true
check "disabled again" disable_for_a_while
msiexec /x "$(property "$next" ProductCode)"
check "removal ended the running program, the screen saver enabled" ended
check "files and shortcut removed" test ! -e "$install_dir" -a ! -e "$(dirname "$shortcut")"
check "logon start removed" not logon_start
check "no installed entry" equals "$(entries)" 0
check "sound events and preference removed" gone "$S" "$L" "$P"
D='HKCU\Control Panel\Desktop'
check "screen saver settings untouched" equals "$(regval "$D" SCRNSAVE.EXE)/$(regval "$D" ScreenSaveTimeOut)" \
  'C:\windows\system32\mine.scr/420'
report "MSI round trip"
