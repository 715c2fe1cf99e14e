#!/usr/bin/env bash
# Checks the PE tables of a Windows build with objdump:
# - KorvanelleClient.dll is a DLL of the build's machine (PE32 i386, or PE32+ x86-64);
# - it exports exactly the names of the public header's KORVANELLE_FOR_EACH_FUNCTION, undecorated,
#   numbered 1 to N in the byte order of their names, under the module name KorvanelleClient.dll;
# - the markup scanner's 16-byte stop search is in it (SSE2: pcmpeqb, pmovmskb);
# - the DLL and the programs import system DLLs only (the C/C++ runtime, libgcc and
#   winpthread are linked in statically), and the programs load the DLL at run time.
# Usage: tests/win32/check-pe.sh win32|win64 DLL [EXE...]
# Prints one line per check and "N passed, N failed"; exits non-zero on any failure.
set -uo pipefail

arch="${1:?usage: check-pe.sh win32|win64 DLL [EXE...]}"
dll="${2:?usage: check-pe.sh win32|win64 DLL [EXE...]}"
shift 2
case "$arch" in
  win32) prefix=i686-w64-mingw32; want_format=pei-i386; want_magic=010b ;;
  win64) prefix=x86_64-w64-mingw32; want_format=pei-x86-64; want_magic=020b ;;
  *) echo "check-pe.sh: unknown build '$arch' (win32 or win64)" >&2; exit 2 ;;
esac
OBJDUMP="${OBJDUMP:-$prefix-objdump}"

. "$(dirname "$0")/checks.sh"

# The names as the public header lists them (KORVANELLE_FOR_EACH_FUNCTION), in byte order
# (LC_ALL=C sort); ordinal n is the n-th.
header="$(dirname "$0")/../../include/KorvanelleClient.h"
expected_exports="$(sed -n '/^#define KORVANELLE_FOR_EACH_FUNCTION(X)/,/[^\\]$/p' "$header" |
  sed 's/^#define KORVANELLE_FOR_EACH_FUNCTION(X)//' | grep -o 'X([A-Za-z0-9_]*)' |
  sed 's/^X(//; s/)$//' | LC_ALL=C sort | awk '{ print NR, $0 }')"
export_count="$(printf '%s\n' "$expected_exports" | grep -c .)"
if [ "$export_count" -eq 0 ]; then
  echo "FAIL - no KORVANELLE_FOR_EACH_FUNCTION list in $header"; echo "0 passed, 1 failed"; exit 1
fi

dump="$("$OBJDUMP" -p "$dll")" || { echo "FAIL - $OBJDUMP -p $dll"; echo "0 passed, 1 failed"; exit 1; }

# --- machine -----------------------------------------------------------------------------------
format="$(printf '%s\n' "$dump" | sed -n 's/.*file format \(.*\)$/\1/p' | head -n 1)"
magic="$(printf '%s\n' "$dump" | awk '/^Magic[ \t]/ { print $2; exit }')"
characteristics="$(printf '%s\n' "$dump" | awk '/^Characteristics[ \t]/ { sub(/^0x/, "", $2); print $2; exit }')"
check "$([ "$format" = "$want_format" ] && [ "$magic" = "$want_magic" ] &&
         [ $((16#${characteristics:-0} & 0x2000)) -ne 0 ]; echo $?)" \
  "$(basename "$dll") is a $want_format DLL, optional header magic $want_magic (got '$format', '$magic', characteristics ${characteristics:-?})"

# --- exports ---------------------------------------------------------------------------------
module_name="$(printf '%s\n' "$dump" | awk '/^Name[ \t]/ && /\.dll$/ { print $NF; exit }')"
check "$([ "$module_name" = "KorvanelleClient.dll" ]; echo $?)" \
  "export table module name is KorvanelleClient.dll (got '$module_name')"

base="$(printf '%s\n' "$dump" | awk '/^Ordinal Base/ { print $NF; exit }')"
check "$([ "$base" = 1 ]; echo $?)" "ordinal base is 1 (got '$base')"

functions="$(printf '%s\n' "$dump" | awk '/Export Address Table[ \t]+[0-9a-fA-F]+$/ { print $NF; exit }')"
names="$(printf '%s\n' "$dump" | awk '/\[Name Pointer\/Ordinal\] Table[ \t]+[0-9a-fA-F]+$/ { print $NF; exit }')"
check "$([ "$((16#${functions:-0}))" = "$export_count" ] && [ "$((16#${names:-0}))" = "$export_count" ]; echo $?)" \
  "$export_count exported functions and $export_count names, nothing else (got ${functions:-?} functions, ${names:-?} names)"

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
  "exports are exactly the $export_count names with ordinals 1..$export_count in byte order"
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

for exe in "$@"; do
  exe_dump="$("$OBJDUMP" -p "$exe")" || { check 1 "$OBJDUMP -p $exe"; exe_dump=""; }
  exe_format="$(printf '%s\n' "$exe_dump" | sed -n 's/.*file format \(.*\)$/\1/p' | head -n 1)"
  check "$([ "$exe_format" = "$want_format" ]; echo $?)" "$(basename "$exe") is $want_format (got '$exe_format')"
  check_imports "$exe" "$exe_dump" "$system_dlls|version\.dll"
  check "$(grep -qi 'DLL Name: KorvanelleClient' <<<"$exe_dump"; [ $? -ne 0 ]; echo $?)" \
    "$(basename "$exe") loads the DLL at run time (no import of KorvanelleClient.dll)"
done

# --- SSE2 in the scanner -----------------------------------------------------------------------
# The stop searches are inlined into the scanner's functions: those whose code comes from
# src/markup/MarkupScanner.cpp by the line table (the presets build with -g). Their
# disassembly must hold the byte compares and the mask extraction, which the byte-wise
# fallback has neither of.
scanner="$("$OBJDUMP" -d -l "$dll" | awk '
  function flush() { if (fromScanner) { functions++; eq += fnEq; mask += fnMask } }
  /^[0-9a-f]+ <.*>:$/ { flush(); fromScanner = 0; fnEq = 0; fnMask = 0; next }
  /^\/.*\/src\/markup\/MarkupScanner\.cpp:[0-9]+/ { fromScanner = 1 }
  /\tpcmpeqb/ { fnEq++ }
  /\tpmovmskb/ { fnMask++ }
  END { flush(); printf "%d %d %d\n", functions, eq, mask }')"
read -r scanner_functions scanner_pcmpeqb scanner_pmovmskb <<<"$scanner"
check "$([ "${scanner_functions:-0}" -gt 0 ] && [ "${scanner_pcmpeqb:-0}" -gt 0 ] && [ "${scanner_pmovmskb:-0}" -gt 0 ]; echo $?)" \
  "SSE2 in the markup scanner: ${scanner_pcmpeqb:-0} pcmpeqb, ${scanner_pmovmskb:-0} pmovmskb in the ${scanner_functions:-0} functions built from MarkupScanner.cpp"

check_summary
