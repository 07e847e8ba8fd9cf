// Ships out to glTF and back: untouched round trips byte for byte, edits made in a
// 3D suite mapped back onto the records, foreign meshes made into new ships, and
// bad files refused with no output.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "common/shp_build.h"
#include "common/shp_model.h"
#include "ovcli/sample_models.h"
#include "ovtool/interchange/detail.h"
#include "ovtool/interchange/interchange.h"
#include "support/test_support.h"

namespace {

namespace ix = ov::interchange;
namespace shp = ov::shp;
using nlohmann::json;
using ov::Bytes;
using ovtest::readBytes;
using ovtest::ScratchDir;
using ovtest::writeBytes;

std::vector<std::pair<std::string, shp::BlockChain>> sampleShips() {
    return {{"fighter", ovcli::sampleFighter(0, {1.0f, 1, 0, false})},
            {"fighter tiger", ovcli::sampleFighter(0, {0.9f, 2, 3, true})},
            {"cloaked", ovcli::sampleFighter(2, {1.1f, 6, 2, false})},
            {"capital", ovcli::sampleCapitalShip(false)},
            {"capital tiger", ovcli::sampleCapitalShip(true)}};
}

// Records of block b resized to `size` bytes each: cut, or padded with a pattern.
void resizeRecords(shp::Block& b, uint32_t size) {
    Bytes out;
    for (size_t i = 0; i < b.recordCount; ++i) {
        auto r = b.record(i);
        for (uint32_t j = 0; j < size; ++j)
            out.push_back(j < r.size() ? r[j] : uint8_t(0xA0 + j));
    }
    b.data = std::move(out);
    b.recordSize = size;
}

shp::Block rawBlock(uint32_t type, uint32_t size, uint32_t count, uint8_t fill) {
    shp::Block b;
    b.type = type;
    b.recordSize = size;
    b.recordCount = count;
    b.data.assign(size_t(size) * count, fill);
    return b;
}

// A model with every attachment kind (and one the editor does not know), Latin-1
// names, non-finite values in a record, odd record sizes and blocks of types only
// carried through.
shp::BlockChain oddModel() {
    shp::ComponentSpec a;
    a.name = "R\xe4umer";  // Latin-1, not UTF-8
    a.vertices = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 10}};
    a.faces = {{0, 1, 2, 0, {0, 1, 0}, {0, 0, 1}, 3}, {0, 2, 3, 1, {0, 1, 0}, {0, 0, 1}, 0},
               {0, 3, 1, 7, {0.25f, 0.5f, 1}, {1, 0, 0.5f}, 0}};  // texture 7 is not there
    a.textures = {"skin_a", "sk\xefn_b"};
    for (uint32_t kind = 0; kind < 5; ++kind)
        a.attachments.push_back(shp::makeAttachment(kind, {float(kind), 2, 3}, kind == 3 ? 4 : 1));
    auto unknown = shp::makeAttachment(2, {1, 1, 1});
    ov::storeU32LE(unknown.data(), 9);
    ov::storeF32LE(unknown.data() + 8, std::nanf(""));
    a.attachments.push_back(unknown);
    a.boxes = {{{1, 2, 3}, {4, 5, 6}}, {{0, 0, 0}, {0, 1, 0}}};
    a.block13 = true;
    shp::ComponentSpec b;
    b.name = "Turret";
    b.kind = 3;
    b.position = {5, -6, 7.125f};
    b.vertices = {{1, 1, 1}, {2, 1, 1}, {1, 2, 1}};
    b.faces = {{0, 1, 2, 0, {0, 0, 0}, {0, 0, 0}, 0}};
    b.textures = {"turret"};
    shp::BlockChain chain = shp::buildModel(1, {a, b});
    auto& blocks = chain.blocks();
    shp::ChainIndex index(chain);
    shp::ModelView view(chain, index);
    const auto c0 = view.locate(0), c1 = view.locate(1);
    resizeRecords(blocks[*c0.faces], 84);
    resizeRecords(blocks[*c0.attachments], 172);
    resizeRecords(blocks[*c1.vertices], 12);
    resizeRecords(blocks[*c1.faces], 76);
    const size_t opener1 = *c1.opener;
    blocks.insert(blocks.begin() + ptrdiff_t(opener1), rawBlock(14, 8, 1, 0x14));
    blocks.insert(blocks.begin() + ptrdiff_t(opener1), rawBlock(0x4242, 3, 5, 0x42));
    blocks.push_back(rawBlock(0x0B, 1, 0, 0));
    return chain;
}

