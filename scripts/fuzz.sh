#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer, float-cast-overflow included) and runs each for
# the given seconds (default 60) from the seed corpus in fuzz/corpus, printing
# executions and coverage. A crash fails the run and leaves its reproducer in
# build-fuzz/crashes/. Without a clang that has libFuzzer it says so and
# exits 0.
#   scripts/fuzz.sh [seconds] [harness...]
#   scripts/fuzz.sh --coverage   line coverage of src/ reached by the corpus
#                                kept in build-fuzz/corpus by earlier runs
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang++ >/dev/null 2>&1 ||
   ! printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' |
     clang++ -fsanitize=fuzzer -x c++ - -o /tmp/kv5x-fuzz-probe.$$ >/dev/null 2>&1; then
  echo "fuzz: no clang with libFuzzer here; skipped"
  exit 0
fi
rm -f /tmp/kv5x-fuzz-probe.$$

harnesses=(ReceiveFuzz SettingsFuzz CustomerListFuzz SimRequestFuzz ParamFilesFuzz)

if [ "${1:-}" = "--coverage" ]; then
  dir=build-fuzz-coverage
  CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_DESKTOP=OFF -DKV_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target "${harnesses[@]}" >/dev/null
  rm -rf "$dir/profiles" && mkdir -p "$dir/profiles"
  objects=()
  for h in "${harnesses[@]}"; do
    corpus=build-fuzz/corpus/$h
    [ -d "$corpus" ] || corpus=fuzz/corpus/$h
    LLVM_PROFILE_FILE="$dir/profiles/$h.profraw" "$dir/fuzz/$h" -runs=0 "$corpus" >/dev/null 2>&1 || true
    objects+=(-object "$dir/fuzz/$h")
  done
  llvm-profdata merge -sparse "$dir"/profiles/*.profraw -o "$dir/fuzz.profdata"
  # TOTAL: regions, missed, cover; functions, missed, cover; lines, missed, cover; branches...
  llvm-cov report "${objects[@]:1}" -instr-profile="$dir/fuzz.profdata" "$PWD/src" | tail -1 |
    awk '{print "fuzz: src/ lines covered " $10 " (" $8 - $9 " of " $8 "), regions " $4 ", functions " $7 ", branches " $13}'
  exit 0
fi

seconds=${1:-60}
shift || true
[ $# -gt 0 ] && harnesses=("$@")

dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_DESKTOP=OFF -DKV_FUZZ=ON >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${harnesses[@]}" >/dev/null

mkdir -p "$dir/crashes"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
for h in "${harnesses[@]}"; do
  # The seeds stay as they are; what the run finds is kept in the build tree.
  corpus="$dir/corpus/$h"
  mkdir -p "$corpus"
  log="$dir/$h.log"
  if "$dir/fuzz/$h" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$dir/crashes/$h-" "$corpus" "fuzz/corpus/$h" >"$log" 2>&1; then
    status=ok
  else
    status=FAILED
    failed=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
  echo "fuzz: $h: $status, $runs executions in ${seconds} s, $cov edges covered"
  if [ "$status" = FAILED ]; then tail -40 "$log"; fi
done
exit $failed
