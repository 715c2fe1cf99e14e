#!/usr/bin/env bash
# The Windows build's test, run by `make test-win64` and `make test-win32`: installs what is
# missing, builds the preset (KorvanelleClient.dll, korvanelle_wine_test.exe, korvanelle.exe)
# and the Linux sample server and host, checks the PE tables, then under wine against the
# server on 127.0.0.1: the test program, and korvanelle.exe's `show` and `fetch` beside the
# Linux host's, and a fetch of image names in Chinese under an ANSI code page other than 936
# (tests/win32/cjk-names.sh). The server is stopped whatever happens.
#
# Usage: tests/win32/run-wine-test.sh win64|win32 [--probe-only]
#   win64         64-bit DLL, run under wine64 (every x86-64 machine)
#   win32         32-bit DLL; wine runs only where the kernel executes i386 programs (probed
#                 first) and its packages could be installed. Elsewhere the build and the
#                 PE checks still run, one line says why wine did not, and the step passes.
#   --probe-only  prints the 32-bit decision line and stops (no build, no wine)
#   --deps-only   also installs what is missing, prints the decision once more, and stops
# Environment: KORV_FORCE_NO_I386=1 (take the "cannot execute i386" path anywhere),
#              KORV_WINE_TIMEOUT (seconds for each program, default 300),
#              KORV_WINEBOOT_TIMEOUT (seconds for a new wine prefix, default 600).
set -euo pipefail
cd "$(dirname "$0")/../.."

arch="${1:-}"
mode="${2:-}"
case "$arch" in
  win64) bits=64 ;;
  win32) bits=32 ;;
  *) echo "usage: $0 win64|win32 [--probe-only]" >&2; exit 2 ;;
esac
name="test-$arch"

. scripts/i386-probe.sh
run_wine=1
if [ "$arch" = win32 ]; then
  korv_i386_probe
  if [ "$korv_i386_ok" = 1 ]; then
    echo "$name: this kernel executes i386 programs: 32-bit wine runs"
  else
    echo "$name: 32-bit wine not run: $korv_i386_reason"
    run_wine=0
  fi
fi
case "$mode" in
  "" | --probe-only | --deps-only) ;;
  *) echo "usage: $0 win64|win32 [--probe-only|--deps-only]" >&2; exit 2 ;;
esac
[ "$mode" = --probe-only ] && exit 0

win_build="build/$arch"
dll="$win_build/src/api/KorvanelleClient.dll"
test_exe="$win_build/tests/win32/korvanelle_wine_test.exe"
cli_exe="$win_build/tools/korvanelle.exe"
server="build/default/tools/korvanelle-server"
linux_cli="build/default/tools/korvanelle"
data="examples/data"
patient="P10001"

started=$SECONDS
step() { echo "== $name [$((SECONDS - started)) s]: $*"; }

step "dependencies"
reason_file="$(mktemp)"
KORV_DEPS_REASON_FILE="$reason_file" scripts/install-deps.sh build "$arch"
# 32-bit wine is optional: a package source that cannot serve it now costs the wine run only.
if [ "$run_wine" = 1 ] && [ "$arch" = win32 ] &&
   ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  reason="$(cat "$reason_file" 2>/dev/null || true)"
  echo "$name: 32-bit wine not run: its packages cannot be installed now (${reason:-see install-deps above})"
  run_wine=0
fi
rm -f "$reason_file"
if [ "$mode" = --deps-only ]; then
  [ "$run_wine" = 1 ] && echo "$name: wine$bits runs"
  exit 0
fi

step "cross build ($arch preset)"
scripts/preset.sh "$arch" --target KorvanelleClient korvanelle_wine_test korvanelle

step "sample server and host (default preset)"
scripts/preset.sh default --target korvanelle-server korvanelle KorvanelleClient

step "PE tables"
tests/win32/check-pe.sh "$arch" "$dll" "$test_exe" "$cli_exe"

if [ "$run_wine" = 0 ]; then
  step "done without wine (see above)"
  exit 0
fi

. tests/win32/wine-env.sh
korv_wine_env "$bits"
# A locale whose ANSI code page is 1252, not 936, and whose Unix file names are UTF-8:
# korvanelle.exe must write code page 936 names right whatever the host's code page.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
wine_timeout="${KORV_WINE_TIMEOUT:-300}"

