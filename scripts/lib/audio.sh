# The sound server that tests, benchmarks and screenshots play into: one of
# their own with a null sink, in a runtime folder of their own, so that
# players have somewhere to play on machines without a sound card (CI,
# containers, Debian roots) and a desktop's sound server is neither played
# into nor disturbed. Sourced after common.sh, not run.

# PulseAudio, except where the machine's sound goes through PipeWire: there
# Debian's pipewire-audio (which GNOME depends on) conflicts with pulseaudio,
# and both would set up a user service on the same socket, so the private
# server is made of PipeWire's own programs. pactl and parec talk to both.
PULSEAUDIO_PACKAGES=(pulseaudio pulseaudio-utils)
PIPEWIRE_PACKAGES=(pipewire pipewire-pulse wireplumber pulseaudio-utils dbus)
uses_pipewire() { ! installed pulseaudio && installed pipewire-pulse; }
sound_packages() {
    if uses_pipewire; then echo "${PIPEWIRE_PACKAGES[@]}"; else echo "${PULSEAUDIO_PACKAGES[@]}"; fi
}

# Sets XDG_RUNTIME_DIR to the private runtime folder (and PULSE_SERVER to its
# server, for programs that are given another runtime folder) and makes sure
# its server runs with the null sink velmora_null as the default. The
# folder's name stays the same from run to run, so that the server of an
# earlier run is found and reused instead of being joined by another one.
start_null_audio() {
    local desktop="${XDG_RUNTIME_DIR:-}" dir how=reused
    # shellcheck disable=SC2046
    ensure_packages $(sound_packages)
    dir="/tmp/velmora-xdg-$(id -u)"
    mkdir -p "$dir"
    if [ -O "$dir" ] && [ ! -L "$dir" ]; then
        chmod 700 "$dir"
    else
        dir="$(mktemp -d /tmp/velmora-xdg.XXXXXX)"
    fi
    export XDG_RUNTIME_DIR="$dir" PULSE_SERVER="unix:$dir/pulse/native"
    # mpv may try PipeWire before PulseAudio: only the private one may answer.
    unset PIPEWIRE_RUNTIME_DIR PIPEWIRE_REMOTE
    if ! pactl info >/dev/null 2>&1; then
        how=started
        if uses_pipewire; then start_private_pipewire "$dir"; else start_private_pulseaudio; fi
        local _
        for _ in $(seq 100); do
            pactl info >/dev/null 2>&1 && break
            sleep 0.1
        done
        pactl info >/dev/null 2>&1 || { echo "the private sound server in $dir did not start" >&2; return 1; }
    fi
    pactl list short sinks 2>/dev/null | grep -q $'\tvelmora_null\t' ||
        pactl load-module module-null-sink sink_name=velmora_null >/dev/null
    pactl set-default-sink velmora_null
    local server left_alone=""
    server="$(pactl info | sed -n 's/^Server Name: //p')"
    if [ -n "$desktop" ] && [ "$desktop" != "$dir" ] && [ -S "$desktop/pulse/native" ]; then
        left_alone="; the desktop's sound server in $desktop is left alone"
    fi
    log "sound: a null sink on a private $server in $dir ($how)$left_alone"
}

start_private_pulseaudio() {
    pulseaudio --daemonize=yes --exit-idle-time=-1 --system=false --disallow-exit \
        -n --load="module-native-protocol-unix" >/dev/null 2>&1 || true
}

# PipeWire, its session manager and its PulseAudio server, with no device of
# the machine, a D-Bus session bus of their own (WirePlumber 0.4 does not run
# without one; the desktop's is not theirs to announce or reserve anything
# on), and neither the user's configuration nor a saved state: the folders
# they would read and write are inside the private one.
start_private_pipewire() {
    local dir="$1" wireplumber_args
    local private=(env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$dir"
        DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus" XDG_CONFIG_HOME="$dir/config"
        XDG_STATE_HOME="$dir/state")
    mkdir -p "$dir/config" "$dir/state"
    rm -f "$dir/bus"
    dbus-daemon --session --fork --address="unix:path=$dir/bus"
    # WirePlumber without its hardware monitors: in 0.5 (Debian 13) the
    # profile of policy alone (linking streams to the default sink); 0.4
    # (Debian 12) needs its whole set-up for that, told in Lua to leave the
    # devices alone.
    if wireplumber --version | grep -q 'libwireplumber 0\.4'; then
        wireplumber_args=()
        mkdir -p "$dir/config/wireplumber/main.lua.d" "$dir/config/wireplumber/bluetooth.lua.d"
        printf '%s.enabled = false\n' alsa_monitor v4l2_monitor libcamera_monitor \
            >"$dir/config/wireplumber/main.lua.d/51-velmora-no-devices.lua"
        echo 'bluez_monitor.enabled = false' \
            >"$dir/config/wireplumber/bluetooth.lua.d/51-velmora-no-devices.lua"
    else
        wireplumber_args=(--profile=policy)
    fi
    setsid "${private[@]}" pipewire >"$dir/pipewire.log" 2>&1 &
    local _
    for _ in $(seq 100); do
        [ -S "$dir/pipewire-0" ] && break
        sleep 0.1
    done
    setsid "${private[@]}" wireplumber "${wireplumber_args[@]}" >"$dir/wireplumber.log" 2>&1 &
    setsid "${private[@]}" pipewire-pulse >"$dir/pipewire-pulse.log" 2>&1 &
}

# For the demo, which is there to be heard: the desktop's own sound server
# where there is one, a private null sink elsewhere.
start_audio_for_listening() {
    if [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -S "$XDG_RUNTIME_DIR/pulse/native" ]; then
        return 0
    fi
    start_null_audio
}

# listen_at_sink FILE THRESHOLD SECONDS: in the background, the highest level
# heard at the null sink's monitor until one reaches THRESHOLD or SECONDS
# pass, then written to FILE. Started before the sound, which may be over
# before a check could ask for it; sets LISTENER to wait for.
listen_at_sink() {
    (timeout "$3" parec -d velmora_null.monitor --raw --format=s16le --channels=1 --rate=8000 \
        --latency-msec=50 2>/dev/null | python3 "$ROOT/tests/package/peak.py" "$2" >"$1") &
    LISTENER=$!
}
