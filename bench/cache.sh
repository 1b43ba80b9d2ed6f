#!/usr/bin/env bash
# The checksum cache: a first scan (the cache new) against a second (every
# entry there), on bench/scan.sh's corpora, page cache warm:
#   nesdigests  2,000 archives of 5 NES members with --md5 --sha1: the second
#               scan against the first, and against the listing of the same
#               archives in normal mode without a cache
#   onerom      100,000 one-ROM archives in normal mode (not cached: their rows
#               come from the directory): with a warm cache against --no-cache
#   loose       1 GiB of loose files with --md5 --sha1 --sha256
# and the cache's bytes on disk per rom after each. Prints medians of RUNS.
# Usage: bench/cache.sh [nesdigests|onerom|loose ...]   (all by default)
# Environment: TABULA_CLI (default build-bench/bin/tabula-cli), CORPUS (default
#   /tmp/tabula-scan-corpus, made by bench/scan.sh zipdir onerom), RUNS (default 5).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${TABULA_CLI:-$root/build-bench/bin/tabula-cli}
corpus=${CORPUS:-/tmp/tabula-scan-corpus}
runs=${RUNS:-5}
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(nesdigests onerom loose)
[ -d "$corpus/zips" ] && [ -d "$corpus/onerom" ] ||
    { echo "cache.sh: run bench/scan.sh zipdir onerom first ($corpus)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Medians of: a scan with a new cache, the same scan again, and a reference
# command; prints "first second reference bytes-per-rom". The rows of every
# scan are checked against those of --no-cache.
measure() { # reference command, then tabula-cli's arguments
    python3 - "$cli" "$work/c.sqlite" "$runs" "$@" <<'PY'
import glob, os, statistics, subprocess, sys, time
cli, cache, runs, reference, args = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5:]
def run(command):
    start = time.perf_counter()
    out = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    return time.perf_counter() - start, out.stdout, out.stderr
_, expected, _ = run([cli, "-q", "--no-cache"] + args)
times = [[], [], []]
for _ in range(runs):
    for path in glob.glob(cache + "*"):
        os.remove(path)
    for k in range(2):
        t, out, err = run([cli, "-q", "--cache", cache] + args)
        if out != expected or err:
            sys.exit(f"cache.sh: scan {k + 1} differs from --no-cache: {err.decode()}")
        times[k].append(t)
    times[2].append(run(["bash", "-c", reference])[0])
stats = subprocess.run([cli, "--cache-stats", "--cache", cache], capture_output=True, text=True).stdout
fields = dict(line.split(": ", 1) for line in stats.splitlines() if ": " in line)
roms = int(fields["entries"].split(" files, ")[1].split()[0]) if "entries" in fields else 0
size = int(fields.get("size on disk", "0 bytes").split()[0])
print(" ".join(f"{statistics.median(t):.3f}" for t in times), f"{size / roms:.0f}" if roms else "-")
PY
}

echo "| case | first scan | second scan | second / first | reference | second / reference | bytes per rom |"
echo "|---|---|---|---|---|---|---|"
row() { # name, reference name, first, second, reference, bytes
    awk -v n="$1" -v rn="$2" -v f="$3" -v s="$4" -v r="$5" -v b="$6" 'BEGIN {
        printf "| %s | %s s | %s s | %.3f | %s %s s | %.3f | %s |\n", n, f, s, s / f, rn, r, s / r, b }'
}
for c in "${cases[@]}"; do
    case $c in
    nesdigests)
        read -r f s r b < <(measure "$cli -q --no-cache $corpus/zips" --nes --md5 --sha1 "$corpus/zips")
        row "2,000 archives x 5, NES, MD5 + SHA-1" "normal-mode listing, no cache" "$f" "$s" "$r" "$b"
        ;;
    onerom)
        read -r f s r b < <(measure "$cli -q --no-cache $corpus/onerom" "$corpus/onerom")
        row "100,000 one-ROM archives, normal mode" "--no-cache" "$f" "$s" "$r" "$b"
        ;;
    loose)
        read -r f s r b < <(measure "rhash --crc32 --md5 --sha1 --sha256 $corpus/loose/* >/dev/null" \
            --md5 --sha1 --sha256 "$corpus/loose")
        row "1 GiB loose, MD5 + SHA-1 + SHA-256" "rhash, the same digests" "$f" "$s" "$r" "$b"
        ;;
    *)
        echo "cache.sh: unknown case $c (nesdigests, onerom, loose)" >&2
        exit 2
        ;;
    esac
done
