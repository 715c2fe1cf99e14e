#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, skipping what is there.
# Usage: scripts/install-deps.sh [--list] [group...]
#   groups: build (default), demo, bench, win32, win64, fuzz, coverage, install, format
#   --list  prints the packages the groups need on this machine, one a line, and installs nothing
set -euo pipefail
cd "$(dirname "$0")/.."

list_only=0
if [ "${1:-}" = --list ]; then
  list_only=1
  shift
fi
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(build)

# 32-bit wine only where the kernel executes i386 programs; elsewhere it cannot start, and
# the i386 architecture would only add to every apt-get update.
. scripts/i386-probe.sh
korv_i386_probe

packages=()
for group in "${groups[@]}"; do
  case "$group" in
    build) packages+=(cmake make ninja-build g++ libgtest-dev libgmock-dev libcli11-dev) ;;
    # The house style's formatter (make format, make test-format).
    format) packages+=(clang-format) ;;
    demo)  packages+=(cmake make ninja-build g++ python3) ;;
    # The peer parsers are for comparison only; nothing else links them.
    bench) packages+=(cmake make ninja-build g++ python3 libbenchmark-dev libpugixml-dev libexpat1-dev
                      libcli11-dev) ;;
    # The Windows builds: the MinGW cross compilers (posix threads) and wine of the same width
    # to test them; the Linux build of the sample server serves the test.
    win32)
      packages+=(cmake make ninja-build g++ g++-mingw-w64-i686-posix binutils-mingw-w64-i686)
      [ "$korv_i386_ok" = 1 ] && packages+=(wine wine32:i386) ;;
    win64) packages+=(cmake make ninja-build g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64) ;;
    # libFuzzer and the sanitizer runtimes come with clang's runtime package.
    fuzz) packages+=(cmake make ninja-build clang libclang-rt-14-dev) ;;
    coverage) packages+=(cmake make ninja-build g++ gcovr) ;;
    # make test-install: pkg-config for the example hosts; a venv with Debian's setuptools
    # (offline pip install) and pytest for the Python package.
    install) packages+=(cmake make ninja-build g++ binutils pkg-config python3 python3-venv python3-pip
                        python3-setuptools python3-pytest) ;;
    *) echo "install-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

if [ "$list_only" = 1 ]; then
  printf '%s\n' "${packages[@]}" | awk '!seen[$0]++'
  exit 0
fi

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo for apt-get" >&2; exit 1; }
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# Packages of another architecture (wine32:i386) need it enabled before the update.
for pkg in "${missing[@]}"; do
  case "$pkg" in
    *:*)
      arch="${pkg##*:}"
      if [ "$arch" != "$(dpkg --print-architecture)" ] &&
         ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $SUDO dpkg --add-architecture "$arch"
      fi ;;
  esac
done
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
