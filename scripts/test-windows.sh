#!/usr/bin/env bash
# The Windows build, tested under Wine, from a fresh Debian 12 (run as root; asks
# nothing): installs the cross compilers and Wine (32- and 64-bit), builds the
# mingw64 and mingw32 presets and runs their tests under Wine, packs the Windows
# zip, and tours every ovcli command through the zip's ovcli.exe (64- and 32-bit),
# whose results must be byte for byte those of the Linux build on the same tour.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

# ---- Packages ------------------------------------------------------------------------
bash scripts/install-deps.sh
packages=(
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest libcli11-dev
    wine wine64 wine32:i386
)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture (for 32-bit Wine)"
    $SUDO dpkg --add-architecture i386
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)

# ---- One Wine prefix and one Wine server for the whole run -----------------------------
export OV_WINEPREFIX=${OV_WINEPREFIX:-$PWD/build/wine}
scripts/wine-run.sh cmd /c exit 0  # makes the prefix on first use
WINEPREFIX=$OV_WINEPREFIX wineserver -w  # the server of that run ends...
WINEPREFIX=$OV_WINEPREFIX wineserver -p  # ...and one stays until the end
scratch=$(mktemp -d)
cleanup() {
    WINEPREFIX=$OV_WINEPREFIX wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# ---- Build and test both Windows builds -------------------------------------------------
for preset in mingw64 mingw32; do
    echo "== $preset: build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== $preset: tests under Wine"
    # Wine now and then fails to start a program (see the tour below): a test that
    # fails runs once more, and fails the build only when it fails twice.
    ctest --preset "$preset" -j "$jobs" --repeat until-pass:2
done

# ---- The Windows zip ---------------------------------------------------------------------
echo "== The Windows zip"
packages=$PWD/build/packages
rm -f "$packages"/*-windows.zip
cpack --preset windows -B "$packages"
zip=$(echo "$packages"/orvane-toolkit-*-windows.zip)
cmake -E chdir "$scratch" cmake -E tar xf "$zip"
unpacked=$(echo "$scratch"/orvane-toolkit-*-windows)
for f in README.md docs/USAGE.md x64/ovcli.exe x64/3ds2ov.dll x86/ovcli.exe x86/3ds2ov.dll; do
    [ -f "$unpacked/$f" ] || { echo "the zip has no $f" >&2; exit 1; }
done
echo "$(basename "$zip"): $(cd "$unpacked" && find . -type f | sort | tr '\n' ' ')"

# ---- The tour through the zip's programs, against the Linux build's --------------------
echo "== The tour with the Linux build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs" --target ovcli 3ds2ov
bash scripts/tour.sh build/asan/ovcli/ovcli "$scratch/tour-linux" >"$scratch/tour-linux.log" 2>&1 ||
    { tail -30 "$scratch/tour-linux.log"; exit 1; }
for arch in x64 x86; do
    echo "== The tour with the zip's $arch/ovcli.exe"
    exe=$unpacked/$arch/ovcli.exe
    # Each program converts through the DLL beside it in the zip.
    WINEDEBUG=+loaddll scripts/wine-run.sh "$exe" convert tests/data/rock.3ds rock_skin \
        "$scratch/rock-$arch.shp" >/dev/null 2>"$scratch/loaddll.log"
    grep -Eqi 'Loaded L".*[\]'"$arch"'[\]+3ds2ov\.dll"' "$scratch/loaddll.log" ||
        { echo "ovcli.exe ($arch) did not load the zip's 3ds2ov.dll" >&2; exit 1; }
    cmp "$scratch/rock-$arch.shp" tests/data/rock.shp
    log=$scratch/tour-$arch.log
    if ! bash scripts/tour.sh "$exe" "$scratch/tour-$arch" scripts/wine-run.sh >"$log" 2>&1; then
        # Now and then Wine's loader fails to start a program it started a moment
        # before and hands it to its launcher, which fails too ("ShellExecuteEx
        # failed"). That is Wine's fault, not the program's: the tour runs once more.
        grep -q "ShellExecuteEx failed" "$log" || { tail -30 "$log"; exit 1; }
        tail -5 "$log"
        echo "Wine failed to start ovcli.exe once; the tour runs again"
        bash scripts/tour.sh "$exe" "$scratch/tour-$arch" scripts/wine-run.sh >"$log" 2>&1 ||
            { tail -30 "$log"; exit 1; }
    fi
    diff -r "$scratch/tour-linux" "$scratch/tour-$arch" ||
        { echo "the tour's files differ between Linux and Windows ($arch)" >&2; exit 1; }
    echo "every file of the tour is byte for byte the Linux build's"
done

echo "Windows builds, tests, zip and tours passed in $((SECONDS - start)) s."
