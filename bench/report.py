# Writes the benchmark table (measure, ours, anchor, ratio, target, met) in
# Markdown, with a line on the machine and the tools above it and notes on
# each measure below, from the figures file scripts/bench gathers ("name
# value" lines) and the circumstances of the run; with --json, the same rows
# as a JSON list as well. A measure whose figures are missing (its block did
# not run) is a row marked "not measured", and not met.
#   python3 bench/report.py [--json OUT.json] FIGURES DATE CORES CPU \
#       LOAD_BEFORE LOAD_AFTER MPV YTDLP HYPERFINE QT
# It also turns the tools' own output into figures lines for scripts/bench:
#   python3 bench/report.py figures digest|hyperfine|save FILE
import argparse
import json
import math
import statistics
import sys


def figures_from(kind, path):
    """Figures lines from Google Benchmark's JSON (median MB/s per benchmark),
    hyperfine's JSON (median ms per command, named as scripts/bench names
    them) or the lines GNU time appended for the saves ("save_<MB>_<who>
    <seconds> <max RSS kB>": median seconds, peak MB)."""
    lines = []
    if kind == "digest":
        rates = {}
        with open(path) as f:
            for b in json.load(f)["benchmarks"]:
                # The repetitions only; the library's aggregates would count twice.
                if b.get("run_type") == "iteration":
                    rates.setdefault(b["run_name"], []).append(b["bytes_per_second"])
        for name, values in sorted(rates.items()):
            key = name.replace("/", "_").lower()
            lines += [f"digest_{key}_median_mbps {statistics.median(values) / 1e6:.6g}",
                      f"digest_{key}_runs {len(values)}"]
    elif kind == "hyperfine":
        keys = {"velmora-resolve": "cli_ours", "yt-dlp": "cli_ytdlp", "native": "cli_native",
                "windows": "cli_windows"}
        with open(path) as f:
            for r in json.load(f)["results"]:
                key = keys[r["command"]]
                lines += [f"{key}_median_ms {r['median'] * 1e3:.6g}",
                          f"{key}_runs {len(r['times'])}"]
    elif kind == "save":
        runs = {}
        with open(path) as f:
            for line in f:
                name, seconds, rss_kb = line.split()
                runs.setdefault(name, []).append((float(seconds), float(rss_kb)))
        for name, values in sorted(runs.items()):
            lines += [f"{name}_median_s {statistics.median(s for s, _ in values):.6g}",
                      f"{name}_peak_rss_mb {max(r for _, r in values) / 1024:.6g}",
                      f"{name}_runs {len(values)}"]
    else:
        raise SystemExit(f"no figures from {kind!r}")
    return lines


def ms(v):
    return f"{v:.0f} ms" if v >= 100 else f"{v:.2f} ms" if v < 10 else f"{v:.1f} ms"


def mb(v):
    return f"{v:.1f} MB"


def read_figures(path):
    f = {}
    with open(path) as lines:
        for line in lines:
            if line.strip():
                name, value = line.split()
                f[name] = float(value)
    return f


class Missing(Exception):
    pass


class Figures:
    def __init__(self, values):
        self.values = values

    def __getitem__(self, name):
        value = self.values.get(name)
        if value is None or math.isnan(value):
            raise Missing(name)
        return value

    def get(self, name):
        try:
            return self[name]
        except Missing:
            return None


def rounded(v):
    return None if v is None else float(f"{v:.4g}")