Bytes importedBytes(ov::ByteSpan file) {
    auto r = ix::importGltf(file, {});
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().describe());
    return r.ok() ? r->chain.write() : Bytes{};
}

TEST(InterchangeRoundTrip, SampleShipsComeBackByteForByte) {
    ScratchDir dir;
    for (auto& [name, chain] : sampleShips()) {
        SCOPED_TRACE(name);
        const Bytes original = chain.write();
        auto glb = ix::exportGlb(chain);
        ASSERT_TRUE(glb.ok());
        EXPECT_EQ(importedBytes(*glb), original);

        // A name that its buffer's URI must encode.
        const auto out = dir / "my ship %1 \xc3\xa9.gltf";
        ASSERT_TRUE(ix::exportModel(chain, out).ok());
        EXPECT_TRUE(std::filesystem::exists(dir / "my ship %1 \xc3\xa9.bin"));
        auto back = ix::importFile(out, {});
        ASSERT_TRUE(back.ok()) << back.error().describe();
        EXPECT_EQ(back->chain.write(), original);
        EXPECT_EQ(back->report.componentsKept, back->report.components);
    }
}

TEST(InterchangeRoundTrip, OddRecordSizesUnknownBlocksAndEveryAttachmentKind) {
    const shp::BlockChain chain = oddModel();
    auto glb = ix::exportGlb(chain);
    ASSERT_TRUE(glb.ok()) << glb.error().describe();
    EXPECT_EQ(importedBytes(*glb), chain.write());

    // What the 3D suite sees: the editor's names for the attachments and boxes, the
    // component's position as its node's translation, one material per texture.
    const auto chunk = ov::loadU32LE(glb->data() + 12);
    const json j = json::parse(std::string(glb->begin() + 20, glb->begin() + 20 + chunk));
    std::vector<std::string> names;
    for (const auto& n : j["nodes"])
        names.push_back(n["name"]);
    for (const char* want : {"R\xc3\xa4umer", "Missile Mount Point", "Obj: Gattling Lasers", "Engine Flame",
                             "Gun: Proton Cannon", "Blinking Light", "Unknown: Type 9", "Box 1", "Box 2", "Turret"})
        EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
    for (const auto& n : j["nodes"])
        if (n["name"] == "Turret") {
            EXPECT_EQ(n["translation"], json::array({5.0, -6.0, 7.125}));
        }
    EXPECT_EQ(j["materials"].size(), 3u);
}

// A ship with no geometry left (every component deleted in the 3D suite, or
// components without faces) has no buffer to write: what goes out must still be a
// file that comes back as the same bytes, as .glb and as .gltf.
TEST(InterchangeRoundTrip, ShipWithoutGeometryComesBack) {
    shp::ComponentSpec bare;
    bare.name = "Mount";
    bare.attachments.push_back(shp::makeAttachment(4, {1, 2, 3}));
    bare.boxes = {{{0, 0, 0}, {1, 1, 1}}};
    std::vector<std::pair<std::string, shp::BlockChain>> ships;
    ships.emplace_back("components without faces", shp::buildModel(1, {bare, bare}));

    auto glb = ix::exportGlb(ovcli::sampleFighter());
    ASSERT_TRUE(glb.ok());
    Bytes emptied = *glb;
    const auto chunk = ov::loadU32LE(emptied.data() + 12);
    const std::string text(emptied.begin() + 20, emptied.begin() + 20 + chunk);
    const auto roots = text.find("\"nodes\":[0,");
    ASSERT_NE(roots, std::string::npos);
    std::memcpy(emptied.data() + 20 + roots, "\"nodez\"", 7);  // the scene loses its nodes
    auto none = ix::importGltf(emptied, {});
    ASSERT_TRUE(none.ok()) << none.error().describe();
    ASSERT_EQ(none->report.components, 0u);
    ships.emplace_back("every component deleted", std::move(none->chain));

    ScratchDir dir;
    for (auto& [name, chain] : ships) {
        SCOPED_TRACE(name);
        const Bytes original = chain.write();
        auto out = ix::exportGlb(chain);
        ASSERT_TRUE(out.ok()) << out.error().describe();
        EXPECT_EQ(importedBytes(*out), original);

        const auto gltf = dir / "bare.gltf";
        ASSERT_TRUE(ix::exportModel(chain, gltf).ok());
        EXPECT_FALSE(std::filesystem::exists(dir / "bare.bin"));
        auto back = ix::importFile(gltf, {});
        ASSERT_TRUE(back.ok()) << back.error().describe();
        EXPECT_EQ(back->chain.write(), original);
    }
}

