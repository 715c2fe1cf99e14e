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
server_pid=""
stop_server() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  server_pid=""
}
trap 'stop_server; rm -rf "$work"' EXIT

"$server" --data "$data" --port 0 >"$work/server.out" 2>"$work/server.log" &
server_pid=$!

# The server's first line on stdout names the port it picked.
port=""
for _ in $(seq 100); do
  port="$(sed -n '1s/^listening on .*:\([0-9][0-9]*\)$/\1/p' "$work/server.out")"
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
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

stop_server
echo
echo "== server log"
cat "$work/server.log"
