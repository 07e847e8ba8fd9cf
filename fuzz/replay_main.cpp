// Replays fuzz inputs without libFuzzer: every file named on the command line, or
// every file in a folder named there, goes through the target once.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
int runFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), {});
    // Copy to an exactly-sized heap block so out-of-bounds reads are caught.
    std::vector<uint8_t> exact(data.begin(), data.end());
    LLVMFuzzerTestOneInput(exact.data(), exact.size());
    return 1;
}
}  // namespace

int main(int argc, char** argv) {
    int n = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p = argv[i];
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file()) n += runFile(e.path());
        } else {
            n += runFile(p);
        }
    }
    std::printf("replayed %d inputs\n", n);
    return n > 0 ? 0 : 1;
}
