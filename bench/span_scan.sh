#!/usr/bin/env bash
# A split set against the same members in one ordinary archive, both scanned
# by tabula-cli in NES mode (every member extracted, 16 bytes cut, summed).
#   set       300 NES roms split by `zip -s 1m` into numbered volumes
#             (set001.zip ... ), the directory of the set folder
#   ordinary  the same 300 roms in one archive made by the same zip
# Each is the median wall time of RUNS whole tabula-cli processes; the rows
# of both must agree (rom name, CRC, size) before anything is timed.
# Usage: bench/span_scan.sh
# Environment: BUILD (default build-bench, built if missing), CORPUS (default
#   /tmp/tabula-span-corpus), RUNS (default 5).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-bench}
corpus=${CORPUS:-/tmp/tabula-span-corpus}
runs=${RUNS:-5}

if [ ! -x "$build/bin/tabula-cli" ]; then
    (cd "$root" && cmake --preset bench -DTABULA_BUILD_GUI=OFF >/dev/null &&
        nice cmake --build "$build" -j2 --target tabula-cli unziplib >/dev/null)
fi

make_corpus() {
    local stamp="$corpus.complete-v1"
    [ -e "$stamp" ] && return
    echo "span_scan.sh: building $corpus" >&2
    rm -rf "$corpus" "$stamp" && mkdir -p "$corpus/roms" "$corpus/set" "$corpus/ordinary"
    python3 - "$corpus/roms" <<'PY'
import os, random, sys
rng = random.Random(3)
for i in range(300):
    body = rng.randbytes(16384) + bytes([i % 256]) * 16384
    with open(os.path.join(sys.argv[1], f"Game {i:03d} (U).nes"), "wb") as f:
        f.write(b"NES\x1a\x02\x01" + bytes(10) + body)
PY
    (cd "$corpus/roms" && zip -q -X -D -s 1m ../set/set.zip ./*.nes &&
        zip -q -X -D ../ordinary/set.zip ./*.nes)
    # The numbered form: set.z01 ... set.zNN, set.zip become set001.zip ...
    local volumes n last
    volumes=$(find "$corpus/set" -name 'set.z[0-9]*' | wc -l)
    last=$(printf '%03d' $((volumes + 1)))
    for ((n = 1; n <= volumes; n++)); do
        mv "$corpus/set/set.z$(printf '%02d' "$n")" "$corpus/set/set$(printf '%03d' "$n").zip"
    done
    mv "$corpus/set/set.zip" "$corpus/set/set$last.zip"
    touch "$stamp"
}

median_of() { sort -g | awk '{ t[NR] = $1 } END { m = int((NR + 1) / 2); printf "%.3f", (NR % 2) ? t[m] : (t[m] + t[m + 1]) / 2 }'; }

scan_median() {
    local dir=$1 times=() start end
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        "$build/bin/tabula-cli" -q --nes "$dir" >/dev/null 2>&1 || true
        end=$(date +%s%N)
        times+=("$(((end - start) / 1000))")
    done
    printf '%s\n' "${times[@]}" | awk '{ print $1 / 1e6 }' | median_of
}

make_corpus
cat "$corpus"/set/* "$corpus"/ordinary/* >/dev/null
rows_set=$("$build/bin/tabula-cli" -q --nes "$corpus/set" 2>/dev/null | cut -f5- || true)
rows_ordinary=$("$build/bin/tabula-cli" -q --nes "$corpus/ordinary" | cut -f5-)
if [ "$rows_set" != "$rows_ordinary" ] || [ "$(printf '%s\n' "$rows_set" | wc -l)" -ne 300 ]; then
    echo "span_scan.sh: the set and the ordinary archive give different rows" >&2
    exit 1
fi
echo "volumes: $(ls "$corpus/set" | wc -l), set bytes: $(cat "$corpus"/set/* | wc -c)"
set_time=$(scan_median "$corpus/set")
ordinary_time=$(scan_median "$corpus/ordinary")
ratio=$(awk -v a="$set_time" -v b="$ordinary_time" 'BEGIN { printf "%.2f", a / b }')
printf '| %s | %s s | %s s | %s |\n' "300-member set, NES" "$set_time" "$ordinary_time" "$ratio"
