#!/usr/bin/env bash
# The real window on a real X server (Xvfb), read through the real
# accessibility bus by Debian's pyatspi, all on a session bus of its own.
#   a11y.sh VELMORA_BINARY
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT
exec dbus-run-session -- xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_RUNTIME_DIR="$2"
    "$1" & window=$!
    trap "kill $window 2>/dev/null || true" EXIT
    /usr/bin/python3 "$3/a11y_tree.py" velmora
' _ "$1" "$runtime" "$here"
