# Writes 20 s of a 440 Hz tone as a mono 16-bit WAV, for scripts/bench to
# turn into the MP3 that time to first audio plays: long enough that the
# player's position has time to move.
#   python3 bench/make_tone.py OUTPUT.wav
import math
import struct
import sys
import wave

RATE = 44100
SECONDS = 20
HZ = 440


def main():
    # 0.1 s holds whole cycles of 440 Hz, so it repeats without a click.
    one = b''.join(struct.pack('<h', int(8000 * math.sin(2 * math.pi * HZ * i / RATE)))
                   for i in range(RATE // 10))
    with wave.open(sys.argv[1], 'wb') as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(one * (SECONDS * 10))


if __name__ == '__main__':
    main()
