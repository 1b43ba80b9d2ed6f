#!/usr/bin/env bash
# Makes the 10,000-member archive that bench_zipdir lists: Info-ZIP zip over
# 10,000 small files named like the members of a ROM collection, so each
# central header carries a typical name and Info-ZIP's usual extra fields.
# Usage: bench/make_zip10k.sh OUT.zip
set -euo pipefail
out=$(realpath -m "${1:?usage: make_zip10k.sh OUT.zip}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/roms"
python3 - "$work/roms" <<'PY'
import os, sys
root = sys.argv[1]
for i in range(10000):
    name = f"Game Title {i:05d} (Europe) (En,Fr,De).nes"
    with open(os.path.join(root, name), "wb") as f:
        f.write(b"NES\x1a" + i.to_bytes(4, "little") * 8)
PY
mkdir -p "$(dirname "$out")"
rm -f "$out"
(cd "$work" && zip -q -r -X -D "$out" roms)
echo "$out: $(unzip -Z1 "$out" | wc -l) entries, $(stat -c %s "$out") bytes"
