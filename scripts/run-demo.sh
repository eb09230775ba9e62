#!/usr/bin/env bash
# Runs the client against the local demo stack: installs what is missing, builds, makes a
# fresh test PKI, starts the broker, the identity emulator (its accounts kept from one run to
# the next) and the backend and edge simulator (its edges raise an alert every few seconds),
# creates the demo account when it is missing and prints it with the invitation codes of the
# accounts still to be registered, puts the client's certificate and key beside the client's
# program, starts the client (under xvfb-run when there is no display) with the stack's CA
# and stops everything when the client ends (also on Ctrl+C or TERM). When this command is
# killed outright, watchdogs stop the stack and the client and take the placed files away.
#
#   scripts/run-demo.sh [--check] [--alert-seconds N] [--build-dir DIR]
#
#   --check            bring the stack up without the client, verify it (sign-in, backend over
#                      TLS, a printed invitation code at the backend, an alert on the broker
#                      with the client's certificate), tear it down and exit 0/1
#   --alert-seconds N  pace of the edges' alerts (default 5)
#   --build-dir DIR    use this configured build tree instead of build/main (builds only the
#                      client's program and the simulator there)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
peers="$root/tests/peers"
# shellcheck source-path=SCRIPTDIR/../tests/peers
. "$peers/lib.sh"

check=""
alert_seconds=5
build_dir=""
while [ $# -gt 0 ]; do
  case "$1" in
    --check|--once) check=1; shift ;;
    --alert-seconds) [ $# -ge 2 ] || { echo "run-demo: --alert-seconds needs a number" >&2; exit 2; }
                     alert_seconds="$2"; shift 2 ;;
    --build-dir) [ $# -ge 2 ] || { echo "run-demo: --build-dir needs a folder" >&2; exit 2; }
                 build_dir="$(cd "$2" && pwd)"; shift 2 ;;
    -h|--help) sed -n '2,18p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run-demo: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
case "$alert_seconds" in ''|*[!0-9]*) echo "run-demo: --alert-seconds needs a number" >&2; exit 2 ;; esac

"$root/scripts/install-deps.sh"
if [ -z "$build_dir" ]; then
  "$root/scripts/build.sh" main
  build_dir="$root/build/main"
else
  cmake --build "$build_dir" --target TarveloSystemsApp zel-backend-sim
fi
app="$build_dir/src/TarveloSystemsApp"
sim="$build_dir/tests/peers/sim/zel-backend-sim"
app_dir="$(dirname "$app")"

# One folder per run, so that two demos (or a demo and the tests) do not meet.
# Folders of demos that were killed outright (their watchdog has stopped their stacks).
mkdir -p "$build_dir/demo"
for old in "$build_dir"/demo/run.*; do
  [ -f "$old/owner" ] || continue
  if ! peer_alive "$(cat "$old/owner")"; then
    "$peers/stack.sh" stop "$old" || true
    rm -rf "$old"
  fi
done
run="$(mktemp -d "$build_dir/demo/run.XXXXXX")"
echo $$ > "$run/owner"
placed=()
waiter=""
client=""
guard=""
# The identity emulator's accounts, kept across runs: the saved token of a client signs in
# again on the next run.
identity_data="$build_dir/demo/identity"

# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  local rc=$?
  trap - EXIT INT TERM
  if [ -n "$waiter" ]; then kill "$waiter" 2>/dev/null || true; fi
  if [ -n "$guard" ]; then kill -- "-$guard" 2>/dev/null || true; fi
  if [ -n "$client" ] && kill -0 "$client" 2>/dev/null; then
    # Its own process group: the client with its virtual display, if any.
    echo "run-demo: ending the client"
    kill -TERM -- "-$client" 2>/dev/null || true
    wait "$client" 2>/dev/null || true
  fi
  echo "run-demo: stopping the stack"
  "$peers/stack.sh" stop "$run" || rc=1
  # The certificate and key beside the program belong to this run's PKI: take them away
  # unless another run has replaced them meanwhile.
  for f in "${placed[@]}"; do
    cmp -s "$run/pki/$(basename "$f")" "$f" && rm -f "$f"
  done
  rm -rf "$run"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$peers/stack.sh" start "$run" --sim "$sim" --auto-alert-seconds "$alert_seconds" --owner $$ \
  --identity-data "$identity_data"
while IFS='=' read -r key value; do
  [ -n "$key" ] && export "$key=$value"
done < "$run/stack.env"

