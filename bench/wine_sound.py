# First sound of the Windows program under Wine, heard at the monitor of
# the null sink as bench/first_sound.py hears the Linux one, beside mpv.exe
# built from the same sources under the same Wine and sink:
#   warm ours  velmora.exe shown and settled with the play-page address in
#              its input box (offered from the clipboard), a click on 点击解析
#              on the display Wine draws on (xdotool) → sound
#   warm mpv   mpv.exe --idle, settled, "loadfile" through its named pipe,
#              relayed by wine_pipe.exe from this script → sound
#   cold ours  velmora.exe started with the play-page address → sound
#   cold mpv   mpv.exe started with the audio address → sound
# Each player is a fresh process; ours and mpv take turns. The trigger's
# time is taken here, before the click or the line is handed on: what the
# relay costs counts against the player.
#   python3 bench/wine_sound.py --runs N --sink SINK --url AUDIO --address PLAY_PAGE \
#       --app VELMORA_EXE --mpv MPV_EXE --pipe WINE_PIPE_EXE --work DIR
import argparse
import json
import os
import statistics
import subprocess
import sys
import time

from first_sound import Bench, Trouble, log, settle

# Where 点击解析 is in the window's client area, which Wine draws as the X
# window when no window manager adds a frame: app/layout.h's Command1, in
# pixels.
COMMAND1 = (94 + 188 // 2, 117 + 48 // 2)


class WineBench(Bench):
    def __init__(self, args):
        args.wav = args.window = args.resolver = args.marks = None
        super().__init__(args)
        self.env.pop("QT_QPA_PLATFORM", None)  # Windows' own platform, on Xvfb

    def wine(self, *argv, **kw):
        return self.spawn(["wine", *argv], **kw)

    def window_id(self, timeout=30.0):
        found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                                "Velmora"], capture_output=True, text=True, timeout=timeout)
        ids = found.stdout.split()
        if not ids:
            raise Trouble("warm ours: no window of velmora.exe on the display")
        return ids[0]

    def warm_ours(self):
        self.check_sink_free()
        subprocess.run(["xclip", "-selection", "clipboard"], input=self.args.address.encode(),
                       check=True, timeout=10)
        proc = self.wine(self.args.app)
        window = self.window_id()
        settle(proc)
        geometry = dict(line.split("=") for line in subprocess.run(
            ["xdotool", "getwindowgeometry", "--shell", window], capture_output=True,
            text=True, check=True).stdout.split())
        x, y = int(geometry["X"]) + COMMAND1[0], int(geometry["Y"]) + COMMAND1[1]
        subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)

        def trigger():
            at = time.monotonic()
            subprocess.run(["xdotool", "click", "1"], check=True)
            return at, proc

        at, heard = self.hear("warm ours", trigger)
        self.end(proc)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=30)
        return 1e3 * (heard - at)

    def warm_mpv(self, run):
        self.check_sink_free()
        pipe = rf"\\.\pipe\velmora-bench-{run}"
        proc = self.wine(self.args.mpv, "--no-config", "--idle=yes", "--vid=no",
                         f"--input-ipc-server={pipe}")
        relay = self.wine(self.args.pipe, pipe, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        if relay.stdout.readline().strip() != b"connected":
            raise Trouble("warm mpv: mpv.exe's pipe never opened")
        settle(proc)
        command = json.dumps({"command": ["loadfile", self.args.url]}).encode() + b"\n"

        def trigger():
            at = time.monotonic()
            relay.stdin.write(command)
            relay.stdin.flush()
            return at, proc

        at, heard = self.hear("warm mpv", trigger)
        relay.stdin.close()
        self.end(relay)
        self.end(proc)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=30)
        return 1e3 * (heard - at)

    def cold(self, who):
        self.check_sink_free()
        argv = ([self.args.app, self.args.address] if who == "ours"
                else [self.args.mpv, "--no-config", "--vid=no", self.args.url])

        def trigger():
            at = time.monotonic()
            return at, self.wine(*argv)

        at, heard = self.hear(f"cold {who}", trigger)
        for proc in list(self.children):
            if proc is not self.keep_alive:
                self.end(proc)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=30)
        return 1e3 * (heard - at)


def main():
    parser = argparse.ArgumentParser()
    for name in ("sink", "url", "address", "app", "mpv", "pipe", "work"):
        parser.add_argument(f"--{name}", required=True)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    bench = WineBench(args)
    results = {key: [] for key in ("warm_ours", "warm_mpv", "cold_ours", "cold_mpv")}
    try:
        bench.start()
        for run in range(args.runs):
            order = ("ours", "mpv") if run % 2 == 0 else ("mpv", "ours")
            for who in order:
                results[f"warm_{who}"].append(
                    bench.warm_ours() if who == "ours" else bench.warm_mpv(run))
            for who in order:
                results[f"cold_{who}"].append(bench.cold(who))
            log(f"wine run {run + 1}/{args.runs}: " +
                ", ".join(f"{key} {values[-1]:.1f}" for key, values in results.items()) + " ms")
    except Trouble as trouble:
        log(str(trouble))
        return 1
    finally:
        bench.close()
    print(f"wine_sound_runs {args.runs}")
    for key, values in results.items():
        print(f"wine_sound_{key}_median_ms {statistics.median(values):.6g}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
