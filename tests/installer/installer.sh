#!/usr/bin/env bash
# The installer's round trip in a fresh prefix: silent install, what it
# registers, a sound the user assigned kept by a reinstall, a silent
# uninstall while the program runs (a timed disable ended by it), and all
# gone but the user's settings.
#   installer.sh BUILD_DIR
set -euo pipefail
prefix="$1/wineprefix-installer"
source "$(dirname "$0")/../support/tray_menu.sh" "$1"
setup="$build/Dormity-2.06.00-setup.exe"
rm -rf "$prefix" "$prefix.lock"
source "$(dirname "$0")/../support/install_checks.sh"

[ -f "$setup" ] || { echo "no installer at $setup"; exit 1; }
run wineboot -i >/dev/null 2>&1 || true
drive="$prefix/drive_c"
install_dir="$drive/Program Files/Dormity"

# The user's own screen saver settings, which the round trip must leave alone.
run reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\windows\system32\mine.scr' /f >/dev/null
run reg add 'HKCU\Control Panel\Desktop' /v ScreenSaveTimeOut /d 420 /f >/dev/null

run "$setup" /S
check "program installed" test -f "$install_dir/Dormity.exe"
check "readme and licence installed" test -f "$install_dir/README.txt" -a -f "$install_dir/LICENSE.txt"
check "uninstaller installed" test -f "$install_dir/uninstall.exe"
shortcut=$(find "$drive/users" -path '*Start Menu/Programs/Dormity/Dormity.lnk' 2>/dev/null | head -n 1)
check "Start menu shortcut" test -n "$shortcut"
check "starts at logon" equals "$(regval 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' Dormity)" '"C:\Program Files\Dormity\Dormity.exe"'
U='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Dormity'
check "listed as installed" equals "$(regval "$U" DisplayName)" "Dormity"
check "listed version" equals "$(regval "$U" DisplayVersion)" "2.06.00"
check "listed icon" equals "$(regval "$U" DisplayIcon)" 'C:\Program Files\Dormity\Dormity.exe,0'
check "uninstall string" equals "$(regval "$U" UninstallString)" '"C:\Program Files\Dormity\uninstall.exe"'
S='HKCU\AppEvents\Schemes\Apps\Dormity'
check "sound scheme application" equals "$(regval "$S")" "Dormity"
for pair in "Launch:Launch Screen Saver" "Enable:Enable Screen Saver" "Disable:Disable Screen Saver" \
            "Select:Select Screen Saver" "Pass_Enable:Password Enabled" "Pass_Disable:Password Disabled"; do
  event=${pair%%:*}; label=${pair#*:}
  check "sound event $event registered" has_key "$S\\Dormity-$event\\.Current"
  check "sound event $event labelled" equals "$(regval "HKCU\\AppEvents\\EventLabels\\Dormity-$event")" "$label"
done

# A sound the user assigned is kept by a reinstall.
run reg add "$S\\Dormity-Launch\\.Current" /ve /d 'C:\windows\media\ding.wav' /f >/dev/null
run "$setup" /S
check "assigned sound survives a reinstall" equals "$(regval "$S\\Dormity-Launch\\.Current")" 'C:\windows\media\ding.wav'

# The installed program runs; the uninstaller ends it through its Exit command.
run "$install_dir/Dormity.exe" >/dev/null 2>&1 &
check "installed program starts" ctl wait 30000
ctl blink 0
check "preference stored" has_key 'HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Dormity'
# Disabled for 15 minutes: the uninstaller's Exit enables it first, as nobody is left to.
ctl command 420
check "disabled for a while" retry 50 0.2 not ctl active
run "$install_dir/uninstall.exe" /S
# The uninstaller copies itself away and runs from there: wait for its work.
retry 100 0.2 test ! -e "$install_dir" || true
check "program no longer running" not ctl wait 500
check "screen saver enabled on the way out" ctl active
check "files removed" test ! -e "$install_dir"
check "shortcut removed" test ! -e "$shortcut"
check "logon start removed" not regval 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' Dormity
check "uninstall entry removed" not has_key "$U"
check "sound scheme removed" not has_key "$S"
check "sound labels removed" not has_key 'HKCU\AppEvents\EventLabels\Dormity-Launch'
check "preference removed" not has_key 'HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Dormity'
check "screen saver setting untouched" equals "$(regval 'HKCU\Control Panel\Desktop' SCRNSAVE.EXE)" 'C:\windows\system32\mine.scr'
check "screen saver timeout untouched" equals "$(regval 'HKCU\Control Panel\Desktop' ScreenSaveTimeOut)" '420'

report "installer round trip"