// ---- Edits made in a 3D suite -----------------------------------------------------------

struct Exported {
    ScratchDir dir;
    json gltf;
    Bytes bin;
    std::filesystem::path file() const { return dir / "ship.gltf"; }

    explicit Exported(const shp::BlockChain& chain) {
        EXPECT_TRUE(ix::exportModel(chain, file()).ok());
        const Bytes text = readBytes(file());
        gltf = json::parse(std::string(text.begin(), text.end()));
        bin = readBytes(dir / "ship.bin");
    }
    int node(const std::string& name) const {
        for (size_t i = 0; i < gltf["nodes"].size(); ++i)
            if (gltf["nodes"][i]["name"] == name) return int(i);
        ADD_FAILURE() << "no node " << name;
        return 0;
    }
    // Float v of vertex i of the POSITION accessor of mesh m.
    float* position(int mesh, size_t vertex) {
        const int acc = gltf["meshes"][mesh]["primitives"][0]["attributes"]["POSITION"];
        const int view = gltf["accessors"][acc]["bufferView"];
        const size_t offset = gltf["bufferViews"][view].value("byteOffset", 0);
        return reinterpret_cast<float*>(bin.data() + offset) + 3 * vertex;
    }
    ix::Imported import(const ix::ImportOptions& o = {}) {
        const std::string text = gltf.dump();
        writeBytes(file(), Bytes(text.begin(), text.end()));
        writeBytes(dir / "ship.bin", bin);
        auto r = ix::importFile(file(), o);
        EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().describe());
        return r.ok() ? std::move(*r) : ix::Imported{};
    }
};

