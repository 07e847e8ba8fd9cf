#!/usr/bin/env bash
# Peak memory (maximum resident set size, from /usr/bin/time -v) and wall time of
# ovcli writing archives far larger than the memory it may use:
#   hog create of about 250 MB of generated files: stored, then packed (best, fast);
#   hog replace of one entry in a 1 GiB archive, next to cp of the same file.
# Usage: bench/hog_memory.sh OVCLI [WORKDIR]
# Needs /usr/bin/time (Debian package `time`) and about 4 GB of free disk in WORKDIR
# (a fresh temporary folder by default, removed afterwards).
set -euo pipefail

ovcli=$(realpath "$1")
if [ $# -ge 2 ]; then
    work=$2
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

# measure LABEL COMMAND...: one row of the table.
rows=()
measure() {
    local label=$1
    shift
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null
    local rss wall
    rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$work/time.txt")
    rows+=("$(printf '%-44s %10.1f MB %12s' "$label" "$(echo "$rss / 1024" | bc -l)" "$wall")")
}

echo "Generating about 250 MB of files..." >&2
set +o pipefail  # head ends the pipes below early, on purpose
mkdir -p "$work/in"
total=0
i=0
while [ $total -lt 250000000 ]; do
    size=$(( (i % 8 + 1) * 262144 + i * 37 ))
    f=$(printf '%s/in/item_%04d.dat' "$work" "$i")
    if [ $((i % 2)) -eq 0 ]; then
        head -c "$size" /dev/urandom | base64 -w 76 | head -c "$size" >"$f"
    else
        yes "ship $i hull plate $((i * 7)) armour $((i % 13)) shield" | head -c "$size" >"$f"
    fi
    total=$((total + size))
    i=$((i + 1))
done
set -o pipefail
echo "$i files, $total bytes" >&2

measure "hog create, 250 MB stored" "$ovcli" hog create "$work/a.hog" --base "$work/in" "$work"/in/*
measure "hog create, 250 MB --pack (best)" "$ovcli" hog create "$work/a.hog" --base "$work/in" --pack "$work"/in/*
measure "hog create, 250 MB --pack --level fast" "$ovcli" hog create "$work/a.hog" --base "$work/in" --pack --level fast "$work"/in/*
rm -rf "$work/in" "$work/a.hog"

echo "Generating a 1 GiB archive..." >&2
mkdir -p "$work/big"
for i in $(seq -w 0 1023); do
    head -c 1048576 /dev/urandom >"$work/big/model_$i.shp"
done
"$ovcli" hog create "$work/big.hog" --base "$work/big" "$work"/big/* >/dev/null
rm -rf "$work/big"
head -c 700000 /dev/urandom >"$work/new.shp"
measure "cp of the 1 GiB archive" cp "$work/big.hog" "$work/copy.hog"
rm -f "$work/copy.hog"
measure "hog replace, one entry of a 1 GiB archive" "$ovcli" hog replace "$work/big.hog" model_0512.shp "$work/new.shp" --no
measure "hog replace again (.org kept already)" "$ovcli" hog replace "$work/big.hog" model_0513.shp "$work/new.shp" --no

printf '\n%-44s %13s %12s\n' "" "peak memory" "wall time"
printf '%s\n' "${rows[@]}"
