#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <limits>

#include "common/fileio.h"
#include "common/refpack.h"
#include "common/shp_build.h"
#include "ovtool/model/document.h"
#include "support/test_support.h"

using namespace ov;
using namespace ov::shp;
using namespace ov::model;
using ovtest::RecordingReporter;
using ovtest::ScratchDir;
namespace fs = std::filesystem;

namespace {

// Components whose blocks all differ, so that pairing mistakes show.
ComponentSpec part(const std::string& name, int i) {
    ComponentSpec c;
    c.name = name;
    c.kind = uint32_t(i % 4);
    c.position = {float(i), float(2 * i), float(3 * i)};
    c.value212 = uint32_t(100 + i);
    float f = float(i);
    c.vertices = {{f, 0, 0}, {0, f + 1, 0}, {0, 0, f + 2}, {f, f, f}};
    c.faces = {{0, 1, 2, 0, {0, 1, 0}, {0, 0, 1}, 0}, {1, 2, 3, 0, {}, {}, 3}};
    c.textures = {name + ".tga"};
    for (int a = 0; a <= i % 3; ++a)
        c.attachments.push_back(makeAttachment(uint32_t((i + a) % 5), {f, float(a), 1}));
    c.boxes = {{{f, 0, 0}, {1, 1, f + 1}}};
    c.block13 = i % 2 == 1;
    return c;
}

BlockChain makeModel(std::initializer_list<const char*> names, int first = 0, uint8_t cls = 0) {
    std::vector<ComponentSpec> parts;
    int i = first;
    for (const char* n : names)
        parts.push_back(part(n, i++));
    return buildModel(cls, parts);
}

// A Type-1 table of 100-byte records: the "reduced version of Block1".
BlockChain reduced(BlockChain chain) {
    Block& t = chain.blocks()[*chain.componentTable()];
    Bytes cut;
    for (size_t i = 0; i < t.recordCount; ++i)
        cut.insert(cut.end(), t.record(i).begin(), t.record(i).begin() + 100);
    t.recordSize = 100;
    t.data = cut;
    return chain;
}

ComponentBlocks locate(const BlockChain& chain, size_t k) {
    const ChainIndex index(chain);
    return ModelView(chain, index).locate(k);
}

// Component k's Type-1 record and the blocks that counting pairs it with.
std::vector<Bytes> fingerprint(const BlockChain& chain, size_t k) {
    const Block& table = chain.blocks()[*chain.componentTable()];
    auto rec = table.record(k);
    std::vector<Bytes> parts{Bytes(rec.begin(), rec.end())};
    ComponentBlocks at = locate(chain, k);
    for (auto i : {at.opener, at.boxes, at.attachments, at.vertices, at.faces, at.textures})
        parts.push_back(i ? chain.blocks()[*i].data : Bytes{0xEE, 0xEE});
    return parts;
}

Bytes packed(ByteSpan plain) {
    auto p = refpack::encode(plain);
    EXPECT_TRUE(p);
    return *p;
}

struct Said {
    std::string caption;
    std::string textStart;  // the message must start with this
};

void expectSaid(const RecordingReporter& r, const std::vector<Said>& expected,
                const std::string& context) {
    ASSERT_EQ(r.said.size(), expected.size()) << context;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(r.said[i].title, expected[i].caption) << context;
        EXPECT_EQ(r.said[i].text.rfind(expected[i].textStart, 0), 0u)
            << context << ": " << r.said[i].text;
    }
}

const Said kCompressed{kCompressedCaption, kCompressedText};
const Said kNotShp{kNotShpCaption, kNotShpText};

}  // namespace

// ---------------------------------------------------------------------------

TEST(ModelOpen, EachFormOfFile) {
    const Bytes plain = makeModel({"Hull", "Wing"}).write();
    Bytes truncated(plain.begin(), plain.begin() + 700);
    truncated.insert(truncated.end(), kTerminatorBytes.begin(), kTerminatorBytes.end());
    Bytes cutStream = packed(plain);
    cutStream.resize(cutStream.size() - 3);
    // A stream that ends properly but states more bytes than its commands produce.
    Bytes overstated = packed(plain);
    overstated[4] = uint8_t(overstated[4] + 1);
    const Bytes terminatorOnly(kTerminatorBytes.begin(), kTerminatorBytes.end());

    struct Case {
        const char* name;
        Bytes bytes;
        bool loads;
        std::vector<Said> said;
    };
    const Case cases[] = {
        {"unpacked", plain, true, {}},
        {"packed", packed(plain), true, {kCompressed}},
        {"double-packed", packed(packed(plain)), false, {kCompressed, kNotShp}},
        {"packed garbage", packed(ovtest::randomBytes(500, 3)), false, {kCompressed, kNotShp}},
        {"packed stream cut short", cutStream, false, {kCompressed, kNotShp}},
        {"packed size overstated", overstated, false, {kCompressed, kNotShp}},
        {"garbage", ovtest::randomBytes(500, 7), false, {kNotShp}},
        {"empty file", {}, false, {kNotShp}},
        {"truncated chain", truncated, false, {kNotShp}},
        {"terminator only", terminatorOnly, false, {}},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const fs::path file = dir / "ship.shp";
        ovtest::writeBytes(file, c.bytes);
        const fs::path cwd = fs::current_path();
        fs::current_path(dir.path());
        RecordingReporter r;
        Document doc(r);
        EXPECT_EQ(doc.open(file) == OpenResult::Loaded, c.loads) << c.name;
        fs::current_path(cwd);

        expectSaid(r, c.said, c.name);
        EXPECT_EQ(doc.loaded(), c.loads) << c.name;
        EXPECT_EQ(doc.fileName(), file) << c.name;
        if (c.loads) {
            EXPECT_EQ(doc.chain().write(), plain) << c.name;
            EXPECT_EQ(doc.componentNames(), (std::vector<std::string>{"Hull", "Wing"}));
        } else {
            EXPECT_TRUE(doc.componentNames().empty()) << c.name;
        }
        // Unpacking happens in memory: nothing but the model itself in the folder.
        size_t entries = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path()))
            ++entries;
        EXPECT_EQ(entries, 1u) << c.name;
    }
}

