#include "shp_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>

#include "fileio.h"
#include "refpack.h"

namespace ov::shp {

namespace {

std::string capitalised(std::string s) {
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = char(s[0] - 'a' + 'A');
    return s;
}

// Bytes a chain takes in a file, terminator included.
uint64_t storedSize(const BlockChain& chain) {
    uint64_t n = kTerminatorBytes.size();
    for (const Block& b : chain.blocks())
        n += 6 + b.data.size();
    return n;
}

Error notShp(std::string detail = kNotShpText) {
    return makeError(ErrorKind::BadData, std::move(detail));
}

}  // namespace

// ---- Loading --------------------------------------------------------------------------

Result<Bytes> unpackModel(ByteSpan data) {
    switch (recognize(data)) {
        case Recognition::Unknown:
            return notShp();
        case Recognition::Unpacked:
            return Bytes(data.begin(), data.end());
        case Recognition::Packed:
            break;
    }
    auto plain = refpack::decode(data);
    if (!plain) return notShp("It cannot be unpacked: " + plain.error().describe() + ".");
    // Models are packed once; a stream that unpacks to another packed stream (or to
    // anything else) is not one.
    switch (recognize(*plain)) {
        case Recognition::Unpacked:
            return std::move(*plain);
        case Recognition::Packed:
            return notShp("It unpacks to data that is packed once more.");
        case Recognition::Unknown:
            break;
    }
    return notShp("It unpacks to data that is not a model.");
}

Result<LoadedModel> readModel(ByteSpan data) {
    LoadedModel model;
    Bytes plain;
    ByteSpan bytes = data;
    if (recognize(data) != Recognition::Unpacked) {
        auto unpacked = unpackModel(data);
        if (!unpacked) return unpacked.error();
        plain = std::move(*unpacked);
        bytes = plain;
        model.wasPacked = true;
    }
    auto chain = BlockChain::read(bytes);
    if (!chain)
        return makeError(ErrorKind::BadData, capitalised(chain.error().message) + ".",
                         chain.error().offset);
    // The chain ends at its first terminator head; whatever follows is not part of it.
    const uint64_t used = storedSize(*chain);
    model.trailingBytes = used < bytes.size() ? bytes.size() - used : 0;
    model.chain = std::move(*chain);
    return model;
}

Result<LoadedModel> loadModelFile(const std::filesystem::path& path) {
    auto data = readFile(path, kMaxModelFile);
    if (!data) return data.error();
    return readModel(*data);
}

// ---- The index ------------------------------------------------------------------------

ChainIndex::ChainIndex(const BlockChain& chain) {
    const auto& blocks = chain.blocks();
    for (size_t i = 0; i < blocks.size(); ++i)
        (blocks[i].type < kDirectTypes ? small_[blocks[i].type] : byType_[blocks[i].type])
            .push_back(i);
}

const std::vector<size_t>* ChainIndex::positions(uint32_t type) const {
    if (type < kDirectTypes) return small_[type].empty() ? nullptr : &small_[type];
    auto it = byType_.find(type);
    return it == byType_.end() ? nullptr : &it->second;
}

std::optional<size_t> ChainIndex::nth(uint32_t type, size_t n) const {
    const auto* p = positions(type);
    if (!p || n >= p->size()) return std::nullopt;
    return (*p)[n];
}

std::optional<size_t> ChainIndex::firstAfter(size_t after, uint32_t type) const {
    const auto* p = positions(type);
    if (!p) return std::nullopt;
    auto it = std::upper_bound(p->begin(), p->end(), after);
    if (it == p->end()) return std::nullopt;
    return *it;
}

size_t ChainIndex::count(uint32_t type) const {
    const auto* p = positions(type);
    return p ? p->size() : 0;
}

std::optional<size_t> ChainIndex::componentTable() const {
    const auto* p = positions(BlockType::ComponentTable);
    if (!p || p->empty()) return std::nullopt;
    return p->back();
}

// ---- Components -----------------------------------------------------------------------

std::string textureName(const Block& block, size_t i) {
    if (i >= block.recordCount) return {};
    return ConstRecordView(block.record(i)).text(0, block.recordSize);
}

size_t ModelView::componentCount() const {
    auto t = componentTable();
    return t ? chain_.blocks()[*t].recordCount : 0;
}

std::optional<ConstComponentView> ModelView::component(size_t k) const {
    auto t = componentTable();
    if (!t || k >= chain_.blocks()[*t].recordCount) return std::nullopt;
    return ConstComponentView(chain_.blocks()[*t].record(k));
}

std::vector<std::string> ModelView::componentNames() const {
    std::vector<std::string> names;
    const size_t n = componentCount();
    names.reserve(n);
    for (size_t k = 0; k < n; ++k)
        names.push_back(component(k)->name());
    return names;
}

ComponentBlocks ModelView::locate(size_t k) const {
    ComponentBlocks c;
    c.opener = index_.nth(BlockType::GroupOpener, k);
    c.boxes = index_.nth(BlockType::Boxes, k);
    c.attachments = index_.nth(BlockType::Attachments, k);
    if (!c.attachments) return c;
    const size_t nine = *c.attachments;
    c.vertices = index_.firstAfter(nine, BlockType::Vertices);
    c.faces = index_.firstAfter(nine, BlockType::Faces);
    c.textures = index_.firstAfter(nine, BlockType::TextureNames);
    // block13 and block14 count only inside the component's own group.
    const auto groupEnd = index_.firstAfter(nine, BlockType::GroupOpener);
    auto inGroup = [&](std::optional<size_t> i) { return i && (!groupEnd || *i < *groupEnd); };
    if (auto b = index_.firstAfter(nine, BlockType::Block13); inGroup(b)) c.block13 = b;
    if (auto b = index_.firstAfter(nine, BlockType::Block14); inGroup(b)) c.block14 = b;
    return c;
}

std::optional<std::pair<size_t, size_t>> ModelView::group(size_t k) const {
    auto first = index_.nth(BlockType::GroupOpener, k);
    if (!first) return std::nullopt;
    auto next = index_.nth(BlockType::GroupOpener, k + 1);
    return std::pair{*first, next ? *next : chain_.size()};
}

ComponentSummary ModelView::summary(size_t k) const {
    ComponentSummary s;
    if (auto c = component(k)) {
        s.name = c->name();
        s.kind = c->kind();
        s.position = c->position();
        s.value212 = c->value212();
        s.switch240 = c->switch240();
        s.value260 = c->value260();
    }
    s.blocks = locate(k);
    const auto& blocks = chain_.blocks();
    auto count = [&](std::optional<size_t> i) -> std::optional<size_t> {
        if (!i) return std::nullopt;
        return blocks[*i].recordCount;
    };
    s.vertices = count(s.blocks.vertices);
    s.faces = count(s.blocks.faces);
    s.textures = count(s.blocks.textures);
    s.attachments = count(s.blocks.attachments);
    s.boxes = count(s.blocks.boxes);
    if (s.blocks.block13) s.block13 = !block13Values(blocks[*s.blocks.block13]).empty();
    s.block14 = s.blocks.block14.has_value();
    return s;
}

std::optional<std::vector<std::string>> ModelView::attachmentNames(size_t k) const {
    auto nine = index_.nth(BlockType::Attachments, k);
    if (!nine) return std::nullopt;
    const Block& block = chain_.blocks()[*nine];
    std::vector<std::string> names;
    const size_t n = objectCount(block, kAttachmentFieldsEnd);
    names.reserve(n);
    for (size_t i = 0; i < n; ++i)
        names.push_back(attachmentListName(ConstAttachmentView(block.record(i))));
    return names;
}

namespace {

// Enough to show what is wrong without burying the other components' problems.
constexpr size_t kFaceProblemsShown = 8;

// What is wrong with the faces of a face block read against its vertex and
// texture-name blocks.
std::vector<std::string> faceFaults(const Block& faces, const Block& verts, const Block* tex) {
    std::vector<std::string> out;
    if (verts.recordCount > 0 && verts.recordSize < 12)
        out.push_back("The vertex block holds records of " + std::to_string(verts.recordSize) +
                      " bytes, too short for the three coordinates (12 bytes)");
    if (verts.recordSize >= 12) {
        size_t bad = 0, first = 0;
        for (size_t i = 0; i < verts.recordCount; ++i) {
            const uint8_t* rec = verts.record(i).data();
            const float xyz[3] = {loadF32LE(rec), loadF32LE(rec + 4), loadF32LE(rec + 8)};
            if (std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2])) continue;
            if (bad++ == 0) first = i;
        }
        if (bad > 0)
            out.push_back(
                (bad == 1 ? "Vertex " + std::to_string(first) + " is not a finite point"
                          : std::to_string(bad) + " vertices are not finite points, the first vertex " +
                                std::to_string(first)) +
                " (a coordinate is infinite or not a number); faces that use it are not drawn");
    }
    if (faces.recordCount == 0) return out;
    if (faces.recordSize < 24) {
        out.push_back("The face block holds records of " + std::to_string(faces.recordSize) +
                      " bytes, too short for the vertex indices (24 bytes)");
        return out;
    }

