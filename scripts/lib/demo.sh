# The demo set-up shared by scripts/demo and scripts/screenshot: the fake
# resolver on fixed loopback ports, and a build of the window program whose
# built-in resolver host and extra CA point at it. Sourced, not run.

source "$ROOT/scripts/lib/fake.sh"

DEMO_RESOLVER_PORT="${DEMO_RESOLVER_PORT:-47443}"
DEMO_MEDIA_PORT="${DEMO_MEDIA_PORT:-47080}"
DEMO_BUILD="$ROOT/build-demo"

# Sets DEMO_ADDRESS, a play page the demo build recognises.
build_demo() {
    BUILD_TYPE=Release BUILD_TARGETS="velmora fake-resolver" configure_and_build "$DEMO_BUILD" \
        -DVELMORA_RESOLVER_HOST="127.0.0.1:$DEMO_RESOLVER_PORT" \
        -DVELMORA_EXTRA_CA_FILE="$ROOT/tests/fake/certs/ca.pem"
    DEMO_ADDRESS="$(example_play_page "$DEMO_BUILD")"
}

# Starts fake-resolver on the demo ports in the background and prints where
# it listens; sets FAKE_PID (and the rest that start_fake sets).
start_fake_resolver() {
    start_fake "$DEMO_BUILD/tests/fake/fake-resolver" "$DEMO_RESOLVER_PORT" "$DEMO_MEDIA_PORT"
    printf '%s\n' "$FAKE_REPORT"
}
