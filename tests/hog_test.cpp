#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <stop_token>
#include <thread>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "common/bytes.h"
#include "common/fileio.h"
#include "common/refpack.h"
#include "ovedit/archive/hog.h"
#include "support/test_support.h"

using namespace ov;
using namespace ov::archive;
using ovtest::RecordingReporter;
using ovtest::ScratchDir;

namespace {

Bytes text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

Bytes built(const std::vector<HogItem>& items, bool pack = false) {
    auto b = buildHog(items, pack);
    EXPECT_TRUE(b) << b.error().describe();
    return b ? *b : Bytes{};
}

// Joins by appending: GCC 12 reports a false -Wrestrict at -O3 on "literal" + string.
std::string cat(std::initializer_list<std::string_view> parts) {
    std::string s;
    for (std::string_view p : parts)
        s += p;
    return s;
}

// An archive of `n` entries named e0, e1, ... with one byte of data each.
Bytes manyEntries(size_t n) {
    std::vector<HogItem> items(n);
    for (size_t i = 0; i < n; ++i)
        items[i] = {cat({"e", std::to_string(i)}), {uint8_t(i)}};
    return built(items);
}

void setCount(Bytes& hog, uint32_t count) {
    storeU32BE(&hog[8], count);
}

std::vector<std::string> namesOf(const HogArchive& a) {
    std::vector<std::string> out;
    for (const auto& e : a.entries())
        out.push_back(e.name);
    return out;
}

}  // namespace

// ---- Opening: header and count ------------------------------------------------------

TEST(HogOpen, CountAndCompanion) {
    const Bytes good = manyEntries(3);
    Bytes zero = good;
    setCount(zero, 0);
    Bytes huge = good;
    setCount(huge, 100001);
    Bytes companion(good.begin(), good.begin() + 16);
    struct Case {
        const char* name;
        Bytes hog;
        bool withCompanion;
        size_t entries;
        bool usedCompanion;
        bool note;
    };
    const Case cases[] = {
        {"count 0, no companion: empty list", zero, false, 0, false, false},
        {"count 0, companion gives the count", zero, true, 3, true, false},
        {"count 100001, companion gives the count", huge, true, 3, true, false},
        {"count 100001, no companion: walk stops at the FAT's end", huge, false, 3, false, true},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ovtest::writeBytes(dir / "resource.hog", c.hog);
        if (c.withCompanion) ovtest::writeBytes(dir / "resource.fat", companion);
        RecordingReporter r;
        auto a = HogArchive::open((dir / "resource.hog").string(), r);
        ASSERT_TRUE(a) << c.name;
        EXPECT_EQ(a->entries().size(), c.entries) << c.name;
        EXPECT_EQ(a->usedCompanion(), c.usedCompanion) << c.name;
        EXPECT_EQ(!a->walkNote().empty(), c.note) << c.name;
        EXPECT_EQ(r.said.size(), c.note ? 1u : 0u) << c.name;
        EXPECT_EQ(ovtest::readBytes(dir / "resource.hog"), c.hog) << c.name << ": opening wrote";
    }
}

TEST(HogOpen, HundredThousandEntriesAccepted) {
    ScratchDir dir;
    Bytes hog = manyEntries(100000);
    ovtest::writeBytes(dir / "big.hog", hog);
    auto a = HogArchive::read(dir / "big.hog");
    ASSERT_TRUE(a) << a.error().describe();
    EXPECT_FALSE(a->usedCompanion());
    ASSERT_EQ(a->entries().size(), 100000u);
    EXPECT_EQ(a->entries().back().name, "e99999");
    EXPECT_EQ(a->readRaw(a->entries().back()).value(), Bytes{uint8_t(99999)});
}

TEST(HogOpen, RefusalsUseTheEditorsMessages) {
    ScratchDir dir;
    ovtest::writeBytes(dir / "bad.hog", text("BIGG\0\0\0\0"));
    struct Case {
        std::string path;
        const char* title;
        const char* message;
    };
    const Case cases[] = {
        {(dir / "missing.hog").string(), "File path error", "File not found"},
        {"   ", "File path error", "File not found"},
        {cat({"  ", (dir / "bad.hog").string(), "  "}), "Extractor",
         "This file is not a valid OV Hog file"},
    };
    for (const Case& c : cases) {
        RecordingReporter r;
        EXPECT_FALSE(HogArchive::open(c.path, r));
        ASSERT_EQ(r.said.size(), 1u);
        EXPECT_EQ(r.said[0].title, c.title);
        EXPECT_EQ(r.said[0].text, c.message);
        EXPECT_EQ(r.said[0].icon, Icon::Exclamation);
    }
    // The path is trimmed before use.
    ovtest::writeBytes(dir / "ok.hog", manyEntries(1));
    RecordingReporter r;
    EXPECT_TRUE(HogArchive::open(cat({"\t", (dir / "ok.hog").string(), " "}), r));
}

// ---- FAT walk bounds ----------------------------------------------------------------

TEST(HogFatWalk, StopsAtTheRegionOrFileEnd) {
    const Bytes good = manyEntries(5);
    struct Case {
        const char* name;
        uint32_t count;
        std::optional<uint32_t> fatLength;
        size_t entries;
    };
    const Case cases[] = {
        {"count beyond the FAT", 0xFFFFFFFF, std::nullopt, 5},
        {"FAT length cuts the walk", 5, 16 + 3 * 11, 3},
        {"FAT length past the file: file end bounds it", 5, 0x7FFFFFFF, 5},
        {"FAT length 0: file end bounds it", 9, 0, 5},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        Bytes hog = good;
        setCount(hog, c.count);
        if (c.fatLength) storeU32BE(&hog[12], *c.fatLength);
        ovtest::writeBytes(dir / "x.hog", hog);
        auto a = HogArchive::read(dir / "x.hog");
        ASSERT_TRUE(a) << c.name;
        EXPECT_LE(a->entries().size(), c.entries) << c.name;
        EXPECT_GE(a->entries().size(), std::min<size_t>(c.entries, 3)) << c.name;
        EXPECT_EQ(a->walkNote().empty(), a->entries().size() == c.count) << c.name;
    }
}

TEST(HogFatWalk, EveryPrefixOpensSafely) {
    const Bytes hog = built({{"ships\\a.shp", text("abc")}, {"b", {}}, {"c.txt", text("z")}});
    ScratchDir dir;
    for (size_t n = 0; n <= hog.size(); ++n) {
        ovtest::writeBytes(dir / "p.hog", Bytes(hog.begin(), hog.begin() + long(n)));
        auto a = HogArchive::read(dir / "p.hog");
        if (n < 4) {
            EXPECT_FALSE(a) << n;
            continue;
        }
        ASSERT_TRUE(a) << n;
        for (const auto& e : a->entries()) {
            auto raw = a->readRaw(e);
            EXPECT_EQ(bool(raw), uint64_t(e.offset) + e.size <= n) << n;
        }
        ScratchDir out;
        SilentReporter quiet;
        std::vector<size_t> rows(a->entries().size());
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = i;
        (void)extract(*a, rows, out.path().string(), ExtractMode::Unpack, {}, quiet);
    }
}

