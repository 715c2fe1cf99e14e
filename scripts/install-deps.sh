#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, skipping what is there.
# Usage: scripts/install-deps.sh [group...]   groups: build (default), demo
set -euo pipefail

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(build)

packages=()
for group in "${groups[@]}"; do
  case "$group" in
    build) packages+=(cmake make g++ libgtest-dev libgmock-dev) ;;
    demo)  packages+=(cmake make g++ python3) ;;
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
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
