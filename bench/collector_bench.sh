#!/usr/bin/env bash
# Whole-program timings of the checksum collector (collect_dir) beside the
# usual tools, on corpora generated under /tmp (never in the repository):
#   loose   1 GiB of loose files (64 x 16 MiB), read from the page cache:
#           collect_dir against `rhash --crc32`
#   zips    2,000 small archives, one deflated 40,976-byte NES ROM each:
#           collect_dir --zip (directory only) against `unzip -v`, and
#           collect_dir --zip --nes (extract, cut 16 bytes) against
#           `unzip -p ... | tail -c +17 | rhash --crc32 -`
#   memory  peak resident size of collect_dir on one 1.9 GiB loose file
# Each timing is the best of REPS runs (default 3); the results of collect_dir
# are checked against the reference tools' before anything is timed.
#
# Usage: bench/collector_bench.sh [BIN_DIR]   (default build-bench/bin)
set -euo pipefail

bin=${1:-build-bench/bin}
collect=$bin/collect_dir
corpus=${TABULA_BENCH_CORPUS:-/tmp/tabula-bench-collector}
reps=${REPS:-3}
loose=$corpus/loose
zips=$corpus/zips
big=$corpus/big/rom-1.9GiB.bin

[ -x "$collect" ] || { echo "no $collect: build the bench preset first" >&2; exit 1; }

if [ ! -f "$corpus/loose.done" ]; then
    mkdir -p "$loose"
    for i in $(seq -w 1 64); do
        head -c $((16 << 20)) /dev/urandom >"$loose/rom$i.bin"
    done
    touch "$corpus/loose.done"
fi
if [ ! -f "$corpus/zips.done" ]; then
    mkdir -p "$zips"
    python3 - "$zips" <<'PY'
import random, sys, zipfile
out = sys.argv[1]
rng = random.Random(2026)
for n in range(2000):
    # Partly compressible, like ROM images: runs of a few byte values.
    data = bytearray(b"NES\x1a" + bytes(12))
    while len(data) < 40976:
        data += bytes([rng.randrange(256)]) * rng.randrange(1, 8)
    with zipfile.ZipFile(f"{out}/Game {n:04d} (E).zip", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(f"Game {n:04d} (E).nes", bytes(data[:40976]))
PY
    touch "$corpus/zips.done"
fi

# The same results as the reference tools, or nothing is timed.
diff <("$collect" --list "$loose" 2>/dev/null | awk '{print tolower($1)}') \
     <(rhash --crc32 --simple "$loose"/*.bin | sort -k2 | awk '{print $1}') >/dev/null ||
    { echo "loose CRCs differ from rhash" >&2; exit 1; }
diff <("$collect" --zip --nes --list "$zips" 2>/dev/null | awk '{print $1}') \
     <(for f in "$zips"/*.zip; do unzip -p "$f" | tail -c +17 | rhash --crc32 --simple -; done |
       awk '{print $1}') >/dev/null ||
    { echo "NES CRCs differ from unzip | tail | rhash" >&2; exit 1; }

cat "$loose"/*.bin >/dev/null # into the page cache

# best LABEL COMMAND...: runs COMMAND REPS times, prints the best wall time
# and the best user+system CPU time (children included).
declare -A wall cpu
best() {
    local label=$1 w c bw= bc=
    shift
    for _ in $(seq "$reps"); do
        /usr/bin/time -f "%e %U %S" -o "$corpus/time.txt" "$@" >/dev/null 2>&1
        read -r w u s <"$corpus/time.txt"
        c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')
        bw=$(awk -v a="$w" -v b="${bw:-$w}" 'BEGIN { print (a < b ? a : b) }')
        bc=$(awk -v a="$c" -v b="${bc:-$c}" 'BEGIN { print (a < b ? a : b) }')
    done
    wall[$label]=$bw
    cpu[$label]=$bc
}

best collect_loose "$collect" "$loose"
best rhash_loose rhash --crc32 "$loose"/*.bin
best collect_zip "$collect" --zip "$zips"
best unzipv_zip bash -c 'for f in "$0"/*.zip; do unzip -v "$f"; done' "$zips"
best collect_nes "$collect" --zip --nes "$zips"
best pipe_nes bash -c 'for f in "$0"/*.zip; do unzip -p "$f" | tail -c +17 | rhash --crc32 -; done' "$zips"

row() { # LABEL REFERENCE TEXT
    printf '| %s | %s s | %s s | %s s | %s s | %s | %s |\n' "$3" \
        "${wall[$1]}" "${cpu[$1]}" "${wall[$2]}" "${cpu[$2]}" \
        "$(awk -v a="${wall[$1]}" -v b="${wall[$2]}" 'BEGIN { printf "%.2f", a / b }')" \
        "$(awk -v a="${cpu[$1]}" -v b="${cpu[$2]}" 'BEGIN { printf "%.2f", a / b }')"
}
echo "| corpus | collect_dir wall | collect_dir CPU | reference wall | reference CPU | wall ratio | CPU ratio |"
echo "|---|---|---|---|---|---|---|"
row collect_loose rhash_loose "1 GiB loose, vs rhash --crc32"
row collect_zip unzipv_zip "2,000 zips, normal mode, vs unzip -v"
row collect_nes pipe_nes "2,000 zips, NES mode, vs unzip -p \\| tail -c +17 \\| rhash"

if [ ! -f "$big" ]; then
    mkdir -p "$(dirname "$big")"
    head -c 2040109466 /dev/urandom >"$big" # 1.9 GiB
fi
/usr/bin/time -v "$collect" "$big" 2>&1 | grep -E "collect_dir:|Maximum resident"