def rows(f):
    """(measure, label, unit, ours, anchor, ratio, target, met, ours text,
    anchor text) for each measure, in table order; each maker reads its
    figures and raises Missing when one is not there."""

    def first_sound(kind, ratio_target, absolute):
        ours = f[f"first_sound_{kind}_ours_median_ms"]
        mpv = f[f"first_sound_{kind}_mpv_median_ms"]
        ratio = ours / mpv
        runs = f["first_sound_runs"]
        if kind == "warm":
            label = (f"First sound, warm: click on 点击解析 in an open window → sound at the "
                     f"sound server (median of {runs:.0f})")
            anchor = f"{ms(mpv)} (`mpv --idle`, `loadfile` over its IPC socket)"
        else:
            label = (f"First sound, cold: `velmora ADDRESS` started → sound at the sound server "
                     f"(median of {runs:.0f})")
            anchor = f"{ms(mpv)} (`mpv` started on the audio address)"
        met = ratio <= ratio_target and (absolute is None or ours < absolute)
        target = (f"< {absolute} ms, " if absolute else "") + f"ratio ≤ {ratio_target}"
        return (label, "ms", ours, mpv, ratio, target, met, ms(ours), anchor)

    def wine_sound(kind):
        ours = f[f"wine_sound_{kind}_ours_median_ms"]
        mpv = f[f"wine_sound_{kind}_mpv_median_ms"]
        runs = f["wine_sound_runs"]
        if kind == "warm":
            label = (f"First sound under Wine, warm: click on 点击解析 in `velmora.exe` → sound at "
                     f"the sound server (median of {runs:.0f})")
            anchor = f"{ms(mpv)} (`mpv.exe --idle`, `loadfile` through its named pipe)"
        else:
            label = (f"First sound under Wine, cold: `velmora.exe ADDRESS` started → sound at the "
                     f"sound server (median of {runs:.0f})")
            anchor = f"{ms(mpv)} (`mpv.exe` started on the audio address)"
        return (label, "ms", ours, mpv, ours / mpv, "— (watch it)", None, ms(ours), anchor)

    def downloads():
        deb, zip_, setup = (f[f"download_{kind}_bytes"] for kind in ("deb", "zip", "setup"))
        return ("Downloads: the Windows ZIP / installer, beside the Linux .deb", "MB",
                setup / 1e6, deb / 1e6, None, "—", None,
                f"{mb(zip_ / 1e6)} / {mb(setup / 1e6)}", f"{mb(deb / 1e6)} (.deb)")

    def resolve():
        ours, bare = f["resolve_overhead_median_ms"], f["resolve_bare_get_median_ms"]
        ratio = ours / bare
        return (f"Resolve overhead: click → result box filled in a window already open and "
                f"warmed up, less the fake's handling (median of {f['resolve_runs']:.0f})",
                "ms", ours, bare, ratio, "≤ 1 ms, ratio ≤ 0.25", ours <= 1 and ratio <= 0.25,
                ms(ours), f"{ms(bare)} (bare Qt HTTPS GET on a fresh connection, less the same)")

    def wait_cpu():
        ours = f["wait_cpu_median_percent"]
        return (f"CPU while waiting: window process during a {f['wait_seconds']:.0f} s stalled "
                f"answer (median of {f['wait_runs']:.0f})", "%", ours, None, None,
                "< 2 % of wall time", ours < 2,
                f"{ours:.2f} % ({ms(f['wait_cpu_median_ms'])} CPU)", "—")

    def cli_one():
        ours, theirs = f["cli_ours_median_ms"], f["cli_ytdlp_median_ms"]
        ratio = ours / theirs
        return (f"Command line, one address: whole process, CA from the system store "
                f"(median of {f['cli_ours_runs']:.0f})", "ms", ours, theirs, ratio,
                "ratio ≤ 0.05", ratio <= 0.05, f"{ms(ours)} (`velmora-resolve`)",
                f"{ms(theirs)} (`yt-dlp -g` on a local play page)")

    def cli_one_windows():
        ours, native = f["cli_windows_median_ms"], f["cli_native_median_ms"]
        return (f"Command line under Wine, one address: whole process, the same fake and "
                f"arguments as the native one (median of {f['cli_windows_runs']:.0f})", "ms",
                ours, native, ours / native, "— (watch it: a rise is a Windows-only slowdown)",
                None, f"{ms(ours)} (`velmora-resolve.exe` under Wine)",
                f"{ms(native)} (native `velmora-resolve`)")

    def batch_rate():
        ours, theirs = f["cli_batch_rate_median_per_s"], f["cli_batch_ytdlp_rate_median_per_s"]
        return (f"Many tracks at once: {f['cli_batch_lines']:,.0f} addresses on standard input, "
                f"`-j {f['cli_batch_jobs']:.0f}`, whole process (median of "
                f"{f['cli_batch_runs']:.0f})", "/s", ours, theirs, ours / theirs, "≥ 1000/s",
                ours >= 1000, f"{ours:,.0f} resolutions/s",
                f"{theirs:.1f}/s (`yt-dlp -g -a` on {f['cli_batch_ytdlp_pages']:.0f} local "
                "play pages)")

    def batch_connections():
        ours, jobs = f["cli_batch_connections_max"], f["cli_batch_jobs"]
        return (f"Many tracks at once: TLS connections the resolver accepted per run "
                f"(highest of {f['cli_batch_runs']:.0f})", "connections", ours, None, None,
                f"≤ {jobs:.0f} (-j)", ours <= jobs, f"{ours:.0f}", "—")

    def batch_order():
        ours = f["cli_batch_order_ok"]
        return ("Many tracks at once: every result on the line of its input, in every run "
                "(1 = yes)", "", ours, None, None, "in input order", ours == 1,
                "yes" if ours == 1 else "no", "—")

    def batch_rss():
        small, large = f["cli_batch_rss_1000_mb"], f["cli_batch_rss_100000_mb"]
        return ("Many tracks at once: peak resident memory, 100,000 addresses (GNU time)", "MB",
                large, None, None, "< 60 MB and flat", large < 60 and small < 60 and
                large - small < 5, f"{mb(large)} (1,000 addresses: {mb(small)})", "—")

    def batch_rss_growth():
        growth = f["cli_batch_rss_100000_mb"] - f["cli_batch_rss_1000_mb"]
        return ("Many tracks at once: peak resident memory, 100,000 addresses less 1,000", "MB",
                growth, None, None, "< 5 MB (flat)", growth < 5, f"{growth:+.1f} MB", "—")

    def cli_soak_fds():
        first, last = f["cli_soak_fds_max_first_1000"], f["cli_soak_fds_max_last_1000"]
        growth = last - first
        return (f"Command-line soak: open descriptors of one process over "
                f"{f['cli_batch_lines']:,.0f} resolutions, most in the last 1,000 less most in "
                "the first 1,000", "descriptors", growth, None, None, "≤ 0 (flat)",
                growth <= 0, f"{growth:+.0f} ({first:.0f} → {last:.0f})", "—")

    def startup():
        ours = f["startup_median_ms"]
        return (f"Start-up: process start → window shown, offscreen (median of "
                f"{f['startup_runs']:.0f})", "ms", ours, None, None, "< 250 ms", ours < 250,
                ms(ours), "—")

    def startup_rss():
        ours = f["startup_peak_rss_max_mb"]
        return (f"Start-up: peak resident memory (highest of {f['startup_runs']:.0f})", "MB",
                ours, None, None, "< 80 MB", ours < 80, mb(ours), "—")

    def soak_rss():
        growth = f["soak_rss_last_mb"] - f["soak_rss_100_mb"]
        return (f"Soak: one window, {f['soak_cycles']:,.0f} resolve-and-play cycles, resident "
                "memory at the last cycle less at cycle 100", "MB", growth, None, None, "< 5 MB",
                growth < 5,
                f"{growth:+.1f} MB ({mb(f['soak_rss_100_mb'])} → {mb(f['soak_rss_last_mb'])})",
                "—")

    def soak_fds():
        first, last = f["soak_fds_max_to_100"], f["soak_fds_max_last_100"]
        growth = last - first
        return (f"Soak: open descriptors, most in the last 100 cycles less most in the first "
                f"100", "descriptors", growth, None, None, "≤ 0 (flat)", growth <= 0,
                f"{growth:+.0f} ({first:.0f} → {last:.0f})", "—")

    def md5(size, label):
        ours = f[f"digest_md5hex_{size}_median_mbps"]
        qt_rate = f[f"digest_qtmd5_{size}_median_mbps"]
        return (f"Md5Hex throughput, {label} (median of {f[f'digest_md5hex_{size}_runs']:.0f})",
                "MB/s", ours, qt_rate, ours / qt_rate, "ratio ≥ 0.8", ours / qt_rate >= 0.8,
                f"{ours:.0f} MB/s", f"{qt_rate:.0f} MB/s (QCryptographicHash::Md5)")

    def save_throughput():
        ours_s, curl_s = f["save_200_ours_median_s"], f["save_200_curl_median_s"]
        ratio = curl_s / ours_s
        return (f"Save 200 MB from loopback, whole process (median of "
                f"{f['save_200_ours_runs']:.0f})", "MB/s", 200 / ours_s, 200 / curl_s, ratio,
                "ratio ≥ 0.9", ratio >= 0.9,
                f"{200 / ours_s:.0f} MB/s (`velmora-resolve -o`, resolve included)",
                f"{200 / curl_s:.0f} MB/s (`curl -o`)")

    def save_small():
        ours_s, curl_s = f["save_20_ours_median_s"], f["save_20_curl_median_s"]
        return (f"Save 20 MB from loopback, whole process (median of "
                f"{f['save_20_ours_runs']:.0f})", "MB/s", 20 / ours_s, 20 / curl_s,
                curl_s / ours_s, "— (start-up and resolve dominate)", None,
                f"{20 / ours_s:.0f} MB/s", f"{20 / curl_s:.0f} MB/s (`curl -o`)")

    def save_rss():
        ours = max(f["save_20_ours_peak_rss_mb"], f["save_200_ours_peak_rss_mb"])
        curl = max(f["save_20_curl_peak_rss_mb"], f["save_200_curl_peak_rss_mb"])
        return ("Save: peak resident memory of the saving process, 20 MB / 200 MB file", "MB",
                ours, curl, None, "< 60 MB for both", ours < 60,
                f"{mb(f['save_20_ours_peak_rss_mb'])} / {mb(f['save_200_ours_peak_rss_mb'])}",
                f"{mb(f['save_20_curl_peak_rss_mb'])} / {mb(f['save_200_curl_peak_rss_mb'])} "
                "(curl)")

    def cold_stages():
        stage = {name: f[f"first_sound_cold_{name}_median_ms"]
                 for name in ("main", "shown", "resolved", "loaded", "heard")}
        return ("First sound, cold: where the time goes, from the start (median of "
                f"{f['first_sound_runs']:.0f} starts of the same code that say when they "
                "reached each stage)", "ms", stage["heard"], None, None, "—", None,
                f"`main` {ms(stage['main'])}, window shown {ms(stage['shown'])}, answer "
                f"{ms(stage['resolved'])}, file open {ms(stage['loaded'])}, sound "
                f"{ms(stage['heard'])}", "—")

    makers = [
        ("first-sound-warm", "First sound, warm", "ms", "ratio ≤ 0.8",
         lambda: first_sound("warm", 0.8, None)),
        ("first-sound-cold", "First sound, cold", "ms", "ratio ≤ 1.0",
         lambda: first_sound("cold", 1.0, None)),
        ("first-sound-cold-stages", "First sound, cold: where the time goes", "ms", "—",
         cold_stages),
        ("first-sound-wine-warm", "First sound under Wine, warm", "ms", "— (watch it)",
         lambda: wine_sound("warm")),
        ("first-sound-wine-cold", "First sound under Wine, cold", "ms", "— (watch it)",
         lambda: wine_sound("cold")),
        ("downloads", "Downloads", "MB", "—", downloads),
        ("resolve-overhead", "Resolve overhead", "ms", "≤ 1 ms, ratio ≤ 0.25", resolve),
        ("cpu-while-waiting", "CPU while waiting", "%", "< 2 % of wall time", wait_cpu),
        ("cli-one", "Command line, one address", "ms", "ratio ≤ 0.05", cli_one),
        ("cli-one-windows", "Command line under Wine, one address", "ms", "—", cli_one_windows),
        ("cli-batch-rate", "Many tracks at once: rate", "/s", "≥ 1000/s", batch_rate),
        ("cli-batch-connections", "Many tracks at once: connections", "connections", "≤ -j",
         batch_connections),
        ("cli-batch-order", "Many tracks at once: input order", "", "in input order",
         batch_order),
        ("cli-batch-rss", "Many tracks at once: peak resident memory", "MB",
         "< 60 MB and flat", batch_rss),
        ("cli-batch-rss-growth", "Many tracks at once: memory growth", "MB", "< 5 MB (flat)",
         batch_rss_growth),
        ("cli-soak-fds", "Command-line soak: descriptors", "descriptors", "≤ 0 (flat)",
         cli_soak_fds),
        ("startup", "Start-up", "ms", "< 250 ms", startup),
        ("startup-rss", "Start-up: peak resident memory", "MB", "< 80 MB", startup_rss),
        ("soak-rss-growth", "Soak: resident memory growth", "MB", "< 5 MB", soak_rss),
        ("soak-fds", "Soak: descriptors", "descriptors", "≤ 0 (flat)", soak_fds),
        ("md5-64", "Md5Hex throughput, 64-byte input", "MB/s", "ratio ≥ 0.8",
         lambda: md5("64", "64-byte input")),
        ("md5-1m", "Md5Hex throughput, 1 MiB input", "MB/s", "ratio ≥ 0.8",
         lambda: md5("1048576", "1 MiB input")),
        ("save-throughput", "Save 200 MB", "MB/s", "ratio ≥ 0.9", save_throughput),
        ("save-20mb", "Save 20 MB", "MB/s", "—", save_small),
        ("save-rss", "Save: peak resident memory", "MB", "< 60 MB for both", save_rss),
    ]
    out = []
    for measure, fallback, unit, target, make in makers:
        try:
            label, unit, ours, anchor, ratio, target, met, ours_text, anchor_text = make()
        except Missing:
            label, ours, anchor, ratio, met = fallback, None, None, None, False
            ours_text, anchor_text = "not measured", "—"
        out.append({"measure": measure, "label": label, "unit": unit, "ours": ours,
                    "anchor": anchor, "ratio": ratio, "target": target, "met": met,
                    "ours_text": ours_text, "anchor_text": anchor_text})
    return out