TEST(InterchangeEdits, MovedVertexAndAttachmentDeletedAndAddedMesh) {
    const shp::BlockChain original = ovcli::sampleFighter(0, {1.0f, 1, 0, false});
    shp::ChainIndex oi(original);
    shp::ModelView ov(original, oi);
    Exported e(original);

    // Move the first vertex of the hull wherever it appears (its copies at seams too).
    float* v0 = e.position(0, 0);
    const float was[3] = {v0[0], v0[1], v0[2]};
    for (size_t i = 0; i < e.gltf["accessors"][e.gltf["meshes"][0]["primitives"][0]["attributes"]["POSITION"].get<int>()]["count"].get<size_t>(); ++i) {
        float* p = e.position(0, i);
        if (std::memcmp(p, was, 12) == 0) p[1] += 30.0f;
    }
    // Move the left wing gun 5 along x; delete the cockpit; add a copy of the hull
    // mesh as a new node without extras.
    auto& gun = e.gltf["nodes"][e.node("Gun: Laser Cannon")];
    gun["matrix"][12] = gun["matrix"][12].get<double>() + 5.0;
    const int cockpit = e.node("Cockpit");
    auto& roots = e.gltf["scenes"][0]["nodes"];
    roots.erase(std::find(roots.begin(), roots.end(), cockpit));
    e.gltf["nodes"].push_back({{"name", "Pod"}, {"mesh", 0}, {"translation", {0, 50, 0}}});
    roots.push_back(e.gltf["nodes"].size() - 1);

    const ix::Imported r = e.import();
    EXPECT_EQ(r.report.componentsReshaped, 1u);
    EXPECT_EQ(r.report.componentsRemoved, 1u);
    EXPECT_EQ(r.report.componentsAdded, 1u);
    EXPECT_EQ(r.report.attachmentsChanged, 1u);
    EXPECT_TRUE(shp::checkModel(r.chain).empty());

    shp::ChainIndex ni(r.chain);
    shp::ModelView nv(r.chain, ni);
    ASSERT_EQ(nv.componentNames(), (std::vector<std::string>{"Hull", "Pod"}));
    EXPECT_EQ(r.chain.blocks()[0].data, original.blocks()[0].data);  // ship header
    const auto& ob = original.blocks();
    const auto& nb = r.chain.blocks();
    const auto o0 = ov.locate(0), n0 = nv.locate(0);
    // The hull's Type-1 record is untouched.
    EXPECT_TRUE(std::ranges::equal(ob[*oi.componentTable()].record(0), nb[*ni.componentTable()].record(0)));
    // One vertex moved, every other vertex record as it was.
    ASSERT_EQ(nb[*n0.vertices].recordCount, ob[*o0.vertices].recordCount);
    size_t changedVertices = 0;
    for (size_t i = 0; i < ob[*o0.vertices].recordCount; ++i) {
        const bool same = std::ranges::equal(ob[*o0.vertices].record(i), nb[*n0.vertices].record(i));
        changedVertices += !same;
        if (!same) {
            EXPECT_EQ(shp::ConstRecordView(nb[*n0.vertices].record(i)).f32(4), was[1] + 30.0f);
        }
    }
    EXPECT_EQ(changedVertices, 1u);
    // Faces keep their records but for the face normal the converter's layout holds.
    ASSERT_EQ(nb[*n0.faces].recordCount, ob[*o0.faces].recordCount);
    for (size_t i = 0; i < ob[*o0.faces].recordCount; ++i) {
        auto a = ob[*o0.faces].record(i), b = nb[*n0.faces].record(i);
        EXPECT_TRUE(std::equal(a.begin(), a.begin() + 48, b.begin())) << "face " << i;
        EXPECT_TRUE(std::equal(a.begin() + 60, a.end(), b.begin() + 60)) << "face " << i;
    }
    // The gun: 5 further along x, every other byte of its record as it was.
    const auto& oa = ob[*o0.attachments];
    const auto& na = nb[*n0.attachments];
    ASSERT_EQ(na.recordCount, oa.recordCount);
    for (size_t i = 0; i < oa.recordCount; ++i) {
        auto a = oa.record(i), b = na.record(i);
        if (i != 0) {
            EXPECT_TRUE(std::ranges::equal(a, b)) << "attachment " << i;
            continue;
        }
        EXPECT_EQ(shp::ConstAttachmentView(b).position().x, shp::ConstAttachmentView(a).position().x + 5.0f);
        EXPECT_TRUE(std::equal(a.begin(), a.begin() + 4, b.begin()));
        EXPECT_TRUE(std::equal(a.begin() + 8, a.end(), b.begin() + 8));
    }
    // The new component: the converter's record and group, at the node's place.
    const auto pod = nv.component(1);
    EXPECT_EQ(pod->position().y, 50.0f);
    EXPECT_EQ(nv.summary(1).faces, ov.summary(0).faces);
    EXPECT_EQ(nv.summary(1).textures, std::optional<size_t>(1));
    EXPECT_EQ(shp::textureName(nb[*nv.locate(1).textures], 0), "fighter_hull");
}

TEST(InterchangeEdits, TurnedAndResizedBoxAndMovedComponent) {
    const shp::BlockChain original = oddModel();
    Exported e(original);
    auto& box = e.gltf["nodes"][e.node("Box 1")];
    // Turned a quarter about z, the first half-extent doubled.
    box["matrix"] = {0, 8, 0, 0, -5, 0, 0, 0, 0, 0, 6, 0, 1, 2, 3, 1};
    auto& turret = e.gltf["nodes"][e.node("Turret")];
    turret["translation"] = {5, -6, 9};
    const ix::Imported r = e.import();
    EXPECT_EQ(r.report.boxesChanged, 1u);
    EXPECT_EQ(r.report.componentsMoved, 1u);
    shp::ChainIndex ni(r.chain);
    shp::ModelView nv(r.chain, ni);
    const shp::ConstBoxView b(r.chain.blocks()[*nv.locate(0).boxes].record(0));
    EXPECT_EQ(b.halfExtents().x, 8.0f);
    EXPECT_EQ(b.halfExtents().y, 5.0f);
    EXPECT_EQ(b.matrix()[1], 1.0f);   // the box's x axis is now the component's y
    EXPECT_EQ(b.matrix()[3], -1.0f);  // and its y axis the component's -x
    EXPECT_EQ(nv.component(1)->position().z, 9.0f);
    // Everything else is as it was: only those two records differ.
    const Bytes a = original.write(), c = r.chain.write();
    ASSERT_EQ(a.size(), c.size());
    size_t differ = 0;
    for (size_t i = 0; i < a.size(); ++i)
        differ += a[i] != c[i];
    EXPECT_GT(differ, 0u);
    EXPECT_LE(differ, 4u * (9 + 3) + 4u);
}

