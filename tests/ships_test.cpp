#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include "common/fileio.h"
#include "common/refpack.h"
#include "common/shp_build.h"
#include "ovedit/archive/hog.h"
#include "ovedit/ships/game_files.h"
#include "ovedit/ships/ship_table.h"
#include "ovedit/ships/stats.h"
#include "ovedit/ships/weapons.h"
#include "support/test_support.h"

using namespace ov;
using namespace ov::ships;
using ovtest::readBytes;
using ovtest::RecordingReporter;
using ovtest::ScratchDir;
using ovtest::writeBytes;

namespace {

// A statistics file of `records` records of random bytes (so any stray write
// shows), each named "Ship N", plus `extra` trailing bytes.
Bytes statsFile(size_t records, size_t extra = 0, uint32_t seed = 1) {
    Bytes b = ovtest::randomBytes(records * kStatsRecordSize + extra, seed);
    for (size_t i = 0; i < records; ++i) {
        std::string name = "Ship " + std::to_string(i);
        std::memset(&b[i * kStatsRecordSize], 0, kStatsBlockOffset);
        std::memcpy(&b[i * kStatsRecordSize], name.data(), name.size());
    }
    return b;
}

ShipStats numbered(float base) {
    ShipStats s;
    for (size_t i = 0; i < kStatsFieldCount; ++i)
        s.field[i] = base + float(i);
    return s;
}

void writeText(const fs::path& p, std::string_view text) {
    writeBytes(p, ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// Byte positions where two equally long buffers differ.
std::vector<size_t> differences(const Bytes& a, const Bytes& b) {
    std::vector<size_t> out;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) out.push_back(i);
    return out;
}

}  // namespace

// ---- Statistics index bounds --------------------------------------------------------

TEST(ShipStatsIndex, BoundsAgainstTheFileLength) {
    struct Case {
        const char* name;
        size_t records, extra;
        int index;
        bool valid;
    };
    const Case cases[] = {
        {"first record", 3, 0, 0, true},
        {"record ending exactly at the end", 3, 0, 2, true},
        {"one past the end", 3, 0, 3, false},
        {"negative", 3, 0, -1, false},
        {"most negative", 3, 0, -32768, false},
        {"far past the end", 3, 0, 32767, false},
        {"trailing partial record", 3, 351, 3, false},
        {"last whole record before a partial one", 3, 351, 2, true},
        {"empty file", 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        Bytes file = statsFile(c.records, c.extra);
        writeBytes(dir / "shipstats.bin", file);
        RecordingReporter r;
        auto got = GetShipsStats((dir / "shipstats.bin").string(), c.index, r);
        EXPECT_EQ(got.has_value(), c.valid);
        if (got) {
            EXPECT_TRUE(r.said.empty());
            EXPECT_EQ(*got, ShipStats::fromBytes(ByteSpan(file).subspan(
                                size_t(c.index) * kStatsRecordSize + kStatsBlockOffset, 60)));
        } else {
            ASSERT_EQ(r.said.size(), 1u);
            EXPECT_EQ(r.said[0].title, "GetShipsStats");
            EXPECT_EQ(r.said[0].text, "Error - invalid ship");
            EXPECT_EQ(r.said[0].icon, Icon::Exclamation);
        }

        RecordingReporter w;
        EXPECT_EQ(PutShipsStats((dir / "shipstats.bin").string(), c.index, numbered(5), w),
                  c.valid);
        Bytes after = readBytes(dir / "shipstats.bin");
        ASSERT_EQ(after.size(), file.size()) << "a write never changes the length";
        if (!c.valid) {
            EXPECT_EQ(after, file);
            ASSERT_EQ(w.said.size(), 1u);
            EXPECT_EQ(w.said[0].title, "PutShipsStats");
            EXPECT_EQ(w.said[0].text, "Error - invalid ship");
        }
    }
}

TEST(ShipStatsIndex, MissingFile) {
    ScratchDir dir;
    RecordingReporter r;
    EXPECT_FALSE(GetShipsStats((dir / "none.bin").string(), 0, r));
    EXPECT_FALSE(PutShipsStats((dir / "none.bin").string(), 0, numbered(7), r));
    ASSERT_EQ(r.said.size(), 2u);
    EXPECT_EQ(r.said[0].title, "GetShipsStats");
    EXPECT_EQ(r.said[1].title, "PutShipsStats");
    for (const auto& m : r.said)
        EXPECT_EQ(m.text, "Error - file not found");
    EXPECT_FALSE(fs::exists(dir / "none.bin"));
}

// ---- Writing figures ----------------------------------------------------------------

TEST(ShipStatsWrite, ChangesExactlyTheSixtyBytesOfTheBlock) {
    ScratchDir dir;
    Bytes file = statsFile(4, 100);
    writeBytes(dir / "shipstats.bin", file);
    RecordingReporter r;
    // Blanks around the path are trimmed, as every file routine does.
    ASSERT_TRUE(PutShipsStats("  " + (dir / "shipstats.bin").string() + " ", 2, numbered(1), r));
    Bytes after = readBytes(dir / "shipstats.bin");
    ASSERT_EQ(after.size(), file.size());
    for (size_t at : differences(file, after)) {
        EXPECT_GE(at, 2 * kStatsRecordSize + 64);
        EXPECT_LT(at, 2 * kStatsRecordSize + 124);
    }
    const uint8_t* block = &after[2 * kStatsRecordSize + 64];
    for (size_t i = 0; i < kStatsFieldCount; ++i)
        EXPECT_EQ(loadF32LE(block + 4 * i), 1.0f + float(i));
    auto back = GetShipsStats((dir / "shipstats.bin").string(), 2, r);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, numbered(1));
}

// ---- Import text ------------------------------------------------------------------

TEST(ShipStatsImport, DisplayOrderLandsAtTheRightOffsets) {
    ScratchDir dir;
    writeText(dir / "raven.txt", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n");
    writeBytes(dir / "shipstats.bin", statsFile(1));
    RecordingReporter r;
    auto s = GetImportStats((dir / "raven.txt").string(), r);
    ASSERT_TRUE(s);
    ASSERT_TRUE(PutShipsStats((dir / "shipstats.bin").string(), 0, *s, r));
    Bytes after = readBytes(dir / "shipstats.bin");
    auto at = [&](size_t blockOffset) { return loadF32LE(&after[64 + blockOffset]); };
    EXPECT_EQ(at(32), 9.0f);   // Shield Strength
    EXPECT_EQ(at(44), 10.0f);  // Shield Recharge: the 10th number
    EXPECT_EQ(at(36), 11.0f);  // Armor Strength
    EXPECT_EQ(at(40), 12.0f);  // Afterburner Fuel
    EXPECT_EQ(at(56), 15.0f);  // Ammo
}

TEST(ShipStatsImport, AcceptedTextForms) {
    const char* texts[] = {
        "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15",
        "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n14\r\n15\r\n",
        " 1 , 2,3\n\n4,5 ,6\n7,8,9,\n10,11,12\n13\t,14,15",
        "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17 and a note nobody reads",
        "+1,2.0,3e0,4,5,6,7,8,9,10,11,12,13,14,1.5e1",
    };
    for (const char* t : texts) {
        SCOPED_TRACE(t);
        auto s = parseImportStats(t);
        ASSERT_TRUE(s) << s.error().describe();
        const auto& order = statsFieldsInDisplayOrder();
        for (size_t i = 0; i < kStatsFieldCount; ++i)
            EXPECT_EQ(s->field[order[i].fileIndex], float(i + 1));
    }
    EXPECT_EQ(parseImportStats("-2.5,0,0,0,0,0,0,0,0,0,0,0,0,0,0")->field[0], -2.5f);
}

TEST(ShipStatsImport, RefusedTextsLeaveTheFiguresAlone) {
    const char* texts[] = {
        "",
        "1,2,3,4,5,6,7,8,9,10,11,12,13,14",
        "1,2,3,4,5,6,7,8,9,ten,11,12,13,14,15",
        "1,2,,4,5,6,7,8,9,10,11,12,13,14,15",
        "1,2,3,4,5,6,7,8,9,10,11,12,13,14,nan",
        "1,2,3,4,5,6,7,8,9,10,11,12,13,14,inf",
        "1e39,2,3,4,5,6,7,8,9,10,11,12,13,14,15",
        "+-1,2,3,4,5,6,7,8,9,10,11,12,13,14,15",
        "1 2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
        "0x10,2,3,4,5,6,7,8,9,10,11,12,13,14,15",
    };
    for (const char* t : texts) {
        SCOPED_TRACE(t);
        EXPECT_FALSE(parseImportStats(t));
        ScratchDir dir;
        writeText(dir / "bad.txt", t);
        RecordingReporter r;
        EXPECT_FALSE(GetImportStats((dir / "bad.txt").string(), r));
        ASSERT_EQ(r.said.size(), 1u);
        EXPECT_EQ(r.said[0].title, "GetImportStats");
        EXPECT_EQ(r.said[0].text.rfind("Error - ", 0), 0u) << r.said[0].text;
    }
}

TEST(ShipStatsImport, MissingFile) {
    ScratchDir dir;
    RecordingReporter r;
    EXPECT_FALSE(GetImportStats((dir / "none.txt").string(), r));
    ASSERT_EQ(r.said.size(), 1u);
    EXPECT_EQ(r.said[0].title, "GetImportStats");
    EXPECT_EQ(r.said[0].text, "File not found!");
    EXPECT_EQ(r.said[0].icon, Icon::Critical);
}

// ---- Appending records ----------------------------------------------------------------

TEST(ShipStatsAdd, AppendsAZeroedRecordWithNameAndFigures) {
    ScratchDir dir;
    fs::path bin = dir / "shipstats.bin";
    ShipTable table{{"  Raven  ", 0, "", "", true, false, -1},
                    {"Heron", 0, "", "", true, false, -1}};
    RecordingReporter r;
    // A missing file is created and the record goes to offset 0.
    EXPECT_EQ(AddShipStatsRecord(bin.string(), table, 0, numbered(1), r), 0);
    EXPECT_EQ(table[0].name, "Raven");
    EXPECT_EQ(AddShipStatsRecord(bin.string(), table, 1, numbered(20), r), 1);
    EXPECT_TRUE(r.said.empty());

    Bytes file = readBytes(bin);
    ASSERT_EQ(file.size(), 2 * kStatsRecordSize);
    for (size_t rec = 0; rec < 2; ++rec) {
        const uint8_t* p = &file[rec * kStatsRecordSize];
        std::string name = rec == 0 ? "Raven" : "Heron";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), name.size()), name);
        for (size_t i = name.size(); i < 64; ++i)
            EXPECT_EQ(p[i], 0) << i;
        EXPECT_EQ(ShipStats::fromBytes(ByteSpan(p + 64, 60)), numbered(rec == 0 ? 1 : 20));
        for (size_t i = 124; i < kStatsRecordSize; ++i)
            EXPECT_EQ(p[i], 0) << i;
    }
}

