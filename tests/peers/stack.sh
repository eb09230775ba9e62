#!/usr/bin/env bash
# The whole local stack in one folder: a fresh PKI, the broker, the identity emulator and the
# backend and edge simulator, each on free loopback ports. Used by the integration test's
# CTest fixture and by scripts/run-demo.sh.
#
#   stack.sh start <rundir> --sim <zel-backend-sim> [--auto-alert-seconds N] [--owner PID]
#                  [--identity-data <folder>]
#   stack.sh stop  <rundir>
#
# start writes <rundir>/pki, broker/, identity/, sim/ (sim.log, sim.pid, rest.port,
# control.port) and <rundir>/stack.env, one KEY=VALUE a line (no quoting; read it line by
# line rather than sourcing it):
#   ZEL_PEERS_DIR, ZEL_PKI_DIR, ZEL_CA_FILE, ZEL_MQTT_CA_FILE, ZEL_BACKEND_URL, ZEL_MQTT_BROKER_HOST,
#   ZEL_MQTT_BROKER_PORT, FIREBASE_AUTH_EMULATOR_HOST, ZEL_SIM_CONTROL_URL
# It returns once the simulator's edges are connected to the broker and subscribed; when a
# party cannot start it stops the others and fails. With --owner, a watchdog stops the stack
# when that process ends without stopping it (a test run or a demo killed hard). With
# --identity-data the identity emulator's accounts are kept in <folder> from one stack to the
# next (see identity.sh).
# stop ends every party (and the watchdog) and waits until they are gone; it is safe to call
# on a folder where nothing or only part of the stack runs.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR
. "$here/lib.sh"

usage() {
  echo "usage: $0 start <rundir> --sim <zel-backend-sim> [--auto-alert-seconds N] [--owner PID]" \
    "[--identity-data <folder>] | stop <rundir>" >&2
  exit 2
}

stop_sim() {
  local run="$1"
  peer_stop_group "$(cat "$run/sim/sim.pid" 2>/dev/null || true)" zel-backend-sim 5
  rm -f "$run/sim/sim.pid" "$run/sim/rest.port" "$run/sim/control.port"
}

stop() {
  local run="$1" wpid
  [ -d "$run" ] || return 0
  run="$(cd "$run" && pwd)"
  wpid="$(cat "$run/watch.pid" 2>/dev/null || true)"
  rm -f "$run/watch.pid"
  peer_stop_group "$wpid" "stack.sh watch" 2
  # The simulator first, so that its edges leave the broker before the broker goes.
  stop_sim "$run"
  "$here/identity.sh" stop "$run/identity" || true
  "$here/broker.sh" stop "$run/broker" || true
  rm -f "$run/stack.env"
}

# Waits until <file> holds a number; fails when <pid> ends first or after <seconds>.
wait_port_file() {
  local file="$1" pid="$2" secs="$3"
  for _ in $(seq 1 $((secs * 20))); do
    if [ -s "$file" ] && grep -qx '[0-9]\+' "$file"; then return 0; fi
    peer_alive "$pid" || return 1
    sleep 0.05
  done
  return 1
}

started_in=""
on_start_exit() {
  local rc=$?
  if [ "$rc" -ne 0 ] && [ -n "$started_in" ]; then
    echo "stack.sh: start failed; stopping what was started" >&2
    stop "$started_in"
  fi
}

