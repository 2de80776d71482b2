#!/usr/bin/env bash
# Installs the Windows installer under Wine as a listener would (silently,
# for the user alone), checks what it put where, lets the installed window
# take a velmora: link as the browser hands one over, hears it play, and
# uninstalls: nothing may be left. The built-in resolver host is named
# 127.0.0.1 and the fake resolver takes its port (443) in a network and
# mount namespace of the script's own, so nothing of the machine changes.
# The caller gives a display and a sound server with the null sink; the
# prefix is the check's own.
#   check-installer.sh WINDOWS_BUILD FAKE_RESOLVER
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
build="$(realpath "$1")"
resolver_host="$(built_setting "$build" VELMORA_RESOLVER_HOST)"
resolver_host="${resolver_host%%:*}"

if [ -z "${VELMORA_IN_NAMESPACE:-}" ]; then
    hosts="$(mktemp /tmp/velmora-hosts.XXXXXX)"
    trap 'rm -f "$hosts"' EXIT
    { cat /etc/hosts; echo "127.0.0.1 $resolver_host"; } >"$hosts"
    # shellcheck disable=SC2016
    VELMORA_IN_NAMESPACE=1 unshare --net --mount sh -c \
        'ip link set lo up && mount --bind "$0" /etc/hosts && exec "$@"' "$hosts" "$0" "$@"
    exit
fi

setup="$(ls "$build"/velmora-*-windows-x64-setup.exe)"
source "$ROOT/scripts/lib/fake.sh"
source "$ROOT/scripts/lib/audio.sh"
# Wine's sockets are its server's: one started in here, on this loopback.
wineserver -k 2>/dev/null || true
wineserver -w
FAKE_PID="" window=""
scratch="$(mktemp -d /tmp/velmora-installer.XXXXXX)"
trap 'wineserver -k 2>/dev/null; [ -z "$FAKE_PID" ] || kill "$FAKE_PID" 2>/dev/null; rm -rf "$scratch"' EXIT
start_fake "$2" 443
# The fake's CA trusted as a listener's system trusts the service's: added
# to a copy of the system's store bound over it, which Wine takes into a
# new prefix, a new user's Windows, leaving the caller's prefix as it was.
cp -a /etc/ssl/certs "$scratch/certs"
cp "$FAKE_CA" "$scratch/certs/velmora-test-ca.pem"
ln -s velmora-test-ca.pem "$scratch/certs/$(openssl x509 -hash -noout -in "$FAKE_CA").0"
cat "$FAKE_CA" >>"$scratch/certs/ca-certificates.crt"
mount --bind "$scratch/certs" /etc/ssl/certs
export WINEPREFIX="$scratch/prefix"
wineboot --init >/dev/null 2>&1
wineserver -w
failures=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
absent() { ! test -e "$1"; }
unregistered() { ! wine reg query "$1" >/dev/null 2>&1; }

# Wine's view of the user's folders and registry.
user_dir="$WINEPREFIX/drive_c/users/$(id -un)"
installed="$user_dir/AppData/Local/Programs/Velmora"
shortcut="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Velmora 链接解析.lnk"
handler='HKCU\Software\Classes\velmora\shell\open\command'
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
registry() { wine reg query "$1" 2>/dev/null | tr -d '\r'; }

wine "$setup" /S
wineserver -w
for file in velmora.exe velmora-resolve.exe libmpv-2.dll uninstall.exe LICENSE README.md; do
    check "installs $file" test -f "$installed/$file"
done
check "adds a Start-menu entry" test -f "$shortcut"
check "registers the velmora: link handler" \
    grep -q 'velmora\.exe" "%1"' <<<"$(registry "$handler")"
check "registers its uninstaller" grep -q 'uninstall\.exe' <<<"$(registry "$uninstall")"

# The window, as the Start menu opens it, then a link as the browser opens
# one: Windows starts the handler, which hands the address to the window.
PLAY_PAGE="$(example_play_page "$build")"
listen_at_sink "$scratch/peak" 1000 40
wine "$installed/velmora.exe" &
window=$!
# Whichever of the two starts first is the window; the other hands over.
# Windows' shell finds the handler among the user's classes; Wine's does not
# look there, so the registered command runs here as the shell runs it.
link="velmora:$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$PLAY_PAGE")"
command="$(registry "$handler" | sed -n 's/.*REG_SZ *//p')"
program="${command#\"}"
wine "${program%%\"*}" "$link" &
resolved() {
    curl -s "$FAKE_MEDIA/fake/received" | grep -qF '/lxapi/vdj.x?id=169309&'
}
linked=0
for _ in $(seq 200); do
    if resolved; then linked=1; break; fi
    sleep 0.1
done
check "a velmora: link reaches the installed window, which resolves it" test "$linked" = 1
wait "$LISTENER" || true
peak="$(cat "$scratch/peak")"
check "the installed window is heard at the null sink (peak ${peak:-none} of 32767)" \
    test "${peak:-0}" -ge 1000
kill "$window" 2>/dev/null || true
wineserver -k 2>/dev/null || true

wine "$installed/uninstall.exe" /S
wineserver -w
check "uninstalls the programs and their folder" absent "$installed"
check "removes the Start-menu entry" absent "$shortcut"
check "removes the link handler" unregistered 'HKCU\Software\Classes\velmora'
check "removes its uninstaller's entry" unregistered "$uninstall"
[ "$failures" -eq 0 ]
