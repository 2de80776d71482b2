# Debian's source packages, fetched with apt through a source list, package
# lists and a download cache of their own under the user's cache folder, so
# the system's apt configuration stays as it is. Each source is kept there
# once fetched: the archive drops superseded versions. Sourced after
# common.sh.

SOURCE_CACHE="$VELMORA_CACHE/sources"

# apt-get, or the apt TOOL given first (apt-cache, apt-helper), with every
# place it reads or writes sources moved into the cache.
source_apt() {
    local apt="$SOURCE_CACHE/apt" tool=apt-get
    case "$1" in
        apt-cache) tool="$1" && shift ;;
        apt-helper) tool=/usr/lib/apt/apt-helper && shift ;;
    esac
    # As root, apt cannot hand the download to its unprivileged user here.
    "$tool" -qq \
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
        (cd "$SOURCE_CACHE" && source_apt source --download-only "$package=$version") ||
            fetch_source_files "$package" "$version"
    fi
    rm -rf "$dir"
    dpkg-source --no-check -x "$dsc" "$dir" >/dev/null
}

# fetch_source_files PACKAGE VERSION: the files of a source one by one, for a
# pool that lacks some that its index lists (seen with a security upload
# whose .dsc and orig tarball were gone from the mirror). Each is taken by
# its name and the hash the signed index gives, from wherever the index lists
# it: an orig tarball is shared with the package's other versions. A .dsc
# found nowhere is written from the files, which the hashes vouch for.
fetch_source_files() {
    local package="$1" version="$2" wanted known name hash uri v fetched
    log "the archive lacks files of $package $version; looking for them by their hashes"
    wanted="$(source_apt source --print-uris "$package=$version" | awk '{print $2, $4}')"
    known="$(for v in $(source_apt apt-cache showsrc --only-source "$package" | sed -n 's/^Version: //p'); do
        source_apt source --print-uris "$package=$v"
    done | tr -d "'")"
    while read -r name hash; do
        if [ -f "$SOURCE_CACHE/$name" ] &&
            echo "${hash#SHA256:}  $SOURCE_CACHE/$name" | sha256sum --check --status; then
            continue
        fi
        fetched=no
        for uri in $(awk -v n="$name" -v h="$hash" '$2 == n && $4 == h {print $1}' <<<"$known" | sort -u); do
            if source_apt apt-helper download-file "$uri" "$SOURCE_CACHE/$name" "$hash" >/dev/null 2>&1; then
                fetched=yes
                break
            fi
        done
        if [ "$fetched" = no ] && [[ "$name" != *.dsc ]]; then
            echo "$name ($hash) is in no archive's pool" >&2
            return 1
        fi
    done <<<"$wanted"
    local dsc="$SOURCE_CACHE/${package}_${version#*:}.dsc"
    [ -f "$dsc" ] && return 0
    {
        source_apt apt-cache showsrc --only-source "$package" |
            awk -v v="$version" '/^Version: / {hit = ($2 == v)} hit && /^Format: / {print; exit}'
        printf 'Source: %s\nVersion: %s\nFiles:\n' "$package" "$version"
        while read -r name hash; do
            [[ "$name" == *.dsc ]] && continue
            printf ' %s %s %s\n' "$(md5sum <"$SOURCE_CACHE/$name" | cut -d' ' -f1)" \
                "$(stat -c %s "$SOURCE_CACHE/$name")" "$name"
        done <<<"$wanted"
    } >"$dsc.new"
    mv "$dsc.new" "$dsc"
}

# The version of the source an installed binary package was built from.
source_version() {
    dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || { echo "$1 is not installed" >&2; exit 1; }
}
