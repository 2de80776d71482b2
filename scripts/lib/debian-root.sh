# A Debian root of another release, made with mmdebstrap from Debian's
# archive and kept in the user's cache, and commands run inside it as root.
# Sourced after common.sh.

DEBIAN_ROOTS="$VELMORA_CACHE/debian-roots"

# debian_root RELEASE PACKAGE...: sets DEBIAN_ROOT to a root of RELEASE (a
# Debian codename) with PACKAGE... installed, as a machine freshly installed
# from the release, its updates and its security updates would have them.
# The root is keyed by mmdebstrap's whole command line, so it is made again
# only when the packages or the way it is made change; the older roots of
# the release are removed then. It keeps apt's package lists, as an
# installed machine does.
debian_root() {
    local release="$1"
    shift
    local mirror=http://deb.debian.org/debian
    # shellcheck disable=SC2016
    local args=(
        --variant=apt --skip=cleanup/apt/lists
        --include="$(printf '%s\n' "$@" | sort -u | paste -sd,)"
        # What the installer would have written: without it localhost is
        # no name, and nothing can map another name in it.
        --customize-hook='printf "127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n" >"$1/etc/hosts"'
        "$release" "@ROOT@"
        "deb $mirror $release main"
        "deb $mirror $release-updates main"
        "deb $mirror-security $release-security main"
    )
    local key cache="$DEBIAN_ROOTS/$release"
    key="$(printf '%s\n' "${args[@]}" | sha256sum | cut -c1-16)"
    DEBIAN_ROOT="$cache/$key"
    mkdir -p "$cache"
    # One maker at a time, and none while a command runs in a root (see
    # in_debian_root); a second run waits and then reuses the root.
    local lock
    exec {lock}>"$cache/lock"
    flock "$lock"
    if [ -d "$DEBIAN_ROOT" ]; then
        log "Debian $release root: reused from $DEBIAN_ROOT"
    else
        log "Debian $release root: making $DEBIAN_ROOT"
        local work="$cache/work"
        rm -rf "$work"
        mmdebstrap --quiet "${args[@]/@ROOT@/$work}" || {
            rm -rf "$work"
            echo "mmdebstrap could not make the Debian $release root" >&2
            exit 1
        }
        mv "$work" "$DEBIAN_ROOT"
        find "$cache" -mindepth 1 -maxdepth 1 -type d ! -path "$DEBIAN_ROOT" -exec rm -rf {} +
    fi
    exec {lock}>&-
}

# in_debian_root ROOT COMMAND...: runs COMMAND as root in ROOT, in this
# checkout (bound at the same path, so that build folders made inside and
# outside keep their paths), with the environment of a login: nothing of
# this shell's. ROOT itself stays as it is: the command sees it through an
# overlay whose changes are thrown away at the end, with this machine's /sys
# and /dev, a /proc of its own and an empty /tmp, so that its servers meet
# none of this machine's. Every mount is in a mount namespace of its own and
# every process in a PID namespace of its own: both go when the command
# ends, and with them whatever it left running.
in_debian_root() (
    root="$1"
    shift
    exec {lock}>"$(dirname "$root")/lock"
    flock --shared "$lock"
    run="$(mktemp -d "$(dirname "$root")/run.XXXXXX")"
    trap 'rm -rf "$run"' EXIT
    # shellcheck disable=SC2016
    unshare --mount --pid --fork --propagation private -- bash -euc '
        root="$1" run="$2" checkout="$3"
        shift 3
        merged="$run/merged"
        mkdir -p "$run/upper" "$run/work" "$merged"
        mount -t overlay overlay -o "lowerdir=$root,upperdir=$run/upper,workdir=$run/work" "$merged"
        mount -t proc proc "$merged/proc"
        mount --rbind /sys "$merged/sys"
        mount --rbind /dev "$merged/dev"
        mount -t tmpfs tmpfs "$merged/tmp"
        mkdir -p "$merged$checkout"
        mount --bind "$checkout" "$merged$checkout"
        exec chroot "$merged" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            sh -c "cd \"\$0\" && exec \"\$@\"" "$checkout" "$@"
    ' in_debian_root "$root" "$run" "$ROOT" "$@"
)
