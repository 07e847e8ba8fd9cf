// Packs one file once at one level and prints the packed size: a program small
// enough to run under valgrind's cachegrind, whose instruction counts do not
// move with the other work on a shared machine as timings do.
//
//   valgrind --tool=cachegrind --cache-sim=no --cachegrind-out-file=/dev/null
//       build/release/bench/pack_once FILE best      (one line)

#include <cstdio>
#include <cstring>

#include "common/fileio.h"
#include "common/refpack.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pack_once FILE fastest|fast|best\n");
        return 2;
    }
    auto in = ov::readFile(argv[1], ov::refpack::kMaxPackInput);
    if (!in) {
        std::fprintf(stderr, "pack_once: %s\n", in.error().describe().c_str());
        return 1;
    }
    const char* level = argv[2];
    ov::refpack::Level l;
    if (std::strcmp(level, "fastest") == 0)
        l = ov::refpack::Level::Fastest;
    else if (std::strcmp(level, "fast") == 0)
        l = ov::refpack::Level::Fast;
    else if (std::strcmp(level, "best") == 0)
        l = ov::refpack::Level::Best;
    else {
        std::fprintf(stderr, "pack_once: unknown level %s\n", level);
        return 2;
    }
    auto packed = ov::refpack::encode(*in, l);
    if (!packed) {
        std::fprintf(stderr, "pack_once: %s\n", packed.error().describe().c_str());
        return 1;
    }
    const size_t size = packed->size();
    std::printf("%s %s: %zu bytes packed to %zu\n", argv[1], level, in->size(), size);
    return 0;
}
