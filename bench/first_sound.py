# Time to first sound, heard where a listener hears it: at the monitor of the
# null sink every player here plays to, timestamped on CLOCK_MONOTONIC, the
# clock the trigger is read from as well (time.monotonic() here, and
# clock_gettime() in velmora-bench-window). Each run takes, in turn:
#   floor      paplay --latency-msec=10 of a WAV, start → sound: what the
#              method itself adds (sound server, monitor, recorder)
#   warm ours  velmora-bench-window first-sound, shown and settled, click on
#              点击解析 → sound (resolve included)
#   warm mpv   mpv --idle, settled, "loadfile" over its IPC socket → sound
#   cold ours  the velmora program started with the play-page address → sound
#   cold mpv   mpv started with the audio address → sound
#   cold marks the same start of the program's code through
#              velmora-bench-shown --marks, which says when it reached main,
#              showed the window, had the answer and had the file open:
#              where the cold start's time goes
# Every player is a fresh process, stopped by its PID once heard; ours and
# mpv swap places from run to run. A silent low-latency stream keeps the sink
# awake throughout: an idle null sink runs at a 2 s latency, which would
# otherwise be in every first sample.
#   python3 bench/first_sound.py --runs N --sink SINK --wav FILE --url AUDIO \
#       --address PLAY_PAGE --window BENCH_WINDOW --resolver HOST:PORT \
#       [--cacert FILE] --app VELMORA --marks BENCH_SHOWN --mpv MPV --work DIR
# mpv plays as it is set up out of the box, sound server included, as ours
# does.
# Without --cacert the window trusts the resolver through the system's
# store, as the velmora program does.
# Figures go to standard output as "name value" lines; progress and the
# breakdown of our start to standard error.
import argparse
import array
import json
import os
import queue
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

# Well above the zeros of the keep-alive, well below the tone (about 7600):
# the tone's first sample or two already cross it.
THRESHOLD = 1000
QUIET_BEFORE = 0.3  # s of silence at the monitor before any trigger
HEAR_TIMEOUT = 15.0
STAGES = ("resolved", "loading", "loaded", "position")
COLD_STAGES = ("main", "shown", "resolved", "loaded")


class Trouble(Exception):
    pass


def log(text):
    print(f"first-sound: {text}", file=sys.stderr, flush=True)


# Helpers end with this script even when it is killed outright.
DIE_WITH_US = ["setpriv", "--pdeathsig", "KILL"]


def pactl(*args):
    return subprocess.run(["pactl", *args], check=True, capture_output=True, text=True).stdout


