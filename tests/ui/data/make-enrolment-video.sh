#!/bin/sh
# Makes enrolment-qr.ogv: two seconds (20 frames) of the QR code of a valid enrolment payload
# (code 482915, "Zoé Brontë"), Theora in Ogg, which GStreamer's base plugins play.
# Needs qrencode, gstreamer1.0-tools and gstreamer1.0-plugins-good (pngdec).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%s' '{"ZELEnrollPayload":{"version":1,"fields":{"code":"482915","email":"zoe.brunner@example.com","firstName":"Zoé","lastName":"Brontë"}}}' >"$tmp/payload.txt"
qrencode -8 -s 6 -m 4 -l M -o "$tmp/qr.png" <"$tmp/payload.txt"
gst-launch-1.0 -q filesrc location="$tmp/qr.png" ! pngdec ! videoconvert ! imagefreeze num-buffers=20 \
  ! video/x-raw,framerate=10/1 ! videoconvert ! theoraenc quality=63 ! oggmux \
  ! filesink location="$here/enrolment-qr.ogv"
