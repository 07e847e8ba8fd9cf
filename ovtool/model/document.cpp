#include "ovtool/model/document.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "common/fileio.h"

namespace ov::model {

namespace {

// Equal to the bit: an edit of one field must not rewrite another whose value
// compares equal but is stored differently (-0 and 0, NaN payloads).
bool sameBits(shp::Vec3 a, shp::Vec3 b) {
    return std::bit_cast<uint32_t>(a.x) == std::bit_cast<uint32_t>(b.x) &&
           std::bit_cast<uint32_t>(a.y) == std::bit_cast<uint32_t>(b.y) &&
           std::bit_cast<uint32_t>(a.z) == std::bit_cast<uint32_t>(b.z);
}

}  // namespace

namespace fs = std::filesystem;
using shp::Block;
using shp::BlockChain;
namespace BlockType = shp::BlockType;

std::string openErrorText(const fs::path& path) {
    return "Error opening " + pathText(path) + "!";
}

std::string saveErrorText(const fs::path& path) {
    return "Error saving file \"" + pathText(path) + "\"";
}

fs::path backupPathFor(const fs::path& model) {
    fs::path p = model;
    p.replace_extension(".bak");
    return p;
}

std::optional<shp::LoadedModel> loadModel(const fs::path& path, Reporter& reporter) {
    auto data = readFile(path, shp::kMaxModelFile);
    if (!data) {
        reporter.message(kOpenErrorCaption, openErrorText(path) + "\n\n" + data.error().describe(),
                         Icon::Critical);
        return std::nullopt;
    }
    if (shp::recognize(*data) == shp::Recognition::Packed)
        reporter.message(kCompressedCaption, kCompressedText, Icon::Information);
    auto model = shp::readModel(*data);
    if (!model) {
        std::string text = shp::kNotShpText;
        if (model.error().message != shp::kNotShpText) text += "\n\n" + model.error().message;
        reporter.message(shp::kNotShpCaption, text, Icon::Exclamation);
        return std::nullopt;
    }
    // Whatever follows the terminator would be lost on saving: say so rather than
    // drop it silently.
    if (model->trailingBytes > 0) {
        const uint64_t used = data->size() - model->trailingBytes;
        reporter.message(kEditRefusedCaption,
                         "The model in " + pathText(path) + " ends at byte " + std::to_string(used) +
                             "; the " + std::to_string(model->trailingBytes) +
                             " bytes after its terminator block are not part of it and will not "
                             "be saved.",
                         Icon::Exclamation);
    }
    return std::move(*model);
}

// ---- state and listeners --------------------------------------------------------------

void Document::notify(Change change) {
    // A listener may add or remove listeners; call the ones present now.
    auto now = listeners_;
    for (auto& [id, listener] : now)
        listener(change);
}

size_t Document::addListener(Listener listener) {
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void Document::removeListener(size_t id) {
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void Document::setModified(bool modified) {
    if (modified_ == modified) return;
    modified_ = modified;
    notify(Change::Modified);
}

void Document::changed() {
    index_ = shp::ChainIndex(chain_);
    modified_ = true;
    ++version_;
    notify(Change::Edited);
}

void Document::replaceChain(BlockChain chain) {
    if (!loaded_) return;
    chain_ = std::move(chain);
    changed();
}

Error Document::refuse(const char* caption, const std::string& text) {
    reporter_.message(caption, text, Icon::Exclamation);
    return makeError(ErrorKind::Refused, text);
}

std::optional<Error> Document::refuseComponent(size_t k) {
    if (!loaded_) return refuse(kEditRefusedCaption, "No model is loaded.");
    const size_t n = componentCount();
    if (k >= n)
        return refuse(kEditRefusedCaption, "Component " + std::to_string(k) +
                                               " does not exist: the model has " +
                                               std::to_string(n) + " components.");
    return std::nullopt;
}

// ---- files ------------------------------------------------------------------------------

OpenResult Document::open(const fs::path& path) {
    close();
    fileName_ = path;
    auto model = loadModel(path, reporter_);
    if (!model) return OpenResult::Failed;
    if (model->chain.empty()) return OpenResult::Empty;
    chain_ = std::move(model->chain);
    index_ = shp::ChainIndex(chain_);
    wasPacked_ = model->wasPacked;
    trailingBytes_ = model->trailingBytes;
    loaded_ = true;
    ++version_;
    notify(Change::Opened);
    return OpenResult::Loaded;
}

OpenResult Document::adopt(BlockChain chain) {
    close();
    fileName_.clear();
    if (chain.empty()) return OpenResult::Empty;
    chain_ = std::move(chain);
    index_ = shp::ChainIndex(chain_);
    loaded_ = true;
    modified_ = true;
    ++version_;
    notify(Change::Opened);
    return OpenResult::Loaded;
}

void Document::close() {
    const bool was = loaded_;
    chain_ = BlockChain();
    index_ = shp::ChainIndex();
    loaded_ = false;
    backupMade_.clear();
    wasPacked_ = false;
    trailingBytes_ = 0;
    modified_ = false;
    if (was) {
        ++version_;
        notify(Change::Closed);
    }
}

Result<bool> Document::merge(const fs::path& path) {
    if (!loaded_) return false;
    auto other = loadModel(path, reporter_);
    if (!other) return makeError(ErrorKind::BadData, "the model to merge could not be loaded");
    std::vector<Block>& theirs = other->chain.blocks();
    if (theirs.empty()) return false;

    auto own = model().componentTable();
    bool shaped = own && theirs.size() >= 2 && theirs[0].type == BlockType::ShipHeader &&
                  theirs[1].type == BlockType::ComponentTable;
    // A second Type-1 block among the appended ones would become this model's
    // component table the next time it is read.
    for (size_t i = 2; shaped && i < theirs.size(); ++i)
        shaped = theirs[i].type != BlockType::ComponentTable;
    if (!shaped) return refuse(kBadShpCaption, kBadShpText);
    Block& table = chain_.blocks()[*own];
    const Block& added = theirs[1];
    if (table.recordSize != shp::kComponentRecordSize ||
        added.recordSize != shp::kComponentRecordSize)
        return refuse(kReducedBlock1Caption, kReducedBlock1Text);
    const size_t total = size_t(table.recordCount) + added.recordCount;
    if (total > 0xFFFF)
        return refuse(kEditRefusedCaption,
                      "The merged model would hold " + std::to_string(total) +
                          " components; a model holds at most 65535. No changes will be made.");

    table.data.insert(table.data.end(), added.data.begin(), added.data.end());
    table.recordCount = uint32_t(total);
    for (size_t i = 2; i < theirs.size(); ++i)
        chain_.appendBlock(std::move(theirs[i]));
    changed();
    return true;
}

bool Document::save(Backup backup) {
    if (fileName_.empty()) return false;
    return saveAs(fileName_, backup);
}

bool Document::saveAs(const fs::path& path, Backup backup) {
    if (!loaded_) return false;
    fs::path kept;
    if (backup == Backup::KeepFirstState) {
        std::error_code ec;
        const fs::path bak = backupPathFor(path);
        if (fs::exists(path, ec) && !fs::exists(bak, ec)) {
            if (auto copied = copyFileAtomic(path, bak); !copied) {
                reporter_.message(kSaveErrorCaption,
                                  saveErrorText(bak) + "\n\n" + copied.error().describe(),
                                  Icon::Critical);
                return false;
            }
            kept = bak;
        }
    }
    if (auto written = chain_.writeFile(path); !written) {
        reporter_.message(kSaveErrorCaption,
                          saveErrorText(path) + "\n\n" + written.error().describe(),
                          Icon::Critical);
        return false;
    }
    fileName_ = path;
    backupMade_ = std::move(kept);
    modified_ = false;
    notify(Change::Saved);
    return true;
}

// ---- edits ------------------------------------------------------------------------------

Result<bool> Document::deleteComponent(size_t k) {
    if (auto no = refuseComponent(k)) return *no;
    const auto t = model().componentTable();
    if (chain_.blocks()[*t].recordSize != shp::kComponentRecordSize)
        return refuse(kReducedBlock1Caption, kReducedBlock1Text);
    const shp::ComponentBlocks c = model().locate(k);
    if (!c.attachments) return refuse(shp::kMissingType9Caption, shp::kMissingType9Text);
    if (!c.boxes) return refuse(shp::kMissingBoxesCaption, shp::kMissingBoxesText);

    // Removing the group must take exactly the component's own type-2, type-7 and
    // type-9 blocks, so that counting still pairs every later component with its
    // blocks; and it must not take the header or the component table.
    auto group = model().group(k);
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
        own = own && sevens == 1 && nines == 1 && *c.attachments >= first &&
              *c.attachments < last && *c.boxes >= first && *c.boxes < last;
    }
    if (!own)
        return refuse(kEditRefusedCaption,
                      "Component " + std::to_string(k) +
                          " does not own exactly one box block and one Type9 block in its own "
                          "group of blocks; deleting it would pair the components after it with "
                          "the wrong blocks. No changes will be made.");

    chain_.removeRecord(*t, k);
    auto& blocks = chain_.blocks();
    blocks.erase(blocks.begin() + ptrdiff_t(group->first),
                 blocks.begin() + ptrdiff_t(group->second));
    changed();
    return true;
}

Result<size_t> Document::attach(size_t k, uint32_t kind) {
    if (!loaded_) return refuse(kEditRefusedCaption, "No model is loaded.");
    if (kind >= uint32_t(shp::kAttachmentKinds))
        return refuse(kEditRefusedCaption, "There is no attachment kind " + std::to_string(kind) +
                                               ". No changes will be made.");
    if (auto no = refuseComponent(k)) return *no;
    const auto nine = model().locate(k).attachments;
    if (!nine) return refuse(shp::kMissingType9Caption, shp::kMissingType9Text);
    if (!chain_.appendRecord(*nine, shp::defaultAttachment(kind)))
        return refuse(kEditRefusedCaption,
                      "The Type9 block of component " + std::to_string(k) +
                          " is full (65535 objects). No changes will be made.");
    const size_t index = chain_.blocks()[*nine].recordCount - 1;
    changed();
    return index;
}

Result<bool> Document::detach(size_t k, size_t index) {
    if (auto no = refuseComponent(k)) return *no;
    const auto nine = model().locate(k).attachments;
    if (!nine) return refuse(shp::kMissingType9Caption, shp::kMissingType9Text);
    const size_t n = chain_.blocks()[*nine].recordCount;
    if (index >= n)
        return refuse(kEditRefusedCaption, "Attachment " + std::to_string(index) +
                                               " does not exist: component " + std::to_string(k) +
                                               " has " + std::to_string(n) + ".");
    chain_.removeRecord(*nine, index);
    changed();
    return true;
}

Result<bool> Document::setShipClass(uint8_t value) {
    if (!loaded_) return refuse(kEditRefusedCaption, "No model is loaded.");
    auto current = shp::shipClass(chain_);
    if (!current)
        return refuse(kEditRefusedCaption,
                      "The model has no ship header record to hold the class.");
    if (*current == value) return false;
    shp::setShipClass(chain_, value);
    changed();
    return true;
}

Result<bool> Document::setBlock13(size_t k, bool on) {
    if (auto no = refuseComponent(k)) return *no;
    const shp::ComponentBlocks c = model().locate(k);
    if (!c.attachments) return refuse(shp::kMissingType9Caption, shp::kMissingType9Text);
    if (!c.block13)
        return refuse(kEditRefusedCaption,
                      "Component " + std::to_string(k) + " has no block13 of its own.");
    Block& b = chain_.blocks()[*c.block13];
    if (!on) {
        if (b.recordCount == 0) return false;
        b.data.clear();
        b.recordCount = 0;
        changed();
        return true;
    }
    if (b.recordSize < 4)
        return refuse(kEditRefusedCaption, "The block13 of component " + std::to_string(k) +
                                               " holds records of " + std::to_string(b.recordSize) +
                                               " bytes, too short for its values.");
    // The rest of each record is kept as it was.
    Bytes wanted = b.data;
    wanted.resize(size_t(2) * b.recordSize, 0);
    storeU32LE(wanted.data(), 2);
    storeU32LE(wanted.data() + b.recordSize, 5);
    if (b.recordCount == 2 && b.data == wanted) return false;
    b.data = std::move(wanted);
    b.recordCount = 2;
    changed();
    return true;
}

// ---- record fields ----------------------------------------------------------------------

bool Document::reducedComponentTable() const {
    const auto t = model().componentTable();
    return t && chain_.blocks()[*t].recordSize != shp::kComponentRecordSize;
}

std::optional<ComponentFields> Document::componentFields(size_t k) const {
    const auto c = model().component(k);
    if (!c) return std::nullopt;
    return ComponentFields{c->name(),     c->kind(),      c->position(),
                           c->value212(), c->switch240(), c->value260()};
}

std::optional<AttachmentFields> Document::attachmentFields(size_t k, size_t index) const {
    if (k >= componentCount()) return std::nullopt;
    const auto nine = model().locate(k).attachments;
    if (!nine || index >= shp::objectCount(chain_.blocks()[*nine], shp::kAttachmentFieldsEnd))
        return std::nullopt;
    const shp::ConstAttachmentView a(chain_.blocks()[*nine].record(index));
    return AttachmentFields{a.kind(), a.position(), a.objectIndex(), a.gunType()};
}

Result<bool> Document::setComponentFields(size_t k, const ComponentFields& fields) {
    if (auto no = refuseComponent(k)) return *no;
    if (reducedComponentTable()) return refuse(kReducedBlock1Caption, kReducedBlock1Text);
    if (fields.name.size() > kMaxComponentName || fields.name.find('\0') != std::string::npos)
        return refuse(kEditRefusedCaption, "A component name holds at most " +
                                               std::to_string(kMaxComponentName) +
                                               " characters. No changes will be made.");
    const ComponentFields now = *componentFields(k);
    shp::ComponentView c(chain_.blocks()[*model().componentTable()].record(k));
    bool any = false;
    if (fields.name != now.name) any = c.setName(fields.name);
    if (fields.kind != now.kind) any = c.setKind(fields.kind) || any;
    if (!sameBits(fields.position, now.position)) any = c.setPosition(fields.position) || any;
    if (fields.value212 != now.value212) any = c.setValue212(fields.value212) || any;
    if (fields.switch240 != now.switch240) any = c.setSwitch240(fields.switch240) || any;
    if (fields.value260 != now.value260) any = c.setValue260(fields.value260) || any;
    if (!any) return false;
    changed();
    return true;
}

Result<bool> Document::setAttachmentFields(size_t k, size_t index, const AttachmentFields& fields) {
    if (auto no = refuseComponent(k)) return *no;
    const auto nine = model().locate(k).attachments;
    if (!nine) return refuse(shp::kMissingType9Caption, shp::kMissingType9Text);
    shp::Block& b = chain_.blocks()[*nine];
    if (index >= b.recordCount)
        return refuse(kEditRefusedCaption, "Attachment " + std::to_string(index) +
                                               " does not exist: component " + std::to_string(k) +
                                               " has " + std::to_string(b.recordCount) + ".");
    shp::AttachmentView a(b.record(index));
    if (!a.has(0, shp::kGunTypeField + 4))
        return refuse(kEditRefusedCaption,
                      "The Type9 block of component " + std::to_string(k) + " holds records of " +
                          std::to_string(b.recordSize) +
                          " bytes, too short for these fields. No changes will be made.");
    bool any = false;
    if (!sameBits(fields.position, a.position())) any = a.setPosition(fields.position);
    if (fields.objectIndex != a.objectIndex()) any = a.setObjectIndex(fields.objectIndex) || any;
    if (fields.gunType != a.gunType()) any = a.setGunType(fields.gunType) || any;
    if (!any) return false;
    changed();
    return true;
}

std::optional<BoxFields> Document::boxFields(size_t k, size_t index) const {
    if (k >= componentCount()) return std::nullopt;
    const auto seven = model().locate(k).boxes;
    if (!seven || index >= shp::objectCount(chain_.blocks()[*seven], shp::kBoxFieldsEnd))
        return std::nullopt;
    const shp::ConstBoxView b(chain_.blocks()[*seven].record(index));
    return BoxFields{b.centre(), b.halfExtents()};
}

Result<size_t> Document::boxBlock(size_t k) {
    if (auto no = refuseComponent(k)) return *no;
    const auto seven = model().locate(k).boxes;
    if (!seven) return refuse(shp::kMissingBoxesCaption, shp::kMissingBoxesText);
    return *seven;
}

Result<bool> Document::setBoxFields(size_t k, size_t index, const BoxFields& fields) {
    auto seven = boxBlock(k);
    if (!seven) return seven.error();
    shp::Block& b = chain_.blocks()[*seven];
    if (index >= b.recordCount)
        return refuse(kEditRefusedCaption, "Box " + std::to_string(index) +
                                               " does not exist: component " + std::to_string(k) +
                                               " has " + std::to_string(b.recordCount) + ".");
    shp::BoxView box(b.record(index));
    if (!box.has(52, 12))
        return refuse(kEditRefusedCaption,
                      "The box block of component " + std::to_string(k) + " holds records of " +
                          std::to_string(b.recordSize) +
                          " bytes, too short for these fields. No changes will be made.");
    bool any = false;
    if (!sameBits(fields.centre, box.centre())) any = box.setCentre(fields.centre);
    if (!sameBits(fields.halfExtents, box.halfExtents()))
        any = box.setHalfExtents(fields.halfExtents) || any;
    if (!any) return false;
    changed();
    return true;
}

Result<size_t> Document::addBox(size_t k) {
    auto seven = boxBlock(k);
    if (!seven) return seven.error();
    const shp::Block& b = chain_.blocks()[*seven];
    if (b.recordSize < 64)
        return refuse(kEditRefusedCaption,
                      "The box block of component " + std::to_string(k) + " holds records of " +
                          std::to_string(b.recordSize) +
                          " bytes, too short for a box. No changes will be made.");
    Bytes record;
    if (b.recordCount > 0) {
        const auto last = b.record(b.recordCount - 1);
        record.assign(last.begin(), last.end());
    } else {
        // Around the vertices the component draws; a unit box where it has none.
        shp::Vec3 lo{-1, -1, -1}, hi{1, 1, 1};
        const auto v = model().locate(k).vertices;
        if (v && chain_.blocks()[*v].recordSize >= 12) {
            const shp::Block& vb = chain_.blocks()[*v];
            bool first = true;
            for (size_t i = 0; i < vb.recordCount; ++i) {
                const shp::Vec3 p = shp::ConstRecordView(vb.record(i)).vec3(0);
                if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
                if (first) lo = hi = p;
                first = false;
                lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
                hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            }
        }
        record.assign(std::max<size_t>(b.recordSize, shp::kBoxRecordSize), 0);
        shp::BoxView box(record);
        for (size_t i = 0; i < 3; ++i)
            box.setF32(4 + 16 * i, 1.0f);
        box.setCentre({(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2});
        box.setHalfExtents({(hi.x - lo.x) / 2, (hi.y - lo.y) / 2, (hi.z - lo.z) / 2});
    }
    if (!chain_.appendRecord(*seven, record))
        return refuse(kEditRefusedCaption, "The box block of component " + std::to_string(k) +
                                               " is full (65535 boxes). No changes will be made.");
    const size_t index = chain_.blocks()[*seven].recordCount - 1;
    changed();
    return index;
}

Result<bool> Document::removeBox(size_t k, size_t index) {
    auto seven = boxBlock(k);
    if (!seven) return seven.error();
    const size_t n = chain_.blocks()[*seven].recordCount;
    if (index >= n)
        return refuse(kEditRefusedCaption, "Box " + std::to_string(index) +
                                               " does not exist: component " + std::to_string(k) +
                                               " has " + std::to_string(n) + ".");
    chain_.removeRecord(*seven, index);
    changed();
    return true;
}

}  // namespace ov::model
