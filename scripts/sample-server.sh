# Sourced by scripts that need the sample server on a free loopback port.
#   start_sample_server SERVER DATA WORKDIR   sets server_pid and port; false if it did not start
#   stop_sample_server                        stops it (safe to call twice)
# The server's output goes to WORKDIR/server.out and its log to WORKDIR/server.log.

server_pid=""
port=""

start_sample_server() {
  local server="$1" data="$2" work="$3"
  "$server" --data "$data" --port 0 >"$work/server.out" 2>"$work/server.log" &
  server_pid=$!
  # The server's first line on stdout names the port it picked.
  port=""
  for _ in $(seq 100); do
    port="$(sed -n '1s/^listening on .*:\([0-9][0-9]*\)$/\1/p' "$work/server.out")"
    [ -n "$port" ] && return 0
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  return 1
}

stop_sample_server() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  server_pid=""
}