TEST(ShipStatsAdd, KeepsEveryEarlierByteAndRefusesADamagedFile) {
    ScratchDir dir;
    fs::path bin = dir / "shipstats.bin";
    Bytes file = statsFile(3);
    writeBytes(bin, file);
    ShipTable table{{"Kestrel", 0, "", "", true, false, -1}};
    RecordingReporter r;
    EXPECT_EQ(AddShipStatsRecord(bin.string(), table, 0, numbered(1), r), 3);
    Bytes after = readBytes(bin);
    ASSERT_EQ(after.size(), 4 * kStatsRecordSize);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), after.begin()));

    // A partial record at the end: appending would put the record where its index
    // does not address it.
    Bytes damaged = statsFile(2, 10);
    writeBytes(bin, damaged);
    EXPECT_EQ(AddShipStatsRecord(bin.string(), table, 0, numbered(1), r), std::nullopt);
    EXPECT_EQ(readBytes(bin), damaged);
    ASSERT_EQ(r.said.size(), 1u);
    EXPECT_EQ(r.said[0].title, "AddShipStatsRecord");
}

// ---- The default copy -----------------------------------------------------------------

TEST(ShipStatsDefault, MadeOnceAndNeverReplaced) {
    ScratchDir dir;
    // Copied from Windows: the name's case differs.
    writeBytes(dir / "SHIPSTATS.BIN", statsFile(3));
    RecordingReporter r;
    ASSERT_TRUE(EnsureDefaultShipStats(dir.path().string(), r));
    ASSERT_TRUE(fs::exists(dir / "shipstats.def"));
    Bytes first = readBytes(dir / "shipstats.def");
    EXPECT_EQ(first, readBytes(dir / "SHIPSTATS.BIN"));

    ASSERT_TRUE(PutShipsStats((dir / "SHIPSTATS.BIN").string(), 1, numbered(9), r));
    ASSERT_TRUE(EnsureDefaultShipStats(dir.path().string(), r));
    ASSERT_TRUE(EnsureDefaultShipStats(dir.path().string(), r));
    EXPECT_EQ(readBytes(dir / "shipstats.def"), first);
    EXPECT_TRUE(r.said.empty());
}

