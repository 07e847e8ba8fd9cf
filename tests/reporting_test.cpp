// The editor's routines, one failure each: every routine that talks to the user
// must say why it failed exactly once, and its return value must say that it failed,
// so that a caller never has to count messages.

#include <gtest/gtest.h>

#include <functional>

#include "common/refpack.h"
#include "common/shp_build.h"
#include "ovedit/archive/hog.h"
#include "ovedit/ships/stats.h"
#include "ovedit/ships/weapons.h"
#include "ovtool/model/document.h"
#include "support/test_support.h"

using namespace ov;
using ovtest::RecordingReporter;
using ovtest::ScratchDir;
namespace fs = std::filesystem;

namespace {

Bytes text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

// A scratch folder holding a small archive, statistics file and models.
struct Files {
    ScratchDir dir;
    fs::path hog = dir / "resource.hog";
    fs::path stats = dir / "shipstats.bin";
    fs::path model = dir / "m.shp";
    fs::path junk = dir / "junk.shp";
    fs::path missing = dir / "missing";

    Files() {
        std::vector<archive::HogItem> items{{"one.txt", text("one")}, {"two.txt", text("two")}};
        EXPECT_TRUE(archive::writeHog(hog, items));
        ovtest::writeBytes(stats, Bytes(2 * ships::kStatsRecordSize, 0));
        shp::ComponentSpec hull;
        hull.name = "Hull";
        hull.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        hull.faces = {{0, 1, 2, 0, {}, {}, 0}};
        hull.textures = {"hull"};
        ovtest::writeBytes(model, shp::buildModel(0, {hull}).write());
        ovtest::writeBytes(junk, text("not a model at all"));
    }
};

// Messages that say something went wrong (not completions or announcements).
size_t failures(const RecordingReporter& r) {
    size_t n = 0;
    for (const auto& s : r.said)
        n += !s.question && (s.icon == Icon::Exclamation || s.icon == Icon::Critical);
    return n;
}

}  // namespace

