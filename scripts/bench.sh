#!/usr/bin/env bash
# Builds and runs the benchmarks (not part of the test command).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" bench
for b in "$root"/build/bench/bench/zel_bench_*; do
  [ -x "$b" ] && "$b" "$@"
done
