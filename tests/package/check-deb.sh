#!/usr/bin/env bash
# Builds the .deb from a finished build tree and checks what it holds: the
# files, the runtime dependencies and the desktop metadata. Installs nothing.
#   check-deb.sh BUILD_DIR VERSION DESKTOP_ID
set -euo pipefail
build="$1" version="$2" id="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb="$(ls "$work"/*.deb)"
failures=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

info="$(dpkg-deb --info "$deb")"
contents="$(dpkg-deb --contents "$deb" | awk '{print $NF}')"
depends="$(dpkg-deb --field "$deb" Depends)"

check "package name and version" test "$(dpkg-deb --field "$deb" Package Version | tr '\n' ' ')" = "Package: velmora Version: $version "
for file in \
    ./usr/bin/velmora \
    ./usr/bin/velmora-resolve \
    ./usr/share/applications/$id.desktop \
    ./usr/share/metainfo/$id.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/$id.svg \
    ./usr/share/doc/velmora/copyright; do
    check "contains $file" grep -qxF "$file" <<<"$contents"
done
check "no static libraries or headers" bash -c '! grep -qE "\.(a|h)$" <<<"$1"' _ "$contents"
# What the programs are linked with, and what they load besides.
mapfile -t needed < <(sed -n 's/^\([^#][^ |]*\).*/\1/p' "$(dirname "$0")/../../cmake/runtime-packages")
for dep in libqt6widgets6 libqt6network6 libmpv2 "${needed[@]}"; do
    check "depends on $dep" grep -q "$dep" <<<"$depends"
done
check "no Qt Multimedia or GStreamer" bash -c '! grep -qiE "multimedia|gstreamer" <<<"$1"' _ "$depends"

dpkg-deb -x "$deb" "$work/root"
if command -v desktop-file-validate >/dev/null; then
    check "desktop entry is valid" desktop-file-validate \
        "$work/root/usr/share/applications/$id.desktop"
fi
if command -v appstreamcli >/dev/null; then
    check "AppStream metadata is valid" appstreamcli validate --no-net \
        "$work/root/usr/share/metainfo/$id.metainfo.xml"
fi
check "desktop entry is in AudioVideo" grep -q '^Categories=AudioVideo;' \
    "$work/root/usr/share/applications/$id.desktop"
check "desktop entry opens velmora: links" grep -q '^MimeType=x-scheme-handler/velmora;' \
    "$work/root/usr/share/applications/$id.desktop"

echo "$info" | sed -n '/Package:/,$p'
[ "$failures" -eq 0 ]