TEST(ShipStatsDefault, MissingStatsFile) {
    ScratchDir dir;
    RecordingReporter r;
    EXPECT_FALSE(EnsureDefaultShipStats(dir.path().string(), r));
    ASSERT_EQ(r.said.size(), 1u);
    EXPECT_EQ(r.said[0].text, "Can't find shipstats.bin");
    EXPECT_FALSE(fs::exists(dir / "shipstats.def"));
}

// ---- Restores -----------------------------------------------------------------------

TEST(ShipStatsRestore, CopiesStockShipsAndDeletesTheSource) {
    ScratchDir dir;
    fs::path def = dir / "shipstats.def", bin = dir / "shipstats.bin";
    Bytes target = statsFile(3, 0, 1);
    Bytes source = statsFile(4, 0, 2);  // one record appended for an imported ship
    writeBytes(def, target);
    writeBytes(bin, source);
    ShipTable table{{"A", 0, "", "", false, false, -1},
                    {"B", 1, "", "", true, false, -1},
                    {"C", 2, "", "", false, false, -1},
                    {"D", 3, "", "", true, false, -1}};
    RecordingReporter r;
    ASSERT_TRUE(RestoreShipStats(def.string(), bin.string(), table, table.size(), r));
    EXPECT_TRUE(r.said.empty());
    EXPECT_FALSE(fs::exists(bin));
    Bytes after = readBytes(def);
    ASSERT_EQ(after.size(), target.size());
    for (size_t i = 0; i < after.size(); ++i) {
        size_t rec = i / kStatsRecordSize, inRec = i % kStatsRecordSize;
        bool copied = rec != 1 && inRec >= 64 && inRec < 124;
        ASSERT_EQ(after[i], copied ? source[i] : target[i]) << "byte " << i;
    }
}

TEST(ShipStatsRestore, KeepsTheSourceWhenABlockCouldNotBeCopied) {
    ScratchDir dir;
    fs::path def = dir / "shipstats.def", bin = dir / "shipstats.bin";
    Bytes target = statsFile(2, 0, 1);
    Bytes source = statsFile(3, 0, 2);
    writeBytes(def, target);
    writeBytes(bin, source);
    // Ship "C" has no record in the target: nothing is written for it, and the
    // source keeps the only copy of its figures.
    ShipTable table{{"A", 0, "", "", false, false, -1}, {"C", 2, "", "", false, false, -1}};
    RecordingReporter r;
    EXPECT_FALSE(RestoreShipStats(def.string(), bin.string(), table, table.size(), r));
    EXPECT_TRUE(fs::exists(bin));
    EXPECT_EQ(readBytes(bin), source);
    Bytes after = readBytes(def);
    ASSERT_EQ(after.size(), target.size());
    EXPECT_TRUE(std::equal(after.begin() + 64, after.begin() + 124, source.begin() + 64));
    EXPECT_TRUE(std::equal(after.begin() + kStatsRecordSize, after.end(),
                           target.begin() + kStatsRecordSize));
}

TEST(ShipStatsRestore, SwappedShipsGoBackAndTheSourceStays) {
    ScratchDir dir;
    fs::path def = dir / "shipstats.def", bin = dir / "shipstats.bin";
    Bytes target = statsFile(3, 0, 1);
    Bytes source = statsFile(3, 0, 2);
    writeBytes(def, target);
    writeBytes(bin, source);
    // A and C were swapped; only the pair's first ship (target after it) copies.
    ShipTable table{{"A", 0, "", "", false, true, 2},
                    {"B", 1, "", "", false, false, -1},
                    {"C", 2, "", "", false, true, 0}};
    RecordingReporter r;
    ASSERT_TRUE(RestoreSwappedShipStats(def.string(), bin.string(), table, table.size(), r));
    EXPECT_EQ(readBytes(bin), source);
    Bytes after = readBytes(def);
    std::vector<size_t> changed = differences(target, after);
    ASSERT_FALSE(changed.empty());
    for (size_t at : changed) {
        EXPECT_GE(at, 2 * kStatsRecordSize + 64);
        EXPECT_LT(at, 2 * kStatsRecordSize + 124);
    }
    EXPECT_TRUE(std::equal(after.begin() + 2 * kStatsRecordSize + 64,
                           after.begin() + 2 * kStatsRecordSize + 124, source.begin() + 64));
}

TEST(ShipStatsRestore, MissingPaths) {
    ScratchDir dir;
    writeBytes(dir / "shipstats.def", statsFile(1));
    ShipTable table{{"A", 0, "", "", false, true, 0}};
    RecordingReporter r;
    EXPECT_FALSE(RestoreShipStats((dir / "shipstats.def").string(),
                                  (dir / "shipstats.bin").string(), table, 1, r));
    EXPECT_FALSE(RestoreSwappedShipStats((dir / "none.def").string(),
                                         (dir / "shipstats.def").string(), table, 1, r));
    ASSERT_EQ(r.said.size(), 2u);
    for (const auto& m : r.said) {
        EXPECT_EQ(m.title, "RestoreShipStats");
        EXPECT_EQ(m.text, "Error - Path(s) not found");
    }
    EXPECT_TRUE(fs::exists(dir / "shipstats.def"));
}

