#!/usr/bin/env bash
# The Windows DLL's test, run by `make test-win32`: installs what is missing, builds the
# win32 preset (KorvanelleClient.dll and korvanelle_wine_test.exe) and the Linux sample
# server, checks the DLL's export and import tables, then runs the test program under wine
# against the server on 127.0.0.1. The server is stopped whatever happens.
# Environment: KORV_WINE_TIMEOUT (seconds for the test program, default 300),
#              KORV_WINEBOOT_TIMEOUT (seconds for a new wine prefix, default 600).
set -euo pipefail
cd "$(dirname "$0")/../.."

win_build="build/win32"
server="build/default/tools/korvanelle-server"
data="examples/data"
dll="$win_build/src/api/KorvanelleClient.dll"
exe="$win_build/tests/win32/korvanelle_wine_test.exe"

started=$SECONDS
step() { echo "== test-win32 [$((SECONDS - started)) s]: $*"; }

step "dependencies"
scripts/install-deps.sh build win32

step "cross build (win32 preset)"
cmake --preset win32
cmake --build --preset win32

step "sample server (default preset)"
if [ ! -f build/default/CMakeCache.txt ]; then
  cmake --preset default
fi
cmake --build --preset default --target korvanelle-server

step "export and import tables"
tests/win32/check-pe.sh "$dll" "$exe"

# A private, 32-bit wine prefix under build/, made once without dialogs (no Mono, no Gecko).
export WINEPREFIX="$PWD/build/wine-prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

work="$(mktemp -d)"
. scripts/sample-server.sh
cleanup() {
  local status=$?
  stop_sample_server
  # The prefix's own wineserver (and any program left in it) ends with the test.
  if [ -d "$WINEPREFIX" ]; then
    timeout 30 wineserver -k 2>/dev/null || true
  fi
  if [ "$status" -ne 0 ] && [ -s "$work/server.log" ]; then
    echo "== server log"
    cat "$work/server.log"
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  step "new wine prefix $WINEPREFIX (wineboot -i)"
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout "${KORV_WINEBOOT_TIMEOUT:-600}" wineboot -i
  timeout 120 wineserver -w || true
fi

step "sample server on a free port"
if ! start_sample_server "$server" "$data" "$work"; then
  echo "test-win32: the sample server did not start" >&2
  exit 1
fi
echo "$(head -n 1 "$work/server.out")"

step "wine $exe"
set +e
timeout "${KORV_WINE_TIMEOUT:-300}" wine "$exe" "$dll" "$port" "$data" | tee "$work/wine-test.out"
status=${PIPESTATUS[0]}
set -e
summary="$(tail -n 1 "$work/wine-test.out" | tr -d '\r')"
if [ "$status" -ne 0 ] || ! [[ "$summary" =~ ^[0-9]+\ passed,\ 0\ failed$ ]]; then
  echo "test-win32: FAILED (exit status $status, last line: '$summary')" >&2
  exit 1
fi
step "passed"
