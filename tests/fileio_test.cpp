#include <gtest/gtest.h>

#include "common/fileio.h"
#include "support/test_support.h"

using namespace ov;

TEST(FileIo, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
    ovtest::ScratchDir dir;
    auto target = dir / "model.shp";
    ovtest::writeBytes(target, Bytes{1, 2, 3});
    const Bytes data = ovtest::randomBytes(5000, 1);
    ASSERT_TRUE(writeFileAtomic(target, data));
    EXPECT_EQ(ovtest::readBytes(target), data);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(FileIo, FailedWriteLeavesTheOldFile) {
    ovtest::ScratchDir dir;
    EXPECT_FALSE(writeFileAtomic(dir / "missing" / "x.bin", Bytes{1}));
    fs::create_directory(dir / "sub");
    EXPECT_FALSE(writeFileAtomic(dir / "sub", Bytes{1}));  // a folder is never replaced
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
}

TEST(FileIo, PositionedReadsAndWrites) {
    ovtest::ScratchDir dir;
    auto p = dir / "f.bin";
    ovtest::writeBytes(p, Bytes(10, 0));
    ASSERT_TRUE(writeFileAt(p, 8, Bytes{7, 7}));
    EXPECT_EQ(ovtest::readBytes(p), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 7, 7}));
    auto tail = readFileAt(p, 8, 100);
    ASSERT_TRUE(tail);
    EXPECT_EQ(*tail, (Bytes{7, 7}));
    EXPECT_TRUE(readFileAt(p, 50, 4)->empty());
    EXPECT_FALSE(writeFileAt(dir / "nope", 0, Bytes{1}));
    EXPECT_FALSE(readFile(dir / "nope"));
}

TEST(FileIo, TempFileIsRemoved) {
    fs::path where;
    {
        TempFile t("ovtest");
        ASSERT_TRUE(t.valid());
        where = t.path();
        EXPECT_TRUE(fs::exists(where));
    }
    EXPECT_FALSE(fs::exists(where));
}

TEST(FileIo, Trim) {
    EXPECT_EQ(trim("  C:\\Games\\Orvane\\ \t\r\n"), "C:\\Games\\Orvane\\");
    EXPECT_EQ(trim("   "), "");
}

// Names outside ASCII and outside Latin-1 survive text -> path -> file -> text: the
// file made under the name is listed under the same name.
TEST(FileIo, PathTextIsUtf8BothWays) {
    ovtest::ScratchDir dir;
    for (const char* name : {"\xCE\xA9mega \xC3\xA9t\xC3\xA9.shp", "\xE8\x88\xB9.hog", "plain.bin"}) {
        SCOPED_TRACE(name);
        const fs::path p = dir.path() / pathFromText(name);
        EXPECT_EQ(pathText(p.filename()), name);
        ASSERT_TRUE(writeFileAtomic(p, Bytes{1}));
        bool listed = false;
        for (const auto& e : fs::directory_iterator(dir.path()))
            listed = listed || pathText(e.path().filename()) == name;
        EXPECT_TRUE(listed);
        EXPECT_EQ(readFile(pathFromText(pathText(p)))->size(), 1u);
    }
    // Text that is not UTF-8 still makes a path, one character per byte.
    EXPECT_EQ(pathFromText("caf\xE9").native().size(), 4u);
}

TEST(FileIo, StagedFileReplacesOnlyOnCommit) {
    ovtest::ScratchDir dir;
    const auto target = dir / "big.hog";
    const auto source = dir / "source.bin";
    const Bytes old{9, 9, 9};
    const Bytes src = ovtest::randomBytes(700000, 4);
    ovtest::writeBytes(target, old);
    ovtest::writeBytes(source, src);
    auto from = ReadOnlyFile::open(source);
    ASSERT_TRUE(from);
    {
        // Dropped without a commit: the target stays, no temporary file is left.
        auto staged = StagedFile::create(target);
        ASSERT_TRUE(staged);
        ASSERT_TRUE(staged->write(Bytes(10, 1)));
        EXPECT_EQ(ovtest::readBytes(target), old);
        // The source ends before the range asked for.
        EXPECT_EQ(staged->copyFrom(*from, src.size() - 5, 10).error().kind, ErrorKind::ReadFailed);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    auto staged = StagedFile::create(target);
    ASSERT_TRUE(staged);
    ASSERT_TRUE(staged->write(Bytes(4, 0)));
    ASSERT_TRUE(staged->copyFrom(*from, 1000, 600000));
    ASSERT_TRUE(staged->writeAt(0, Bytes{1, 2, 3, 4}));
    EXPECT_EQ(staged->size(), 600004u);
    ASSERT_TRUE(staged->commit());
    Bytes expected{1, 2, 3, 4};
    expected.insert(expected.end(), src.begin() + 1000, src.begin() + 601000);
    EXPECT_EQ(ovtest::readBytes(target), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    EXPECT_FALSE(StagedFile::create(dir / "missing" / "x"));
}
