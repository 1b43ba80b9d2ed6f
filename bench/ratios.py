#!/usr/bin/env python3
"""Ratios of a Google Benchmark run against its reference benchmark.

Usage: bench/ratios.py RUN.json REFERENCE

RUN.json comes from --benchmark_out=RUN.json --benchmark_out_format=json.
For every benchmark "NAME/ARG", prints its bytes per second and the ratio to
"REFERENCE/ARG" of the same run. With --benchmark_repetitions the medians are
used, otherwise the single runs.
"""
import json
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip())
    with open(sys.argv[1]) as f:
        run = json.load(f)
    reference = sys.argv[2]
    rows = run["benchmarks"]
    if any(r.get("aggregate_name") == "median" for r in rows):
        rows = [r for r in rows if r.get("aggregate_name") == "median"]
    speed = {}
    for r in rows:
        name = r["run_name"]
        if "bytes_per_second" in r:
            speed[name] = r["bytes_per_second"]
    for name, bps in speed.items():
        base, _, arg = name.partition("/")
        ref = speed.get(f"{reference}/{arg}" if arg else reference)
        ratio = f"{bps / ref:8.1f}x" if ref else "         "
        print(f"{name:30} {bps / 1e9:9.2f} GB/s {ratio}")


if __name__ == "__main__":
    main()
