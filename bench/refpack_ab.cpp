// Times two versions of the RefPack codec against each other in one process:
// refpack_ab.sh compiles the codec of an earlier commit into namespace `ovold`
// and the working tree's into `ovnew`, and links both with this file. Each round
// runs the two in turn (which goes first alternates), and the best time of each
// over all rounds is kept, so that the other work of a shared machine, which
// only ever adds time, drops out of the ratio.
//
//   refpack_ab LEVEL ROUNDS FILE...   LEVEL: fastest, fast, best or decode
//
// For decode, FILE is a packed stream. Prints MB/s of plain data for each, the
// ratio new / old of the speeds, and for packing the ratio of the sizes.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Defined by the two codec builds (see refpack_ab.sh): pack returns the packed
// size, decode the unpacked size, 0 on failure.
size_t old_pack(const uint8_t* in, size_t n, int level);
size_t new_pack(const uint8_t* in, size_t n, int level);
size_t old_decode(const uint8_t* in, size_t n, uint8_t* out, size_t room);
size_t new_decode(const uint8_t* in, size_t n, uint8_t* out, size_t room);

namespace {

std::vector<uint8_t> readAll(const char* path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: refpack_ab fastest|fast|best|decode ROUNDS FILE...\n");
        return 2;
    }
    const std::string mode = argv[1];
    const int level = mode == "fastest" ? 0 : mode == "fast" ? 1 : mode == "best" ? 2 : -1;
    if (level < 0 && mode != "decode") {
        std::fprintf(stderr, "refpack_ab: unknown level %s\n", argv[1]);
        return 2;
    }
    const int rounds = std::max(1, std::atoi(argv[2]));
    double totalOld = 0, totalNew = 0;
    for (int a = 3; a < argc; ++a) {
        const std::vector<uint8_t> in = readAll(argv[a]);
        if (in.empty()) {
            std::fprintf(stderr, "refpack_ab: %s is empty or cannot be read\n", argv[a]);
            return 1;
        }
        // A packed stream states its unpacked size in bytes 2-4.
        const size_t plain = level >= 0 ? in.size()
                             : in.size() >= 5 ? size_t(in[2]) << 16 | size_t(in[3]) << 8 | in[4]
                                              : 0;
        std::vector<uint8_t> out(plain + 64);
        double best[2] = {1e30, 1e30};
        size_t result[2] = {0, 0};
        for (int r = 0; r < rounds; ++r) {
            for (int turn = 0; turn < 2; ++turn) {
                const int which = (turn + r) % 2;  // 0 old, 1 new
                const auto t0 = std::chrono::steady_clock::now();
                if (level >= 0)
                    result[which] = which ? new_pack(in.data(), in.size(), level)
                                          : old_pack(in.data(), in.size(), level);
                else
                    result[which] = which ? new_decode(in.data(), in.size(), out.data(), out.size())
                                          : old_decode(in.data(), in.size(), out.data(), out.size());
                const double t =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                best[which] = std::min(best[which], t);
            }
        }
        if (!result[0] || !result[1] || (level < 0 && result[0] != result[1])) {
            std::fprintf(stderr, "refpack_ab: %s: a version failed\n", argv[a]);
            return 1;
        }
        std::printf("%-32s old %8.1f MB/s  new %8.1f MB/s  new/old %.3f", argv[a],
                    double(plain) / best[0] / 1e6, double(plain) / best[1] / 1e6, best[0] / best[1]);
        if (level >= 0) std::printf("  size new/old %.4f", double(result[1]) / double(result[0]));
        std::printf("\n");
        totalOld += best[0];
        totalNew += best[1];
    }
    std::printf("all files: new/old %.3f\n", totalOld / totalNew);
    return 0;
}