start() {
  local run="$1"; shift
  local sim="" auto=0 owner="" identity_data=()
  while [ $# -gt 0 ]; do
    case "$1" in
      --identity-data) [ $# -ge 2 ] || usage; identity_data=(--data "$2"); shift 2 ;;
      --sim) [ $# -ge 2 ] || usage; sim="$2"; shift 2 ;;
      --auto-alert-seconds) [ $# -ge 2 ] || usage; auto="$2"; shift 2 ;;
      --owner) [ $# -ge 2 ] || usage; owner="$2"; shift 2 ;;
      *) usage ;;
    esac
  done
  [ -n "$sim" ] || usage
  [ -x "$sim" ] || { echo "stack.sh: simulator $sim not built" >&2; exit 1; }
  command -v curl >/dev/null || { echo "stack.sh: curl is not installed" >&2; exit 1; }
  mkdir -p "$run"
  run="$(cd "$run" && pwd)"
  sim="$(cd "$(dirname "$sim")" && pwd)/$(basename "$sim")"
  if peer_pid_is "$(cat "$run/sim/sim.pid" 2>/dev/null || true)" zel-backend-sim; then
    echo "stack.sh: a stack already runs in $run" >&2
    exit 1
  fi
  rm -f "$run/stack.env"

  # Whatever fails from here on takes down what was started before it.
  started_in="$run"
  trap on_start_exit EXIT

  "$here/make-pki.sh" "$run/pki"
  local pki="$run/pki"
  "$here/broker.sh" start "$run/broker" "$pki"
  "$here/identity.sh" start "$run/identity" "${identity_data[@]}"
  local broker_port identity_port
  broker_port="$(cat "$run/broker/broker.port")"
  identity_port="$(cat "$run/identity/identity.port")"

  mkdir -p "$run/sim"
  rm -f "$run/sim/rest.port" "$run/sim/control.port"
  : > "$run/sim/sim.log"
  setsid "$sim" --cert "$pki/server.crt" --key "$pki/server.key" \
    --rest-port-file "$run/sim/rest.port" --control-port-file "$run/sim/control.port" \
    --broker-port "$broker_port" --broker-ca "$pki/ca.crt" \
    --broker-cert "$pki/edge.crt" --broker-key "$pki/edge.key" \
    --auto-alert-seconds "$auto" < /dev/null >> "$run/sim/sim.log" 2>&1 &
  local pid=$!
  echo "$pid" > "$run/sim/sim.pid"
  if ! wait_port_file "$run/sim/rest.port" "$pid" 20 || ! wait_port_file "$run/sim/control.port" "$pid" 20; then
    echo "stack.sh: the simulator did not start; its log:" >&2
    cat "$run/sim/sim.log" >&2
    exit 1
  fi
  local rest control
  rest="$(cat "$run/sim/rest.port")"
  control="$(cat "$run/sim/control.port")"
  # Ready when the edges are on the broker and listen for requests.
  local ready=""
  for _ in $(seq 1 300); do
    peer_alive "$pid" || break
    if curl -fs --max-time 1 "http://127.0.0.1:$control/health" | grep -q '"subscribed": *true'; then
      ready=1
      break
    fi
    sleep 0.05
  done
  if [ -z "$ready" ]; then
    echo "stack.sh: the simulator's edges did not reach the broker; its log:" >&2
    cat "$run/sim/sim.log" >&2
    exit 1
  fi
  echo "stack.sh: zel-backend-sim (pid $pid) REST https://127.0.0.1:$rest, control http://127.0.0.1:$control"

  if [ -n "$owner" ]; then
    setsid "$here/stack.sh" watch "$owner" "$run" < /dev/null >> "$run/watch.log" 2>&1 &
    echo "$!" > "$run/watch.pid"
  fi

  cat > "$run/stack.env.tmp" <<EOF
ZEL_PEERS_DIR=$run
ZEL_PKI_DIR=$pki
ZEL_CA_FILE=$pki/ca.crt
ZEL_MQTT_CA_FILE=$pki/ca.crt
ZEL_BACKEND_URL=https://127.0.0.1:$rest
ZEL_MQTT_BROKER_HOST=127.0.0.1
ZEL_MQTT_BROKER_PORT=$broker_port
FIREBASE_AUTH_EMULATOR_HOST=127.0.0.1:$identity_port
ZEL_SIM_CONTROL_URL=http://127.0.0.1:$control
EOF
  mv "$run/stack.env.tmp" "$run/stack.env"
  trap - EXIT
}

# The watchdog: waits for <owner> to end, then stops the stack unless it is stopped already.
watch() {
  local owner="$1" run="$2"
  tail --pid="$owner" -f /dev/null
  [ -f "$run/watch.pid" ] || exit 0
  rm -f "$run/watch.pid"
  echo "stack.sh: owner $owner ended; stopping the stack in $run"
  stop "$run"
}

case "${1:-}" in
  start) [ $# -ge 2 ] || usage; shift; start "$@" ;;
  stop) [ $# -eq 2 ] || usage; stop "$2" ;;
  watch) [ $# -eq 3 ] || usage; watch "$2" "$3" ;;
  *) usage ;;
esac
