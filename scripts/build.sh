#!/usr/bin/env bash
# Configures and builds one tree. Usage: scripts/build.sh [main|tsan|asan|bench|fuzz]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
kind="${1:-main}"
jobs="$(nproc)"
case "$kind" in
  main)  dir="$root/build/main";  opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  tsan)  dir="$root/build/tsan";  opts=(-DCMAKE_BUILD_TYPE=Debug -DZEL_TSAN=ON) ;;
  # AddressSanitizer and UndefinedBehaviorSanitizer: the libraries and the test programs.
  asan)  dir="$root/build/asan";  opts=(-DCMAKE_BUILD_TYPE=Debug -DZEL_ASAN=ON) ;;
  bench) dir="$root/build/bench"; opts=(-DCMAKE_BUILD_TYPE=Release -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCH=ON) ;;
  # libFuzzer needs clang; this tree holds only zel_core and the fuzz target.
  fuzz)  dir="$root/build/fuzz";  opts=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DZEL_FUZZ=ON) ;;
  *) echo "build.sh: unknown tree '$kind' (main, tsan, asan, bench or fuzz)" >&2; exit 2 ;;
esac
# ccache keeps its cache in its default folder, so later runs on this machine reuse it.
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "${opts[@]}"
fi
cmake --build "$dir" -j "$jobs"