class Monitor:
    """parec on SINK.monitor: when the first sample above THRESHOLD after
    arm() was played, and when anything was last heard."""

    def __init__(self, sink, rate):
        self.rate = rate
        self.proc = subprocess.Popen(
            DIE_WITH_US + ["parec", "-d", f"{sink}.monitor", "--raw", "--format=s16le",
                           "--channels=1", f"--rate={rate}", "--latency-msec=2"],
            stdout=subprocess.PIPE, bufsize=0)
        self.cond = threading.Condition()
        self.armed = False
        self.heard = None
        self.started = False
        self.last_loud = time.monotonic()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        fd = self.proc.stdout.fileno()
        rest = b""
        while True:
            chunk = os.read(fd, 65536)
            now = time.monotonic()
            if not chunk:
                break
            data = rest + chunk
            usable = len(data) // 2 * 2
            rest = data[usable:]
            samples = array.array("h", data[:usable])
            if sys.byteorder != "little":
                samples.byteswap()
            with self.cond:
                self.started = True
                self.cond.notify_all()
            if not samples or (max(samples) <= THRESHOLD and min(samples) >= -THRESHOLD):
                continue
            first = next(i for i, v in enumerate(samples) if v > THRESHOLD or v < -THRESHOLD)
            # The chunk ends with the newest sample; the first loud one was
            # played that much earlier.
            at = now - (len(samples) - first) / self.rate
            with self.cond:
                self.last_loud = now
                if self.armed and self.heard is None:
                    self.heard = at
                    self.cond.notify_all()

    def wait_started(self, timeout=10.0):
        with self.cond:
            if not self.cond.wait_for(lambda: self.started, timeout):
                raise Trouble("parec delivers nothing from the monitor")

    def wait_quiet(self, timeout=20.0):
        deadline = time.monotonic() + timeout
        while True:
            with self.cond:
                quiet_for = time.monotonic() - self.last_loud
            if quiet_for >= QUIET_BEFORE:
                return
            if time.monotonic() > deadline:
                raise Trouble("the sink never falls silent: is something else playing on it?")
            time.sleep(QUIET_BEFORE - quiet_for + 0.01)

    def arm(self):
        with self.cond:
            self.armed = True
            self.heard = None

    def wait_heard(self, what, check=lambda: None):
        """The time of the first sound since arm(); CHECK runs now and then
        meanwhile and raises Trouble when the player has failed."""
        deadline = time.monotonic() + HEAR_TIMEOUT
        with self.cond:
            while self.heard is None:
                if time.monotonic() > deadline:
                    raise Trouble(f"{what}: no sound within {HEAR_TIMEOUT:.0f} s")
                self.cond.wait(0.1)
                if self.heard is None:
                    check()
            self.armed = False
            return self.heard

    def close(self):
        stop(self.proc)


class SinkInputs:
    """pactl subscribe: when the sound server saw each new playback stream,
    for the breakdown only."""

    def __init__(self):
        self.proc = subprocess.Popen(DIE_WITH_US + ["pactl", "subscribe"], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, bufsize=0)
        self.times = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        rest = b""
        while True:
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            now = time.monotonic()
            if not chunk:
                break
            *lines, rest = (rest + chunk).split(b"\n")
            for line in lines:
                if line.startswith(b"Event 'new' on sink-input"):
                    with self.lock:
                        self.times.append(now)

    def first_after(self, t):
        with self.lock:
            return next((x for x in self.times if x >= t), None)

    def close(self):
        stop(self.proc)


