#!/usr/bin/env bash
# Runs every test from a fresh machine: installs the packages, builds the main tree and
# the ThreadSanitizer tree, and runs CTest in both.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"
start=$SECONDS

"$root/scripts/install-deps.sh"

"$root/scripts/build.sh" main
(cd "$root/build/main" && ctest --output-on-failure -j "$jobs" --timeout 300)

"$root/scripts/build.sh" tsan
(cd "$root/build/tsan" && ctest --output-on-failure -j "$jobs" --timeout 600)

echo "test.sh: all tests passed in $((SECONDS - start)) s"
