#!/usr/bin/env bash
# Trees of folders: tabula-cli -r over 100,000 small files in 1,000 folders of
# 100 against the same files in one flat folder, and the walk over a tree of
# 100,000 empty files against find(1) over it, and against walk_floor, the least
# a walk that learns each file's size does (one fstatat a file, two threads). Builds its corpora once under
# CORPUS (default /tmp/tabula-tree-corpus); needs hyperfine (scripts/setup.sh).
# Environment: TABULA_CLI (default build-bench/bin/tabula-cli), WALK_FLOOR (default
# build-bench/bin/walk_floor), RUNS (default 10).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${TABULA_CLI:-$root/build-bench/bin/tabula-cli}
corpus=${CORPUS:-/tmp/tabula-tree-corpus}
runs=${RUNS:-10}
floor=${WALK_FLOOR:-$root/build-bench/bin/walk_floor}
if [ ! -e "$corpus/.complete" ]; then
    echo "tree.sh: building the corpora in $corpus" >&2
    rm -rf "$corpus"
    python3 - "$corpus" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(1)
os.makedirs(f"{root}/flat")
for d in range(1000):
    for kind in ("tree", "empty"):
        os.makedirs(f"{root}/{kind}/Folder {d:04d}")
    for f in range(100):
        data = rng.randbytes(rng.randint(200, 2000))
        name = f"Game {d:04d}-{f:03d}.bin"
        for path in (f"{root}/tree/Folder {d:04d}/{name}", f"{root}/flat/{name}"):
            with open(path, "wb") as out:
                out.write(data)
        open(f"{root}/empty/Folder {d:04d}/{name}", "wb").close()
PY
    touch "$corpus/.complete"
fi
# The tree and the flat folder give the same CRCs and sizes.
diff <("$cli" -q -r "$corpus/tree" | cut -f5-7 | sort) <("$cli" -q "$corpus/flat" | cut -f5-7 | sort)
# Every file read: no checksum cache.
hyperfine -N --warmup 2 --runs "$runs" \
    "$cli --no-cache -q -r $corpus/tree" "$cli --no-cache -q $corpus/flat" \
    "$cli --no-cache -q -r $corpus/empty" "$cli --no-cache -q -r --zip-only $corpus/empty" \
    "find $corpus/empty -type f" "$floor $corpus/empty"