    size_t faulty = 0;
    auto fault = [&](std::string text) {
        if (faulty++ < kFaceProblemsShown) out.push_back(std::move(text));
    };
    for (size_t i = 0; i < faces.recordCount; ++i) {
        // Records are at least 24 bytes here: texture index at 0, corners at 12.
        const uint8_t* rec = faces.record(i).data();
        const uint32_t corners[3] = {loadU32LE(rec + 12), loadU32LE(rec + 16), loadU32LE(rec + 20)};
        const uint32_t texture = loadU32LE(rec);
        bool bad = false;
        for (uint32_t v : corners)
            if (v >= verts.recordCount && !bad) {
                bad = true;
                fault("Face " + std::to_string(i) + " uses vertex " + std::to_string(v) +
                      ", but the vertex block holds " + std::to_string(verts.recordCount) +
                      " vertices");
            }
        if (!bad && tex && texture >= tex->recordCount)
            fault("Face " + std::to_string(i) + " uses texture " + std::to_string(texture) +
                  ", but the texture-name block holds " + std::to_string(tex->recordCount) +
                  " names");
    }
    if (faulty > kFaceProblemsShown)
        out.push_back("... and " + std::to_string(faulty - kFaceProblemsShown) +
                      " more faulty faces");
    return out;
}

