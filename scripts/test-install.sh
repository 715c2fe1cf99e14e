#!/usr/bin/env bash
# The integrator's view, end to end: install the build into a temporary prefix, build the
# example hosts out of tree against it twice (CMake package, pkg-config), compile the
# README's example as printed, run the hosts, the installed command-line host, the Python
# package's tests and the .NET binding's tests against the sample server.
# Usage: scripts/test-install.sh [BUILD_DIR]      (default build/default, already built)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${1:-build/default}"
python="${PYTHON:-/usr/bin/python3}"   # Debian's, with python3-pytest and python3-setuptools
# The example hosts build out of tree as an integrator builds them; jobs as the Makefile sets.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"

work="$(mktemp -d)"
. scripts/sample-server.sh
trap 'stop_sample_server; rm -rf "$work"' EXIT
prefix="$work/prefix"
failures=0
fail() { echo "test-install: FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo; echo "== $*"; }

step "cmake --install $build --prefix <tmp>"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
(cd "$prefix" && find . -type f -o -type l | sort)

step "readelf -d lib/libKorvanelleClient.so.1"
lib="$prefix/lib/libKorvanelleClient.so.1"
readelf -d "$lib" | grep SONAME
readelf -d "$lib" | grep -q 'Library soname: \[libKorvanelleClient.so.1\]' || fail "SONAME is not libKorvanelleClient.so.1"
[ -f "$prefix/lib/libKorvanelleClient.so.1.0.0.1" ] || fail "the library file does not carry the full version"
# Exactly the seventeen functions leave the library.
exports="$(readelf --dyn-syms -W "$lib" | awk '$5 == "GLOBAL" && $7 != "UND" && $4 == "FUNC" {print $8}' | sed 's/@.*//' | LC_ALL=C sort | tr '\n' ' ')"
expected="Connect Disconnect GetFieldCount GetFieldData GetFieldID GetFieldName GetFieldType GetImageData GetModID GetModName GetModalityCount GetPatientName GetStudyCount GetStudyID GetStudyName GetThumbData OpenPatient "
echo "exports: $exports"
[ "$exports" = "$expected" ] || fail "the library's exports are not exactly the seventeen functions"

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
step "pkg-config KorvanelleClient: $(pkg-config --modversion KorvanelleClient)"
pkg-config --cflags --libs KorvanelleClient

for host in c cpp; do
  step "examples/$host-host out of tree: find_package(KorvanelleClient 1.0 CONFIG)"
  cmake -S "examples/$host-host" -B "$work/$host-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_BUILD_TYPE=Release >"$work/$host-cmake.log" || { cat "$work/$host-cmake.log"; fail "configure $host-host (CMake package)"; }
  cmake --build "$work/$host-cmake" >>"$work/$host-cmake.log" || { cat "$work/$host-cmake.log"; fail "build $host-host (CMake package)"; }
  step "examples/$host-host out of tree: pkg-config"
  cmake -S "examples/$host-host" -B "$work/$host-pc" -DKORV_EXAMPLE_PKG_CONFIG=ON \
        -DCMAKE_BUILD_TYPE=Release >"$work/$host-pc.log" || { cat "$work/$host-pc.log"; fail "configure $host-host (pkg-config)"; }
  cmake --build "$work/$host-pc" >>"$work/$host-pc.log" || { cat "$work/$host-pc.log"; fail "build $host-host (pkg-config)"; }
done

step "README example: as printed, compiled as C and as C++"
awk '/<!-- quickstart: examples\/c-host\/quickstart.c -->/ {marked = 1; next}
     marked && /^```c$/ {inside = 1; next}
     inside && /^```$/ {exit}
     inside {print}' README.md >"$work/readme.c"
diff -u examples/c-host/quickstart.c "$work/readme.c" || fail "README's example differs from examples/c-host/quickstart.c"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -o "$work/readme-c" "$work/readme.c" $(pkg-config --cflags --libs KorvanelleClient) ||
  fail "README's example does not compile as C"
# shellcheck disable=SC2046
c++ -x c++ -Wall -Wextra -Werror -o "$work/readme-cpp" "$work/readme.c" $(pkg-config --cflags --libs KorvanelleClient) ||
  fail "README's example does not compile as C++"

step "the installed sample server"
start_sample_server "$prefix/bin/korvanelle-server" examples/data "$work" || { cat "$work/server.log"; fail "server did not start"; exit 1; }
echo "port $port"

# The pkg-config builds carry no run path: the loader is told where the prefix is.
for run in c-cmake/korvanelle-c-host c-pc/korvanelle-c-host cpp-cmake/korvanelle-cpp-host cpp-pc/korvanelle-cpp-host; do
  step "$run 127.0.0.1 $port P10001"
  status=0
  LD_LIBRARY_PATH="$prefix/lib" "$work/$run" 127.0.0.1 "$port" P10001 >"$work/host.out" 2>&1 || status=$?
  # The C host prints the library's code page 936 text as it is; shown here as UTF-8.
  case "$run" in c-*) iconv -c -f GBK -t UTF-8 "$work/host.out" >"$work/host.shown" ;;
                 *) cp "$work/host.out" "$work/host.shown" ;; esac
  head -n 3 "$work/host.shown"; echo "..."; tail -n 2 "$work/host.shown"
  [ "$status" -eq 0 ] || fail "$run exited with $status"
  grep -q '^thumbnail P10001_CT_1_1.png: 2094 bytes, PNG$' "$work/host.out" || fail "$run: no thumbnail"
  grep -q '^image P10001_CT_1_1.png: 262778 bytes, PNG$' "$work/host.out" || fail "$run: no image"
done

step "installed korvanelle --port $port show P10001 (finds ../lib by itself)"
env -u KORVANELLE_LIB "$prefix/bin/korvanelle" --port="$port" show P10001 >"$work/cli.out" || fail "installed korvanelle"
head -n 3 "$work/cli.out"
grep -q '^Patient P10001: ' "$work/cli.out" || fail "installed korvanelle printed no patient"
"$prefix/bin/korvanelle" --version

step "Python package: pip install (offline) into a venv, pytest tests/bindings"
"$python" -m venv --system-site-packages "$work/venv"
cp -r bindings/python "$work/python-src"   # pip builds in the source folder
"$work/venv/bin/python" -m pip install -q --no-index --no-build-isolation "$work/python-src" ||
  fail "pip install ./bindings/python"
(cd tests/bindings && KORVANELLE_LIB="$lib" KORVANELLE_SERVER="$prefix/bin/korvanelle-server" \
   "$work/venv/bin/python" -m pytest -q -p no:cacheprovider .) || fail "Python tests"

# Built from source as an integrator builds it; the library, server and command-line host
# are the installed ones.
step ".NET binding: mcs, NUnit tests and examples/dotnet-host against the installed library"
scripts/test-dotnet.sh "$prefix/lib" "$prefix/bin/korvanelle-server" "$prefix/bin/korvanelle" \
  "$work/dotnet" || fail ".NET binding"

stop_sample_server
echo
if [ "$failures" -ne 0 ]; then
  echo "test-install: $failures failure(s)" >&2
  exit 1
fi
echo "test-install: all passed"
