#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "3ds2ov/chunks.h"
#include "3ds2ov/convert.h"
#include "3ds2ov/writer3ds.h"
#include "common/shp.h"
#include "ovedit/convert/converter_helper.h"
#include "ovedit/convert/converter_library.h"
#include "support/convert_reference.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace ov;
using namespace ov::conv;

namespace {

Mesh3ds triangle(std::string name = "Tri") {
    Mesh3ds m;
    m.name = std::move(name);
    m.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    m.mapping = {{0, 0}, {1, 0}, {0, 1}};
    m.faces = {{0, 1, 2}};
    return m;
}

Model3ds modelOf(std::vector<Mesh3ds> meshes) {
    Model3ds m;
    m.meshes = std::move(meshes);
    return m;
}

struct RunResult {
    int code = -1;
    std::string text;
    bool written = false;
    Bytes shp;
};

class Converter {
public:
    RunResult run(ByteSpan file3ds, const std::string& texture = "hull.tga",
                  std::string shpName = "out.shp") {
        auto in = dir / "in.3ds";
        ovtest::writeBytes(in, file3ds);
        auto out = dir / shpName;
        StringOutput sink;
        RunResult r;
        r.code = convert(in.string().c_str(), texture.c_str(), out.string().c_str(), sink);
        r.text = sink.text_;
        r.written = std::filesystem::exists(out);
        if (r.written) r.shp = ovtest::readBytes(out);
        return r;
    }
    ovtest::ScratchDir dir;
};

float f32At(const Bytes& b, size_t off) {
    return loadF32LE(&b[off]);
}
uint32_t u32At(const Bytes& b, size_t off) {
    return loadU32LE(&b[off]);
}

constexpr size_t kVertexBlock = kTemplateSize;
size_t vertexAt(size_t i) {
    return kVertexBlock + 6 + 32 * i;
}
size_t faceBlock(size_t vertices) {
    return vertexAt(vertices);
}
size_t faceAt(size_t vertices, size_t i) {
    return faceBlock(vertices) + 6 + 80 * i;
}

// A file with the chunks a plain textured mesh does not have: light and
// spotlight, camera, material options and map settings, and keyframer tracks.
Bytes rareChunks() {
    ChunkWriter w;
    auto floats = [&](std::initializer_list<float> fs) {
        for (float f : fs)
            w.f32(f);
    };
    w.open(kChunkMain);
    w.open(kChunkEditor);
    w.open(kChunkObject);
    w.cstring("Lamp");
    w.open(0x4600);  // light
    floats({1, 2, 3});
    w.open(0x4610);  // spotlight: target, hotspot, falloff
    floats({4, 5, 6, 30, 45});
    w.close();
    w.open(0x465B);
    floats({1.5f});
    w.close();
    w.close();
    w.close();
    w.open(kChunkObject);
    w.cstring("Eye");
    w.open(0x4700);  // camera: position, target, bank, lens
    floats({0, 0, 10, 0, 0, 0, 0, 35});
    w.close();
    w.close();
    w.open(kChunkMaterial);
    w.open(0xA100);
    w.u16(1);
    w.close();
    w.open(0xA081);
    w.close();
    w.open(kChunkTextureMap);
    w.open(0xA351);
    w.u16(0x80 | 0x40 | 0x20 | 0x2 | 0x1);
    w.close();
    w.open(0xA354);
    floats({2});
    w.close();
    w.open(0xA360);
    w.raw(Bytes{10, 20, 30});
    w.close();
    w.close();
    w.close();
    w.close();  // editor

    w.open(0xB000);  // keyframer
    w.open(0xB008);
    w.u32(0);
    w.u32(100);
    w.close();
    w.open(0xB002);  // object track
    w.open(0xB010);
    w.cstring("Lamp");
    w.u16(0x4000);
    w.u16(0);
    w.u16(0xFFFF);
    w.close();
    w.open(0xB013);
    floats({1, 2, 3});
    w.close();
    w.open(0xB020);  // two position keys, the second with a tension value
    w.u16(0);
    w.u32(0);
    w.u32(0);
    w.u32(2);
    w.u32(0);
    w.u16(0);
    floats({1, 1, 1});
    w.u32(10);
    w.u16(1);
    floats({0.5f});
    floats({2, 2, 2});
    w.close();
    w.open(0xB026);  // morph key
    w.u16(0);
    w.u32(0);
    w.u32(0);
    w.u32(1);
    w.u32(5);
    w.u16(0);
    w.cstring("Other");
    w.close();
    w.open(0xB030);
    w.u16(7);
    w.close();
    w.close();
    w.close();
    w.close();  // main
    return w.take();
}

}  // namespace

// ---- Chunk dump -----------------------------------------------------------------

