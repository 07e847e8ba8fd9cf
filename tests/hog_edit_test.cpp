#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <thread>

#include "common/bytes.h"
#include "common/fileio.h"
#include "common/refpack.h"
#include "ovedit/archive/hog.h"
#include "ovedit/archive/hog_edit.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

using namespace ov;
using namespace ov::archive;
using ovtest::RecordingReporter;
using ovtest::ScratchDir;

namespace {

Bytes text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

// A folder with a small archive "a.hog" of four items (one packed) and loose files
// to put into it.
struct Game {
    ScratchDir dir;
    fs::path hog = dir / "a.hog";
    std::vector<HogItem> items = {
        {"data\\readme.txt", text("read me")},
        {"ships\\raptor.shp", refpack::encode(ovtest::randomBytes(600, 1)).value()},
        {"ships\\kestrel.shp", ovtest::randomBytes(900, 2)},
        {"missions\\m01.dat", Bytes(3000, 'm')},
    };

    Game() {
        EXPECT_TRUE(writeHog(hog, items));
        ovtest::writeBytes(dir / "new.shp", ovtest::randomBytes(2000, 3));
        ovtest::writeBytes(dir / "text.txt", Bytes(5000, 't'));
    }
    HogArchive open() const { return HogArchive::read(hog).value(); }
    Bytes bytes() const { return ovtest::readBytes(hog); }
};

struct Entry {
    std::string name;
    Bytes raw;
    bool operator==(const Entry&) const = default;
};

// Every entry's name and bytes as stored; the header checked against the file.
std::vector<Entry> contents(const fs::path& hog) {
    auto a = HogArchive::read(hog);
    EXPECT_TRUE(a);
    if (!a) return {};
    EXPECT_TRUE(a->walkNote().empty());
    EXPECT_EQ(a->hogSize(), fs::file_size(hog));
    EXPECT_EQ(a->itemCount(), a->entries().size());
    std::vector<Entry> out;
    for (const auto& e : a->entries())
        out.push_back({e.name, a->readRaw(e).value()});
    return out;
}

std::set<std::string> filesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// Lets threads go at once: each waits until all have arrived. A mutex and a
// condition variable rather than std::latch, whose wait in the MinGW build's C++
// library can miss its wake-up and sleep for good.
class StartGate {
public:
    explicit StartGate(int count) : left_(count) {}
    void arriveAndWait() {
        std::unique_lock lock(m_);
        if (--left_ == 0) {
            cv_.notify_all();
            return;
        }
        cv_.wait(lock, [&] { return left_ == 0; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    int left_;
};

}  // namespace

// ---- Round trips --------------------------------------------------------------------

TEST(HogEditRebuild, EveryKindOfStepRoundTrips) {
    const Bytes added = ovtest::randomBytes(2000, 3);
    const Bytes textFile(5000, 't');
    // An entry after the rebuild: its name, and either the original entry whose bytes
    // it keeps as stored or the bytes it holds unpacked.
    struct Want {
        std::string name;
        std::string keeps;
        std::optional<Bytes> holds;
    };
    auto kept = [](std::string name) { return Want{name, name, {}}; };
    const Want readme = kept("data\\readme.txt"), raptor = kept("ships\\raptor.shp"),
               kestrel = kept("ships\\kestrel.shp"), m01 = kept("missions\\m01.dat");
    struct Case {
        const char* what;
        std::function<Status(HogEditPlan&, const fs::path&)> plan;
        std::vector<Want> expect;
    };
    const Case cases[] = {
        {"unchanged",
         [](HogEditPlan&, const fs::path&) { return Status{}; },
         {readme, raptor, kestrel, m01}},
        {"add stored at the end",
         [](HogEditPlan& p, const fs::path& d) {
             return p.add(d / "new.shp", "ships\\new.shp", false);
         },
         {readme, raptor, kestrel, m01, {"ships\\new.shp", "", added}}},
        {"add packed before the second row",
         [](HogEditPlan& p, const fs::path& d) { return p.add(d / "text.txt", "t.txt", true, 1); },
         {readme, {"t.txt", "", textFile}, raptor, kestrel, m01}},
        {"replace, packed",
         [](HogEditPlan& p, const fs::path& d) { return p.replace(2, d / "text.txt", true); },
         {readme, raptor, {"ships\\kestrel.shp", "", textFile}, m01}},
        {"rename to a longer name",
         [](HogEditPlan& p, const fs::path&) { return p.rename(0, "docs/a much longer name.txt"); },
         {{"docs\\a much longer name.txt", "data\\readme.txt", {}}, raptor, kestrel, m01}},
        {"delete",
         [](HogEditPlan& p, const fs::path&) { return p.remove(1); },
         {readme, kestrel, m01}},
        {"several steps in one plan",
         [](HogEditPlan& p, const fs::path& d) -> Status {
             for (Status st : {p.add(d / "new.shp", "x.shp", false), p.remove(0),
                               p.replace(1, d / "new.shp", false), p.rename(4, "y.shp"),
                               p.add(d / "text.txt", "gone.txt", false), p.remove(5),
                               p.rename(3, "data\\readme.txt")})
                 if (!st) return st;
             return {};
         },
         {{"ships\\raptor.shp", "", added},
          kestrel,
          {"data\\readme.txt", "missions\\m01.dat", {}},
          {"y.shp", "", added}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Game g;
        const auto before = contents(g.hog);
        const Bytes original = g.bytes();
        HogEditPlan plan(g.open());
        ASSERT_TRUE(c.plan(plan, g.dir.path()));
        auto preview = previewEdits(plan);
        ASSERT_TRUE(preview) << preview.error().describe();
        EXPECT_EQ(g.bytes(), original);  // a preview writes nothing

        auto out = rebuildHog(plan);
        ASSERT_TRUE(out) << out.error().describe();
        EXPECT_EQ(out->written.hogSize, fs::file_size(g.hog));
        EXPECT_EQ(preview->hogSize, out->written.hogSize);
        ASSERT_EQ(preview->entries.size(), out->written.entries.size());
        EXPECT_EQ(preview->entries.back().offset, out->written.entries.back().offset);

        const auto after = contents(g.hog);
        ASSERT_EQ(after.size(), c.expect.size());
        auto a = g.open();
        for (size_t i = 0; i < after.size(); ++i) {
            const Want& want = c.expect[i];
            EXPECT_EQ(after[i].name, want.name);
            if (want.holds) {
                EXPECT_EQ(a.readUnpacked(a.entries()[i]).value(), *want.holds);
                continue;
            }
            // Kept entries are copied as stored: the packed one is not packed again.
            auto old = std::find_if(before.begin(), before.end(),
                                    [&](const Entry& e) { return e.name == want.keeps; });
            ASSERT_NE(old, before.end());
            EXPECT_EQ(after[i].raw, old->raw);
        }
        if (std::string_view(c.what) == "unchanged") {
            EXPECT_EQ(g.bytes(), original);
        }
        if (std::string_view(c.what) == "add packed before the second row") {
            EXPECT_TRUE(refpack::isPacked(after[1].raw));
        }
    }
}

TEST(HogEditRebuild, OriginalKeptOnceAndNeverOverwritten) {
    Game g;
    const Bytes original = g.bytes();
    const fs::path org = g.dir / "a.hog.org";
    EXPECT_EQ(originalPathOf(g.hog), org);
    {
        HogEditPlan plan(g.open());
        ASSERT_TRUE(plan.remove(0));
        auto out = rebuildHog(plan);
        ASSERT_TRUE(out);
        EXPECT_NE(out->original, OriginalKept::Already);
        EXPECT_EQ(out->originalPath, org);
    }
    EXPECT_EQ(ovtest::readBytes(org), original);
    EXPECT_FALSE(fs::equivalent(org, g.hog));
    {
        HogEditPlan plan(g.open());
        ASSERT_TRUE(plan.remove(0));
        auto out = rebuildHog(plan);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->original, OriginalKept::Already);
    }
    EXPECT_EQ(ovtest::readBytes(org), original);
    EXPECT_EQ(contents(g.hog).size(), 2u);

    // A second name of the archive itself (a rebuild cut off between keeping the
    // original and replacing the archive) is not an original: it is made again.
    Game h;
    const Bytes before = h.bytes();
    fs::create_hard_link(h.hog, h.dir / "a.hog.org");
    HogEditPlan plan(h.open());
    ASSERT_TRUE(plan.remove(3));
    auto out = rebuildHog(plan);
    ASSERT_TRUE(out);
    EXPECT_NE(out->original, OriginalKept::Already);
    EXPECT_EQ(ovtest::readBytes(h.dir / "a.hog.org"), before);
    EXPECT_FALSE(fs::equivalent(h.dir / "a.hog.org", h.hog));
}

// An archive written by hand: rows 0 and 1 share their bytes (a paste), row 2 lies
// inside them, row 3's data comes before theirs, junk no row points at lies between,
// and row 4 is empty.
TEST(HogEditRebuild, SharedAndOverlappingBytesStaySharedAndGapsGo) {
    ScratchDir dir;
    const std::vector<std::string> names = {"a.bin", "b.bin", "inner.bin", "first.bin", "empty"};
    uint32_t fatLength = 16;
    for (const auto& n : names)
        fatLength += 9 + uint32_t(n.size());
    const Bytes first = ovtest::randomBytes(300, 7), shared = ovtest::randomBytes(1000, 8);
    const uint32_t firstAt = fatLength + 50, sharedAt = firstAt + 300 + 400;
    struct Row {
        uint32_t offset, size;
    };
    const Row rows[] = {
        {sharedAt, 1000}, {sharedAt, 1000}, {sharedAt + 100, 200}, {firstAt, 300}, {7, 0}};
    Bytes hog(sharedAt + 1000 + 64, 0xEE);  // junk everywhere no row points
    ByteWriter w;
    w.bytes(text("BIGF"));
    w.u32be(uint32_t(hog.size()));
    w.u32be(uint32_t(names.size()));
    w.u32be(fatLength);
    for (size_t i = 0; i < names.size(); ++i) {
        w.u32be(rows[i].offset);
        w.u32be(rows[i].size);
        w.bytes(text(names[i]));
        w.u8(0);
    }
    std::copy(w.buffer().begin(), w.buffer().end(), hog.begin());
    std::copy(first.begin(), first.end(), hog.begin() + firstAt);
    std::copy(shared.begin(), shared.end(), hog.begin() + sharedAt);
    ovtest::writeBytes(dir / "odd.hog", hog);
    const auto before = contents(dir / "odd.hog");

    HogEditPlan plan(HogArchive::read(dir / "odd.hog").value());
    ASSERT_TRUE(plan.rename(4, "still-empty"));
    auto out = rebuildHog(plan);
    ASSERT_TRUE(out) << out.error().describe();
    const auto& e = out->written.entries;
    EXPECT_EQ(e[0].offset, e[1].offset);
    EXPECT_EQ(e[2].offset, e[0].offset + 100);
    // Compact: the FAT, the shared bytes once, the first row's bytes; no junk.
    EXPECT_EQ(out->written.hogSize, fatLength + 6 + 1000 + 300);
    auto after = contents(dir / "odd.hog");
    after[4].name = "empty";
    EXPECT_EQ(after, before);

    // Deleting one of two rows that share bytes leaves them to the other.
    HogEditPlan again(HogArchive::read(dir / "odd.hog").value());
    ASSERT_TRUE(again.remove(0));
    ASSERT_TRUE(rebuildHog(again));
    EXPECT_EQ(contents(dir / "odd.hog")[0], before[1]);
}

// ---- Refusals -----------------------------------------------------------------------

TEST(HogEditPlan, RefusedStepsSayWhyAndChangeNothing) {
    Game g;
    ovtest::writeBytes(g.dir / "packed.qfs", refpack::encode(text("tiny")).value());
    {
        // Too large to pack unless packed already (a sparse file costs no disk).
        std::ofstream(g.dir / "huge.bin").close();
        fs::resize_file(g.dir / "huge.bin", refpack::kMaxPackInput + 1);
    }
    HogEditPlan plan(g.open());
    ASSERT_TRUE(plan.remove(3));
    const auto listed = plan.entries();
    const fs::path file = g.dir / "new.shp";
    struct Case {
        const char* what;
        std::function<Status()> step;
        ErrorKind kind;
    };
    const Case cases[] = {
        {"empty name", [&] { return plan.add(file, "", false); }, ErrorKind::Refused},
        {"absolute", [&] { return plan.add(file, "\\x.shp", false); }, ErrorKind::Refused},
        {"absolute, slash", [&] { return plan.add(file, "/x.shp", false); }, ErrorKind::Refused},
        {"drive letter", [&] { return plan.add(file, "C:x.shp", false); }, ErrorKind::Refused},
        {"dot dot", [&] { return plan.add(file, "ships\\..\\..\\x", false); }, ErrorKind::Refused},
        {"a folder", [&] { return plan.add(file, "ships\\", false); }, ErrorKind::Refused},
        {"zero byte", [&] { return plan.add(file, std::string("a\0b", 3), false); },
         ErrorKind::Refused},
        {"same name, other case", [&] { return plan.add(file, "DATA/README.TXT", false); },
         ErrorKind::Refused},
        {"rename onto another", [&] { return plan.rename(1, "Ships\\Kestrel.shp"); },
         ErrorKind::Refused},
        {"rename to dot dot", [&] { return plan.rename(1, ".."); }, ErrorKind::Refused},
        {"no such file", [&] { return plan.add(g.dir / "nope", "n", false); }, ErrorKind::NotFound},
        {"too large to pack", [&] { return plan.add(g.dir / "huge.bin", "h", true); },
         ErrorKind::Refused},
        {"row past the list", [&] { return plan.remove(9); }, ErrorKind::OutOfRange},
        {"deleted row", [&] { return plan.replace(3, file, false); }, ErrorKind::NotFound},
        {"name of nothing",
         [&] {
             return plan.apply({EditKind::Delete, "nope", "", {}, false, {}});
         },
         ErrorKind::NotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Status st = c.step();
        ASSERT_FALSE(st);
        EXPECT_EQ(st.error().kind, c.kind) << st.error().message;
        EXPECT_EQ(plan.steps().size(), 1u);
        EXPECT_EQ(plan.entries().size(), listed.size());
    }
    // The name of a deleted entry is free again, "/" becomes the game's "\\", and a
    // file packed already is stored as it is.
    EXPECT_TRUE(plan.add(g.dir / "packed.qfs", "MISSIONS/m01.dat", true));
    EXPECT_EQ(plan.entries().back().name, "MISSIONS\\m01.dat");
    EXPECT_EQ(plan.find("m01.dat").value(), 4u);
    ASSERT_TRUE(rebuildHog(plan));
    EXPECT_EQ(contents(g.hog).back().raw, ovtest::readBytes(g.dir / "packed.qfs"));
}

// A window checks names as they are typed: the check says what the step would say,
// and takes no step.
TEST(HogEditPlan, NameCheckAgreesWithTheSteps) {
    Game g;
    HogEditPlan plan(g.open());
    ASSERT_TRUE(plan.remove(3));
    const fs::path file = g.dir / "new.shp";
    struct Case {
        std::string name;
        std::optional<size_t> row;
    };
    const Case cases[] = {
        {"", {}},
        {"..\\x", {}},
        {"C:x", {}},
        {"DATA/README.TXT", {}},    // taken, ignoring case
        {"missions\\m01.dat", {}},  // free again: its row is to be deleted
        {"ships\\new.shp", {}},
        {"Ships\\Kestrel.shp", 1},  // another row's name
        {"SHIPS\\RAPTOR.SHP", 1},   // its own name in other letters
        {"ships\\", 1},
        {std::string(300, 'n'), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Status checked = plan.checkName(c.name, c.row);
        EXPECT_EQ(plan.steps().size(), 1u);
        HogEditPlan copy = plan;
        const Status taken = c.row ? copy.rename(*c.row, c.name) : copy.add(file, c.name, false);
        ASSERT_EQ(bool(checked), bool(taken));
        if (!checked) {
            EXPECT_EQ(checked.error().message, taken.error().message);
        }
    }
    EXPECT_EQ(plan.checkName("x", 7).error().kind, ErrorKind::OutOfRange);

    // The same answers when names were first checked before the step.
    HogEditPlan early(g.open());
    ASSERT_TRUE(early.checkName("ships\\early.shp", {}));
    ASSERT_TRUE(early.remove(3));
    for (const Case& c : cases)
        EXPECT_EQ(bool(early.checkName(c.name, c.row)), bool(plan.checkName(c.name, c.row)))
            << c.name;
}

TEST(HogEditRebuild, RefusesAnArchiveThatChangedOrPointsPastItsEnd) {
    Game g;
    HogEditPlan plan(g.open());
    ASSERT_TRUE(plan.rename(0, "readme2.txt"));
    // The FAT changed behind the plan's back (another program, another window).
    auto other = g.open();
    RecordingReporter quiet;
    ASSERT_TRUE(saveEntry(other, 0, "data\\README.TXT", "180", "7", quiet));
    auto out = rebuildHog(plan);
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error().kind, ErrorKind::Refused);

    // An entry whose bytes lie past the end cannot be kept, only deleted or replaced.
    auto a = g.open();
    Bytes damaged = g.bytes();
    storeU32BE(&damaged[a.entries()[2].entryPos + 4], uint32_t(a.fileSize()));
    ovtest::writeBytes(g.hog, damaged);
    HogEditPlan keep(g.open());
    ASSERT_TRUE(keep.rename(0, "r.txt"));
    auto refused = rebuildHog(keep);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("ships\\kestrel.shp"), std::string::npos);
    HogEditPlan drop(g.open());
    ASSERT_TRUE(drop.remove(2));
    EXPECT_TRUE(rebuildHog(drop));
}

// ---- Writers at once ---------------------------------------------------------------

TEST(HogEditRebuild, TwoRebuildsAtOnceNeverLoseAChangeSilently) {
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        Game g;
        ovtest::writeBytes(g.dir / "b.bin", ovtest::randomBytes(3000, 4));
        HogEditPlan first(g.open()), second(g.open());
        ASSERT_TRUE(first.add(g.dir / "new.shp", "first.shp", false));
        ASSERT_TRUE(second.add(g.dir / "b.bin", "second.bin", false));
        StartGate start(2);
        std::optional<Result<EditOutcome>> a, b;
        std::thread ta([&] {
            start.arriveAndWait();
            a = rebuildHog(first);
        });
        std::thread tb([&] {
            start.arriveAndWait();
            b = rebuildHog(second);
        });
        ta.join();
        tb.join();
        // Both were planned from the same archive: one lands, the other is refused.
        ASSERT_NE(a->ok(), b->ok());
        const Result<EditOutcome>& lost = a->ok() ? *b : *a;
        EXPECT_EQ(lost.error().kind, ErrorKind::Refused) << lost.error().describe();
        const auto now = contents(g.hog);
        ASSERT_EQ(now.size(), 5u);
        EXPECT_EQ(now.back().name, a->ok() ? "first.shp" : "second.bin");
    }
}

TEST(HogEditRebuild, AHeldLockMakesEveryWriterWaitThenSayBusy) {
    Game g;
    const Bytes original = g.bytes();
    HogEditPlan plan(g.open());
    ASSERT_TRUE(plan.remove(0));
    auto open = g.open();
    {
        auto other = WriteLock::acquire(g.hog);  // another program in the middle of a write
        ASSERT_TRUE(other);
        auto out = rebuildHog(plan);
        ASSERT_FALSE(out);
        EXPECT_EQ(out.error().kind, ErrorKind::Refused);
        EXPECT_NE(out.error().message.find("the archive is busy"), std::string::npos)
            << out.error().message;
        RecordingReporter r;
        EXPECT_FALSE(saveEntry(open, 0, "data\\README.TXT", "10", "7", r));
        ASSERT_EQ(r.said.size(), 1u);
        EXPECT_NE(r.said[0].text.find("the archive is busy"), std::string::npos);
        EXPECT_EQ(g.bytes(), original);
    }
    EXPECT_TRUE(rebuildHog(plan));
}

TEST(HogEditRebuild, InPlaceCommandsAfterARebuildLeaveTheNewArchiveAndTheOriginalAlone) {
    Game g;
    const Bytes original = g.bytes();
    auto open = g.open();  // a window that opened the archive before the rebuild
    HogEditPlan plan(g.open());
    ASSERT_TRUE(plan.add(g.dir / "new.shp", "added.shp", false));
    ASSERT_TRUE(rebuildHog(plan));
    const Bytes rebuilt = g.bytes();

    RecordingReporter r;
    EXPECT_FALSE(saveEntry(open, 0, "data\\README.TXT", "10", "7", r));
    EXPECT_FALSE(pasteEntry(open, 1, 0, r));
    ASSERT_EQ(r.said.size(), 2u);
    for (const auto& said : r.said)
        EXPECT_NE(said.text.find("has changed since it was opened"), std::string::npos)
            << said.text;
    EXPECT_EQ(g.bytes(), rebuilt);
    EXPECT_EQ(ovtest::readBytes(g.dir / "a.hog.org"), original);
}

TEST(HogEditRebuild, ThroughALinkTheTargetIsRebuiltAndTheOriginalIsAFile) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need rights on Windows";
#endif
    Game g;
    fs::create_directory(g.dir / "game");
    const fs::path link = g.dir / "game" / "resource.hog";
    fs::create_symlink(g.hog, link);
    const Bytes original = g.bytes();
    for (size_t row : {0, 0}) {
        HogEditPlan plan(HogArchive::read(link).value());
        ASSERT_TRUE(plan.remove(row));
        auto out = rebuildHog(plan);
        ASSERT_TRUE(out) << out.error().describe();
        EXPECT_EQ(out->originalPath, g.dir / "game" / "resource.hog.org");
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contents(g.hog).size(), 2u);
    const fs::path org = g.dir / "game" / "resource.hog.org";
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(org)));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(org)));
    EXPECT_EQ(ovtest::readBytes(org), original);
}

