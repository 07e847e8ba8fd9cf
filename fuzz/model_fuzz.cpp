// Model document on arbitrary files: any bytes, packed or not, must open or be
// refused with a message, never a fault. Whatever opens must check, save to a file
// that opens again to the same chain, and survive the editing operations.

#include <cstdlib>
#include <filesystem>

#include "common/fileio.h"
#include "common/report.h"
#include "ovtool/model/document.h"

namespace {

namespace fs = std::filesystem;

// One private folder for the whole run, next to a unique temporary file.
class Folder {
public:
    Folder() : unique_("ov-model-fuzz") {
        path_ = unique_.path();
        path_ += ".d";
        fs::create_directory(path_);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    ov::TempFile unique_;
    fs::path path_;
};

const fs::path& folder() {
    static Folder f;
    return f.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path in = folder() / "in.shp";
    const fs::path out = folder() / "out.shp";
    if (!ov::writeFileAtomic(in, ov::ByteSpan(data, size))) return 0;

    ov::SilentReporter quiet;
    ov::model::Document doc(quiet);
    if (!doc.open(in)) return 0;
    (void)ov::model::checkModel(doc.chain());
    const size_t n = doc.componentCount() < 32 ? doc.componentCount() : 32;
    for (size_t k = 0; k < n; ++k) {
        (void)doc.geometry(k);
        (void)doc.boxBlock(k);
        (void)doc.attachmentNames(k);
    }

    if (!doc.saveAs(out)) std::abort();
    ov::model::Document reopened(quiet);
    if (!reopened.open(out) || reopened.chain().write() != doc.chain().write()) std::abort();

    if (n > 0) {
        (void)doc.attach(n - 1, uint32_t(size % 5));
        (void)doc.detach(0, 0);
        (void)doc.setBlock13(0, size % 2 == 0);
        (void)doc.setShipClass(uint8_t(size));
        (void)doc.deleteComponent(n / 2);
    }
    (void)doc.merge(in);
    (void)ov::model::checkModel(doc.chain());
    if (!ov::shp::BlockChain::read(doc.chain().write())) std::abort();
    return 0;
}
