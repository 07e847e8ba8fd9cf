#!/usr/bin/env bash
# A short tour of the toolkit on a fresh sample game folder: every capability of
# ovcli once, each change checked byte for byte where its result is defined.
# Usage: tour.sh OVCLI WORKDIR [LAUNCHER [ARG...]]
# WORKDIR is emptied first. With a LAUNCHER (an emulator such as Wine), OVCLI is
# run through it. Exits non-zero at the first step or check that fails.
set -euo pipefail

ovcli=("${@:3}" "$1")
work=$2
rm -rf "$work"
mkdir -p "$work"
game="$work/game"
out="$work/out"
orig="$work/original"
mkdir -p "$out" "$orig"

if [ -t 1 ]; then
    step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
else
    step() { printf '\n== %s\n' "$*"; }
fi
run() {
    printf '$ ovcli %s\n' "$*" >&2
    "${ovcli[@]}" "$@"
}
fail() {
    echo "CHECK FAILED: $*" >&2
    exit 1
}
ok() { echo "  check: $*"; }
# The bytes of FILE from OFFSET, COUNT of them, as hex.
hexat() { od -An -tx1 -v -j "$2" -N "$3" "$1" | tr -d ' \n'; }
# 0-based offsets of the bytes that differ between two files of equal length.
diffoffsets() { cmp -l "$1" "$2" | awk '{ print $1 - 1 }' || true; }
# The big-endian 32-bit number at OFFSET.
be32() { echo $((16#$(hexat "$1" "$2" 4))); }

step "Write the sample game folder"
run sample-game "$game"
cp "$game/resource.hog" "$game/shipstats.bin" "$orig/"
cp "$game/ships/kestrel.shp" "$orig/"

step "List the archive"
run hog list "$game/resource.hog"

step "Unpack a ship model from the archive and look inside it"
run hog unpack "$game/resource.hog" "$out" raptor.shp
run shp blocks "$out/raptor.shp"
run model info "$out/raptor.shp"
run model check "$out/raptor.shp"

step "The ships and their weapons"
run stats list "$game"
run weapons list "$game" Raptor

step "Change a ship's figures"
run stats get "$game" Raptor
run stats set "$game" Raptor "Max Speed=480" "Shield Recharge=15"
cmp -s "$game/shipstats.def" "$orig/shipstats.bin" || fail "shipstats.def is not the pristine copy"
ok "the first change kept the untouched shipstats.bin as shipstats.def"
run stats get "$game/shipstats.bin" 0
# Max Speed is the float at record offset 64, Shield Recharge at 108.
[ "$(hexat "$game/shipstats.bin" 64 4)" = "0000f043" ] || fail "Max Speed bytes"
[ "$(hexat "$game/shipstats.bin" 108 4)" = "00007041" ] || fail "Shield Recharge bytes"
for o in $(diffoffsets "$orig/shipstats.bin" "$game/shipstats.bin"); do
    [ "$o" -ge 64 ] && [ "$o" -lt 124 ] || fail "byte $o outside the statistics block changed"
done
ok "only the 60-byte statistics block of ship 0 changed, with the new figures"
run stats ensure-default "$game"
cmp -s "$game/shipstats.def" "$orig/shipstats.bin" || fail "ensure-default overwrote shipstats.def"
ok "ensure-default keeps the existing shipstats.def"

step "Change a ship's guns (standard and Tiger model)"
run weapons set "$game" Raptor --points 0,1 --gun 4
run weapons list "$game" Raptor
run hog cat "$game/resource.hog" raptor.shp --unpack >"$out/raptor.archive.shp"
cmp -s "$game/ships/raptor.bak" "$out/raptor.archive.shp" || fail "raptor.bak is not the archive's model"
ok "the unchanged model was kept as ships/raptor.bak"
[ -f "$game/ships/raptor.shp" ] || fail "no loose ships/raptor.shp was written"
[ -f "$game/ships/raptor_t.shp" ] || fail "the Tiger model was not changed"
ok "changed models written to ships/ (standard and Tiger)"

step "Switch a cloaking device on and off"
run ship class "$game/ships/kestrel.shp"
run ship cloak "$game/ships/kestrel.shp" --on
[ "$(hexat "$game/ships/kestrel.shp" 26 1)" = "02" ] || fail "class byte is not 2"
[ "$(diffoffsets "$orig/kestrel.shp" "$game/ships/kestrel.shp")" = "26" ] || fail "more than the class byte changed"
cmp -s "$game/ships/kestrel.bak" "$orig/kestrel.shp" || fail "ships/kestrel.bak is not the model before the change"
ok "only the class byte (offset 26) changed, to 2; the first state kept as ships/kestrel.bak"
run ship cloak "$game" Kestrel --on
[ "$(hexat "$game/ships/kestrel.shp" 26 1)" = "02" ] || fail "--on twice switched the cloak off"
ok "--on again leaves the cloak on"
run ship cloak "$game" Kestrel --off
cmp -s "$orig/kestrel.shp" "$game/ships/kestrel.shp" || fail "--off did not restore the model"
cmp -s "$game/ships/kestrel.bak" "$orig/kestrel.shp" || fail "ships/kestrel.bak was overwritten"
ok "switched off: the model is as it was, and kestrel.bak still holds the first state"

step "Convert a .3ds mesh into a ship model and check it"
# A shortened listing reads to the end (sed, not head): a reader that leaves early
# makes the writer's last lines fail, which a Windows pipe shows as an error.
run 3ds dump "$game/models/drone.3ds" | sed -n 1,12p
run convert "$game/models/drone.3ds" drone_skin "$out/drone.shp"
run model check "$out/drone.shp"
run model info "$out/drone.shp" | sed -n 1,8p

step "Back up, edit and restore the archive's FAT"
fatlen=$(be32 "$game/resource.hog" 12)
run hog backup-fat "$game/resource.hog"
cmp -s "$game/resource.FAT" <(head -c "$fatlen" "$orig/resource.hog") || fail "the backup is not the FAT region"
ok "resource.FAT holds the first $fatlen bytes of the archive"
# A question with no one to answer it (input from the null device, which Windows'
# C runtime calls a character device) takes the answer that changes nothing.
if said=$(run hog backup-fat "$game/resource.hog" </dev/null 2>&1); then
    fail "backup-fat overwrote the backup without an answer"
fi
printf '%s\n' "$said"
[[ $said == *"(no answer given: no)"* ]] || fail "backup-fat asked for an answer on the null device"
ok "asked again with no terminal, the existing backup is kept"
# Point raptor.shp at the data of missions\m01.dat, then paste row 2 onto row 3.
read -r moff msize < <("${ovcli[@]}" hog list "$game/resource.hog" | tr -d '\r' | awk '$2 == "missions\\m01.dat" { print $3, $4 }')
[ -n "$moff" ] || fail "missions\\m01.dat is not listed"
run hog set-entry "$game/resource.hog" raptor.shp --name RAPTOR.SHP --offset "$moff" --size "$msize"
run hog paste "$game/resource.hog" 2 3
run hog list "$game/resource.hog" | sed -n 1,8p
cmp -s "$game/resource.hog" "$orig/resource.hog" && fail "the edits changed nothing"
run hog restore-fat "$game/resource.hog" --yes
cmp -s "$game/resource.hog" "$orig/resource.hog" || fail "the archive differs after the restore"
ok "after the restore the archive is byte for byte the original"

step "Restore the weapons and the figures"
run weapons restore "$game" Raptor
cmp -s "$game/ships/raptor.shp" "$game/ships/raptor.bak" || fail "raptor.shp is not its .bak"
ok "ships/raptor.shp equals ships/raptor.bak"
run stats revert "$game" --dry-run
cmp -s "$game/shipstats.bin" "$orig/shipstats.bin" && fail "--dry-run reverted the figures"
run stats revert "$game"
cmp -s "$game/shipstats.bin" "$orig/shipstats.bin" || fail "shipstats.bin is not the original"
cmp -s "$game/shipstats.def" "$orig/shipstats.bin" || fail "shipstats.def changed"
ok "shipstats.bin is byte for byte the original; shipstats.def is kept"
if run stats restore "$game/shipstats.def" "$game/shipstats.bin" </dev/null; then
    fail "stats restore went on without --yes"
fi
[ -f "$game/shipstats.bin" ] || fail "stats restore deleted shipstats.bin without --yes"
ok "without --yes, stats restore deletes nothing"

step "Replace a ship model inside the archive, then get the original back"
run model set-class "$out/raptor.shp" Capship -o "$out/raptor-capital.shp"
[ "$(hexat "$out/raptor-capital.shp" 26 1)" = "01" ] || fail "the class byte is not 1"
cp "$out/raptor.shp" "$out/raptor-edit.shp"
run model set-class "$out/raptor-edit.shp" 1
cmp -s "$out/raptor-edit.bak" "$out/raptor.shp" || fail "raptor-edit.bak is not the model before the edit"
run model set-class "$out/raptor-edit.shp" 0
cmp -s "$out/raptor-edit.bak" "$out/raptor.shp" || fail "the second edit overwrote raptor-edit.bak"
ok "-o wrote a new file; an edit in place kept the first state as .bak, never overwritten"
run hog replace "$game/resource.hog" raptor.shp "$out/raptor-capital.shp" --pack --dry-run
cmp -s "$game/resource.hog" "$orig/resource.hog" || fail "--dry-run changed the archive"
ok "--dry-run changed nothing"
# --yes: refresh resource.FAT, which the rebuild would leave describing the old layout.
run hog replace "$game/resource.hog" raptor.shp "$out/raptor-capital.shp" --pack --yes
run hog cat "$game/resource.hog" raptor.shp --unpack >"$out/raptor.new.shp"
cmp -s "$out/raptor.new.shp" "$out/raptor-capital.shp" || fail "raptor.shp in the archive is not the new model"
[ "$("${ovcli[@]}" hog cat "$game/resource.hog" raptor.shp | head -c 2 | od -An -tx1 | tr -d ' ')" = "10fb" ] ||
    fail "raptor.shp was not stored packed"
ok "raptor.shp in the archive is the new model, packed"
mkdir -p "$out/before" "$out/after"
run hog extract "$orig/resource.hog" "$out/before" --all >/dev/null
run hog extract "$game/resource.hog" "$out/after" --all >/dev/null
rm "$out/before/raptor.shp" "$out/after/raptor.shp"
diff -r "$out/before" "$out/after" >/dev/null || fail "entries other than raptor.shp changed"
[ "$("${ovcli[@]}" hog list "$game/resource.hog" | awk 'NR > 4 { print $2 }')" = \
  "$("${ovcli[@]}" hog list "$orig/resource.hog" | awk 'NR > 4 { print $2 }')" ] || fail "the entries' order changed"
ok "every other entry holds the same bytes as stored, in the same order"
cmp -s "$game/resource.hog.org" "$orig/resource.hog" || fail "resource.hog.org is not the original archive"
ok "the original archive was kept as resource.hog.org"
newfat=$(be32 "$game/resource.hog" 12)
cmp -s "$game/resource.FAT" <(head -c "$newfat" "$game/resource.hog") || fail "resource.FAT was not refreshed"
ok "resource.FAT holds the rebuilt archive's FAT"
cp "$game/resource.hog.org" "$game/resource.hog"
cmp -s "$game/resource.hog" "$orig/resource.hog" || fail "the archive is not the original after copying .org back"
ok "copied back from resource.hog.org, the archive is byte for byte the original"

step "Several changes to the archive in one rebuild, from a script"
printf 'Briefing for the new mission.\n' >"$out/briefing.txt"
cat >"$out/changes.txt" <<'EOF'
# added, renamed and deleted in one rebuild
add briefing.txt as "missions\m02 briefing.txt" pack
rename data\readme.txt data\readme-first.txt
delete sounds\klaxon.raw
EOF
run hog edit "$game/resource.hog" --script "$out/changes.txt" --no
run hog list "$game/resource.hog" | tail -n 3
"${ovcli[@]}" hog cat "$game/resource.hog" 'missions\m02 briefing.txt' --unpack | cmp -s - "$out/briefing.txt" ||
    fail "the added briefing does not read back"
"${ovcli[@]}" hog cat "$game/resource.hog" 'data\readme-first.txt' | cmp -s - "$out/before/data/readme.txt" ||
    fail "the renamed entry lost its bytes"
"${ovcli[@]}" hog cat "$game/resource.hog" 'sounds\klaxon.raw' >/dev/null 2>&1 && fail "klaxon.raw is still there"
[ "$("${ovcli[@]}" hog list "$game/resource.hog" | tr -d '\r' | sed -n 3p)" = "16 file(s)" ] || fail "the count is not 16"
ok "added (packed), renamed and deleted; the archive lists 16 entries"
cmp -s "$game/resource.hog.org" "$orig/resource.hog" || fail "resource.hog.org was overwritten"
ok "resource.hog.org still holds the original archive"
cp "$game/resource.hog.org" "$game/resource.hog"

printf '\nTour complete: every step and check passed.\n'
