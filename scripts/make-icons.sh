#!/usr/bin/env bash
# Writes the Windows icons of the desktop programs, packaging/icons/<id>.ico, from
# their SVGs in the same folder: one icon of 16 to 256 pixels each, which the
# programs' resource files put into the executables. Run it after changing an SVG
# and commit the result (needs librsvg2-bin and imagemagick).
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for id in ovedit ovtool; do
    sizes=()
    for s in 16 24 32 48 64 256; do
        rsvg-convert -w "$s" -h "$s" "$id.svg" -o "$work/$id-$s.png"
        sizes+=("$work/$id-$s.png")
    done
    # ImageMagick's own convert, whatever else is first on PATH under that name.
    /usr/bin/convert "${sizes[@]}" "$id.ico"
    echo "packaging/icons/$id.ico"
done
