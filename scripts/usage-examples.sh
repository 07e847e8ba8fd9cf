#!/usr/bin/env bash
# Runs the ovcli examples of docs/USAGE.md's "Commands" section in the order they
# appear, on a fresh sample game, and checks that each one exits with 0; then
# checks that every example at the end of an `ovcli ... --help` is one of them.
# Fenced blocks whose first line is "# PATH" are files the examples use: they are
# written first.
# Usage: usage-examples.sh OVCLI WORKDIR [LAUNCHER [ARG...]]
set -euo pipefail

usage=$(cd "$(dirname "$0")/.." && pwd)/docs/USAGE.md
bin=$1
work=$2
launcher=("${@:3}")
rm -rf "$work"
mkdir -p "$work"
cd "$work"
export HOME=$work
ovcli() { "${launcher[@]}" "$bin" "$@"; }

commands=()
in_section=0 in_fence=0 file=
while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
        "## Commands") in_section=1; continue ;;
        "## "*) [ $in_section = 1 ] && break ;;
    esac
    [ $in_section = 1 ] || continue
    if [[ $line == '```'* ]]; then
        in_fence=$((1 - in_fence)); file=; first=1
        continue
    fi
    if [ $in_fence = 1 ]; then
        if [ "${first:-0}" = 1 ] && [[ $line =~ ^#\ ([A-Za-z0-9_./-]+\.[a-z]+)$ ]]; then
            file=${BASH_REMATCH[1]}
            mkdir -p "$(dirname "$file")"
            : >"$file"
        elif [ -n "$file" ]; then
            printf '%s\n' "$line" >>"$file"
        elif [[ $line == "ovcli "* ]]; then
            commands+=("$line")
        fi
        first=0
        continue
    fi
    while [[ $line =~ \`(ovcli [^\`]*)\` ]]; do
        commands+=("${BASH_REMATCH[1]}")
        line=${line#*"${BASH_REMATCH[0]}"}
    done
done <"$usage"

[ ${#commands[@]} -gt 40 ] || { echo "only ${#commands[@]} examples found in $usage" >&2; exit 1; }
n=0
for c in "${commands[@]}"; do
    n=$((n + 1))
    printf '$ %s\n' "$c"
    if ! eval "$c" </dev/null >"$work/last.out" 2>&1; then
        cat "$work/last.out"
        echo "USAGE EXAMPLE FAILED: $c" >&2
        exit 1
    fi
done
echo "$n examples of docs/USAGE.md ran, each with exit code 0"

missing=0
while IFS= read -r command; do
    command=${command%$'\r'}
    # shellcheck disable=SC2086
    while IFS= read -r example; do
        example=${example%$'\r'}
        example=${example#  }
        found=0
        for c in "${commands[@]}"; do [ "$c" = "$example" ] && found=1 && break; done
        if [ $found = 0 ]; then
            echo "ovcli $command --help: example not in docs/USAGE.md: $example" >&2
            missing=1
        fi
    done < <(ovcli $command --help | sed -n '/^Examples*:/,/^$/p' | grep '^  ovcli ')
done < <(ovcli completion commands)
[ $missing = 0 ] || exit 1
echo "every --help example is an example of docs/USAGE.md"