def notes(f):
    found = []

    def note(make):
        try:
            found.append(make())
        except Missing:
            pass  # that block did not run

    note(lambda: f"- First sound: heard at the monitor of the null sink every player plays to, "
         f"on one clock with the trigger; the method's own floor (`paplay --latency-msec=10`) "
         f"{ms(f['first_sound_floor_ms'])} median. Each player is a fresh process; ours and mpv "
         f"take turns. mpv runs as it comes (`--no-config`, its own choice of sound output, "
         f"as our engine makes it).")
    note(lambda: f"- Resolve: round trip {ms(f['resolve_roundtrip_median_ms'])} median, of which "
         f"the fake's own handling {f['resolve_fake_handling_median_ms'] * 1e3:.0f} µs; first "
         f"run {ms(f['resolve_overhead_first_ms'])}, 90th percentile "
         f"{ms(f['resolve_overhead_p90_ms'])}. Each run opens a fresh window, waits until its "
         f"own TLS connection is open, then clicks; connections the clicks opened beyond those: "
         f"{f['resolve_new_connections']:.0f}. The fake runs in the window's thread.")
    note(lambda: f"- CPU while waiting: highest of the runs {f['wait_cpu_max_percent']:.2f} %; "
         "the resolver is another process, and the figure is the window process's user + "
         "system time.")
    note(lambda: f["cli_ours_median_ms"] and
         "- Command line: hyperfine, no shell, both commands in a mount namespace whose "
         "/etc/ssl/certs is a copy of the system store with the fake's CA added, so "
         "`velmora-resolve` trusts it the way it trusts a real service's CA (no `--cacert`); "
         "both were checked to print the same audio address first, and ours to fail outside "
         "that namespace.")
    note(lambda: f"- Many tracks at once: the slowest run of ours "
         f"{f['cli_batch_rate_min_per_s']:,.0f}/s; every run checked line by line against its "
         f"input; descriptors sampled every 100 results, {f['cli_soak_fds_max']:.0f} at most. "
         "yt-dlp reads each play page over plain HTTP; ours signs and asks over HTTPS, with "
         "`--cacert`.")
    note(lambda: f"- Soak: {f['soak_cycles']:,.0f} cycles in {f['soak_seconds']:.1f} s, two "
         f"tracks in turn, each waited for on the window's and the player's signals; heap in "
         f"use (malloc) {mb(f['soak_heap_100_mb'])} at cycle 100, "
         f"{mb(f['soak_heap_last_mb'])} at the end; the window's objects "
         f"{f['soak_objects_100']:.0f} → {f['soak_objects_last']:.0f}.")
    note(lambda: f"- Start-up: median peak resident memory {f['startup_peak_rss_median_mb']:.1f} "
         f"MB; slowest start {ms(f['startup_max_ms'])}. The harness does what app/main.cpp "
         "does and quits once the window is exposed and painted.")
    note(lambda: f["digest_md5hex_64_median_mbps"] and
         "- Digest: Google Benchmark (Debian's library, which says it was built for "
         "debugging; the code measured is built for release), repetitions interleaved at "
         "random, rates from CPU time; Md5Hex starts from UTF-16 text, Qt's MD5 from the same "
         "bytes ready-made; both give hex.")
    return found