TEST(HogEditRebuild, AnOrgThatIsNoArchiveIsRefusedBeforeAnythingIsWritten) {
    for (int kind = 0; kind < 2; ++kind) {
        SCOPED_TRACE(kind);
        Game g;
        const fs::path org = g.dir / "a.hog.org";
        if (kind == 0)
            fs::create_directory(org);
        else
            ovtest::writeBytes(org, text("my notes"));
        const Bytes original = g.bytes();
        const auto listing = filesIn(g.dir.path());
        HogEditPlan plan(g.open());
        ASSERT_TRUE(plan.remove(0));
        RecordingReporter r;
        EXPECT_FALSE(applyHogEdits(plan, {}, {}, r));
        ASSERT_EQ(r.said.size(), 1u);
        EXPECT_NE(r.said[0].text.find(kind == 0 ? "is a folder" : "is not a hog archive"),
                  std::string::npos)
            << r.said[0].text;
        EXPECT_EQ(g.bytes(), original);
        EXPECT_EQ(filesIn(g.dir.path()), listing);
        if (kind == 1) {
            EXPECT_EQ(ovtest::readBytes(org), text("my notes"));
        }
    }
}

// ---- Failures and stops leave the archive as it was ---------------------------------

TEST(HogEditRebuild, FailureOrStopHalfWayLeavesTheArchiveUntouched) {
    // SeamWrite and SeamRename: the file layer's own write or final rename fails.
    enum class Fault { FileGone, Stop, DiskFull, SeamWrite, SeamRename };
    std::vector<Fault> faults = {Fault::FileGone, Fault::Stop, Fault::SeamWrite,
                                 Fault::SeamRename};
#ifndef _WIN32
    faults.push_back(Fault::DiskFull);
#endif
    for (Fault fault : faults) {
        SCOPED_TRACE(int(fault));
        Game g;
        ovtest::writeBytes(g.dir / "big.bin", ovtest::randomBytes(200000, 9));
        const Bytes original = g.bytes();
        HogEditPlan plan(g.open());
        ASSERT_TRUE(plan.replace(0, g.dir / "new.shp", false));
        ASSERT_TRUE(plan.add(g.dir / "big.bin", "big.bin", false));
        ASSERT_TRUE(plan.add(g.dir / "text.txt", "last.txt", true));

        std::stop_source stop;
        Job job;
        job.stop = stop.get_token();
        std::vector<std::string> statuses;
        job.progress = [&](const Progress& p) {
            statuses.push_back(p.status);
            if (fault == Fault::Stop && p.done >= 1) stop.request_stop();
        };
        if (fault == Fault::FileGone) fs::remove(g.dir / "text.txt");
        const auto listing = filesIn(g.dir.path());
        RecordingReporter r;
        std::optional<EditOutcome> out;
#ifndef _WIN32
        rlimit saved{};
        if (fault == Fault::DiskFull) {
            // Writes beyond 100,000 bytes fail as on a full disk, half-way through big.bin.
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit small = saved;
            small.rlim_cur = 100000;
            setrlimit(RLIMIT_FSIZE, &small);
        }
#endif
        {
            std::optional<ScopedFileFault> seam;
            if (fault == Fault::SeamWrite)
                seam.emplace(FileStep::Write, 2, std::errc::no_space_on_device, true);
            if (fault == Fault::SeamRename)
                seam.emplace(FileStep::Rename, 0, std::errc::permission_denied);
            out = applyHogEdits(plan, {}, job, r);
            if (seam) {
                EXPECT_GE(seam->struck(), 1u);
            }
        }
#ifndef _WIN32
        if (fault == Fault::DiskFull) setrlimit(RLIMIT_FSIZE, &saved);
#endif
        EXPECT_FALSE(out);
        EXPECT_EQ(g.bytes(), original);
        EXPECT_EQ(filesIn(g.dir.path()), listing);  // no temporary file, no .org
        ASSERT_EQ(r.said.size(), 1u);
        if (fault == Fault::Stop) {
            EXPECT_EQ(r.said[0].text, "Rebuild stopped: the archive is unchanged");
            EXPECT_EQ(statuses.back(), "Copying ships\\raptor.shp");
        } else {
            EXPECT_EQ(r.said[0].icon, Icon::Critical);
            EXPECT_EQ(r.said[0].text.rfind("Error - ", 0), 0u) << r.said[0].text;
            const char* expected = fault == Fault::FileGone     ? "text.txt"
                                   : fault == Fault::SeamRename ? "cannot rename"
                                                                : "write error";
            EXPECT_NE(r.said[0].text.find(expected), std::string::npos)
                << r.said[0].text;
            // A full disk is the archive's fault, not the file being copied in.
            if (fault == Fault::DiskFull || fault == Fault::SeamWrite) {
                EXPECT_EQ(r.said[0].text.rfind("Error - " + g.hog.string() + ": write error", 0),
                          0u)
                    << r.said[0].text;
            }
        }
    }
}

