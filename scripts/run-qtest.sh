#!/usr/bin/env bash
# run-qtest.sh LAUNCHER TEST [ARG...]
#
# Runs a Windows build's QtTest program through LAUNCHER (scripts/wine-run.sh) and
# shows its log. Under Wine a program has no console, and QtTest then writes its
# log to the debugger instead of standard output, so the log goes to a file. The
# test passes only with exit status 0 and QtTest's totals line saying nothing
# failed. With no DISPLAY, it runs on an X server of its own from xvfb-run.
set -uo pipefail

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
launcher=$1
test=$2
shift 2
# In the working folder: a relative name means the same file to Wine and to us.
log=$(mktemp -p . "$(basename "$test" .exe)-XXXXXX.txt")
# What Wine itself prints goes to a file too: a Wine service that this run starts
# keeps the output it was given open, and a pipe held open would keep ctest waiting
# for the end of the test long after it ended.
said=$(mktemp)
trap 'rm -f "$log" "$said"' EXIT

"$launcher" "$test" -o "$(basename "$log"),txt" "$@" <"/dev/null" >"$said" 2>&1
rc=$?
cat "$said" "$log"
if [ "$rc" -ne 0 ]; then
    echo "run-qtest.sh: exit status $rc" >&2
    exit 1
fi
if ! grep -Eq '^Totals: [0-9]+ passed, 0 failed' "$log"; then
    echo "run-qtest.sh: no totals line with nothing failed in the log" >&2
    exit 1
fi
