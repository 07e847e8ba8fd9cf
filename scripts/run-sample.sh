#!/usr/bin/env bash
# Installs the build dependencies, builds the toolkit, writes a generated sample
# game folder and takes a short tour of every ovcli capability on it (each change
# checked byte for byte). Where Qt is present it also builds OVEdit, writes a
# picture of its hog tab on the sample archive and, with a display, opens OVEdit
# on the sample game.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target ovcli 3ds2ov

work=${OV_SAMPLE_DIR:-build/sample}
bash scripts/tour.sh build/release/ovcli/ovcli "$work"

# The desktop programs are configured only where Qt was found.
if ninja -C build/release -t query OVEdit >/dev/null 2>&1; then
    cmake --build --preset release -j "$jobs" --target OVEdit
    ovedit=build/release/ovedit/ui/OVEdit
    picture="$work/ovedit-hog.png"
    shoot=("$ovedit" --game "$work/game" --tab hog --screenshot "$picture" "$work/game/resource.hog")
    if [ -n "${DISPLAY:-}" ]; then
        "${shoot[@]}"
    else
        xvfb-run -a -s "-screen 0 1280x1024x24" "${shoot[@]}"
    fi
    echo "OVEdit's hog tab on the sample archive: $picture"
    if [ -n "${DISPLAY:-}" ]; then
        "$ovedit" --game "$work/game" "$work/game/resource.hog" &
    fi
else
    echo "OVEdit was not built: Qt 6 was not found (see the configure messages)."
fi
