#!/usr/bin/env bash
# Checks the PE tables of the Windows build with objdump -p:
# - KorvanelleClient.dll exports exactly the seventeen names, undecorated, numbered 1 to 17
#   in the byte order of their names, under the module name KorvanelleClient.dll;
# - the DLL and the test program import system DLLs only (the C/C++ runtime, libgcc and
#   winpthread are linked in statically).
# Usage: tests/win32/check-pe.sh DLL [EXE]
# Prints one line per check and "N passed, N failed"; exits non-zero on any failure.
set -uo pipefail

OBJDUMP="${OBJDUMP:-i686-w64-mingw32-objdump}"
dll="${1:?usage: check-pe.sh DLL [EXE]}"
exe="${2:-}"

passed=0
failed=0
check() {  # check OK DESCRIPTION
  if [ "$1" = 0 ]; then
    echo "ok - $2"; passed=$((passed + 1))
  else
    echo "FAIL - $2"; failed=$((failed + 1))
  fi
}

# The seventeen names in byte order (LC_ALL=C sort); ordinal n is the n-th.
expected_exports="$(printf '%s\n' Connect Disconnect OpenPatient GetPatientName \
  GetModalityCount GetModID GetModName GetStudyCount GetStudyID GetStudyName \
  GetFieldCount GetFieldID GetFieldName GetFieldType GetFieldData GetThumbData GetImageData |
  LC_ALL=C sort | awk '{ print NR, $0 }')"

dump="$("$OBJDUMP" -p "$dll")" || { echo "FAIL - $OBJDUMP -p $dll"; echo "0 passed, 1 failed"; exit 1; }

# --- exports ---------------------------------------------------------------------------------
module_name="$(printf '%s\n' "$dump" | awk '/^Name[ \t]/ && /\.dll$/ { print $NF; exit }')"
check "$([ "$module_name" = "KorvanelleClient.dll" ]; echo $?)" \
  "export table module name is KorvanelleClient.dll (got '$module_name')"

base="$(printf '%s\n' "$dump" | awk '/^Ordinal Base/ { print $NF; exit }')"
check "$([ "$base" = 1 ]; echo $?)" "ordinal base is 1 (got '$base')"

functions="$(printf '%s\n' "$dump" | awk '/Export Address Table[ \t]+[0-9a-fA-F]+$/ { print $NF; exit }')"
names="$(printf '%s\n' "$dump" | awk '/\[Name Pointer\/Ordinal\] Table[ \t]+[0-9a-fA-F]+$/ { print $NF; exit }')"
check "$([ "$((16#${functions:-0}))" = 17 ] && [ "$((16#${names:-0}))" = 17 ]; echo $?)" \
  "17 exported functions and 17 names, nothing else (got ${functions:-?} functions, ${names:-?} names)"

# "[Ordinal/Name Pointer] Table" lists "[ index] name" (binutils 2.40) or
# "[ index] +base[ ordinal] hint name" (later binutils); index + base is the ordinal.
actual_exports="$(printf '%s\n' "$dump" | awk -v base="${base:-1}" '
  /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^[ \t]*$/ { if (seen) exit; next }
  inside && /^[ \t]*\[/ {
    seen = 1
    line = $0
    if (match(line, /\+base\[ *[0-9]+\]/)) {
      ord = substr(line, RSTART, RLENGTH); gsub(/[^0-9]/, "", ord)
    } else {
      match(line, /\[ *[0-9]+\]/); ord = substr(line, RSTART, RLENGTH); gsub(/[^0-9]/, "", ord)
      ord = ord + base
    }
    print ord + 0, $NF
  }')"
check "$([ "$actual_exports" = "$expected_exports" ]; echo $?)" \
  "exports are exactly the 17 names with ordinals 1..17 in byte order"
if [ "$actual_exports" != "$expected_exports" ]; then
  diff <(printf '%s\n' "$expected_exports") <(printf '%s\n' "$actual_exports") | sed 's/^/    /'
fi
decorated="$(printf '%s\n' "$actual_exports" | awk '$2 ~ /^_|@/' | wc -l)"
check "$([ "$decorated" = 0 ]; echo $?)" "no decorated export names (_name, name@n)"

# --- imports ---------------------------------------------------------------------------------
# System DLLs a host has on every Windows; VERSION only for the test program.
check_imports() {  # check_imports FILE DUMP ALLOWED-REGEX
  local file="$1" text="$2" allowed="$3" imports bad
  imports="$(printf '%s\n' "$text" | awk '/DLL Name:/ { print $NF }' | sort -u)"
  bad="$(printf '%s\n' "$imports" | grep -viE "^($allowed)$" || true)"
  check "$([ -n "$imports" ] && [ -z "$bad" ]; echo $?)" \
    "$(basename "$file") imports only system DLLs: $(echo $imports)${bad:+ (not allowed: $(echo $bad))}"
}
system_dlls='kernel32\.dll|ws2_32\.dll|user32\.dll|advapi32\.dll|msvcrt\.dll|api-ms-win-[a-z0-9-]+\.dll'
check_imports "$dll" "$dump" "$system_dlls"
check "$(grep -qiE 'DLL Name: (libstdc|libgcc|libwinpthread)' <<<"$dump"; [ $? -ne 0 ]; echo $?)" \
  "$(basename "$dll") needs no libstdc++, libgcc or winpthread DLL beside it"

if [ -n "$exe" ]; then
  exe_dump="$("$OBJDUMP" -p "$exe")" || { check 1 "$OBJDUMP -p $exe"; exe_dump=""; }
  check_imports "$exe" "$exe_dump" "$system_dlls|version\.dll"
  check "$(grep -qi 'DLL Name: KorvanelleClient' <<<"$exe_dump"; [ $? -ne 0 ]; echo $?)" \
    "$(basename "$exe") loads the DLL at run time (no import of KorvanelleClient.dll)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
