#!/bin/sh
# Runs a test with resolver.velmora.test naming 127.0.0.1, in a mount
# namespace of its own so that the machine's /etc/hosts is not touched.
# Clients never send a loopback address through a proxy, so the proxy tests
# reach the fake resolver by this name. Where no namespace can be made, the
# test runs as it is and skips what needs the name.
#   with-test-host.sh TEST [ARGUMENT...]
hosts=$(mktemp /tmp/velmora-hosts.XXXXXX) || exit 1
{ cat /etc/hosts; echo "127.0.0.1 resolver.velmora.test"; } >"$hosts"
as_root=""
[ "$(id -u)" = 0 ] || as_root="--map-root-user"
# shellcheck disable=SC2016
if unshare --mount $as_root true 2>/dev/null; then
    unshare --mount $as_root sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' "$hosts" "$@"
else
    "$@"
fi
status=$?
rm -f "$hosts"
exit $status