TEST(ModelOpen, TruncatedChainSaysWhereItEnds) {
    Bytes bytes = makeModel({"Hull"}).write();
    bytes.resize(400);
    bytes.insert(bytes.end(), kTerminatorBytes.begin(), kTerminatorBytes.end());
    ScratchDir dir;
    ovtest::writeBytes(dir / "t.shp", bytes);
    RecordingReporter r;
    Document doc(r);
    EXPECT_EQ(doc.open(dir / "t.shp"), OpenResult::Failed);
    ASSERT_EQ(r.said.size(), 1u);
    EXPECT_NE(r.said[0].text.find("truncated at byte 406"), std::string::npos) << r.said[0].text;
}

// "Error opening X!" is followed by the reason: a missing file, a folder, a file
// far larger than any model.
TEST(ModelOpen, UnreadableFileSaysErrorOpeningAndWhy) {
    ScratchDir dir;
    const fs::path huge = dir / "huge.shp";
    ovtest::writeBytes(huge, Bytes{});
    fs::resize_file(huge, shp::kMaxModelFile + 1);  // sparse: no disk space taken
    const std::pair<fs::path, const char*> cases[] = {
        {dir / "missing.shp", "no such file"},
        {dir.path(), "a folder, not a file"},
        {huge, "file too large"},
    };
    for (const auto& [p, reason] : cases) {
        RecordingReporter r;
        Document doc(r);
        EXPECT_EQ(doc.open(p), OpenResult::Failed);
        expectSaid(r, {{"Something went wrong...", "Error opening " + p.string() + "!\n\n"}},
                   p.string());
        EXPECT_NE(r.said[0].text.find(reason), std::string::npos) << r.said[0].text;
    }
}

TEST(ModelOpen, OpeningAgainFreesTheOldModel) {
    ScratchDir dir;
    ovtest::writeBytes(dir / "good.shp", makeModel({"A", "B"}).write());
    ovtest::writeBytes(dir / "bad.shp", ovtest::randomBytes(64, 1));
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "good.shp"), OpenResult::Loaded);
    EXPECT_EQ(doc.open(dir / "bad.shp"), OpenResult::Failed);
    EXPECT_FALSE(doc.loaded());
    EXPECT_TRUE(doc.chain().empty());
    EXPECT_EQ(doc.componentCount(), 0u);
    EXPECT_FALSE(doc.save());
    EXPECT_EQ(ovtest::readBytes(dir / "bad.shp"), ovtest::randomBytes(64, 1));
}

TEST(ModelOpen, BytesAfterTheTerminatorAreAnnounced) {
    Bytes bytes = makeModel({"A"}).write();
    const Bytes tail = makeModel({"B"}).write();
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    ScratchDir dir;
    ovtest::writeBytes(dir / "m.shp", bytes);
    RecordingReporter r;
    Document doc(r);
    EXPECT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
    ASSERT_EQ(r.said.size(), 1u);
    EXPECT_EQ(r.said[0].title, "Warning!");
    EXPECT_NE(r.said[0].text.find(std::to_string(tail.size()) + " bytes"), std::string::npos);
}

// ---------------------------------------------------------------------------

TEST(ModelSave, PackedModelIsSavedUnpackedUnderItsOwnName) {
    const BlockChain m = makeModel({"Hull", "Cockpit"});
    ScratchDir dir;
    ovtest::writeBytes(dir / "p.shp", packed(m.write()));
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "p.shp"), OpenResult::Loaded);
    EXPECT_TRUE(doc.wasPacked());
    ASSERT_TRUE(doc.save());
    EXPECT_EQ(ovtest::readBytes(dir / "p.shp"), m.write());
}

TEST(ModelSave, FailureLeavesTargetAndModelUntouched) {
    struct Case {
        const char* name;
        std::function<fs::path(const ScratchDir&)> target;
        std::optional<FileStep> step = std::nullopt;
        std::errc error = {};
    };
    const Case cases[] = {
        {"target is a folder",
         [](const ScratchDir& d) {
             fs::create_directory(d / "ship.shp");
             ovtest::writeBytes(d / "ship.shp" / "keep", Bytes{1, 2, 3});
             return d / "ship.shp";
         }},
        {"folder missing", [](const ScratchDir& d) { return d / "nowhere" / "ship.shp"; }},
        {"disk full", [](const ScratchDir& d) { return d / "ship.shp"; }, FileStep::Write,
         std::errc::no_space_on_device},
        {"read-only folder", [](const ScratchDir& d) { return d / "ship.shp"; }, FileStep::Create,
         std::errc::read_only_file_system},
    };
    const Bytes original = makeModel({"A", "B"}).write();
    for (const Case& c : cases) {
        ScratchDir dir;
        ovtest::writeBytes(dir / "in.shp", original);
        const fs::path target = c.target(dir);
        RecordingReporter r;
        Document doc(r);
        ASSERT_EQ(doc.open(dir / "in.shp"), OpenResult::Loaded);
        std::optional<ScopedFileFault> fault;
        if (c.step) fault.emplace(*c.step, 0, c.error);
        EXPECT_FALSE(doc.saveAs(target)) << c.name;
        fault.reset();
        ASSERT_EQ(r.said.size(), 1u) << c.name;
        EXPECT_EQ(r.said[0].title, "Warning!");
        // The editor's text, then the system's reason.
        const std::string text = "Error saving file \"" + target.string() + "\"\n\n";
        EXPECT_EQ(r.said[0].text.rfind(text, 0), 0u) << r.said[0].text;
        EXPECT_GT(r.said[0].text.size(), text.size() + 8) << c.name;
        if (c.step) {
            EXPECT_NE(r.said[0].text.find(std::make_error_code(c.error).message()),
                      std::string::npos);
        }
        EXPECT_TRUE(doc.loaded());
        EXPECT_EQ(doc.fileName(), dir / "in.shp");
        EXPECT_EQ(doc.chain().write(), original);
        // Nothing new next to the input: no half-written or temporary file.
        size_t entries = 0;
        for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(dir.path()))
            ++entries;
        EXPECT_EQ(entries, fs::is_directory(target) ? 3u : 1u) << c.name;
    }
}

