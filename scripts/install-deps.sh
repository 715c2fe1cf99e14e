#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, skipping what is there.
# Usage: scripts/install-deps.sh [group...]   groups: build (default), demo, bench, win32, fuzz,
#                                             coverage, install
set -euo pipefail

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(build)

packages=()
for group in "${groups[@]}"; do
  case "$group" in
    build) packages+=(cmake make g++ libgtest-dev libgmock-dev) ;;
    demo)  packages+=(cmake make g++ python3) ;;
    # The peer parsers are for comparison only; nothing else links them.
    bench) packages+=(cmake make g++ python3 libbenchmark-dev libpugixml-dev libexpat1-dev) ;;
    # The Windows DLL: the MinGW cross compiler (posix threads) and 32-bit wine to test it;
    # the Linux build of the sample server serves the test.
    win32) packages+=(cmake make g++ g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386) ;;
    # libFuzzer and the sanitizer runtimes come with clang's runtime package.
    fuzz) packages+=(cmake make clang libclang-rt-14-dev) ;;
    coverage) packages+=(cmake make g++ gcovr) ;;
    # make test-install: pkg-config for the example hosts; a venv with Debian's setuptools
    # (offline pip install) and pytest for the Python package.
    install) packages+=(cmake make g++ binutils pkg-config python3 python3-venv python3-pip
                        python3-setuptools python3-pytest) ;;
    *) echo "install-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

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
