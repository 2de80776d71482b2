# Where our time from the address to the first sound goes: one window
# (velmora-bench-window first-sound) clicked twice, and one cold start of the
# velmora program, each with GStreamer's own log and the first sound heard at
# the monitor as bench/first_sound.py hears it. Prints one table of stages,
# in ms from the click (or from the process start), to standard output.
# Connections (to the resolver, the audio server, the sound server) are
# timed by velmora-bench-connect-log.so (bench/CMakeLists.txt), preloaded.
# `FIRST_SOUND_PROFILE=1 scripts/bench` runs it after the first-sound
# measure, on the same set-up:
#   python3 bench/first_sound_profile.py --sink SINK --url AUDIO \
#       --address PLAY_PAGE --window BENCH_WINDOW --resolver HOST:PORT \
#       [--cacert FILE] --app VELMORA --connect-log SO --work DIR
# GStreamer's log slows everything down a little: the bench's figures are
# the ones without it.
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import first_sound  # noqa: E402  (the recorder and the sink set-up)

GST_DEBUG = "GST_ELEMENT_FACTORY:4,pulse:4,bin:4,audiobasesink:5"

# What each stage is in GStreamer's log: (name, pattern), first match after
# the start of the click or process.
STAGES = [
    ("source element created (souphttpsrc)", r'creating element "souphttpsrc"'),
    ("first bytes typed (decodebin created)", r'creating element "decodebin"'),
    ("parser created (mpegaudioparse)", r'creating element "mpegaudioparse"'),
    ("decoder created (avdec_mp3)", r'creating element "avdec_mp3"'),
    ("sound server connection (pulsesink context)", r"new context with name"),
    ("playback stream created (tlength)", r"gst_pulseringbuffer_acquire.*negotiated to"),
    ("pipeline latency configured", r"configured latency of"),
    ("sink waits for the latency (sync_latency)", r"possibly waiting for clock to reach"),
    ("sink starts the stream (latency synced)", r"latency synced"),
    ("first samples handed to the stream", r"gst_audio_base_sink_render.*final timestamps"),
]


def gst_seconds(line):
    h, m, s = line.split(None, 1)[0].split(":")
    return int(h) * 3600 + int(m) * 60 + float(s)


def gst_lines(path):
    with open(path, errors="replace") as log:
        return [line for line in log if line.startswith("0:")]


def stages_after(lines, start_gst, offset):
    """Each stage's first time (monotonic) at or after START_GST."""
    found = {}
    for line in lines:
        t = gst_seconds(line)
        if t < start_gst:
            continue
        for name, pattern in STAGES:
            if name not in found and re.search(pattern, line):
                found[name] = t + offset
    latency = next((re.search(r"configured latency of (\S+)", l).group(1) for l in lines
                    if gst_seconds(l) >= start_gst and "configured latency of" in l), None)
    return found, latency


def connects(path):
    """(time, "inet PORT" or "unix PATH") for each connect() logged."""
    if not os.path.exists(path):
        return []
    with open(path) as lines:
        return [(float(t), rest.strip()) for t, rest in (l.split(" ", 1) for l in lines)]


def first_after(found, start, what):
    return next((t for t, where in found if t >= start and where == what), None)


def preload(args, bench, work, name, **extra):
    connect_log = os.path.join(work, f"{name}.connects")
    gst_log = os.path.join(work, f"{name}.gst.log")
    for path in (connect_log, gst_log):
        if os.path.exists(path):
            os.remove(path)
    env = dict(bench.env, GST_DEBUG=GST_DEBUG, GST_DEBUG_NO_COLOR="1", GST_DEBUG_FILE=gst_log,
               LD_PRELOAD=args.connect_log, VELMORA_CONNECT_LOG=connect_log, **extra)
    return env, connect_log, gst_log