TEST(ChunkDump, GoldenTexturedTriangle) {
    const std::string expected =
        "Chunk type \"Main\", offset 0x0, size 257 bytes\n"
        "  Chunk type \"Object Mesh\", offset 0x10, size 241 bytes\n"
        "    Chunk type \"Material\", offset 0x20, size 38 bytes\n"
        "      Chunk type \"Material name\", offset 0x26, size 11 bytes\n"
        "        Material name \"Skin\"\n"
        "      Chunk type \"Texture map\", offset 0x31, size 21 bytes\n"
        "        Chunk type \"Map filename\", offset 0x37, size 15 bytes\n"
        "          Map filename \"skin.bmp\"\n"
        "    Chunk type \"Object Block\", offset 0x46, size 187 bytes\n"
        "      Object name \"Tri\"\n"
        "      Chunk type \"Tri-Mesh\", offset 0x50, size 177 bytes\n"
        "        Chunk type \"Vertex list\", offset 0x56, size 44 bytes\n"
        "          Vertices: 3\n"
        "           X: 0.000000, Y: 0.000000, Z: 0.000000\n"
        "           X: 1.000000, Y: 0.000000, Z: 0.000000\n"
        "           X: 0.000000, Y: 1.000000, Z: 0.000000\n"
        "        Chunk type \"Mappings list\", offset 0x82, size 32 bytes\n"
        "          Vertices: 3\n"
        "           U: 0.000000, V: 0.000000\n"
        "           U: 1.000000, V: 0.000000\n"
        "           U: 0.000000, V: 1.000000\n"
        "        Chunk type \"Face list\", offset 0xA2, size 41 bytes\n"
        "          Faces: 1\n"
        "           A 0, B 1, C 2, AB 1 BC 1 CA 1 UWrap 0 VWrap 0\n"
        "          Chunk type \"Face material\", offset 0xB2, size 15 bytes\n"
        "            Material name for faces: \"Skin\"\n"
        "            Faces with this material: 1\n"
        "          Chunk type \"Smoothings\", offset 0xC1, size 10 bytes\n"
        "            Smoothing groups: 1\n"
        "        Chunk type \"Matrix\", offset 0xCB, size 54 bytes\n"
        "          Rotation matrix:\n"
        "           1.000000, 0.000000, 0.000000\n"
        "           0.000000, 1.000000, 0.000000\n"
        "           0.000000, 0.000000, 1.000000\n"
        "          Translation matrix: 0.000000, 0.000000, 0.000000\n";
    EXPECT_EQ(dump3ds(write3ds(modelOf({triangle()}))), expected);
}

TEST(ChunkDump, GoldenLightsCamerasMaterialOptionsAndTracks) {
    const std::string expected =
        "Chunk type \"Main\", offset 0x0, size 339 bytes\n"
        "  Chunk type \"Object Mesh\", offset 0x6, size 172 bytes\n"
        "    Chunk type \"Object Block\", offset 0xC, size 65 bytes\n"
        "      Object name \"Lamp\"\n"
        "      Chunk type \"Light\", offset 0x17, size 54 bytes\n"
        "         Position: X: 1.000000, Y: 2.000000, Z: 3.000000\n"
        "        Chunk type \"Spotlight\", offset 0x29, size 26 bytes\n"
        "           Target: X: 4.000000, Y: 5.000000, Z: 6.000000\n"
        "           Value: 30.000000\n"
        "           Value: 45.000000\n"
        "        Chunk type \"Light Multyplity\", offset 0x43, size 10 bytes\n"
        "           Value: 1.500000\n"
        "    Chunk type \"Object Block\", offset 0x4D, size 48 bytes\n"
        "      Object name \"Eye\"\n"
        "      Chunk type \"Camera\", offset 0x57, size 38 bytes\n"
        "         Position: X: 0.000000, Y: 0.000000, Z: 10.000000\n"
        "         Target: X: 0.000000, Y: 0.000000, Z: 0.000000\n"
        "         Bank: 0.000000, Lens: 35.000000\n"
        "    Chunk type \"Material\", offset 0x7D, size 53 bytes\n"
        "      Chunk type \"Shadeing type\", offset 0x83, size 8 bytes\n"
        "         Flat\n"
        "      Chunk type \"2Side: ON /flag/\", offset 0x8B, size 6 bytes\n"
        "      Chunk type \"Texture map\", offset 0x91, size 33 bytes\n"
        "        Chunk type \"Texture flags\", offset 0x97, size 8 bytes\n"
        "          Source: Alpha tint\n"
        "          Filtering: Summed arial\n"
        "          Tile & Decal - Mirror\n"
        "        Chunk type \"U scale (1/x)\", offset 0x9F, size 10 bytes\n"
        "           Value: 2.000000\n"
        "        Chunk type \"Black Tint\", offset 0xA9, size 9 bytes\n"
        "           Red: 10, Green: 20, Blue: 30\n"
        "  Chunk type \"Keyframer data\", offset 0xB2, size 161 bytes\n"
        "    Chunk type \"Frames\", offset 0xB8, size 14 bytes\n"
        "      Frame: 0\n"
        "      Frame: 100\n"
        "    Chunk type \"Track info\", offset 0xC6, size 141 bytes\n"
        "      Chunk type \"Track Obj. Name\", offset 0xCC, size 17 bytes\n"
        "        Track object name \"Lamp\"\n"
        "        Object name data: Flags 0x4000, 0x0, Parent -1\n"
        "      Chunk type \"Pivot point\", offset 0xDD, size 18 bytes\n"
        "         Pivot at X: 1.000000, Y: 2.000000, Z: 3.000000\n"
        "      Chunk type \"Position keys\", offset 0xEF, size 60 bytes\n"
        "        Position keys: 2\n"
        "        Frame: 0\n"
        "         Position: X: 1.000000, Y: 1.000000, Z: 1.000000\n"
        "        Frame: 10\n"
        "         Position: X: 2.000000, Y: 2.000000, Z: 2.000000\n"
        "      Chunk type \"Morph keys\", offset 0x12B, size 32 bytes\n"
        "        Morph keys: 1\n"
        "        Frame: 5\n"
        "        Object name \"Other\"\n"
        "      Chunk type \"Object number\", offset 0x14B, size 8 bytes\n"
        "        Object number: 7\n";
    EXPECT_EQ(dump3ds(rareChunks()), expected);

    // And no prefix of it reads outside the file under any switch.
    Bytes file = rareChunks();
    for (size_t n = 0; n < file.size(); ++n) {
        Bytes prefix(file.begin(), file.begin() + ptrdiff_t(n));
        for (int opts = 0; opts < 8; ++opts)
            (void)dump3ds(prefix, {bool(opts & 1), bool(opts & 2), bool(opts & 4)});
    }
}