TEST(HogFatWalk, NamesLongerThanTheFirstRead) {
    const std::string a(70000, 'a'), b(150000, 'b');
    ScratchDir dir;
    ovtest::writeBytes(dir / "long.hog", built({{a, text("1")}, {b, text("22")}}));
    auto h = HogArchive::read(dir / "long.hog");
    ASSERT_TRUE(h);
    EXPECT_TRUE(h->walkNote().empty());
    EXPECT_EQ(namesOf(*h), (std::vector<std::string>{a, b}));
    EXPECT_EQ(h->readRaw(h->entries()[1]).value(), text("22"));
}

TEST(HogFatWalk, EmptyNamesTakeNineBytes) {
    ByteWriter w;
    w.bytes(text("BIGF"));
    w.u32be(0);
    w.u32be(3);
    w.u32be(16 + 9 + 9 + 10);
    for (uint32_t i = 0; i < 2; ++i) {
        w.u32be(0x100 + i);
        w.u32be(i);
        w.u8(0);
    }
    w.u32be(7);
    w.u32be(8);
    w.bytes(text("x"));
    w.u8(0);
    ScratchDir dir;
    ovtest::writeBytes(dir / "e.hog", w.buffer());
    auto a = HogArchive::read(dir / "e.hog");
    ASSERT_TRUE(a);
    ASSERT_EQ(a->entries().size(), 3u);
    EXPECT_EQ(a->entries()[0].entryPos, 16u);
    EXPECT_EQ(a->entries()[1].entryPos, 25u);
    EXPECT_EQ(a->entries()[1].offset, 0x101u);
    EXPECT_EQ(a->entries()[2].entryPos, 34u);
    EXPECT_EQ(a->entries()[2].name, "x");
}

// ---- Texts --------------------------------------------------------------------------

TEST(HogTexts, HexSizeTypeAndCount) {
    const std::pair<uint32_t, const char*> hex[] = {{0, "0"},
                                                    {0xABC, "ABC"},
                                                    {99999999, "5F5E0FF"},
                                                    {0x10000000, "10000000"},
                                                    {0xFFFFFFFF, "FFFFFFFF"}};
    for (auto [v, s] : hex)
        EXPECT_EQ(hexText(v), s);
    EXPECT_EQ(hogSizeText(0), "Hog Size: 0 byte(s)");
    EXPECT_EQ(hogSizeText(999), "Hog Size: 999 byte(s)");
    EXPECT_EQ(hogSizeText(1000), "Hog Size: 1,000 byte(s)");
    EXPECT_EQ(hogSizeText(4294967295u), "Hog Size: 4,294,967,295 byte(s)");
    EXPECT_EQ(countText(967), "967 file(s)");
    EXPECT_EQ(fileType(" ships\\fighter.shp "), "shp");
    EXPECT_EQ(fileType("a.b.TXT"), "TXT");
    EXPECT_EQ(fileType("readme"), "");
}

TEST(HogTexts, FindIgnoresCaseAndFolders) {
    ScratchDir dir;
    ovtest::writeBytes(dir / "f.hog",
                       built({{"ships\\Fighter.SHP", text("1")}, {"fighter.shp", text("2")}}));
    auto a = HogArchive::read(dir / "f.hog");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->find("FIGHTER.shp")->name, "fighter.shp");  // whole name first
    EXPECT_EQ(a->find("SHIPS\\fighter.shp")->name, "ships\\Fighter.SHP");
    EXPECT_EQ(a->find("nothing"), nullptr);
}

// ---- GetHogData -----------------------------------------------------------------------

TEST(HogGetHogData, RepairsZeroCountToWhatTheFatHolds) {
    ScratchDir dir;
    Bytes hog = manyEntries(4);
    setCount(hog, 0);
    ovtest::writeBytes(dir / "resource.hog", hog);
    RecordingReporter r;
    auto table = GetHogData((dir / "resource.hog").string(), r);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->size(), 4u);
    EXPECT_TRUE(
        r.saidText("Error in resource.hog - Hog says number of items = 0 - attempting to correct"));
    EXPECT_EQ(loadU32BE(&ovtest::readBytes(dir / "resource.hog")[8]), 4u);

    // A FAT region that holds no entry: nothing to write.
    Bytes empty = built({});
    ovtest::writeBytes(dir / "empty.hog", empty);
    table = GetHogData((dir / "empty.hog").string(), r);
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->empty());
    EXPECT_EQ(ovtest::readBytes(dir / "empty.hog"), empty);

    RecordingReporter missing;
    EXPECT_FALSE(GetHogData((dir / "none.hog").string(), missing));
    ASSERT_EQ(missing.said.size(), 1u);
    EXPECT_EQ(missing.said[0].title, "GetHogData");
    EXPECT_EQ(missing.said[0].text, "Error - hog not found");
}

// ---- Extraction -----------------------------------------------------------------------

TEST(HogExtract, NamesRefusedOrMappedUnderTheDestination) {
    const fs::path dest = "/d";
    const std::pair<const char*, const char*> accepted[] = {
        {"a.txt", "/d/a.txt"}, {"ships\\x.shp", "/d/ships/x.shp"}, {"a\\\\.\\b", "/d/a/b"}};
    for (auto [name, path] : accepted)
        EXPECT_EQ(targetPath(dest, name).value(), fs::path(path)) << name;
    const char* refused[] = {"",          "\\etc\\passwd", "/etc/passwd", "C:\\x", "c:x",
                             "..\\x",     "a\\..\\..\\x",  "a/../x",      "..",    "ships\\",
                             "a\\...\\b", ". \\x",         "...",         "a\\.. "};
    for (const char* name : refused) {
        auto t = targetPath(dest, name);
        ASSERT_FALSE(t) << name;
        EXPECT_NE(t.error().message.find(std::string("\"") + name + "\""), std::string::npos);
    }
}

TEST(HogExtract, NothingWrittenOutsideTheDestination) {
    ScratchDir dir;
    fs::create_directory(dir / "dest");
    Bytes hog = built({{"ok\\in.txt", text("in")}, {"ok.txt", text("fine")}});
    // Rename the first entry in place to a same-length escape, as a hostile archive would.
    const std::string good = "ok\\in.txt", evil = "..\\in.txt";
    auto pos = std::search(hog.begin(), hog.end(), good.begin(), good.end());
    ASSERT_NE(pos, hog.end());
    std::copy(evil.begin(), evil.end(), pos);
    ovtest::writeBytes(dir / "evil.hog", hog);
    auto a = HogArchive::read(dir / "evil.hog");
    ASSERT_TRUE(a);
    RecordingReporter r;
    std::vector<size_t> rows{0, 1};
    auto res = extract(*a, rows, (dir / "dest").string(), ExtractMode::Raw, {}, r);
    EXPECT_EQ(res.written, 1u);
    EXPECT_EQ(res.errors, 1u);
    EXPECT_FALSE(fs::exists(dir / "in.txt"));
    EXPECT_EQ(ovtest::readBytes(dir / "dest" / "ok.txt"), text("fine"));
    EXPECT_TRUE(r.saidText("Refused to extract \"..\\in.txt\": the name has a \"..\" part"));
    EXPECT_TRUE(r.saidText("Extraction finished with errors: 1 file(s) written, 1 failed"));
    EXPECT_FALSE(r.saidText("Extraction Complete"));
#ifndef _WIN32
    // A link already in the destination does not lead writes out of it.
    fs::create_directory(dir / "outside");
    fs::create_directory_symlink(dir / "outside", dir / "dest" / "ok");
    RecordingReporter r2;
    std::vector<size_t> first{0};
    std::copy(good.begin(), good.end(), pos);
    ovtest::writeBytes(dir / "evil.hog", hog);
    ASSERT_TRUE(a->reload());
    extract(*a, first, (dir / "dest").string(), ExtractMode::Raw, {}, r2);
    EXPECT_FALSE(fs::exists(dir / "outside" / "in.txt"));
#endif
}

