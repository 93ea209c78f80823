#!/usr/bin/env python3
"""Benchmarks of two builds of Tindra side by side, as ratios measured in one run.

    bench/compare_builds.py BEFORE_BUILD AFTER_BUILD [--rounds 3]

Runs the same Google Benchmark programs of both builds one right after the other, round after
round (so both see the same machine load), and prints each benchmark's median wall time in both
builds and their ratio (after / before). The cases are the ones a user feels:
  shownWindow/3       the signing window of a 3-page letter, constructed and shown
  shownWindow/20000   the same for a letter of 20,000 pages
  firstPage/3, /20000 the same until the window's first page is drawn (its tiles are in)
  readyToSign         the same until "Firmar" no longer waits (search and form reading ended)
  turnToUncachedPage  the preview turned to a page not drawn yet, until its tiles are in
  cacheOverAllPages   the preview scrolled over all 200 pages
  BM_BatchOf100       100 three-page letters searched for their place, as a batch does
  BM_PlacementsPerPage, BM_OnePageScan, BM_LongManual  the placement search on long files
Both builds must have been made with the benchmarks (TINDRA_BENCH=ON).
A benchmark, not a test: it never fails on a number.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys

# (program, benchmarks, repetitions a round: the cases of a few milliseconds are run more often,
# so that one busy moment of the machine does not decide their median)
CASES = [
    ("bench_signing_panel", "shownWindow/3/|readyToSign", 7),
    ("bench_signing_panel", "shownWindow/20000/|firstPage", 3),
    ("bench_preview", "turnToUncachedPage|cacheOverAllPages", 1),
    ("bench_placements", "BM_BatchOf100|BM_PlacementsPerPage|BM_OnePageScan|BM_LongManual", 1),
]


def run(build, program, pattern, repetitions):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    out = subprocess.run(
        [os.path.join(build, "bench", program), "--benchmark_filter=" + pattern,
         "--benchmark_format=json", f"--benchmark_repetitions={repetitions}"],
        capture_output=True, text=True, env=env, check=True).stdout
    times = {}
    if not out.strip():
        return times  # an older build without these benchmarks
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue  # the repetitions' own mean, median and deviation
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
        times.setdefault(b["run_name"] if "run_name" in b else b["name"], []).append(
            b["real_time"] * scale)
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    samples = {}
    for r in range(args.rounds):
        for program, pattern, repetitions in CASES:
            for which, build in (("before", args.before), ("after", args.after)):
                for name, ms in run(build, program, pattern, repetitions).items():
                    samples.setdefault(name, {"before": [], "after": []})[which].extend(ms)
        print(f"round {r + 1} of {args.rounds} done", file=sys.stderr)
    print(f"{'benchmark':<28} {'before ms':>10} {'after ms':>10} {'ratio':>7}")
    for name, s in samples.items():
        if not s["before"] or not s["after"]:
            continue
        b, a = statistics.median(s["before"]), statistics.median(s["after"])
        print(f"{name:<28} {b:>10.1f} {a:>10.1f} {a / b:>7.2f}")
    # A long document against a short one, within each build.
    def median(family, pages, which):
        for name, s in samples.items():
            if name.startswith(f"{family}/{pages}/") and s[which]:
                return statistics.median(s[which])
        return None
    for family in ("shownWindow", "firstPage"):
        ratios = []
        for which in ("before", "after"):
            short, long = median(family, 3, which), median(family, 20000, which)
            if short and long:
                ratios.append(f"{which} {long / short:.2f}x")
        if ratios:
            print(f"{family} 20,000 pages against 3: " + ", ".join(ratios))


if __name__ == "__main__":
    main()
