#include <gtest/gtest.h>

#include "common/fileio.h"
#include "support/test_support.h"

using namespace ov;

TEST(FileIo, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
    ovtest::ScratchDir dir;
    auto target = dir / "model.shp";
    ovtest::writeBytes(target, Bytes{1, 2, 3});
    const Bytes data = ovtest::randomBytes(5000, 1);
    ASSERT_FALSE(writeFileAtomic(target, data));
    EXPECT_EQ(ovtest::readBytes(target), data);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(FileIo, FailedWriteLeavesTheOldFile) {
    ovtest::ScratchDir dir;
    EXPECT_TRUE(writeFileAtomic(dir / "missing" / "x.bin", Bytes{1}));
    fs::create_directory(dir / "sub");
    EXPECT_TRUE(writeFileAtomic(dir / "sub", Bytes{1}));  // a folder is never replaced
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
}

// Pieces written and committed make the file; a writer dropped before its commit
// leaves the old file and no temporary file behind.
TEST(FileIo, AtomicWriterCommitsOrLeavesTheOldFile) {
    ovtest::ScratchDir dir;
    auto target = dir / "item.bin";
    ovtest::writeBytes(target, Bytes{9, 9});
    const Bytes data = ovtest::randomBytes(70000, 2);
    {
        auto w = AtomicWriter::create(target);
        ASSERT_TRUE(w);
        ASSERT_FALSE(w->write(ByteSpan(data).first(1000)));
        ASSERT_FALSE(w->write(ByteSpan(data).subspan(1000)));
        EXPECT_EQ(ovtest::readBytes(target), (Bytes{9, 9})) << "replaced before the commit";
    }
    EXPECT_EQ(ovtest::readBytes(target), (Bytes{9, 9}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    {
        auto w = AtomicWriter::create(target);
        ASSERT_TRUE(w);
        ASSERT_FALSE(w->write(ByteSpan(data).first(1000)));
        AtomicWriter moved = std::move(*w);
        ASSERT_FALSE(moved.write(ByteSpan(data).subspan(1000)));
        ASSERT_FALSE(moved.commit());
    }
    EXPECT_EQ(ovtest::readBytes(target), data);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    EXPECT_FALSE(AtomicWriter::create(dir / "missing" / "x.bin"));
}

TEST(FileIo, PositionedReadsAndWrites) {
    ovtest::ScratchDir dir;
    auto p = dir / "f.bin";
    ovtest::writeBytes(p, Bytes(10, 0));
    ASSERT_FALSE(writeFileAt(p, 8, Bytes{7, 7}));
    EXPECT_EQ(ovtest::readBytes(p), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 7, 7}));
    auto tail = readFileAt(p, 8, 100);
    ASSERT_TRUE(tail);
    EXPECT_EQ(*tail, (Bytes{7, 7}));
    EXPECT_TRUE(readFileAt(p, 50, 4)->empty());
    EXPECT_TRUE(writeFileAt(dir / "nope", 0, Bytes{1}));
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