TEST(HogExtract, RawAndUnpackedContents) {
    ScratchDir dir;
    const Bytes model = ovtest::randomBytes(3000, 7);
    Bytes packed = refpack::encode(model).value();
    // Stated unpacked size far below what the stream makes: beyond size + margin.
    Bytes lying = refpack::encode(Bytes(20000, 'q')).value();
    storeU24BE(&lying[2], 10);
    ovtest::writeBytes(dir / "a.hog",
                       built({{"ships\\m.shp", packed}, {"empty.bin", {}}, {"lying.shp", lying}}));
    auto a = HogArchive::read(dir / "a.hog");
    ASSERT_TRUE(a);
    fs::create_directories(dir / "raw");
    fs::create_directories(dir / "plain");
    RecordingReporter r;
    const std::vector<size_t> all{0, 1, 2};
    size_t calls = 0;
    Job job;
    job.progress = [&](const Progress& p) {
        ++calls;
        EXPECT_EQ(p.total, 3u);
    };
    auto res = extract(*a, all, (dir / "raw").string(), ExtractMode::Raw, job, r);
    EXPECT_EQ(res.written, 3u);
    EXPECT_EQ(res.unpacked, 0u);
    EXPECT_GE(calls, 3u);
    EXPECT_EQ(ovtest::readBytes(dir / "raw" / "ships" / "m.shp"), packed);
    EXPECT_TRUE(ovtest::readBytes(dir / "raw" / "empty.bin").empty());

    r.answers = {Answer::Yes};  // empty.bin is not packed
    res = extract(*a, all, (dir / "plain").string(), ExtractMode::Unpack, {}, r);
    EXPECT_EQ(ovtest::readBytes(dir / "plain" / "ships" / "m.shp"), model);
    EXPECT_FALSE(fs::exists(dir / "plain" / "lying.shp"));
    EXPECT_EQ(res.errors, 1u);
    EXPECT_EQ(res.skipped, 0u);
    // Of two packed items one did not unpack, and the stored one was written as it is.
    EXPECT_EQ(res.written, 2u);
    EXPECT_EQ(res.unpacked, 1u);
    EXPECT_EQ(a->readUnpacked(a->entries()[0]).value(), model);
    EXPECT_FALSE(a->readUnpacked(a->entries()[2]));

    EXPECT_TRUE(UnpackFile((dir / "a.hog").string(), (dir / "one.shp").string(),
                           a->entries()[0].size, a->entries()[0].offset, r));
    EXPECT_EQ(ovtest::readBytes(dir / "one.shp"), model);
    RecordingReporter r2;
    EXPECT_FALSE(UnpackFile((dir / "a.hog").string(), (dir / "no" / "x").string(), 1, 1, r2));
    EXPECT_TRUE(r2.saidText("Error - Path(s) not found"));

    RecordingReporter r3;
    extract(*a, all, (dir / "nowhere").string(), ExtractMode::Raw, {}, r3);
    EXPECT_TRUE(r3.saidText("Destination path doesn't exist"));
}

// A stream that ends with its end command but makes fewer bytes than its header
// states is damaged: every way of unpacking an item says so and writes nothing.
TEST(HogExtract, AShortStreamIsAnErrorEverywhere) {
    ScratchDir dir;
    const Bytes plain = ovtest::randomBytes(3000, 8);
    Bytes shortStream = refpack::encode(plain).value();
    storeU24BE(&shortStream[2], 3100);  // within the margin, but 100 bytes short
    ovtest::writeBytes(dir / "a.hog", built({{"short.shp", shortStream}}));
    auto a = HogArchive::read(dir / "a.hog");
    ASSERT_TRUE(a);
    const HogEntry& e = a->entries()[0];

    EXPECT_FALSE(refpack::decode(shortStream));
    auto item = unpackItem(shortStream);
    ASSERT_FALSE(item);
    EXPECT_NE(item.error().message.find("produces 3000 bytes, its header states 3100"),
              std::string::npos)
        << item.error().message;
    EXPECT_FALSE(a->readUnpacked(e));

    for (ExtractMode mode : {ExtractMode::Unpack, ExtractMode::UnpackIfPacked}) {
        SCOPED_TRACE(int(mode));
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        RecordingReporter r;
        const std::vector<size_t> first{0};
        auto res = extract(*a, first, (dir / "out").string(), mode, {}, r);
        EXPECT_EQ(res.errors, 1u);
        EXPECT_EQ(res.written, 0u);
        EXPECT_FALSE(fs::exists(dir / "out" / "short.shp"));
    }

    RecordingReporter r;
    EXPECT_FALSE(UnpackFile((dir / "a.hog").string(), (dir / "one.shp").string(), e.size,
                            e.offset, r));
    EXPECT_FALSE(fs::exists(dir / "one.shp"));
    ASSERT_EQ(r.said.size(), 1u);
    EXPECT_EQ(r.said[0].title, "UnpackFile()");
}

TEST(HogExtract, UnpackIfPackedCopiesTheOthersWithoutAsking) {
    const Bytes packed = refpack::encode(text("packed item")).value();
    ScratchDir dir;
    ovtest::writeBytes(dir / "u.hog",
                       built({{"a.txt", text("plain")}, {"b\\c.shp", packed}, {"e", {}}}));
    auto a = HogArchive::read(dir / "u.hog");
    ASSERT_TRUE(a);
    RecordingReporter r;
    const std::vector<size_t> all{0, 1, 2};
    auto res = extract(*a, all, dir.path().string(), ExtractMode::UnpackIfPacked, {}, r);
    EXPECT_TRUE(res.ok());
    EXPECT_EQ(res.written, 3u);
    EXPECT_EQ(res.unpacked, 1u);
    EXPECT_EQ(ovtest::readBytes(dir / "a.txt"), text("plain"));
    EXPECT_EQ(ovtest::readBytes(dir / "b" / "c.shp"), text("packed item"));
    EXPECT_TRUE(ovtest::readBytes(dir / "e").empty());
    ASSERT_EQ(r.said.size(), 1u);
    EXPECT_FALSE(r.said[0].question);
    EXPECT_EQ(r.said[0].text, "Extraction Complete");
}

