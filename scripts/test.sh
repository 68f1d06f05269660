#!/usr/bin/env bash
# Builds and runs the whole test suite. With --sanitize, builds a separate
# tree under AddressSanitizer and UndefinedBehaviorSanitizer and runs it there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  scripts/build.sh "$dir" -DKV_SANITIZE=ON
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
else
  dir=build
  scripts/build.sh "$dir"
fi
export QT_QPA_PLATFORM=offscreen
# The longest entries run the whole program against kv5x-sim and spend their
# time waiting on the controller's one-second ticks, not on a core: four
# entries a core keep the cores busy instead of the clock.
ctest --test-dir "$dir" --output-on-failure -j"$((4 * $(nproc)))"
