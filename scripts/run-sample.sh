#!/usr/bin/env bash
# Installs the build dependencies, builds the toolkit and runs it on a generated
# sample: a fighter model is written, packed, listed block by block, unpacked, and
# compared byte for byte with the original.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target ovcli

ovcli=build/release/ovcli/ovcli
work=${OV_SAMPLE_DIR:-build/sample}
rm -rf "$work"
mkdir -p "$work"

set -x
"$ovcli" shp sample "$work/fighter.shp"
"$ovcli" pack "$work/fighter.shp" "$work/fighter.packed.shp"
"$ovcli" shp blocks "$work/fighter.packed.shp"
"$ovcli" unpack "$work/fighter.packed.shp" "$work/fighter.unpacked.shp"
cmp "$work/fighter.shp" "$work/fighter.unpacked.shp"
{ set +x; } 2>/dev/null
echo "Round trip OK: the unpacked model is byte for byte the original."
