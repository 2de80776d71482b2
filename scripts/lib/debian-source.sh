# Debian's source packages, fetched with apt through a source list, package
# lists and a download cache of their own under the user's cache folder, so
# the system's apt configuration stays as it is. Each source is kept there
# once fetched: the archive drops superseded versions. Sourced after
# common.sh.

SOURCE_CACHE="$VELMORA_CACHE/sources"

# apt with every place it reads or writes sources moved into the cache.
source_apt() {
    local apt="$SOURCE_CACHE/apt"
    # As root, apt cannot hand the download to its unprivileged user here.
    apt-get -qq \
        -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/sources.list.d" \
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" \
        -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)" "$@"
}

# The deb-src twin of every Debian archive this system installs from.
write_source_list() {
    local apt="$SOURCE_CACHE/apt"
    mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
    apt-cache policy | awk '
        $1 ~ /^[0-9]+$/ && $2 ~ /^https?:/ {uri = $2; split($3, s, "/"); suite = s[1]; comp = s[2]; next}
        /release / && /o=Debian/ && uri != "" {print "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] " uri " " suite " " comp}
        {uri = ""}' | sort -u >"$apt/sources.list"
    [ -s "$apt/sources.list" ] || { echo "no Debian archive in apt's sources" >&2; exit 1; }
}

# debian_source PACKAGE VERSION DIR: unpacks the source package PACKAGE at
# VERSION (as dpkg prints it, epoch included) into DIR, fetching it first
# unless the cache has it.
debian_source() {
    local package="$1" version="$2" dir="$3"
    local dsc="$SOURCE_CACHE/${package}_${version#*:}.dsc"
    mkdir -p "$SOURCE_CACHE"
    if [ ! -f "$dsc" ]; then
        log "fetching the source of $package $version"
        if [ ! -f "$SOURCE_CACHE/apt/lists/.updated" ] || [ -z "$(source_apt source --print-uris "$package=$version" 2>/dev/null)" ]; then
            write_source_list
            source_apt update
            touch "$SOURCE_CACHE/apt/lists/.updated"
        fi
        (cd "$SOURCE_CACHE" && source_apt source --download-only "$package=$version")
    fi
    rm -rf "$dir"
    dpkg-source --no-check -x "$dsc" "$dir" >/dev/null
}

# The version of the source an installed binary package was built from.
source_version() {
    dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || { echo "$1 is not installed" >&2; exit 1; }
}