def stop(proc, grace=3.0):
    """Ends a child by its PID: politely, then not."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime, all threads


def settle(proc, least=1.0, most=6.0):
    """Waits at least LEAST s, then until a quarter second passes with at
    most one clock tick of CPU: the player has finished starting up."""
    began = time.monotonic()
    time.sleep(least)
    before = cpu_ticks(proc.pid)
    while time.monotonic() - began < most:
        time.sleep(0.25)
        now = cpu_ticks(proc.pid)
        if now - before <= 1:
            return
        before = now
    log(f"pid {proc.pid} still busy after {most:.0f} s; measuring anyway")


def streams_on(sink_index, but=()):
    """Playback streams on the sink other than those of the given PIDs."""
    found, current = [], None
    for line in pactl("list", "sink-inputs").splitlines():
        line = line.strip()
        if line.startswith("Sink Input #"):
            current = {"sink": None, "pid": None}
            found.append(current)
        elif current is not None and line.startswith("Sink:"):
            current["sink"] = line.split(":", 1)[1].strip()
        elif current is not None and line.startswith("application.process.id"):
            current["pid"] = line.split("=", 1)[1].strip().strip('"')
    return [s for s in found if s["sink"] == sink_index and s["pid"] not in {str(p) for p in but}]


class Bench:
    def __init__(self, args):
        self.args = args
        self.sink = args.sink
        sinks = [line.split("\t") for line in pactl("list", "sinks", "short").splitlines()]
        ours = [s for s in sinks if len(s) > 1 and s[1] == self.sink]
        if not ours:
            raise Trouble(f"no sink {self.sink}")
        self.sink_index = ours[0][0]
        rate = re.search(r"(\d+)Hz", ours[0][3] if len(ours[0]) > 3 else "")
        self.rate = int(rate.group(1)) if rate else 48000  # the sink's own: nothing resampled
        # Our window plays to the server's default sink whatever PULSE_SINK says.
        default = pactl("get-default-sink").strip()
        if default != self.sink:
            raise Trouble(f"the default sink is {default}, not {self.sink}")
        self.env = dict(os.environ, PULSE_SINK=self.sink, QT_QPA_PLATFORM="offscreen")
        runtime = os.environ.get("XDG_RUNTIME_DIR", "")
        if runtime and os.path.exists(f"{runtime}/pulse/native"):
            # Cold runs get runtime dirs of their own; the server stays this one.
            self.env["PULSE_SERVER"] = f"unix:{runtime}/pulse/native"
        self.children = []
        self.errors = None
        self.keep_alive = None
        self.monitor = None
        self.streams = None
        self.breakdown = {stage: [] for stage in STAGES + ("stream", "heard")}
        self.cold_streams = {"ours": [], "mpv": []}
        self.cold_stages = {stage: [] for stage in COLD_STAGES + ("heard",)}

    def spawn(self, argv, **kw):
        kw.setdefault("stdin", subprocess.DEVNULL)
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", self.errors)
        kw.setdefault("env", self.env)
        proc = subprocess.Popen(argv, **kw)
        self.children.append(proc)
        return proc

    def end(self, proc):
        stop(proc)
        self.children.remove(proc)

    def start(self):
        self.errors = open(os.path.join(self.args.work, "players.log"), "ab")
        self.streams = SinkInputs()
        with open("/dev/zero", "rb") as zeros:
            self.keep_alive = subprocess.Popen(
                DIE_WITH_US + ["pacat", "--playback", "-d", self.sink, "--latency-msec=5",
                               "--raw", "--format=s16le", "--channels=1", f"--rate={self.rate}"],
                stdin=zeros, stdout=subprocess.DEVNULL)
        self.monitor = Monitor(self.sink, self.rate)
        self.monitor.wait_started()
        deadline = time.monotonic() + 5
        while (configured := self.sink_latency()) is None or configured >= 50:
            if time.monotonic() > deadline:
                raise Trouble(f"the sink {self.sink} stays at a latency of {configured} ms "
                              "beside the keep-alive stream")
            time.sleep(0.05)
        log(f"sink {self.sink} at {self.rate} Hz, configured latency {configured} ms with the "
            "keep-alive stream")
        self.monitor.wait_quiet()

    def sink_latency(self):
        block = pactl("list", "sinks").split(f"Name: {self.sink}\n", 1)
        found = re.search(r"configured (\d+) usec", block[1]) if len(block) > 1 else None
        return int(found.group(1)) / 1000 if found else None

    def close(self):
        for proc in list(self.children):
            self.end(proc)
        for helper in (self.monitor, self.streams):
            if helper:
                helper.close()
        if self.keep_alive:
            stop(self.keep_alive)
        if self.errors:
            self.errors.close()

    def check_sink_free(self):
        if self.keep_alive.poll() is not None:
            raise Trouble("the keep-alive stream ended: the sink is back at its idle latency")
        deadline = time.monotonic() + 30
        while streams_on(self.sink_index, but=[self.keep_alive.pid]):
            if time.monotonic() > deadline:
                raise Trouble(f"another program keeps playing on {self.sink}")
            time.sleep(0.2)

    def hear(self, what, trigger):
        """Arms the recorder, runs TRIGGER (which returns its own time, taken
        just before it acts, and the process to watch) and gives the times of
        the trigger and the first sound."""
        self.monitor.wait_quiet()
        self.monitor.arm()
        at, proc = trigger()

        def check():
            if proc.poll() is not None:
                raise Trouble(f"{what}: ended with status {proc.returncode} before a sound")

        heard = self.monitor.wait_heard(what, check)
        if heard < at:
            raise Trouble(f"{what}: sound {1e3 * (at - heard):.1f} ms before the trigger")
        return at, heard

    def floor(self):
        proc = None

        def trigger():
            nonlocal proc
            at = time.monotonic()
            proc = self.spawn(["paplay", "--latency-msec=10", "-d", self.sink, self.args.wav])
            return at, proc

        self.check_sink_free()
        at, heard = self.hear("paplay", trigger)
        self.end(proc)
        return 1e3 * (heard - at)

    def cold(self, who):
        proc = None
        runtime = tempfile.mkdtemp(dir=self.args.work, prefix="rt-")
        # A runtime dir of its own: no other velmora window can take the address.
        ours = dict(self.env, XDG_RUNTIME_DIR=runtime)
        argv, env, out = {
            "ours": ([self.args.app, self.args.address], ours, subprocess.DEVNULL),
            "marks": ([self.args.marks, "--marks", self.args.address], ours, subprocess.PIPE),
            "mpv": ([self.args.mpv, "--no-config", self.args.url], self.env, subprocess.DEVNULL),
        }[who]

        def trigger():
            nonlocal proc
            at = time.monotonic()
            proc = self.spawn(argv, env=env, stdout=out)
            return at, proc

        self.check_sink_free()
        at, heard = self.hear(f"cold {who}", trigger)
        self.end(proc)
        shutil.rmtree(runtime, ignore_errors=True)
        if who == "marks":
            said = dict(line.split()[1:3] for line in proc.stdout.read().decode().splitlines()
                        if line.startswith("mark "))
            for stage in COLD_STAGES:
                if stage in said:
                    self.cold_stages[stage].append(1e3 * (float(said[stage]) - at))
            self.cold_stages["heard"].append(1e3 * (heard - at))
            return None
        stream = self.streams.first_after(at)
        if stream is not None and stream < heard:
            self.cold_streams[who].append(1e3 * (stream - at))
        return 1e3 * (heard - at)

    def warm_ours(self):
        self.check_sink_free()
        ca = ["--cacert", self.args.cacert] if self.args.cacert else []
        proc = self.spawn([self.args.window, "first-sound", "--resolver", self.args.resolver, *ca],
                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        lines = queue.Queue()

        def read():
            for raw in proc.stdout:
                lines.put(raw.decode(errors="replace").split())
            lines.put(None)

        threading.Thread(target=read, daemon=True).start()
        said = {}  # what the window said: ready, clicked, and each stage's time

        def until(word, timeout):
            """Takes the window's lines until it has said WORD; False when
            the time is up first."""
            deadline = time.monotonic() + timeout
            while word not in said:
                try:
                    words = lines.get(timeout=max(0.0, deadline - time.monotonic()))
                except queue.Empty:
                    return False
                if words is None:
                    raise Trouble(f"warm ours: the window ended before '{word}'")
                if not words:
                    continue
                if words[0] == "failed":
                    raise Trouble("warm ours: " + " ".join(words[1:]))
                if words[0] == "address" and words[1:] != [self.args.url]:
                    raise Trouble(f"warm ours: the window played {words[1:]}, not {self.args.url}")
                if words[0] == "mark":
                    said.setdefault(words[1], float(words[2]))
                elif words[0] in ("ready", "clicked"):
                    said[words[0]] = float(words[1]) if len(words) > 1 else 0.0
            return True

        if not until("ready", 20):
            raise Trouble("warm ours: the window never said it was ready")
        settle(proc)
        # The window reads the clock itself, just before it clicks.
        self.monitor.wait_quiet()
        self.monitor.arm()
        proc.stdin.write(b"click\n")
        proc.stdin.flush()
        heard = self.monitor.wait_heard("warm ours", lambda: until("-", 0))
        if not until("clicked", 5):
            raise Trouble("warm ours: the window never said when it clicked")
        at = said["clicked"]
        if heard < at:
            raise Trouble(f"warm ours: sound {1e3 * (at - heard):.1f} ms before the click")
        until("position", 3)  # the last stage, for the breakdown; it may come late
        proc.stdin.write(b"quit\n")
        proc.stdin.close()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            pass
        self.end(proc)
        for stage in STAGES:
            if stage in said:
                self.breakdown[stage].append(1e3 * (said[stage] - at))
        stream = self.streams.first_after(at)
        if stream is not None and stream < heard:
            self.breakdown["stream"].append(1e3 * (stream - at))
        self.breakdown["heard"].append(1e3 * (heard - at))
        return 1e3 * (heard - at)

    def warm_mpv(self, run):
        self.check_sink_free()
        path = os.path.join(self.args.work, f"mpv-{run}.sock")
        proc = self.spawn([self.args.mpv, "--no-config", "--idle=yes",
                           f"--input-ipc-server={path}"])
        ipc = socket.socket(socket.AF_UNIX)
        deadline = time.monotonic() + 20
        while True:
            try:
                ipc.connect(path)
                break
            except OSError:
                if proc.poll() is not None or time.monotonic() > deadline:
                    raise Trouble("warm mpv: its IPC socket never opened") from None
                time.sleep(0.02)
        settle(proc)
        command = json.dumps({"command": ["loadfile", self.args.url]}).encode() + b"\n"

        def trigger():
            at = time.monotonic()
            ipc.sendall(command)
            return at, proc

        at, heard = self.hear("warm mpv", trigger)
        ipc.close()
        self.end(proc)
        return 1e3 * (heard - at)


def main():
    parser = argparse.ArgumentParser()
    for name in ("sink", "wav", "url", "address", "window", "resolver", "app", "marks", "mpv",
                 "work"):
        parser.add_argument(f"--{name}", required=True)
    parser.add_argument("--cacert")
    parser.add_argument("--runs", type=int, default=9)
    args = parser.parse_args()

    def interrupted(number, _frame):
        raise SystemExit(128 + number)  # through the clean-up below

    for number in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(number, interrupted)

    bench = Bench(args)
    results = {key: [] for key in ("floor", "warm_ours", "warm_mpv", "cold_ours", "cold_mpv")}
    try:
        bench.start()
        for run in range(args.runs):
            # Ours first on even runs, mpv first on odd ones.
            order = ("ours", "mpv") if run % 2 == 0 else ("mpv", "ours")
            results["floor"].append(bench.floor())
            for who in order:
                results[f"warm_{who}"].append(
                    bench.warm_ours() if who == "ours" else bench.warm_mpv(run))
            for who in order:
                results[f"cold_{who}"].append(bench.cold(who))
            bench.cold("marks")
            log(f"run {run + 1}/{args.runs}: " +
                ", ".join(f"{key} {values[-1]:.1f}" for key, values in results.items()) + " ms")
    except Trouble as trouble:
        log(str(trouble))
        return 1
    finally:
        bench.close()

    def median(values):
        return statistics.median(values) if values else float("nan")

    # Where our warm start goes, from the click (medians; the stages are the
    # window's own signals, the stream the sound server's).
    log("warm ours, from the click: " + ", ".join(
        f"{stage} {median(values):.1f}" for stage, values in bench.breakdown.items() if values)
        + " ms")
    for who, values in bench.cold_streams.items():
        if values:
            log(f"cold {who}: playback stream at the sound server {median(values):.1f} ms "
                "after the start")
    for stage, values in bench.cold_stages.items():
        if values:
            print(f"first_sound_cold_{stage}_median_ms {median(values):.6g}")

    print(f"first_sound_runs {args.runs}")
    print(f"first_sound_floor_ms {median(results['floor']):.6g}")
    print(f"first_sound_floor_max_ms {max(results['floor']):.6g}")
    for key in ("warm_ours", "warm_mpv", "cold_ours", "cold_mpv"):
        print(f"first_sound_{key}_median_ms {median(results[key]):.6g}")
        print(f"first_sound_{key}_max_ms {max(results[key]):.6g}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
