# A sound server with a null sink, so that players have somewhere to play on
# machines without a sound card (CI, containers). Sourced, not run.

start_null_audio() {
    command -v pulseaudio >/dev/null || return 0
    # Root has no session bus or user runtime dir here; use a private one.
    # Its name stays the same from run to run, so that the daemon of an
    # earlier run is found and reused instead of being joined by another
    # one that never exits.
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        local dir
        dir="/tmp/velmora-xdg-$(id -u)"
        mkdir -p "$dir"
        if [ -O "$dir" ] && [ ! -L "$dir" ]; then
            chmod 700 "$dir"
        else
            dir="$(mktemp -d /tmp/velmora-xdg.XXXXXX)"
        fi
        export XDG_RUNTIME_DIR="$dir"
    fi
    if pulseaudio --check 2>/dev/null; then
        return 0
    fi
    pulseaudio --daemonize=yes --exit-idle-time=-1 --system=false --disallow-exit \
        -n --load="module-null-sink sink_name=velmora_null" \
        --load="module-native-protocol-unix" >/dev/null 2>&1 || true
}
