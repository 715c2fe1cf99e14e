#!/usr/bin/env bash
# The demo: starts the sample server on a free port with examples/data, fetches a sample
# patient with the command-line host into demo-out/, shows what came back, stops the server.
# Usage: scripts/demo.sh [BUILD_DIR] [PATIENT_ID]     (defaults: build/default, P10001)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-build/default}"
patient="${2:-P10001}"
server="$build_dir/tools/korvanelle-server"
cli="$build_dir/tools/korvanelle"
data="examples/data"
out="demo-out"

for program in "$server" "$cli"; do
  [ -x "$program" ] || { echo "demo: $program is missing; build first" >&2; exit 1; }
done
if [ ! -d "$data/patients" ]; then
  echo "demo: $data is missing, making it"
  python3 scripts/make-sample-data.py "$data"
fi

work="$(mktemp -d)"
. scripts/sample-server.sh
trap 'stop_sample_server; rm -rf "$work"' EXIT

if ! start_sample_server "$server" "$data" "$work"; then
  echo "demo: the server did not start:" >&2
  cat "$work/server.log" >&2
  exit 1
fi
echo "== korvanelle-server: $(head -n 1 "$work/server.out")"

echo
echo "== korvanelle --port $port show $patient"
"$cli" --port "$port" show "$patient"

echo
echo "== korvanelle --port $port fetch $patient -o $out"
rm -rf "$out"
"$cli" --port "$port" fetch "$patient" -o "$out"

echo
echo "== written to $out/"
find "$out" -type f -printf '%10s  %p\n' | sort -k2

stop_sample_server
echo
echo "== server log"
cat "$work/server.log"
