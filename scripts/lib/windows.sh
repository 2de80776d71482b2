# Shared by scripts/windows and scripts/bench: the libraries for 64-bit
# Windows, each cross-built once from Debian's own sources and kept in the
# user's cache, and Wine to run what is built against them. Sourced after
# common.sh.

source "$ROOT/scripts/lib/debian-source.sh"

WINDOWS_TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
WINDOWS_CACHE="$VELMORA_CACHE/windows"

# cached_stage NAME RECIPE BUILDER [INPUT...]: sets STAGE_PREFIX to the
# cache folder of a build by BUILDER PREFIX WORK, keyed by the recipe file,
# the inputs (files by their content, other words as they are) and the
# compilers and tools every build here uses. The build runs only when no
# complete build has that key; older builds of NAME are removed after it.
cached_stage() {
    local name="$1" recipe="$2" builder="$3" key input
    shift 3
    key="$(
        {
            cat "$recipe" "$WINDOWS_TOOLCHAIN"
            for input in "$@"; do
                if [ -f "$input" ]; then cat "$input"; else echo "$input"; fi
            done
            x86_64-w64-mingw32-g++-posix -dumpfullversion
            cmake --version | head -1
            ninja --version
        } | sha256sum | cut -c1-16
    )"
    local cache="$WINDOWS_CACHE/$name"
    STAGE_PREFIX="$cache/$key"
    mkdir -p "$cache"
    # One build at a time; a second run waits for it and then reuses it.
    local lock
    exec {lock}>"$cache/lock"
    flock "$lock"
    if [ -f "$STAGE_PREFIX/.complete" ]; then
        log "$name for Windows: reused from $STAGE_PREFIX"
    else
        log "$name for Windows: building into $STAGE_PREFIX"
        local work
        work="$(mktemp -d "$cache/work.XXXXXX")"
        rm -rf "$STAGE_PREFIX"
        mkdir -p "$STAGE_PREFIX"
        "$builder" "$STAGE_PREFIX" "$work" || { echo "$name: the build failed; its files are in $work" >&2; exit 1; }
        touch "$STAGE_PREFIX/.complete"
        find "$cache" -mindepth 1 -maxdepth 1 -type d ! -path "$STAGE_PREFIX" -exec rm -rf {} +
    fi
    exec {lock}>&-
}

# Sets QT_WINDOWS_PREFIX to the static Qt for Windows.
qt_for_windows() {
    source "$ROOT/scripts/lib/windows-qt.sh"
    cached_stage qt "$ROOT/scripts/lib/windows-qt.sh" build_qt_for_windows \
        "$(source_version qt6-base-dev)" "${QT_WINDOWS_PATCHES[@]}"
    QT_WINDOWS_PREFIX="$STAGE_PREFIX"
}

# Sets MPV_WINDOWS_PREFIX to libmpv and mpv.exe for Windows, built from the
# sources of the host's versions of mpv and the libraries under it.
mpv_for_windows() {
    source "$ROOT/scripts/lib/windows-mpv.sh"
    local pair patch versions=() patches=()
    for pair in "${MPV_WINDOWS_SOURCES[@]}"; do
        versions+=("${pair%%:*} $(source_version "${pair#*:}")")
        # Only the patches there are: an unmatched pattern would put this
        # checkout's path into the key, and every checkout would build anew.
        for patch in "$ROOT/scripts/windows-patches/${pair%%:*}"-*.patch; do
            [ -f "$patch" ] && patches+=("$patch")
        done
    done
    cached_stage mpv "$ROOT/scripts/lib/windows-mpv.sh" build_mpv_for_windows \
        "${versions[@]}" "${patches[@]}" "meson $(meson --version)" "$(nasm --version)"
    MPV_WINDOWS_PREFIX="$STAGE_PREFIX"
}

# Wine with a prefix of its own under the build folder, quiet, and without
# the .NET and browser add-ons it would offer to install. Its server stays up
# until stop_wine: started here, not by a program under a test's file size
# limit, which would then cut the prefix's registry short when it saves it.
use_wine() {
    export WINEPREFIX="$1/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "making a Wine prefix in $WINEPREFIX"
        wineboot --init >/dev/null 2>&1 || true
    fi
    # A server of this prefix left by a run that did not end (persistent, it
    # would never exit) goes first.
    wineserver -k 2>/dev/null || true
    wineserver -w
    wineserver -p
}


stop_wine() {
    wineserver -k 2>/dev/null || true
}
