#!/usr/bin/env python3
"""Reading and summing for run.sh.

  summarise.py search OUT TEST SECONDS  one search's answer, interval, status, runs, time
  summarise.py truth CURVE.CSV TEST     a brute-force grid as n,runs,significant
  summarise.py table RESULTS CACHE      the coverage table (Markdown)
  summarise.py holds CACHE              exit status 0 when the grid reaches the target
"""
import csv
import math
import os
import statistics
import sys

TARGET = 0.8


def test_columns(header, test):
    names = ("chi2",) if test == "chi2" else ("exact", "fisher")
    for name in names:
        if name + "_significant" in header:
            return name + "_significant"
    raise SystemExit("no column for the %s test in %s" % (test, header))


def search(out, test, seconds):
    answer = low = high = "-"
    status = "failed"
    runs = 0
    try:
        with open(os.path.join(out, "design.csv")) as f:
            for row in csv.DictReader(f):
                if row["test"] == test:
                    answer = row["smallest_sample_size"] or "-"
                    low = row["ci_low"] or "-"
                    high = row["ci_high"] or "-"
                    status = row["status"].replace(" ", "_")
        with open(os.path.join(out, "curve.csv")) as f:
            runs = sum(int(row["runs"]) for row in csv.DictReader(f))
    except OSError:
        pass
    print(answer, low, high, status, runs, "%.1f" % float(seconds))


def truth(curve, test):
    with open(curve) as f:
        rows = list(csv.DictReader(f))
    column = test_columns(rows[0].keys(), test)
    print("n,runs,significant")
    for row in rows:
        if row.get("status", "ok") == "ok" and row["sample_size"]:
            print("%s,%s,%s" % (row["sample_size"], row["runs"], row[column]))


def true_answer(cache):
    with open(cache) as f:
        rows = [(int(r["n"]), int(r["runs"]), int(r["significant"])) for r in csv.DictReader(f)]
    rows.sort()
    for i, (n, runs, k) in enumerate(rows):
        if k / runs >= TARGET:
            below = rows[i - 1] if i > 0 else None
            return n, k / runs, (below[2] / below[1] if below else float("nan")), rows[0][0], rows[-1][0]
    return None, float("nan"), float("nan"), rows[0][0], rows[-1][0]


def table(results, cache_dir):
    groups = {}
    with open(results) as f:
        for line in f:
            design, fst, test, version, answer, low, high, status, runs, seconds = line.split()
            groups.setdefault((design, fst, test, version), []).append(
                (answer, low, high, status, int(runs), float(seconds)))
    print("| design | test | F'st | true n (power at n-1, n) | search | seeds | interval holds it | "
          "answer within tolerance | status ok | median runs | median time (s) |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for (design, fst, test, version), searches in groups.items():
        n, power, below, lo, hi = true_answer(os.path.join(cache_dir, design + ".csv"))
        if n is None:
            print("| %s | %s | %s | not reached in %d..%d | %s | | | | | | |" % (design, test, fst, lo, hi, version))
            continue
        tolerance = max(1.0, 0.05 * n)
        held = within = ok = 0
        for answer, low, high, status, _, _ in searches:
            if answer != "-" and low != "-" and int(low) <= n <= int(high):
                held += 1
            if answer != "-" and abs(int(answer) - n) <= tolerance:
                within += 1
            ok += status in ("ok", "conservative")
        count = len(searches)
        print("| %s | %s | %s | %d (%.3f, %.3f) | %s | %d | %d %% | %d %% | %d %% | %d | %.1f |" % (
            design, test, fst, n, below, power, version, count, round(100 * held / count),
            round(100 * within / count), round(100 * ok / count),
            statistics.median(s[4] for s in searches), statistics.median(s[5] for s in searches)))


if __name__ == "__main__":
    mode = sys.argv[1]
    if mode == "search":
        search(sys.argv[2], sys.argv[3], sys.argv[4])
    elif mode == "truth":
        truth(sys.argv[2], sys.argv[3])
    elif mode == "holds":
        sys.exit(0 if true_answer(sys.argv[2])[0] is not None else 1)
    elif mode == "table":
        table(sys.argv[2], sys.argv[3])
    else:
        raise SystemExit(__doc__)
