#!/usr/bin/env bash
# Builds the toolkit for Windows on Debian 12 and makes the Windows zip (run as
# root; asks nothing): installs the cross compilers, builds Qt for Windows when
# its cache folder has none (scripts/build-qt-windows.sh), builds the mingw64
# preset with the desktop programs and the mingw32 preset, and packs
#   x64/  ovcli.exe, 3ds2ov.dll, OVEdit.exe, OVTool.exe, the DLLs they import,
#         platforms/ and styles/ (Qt's plugins)
#   x86/  ovcli.exe, 3ds2ov.dll
#   README.md, docs/
# Prints the zip's path as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

# ---- Packages ------------------------------------------------------------------------
# Debian's native Qt gives the host tools (moc, rcc, uic) of the cross build.
packages=(
    cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    googletest libcli11-dev nlohmann-json3-dev qt6-base-dev qt6-base-dev-tools
)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    # A mirror mid-sync fails one index; the others still serve.
    $SUDO apt-get update -qq || echo "apt-get update failed; installing from the indexes there are"
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
jobs=$(nproc 2>/dev/null || echo 2)

# ---- Qt for Windows ----------------------------------------------------------------------
qtlog=$(mktemp)
trap 'rm -f "$qtlog"' EXIT
bash scripts/build-qt-windows.sh | tee "$qtlog"
qt=$(tail -n 1 "$qtlog")
[ -f "$qt/.complete" ] || { echo "no Qt for Windows in $qt" >&2; exit 1; }

# ---- Both builds -------------------------------------------------------------------------
# 32 bits first: the 64-bit build's zip takes its programs.
echo "== mingw32: build"
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 -j "$jobs"
echo "== mingw64: build, with the desktop programs on $qt"
cmake --preset mingw64 -DOV_QT_WINDOWS="$qt" >/dev/null
for program in OVEdit OVTool; do
    ninja -C build/mingw64 -t query "$program" >/dev/null 2>&1 ||
        { echo "the mingw64 build did not find Qt in $qt (see build/mingw64/CMakeFiles/CMakeConfigureLog.yaml)" >&2; exit 1; }
done
cmake --build --preset mingw64 -j "$jobs"

# ---- The zip -----------------------------------------------------------------------------
echo "== The Windows zip"
packages=$PWD/build/packages
rm -f "$packages"/*-windows.zip "$packages"/*-windows.zip.sha256
cpack --preset windows -B "$packages" >/dev/null
zip=$(echo "$packages"/orvane-toolkit-*-windows.zip)
[ -f "$zip" ] || { echo "cpack made no zip in $packages" >&2; exit 1; }
echo "Windows builds and zip ($(du -k "$zip" | cut -f1) KB) made in $((SECONDS - start)) s"
echo "$zip"
