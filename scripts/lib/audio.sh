# A sound server with a null sink, so that players have somewhere to play on
# machines without a sound card (CI, containers). Sourced, not run.

start_null_audio() {
    command -v pulseaudio >/dev/null || return 0
    if pulseaudio --check 2>/dev/null; then
        return 0
    fi
    # Root has no session bus or user runtime dir here; run a private daemon.
    export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/velmora-xdg.XXXXXX)}"
    chmod 700 "$XDG_RUNTIME_DIR"
    pulseaudio --daemonize=yes --exit-idle-time=-1 --system=false --disallow-exit \
        -n --load="module-null-sink sink_name=velmora_null" \
        --load="module-native-protocol-unix" >/dev/null 2>&1 || true
}
