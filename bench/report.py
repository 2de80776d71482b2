# Writes the benchmark table (measure, ours, anchor, ratio, target) in
# Markdown, with a line on the machine and the tools above it and notes on
# each measure below, from the figures file scripts/bench gathers ("name
# value" lines) and the circumstances of the run.
#   python3 bench/report.py FIGURES DATE CORES CPU LOAD_BEFORE LOAD_AFTER \
#       MPV YTDLP HYPERFINE QT
import sys


def ms(v):
    return f"{v:.0f} ms" if v >= 100 else f"{v:.2f} ms" if v < 10 else f"{v:.1f} ms"


def read_figures(path):
    f = {}
    with open(path) as lines:
        for line in lines:
            name, value = line.split()
            f[name] = float(value)
    return f


def table_rows(f):
    rows = []

    def row(measure, ours, anchor='—', ratio='—', target=''):
        rows.append((measure, ours, anchor, ratio, target))

    row(f"Resolve overhead: click → result box filled, less the fake's handling "
        f"(median of {f['resolve_runs']:.0f})",
        ms(f['resolve_overhead_median_ms']),
        f"{ms(f['resolve_bare_get_median_ms'])} (bare Qt HTTPS GET, same fake, less the same)",
        f"{f['resolve_overhead_median_ms'] / f['resolve_bare_get_median_ms']:.2f}",
        "< 5 ms")
    row(f"CPU while waiting: window process during a {f['wait_seconds']:.0f} s stalled answer "
        f"(median of {f['wait_runs']:.0f})",
        f"{f['wait_cpu_median_percent']:.2f} % ({ms(f['wait_cpu_median_ms'])} CPU)",
        "—", "—", "< 2 % of wall time")
    row(f"Time to first audio (median of {f['first_audio_runs']:.0f})",
        f"{ms(f['first_audio_ours_median_ms'])} (click → player position moving; window already open)",
        f"{ms(f['first_audio_mpv_median_ms'])} (`mpv --no-config --ao=null`, process start → position moving)",
        f"{f['first_audio_ours_median_ms'] / f['first_audio_mpv_median_ms']:.2f}",
        "ratio ≤ 1.0")
    row(f"Command line: one address, whole process (median of {f['cli_ours_runs']:.0f})",
        f"{ms(f['cli_ours_median_ms'])} (`velmora-resolve` via the fake resolver)",
        f"{ms(f['cli_ytdlp_median_ms'])} (`yt-dlp -g` on a local play page)",
        f"{f['cli_ours_median_ms'] / f['cli_ytdlp_median_ms']:.2f}",
        "ratio ≤ 0.2")
    row(f"Start-up: process start → window shown, offscreen (median of {f['startup_runs']:.0f})",
        ms(f['startup_median_ms']), "—", "—", "< 250 ms")
    row(f"Start-up: peak resident memory (highest of {f['startup_runs']:.0f})",
        f"{f['startup_peak_rss_max_mb']:.1f} MB", "—", "—", "< 80 MB")
    for size, label in (("64", "64-byte input"), ("1048576", "1 MiB input")):
        ours = f[f"digest_md5hex_{size}_median_mbps"]
        qt_rate = f[f"digest_qtmd5_{size}_median_mbps"]
        row(f"Md5Hex throughput, {label} (median of {f[f'digest_md5hex_{size}_runs']:.0f})",
            f"{ours:.0f} MB/s", f"{qt_rate:.0f} MB/s (QCryptographicHash::Md5)",
            f"{ours / qt_rate:.2f}", "ratio ≥ 0.8")
    for mb in (20, 200):
        ours_s, curl_s = f[f"save_{mb}_ours_median_s"], f[f"save_{mb}_curl_median_s"]
        row(f"Save {mb} MB from loopback, whole process (median of "
            f"{f[f'save_{mb}_ours_runs']:.0f})",
            f"{mb / ours_s:.0f} MB/s (`velmora-resolve -o`, resolve included)",
            f"{mb / curl_s:.0f} MB/s (`curl -o`)", f"{curl_s / ours_s:.2f}",
            "ratio ≥ 0.9" if mb == 200 else "— (start-up and resolve dominate)")
    row("Save: peak resident memory of the saving process, 20 MB / 200 MB file",
        f"{f['save_20_ours_peak_rss_mb']:.1f} MB / {f['save_200_ours_peak_rss_mb']:.1f} MB",
        f"{f['save_20_curl_peak_rss_mb']:.1f} MB / {f['save_200_curl_peak_rss_mb']:.1f} MB (curl)",
        "—", "< 60 MB for both")
    return rows


def notes(f):
    return [
        f"- Resolve: round trip {ms(f['resolve_roundtrip_median_ms'])} median, of which the fake's "
        f"own handling {f['resolve_fake_handling_median_ms'] * 1e3:.0f} µs; first click "
        f"{ms(f['resolve_overhead_first_ms'])}, 90th percentile {ms(f['resolve_overhead_p90_ms'])}. "
        "The fake runs in the window's process and thread, so its side of each TLS handshake "
        "stays in both figures.",
        f"- CPU while waiting: highest of the runs {f['wait_cpu_max_percent']:.2f} %; the resolver "
        "is another process, and the figure is the window process's user + system time.",
        f"- First audio: ours is the window's first click, mpv a cold start of a new process; "
        f"slowest run ours {ms(f['first_audio_ours_max_ms'])}, mpv {ms(f['first_audio_mpv_max_ms'])}. "
        "Both play the same 20 s MP3 from the fake's media port; ours plays into a null "
        "PulseAudio sink.",
        "- Command line: hyperfine, no shell; both commands were checked to print the same "
        "audio address first.",
        f"- Start-up: median peak resident memory {f['startup_peak_rss_median_mb']:.1f} MB; "
        f"slowest start {ms(f['startup_max_ms'])}. The harness does what app/main.cpp does and "
        "quits once the window is exposed and painted.",
        "- Digest: Google Benchmark (Debian's library, which says it was built for debugging; "
        "the code measured is built for release), repetitions interleaved at random, rates "
        "from CPU time; Md5Hex starts from UTF-16 text, Qt's MD5 from the same bytes "
        "ready-made; both give hex."]


def main():
    figures_file, date, cores, cpu, load_before, load_after, mpv, ytdlp, hyperfine, qt = sys.argv[1:]
    f = read_figures(figures_file)
    out = [f"Benchmarks, {date}: {cores} cores ({cpu}), load average {load_before} before "
           f"and {load_after} after; {qt}, {mpv}, {ytdlp}, {hyperfine}.", "",
           "| measure | ours | anchor | ratio | target |", "|---|---|---|---|---|"]
    out += ["| " + " | ".join(r) + " |" for r in table_rows(f)]
    out += [""] + notes(f)
    print("\n".join(out))


if __name__ == '__main__':
    main()
