#!/bin/bash
# Times the working tree's RefPack codec against the one of an earlier commit, in
# one process (see refpack_ab.cpp): both are compiled with the release flags, the
# old one into namespace `ovold`.
#
#   bash bench/refpack_ab.sh [--rev REV] LEVEL ROUNDS FILE...
#
# REV defaults to HEAD, so that uncommitted changes are compared with the last
# commit; LEVEL is fastest, fast, best or decode (FILE then a packed stream).
# Needs g++ and nothing else; it builds into a temporary folder it removes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rev=HEAD
if [[ ${1:-} == --rev ]]; then
    rev=$2
    shift 2
fi
if (($# < 3)); then
    echo "usage: bash bench/refpack_ab.sh [--rev REV] fastest|fast|best|decode ROUNDS FILE..." >&2
    exit 2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git -C "$root" show "$rev:common/refpack.cpp" > "$work/old_refpack.cpp"
cp "$root/common/refpack.cpp" "$work/new_refpack.cpp"
for side in old new; do
    cat > "$work/${side}_tu.cpp" <<EOF
#include "${side}_refpack.cpp"
#include "common/result.cpp"
size_t ${side}_pack(const uint8_t* in, size_t n, int level) {
    using ov::refpack::Level;
    auto r = ov::refpack::encode(ov::ByteSpan(in, n),
                                 level == 0 ? Level::Fastest : level == 1 ? Level::Fast : Level::Best);
    return r ? r->size() : 0;
}
size_t ${side}_decode(const uint8_t* in, size_t n, uint8_t* out, size_t room) {
    auto r = ov::refpack::decodeInto(ov::ByteSpan(in, n), std::span<uint8_t>(out, room));
    return r ? *r : 0;
}
EOF
done
flags=(-std=c++20 -O3 -DNDEBUG -I"$root" -I"$root/common")
g++ "${flags[@]}" -Dov=ovold -c "$work/old_tu.cpp" -o "$work/old.o" &
g++ "${flags[@]}" -Dov=ovnew -c "$work/new_tu.cpp" -o "$work/new.o"
wait
g++ "${flags[@]}" "$root/bench/refpack_ab.cpp" "$work/old.o" "$work/new.o" -o "$work/refpack_ab"
"$work/refpack_ab" "$@"
