#include "ovtool/model/document.h"

#include <algorithm>

#include "common/fileio.h"
#include "common/refpack.h"

namespace ov::model {

namespace fs = std::filesystem;
using shp::Block;
using shp::BlockChain;
namespace BlockType = shp::BlockType;

namespace {

// Real models are a few hundred kilobytes; anything near this is not a model, and
// reading it whole would only waste memory.
constexpr uint64_t kMaxModelFile = uint64_t(256) << 20;

std::string capitalised(std::string s) {
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = char(s[0] - 'a' + 'A');
    return s;
}

// Bytes a chain takes in a file, terminator included.
uint64_t storedSize(const BlockChain& chain) {
    uint64_t n = shp::kTerminatorBytes.size();
    for (const Block& b : chain.blocks())
        n += 6 + b.data.size();
    return n;
}

}  // namespace

std::string openErrorText(const fs::path& path) {
    return "Error opening " + path.string() + "!";
}

std::string saveErrorText(const fs::path& path) {
    return "Error saving file \"" + path.string() + "\"";
}

std::optional<LoadedModel> loadModel(const fs::path& path, Reporter& reporter) {
    auto data = readFile(path, kMaxModelFile);
    if (!data) {
        reporter.message(kOpenErrorCaption, openErrorText(path), Icon::Critical);
        return std::nullopt;
    }
    auto refuse = [&](const std::string& detail) -> std::optional<LoadedModel> {
        std::string text = shp::kNotShpText;
        if (!detail.empty()) text += "\n\n" + detail;
        reporter.message(shp::kNotShpCaption, text, Icon::Exclamation);
        return std::nullopt;
    };

    LoadedModel model;
    Bytes plain;
    ByteSpan bytes = *data;
    switch (shp::recognize(bytes)) {
        case shp::Recognition::Unknown:
            return refuse("");
        case shp::Recognition::Packed: {
            reporter.message(kCompressedCaption, kCompressedText, Icon::Information);
            auto unpacked = refpack::decode(bytes);
            if (!unpacked)
                return refuse("It cannot be unpacked: " + unpacked.error().describe() + ".");
            plain = std::move(*unpacked);
            // Models are packed once; a stream that unpacks to another packed stream
            // (or to anything else) is not one.
            switch (shp::recognize(plain)) {
                case shp::Recognition::Unpacked:
                    break;
                case shp::Recognition::Packed:
                    return refuse("It unpacks to data that is packed once more.");
                case shp::Recognition::Unknown:
                    return refuse("It unpacks to data that is not a model.");
            }
            bytes = plain;
            model.wasPacked = true;
            break;
        }
        case shp::Recognition::Unpacked:
            break;
    }

    auto chain = BlockChain::read(bytes);
    if (!chain) return refuse(capitalised(chain.error().message) + ".");
    // The chain ends at its first terminator head. Whatever follows is not part of
    // the model and would be lost on saving: say so rather than drop it silently.
    const uint64_t used = storedSize(*chain);
    if (used < bytes.size())
        reporter.message(kEditRefusedCaption,
                         "The model in " + path.string() + " ends at byte " + std::to_string(used) +
                             "; the " + std::to_string(bytes.size() - used) +
                             " bytes after its terminator block are not part of it and will not "
                             "be saved.",
                         Icon::Exclamation);
    model.chain = std::move(*chain);
    return model;
}

void Document::report(const char* caption, const std::string& text, Icon icon) {
    reporter_.message(caption, text, icon);
}

bool Document::open(const fs::path& path) {
    close();
    fileName_ = path;
    auto model = loadModel(path, reporter_);
    if (!model) return false;
    chain_ = std::move(model->chain);
    wasPacked_ = model->wasPacked;
    loaded_ = !chain_.empty();
    return loaded_;
}

void Document::close() {
    chain_ = BlockChain();
    loaded_ = false;
    wasPacked_ = false;
    selectedComponent_ = -1;
    selectedAttachment_ = -1;
    current9_.reset();
}

bool Document::merge(const fs::path& path) {
    if (!loaded_) return false;
    auto other = loadModel(path, reporter_);
    if (!other) return false;
    std::vector<Block>& theirs = other->chain.blocks();
    if (theirs.empty()) return false;

    auto own = componentTable();
    bool shaped = own && theirs.size() >= 2 && theirs[0].type == BlockType::ShipHeader &&
                  theirs[1].type == BlockType::ComponentTable;
    // A second Type-1 block among the appended ones would become this model's
    // component table the next time it is read.
    for (size_t i = 2; shaped && i < theirs.size(); ++i)
        shaped = theirs[i].type != BlockType::ComponentTable;
    if (!shaped) {
        report(kBadShpCaption, kBadShpText, Icon::Exclamation);
        return false;
    }
    Block& table = chain_.blocks()[*own];
    const Block& added = theirs[1];
    if (table.recordSize != shp::kComponentRecordSize ||
        added.recordSize != shp::kComponentRecordSize) {
        report(kReducedBlock1Caption, kReducedBlock1Text, Icon::Exclamation);
        return false;
    }
    const size_t total = size_t(table.recordCount) + added.recordCount;
    if (total > 0xFFFF) {
        report(kEditRefusedCaption,
               "The merged model would hold " + std::to_string(total) +
                   " components; a model holds at most 65535. No changes will be made.",
               Icon::Exclamation);
        return false;
    }

    table.data.insert(table.data.end(), added.data.begin(), added.data.end());
    table.recordCount = uint32_t(total);
    for (size_t i = 2; i < theirs.size(); ++i)
        chain_.appendBlock(std::move(theirs[i]));
    return true;
}

bool Document::save() {
    return saveAs(fileName_);
}

bool Document::saveAs(const fs::path& path) {
    if (!loaded_) return false;
    if (auto st = chain_.writeFile(path); !st) {
        report(kSaveErrorCaption, saveErrorText(path), Icon::Critical);
        return false;
    }
    fileName_ = path;
    return true;
}

size_t Document::componentCount() const {
    return model::componentCount(chain_);
}

std::vector<std::string> Document::componentNames() const {
    std::vector<std::string> names;
    auto t = componentTable();
    if (!t) return names;
    const Block& table = chain_.blocks()[*t];
    names.reserve(table.recordCount);
    for (size_t i = 0; i < table.recordCount; ++i) {
        auto rec = table.record(i);
        const char* p = reinterpret_cast<const char*>(rec.data());
        size_t n = std::min<size_t>(rec.size(), 64);
        names.emplace_back(p, std::find(p, p + n, '\0'));
    }
    return names;
}

std::optional<shp::ComponentView> Document::component(size_t k) {
    auto t = componentTable();
    if (!t || k >= chain_.blocks()[*t].recordCount) return std::nullopt;
    return shp::ComponentView(chain_.blocks()[*t].record(k));
}

std::optional<size_t> Document::attachmentBlock(size_t k) {
    current9_.reset();
    if (k >= componentCount()) return std::nullopt;
    current9_ = chain_.nth(BlockType::Attachments, k);
    if (!current9_) report(kMissingType9Caption, kMissingType9Text, Icon::Exclamation);
    return current9_;
}

std::optional<size_t> Document::boxBlock(size_t k) {
    if (k >= componentCount()) return std::nullopt;
    auto b = chain_.nth(BlockType::Boxes, k);
    if (!b) report(kMissingBoxesCaption, kMissingBoxesText, Icon::Exclamation);
    return b;
}

std::optional<Document::Geometry> Document::geometry(size_t k) {
    if (!attachmentBlock(k)) return std::nullopt;
    auto v = afterCurrentAttachments(BlockType::Vertices);
    auto f = afterCurrentAttachments(BlockType::Faces);
    if (!v || !f) {
        report(kEmptyGeometryCaption, kEmptyGeometryText, Icon::Critical);
        return std::nullopt;
    }
    return Geometry{*v, *f, afterCurrentAttachments(BlockType::TextureNames)};
}

std::optional<size_t> Document::afterCurrentAttachments(uint16_t type) const {
    if (!current9_) return std::nullopt;
    return chain_.firstAfter(*current9_, type);
}

std::vector<std::string> Document::attachmentNames(size_t k) {
    std::vector<std::string> names;
    auto b = attachmentBlock(k);
    if (!b) return names;
    Block& block = chain_.blocks()[*b];
    for (size_t i = 0; i < block.recordCount; ++i)
        names.push_back(shp::attachmentListName(shp::AttachmentView(block.record(i))));
    return names;
}

bool Document::deleteComponent(size_t k) {
    auto t = componentTable();
    if (!loaded_ || !t) return false;
    if (chain_.blocks()[*t].recordSize != shp::kComponentRecordSize) {
        report(kReducedBlock1Caption, kReducedBlock1Text, Icon::Exclamation);
        return false;
    }
    if (k >= chain_.blocks()[*t].recordCount) return false;
    auto nine = attachmentBlock(k);
    if (!nine) return false;
    auto seven = boxBlock(k);
    if (!seven) return false;

    // Removing the group must take exactly the component's own type-2, type-7 and
    // type-9 blocks, so that counting still pairs every later component with its
    // blocks; and it must not take the header or the component table.
    auto group = componentGroup(chain_, k);
    bool own = group.has_value();
    if (own) {
        auto [first, last] = *group;
        size_t sevens = 0, nines = 0;
        for (size_t i = first; i < last; ++i) {
            const uint32_t type = chain_.blocks()[i].type;
            sevens += type == BlockType::Boxes;
            nines += type == BlockType::Attachments;
            own = own && type != BlockType::ShipHeader && type != BlockType::ComponentTable;
        }
        own = own && sevens == 1 && nines == 1 && *nine >= first && *nine < last &&
              *seven >= first && *seven < last;
    }
    if (!own) {
        report(kEditRefusedCaption,
               "Component " + std::to_string(k) +
                   " does not own exactly one box block and one Type9 block in its own group "
                   "of blocks; deleting it would pair the components after it with the wrong "
                   "blocks. No changes will be made.",
               Icon::Exclamation);
        return false;
    }

    chain_.removeRecord(*t, k);
    auto& blocks = chain_.blocks();
    blocks.erase(blocks.begin() + ptrdiff_t(group->first),
                 blocks.begin() + ptrdiff_t(group->second));
    selectedComponent_ = -1;
    selectedAttachment_ = -1;
    current9_.reset();
    return true;
}

std::optional<size_t> Document::attach(size_t k, uint32_t kind) {
    if (!loaded_ || kind >= uint32_t(shp::kAttachmentKinds)) return std::nullopt;
    auto nine = attachmentBlock(k);
    if (!nine) return std::nullopt;
    if (!chain_.appendRecord(*nine, shp::defaultAttachment(kind))) {
        report(kEditRefusedCaption,
               "The Type9 block of component " + std::to_string(k) +
                   " is full (65535 objects). No changes will be made.",
               Icon::Exclamation);
        return std::nullopt;
    }
    return size_t(chain_.blocks()[*nine].recordCount - 1);
}

bool Document::detach(size_t k, size_t index) {
    if (!loaded_) return false;
    auto nine = attachmentBlock(k);
    if (!nine || !chain_.removeRecord(*nine, index)) return false;
    if (selectedComponent_ == int(k) && selectedAttachment_ >= 0) {
        if (size_t(selectedAttachment_) == index)
            selectedAttachment_ = -1;
        else if (size_t(selectedAttachment_) > index)
            --selectedAttachment_;
    }
    return true;
}

bool Document::setShipClass(uint8_t value) {
    return loaded_ && shp::setShipClass(chain_, value);
}

bool Document::setBlock13(size_t k, bool on) {
    if (!loaded_) return false;
    auto nine = attachmentBlock(k);
    if (!nine) return false;
    auto found = locate(chain_, k).block13;
    if (!found) return false;
    Block& b = chain_.blocks()[*found];
    if (!on) {
        b.data.clear();
        b.recordCount = 0;
        return true;
    }
    if (b.recordSize < 4) return false;
    b.data.resize(size_t(2) * b.recordSize, 0);
    storeU32LE(b.data.data(), 2);
    storeU32LE(b.data.data() + b.recordSize, 5);
    b.recordCount = 2;
    return true;
}

}  // namespace ov::model
