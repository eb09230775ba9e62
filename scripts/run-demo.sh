#!/usr/bin/env bash
# Runs the client against the local demo stack.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" main
cat <<'MSG'
run-demo: the client's program builds, but the parts it needs to run are not there yet:
  - the local demo stack (TLS broker, identity emulator, backend and edge simulator);
  - the sign-in, main window and views.
Nothing was started. The program itself is at build/main/src/TarveloSystemsApp.
MSG
