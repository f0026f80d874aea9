#!/usr/bin/env bash
# Static checks of the built executable: a 32-bit GUI program for subsystem
# 4.0 (so the Windows 95 and NT 4.0 loaders accept it), built with ASLR and
# DEP, importing only the five system DLLs that Windows 95 and NT 4.0 both
# have (no C runtime, no winmm.dll: it is loaded at run time by full path)
# and only the functions listed in allowed_imports.txt, each marked as
# present on both (functions of later systems are looked up at run time).
#   check_binary.sh OBJDUMP EXE ALLOWED_LIST
set -euo pipefail
objdump=$1
exe=$2
allowed=$3
headers=$("$objdump" -p "$exe")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

file "$exe" | grep -q 'PE32 executable (GUI) Intel 80386' || fail "not a PE32 GUI i386 executable: $(file -b "$exe")"
grep -Eq '^MajorSubsystemVersion[[:space:]]+4$' <<<"$headers" || fail "subsystem major version is not 4"
grep -Eq '^MinorSubsystemVersion[[:space:]]+0$' <<<"$headers" || fail "subsystem minor version is not 0"
characteristics=$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")
(( 16#$characteristics & 0x40 )) || fail "no ASLR (DYNAMIC_BASE) in DllCharacteristics $characteristics"
(( 16#$characteristics & 0x100 )) || fail "no DEP (NX_COMPAT) in DllCharacteristics $characteristics"
relocations=$(awk '/Base Relocation Directory/ {print $3}' <<<"$headers")
[ -n "$relocations" ] && [ $((16#$relocations)) -gt 0 ] || fail "no relocations: ASLR cannot move the image"

system_dlls="ADVAPI32.DLL GDI32.DLL KERNEL32.DLL SHELL32.DLL USER32.DLL"
for dll in $(awk '/DLL Name:/ {print toupper($3)}' <<<"$headers"); do
  case "$dll" in
    MSVCRT.DLL) fail "imports the C runtime (msvcrt.dll, which a plain Windows 95 lacks)" ;;
    WINMM.DLL) fail "imports winmm.dll by name (found in the program's folder first)" ;;
    *) [[ " $system_dlls " == *" $dll "* ]] || fail "imports a DLL outside the five system DLLs: $dll" ;;
  esac
done

unmarked=$(grep -v '^#' "$allowed" | awk 'NF' | grep -v '# Windows 95 and NT 4\.0$' || true)
[ -z "$unmarked" ] || fail "allowed imports not marked as present on Windows 95 and NT 4.0: $(echo $unmarked)"
listed_dlls=$(grep -v '^#' "$allowed" | awk 'NF {print $1}' | sort -u)
for dll in $listed_dlls; do
  [[ " $system_dlls " == *" $dll "* ]] || fail "$(basename "$allowed") lists a DLL outside the five: $dll"
done

actual=$(awk '/DLL Name:/ {dll=toupper($3); next} dll && NF==3 && $1 ~ /^[0-9a-f]+$/ {print dll, $3}' <<<"$headers" | sort -u)
expected=$(grep -v '^#' "$allowed" | awk 'NF {print $1, $2}' | sort -u)
unexpected=$(comm -23 <(echo "$actual") <(echo "$expected"))
[ -z "$unexpected" ] || fail "imports not in $(basename "$allowed"): $(echo $unexpected)"
grep -q 'LockWorkStation' <<<"$actual" && fail "LockWorkStation must be looked up at run time"
for later in IsWow64Process Wow64DisableWow64FsRedirection Wow64RevertWow64FsRedirection \
             GetUserDefaultUILanguage SetWindowTextW GetWindowTextW DrawTextW \
             DialogBoxIndirectParamW Shell_NotifyIconW CharUpperW; do
  grep -qw "$later" <<<"$actual" && fail "$later must be looked up at run time"
done

count=$(echo "$actual" | wc -l)
if [ "$failures" -eq 0 ]; then
  echo "executable checks: $count imports, all allowed; subsystem 4.0, ASLR and DEP"
  echo "1 passed, 0 failed"
else
  echo "0 passed, 1 failed"
  exit 1
fi