TEST(ModelSave, KeepsTheFirstStateAsBak) {
    const BlockChain m = makeModel({"Hull", "Cockpit"});
    const Bytes first = packed(m.write());
    ScratchDir dir;
    ovtest::writeBytes(dir / "ship.shp", first);
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "ship.shp"), OpenResult::Loaded);
    ASSERT_TRUE(doc.setShipClass(1));
    ASSERT_TRUE(doc.save(Backup::KeepFirstState));
    EXPECT_EQ(doc.backupMade(), dir / "ship.bak");
    EXPECT_EQ(ovtest::readBytes(dir / "ship.bak"), first);
    const Bytes once = doc.chain().write();
    EXPECT_EQ(ovtest::readBytes(dir / "ship.shp"), once);

    // Later saves keep the first state, not the one before them.
    ASSERT_TRUE(doc.setShipClass(2));
    ASSERT_TRUE(doc.save(Backup::KeepFirstState));
    EXPECT_TRUE(doc.backupMade().empty());
    EXPECT_EQ(ovtest::readBytes(dir / "ship.bak"), first);

    // A new file has no first state to keep; without the option nothing is kept.
    ASSERT_TRUE(doc.saveAs(dir / "new.shp", Backup::KeepFirstState));
    EXPECT_FALSE(fs::exists(dir / "new.bak"));
    ASSERT_TRUE(doc.saveAs(dir / "new.shp"));
    EXPECT_FALSE(fs::exists(dir / "new.bak"));
    EXPECT_TRUE(r.said.size() == 1 && r.said[0].title == kCompressedCaption);

    // When the backup cannot be written the model is not saved either.
    ovtest::writeBytes(dir / "other.shp", first);
    ASSERT_TRUE(doc.setShipClass(0));
    {
        ScopedFileFault fault(FileStep::Create, 0, std::errc::read_only_file_system);
        EXPECT_FALSE(doc.saveAs(dir / "other.shp", Backup::KeepFirstState));
    }
    ASSERT_EQ(r.said.size(), 2u);
    EXPECT_EQ(r.said[1].title, kSaveErrorCaption);
    EXPECT_EQ(r.said[1].text.rfind(saveErrorText(dir / "other.bak"), 0), 0u) << r.said[1].text;
    EXPECT_EQ(ovtest::readBytes(dir / "other.shp"), first);
    EXPECT_FALSE(fs::exists(dir / "other.bak"));
    EXPECT_EQ(doc.fileName(), dir / "new.shp");
    EXPECT_TRUE(doc.modified());
}

TEST(ModelOpen, ABuiltModelIsNewAndUnsaved) {
    const BlockChain m = makeModel({"Hull", "Cockpit"});
    ScratchDir dir;
    ovtest::writeBytes(dir / "old.shp", makeModel({"Old"}).write());
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "old.shp"), OpenResult::Loaded);
    std::vector<Change> told;
    doc.addListener([&](Change c) { told.push_back(c); });
    ASSERT_EQ(doc.adopt(m), OpenResult::Loaded);
    EXPECT_EQ(told, (std::vector<Change>{Change::Closed, Change::Opened}));
    EXPECT_TRUE(doc.loaded());
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(doc.fileName().empty());
    EXPECT_EQ(doc.componentNames(), (std::vector<std::string>{"Hull", "Cockpit"}));
    // Without a name Save writes nothing; Save As names it.
    EXPECT_FALSE(doc.save());
    ASSERT_TRUE(doc.saveAs(dir / "built.shp"));
    EXPECT_EQ(ovtest::readBytes(dir / "built.shp"), m.write());
    EXPECT_FALSE(doc.modified());
    EXPECT_TRUE(r.said.empty());

    EXPECT_EQ(doc.adopt(BlockChain()), OpenResult::Empty);
    EXPECT_FALSE(doc.loaded());
}

TEST(ModelSave, WithoutAModelNothingHappens) {
    ScratchDir dir;
    RecordingReporter r;
    Document doc(r);
    EXPECT_FALSE(doc.saveAs(dir / "x.shp"));
    EXPECT_FALSE(fs::exists(dir / "x.shp"));
    EXPECT_TRUE(r.said.empty());
}

// ---------------------------------------------------------------------------

TEST(ModelMerge, AppendsComponentsKeepingEachPairedWithItsBlocks) {
    const BlockChain base = makeModel({"Hull", "Cockpit"});
    const BlockChain other = makeModel({"Turret", "Gun", "Tail"}, 5);
    ScratchDir dir;
    ovtest::writeBytes(dir / "base.shp", base.write());
    ovtest::writeBytes(dir / "other.shp", packed(other.write()));
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "base.shp"), OpenResult::Loaded);
    auto merged = doc.merge(dir / "other.shp");
    ASSERT_TRUE(merged && *merged);
    expectSaid(r, {kCompressed}, "merge");

    EXPECT_EQ(doc.componentNames(),
              (std::vector<std::string>{"Hull", "Cockpit", "Turret", "Gun", "Tail"}));
    ASSERT_TRUE(doc.saveAs(dir / "merged.shp"));
    auto reread = BlockChain::read(ovtest::readBytes(dir / "merged.shp"));
    ASSERT_TRUE(reread);
    for (const BlockChain* chain : {&doc.chain(), static_cast<const BlockChain*>(&*reread)}) {
        EXPECT_EQ(chain->count(BlockType::GroupOpener), 5u);
        for (size_t k = 0; k < 2; ++k)
            EXPECT_EQ(fingerprint(*chain, k), fingerprint(base, k)) << k;
        for (size_t k = 0; k < 3; ++k)
            EXPECT_EQ(fingerprint(*chain, k + 2), fingerprint(other, k)) << k;
        EXPECT_TRUE(checkModel(*chain).empty());
    }
    // Exactly the model built from all five components in this order.
    std::vector<ComponentSpec> all;
    for (auto [name, i] :
         {std::pair{"Hull", 0}, {"Cockpit", 1}, {"Turret", 5}, {"Gun", 6}, {"Tail", 7}})
        all.push_back(part(name, i));
    EXPECT_EQ(reread->write(), buildModel(0, all).write());
}