TEST(ChunkDump, Switches) {
    // Main { unknown 0x0002 (4 bytes), Material name }.
    ChunkWriter w;
    w.open(kChunkMain);
    w.open(0x0002);
    w.u32(0x04030201);
    w.close();
    w.open(kChunkMaterialName);
    w.cstring("M");
    w.close();
    w.close();
    Bytes file = w.take();

    struct Case {
        DumpOptions options;
        std::string expected;
    };
    const std::string head = "Chunk type \"Main\", offset 0x0, size 24 bytes\n";
    const std::string nameHead = "  Chunk type \"Material name\", offset 0x10, size 8 bytes\n";
    const std::string name = "    Material name \"M\"\n";
    const std::string unknown = "  Unknown chunk: 0x0002, offset 0x6, size: 10 bytes.";
    const Case cases[] = {
        {{}, head + nameHead + name},
        {{true, false, false}, head + unknown + "\n" + nameHead + name},
        {{true, true, false}, head + unknown + "\n    01 02 03 04 \n" + nameHead + name},
        {{false, false, true}, head + name},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dump3ds(file, c.options), c.expected);
}

TEST(ChunkDump, BoundsOfHostileInput) {
    // A vertex list that claims 1000 vertices but holds one prints one.
    ChunkWriter w;
    w.open(kChunkVertexList);
    w.u16(1000);
    w.f32(1);
    w.f32(2);
    w.f32(3);
    w.close();
    std::string text = dump3ds(w.take());
    EXPECT_NE(text.find("Vertices: 1000\n"), std::string::npos);
    EXPECT_EQ(text.find("X: 1.000000, Y: 2.000000, Z: 3.000000"),
              text.rfind("X: 1.000000, Y: 2.000000, Z: 3.000000"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);

    // A child that claims more than its parent holds stops at the parent's end:
    // the sibling after the parent is still found at the top level.
    Bytes nested = {0x4D, 0x4D, 12,   0,    0, 0, 0x00, 0xA0, 0xFF, 0xFF,
                    0,    0,    0x00, 0xA0, 8, 0, 0,    0,    'A',  0};
    text = dump3ds(nested);
    EXPECT_NE(text.find("\nChunk type \"Material name\", offset 0xC, size 8 bytes\n"),
              std::string::npos)
        << text;

    // Sizes below 6 end the level without looping.
    for (uint32_t size : {0u, 1u, 5u}) {
        Bytes b = {0x4D, 0x4D, 0, 0, 0, 0, 0, 0};
        storeU32LE(&b[2], size);
        EXPECT_EQ(dump3ds(b), "");
    }

    // Deep nesting is walked only to the depth cap.
    ChunkWriter deep;
    for (int i = 0; i < 1000; ++i)
        deep.open(kChunkMain);
    for (int i = 0; i < 1000; ++i)
        deep.close();
    text = dump3ds(deep.take());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kMaxChunkDepth);
}

TEST(ChunkDump, HostileExpansionIsCut) {
    // Deeply nested long flag lists would print about 38 bytes of text per file
    // byte; the dump stops at its budget and the conversion refuses the file.
    ChunkWriter w;
    for (int i = 0; i < kMaxChunkDepth - 1; ++i)
        w.open(kChunkMain);
    w.open(0x4111);
    w.u16(10000);
    for (int i = 0; i < 10000; ++i)
        w.u16(0xFFFF);
    w.close();
    for (int i = 0; i < kMaxChunkDepth - 1; ++i)
        w.close();
    Bytes file = w.take();
    DumpFaults faults;
    std::string text = dump3ds(file, {}, &faults);
    EXPECT_TRUE(faults.cut);
    EXPECT_LE(text.size(), file.size() * kDumpBytesPerFileByte + kDumpSlack + 256);

    ConvModel model;
    StringOutput out;
    EXPECT_EQ(readModel(file, model, out), kMalformed);
    EXPECT_NE(out.text_.find("The chunk tree is too large to read."), std::string::npos);

    // A real model stays far below the budget.
    faults.cut = true;
    (void)dump3ds(write3ds(modelOf({triangle()})), {true, true, false}, &faults);
    EXPECT_FALSE(faults.cut);
}

