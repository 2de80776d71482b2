# The recipe for libmpv (bin/libmpv-2.dll with its import library, headers
# and pkg-config file) and mpv's own player (bin/mpv.exe, the benchmark's
# anchor) for 64-bit Windows, cross-built from Debian's sources of the
# versions the host has installed. The libraries under them are static and
# live in the build's work folder only: the DLL carries what it uses, and
# imports nothing but Windows' own DLLs. Everything in this file is part of
# the cache key of the build (scripts/lib/windows.sh). Sourced.

# Debian source package:installed binary package it is taken from.
MPV_WINDOWS_SOURCES=(
    freetype:libfreetype6 fribidi:libfribidi0 harfbuzz:libharfbuzz0b
    libass:libass9 ffmpeg:libavcodec59 mpv:libmpv2
)

# libass is a hard dependency of mpv, for subtitles and its on-screen text,
# and FreeType, FriBidi and HarfBuzz are libass's. Fonts come from Windows
# through DirectWrite: no fontconfig, and none of them gzip-compressed.
MPV_WINDOWS_FREETYPE_OPTIONS=(-Dzlib=disabled -Dtests=disabled)
MPV_WINDOWS_FRIBIDI_OPTIONS=(-Ddocs=false)
MPV_WINDOWS_HARFBUZZ_OPTIONS=(-Dtests=disabled -Ddocs=disabled -Dintrospection=disabled -Dbenchmark=disabled)
MPV_WINDOWS_LIBASS_OPTIONS=(
    --enable-static --disable-shared --disable-fontconfig --enable-directwrite
    --disable-libunibreak --disable-require-system-font-provider
)

# The player streams audio over HTTP(S): the demuxers and decoders of the
# formats it is served, TLS through Windows' own Schannel, threads through
# Windows' own API, and nothing found on the build machine by chance.
# shellcheck disable=SC2054 # the commas are FFmpeg's lists
MPV_WINDOWS_FFMPEG_OPTIONS=(
    --disable-everything --disable-autodetect --disable-programs --disable-doc --disable-debug
    --disable-avdevice --disable-postproc
    --enable-static --disable-shared
    --enable-w32threads --enable-network --enable-schannel
    --enable-protocol=http,https,tcp,tls,httpproxy
    --enable-demuxer=mp3,aac,mov,ogg,flac,wav,matroska
    --enable-decoder=mp3,mp3float,aac,flac,vorbis,opus
    --enable-decoder=pcm_s16le,pcm_s16be,pcm_s24le,pcm_s24be,pcm_s32le,pcm_s32be,pcm_u8,pcm_s8
    --enable-decoder=pcm_f32le,pcm_f32be,pcm_f64le,pcm_f64be,pcm_alaw,pcm_mulaw
    --enable-parser=mpegaudio,aac,flac,vorbis,opus
    --enable-filter=aformat,anull,aresample,format,null
)

# Every optional part off (OpenGL and Lua are not plain features, so they
# are named), then what the player needs: WASAPI for sound and mpv's own
# pthreads on Windows' threads, so that no libwinpthread is pulled in. The
# C runtime support is linked in statically. No build date: the cache key
# says which build it is.
MPV_WINDOWS_OPTIONS=(
    -Ddefault_library=shared -Dlibmpv=true -Dcplayer=true -Dbuild-date=false
    -Dgl=disabled -Dlua=disabled
    -Dwasapi=enabled -Dwin32-internal-pthreads=enabled
    "-Dc_link_args=-static-libgcc -static"
)

# The build log of each library stays in WORK; a failure shows its end.
mpv_windows_run() {
    local log="$1"
    shift
    "$@" >>"$log" 2>&1 || { tail -40 "$log" >&2; return 1; }
}

# mpv_windows_meson NAME SOURCE PREFIX WORK [MESON OPTION...]
mpv_windows_meson() {
    local name="$1" src="$2" prefix="$3" work="$4"
    shift 4
    mpv_windows_run "$work/$name.log" meson setup "$work/build-$name" "$src" \
        --cross-file "$work/cross.ini" --prefix "$prefix" --libdir lib "$@"
}

# mpv_windows_meson_install NAME WORK
mpv_windows_meson_install() {
    mpv_windows_run "$2/$1.log" meson compile -C "$2/build-$1" -j "$JOBS" &&
        mpv_windows_run "$2/$1.log" meson install -C "$2/build-$1" --no-rebuild
}

# Each library's build: mpv_windows_build_NAME PREFIX WORK, into WORK/deps
# but for mpv's own. The builder runs where errors do not stop a function
# (cached_stage's "||"), so each step says when it fails.
mpv_windows_build_freetype() {
    mpv_windows_meson freetype "$2/freetype" "$2/deps" "$2" "${MPV_WINDOWS_FREETYPE_OPTIONS[@]}" &&
        mpv_windows_meson_install freetype "$2"
}

mpv_windows_build_fribidi() {
    mpv_windows_meson fribidi "$2/fribidi" "$2/deps" "$2" "${MPV_WINDOWS_FRIBIDI_OPTIONS[@]}" &&
        mpv_windows_meson_install fribidi "$2"
}

