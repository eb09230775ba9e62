#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, then the identity emulator's
# npm packages into tests/peers/identity/node_modules. Idempotent: a second run finds
# everything present and installs nothing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
mapfile -t wanted < <(grep -v -e '^#' -e '^[[:space:]]*$' "$here/packages.txt")

# Node.js and npm come from Debian only where the machine has none: a Node.js from elsewhere
# (which brings its own npm) stays as it is.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  wanted+=(nodejs npm)
fi

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#wanted[@]} packages present"
else
  echo "install-deps: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The identity emulator, pinned by its package-lock.json; its .npmrc skips install scripts
# (only an optional native module wants one, and it would download a binary).
identity="$root/tests/peers/identity"
if [ ! -f "$identity/node_modules/firebase-tools/package.json" ] \
   || [ "$identity/package-lock.json" -nt "$identity/node_modules/.package-lock.json" ]; then
  echo "install-deps: installing the identity emulator (npm ci in tests/peers/identity)"
  (cd "$identity" && NO_UPDATE_NOTIFIER=1 npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
else
  echo "install-deps: identity emulator present"
fi
