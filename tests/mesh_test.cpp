#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "common/fileio.h"
#include "common/shp_build.h"
#include "ovtool/model/document.h"
#include "common/mesh.h"
#include "support/test_support.h"

using namespace ov;
using namespace ov::shp;
using namespace ov::model;

namespace {

ComponentSpec triangleComponent(const std::string& name, Vec3 position) {
    ComponentSpec c;
    c.name = name;
    c.position = position;
    c.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    c.faces = {{0, 1, 2, 0, {}, {}, 0}, {1, 3, 2, 0, {}, {}, 3}, {2, 3, 1, 0, {}, {}, 7}};
    c.textures = {"skin"};
    return c;
}

Block& blockOf(BlockChain& chain, uint16_t type, size_t n) {
    return chain.blocks()[*chain.nth(type, n)];
}

// Rewrites a block's records at another size: cut, or padded with zeros.
void resizeRecords(Block& b, uint32_t size) {
    Bytes out;
    for (size_t i = 0; i < b.recordCount; ++i) {
        auto r = b.record(i);
        Bytes rec(r.begin(), r.end());
        rec.resize(size, 0);
        out.insert(out.end(), rec.begin(), rec.end());
    }
    b.recordSize = size;
    b.data = std::move(out);
}

void expectVec(Vec3 v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

}  // namespace

TEST(RenderMesh, ComponentsInRecordOrderWithTheirOwnBlocks) {
    ComponentSpec a = triangleComponent("Hull", {0, 0, 0});
    a.boxes = {{{1, 2, 3}, {4, 5, 6}}};
    a.attachments = {makeAttachment(3, {7, 8, 9}, 4), makeAttachment(2, {0, 0, -5})};
    ComponentSpec b = triangleComponent("Cockpit", {10, 20, 30});
    b.kind = 2;
    b.vertices.push_back({5, 5, 5});
    const RenderMesh mesh = buildRenderMesh(buildModel(0, {a, b}));

    ASSERT_EQ(mesh.components.size(), 2u);
    const ComponentMesh& hull = mesh.components[0];
    const ComponentMesh& cockpit = mesh.components[1];
    EXPECT_EQ(hull.name, "Hull");
    EXPECT_EQ(cockpit.name, "Cockpit");
    expectVec(cockpit.position, 10, 20, 30);
    EXPECT_TRUE(hull.hasGeometry);
    EXPECT_EQ(hull.positions.size(), 4u);
    EXPECT_EQ(cockpit.positions.size(), 5u);
    EXPECT_EQ(mesh.triangleCount(), 6u);
    EXPECT_EQ(mesh.skippedFaces(), 0u);
    EXPECT_EQ(hull.triangles[1].corners, (std::array<uint32_t, 3>{1, 3, 2}));
    EXPECT_EQ(hull.triangles[2].face, 2u);

    ASSERT_EQ(hull.boxes.size(), 1u);
    expectVec(hull.boxes[0].centre, 1, 2, 3);
    expectVec(hull.boxes[0].halfExtents, 4, 5, 6);
    EXPECT_EQ(hull.boxes[0].axes, (Axes{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_TRUE(cockpit.boxes.empty());

    ASSERT_EQ(hull.attachments.size(), 2u);
    EXPECT_EQ(hull.attachments[0].kind, 3u);
    expectVec(hull.attachments[0].position, 7, 8, 9);
    // The default gun record's orientation, rows as stored.
    EXPECT_EQ(std::bit_cast<uint32_t>(hull.attachments[0].axes[0]), 0x3F5E3C9Au);
    EXPECT_EQ(std::bit_cast<uint32_t>(hull.attachments[0].axes[1]), 0x3EFE23F4u);
    EXPECT_EQ(std::bit_cast<uint32_t>(hull.attachments[0].axes[3]), 0xBEFE23F4u);
    EXPECT_FLOAT_EQ(hull.attachments[0].axes[8], 1.0f);
    EXPECT_EQ(hull.attachments[1].kind, 2u);
    EXPECT_TRUE(cockpit.attachments.empty());
}

TEST(RenderMesh, CullingFollowsRecordSizeAndSideMode) {
    struct Case {
        uint32_t recordSize, sideMode;
        Culling expected;
    } cases[] = {
        {80, 0, Culling::Back},          {80, 3, Culling::Front}, {80, 1, Culling::Back},
        {80, 0xFFFFFFFF, Culling::Back}, {84, 3, Culling::None},  {76, 0, Culling::None},
        {24, 3, Culling::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(faceCulling(c.recordSize, c.sideMode), c.expected)
            << c.recordSize << " bytes, side mode " << c.sideMode;

    BlockChain chain = buildModel(0, {triangleComponent("A", {})});
    const RenderMesh plain = buildRenderMesh(chain);
    ASSERT_EQ(plain.components[0].triangles.size(), 3u);
    EXPECT_EQ(plain.components[0].triangles[0].culling, Culling::Back);
    EXPECT_EQ(plain.components[0].triangles[1].culling, Culling::Front);
    EXPECT_EQ(plain.components[0].triangles[2].culling, Culling::Back);

    // Longer records still hold the side mode at 72, but are drawn two-sided.
    resizeRecords(blockOf(chain, BlockType::Faces, 0), 96);
    const RenderMesh longer = buildRenderMesh(chain);
    for (const MeshTriangle& t : longer.components[0].triangles)
        EXPECT_EQ(t.culling, Culling::None);
}

TEST(RenderMesh, FaultyFacesAreSkippedAndCounted) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ComponentSpec c = triangleComponent("A", {});
    c.vertices.push_back({nan, 0, 0});  // vertex 4
    c.faces = {
        {0, 1, 2, 0, {}, {}, 0},  // good
        {0, 1, 4, 0, {}, {}, 0},  // a vertex that is not a number
        {0, 5, 2, 0, {}, {}, 0},  // one past the vertex block
        {0xFFFFFFFF, 1, 2, 0, {}, {}, 0},
        {3, 2, 1, 99, {}, {}, 0},  // texture out of range: still drawable
    };
    ComponentSpec good = triangleComponent("B", {});
    BlockChain chain = buildModel(0, {c, good});
    RenderMesh mesh = buildRenderMesh(chain);
    ASSERT_EQ(mesh.components[0].triangles.size(), 2u);
    EXPECT_EQ(mesh.components[0].triangles[0].face, 0u);
    EXPECT_EQ(mesh.components[0].triangles[1].face, 4u);
    EXPECT_EQ(mesh.components[0].skippedFaces, 3u);
    EXPECT_EQ(mesh.components[1].triangles.size(), 3u);

    // Face records too short for the corners, and vertex records too short for the
    // coordinates: nothing of that component is drawn, the other one is.
    BlockChain shortFaces = chain;
    resizeRecords(blockOf(shortFaces, BlockType::Faces, 0), 20);
    mesh = buildRenderMesh(shortFaces);
    EXPECT_TRUE(mesh.components[0].triangles.empty());
    EXPECT_EQ(mesh.components[0].skippedFaces, 5u);
    EXPECT_EQ(mesh.components[1].triangles.size(), 3u);

    BlockChain shortVertices = chain;
    resizeRecords(blockOf(shortVertices, BlockType::Vertices, 1), 8);
    mesh = buildRenderMesh(shortVertices);
    EXPECT_TRUE(mesh.components[1].triangles.empty());
    EXPECT_EQ(mesh.components[1].skippedFaces, 3u);
    EXPECT_EQ(mesh.components[0].triangles.size(), 2u);
}

TEST(RenderMesh, MissingBlocksLeaveComponentsEmpty) {
    // Without a Type-1 block there is nothing to draw.
    BlockChain none = buildModel(0, {triangleComponent("A", {})});
    none.blocks().erase(none.blocks().begin() + ptrdiff_t(*none.componentTable()));
    EXPECT_TRUE(buildRenderMesh(none).components.empty());

    // Three records but only two groups of blocks: the third has no type-9 block,
    // so neither geometry nor attachments are paired with it.
    BlockChain chain = buildModel(0, {triangleComponent("A", {}), triangleComponent("B", {})});
    Block& table = chain.blocks()[*chain.componentTable()];
    table.data.resize(table.data.size() + kComponentRecordSize, 0);
    table.recordCount = 3;
    const RenderMesh mesh = buildRenderMesh(chain);
    ASSERT_EQ(mesh.components.size(), 3u);
    EXPECT_TRUE(mesh.components[1].hasGeometry);
    EXPECT_FALSE(mesh.components[2].hasGeometry);
    EXPECT_TRUE(mesh.components[2].triangles.empty());

    // A reduced Type-1 table still gives names and positions.
    BlockChain reduced = buildModel(0, {triangleComponent("Small", {1, 2, 3})});
    resizeRecords(reduced.blocks()[*reduced.componentTable()], 100);
    const RenderMesh r = buildRenderMesh(reduced);
    EXPECT_EQ(r.components[0].name, "Small");
    expectVec(r.components[0].position, 1, 2, 3);
    EXPECT_EQ(r.components[0].triangles.size(), 3u);
}

TEST(RenderMesh, StoredNormalsLightTheCornersAndTheFaceNormalStandsIn) {
    BlockChain chain = buildModel(0, {triangleComponent("A", {})});
    // Vertex 1 gets a stored normal (not of unit length); the others have none.
    Block& verts = blockOf(chain, BlockType::Vertices, 0);
    RecordView(verts.record(1)).setVec3(12, {0, 0, -2});
    const RenderMesh mesh = buildRenderMesh(chain);
    const ComponentMesh& c = mesh.components[0];
    expectVec(c.normals[1], 0, 0, -1);
    expectVec(c.normals[0], 0, 0, 0);

    // Triangle 0 winds (0,0,0) (1,0,0) (0,1,0): counter-clockwise seen from +z.
    const MeshTriangle& t = c.triangles[0];
    expectVec(t.normal, 0, 0, 1);
    expectVec(shadingNormal(c, t, 0), 0, 0, 1);
    expectVec(shadingNormal(c, t, 1), 0, 0, -1);

    // A degenerate triangle has no normal of its own.
    ComponentSpec flat = triangleComponent("Flat", {});
    flat.faces = {{0, 0, 1, 0, {}, {}, 0}};
    expectVec(buildRenderMesh(buildModel(0, {flat})).components[0].triangles[0].normal, 0, 0, 0);
}

TEST(RenderMesh, BoundsAndBoxCornersInShipSpace) {
    ComponentSpec c = triangleComponent("A", {100, 0, 0});
    // A box turned a quarter turn about z: its own x axis is the ship's y axis.
    c.boxes = {{{0, 0, 10}, {2, 1, 1}}};
    BlockChain chain = buildModel(0, {c});
    Block& boxes = blockOf(chain, BlockType::Boxes, 0);
    RecordView box(boxes.record(0));
    const float turned[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    for (size_t i = 0; i < 9; ++i)
        box.setF32(4 + 4 * i, turned[i]);

    const RenderMesh mesh = buildRenderMesh(chain);
    const ComponentMesh& m = mesh.components[0];
    const auto corners = boxCorners(m, m.boxes[0]);
    expectVec(corners[0], 101, -2, 9);  // -x, -y, -z of the box's own axes
    expectVec(corners[7], 99, 2, 11);   // +x, +y, +z

    const Bounds b = meshBounds(mesh);
    expectVec(b.min, 99, -2, 0);
    expectVec(b.max, 101, 2, 11);
    expectVec(b.centre(), 100, 0, 5.5f);
    EXPECT_FLOAT_EQ(b.radius(), 0.5f * std::sqrt(4.0f + 16.0f + 121.0f));
    // The farthest point from the centre is a corner of the box at z = 11.
    EXPECT_FLOAT_EQ(reach(mesh, b.centre()), std::sqrt(1.0f + 4.0f + 5.5f * 5.5f));

    EXPECT_TRUE(meshBounds(RenderMesh{}).empty());
    Bounds p;
    p.add({std::numeric_limits<float>::infinity(), 0, 0});
    EXPECT_TRUE(p.empty());
}

// Records of size 0 cost the file nothing, whatever their count: 20 components each
// claiming 65,535 boxes, attachments, texture names, vertices and faces fit in about
// a kilobyte. They are read as what they are, records without fields, and nothing
// is made of them, in the view's mesh and in the document's lists alike.
TEST(RenderMesh, ZeroSizeRecordsMakeNoObjects) {
    std::vector<ComponentSpec> parts;
    for (int k = 0; k < 20; ++k) {
        ComponentSpec c = triangleComponent("part" + std::to_string(k), {float(k), 0, 0});
        c.attachments = {makeAttachment(3, {1, 2, 3}, 4)};
        c.boxes = {{{0, 0, 0}, {1, 1, 1}}};
        parts.push_back(std::move(c));
    }
    BlockChain chain = buildModel(0, parts);
    for (Block& b : chain.blocks())
        if (b.type == BlockType::Boxes || b.type == BlockType::Attachments ||
            b.type == BlockType::TextureNames || b.type == BlockType::Vertices ||
            b.type == BlockType::Faces) {
            b.recordSize = 0;
            b.recordCount = 65535;
            b.data.clear();
        }
    const Bytes file = chain.write();
    ASSERT_LT(file.size(), 8000u);

    const RenderMesh mesh = buildRenderMesh(chain);
    ASSERT_EQ(mesh.components.size(), 20u);
    for (const ComponentMesh& c : mesh.components) {
        EXPECT_TRUE(c.boxes.empty());
        EXPECT_TRUE(c.attachments.empty());
        EXPECT_TRUE(c.positions.empty());
        EXPECT_TRUE(c.normals.empty());
        EXPECT_TRUE(c.triangles.empty());
    }
    EXPECT_EQ(mesh.skippedFaces(), size_t(20) * 65535);

    ovtest::ScratchDir dir;
    ovtest::writeBytes(dir / "zero.shp", file);
    ovtest::RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "zero.shp"), OpenResult::Loaded);
    for (size_t k = 0; k < 20; ++k) {
        SCOPED_TRACE(k);
        const auto names = doc.attachmentNames(k);
        ASSERT_TRUE(names);
        EXPECT_TRUE(names->empty());
        EXPECT_FALSE(doc.attachmentFields(k, 0));
        EXPECT_FALSE(doc.boxFields(k, 0));
        // The counts stay what the file states.
        EXPECT_EQ(doc.summary(k).attachments, 65535u);
    }
    EXPECT_EQ(doc.chain().write(), file);

    // Records that hold the fields are objects again, at any count.
    for (Block& b : chain.blocks())
        if (b.type == BlockType::Attachments) {
            b.recordSize = uint32_t(kAttachmentFieldsEnd);
            b.recordCount = 3;
            b.data.assign(3 * kAttachmentFieldsEnd, 0);
        }
    const RenderMesh again = buildRenderMesh(chain);
    EXPECT_EQ(again.components[0].attachments.size(), 3u);
}
