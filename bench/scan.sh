#!/usr/bin/env bash
# Whole-program timings of tabula-cli against reference tools on the same data:
#   loose   1 GiB of loose files (512 x 2 MiB)      vs  rhash --crc32, and vs cat
#   zipdir  2,000 zip archives of 5 members          vs  unzip -v (central directories)
#   nes     the same archives, 16-byte header cut    vs  unzip -p | tail -c +17 | rhash --crc32 -
#   trusted the same with --trust-zip-crc            vs  tabula-cli --nes (the full extraction)
#   nesmem  the full extraction (--nes)              vs  Python zipfile + zlib.crc32 in memory
#   hashes  64 x 16 MiB loose, CRC + MD5 + SHA-1      vs  rhash --crc32 --md5 --sha1
#   neshashes the archives in NES mode with digests  vs  Python zipfile + hashlib + zlib in memory
#   hashmem peak memory of a 1.9 GiB file with digests
#   members NES on archives of 8,000, 16,000 and 32,000 empty stored members (time per size)
#   many    directories of 25,000, 50,000 and 100,000 small files, saved with -o: time,
#           time per file and peak memory (vs rhash --crc32 over the same files)
#   sevenz  2,000 7z archives of 5 members (LZMA2, solid, header compressed as 7z a makes
#           them), listed in normal mode  vs  7z l -slt over them
#   onerom  100,000 archives of one 8-40 KiB deflated NES ROM: the listing vs unzip -v,
#           NES with trusted CRCs vs itself with --jobs 1 and vs the listing
# Every run reads from the page cache (one warm-up read first). Prints the
# median wall time of RUNS runs per command and the ratio tabula / reference,
# after checking that tabula-cli's CRCs agree with the reference's.
#
# Usage: bench/scan.sh [loose|zipdir|nes|trusted|nesmem|hashes|neshashes|hashmem|members|many|onerom|detect|sevenz ...]
#   (all by default)
# Environment: TABULA_CLI (default build-bench/bin/tabula-cli, built if missing),
#   CORPUS (default /tmp/tabula-scan-corpus), RUNS (default 5), NES_RUNS (default 3),
#   JOBS (tabula-cli's --jobs; unset: its default, one worker per processor).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli=${TABULA_CLI:-$root/build-bench/bin/tabula-cli}
corpus=${CORPUS:-/tmp/tabula-scan-corpus}
runs=${RUNS:-5}
nes_runs=${NES_RUNS:-3}
# Every timed run reads every file: the checksum cache is the case of
# bench/cache.sh.
jobs="${JOBS:+ --jobs $JOBS} --no-cache"
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(loose zipdir nes trusted detect nesmem hashes neshashes hashmem members many onerom sevenz)

if [ -z "${TABULA_CLI:-}" ] && [ ! -x "$cli" ]; then
    (cd "$root" && cmake --preset bench -DTABULA_BUILD_GUI=OFF >/dev/null &&
        nice cmake --build build-bench -j2 >/dev/null)
