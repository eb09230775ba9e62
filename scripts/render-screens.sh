#!/usr/bin/env bash
# Draws the client's windows on the offscreen platform and writes them as PNGs into
# docs/screens (shown by the README). The render tool draws them over stand-in services;
# the Events view and its open filter, the Devices view and the Profile view are pictured
# by two tests of the UI test program, against the whole local demo stack (needs what tests/peers/stack.sh needs).
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
cmake --build "$dir" --target zel_render_screens zel_ui_tests -j "$(nproc)"
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$dir/tests/render/zel_render_screens" "$out"

stacked=(events-view events-filter devices-view profile-view item-details-info item-details-services item-details-media web-view-picture timeline-actions timeline-reason-frame)
for name in "${stacked[@]}"; do rm -f "$out/$name.png"; done
ZEL_SCREENS_DIR="$out" QT_QPA_PLATFORM=offscreen "$dir/tests/zel_ui_tests" --gtest_filter='EventsScreens.*:DevicesScreens.*:ItemDetailsScreens.*:TimelineScreens.*'
for name in "${stacked[@]}"; do
  if [ ! -s "$out/$name.png" ]; then
    echo "render-screens.sh: $out/$name.png was not written" >&2
    exit 1
  fi
  echo "wrote $out/$name.png"
done