// Restoring a file from itself would copy nothing and then delete it.
TEST(ShipStatsRestore, TargetAndSourceThatAreOneFileAreRefused) {
    ScratchDir dir;
    const fs::path bin = dir / "shipstats.bin";
    const Bytes stats = statsFile(3, 0, 1);
    writeBytes(bin, stats);
    std::vector<fs::path> sameFiles{bin, dir / "." / "shipstats.bin"};
#ifndef _WIN32
    fs::create_hard_link(bin, dir / "linked.bin");
    sameFiles.push_back(dir / "linked.bin");
#endif
    ShipTable table{{"A", 0, "", "", false, true, 2},
                    {"B", 1, "", "", false, false, -1},
                    {"C", 2, "", "", false, true, 0}};
    for (const fs::path& other : sameFiles) {
        SCOPED_TRACE(other.string());
        RecordingReporter r;
        EXPECT_FALSE(RestoreShipStats(bin.string(), other.string(), table, table.size(), r));
        EXPECT_FALSE(RestoreSwappedShipStats(other.string(), bin.string(), table, table.size(), r));
        ASSERT_EQ(r.said.size(), 2u);
        for (const auto& m : r.said) {
            EXPECT_EQ(m.title, "RestoreShipStats");
            EXPECT_EQ(m.text.rfind("Error - the target and the source are the same file", 0), 0u);
        }
        EXPECT_EQ(readBytes(bin), stats);
    }
}

// ---- Ship table and game file names ----------------------------------------------------

TEST(ShipTableText, RoundTripAndRefusals) {
    ShipTable table{{"Raven", 4, "raven.shp", "raven_t.shp", false, true, 1},
                    {"Heron", 0, "", "", true, false, -1}};
    auto back = parseShipTable(formatShipTable(table));
    ASSERT_TRUE(back) << back.error().describe();
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0].tigerModel, "raven_t.shp");
    EXPECT_EQ((*back)[0].swapTarget, 1);
    EXPECT_TRUE((*back)[1].imported);

    ShipTable unwritable[] = {{{"Ra\tven", 1, "", "", false, false, -1}},
                              {{"#1 Raven", 1, "", "", false, false, -1}},
                              {{"Raven", 1, "", "", false, true, 3}}};
    for (const auto& t : unwritable) {
        ScratchDir dir;
        EXPECT_FALSE(writeShipTable(dir / kShipTableFile, t));
        EXPECT_FALSE(fs::exists(dir / kShipTableFile));
    }

    const char* bad[] = {
        "Raven\n",
        "Raven\tfour\n",
        "Raven\t40000\n",
        "Raven\t-1\n",
        "A name that is longer than thirty chars\t1\n",
        "Raven\t1\t..\\resource.hog\n",
        "Raven\t1\tships/raven.shp\n",
        "Raven\t1\traven.shp\t\t2\n",
        "Raven\t1\traven.shp\t\t0\t1\t5\n",
        "Raven\t1\t\t\t0\t0\t0\textra\n",
    };
    for (const char* t : bad) {
        SCOPED_TRACE(t);
        EXPECT_FALSE(parseShipTable(t));
    }
}

TEST(ShipTableText, DerivedFromTheStatsFileWithoutATableFile) {
    ScratchDir dir;
    Bytes file = statsFile(3, 200);
    const char longName[] = "A very long ship name of forty characters";
    std::memcpy(&file[kStatsRecordSize], longName, sizeof longName - 1);
    writeBytes(dir / "ShipStats.bin", file);
    auto table = loadShipTable(dir.path(), dir.path());
    ASSERT_TRUE(table) << table.error().describe();
    ASSERT_EQ(table->size(), 3u);  // the partial record is no ship
    EXPECT_EQ((*table)[0].name, "Ship 0");
    EXPECT_EQ((*table)[1].name.size(), kShipNameWidth);
    EXPECT_EQ((*table)[2].statsIndex, 2);
    EXPECT_TRUE((*table)[2].model.empty());

    writeText(dir / kShipTableFile, "# own table\nRaven\t1\traven.shp\n");
    table = loadShipTable(dir.path(), dir.path());
    ASSERT_TRUE(table);
    ASSERT_EQ(table->size(), 1u);
    EXPECT_EQ((*table)[0].model, "raven.shp");
}

// The path found, spelled as on disk where the file system minds letter case; where
// it does not (Windows), the caller's spelling names the same file and is kept.
std::string spelling(const std::optional<fs::path>& p) {
    if (!p) return "(nothing)";
    std::string s = p->string();
#ifdef _WIN32
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
#endif
    return s;
}

TEST(GameFiles, NamesMatchIgnoringCaseInsideTheFolderOnly) {
    ScratchDir dir;
    fs::create_directories(dir / "Ships");
    writeText(dir / "Ships" / "RAVEN.SHP", "x");
    writeText(dir / "outside.shp", "x");
    const std::string raven = spelling(dir / "Ships" / "RAVEN.SHP");
    EXPECT_EQ(spelling(findInFolder(dir.path(), "ships\\raven.shp")), raven);
    EXPECT_EQ(spelling(findInFolder(dir.path(), "SHIPS/Raven.shp")), raven);
    EXPECT_FALSE(findInFolder(dir.path(), "ships\\heron.shp"));
    EXPECT_EQ(spelling(pathInFolder(dir.path(), "ships\\heron.bak")),
              spelling(dir / "Ships" / "heron.bak"));
    for (const char* escape :
         {"ships\\..\\outside.shp", "..\\x", "/etc/passwd", "C:\\x", "ships\\\\raven.shp", ""}) {
        SCOPED_TRACE(escape);
        EXPECT_FALSE(findInFolder(dir.path(), escape));
        EXPECT_FALSE(pathInFolder(dir.path(), escape));
    }
}

// ==== Weapons and the class byte ==========================================================

