#!/usr/bin/env bash
# Opening a 100,000-row Logiqx datafile: "Open datafile ..." in the window (the
# command alone: read, rows in place, columns fitted; offscreen platform) and
# `tabula-cli --from FILE --format logiqx -o OUT` (the whole process), against
# `xmllint --noout --stream FILE` (libxml2 reading the same file, nothing
# built) as the reference measured in the same run. Medians of RUNS.
# Usage: bench/open_datafile.sh
# Environment: BUILD (default build-bench, built if missing), CORPUS (default
#   /tmp/tabula-open-corpus), RUNS (default 5).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-bench}
corpus=${CORPUS:-/tmp/tabula-open-corpus}
runs=${RUNS:-5}

if [ ! -x "$build/bin/window_scan" ] || [ ! -x "$build/bin/tabula-cli" ]; then
    (cd "$root" && cmake --preset bench >/dev/null &&
        nice cmake --build "$build" -j2 --target window_scan tabula-cli >/dev/null)
fi
export QT_QPA_PLATFORM=offscreen
mkdir -p "$corpus"
file=$corpus/rows100k.xml

# 50,000 games of two roms each, with CRC, MD5 and SHA-1, in tabula's layout.
if [ ! -e "$file" ]; then
    python3 - "$file.tmp" <<'PY'
import hashlib, sys, zlib
out = open(sys.argv[1], "w", encoding="utf-8")
out.write('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE datafile\nPUBLIC "-//Logiqx//DTD ROM '
          'Management Datafile//EN"\n       "http://www.logiqx.com/Dats/datafile.dtd">\n<datafile>\n'
          '\t<header>\n\t\t<name>bench</name>\n\t\t<description>bench</description>\n'
          '\t\t<version>1</version>\n\t\t<date>2026-12-08</date>\n\t\t<author>bench</author>\n'
          '\t</header>\n')
for g in range(50000):
    name = f"Game Title {g:05d} (Europe)"
    out.write(f'\t<game name="{name}">\n\t\t<description>{name}</description>\n')
    for r in range(2):
        data = f"{g}-{r}".encode()
        out.write(f'\t\t<rom name="{name} (Disk {r + 1}).nes" size="{131072 + g}" '
                  f'crc="{zlib.crc32(data):08x}" sha1="{hashlib.sha1(data).hexdigest()}" '
                  f'md5="{hashlib.md5(data).hexdigest()}"/>\n')
    out.write('\t</game>\n')
out.write('</datafile>\n')
PY
    mv "$file.tmp" "$file"
fi

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
timed() { # seconds of one run of the command
    local start end
    start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

window=$("$build/bin/window_scan" open "$file" "$runs" | awk '{ print $2 }' | median)
cli=$(for _ in $(seq "$runs"); do timed "$build/bin/tabula-cli" --from "$file" --format logiqx \
    -o "$corpus/out.xml"; done | median)
ref=$(for _ in $(seq "$runs"); do timed xmllint --noout --stream "$file"; done | median)
cmp -s "$file" "$corpus/out.xml" && same="same bytes" || same="DIFFERENT bytes"
rows=$("$build/bin/tabula-cli" --from "$file" | wc -l)
printf '%s rows, %s bytes; tabula-cli wrote back %s\n' "$rows" "$(stat -c %s "$file")" "$same"
printf 'window Open datafile %.3f s  (%.2fx xmllint --stream)\n' "$window" "$(echo "$window / $ref" | bc -l)"
printf 'tabula-cli --from -o %.3f s  (%.2fx xmllint --stream)\n' "$cli" "$(echo "$cli / $ref" | bc -l)"
printf 'xmllint --stream     %.3f s\n' "$ref"
