// A stand-in for OVTool, a program on every platform: writes the file it was
// started on (its first argument) to the file named by OV_STAND_IN_RECORD, whole
// or not at all, with a copy of that file's bytes as RECORD.model, then ends.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const char* record = std::getenv("OV_STAND_IN_RECORD");
    if (!record || argc < 2) return 2;
    const std::filesystem::path to = record;
    std::filesystem::path model = to, tmp = to;
    model += ".model";
    tmp += ".tmp";
    std::error_code ec;
    std::filesystem::copy_file(argv[1], model, std::filesystem::copy_options::overwrite_existing, ec);
    {
        std::ofstream out(tmp, std::ios::binary);
        out << argv[1] << '\n';
        if (!out) return 1;
    }
    std::filesystem::rename(tmp, to, ec);
    return ec ? 1 : 0;
}
