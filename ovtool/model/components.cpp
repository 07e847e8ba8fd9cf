#include "ovtool/model/components.h"

#include <cstring>

namespace ov::model {

using shp::Block;
using shp::BlockChain;
namespace BlockType = shp::BlockType;

ComponentBlocks locate(const BlockChain& chain, size_t k) {
    ComponentBlocks c;
    c.opener = chain.nth(BlockType::GroupOpener, k);
    c.boxes = chain.nth(BlockType::Boxes, k);
    c.attachments = chain.nth(BlockType::Attachments, k);
    if (c.attachments) {
        c.vertices = chain.firstAfter(*c.attachments, BlockType::Vertices);
        c.faces = chain.firstAfter(*c.attachments, BlockType::Faces);
        c.textures = chain.firstAfter(*c.attachments, BlockType::TextureNames);
        const auto& blocks = chain.blocks();
        for (size_t i = *c.attachments + 1;
             i < blocks.size() && blocks[i].type != BlockType::GroupOpener; ++i) {
            if (blocks[i].type == BlockType::Block13 && !c.block13) c.block13 = i;
            if (blocks[i].type == BlockType::Block14 && !c.block14) c.block14 = i;
        }
    }
    return c;
}

std::optional<std::pair<size_t, size_t>> componentGroup(const BlockChain& chain, size_t k) {
    auto first = chain.nth(BlockType::GroupOpener, k);
    if (!first) return std::nullopt;
    auto next = chain.firstAfter(*first, BlockType::GroupOpener);
    return std::pair{*first, next ? *next : chain.size()};
}

size_t componentCount(const BlockChain& chain) {
    auto t = chain.componentTable();
    return t ? chain.blocks()[*t].recordCount : 0;
}

std::string textureName(const Block& block, size_t i) {
    if (i >= block.recordCount) return {};
    auto rec = block.record(i);
    const char* p = reinterpret_cast<const char*>(rec.data());
    const void* z = std::memchr(p, 0, rec.size());
    return std::string(p, z ? size_t(static_cast<const char*>(z) - p) : rec.size());
}

namespace {

// Enough to show what is wrong without burying the other components' problems.
constexpr size_t kFaceProblemsShown = 8;

void checkFaces(const BlockChain& chain, int k, const ComponentBlocks& c,
                std::vector<Problem>& out) {
    const Block& faces = chain.blocks()[*c.faces];
    const Block& verts = chain.blocks()[*c.vertices];
    const Block* tex = c.textures ? &chain.blocks()[*c.textures] : nullptr;
    auto add = [&](std::string text) {
        out.push_back({k, kEmptyGeometryCaption, std::move(text)});
    };

    if (verts.recordCount > 0 && verts.recordSize < 12)
        add("The vertex block holds records of " + std::to_string(verts.recordSize) +
            " bytes, too short for the three coordinates (12 bytes)");
    if (faces.recordCount == 0) return;
    if (faces.recordSize < 24) {
        add("The face block holds records of " + std::to_string(faces.recordSize) +
            " bytes, too short for the vertex indices (24 bytes)");
        return;
    }

    size_t faulty = 0;
    auto fault = [&](std::string text) {
        if (faulty++ < kFaceProblemsShown) add(std::move(text));
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
        add("... and " + std::to_string(faulty - kFaceProblemsShown) + " more faulty faces");
}

}  // namespace

std::vector<Problem> checkModel(const BlockChain& chain) {
    std::vector<Problem> out;
    if (!chain.empty() && !chain.componentTable())
        out.push_back({-1, "Uh oh...", "The model has no Type-1 block (component table)"});
    const size_t n = componentCount(chain);
    for (size_t k = 0; k < n; ++k) {
        const int ki = int(k);
        ComponentBlocks c = locate(chain, k);
        if (!c.attachments) out.push_back({ki, kMissingType9Caption, kMissingType9Text});
        if (!c.boxes) out.push_back({ki, kMissingBoxesCaption, kMissingBoxesText});
        if (!c.attachments) continue;
        if (!c.vertices || !c.faces) {
            out.push_back({ki, kEmptyGeometryCaption, kEmptyGeometryText});
            continue;
        }
        checkFaces(chain, ki, c, out);
    }
    return out;
}

}  // namespace ov::model