TEST(HogEditApply, StaleFatBackupIsOfferedARefresh) {
    for (Answer answer : {Answer::Yes, Answer::No}) {
        Game g;
        RecordingReporter r;
        auto a = g.open();
        r.answers = {Answer::Yes};
        ASSERT_TRUE(backupFat(a, r));
        const Bytes oldBackup = ovtest::readBytes(a.backupPath());
        HogEditPlan plan(g.open());
        ASSERT_TRUE(plan.rename(0, "a-longer-name.txt"));
        r.said.clear();
        r.answers = {answer};
        auto out = applyHogEdits(plan, {}, {}, r);
        ASSERT_TRUE(out);
        ASSERT_EQ(r.said.size(), 1u);
        EXPECT_TRUE(r.said[0].question);
        EXPECT_EQ(r.said[0].title, "Backup FAT table");
        EXPECT_EQ(out->fatBackupPath, a.backupPath());
        EXPECT_EQ(out->fatBackupStale, answer == Answer::No);
        const Bytes now = g.bytes();
        const Bytes backup = ovtest::readBytes(a.backupPath());
        if (answer == Answer::Yes) {
            EXPECT_EQ(backup, Bytes(now.begin(), now.begin() + out->written.fatLength));
        } else {
            EXPECT_EQ(backup, oldBackup);
        }
    }
}