TEST(ModelMerge, RefusalsChangeNothing) {
    auto withBlock = [](BlockChain c, size_t at, uint32_t type) {
        c.blocks()[at].type = type;
        return c;
    };
    auto secondTable = [](BlockChain c) {
        c.appendBlock(c.blocks()[1]);
        return c;
    };
    const BlockChain good = makeModel({"X"}, 3);
    const Said bad{kBadShpCaption, kBadShpText};
    const Said reducedSaid{kReducedBlock1Caption, kReducedBlock1Text};
    struct Case {
        const char* name;
        std::optional<Bytes> other;  // nothing: the file does not exist
        bool baseReduced;
        std::vector<Said> said;
    };
    const Case cases[] = {
        {"first block not type 0", withBlock(good, 0, 5).write(), false, {bad}},
        {"second block not type 1", withBlock(good, 1, 5).write(), false, {bad}},
        {"another Type-1 block later", secondTable(good).write(), false, {bad}},
        {"header alone",
         [] {
             BlockChain c = makeModel({"X"});
             c.blocks().resize(1);
             return c.write();
         }(),
         false,
         {bad}},
        {"other reduced", reduced(good).write(), false, {reducedSaid}},
        {"own table reduced", good.write(), true, {reducedSaid}},
        {"other empty", Bytes(kTerminatorBytes.begin(), kTerminatorBytes.end()), false, {}},
        {"other garbage", ovtest::randomBytes(99, 5), false, {kNotShp}},
        {"other missing", std::nullopt, false, {{"Something went wrong...", "Error opening"}}},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const BlockChain base =
            c.baseReduced ? reduced(makeModel({"A", "B"})) : makeModel({"A", "B"});
        ovtest::writeBytes(dir / "base.shp", base.write());
        if (c.other) ovtest::writeBytes(dir / "other.shp", *c.other);
        RecordingReporter r;
        Document doc(r);
        ASSERT_EQ(doc.open(dir / "base.shp"), OpenResult::Loaded);
        auto merged = doc.merge(dir / "other.shp");
        EXPECT_FALSE(merged && *merged) << c.name;
        // Refused and said so, or (an empty model) nothing to do, silently.
        EXPECT_EQ(merged.ok(), c.said.empty()) << c.name;
        expectSaid(r, c.said, c.name);
        EXPECT_EQ(doc.chain().write(), base.write()) << c.name;
        EXPECT_TRUE(doc.loaded());
    }

    RecordingReporter r;
    Document nothing(r);
    auto merged = nothing.merge("anything.shp");
    EXPECT_TRUE(merged && !*merged);
    EXPECT_TRUE(r.said.empty());
}

// ---------------------------------------------------------------------------

TEST(ModelDelete, LaterComponentsKeepTheirBlocks) {
    const BlockChain original = makeModel({"A", "B", "C", "D"});
    for (size_t gone = 0; gone < 4; ++gone) {
        RecordingReporter r;
        Document doc(r);
        ScratchDir dir;
        ovtest::writeBytes(dir / "m.shp", original.write());
        ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
        ASSERT_TRUE(doc.deleteComponent(gone)) << gone;
        EXPECT_TRUE(r.said.empty());
        ASSERT_EQ(doc.componentCount(), 3u);
        for (uint16_t t : {BlockType::GroupOpener, BlockType::Boxes, BlockType::Attachments})
            EXPECT_EQ(doc.chain().count(t), 3u);
        for (size_t k = 0, was = 0; k < 3; ++k, ++was) {
            if (was == gone) ++was;
            EXPECT_EQ(fingerprint(doc.chain(), k), fingerprint(original, was))
                << "deleted " << gone << ", component " << k;
        }
        // Nothing of the deleted component's group is left behind.
        std::vector<ComponentSpec> rest;
        for (int i = 0; i < 4; ++i)
            if (size_t(i) != gone) rest.push_back(part(std::string(1, char('A' + i)), i));
        EXPECT_EQ(doc.chain().write(), buildModel(0, rest).write()) << gone;
        EXPECT_TRUE(checkModel(doc.chain()).empty());
    }
}

TEST(ModelDelete, RefusedWhereItWouldBreakTheModel) {
    auto withoutBox = [](BlockChain c) {
        auto i = c.nth(BlockType::Boxes, 1);
        c.blocks().erase(c.blocks().begin() + ptrdiff_t(*i));
        return c;
    };
    struct Case {
        const char* name;
        BlockChain chain;
        Said said;
    };
    const Case cases[] = {
        {"reduced Block1",
         reduced(makeModel({"A", "B", "C"})),
         {kReducedBlock1Caption, kReducedBlock1Text}},
        // Component 1's box block is gone: the second box block is component 2's.
        {"box block of another group",
         withoutBox(makeModel({"A", "B", "C"})),
         {kEditRefusedCaption, "Component 1 does not own"}},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ovtest::writeBytes(dir / "m.shp", c.chain.write());
        RecordingReporter r;
        Document doc(r);
        ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
        EXPECT_FALSE(doc.deleteComponent(1)) << c.name;
        expectSaid(r, {c.said}, c.name);
        EXPECT_EQ(doc.chain().write(), c.chain.write()) << c.name;
    }
}

// ---------------------------------------------------------------------------

