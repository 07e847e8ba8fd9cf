#!/usr/bin/env bash
# Makes the Debian package from a Linux build, unpacks it into a scratch root and
# runs what it installed from there: ovcli --version, and a conversion through the
# converter library ovcli finds in its installed place, compared byte for byte
# with the committed SHP, and, where the build has the mesh reader, an OBJ imported
# through the installed module. Then checks that the installed file types name a ship
# model and an archive by their contents, and that the desktop programs that were
# built come with a valid menu entry and an icon.
# Usage: test-deb.sh BUILD_DIR
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$build/package-test
rm -rf "$work"
mkdir -p "$work"
fail() {
    echo "CHECK FAILED: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack"
}
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
deb=${debs[0]}
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Architecture Depends
depends=$(dpkg-deb --field "$deb" Depends)
[[ $depends == *libc6* && $depends == *libstdc++6* ]] || fail "Depends does not name the C++ runtime"

root=$work/root
dpkg -x "$deb" "$root"
ovcli=$root/usr/bin/ovcli
library=$root/usr/lib/orvane-toolkit/lib3ds2ov.so
[ -x "$ovcli" ] || fail "no usr/bin/ovcli"
[ -f "$library" ] || fail "no usr/lib/orvane-toolkit/lib3ds2ov.so"
[ -f "$root/usr/share/doc/orvane-toolkit/README.md" ] || fail "no README in usr/share/doc"

version=$("$ovcli" --version)
echo "$version"
expected=$(sed -n 's/^project(Orvane VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[[ $version == "ovcli $expected"* ]] || fail "--version does not start with \"ovcli $expected\""

# The dynamic loader names the file it loads: it must be the installed library,
# not the one in the build tree ovcli would fall back to.
unset OV_3DS2OV_LIBRARY
LD_DEBUG=files "$ovcli" convert "$src/tests/data/rock.3ds" rock_skin "$work/rock.shp" \
    >"$work/convert.log" 2>"$work/loader.log" || {
    cat "$work/convert.log"
    fail "ovcli convert"
}
grep -q "file=$library .*dynamically loaded" "$work/loader.log" ||
    fail "ovcli did not load $library (it loaded: $(grep -o 'file=[^ ]*lib3ds2ov[^ ]*' "$work/loader.log"))"
cmp "$work/rock.shp" "$src/tests/data/rock.shp" || fail "the converted SHP differs from tests/data/rock.shp"
echo "converted through $library: the SHP is byte for byte tests/data/rock.shp"

# Meshes of other formats come in through the mesh reader, where the build has it:
# installed beside the converter, loaded from there when an OBJ is imported.
reader=$root/usr/lib/orvane-toolkit/libov_assimp_reader.so
if [ -f "$build/ovtool/interchange/libov_assimp_reader.so" ]; then
    [ -f "$reader" ] || fail "no usr/lib/orvane-toolkit/libov_assimp_reader.so"
    "$ovcli" model export "$src/tests/data/rock.shp" "$work/rock.obj" >/dev/null || fail "ovcli model export"
    LD_DEBUG=files "$ovcli" model import "$work/rock.obj" "$work/rock-obj.shp" \
        >"$work/import.log" 2>"$work/loader.log" || {
        cat "$work/import.log"
        fail "ovcli model import"
    }
    grep -q "file=$reader .*dynamically loaded" "$work/loader.log" ||
        fail "ovcli did not load $reader (it loaded: $(grep -o 'file=[^ ]*ov_assimp[^ ]*' "$work/loader.log"))"
    "$ovcli" model check "$work/rock-obj.shp" >/dev/null || fail "the imported OBJ does not pass model check"
    echo "imported an OBJ through $reader"
fi

# File types: a model (plain and packed) and an archive recognised by the installed
# definitions alone, whatever their names.
mime=$root/usr/share/mime
[ -f "$mime/packages/orvane-toolkit.xml" ] || fail "no usr/share/mime/packages/orvane-toolkit.xml"
XDG_DATA_DIRS=$root/usr/share update-mime-database "$mime" || fail "update-mime-database refused the file types"
cp "$src/tests/data/rock.shp" "$work/model.bin"
"$ovcli" pack "$src/tests/data/rock.shp" "$work/packed.bin" >/dev/null
"$ovcli" sample-game "$work/game" >/dev/null
cp "$work/game/resource.hog" "$work/archive.bin"
for pair in model.bin:application/x-orvane-shp packed.bin:application/x-orvane-shp \
    archive.bin:application/x-orvane-hog rock.shp:application/x-orvane-shp; do
    file=${pair%%:*} want=${pair#*:}
    got=$(XDG_DATA_HOME=$root/usr/share XDG_DATA_DIRS=$root/usr/share \
        gio info -a standard::content-type "$work/$file" | sed -n 's/.*standard::content-type: //p')
    [ "$got" = "$want" ] || fail "$file is typed \"$got\", not $want"
    echo "$file: $got"
done
# The desktop programs, where they were built: a valid menu entry, its program
# and its icon.
for entry in "$root"/usr/share/applications/*.desktop; do
    [ -f "$entry" ] || continue
    desktop-file-validate "$entry" || fail "$(basename "$entry") is not a valid desktop entry"
    program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -x "$root/usr/bin/$program" ] || fail "$(basename "$entry") starts $program, which is not installed"
    [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon $icon.svg"
    echo "$(basename "$entry"): $program, icon $icon"
done
echo "The package installs and runs."