// ---- Meshes from elsewhere --------------------------------------------------------------

// A glTF of one triangle mesh per entry, buffers inside the file.
std::string foreignGltf(const std::vector<std::vector<float>>& meshes, int mode = 4,
                        const std::string& material = "hull_skin") {
    Bytes bin;
    json j = {{"asset", {{"version", "2.0"}}}, {"scene", 0}, {"materials", {{{"name", material}}}}};
    for (size_t m = 0; m < meshes.size(); ++m) {
        const size_t offset = bin.size();
        const auto* b = reinterpret_cast<const uint8_t*>(meshes[m].data());
        bin.insert(bin.end(), b, b + meshes[m].size() * 4);
        j["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", offset}, {"byteLength", meshes[m].size() * 4}});
        j["accessors"].push_back({{"bufferView", m}, {"componentType", 5126}, {"type", "VEC3"},
                                  {"count", meshes[m].size() / 3}});
        j["meshes"].push_back({{"primitives", {{{"attributes", {{"POSITION", m}}}, {"material", 0}, {"mode", mode}}}}});
        j["nodes"].push_back({{"name", "part" + std::to_string(m)}, {"mesh", m}, {"translation", {0, 0, double(m)}}});
        j["scenes"][0]["nodes"].push_back(m);
    }
    j["buffers"] = {{{"byteLength", bin.size()},
                     {"uri", "data:application/octet-stream;base64," + ix::detail::base64Encode(bin)}}};
    return j.dump();
}

ov::ByteSpan span(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(InterchangeForeign, GltfWithoutExtrasBecomesANewShip) {
    const std::vector<float> quad = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0};
    const std::string g = foreignGltf({quad, quad});
    auto r = ix::importGltf(span(g), {});
    ASSERT_TRUE(r.ok()) << r.error().describe();
    EXPECT_FALSE(r->report.fromExtras);
    EXPECT_TRUE(shp::checkModel(r->chain).empty());
    shp::ChainIndex index(r->chain);
    shp::ModelView m(r->chain, index);
    ASSERT_EQ(m.componentNames(), (std::vector<std::string>{"part0", "part1"}));
    EXPECT_EQ(m.component(1)->position().z, 1.0f);
    const auto s = m.summary(0);
    EXPECT_EQ(s.vertices, std::optional<size_t>(4));  // repeated positions merged
    EXPECT_EQ(s.faces, std::optional<size_t>(2));
    EXPECT_EQ(shp::textureName(r->chain.blocks()[*s.blocks.textures], 0), "hull_skin");
    // The converter's template: header record and the group's blocks.
    const auto& t = ix::detail::templateHeaderRecord();
    EXPECT_EQ(r->chain.blocks()[0].data, t);

    ix::ImportOptions named;
    named.texture = "given";
    auto n = ix::importGltf(span(g), named);
    ASSERT_TRUE(n.ok());
    shp::ChainIndex ni(n->chain);
    EXPECT_EQ(shp::textureName(n->chain.blocks()[*shp::ModelView(n->chain, ni).locate(1).textures], 0), "given");

    // Our own export with its extras taken away is a foreign file too.
    auto glb = ix::exportGlb(ovcli::sampleFighter());
    ASSERT_TRUE(glb.ok());
    const auto chunk = ov::loadU32LE(glb->data() + 12);
    json j = json::parse(std::string(glb->begin() + 20, glb->begin() + 20 + chunk));
    j["scenes"][0].erase("extras");
    ScratchDir dir;
    const std::string text = j.dump();
    writeBytes(dir / "plain.gltf", Bytes(text.begin(), text.end()));
    const Bytes tail(glb->begin() + 20 + chunk + 8, glb->end());
    j["buffers"][0]["uri"] = "plain.bin";
    const std::string text2 = j.dump();
    writeBytes(dir / "plain.gltf", Bytes(text2.begin(), text2.end()));
    writeBytes(dir / "plain.bin", tail);
    auto f = ix::importFile(dir / "plain.gltf", {});
    ASSERT_TRUE(f.ok()) << f.error().describe();
    EXPECT_FALSE(f->report.fromExtras);
    EXPECT_TRUE(shp::checkModel(f->chain).empty());
    EXPECT_EQ(f->report.components, 2u);
}

