// HOG archives of arbitrary bytes: open, list (with each entry's pack info) and
// extract every entry (as stored and unpacked) into a scratch folder. Nothing may
// crash, read out of bounds, or write anywhere but the scratch folder.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/report.h"
#include "fuzz/scratch_folder.h"
#include "ovedit/archive/hog.h"

namespace fs = std::filesystem;

namespace {

// Answers Yes, so unpacked-mode extraction goes on through every entry.
class YesReporter final : public ov::Reporter {
public:
    void message(std::string_view, std::string_view, ov::Icon) override {}
    ov::Answer question(std::string_view, std::string_view, ov::Buttons, ov::Icon) override {
        return ov::Answer::Yes;
    }
};

const fs::path& scratch() {
    static const ovfuzz::ScratchFolder folder("hog_fuzz");
    return folder.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path hog = scratch() / "in.hog";
    const fs::path out = scratch() / "out";
    {
        std::ofstream f(hog, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::create_directories(out);

    YesReporter reporter;
    auto archive = ov::archive::HogArchive::open(hog.string(), reporter);
    if (!archive) return 0;
    size_t chars = 0;
    std::vector<size_t> rows;
    for (const auto& e : archive->entries()) {
        chars += ov::archive::hexText(e.offset).size() + ov::archive::hexText(e.size).size() +
                 ov::archive::fileType(e.name).size();
        if (auto info = archive->packInfo(e); info && info->unpackedSize && !info->packed)
            std::abort();
        if (rows.size() < 64) rows.push_back(rows.size());
    }
    (void)chars;
    (void)ov::archive::hogSizeText(archive->hogSize());
    ov::archive::extract(*archive, rows, out.string(), ov::archive::ExtractMode::Raw, {}, reporter);
    ov::archive::extract(*archive, rows, out.string(), ov::archive::ExtractMode::Unpack, {},
                         reporter);

    // Everything extracted lies under `out`; the scratch folder holds nothing else.
    for (const auto& e : fs::directory_iterator(scratch()))
        if (e.path() != hog && e.path() != out) std::abort();
    return 0;
}
