#!/usr/bin/env bash
# Regenerates the short test tones served by the fake resolver's media port.
# The outputs are committed; run this only when they must change.
#   tone.wav  400 ms of 440 Hz, 16-bit mono PCM, 22050 Hz
#   tone.mp3  the same, encoded with lame
set -euo pipefail
cd "$(dirname "$0")"

python3 - <<'PY'
import math, struct, wave

rate, seconds, freq = 22050, 0.4, 440.0
count = int(rate * seconds)
fade = rate // 100  # 10 ms ramps keep the ends from clicking
frames = bytearray()
for i in range(count):
    gain = min(1.0, i / fade, (count - 1 - i) / fade)
    frames += struct.pack('<h', int(12000 * gain * math.sin(2 * math.pi * freq * i / rate)))
with wave.open('tone.wav', 'wb') as out:
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(rate)
    out.writeframes(bytes(frames))
PY

lame --quiet -m m -b 32 --noreplaygain --id3v2-only --tt "Velmora test tone" tone.wav tone.mp3
