# The fake resolver as a process of its own, shared by scripts/demo,
# scripts/screenshot and scripts/bench. Sourced, not run.

# start_fake BINARY [PORT [MEDIA_PORT [OPTION...]]]
# Starts the fake-resolver BINARY in the background, on the given loopback
# ports or on free ones, and waits for it to report where it listens. Sets
# FAKE_PID; FAKE_RESOLVER, the resolver's host:port (no scheme, as the
# programs take it); FAKE_MEDIA, the base address of its audio files;
# FAKE_CA, the CA file to trust; FAKE_REPORT, what it printed.
start_fake() {
    local bin="$1" port="${2:-}" media_port="${3:-}" out args=()
    shift "$(($# < 3 ? $# : 3))"
    [ -n "$port" ] && args+=(--port "$port")
    [ -n "$media_port" ] && args+=(--media-port "$media_port")
    args+=("$@")
    out="$(mktemp /tmp/velmora-fake.XXXXXX)"
    "$bin" "${args[@]}" >"$out" 2>&1 &
    FAKE_PID=$!
    # The ca: line comes last, once both ports are listening.
    for _ in $(seq 50); do
        grep -q '^ca:' "$out" && break
        kill -0 "$FAKE_PID" 2>/dev/null || break
        sleep 0.1
    done
    FAKE_REPORT="$(cat "$out")"
    rm -f "$out"
    FAKE_RESOLVER="$(sed -n 's|^resolver: https://||p' <<<"$FAKE_REPORT")"
    FAKE_MEDIA="$(sed -n 's|^media: ||p' <<<"$FAKE_REPORT")"
    FAKE_CA="$(sed -n 's|^ca: ||p' <<<"$FAKE_REPORT")"
    if [ -z "$FAKE_RESOLVER" ] || [ -z "$FAKE_MEDIA" ] || [ -z "$FAKE_CA" ]; then
        printf '%s\n' "$FAKE_REPORT" >&2
        kill "$FAKE_PID" 2>/dev/null || true
        FAKE_PID=""
        return 1
    fi
    export FAKE_RESOLVER FAKE_MEDIA FAKE_CA
}