TEST(HogExtract, NotPackedQuestionOutcomes) {
    const Bytes packed = refpack::encode(text("packed item")).value();
    Bytes almost = packed;
    almost[0] = 0x11;  // the packed-size form is not recognised as packed
    const std::vector<HogItem> items = {
        {"a.txt", text("plain")}, {"b.shp", packed}, {"c.shp", almost}};
    struct Case {
        Answer answer;
        bool aWritten, bWritten, cAsked, exitMessage;
    };
    const Case cases[] = {
        {Answer::Yes, true, true, true, false},
        {Answer::No, false, true, true, false},
        {Answer::Cancel, false, false, false, true},
        // One answer for every not-packed item: c.shp is not asked about.
        {Answer::YesToAll, true, true, false, false},
        {Answer::NoToAll, false, true, false, false},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ovtest::writeBytes(dir / "q.hog", built(items));
        ovtest::writeBytes(dir / "c.shp", text("older"));
        auto a = HogArchive::read(dir / "q.hog");
        ASSERT_TRUE(a);
        RecordingReporter r;
        // The third answer is to the question whether to replace the older c.shp.
        r.answers = {c.answer, c.answer, Answer::Yes};
        const std::vector<size_t> all{0, 1, 2};
        auto res = extract(*a, all, dir.path().string(), ExtractMode::Unpack, {}, r);
        EXPECT_EQ(fs::exists(dir / "a.txt"), c.aWritten);
        if (c.aWritten) {
            EXPECT_EQ(ovtest::readBytes(dir / "a.txt"), text("plain"));
        }
        EXPECT_EQ(fs::exists(dir / "b.shp"), c.bWritten);
        if (c.bWritten) {
            EXPECT_EQ(ovtest::readBytes(dir / "b.shp"), text("packed item"));
        }
        EXPECT_TRUE(
            r.saidText("Error unpacking a.txt file not compressed. Do you want to extract?"));
        EXPECT_EQ(r.saidText("Error unpacking c.shp file not compressed. Do you want to extract?"),
                  c.cAsked);
        // No and Cancel leave an existing file as it was; Yes replaces it once asked.
        EXPECT_EQ(ovtest::readBytes(dir / "c.shp"),
                  c.answer == Answer::Yes || c.answer == Answer::YesToAll ? almost
                                                                          : text("older"));
        EXPECT_EQ(res.cancelled, c.exitMessage);
        EXPECT_EQ(r.saidText("Exiting unpack / extract function"), c.exitMessage);
        EXPECT_EQ(r.saidText("Unpacking and extraction Complete"), !c.exitMessage);
    }
}

TEST(HogExtract, StoppedHalfWayLeavesOnlyWholeFilesAndSaysSo) {
    std::vector<HogItem> items;
    for (int i = 0; i < 6; ++i)
        items.push_back({"part" + std::to_string(i) + ".bin", ovtest::randomBytes(3000, i)});
    ScratchDir dir;
    ovtest::writeBytes(dir / "s.hog", built(items));
    fs::create_directory(dir / "out");
    auto a = HogArchive::read(dir / "s.hog");
    ASSERT_TRUE(a);

    // Another thread's Cancel, pressed while the fourth item is announced.
    std::stop_source cancel;
    Job job;
    job.stop = cancel.get_token();
    uint64_t lastDone = 0;
    job.progress = [&](const Progress& p) {
        lastDone = p.done;
        EXPECT_EQ(p.totalBytes, std::optional<uint64_t>(6 * 3000));
        if (p.done == 3) cancel.request_stop();
    };
    RecordingReporter r;
    const std::vector<size_t> all{0, 1, 2, 3, 4, 5};
    auto res = extract(*a, all, (dir / "out").string(), ExtractMode::Raw, job, r);
    EXPECT_TRUE(res.stopped);
    EXPECT_FALSE(res.ok());
    // The item on hand when the request came is finished; nothing after it starts.
    EXPECT_EQ(res.written, 4u);
    EXPECT_EQ(lastDone, 4u);
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir / "out"))
        files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"part0.bin", "part1.bin", "part2.bin", "part3.bin"}));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ovtest::readBytes(dir / "out" / files[size_t(i)]), items[size_t(i)].data);
    ASSERT_EQ(r.said.size(), 1u);
    EXPECT_EQ(r.said[0].text, "Exiting unpack / extract function");
    EXPECT_EQ(r.said[0].icon, Icon::Information);

    // A stop requested before the start writes nothing.
    RecordingReporter r2;
    auto none = extract(*a, all, (dir / "out").string(), ExtractMode::Raw, job, r2);
    EXPECT_TRUE(none.stopped);
    EXPECT_EQ(none.written, 0u);
    EXPECT_TRUE(r2.saidText("Exiting unpack / extract function"));
}

