#!/usr/bin/env bash
# With one processor (taskset -c 0), each scan of bench/scan.sh's corpora by
# this tabula-cli against an older one (the scan before workers, say), run in
# turn so both meet the same page cache; prints medians and the ratio.
# Usage: bench/one_cpu.sh OLD_TABULA_CLI
#   e.g. git worktree add /tmp/old 2caf9c0 && (cd /tmp/old && cmake --preset bench
#        -DTABULA_BUILD_GUI=OFF && cmake --build build-bench --target tabula-cli unziplib)
# Environment: TABULA_CLI (default build-bench/bin/tabula-cli), CORPUS
#   (default /tmp/tabula-scan-corpus, made by bench/scan.sh), RUNS (default 5).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
old=${1:?usage: one_cpu.sh OLD_TABULA_CLI}
new=${TABULA_CLI:-$root/build-bench/bin/tabula-cli}
corpus=${CORPUS:-/tmp/tabula-scan-corpus}
runs=${RUNS:-5}

cases=(
    "2,000 archives x 5, listing|-q $corpus/zips"
    "2,000 archives x 5, NES, trusted CRCs|-q --nes --trust-zip-crc $corpus/zips"
    "2,000 archives x 5, NES, full extraction|-q --nes $corpus/zips"
    "2,000 archives x 5, NES, CRC + MD5 + SHA-1|-q --nes --md5 --sha1 $corpus/zips"
    "1 GiB loose, 64 files, CRC + MD5 + SHA-1|-q --md5 --sha1 $corpus/big"
    "100,000 one-ROM archives, listing|-q $corpus/onerom"
    "100,000 one-ROM archives, NES, trusted CRCs|-q --nes --trust-zip-crc $corpus/onerom"
)

echo "| case (taskset -c 0) | this tabula-cli | older tabula-cli | ratio |"
echo "|---|---|---|---|"
for entry in "${cases[@]}"; do
    name=${entry%%|*}
    args=${entry#*|}
    python3 - "$runs" "$new" "$old" "$args" "$name" <<'PY'
import statistics, subprocess, sys, time
runs, new, old, args, name = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4].split(), sys.argv[5]
times = [[], []]
for _ in range(runs):
    for k, cli in enumerate((new, old)):
        start = time.perf_counter()
        subprocess.run(["taskset", "-c", "0", cli, *args], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        times[k].append(time.perf_counter() - start)
t, r = (statistics.median(x) for x in times)
print(f"| {name} | {t:.3f} s | {r:.3f} s | {t / r:.3f} |")
PY
done
