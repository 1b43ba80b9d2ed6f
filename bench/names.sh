#!/usr/bin/env bash
# Naming rows from a reference datafile: a generated Logiqx reference of
# ROMS roms (one per game, with CRC, size and SHA-1) read alone as "Open
# datafile" reads it, against the same file read and indexed; then ROWS rows
# named from the index in one step. Medians of RUNS, in one process each.
# Usage: bench/names.sh
# Environment: BUILD (default build-bench, built if missing), CORPUS (default
#   /tmp/tabula-names-corpus), ROMS (default 1000000), ROWS (default 100000),
#   RUNS (default 5).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-bench}
corpus=${CORPUS:-/tmp/tabula-names-corpus}
roms=${ROMS:-1000000}
rows=${ROWS:-100000}
runs=${RUNS:-5}

if [ ! -x "$build/bin/names_match" ]; then
    (cd "$root" && cmake --preset bench -DTABULA_BUILD_GUI=OFF >/dev/null &&
        nice cmake --build "$build" -j2 --target names_match >/dev/null)
fi
mkdir -p "$corpus"
file=$corpus/reference$roms.xml
if [ ! -e "$file" ]; then
    python3 - "$file.tmp" "$roms" <<'PY'
import hashlib, sys, zlib
out = open(sys.argv[1], "w", encoding="utf-8")
out.write('<?xml version="1.0"?>\n<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management '
          'Datafile//EN" "http://www.logiqx.com/Dats/datafile.dtd">\n<datafile>\n\t<header>\n'
          '\t\t<name>reference</name>\n\t\t<description>reference</description>\n'
          '\t\t<version>1</version>\n\t\t<author>bench</author>\n\t</header>\n')
for g in range(int(sys.argv[2])):
    name = f"Game Title {g:07d} (World)"
    data = f"{g}".encode()
    out.write(f'\t<game name="{name}">\n\t\t<description>{name}</description>\n'
              f'\t\t<rom name="{name}.bin" size="{65536 + g % 4096}" '
              f'crc="{zlib.crc32(data):08x}" sha1="{hashlib.sha1(data).hexdigest()}"/>\n'
              '\t</game>\n')
out.write('</datafile>\n')
PY
    mv "$file.tmp" "$file"
fi

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
results=$("$build/bin/names_match" "$file" "$rows" "$runs" 2>"$corpus/summary")
open=$(awk '$1 == "open" { print $2 }' <<<"$results" | median)
index=$(awk '$1 == "index" { print $2 }' <<<"$results" | median)
match=$(awk '$1 == "match" { print $2 }' <<<"$results" | median)
printf '%s: %s roms, %s bytes\n' "$(basename "$file")" "$roms" "$(stat -c %s "$file")"
printf 'read alone (Open datafile)   %.3f s\n' "$open"
printf 'read and indexed             %.3f s  (%.2fx the read alone)\n' "$index" \
    "$(echo "$index / $open" | bc -l)"
printf '%s rows named in one step  %.3f s\n' "$rows" "$match"
tail -1 "$corpus/summary"
