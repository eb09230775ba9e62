#!/usr/bin/env bash
# The test MQTT broker: Debian's mosquitto with one TLS listener on a free loopback port.
#
#   broker.sh start <rundir> <pkidir> [--untrusted | --wrong-host | --expired] [--tls13-only]
#   broker.sh stop  <rundir>
#
# <pkidir> is what make-pki.sh wrote. The listener asks every client for a certificate from
# the test CA (require_certificate); there is no plain listener. The broker presents
# broker.crt, or, so that a client can be shown refusing a broker it cannot verify,
# other-broker.crt from the unrelated CA (--untrusted), wrong-host-broker.crt for another
# name (--wrong-host) or expired-broker.crt (--expired). --tls13-only offers TLS 1.3 alone.
#
# start writes to <rundir>: mosquitto.conf, broker.log, broker.pid and broker.port (the
# port, one line). It returns once the broker accepts connections and fails (exit 1, log
# printed) if it cannot start. stop ends the broker and waits until it is gone; stopping
# a broker that is not running is not an error. Use one <rundir> per broker.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR
. "$here/lib.sh"

usage() {
  echo "usage: $0 start <rundir> <pkidir> [--untrusted|--wrong-host|--expired] [--tls13-only] | stop <rundir>" >&2
  exit 2
}

start() {
  local run="$1" pki="$2" cert=broker tls=""
  shift 2
  for opt in "$@"; do
    case "$opt" in
      --untrusted) cert=other-broker ;;
      --wrong-host) cert=wrong-host-broker ;;
      --expired) cert=expired-broker ;;
      --tls13-only) tls="tls_version tlsv1.3" ;;
      *) usage ;;
    esac
  done
  command -v mosquitto >/dev/null || { echo "broker.sh: mosquitto is not installed" >&2; exit 1; }
  [ -d "$pki" ] || { echo "broker.sh: no PKI folder $pki (run make-pki.sh first)" >&2; exit 1; }
  mkdir -p "$run"
  run="$(cd "$run" && pwd)"
  pki="$(cd "$pki" && pwd)"
  for f in ca.crt "$cert.crt" "$cert.key"; do
    [ -r "$pki/$f" ] || { echo "broker.sh: $pki/$f missing (run make-pki.sh first)" >&2; exit 1; }
  done
  if peer_pid_is "$(cat "$run/broker.pid" 2>/dev/null || true)" mosquitto; then
    echo "broker.sh: a broker already runs for $run" >&2
    exit 1
  fi

  local port pid
  for _ in 1 2 3 4 5; do
    port="$(peer_free_port)"
    # 'user' keeps a broker started as root from dropping to the mosquitto account, which
    # could not read the keys; a broker started by anyone else keeps that user anyway.
    # allow_anonymous only lets in clients without an MQTT user name; the TLS layer has
    # already turned away every client without a valid certificate from the test CA.
    # set_tcp_nodelay: without it the broker's sockets hold small packets back (Nagle's
    # algorithm), tens of milliseconds on an alert; it is read only at start, so it is here.
    cat > "$run/mosquitto.conf" <<EOF
user $(id -un)
per_listener_settings false
persistence false
log_dest stderr
log_type error
log_type warning
log_type notice
log_type information
connection_messages true
set_tcp_nodelay true
log_timestamp_format %Y-%m-%dT%H:%M:%S
allow_anonymous true
listener $port 127.0.0.1
cafile $pki/ca.crt
certfile $pki/$cert.crt
keyfile $pki/$cert.key
require_certificate true
$tls
EOF
    : > "$run/broker.log"
    setsid mosquitto -c "$run/mosquitto.conf" < /dev/null >> "$run/broker.log" 2>&1 &
    pid=$!
    echo "$pid" > "$run/broker.pid"
    for _ in $(seq 1 200); do
      peer_alive "$pid" || break
      if grep -q "running" "$run/broker.log"; then
        echo "$port" > "$run/broker.port"
        echo "broker.sh: mosquitto (pid $pid) on 127.0.0.1:$port, certificate $cert.crt"
        return 0
      fi
      sleep 0.05
    done
    peer_stop_group "$pid" mosquitto 2
    rm -f "$run/broker.pid"
    # A port taken in the meantime: try another; anything else is fatal.
    grep -qi "address already in use" "$run/broker.log" || break
  done
  echo "broker.sh: mosquitto did not start; its log:" >&2
  cat "$run/broker.log" >&2
  exit 1
}

stop() {
  local run="$1"
  [ -d "$run" ] || return 0
  peer_stop_group "$(cat "$run/broker.pid" 2>/dev/null || true)" mosquitto 5
  rm -f "$run/broker.pid" "$run/broker.port"
}

case "${1:-}" in
  start) [ $# -ge 3 ] || usage; shift; start "$@" ;;
  stop) [ $# -eq 2 ] || usage; stop "$2" ;;
  *) usage ;;
esac
