// New components and new ships from meshes, laid out as the 3DS converter writes
// them: its template for the header, the component record and the blocks of a
// component's group, and its vertex, face and texture-name records.

#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

#include "3ds2ov/convert.h"
#include "detail.h"

namespace ov::interchange::detail {

namespace {

// The converter's template as blocks: header, component table, then the group.
const std::vector<shp::Block>& templateBlocks() {
    static const std::vector<shp::Block> blocks = [] {
        const auto& t = ov::conv::shpTemplate();
        Bytes bytes(t.begin(), t.end());
        bytes.insert(bytes.end(), shp::kTerminatorBytes.begin(), shp::kTerminatorBytes.end());
        auto chain = shp::BlockChain::read(bytes);
        return chain ? chain->blocks() : std::vector<shp::Block>{};
    }();
    return blocks;
}

shp::Block block(uint32_t type, uint32_t size) {
    shp::Block b;
    b.type = type;
    b.recordSize = size;
    return b;
}

}  // namespace

const Bytes& templateHeaderRecord() {
    return templateBlocks().at(0).data;
}

Bytes templateComponentRecord(uint32_t recordSize, std::string_view name, Vec3 position) {
    Bytes rec = templateBlocks().at(1).data;
    rec.resize(recordSize, 0);
    shp::ComponentView c(rec);
    std::string cut(name.substr(0, kMaxTexture));
    // A name cut inside a UTF-8 sequence would not be text any more.
    while (!cut.empty() && !isUtf8(cut))
        cut.pop_back();
    c.setName(cut);
    c.setPosition(position);
    return rec;
}

std::vector<shp::Block> templateGroup() {
    const auto& t = templateBlocks();
    return std::vector<shp::Block>(t.begin() + 2, t.end());
}

Result<std::string> textureNameFor(const MeshData& mesh, int material, const TextureChoice& choice,
                                   std::string_view node) {
    std::string name;
    if (choice.options && choice.options->texture) {
        name = *choice.options->texture;
    } else if (material >= 0 && size_t(material) < mesh.materials.size()) {
        name = mesh.materials[size_t(material)];
        if (choice.plan)
            for (size_t i = 0; i < choice.plan->materials.size(); ++i)
                if (choice.plan->materials[i] == name) name = choice.plan->textureOf[i];
    } else {
        name = choice.options ? choice.options->defaultTexture : std::string("texture");
    }
    if (name.size() > kMaxTexture)
        return makeError(ErrorKind::Refused, "node '" + std::string(node) + "': the texture name '" + name +
                                                 "' is longer than " + std::to_string(kMaxTexture) +
                                                 " bytes; rename its material");
    return name;
}

Result<Geometry> newGeometry(const MeshData& mesh, const Affine& linear, const TextureChoice& choice,
                             std::string_view node) {
    Geometry g{block(shp::BlockType::Vertices, 32), block(shp::BlockType::Faces, 80),
               block(shp::BlockType::TextureNames, 64)};
    struct Key {
        uint32_t x, y, z;
        bool operator<(const Key& o) const { return std::tie(x, y, z) < std::tie(o.x, o.y, o.z); }
    };
    std::map<Key, uint32_t> index;
    std::vector<Vec3> positions;
    std::vector<uint32_t> of(mesh.positions.size());
    const bool keep = linearIsIdentity(linear);
    for (size_t i = 0; i < mesh.positions.size(); ++i) {
        const Vec3 p = keep ? mesh.positions[i] : transformVector(linear, mesh.positions[i]);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            return makeError(ErrorKind::BadData, "node '" + std::string(node) + "': vertex " +
                                                     std::to_string(i) + " has a position that is not a number");
        const Key k{std::bit_cast<uint32_t>(p.x), std::bit_cast<uint32_t>(p.y), std::bit_cast<uint32_t>(p.z)};
        auto [it, added] = index.try_emplace(k, uint32_t(positions.size()));
        if (added) positions.push_back(p);
        of[i] = it->second;
    }
    if (positions.size() > kMaxRecords || mesh.triangles.size() > kMaxRecords)
        return makeError(ErrorKind::Refused,
                         "node '" + std::string(node) + "' has " + std::to_string(positions.size()) +
                             " vertices and " + std::to_string(mesh.triangles.size()) +
                             " faces; a component holds at most 65,535 of each: split it into several "
                             "objects in the 3D suite");

    std::vector<std::string> textures;
    std::map<std::string, uint32_t> textureIndex;
    std::vector<Vec3> sum(positions.size());
    std::vector<uint32_t> uses(positions.size(), 0);
    g.faces.data.resize(mesh.triangles.size() * 80, 0);
    for (size_t t = 0; t < mesh.triangles.size(); ++t) {
        const auto& tri = mesh.triangles[t];
        auto name = textureNameFor(mesh, mesh.triangleMaterial[t], choice, node);
        if (!name) return name.error();
        auto [it, added] = textureIndex.try_emplace(*name, uint32_t(textures.size()));
        if (added) textures.push_back(*name);

        uint8_t* rec = g.faces.data.data() + t * 80;
        storeU32LE(rec, it->second);
        rec[4] = 0x17;
        const Vec3 a = positions[of[tri[0]]], b = positions[of[tri[1]]], c = positions[of[tri[2]]];
        for (size_t j = 0; j < 3; ++j) {
            storeU32LE(rec + 12 + 4 * j, of[tri[j]]);
            const UV uv = mesh.uvs.empty() ? UV{0, 0} : mesh.uvs[tri[j]];
            storeF32LE(rec + 24 + 4 * j, uv[0]);
            storeF32LE(rec + 36 + 4 * j, uv[1]);
        }
        const Vec3 e1{b.x - a.x, b.y - a.y, b.z - a.z}, e2{c.x - a.x, c.y - a.y, c.z - a.z};
        Vec3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
        const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        const float d = len == 0 ? 1.0f : len;
        n = {n.x / d, n.y / d, n.z / d};
        storeF32LE(rec + 48, n.x);
        storeF32LE(rec + 52, n.y);
        storeF32LE(rec + 56, n.z);
        // Each vertex takes the average of the normals of the faces that use it.
        for (size_t j = 0; j < 3; ++j) {
            const uint32_t v = of[tri[j]];
            if (j == 1 && v == of[tri[0]]) continue;
            if (j == 2 && (v == of[tri[0]] || v == of[tri[1]])) continue;
            sum[v] = {sum[v].x + n.x, sum[v].y + n.y, sum[v].z + n.z};
            ++uses[v];
        }
    }
    if (textures.size() > kMaxRecords)
        return makeError(ErrorKind::Refused, "node '" + std::string(node) + "' uses more than 65,535 materials");
    g.faces.recordCount = uint32_t(mesh.triangles.size());

    g.vertices.data.resize(positions.size() * 32, 0);
    for (size_t i = 0; i < positions.size(); ++i) {
        uint8_t* rec = g.vertices.data.data() + i * 32;
        const float d = float(uses[i] ? uses[i] : 1);
        const float f[6] = {positions[i].x, positions[i].y, positions[i].z, sum[i].x / d, sum[i].y / d, sum[i].z / d};
        for (size_t j = 0; j < 6; ++j)
            storeF32LE(rec + 4 * j, f[j]);
        storeU32LE(rec + 24, 1);
        storeU32LE(rec + 28, uint32_t(i));
    }
    g.vertices.recordCount = uint32_t(positions.size());

    g.textures.data.resize(textures.size() * 64, 0);
    for (size_t i = 0; i < textures.size(); ++i)
        std::memcpy(g.textures.data.data() + i * 64, textures[i].data(), textures[i].size());
    g.textures.recordCount = uint32_t(textures.size());
    return g;
}

Result<shp::BlockChain> newShip(const std::vector<MeshPart>& parts, const ImportOptions& options) {
    std::vector<const MeshPart*> meshes;
    for (const MeshPart& p : parts)
        if (!p.mesh.triangles.empty()) meshes.push_back(&p);
    if (meshes.empty()) return makeError(ErrorKind::BadData, "the file holds no meshes with faces");
    if (meshes.size() > kMaxRecords)
        return makeError(ErrorKind::Refused, "the file holds more than 65,535 meshes");

    shp::BlockChain chain;
    const auto& t = templateBlocks();
    chain.appendBlock(t.at(0));
    shp::Block table = t.at(1);
    table.data.clear();
    table.recordCount = 0;
    std::vector<shp::Block> groups;
    const TextureChoice choice{&options, nullptr};
    for (const MeshPart* p : meshes) {
        Affine linear = p->world;
        linear[12] = linear[13] = linear[14] = 0;
        auto geometry = newGeometry(p->mesh, linear, choice, p->name);
        if (!geometry) return geometry.error();
        const Vec3 at = narrow3(p->world[12], p->world[13], p->world[14]);
        if (!finite3(at)) return makeError(ErrorKind::BadData, "node '" + p->name + "' is placed beyond what a model can hold");
        const Bytes rec = templateComponentRecord(table.recordSize, p->name, at);
        table.data.insert(table.data.end(), rec.begin(), rec.end());
        ++table.recordCount;
        for (shp::Block& b : templateGroup())
            groups.push_back(std::move(b));
        groups.push_back(std::move(geometry->vertices));
        groups.push_back(std::move(geometry->faces));
        groups.push_back(std::move(geometry->textures));
    }
    chain.appendBlock(std::move(table));
    for (shp::Block& b : groups)
        chain.appendBlock(std::move(b));
    return chain;
}

}  // namespace ov::interchange::detail