work="$(mktemp -d)"
. scripts/sample-server.sh
cleanup() {
  local status=$?
  stop_sample_server
  # The prefix's own wineserver (and any program left in it) ends with the test.
  korv_wine_stop
  if [ "$status" -ne 0 ] && [ -s "$work/server.log" ]; then
    echo "== server log"
    cat "$work/server.log"
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step "wine prefix"
korv_wine_boot

step "sample server on a free port"
. tests/win32/cjk-names.sh
cjk_make_data "$data" "$work/data"
if ! start_sample_server "$server" "$work/data" "$work"; then
  echo "$name: the sample server did not start" >&2
  exit 1
fi
head -n 1 "$work/server.out"

step "wine$bits $test_exe"
set +e
timeout "$wine_timeout" "$WINELOADER" "$test_exe" "$dll" "$port" "$data" | tee "$work/wine-test.out"
status=${PIPESTATUS[0]}
set -e
summary="$(tail -n 1 "$work/wine-test.out" | tr -d '\r')"
if [ "$status" -ne 0 ] || ! [[ "$summary" =~ ^[0-9]+\ passed,\ 0\ failed$ ]]; then
  echo "$name: FAILED (exit status $status, last line: '$summary')" >&2
  exit 1
fi

# korvanelle.exe (the DLL beside it) against the Linux host's output: the same tree and
# JSON, and fetched files equal to the data folder's.
step "wine$bits $cli_exe show / fetch $patient"
. tests/win32/checks.sh
run_exe() {  # run_exe OUTPUT ARGS...: korvanelle.exe's exit status, its stdout without CRs
  local out="$1" status
  shift
  set +e
  timeout "$wine_timeout" "$WINELOADER" "$cli_exe" --port "$port" "$@" >"$out.raw" 2>"$out.err"
  status=$?
  set -e
  tr -d '\r' <"$out.raw" >"$out"
  return "$status"
}
status=0; run_exe "$work/show.win" show "$patient" || status=$?
"$linux_cli" --lib build/default/src/api/libKorvanelleClient.so --port "$port" show "$patient" >"$work/show.linux"
check "$([ "$status" = 0 ] && [ -s "$work/show.win" ] && cmp -s "$work/show.win" "$work/show.linux"; echo $?)" \
  "korvanelle.exe show $patient: exit status $status, the same UTF-8 tree as the Linux host ($(wc -c <"$work/show.win") bytes)"
[ "$status" = 0 ] || cat "$work/show.win.err"
if ! cmp -s "$work/show.win" "$work/show.linux"; then
  diff "$work/show.linux" "$work/show.win" | head -n 20 | sed 's/^/    /'
fi

status=0; run_exe "$work/fetch.win" fetch "$patient" -o "$work/fetched" || status=$?
check "$([ "$status" = 0 ]; echo $?)" "korvanelle.exe fetch $patient -o DIR: exit status $status"
[ "$status" = 0 ] || cat "$work/fetch.win.err"
"$linux_cli" --lib build/default/src/api/libKorvanelleClient.so --port "$port" fetch "$patient" \
  -o "$work/fetched.linux" >/dev/null
check "$(cmp -s "$work/fetched/patient.json" "$work/fetched.linux/patient.json"; echo $?)" \
  "fetched patient.json equals the Linux host's"
files=0
different=""
for kind in thumbs images; do
  for file in "$data/$kind/$patient"_*; do
    files=$((files + 1))
    cmp -s "$file" "$work/fetched/$kind/$(basename "$file")" || different+=" $kind/$(basename "$file")"
  done
done
extra="$(cd "$work/fetched" && find thumbs images -type f | sort | tr '\n' ' ')"
expected="$(cd "$data" && find thumbs images -type f -name "${patient}_*" | sort | tr '\n' ' ')"
check "$([ "$files" -gt 0 ] && [ -z "$different" ] && [ "$extra" = "$expected" ]; echo $?)" \
  "fetched thumbnails and images: $files files byte-identical to $data${different:+ (differ or missing:$different)}"

step "wine$bits $cli_exe fetch $cjk_patient (image names in code page 936)"
acp="$(timeout "$wine_timeout" "$WINELOADER" reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' \
  /v ACP 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *\([0-9]*\).*/\1/p')"
check "$([ -n "$acp" ] && [ "$acp" != 936 ]; echo $?)" "the wine prefix's ANSI code page is ${acp:-unknown}, not 936"
cjk_check_fetch "$work/data"
echo "$passed passed, $failed failed"
if [ "$failed" -ne 0 ]; then
  echo "$name: FAILED (korvanelle.exe)" >&2
  exit 1
fi
step "passed"
