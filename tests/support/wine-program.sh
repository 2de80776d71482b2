#!/bin/sh
# Presents the Windows build of velmora-resolve, VELMORA_WINDOWS_EXE, as the
# program under test: it runs under Wine with the arguments, standard streams
# and exit status passed through. scripts/windows sets the variable and a
# Wine prefix of its own (WINEPREFIX).
#   wine-program.sh [ARGUMENT...]
: "${VELMORA_WINDOWS_EXE:?names the velmora-resolve.exe to run}"
# Wine reads the arguments, and writes a console's text to a terminal, in
# this character set; the console's own code page stays 437.
LC_ALL=C.UTF-8 exec wine "$VELMORA_WINDOWS_EXE" "$@"