using GeometryKey = std::tuple<size_t, size_t, size_t>;  // faces, vertices, textures (or -1)

}  // namespace

std::vector<Problem> ModelView::validity(size_t k) const {
    std::vector<Problem> out;
    if (k >= componentCount()) return out;
    const int ki = int(k);
    const ComponentBlocks c = locate(k);
    if (!c.attachments) out.push_back({ki, kMissingType9Caption, kMissingType9Text});
    if (!c.boxes) out.push_back({ki, kMissingBoxesCaption, kMissingBoxesText});
    if (c.attachments && (!c.vertices || !c.faces))
        out.push_back({ki, kEmptyGeometryCaption, kEmptyGeometryText});
    return out;
}

namespace {

bool hasGeometry(const ComponentBlocks& c) {
    return c.attachments && c.vertices && c.faces;
}

}  // namespace

std::vector<Problem> ModelView::problems(size_t k) const {
    std::vector<Problem> out = validity(k);
    if (k >= componentCount()) return out;
    const ComponentBlocks c = locate(k);
    if (!hasGeometry(c)) return out;
    const auto& blocks = chain_.blocks();
    for (std::string& text : faceFaults(blocks[*c.faces], blocks[*c.vertices],
                                        c.textures ? &blocks[*c.textures] : nullptr))
        out.push_back({int(k), kEmptyGeometryCaption, std::move(text)});
    return out;
}

std::vector<Problem> ModelView::check() const {
    std::vector<Problem> out;
    if (!chain_.empty() && !componentTable())
        out.push_back({-1, "Uh oh...", "The model has no Type-1 block (component table)"});
    const auto& blocks = chain_.blocks();
    // A hostile table may pair thousands of components with one large face block:
    // each distinct geometry is checked once.
    std::map<GeometryKey, std::vector<std::string>> checked;
    // Every text is a constant or lives in `checked`, so its address names it.
    struct Seen {
        const char* caption;
        const std::string* owned;  // the text when it is not a constant
        const char* text;
        size_t listed = 0, more = 0;
    };
    std::unordered_map<const void*, Seen> seen;
    std::vector<const void*> order;  // problems in the order first seen
    auto add = [&](int k, const char* caption, const void* key, const std::string* owned,
                   const char* text) {
        auto [it, fresh] = seen.try_emplace(key, Seen{caption, owned, text});
        if (fresh) order.push_back(key);
        Seen& s = it->second;
        if (s.listed == kListedPerProblem) {
            ++s.more;
            return;
        }
        ++s.listed;
        out.push_back({k, caption, owned ? *owned : std::string(text)});
    };
    const size_t n = componentCount();
    for (size_t k = 0; k < n; ++k) {
        // validity(k) written out, so that each component is located once.
        const int ki = int(k);
        const ComponentBlocks c = locate(k);
        if (!c.attachments)
            add(ki, kMissingType9Caption, kMissingType9Text, nullptr, kMissingType9Text);
        if (!c.boxes) add(ki, kMissingBoxesCaption, kMissingBoxesText, nullptr, kMissingBoxesText);
        if (c.attachments && (!c.vertices || !c.faces))
            add(ki, kEmptyGeometryCaption, kEmptyGeometryText, nullptr, kEmptyGeometryText);
        if (hasGeometry(c)) {
            GeometryKey key{*c.faces, *c.vertices, c.textures ? *c.textures : SIZE_MAX};
            auto it = checked.find(key);
            if (it == checked.end())
                it = checked
                         .emplace(key, faceFaults(blocks[*c.faces], blocks[*c.vertices],
                                                  c.textures ? &blocks[*c.textures] : nullptr))
                         .first;
            for (const std::string& text : it->second)
                add(ki, kEmptyGeometryCaption, &text, &text, nullptr);
        }
    }
    for (const void* key : order) {
        const Seen& s = seen.at(key);
        if (s.more > 0)
            out.push_back({-1, s.caption, s.owned ? *s.owned : std::string(s.text), s.more});
    }
    return out;
}

std::vector<Problem> checkModel(const BlockChain& chain) {
    const ChainIndex index(chain);
    return ModelView(chain, index).check();
}

}  // namespace ov::shp
