#!/usr/bin/env bash
# The window's scan against tabula-cli on the same directory, and FitColumns
# on 100,000 rows, both driven through the real window (offscreen platform).
#   small   20,000 files of 64 to 264 bytes: "Scan for roms ..." in the window
#           (the command alone, median of RUNS) vs the whole tabula-cli process
#           printing its rows to /dev/null (median of RUNS)
#   fit     FitColumns on 100,000 rows of seven realistic cells
#   cancel  Cancel half a second into a NES scan of bench/scan.sh's 2,000 archives:
#           the time from the click to "Cancelled by user." and to the command's end
# Usage: bench/window_scan.sh [small|fit|cancel ...]      (small and fit by default)
# Environment: BUILD (default build-bench, built if missing), CORPUS (default
#   /tmp/tabula-window-corpus), RUNS (default 5).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-bench}
corpus=${CORPUS:-/tmp/tabula-window-corpus}
runs=${RUNS:-5}
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(small fit)

if [ ! -x "$build/bin/window_scan" ] || [ ! -x "$build/bin/tabula-cli" ]; then
    (cd "$root" && cmake --preset bench >/dev/null &&
        nice cmake --build "$build" -j2 --target window_scan tabula-cli unziplib >/dev/null)
fi
export QT_QPA_PLATFORM=offscreen
# The window and tabula-cli share a checksum cache of their own, as a user's
# runs share theirs: both meet it alike, and the user's stays as it was.
export XDG_CACHE_HOME=$corpus.cache

make_corpus() {
    # The stamp stays outside: a hidden file in the directory would be scanned.
    local stamp="$corpus.complete-v1"
    [ -e "$stamp" ] && return
    echo "window_scan.sh: building $corpus" >&2
    rm -rf "$corpus" "$stamp" && mkdir -p "$corpus"
    python3 - "$corpus" <<'PY'
import os, random, sys
rng = random.Random(1)
for i in range(20000):
    with open(os.path.join(sys.argv[1], f"Game {i:05d} (E).bin"), "wb") as f:
        f.write(rng.randbytes(64 + rng.randrange(201)))
PY
    touch "$stamp"
}

# The median of the first field of lines "WHAT SECONDS ROWS".
median_of() { sort -g | awk '{ t[NR] = $1 } END { m = int((NR + 1) / 2); printf "%.3f", (NR % 2) ? t[m] : (t[m] + t[m + 1]) / 2 }'; }

cli_median() {
    local times=() start end
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        "$build/bin/tabula-cli" -q "$corpus" >/dev/null
        end=$(date +%s%N)
        times+=("$(((end - start) / 1000))")
    done
    printf '%s\n' "${times[@]}" | awk '{ print $1 / 1e6 }' | median_of
}

for c in "${cases[@]}"; do
    case $c in
    small)
        make_corpus
        cat "$corpus"/* >/dev/null
        lines=$("$build/bin/window_scan" scan "$corpus" "$runs" 2>/dev/null)
        rows=$(awk 'NR == 1 { print $3 }' <<<"$lines")
        [ "$rows" = 20000 ] || { echo "window_scan.sh: the window found $rows rows, not 20000" >&2; exit 1; }
        first=$(awk 'NR == 1 { printf "%.3f", $2 }' <<<"$lines")
        window=$(awk '{ print $2 }' <<<"$lines" | median_of)
        cli=$(cli_median)
        awk -v w="$window" -v c="$cli" -v f="$first" 'BEGIN {
            printf "| 20,000 small files | window %s s (first run %s s) | tabula-cli %s s | %.2f |\n", w, f, c, w / c }'
        ;;
    fit)
        lines=$("$build/bin/window_scan" fit 100000 "$runs" 2>/dev/null)
        fit=$(awk '{ print $2 }' <<<"$lines" | median_of)
        echo "| FitColumns, 100,000 rows | $fit s | | |"
        ;;
    cancel)
        # Cancel half a second into a NES scan of bench/scan.sh's 2,000 archives.
        zips=${SCAN_CORPUS:-/tmp/tabula-scan-corpus}/zips
        [ -d "$zips" ] || { echo "window_scan.sh: run bench/scan.sh zipdir first ($zips)" >&2; exit 1; }
        lines=$("$build/bin/window_scan" cancel "$zips" "$runs" 2>/dev/null)
        box=$(awk '{ print $2 }' <<<"$lines" | median_of)
        end=$(awk '{ print $3 }' <<<"$lines" | median_of)
        echo "| Cancel in a NES scan of 2,000 archives | box after $box s | command ended after $end s | |"
        ;;
    *)
        echo "window_scan.sh: unknown case $c (small, fit, cancel)" >&2
        exit 2
        ;;
    esac
done
