#!/usr/bin/env bash
# The Windows build, tested under Wine, from a fresh Debian 12 (run as root; asks
# nothing): installs Wine (32- and 64-bit), builds both Windows presets and the
# zip (scripts/build-windows.sh, which builds Qt for Windows when its cache has
# none), runs the tests of both builds under Wine, the GUI tests among them, on
# one X display of its own, then tours the zip as a Windows user gets it,
# unpacked into a folder named with letters outside every ANSI code page: every
# ovcli command through the zip's ovcli.exe (64- and 32-bit), whose results must
# be byte for byte those of the Linux build on the same tour, and the desktop
# programs on the sample game there (pictures in build/windows-tour).
#
# OV_WINDOWS_GUI_TESTS=smoke leaves out the two long GUI tests, for a quick run by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

# ---- Packages ------------------------------------------------------------------------
bash scripts/install-deps.sh
packages=(wine wine64 xdotool imagemagick)
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
    # A mirror mid-sync fails one index; the others still serve, and a package
    # that is really missing fails the install.
    $SUDO apt-get update -qq || echo "apt-get update failed; installing from the indexes there are"
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# 32-bit Wine needs the i386 build of every library it uses at the version the
# amd64 one has; while the mirror's i386 index of security updates is mid-sync no
# such set can be installed. The 32-bit build is then still built and packed, but
# its tests and tour cannot run: say so loudly rather than fail the whole run.
wine32=1
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    echo "Installing: wine32:i386"
    if ! $SUDO apt-get install -y -qq --no-install-recommends wine32:i386 >"${TMPDIR:-/tmp}/wine32-install.log" 2>&1; then
        tail -5 "${TMPDIR:-/tmp}/wine32-install.log"
        echo "WARNING: 32-bit Wine cannot be installed from the package mirror now; the 32-bit" \
             "build is built and packed but its tests and tour are NOT run"
        wine32=0
    fi
fi

jobs=$(nproc 2>/dev/null || echo 2)

