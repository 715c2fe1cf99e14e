#!/usr/bin/env bash
# The path of a machine whose kernel cannot execute i386 programs, taken on any machine with
# KORV_FORCE_NO_I386=1: the 32-bit wine step says so in one line and passes, and
# install-deps.sh leaves out the i386 packages. Only the decisions run (no build, no wine).
# Prints one line per check and "N passed, N failed"; exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/../.."

. tests/win32/checks.sh

# This machine's own answer, for the log.
tests/win32/run-wine-test.sh win32 --probe-only | sed 's/^/    this machine: /'

out="$(KORV_FORCE_NO_I386=1 tests/win32/run-wine-test.sh win32 --probe-only 2>&1)"
status=$?
echo "    forced: $out"
check "$([ "$status" = 0 ] &&
         [ "$out" = "test-win32: 32-bit wine not run: this kernel cannot execute i386 programs (ENOEXEC; forced by KORV_FORCE_NO_I386=1)" ]
         echo $?)" "test-win32 without i386: one line says why wine is not run, exit status $status"

packages="$(KORV_FORCE_NO_I386=1 scripts/install-deps.sh --list win32 win64)"
check "$(! grep -qE ':i386$|^wine32' <<<"$packages"; echo $?)" \
  "install-deps.sh without i386: no i386 packages ($(echo $packages))"
check "$(grep -qx wine64 <<<"$packages" && grep -qx g++-mingw-w64-i686-posix <<<"$packages"; echo $?)" \
  "install-deps.sh without i386: still wine64 and the 32-bit cross compiler"

check_summary
