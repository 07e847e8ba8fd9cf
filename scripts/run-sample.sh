#!/usr/bin/env bash
# Installs the build dependencies, builds the toolkit, writes a generated sample
# game folder and takes a short tour of every ovcli capability on it (each change
# checked byte for byte). With a display and the desktop programs built, it then
# opens the data editor on the sample folder.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target ovcli 3ds2ov

work=${OV_SAMPLE_DIR:-build/sample}
bash scripts/tour.sh build/release/ovcli/ovcli "$work"

ovedit=build/release/ovedit/ui/OVEdit
if [ -n "${DISPLAY:-}" ] && [ -x "$ovedit" ]; then
    "$ovedit" "$work/game" &
fi
