# Sourced by the installer tests: named checks counted, and the registry as reg.exe shows it
# (after tray_menu.sh, whose run it uses). view=/reg:32 reads a 64-bit system's 32-bit view.
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
regval() {  # regval KEY [NAME]: the value (default: the key's own) as reg.exe prints it
  local out
  if [ $# -gt 1 ]; then out=$(run reg query "$1" /v "$2" ${view:-} 2>/dev/null) || return 1
  else out=$(run reg query "$1" /ve ${view:-} 2>/dev/null) || return 1; fi
  printf '%s\n' "$out" | tr -d '\r' | awk -F'    ' 'NF>=4 {print $4; found=1} END {exit !found}'
}
has_key() { run reg query "$1" ${view:-} >/dev/null 2>&1; }
not() { ! "$@" >/dev/null; }
equals() { [ "$1" = "$2" ]; }
report() {  # report NAME: the summary line and the exit status
  run wineserver -k >/dev/null 2>&1 || true
  if [ "$failures" -eq 0 ]; then echo "$1: 1 passed, 0 failed"; exit 0; fi
  echo "$1: 0 passed, 1 failed ($failures checks)"; exit 1
}