// ---- The plan as a window holds it, and scripts -------------------------------------

TEST(HogEditPlan, ListsMarksUndoesAndDiscards) {
    Game g;
    HogEditPlan plan(g.open());
    ASSERT_TRUE(plan.apply({EditKind::Replace, "raptor.shp", "", g.dir / "new.shp", true, {}}));
    ASSERT_TRUE(plan.rename(0, "docs\\readme.txt"));
    ASSERT_TRUE(plan.add(g.dir / "text.txt", "t.txt", false));
    ASSERT_TRUE(plan.remove(2));
    const auto& e = plan.entries();
    EXPECT_TRUE(e[0].renamed);
    EXPECT_TRUE(e[1].replaced() && e[1].pack);
    EXPECT_TRUE(e[2].deleted);
    EXPECT_FALSE(e[3].changed());
    EXPECT_TRUE(e[4].added());
    EXPECT_EQ(plan.liveCount(), 4u);
    EXPECT_EQ(describe(plan.steps()[0]),
              "Replace \"ships\\raptor.shp\" with " + (g.dir / "new.shp").string() + ", packed");
    EXPECT_EQ(describe(plan.steps()[1]), "Rename \"data\\readme.txt\" to \"docs\\readme.txt\"");
    EXPECT_EQ(describe(plan.steps()[3]), "Delete \"ships\\kestrel.shp\"");

    // Deleting an added entry takes it out of the list; undo puts it back.
    ASSERT_TRUE(plan.remove(4));
    EXPECT_EQ(plan.entries().size(), 4u);
    ASSERT_TRUE(plan.undo());
    EXPECT_TRUE(plan.entries()[4].added());
    ASSERT_TRUE(plan.undo());
    ASSERT_TRUE(plan.undo());
    EXPECT_EQ(plan.entries().size(), 4u);
    EXPECT_EQ(plan.steps().size(), 2u);
    plan.clear();
    EXPECT_TRUE(plan.empty());
    EXPECT_FALSE(plan.undo());
    for (const auto& x : plan.entries())
        EXPECT_FALSE(x.changed());
}