// Files already in the destination are replaced only when the answer says so; the
// archive being read never is, whatever its name there.
TEST(HogExtract, ExistingFilesFollowTheAnswerAndTheArchiveIsNeverReplaced) {
    const std::vector<HogItem> items = {{"a.txt", text("new a")}, {"b.txt", text("new b")}};
    struct Case {
        const char* name;
        Overwrite policy;
        std::vector<Answer> answers;
        const char *a, *b;  // contents afterwards
        size_t questions, kept;
        bool cancelled;
    };
    const Case cases[] = {
        {"yes, then no", Overwrite::Ask, {Answer::Yes, Answer::No}, "new a", "old b", 2, 1, false},
        {"yes to all", Overwrite::Ask, {Answer::YesToAll}, "new a", "new b", 1, 0, false},
        {"cancel", Overwrite::Ask, {Answer::Cancel}, "old a", "old b", 1, 0, true},
        {"replace", Overwrite::Replace, {}, "new a", "new b", 0, 0, false},
        {"keep", Overwrite::Keep, {}, "old a", "old b", 0, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        ovtest::writeBytes(dir / "x.hog", built(items));
        ovtest::writeBytes(dir / "a.txt", text("old a"));
        ovtest::writeBytes(dir / "b.txt", text("old b"));
        auto a = HogArchive::read(dir / "x.hog");
        ASSERT_TRUE(a);
        RecordingReporter r;
        r.answers = {c.answers.begin(), c.answers.end()};
        const std::vector<size_t> both{0, 1};
        auto res = extract(*a, both, dir.path().string(), ExtractMode::Raw, c.policy, {}, r);
        EXPECT_EQ(ovtest::readBytes(dir / "a.txt"), text(c.a));
        EXPECT_EQ(ovtest::readBytes(dir / "b.txt"), text(c.b));
        EXPECT_EQ(size_t(std::count_if(r.said.begin(), r.said.end(),
                                       [](const ovtest::Said& s) { return s.question; })),
                  c.questions);
        EXPECT_EQ(res.kept, c.kept);
        EXPECT_EQ(res.cancelled, c.cancelled);
        EXPECT_TRUE(ov::temporaryFilesIn(dir.path()).empty());
    }

    // An entry named like the archive, extracted into the archive's folder (under
    // another spelling of it too), is refused even when told to replace.
    ScratchDir dir;
    Bytes archive = built({{"mods.hog", text("tiny\n")}, {"other.txt", text("x")}});
    ovtest::writeBytes(dir / "mods.hog", archive);
    auto a = HogArchive::read(dir / "mods.hog");
    ASSERT_TRUE(a);
    for (const fs::path& where : {dir.path(), dir.path() / "."}) {
        RecordingReporter r;
        const std::vector<size_t> both{0, 1};
        auto res = extract(*a, both, where.string(), ExtractMode::Raw, Overwrite::Replace, {}, r);
        EXPECT_EQ(ovtest::readBytes(dir / "mods.hog"), archive);
        EXPECT_EQ(res.errors, 1u);
        EXPECT_FALSE(res.ok());
        EXPECT_NE(r.said[0].text.find("is the archive being read"), std::string::npos)
            << r.said[0].text;
    }
    RecordingReporter r;
    EXPECT_FALSE(UnpackFile((dir / "mods.hog").string(), (dir / "./mods.hog").string(),
                            a->entries()[0].size, a->entries()[0].offset, r));
    EXPECT_EQ(ovtest::readBytes(dir / "mods.hog"), archive);
}

// The last message says what happened; an error no later write escapes stops the run,
// others only cost their own entry.
TEST(HogExtract, WriteErrorsAreCountedAndOnlyHopelessOnesStopTheRun) {
    const std::string longest(250, 'n');  // the longest legal name with room for nothing else
    const std::string tooLong(300, 'n');
    const std::vector<HogItem> items = {{"f1\\a.bin", text("a")},
                                        {"f1\\b.bin", text("b")},
                                        {"f2\\" + longest, text("c")},
                                        {"f2\\" + tooLong, text("d")},
                                        {"f2\\e.bin", text("e")}};
    struct Case {
        const char* name;
        std::optional<FileStep> step;
        std::errc error;
        bool sticky;
        std::vector<std::string> written;
        const char* summary;
        bool fileWhereFolderGoes = false;  // a file "f1" stands where folder f1 must go
    };
    const Case cases[] = {
        {"a name the system refuses",
         std::nullopt,
         std::errc(),
         false,
         {"f1/a.bin", "f1/b.bin", "f2/" + longest, "f2/e.bin"},
         "Extraction finished with errors: 4 file(s) written, 1 failed"},
        {"a folder that takes no file",
         FileStep::Create,
         std::errc::permission_denied,
         false,
         {"f2/" + longest, "f2/e.bin"},
         "Extraction finished with errors: 2 file(s) written, 3 failed"},
        {"a full disk",
         FileStep::Write,
         std::errc::no_space_on_device,
         true,
         {},
         "Extraction stopped after an error: 0 file(s) written, 1 failed, 4 not tried"},
        {"a folder that cannot be made",
         std::nullopt,
         std::errc(),
         false,
         {"f1", "f2/" + longest, "f2/e.bin"},
         "Extraction finished with errors: 2 file(s) written, 3 failed",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        ovtest::writeBytes(dir / "w.hog", built(items));
        fs::create_directory(dir / "out");
        if (c.fileWhereFolderGoes) ovtest::writeBytes(dir / "out" / "f1", text("in the way"));
        auto a = HogArchive::read(dir / "w.hog");
        ASSERT_TRUE(a);
        RecordingReporter r;
        const std::vector<size_t> all{0, 1, 2, 3, 4};
        std::optional<ScopedFileFault> fault;
        if (c.step) fault.emplace(*c.step, 0, c.error, c.sticky);
        auto res = extract(*a, all, (dir / "out").string(), ExtractMode::Raw, {}, r);
        fault.reset();
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(dir / "out"))
            if (e.is_regular_file())
                found.push_back(e.path().lexically_relative(dir / "out").generic_string());
        std::sort(found.begin(), found.end());
        std::vector<std::string> expected = c.written;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
        EXPECT_EQ(r.said.back().text, c.summary);
        EXPECT_EQ(r.said.back().icon, Icon::Information);
        // Every failure names the system's reason, and a folder's other items are
        // counted without a message each.
        // (Windows words an over-long name's failure its own way.)
#ifdef _WIN32
        if (!c.fileWhereFolderGoes && c.step) {
#else
        if (!c.fileWhereFolderGoes) {
#endif
            const std::string reason =
                std::make_error_code(c.step ? c.error : std::errc::filename_too_long).message();
            EXPECT_NE(r.said[0].text.find(reason), std::string::npos) << r.said[0].text;
        }
        EXPECT_EQ(size_t(std::count_if(r.said.begin(), r.said.end(),
                                       [](const ovtest::Said& s) {
                                           return s.text.rfind("Error extracting", 0) == 0;
                                       })),
                  c.fileWhereFolderGoes || c.step == FileStep::Create ? 2u : 1u);
        EXPECT_FALSE(res.ok());
    }
}

// Many entries of one name: each repeat takes the next free number of its name, not
// a search from 2 past every number given before it.
TEST(HogExtract, NumberingRepeatsOfOneNameIsLinear) {
    for (size_t n : {300, 10000}) {
        SCOPED_TRACE(n);
        ScratchDir dir;
        std::vector<HogItem> items(n, HogItem{"same.txt", text("x")});
        items.push_back({"same (3).txt", text("y")});  // a number taken by a name of its own
        ovtest::writeBytes(dir / "d.hog", built(items));
        auto a = HogArchive::read(dir / "d.hog");
        ASSERT_TRUE(a);
        std::vector<size_t> rows(items.size());
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = i;
        fs::create_directory(dir / "out");
        RecordingReporter r;
        if (n < 1000) {
            auto res = extract(*a, rows, (dir / "out").string(), ExtractMode::Raw, {}, r);
            EXPECT_EQ(res.written, items.size());
            EXPECT_TRUE(fs::exists(dir / "out" / ("same (" + std::to_string(n + 1) + ").txt")));
            EXPECT_FALSE(fs::exists(dir / "out" / ("same (" + std::to_string(n + 2) + ").txt")));
            EXPECT_EQ(ovtest::readBytes(dir / "out" / "same (3).txt"), text("y"));
            continue;
        }
        // Only the planning: the run stops before its first file. Numbering from 2
        // each time takes tens of seconds here.
        std::stop_source stop;
        stop.request_stop();
        Job job;
        job.stop = stop.get_token();
        const auto start = std::chrono::steady_clock::now();
        auto res = extract(*a, rows, (dir / "out").string(), ExtractMode::Raw, job, r);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  3.0);
        EXPECT_TRUE(res.stopped);
    }
}

// Names that lead to one file are all extracted, the later ones under numbered names.
TEST(HogExtract, RepeatedNamesAreKeptApart) {
    ScratchDir dir;
    ovtest::writeBytes(dir / "d.hog", built({{"a.txt", text("0")},
                                             {"unused.txt", text("never")},
                                             {"a.txt", text("1")},
                                             {"A.TXT", text("2")},
                                             {"a (2).txt", text("3")},
                                             {"sub\\x", text("4")},
                                             {"sub/x", text("5")}}));
    auto a = HogArchive::read(dir / "d.hog");
    ASSERT_TRUE(a);
    fs::create_directory(dir / "out");
    RecordingReporter r;
    const std::vector<size_t> rows{0, 2, 3, 4, 5, 6, 0};
    auto res = extract(*a, rows, (dir / "out").string(), ExtractMode::Raw, {}, r);
    // Where the file system ignores letter case, "A.TXT" is one more repeated name.
    ovtest::writeBytes(dir / "probe", text(""));
    const bool ignoresCase = fs::exists(dir / "PROBE");
    EXPECT_EQ(res.written, 6u);
    EXPECT_EQ(res.renamed, ignoresCase ? 3u : 2u);
    EXPECT_TRUE(res.ok());
    const fs::path out = dir / "out";
    EXPECT_EQ(ovtest::readBytes(out / "a.txt"), text("0"));
    EXPECT_EQ(ovtest::readBytes(out / "a (3).txt"), text("1"));  // "a (2).txt" is an entry's own
    EXPECT_EQ(ovtest::readBytes(out / "a (2).txt"), text("3"));
    EXPECT_EQ(ovtest::readBytes(out / "sub" / "x"), text("4"));
    EXPECT_EQ(ovtest::readBytes(out / "sub" / "x (2)"), text("5"));
    // Letter case alone keeps names apart only where the file system does; where it
    // does not, "A.TXT" got a numbered name too and nothing was lost either.
    if (!fs::exists(out / "a.TXT")) {
        EXPECT_EQ(ovtest::readBytes(out / "A.TXT"), text("2"));
    }
    EXPECT_TRUE(
        r.saidText("Entry 3 \"a.txt\" has the same name as entry 1; it is extracted as "
                   "\"a (3).txt\""));
    EXPECT_TRUE(r.saidText("Extraction Complete"));
}

// A hostile name cannot put control characters on the terminal through any message.
TEST(HogExtract, ControlCharactersInNamesAreShownAsQuestionMarks) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows takes no control characters in file names";
#endif
    const std::string evil =
        "\x1b]0;owned\x07\x1b[2J\xc2\x9b"
        "31m.txt";
    ScratchDir dir;
    ovtest::writeBytes(dir / "e.hog", built({{evil, text("x")}, {"ok.bin", text("y")}}));
    Bytes hog = ovtest::readBytes(dir / "e.hog");
    // A second entry with a name that is refused: "..\" plus the escapes.
    const std::string good = "ok.bin", bad = "..\\\x1b";
    auto at = std::search(hog.begin(), hog.end(), good.begin(), good.end());
    std::copy(bad.begin(), bad.end(), at);
    ovtest::writeBytes(dir / "e.hog", hog);
    ovtest::writeBytes(dir / evil, text("old"));
    auto a = HogArchive::read(dir / "e.hog");
    ASSERT_TRUE(a);
    RecordingReporter r;
    r.answers = {Answer::Yes, Answer::Yes};
    const std::vector<size_t> rows{0, 1, 9};
    extract(*a, rows, dir.path().string(), ExtractMode::Unpack, Overwrite::Ask, {}, r);
    ASSERT_GE(r.said.size(), 4u);
    for (const auto& s : r.said)
        for (size_t i = 0; i < s.text.size(); ++i) {
            const auto c = static_cast<unsigned char>(s.text[i]);
            EXPECT_TRUE(c >= 0x20 && c != 0x7F &&
                        !(c == 0xC2 && i + 1 < s.text.size() && uint8_t(s.text[i + 1]) < 0xA0))
                << s.text;
        }
    EXPECT_EQ(ovtest::readBytes(dir / evil), text("x"));
    EXPECT_EQ(printable(evil), "?]0;owned??[2J?31m.txt");
}

