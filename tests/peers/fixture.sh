#!/usr/bin/env bash
# The CTest fixture of the integration test: brings the stack up before the test and down
# after it, in a folder of its own per CTest run.
#
#   fixture.sh setup   <runsdir> <zel-backend-sim>
#   fixture.sh cleanup <runsdir>
#
# CTest starts the setup, the test program and the cleanup as its own children, so the run
# folder is <runsdir>/ctest-<pid of ctest>: the test program finds it through getppid(),
# and two CTest runs on one machine (even in one build tree) use different folders and
# different ports. The setup first clears folders left by CTest runs that no longer exist
# (a run killed before its cleanup; the watchdog normally stops those stacks already).
# ZEL_PEERS_KEEP=1 keeps the folder (logs, PKI) after the cleanup.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR
. "$here/lib.sh"

usage() {
  echo "usage: $0 setup <runsdir> <zel-backend-sim> | cleanup <runsdir>" >&2
  exit 2
}

owner="$PPID"

case "${1:-}" in
  setup)
    [ $# -eq 3 ] || usage
    runs="$2"
    mkdir -p "$runs"
    for old in "$runs"/ctest-*; do
      [ -d "$old" ] || continue
      pid="${old##*/ctest-}"
      if [ "$pid" != "$owner" ] && ! peer_alive "$pid"; then
        "$here/stack.sh" stop "$old" || true
        rm -rf "$old"
      fi
    done
    run="$runs/ctest-$owner"
    "$here/stack.sh" stop "$run" || true
    rm -rf "$run"
    "$here/stack.sh" start "$run" --sim "$3" --owner "$owner"
    echo "fixture.sh: stack up in $run"
    ;;
  cleanup)
    [ $# -eq 2 ] || usage
    run="$2/ctest-$owner"
    "$here/stack.sh" stop "$run"
    if [ -z "${ZEL_PEERS_KEEP:-}" ]; then
      rm -rf "$run"
    fi
    echo "fixture.sh: stack in $run stopped"
    ;;
  *) usage ;;
esac