def cell(text):
    return str(text).replace("|", "\\|")


def main():
    if sys.argv[1:2] == ["figures"]:
        print("\n".join(figures_from(*sys.argv[2:4])))
        return
    parser = argparse.ArgumentParser()
    parser.add_argument("--json")
    for name in ("figures", "date", "cores", "cpu", "load_before", "load_after", "mpv", "ytdlp",
                 "hyperfine", "qt"):
        parser.add_argument(name)
    args = parser.parse_args()
    f = Figures(read_figures(args.figures))
    table = rows(f)

    out = [f"Benchmarks, {args.date}: {args.cores} cores ({args.cpu}), load average "
           f"{args.load_before} before and {args.load_after} after; {args.qt}, {args.mpv}, "
           f"{args.ytdlp}, {args.hyperfine}.", "",
           "| measure | ours | anchor | ratio | target | met |", "|---|---|---|---|---|---|"]
    for r in table:
        ratio = "—" if r["ratio"] is None else f"{r['ratio']:.2f}"
        met = ("not measured" if r["ours"] is None else "—" if r["met"] is None
               else "yes" if r["met"] else "**no**")
        out.append("| " + " | ".join(cell(c) for c in (r["label"], r["ours_text"],
                                                       r["anchor_text"], ratio, r["target"],
                                                       met)) + " |")
    out += [""] + notes(f)
    print("\n".join(out))

    if args.json:
        # Only the measures with a target; the 20 MB save and the cold start's
        # stages are context.
        listed = [{"measure": r["measure"], "ours": rounded(r["ours"]),
                   "anchor": rounded(r["anchor"]), "unit": r["unit"],
                   "ratio": rounded(r["ratio"]), "target": r["target"],
                   "met": bool(r["met"])} for r in table
                  if r["measure"] not in ("save-20mb", "first-sound-cold-stages")]
        with open(args.json, "w") as out_file:
            json.dump(listed, out_file, ensure_ascii=False, indent=1)
            out_file.write("\n")


if __name__ == '__main__':
    main()
