#!/usr/bin/env bash
# run-checked.sh PATTERN COMMAND [ARG...]
#
# Runs COMMAND and shows what it printed. Passes only when COMMAND exits with 0
# and printed a line matching PATTERN (an extended regular expression): a program
# started through an emulator that never really ran, or died on the way, must not
# pass on its exit status alone.
set -uo pipefail

pattern=$1
shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT

"$@" >"$log" 2>&1
rc=$?
cat "$log"
if [ "$rc" -ne 0 ]; then
    echo "run-checked.sh: exit status $rc" >&2
    exit 1
fi
if ! grep -Eq -- "$pattern" "$log"; then
    echo "run-checked.sh: no line matching /$pattern/ in the output" >&2
    exit 1
fi