TEST(ModelAttach, AppendsTheBitExactDefaultRecord) {
    auto f = [](float v) { return std::bit_cast<uint32_t>(v); };
    const uint32_t one = f(1.0f), nz = 0x80000000;
    // Every non-zero 32-bit field of the default record of each kind.
    const std::vector<std::vector<std::pair<size_t, uint32_t>>> fields = {
        {{16, one},
         {32, one},
         {48, one},
         {56, 5},
         {60, 8},
         {64, 6},
         {72, f(100)},
         {76, f(50)},
         {80, f(-400)},
         {100, 479},
         {116, f(1000)},
         {120, one}},
        {{0, 1},
         {16, 0x3F3BD5B8},
         {20, 0x3F2DEFDE},
         {28, 0xBF2DEFDE},
         {32, 0x3F3BD5B8},
         {36, nz},
         {40, nz},
         {48, one},
         {52, 2},
         {56, 2},
         {72, f(130)},
         {76, f(65)},
         {80, f(-520)},
         {116, 0x3F3BD399},
         {120, 0x3F2DF227}},
        {{0, 2},
         {16, one},
         {20, nz},
         {32, one},
         {36, nz},
         {48, one},
         {52, 1},
         {72, f(120)},
         {76, f(60)},
         {80, f(-440)}},
        {{0, 3},
         {16, 0x3F5E3C9A},
         {20, 0x3EFE23F4},
         {28, 0xBEFE23F4},
         {32, 0x3F5E3C9A},
         {36, nz},
         {40, nz},
         {48, one},
         {72, f(100)},
         {76, f(50)},
         {80, f(-400)},
         {100, 4},
         {116, f(1000)},
         {120, one}},
        {{0, 4},
         {16, one},
         {20, nz},
         {32, one},
         {36, nz},
         {48, one},
         {52, 3},
         {72, f(48)},
         {76, f(48)},
         {84, 100},
         {88, 1500},
         {116, f(600)},
         {120, one}},
    };
    const BlockChain original = makeModel({"A", "B", "C"});
    for (uint32_t kind = 0; kind < 5; ++kind) {
        std::array<uint8_t, kAttachmentRecordSize> expected{};
        for (auto [offset, bits] : fields[kind])
            storeU32LE(&expected[offset], bits);

        ScratchDir dir;
        ovtest::writeBytes(dir / "m.shp", original.write());
        RecordingReporter r;
        Document doc(r);
        ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
        const size_t before =
            original.blocks()[*original.nth(BlockType::Attachments, 1)].recordCount;
        auto index = doc.attach(1, kind);
        ASSERT_TRUE(index) << kind;
        EXPECT_EQ(*index, before);
        ASSERT_TRUE(doc.save());

        auto saved = BlockChain::read(ovtest::readBytes(dir / "m.shp"));
        ASSERT_TRUE(saved);
        const Block& b = saved->blocks()[*saved->nth(BlockType::Attachments, 1)];
        ASSERT_EQ(b.recordCount, before + 1);
        auto rec = b.record(before);
        EXPECT_TRUE(std::equal(rec.begin(), rec.end(), expected.begin())) << "kind " << kind;
        // Nothing else moved.
        Bytes earlier(b.data.begin(), b.data.begin() + ptrdiff_t(before * kAttachmentRecordSize));
        EXPECT_EQ(earlier, original.blocks()[*original.nth(BlockType::Attachments, 1)].data);
        for (size_t k : {0u, 2u})
            EXPECT_EQ(fingerprint(*saved, k), fingerprint(original, k));
    }
}

TEST(ModelAttach, RefusedWithoutTheComponentsType9Block) {
    BlockChain c = makeModel({"A", "B"});
    c.blocks().erase(c.blocks().begin() + ptrdiff_t(*c.nth(BlockType::Attachments, 1)));
    ScratchDir dir;
    ovtest::writeBytes(dir / "m.shp", c.write());
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
    EXPECT_FALSE(doc.attach(1, 0));
    EXPECT_FALSE(doc.attach(0, 5));
    expectSaid(r,
               {{kMissingType9Caption, kMissingType9Text},
                {kEditRefusedCaption, "There is no attachment kind 5."}},
               "attach");
    EXPECT_EQ(doc.chain().write(), c.write());
}

TEST(ModelEdit, DetachClassAndBlock13) {
    const BlockChain original = makeModel({"A", "B"});  // B: two attachments, block13 on
    ScratchDir dir;
    ovtest::writeBytes(dir / "m.shp", original.write());
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
    const auto names = *doc.attachmentNames(1);
    ASSERT_GE(names.size(), 2u);

    EXPECT_TRUE(doc.detach(1, 0));
    EXPECT_EQ(*doc.attachmentNames(1), std::vector<std::string>(names.begin() + 1, names.end()));
    EXPECT_FALSE(doc.detach(1, names.size()));
    expectSaid(r, {{kEditRefusedCaption, "Attachment 2 does not exist: component 1 has 1."}},
               "detach");
    r.said.clear();

    EXPECT_TRUE(doc.setShipClass(2));
    EXPECT_TRUE(doc.setBlock13(0, true));
    EXPECT_TRUE(doc.setBlock13(1, false));
    ASSERT_TRUE(doc.save());
    EXPECT_TRUE(r.said.empty());

    const Bytes bytes = ovtest::readBytes(dir / "m.shp");
    EXPECT_EQ(bytes[kShipClassFileOffset], 2);
    auto saved = BlockChain::read(bytes);
    ASSERT_TRUE(saved);
    const Block& on = saved->blocks()[*locate(*saved, 0).block13];
    const Block& off = saved->blocks()[*locate(*saved, 1).block13];
    EXPECT_EQ(block13Values(on), (std::vector<uint32_t>{2, 5}));
    EXPECT_EQ(on.recordSize, 4u);
    EXPECT_EQ(off.recordCount, 0u);
    EXPECT_EQ(off.recordSize, 4u);
    EXPECT_EQ(saved->count(BlockType::Block13), 2u);
}