# libharfbuzz alone: its subset library and tools are not needed, and of
# what meson would install only libharfbuzz's files are copied.
mpv_windows_build_harfbuzz() {
    mpv_windows_meson harfbuzz "$2/harfbuzz" "$2/deps" "$2" "${MPV_WINDOWS_HARFBUZZ_OPTIONS[@]}" &&
        mpv_windows_run "$2/harfbuzz.log" ninja -C "$2/build-harfbuzz" -j "$JOBS" src/libharfbuzz.a &&
        meson introspect --installed "$2/build-harfbuzz" | python3 -c '
import json, os, shutil, sys
for built, installed in json.load(sys.stdin).items():
    name = os.path.basename(installed)
    if name in ("libharfbuzz.a", "harfbuzz.pc") or (
            "/include/harfbuzz/" in installed and "subset" not in name):
        os.makedirs(os.path.dirname(installed), exist_ok=True)
        shutil.copy(built, installed)'
}

mpv_windows_build_libass() {
    (cd "$2/libass" && mpv_windows_run "$2/libass.log" ./configure \
        --host=x86_64-w64-mingw32 --prefix="$2/deps" \
        CC=x86_64-w64-mingw32-gcc-posix "${MPV_WINDOWS_LIBASS_OPTIONS[@]}") &&
        mpv_windows_run "$2/libass.log" make -C "$2/libass" -j "$JOBS" install
}

mpv_windows_build_ffmpeg() {
    (cd "$2/ffmpeg" && mpv_windows_run "$2/ffmpeg.log" ./configure --prefix="$2/deps" \
        --enable-cross-compile --target-os=mingw32 --arch=x86_64 \
        --cross-prefix=x86_64-w64-mingw32- \
        --cc=x86_64-w64-mingw32-gcc-posix --cxx=x86_64-w64-mingw32-g++-posix \
        "${MPV_WINDOWS_FFMPEG_OPTIONS[@]}") &&
        mpv_windows_run "$2/ffmpeg.log" make -C "$2/ffmpeg" -j "$JOBS" install
}

mpv_windows_build_mpv() {
    local prefix="$1" file dlls
    mpv_windows_meson mpv "$2/mpv" "$prefix" "$2" "${MPV_WINDOWS_OPTIONS[@]}" &&
        mpv_windows_meson_install mpv "$2" || return 1
    # mpv.com is the player's console front, for its output in a terminal.
    # A DLL's exports are in its export table, not in the symbols stripped.
    x86_64-w64-mingw32-strip "$prefix/bin/libmpv-2.dll" "$prefix/bin/mpv.exe" "$prefix/bin/mpv.com" || return 1
    # The DLL is used as it is: the static libraries in it are no one
    # else's to link, and are not in the prefix for pkg-config to find.
    sed -i '/^Requires.private:/d; /^Libs.private:/d' "$prefix/lib/pkgconfig/mpv.pc" || return 1
    # The player's data files (icons, shell completion, ...) are Linux's.
    rm -rf "${prefix:?}/share" "${prefix:?}/etc"
    for file in "$prefix"/bin/*; do
        dlls="$(x86_64-w64-mingw32-objdump -p "$file" | awk '/DLL Name:/ {print $3}' | sort | tr '\n' ' ')"
        log "${file##*/} imports: $dlls"
        # Windows' own DLLs; MinGW's runtimes and the libraries are lib*.
        if [ -z "$dlls" ] || grep -qiE '(^| )lib' <<<"$dlls"; then
            echo "${file##*/} needs DLLs that Windows does not have" >&2
            return 1
        fi
    done
}

# build_mpv_for_windows PREFIX WORK
build_mpv_for_windows() {
    local prefix="$1" work="$2" pair version name start
    local patch
    for pair in "${MPV_WINDOWS_SOURCES[@]}"; do
        name="${pair%%:*}"
        version="$(source_version "${pair#*:}")" &&
            debian_source "$name" "$version" "$work/$name" || return 1
        # The project's own mends, each saying why (scripts/windows-patches/).
        for patch in "$ROOT/scripts/windows-patches/$name"-*.patch; do
            [ -f "$patch" ] || continue
            patch -d "$work/$name" -p1 --quiet <"$patch" || return 1
        done
    done
    mkdir -p "$work/deps/lib/pkgconfig"
    # The libraries built here, and no pkg-config file of the build machine.
    local -x PKG_CONFIG_LIBDIR="$work/deps/lib/pkgconfig" PKG_CONFIG_PATH=
    cat >"$work/cross.ini" <<EOF
[binaries]
c = 'x86_64-w64-mingw32-gcc-posix'
cpp = 'x86_64-w64-mingw32-g++-posix'
ar = 'x86_64-w64-mingw32-ar'
strip = 'x86_64-w64-mingw32-strip'
windres = 'x86_64-w64-mingw32-windres'
nasm = 'nasm'
pkgconfig = 'pkg-config'

# Static libraries with every optional part off unless a build says otherwise.
[built-in options]
buildtype = 'release'
default_library = 'static'
auto_features = 'disabled'

[properties]
pkg_config_libdir = '$work/deps/lib/pkgconfig'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
    # In dependency order; mpv last, into the prefix.
    for name in freetype fribidi harfbuzz libass ffmpeg mpv; do
        start=$SECONDS
        "mpv_windows_build_$name" "$prefix" "$work" || return 1
        log "$name for Windows: $((SECONDS - start)) s"
    done
}