namespace {

using shp::makeAttachment;

// A fighter with a hull and a turret. Weapon points in order: 0 hull gun, 1 hull
// missile mount, 2 hull external gun, 3 turret gun (the engine flame and the light
// are no weapon points).
shp::ComponentSpec component(std::string name, std::vector<std::array<uint8_t, 168>> attachments) {
    shp::ComponentSpec c;
    c.name = std::move(name);
    c.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    c.faces = {{0, 1, 2, 0, {0, 1, 0}, {0, 0, 1}, 0}};
    c.textures = {"hull.tga"};
    c.boxes = {{{0, 0, 0}, {1, 1, 1}}};
    c.attachments = std::move(attachments);
    return c;
}

Bytes fighter(uint32_t hullGun, uint32_t turretGun, float shift = 0) {
    return shp::buildModel(
               0,
               {component("Hull",
                          {makeAttachment(3, {shift, 0, 5}, hullGun), makeAttachment(0, {1, 0, 0}),
                           makeAttachment(1, {-1, 0, 0}, 2), makeAttachment(2, {0, 0, -5})}),
                component("Turret",
                          {makeAttachment(3, {0, 1, 0}, turretGun), makeAttachment(4, {0, 2, 0})})})
        .write();
}

// Same weapon points, but the turret's light comes before its gun.
Bytes otherLayout() {
    return shp::buildModel(
               0, {component("Hull",
                             {makeAttachment(3, {0, 0, 5}, 4), makeAttachment(0, {1, 0, 0}),
                              makeAttachment(1, {-1, 0, 0}, 2), makeAttachment(2, {0, 0, -5})}),
                   component("Turret",
                             {makeAttachment(4, {0, 2, 0}), makeAttachment(3, {0, 1, 0}, 13)})})
        .write();
}

Bytes modelWithClass(uint8_t cls) {
    return shp::buildModel(cls, {component("Hull", {})}).write();
}

struct Game {
    ScratchDir dir;
    Bytes standard = fighter(4, 13);
    Bytes tiger = fighter(5, 12, 0.5f);
    Ship ship{"Raven", 0, "raven.shp", "raven_t.shp", false, false, -1};

    // The models only in resource.hog, packed, under a folder part as the game
    // keeps them.
    void writeArchive(const Bytes& tigerModel, std::string tigerName = "raven_t.shp") {
        std::vector<archive::HogItem> items{{"ships\\raven.shp", standard},
                                            {"ships\\" + tigerName, tigerModel},
                                            {"textures\\hull.tga", Bytes(64, 7)}};
        auto written = archive::writeHog(dir / "resource.hog", items, true);
        ASSERT_TRUE(written) << written.error().describe();
    }
    fs::path ships() const { return dir / "ships"; }
    std::vector<WeaponEntry> points(const fs::path& model) const {
        auto chain = shp::BlockChain::read(readBytes(model));
        EXPECT_TRUE(chain);
        return chain ? weaponEntries(*chain) : std::vector<WeaponEntry>{};
    }
};

// The offsets where `changed` may differ from `original`: the type fields of the
// given points.
void expectOnlyFieldsChanged(const Bytes& original, const Bytes& changed,
                             const std::vector<WeaponEntry>& points, std::vector<size_t> chosen,
                             size_t field) {
    ASSERT_EQ(original.size(), changed.size());
    std::vector<size_t> allowed;
    for (size_t p : chosen)
        for (size_t i = 0; i < 4; ++i)
            allowed.push_back(points[p].recordOffset + field + i);
    for (size_t at : differences(original, changed))
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), at), allowed.end()) << "byte " << at;
}

}  // namespace

TEST(ShipClassByte, CapitalAndCloakedByValue) {
    struct Case {
        uint8_t value;
        bool capital, cloaked;
        uint8_t afterToggle;
    };
    const Case cases[] = {{0, false, false, 2}, {1, true, false, 2},  {2, false, true, 0},
                          {3, true, false, 2},  {4, false, false, 2}, {5, true, false, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.value));
        ScratchDir dir;
        fs::path model = dir / "m.shp";
        Bytes original = modelWithClass(c.value);
        writeBytes(model, original);
        RecordingReporter r;
        EXPECT_EQ(IsCapitalShip(model.string(), r), c.capital);
        EXPECT_EQ(IsCloaked(model.string(), r), c.cloaked);
        ASSERT_TRUE(ToggleCloak(model.string(), r));
        EXPECT_TRUE(r.said.empty());
        Bytes after = readBytes(model);
        ASSERT_EQ(after.size(), original.size());
        EXPECT_EQ(after[shp::kShipClassFileOffset], c.afterToggle);
        after[shp::kShipClassFileOffset] = c.value;
        EXPECT_EQ(after, original) << "no other byte changes";
    }
}

TEST(ShipClassByte, MissingPackedAndForeignFiles) {
    ScratchDir dir;
    RecordingReporter r;
    std::string none = (dir / "none.shp").string();
    EXPECT_FALSE(IsCapitalShip(none, r));
    EXPECT_FALSE(IsCloaked(none, r));
    EXPECT_FALSE(ToggleCloak(none, r));
    ASSERT_EQ(r.said.size(), 3u);
    EXPECT_EQ(r.said[0].title, "IsCapitalShip");
    EXPECT_EQ(r.said[1].title, "IsCloaked");
    EXPECT_EQ(r.said[2].title, "IsCloaked");
    for (const auto& m : r.said)
        EXPECT_EQ(m.text, "Error - file not found");
    EXPECT_FALSE(fs::exists(none));

    // A packed model is read through its unpacked bytes; a byte written at offset
    // 26 of the packed stream would break it, so the toggle refuses.
    auto packed = refpack::encode(modelWithClass(2));
    ASSERT_TRUE(packed);
    writeBytes(dir / "packed.shp", *packed);
    RecordingReporter p;
    EXPECT_TRUE(IsCloaked((dir / "packed.shp").string(), p));
    EXPECT_FALSE(ToggleCloak((dir / "packed.shp").string(), p));
    EXPECT_EQ(readBytes(dir / "packed.shp"), *packed);

    Bytes text(100, 'a');
    writeBytes(dir / "note.txt", text);
    RecordingReporter t;
    EXPECT_FALSE(IsCapitalShip((dir / "note.txt").string(), t));
    EXPECT_FALSE(ToggleCloak((dir / "note.txt").string(), t));
    EXPECT_EQ(readBytes(dir / "note.txt"), text);
    EXPECT_EQ(t.said.size(), 2u);
}

