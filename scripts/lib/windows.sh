# Shared by scripts/windows and scripts/bench: a static Qt for 64-bit
# Windows, cross-built from Debian's own qt6-base source with the project's
# patches, and Wine to run what is built against it. Sourced after common.sh.

# The same version as the host's Qt, whose moc, rcc and uic the cross build uses.
QT_WINDOWS_VERSION="$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)"
QT_WINDOWS_CACHE="${XDG_CACHE_HOME:-$HOME/.cache}/velmora/qt-windows"
QT_WINDOWS_TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
# Core and Network, what velmora-resolve needs; everything else is left out,
# and the third-party code Qt needs is its own bundled copy. Gui and Widgets
# would make 1011 build steps of 399: the window's sources are compiled
# against Debian's headers of those modules instead (scripts/windows).
QT_WINDOWS_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DFEATURE_gui=OFF -DFEATURE_widgets=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=OFF
    -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_zstd=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_schannel=ON -DFEATURE_openssl=OFF -DINPUT_openssl=no
)

# Adds Debian's source packages to apt, in a list of its own: the archive
# the installed Qt came from, as deb-src.
enable_debian_sources() {
    local list=/etc/apt/sources.list.d/velmora-debian-sources.sources
    [ -f "$list" ] && return 0
    local origin uri suite
    origin="$(apt-cache policy qt6-base-dev | awk '/\*\*\*/ {on = 1; next} on && / Packages$/ {print; exit}')"
    uri="$(awk '{print $2}' <<<"$origin")"
    suite="$(awk '{split($3, s, "/"); print s[1]}' <<<"$origin")"
    if [ -z "$uri" ] || [ -z "$suite" ]; then
        echo "cannot tell where qt6-base-dev came from" >&2
        exit 1
    fi
    log "adding Debian's source packages ($suite) in $list"
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
        "$uri" "$suite" /usr/share/keyrings/debian-archive-keyring.gpg | as_root tee "$list" >/dev/null
    as_root apt-get -o DPkg::Lock::Timeout=600 update -qq
}

# Sets QT_WINDOWS_PREFIX to the static Qt for Windows, building it first
# unless a build of the same source version, patches, options and compiler
# is in the cache already. Older builds are removed.
qt_for_windows() {
    [ -n "$QT_WINDOWS_VERSION" ] || { echo "qt6-base-dev is not installed" >&2; exit 1; }
    local key
    key="$(
        {
            echo "$QT_WINDOWS_VERSION" "${QT_WINDOWS_OPTIONS[*]}"
            x86_64-w64-mingw32-g++-posix -dumpfullversion
            cat "$QT_WINDOWS_TOOLCHAIN" "$ROOT"/scripts/windows-patches/qtbase-*.patch
        } | sha256sum | cut -c1-16
    )"
    QT_WINDOWS_PREFIX="$QT_WINDOWS_CACHE/$key"
    mkdir -p "$QT_WINDOWS_CACHE"
    # One build at a time; a second run waits for it and then reuses it.
    exec {lock}>"$QT_WINDOWS_CACHE/lock"
    flock "$lock"
    if [ -f "$QT_WINDOWS_PREFIX/.complete" ]; then
        log "Qt $QT_WINDOWS_VERSION for Windows: reused from $QT_WINDOWS_PREFIX"
        flock -u "$lock"
        return 0
    fi
    log "Qt $QT_WINDOWS_VERSION for Windows: building into $QT_WINDOWS_PREFIX"
    enable_debian_sources
    local work
    work="$(mktemp -d "$QT_WINDOWS_CACHE/work.XXXXXX")"
    # As root, apt cannot hand the download to its unprivileged user here.
    (cd "$work" && apt-get -qq -o APT::Sandbox::User="$(id -un)" source --download-only \
        "qt6-base=$QT_WINDOWS_VERSION")
    dpkg-source --no-check -x "$work"/qt6-base_*.dsc "$work/src" >/dev/null
    local patch
    for patch in "$ROOT"/scripts/windows-patches/qtbase-*.patch; do
        patch -d "$work/src" -p1 --quiet <"$patch"
    done
    rm -rf "$QT_WINDOWS_PREFIX"
    mkdir -p "$QT_WINDOWS_PREFIX"
    # Qt's own toolchain file loads this one again when the project is built.
    cp "$QT_WINDOWS_TOOLCHAIN" "$QT_WINDOWS_PREFIX/toolchain.cmake"
    cmake -S "$work/src" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$QT_WINDOWS_PREFIX/toolchain.cmake" \
        -DCMAKE_INSTALL_PREFIX="$QT_WINDOWS_PREFIX" "${QT_WINDOWS_OPTIONS[@]}" >"$work/configure.log"
    cmake --build "$work/build" --parallel "$JOBS" >"$work/build.log" ||
        { tail -40 "$work/build.log" >&2; exit 1; }
    cmake --install "$work/build" >/dev/null
    touch "$QT_WINDOWS_PREFIX/.complete"
    find "$QT_WINDOWS_CACHE" -mindepth 1 -maxdepth 1 -type d ! -path "$QT_WINDOWS_PREFIX" \
        -exec rm -rf {} +
    flock -u "$lock"
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
    wineserver -w
    wineserver -p
}

stop_wine() {
    wineserver -k 2>/dev/null || true
}
