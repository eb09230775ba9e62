#!/usr/bin/env bash
# Builds and runs the benchmarks (not part of the test command).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" bench
# The session benchmark runs against the backend simulator, which the main tree builds.
if [ -z "${ZEL_BACKEND_SIM:-}" ]; then
  "$root/scripts/build.sh" main >/dev/null
  export ZEL_BACKEND_SIM="$root/build/main/tests/peers/sim/zel-backend-sim"
fi
for b in "$root"/build/bench/bench/zel_bench_*; do
  [ -x "$b" ] && "$b" "$@"
done