# ---- Both Windows builds and the zip ---------------------------------------------------
scratch=$(mktemp -d)
xvfb=""
cleanup() {
    [ -z "${OV_WINEPREFIX:-}" ] || WINEPREFIX=$OV_WINEPREFIX wineserver -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
bash scripts/build-windows.sh | tee "$scratch/build.log"
zip=$(tail -n 1 "$scratch/build.log")

# ---- One X display, one Wine prefix and one Wine server for the whole run ---------------
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
export OV_WINEPREFIX=${OV_WINEPREFIX:-$PWD/build/wine}
for _ in $(seq 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
done
[ -s "$scratch/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$scratch/display")
scripts/wine-run.sh cmd /c exit 0  # makes the prefix on first use
WINEPREFIX=$OV_WINEPREFIX wineserver -w  # the server of that run ends...
WINEPREFIX=$OV_WINEPREFIX wineserver -p  # ...and one stays until the end,
# with Wine's services, started here so that they hold no test's output open.
scripts/wine-run.sh cmd /c exit 0 </dev/null >/dev/null 2>&1

# ---- The tests of both builds under Wine -------------------------------------------------
gui_skip=()
if [ "${OV_WINDOWS_GUI_TESTS:-all}" = smoke ]; then
    # Without the two long window tests (about 3.5 and 1.5 minutes under Wine).
    gui_skip=(-E '^(hog_tab_test|editor_window_test)$')
fi
presets=(mingw64)
[ $wine32 -eq 0 ] || presets+=(mingw32)
for preset in "${presets[@]}"; do
    echo "== $preset: tests under Wine"
    # Wine now and then fails to start a program (see the tour below), or leaves
    # one waiting at its start for good: a test that fails, or that runs past
    # five minutes (the window tests have their own, longer limit), runs once
    # more, and fails the build only when it fails twice.
    ctest --preset "$preset" -j "$jobs" --timeout 300 --repeat until-pass:2 "${gui_skip[@]}"
done

# ---- The Windows zip, as a Windows user unpacks it ----------------------------------------
echo "== The Windows zip"
home="$scratch/Моды Ωé"
mkdir -p "$home"
cmake -E chdir "$home" cmake -E tar xf "$zip"
unpacked=$(echo "$home"/orvane-toolkit-*-windows)
x64=$unpacked/x64
for f in README.md docs/USAGE.md x64/ovcli.exe x64/3ds2ov.dll x86/ovcli.exe x86/3ds2ov.dll \
         x64/OVEdit.exe x64/OVTool.exe x64/platforms/qwindows.dll x64/styles/qwindowsvistastyle.dll; do
    [ -f "$unpacked/$f" ] || { echo "the zip has no $f" >&2; exit 1; }
done
echo "$(basename "$zip"), $(du -k "$zip" | cut -f1) KB: $(cd "$unpacked" && find . -type f | sort | tr '\n' ' ')"

# What each program and DLL of x64/ imports is in x64/ or is part of Windows (a
# DLL of Wine's system folder).
system32=$OV_WINEPREFIX/drive_c/windows/system32
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r'; }
while IFS= read -r -d '' f; do
    for dll in $(imports "$f"); do
        # API sets (api-ms-win-*, ext-ms-*) are names Windows' loader maps onto its
        # own DLLs; no file of that name need exist.
        case "${dll,,}" in api-ms-win-* | ext-ms-*) continue ;; esac
        [ -n "$(find "$x64" "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ] ||
            { echo "${f#"$x64"/} imports $dll, which is neither in the zip nor part of Windows" >&2; exit 1; }
    done
done < <(find "$x64" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
echo "every DLL the programs and DLLs of x64/ import is in x64/ or part of Windows"
# The desktop programs: windowed, with their icon, and on the C++ runtime DLL Qt
# uses; ovcli and the converter keep their runtime inside.
for program in OVEdit OVTool; do
    x86_64-w64-mingw32-objdump -p "$x64/$program.exe" >"$scratch/headers"
    grep -Eq '^Subsystem[[:space:]]+00000002' "$scratch/headers" ||
        { echo "$program.exe is not a windowed program" >&2; exit 1; }
    grep -q 'IDI_ICON1' "$scratch/headers" || { echo "$program.exe has no icon IDI_ICON1" >&2; exit 1; }
    imports "$x64/$program.exe" | grep -ix 'libstdc++-6.dll' >/dev/null ||
        { echo "$program.exe does not use the C++ runtime DLL" >&2; exit 1; }
done
for f in x64/ovcli.exe x64/3ds2ov.dll; do
    if imports "$unpacked/$f" | grep -ix 'libstdc++-6.dll' >/dev/null; then
        echo "$f needs the C++ runtime DLL" >&2
        exit 1
    fi
done
echo "OVEdit.exe and OVTool.exe are windowed programs with their icons, on libstdc++-6.dll"

# ---- The tour through the zip's programs, against the Linux build's --------------------
echo "== The tour with the Linux build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs" --target ovcli 3ds2ov
bash scripts/tour.sh build/asan/ovcli/ovcli "$scratch/tour-linux" >"$scratch/tour-linux.log" 2>&1 ||
    { tail -30 "$scratch/tour-linux.log"; exit 1; }
arches=(x64)
[ $wine32 -eq 0 ] || arches+=(x86)
for arch in "${arches[@]}"; do
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

# ---- The desktop programs of the zip on the sample game -----------------------------------
# OV_WINDOWS_DESKTOP_TOUR=0 leaves this part out (CI does, until it has
# been seen passing there).
if [ "${OV_WINDOWS_DESKTOP_TOUR:-1}" = 0 ]; then
    echo "The desktop programs' tour is left out (OV_WINDOWS_DESKTOP_TOUR=0)"
    echo "Windows builds, tests, zip and tours passed in $((SECONDS - start)) s."
    exit 0
fi
echo "== OVEdit and OVTool from the zip, on a sample game in $home"
pictures=$PWD/build/windows-tour
rm -rf "$pictures"
mkdir -p "$pictures"
game=$home/game-Ωé
winerun=$PWD/scripts/wine-run.sh
"$winerun" "$x64/ovcli.exe" sample-game "$game" >/dev/null
"$winerun" "$x64/ovcli.exe" hog extract "$game/resource.hog" "$home/packed" raptor.shp >/dev/null
# A windowed program's --help still goes to standard output, not into a message box.
timeout 120 "$winerun" "$x64/OVEdit.exe" --help >"$scratch/help" 2>&1 || true
grep "The Orvane data editor" "$scratch/help" >/dev/null ||
    { cat "$scratch/help" >&2; echo "OVEdit.exe --help printed no help" >&2; exit 1; }
# Each picture: the program exits with 0, writes its PNG and says nothing but what
# Qt or the GL driver log (a message box of the program would be on standard error).
picture() {
    local name=$1
    shift
    local status=0
    (cd "$home" && "$winerun" "$@" --screenshot "$pictures/$name.png") >"$scratch/said" 2>&1 || status=$?
    if [ "$status" -ne 0 ] || [ ! -s "$pictures/$name.png" ] ||
        tr -d '\r' <"$scratch/said" | grep -Ev '^(qt\.[a-z.]+:|Q[A-Za-z]+::|libEGL|MESA)' |
            grep -Fvx "${expected_notice:-}" | grep . >/dev/null; then
        cat "$scratch/said" >&2
        echo "the picture $name failed: $*" >&2
        exit 1
    fi
    echo "  $name.png: $(basename "$1") ${*:2}"
}
picture ovedit-hog "$x64/OVEdit.exe" --game "$game" --tab hog "$game/resource.hog"
picture ovedit-ships "$x64/OVEdit.exe" --game "$game" --tab ships
picture ovedit-convert "$x64/OVEdit.exe" --game "$game" --tab convert "$game/models/drone.3ds"
# A packed model is unpacked to be shown, and OVTool says so: with no one to
# answer, that notice goes to standard error, and it is the one line expected.
expected_notice="Compressed SHP file?: The file you attempted to load is compressed. I'll uncompress it, check if it's a SHP file and load it if possible" \
    picture ovtool-packed "$x64/OVTool.exe" "$home/packed/raptor.shp"

# OVEdit as a person uses it: its conversion tab converts the 3DS model through the
# 3ds2ov.dll beside it, and "Open in OVTool" starts the OVTool.exe beside it on
# the result. Keys go to the window with the focus; a mnemonic that two controls
# share only moves the focus between them, so each key is followed by Space and
# pressed again until its effect shows.
keys_until() {
    local what=$1 check=$2
    shift 2
    for _ in 1 2 3; do
        # With no window manager on the display, the focus is given by hand.
        xdotool windowfocus --sync "$window"
        xdotool key "$@"
        for _ in $(seq 40); do
            if eval "$check"; then return 0; fi
            sleep 0.25
        done
    done
    echo "OVEdit: $what did not happen" >&2
    import -window root "$pictures/failed.png" 2>/dev/null || true
    exit 1
}
(cd "$home" && WINEDEBUG=+loaddll "$winerun" "$x64/OVEdit.exe" --game "$game" --tab convert \
    "$game/models/drone.3ds" >/dev/null 2>"$scratch/ovedit.log") &
for _ in $(seq 120); do
    xdotool search --onlyvisible --name '^OV Edit' >/dev/null 2>&1 && break
    sleep 0.5
done
window=$(xdotool search --onlyvisible --name '^OV Edit' 2>/dev/null | head -n 1) ||
    { echo "OVEdit's window did not show" >&2; exit 1; }
sleep 2
keys_until "the conversion" '[ -s "$game/models/drone.shp" ]' alt+c space
keys_until "the start of OVTool" "xdotool search --onlyvisible --name 'drone\\.shp.*OVTool' >/dev/null 2>&1" alt+n space
sleep 3
import -window root "$pictures/ovedit-started-ovtool.png"
grep -Eqi 'Loaded L".*[\]x64[\]+3ds2ov\.dll"' "$scratch/ovedit.log" ||
    { echo "OVEdit did not load the zip's x64/3ds2ov.dll" >&2; exit 1; }
"$winerun" "$x64/ovcli.exe" convert "$game/models/drone.3ds" drone "$scratch/drone.shp" >/dev/null
cmp "$game/models/drone.shp" "$scratch/drone.shp" ||
    { echo "OVEdit's conversion differs from ovcli's" >&2; exit 1; }
echo "  ovedit-started-ovtool.png: OVEdit converted drone.3ds through x64/3ds2ov.dll and started x64/OVTool.exe on it"
echo "The desktop programs passed; their pictures are in $pictures"

echo "Windows builds, tests, zip and tours passed in $((SECONDS - start)) s."