TEST(Reporting, EveryRoutineSaysWhyItFailedExactlyOnce) {
    using Run = std::function<bool(Files&, Reporter&)>;
    struct Case {
        const char* routine;
        Run run;  // returns whether the routine said it succeeded
    };
    const Case cases[] = {
        // Archive
        {"HogArchive::open, no file",
         [](Files& f, Reporter& r) {
             return archive::HogArchive::open(f.missing.string(), r).has_value();
         }},
        {"HogArchive::open, not an archive",
         [](Files& f, Reporter& r) {
             return archive::HogArchive::open(f.junk.string(), r).has_value();
         }},
        {"GetHogData, no file",
         [](Files& f, Reporter& r) {
             return archive::GetHogData(f.missing.string(), r).has_value();
         }},
        {"extract, no destination",
         [](Files& f, Reporter& r) {
             auto a = archive::HogArchive::read(f.hog);
             const size_t rows[] = {0};
             return archive::extract(*a, rows, f.missing.string(), archive::ExtractMode::Raw, {}, r)
                 .ok();
         }},
        {"extract, an entry past the end",
         [](Files& f, Reporter& r) {
             auto a = archive::HogArchive::read(f.hog);
             const size_t rows[] = {0, 7};
             return archive::extract(*a, rows, f.dir.path().string(), archive::ExtractMode::Raw, {},
                                     r)
                 .ok();
         }},
        {"UnpackFile, no archive",
         [](Files& f, Reporter& r) {
             return archive::UnpackFile(f.missing.string(), (f.dir / "x").string(), 1, 0, r);
         }},
        {"restoreFat, no backup",
         [](Files& f, Reporter& r) {
             auto a = archive::HogArchive::read(f.hog);
             return archive::restoreFat(*a, r);
         }},
        {"pasteEntry, no such row",
         [](Files& f, Reporter& r) {
             auto a = archive::HogArchive::read(f.hog);
             return archive::pasteEntry(*a, 0, 9, r);
         }},
        {"saveEntry, a longer name",
         [](Files& f, Reporter& r) {
             auto a = archive::HogArchive::read(f.hog);
             return archive::saveEntry(*a, 0, "three.txt", "10", "3", r);
         }},
        // Ship statistics
        {"GetShipsStats, no such ship",
         [](Files& f, Reporter& r) {
             return ships::GetShipsStats(f.stats.string(), 2, r).has_value();
         }},
        {"PutShipsStats, no file",
         [](Files& f, Reporter& r) { return ships::PutShipsStats(f.missing.string(), 0, {}, r); }},
        {"GetImportStats, not numbers",
         [](Files& f, Reporter& r) {
             return ships::GetImportStats(f.junk.string(), r).has_value();
         }},
        {"AddShipStatsRecord, a damaged file",
         [](Files& f, Reporter& r) {
             ships::ShipTable table{{"Raven", 0, "", "", true, false, -1}};
             return ships::AddShipStatsRecord(f.junk.string(), table, 0, {}, r).has_value();
         }},
        {"EnsureDefaultShipStats, no shipstats.bin",
         [](Files& f, Reporter& r) {
             return ships::EnsureDefaultShipStats(f.missing.string(), r);
         }},
        {"RestoreShipStats, no source",
         [](Files& f, Reporter& r) {
             return ships::RestoreShipStats(f.stats.string(), f.missing.string(), {}, 0, r);
         }},
        // Class byte and weapons
        {"readShipClass, not a model",
         [](Files& f, Reporter& r) {
             return ships::readShipClass(f.junk.string(), "IsCloaked", r).has_value();
         }},
        {"ToggleCloak, no file",
         [](Files& f, Reporter& r) { return ships::ToggleCloak(f.missing.string(), r); }},
        {"ChangeWeapons, a ship without a model",
         [](Files& f, Reporter& r) {
             const size_t points[] = {0};
             return ships::ChangeWeapons(f.dir.path().string(),
                                         ships::Ship{"Raven", 0, "", "", false, false, -1},
                                         ships::WeaponSort::Gun, 1, points, r);
         }},
        {"RestoreWeapons, no original",
         [](Files& f, Reporter& r) {
             ships::ShipTable table{{"Raven", 0, "raven.shp", "", false, false, -1}};
             return ships::RestoreWeapons(f.dir.path().string(), f.dir.path().string(), table, 0,
                                          r);
         }},
        // Model document
        {"loadModel, not a model",
         [](Files& f, Reporter& r) { return model::loadModel(f.junk, r).has_value(); }},
        {"Document::open, no file",
         [](Files& f, Reporter& r) {
             model::Document doc(r);
             return doc.open(f.missing) == model::OpenResult::Loaded;
         }},
        {"Document::merge, not a model",
         [](Files& f, Reporter& r) {
             model::Document doc(r);
             doc.open(f.model);
             return doc.merge(f.junk).ok();
         }},
        {"Document::saveAs, no folder",
         [](Files& f, Reporter& r) {
             model::Document doc(r);
             doc.open(f.model);
             return doc.saveAs(f.missing / "m.shp");
         }},
        {"Document::attach, no such kind",
         [](Files& f, Reporter& r) {
             model::Document doc(r);
             doc.open(f.model);
             return doc.attach(0, 9).ok();
         }},
        {"Document::detach, no such attachment",
         [](Files& f, Reporter& r) {
             model::Document doc(r);
             doc.open(f.model);
             return doc.detach(0, 3).ok();
         }},
        {"Document::deleteComponent, no such component",
         [](Files& f, Reporter& r) {
             model::Document doc(r);
             doc.open(f.model);
             return doc.deleteComponent(4).ok();
         }},
        {"Document::setBlock13, no model",
         [](Files&, Reporter& r) {
             model::Document doc(r);
             return doc.setBlock13(0, true).ok();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.routine);
        Files files;
        RecordingReporter r;
        EXPECT_FALSE(c.run(files, r));
        EXPECT_EQ(failures(r), 1u);
        for (const auto& s : r.said)
            EXPECT_FALSE(s.text.empty());
    }
}
