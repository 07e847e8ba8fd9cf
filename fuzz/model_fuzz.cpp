// The model core and the model document on arbitrary files: any bytes, packed or
// not, must load or be refused, never a fault; every component lookup stays inside
// the chain. Whatever opens must check, give a drawable mesh whose triangles stay in
// their vertex arrays, save to a file that opens again to the same chain, and
// survive the editing operations with its index kept right.

#include <cstdlib>
#include <filesystem>

#include "common/fileio.h"
#include "common/report.h"
#include "common/shp_model.h"
#include "ovtool/model/document.h"
#include "common/mesh.h"

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
    // The silent core first: any bytes load or are refused, and every lookup of a
    // loaded model stays inside its chain.
    if (auto loaded = ov::shp::readModel(ov::ByteSpan(data, size))) {
        const ov::shp::ChainIndex index(loaded->chain);
        const ov::shp::ModelView model(loaded->chain, index);
        (void)model.check();
        const size_t n = model.componentCount() < 64 ? model.componentCount() : 64;
        for (size_t k = 0; k < n; ++k) {
            const auto s = model.summary(k);
            for (auto i : {s.blocks.opener, s.blocks.boxes, s.blocks.attachments, s.blocks.vertices,
                           s.blocks.faces, s.blocks.textures, s.blocks.block13, s.blocks.block14})
                if (i && *i >= loaded->chain.size()) std::abort();
            (void)model.problems(k);
            (void)model.attachmentNames(k);
        }
    }

    const fs::path in = folder() / "in.shp";
    const fs::path out = folder() / "out.shp";
    if (!ov::writeFileAtomic(in, ov::ByteSpan(data, size))) return 0;

    ov::SilentReporter quiet;
    ov::model::Document doc(quiet);
    if (doc.open(in) != ov::model::OpenResult::Loaded) return 0;
    // The drawable mesh holds only corners inside their own vertex arrays.
    const ov::shp::RenderMesh mesh = ov::shp::buildRenderMesh(doc.model());
    // and objects made only of records that hold their fields: never more of them
    // than the unpacked bytes could hold at 4 bytes each.
    size_t objects = 0;
    for (const auto& c : mesh.components) {
        for (const auto& t : c.triangles)
            for (uint32_t v : t.corners)
                if (v >= c.positions.size()) std::abort();
        objects += c.boxes.size() + c.attachments.size() + c.positions.size();
    }
    if (objects * 4 > doc.chain().write().size()) std::abort();
    const size_t n = doc.componentCount() < 32 ? doc.componentCount() : 32;
    for (size_t k = 0; k < n; ++k)
        (void)doc.validity(k);

    if (!doc.saveAs(out)) std::abort();
    ov::model::Document reopened(quiet);
    if (reopened.open(out) != ov::model::OpenResult::Loaded ||
        reopened.chain().write() != doc.chain().write())
        std::abort();

    if (n > 0) {
        (void)doc.attach(n - 1, uint32_t(size % 5));
        (void)doc.detach(0, 0);
        (void)doc.setBlock13(0, size % 2 == 0);
        (void)doc.setShipClass(uint8_t(size));
        (void)doc.deleteComponent(n / 2);
    }
    (void)doc.merge(in);
    (void)doc.model().check();
    // The document's index follows its edits: it must agree with a fresh one.
    const ov::shp::ChainIndex fresh(doc.chain());
    const ov::shp::ModelView again(doc.chain(), fresh);
    for (size_t k = 0; k < (doc.componentCount() < 32 ? doc.componentCount() : 32); ++k)
        if (!(doc.model().locate(k) == again.locate(k))) std::abort();
    if (!ov::shp::BlockChain::read(doc.chain().write())) std::abort();
    return 0;
}
