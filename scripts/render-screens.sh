#!/usr/bin/env bash
# Draws the client's windows on the offscreen platform and writes them as PNGs into
# docs/screens (shown by the README). Builds only the render tool.
#
#   scripts/render-screens.sh [--build-dir DIR] [--out DIR]
#
#   --build-dir DIR  use this build tree instead of build/main (configured when it is new)
#   --out DIR        write the PNGs here instead of docs/screens
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$root/build/main"
out="$root/docs/screens"
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) dir="$(realpath -m "$2")"; shift 2 ;;
    --out) out="$(realpath -m "$2")"; shift 2 ;;
    *) echo "render-screens.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
done
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$dir" --target zel_render_screens -j "$(nproc)"
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$dir/tests/render/zel_render_screens" "$out"
