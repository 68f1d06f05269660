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
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