// Stored items are copied whole whatever order they are chosen in and wherever they
// fall against the pieces of the archive read at a time (more than a megabyte of
// small items, one larger item among them).
TEST(HogExtract, StoredItemsWholeInAnyOrder) {
    std::vector<HogItem> items;
    for (int i = 0; i < 700; ++i) {
        // Appended, not "i" + to_string(i): 32-bit mingw's GCC 12 warns falsely there.
        std::string name = "i";
        name += std::to_string(i);
        items.push_back({name, ovtest::randomBytes(size_t(1500 + i * 3), uint32_t(i))});
    }
    items[350].data = ovtest::randomBytes(200000, 7);
    items[351].data.clear();
    ScratchDir dir;
    ovtest::writeBytes(dir / "o.hog", built(items));
    auto a = HogArchive::read(dir / "o.hog");
    ASSERT_TRUE(a);
    std::vector<size_t> forward(items.size()), backward;
    for (size_t i = 0; i < forward.size(); ++i)
        forward[i] = i;
    backward.assign(forward.rbegin(), forward.rend());
    for (const auto* rows : {&forward, &backward}) {
        const fs::path out = dir / (rows == &forward ? "forward" : "backward");
        fs::create_directory(out);
        RecordingReporter r;
        auto res = extract(*a, *rows, out.string(), ExtractMode::Raw, {}, r);
        EXPECT_EQ(res.written, items.size());
        for (const auto& item : items)
            ASSERT_EQ(ovtest::readBytes(out / item.name), item.data) << item.name;
    }
}