fi
for tool in rhash unzip zipinfo python3; do
    command -v "$tool" >/dev/null || { echo "scan.sh: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done

# --- corpora ---------------------------------------------------------------
make_corpus() {
    local stamp="$corpus/.complete-v1"
    [ -e "$stamp" ] && return
    echo "scan.sh: building the corpora in $corpus" >&2
    rm -rf "$corpus"
    mkdir -p "$corpus/loose" "$corpus/zips"
    python3 - "$corpus" <<'PY'
import os, random, sys, zipfile
root = sys.argv[1]
rng = random.Random(1)
# Loose ROMs: incompressible bytes, 2 MiB each.
for i in range(512):
    with open(os.path.join(root, "loose", f"Game {i:04d}.bin"), "wb") as f:
        f.write(rng.randbytes(2 << 20))
# Archives: 5 members of 128 KiB plus a 16-byte header each; half of every
# member is random, half repeats, so deflate has work to do both ways.
for a in range(2000):
    with zipfile.ZipFile(os.path.join(root, "zips", f"Set {a:04d}.zip"), "w",
                         zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for m in range(1, 6):
            body = rng.randbytes(64 << 10) + bytes([a % 251, m]) * (32 << 10)
            z.writestr(f"game-{a:04d}-{m}.nes", b"NES\x1a" + bytes(12) + body)
PY
    touch "$stamp"
}

# --- timing ----------------------------------------------------------------
# Median wall time in seconds of n runs of a shell command.
median() {
    local n=$1 cmd=$2 times=() start end
    for ((i = 0; i < n; i++)); do
        start=$(date +%s%N)
        bash -c "$cmd" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=("$(((end - start) / 1000000))")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 / 1000 } END { m = int((NR + 1) / 2); printf "%.3f", (NR % 2) ? t[m] : (t[m] + t[m + 1]) / 2 }'
}

# Median wall times of n runs each of two commands, run in turn (A B A B ...)
# so both meet the same page cache and the same load; prints "A B". Each
# command is a shell word list run without a shell, so neither pays for one.
median_pair() {
    python3 - "$1" "$2" "$3" <<'PY'
import shlex, statistics, subprocess, sys, time
n, commands = int(sys.argv[1]), [shlex.split(c) for c in sys.argv[2:4]]
times = [[], []]
for _ in range(n):
    for k, args in enumerate(commands):
        start = time.perf_counter()
        subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times[k].append(time.perf_counter() - start)
print(" ".join(f"{statistics.median(t):.3f}" for t in times))
PY
}

report() { # name, tabula seconds, reference seconds, reference command
    awk -v name="$1" -v t="$2" -v r="$3" -v cmd="$4" \
        'BEGIN { printf "| %s | %s s | %s s | %.3f | `%s` |\n", name, t, r, t / r, cmd }'
}

q() { printf '%q' "$1"; }

# tabula-cli's rows as "name crc" lines (rom name, crc), sorted.
tabula_crcs() { "$cli" -q "$@" | awk -F'\t' '{ print tolower($5), toupper($6) }' | sort; }

check_loose() {
    diff <(tabula_crcs "$corpus/loose") \
        <(cd "$corpus/loose" && rhash --crc32 --printf '%p %C\n' -- * | awk '{ crc = $NF; $NF = ""; sub(/ $/, ""); print tolower($0), toupper(crc) }' | sort) \
        >/dev/null || { echo "scan.sh: tabula-cli and rhash disagree on loose files" >&2; exit 1; }
}

check_zipdir() {
    diff <(tabula_crcs "$corpus/zips") \
        <(unzip -v "$corpus/zips/*.zip" | awk '$8 ~ /\.nes$/ { print $8, toupper($7) }' | sort) \
        >/dev/null || { echo "scan.sh: tabula-cli and unzip -v disagree" >&2; exit 1; }
}

check_nes() {
    local dir=$corpus/nes-check
    rm -rf "$dir" && mkdir -p "$dir" && cp "$corpus/zips/Set 000"[0-9].zip "$dir/"
    diff <(tabula_crcs --nes "$dir") \
        <(for z in "$dir"/*.zip; do
              for m in $(zipinfo -1 "$z"); do
                  printf '%s %s\n' "$m" "$(unzip -p "$z" "$m" | tail -c +17 | rhash --crc32 --printf '%C' -)"
              done
          done | sort) \
        >/dev/null || { echo "scan.sh: tabula-cli --nes and unzip|tail|rhash disagree" >&2; exit 1; }
}

nes_reference() {
    cat <<SH
for z in $(q "$corpus/zips")/*.zip; do
    for m in \$(zipinfo -1 "\$z"); do unzip -p "\$z" "\$m" | tail -c +17 | rhash --crc32 -; done
done
SH
}

make_corpus
echo "| case | tabula-cli | reference | ratio | reference command |"
echo "|---|---|---|---|---|"
for c in "${cases[@]}"; do
    case $c in
    loose)
        check_loose
        cat "$corpus"/loose/* >/dev/null
        t=$(median "$runs" "$(q "$cli")$jobs -q $(q "$corpus/loose")")
        r=$(median "$runs" "rhash --crc32 $(q "$corpus/loose")/*")
        report "1 GiB loose, 512 files" "$t" "$r" "rhash --crc32 loose/*"
        read -r t r < <(median_pair "$runs" "$(q "$cli")$jobs -q $(q "$corpus/loose")" \
            "cat $(printf '%q ' "$corpus"/loose/*)")
        report "1 GiB loose, 512 files" "$t" "$r" "cat loose/* >/dev/null"
        ;;
    zipdir)
        check_zipdir
        cat "$corpus"/zips/* >/dev/null
        # unzip expands the quoted wildcard itself.
        read -r t r < <(median_pair "$runs" "$(q "$cli")$jobs -q $(q "$corpus/zips")" \
            "unzip -v $(q "$corpus/zips/*.zip")")
        report "2,000 archives x 5 members, directories" "$t" "$r" "unzip -v 'zips/*.zip'"
        ;;
    nes)
        check_nes
        cat "$corpus"/zips/* >/dev/null
        t=$(median "$nes_runs" "$(q "$cli")$jobs -q --nes $(q "$corpus/zips")")
        r=$(median "$nes_runs" "$(nes_reference)")
        report "2,000 archives x 5 members, NES" "$t" "$r" "unzip -p | tail -c +17 | rhash --crc32 - per member"
        ;;
    trusted)
        check_dir=$corpus/nes-check
        rm -rf "$check_dir" && mkdir -p "$check_dir" && cp "$corpus/zips/Set 000"[0-9].zip "$check_dir/"
        diff <(tabula_crcs --nes --trust-zip-crc "$check_dir") <(tabula_crcs --nes "$check_dir") >/dev/null ||
            { echo "scan.sh: --trust-zip-crc and the full extraction disagree" >&2; exit 1; }
        cat "$corpus"/zips/* >/dev/null
        read -r t r < <(median_pair "$nes_runs" "$(q "$cli")$jobs -q --nes --trust-zip-crc $(q "$corpus/zips")" \
            "$(q "$cli")$jobs -q --nes $(q "$corpus/zips")")
        report "2,000 archives x 5 members, NES, trusted CRCs" "$t" "$r" "tabula-cli --nes (full extraction)"
        ;;
    detect)
        # Headers found by their content against NES mode, both with trusted CRCs.
        diff <(tabula_crcs --nes --trust-zip-crc "$corpus/zips") \
            <(tabula_crcs --detect-headers --trust-zip-crc "$corpus/zips") >/dev/null ||
            { echo "scan.sh: --detect-headers and --nes disagree" >&2; exit 1; }
        cat "$corpus"/zips/* >/dev/null
        read -r t r < <(median_pair "$runs" "$(q "$cli")$jobs -q --detect-headers --trust-zip-crc $(q "$corpus/zips")" \
            "$(q "$cli")$jobs -q --nes --trust-zip-crc $(q "$corpus/zips")")
        report "2,000 archives x 5 members, detected headers, trusted CRCs" "$t" "$r" "tabula-cli --nes --trust-zip-crc"
        ;;
    sevenz)
        # The zip corpus's members again, as 7z archives made by 7z a with its
        # defaults but the fastest level (the listing does not depend on it).
        dir=$corpus/sevenz
        if [ ! -e "$corpus/.sevenz-complete" ]; then
            rm -rf "$dir" && mkdir -p "$dir"
            printf '%s\n' "$corpus"/zips/*.zip | xargs -P 2 -I{} bash -c '
                z=$1 out=$2/$(basename "$1" .zip).7z tmp=$(mktemp -d)
                (cd "$tmp" && unzip -q "$z" && 7z a -bd -bso0 -mx=1 "$out" ./*) && rm -rf "$tmp"' _ {} "$dir"
            touch "$corpus/.sevenz-complete"
        fi
        command -v 7z >/dev/null || { echo "scan.sh: 7z is missing (scripts/setup.sh)" >&2; exit 1; }
        diff <(tabula_crcs "$dir") \
            <(7z l -slt "$dir/*.7z" | awk '/^Path = .*\.nes$/ { p = tolower($3) } /^CRC = / && p { print p, $3; p = "" }' | sort) \
            >/dev/null || { echo "scan.sh: tabula-cli and 7z l -slt disagree" >&2; exit 1; }
        cat "$dir"/*.7z >/dev/null
        read -r t r < <(median_pair "$runs" "$(q "$cli")$jobs -q $(q "$dir")" "7z l -slt $(q "$dir/*.7z")")
        report "2,000 7z archives x 5 members, listed" "$t" "$r" "7z l -slt"
        ;;
    nesmem)
        # Each member inflated in memory, its first 16 bytes cut, summed.
        script=$corpus/nes-in-memory.py
        cat >"$script" <<'PY'
import os, sys, zipfile, zlib
d = sys.argv[1]
for name in sorted(os.listdir(d)):
    if name.endswith(".zip"):
        with zipfile.ZipFile(os.path.join(d, name)) as z:
            for info in z.infolist():
                data = z.read(info)
                print(info.filename.lower(), "%08X" % zlib.crc32(data[16:]))
PY
        diff <(tabula_crcs --nes "$corpus/zips") <(python3 "$script" "$corpus/zips" | sort) >/dev/null ||
            { echo "scan.sh: tabula-cli --nes and the Python script disagree" >&2; exit 1; }
        cat "$corpus"/zips/* >/dev/null
        read -r t r < <(median_pair "$nes_runs" "$(q "$cli")$jobs -q --nes $(q "$corpus/zips")" \
            "python3 $(q "$script") $(q "$corpus/zips")")
        report "2,000 archives x 5 members, NES" "$t" "$r" "Python zipfile + zlib.crc32 in memory"
        ;;
    hashes)
        # CRC, MD5 and SHA-1 over 1 GiB of loose files (64 x 16 MiB), in one pass.
        big=$corpus/big
        if [ ! -e "$corpus/.big-complete" ]; then
            mkdir -p "$big"
            python3 -c 'import os, random, sys
rng = random.Random(2)
for i in range(64):
    open(os.path.join(sys.argv[1], f"Disc {i:02d}.bin"), "wb").write(rng.randbytes(16 << 20))' "$big"
            touch "$corpus/.big-complete"
        fi
        diff <("$cli" -q --md5 --sha1 "$big" | awk -F'\t' '{ print tolower($6), $8, $9 }' | sort) \
            <(cd "$big" && rhash --crc32 --md5 --sha1 --printf '%c %m %h\n' -- *.bin | tr 'A-F' 'a-f' | sort) \
            >/dev/null || { echo "scan.sh: tabula-cli and rhash disagree on the digests" >&2; exit 1; }
        cat "$big"/*.bin >/dev/null
        read -r t r < <(median_pair "$runs" "$(q "$cli")$jobs -q --md5 --sha1 $(q "$big")" \
            "rhash --crc32 --md5 --sha1 $(printf '%q ' "$big"/*.bin)")
        report "1 GiB loose, 64 files, CRC + MD5 + SHA-1" "$t" "$r" "rhash --crc32 --md5 --sha1"
        ;;
    neshashes)
        # Each member inflated in memory, its first 16 bytes cut, its three checksums taken.
        script=$corpus/nes-hashes.py
        cat >"$script" <<'PY'
import hashlib, os, sys, zipfile, zlib
d = sys.argv[1]
for name in sorted(os.listdir(d)):
    if name.endswith(".zip"):
        with zipfile.ZipFile(os.path.join(d, name)) as z:
            for info in z.infolist():
                data = z.read(info)[16:]
                print(info.filename.lower(), "%08x" % zlib.crc32(data),
                      hashlib.md5(data).hexdigest(), hashlib.sha1(data).hexdigest())
PY
        diff <("$cli" -q --nes --md5 --sha1 "$corpus/zips" | awk -F'\t' '{ print $5, tolower($6), $8, $9 }' | sort) \
            <(python3 "$script" "$corpus/zips" | sort) >/dev/null ||
            { echo "scan.sh: tabula-cli --nes --md5 --sha1 and the Python script disagree" >&2; exit 1; }
        cat "$corpus"/zips/* >/dev/null
        read -r t r < <(median_pair "$nes_runs" "$(q "$cli")$jobs -q --nes --md5 --sha1 $(q "$corpus/zips")" \
            "python3 $(q "$script") $(q "$corpus/zips")")
        report "2,000 archives x 5 members, NES, CRC + MD5 + SHA-1" "$t" "$r" "Python zipfile + hashlib + zlib in memory"
        ;;
    hashmem)
        # Peak memory of one 1.9 GiB loose file with its digests.
        one=$corpus/one-big
        mkdir -p "$one"
        [ -e "$one/disc.iso" ] || head -c $((1900 << 20)) /dev/urandom >"$one/disc.iso"
        cat "$one/disc.iso" >/dev/null
        kb=$(/usr/bin/time -f %M "$cli" -q --md5 --sha1 "$one" 2>&1 >/dev/null | tail -1)
        echo "| 1.9 GiB loose file, CRC + MD5 + SHA-1: peak memory | $((kb / 1024)) MiB | | | |"
        ;;
    members)
        for n in 8000 16000 32000; do
            dir=$corpus/members-$n
            if [ ! -e "$dir/many.zip" ]; then
                mkdir -p "$dir"
                python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for i in range(int(sys.argv[2])): z.writestr(f"member-{i:05d}.nes", b"")' "$dir/many.zip" "$n"
            fi
            read -r t _ < <(median_pair "$nes_runs" "$(q "$cli")$jobs -q --nes $(q "$dir")" true)
            echo "| $n empty stored members, NES | $t s |"
        done
        ;;
    many)
        for n in 25000 50000 100000; do
            dir=$corpus/many-$n
            if [ ! -e "$dir/.complete" ]; then
                rm -rf "$dir" && mkdir -p "$dir"
                python3 -c 'import sys
for i in range(int(sys.argv[2])):
    with open(f"{sys.argv[1]}/Game {i:06d} (World).nes", "wb") as f:
        f.write(b"NES\x1a" + bytes(12) + i.to_bytes(4, "little") * 8)' "$dir" "$n"
                touch "$dir/.complete"
            fi
            out=$(mktemp)
            read -r t r < <(median_pair "$nes_runs" "$(q "$cli")$jobs -q --nes -o $(q "$out") $(q "$dir")" \
                "rhash --crc32 -r $(q "$dir")")
            rss=$( { /usr/bin/time -f %M "$cli" -q --nes -o "$out" "$dir"; } 2>&1 >/dev/null | tail -n 1)
            rm -f "$out"
            awk -v n="$n" -v t="$t" -v r="$r" -v m="$rss" 'BEGIN {
                printf "| %d small files, NES, -o | %s s | %.1f us/file | %.1f MB peak | rhash %s s (%.2f) |\n",
                       n, t, t / n * 1e6, m / 1024, r, t / r }'
        done
        ;;
    onerom)
        # 100,000 archives of one NES ROM each, 8 to 40 KiB deflated (half of
        # each ROM random, half a repeated pattern), as a cartridge collection
        # keeps them.
        dir=$corpus/onerom
        if [ ! -e "$corpus/.onerom-complete" ]; then
            rm -rf "$dir" && mkdir -p "$dir"
            python3 - "$dir" <<'PY'
import os, random, sys, zipfile
from concurrent.futures import ProcessPoolExecutor
root = sys.argv[1]
def make(first):
    rng = random.Random(first)
    for i in range(first, first + 1000):
        half = rng.randrange(8 << 10, 40 << 10)
        body = rng.randbytes(half) + bytes([i % 251, 7]) * (half // 2)
        with zipfile.ZipFile(os.path.join(root, f"Game {i:06d} (World).zip"), "w",
                             zipfile.ZIP_DEFLATED, compresslevel=6) as z:
            z.writestr(f"Game {i:06d} (World).nes", b"NES\x1a" + bytes(12) + body)
with ProcessPoolExecutor() as pool:
    list(pool.map(make, range(0, 100000, 1000)))
PY
            touch "$corpus/.onerom-complete"
        fi
        check=$corpus/onerom-check
        rm -rf "$check" && mkdir -p "$check" && cp "$dir/Game 00000"[0-9]" (World).zip" "$check/"
        diff <(tabula_crcs --nes --trust-zip-crc "$check") <(tabula_crcs --nes "$check") >/dev/null ||
            { echo "scan.sh: --trust-zip-crc and the full extraction disagree" >&2; exit 1; }
        find "$dir" -name '*.zip' -exec cat {} + >/dev/null
        read -r t r < <(median_pair "$runs" "$(q "$cli")$jobs -q $(q "$dir")" "unzip -v $(q "$dir/*.zip")")
        report "100,000 one-ROM archives, directories" "$t" "$r" "unzip -v 'onerom/*.zip'"
        listing=$t
        read -r t r < <(median_pair "$runs" "$(q "$cli")$jobs -q --nes --trust-zip-crc $(q "$dir")" \
            "$(q "$cli") --no-cache --jobs 1 -q --nes --trust-zip-crc $(q "$dir")")
        report "100,000 one-ROM archives, NES, trusted CRCs" "$t" "$r" "the same with --jobs 1"
        report "100,000 one-ROM archives, NES, trusted CRCs" "$t" "$listing" "the listing above"
        ;;
    *)
        echo "scan.sh: unknown case $c (loose, zipdir, nes, trusted, nesmem, hashes, neshashes, hashmem, members, many, onerom, detect, sevenz)" >&2
        exit 2
        ;;
    esac
done
