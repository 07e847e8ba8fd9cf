#include <gtest/gtest.h>

#include <cstring>

#include "common/shp.h"
#include "common/shp_build.h"
#include "support/test_support.h"

using namespace ov;
using namespace ov::shp;

namespace {

BlockChain sampleModel() {
    ComponentSpec hull;
    hull.name = "Hull";
    hull.kind = 0;
    hull.position = {1, 2, 3};
    hull.value212 = 7;
    hull.switch240 = 1;
    hull.value260 = 9;
    hull.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    hull.faces = {{0, 1, 2, 0, {0, 1, 0}, {0, 0, 1}, 0}};
    hull.textures = {"hull.tga"};
    hull.attachments = {makeAttachment(3, {0, 0, 5}, 4), makeAttachment(0, {1, 0, 0})};
    hull.boxes = {{{0, 0, 0}, {2, 2, 2}}};
    ComponentSpec turret = hull;
    turret.name = "Turret";
    turret.kind = 3;
    turret.attachments = {};
    turret.block13 = true;
    return buildModel(2, {hull, turret});
}

Bytes block(uint16_t type, uint16_t size, uint16_t count, ByteSpan records) {
    ByteWriter w;
    w.u16le(type);
    w.u16le(size);
    w.u16le(count);
    w.bytes(records);
    return w.take();
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST(ShpRecognition, TerminatorTestComesFirst) {
    struct Case {
        const char* name;
        Bytes data;
        Recognition expected;
    };
    const Bytes term(kTerminatorBytes.begin(), kTerminatorBytes.end());
    const Case cases[] = {
        {"terminator only", term, Recognition::Unpacked},
        {"packed", {0x10, 0xFB, 0, 0, 0, 0xFC}, Recognition::Packed},
        {"packed signature but ends with terminator", concat({{0x10, 0xFB}, term}),
         Recognition::Unpacked},
        {"0x11 0xFB is not recognised", {0x11, 0xFB, 0, 0, 0, 0, 0, 0, 0xFC}, Recognition::Unknown},
        {"empty", {}, Recognition::Unknown},
        {"one byte", {0x10}, Recognition::Unknown},
        {"terminator with trailing byte", concat({term, {0}}), Recognition::Unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(recognize(c.data), c.expected) << c.name;
}

TEST(ShpChain, RoundTripsByteForByte) {
    // Unknown types, unusual record sizes, count 0 blocks and odd sizes.
    const Bytes odd(7 * 3, 0xAB);
    const Bytes header(88, 0x11);
    const Bytes table(100, 0x22);  // a "reduced" Type-1 table of 100-byte records
    const Bytes raw =
        concat({block(0, 88, 1, header), block(1, 100, 1, table), block(9, 168, 0, {}),
                block(0x1234, 7, 3, odd), block(5, 0, 40, {}), block(0xFFFF, 0, 0, {})});
    auto chain = BlockChain::read(raw);
    ASSERT_TRUE(chain) << chain.error().describe();
    EXPECT_EQ(chain->size(), 5u);
    EXPECT_EQ(chain->write(), raw);

    const Bytes built = sampleModel().write();
    auto again = BlockChain::read(built);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->write(), built);
}

TEST(ShpChain, EveryPrefixIsRefusedCleanly) {
    const Bytes full = sampleModel().write();
    for (size_t n = 0; n < full.size(); ++n) {
        // A fresh heap copy of exactly n bytes, so the sanitizer sees its end.
        auto copy = std::make_unique<uint8_t[]>(n ? n : 1);
        std::memcpy(copy.get(), full.data(), n);
        auto chain = BlockChain::read(ByteSpan(copy.get(), n));
        ASSERT_FALSE(chain) << "prefix of " << n << " bytes was accepted";
        EXPECT_FALSE(chain.error().message.empty());
    }
}

TEST(ShpChain, TruncationNamesWhereTheFileEnds) {
    const Bytes raw = concat({block(0, 88, 1, Bytes(88, 0)), block(3, 80, 1000, Bytes(80, 0))});
    auto chain = BlockChain::read(raw);
    ASSERT_FALSE(chain);
    EXPECT_NE(chain.error().message.find("truncated at byte " + std::to_string(raw.size())),
              std::string::npos)
        << chain.error().message;
    EXPECT_NE(chain.error().message.find("block 1"), std::string::npos);
    EXPECT_EQ(chain.error().offset, 94u);
}

TEST(ShpChain, LookupsAndRecordEditing) {
    BlockChain chain = sampleModel();
    auto t1 = chain.componentTable();
    ASSERT_TRUE(t1);
    EXPECT_EQ(*t1, 1u);
    auto secondNine = chain.nth(BlockType::Attachments, 1);
    ASSERT_TRUE(secondNine);
    auto verts = chain.firstAfter(*secondNine, BlockType::Vertices);
    ASSERT_TRUE(verts);
    EXPECT_GT(*verts, *secondNine);
    EXPECT_FALSE(chain.nth(BlockType::Attachments, 2));
    EXPECT_EQ(chain.count(BlockType::GroupOpener), 2u);

    size_t first9 = *chain.nth(BlockType::Attachments, 0);
    ASSERT_EQ(chain.blocks()[first9].recordCount, 2u);
    EXPECT_TRUE(chain.removeRecord(first9, 0));
    EXPECT_FALSE(chain.removeRecord(first9, 1));
    ASSERT_EQ(chain.blocks()[first9].recordCount, 1u);
    EXPECT_EQ(AttachmentView(chain.blocks()[first9].record(0)).kind(), 0u);
    EXPECT_TRUE(chain.appendRecord(first9, defaultAttachment(4)));
    EXPECT_EQ(chain.blocks()[first9].data.size(), 2u * kAttachmentRecordSize);
    EXPECT_EQ(AttachmentView(chain.blocks()[first9].record(1)).kind(), 4u);
}

TEST(ShpViews, FieldsOfTheBuiltModel) {
    BlockChain chain = sampleModel();
    EXPECT_EQ(shipClass(chain), 2);
    EXPECT_TRUE(setShipClass(chain, 1));
    EXPECT_EQ(chain.write()[kShipClassFileOffset], 1);

    Block& table = chain.blocks()[*chain.componentTable()];
    ComponentView c(table.record(0));
    EXPECT_EQ(c.name(), "Hull");
    EXPECT_EQ(c.kind(), 0u);
    EXPECT_EQ(c.position().z, 3.0f);
    EXPECT_EQ(c.value212(), 7u);
    EXPECT_EQ(c.switch240(), 1u);
    EXPECT_EQ(c.value260(), 9u);

    Block& faces = chain.blocks()[*chain.nth(BlockType::Faces, 0)];
    FaceView f(faces.record(0));
    EXPECT_EQ(f.corners(), (std::array<uint32_t, 3>{0, 1, 2}));
    EXPECT_EQ(f.u()[1], 1.0f);
    EXPECT_EQ(f.v()[2], 1.0f);

    Block& boxes = chain.blocks()[*chain.nth(BlockType::Boxes, 0)];
    EXPECT_EQ(BoxView(boxes.record(0)).halfExtents().y, 2.0f);

    Block& att = chain.blocks()[*chain.nth(BlockType::Attachments, 0)];
    AttachmentView gun(att.record(0));
    EXPECT_EQ(gun.gunType(), 4u);
    EXPECT_EQ(attachmentListName(gun), "Gun: Proton Cannon");
    EXPECT_EQ(gun.position().z, 5.0f);

    EXPECT_EQ(block13Values(chain.blocks()[*chain.nth(BlockType::Block13, 1)]),
              (std::vector<uint32_t>{2, 5}));
    EXPECT_TRUE(block13Values(chain.blocks()[*chain.nth(BlockType::Block13, 0)]).empty());
}

TEST(ShpViews, ShortRecordsReadAsZeroAndRefuseWrites) {
    Bytes rec(70, 0xFF);
    ComponentView c(rec);
    EXPECT_EQ(c.value212(), 0u);
    EXPECT_FALSE(c.setU32(212, 1));
    EXPECT_EQ(c.kind(), 0xFFFFFFFFu);
    EXPECT_FALSE(c.setVec3(68, {1, 1, 1}));  // needs 12 bytes at 68, only 2 left
}

TEST(ShpTables, Names) {
    EXPECT_EQ(shipClassName(0), "Fighter");
    EXPECT_EQ(shipClassName(2), "Fighter + Cloak");
    EXPECT_EQ(shipClassName(7), "[Value = 7]");
    EXPECT_EQ(componentKindName(3), "Fighter turret");
    EXPECT_EQ(componentKindName(0x105), "[Value = 5]");
    EXPECT_STREQ(gunTypeName(15), "Coalition Huge Gun");
    EXPECT_STREQ(gunTypeName(0), "");
    EXPECT_EQ(gunTypeName(16), nullptr);
    EXPECT_STREQ(attachedObjectName(17), "Coal. Capship Turret");
    EXPECT_EQ(attachedObjectName(18), nullptr);
    EXPECT_STREQ(attachMenuName(1), "Gun Object (type1)");

    struct Case {
        uint32_t kind, type;
        const char* name;
    };
    const Case cases[] = {{0, 0, "Missile Mount Point"}, {1, 3, "Obj: Double Barrel Lasers"},
                          {2, 0, "Engine Flame"},        {3, 9, "Gun: Gattling Plasma Cannon"},
                          {4, 0, "Blinking Light"},      {7, 0, "Unknown: Type 7"}};
    for (const Case& c : cases) {
        std::array<uint8_t, kAttachmentRecordSize> rec{};
        storeU32LE(&rec[0], c.kind);
        storeU32LE(&rec[52], c.type);
        storeU32LE(&rec[100], c.type);
        EXPECT_EQ(attachmentListName(AttachmentView(rec)), c.name);
    }
}

TEST(ShpTables, DefaultAttachmentsAreBitExact) {
    struct Field {
        uint32_t kind;
        size_t offset;
        uint32_t bits;
    };
    const Field fields[] = {
        {0, 56, 5},           {0, 100, 479},       {0, 80, 0xC3C80000},
        {0, 120, 0x3F800000}, {1, 0, 1},           {1, 16, 0x3F3BD5B8},
        {1, 20, 0x3F2DEFDE},  {1, 28, 0xBF2DEFDE}, {1, 32, 0x3F3BD5B8},
        {1, 36, 0x80000000},  {1, 40, 0x80000000}, {1, 116, 0x3F3BD399},
        {1, 120, 0x3F2DF227}, {1, 80, 0xC4020000}, {2, 20, 0x80000000},
        {2, 36, 0x80000000},  {2, 52, 1},          {3, 16, 0x3F5E3C9A},
        {3, 20, 0x3EFE23F4},  {3, 28, 0xBEFE23F4}, {3, 100, 4},
        {3, 40, 0x80000000},  {4, 84, 100},        {4, 88, 1500},
        {4, 116, 0x44160000}, {4, 36, 0x80000000},
    };
    for (const Field& f : fields)
        EXPECT_EQ(loadU32LE(&defaultAttachment(f.kind)[f.offset]), f.bits)
            << "kind " << f.kind << " offset " << f.offset;

    // Everything not listed is zero: count the non-zero words of each kind.
    const size_t nonZero[] = {12, 15, 10, 14, 13};
    for (uint32_t k = 0; k < 5; ++k) {
        size_t n = 0;
        for (size_t off = 0; off < kAttachmentRecordSize; off += 4)
            n += loadU32LE(&defaultAttachment(k)[off]) != 0;
        EXPECT_EQ(n, nonZero[k]) << "kind " << k;
    }
}