TEST(ChunkDump, ListValuesPrintAsPrintfWould) {
    const float values[] = {0.0f,
                            -0.0f,
                            0.0000005f,
                            -1.2345675f,
                            1e-40f,
                            123456.789f,
                            std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::lowest(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(),
                            -std::numeric_limits<float>::quiet_NaN()};
    ChunkWriter w;
    w.open(kChunkVertexList);
    w.u16(uint16_t(std::size(values)));
    std::string expected = "Chunk type \"Vertex list\", offset 0x0, size " +
                           std::to_string(8 + 12 * std::size(values)) +
                           " bytes\n  Vertices: " + std::to_string(std::size(values)) + "\n";
    for (float v : values) {
        for (int k = 0; k < 3; ++k)
            w.f32(v);
        char line[512];
        std::snprintf(line, sizeof line, "%*s X: %f, Y: %f, Z: %f\n", 2, "", double(v), double(v),
                      double(v));
        // glibc's text for a NaN with its sign bit set, on every platform (mingw-w64's
        // printf leaves the sign out).
        if (std::isnan(v) && std::signbit(v)) std::strcpy(line, "   X: -nan, Y: -nan, Z: -nan\n");
        expected += line;
    }
    w.close();
    Bytes file = w.take();
    EXPECT_EQ(dump3ds(file), expected);

    // And they read back from the dump as the values printed.
    Mesh3ds m = triangle();
    m.vertices = {{0.1234567f, -2.5e-7f, 3e6f}, {1, 0, 0}, {0, 1, 0}};
    ConvModel model;
    DiscardOutput out;
    ASSERT_EQ(readModel(write3ds(modelOf({m})), model, out), kConverted);
    EXPECT_EQ(model.vertices[0].x, 0.123457f);
    EXPECT_EQ(model.vertices[0].y, -0.0f);
    EXPECT_TRUE(std::signbit(model.vertices[0].y));
    EXPECT_EQ(model.vertices[0].z, 3e6f);
}

// Every cut of a file is safe, and none passes for a whole file: the dump says where
// it was cut and the conversion refuses it.
TEST(ChunkDump, EveryPrefixIsSafeAndReportedCutShort) {
    Bytes file = write3ds(modelOf({triangle("A"), triangle("B")}));
    for (size_t n = 0; n <= file.size(); ++n) {
        Bytes prefix(file.begin(), file.begin() + ptrdiff_t(n));
        for (int opts = 0; opts < 8; ++opts) {
            DumpFaults faults;
            (void)dump3ds(prefix, {bool(opts & 1), bool(opts & 2), bool(opts & 4)}, &faults);
            EXPECT_EQ(faults.truncatedAt.has_value(), n < file.size()) << n;
        }
        ConvModel model;
        StringOutput out;
        int code = readModel(prefix, model, out);
        EXPECT_EQ(code, n < file.size() ? kMalformed : kConverted) << n << ": " << out.text_;
    }
}

TEST(ChunkDump, ChunksRunningPastTheirParentOrTheFileAreFaults) {
    const Bytes whole = write3ds(modelOf({triangle("A")}));
    // The editor chunk claiming the whole file: past Main, which holds it.
    Bytes childTooLong = whole;
    const uint8_t editor[] = {0x3D, 0x3D};
    const size_t at =
        size_t(std::search(childTooLong.begin(), childTooLong.end(), editor, editor + 2) -
               childTooLong.begin());
    storeU32LE(&childTooLong[at + 2], uint32_t(whole.size()));
    const std::string text = "this is a text file, not a 3DS model\n";
    const Bytes textFile(text.begin(), text.end());
    struct Case {
        const char* name;
        Bytes file;
        const char* says;  // nothing for a whole file
    };
    const Case cases[] = {
        {"whole file", whole, nullptr},
        {"empty file", {}, "the file is empty"},
        {"a text file", textFile, "at offset 0x0 claims 1763734377 bytes, but the file ends"},
        {"a child past its parent", childTooLong,
         "chunk 0x3D3D \"Object Mesh\" at offset 0x10 claims 255 bytes, but its parent chunk"},
        {"a head cut short", Bytes(whole.begin(), whole.begin() + 3), "inside a chunk head"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DumpFaults faults;
        std::string dumped = dump3ds(c.file, {}, &faults);
        EXPECT_EQ(faults.truncatedAt.has_value(), c.says != nullptr);
        if (c.says) {
            EXPECT_NE(faults.truncation.find(c.says), std::string::npos) << faults.truncation;
        }
    }
}

// ---- Conversion -----------------------------------------------------------------

TEST(Convert, TranscriptAndLayoutOfTexturedTriangle) {
    Converter c;
    RunResult r = c.run(write3ds(modelOf({triangle()})), "hull.tga");
    ASSERT_EQ(r.code, kConverted) << r.text;
    const std::string shp = (c.dir / "out.shp").string();
    EXPECT_EQ(r.text,
              "3DS -> OV Converter, v0.1\n"
              "- Gathering 3DS data... DONE!\n"
              "- Processing 3DS data...\n\n"
              "  Processing 3 vertices\n"
              "  Processing 3 mapping coordinates\n"
              "  Processing 1 polygons... DONE!\n"
              "\n"
              "- Done processing 3DS data.\n"
              "- Smart-scaling mesh(es)... DONE!\n"
              "- Removing repeated vertices from face references... DONE!\n"
              "- Calculating normal vectors... DONE!\n"
              "- Saving SHP file (" +
                  shp +
                  ") \n"
                  "  Assigning texture name: hull.tga\n"
                  "  DONE!\n");

    ASSERT_EQ(r.shp.size(), kTemplateSize + 6 + 3 * 32 + 6 + 80 + 6 + 64 + 6);
    EXPECT_TRUE(std::equal(shpTemplate().begin(), shpTemplate().end(), r.shp.begin()));

    // The written file is a block chain the model reader accepts, in template order.
    auto chain = shp::BlockChain::read(r.shp);
    ASSERT_TRUE(chain) << chain.error().describe();
    std::vector<uint32_t> types;
    for (const auto& b : chain->blocks())
        types.push_back(b.type);
    EXPECT_EQ(types, (std::vector<uint32_t>{0, 1, 2, 7, 9, 10, 13, 15, 4, 3, 6}));
    EXPECT_EQ(chain->blocks()[8].fileOffset, kTemplateSize);
    EXPECT_EQ(shp::ComponentView(chain->blocks()[1].record(0)).name(), "Tbolt test");
    EXPECT_EQ(chain->blocks()[0].data[20], 2);
    EXPECT_EQ(f32At(r.shp, 0x1A6 - 4), 5000.0f);

    // Vertices scaled so the farthest lies at 750; each with normal (0,0,1), the
    // flag 1 and its own position.
    const float expectV[3][3] = {{0, 0, 0}, {750, 0, 0}, {0, 750, 0}};
    for (size_t i = 0; i < 3; ++i) {
        for (size_t k = 0; k < 3; ++k)
            EXPECT_EQ(f32At(r.shp, vertexAt(i) + 4 * k), expectV[i][k]);
        EXPECT_EQ(f32At(r.shp, vertexAt(i) + 20), 1.0f);
        EXPECT_EQ(u32At(r.shp, vertexAt(i) + 24), 1u);
        EXPECT_EQ(u32At(r.shp, vertexAt(i) + 28), i);
    }
    size_t f = faceAt(3, 0);
    EXPECT_EQ(u32At(r.shp, faceBlock(3)), 0x00500003u);
    EXPECT_EQ(r.shp[f + 4], 0x17);
    EXPECT_EQ(u32At(r.shp, f + 12), 0u);
    EXPECT_EQ(u32At(r.shp, f + 16), 1u);
    EXPECT_EQ(u32At(r.shp, f + 20), 2u);
    // u of corners a, b, c, then v of corners a, b, c, then the face normal.
    const float uvn[9] = {0, 1, 0, 0, 0, 1, 0, 0, 1};
    for (size_t k = 0; k < 9; ++k)
        EXPECT_EQ(f32At(r.shp, f + 24 + 4 * k), uvn[k]) << k;
    size_t tex = faceAt(3, 1);
    EXPECT_EQ(u32At(r.shp, tex), 0x00400006u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r.shp[tex + 6])), "hull.tga");
    EXPECT_TRUE(
        std::equal(shp::kTerminatorBytes.begin(), shp::kTerminatorBytes.end(), r.shp.end() - 6));
}

