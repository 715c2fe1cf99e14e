#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, skipping what is there.
# Usage: scripts/install-deps.sh [--list] [group...]
#   groups: build (default), demo, bench, win32, win64, fuzz, coverage, install, format, dotnet,
#           stress, dissector
#   --list  prints the packages the groups need on this machine, one a line, and installs nothing
#
# A package source can fail for a while (a mirror in the middle of a sync): `apt-get update`
# is retried, and its failure alone is not fatal: the install is tried with the package lists
# there are, and only a package that still cannot be installed is an error. The 32-bit wine
# packages are optional: when they cannot be installed the script says so in one line and
# succeeds, and the i386 architecture is kept only when they were installed, so that a failed
# attempt leaves later updates as they were.
#
# Environment: KORV_APT_UPDATE_TRIES (default 3), KORV_APT_RETRY_WAIT (seconds between
# tries, default 15), KORV_DEPS_REASON_FILE (where to write why the optional packages were
# not installed, for the caller's own line).
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
# Installed when they can be; the steps that use them check for them and say when they are not.
optional=()
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
      [ "$korv_i386_ok" = 1 ] && optional+=(wine wine32:i386) ;;
    win64) packages+=(cmake make ninja-build g++ g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64) ;;
    # libFuzzer and the sanitizer runtimes come with clang's runtime package.
    fuzz) packages+=(cmake make ninja-build clang libclang-rt-14-dev) ;;
    coverage) packages+=(cmake make ninja-build g++ gcovr) ;;
    # make test-install: pkg-config for the example hosts; a venv with Debian's setuptools
    # (offline pip install) and pytest for the Python package.
    install) packages+=(cmake make ninja-build g++ binutils pkg-config python3 python3-venv python3-pip
                        python3-setuptools python3-pytest) ;;
    # The .NET binding under Mono (make test-dotnet, make test-install): mcs, NUnit 2.6, code
    # page 936 (I18N CJK), pkg-config for NUnit's assemblies, and what the tests reference.
    dotnet) packages+=(mono-mcs mono-runtime nunit-console libnunit-cil-dev libmono-i18n-cjk4.0-cil
                       libmono-system-core4.0-cil libmono-system-runtime-serialization4.0-cil pkg-config) ;;
    # make test-stress: the load beside the repeated suites (busy loops where it is missing).
    stress) optional+=(stress-ng) ;;
    # make test-dissector: tshark runs the Lua dissector; dumpcap and text2pcap come with it.
    dissector) packages+=(cmake make ninja-build g++ python3 tshark) ;;
    *) echo "install-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

if [ "$list_only" = 1 ]; then
  printf '%s\n' "${packages[@]}" "${optional[@]}" | awk 'NF && !seen[$0]++'
  exit 0
fi

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing_of() {  # missing_of PKG...: those not installed, each once, one a line
  local pkg
  for pkg in "$@"; do is_installed "$pkg" || echo "$pkg"; done | awk '!seen[$0]++'
}

mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
# A package that is also required is not optional.
mapfile -t missing_optional < <(printf '%s\n' "${missing_optional[@]}" |
  grep -vxF -f <(printf '%s\n' "${missing[@]}" "") || true)
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo for apt-get" >&2; exit 1; }
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
# Another install running beside this one holds the lock for a while: wait for it.
apt_opts=(-o Acquire::Retries=3 -o DPkg::Lock::Timeout=600)
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

# Retried with a wait; false when every try failed, which the caller reports but survives.
apt_update() {
  local try tries="${KORV_APT_UPDATE_TRIES:-3}"
  for ((try = 1; try <= tries; try++)); do
    if $SUDO apt-get "${apt_opts[@]}" update -qq >"$log" 2>&1; then
      return 0
    fi
    [ "$try" -lt "$tries" ] && sleep "${KORV_APT_RETRY_WAIT:-15}"
  done
  echo "install-deps: apt-get update failed $tries times; trying with the package lists there are ($(last_error))"
  return 1
}
last_error() {  # the last line apt wrote that says what went wrong
  local line
  line="$(grep -E '^(E|W|Err):' "$log" | tail -n 1)"
  [ -n "$line" ] || line="$(tail -n 1 "$log")"
  echo "${line:-no message}"
}
apt_install() {  # true when every package given is installed afterwards
  $SUDO apt-get "${apt_opts[@]}" install -y -qq --no-install-recommends "$@" >"$log" 2>&1 && return 0
  [ -z "$(missing_of "$@")" ]
}

# wireshark-common asks whether non-root users may capture: answered no beforehand, so that
# the install never waits on a question.
if printf '%s\n' "${missing[@]}" | grep -qx 'tshark\|wireshark-common'; then
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  updated=0
  # The lists there are may already do; a stale list is only refreshed when they do not.
  if ! apt_install "${missing[@]}"; then
    apt_update || true
    updated=1
    apt_install "${missing[@]}" || true
  fi
  mapfile -t still < <(missing_of "${missing[@]}")
  if [ ${#still[@]} -gt 0 ] && [ ${#missing[@]} -gt 1 ]; then
    # One package that cannot be had keeps the others out of a joint install: take each alone.
    for pkg in "${still[@]}"; do apt_install "$pkg" || true; done
    mapfile -t still < <(missing_of "${missing[@]}")
  fi
  if [ ${#still[@]} -gt 0 ]; then
    echo "install-deps: cannot install required packages: ${still[*]} ($(last_error))" >&2
    exit 1
  fi
fi

# Packages of another architecture (wine32:i386) need it enabled and its lists fetched. The
# architecture stays only when they are installed: a failed attempt must not leave every
# later apt-get update depending on that architecture's lists.
foreign_archs() {
  local pkg
  for pkg in "$@"; do
    case "$pkg" in *:*) echo "${pkg##*:}" ;; esac
  done | awk '!seen[$0]++'
}
has_packages_of_arch() {
  dpkg-query -W -f='${Status} ${Architecture}\n' 2>/dev/null | grep -q "install ok installed $1$"
}
if [ ${#missing_optional[@]} -gt 0 ]; then
  echo "install-deps: installing (optional) ${missing_optional[*]}"
  added=()
  for arch in $(foreign_archs "${missing_optional[@]}"); do
    if [ "$arch" != "$(dpkg --print-architecture)" ] &&
       ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
      $SUDO dpkg --add-architecture "$arch"
      added+=("$arch")
    fi
  done
  ok=1
  if [ ${#added[@]} -gt 0 ]; then
    apt_update || true
    apt_install "${missing_optional[@]}" || ok=0
  elif ! apt_install "${missing_optional[@]}"; then
    apt_update || true
    apt_install "${missing_optional[@]}" || ok=0
  fi
  if [ "$ok" = 0 ]; then
    reason="apt-get install ${missing_optional[*]}: $(last_error)"
    for arch in $(foreign_archs "${missing_optional[@]}"); do
      if [ "$arch" != "$(dpkg --print-architecture)" ] && ! has_packages_of_arch "$arch" &&
         dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $SUDO dpkg --remove-architecture "$arch"
        reason+="; the $arch architecture was removed again"
      fi
    done
    echo "install-deps: optional packages not installed: ${missing_optional[*]} ($reason)"
    [ -n "${KORV_DEPS_REASON_FILE:-}" ] && echo "$reason" >"$KORV_DEPS_REASON_FILE"
  fi
fi
exit 0
