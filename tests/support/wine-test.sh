#!/bin/sh
# Runs a test built for Windows under Wine, against the fake resolver as a
# Linux program of its own on loopback (the test finds it through
# VELMORA_FAKE): ctest's emulator in a Windows build. scripts/windows sets
# VELMORA_FAKE_PROGRAM, the fake-resolver of the normal Linux build, and a
# Wine prefix, display and sound server of its own.
#   wine-test.sh TEST.exe [ARGUMENT...]
: "${VELMORA_FAKE_PROGRAM:?names the fake-resolver to run the test against}"
report=$(mktemp /tmp/velmora-fake.XXXXXX) || exit 1
"$VELMORA_FAKE_PROGRAM" >"$report" 2>&1 &
fake=$!
trap 'kill $fake 2>/dev/null; rm -f "$report"' EXIT
# It prints its media address once both ports listen.
for _ in $(seq 50); do
    grep -q '^media: ' "$report" && break
    sleep 0.1
done
VELMORA_FAKE=$(sed -n 's/^media: //p' "$report")
[ -n "$VELMORA_FAKE" ] || { cat "$report" >&2; exit 1; }
export VELMORA_FAKE
# A QtTest program's report goes to a file: what a program under Wine writes
# to a pipe here gets lost.
out=$(mktemp /tmp/velmora-test.XXXXXX) || exit 1
trap 'kill $fake 2>/dev/null; rm -f "$report" "$out"' EXIT
LC_ALL=C.UTF-8 wine "$@" -o "$(winepath -w "$out"),txt"
status=$?
tr -d '\r' <"$out"
exit $status
