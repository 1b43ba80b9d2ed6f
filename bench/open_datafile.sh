#!/usr/bin/env bash
# Opening Logiqx datafiles: "Open datafile ..." in the window (the command
# alone: read, rows in place, columns fitted; offscreen platform) and
# `tabula-cli --from FILE --format F -o OUT` (the whole process), against
# `xmllint --noout --stream FILE` (libxml2 reading the same file, nothing
# built) as the reference measured in the same run. Medians of RUNS; peak
# memory (maximum resident set) of one run of each.
# Two files: 100,000 rows in tabula's own layout, written back as Logiqx; and
# 100,000 games with two elements each that no format tabula writes knows
# (kept in their trees), converted to ClrMamePro.
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

# 100,000 games of one rom each, each with two elements tabula does not know.
kept=$corpus/kept100k.xml
if [ ! -e "$kept" ]; then
    python3 - "$kept.tmp" <<'PY'
import hashlib, sys, zlib
out = open(sys.argv[1], "w", encoding="utf-8")
out.write('<?xml version="1.0"?>\n<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management '
          'Datafile//EN" "http://www.logiqx.com/Dats/datafile.dtd">\n<datafile>\n\t<header>\n'
          '\t\t<name>bench</name>\n\t\t<description>bench</description>\n'
          '\t\t<version>1</version>\n\t\t<author>bench</author>\n\t</header>\n')
for g in range(100000):
    name = f"Machine {g:06d} (World)"
    data = f"{g}".encode()
    out.write(f'\t<machine name="{name}" sourcefile="src{g % 500}.cpp">\n'
              f'\t\t<description>{name}</description>\n\t\t<year>19{80 + g % 20}</year>\n'
              f'\t\t<rom name="m{g:06d}.bin" size="{65536 + g}" crc="{zlib.crc32(data):08x}" '
              f'sha1="{hashlib.sha1(data).hexdigest()}"/>\n'
              f'\t\t<device_ref name="z80"/>\n\t\t<feature type="sound" status="imperfect"/>\n'
              '\t</machine>\n')
out.write('</datafile>\n')
PY
    mv "$kept.tmp" "$kept"
fi

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
timed() { # seconds of one run of the command
    local start end
    start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

peak() { # kilobytes of the largest resident set of one run
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
}

measure() { # FILE FORMAT
    local file=$1 format=$2 window cli ref
    window=$("$build/bin/window_scan" open "$file" "$runs" | awk '{ print $2 }' | median)
    cli=$(for _ in $(seq "$runs"); do timed "$build/bin/tabula-cli" --from "$file" \
        --format "$format" -o "$corpus/out"; done | median)
    ref=$(for _ in $(seq "$runs"); do timed xmllint --noout --stream "$file"; done | median)
    local size rows
    size=$(stat -c %s "$file")
    rows=$("$build/bin/tabula-cli" --from "$file" | wc -l)
    printf '%s: %s rows, %s bytes\n' "$(basename "$file")" "$rows" "$size"
    printf 'window Open datafile %.3f s  (%.2fx xmllint --stream)  peak %.2fx the file\n' \
        "$window" "$(echo "$window / $ref" | bc -l)" \
        "$(echo "$(peak "$build/bin/window_scan" open "$file" 1) * 1024 / $size" | bc -l)"
    printf 'tabula-cli --from --format %s -o %.3f s  (%.2fx xmllint --stream)  peak %.2fx the file\n' \
        "$format" "$cli" "$(echo "$cli / $ref" | bc -l)" \
        "$(echo "$(peak "$build/bin/tabula-cli" --from "$file" --format "$format" \
            -o "$corpus/out") * 1024 / $size" | bc -l)"
    printf 'xmllint --stream     %.3f s\n' "$ref"
}

measure "$file" logiqx
cmp -s "$file" "$corpus/out" && echo "tabula-cli wrote back the same bytes" ||
    echo "tabula-cli wrote back DIFFERENT bytes"
measure "$kept" clrmamepro
