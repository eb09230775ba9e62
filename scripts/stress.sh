#!/usr/bin/env bash
# The stress pass: runs a built tree's CTest with more parallel jobs than cores while busy
# loops (at a lower priority, so other work on the machine is not starved) keep every core
# loaded. A race that a quiet machine hides shows here. Not part of scripts/test.sh.
#
#   scripts/stress.sh [--tree main|tsan] [--jobs N] [--hog N] [--passes N] [-R regex] [--repeat N]
#
# --tree    the tree under build/ (default main; build it first with scripts/build.sh)
# --jobs    CTest's parallel jobs (default twice the cores)
# --hog     busy loops beside the tests (default 12; 0 for none), run under nice -n 10
# --passes  how many passes in a row (default 1); the first failing pass ends the run
# -R        only the tests matching the regular expression
# --repeat  with -R: each test until it fails, at most N times (ctest --repeat until-fail:N)
#
# Exit status 0 when every pass was clean; the failing tests are listed (CTest keeps their
# output in build/<tree>/Testing/Temporary/LastTest.log).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tree=main
jobs=$(( $(nproc) * 2 ))
hog=12
passes=1
regex=""
repeat=""
while [ $# -gt 0 ]; do
  case "$1" in
    --tree) tree="$2"; shift 2 ;;
    --jobs) jobs="$2"; shift 2 ;;
    --hog) hog="$2"; shift 2 ;;
    --passes) passes="$2"; shift 2 ;;
    -R) regex="$2"; shift 2 ;;
    --repeat) repeat="$2"; shift 2 ;;
    *) echo "usage: $0 [--tree main|tsan] [--jobs N] [--hog N] [--passes N] [-R regex] [--repeat N]" >&2; exit 2 ;;
  esac
done
dir="$root/build/$tree"
[ -f "$dir/CTestTestfile.cmake" ] || { echo "stress.sh: $dir is not built (scripts/build.sh $tree)" >&2; exit 2; }
timeout=300
[ "$tree" = tsan ] && timeout=600

hogs=()
stop_hogs() {
  for pid in "${hogs[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${hogs[@]}"; do wait "$pid" 2>/dev/null || true; done
  hogs=()
}
trap stop_hogs EXIT
for _ in $(seq 1 "$hog"); do
  nice -n 10 bash -c 'while :; do :; done' &
  hogs+=("$!")
done

args=(--output-on-failure -j "$jobs" --timeout "$timeout")
[ -n "$regex" ] && args+=(-R "$regex")
[ -n "$repeat" ] && args+=(--repeat "until-fail:$repeat")

for pass in $(seq 1 "$passes"); do
  start=$SECONDS
  log="$dir/Testing/stress-pass-$pass.log"
  mkdir -p "$dir/Testing"
  echo "stress.sh: pass $pass of $passes ($tree, -j $jobs, $hog busy loops)"
  if (cd "$dir" && ctest "${args[@]}") > "$log" 2>&1; then
    echo "stress.sh: pass $pass clean in $((SECONDS - start)) s"
  else
    grep -E '^\s+[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception|Not Run)' "$log" || tail -n 40 "$log"
    echo "stress.sh: pass $pass failed after $((SECONDS - start)) s (output in $log)" >&2
    exit 1
  fi
done
echo "stress.sh: $passes pass(es) in a row clean"
