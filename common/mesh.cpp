#include "common/mesh.h"

#include <algorithm>
#include <cmath>

#include "common/shp_model.h"

namespace ov::shp {


namespace {

// Offsets in the records that the mesh reads.
constexpr size_t kVertexNormalOffset = 12;
constexpr size_t kFaceCornersEnd = 24;

bool finite(Vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

Vec3 minus(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 plus(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 scale(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float length(Vec3 a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}
Vec3 unitOrZero(Vec3 a) {
    const float l = length(a);
    return l > 0.0f && std::isfinite(l) ? scale(a, 1.0f / l) : Vec3{};
}

// Row r of a stored orientation.
Vec3 axis(const Axes& m, int r) {
    return {m[size_t(3 * r)], m[size_t(3 * r + 1)], m[size_t(3 * r + 2)]};
}

// The views of common/shp.h take mutable spans; the mesh only reads through them.
std::span<uint8_t> recordOf(const Block& b, size_t i) {
    return {const_cast<uint8_t*>(b.data.data()) + i * b.recordSize, b.recordSize};
}

void readVertices(const Block& block, ComponentMesh& c, std::vector<bool>& usable) {
    // Records without coordinates give no vertices, so every face will be skipped.
    const size_t n = objectCount(block, 12);
    c.positions.resize(n);
    c.normals.resize(n);
    usable.assign(n, false);
    for (size_t i = 0; i < n; ++i) {
        RecordView v(recordOf(block, i));
        c.positions[i] = v.vec3(0);
        usable[i] = finite(c.positions[i]);
        if (v.has(kVertexNormalOffset, 12)) {
            const Vec3 normal = v.vec3(kVertexNormalOffset);
            c.normals[i] = finite(normal) ? unitOrZero(normal) : Vec3{};
        }
    }
}

void readFaces(const Block& block, const std::vector<bool>& usable, ComponentMesh& c) {
    const size_t n = block.recordCount;
    if (block.recordSize < kFaceCornersEnd) {
        c.skippedFaces += n;
        return;
    }
    c.triangles.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        FaceView f(recordOf(block, i));
        const auto corners = f.corners();
        bool ok = true;
        for (uint32_t v : corners)
            ok = ok && v < usable.size() && usable[v];
        if (!ok) {
            ++c.skippedFaces;
            continue;
        }
        MeshTriangle t;
        t.corners = corners;
        t.culling = faceCulling(block.recordSize, f.sideMode());
        t.face = uint32_t(i);
        const Vec3 a = c.positions[corners[0]];
        t.normal =
            unitOrZero(cross(minus(c.positions[corners[1]], a), minus(c.positions[corners[2]], a)));
        c.triangles.push_back(t);
    }
}

}  // namespace

Culling faceCulling(uint32_t recordSize, uint32_t sideMode) {
    if (recordSize != kFaceRecordSize) return Culling::None;
    return sideMode == 3 ? Culling::Front : Culling::Back;
}

size_t RenderMesh::triangleCount() const {
    size_t n = 0;
    for (const auto& c : components)
        n += c.triangles.size();
    return n;
}

size_t RenderMesh::skippedFaces() const {
    size_t n = 0;
    for (const auto& c : components)
        n += c.skippedFaces;
    return n;
}

RenderMesh buildRenderMesh(const BlockChain& chain) {
    const ChainIndex index(chain);
    return buildRenderMesh(shp::ModelView(chain, index));
}

RenderMesh buildRenderMesh(const shp::ModelView& model) {
    RenderMesh mesh;
    const auto table = model.componentTable();
    if (!table) return mesh;
    const BlockChain& chain = model.chain();
    const Block& records = chain.blocks()[*table];
    const auto& blocks = chain.blocks();
    const size_t count = model.componentCount();
    mesh.components.resize(count);

    for (size_t k = 0; k < count; ++k) {
        ComponentMesh& c = mesh.components[k];
        shp::ComponentView rec(recordOf(records, k));
        c.name = rec.name();
        c.position = rec.position();
        if (!finite(c.position)) c.position = {};

        const shp::ComponentBlocks at = model.locate(k);
        if (at.boxes) {
            const Block& b = blocks[*at.boxes];
            for (size_t i = 0, n = objectCount(b, shp::kBoxFieldsEnd); i < n; ++i) {
                shp::BoxView v(recordOf(b, i));
                MeshBox box{v.centre(), v.halfExtents(), v.matrix()};
                c.boxes.push_back(box);
            }
        }
        if (at.attachments) {
            const Block& b = blocks[*at.attachments];
            for (size_t i = 0, n = objectCount(b, shp::kAttachmentFieldsEnd); i < n; ++i) {
                shp::AttachmentView v(recordOf(b, i));
                c.attachments.push_back({v.kind(), v.position(), v.matrix()});
            }
        }
        if (at.vertices && at.faces) {
            c.hasGeometry = true;
            std::vector<bool> usable;
            readVertices(blocks[*at.vertices], c, usable);
            readFaces(blocks[*at.faces], usable, c);
        }
    }
    return mesh;
}

Vec3 shadingNormal(const ComponentMesh& c, const MeshTriangle& t, int i) {
    const uint32_t v = t.corners[size_t(i)];
    if (v < c.normals.size()) {
        const Vec3 n = c.normals[v];
        if (n.x != 0.0f || n.y != 0.0f || n.z != 0.0f) return n;
    }
    return t.normal;
}

void Bounds::add(Vec3 p) {
    if (!finite(p)) return;
    if (empty()) {
        min = max = p;
        return;
    }
    min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
    max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
}

Vec3 Bounds::centre() const {
    return empty() ? Vec3{} : scale(plus(min, max), 0.5f);
}

float Bounds::radius() const {
    return empty() ? 0.0f : 0.5f * length(minus(max, min));
}

std::array<Vec3, 8> boxCorners(const ComponentMesh& c, const MeshBox& b) {
    const Vec3 x = scale(axis(b.axes, 0), b.halfExtents.x);
    const Vec3 y = scale(axis(b.axes, 1), b.halfExtents.y);
    const Vec3 z = scale(axis(b.axes, 2), b.halfExtents.z);
    const Vec3 centre = plus(c.position, b.centre);
    std::array<Vec3, 8> out;
    for (size_t i = 0; i < 8; ++i) {
        Vec3 p = centre;
        p = plus(p, (i & 1) ? x : scale(x, -1.0f));
        p = plus(p, (i & 2) ? y : scale(y, -1.0f));
        p = plus(p, (i & 4) ? z : scale(z, -1.0f));
        out[i] = p;
    }
    return out;
}

namespace {

// Calls f with every ship-space point that bounds a component.
template <class F>
void forEachPoint(const ComponentMesh& c, F&& f) {
    for (const MeshTriangle& t : c.triangles)
        for (uint32_t v : t.corners)
            f(plus(c.position, c.positions[v]));
    for (const MeshBox& box : c.boxes)
        for (const Vec3& p : boxCorners(c, box))
            f(p);
    for (const MeshAttachment& a : c.attachments)
        f(plus(c.position, a.position));
}

}  // namespace

Bounds componentBounds(const ComponentMesh& c) {
    Bounds b;
    forEachPoint(c, [&](Vec3 p) { b.add(p); });
    return b;
}

float reach(const ComponentMesh& c, Vec3 from) {
    float r = 0.0f;
    forEachPoint(c, [&](Vec3 p) {
        const float d = length(minus(p, from));
        if (std::isfinite(d)) r = std::max(r, d);
    });
    return r;
}

float reach(const RenderMesh& mesh, Vec3 from) {
    float r = 0.0f;
    for (const auto& c : mesh.components)
        r = std::max(r, reach(c, from));
    return r;
}

Bounds meshBounds(const RenderMesh& mesh) {
    Bounds b;
    for (const auto& c : mesh.components) {
        const Bounds cb = componentBounds(c);
        if (cb.empty()) continue;
        b.add(cb.min);
        b.add(cb.max);
    }
    return b;
}

}  // namespace ov::shp
