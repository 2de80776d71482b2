# The highest level heard on raw signed 16-bit mono samples from standard
# input (parec of a sink's monitor), read until one reaches THRESHOLD or the
# input ends; printed on standard output.
#   parec … --raw --format=s16le --channels=1 | python3 peak.py THRESHOLD
import array
import sys

threshold, peak = int(sys.argv[1]), 0
while peak < threshold:
    block = sys.stdin.buffer.read(800)
    if len(block) < 2:
        break
    peak = max(peak, max(abs(s) for s in array.array("h", block[: len(block) // 2 * 2])))
print(peak)