TEST(InterchangeForeign, StripsAndFansAreTriangulated) {
    const std::vector<float> strip = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 2, 0};
    for (int mode : {5, 6}) {
        auto r = ix::importGltf(span(foreignGltf({strip}, mode)), {});
        ASSERT_TRUE(r.ok()) << r.error().describe();
        shp::ChainIndex index(r->chain);
        EXPECT_EQ(shp::ModelView(r->chain, index).summary(0).faces, std::optional<size_t>(3));
    }
}

TEST(InterchangeForeign, ObjWithQuadsThroughAssimp) {
    if (!ix::haveAssimp()) GTEST_SKIP() << "this build reads OBJ without assimp: not at all";
    ScratchDir dir;
    const std::string obj =
        "o Wing\nv 0 0 0\nv 4 0 0\nv 4 2 0\nv 0 2 0\nv 0 0 3\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
        "usemtl wing_skin\nf 1/1 2/2 3/3 4/4\nf 1/1 2/2 5/3\n";
    writeBytes(dir / "wing.obj", Bytes(obj.begin(), obj.end()));
    auto r = ix::importFile(dir / "wing.obj", {});
    ASSERT_TRUE(r.ok()) << r.error().describe();
    EXPECT_TRUE(shp::checkModel(r->chain).empty());
    shp::ChainIndex index(r->chain);
    shp::ModelView m(r->chain, index);
    const auto s = m.summary(0);
    EXPECT_EQ(s.faces, std::optional<size_t>(3));  // the quad in two triangles
    EXPECT_EQ(s.vertices, std::optional<size_t>(5));
    EXPECT_EQ(shp::textureName(r->chain.blocks()[*s.blocks.textures], 0), "wing_skin");
}

TEST(InterchangeForeign, ObjExportKeepsGeometryInShipSpace) {
    ScratchDir dir;
    const shp::BlockChain chain = oddModel();
    auto files = ix::exportFiles(chain, dir / "ship.obj");
    ASSERT_TRUE(files.ok());
    ASSERT_EQ(files->size(), 2u);
    const std::string obj((*files)[0].bytes.begin(), (*files)[0].bytes.end());
    EXPECT_NE(obj.find("mtllib ship.mtl"), std::string::npos);
    EXPECT_NE(obj.find("\nv 6 -5 8.125\n"), std::string::npos);  // turret vertex (1,1,1) + its position
    EXPECT_NE(obj.find("usemtl skin_a"), std::string::npos);
}

// ---- Bad input ----------------------------------------------------------------------------

void expectRefused(const std::string& file, const std::string& words) {
    auto r = ix::importGltf(span(file), {});
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find(words), std::string::npos) << r.error().message;
}

