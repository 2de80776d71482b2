# Many tracks at once: velmora-resolve reading play-page addresses on
# standard input ("-") with -j requests at once, against the fake resolver
# (its own process), beside yt-dlp -g -a on local play pages.
#   rate         whole process over LINES addresses, RUNS times, beside
#                yt-dlp over PAGES play pages, RUNS times, interleaved
#   order        every output line is the audio address of its input line
#   connections  the fake's count of accepted TLS connections, before and
#                after each run
#   descriptors  /proc/PID/fd of the running process, sampled every 100
#                results: the most over the first 1,000 and over the last 1,000
#   memory       peak resident memory (GNU time) over 1,000 and over
#                100,000 addresses
#   python3 bench/batch.py --cli VELMORA_RESOLVE --resolver HOST:PORT \
#       --media BASE --work DIR [--runs N] [--lines N] [--jobs N] \
#       [--pages N] --site-host HOST [-- CLI_OPTION...]
# Figures go to standard output as "name value" lines, progress to standard
# error. Options after "--" go to velmora-resolve (for example --cacert).
import argparse
import os
import random
import statistics
import subprocess
import sys
import time
import urllib.request

# The fake's tracks that play, and the file each one's answer names.
TRACKS = {169309: "169309.mp3", 10: "10.wav", 123456: "123456.wav"}


class Trouble(Exception):
    pass


def log(text):
    print(f"batch: {text}", file=sys.stderr, flush=True)


def tracks(count, seed):
    # A fixed shuffle rather than a cycle, so that a result printed out of
    # place almost surely names another file than the one expected there.
    rng = random.Random(seed)
    ids = list(TRACKS)
    return [rng.choice(ids) for _ in range(count)]


def connections(media):
    # Straight to loopback, whatever proxy the environment names.
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    with opener.open(f"{media}/connections", timeout=10) as answer:
        return int(answer.read().decode().strip())


def descriptors(pid):
    try:
        count = len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return None  # already gone
    return count or None  # an ended process that is not reaped yet lists none


def write_input(path, ids, site_host):
    with open(path, "w") as out:
        for track in ids:
            out.write(f"http://{site_host}/play/{track}.html\n")


def check_order(lines, ids, media, what):
    expected = [f"{media}/media/{TRACKS[t]}" for t in ids]
    if len(lines) != len(expected):
        log(f"{what}: {len(lines)} results for {len(expected)} inputs")
        return False
    wrong = [i for i, (got, want) in enumerate(zip(lines, expected)) if got != want]
    if wrong:
        log(f"{what}: {len(wrong)} results out of place, the first at line {wrong[0] + 1}: "
            f"'{lines[wrong[0]]}', not '{expected[wrong[0]]}'")
        return False
    return True


def run_ours(args, input_path, ids):
    """One timed run: seconds, results in order, connections used, the
    descriptors after 1,000 results and at the last sample, the most seen."""
    before = connections(args.media)
    with open(input_path, "rb") as stdin:
        started = time.monotonic()
        proc = subprocess.Popen([args.cli, *args.cli_options, "-j", str(args.jobs), "-"],
                                stdin=stdin, stdout=subprocess.PIPE, bufsize=1 << 16)
        lines, samples = [], []
        for raw in proc.stdout:
            lines.append(raw.decode().rstrip("\n"))
            if len(lines) % 100 == 0:
                count = descriptors(proc.pid)
                if count is not None:
                    samples.append((len(lines), count))
        status = proc.wait()
        seconds = time.monotonic() - started
    used = connections(args.media) - before
    if status != 0:
        raise Trouble(f"velmora-resolve ended with status {status}")
    in_order = check_order(lines, ids, args.media, "velmora-resolve")
    # The count moves with the connections open at the moment: the most
    # seen over the first and over the last 1,000 results tell growth from that.
    first = max((c for n, c in samples if n <= 1000), default=None)
    last = max((c for n, c in samples if n > len(ids) - 1000), default=None)
    most = max((c for _, c in samples), default=None)
    return seconds, in_order, used, first, last, most


