#!/usr/bin/env bash
# `make bench-win`: korv-bench-load (LoadText and CPatientDoc::Load on the generated 50 KB,
# 1 MB and 16 MB documents) built in Release natively, for 64-bit Windows, for 32-bit
# Windows with SSE2 (as the DLL is built) and, for comparison, 32-bit Windows without it;
# the Windows programs run under wine64 and wine32 (32-bit only where the kernel executes
# i386 programs). Prints one Markdown table (MB/s, best of five runs) and writes it to
# build/bench-win/table.md. Not part of `make test`.
set -euo pipefail
cd "$(dirname "$0")/.."

out="build/bench-win"
mkdir -p "$out"
. scripts/i386-probe.sh
korv_i386_probe
. tests/win32/wine-env.sh

reason_file="$(mktemp)"
KORV_DEPS_REASON_FILE="$reason_file" scripts/install-deps.sh bench win64 win32
# 32-bit wine is optional: a package source that cannot serve it now costs its columns only.
if [ "$korv_i386_ok" = 1 ] &&
   ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  korv_i386_ok=0
  korv_i386_reason="its packages cannot be installed now ($(cat "$reason_file" 2>/dev/null || true))"
fi
rm -f "$reason_file"

# korv-bench-load in Release: natively (preset bench) and in the presets bench-win64,
# bench-win32 and bench-win32-nosse2 (the toolchain's flags less -msse2 -mfpmath=sse).
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
declare -A program=([native]=build/bench/bench/korv-bench-load)
scripts/preset.sh bench --target korv-bench-load
for c in win64 win32 win32-nosse2; do
  scripts/preset.sh "bench-$c"
  program[$c]="build/bench-$c/bench/korv-bench-load.exe"
done

sse2() {  # sse2 EXE OBJDUMP: the number of pmovmskb instructions in the program
  "$2" -d "$1" | grep -c $'\tpmovmskb' || true
}
echo "pmovmskb in the 32-bit program: $(sse2 "${program[win32]}" i686-w64-mingw32-objdump)" \
  "with SSE2, $(sse2 "${program[win32-nosse2]}" i686-w64-mingw32-objdump) without"

run() {  # run NAME COMMAND...: the program's rows into $out/NAME.tsv
  local name="$1"
  shift
  echo "== run $name"
  "$@" | tr -d '\r' | tee "$out/$name.tsv"
}

columns=(native win64)
run native "${program[native]}"
korv_wine_env 64
korv_wine_boot
run win64 timeout 900 "$WINELOADER" "${program[win64]}"
korv_wine_stop
if [ "$korv_i386_ok" = 1 ]; then
  korv_wine_env 32
  korv_wine_boot
  run win32 timeout 900 "$WINELOADER" "${program[win32]}"
  run win32-nosse2 timeout 900 "$WINELOADER" "${program[win32-nosse2]}"
  korv_wine_stop
  columns+=(win32 win32-nosse2)
else
  echo "bench-win: 32-bit wine not run: $korv_i386_reason"
fi

# The table: one row per operation and size, one column per build.
declare -A title=([native]="Linux x86-64 (native)" [win64]="Windows 64-bit (wine64)"
                  [win32]="Windows 32-bit, SSE2 (wine32)" [win32-nosse2]="Windows 32-bit, no SSE2 (wine32)")
{
  header="| Measurement | Size |"
  rule="| --- | --- |"
  for c in "${columns[@]}"; do header+=" ${title[$c]} |"; rule+=" --- |"; done
  echo "$header"
  echo "$rule"
  while IFS=$'\t' read -r _ operation bytes _ _; do
    case "$bytes" in
      51200) size="50 KB" ;; 1048576) size="1 MB" ;; 16777216) size="16 MB" ;; *) size="$bytes B" ;;
    esac
    line="| $operation | $size |"
    for c in "${columns[@]}"; do
      rate="$(awk -F'\t' -v op="$operation" -v b="$bytes" '$2 == op && $3 == b { print $4 }' "$out/$c.tsv")"
      line+=" $(printf '%.0f' "${rate:-0}") MB/s |"
    done
    echo "$line"
  done <"$out/native.tsv"
} >"$out/table.md"
echo
cat "$out/table.md"
