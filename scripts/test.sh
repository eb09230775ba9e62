#!/usr/bin/env bash
# Runs every test from a fresh machine: installs the packages, builds the main tree, the
# ThreadSanitizer tree and the AddressSanitizer (with UndefinedBehaviorSanitizer) tree, and
# runs CTest in each; then fuzzes the domain model for a minute under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"
start=$SECONDS

"$root/scripts/install-deps.sh"

"$root/scripts/build.sh" main
(cd "$root/build/main" && ctest --output-on-failure -j "$jobs" --timeout 300)

"$root/scripts/build.sh" tsan
(cd "$root/build/tsan" && ctest --output-on-failure -j "$jobs" --timeout 600)

# The unit, offscreen UI and end-to-end tests again, where a use of freed memory or undefined
# behaviour ends the test program.
"$root/scripts/build.sh" asan
(cd "$root/build/asan" && ctest --output-on-failure -j "$jobs" --timeout 600)

# The model's fuzz target, from the seed corpus in the repository (copied, so the corpus
# the run grows stays out of the tree), fixed seed, bounded time; any crash, leak, sanitizer
# report or hang fails the run. Its logs go to a temporary folder.
"$root/scripts/build.sh" fuzz
fuzzwork="$(mktemp -d)"
trap 'rm -rf "$fuzzwork"' EXIT
mkdir -p "$fuzzwork/corpus" "$fuzzwork/logs" "$fuzzwork/artifacts"
cp "$root"/tests/fuzz/corpus/* "$fuzzwork/corpus/"
if ! (cd "$fuzzwork" && ZEL_LOGS_DIR="$fuzzwork/logs" ASAN_OPTIONS=detect_leaks=1 \
      "$root/build/fuzz/tests/fuzz/zel_fuzz_model" -max_total_time=60 -seed=1 -timeout=10 -max_len=262144 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$fuzzwork/artifacts/" \
      "$fuzzwork/corpus" >"$fuzzwork/fuzz.log" 2>&1); then
  tail -n 80 "$fuzzwork/fuzz.log"
  mkdir -p "$root/build/fuzz/artifacts"
  cp -r "$fuzzwork/artifacts/." "$root/build/fuzz/artifacts/" 2>/dev/null || true
  echo "test.sh: the fuzz run failed (inputs kept in build/fuzz/artifacts)" >&2
  exit 1
fi
grep -E '^(Done|stat::number_of_executed_units)' "$fuzzwork/fuzz.log" || true

echo "test.sh: all tests passed in $((SECONDS - start)) s"
