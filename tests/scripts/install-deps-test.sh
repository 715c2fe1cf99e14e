#!/usr/bin/env bash
# scripts/install-deps.sh against a package source that fails (fake apt-get, dpkg and
# dpkg-query on the PATH; nothing on the machine is installed or changed): a failing update,
# an uninstallable 32-bit wine, an uninstallable required package. Each ends as it should,
# and the architecture list is left so that later updates still work.
# Prints one line per check and "N passed, N failed"; exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/../.."
. tests/win32/checks.sh

fakes="$PWD/tests/scripts/fake-apt"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# What the build, win64 and win32 groups need here, all installed but the ones named.
everything="$(KORV_FORCE_I386=1 scripts/install-deps.sh --list build win64 win32)"
scenario() {  # scenario NAME MISSING...: a fresh fake machine where MISSING are not installed
  state="$work/$1"
  shift
  mkdir -p "$state"
  : >"$state/foreign"
  : >"$state/calls"
  grep -vxF -f <(printf '%s\n' "$@" "") <<<"$everything" >"$state/installed"
}
run_deps() {  # run_deps ENV... : install-deps.sh build win64 win32 on the fake machine
  out="$(env PATH="$fakes:$PATH" FAKE_APT_STATE="$state" KORV_FORCE_I386=1 \
    KORV_APT_RETRY_WAIT=0 "$@" scripts/install-deps.sh build win64 win32 2>&1)"
  status=$?
  printf '%s\n' "$out" | sed 's/^/    /'
}
installed() { grep -qx "$1" "$state/installed"; }
foreign() { tr '\n' ' ' <"$state/foreign"; }
updates() { grep -c '^apt-get .*update' "$state/calls"; }

# The mirror's i386 index is broken: updates fail once i386 is enabled, so wine32:i386
# cannot be located. The required packages still install from the lists there are.
scenario mirror-sync g++-mingw-w64-i686-posix wine32:i386
run_deps FAKE_UPDATE_FAIL=i386
check "$([ "$status" = 0 ] && installed g++-mingw-w64-i686-posix && ! installed wine32:i386; echo $?)" \
  "i386 index failing: required packages installed, 32-bit wine not, exit status $status"
check "$([ "$(updates)" = 3 ]; echo $?)" "i386 index failing: apt-get update tried 3 times ($(updates))"
check "$(grep -q 'optional packages not installed: wine32:i386' <<<"$out" &&
         [ "$(grep -c 'optional packages not installed' <<<"$out")" = 1 ]; echo $?)" \
  "i386 index failing: one line says the optional packages were not installed"
check "$([ -z "$(foreign)" ] && grep -q '^dpkg --remove-architecture i386' "$state/calls"; echo $?)" \
  "i386 index failing: the i386 architecture was removed again (foreign: '$(foreign)')"
env PATH="$fakes:$PATH" FAKE_APT_STATE="$state" FAKE_UPDATE_FAIL=i386 apt-get update >/dev/null
check "$?" "i386 index failing: the machine's apt-get update works afterwards"

# Every update fails, but the lists there are hold the required packages.
scenario no-source g++-mingw-w64-x86-64-posix
run_deps FAKE_UPDATE_FAIL=all
check "$([ "$status" = 0 ] && installed g++-mingw-w64-x86-64-posix; echo $?)" \
  "source unreachable, lists there: required package installed, exit status $status"

# Every update fails and the lists are empty: the required packages cannot be had.
scenario no-lists g++-mingw-w64-x86-64-posix wine64
run_deps FAKE_UPDATE_FAIL=all FAKE_LISTS_EMPTY=1
line="$(grep 'cannot install required packages' <<<"$out")"
check "$([ "$status" != 0 ] && [ "$(wc -l <<<"$line")" = 1 ] &&
         [[ "$line" == *"required packages: g++-mingw-w64-x86-64-posix wine64 ("* ]]; echo $?)" \
  "source unreachable, no lists: one line names both required packages, exit status $status"
check "$([ "$(updates)" = 3 ]; echo $?)" "source unreachable, no lists: apt-get update tried 3 times"

# One required package that cannot be had keeps no other out.
scenario one-broken g++-mingw-w64-x86-64-posix wine64
run_deps FAKE_UNINSTALLABLE=wine64
check "$([ "$status" != 0 ] && installed g++-mingw-w64-x86-64-posix &&
         grep -q 'cannot install required packages: wine64 (' <<<"$out"; echo $?)" \
  "uninstallable wine64: the other package installed, one line names wine64, exit status $status"

# 32-bit wine has unmet dependencies while the source is fine.
scenario held wine32:i386
run_deps FAKE_UNINSTALLABLE=wine32:i386
check "$([ "$status" = 0 ] && ! installed wine32:i386 && [ -z "$(foreign)" ]; echo $?)" \
  "uninstallable wine32:i386: exit status $status, architecture removed (foreign: '$(foreign)')"

# Another i386 package is installed already: the architecture stays.
scenario kept wine32:i386
echo i386 >"$state/foreign"
echo libc6:i386 >>"$state/installed"
run_deps FAKE_UNINSTALLABLE=wine32:i386
check "$([ "$status" = 0 ] && [ "$(foreign)" = "i386 " ]; echo $?)" \
  "uninstallable wine32:i386 beside another i386 package: the architecture stays"

# The good path: the architecture is added and stays with the packages.
scenario good wine32:i386
run_deps
check "$([ "$status" = 0 ] && installed wine32:i386 && [ "$(foreign)" = "i386 " ]; echo $?)" \
  "installable wine32:i386: installed, i386 enabled, exit status $status"

# test-win32's own line when 32-bit wine cannot be installed, the step going on without it.
scenario win32-line wine32:i386
out="$(env PATH="$fakes:$PATH" FAKE_APT_STATE="$state" KORV_FORCE_I386=1 KORV_APT_RETRY_WAIT=0 \
  FAKE_UPDATE_FAIL=i386 tests/win32/run-wine-test.sh win32 --deps-only 2>&1)"
status=$?
printf '%s\n' "$out" | sed 's/^/    /'
check "$([ "$status" = 0 ] &&
         grep -q '^test-win32: 32-bit wine not run: its packages cannot be installed now (apt-get install wine32:i386: E: ' <<<"$out" &&
         ! grep -q 'wine32 runs' <<<"$out"; echo $?)" \
  "test-win32 with 32-bit wine uninstallable: one line says so, exit status $status"

check_summary
