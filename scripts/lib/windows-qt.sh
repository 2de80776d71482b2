# The recipe for a static Qt for 64-bit Windows, cross-built from Debian's
# own qt6-base source (the host's version, whose moc, rcc and uic the cross
# build uses) with the project's patches. Everything in this file is part of
# the cache key of the build (scripts/lib/windows.sh). Sourced.

QT_WINDOWS_PATCHES=("$ROOT"/scripts/windows-patches/qtbase-*.patch)

# The modules the programs and their tests need; what they do not need is
# left out, and the third-party code Qt needs is its own bundled copy. The
# dfsg source lacks the Wintab headers (tablet events); Windows draws text
# with DirectWrite (no FreeType), which Qt builds only with Direct2D on;
# widgets need no OpenGL.
QT_WINDOWS_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON -DFEATURE_network=ON
    -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_tabletevent=OFF -DFEATURE_tuiotouch=OFF -DFEATURE_freetype=OFF -DFEATURE_jpeg=OFF
    -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF -DFEATURE_textodfwriter=OFF
    -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_zstd=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF
    -DFEATURE_schannel=ON -DFEATURE_openssl=OFF -DINPUT_openssl=no
)

# build_qt_for_windows PREFIX WORK
build_qt_for_windows() {
    local prefix="$1" work="$2" patch
    debian_source qt6-base "$(source_version qt6-base-dev)" "$work/src"
    for patch in "${QT_WINDOWS_PATCHES[@]}"; do
        patch -d "$work/src" -p1 --quiet <"$patch"
    done
    # Qt's own toolchain file loads this one again when the project is built.
    cp "$WINDOWS_TOOLCHAIN" "$prefix/toolchain.cmake"
    cmake -S "$work/src" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/toolchain.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "${QT_WINDOWS_OPTIONS[@]}" >"$work/configure.log"
    cmake --build "$work/build" --parallel "$JOBS" >"$work/build.log" ||
        { tail -40 "$work/build.log" >&2; return 1; }
    cmake --install "$work/build" >/dev/null
}
