#!/usr/bin/env bash
# The slip round: how many realistic one-line mistakes in the product code the
# test suite catches. Each entry of tests/slips.txt is applied alone, the
# build brought up to date, the core tests run, and only when they all pass
# the rest of the suite; the file is put back (git checkout) after each entry,
# also on Ctrl-C or an error. A slip is CAUGHT when a test fails, MISSED when
# all pass, BROKEN when it does not compile, STALE when its old text is not
# found exactly once. Logs go to <build-dir>/slips-logs/.
#
#   scripts/slips.sh [build-dir] [first] [last]   the round (default: build, every entry)
#   scripts/slips.sh --check                      only checks that every entry still applies
#   scripts/slips.sh --catchers [build-dir]       per test, the slips it caught (and those only it caught)
# With SLIPS_CORE_ONLY=1 only the core tests run: a slip they miss is said
# CORE-PASS (the rest of the suite may still catch it), for a quick look.
# The build directory must be configured (scripts/build.sh); the files the
# entries touch must have no uncommitted change.
set -euo pipefail
cd "$(dirname "$0")/.."
SLIPS=tests/slips.txt
EXCLUDE='^(install)$'  # ctest entries the round leaves out
CORE='\.'              # ctest's names of the core tests (Suite.Name), run in the first stage already
CORE_TIMEOUT=900       # seconds; a hang of the core tests counts as a failure
export QT_QPA_PLATFORM=offscreen

# slip list: "n<TAB>file<TAB>1 (applies) or why not<TAB>description" per entry;
# slip apply N: replaces entry N's old text with its new one, literally.
slip() {
    python3 - "$SLIPS" "$@" <<'PY'
import os, sys
def read(f): return open(f, encoding='utf-8', errors='surrogateescape', newline='').read()
path, what = sys.argv[1], sys.argv[2]
lines, entries = read(path).split('\n'), []
for i, l in enumerate(lines):
    if l.startswith('# ') and i + 3 < len(lines) and lines[i + 1].startswith('file: '):
        old, new = lines[i + 2], lines[i + 3]
        if not old.startswith('old: ') or not new.startswith('new:'):
            sys.exit(f'{path}:{i + 1}: an entry is "# ...", "file: ", "old: ", "new: "')
        entries.append((l[2:], lines[i + 1][6:], old[5:], new[5:] if new.startswith('new: ') else new[4:]))
if what == 'list':
    for n, (desc, f, old, new) in enumerate(entries, 1):
        times = read(f).count(old) if os.path.isfile(f) else -1
        state = ('no such file' if times < 0 else 'old text empty or equal to new' if not old or old == new
                 else 1 if times == 1 else f'old text found {times} times')
        print(f'{n}\t{f}\t{state}\t{desc}')
else:
    desc, f, old, new = entries[int(sys.argv[3]) - 1]
    text = read(f).replace(old, new, 1)  # read before the file is opened for writing
    open(f, 'w', encoding='utf-8', errors='surrogateescape', newline='').write(text)
PY
}

# Which tests caught which slips, from the logs of a round: per test, the
# slips it caught and how many of them no other test caught.
if [ "${1:-}" = "--catchers" ]; then
    python3 - "${2:-build}/slips-logs" <<'PY'
import glob, os, re, sys
caught = {}
for log in glob.glob(os.path.join(sys.argv[1], '*.core')) + glob.glob(os.path.join(sys.argv[1], '*.suite')):
    n = int(os.path.basename(log).split('.')[0])
    text = open(log, errors='replace').read()
    names = re.findall(r'^\[  FAILED  \] ([\w/.]+) \(', text, re.M)
    names += re.findall(r'^\s*\d+ - (\S+) \(', text.split('The following tests FAILED:')[-1], re.M) if 'FAILED:' in text else []
    for t in names: caught.setdefault(t, set()).add(n)
for t, slips in sorted(caught.items(), key=lambda kv: -len(kv[1])):
    alone = [n for n in slips if all(n not in v for u, v in caught.items() if u != t)]
    print(f'{len(slips):3} caught, {len(alone):2} alone  {t}  {sorted(alone) if alone else ""}')
