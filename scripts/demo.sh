#!/usr/bin/env bash
# Builds everything, starts a virtual KV53 (kv5x-sim) on a pseudo-terminal as
# COM10, and opens the dashboard on it. The simulator stops with the dashboard.
# Options after the script name go to kv5x-sim (see kv5x-sim --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build

# A controller that is back 400 ms after its restart; options given to the
# script come later and win.
build/sim/kv5x-sim --com 10 --restart-ms 400 "$@" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
sleep 0.5

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  build/desktop/KV53_Varkel_Comms
else
  echo "No display found: running the dashboard on a virtual screen (xvfb-run)."
  xvfb-run -a -s "-screen 0 1280x800x24" build/desktop/KV53_Varkel_Comms
fi
