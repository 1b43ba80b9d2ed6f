#!/usr/bin/env bash
# Makes a folder of ARCHIVES zip archives of MEMBERS empty members each (the
# rows of a datafile of ARCHIVES * MEMBERS lines), for measuring what
# tabula-cli -o holds while it writes a large datafile. One archive is built
# by Python's zipfile; the others are hard links to it under their own
# names, so the folder costs one archive's space and every set still gets
# its own name.
# Usage: bench/make_many_rows.sh OUT_DIR [ARCHIVES [MEMBERS]]
set -euo pipefail
out=$(realpath -m "${1:?usage: make_many_rows.sh OUT_DIR [ARCHIVES [MEMBERS]]}")
archives=${2:-2500}
members=${3:-2000}
mkdir -p "$out"
python3 - "$out/set00000.zip" "$members" <<'PY'
import sys, zipfile
path, members = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as archive:
    for i in range(members):
        archive.writestr(f"Game Title {i:05d} (Europe).nes", b"")
PY
for ((i = 1; i < archives; i++)); do
    ln -f "$out/set00000.zip" "$(printf '%s/set%05d.zip' "$out" "$i")"
done
echo "$out: $archives archives of $members members, $((archives * members)) rows"