TEST(Convert, SecondMeshIndicesAreOffset) {
    Mesh3ds second = triangle("B");
    second.vertices = {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}, {5, 5, 6}};
    second.mapping = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    second.faces = {{0, 1, 2}, {1, 2, 3}};
    Converter c;
    RunResult r = c.run(write3ds(modelOf({triangle("A"), second})));
    ASSERT_EQ(r.code, kConverted) << r.text;
    EXPECT_NE(r.text.find("  Processing 3 vertices\n"), std::string::npos);
    EXPECT_NE(r.text.find("  Processing 4 vertices\n"), std::string::npos);
    ASSERT_EQ(u32At(r.shp, kVertexBlock + 4) & 0xFFFF, 7u);
    auto corners = [&](size_t i) {
        size_t f = faceAt(7, i);
        return std::array<uint32_t, 3>{u32At(r.shp, f + 12), u32At(r.shp, f + 16),
                                       u32At(r.shp, f + 20)};
    };
    EXPECT_EQ(corners(0), (std::array<uint32_t, 3>{0, 1, 2}));
    EXPECT_EQ(corners(1), (std::array<uint32_t, 3>{3, 4, 5}));
    EXPECT_EQ(corners(2), (std::array<uint32_t, 3>{4, 5, 6}));
}

TEST(Convert, BitIdenticalVerticesMergeToTheFirst) {
    Mesh3ds m;
    // Vertex 3 repeats vertex 1; vertex 4 repeats vertex 0 with -0.0 coordinates.
    m.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {-0.0f, 0, -0.0f}};
    m.mapping = {{0, 0}, {1, 0}, {0, 1}, {0.5f, 0.5f}, {0.25f, 0.25f}};
    m.faces = {{3, 2, 4}};
    Converter c;
    RunResult r = c.run(write3ds(modelOf({m})));
    ASSERT_EQ(r.code, kConverted) << r.text;
    ASSERT_EQ(u32At(r.shp, kVertexBlock + 4) & 0xFFFF, 5u);  // nothing deleted
    size_t f = faceAt(5, 0);
    EXPECT_EQ(u32At(r.shp, f + 12), 1u);
    EXPECT_EQ(u32At(r.shp, f + 16), 2u);
    EXPECT_EQ(u32At(r.shp, f + 20), 0u);
    // The corners keep the texture coordinates of the vertices they named first.
    EXPECT_EQ(f32At(r.shp, f + 24), 0.5f);
    EXPECT_EQ(f32At(r.shp, f + 32), 0.25f);
    // The later duplicate lost its face: its normal stays zero.
    for (size_t k = 0; k < 3; ++k)
        EXPECT_EQ(f32At(r.shp, vertexAt(3) + 12 + 4 * k), 0.0f);
}

TEST(Convert, FastMergeAndNormalsMatchTheQuadraticScan) {
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        std::mt19937 rng(seed);
        // Few distinct coordinates make many repeats; some are -0.0 and NaN.
        const float values[] = {0.0f, -0.0f, 1.0f,
                                2.5f, -3.0f, std::numeric_limits<float>::quiet_NaN()};
        std::uniform_int_distribution<int> pick(0, 5), pickNoNan(0, 4);
        ConvModel m;
        for (int32_t i = 0; i < 400; ++i) {
            auto& d = (i % 37 == 0) ? pick : pickNoNan;
            m.vertices.push_back(
                {values[d(rng)], values[d(rng)], values[d(rng)], 0, 0, 0, 0, 0, i});
        }
        std::uniform_int_distribution<int32_t> corner(0, 399);
        for (int i = 0; i < 600; ++i)
            m.faces.push_back({corner(rng), corner(rng), corner(rng), 0, 0, 0, 0, 0, 0, 0, 0, 0});

        ConvModel fast = m, slow = m;
        DiscardOutput out;
        removeRepeatedVertices(fast);
        calculateNormals(fast, out);
        ovtest::quadraticMerge(slow);
        calculateNormals(slow, out);  // face normals
        ovtest::quadraticVertexNormals(slow);

        for (size_t i = 0; i < m.faces.size(); ++i) {
            ASSERT_EQ(fast.faces[i].a, slow.faces[i].a) << seed << " face " << i;
            ASSERT_EQ(fast.faces[i].b, slow.faces[i].b) << seed << " face " << i;
            ASSERT_EQ(fast.faces[i].c, slow.faces[i].c) << seed << " face " << i;
        }
        for (size_t i = 0; i < m.vertices.size(); ++i) {
            const auto& a = fast.vertices[i];
            const auto& b = slow.vertices[i];
            ASSERT_EQ(std::bit_cast<uint32_t>(a.nx), std::bit_cast<uint32_t>(b.nx)) << i;
            ASSERT_EQ(std::bit_cast<uint32_t>(a.ny), std::bit_cast<uint32_t>(b.ny)) << i;
            ASSERT_EQ(std::bit_cast<uint32_t>(a.nz), std::bit_cast<uint32_t>(b.nz)) << i;
        }
    }
}