# The demo account: the seed's demo user, created at the emulator.
demo_field() { sed -n '/"demo"/,/}/p' "$peers/sim/seed.json" | sed -n "s/.*\"$1\": *\"\([^\"]*\)\".*/\1/p"; }
email="$(demo_field email)"
password="$(demo_field password)"
invite="$(demo_field inviteCode)"
emulator="http://$FIREBASE_AUTH_EMULATOR_HOST"
identity_call() {
  curl -sS --noproxy '*' -H 'Content-Type: application/json' -d "$2" \
    "$emulator/identitytoolkit.googleapis.com/v1/accounts:$1?key=demo"
}
account_body() { printf '{"email":"%s","password":"%s","returnSecureToken":true}' "$1" "$2"; }
# Made unless a former run made it already (the emulator keeps its accounts).
answer="$(identity_call signUp "$(account_body "$email" "$password")")"
case "$answer" in
  *'"idToken"'*|*EMAIL_EXISTS*) ;;
  *) echo "run-demo: the demo account could not be made at the identity emulator: $answer" >&2; exit 1 ;;
esac
# The invited users of the seed that have no account yet: a new user registers with one of
# these codes in the client's "Create account" view. The emulator refuses an unknown address
# with EMAIL_NOT_FOUND, a known one with another error.
invitations=""
while read -r code address; do
  if [ -z "$code" ] || [ "$address" = "$email" ]; then continue; fi
  case "$(identity_call signInWithPassword "$(account_body "$address" "not-the-password")")" in
    *EMAIL_NOT_FOUND*) invitations+="$(printf '\n                 %s for %s' "$code" "$address")" ;;
  esac
done < <(sed -n '/"users"/,$p' "$peers/sim/seed.json" |
         sed -n -e 's/.*"email": *"\([^"]*\)".*/E \1/p' -e 's/.*"inviteCode": *"\([^"]*\)".*/C \1/p' |
         awk '$1 == "E" { address = $2 } $1 == "C" { print $2, address }')
[ -n "$invitations" ] || invitations="$(printf '\n                 (every invited user of the seed has an account)')"

# The client looks for its certificate and key in its program's folder.
for f in mobile_app.crt mobile_app.key; do
  install -m 600 "$run/pki/$f" "$app_dir/$f"
  placed+=("$app_dir/$f")
done

cat <<EOF

run-demo: the local stack runs (folder $run).
  demo account   e-mail $email
                 password $password
                 invitation code $invite (registered already)
  new accounts   invitation codes for "Create account":$invitations
  backend        $ZEL_BACKEND_URL  (simulator control: $ZEL_SIM_CONTROL_URL)
  broker         $ZEL_MQTT_BROKER_HOST:$ZEL_MQTT_BROKER_PORT (TLS, client certificate required)
  identity       $FIREBASE_AUTH_EMULATOR_HOST (emulator)
  client files   $app_dir/mobile_app.crt, $app_dir/mobile_app.key
  the edges raise an alert every $alert_seconds s.

The client reads the stack from:
  export ZEL_BACKEND_URL=$ZEL_BACKEND_URL
  export ZEL_MQTT_BROKER_HOST=$ZEL_MQTT_BROKER_HOST
  export ZEL_MQTT_BROKER_PORT=$ZEL_MQTT_BROKER_PORT
  export ZEL_CA_FILE=$ZEL_CA_FILE
  export ZEL_MQTT_CA_FILE=$ZEL_CA_FILE
  export FIREBASE_AUTH_EMULATOR_HOST=$FIREBASE_AUTH_EMULATOR_HOST
EOF
# The broker is verified against the stack's own CA.
export ZEL_MQTT_CA_FILE="$ZEL_CA_FILE"