def run_ytdlp(args, pages_path, count):
    started = time.monotonic()
    done = subprocess.run([args.ytdlp, "--ignore-config", "--no-cache-dir", "--proxy", "",
                           "--no-warnings", "-g", "-a", pages_path],
                          stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
    seconds = time.monotonic() - started
    got = done.stdout.decode().splitlines()
    if done.returncode != 0 or len(got) != count:
        raise Trouble(f"yt-dlp ended with status {done.returncode} and {len(got)} addresses")
    return seconds


def peak_rss_mb(args, input_path, ids, what):
    times = os.path.join(args.work, f"time-{what}")
    out = os.path.join(args.work, f"out-{what}")
    with open(input_path, "rb") as stdin, open(out, "wb") as stdout:
        status = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", times, args.cli,
                                 *args.cli_options, "-j", str(args.jobs), "-"],
                                stdin=stdin, stdout=stdout).returncode
    if status != 0:
        raise Trouble(f"velmora-resolve over {what} addresses ended with status {status}")
    with open(out) as lines:
        in_order = check_order(lines.read().splitlines(), ids, args.media, f"{what} addresses")
    with open(times) as kb:
        return float(kb.read().split()[-1]) * 1024 / 1e6, in_order


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--resolver", required=True)
    parser.add_argument("--media", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--ytdlp", default="yt-dlp")
    parser.add_argument("--site-host", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--lines", type=int, default=10000)
    parser.add_argument("--jobs", type=int, default=16)
    parser.add_argument("--pages", type=int, default=100)
    parser.add_argument("cli_options", nargs="*")
    args = parser.parse_args()
    args.cli_options = ["--resolver", f"https://{args.resolver}", *args.cli_options]

    ids = tracks(args.lines, 1)
    batch = os.path.join(args.work, "batch.txt")
    write_input(batch, ids, args.site_host)
    page_ids = tracks(args.pages, 2)
    pages = os.path.join(args.work, "pages.txt")
    with open(pages, "w") as out:
        for track in page_ids:
            out.write(f"{args.media}/play/{track}.html\n")

    ours, theirs, used, order_ok = [], [], [], True
    at_1000, last, most = [], [], []
    try:
        for run in range(args.runs):
            # Ours first on even runs, yt-dlp first on odd ones.
            for who in (("ours", "ytdlp") if run % 2 == 0 else ("ytdlp", "ours")):
                if who == "ytdlp":
                    theirs.append(args.pages / run_ytdlp(args, pages, args.pages))
                    continue
                seconds, in_order, connections_used, fds_1000, fds_last, fds_most = \
                    run_ours(args, batch, ids)
                ours.append(args.lines / seconds)
                used.append(connections_used)
                order_ok = order_ok and in_order
                at_1000.append(fds_1000)
                last.append(fds_last)
                most.append(fds_most)
            log(f"run {run + 1}/{args.runs}: ours {ours[-1]:.0f}/s with {used[-1]} connections, "
                f"descriptors {at_1000[-1]} over the first 1,000, {last[-1]} over the last; "
                f"yt-dlp {theirs[-1]:.1f}/s")

        memory = {}
        for count in (1000, 100000):
            more = tracks(count, 3)
            path = os.path.join(args.work, f"batch-{count}.txt")
            write_input(path, more, args.site_host)
            memory[count], in_order = peak_rss_mb(args, path, more, str(count))
            order_ok = order_ok and in_order
            os.remove(path)
            log(f"{count} addresses: peak resident memory {memory[count]:.1f} MB")
    except Trouble as trouble:
        log(str(trouble))
        return 1

    def worst(values):
        known = [v for v in values if v is not None]
        return max(known) if known else float("nan")

    print(f"cli_batch_runs {args.runs}")
    print(f"cli_batch_lines {args.lines}")
    print(f"cli_batch_jobs {args.jobs}")
    print(f"cli_batch_rate_median_per_s {statistics.median(ours):.6g}")
    print(f"cli_batch_rate_min_per_s {min(ours):.6g}")
    print(f"cli_batch_ytdlp_pages {args.pages}")
    print(f"cli_batch_ytdlp_rate_median_per_s {statistics.median(theirs):.6g}")
    print(f"cli_batch_connections_max {max(used)}")
    print(f"cli_batch_order_ok {1 if order_ok else 0}")
    print(f"cli_batch_rss_1000_mb {memory[1000]:.6g}")
    print(f"cli_batch_rss_100000_mb {memory[100000]:.6g}")
    print(f"cli_soak_fds_max_first_1000 {worst(at_1000):.6g}")
    print(f"cli_soak_fds_max_last_1000 {worst(last):.6g}")
    print(f"cli_soak_fds_max {worst(most):.6g}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