TEST(Convert, DegenerateTriangleWarnsAndKeepsItsZeroNormal) {
    Mesh3ds m = triangle();
    m.vertices.push_back({2, 0, 0});
    m.mapping.push_back({1, 1});
    m.faces.push_back({0, 1, 3});  // three corners on one line
    Converter c;
    RunResult r = c.run(write3ds(modelOf({m})));
    ASSERT_EQ(r.code, kConverted) << r.text;
    EXPECT_NE(r.text.find("- Calculating normal vectors... "
                          "Warning: ||n|| == 0 ?? Attempting to continue...\nDONE!\n"),
              std::string::npos)
        << r.text;
    size_t f = faceAt(4, 1);
    for (size_t k = 0; k < 3; ++k)
        EXPECT_EQ(f32At(r.shp, f + 48 + 4 * k), 0.0f);
    // Vertex 1 averages (0,0,1) and (0,0,0), without normalising again.
    EXPECT_EQ(f32At(r.shp, vertexAt(1) + 20), 0.5f);
}

TEST(Convert, FailuresReturnTheirCodeAndWriteNothing) {
    Mesh3ds unmapped = triangle("Bare");
    unmapped.mapping.clear();
    Mesh3ds mismatched = triangle();
    mismatched.mapping.pop_back();
    Mesh3ds origin = triangle();
    origin.vertices = {{0, 0, 0}, {-0.0f, 0, 0}, {0, 0, 0}};
    Mesh3ds wild = triangle();
    wild.faces = {{0, 1, 3}};
    Mesh3ds huge;
    for (int i = 0; i < kMaxVertices + 1; ++i) {
        huge.vertices.push_back({float(i), 1, 1});
        huge.mapping.push_back({0, 0});
    }
    Mesh3ds half;  // 3000 faces; two of them exceed the face limit together
    half.vertices = triangle().vertices;
    half.mapping = triangle().mapping;
    half.faces.assign(3000, Face3ds{0, 1, 2});

    // A vertex list whose count claims a fourth vertex it does not hold.
    Bytes truncated = write3ds(modelOf({triangle()}));
    storeU16LE(&truncated[0x56 + 6], 4);
    // Two meshes, cut in the middle of the second one's vertex list.
    const Bytes one = write3ds(modelOf({triangle("A")}));
    Bytes two = write3ds(modelOf({triangle("A"), triangle("B")}));
    two.resize(one.size() + 40);

    struct Case {
        const char* name;
        Bytes file;
        std::string texture;
        std::string shpName;
        int code;
        const char* line;
    };
    const std::string ok = "ok.tga";
    const Case cases[] = {
        {"no mapping list", write3ds(modelOf({unmapped})), ok, "o.shp", kNoMapping,
         "    CANNOT FIND TEXTURE COORDINATES!!\n"
         "    Check that all meshes in the model were textured!\n"},
        // The next mesh's mapping list must not stand in for the missing one.
        {"no mapping list before a mapped mesh", write3ds(modelOf({unmapped, triangle()})), ok,
         "o.shp", kNoMapping, "    CANNOT FIND TEXTURE COORDINATES!!\n"},
        {"mapping count differs", write3ds(modelOf({mismatched})), ok, "o.shp", kMappingMismatch,
         "    ERROR READING TEXTURE COORDINATES!!\n"
         "    Check that all meshes in the model were textured!\n"},
        {"too many vertices", write3ds(modelOf({huge})), ok, "o.shp", kTooLarge,
         "MODEL TOO LARGE!!"},
        {"too many faces in total", write3ds(modelOf({half, half})), ok, "o.shp", kTooLarge,
         "MODEL TOO LARGE!!"},
        {"every vertex at the origin", write3ds(modelOf({origin})), ok, "o.shp", kAllAtOrigin,
         "- Smart-scaling mesh(es)... FAILED!\n"},
        {"texture name of 64 characters", write3ds(modelOf({triangle()})), std::string(64, 't'),
         "o.shp", kNameTooLong, "TEXTURE NAME TOO LONG!!"},
        {"output path over 79 characters", write3ds(modelOf({triangle()})), ok,
         std::string(200, 'p') + ".shp", kNameTooLong, "SHP FILE PATH TOO LONG!!"},
        {"output folder missing", write3ds(modelOf({triangle()})), ok, "none/o.shp", kCannotWrite,
         "  FAILED!\nCan't write "},
        {"vertex count beyond the chunk", truncated, ok, "o.shp", kMalformed,
         "MALFORMED 3DS DATA!!\n    Mesh 1: vertex 3 cannot be read.\n"},
        {"corner beyond its mesh", write3ds(modelOf({wild})), ok, "o.shp", kMalformed,
         "Mesh 1: face 0 uses vertex 3 of 3.\n"},
        {"cut short in the second mesh", two, ok, "o.shp", kMalformed,
         "MALFORMED 3DS DATA!!\n    The file is cut short: chunk 0x4D4D \"Main\" at offset 0x0"},
        {"empty", {}, ok, "o.shp", kMalformed, "The file is cut short: the file is empty.\n"},
    };
    for (const auto& c : cases) {
        Converter conv;
        RunResult r = conv.run(c.file, c.texture, c.shpName);
        EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.text;
        EXPECT_NE(r.text.find(c.line), std::string::npos) << c.name << "\n" << r.text;
        EXPECT_FALSE(r.written) << c.name;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(conv.dir.path()), {}), 1)
            << c.name << ": only the input may be left in the folder";
    }

    // Limits are inclusive: 63 characters of texture name are fine.
    Converter conv;
    EXPECT_EQ(conv.run(write3ds(modelOf({triangle()})), std::string(63, 't')).code, kConverted);
}