TEST(WeaponNames, TablesAndGaps) {
    struct Case {
        uint32_t kind, id;
        const char* name;
    };
    const Case cases[] = {
        {3, 0, "Unspecified Gun"},
        {3, 1, "Laser"},
        {3, 6, "Tachyon Gun"},
        {3, 15, "Coalition Huge Gun"},
        {3, 16, "Unknown Gun"},
        {3, 0xFFFFFFFF, "Unknown Gun"},
        {3, 65536, "Unknown Gun"},
        {1, 0, "Pulse Cannon"},
        {1, 7, "Laser Cannon Type 4"},
        {1, 8, "Unknown"},
        {1, 9, "Unknown"},
        {1, 10, "Unknown"},
        {1, 11, "Laser Cannon Type 5"},
        {1, 12, "Unknown"},
        {0, 3, "Missile type 3"},
        {0, 16, "Unknown Missile"},
    };
    for (const Case& c : cases) {
        WeaponEntry e;
        e.kind = c.kind;
        e.typeId = c.id;
        EXPECT_EQ(weaponName(e), c.name) << c.kind << "/" << c.id;
    }
    EXPECT_TRUE(isOfferedType(WeaponSort::ExternalGun, 11));
    EXPECT_FALSE(isOfferedType(WeaponSort::ExternalGun, 9));
    EXPECT_FALSE(isOfferedType(WeaponSort::Gun, 16));
}

TEST(WeaponPoints, KindsZeroOneAndThreeOfEveryComponent) {
    auto chain = shp::BlockChain::read(fighter(4, 13));
    ASSERT_TRUE(chain);
    auto points = weaponEntries(*chain);
    ASSERT_EQ(points.size(), 4u);
    const uint32_t kinds[] = {3, 0, 1, 3};
    const uint32_t types[] = {4, 0, 2, 13};
    const size_t components[] = {0, 0, 0, 1};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(points[i].kind, kinds[i]);
        EXPECT_EQ(points[i].component, components[i]);
        if (i != 1) {
            EXPECT_EQ(points[i].typeId, types[i]);
        }
    }
    EXPECT_EQ(points[1].typeId, 5u) << "missile type field of the default mount";
    EXPECT_EQ(weaponName(points[3]), "Turret Lasers");
}

TEST(WeaponChange, ArchiveModelBecomesALooseFileWithABackupAndRestores) {
    Game g;
    g.writeArchive(g.tiger);
    RecordingReporter r;
    const size_t chosen[] = {0, 1, 3};  // point 1 is a missile mount: left alone
    ASSERT_TRUE(ChangeWeapons(g.dir.path().string(), g.ship, WeaponSort::Gun, 7, chosen, r));
    EXPECT_TRUE(r.said.empty());

    for (const auto& [name, original] :
         {std::pair{"raven", g.standard}, std::pair{"raven_t", g.tiger}}) {
        SCOPED_TRACE(name);
        fs::path model = g.ships() / (std::string(name) + ".shp");
        fs::path bak = g.ships() / (std::string(name) + ".bak");
        ASSERT_TRUE(fs::exists(model));
        EXPECT_EQ(readBytes(bak), original);
        auto before = shp::BlockChain::read(original);
        auto points = weaponEntries(*before);
        expectOnlyFieldsChanged(original, readBytes(model), points, {0, 3}, kGunTypeField);
        auto now = g.points(model);
        EXPECT_EQ(now[0].typeId, 7u);
        EXPECT_EQ(now[3].typeId, 7u);
        EXPECT_EQ(now[1].typeId, points[1].typeId);
    }

    // A second change keeps the backup from before the first.
    const size_t ext[] = {2};
    ASSERT_TRUE(ChangeWeapons(g.dir.path().string(), g.ship, WeaponSort::ExternalGun, 11, ext, r));
    EXPECT_EQ(g.points(g.ships() / "raven_t.shp")[2].typeId, 11u);
    EXPECT_EQ(readBytes(g.ships() / "raven.bak"), g.standard);

    ASSERT_TRUE(RestoreWeapons(g.dir.path().string(), g.dir.path().string(), {g.ship}, 0, r));
    EXPECT_TRUE(r.said.empty());
    EXPECT_EQ(readBytes(g.ships() / "raven.shp"), g.standard);
    EXPECT_EQ(readBytes(g.ships() / "raven_t.shp"), g.tiger);
    // The comparison with the archive's copy leaves no file behind.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(g.ships()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"raven.bak", "raven.shp", "raven_t.bak", "raven_t.shp"}));
    EXPECT_FALSE(fs::exists(g.dir / "tmpweapn"));
    EXPECT_FALSE(fs::exists("tmpweapn"));
}

TEST(WeaponChange, LooseCopyWinsAndKeepsItsOwnBytesAsBackup) {
    Game g;
    g.writeArchive(g.tiger);
    fs::create_directories(g.dir / "Ships");
    auto packed = refpack::encode(fighter(1, 1));
    ASSERT_TRUE(packed);
    writeBytes(g.dir / "Ships" / "RAVEN.SHP", *packed);
    RecordingReporter r;
    const size_t chosen[] = {1};
    ASSERT_TRUE(ChangeWeapons(g.dir.path().string(), g.ship, WeaponSort::Missile, 9, chosen, r));
    EXPECT_EQ(readBytes(g.dir / "Ships" / "raven.bak"), *packed);
    EXPECT_EQ(g.points(g.dir / "Ships" / "RAVEN.SHP")[1].typeId, 9u);
    EXPECT_EQ(g.points(g.dir / "Ships" / "RAVEN.SHP")[0].typeId, 1u) << "from the loose copy";
    EXPECT_EQ(g.points(g.dir / "Ships" / "raven_t.shp")[1].typeId, 9u);

    ASSERT_TRUE(RestoreWeapons(g.dir.path().string(), g.dir.path().string(), {g.ship}, 0, r));
    EXPECT_EQ(readBytes(g.dir / "Ships" / "RAVEN.SHP"), *packed);
}