#ifndef _WIN32
// An extraction killed part-way (a crash, a power cut for the process) leaves every
// item either absent or whole under its name, whether copied as stored or unpacked,
// into a fresh folder or over files already there.
TEST(HogExtract, KilledPartWayLeavesNoPartialFileUnderAFinalName) {
    std::vector<HogItem> items;
    for (int i = 0; i < 80; ++i)
        items.push_back({"f" + std::to_string(i % 3) + "\\item" + std::to_string(i) + ".bin",
                         ovtest::randomBytes(size_t(128 * 1024 + i), uint32_t(i))});
    std::vector<HogItem> packed = items;
    for (auto& item : packed)
        item.data = refpack::encode(ByteSpan(item.data), refpack::Level::Fastest).value();
    ScratchDir dir;
    ovtest::writeBytes(dir / "raw.hog", built(items));
    ovtest::writeBytes(dir / "packed.hog", built(packed));
    std::vector<size_t> rows(items.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = i;

    struct Case {
        const char* name;
        const char* hog;
        ExtractMode mode;
        bool filesThere;
    };
    const Case cases[] = {{"stored items", "raw.hog", ExtractMode::Raw, false},
                          {"unpacked items", "packed.hog", ExtractMode::Unpack, false},
                          {"over older files", "raw.hog", ExtractMode::Raw, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path out = dir / (std::string("out-") + c.hog + (c.filesThere ? "-over" : ""));
        fs::create_directories(out);
        const Bytes older = text("an older file");
        if (c.filesThere)
            for (const auto& item : items) {
                fs::path p = out / fs::path(item.name.substr(0, 2)) / fs::path(item.name.substr(3));
                fs::create_directories(p.parent_path());
                ovtest::writeBytes(p, older);
            }
        auto a = HogArchive::read(dir / c.hog);
        ASSERT_TRUE(a);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ov::SilentReporter quiet;
            extract(*a, rows, out.string(), c.mode,
                    c.filesThere ? Overwrite::Replace : Overwrite::Keep, {}, quiet);
            ::_exit(0);
        }
        // Killed once a few items stand under their names.
        auto whole = [&] {
            size_t n = 0;
            for (const auto& e : fs::recursive_directory_iterator(out))
                n += e.is_regular_file() && !isTemporaryFileName(e.path().filename().string()) &&
                     (!c.filesThere || fs::file_size(e.path()) != older.size());
            return n;
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (whole() < 10 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the extraction ended before it was killed";

        size_t seen = 0, replaced = 0;
        for (size_t i = 0; i < items.size(); ++i) {
            const fs::path p = out / fs::path(items[i].name.substr(0, 2)) /
                               fs::path(items[i].name.substr(3));
            if (!fs::exists(p)) continue;
            ++seen;
            const Bytes got = ovtest::readBytes(p);
            if (c.filesThere && got == older) continue;
            ++replaced;
            EXPECT_EQ(got, items[i].data) << items[i].name << " is not whole";
        }
        EXPECT_GE(replaced, 10u);
        EXPECT_LT(replaced, items.size());
        if (!c.filesThere) {
            EXPECT_EQ(seen, replaced);
        }
    }
}
#endif

// A write cut short by a killed process leaves a temporary file; the next run into
// that folder says so once, and leaves it alone.
TEST(HogExtract, LeftoverTemporaryFilesAreReported) {
    ScratchDir dir;
    ovtest::writeBytes(dir / "t.hog", built({{"sub\\a.txt", text("a")}, {"b.txt", text("b")}}));
    fs::create_directories(dir / "out" / "sub");
    const fs::path stale = dir / "out" / "sub" / ".ov-0123456789ab.ovtmp";
    ovtest::writeBytes(stale, Bytes(3000, 1));
    auto a = HogArchive::read(dir / "t.hog");
    ASSERT_TRUE(a);
    RecordingReporter r;
    const std::vector<size_t> rows{0, 1};
    auto res = extract(*a, rows, (dir / "out").string(), ExtractMode::Raw, {}, r);
    EXPECT_TRUE(res.ok());
    EXPECT_EQ(res.temporaries, 1u);
    EXPECT_EQ(r.said.size(), 2u);
    EXPECT_NE(r.said[0].text.find(stale.string()), std::string::npos) << r.said[0].text;
    EXPECT_TRUE(fs::exists(stale));
    EXPECT_EQ(ov::temporaryFilesIn(dir / "out", true).size(), 1u);
}

TEST(HogRead, TwoThreadsReadOneOpenArchive) {
    std::vector<HogItem> items;
    for (int i = 0; i < 24; ++i)
        items.push_back(
            {"item" + std::to_string(i), ovtest::randomBytes(1000 + 700 * size_t(i), i)});
    ScratchDir dir;
    ovtest::writeBytes(dir / "t.hog", built(items, true));
    auto a = HogArchive::read(dir / "t.hog");
    ASSERT_TRUE(a);
    const HogArchive& shared = *a;

    // Each thread walks the entries in its own order, so their reads interleave at
    // different offsets; with a shared file position they would read each other's data.
    auto reader = [&](bool backwards, size_t& mismatches) {
        for (int round = 0; round < 20; ++round)
            for (size_t k = 0; k < items.size(); ++k) {
                const size_t i = backwards ? items.size() - 1 - k : k;
                const HogEntry& e = shared.entries()[i];
                auto plain = shared.readUnpacked(e);
                auto info = shared.packInfo(e);
                if (!plain || *plain != items[i].data || !info || !info->packed ||
                    info->unpackedSize != items[i].data.size())
                    ++mismatches;
            }
    };
    size_t first = 0, second = 0;
    std::thread t1(reader, false, std::ref(first));
    std::thread t2(reader, true, std::ref(second));
    t1.join();
    t2.join();
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(second, 0u);
}

TEST(HogRead, PackInfoFromTheFirstBytes) {
    const Bytes packed = refpack::encode(text("a packed item, a packed item")).value();
    Bytes sizeForm = packed;
    sizeForm[0] = 0x11;
    struct Case {
        const char* name;
        Bytes data;
        bool packed;
        std::optional<uint32_t> size;
    };
    const Case cases[] = {
        {"packed", packed, true, 28},
        {"packed-size form", sizeForm, false, std::nullopt},
        {"header cut short", Bytes{0x10, 0xFB, 0x00}, true, std::nullopt},
        {"plain", text("plain"), false, std::nullopt},
        {"empty", {}, false, std::nullopt},
    };
    std::vector<HogItem> items;
    for (const Case& c : cases)
        items.push_back({c.name, c.data});
    ScratchDir dir;
    ovtest::writeBytes(dir / "p.hog", built(items));
    auto a = HogArchive::read(dir / "p.hog");
    ASSERT_TRUE(a);
    for (size_t i = 0; i < std::size(cases); ++i) {
        auto info = a->packInfo(a->entries()[i]);
        ASSERT_TRUE(info) << cases[i].name;
        EXPECT_EQ(info->packed, cases[i].packed) << cases[i].name;
        EXPECT_EQ(info->unpackedSize, cases[i].size) << cases[i].name;
    }
    HogEntry past = a->entries()[0];
    past.offset = uint32_t(a->fileSize());
    past.size = 5;
    EXPECT_EQ(a->packInfo(past).error().kind, ErrorKind::OutOfRange);
}

TEST(HogRead, HeadIsBoundedByTheItemAndTheRequest) {
    const Bytes data = ovtest::randomBytes(5000, 3);
    ScratchDir dir;
    ovtest::writeBytes(dir / "h.hog", built({{"x", data}, {"y", text("after")}}));
    auto a = HogArchive::read(dir / "h.hog");
    ASSERT_TRUE(a);
    const HogEntry& x = a->entries()[0];
    EXPECT_EQ(a->readHead(x, 16).value(), Bytes(data.begin(), data.begin() + 16));
    EXPECT_EQ(a->readHead(x, 1 << 20).value(), data);  // never into the next item
    EXPECT_TRUE(a->readHead(x, 0).value().empty());
    HogEntry past = x;
    past.offset = uint32_t(a->fileSize()) - 2;
    EXPECT_EQ(a->readHead(past, 1).error().kind, ErrorKind::OutOfRange);
}

// ---- FAT backup, restore, paste and the editor ------------------------------------------

TEST(HogFat, BackupEditRestoreGivesTheFatBack) {
    ScratchDir dir;
    const fs::path path = dir / "resource.hog";
    const Bytes original = built({{"one.txt", text("1111")}, {"two.txt", text("22")}});
    ovtest::writeBytes(path, original);
    auto a = HogArchive::read(path);
    ASSERT_TRUE(a);
    const uint32_t fatLength = a->fatLength();
    RecordingReporter r;
    ASSERT_TRUE(backupFat(*a, r));
    EXPECT_EQ(a->backupPath(), dir / "resource.FAT");

    ASSERT_TRUE(saveEntry(*a, 0, "ONE.TXT", "2f", "2", r));  // lowercase hex accepted
    EXPECT_EQ(a->entries()[0].name, "ONE.TXT");
    EXPECT_EQ(a->entries()[0].offset, 0x2Fu);
    ASSERT_TRUE(pasteEntry(*a, 0, 1, r));
    EXPECT_EQ(a->entries()[1].offset, 0x2Fu);
    EXPECT_NE(ovtest::readBytes(path), original);

    r.answers = {Answer::No};
    EXPECT_FALSE(restoreFat(*a, r));
    r.answers = {Answer::Yes};
    ASSERT_TRUE(restoreFat(*a, r));
    EXPECT_EQ(ovtest::readBytes(path), original);
    EXPECT_EQ(a->entries()[0].name, "one.txt");
    EXPECT_EQ(fatLength, a->fatLength());
}

// The backup lies beside its archive whatever the archive's name, and no two
// archives of one folder share one.
TEST(HogFat, BackupPathStaysBesideItsArchive) {
    const std::pair<const char*, const char*> cases[] = {
        {"resource.hog", "resource.FAT"},
        {"RESOURCE.HOG", "RESOURCE.FAT"},
        {"a.b.hog", "a.b.FAT"},
        {"abc", "abc.FAT"},
        {"x.tar.gz", "x.tar.gz.FAT"},
        {"res.FAT", "res.FAT.FAT"},
        {".hog", ".hog.FAT"},
    };
    ScratchDir dir;
    fs::create_directory(dir / "mods");
    for (auto [name, backup] : cases) {
        ovtest::writeBytes(dir / "mods" / name, built({{"one.txt", text("1")}}));
        auto a = HogArchive::read(dir / "mods" / name);
        ASSERT_TRUE(a) << name;
        EXPECT_EQ(a->backupPath(), dir / "mods" / backup) << name;
    }
}

TEST(HogFat, RestoreRefusesBadBackups) {
    const Bytes original = built({{"one.txt", text("1111")}, {"two.txt", text("22")}});
    const Bytes notHog = text("this is not a FAT backup, just text of some length");
    const Bytes shortFat(original.begin(), original.begin() + 20);
    // Another archive's FAT; then this one's with its stated size changed; then this
    // one's with an entry pointing past the end.
    const Bytes other =
        built({{"aaa.txt", text("1111")}, {"bbb.txt", text("22")}, {"ccc.txt", text("3")}});
    const uint32_t fatLength = loadU32BE(&original[12]);
    Bytes resized(original.begin(), original.begin() + fatLength);
    storeU32BE(&resized[4], loadU32BE(&resized[4]) + 1);
    Bytes pastEnd(original.begin(), original.begin() + fatLength);
    storeU32BE(&pastEnd[16 + 4], 0x10000);
    for (const Bytes* backup :
         std::initializer_list<const Bytes*>{&notHog, &shortFat, &other, &resized, &pastEnd}) {
        ScratchDir dir;
        ovtest::writeBytes(dir / "x.hog", original);
        ovtest::writeBytes(dir / "x.FAT", *backup);
        auto a = HogArchive::read(dir / "x.hog");
        ASSERT_TRUE(a);
        RecordingReporter r;
        r.answers = {Answer::Yes};
        EXPECT_FALSE(restoreFat(*a, r));
        EXPECT_EQ(ovtest::readBytes(dir / "x.hog"), original);
        ASSERT_EQ(r.said.size(), 1u) << "refused before asking";
        EXPECT_EQ(r.said.back().title, "Error");
    }

    // Two archives of one folder, one without a type: the backup of the first is
    // never taken as the second's.
    ScratchDir mods;
    ovtest::writeBytes(mods / "abc", other);
    ovtest::writeBytes(mods / "abd", original);
    auto abc = HogArchive::read(mods / "abc");
    auto abd = HogArchive::read(mods / "abd");
    RecordingReporter quiet;
    ASSERT_TRUE(backupFat(*abc, quiet));
    EXPECT_FALSE(
        fs::exists(mods.path().parent_path() / (mods.path().filename().string() + ".FAT")));
    quiet.answers = {Answer::Yes};
    EXPECT_FALSE(restoreFat(*abd, quiet));
    EXPECT_TRUE(quiet.saidText("Restore file can't be found. Restore aborted."));
    fs::copy_file(mods / "abc.FAT", mods / "abd.FAT");
    EXPECT_FALSE(restoreFat(*abd, quiet));
    EXPECT_EQ(ovtest::readBytes(mods / "abd"), original);
    ScratchDir dir;
    ovtest::writeBytes(dir / "x.hog", original);
    auto a = HogArchive::read(dir / "x.hog");
    RecordingReporter r;
    EXPECT_FALSE(restoreFat(*a, r));
    EXPECT_TRUE(r.saidText("Restore file can't be found. Restore aborted."));
}

TEST(HogFat, PasteOntoItselfChangesNothing) {
    ScratchDir dir;
    const Bytes original = built({{"one.txt", text("1111")}, {"two.txt", text("22")}});
    ovtest::writeBytes(dir / "x.hog", original);
    auto before = fs::last_write_time(dir / "x.hog");
    auto a = HogArchive::read(dir / "x.hog");
    RecordingReporter r;
    EXPECT_TRUE(pasteEntry(*a, 1, 1, r));
    EXPECT_EQ(ovtest::readBytes(dir / "x.hog"), original);
    EXPECT_EQ(fs::last_write_time(dir / "x.hog"), before);
}

TEST(HogFat, EditorRefusesAndWritesNothing) {
    const Bytes original = built({{"one.txt", text("1111")}, {"two.txt", text("22")}});
    const uint32_t end = uint32_t(original.size());
    struct Case {
        const char *name, *offset, *size, *message;
    };
    const Case cases[] = {
        {"one.txt2", "10", "1",
         "The name of the file MUST be the same length or the\nentire .hog file will have to "
         "be rebuilt. Changes not saved"},
        {"one.txt", "", "1", "The value entered for offset is an invalid hexadecimal number"},
        {"one.txt", "1G", "1", "The value entered for offset is an invalid hexadecimal number"},
        {"one.txt", "10", "123456789",
         "The value entered for size is an invalid hexadecimal number"},
        {"one.txt", "10", " ", "The value entered for size is an invalid hexadecimal number"},
    };
    ScratchDir dir;
    ovtest::writeBytes(dir / "x.hog", original);
    auto a = HogArchive::read(dir / "x.hog");
    for (const Case& c : cases) {
        RecordingReporter r;
        EXPECT_FALSE(saveEntry(*a, 0, c.name, c.offset, c.size, r)) << c.message;
        ASSERT_EQ(r.said.size(), 1u);
        EXPECT_EQ(r.said[0].title, "Table Editor");
        EXPECT_EQ(r.said[0].text, c.message);
    }
    RecordingReporter r;
    EXPECT_FALSE(saveEntry(*a, 0, "one.txt", hexText(end - 1), "2", r));
    EXPECT_TRUE(saveEntry(*a, 0, "one.txt", hexText(end - 1), "1", r));
    EXPECT_EQ(a->entries()[0].offset, end - 1);
}

// ---- Building -----------------------------------------------------------------------

TEST(HogBuild, PackedArchiveRoundTrips) {
    ScratchDir dir;
    std::vector<HogItem> items = {{"ships\\m.shp", ovtest::randomBytes(5000, 1)},
                                  {"t.txt", Bytes(9000, 't')}};
    ASSERT_TRUE(writeHog(dir / "p.hog", items, true));
    auto a = HogArchive::read(dir / "p.hog");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->hogSize(), fs::file_size(dir / "p.hog"));
    EXPECT_EQ(namesOf(*a), (std::vector<std::string>{"ships\\m.shp", "t.txt"}));
    EXPECT_LT(a->entries()[1].size, 9000u);
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(a->readUnpacked(a->entries()[i]).value(), items[i].data);
    EXPECT_FALSE(buildHog(std::vector<HogItem>{{"..\\x", {}}}));
}

TEST(HogBuild, ProgressPerItemAndAStopWritesNothing) {
    ScratchDir dir;
    std::vector<HogItem> items = {
        {"a.txt", Bytes(4000, 'a')}, {"b.txt", Bytes(4000, 'b')}, {"c.txt", Bytes(4000, 'c')}};
    std::vector<std::string> statuses;
    std::stop_source cancel;
    Job job;
    job.stop = cancel.get_token();
    job.progress = [&](const Progress& p) {
        statuses.push_back(p.status);
        if (p.done == 1) cancel.request_stop();
    };
    auto st = writeHog(dir / "x.hog", items, true, job);
    ASSERT_FALSE(st);
    EXPECT_EQ(st.error().kind, ErrorKind::Stopped);
    EXPECT_FALSE(fs::exists(dir / "x.hog"));
    EXPECT_EQ(statuses, (std::vector<std::string>{"Packing a.txt", "Packing b.txt"}));

    EXPECT_EQ(entryNameFor("/g/ships/set1/m.shp", "/g"), "ships\\set1\\m.shp");
    EXPECT_EQ(entryNameFor("/g/ships/m.shp"), "m.shp");
}