// The destination must be a regular file or nothing, and never the source under
// any of its names: anything else is the "cannot write" code, and stays as it was.
TEST(Convert, DestinationThatIsNotAFileOrIsTheSourceIsRefused) {
    ovtest::ScratchDir dir;
    const Bytes mesh = write3ds(modelOf({triangle()}));
    const auto in = dir / "in.3ds";
    ovtest::writeBytes(in, mesh);
    std::filesystem::create_directory(dir / "sub");
    std::vector<std::pair<std::string, std::string>> cases = {
        {in.string(), "the 3DS file being converted"},
        {(dir / "sub" / ".." / "in.3ds").string(), "the 3DS file being converted"},
        {(dir / "sub").string(), "Can't write"},
    };
#ifndef _WIN32
    std::filesystem::create_hard_link(in, dir / "second-name.3ds");
    cases.push_back({(dir / "second-name.3ds").string(), "the 3DS file being converted"});
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    cases.push_back({(dir / "pipe").string(), "a FIFO"});
    std::filesystem::create_symlink("/dev/null", dir / "null");
    cases.push_back({(dir / "null").string(), "a device"});
#endif
    for (const auto& [dest, line] : cases) {
        SCOPED_TRACE(dest);
        StringOutput out;
        EXPECT_EQ(convert(in.string().c_str(), "t", dest.c_str(), out), kCannotWrite) << out.text_;
        EXPECT_NE(out.text_.find(line), std::string::npos) << out.text_;
        EXPECT_EQ(ovtest::readBytes(in), mesh);
    }
#ifndef _WIN32
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "null"));
#endif
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
}

TEST(Convert, UnopenableInput) {
    ovtest::ScratchDir dir;
    StringOutput out;
    const std::string missing = (dir / "missing.3ds").string();
    EXPECT_EQ(convert(missing.c_str(), "t", (dir / "o.shp").string().c_str(), out), kCannotOpen);
    EXPECT_EQ(out.text_, "3DS -> OV Converter, v0.1\nCan't open " + missing + "!\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "o.shp"));
}

TEST(Convert, NamesInTheDumpNeverPassForChunks) {
    // An object whose name forges a vertex list head line, with a mapping-less
    // vertex list of its own: the name's text must not be parsed as data.
    Mesh3ds m = triangle("x\n  Chunk type \"Vertex list\"\n Vertices: 1\n X: 9, Y: 9, Z: 9");
    Converter c;
    RunResult r = c.run(write3ds(modelOf({m})));
    EXPECT_EQ(r.code, kConverted) << r.text;
    EXPECT_NE(r.text.find("  Processing 3 vertices\n"), std::string::npos) << r.text;
}

// Neither a file that is no 3DS file nor one without a mesh becomes an empty model.
TEST(Convert, NotA3dsFileOrNoMeshIsRefused) {
    ChunkWriter camerasOnly;
    camerasOnly.open(0x4D4D);
    camerasOnly.open(0x3D3D);
    camerasOnly.close();
    camerasOnly.close();
    const struct {
        const char* name;
        Bytes file;
        int code;
        const char* line;
    } cases[] = {
        {"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'}, kMalformed,
         "The file does not start with the 3DS main chunk."},
        {"empty", Bytes{}, kMalformed, "The file is cut short: the file is empty."},
        {"unknown first chunk", Bytes{0x34, 0x12, 6, 0, 0, 0}, kMalformed,
         "does not start with the 3DS main chunk"},
        {"main chunk alone", Bytes{0x4D, 0x4D, 6, 0, 0, 0}, kNoMesh, "NO MESH!!"},
        {"editor chunk without objects", camerasOnly.take(), kNoMesh, "NO MESH!!"},
    };
    for (const auto& c : cases) {
        Converter conv;
        RunResult r = conv.run(c.file);
        EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.text;
        EXPECT_NE(r.text.find(c.line), std::string::npos) << c.name << "\n" << r.text;
        EXPECT_FALSE(r.written) << c.name;
    }
}

// The committed rock (two bumpy meshes with seams whose repeated positions merge)
// converts to the committed SHP, which the Linux build wrote: every build, the
// Windows ones and the 32-bit DLL among them, must write the same bytes.
TEST(Convert, CommittedRockGivesTheCommittedShp) {
    const std::filesystem::path data = OV_TEST_DATA_DIR;
    Converter c;
    RunResult r = c.run(ovtest::readBytes(data / "rock.3ds"), "rock_skin");
    ASSERT_EQ(r.code, kConverted) << r.text;
    EXPECT_TRUE(r.shp == ovtest::readBytes(data / "rock.shp"));
}

TEST(Convert, SecondCallGivesTheSameOutput) {
    Bytes file = write3ds(modelOf({triangle("A"), triangle("B")}));
    Converter c;
    RunResult first = c.run(file);
    RunResult second = c.run(file);
    ASSERT_EQ(first.code, kConverted);
    EXPECT_EQ(second.code, kConverted);
    EXPECT_EQ(first.text, second.text);
    EXPECT_EQ(first.shp, second.shp);
}

// ---- The shared library, bound at run time ----------------------------------------

TEST(ConverterLibrary, LoadsAndConvertsThroughTheExport) {
    auto lib = ConverterLibrary::load(OV_3DS2OV_LIBRARY_FILE);
    ASSERT_TRUE(lib) << lib.error().describe();
    ovtest::ScratchDir dir;
    ovtest::writeBytes(dir / "in.3ds", write3ds(modelOf({triangle()})));
#ifndef _WIN32
    // The library's lines go to standard output: catch them in a file.
    std::fflush(stdout);
    int saved = dup(fileno(stdout));
    FILE* capture = std::fopen((dir / "stdout.txt").string().c_str(), "w");
    ASSERT_NE(capture, nullptr);
    dup2(fileno(capture), fileno(stdout));
#endif
    int code = lib->convert((dir / "in.3ds").string(), "hull.tga", (dir / "o.shp").string());
#ifndef _WIN32
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    std::fclose(capture);
    Bytes printed = ovtest::readBytes(dir / "stdout.txt");
    std::string text(printed.begin(), printed.end());
    EXPECT_EQ(text.rfind("3DS -> OV Converter, v0.1\n", 0), 0u) << text;
    EXPECT_NE(text.find("  Assigning texture name: hull.tga\n  DONE!\n"), std::string::npos);
#endif
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "o.shp"));
}