// Field edits write exactly the bytes of the fields that changed, compared bit for bit.
TEST(ModelEdit, RecordFieldsChangeOnlyTheirOwnBytes) {
    const BlockChain original = makeModel({"A", "B"});
    ScratchDir dir;
    ovtest::writeBytes(dir / "m.shp", original.write());
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
    const size_t table = *original.componentTable();
    const size_t nine = *original.nth(BlockType::Attachments, 1);
    const ComponentFields base = *doc.componentFields(1);
    EXPECT_EQ(base.name, "B");
    EXPECT_EQ(base.value212, 101u);
    const AttachmentFields att = *doc.attachmentFields(1, 0);
    EXPECT_EQ(att.kind, 1u);

    struct Case {
        const char* name;
        std::function<Result<bool>()> edit;
        size_t block;     // where the bytes change
        size_t from, to;  // the changed byte range in that block's data
    };
    const size_t rec = kComponentRecordSize;
    auto with = [&](auto change) {
        ComponentFields f = base;
        change(f);
        return [&doc, f] { return doc.setComponentFields(1, f); };
    };
    const Case cases[] = {
        {"name", with([](ComponentFields& f) { f.name = "Bridge"; }), table, rec, rec + 64},
        {"kind", with([](ComponentFields& f) { f.kind = 7; }), table, rec + 64, rec + 68},
        {"negative zero y", with([](ComponentFields& f) { f.position.y = -0.0f; }), table, rec + 72,
         rec + 76},
        {"value 212", with([](ComponentFields& f) { f.value212 = 0xFFFFFFFF; }), table, rec + 212,
         rec + 216},
        {"switch 240", with([](ComponentFields& f) { f.switch240 = 1; }), table, rec + 240,
         rec + 244},
        {"value 260", with([](ComponentFields& f) { f.value260 = 9; }), table, rec + 260,
         rec + 264},
        {"attachment position",
         [&] {
             AttachmentFields f = att;
             f.position.z = 12.5f;
             return doc.setAttachmentFields(1, 0, f);
         },
         nine, 12, 16},
        {"attachment gun type",
         [&] {
             AttachmentFields f = att;
             f.gunType = 11;
             return doc.setAttachmentFields(1, 0, f);
         },
         nine, 100, 104},
    };
    for (const Case& c : cases) {
        doc.replaceChain(original);
        const uint64_t version = doc.version();
        auto done = c.edit();
        ASSERT_TRUE(done) << c.name;
        EXPECT_TRUE(*done) << c.name;
        EXPECT_EQ(doc.version(), version + 1) << c.name;
        for (size_t i = 0; i < original.size(); ++i) {
            const Bytes& was = original.blocks()[i].data;
            const Bytes& now = doc.chain().blocks()[i].data;
            ASSERT_EQ(was.size(), now.size()) << c.name;
            for (size_t b = 0; b < was.size(); ++b) {
                if (i != c.block || b < c.from || b >= c.to) {
                    ASSERT_EQ(was[b], now[b]) << c.name << ": block " << i << " byte " << b;
                }
            }
        }
        EXPECT_NE(doc.chain().blocks()[c.block].data, original.blocks()[c.block].data) << c.name;
        // The same fields again change nothing.
        auto again = c.edit();
        ASSERT_TRUE(again) << c.name;
        EXPECT_FALSE(*again) << c.name;
    }
    EXPECT_EQ(doc.componentFields(1)->switch240, 0u);
    EXPECT_EQ(doc.attachmentFields(1, 0)->gunType, 11u);
    EXPECT_FALSE(doc.componentFields(2));
    EXPECT_FALSE(doc.attachmentFields(1, 99));
    EXPECT_TRUE(r.said.empty());

    // Refusals say why once and change nothing.
    doc.replaceChain(original);
    ComponentFields longName = base;
    longName.name = std::string(kMaxComponentName + 1, 'x');
    EXPECT_FALSE(doc.setComponentFields(1, longName));
    EXPECT_FALSE(doc.setAttachmentFields(1, 99, att));
    BlockChain shortRecords = original;
    Block& b = shortRecords.blocks()[nine];
    b.recordSize = 100;
    b.data.resize(size_t(b.recordCount) * 100);
    doc.replaceChain(shortRecords);
    EXPECT_FALSE(doc.setAttachmentFields(1, 0, att));
    doc.replaceChain(reduced(original));
    EXPECT_TRUE(doc.reducedComponentTable());
    EXPECT_FALSE(doc.setComponentFields(0, *doc.componentFields(0)));
    EXPECT_EQ(doc.chain().write(), reduced(original).write());
    expectSaid(r,
               {{kEditRefusedCaption, "A component name holds at most 63 characters."},
                {kEditRefusedCaption, "Attachment 99 does not exist"},
                {kEditRefusedCaption, "The Type9 block of component 1 holds records of 100"},
                {kReducedBlock1Caption, kReducedBlock1Text}},
               "refusals");
}