TEST(HogEditScript, StepsAndTheFaultyLine) {
    const fs::path base = "/mods";
    auto steps = parseEditScript(
        "# a comment\r\n\n"
        "add ships/x.shp\n"
        "ADD \"my file.txt\" as \"data\\my file.txt\" pack\n"
        "  replace raptor.shp /abs/r.shp PACK\n"
        "rename \"old name\" new\n"
        "delete pack\n",
        base);
    ASSERT_TRUE(steps) << steps.error().describe();
    ASSERT_EQ(steps->size(), 5u);
    const auto& s = *steps;
    EXPECT_EQ(s[0].kind, EditKind::Add);
    EXPECT_EQ(s[0].name, "x.shp");
    EXPECT_EQ(s[0].file, base / "ships/x.shp");
    EXPECT_FALSE(s[0].pack);
    EXPECT_EQ(s[1].name, "data\\my file.txt");
    EXPECT_EQ(s[1].file, base / "my file.txt");
    EXPECT_TRUE(s[1].pack);
    EXPECT_EQ(s[2].kind, EditKind::Replace);
    EXPECT_EQ(s[2].file, fs::path("/abs/r.shp"));
    EXPECT_TRUE(s[2].pack);
    EXPECT_EQ(s[3].name, "old name");
    EXPECT_EQ(s[3].newName, "new");
    EXPECT_EQ(s[4].kind, EditKind::Delete);
    EXPECT_EQ(s[4].name, "pack");

    const std::pair<const char*, const char*> bad[] = {
        {"add", "line 1: expected: add FILE [as NAME] [pack]"},
        {"add x as", "line 1: expected: add FILE [as NAME] [pack]"},
        {"add x \"pack\"", "line 1: expected: add FILE [as NAME] [pack]"},
        {"#\nreplace x", "line 2: expected: replace NAME FILE [pack]"},
        {"rename a b c", "line 1: expected: rename OLD NEW"},
        {"delete", "line 1: expected: delete NAME"},
        {"\n\nmove a b",
         "line 3: unknown step \"move\" (the steps are add, replace, rename and delete)"},
        {"delete \"a", "line 1: a double quote is not closed"},
    };
    for (const auto& [script, message] : bad) {
        auto r = parseEditScript(script, base);
        ASSERT_FALSE(r) << script;
        EXPECT_EQ(r.error().message, message);
    }
}

