#!/usr/bin/env bash
# The .NET binding under Mono: builds Korvanelle.Client.dll, its NUnit tests and the example
# host with mcs into OUT_DIR, runs the tests against the library in LIB_DIR and the sample
# server, then the example host, which saves an image that must be the served file.
# Usage: scripts/test-dotnet.sh LIB_DIR SERVER CLI OUT_DIR
#   LIB_DIR  the folder holding libKorvanelleClient.so.1 (build or installed prefix)
#   SERVER   korvanelle-server; CLI: korvanelle (the tree the tests compare with)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
lib_dir="$(cd "${1:?usage: scripts/test-dotnet.sh LIB_DIR SERVER CLI OUT_DIR}" && pwd)"
server="$(realpath "${2:?}")"
cli="$(realpath "${3:?}")"
out="${4:?}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
failures=0
fail() { echo "test-dotnet: FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo; echo "== $*"; }

step "mcs: Korvanelle.Client.dll, its tests, examples/dotnet-host"
# The binding and the host keep to C# 5, which the csc of .NET Framework 4.x itself compiles.
mcs -nologo -warnaserror -langversion:5 -target:library -out:"$out/Korvanelle.Client.dll" bindings/dotnet/src/*.cs
cp bindings/dotnet/Korvanelle.Client.dll.config "$out/"
# shellcheck disable=SC2046
mcs -nologo -warnaserror -target:library -out:"$out/Korvanelle.Client.Tests.dll" \
    -r:"$out/Korvanelle.Client.dll" -r:System.Runtime.Serialization \
    $(pkg-config --libs nunit | tr ' ' '\n' | grep nunit.framework) tests/bindings/dotnet/*.cs
mcs -nologo -warnaserror -langversion:5 -target:exe -out:"$out/korvanelle-dotnet-host.exe" \
    -r:"$out/Korvanelle.Client.dll" examples/dotnet-host/Program.cs

# The dllmap names libKorvanelleClient.so.1; the loader finds it through LD_LIBRARY_PATH.
export LD_LIBRARY_PATH="$lib_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

step "nunit-console Korvanelle.Client.Tests.dll (library $lib_dir)"
KORVANELLE_ROOT="$root" KORVANELLE_SERVER="$server" KORVANELLE_CLI="$cli" \
KORVANELLE_LIB="$lib_dir/libKorvanelleClient.so.1" \
  nunit-console -nologo -labels -xml="$out/TestResult.xml" "$out/Korvanelle.Client.Tests.dll" ||
  fail "NUnit tests"

step "korvanelle-dotnet-host.exe against the sample server"
work="$(mktemp -d)"
. scripts/sample-server.sh
trap 'stop_sample_server; rm -rf "$work"' EXIT
if start_sample_server "$server" examples/data "$work"; then
  status=0
  (cd "$work" && mono "$out/korvanelle-dotnet-host.exe" 127.0.0.1 "$port" P10001 saved.png) >"$work/host.out" 2>&1 ||
    status=$?
  head -n 4 "$work/host.out"; echo "..."; tail -n 3 "$work/host.out"
  [ "$status" -eq 0 ] || fail "the example host exited with $status"
  grep -q '^patient P10001: 张伟$' "$work/host.out" || fail "the example host printed no patient name"
  grep -q '^thumbnail P10001_CT_1_1.png: 2094 bytes, PNG$' "$work/host.out" || fail "the example host: no thumbnail"
  cmp -s "$work/saved.png" examples/data/images/P10001_CT_1_1.png || fail "the saved image is not the served file"
  stop_sample_server
else
  cat "$work/server.log"
  fail "the sample server did not start"
fi

# The loader skips a library of the other ELF class; the binding then names the one it met.
step "a 32-bit libKorvanelleClient.so.1 alone in LD_LIBRARY_PATH: the host says what to install"
mkdir "$work/elf32"
{ printf '\177ELF\001\001\001\000'; head -c 56 /dev/zero; } >"$work/elf32/libKorvanelleClient.so.1"
status=0
LD_LIBRARY_PATH="$work/elf32" mono "$out/korvanelle-dotnet-host.exe" 127.0.0.1 1 P10001 "$work/none.png" \
  >"$work/elf32.out" 2>&1 || status=$?
cat "$work/elf32.out"
[ "$status" -eq 4 ] || fail "the host exited with $status, not 4 (library cannot be loaded)"
grep -q "elf32/libKorvanelleClient.so.1 is a 32-bit library but this process is $(getconf LONG_BIT)-bit" \
  "$work/elf32.out" || fail "the message does not name the 32-bit library"

echo
if [ "$failures" -ne 0 ]; then
  echo "test-dotnet: $failures failure(s)" >&2
  exit 1
fi
echo "test-dotnet: all passed"
