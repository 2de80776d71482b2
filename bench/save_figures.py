"""Medians of the save runs: seconds and peak resident memory per program and size.

Reads the lines GNU time appended ("save_<MB>_<who> <seconds> <max RSS kB>")
and prints figures lines ("name value") for report.py.
"""
import statistics
import sys


def main():
    runs = {}
    for line in open(sys.argv[1]):
        name, seconds, rss_kb = line.split()
        runs.setdefault(name, []).append((float(seconds), float(rss_kb)))
    for name, values in sorted(runs.items()):
        print(f"{name}_median_s {statistics.median(s for s, _ in values):.6g}")
        print(f"{name}_peak_rss_mb {max(r for _, r in values) / 1024:.6g}")
        print(f"{name}_runs {len(values)}")


if __name__ == "__main__":
    main()