TEST(InterchangeBadInput, RefusedWithAReason) {
    const std::vector<float> tri = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    expectRefused("this is not a mesh", "not a glTF file");
    // In the player's words: where the text breaks, not the JSON library's tag.
    expectRefused("{\"asset\":", "not a glTF file: parse error at line 1, column 10: ");
    expectRefused(R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[{"name":"empty"}]})", "no meshes");
    expectRefused(foreignGltf({tri}, 1), "points or lines");
    expectRefused(foreignGltf({{0, 0, 0, std::nanf(""), 0, 0, 0, 1, 0}}), "NaN or infinite");

    json j = json::parse(foreignGltf({tri}));
    j["nodes"][0]["translation"] = {1e300, 0, 0};
    expectRefused(j.dump(), "beyond what a model can hold");
    j = json::parse(foreignGltf({tri}));
    j["accessors"][0]["count"] = 4;
    expectRefused(j.dump(), "past");
    j = json::parse(foreignGltf({tri}));
    j["buffers"][0]["uri"] = "../outside.bin";
    expectRefused(j.dump(), "not a glTF file");

    // More than 65,535 faces in one node.
    std::vector<float> many;
    for (int i = 0; i < 65536; ++i) {
        const float x = float(i);
        many.insert(many.end(), {x, 0, 0, x + 1, 0, 0, x, 1, 0});
    }
    expectRefused(foreignGltf({many}), "at most 65,535");

    // Extras that do not fit the model.
    auto glb = ix::exportGlb(ovcli::sampleFighter());
    ASSERT_TRUE(glb.ok());
    const auto chunk = ov::loadU32LE(glb->data() + 12);
    const json exported = json::parse(std::string(glb->begin() + 20, glb->begin() + 20 + chunk));
    const std::string bin = "data:application/octet-stream;base64," +
                            ix::detail::base64Encode(ov::ByteSpan(glb->data() + 20 + chunk + 8, glb->size() - 28 - chunk));
    json e = exported;
    e["buffers"][0]["uri"] = bin;
    e["nodes"][0]["extras"]["orvane"]["component"] = 7;
    expectRefused(e.dump(), "do not fit the model");
    e = exported;
    e["buffers"][0]["uri"] = bin;
    e["scenes"][0]["extras"]["orvane"]["chain"] = "%%%%";
    expectRefused(e.dump(), "not base64");
    e = exported;
    e["buffers"][0]["uri"] = bin;
    e["scenes"][0]["extras"]["orvane"]["chain"] = ix::detail::base64Encode(Bytes{1, 2, 3});
    expectRefused(e.dump(), "not a model");
    // An accessor without its buffer view (glTF's zeros) would give a component
    // that no longer matches its bytes: refused, naming the node.
    e = exported;
    e["buffers"][0]["uri"] = bin;
    e["accessors"][0].erase("bufferView");
    expectRefused(e.dump(), "node 'Hull', primitive 0 POSITION: the accessor has no buffer view");
    e = exported;
    e["buffers"][0]["uri"] = bin;
    EXPECT_TRUE(ix::importGltf(span(e.dump()), {}).ok());  // the same file, intact, is read
}

TEST(InterchangeBadInput, EveryPrefixOfAGlbIsRefusedSafely) {
    auto glb = ix::exportGlb(ovcli::sampleFighter());
    ASSERT_TRUE(glb.ok());
    for (size_t n = 0; n < glb->size(); n += 7) {
        const Bytes prefix(glb->begin(), glb->begin() + ptrdiff_t(n));
        EXPECT_FALSE(ix::importGltf(prefix, {}).ok()) << n;
    }
}

#ifdef OV_OVCLI_FILE
TEST(InterchangeThroughOvcli, ExportImportAndNoFileWhenRefused) {
    ScratchDir dir;
    const std::string shp = (dir / "fighter.shp").string();
    ASSERT_TRUE(ovcli::sampleFighter().writeFile(shp).ok());
    const auto log = dir / "log";
    const std::string gltf = (dir / "fighter.gltf").string(), back = (dir / "back.shp").string();
    ASSERT_EQ(ovtest::runProgram(OV_OVCLI_FILE, {"model", "export", shp, gltf}, log), 0);
    ASSERT_EQ(ovtest::runProgram(OV_OVCLI_FILE, {"model", "import", gltf, back}, log), 0);
    EXPECT_EQ(readBytes(back), readBytes(shp));
    // Never over its own input, and never a half-written file.
    EXPECT_NE(ovtest::runProgram(OV_OVCLI_FILE, {"model", "import", gltf, gltf, "--force"}, log), 0);
    EXPECT_NE(ovtest::runProgram(OV_OVCLI_FILE, {"model", "export", shp, shp, "--force"}, log), 0);
    EXPECT_EQ(readBytes(back), readBytes(shp));
    writeBytes(dir / "bad.glb", Bytes{'g', 'l', 'T', 'F', 2, 0, 0, 0, 99, 0, 0, 0});
    const std::string refused = (dir / "refused.shp").string();
    EXPECT_EQ(ovtest::runProgram(OV_OVCLI_FILE, {"model", "import", (dir / "bad.glb").string(), refused}, log), 1);
    EXPECT_FALSE(std::filesystem::exists(refused));
    std::error_code ec;
    for (const auto& f : std::filesystem::directory_iterator(dir.path(), ec))
        EXPECT_NE(f.path().extension(), ".ovtmp") << f.path();
}
#endif

