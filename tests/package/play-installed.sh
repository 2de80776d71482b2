#!/usr/bin/env bash
# Installs the Debian package with apt, as a listener would, and checks that
# the installed programs work there: the package's built-in resolver host is
# named 127.0.0.1 in /etc/hosts, the fake resolver answers on its port, its
# test CA joins the system's CA store, and the window started with a
# play-page address must be heard at the null sink. It changes the system it
# runs on: scripts/debian13 runs it as root in a throwaway Debian root.
#   play-installed.sh DEB FAKE_RESOLVER
set -euo pipefail
deb="$(realpath "$1")"
fake="$(realpath "$2")"
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$ROOT/scripts/lib/audio.sh"
source "$ROOT/scripts/lib/fake.sh"
work="$(mktemp -d)"
FAKE_PID="" window=""
trap '[ -z "$window" ] || kill "$window" 2>/dev/null; [ -z "$FAKE_PID" ] || kill "$FAKE_PID" 2>/dev/null; rm -rf "$work"' EXIT

failures=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
PLAY_PAGE="http://www.velmora.cn/play/169309.html"

if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$work/apt.log" 2>&1; then
    cat "$work/apt.log"
    echo "FAIL apt installs $(basename "$deb")"
    exit 1
fi
echo "ok   apt installs $(basename "$deb")"
sed -n '/^The following NEW packages/,/^[0-9]* upgraded/p' "$work/apt.log"

# The host as the installed program was built with, from its --help.
builtin="$(velmora-resolve --help | tr -s ' \n' ' ' | sed -n 's|.*(default: https://\([^)]*\)).*|\1|p')"
check "velmora-resolve --help names the built-in resolver host ($builtin)" test -n "$builtin"
host="${builtin%%:*}"
port=443
[ "$host" = "$builtin" ] || port="${builtin#*:}"

export QT_QPA_PLATFORM=offscreen
start_null_audio
start_fake "$fake" "$port"
echo "127.0.0.1 $host" >>/etc/hosts
cp "$FAKE_CA" /usr/local/share/ca-certificates/velmora-test-ca.crt
update-ca-certificates >/dev/null 2>&1

# The fake serves the audio of a track asked for by name under that name.
resolved="$(velmora-resolve "$PLAY_PAGE" 2>&1 || true)"
check "the installed velmora-resolve resolves through the system's CA store: $resolved" \
    grep -qxE 'https?://[^/]+/media/169309\.mp3' <<<"$resolved"

listen_at_sink "$work/peak" 1000 30
/usr/bin/velmora "$PLAY_PAGE" >"$work/velmora.log" 2>&1 &
window=$!
wait "$LISTENER" || true
peak="$(cat "$work/peak")"
check "the installed window is heard at the null sink (peak ${peak:-none} of 32767)" \
    test "${peak:-0}" -ge 1000
check "the stream at the null sink is the window's" \
    bash -c 'pactl list sink-inputs | grep -q "application.name = \"velmora\""'
if [ "$failures" -gt 0 ]; then
    echo "--- the window's output:"
    cat "$work/velmora.log"
fi
[ "$failures" -eq 0 ]
