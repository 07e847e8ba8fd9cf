#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh PROGRAM.exe [ARG...]
#
# Every run shares one 64-bit prefix (it runs 32-bit programs too), made on first
# use: OV_WINEPREFIX, or build/wine in the source tree. Wine's own messages are
# silenced and its desktop integration and downloads are turned off, so a run
# prints only what the program prints and returns the program's exit status.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${OV_WINEPREFIX:-$here/../build/wine}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# File names and arguments cross between Linux and Windows as UTF-8.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    # Several test runs may start at once; one of them makes the prefix.
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot --init >/dev/null 2>&1
            wineserver --wait
        fi
    ) 9>"$WINEPREFIX.lock"
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-run.sh: cannot make the Wine prefix $WINEPREFIX" >&2; exit 125; }
fi

exec wine "$@"