TEST(ModelEdit, BoxesAreAddedMovedAndRemoved) {
    std::vector<ComponentSpec> parts{part("A", 0), part("B", 1)};
    parts[0].boxes.clear();
    const BlockChain original = buildModel(0, parts);
    ScratchDir dir;
    ovtest::writeBytes(dir / "m.shp", original.write());
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
    auto boxes = [&](size_t k) -> const Block& {
        return doc.chain().blocks()[*locate(doc.chain(), k).boxes];
    };
    const Bytes first(boxes(1).record(0).begin(), boxes(1).record(0).end());

    // Only the changed float's bytes change.
    BoxFields f = *doc.boxFields(1, 0);
    EXPECT_EQ(f.halfExtents.z, 2.0f);
    f.centre.z = -7.5f;
    ASSERT_TRUE(doc.setBoxFields(1, 0, f));
    const Bytes moved(boxes(1).record(0).begin(), boxes(1).record(0).end());
    for (size_t i = 0; i < first.size(); ++i) {
        if (i < 60 || i >= 64) {
            EXPECT_EQ(moved[i], first[i]) << i;
        }
    }
    EXPECT_NE(moved, first);
    EXPECT_EQ(*doc.setBoxFields(1, 0, f), false);

    // A new box copies the last one; without one it is drawn around the vertices.
    EXPECT_EQ(*doc.addBox(1), 1u);
    EXPECT_TRUE(std::equal(moved.begin(), moved.end(), boxes(1).record(1).begin()));
    EXPECT_EQ(*doc.addBox(0), 0u);
    const ConstBoxView made(boxes(0).record(0));
    EXPECT_EQ(made.matrix(), (std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(made.centre().y, 0.5f);
    EXPECT_EQ(made.centre().z, 1.0f);
    EXPECT_EQ(made.halfExtents().z, 1.0f);
    EXPECT_EQ(made.u32(0), 0u);

    ASSERT_TRUE(doc.removeBox(1, 0));
    EXPECT_EQ(boxes(1).recordCount, 1u);
    EXPECT_TRUE(std::equal(moved.begin(), moved.end(), boxes(1).record(0).begin()));
    ASSERT_TRUE(doc.removeBox(0, 0));
    EXPECT_EQ(boxes(0).data, Bytes{});
    EXPECT_TRUE(r.said.empty());

    // Refused: no such box, no box block.
    EXPECT_FALSE(doc.removeBox(1, 1));
    EXPECT_FALSE(doc.setBoxFields(0, 0, f));
    BlockChain noBoxes = original;
    noBoxes.blocks().erase(noBoxes.blocks().begin() + ptrdiff_t(*noBoxes.nth(BlockType::Boxes, 1)));
    doc.replaceChain(noBoxes);
    EXPECT_FALSE(doc.addBox(1));
    EXPECT_EQ(doc.chain().write(), noBoxes.write());
    expectSaid(r,
               {{kEditRefusedCaption, "Box 1 does not exist: component 1 has 1."},
                {kEditRefusedCaption, "Box 0 does not exist: component 0 has 0."},
                {kMissingBoxesCaption, kMissingBoxesText}},
               "refusals");
}

// ---------------------------------------------------------------------------

TEST(ModelCheck, FindsEachKindOfProblem) {
    auto erase = [](uint16_t type, size_t n) {
        return [=](BlockChain& c) {
            c.blocks().erase(c.blocks().begin() + ptrdiff_t(*c.nth(type, n)));
        };
    };
    auto face = [](size_t offset, uint32_t value) {
        return [=](BlockChain& c) {
            storeU32LE(c.blocks()[*c.nth(BlockType::Faces, 0)].record(1).data() + offset, value);
        };
    };
    auto vertex = [](size_t i, size_t offset, float value) {
        return [=](BlockChain& c) {
            storeF32LE(c.blocks()[*c.nth(BlockType::Vertices, 0)].record(i).data() + offset, value);
        };
    };
    struct Case {
        const char* name;
        std::function<void(BlockChain&)> change;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"intact", [](BlockChain&) {}, {}},
        {"missing Type9", erase(BlockType::Attachments, 1), {kMissingType9Text}},
        {"missing boxes", erase(BlockType::Boxes, 1), {kMissingBoxesText}},
        {"missing faces", erase(BlockType::Faces, 1), {kEmptyGeometryText}},
        {"vertex out of range",
         face(16, 4),
         {"Face 1 uses vertex 4, but the vertex block holds 4 vertices"}},
        {"texture out of range",
         face(0, 1),
         {"Face 1 uses texture 1, but the texture-name block holds 1 names"}},
        {"a vertex not a number", vertex(2, 4, std::numeric_limits<float>::quiet_NaN()),
         {"Vertex 2 is not a finite point (a coordinate is infinite or not a number); faces "
          "that use it are not drawn"}},
        {"vertices infinite",
         [&](BlockChain& c) {
             vertex(3, 0, std::numeric_limits<float>::infinity())(c);
             vertex(1, 8, -std::numeric_limits<float>::infinity())(c);
         },
         {"2 vertices are not finite points, the first vertex 1 (a coordinate is infinite or "
          "not a number); faces that use it are not drawn"}},
    };
    for (const Case& c : cases) {
        BlockChain chain = makeModel({"A", "B"});
        c.change(chain);
        std::vector<std::string> texts;
        for (const Problem& p : checkModel(chain))
            texts.push_back(p.text);
        EXPECT_EQ(texts, c.texts) << c.name;
    }
}

TEST(ModelCheck, ValidityComesFromOneSilentCall) {
    BlockChain c = makeModel({"A", "B"});
    c.blocks().erase(c.blocks().begin() + ptrdiff_t(*c.nth(BlockType::Vertices, 1)));
    c.blocks().erase(c.blocks().begin() + ptrdiff_t(*c.nth(BlockType::Boxes, 1)));
    ScratchDir dir;
    ovtest::writeBytes(dir / "m.shp", c.write());
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
    EXPECT_TRUE(doc.validity(0).empty());
    std::vector<std::pair<std::string, std::string>> found;
    for (const Problem& p : doc.validity(1)) {
        EXPECT_EQ(p.component, 1);
        found.emplace_back(p.caption, p.text);
    }
    EXPECT_EQ(found, (std::vector<std::pair<std::string, std::string>>{
                         {kMissingBoxesCaption, kMissingBoxesText},
                         {kEmptyGeometryCaption, kEmptyGeometryText}}));
    EXPECT_TRUE(doc.summary(1).blocks.attachments);
    EXPECT_FALSE(doc.summary(1).vertices);
    EXPECT_TRUE(r.said.empty());
}

// ---------------------------------------------------------------------------

TEST(ModelDocument, ChangesAreCountedMarkedAndAnnounced) {
    const BlockChain original = makeModel({"A", "B"});
    ScratchDir dir;
    ovtest::writeBytes(dir / "m.shp", original.write());
    RecordingReporter r;
    Document doc(r);
    std::vector<Change> heard;
    const size_t id = doc.addListener([&](Change c) { heard.push_back(c); });

    ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
    EXPECT_FALSE(doc.modified());
    const uint64_t opened = doc.version();

    // Each edit says whether it changed anything; only a change counts.
    struct Step {
        const char* name;
        std::function<Result<bool>()> edit;
        bool changes;
    };
    const Step steps[] = {
        {"class to 2", [&] { return doc.setShipClass(2); }, true},
        {"class to 2 again", [&] { return doc.setShipClass(2); }, false},
        {"block13 of A on", [&] { return doc.setBlock13(0, true); }, true},
        {"block13 of A on again", [&] { return doc.setBlock13(0, true); }, false},
        {"block13 of B off", [&] { return doc.setBlock13(1, false); }, true},
        {"block13 of B off again", [&] { return doc.setBlock13(1, false); }, false},
    };
    uint64_t version = opened;
    for (const Step& s : steps) {
        auto done = s.edit();
        ASSERT_TRUE(done) << s.name;
        EXPECT_EQ(*done, s.changes) << s.name;
        EXPECT_EQ(doc.version(), version + (s.changes ? 1 : 0)) << s.name;
        version = doc.version();
    }
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(r.said.empty());

    // An undo step puts a snapshot back: the lookups follow the restored chain.
    const BlockChain edited = doc.chain();
    ASSERT_TRUE(doc.attach(1, 3));
    EXPECT_EQ(doc.summary(1).attachments, original.blocks()[*original.nth(9, 1)].recordCount + 1);
    doc.replaceChain(edited);
    EXPECT_EQ(doc.chain().write(), edited.write());
    EXPECT_EQ(doc.summary(1).attachments, original.blocks()[*original.nth(9, 1)].recordCount);

    ASSERT_TRUE(doc.save());
    EXPECT_FALSE(doc.modified());
    doc.removeListener(id);
    doc.close();
    EXPECT_EQ(heard,
              (std::vector<Change>{Change::Opened, Change::Edited, Change::Edited, Change::Edited,
                                   Change::Edited, Change::Edited, Change::Saved}));
}

TEST(ModelDocument, EveryRefusedEditSaysWhyOnce) {
    BlockChain c = makeModel({"A", "B"});
    c.blocks().erase(c.blocks().begin() + ptrdiff_t(*c.nth(BlockType::Attachments, 1)));
    ScratchDir dir;
    ovtest::writeBytes(dir / "m.shp", c.write());
    RecordingReporter r;
    Document doc(r);
    ASSERT_EQ(doc.open(dir / "m.shp"), OpenResult::Loaded);
    struct Case {
        const char* name;
        std::function<bool()> edit;
        Said said;
    };
    const Case cases[] = {
        {"delete past the table",
         [&] { return doc.deleteComponent(2).ok(); },
         {kEditRefusedCaption, "Component 2 does not exist: the model has 2 components."}},
        {"delete without Type9",
         [&] { return doc.deleteComponent(1).ok(); },
         {kMissingType9Caption, kMissingType9Text}},
        {"attach without Type9",
         [&] { return doc.attach(1, 0).ok(); },
         {kMissingType9Caption, kMissingType9Text}},
        {"detach without Type9",
         [&] { return doc.detach(1, 0).ok(); },
         {kMissingType9Caption, kMissingType9Text}},
        {"detach past the block",
         [&] { return doc.detach(0, 99).ok(); },
         {kEditRefusedCaption, "Attachment 99 does not exist"}},
        {"block13 without Type9",
         [&] { return doc.setBlock13(1, true).ok(); },
         {kMissingType9Caption, kMissingType9Text}},
    };
    for (const Case& k : cases) {
        r.said.clear();
        EXPECT_FALSE(k.edit()) << k.name;
        expectSaid(r, {k.said}, k.name);
        EXPECT_EQ(doc.chain().write(), c.write()) << k.name;
    }
    EXPECT_FALSE(doc.modified());

    // Without a header record there is no class byte to set.
    BlockChain headless = makeModel({"A"});
    headless.blocks()[0].recordCount = 0;
    headless.blocks()[0].data.clear();
    ovtest::writeBytes(dir / "h.shp", headless.write());
    ASSERT_EQ(doc.open(dir / "h.shp"), OpenResult::Loaded);
    r.said.clear();
    EXPECT_FALSE(doc.setShipClass(1));
    expectSaid(r, {{kEditRefusedCaption, "The model has no ship header record"}}, "class");
}

// A table that claims 65535 components over a chain of 60,000 blocks: every lookup
// goes through the index, so info and check take one pass, not one per component.
TEST(ModelIndex, SixtyThousandBlocksAndAFullTable) {
    BlockChain chain;
    auto add = [&](uint32_t type, uint32_t size = 0, uint32_t count = 0) {
        Block b;
        b.type = type;
        b.recordSize = size;
        b.recordCount = count;
        b.data.resize(size_t(size) * count);
        chain.appendBlock(std::move(b));
    };
    add(BlockType::ShipHeader, 88, 1);
    add(BlockType::ComponentTable, 0, 0xFFFF);
    const uint32_t group[] = {2, 7, 9, 13, 4, 3, 6};
    while (chain.size() + std::size(group) <= 60000)
        for (uint32_t t : group)
            add(t);
    const size_t groups = (chain.size() - 2) / std::size(group);

    const ChainIndex index(chain);
    const ModelView model(chain, index);
    EXPECT_EQ(model.componentCount(), 0xFFFFu);
    // Components with a group of their own have no problem; every other one lacks
    // its Type9 and box blocks: the first ones are listed, the others counted.
    const auto problems = model.check();
    const size_t listed = ModelView::kListedPerProblem;
    ASSERT_EQ(problems.size(), 2 * listed + 2);
    for (size_t i = 0; i < 2 * listed; ++i)
        EXPECT_EQ(problems[i].component, int(groups + i / 2)) << i;
    EXPECT_EQ(problems[2 * listed].text, kMissingType9Text);
    EXPECT_EQ(problems[2 * listed + 1].text, kMissingBoxesText);
    for (const Problem& p : {problems[2 * listed], problems[2 * listed + 1]}) {
        EXPECT_EQ(p.component, -1);
        EXPECT_EQ(p.more, 0xFFFFu - groups - listed);
    }
    for (size_t k : {size_t(0), groups - 1, groups, size_t(0xFFFE)}) {
        const ComponentSummary s = model.summary(k);
        EXPECT_EQ(s.attachments.has_value(), k < groups) << k;
        EXPECT_EQ(s.block13.has_value(), k < groups) << k;
        if (k < groups) {
            EXPECT_EQ(*s.blocks.attachments, 2 + k * std::size(group) + 2) << k;
            EXPECT_EQ(*s.blocks.faces, *s.blocks.attachments + 3) << k;
        }
        EXPECT_EQ(s.blocks, locate(chain, k)) << k;
    }
}
