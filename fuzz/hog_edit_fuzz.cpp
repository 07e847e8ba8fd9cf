// Rebuilding HOG archives of arbitrary bytes: a plan that renames the first entry,
// deletes the last and adds a file is applied, and afterwards every entry kept must
// hold exactly the bytes it held before, or the rebuild must have been refused with
// the archive untouched. Nothing may crash, and no file may be left in the scratch
// folder but the archive, its kept original and the added file. The input is also
// read as an edit script.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "fuzz/scratch_folder.h"
#include "ovedit/archive/hog.h"
#include "ovedit/archive/hog_edit.h"

namespace fs = std::filesystem;
using namespace ov::archive;

namespace {

const fs::path& scratch() {
    static const ovfuzz::ScratchFolder folder("hog_edit_fuzz");
    return folder.path();
}

ov::Bytes fileBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return ov::Bytes((std::istreambuf_iterator<char>(f)), {});
}

void check(bool good) {
    if (!good) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)parseEditScript(std::string_view(reinterpret_cast<const char*>(data), size), scratch());

    const fs::path hog = scratch() / "in.hog";
    const fs::path added = scratch() / "added.bin";
    std::error_code ec;
    fs::remove(originalPathOf(hog), ec);
    {
        std::ofstream f(hog, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), std::streamsize(size));
        std::ofstream a(added, std::ios::binary | std::ios::trunc);
        a << "added";
    }
    // The archive and the plan are closed before the folder is looked at: Windows
    // keeps a replaced file that is still open under a temporary name until then.
    [&] {
        auto archive = HogArchive::read(hog);
        if (!archive) return;

        HogEditPlan plan(*archive);
        const size_t n = archive->entries().size();
        (void)plan.add(added, "added.bin", size % 2 == 1);
        if (n > 0) (void)plan.rename(0, "renamed.bin");
        if (n > 1) (void)plan.remove(n - 1);

        // What each row of the rebuilt archive should hold: a kept entry its bytes as
        // stored now (nothing when it has none to read: then the rebuild must refuse).
        std::vector<const PlannedEntry*> live;
        std::vector<std::optional<ov::Bytes>> expected;
        bool unreadable = false;
        for (const PlannedEntry& e : plan.entries()) {
            if (e.deleted) continue;
            live.push_back(&e);
            if (e.added()) {
                expected.emplace_back();
                continue;
            }
            auto raw = archive->readRaw(archive->entries()[*e.original]);
            unreadable |= !raw;
            expected.push_back(raw ? std::optional<ov::Bytes>(std::move(*raw)) : std::nullopt);
        }
        const ov::Bytes before = fileBytes(hog);
        auto out = rebuildHog(plan, {}, {});
        if (!out) {
            check(fileBytes(hog) == before);
        } else {
            check(!unreadable);
            auto rebuilt = HogArchive::read(hog);
            check(rebuilt && rebuilt->walkNote().empty());
            check(rebuilt->entries().size() == live.size());
            check(rebuilt->hogSize() == rebuilt->fileSize());
            check(out->original == OriginalKept::Already || fileBytes(originalPathOf(hog)) == before);
            for (size_t i = 0; i < live.size(); ++i) {
                check(rebuilt->entries()[i].name == live[i]->name);
                auto raw = rebuilt->readRaw(rebuilt->entries()[i]);
                check(bool(raw));
                if (!live[i]->added()) check(*raw == *expected[i]);
            }
        }
    }();
    for (const auto& e : fs::directory_iterator(scratch()))
        check(e.path() == hog || e.path() == added || e.path() == originalPathOf(hog));
    return 0;
}