// ---- Through Blender, where it is installed -------------------------------------------------

#if defined(OV_BLENDER_SCRIPT) && !defined(_WIN32)
bool haveBlender() {
    ScratchDir dir;
    return ovtest::runProgram("/bin/sh", {"-c", "command -v blender"}, dir / "log") == 0;
}

TEST(InterchangeBlender, UntouchedAndEditedShipsComeBack) {
    if (!haveBlender()) GTEST_SKIP() << "blender is not installed";
    ScratchDir dir;
    const shp::BlockChain original = ovcli::sampleFighter(0, {1.0f, 1, 0, false});
    ASSERT_TRUE(ix::exportModel(original, dir / "ship.gltf").ok());
    for (const std::string mode : {"keep", "edit", "scratch"}) {
        SCOPED_TRACE(mode);
        const auto out = dir / (mode + ".gltf");
        ASSERT_EQ(ovtest::runProgram("blender", {"-b", "--factory-startup", "--python", OV_BLENDER_SCRIPT, "--",
                                                 (dir / "ship.gltf").string(), out.string(), mode},
                                     dir / "blender.log"),
                  0);
        auto back = ix::importFile(out, {});
        ASSERT_TRUE(back.ok()) << back.error().describe();
        if (mode == "keep") {
            EXPECT_EQ(back->chain.write(), original.write());
            continue;
        }
        if (mode == "scratch") {
            // A cube made in Blender: one component of its six quads as triangles,
            // 10 up in Blender being 10 along the model's y.
            EXPECT_FALSE(back->report.fromExtras);
            EXPECT_TRUE(shp::checkModel(back->chain).empty());
            shp::ChainIndex index(back->chain);
            shp::ModelView m(back->chain, index);
            ASSERT_EQ(m.componentNames(), std::vector<std::string>{"Pod"});
            EXPECT_EQ(m.summary(0).faces, std::optional<size_t>(12));
            EXPECT_EQ(m.summary(0).vertices, std::optional<size_t>(8));
            EXPECT_EQ(m.component(0)->position().y, 10.0f);
            EXPECT_EQ(shp::textureName(back->chain.blocks()[*m.locate(0).textures], 0), "pod_skin");
            continue;
        }
        EXPECT_EQ(back->report.attachmentsChanged, 1u);
        EXPECT_EQ(back->report.componentsReshaped, 1u);
        EXPECT_EQ(back->report.componentsKept, 1u);
        EXPECT_TRUE(shp::checkModel(back->chain).empty());
        // What was not touched is byte for byte as it was: the header, the table,
        // the cockpit's blocks, the boxes and the other attachments.
        const auto& ob = original.blocks();
        const auto& nb = back->chain.blocks();
        ASSERT_EQ(nb.size(), ob.size());
        shp::ChainIndex oi(original);
        const auto hull = shp::ModelView(original, oi).locate(0);
        for (size_t i = 0; i < ob.size(); ++i) {
            if (i == *hull.vertices || i == *hull.attachments) continue;
            EXPECT_EQ(nb[i].data, ob[i].data) << "block " << i;
        }
        const auto& oa = ob[*hull.attachments];
        const auto& na = nb[*hull.attachments];
        EXPECT_EQ(shp::ConstAttachmentView(na.record(0)).position().x,
                  shp::ConstAttachmentView(oa.record(0)).position().x - 6.0f);
        for (size_t i = 1; i < oa.recordCount; ++i)
            EXPECT_TRUE(std::ranges::equal(oa.record(i), na.record(i)));
        EXPECT_EQ(nb[*hull.vertices].recordCount, ob[*hull.vertices].recordCount);
        EXPECT_NE(nb[*hull.vertices].data, ob[*hull.vertices].data);
    }
}
#endif

}  // namespace
