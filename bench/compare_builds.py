#!/usr/bin/env python3
"""Times two builds of tabula-cli on the corpora of bench/scan.sh, alternately.

Each case runs N times per build, the builds taking turns (which goes first
alternates too), so a machine that slows down part way through slows both
alike. Prints the median wall and CPU time (user + system, from wait4) of
each build and their ratio, as a Markdown table.

Usage: bench/compare_builds.py BEFORE_CLI AFTER_CLI [CASE ...]
  cases: zipdir nes trusted detect sevenz loose (all by default)
Environment: CORPUS (default /tmp/tabula-scan-corpus; bench/scan.sh builds
  it), N (default 41; the nes case runs N // 8, at least 3).
"""
import os
import statistics
import subprocess
import sys
import time

corpus = os.environ.get("CORPUS", "/tmp/tabula-scan-corpus")
runs = int(os.environ.get("N", "41"))
CASES = {
    "zipdir": ["-q", f"{corpus}/zips"],
    "nes": ["-q", "--nes", f"{corpus}/zips"],
    "trusted": ["-q", "--nes", "--trust-zip-crc", f"{corpus}/zips"],
    "detect": ["-q", "--detect-headers", "--trust-zip-crc", f"{corpus}/zips"],
    "sevenz": ["-q", f"{corpus}/sevenz"],
    "loose": ["-q", f"{corpus}/loose"],
}


def run(cli, args):
    start = time.perf_counter()
    child = subprocess.Popen([cli] + args, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if os.waitstatus_to_exitcode(status) not in (0, 1):
        sys.exit(f"{cli} {' '.join(args)}: exit status {status}")
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    before, after = sys.argv[1], sys.argv[2]
    names = sys.argv[3:] or list(CASES)
    print("| case | N | before wall | after wall | ratio | before CPU | after CPU | ratio |")
    print("|---|---|---|---|---|---|---|---|")
    for name in names:
        args = CASES[name]
        n = max(3, runs // 8) if name == "nes" else runs
        run(before, args), run(after, args)  # warm the page cache
        timings = {before: [], after: []}
        for i in range(n):
            order = (before, after) if i % 2 else (after, before)
            for cli in order:
                timings[cli].append(run(cli, args))
        wall = [statistics.median(t[0] for t in timings[c]) for c in (before, after)]
        cpu = [statistics.median(t[1] for t in timings[c]) for c in (before, after)]
        print(f"| {name} | {n} | {wall[0]:.4f} s | {wall[1]:.4f} s | {wall[1] / wall[0]:.3f} "
              f"| {cpu[0]:.4f} s | {cpu[1]:.4f} s | {cpu[1] / cpu[0]:.3f} |", flush=True)


if __name__ == "__main__":
    main()
