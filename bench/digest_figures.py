# Turns Google Benchmark's JSON from velmora-bench-digest into figures lines
# ("name value") for scripts/bench: per benchmark, the median rate in MB/s
# over its repetitions and how many there were.
#   python3 bench/digest_figures.py DIGEST.json
import json
import statistics
import sys


def main():
    with open(sys.argv[1]) as f:
        benchmarks = json.load(f)['benchmarks']
    rates = {}
    for b in benchmarks:
        # Only the repetitions themselves; the library's own aggregates
        # (mean, median, stddev) would be counted twice.
        if b.get('run_type') == 'iteration':
            rates.setdefault(b['run_name'], []).append(b['bytes_per_second'])
    for name, values in sorted(rates.items()):
        key = name.replace('/', '_').lower()
        print(f"digest_{key}_median_mbps {statistics.median(values) / 1e6:.6g}")
        print(f"digest_{key}_runs {len(values)}")


if __name__ == '__main__':
    main()
