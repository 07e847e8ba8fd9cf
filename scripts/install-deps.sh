#!/usr/bin/env bash
# Installs what the toolkit needs to build and test on Debian 12 (libclang-rt-dev
# holds the sanitizer and libFuzzer runtimes clang links; it is only recommended
# by clang, so it is named here). The desktop programs need Qt 6 (Widgets,
# Concurrent and Test come with qt6-base-dev, the OpenGL modules with
# libqt6opengl6-dev, which it only recommends) and the xcb platform plugin; their
# tests and screenshots run on Xvfb (with xauth for xvfb-run) with Mesa's software
# OpenGL (libgl1-mesa-dri, libglx-mesa0) and a font to draw text with. The
# packaging test makes a .deb (dpkg-shlibdeps from dpkg-dev, file) and checks its
# menu entries and file types (desktop-file-validate, update-mime-database, gio).
# Ships go out to glTF and back through libtinygltf-dev; other meshes come in
# through libassimp-dev (optional: the build goes on without it).
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-dev pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev liblz4-dev libcli11-dev nlohmann-json3-dev
    libtinygltf-dev libassimp-dev
    qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins
    xvfb xauth libgl1-mesa-dri libglx-mesa0 fonts-dejavu-core
    dpkg-dev file desktop-file-utils shared-mime-info libglib2.0-bin
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    # A mirror mid-sync fails one index and apt-get update then exits non-zero;
    # the other indexes still serve, and a package really missing fails the install.
    $SUDO apt-get update -qq || echo "apt-get update failed; installing from the indexes there are"
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