TEST(HogEditScript, AByteOrderMarkAtTheStartIsPassedOver) {
    auto steps = parseEditScript("\xEF\xBB\xBF" "delete a.txt\r\nrename b c\n", "/mods");
    ASSERT_TRUE(steps) << steps.error().describe();
    ASSERT_EQ(steps->size(), 2u);
    EXPECT_EQ((*steps)[0].kind, EditKind::Delete);
    EXPECT_EQ((*steps)[0].name, "a.txt");
    // Only at the start: elsewhere it is part of a word.
    EXPECT_FALSE(parseEditScript("delete a\n\xEF\xBB\xBF" "delete b\n", "/mods"));
}

// Steps find their entries through an index, not by looking at every row: 5,000
// named steps on 60,000 entries, with adds, renames and deletes moving rows about.
TEST(HogEditPlan, ManyNamedStepsOnALargeArchive) {
    ScratchDir dir;
    std::vector<HogItem> items;
    for (int i = 0; i < 60000; ++i)
        items.push_back({"data\\e" + std::to_string(i) + ".bin", {uint8_t(i)}});
    ASSERT_TRUE(writeHog(dir / "big.hog", items));
    ovtest::writeBytes(dir / "x.bin", text("x"));
    HogEditPlan plan(HogArchive::read(dir / "big.hog").value());
    auto step = [](EditKind kind, std::string name, std::string newName = {}) {
        HogEdit e;
        e.kind = kind;
        e.name = std::move(name);
        e.newName = std::move(newName);
        return e;
    };
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2500; ++i) {
        ASSERT_TRUE(plan.apply(step(EditKind::Rename, "e" + std::to_string(i) + ".bin",
                                    "data\\r" + std::to_string(i) + ".bin")));
        ASSERT_TRUE(plan.apply(step(EditKind::Delete, "data\\e" + std::to_string(30000 + i) +
                                                          ".bin")));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 3.0) << seconds;
    EXPECT_EQ(plan.liveCount(), 57500u);

    // The index follows rows that move: an add before row 0, then lookups.
    ASSERT_TRUE(plan.add(dir / "x.bin", "first.bin", false, 0));
    EXPECT_EQ(plan.find("first.bin").value(), 0u);
    EXPECT_EQ(plan.find("r7.bin").value(), 8u);
    EXPECT_EQ(plan.find("E2500.BIN").value(), 2501u);
    EXPECT_EQ(plan.find("e30000.bin").error().kind, ErrorKind::NotFound);
    EXPECT_EQ(plan.find("e0.bin").error().kind, ErrorKind::NotFound);
    ASSERT_TRUE(plan.apply(step(EditKind::Rename, "first.bin", "data\\r7.bin")).error().kind ==
                ErrorKind::Refused);
    ASSERT_TRUE(plan.remove(0));
    EXPECT_EQ(plan.find("r7.bin").value(), 7u);
    ASSERT_TRUE(plan.undo());
    EXPECT_EQ(plan.find("first.bin").value(), 0u);
}

