#!/usr/bin/env bash
# The identity service for tests and the demo: the identity platform's own local emulator
# (npm firebase-tools, pinned in identity/package.json, installed into identity/node_modules
# by scripts/install-deps.sh), authentication only, project "zeldevstand", no UI, offline.
#
#   identity.sh start <rundir> [--data <folder>]
#   identity.sh stop  <rundir>
#
# With --data the accounts outlive the emulator: it starts from the data exported into
# <folder> (when there is any) and exports its accounts there again when it stops.
# start writes to <rundir>: firebase.json, identity.log, identity.pid and identity.port (the
# authentication port, one line; the emulator's hub and logging ports are free ports too).
# It returns once the emulator answers on http://127.0.0.1:<port>/ and fails (exit 1, log
# printed) if it cannot start. stop ends it and waits until it is gone; stopping an emulator
# that is not running is not an error. Use one <rundir> per emulator.
#
# Clients reach it through FIREBASE_AUTH_EMULATOR_HOST=127.0.0.1:<port>. Its ID tokens are
# unsigned JWTs (header alg "none"), audience and "firebase" project "zeldevstand".
# Accounts, through the emulator's own REST endpoints (any API key is accepted):
#   sign up:   POST http://127.0.0.1:<port>/identitytoolkit.googleapis.com/v1/accounts:signUp?key=any
#              {"email":"...","password":"...","returnSecureToken":true}  -> idToken, refreshToken, localId
#   sign in:   POST .../identitytoolkit.googleapis.com/v1/accounts:signInWithPassword?key=any (same body)
#   refresh:   POST http://127.0.0.1:<port>/securetoken.googleapis.com/v1/token?key=any
#              grant_type=refresh_token&refresh_token=...  (form-encoded)
#   delete all accounts: DELETE http://127.0.0.1:<port>/emulator/v1/projects/zeldevstand/accounts
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR
. "$here/lib.sh"

project=zeldevstand
cli="$here/identity/node_modules/firebase-tools/lib/bin/firebase.js"

usage() {
  echo "usage: $0 start <rundir> | stop <rundir>" >&2
  exit 2
}

start() {
  local run="$1" data=""
  shift
  while [ $# -gt 0 ]; do
    case "$1" in
      --data) [ $# -ge 2 ] || usage; data="$2"; shift 2 ;;
      *) usage ;;
    esac
  done
  command -v node >/dev/null || { echo "identity.sh: node is not installed (run scripts/install-deps.sh)" >&2; exit 1; }
  [ -f "$cli" ] || { echo "identity.sh: $cli missing (run scripts/install-deps.sh)" >&2; exit 1; }
  mkdir -p "$run"
  run="$(cd "$run" && pwd)"
  if peer_pid_is "$(cat "$run/identity.pid" 2>/dev/null || true)" firebase; then
    echo "identity.sh: an emulator already runs for $run" >&2
    exit 1
  fi

  # The CLI keeps its settings (configstore) and the hub's locator file (TMPDIR) per run, so
  # that runs do not share them. A fresh "motd.fetched" stops its daily call home; update
  # checks and usage reports are off; METADATA_SERVER_DETECTION=none keeps its credential
  # lookup from probing the cloud metadata server (an outside address, and a 10 s wait).
  mkdir -p "$run/config/configstore" "$run/tmp"
  printf '{"usage":false,"motd":{"fetched":%s000}}\n' "$(date +%s)" > "$run/config/configstore/firebase-tools.json"

  local keep=()
  if [ -n "$data" ]; then
    mkdir -p "$data"
    data="$(cd "$data" && pwd)"
    [ -f "$data/firebase-export-metadata.json" ] && keep+=(--import "$data")
    keep+=(--export-on-exit "$data")
    echo "$data" > "$run/identity.data"
  else
    rm -f "$run/identity.data"
  fi

  local port hub logging pid
  for _ in 1 2 3 4 5; do
    port="$(peer_free_port)"; hub="$(peer_free_port)"; logging="$(peer_free_port)"
    cat > "$run/firebase.json" <<EOF
{
  "emulators": {
    "singleProjectMode": true,
    "auth": { "host": "127.0.0.1", "port": $port },
    "hub": { "host": "127.0.0.1", "port": $hub },
    "logging": { "host": "127.0.0.1", "port": $logging },
    "ui": { "enabled": false }
  }
}
EOF
    : > "$run/identity.log"
    (
      cd "$run"
      export XDG_CONFIG_HOME="$run/config" TMPDIR="$run/tmp" CI=true NO_UPDATE_NOTIFIER=1 \
        FIREBASE_CLI_DISABLE_UPDATE_CHECK=true METADATA_SERVER_DETECTION=none \
        FIREBASE_CLI_EXPERIMENTS="" NODE_OPTIONS=""
      unset FIREBASE_AUTH_EMULATOR_HOST GOOGLE_APPLICATION_CREDENTIALS FIREBASE_TOKEN
      exec setsid node --require "$here/identity/lazy-validation.js" "$cli" emulators:start --only auth --project "$project" \
        --config "$run/firebase.json" "${keep[@]}" < /dev/null >> "$run/identity.log" 2>&1
    ) &
    pid=$!
    echo "$pid" > "$run/identity.pid"
    for _ in $(seq 1 1200); do
      peer_alive "$pid" || break
      if curl -fs -o /dev/null --max-time 1 "http://127.0.0.1:$port/"; then
        echo "$port" > "$run/identity.port"
        echo "identity.sh: identity emulator (pid $pid) on 127.0.0.1:$port, project $project"
        return 0
      fi
      sleep 0.1
    done
    peer_stop_group "$pid" firebase 5
    rm -f "$run/identity.pid"
    # A port taken in the meantime: try others; anything else is fatal.
    grep -qi "port taken\|EADDRINUSE\|not available" "$run/identity.log" || break
  done
  echo "identity.sh: the identity emulator did not start; its log:" >&2
  cat "$run/identity.log" >&2
  exit 1
}

stop() {
  local run="$1" pid
  [ -d "$run" ] || return 0
  pid="$(cat "$run/identity.pid" 2>/dev/null || true)"
  if [ -f "$run/identity.data" ] && peer_pid_is "$pid" firebase; then
    # Only the emulator's own process, with INT: it writes its accounts out, then ends.
    kill -INT "$pid" 2>/dev/null || true
    for _ in $(seq 1 300); do
      peer_alive "$pid" || break
      sleep 0.1
    done
  fi
  peer_stop_group "$pid" firebase 10
  rm -f "$run/identity.pid" "$run/identity.port"
}

case "${1:-}" in
  start) [ $# -ge 2 ] || usage; shift; start "$@" ;;
  stop) [ $# -eq 2 ] || usage; stop "$2" ;;
  *) usage ;;
esac