TEST(ShipModelFiles, ForOpeningAndForChangesInPlace) {
    Game g;
    g.writeArchive(g.tiger);
    ScratchDir scratch;
    // Only in the archive: unpacked into the scratch folder, the game untouched.
    auto copy = shipModelFile(g.dir.path(), "raven.shp", scratch.path());
    ASSERT_TRUE(copy) << copy.error().describe();
    EXPECT_EQ(copy->parent_path(), scratch.path());
    EXPECT_EQ(readBytes(*copy), g.standard);
    EXPECT_FALSE(fs::exists(g.ships()));

    // Made loose for a change in place: the archive's bytes kept as .bak, then the
    // same file every time after.
    auto loose = looseShipModel(g.dir.path(), "raven.shp");
    ASSERT_TRUE(loose) << loose.error().describe();
    EXPECT_EQ(*loose, g.ships() / "raven.shp");
    EXPECT_EQ(readBytes(*loose), g.standard);
    EXPECT_EQ(readBytes(g.ships() / "raven.bak"), g.standard);
    writeBytes(*loose, fighter(2, 2));
    auto again = looseShipModel(g.dir.path(), "raven.shp");
    ASSERT_TRUE(again);
    EXPECT_EQ(readBytes(*again), fighter(2, 2)) << "a loose unpacked model is used as it is";
    auto same = shipModelFile(g.dir.path(), "RAVEN.SHP", scratch.path());
    ASSERT_TRUE(same);
    // A case-insensitive file system may give back the spelling asked for.
    EXPECT_TRUE(fs::equivalent(*same, *loose)) << *same << " is not " << *loose;

    // A packed loose copy is unpacked in place; its packed bytes become the .bak
    // when there is none.
    fs::remove(g.ships() / "raven_t.bak");
    auto packed = refpack::encode(g.tiger);
    ASSERT_TRUE(packed);
    writeBytes(g.ships() / "raven_t.shp", *packed);
    auto tiger = looseShipModel(g.dir.path(), "raven_t.shp");
    ASSERT_TRUE(tiger);
    EXPECT_EQ(readBytes(*tiger), g.tiger);
    EXPECT_EQ(readBytes(g.ships() / "raven_t.bak"), *packed);

    for (const char* name : {"missing.shp", "..\\raven.shp", ""}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(shipModelFile(g.dir.path(), name, scratch.path()));
        EXPECT_FALSE(looseShipModel(g.dir.path(), name));
    }
}

TEST(WeaponChange, RefusalsWriteNothing) {
    struct Case {
        const char* name;
        WeaponSort sort;
        uint32_t id;
        std::vector<size_t> points;
        const char* tigerName;
        bool otherLayout;
    };
    const Case cases[] = {
        {"Tiger model with another layout", WeaponSort::Gun, 7, {0}, "raven_t.shp", true},
        {"point past the list", WeaponSort::Gun, 7, {0, 4}, "raven_t.shp", false},
        {"no point of the sort", WeaponSort::ExternalGun, 3, {0, 1, 3}, "raven_t.shp", false},
        {"external gun id in the gap", WeaponSort::ExternalGun, 9, {2}, "raven_t.shp", false},
        {"gun type past the menu", WeaponSort::Gun, 16, {0}, "raven_t.shp", false},
        {"Tiger model sharing the backup name", WeaponSort::Gun, 7, {0}, "raven.pak", false},
        {"model that would be its own backup", WeaponSort::Gun, 7, {0}, "raven_t.bak", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Game g;
        g.writeArchive(c.otherLayout ? otherLayout() : g.tiger, c.tigerName);
        g.ship.tigerModel = c.tigerName;
        Bytes hog = readBytes(g.dir / "resource.hog");
        RecordingReporter r;
        EXPECT_FALSE(ChangeWeapons(g.dir.path().string(), g.ship, c.sort, c.id, c.points, r));
        ASSERT_EQ(r.said.size(), 1u);
        EXPECT_EQ(r.said[0].title, "OV Edit");
        if (c.otherLayout) {
            EXPECT_EQ(r.said[0].text,
                      "Error - standard ship and Tiger ship attachments don't match");
            EXPECT_EQ(r.said[0].icon, Icon::Critical);
        } else {
            EXPECT_EQ(r.said[0].text.rfind("Error - ", 0), 0u);
        }
        EXPECT_FALSE(fs::exists(g.ships()) && !fs::is_empty(g.ships()));
        EXPECT_EQ(readBytes(g.dir / "resource.hog"), hog);
    }
}

// The standard and the Tiger model change together or not at all, whichever write
// fails: a disk that fills up half-way, a rename the system refuses.
TEST(WeaponChange, BothModelsOrNeither) {
    struct Case {
        const char* name;
        FileStep step;
        unsigned skip;
        std::errc error;
    };
    // The writes: raven.bak, raven.shp, raven_t.bak, raven_t.shp.
    const Case cases[] = {
        {"disk full at the Tiger model", FileStep::Write, 3, std::errc::no_space_on_device},
        {"disk full at its backup", FileStep::Write, 2, std::errc::no_space_on_device},
        {"Tiger model's rename refused", FileStep::Rename, 3, std::errc::permission_denied},
        {"second rename refused", FileStep::Rename, 1, std::errc::permission_denied},
    };
    for (bool loose : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (loose ? ", loose models" : ", archive models"));
            Game g;
            g.writeArchive(g.tiger);
            if (loose) {
                fs::create_directories(g.ships());
                writeBytes(g.ships() / "raven.shp", g.standard);
                writeBytes(g.ships() / "raven_t.shp", g.tiger);
            }
            RecordingReporter r;
            const size_t chosen[] = {0, 3};
            {
                ScopedFileFault fault(c.step, c.skip, c.error);
                EXPECT_FALSE(
                    ChangeWeapons(g.dir.path().string(), g.ship, WeaponSort::Gun, 7, chosen, r));
                EXPECT_EQ(fault.struck(), 1u);
            }
            ASSERT_EQ(r.said.size(), 1u);
            EXPECT_EQ(r.said[0].icon, Icon::Critical);
            EXPECT_NE(r.said[0].text.find(std::make_error_code(c.error).message()),
                      std::string::npos)
                << r.said[0].text;
            std::vector<std::string> names;
            if (fs::exists(g.ships()))
                for (const auto& e : fs::directory_iterator(g.ships()))
                    names.push_back(e.path().filename().string());
            std::sort(names.begin(), names.end());
            const std::vector<std::string> before =
                loose ? std::vector<std::string>{"raven.shp", "raven_t.shp"}
                      : std::vector<std::string>{};
            EXPECT_EQ(names, before);
            if (loose) {
                EXPECT_EQ(readBytes(g.ships() / "raven.shp"), g.standard);
                EXPECT_EQ(readBytes(g.ships() / "raven_t.shp"), g.tiger);
            }
        }
    }

    // Restoring both goes back together too.
    Game g;
    g.writeArchive(g.tiger);
    RecordingReporter r;
    const size_t chosen[] = {0};
    ASSERT_TRUE(ChangeWeapons(g.dir.path().string(), g.ship, WeaponSort::Gun, 9, chosen, r));
    const Bytes changed = readBytes(g.ships() / "raven.shp");
    const Bytes tigerChanged = readBytes(g.ships() / "raven_t.shp");
    {
        ScopedFileFault fault(FileStep::Rename, 1, std::errc::permission_denied);
        EXPECT_FALSE(RestoreWeapons(g.dir.path().string(), g.dir.path().string(), {g.ship}, 0, r));
    }
    EXPECT_EQ(readBytes(g.ships() / "raven.shp"), changed);
    EXPECT_EQ(readBytes(g.ships() / "raven_t.shp"), tigerChanged);
    EXPECT_TRUE(temporaryFilesIn(g.ships()).empty());
}