// ---- Building from files ------------------------------------------------------------

TEST(HogCreate, StreamedFromFilesAsTheInMemoryBuildOnAnyNumberOfThreads) {
    ScratchDir dir;
    std::vector<HogItem> items;
    std::vector<HogFileItem> files;
    for (int i = 0; i < 12; ++i) {
        Bytes data = i % 3 == 0 ? ovtest::randomBytes(7000 + i, i)
                                : Bytes(size_t(9000 + 100 * i), uint8_t('a' + i));
        if (i == 4) data = refpack::encode(data).value();  // stored as it is
        std::string name = "dir\\item";
        name += std::to_string(i);
        name += ".bin";
        std::string file = "f";
        file += std::to_string(i);
        ovtest::writeBytes(dir / file, data);
        files.push_back({name, dir / file});
        items.push_back({name, std::move(data)});
    }
    for (bool pack : {false, true}) {
        const Bytes expected = buildHog(items, pack).value();
        for (unsigned threads : {1u, 3u}) {
            PackOptions options;
            options.threads = threads;
            std::vector<uint64_t> done;
            Job job;
            job.progress = [&](const Progress& p) { done.push_back(p.done); };
            auto w = writeHogFiles(dir / "out.hog", files, pack, options, job);
            ASSERT_TRUE(w) << w.error().describe();
            EXPECT_EQ(ovtest::readBytes(dir / "out.hog"), expected);
            EXPECT_EQ(w->hogSize, expected.size());
            EXPECT_EQ(done.size(), files.size() + 1);
        }
    }
    // Names that would collide or escape are refused and nothing is written; so is a
    // missing file, found half-way.
    fs::remove(dir / "out.hog");
    auto twice = files;
    twice[5].name = "DIR\\ITEM0.BIN";
    EXPECT_EQ(writeHogFiles(dir / "out.hog", twice).error().kind, ErrorKind::Refused);
    auto gone = files;
    gone[7].file = dir / "missing";
    EXPECT_FALSE(writeHogFiles(dir / "out.hog", gone, true));
    EXPECT_FALSE(fs::exists(dir / "out.hog"));
    EXPECT_EQ(filesIn(dir.path()).size(), files.size());
}
