# The demo set-up shared by scripts/demo and scripts/screenshot: the fake
# resolver on fixed loopback ports, and a build of the window program whose
# built-in resolver host and extra CA point at it. Sourced, not run.

DEMO_RESOLVER_PORT="${DEMO_RESOLVER_PORT:-47443}"
DEMO_MEDIA_PORT="${DEMO_MEDIA_PORT:-47080}"
DEMO_BUILD="$ROOT/build-demo"
DEMO_ADDRESS="http://www.velmora.cn/play/169309.html"

build_demo() {
    BUILD_TYPE=Release BUILD_TARGETS="velmora fake-resolver" configure_and_build "$DEMO_BUILD" \
        -DVELMORA_RESOLVER_HOST="127.0.0.1:$DEMO_RESOLVER_PORT" \
        -DVELMORA_EXTRA_CA_FILE="$ROOT/tests/fake/certs/ca.pem"
}

# Starts fake-resolver in the background; sets FAKE_PID.
start_fake_resolver() {
    local out
    out="$(mktemp)"
    "$DEMO_BUILD/tests/fake/fake-resolver" --port "$DEMO_RESOLVER_PORT" \
        --media-port "$DEMO_MEDIA_PORT" >"$out" 2>&1 &
    FAKE_PID=$!
    for _ in $(seq 50); do
        grep -q '^ca:' "$out" && break
        kill -0 "$FAKE_PID" 2>/dev/null || { cat "$out" >&2; return 1; }
        sleep 0.1
    done
    cat "$out"
    rm -f "$out"
}