TEST(WeaponRestore, FallbacksAndRefusal) {
    Game g;
    g.writeArchive(g.tiger);
    RecordingReporter r;
    ASSERT_FALSE(RestoreWeapons(g.dir.path().string(), g.dir.path().string(), {g.ship}, 0, r));
    ASSERT_EQ(r.said.size(), 1u);
    EXPECT_EQ(r.said[0].title, "RestoreWeapons");
    EXPECT_EQ(r.said[0].text, "No suitable original can be found");
    EXPECT_FALSE(fs::exists(g.ships() / "raven.shp"));

    // An imported ship's model comes back from the editor's addons\ships\.
    ScratchDir editor;
    fs::create_directories(editor / "Addons" / "Ships");
    Bytes addon = fighter(2, 2);
    writeBytes(editor / "Addons" / "Ships" / "Raven.shp", addon);
    RecordingReporter a;
    ASSERT_TRUE(RestoreWeapons(g.dir.path().string(), editor.path().string(), {g.ship}, 0, a));
    EXPECT_EQ(readBytes(g.ships() / "raven.shp"), addon);

    // A backup of another ship is not restored over this one.
    writeBytes(g.ships() / "raven.bak", otherLayout());
    RecordingReporter d;
    EXPECT_FALSE(RestoreWeapons(g.dir.path().string(), editor.path().string(), {g.ship}, 0, d));
    ASSERT_EQ(d.said.size(), 1u);
    EXPECT_EQ(d.said[0].title, "OV Edit");
    EXPECT_EQ(d.said[0].text,
              "This file's backup copy is too different than the\nthe original to restore from. "
              "raven.shp <> raven.bak");
    EXPECT_EQ(readBytes(g.ships() / "raven.shp"), addon);
}

// ==== Through ovcli =========================================================================

#ifdef OV_OVCLI_FILE

namespace {

int ovcli(const ScratchDir& dir, std::vector<std::string> args) {
    return ovtest::runProgram(OV_OVCLI_FILE, args, dir / "ovcli.log");
}

}  // namespace

TEST(ShipsThroughOvcli, StatisticsWeaponsCloakAndRestores) {
    Game g;
    g.writeArchive(g.tiger);
    const std::string game = g.dir.path().string();
    Bytes stats = statsFile(3);
    writeBytes(g.dir / "SHIPSTATS.BIN", stats);
    ASSERT_TRUE(writeShipTable(g.dir / kShipTableFile, {g.ship}));
    writeText(g.dir / "kestrel.txt", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n");
    const fs::path bin = g.dir / "SHIPSTATS.BIN";

    EXPECT_EQ(ovcli(g.dir, {"stats", "ensure-default", game}), 0);
    EXPECT_EQ(ovcli(g.dir, {"stats", "set", (g.dir / "shipstats.bin").string(), "1",
                            "Max Speed=120", "shield recharge=7.5"}),
              0);
    Bytes now = readBytes(bin);
    for (size_t at : differences(stats, now))
        EXPECT_TRUE(at / 4 == (352 + 64) / 4 || at / 4 == (352 + 64 + 44) / 4) << at;
    EXPECT_EQ(loadF32LE(&now[352 + 64]), 120.0f);
    EXPECT_EQ(loadF32LE(&now[352 + 64 + 44]), 7.5f);

    EXPECT_EQ(ovcli(g.dir, {"stats", "get", bin.string(), "3"}), 1);
    EXPECT_EQ(ovcli(g.dir, {"stats", "set", bin.string(), "0", "Speed=1"}), 2);
    EXPECT_EQ(
        ovcli(g.dir, {"stats", "import", bin.string(), "2", (g.dir / "kestrel.txt").string()}), 0);
    EXPECT_EQ(loadF32LE(&readBytes(bin)[2 * 352 + 64 + 44]), 10.0f);

    EXPECT_EQ(ovcli(g.dir, {"weapons", "list", game, "raven"}), 0);
    EXPECT_EQ(ovcli(g.dir, {"weapons", "set", game, "Raven", "--points", "0,3", "--gun", "7"}), 0);
    EXPECT_EQ(g.points(g.ships() / "raven_t.shp")[3].typeId, 7u);
    EXPECT_EQ(readBytes(g.ships() / "raven.bak"), g.standard);
    EXPECT_EQ(ovcli(g.dir, {"weapons", "set", game, "Raven", "--points", "1", "--gun", "7"}), 1);

    const std::string model = (g.ships() / "raven.shp").string();
    EXPECT_EQ(ovcli(g.dir, {"ship", "cloak", model, "--toggle"}), 0);
    EXPECT_EQ(readBytes(g.ships() / "raven.shp")[shp::kShipClassFileOffset], 2);

    EXPECT_EQ(ovcli(g.dir, {"weapons", "restore", game, "Raven"}), 0);
    EXPECT_EQ(readBytes(g.ships() / "raven.shp"), g.standard);
    EXPECT_EQ(readBytes(g.ships() / "raven_t.shp"), g.tiger);

    // Switching the editing features off: the stock ships' figures go to the
    // pristine copy and the live file is dropped.
    Bytes live = readBytes(bin);
    EXPECT_EQ(ovcli(g.dir, {"stats", "restore", bin.string(), bin.string()}), 1);
    EXPECT_EQ(readBytes(bin), live);
    EXPECT_EQ(ovcli(g.dir, {"stats", "restore", (g.dir / "shipstats.def").string(), bin.string()}),
              0);
    EXPECT_FALSE(fs::exists(bin));
    EXPECT_EQ(readBytes(g.dir / "shipstats.def"), live);
}

#endif