if [ -n "$check" ]; then
  echo
  echo "run-demo: checking the stack"
  token="$(curl -fsS --noproxy '*' -H 'Content-Type: application/json' \
    -d "{\"email\":\"$email\",\"password\":\"$password\",\"returnSecureToken\":true}" \
    "$emulator/identitytoolkit.googleapis.com/v1/accounts:signInWithPassword?key=demo" |
    sed -n 's/.*"idToken": *"\([^"]*\)".*/\1/p')"
  [ -n "$token" ] || { echo "run-demo: check failed: no sign-in at the emulator" >&2; exit 1; }
  echo "  sign-in at the identity emulator: ok"
  user="$(curl -fsS --noproxy '*' --cacert "$ZEL_CA_FILE" -H "AuthToken: $token" "$ZEL_BACKEND_URL/authZelUser")" || user=""
  case "$user" in
    *"\"email\":\"$email\""*) ;;
    *) echo "run-demo: check failed: the backend did not answer for $email: $user" >&2; exit 1 ;;
  esac
  echo "  backend over TLS with the test CA: ok"
  # The first printed code for a new account is one the backend knows and the client's
  # registration view takes (six digits).
  code="$(printf '%s\n' "$invitations" | sed -n 's/^ *\([0-9]\{6\}\) for .*/\1/p' | head -n 1)"
  if [ -n "$code" ]; then
    case "$(curl -fsS --noproxy '*' --cacert "$ZEL_CA_FILE" "$ZEL_BACKEND_URL/verifyZelInvite?inviteCode=$code")" in
      *'"email"'*) ;;
      *) echo "run-demo: check failed: the backend does not know the invitation code $code" >&2; exit 1 ;;
    esac
    echo "  invitation code $code for a new account at the backend: ok"
  fi
  topic="$(curl -fsS --noproxy '*' "$ZEL_SIM_CONTROL_URL/health" | sed -n 's/.*"orgEventTopic": *"\([^"]*\)".*/\1/p')"
  # Waits for the next automatic alert (or times out): an event, no fixed pause. The files are
  # this run's own: another demo of the same build may have put its own beside the program.
  alert="$(mosquitto_sub -h "$ZEL_MQTT_BROKER_HOST" -p "$ZEL_MQTT_BROKER_PORT" --cafile "$ZEL_CA_FILE" \
    --cert "$run/pki/mobile_app.crt" --key "$run/pki/mobile_app.key" \
    -t "$topic" -C 1 -W $((alert_seconds * 3 + 10)))" || alert=""
  case "$alert" in
    *'"Type":1'*) ;;
    *) echo "run-demo: check failed: no alert on $topic" >&2; exit 1 ;;
  esac
  echo "  an edge's alert on the broker with the client's certificate: ok"
  echo "run-demo: check passed"
  exit 0
fi

# The client, with the variables above in its environment. Without a display it runs on a
# virtual one (xvfb-run); the stack stops when the client ends.
launcher=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if command -v xvfb-run >/dev/null; then
    launcher=(xvfb-run -a)
    echo
    echo "run-demo: there is no display; the client runs on a virtual one (xvfb-run -a)."
  else
    echo
    echo "run-demo: there is no display and no xvfb-run (package xvfb). Run this script from a"
    echo "desktop session, or install xvfb; until then the stack runs alone."
    echo "run-demo: press Ctrl+C to stop the stack."
    # Runs until Ctrl+C or TERM, or until a party of the stack ends by itself.
    while peer_pid_is "$(cat "$run/sim/sim.pid" 2>/dev/null || true)" zel-backend-sim \
       && peer_pid_is "$(cat "$run/broker/broker.pid" 2>/dev/null || true)" mosquitto \
       && peer_pid_is "$(cat "$run/identity/identity.pid" 2>/dev/null || true)" firebase; do
      sleep 2 &
      waiter=$!
      wait "$waiter" || true
      waiter=""
    done
    echo "run-demo: a party of the stack ended by itself; the end of its logs:" >&2
    tail -n 15 "$run"/broker/broker.log "$run"/identity/identity.log "$run"/sim/sim.log >&2 || true
    exit 1
  fi
fi

echo
echo "run-demo: starting the client ($app); sign in with the demo account above."
echo "run-demo: the stack stops when the client ends (or on Ctrl+C)."
# In a process group of its own, so that an early end of this script ends it with its display.
setsid "${launcher[@]}" "$app" < /dev/null &
client=$!
# Killed outright, this script runs no cleanup: this guard then ends the client (its process
# group, with its virtual display) and takes the files placed beside the program away. The
# stack's own watchdog stops the stack.
# shellcheck disable=SC2016  # expanded by the guard's shell
setsid bash -c '
  owner="$1" client="$2" pki="$3"; shift 3
  tail --pid="$owner" -f /dev/null
  kill -TERM -- "-$client" 2>/dev/null || true
  for _ in $(seq 1 100); do kill -0 "$client" 2>/dev/null || break; sleep 0.1; done
  kill -KILL -- "-$client" 2>/dev/null || true
  for f in "$@"; do cmp -s "$pki/$(basename "$f")" "$f" && rm -f "$f"; done
' demo-guard $$ "$client" "$run/pki" "${placed[@]}" < /dev/null > /dev/null 2>&1 &
guard=$!
rc=0
wait "$client" || rc=$?
client=""
echo "run-demo: the client ended (exit code $rc)"
exit "$rc"
