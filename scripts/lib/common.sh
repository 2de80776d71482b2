# Shared by the scripts in this folder: package installation and the build.
# Sourced, not run.

set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"
VELMORA_CACHE="${XDG_CACHE_HOME:-$HOME/.cache}/velmora"

# Debian packages needed to build, test and run, by the names Debian 12 and
# 13 share (13's renamed "t64" libraries are not named here). dpkg-dev, with
# file, makes the package's dependencies; librsvg2-bin draws the icon.
BUILD_PACKAGES=(
    cmake g++ make pkg-config dpkg-dev file librsvg2-bin
    qt6-base-dev libmpv-dev
    qt6-tools-dev qt6-l10n-tools
)
# What the programs load beside the libraries that come with the ones above:
# the first choice of each line of cmake/runtime-packages.
mapfile -t RUNTIME_PACKAGES < <(sed -n 's/^\([^#][^ |]*\).*/\1/p' "$ROOT/cmake/runtime-packages")
# The sound server the tests play into is chosen in audio.sh. tinyproxy-bin
# is the proxy program alone: the tests start it themselves, and the
# tinyproxy package would set up a system service besides.
TEST_PACKAGES=(
    desktop-file-utils appstream dbus playerctl tinyproxy-bin
    python3-pyatspi at-spi2-core xvfb xauth xdg-utils
)
# For scripts/windows, with the build packages: the MinGW-w64 cross
# compiler, Wine to run what it makes, Ninja for Qt's build, dpkg-dev to
# unpack Debian's sources, Meson for mpv's and its libraries' builds, NASM
# for their assembly, NSIS for the installer; Xvfb, curl and iproute2 for
# the tests under Wine.
WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix wine wine64 ninja-build dpkg-dev meson nasm nsis
    xvfb xauth curl iproute2
)
# For scripts/fuzz: clang and its libFuzzer + sanitizer runtimes, both of
# the release's default clang version.
FUZZ_PACKAGES=(
    clang libclang-rt-dev
)

log() { printf '==> %s\n' "$*" >&2; }

# Whether there is a display to show the window on.
has_display() { [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; }

# built_setting BUILD_DIR NAME: a built-in setting as that build was made
# with (CMakeLists.txt: VELMORA_SITE_HOST, VELMORA_RESOLVER_HOST, …).
built_setting() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }

# The example play page on the site host a build recognises.
example_play_page() { echo "http://$(built_setting "$1" VELMORA_SITE_HOST)/play/169309.html"; }

# timed STAGE COMMAND...: runs the command and says how long it took.
timed() {
    local stage="$1" start=$SECONDS
    shift
    "$@"
    log "$stage: $((SECONDS - start)) s"
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# Installs the named Debian packages that are not installed yet, and stops
# rather than remove any package of the machine's to make room for them.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        installed "$pkg" || missing+=("$pkg")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get -o DPkg::Lock::Timeout=600 update -qq
    as_root apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends --no-remove "${missing[@]}" >/dev/null
}

# Runs a command as root, through sudo where this is not root already.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "need root or sudo for: $*" >&2
        exit 1
    fi
}

# configure_and_build BUILD_DIR [extra cmake args...]
# BUILD_TYPE (default RelWithDebInfo) and BUILD_TARGETS (default all) steer it.
configure_and_build() {
    local dir="$1" targets=()
    shift
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
    [ -n "${BUILD_TARGETS:-}" ] && targets=(--target $BUILD_TARGETS)
    cmake --build "$dir" --parallel "$JOBS" "${targets[@]}"
}