TEST(ConverterLibrary, ReportsWhatIsMissing) {
    ovtest::ScratchDir dir;
    auto missing = ConverterLibrary::load(dir / ConverterLibrary::kFileName);
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("Cannot load the converter library"), std::string::npos);
    EXPECT_NE(missing.error().message.find(ConverterLibrary::kFileName), std::string::npos);

    auto noExport = ConverterLibrary::load(OV_3DS2OV_LIBRARY_FILE, "convert3ds2shp");
    ASSERT_FALSE(noExport);
    EXPECT_NE(noExport.error().message.find("has no export \"convert3ds2shp\""), std::string::npos);
}

TEST(ConverterLibrary, FoundInOrderAndEveryResultCodeExplained) {
    const std::filesystem::path built = OV_3DS2OV_LIBRARY_FILE;
    // The user's choice is the only candidate, even when it is not there.
    EXPECT_EQ(converterLibraryCandidates("/nowhere/lib.so"),
              std::vector<std::filesystem::path>{"/nowhere/lib.so"});
    auto chosen = findConverterLibrary("/nowhere/lib.so");
    ASSERT_FALSE(chosen);
    EXPECT_NE(chosen.error().message.find("/nowhere/lib.so"), std::string::npos);
#ifndef _WIN32
    // Then the environment's, alone; without it the build's library is found.
    setenv(kConverterLibraryVariable, built.c_str(), 1);
    EXPECT_EQ(converterLibraryCandidates(), std::vector<std::filesystem::path>{built});
    unsetenv(kConverterLibraryVariable);
#endif
    const auto candidates = converterLibraryCandidates();
    ASSERT_FALSE(candidates.empty());
    EXPECT_EQ(candidates.back(), built);
    EXPECT_TRUE(findConverterLibrary());

    // Each code the export returns has a text of its own, the same as ResultCode's.
    std::vector<std::string> texts;
    for (int code : {kConverted, kNoMapping, kMappingMismatch, kCannotOpen, kTooLarge, kAllAtOrigin,
                     kNameTooLong, kCannotWrite, kMalformed, kNoMesh})
        texts.push_back(converterResultText(code));
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end());
    EXPECT_EQ(converterResultText(3), "the 3DS file cannot be opened");
    EXPECT_EQ(converterResultText(10), "unknown result code 10");
    EXPECT_EQ(converterResultText(-1), "unknown result code -1");
}

// ---- The helper process's side -------------------------------------------------------

TEST(ConverterHelper, ReportLinesReadBack) {
    const std::string failure = converterFailureLine("Cannot load \"x\":\nno such file");
    EXPECT_EQ(std::count(failure.begin(), failure.end(), '\n'), 1) << "one line, whatever the text";
    struct Case {
        std::string errorText;
        std::optional<int> code;
        std::string failure;
        bool found;
    };
    const Case cases[] = {
        {converterReportLine(0), 0, "", true},
        {converterReportLine(7), 7, "", true},
        {converterReportLine(-3), -3, "", true},
        {"a sanitizer's note\r\n" + converterReportLine(2) + "more notes\n", 2, "", true},
        {converterFailureLine("Cannot load \"x\":\nno such file"), std::nullopt,
         "Cannot load \"x\": no such file", true},
        // The last report line counts.
        {converterReportLine(1) + converterReportLine(0), 0, "", true},
        {"", std::nullopt, "", false},
        {"3ds2ov-result \n3ds2ov-result 12x\nSegmentation fault\n", std::nullopt, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.errorText);
        auto report = parseConverterReport(c.errorText);
        ASSERT_EQ(report.has_value(), c.found);
        if (!report) continue;
        EXPECT_EQ(report->resultCode, c.code);
        EXPECT_EQ(report->failure, c.failure);
    }
}

TEST(ConverterHelper, BindsCallsAndReports) {
    ovtest::ScratchDir dir;
    ovtest::writeBytes(dir / "in.3ds", write3ds(modelOf({triangle()})));
    const std::string in = (dir / "in.3ds").string(), out = (dir / "o.shp").string();

    testing::internal::CaptureStderr();
#ifndef _WIN32
    // The library's lines go to the same standard output (a DLL may have a C
    // runtime of its own on Windows, whose output is not caught here).
    testing::internal::CaptureStdout();
#endif
    const int called = runConverterHelper({in, "hull.tga", out, OV_3DS2OV_LIBRARY_FILE});
#ifndef _WIN32
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("3DS -> OV Converter, v0.1\n", 0), 0u) << printed;
#endif
    auto report = parseConverterReport(testing::internal::GetCapturedStderr());
    EXPECT_EQ(called, 0);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->resultCode, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "o.shp"));

    // A missing library is a failure line naming it, and nothing is written.
    testing::internal::CaptureStderr();
    const int unbound =
        runConverterHelper({in, "hull.tga", (dir / "p.shp").string(), (dir / "none.so").string()});
    report = parseConverterReport(testing::internal::GetCapturedStderr());
    EXPECT_EQ(unbound, 1);
    ASSERT_TRUE(report);
    EXPECT_FALSE(report->resultCode);
    EXPECT_NE(report->failure.find("none.so"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "p.shp"));

    testing::internal::CaptureStderr();
    EXPECT_EQ(runConverterHelper({in, "hull.tga"}), 2);
    report = parseConverterReport(testing::internal::GetCapturedStderr());
    ASSERT_TRUE(report);
    EXPECT_NE(report->failure.find("usage"), std::string::npos);
}