PY
    exit
fi

listing=$(slip list)
if [ "${1:-}" = "--check" ]; then
    printf '%s\n' "$listing" | awk -F'\t' '$3 != 1 {printf "STALE  %s  %s  (%s: %s)\n", $1, $4, $2, $3; bad++}
        END {printf "%d of %d entries apply\n", NR - bad, NR; exit (bad > 0)}'
    exit
fi
dir=${1:-build} first=${2:-1} last=${3:-$(printf '%s\n' "$listing" | wc -l)}
selected=$(printf '%s\n' "$listing" | awk -F'\t' -v a="$first" -v b="$last" '$1 >= a && $1 <= b')

[ -d "$dir" ] || { echo "no build directory $dir (scripts/build.sh $dir)" >&2; exit 2; }
logs="$dir/slips-logs" && mkdir -p "$logs"

current="" finished=0
restore() { if [ -n "$current" ]; then git checkout -- "$current"; current=""; fi; }
trap 'restore; [ "$finished" = 1 ] || echo "stopped: rebuild $dir to match the clean tree" >&2' EXIT
trap 'exit 130' INT TERM

declare -A count=([CAUGHT]=0 [MISSED]=0 [STALE]=0 [BROKEN]=0 [CORE-PASS]=0)
while IFS=$'\t' read -r -u 3 n file state desc; do
    if [ "$state" != 1 ]; then
        verdict=STALE why="$file: $state"
    else
        git diff --quiet HEAD -- "$file" || { echo "refused: $file has uncommitted changes" >&2; exit 2; }
        current=$file log="$logs/$n"
        slip apply "$n"
        # The core tests first, built alone; the rest is built only when they pass.
        if ! cmake --build "$dir" -j"$(nproc)" --target kv5x_tests >"$log.build" 2>&1; then
            verdict=BROKEN why="does not compile: $log.build"
        elif ! timeout "$CORE_TIMEOUT" "$dir"/kv5x_tests --gtest_brief=1 >"$log.core" 2>&1; then
            failed=$(sed -n 's/^\[  FAILED  \] \([^ ,]*\).*/\1/p' "$log.core" | sed -n 1p)
            verdict=CAUGHT why="core: ${failed:-the test program failed or hung}"
        elif [ -n "${SLIPS_CORE_ONLY:-}" ]; then
            verdict=CORE-PASS why="the core tests pass; the rest was not run"
        elif ! cmake --build "$dir" -j"$(nproc)" >>"$log.build" 2>&1; then
            verdict=BROKEN why="does not compile: $log.build"
        elif ! ctest --test-dir "$dir" -j"$((4 * $(nproc)))" -E "$EXCLUDE|$CORE" >"$log.suite" 2>&1; then
            failed=$(sed -n '/The following tests FAILED:/{n;s/^[[:space:]]*[0-9]* - \([^ ]*\).*/\1/p;}' "$log.suite")
            verdict=CAUGHT why="suite: ${failed:-see $log.suite}"
        else
            verdict=MISSED why="every test passes"
        fi
        restore
    fi
    count[$verdict]=$((count[$verdict] + 1))
    printf '%-6s  %s  %s  (%s)\n' "$verdict" "$n" "$desc" "$why"
done 3< <(printf '%s\n' "$selected")

finished=1
echo "Rebuilding the clean tree..."
cmake --build "$dir" -j"$(nproc)" >"$logs/clean.build" 2>&1 || echo "the clean tree does not build: $logs/clean.build" >&2
applied=$((count[CAUGHT] + count[MISSED]))
echo "CAUGHT ${count[CAUGHT]}  MISSED ${count[MISSED]}  STALE ${count[STALE]}  BROKEN ${count[BROKEN]}  CORE-PASS ${count[CORE-PASS]}"
[ "$applied" -gt 0 ] && echo "caught: $((100 * count[CAUGHT] / applied))% of $applied applied slips"
exit 0
