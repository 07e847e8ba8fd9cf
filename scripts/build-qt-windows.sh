#!/usr/bin/env bash
# Builds the Qt 6 the Windows desktop programs need (Widgets, OpenGL widgets,
# Concurrent, Test), cross-compiled with mingw-w64 from Debian's own qt6-base
# source, against Debian's native Qt of the same version as host tools. It goes
# into a cache folder outside the clone, named by Qt's version:
#   ${OV_QT_WINDOWS:-/var/cache/orvane/qt6-<version>-mingw64}
# and the script does nothing when that folder is already complete. Prints the
# folder as its last line. Run as root on Debian 12; asks nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

# Debian's native Qt supplies the host tools (moc, rcc, uic) and decides the version.
packages=(qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix dpkg-dev cmake ninja-build)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq || true   # a mirror mid-sync fails one index; the rest still serve
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed -E 's/^[0-9]+://; s/[+~-].*//')
prefix=${OV_QT_WINDOWS:-/var/cache/orvane/qt6-$version-mingw64}
if [ -f "$prefix/.complete" ]; then
    echo "Qt $version for Windows is already built"
    echo "$prefix"
    exit 0
fi

work=${OV_QT_WINDOWS_WORK:-/var/cache/orvane/qt6-$version-mingw64-work}
$SUDO mkdir -p "$work"
# Two runs at once (two clones, or CI beside a developer) would build into one
# work folder: the second waits for the first, and then has nothing to do.
exec 9>"$work.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
    echo "Qt $version for Windows was built meanwhile"
    echo "$prefix"
    exit 0
fi
cd "$work"

# ---- The source, Debian's patches applied ----------------------------------------------
if [ ! -d src ]; then
    if ! ls qt6-base_*.dsc >/dev/null 2>&1; then
        # A source entry of our own, in the form and with the key Debian 12's own
        # entry uses (apt refuses one source named with two keys), removed afterwards.
        list=/etc/apt/sources.list.d/orvane-qt6-src.sources
        had_src=0
        grep -rqsE '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ && had_src=1
        if [ $had_src -eq 0 ]; then
            printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: bookworm" \
                "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
                $SUDO tee "$list" >/dev/null
            trap '$SUDO rm -f "$list"' EXIT
            $SUDO apt-get update -qq || true
        fi
        apt-get source --download-only qt6-base="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
        if [ $had_src -eq 0 ]; then
            $SUDO rm -f "$list"
            trap - EXIT
            $SUDO apt-get update -qq || true
        fi
    fi
    rm -rf src.tmp
    dpkg-source --no-check -x qt6-base_*.dsc src.tmp >/dev/null
    mv src.tmp src
fi

# ---- Configure and build ---------------------------------------------------------------
# direct2d stays on: without it, qwindows.dll of Qt 6.4.2 fails to link (it uses
# the DirectWrite font database that only direct2d brings).
cat > toolchain.cmake <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p build
cd build
if [ ! -f build.ninja ]; then
    ../src/configure -prefix "$prefix" -release -shared -opengl desktop \
        -qt-zlib -qt-libpng -qt-freetype -qt-harfbuzz -qt-pcre -no-libjpeg \
        -no-dbus -no-icu -no-fontconfig -nomake tests -nomake examples \
        -no-feature-network -no-feature-sql -no-feature-xml -no-feature-printsupport \
        -no-feature-tabletevent -no-feature-androiddeployqt -no-feature-vulkan \
        -qt-host-path /usr -- \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" >configure.log 2>&1 ||
        { tail -40 configure.log; exit 1; }
fi
cmake --build . --parallel "$jobs"
rm -rf "$prefix"
cmake --install . >/dev/null
touch "$prefix/.complete"
cd /
[ -n "${OV_QT_WINDOWS_KEEP_WORK:-}" ] || rm -rf "$work"
echo "Qt $version for Windows built in $((SECONDS - start)) s"
echo "$prefix"