def warm(args, bench, work):
    env, connect_log, gst_log = preload(args, bench, work, "warm")
    ca = ["--cacert", args.cacert] if args.cacert else []
    proc = subprocess.Popen([args.window, "first-sound", "--resolver", args.resolver, *ca],
                            env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    said = []

    def until(word):
        while True:
            line = proc.stdout.readline().decode()
            if not line:
                raise first_sound.Trouble(f"the window ended before '{word}'")
            words = line.split()
            said.append(words)
            if words[0] == "failed":
                raise first_sound.Trouble(line.strip())
            if words[0] == word or words[:2] == ["mark", word]:
                return words

    until("ready")
    first_sound.settle(proc)
    clicks = []
    for _ in range(2):
        bench.monitor.wait_quiet()
        bench.monitor.arm()
        proc.stdin.write(b"click\n")
        proc.stdin.flush()
        heard = bench.monitor.wait_heard("warm ours")
        start = len(said)
        at = float(until("clicked")[1])
        until("position")
        marks = {}
        for words in said[start:]:
            if words[0] == "mark":
                marks.setdefault(words[1], float(words[2]))
        clicks.append((at, heard, marks))
        proc.stdin.write(b"stop\n")
        proc.stdin.flush()
        until("stopped")
        time.sleep(1.0)
    proc.stdin.write(b"quit\n")
    proc.stdin.close()
    proc.wait(10)

    lines = gst_lines(gst_log)
    found_connects = connects(connect_log)
    media = "inet " + re.search(r":(\d+)/", args.url).group(1)
    # The window's "loading" comes straight after the player makes its
    # uridecodebin: that pair puts GStreamer's clock on the monotonic one.
    makes = [gst_seconds(l) for l in lines if 'creating element "uridecodebin"' in l]
    rows = []
    for (at, heard, marks), made in zip(clicks, makes):
        offset = marks["loading"] - made
        found, latency = stages_after(lines, made, offset)
        row = {"resolve done (result box filled)": marks.get("resolved"),
               "address handed to the player (LoadingMedia)": marks.get("loading"),
               "audio server connection opened": first_after(found_connects, at, media)}
        row.update(found)
        row["first sound at the monitor"] = heard
        row["player reports position > 0"] = marks.get("position")
        rows.append(({k: (1e3 * (v - at) if v is not None else None) for k, v in row.items()},
                     latency))
    return rows


def cold(args, bench, work):
    runtime = tempfile.mkdtemp(dir=work, prefix="rt-")
    env, connect_log, gst_log = preload(args, bench, work, "cold", XDG_RUNTIME_DIR=runtime)
    bench.monitor.wait_quiet()
    bench.monitor.arm()
    at = time.monotonic()
    proc = subprocess.Popen([args.app, args.address], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    heard = bench.monitor.wait_heard("cold ours")
    time.sleep(0.5)
    first_sound.stop(proc)

    found_connects = connects(connect_log)
    resolver = "inet " + args.resolver.rsplit(":", 1)[1]
    media = "inet " + re.search(r":(\d+)/", args.url).group(1)
    pulse = [t for t, where in found_connects if where.endswith("/pulse/native")]
    row = {"first sound-server connection (player made, window being built)":
               pulse[0] if pulse else None,
           "first resolver connection (event loop running: warm-up or resolve)":
               first_after(found_connects, at, resolver),
           "audio server connection (resolve done, the player fetching)":
               first_after(found_connects, at, media)}
    lines = gst_lines(gst_log)
    # The playback stream's context is the last connection to the sound
    # server, which GStreamer logs just before it connects.
    contexts = [gst_seconds(l) for l in lines if "new context with name" in l]
    latency = None
    if pulse and contexts:
        offset = pulse[-1] - contexts[-1]
        media_at = row["audio server connection (resolve done, the player fetching)"]
        found, latency = stages_after(lines, (media_at or at) - offset, offset)
        row.update(found)
    row["first sound at the monitor"] = heard
    return {k: (1e3 * (v - at) if v is not None else None) for k, v in row.items()}, latency


def main():
    parser = argparse.ArgumentParser()
    for name in ("sink", "url", "address", "window", "resolver", "app", "connect-log", "work"):
        parser.add_argument(f"--{name}", required=True)
    parser.add_argument("--cacert")
    args = parser.parse_args()
    # The bench's own set-up: the keep-alive stream and the recorder.
    setup = argparse.Namespace(**vars(args), wav="", mpv="", runs=0)
    bench = first_sound.Bench(setup)
    try:
        bench.start()
        clicks = warm(args, bench, args.work)
        started = cold(args, bench, args.work)
    except first_sound.Trouble as trouble:
        print(f"first-sound profile: {trouble}", file=sys.stderr)
        return 1
    finally:
        bench.close()

    def cell(v):
        return "—" if v is None else f"{v:.1f}"

    (first_click, latency1), (second_click, latency2) = clicks
    names = list(dict.fromkeys(list(first_click) + list(second_click)))
    print("| stage | first click in a fresh window (ms after the click) | second click, "
          "same window |")
    print("|---|---|---|")
    for name in sorted(names, key=lambda n: first_click.get(n) or 1e9):
        print(f"| {name} | {cell(first_click.get(name))} | {cell(second_click.get(name))} |")
    print(f"\npipeline latency configured: {latency1} (first click), {latency2} (second)\n")
    cold_row, cold_latency = started
    print("| stage | cold start: ms after the process start |")
    print("|---|---|")
    for name, value in sorted(cold_row.items(), key=lambda kv: kv[1] if kv[1] is not None else 1e9):
        print(f"| {name} | {cell(value)} |")
    print(f"\npipeline latency configured (cold): {cold_latency}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
