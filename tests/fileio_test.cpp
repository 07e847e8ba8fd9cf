#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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

// Libraries loaded by name are looked for in the running program's folder: the
// one this test program was started from, on every platform.
TEST(FileIo, ProgramFolderHoldsTheRunningProgram) {
    const auto folder = ov::programFolder();
    ASSERT_FALSE(folder.empty());
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "fileio_test", ec) ||
                std::filesystem::is_regular_file(folder / "fileio_test.exe", ec))
        << ov::pathText(folder);
}

TEST(FileIo, Trim) {
    EXPECT_EQ(trim("  C:\\Games\\Orvane\\ \t\r\n"), "C:\\Games\\Orvane\\");
    EXPECT_EQ(trim("   "), "");
}

TEST(FileIo, TemporaryNamesAreShortWhateverTheTarget) {
    ovtest::ScratchDir dir;
    // 250 bytes is a legal name; a temporary name built from it would not be.
    const fs::path target = dir / std::string(250, 'm');
    auto file = AtomicFile::create(target);
    ASSERT_TRUE(file) << file.error().describe();
    const std::string temp = file->temporaryPath().filename().string();
    EXPECT_TRUE(isTemporaryFileName(temp)) << temp;
    EXPECT_LT(temp.size(), 32u);
    ASSERT_TRUE(file->write(Bytes{1, 2}));
    ASSERT_TRUE(file->commit());
    EXPECT_EQ(ovtest::readBytes(target), (Bytes{1, 2}));

    for (const char* name : {".ov-0123456789AB.ovtmp", ".ov-0123456789a.ovtmp",
                             "ov-0123456789ab.ovtmp", ".ov-0123456789ab.tmp"})
        EXPECT_FALSE(isTemporaryFileName(name)) << name;
}

// Every failure says why in the system's words, and leaves the target and the
// folder as they were.
TEST(FileIo, FailedWritesGiveTheSystemsReasonAndLeaveNothing) {
    struct Case {
        const char* name;
        std::function<fs::path(const ovtest::ScratchDir&)> target;
        std::optional<FileStep> step;
        std::errc cause;
        ErrorKind kind;
    };
    const Case cases[] = {
        {"name too long", [](const auto& d) { return d / std::string(300, 'n'); }, std::nullopt,
         std::errc::filename_too_long, ErrorKind::WriteFailed},
        {"target is a folder",
         [](const auto& d) {
             fs::create_directory(d / "sub");
             return d / "sub";
         },
         std::nullopt, std::errc::is_a_directory, ErrorKind::WriteFailed},
        {"no such folder", [](const auto& d) { return d / "missing" / "x"; }, std::nullopt,
         std::errc::no_such_file_or_directory, ErrorKind::NotFound},
        {"disk full", [](const auto& d) { return d / "old.bin"; }, FileStep::Write,
         std::errc::no_space_on_device, ErrorKind::WriteFailed},
        {"read-only folder", [](const auto& d) { return d / "old.bin"; }, FileStep::Create,
         std::errc::read_only_file_system, ErrorKind::WriteFailed},
        {"rename refused", [](const auto& d) { return d / "old.bin"; }, FileStep::Rename,
         std::errc::permission_denied, ErrorKind::WriteFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ovtest::ScratchDir dir;
        ovtest::writeBytes(dir / "old.bin", Bytes{9});
        const fs::path target = c.target(dir);
        std::optional<ScopedFileFault> fault;
        if (c.step) fault.emplace(*c.step, 0, c.cause);
        auto st = writeFileAtomic(target, Bytes{1, 2, 3});
        ASSERT_FALSE(st);
        EXPECT_EQ(st.error().kind, c.kind);
        // Windows names the causes it finds itself in its own codes.
#ifdef _WIN32
        const std::error_code cause = c.step ? std::make_error_code(c.cause) : st.error().cause;
        EXPECT_TRUE(st.error().cause);
#else
        const std::error_code cause = std::make_error_code(c.cause);
#endif
        EXPECT_EQ(st.error().cause, cause);
        if (c.kind == ErrorKind::WriteFailed) {
            EXPECT_NE(st.error().message.find(cause.message()), std::string::npos)
                << st.error().message;
        }
        if (fault) {
            EXPECT_EQ(fault->struck(), 1u);
        }
        EXPECT_EQ(ovtest::readBytes(dir / "old.bin"), Bytes{9});
        EXPECT_TRUE(temporaryFilesIn(dir.path(), true).empty());
    }
}

TEST(FileIo, CommitIfAbsentNeverReplacesAndCommitKeepsPermissions) {
    ovtest::ScratchDir dir;
    ovtest::writeBytes(dir / "x", Bytes{1});
    fs::permissions(dir / "x", fs::perms::owner_read | fs::perms::owner_write);
    auto file = AtomicFile::create(dir / "x");
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write(Bytes{2}));
    auto placed = file->commitIfAbsent();
    ASSERT_TRUE(placed);
    EXPECT_FALSE(*placed);
    EXPECT_EQ(ovtest::readBytes(dir / "x"), Bytes{1});
    ASSERT_TRUE(file->commit());
    EXPECT_EQ(ovtest::readBytes(dir / "x"), Bytes{2});
#ifndef _WIN32  // Windows keeps only a read-only mark
    EXPECT_EQ(fs::status(dir / "x").permissions(), fs::perms::owner_read | fs::perms::owner_write);
#endif

    auto fresh = AtomicFile::create(dir / "y");
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(*fresh->commitIfAbsent());
    EXPECT_TRUE(ovtest::readBytes(dir / "y").empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(FileIo, CopyFromAnotherFile) {
    ovtest::ScratchDir dir;
    const Bytes data = ovtest::randomBytes(300000, 3);  // more than one buffer's worth
    ovtest::writeBytes(dir / "src", data);
    auto src = ReadOnlyFile::open(dir / "src");
    ASSERT_TRUE(src);
    auto file = AtomicFile::create(dir / "dst");
    ASSERT_TRUE(file->copyFrom(*src, 1000, 250000));
    ASSERT_TRUE(file->copyFrom(*src, 0, 10));
    auto past = file->copyFrom(*src, 299999, 2);  // the source ends first
    EXPECT_FALSE(past);
    ASSERT_TRUE(file->commit());
    Bytes expected(data.begin() + 1000, data.begin() + 251000);
    expected.insert(expected.end(), data.begin(), data.begin() + 10);
    expected.push_back(data.back());  // what the source held of the short copy
    EXPECT_EQ(ovtest::readBytes(dir / "dst"), expected);
}

// Either every file of a group is replaced or none is, whichever step fails.
TEST(FileIo, FilesWrittenTogetherOrNotAtAll) {
    struct Case {
        const char* name;
        FileStep step;
        unsigned skip;
    };
    const Case cases[] = {
        {"second file cannot be created", FileStep::Create, 1},
        {"disk full on the second file", FileStep::Write, 1},
        {"second rename refused", FileStep::Rename, 1},
        {"third rename refused", FileStep::Rename, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ovtest::ScratchDir dir;
        ovtest::writeBytes(dir / "a", Bytes{1});
        ovtest::writeBytes(dir / "c", Bytes{3});
        const Bytes na{10}, nb{20}, nc{30};
        const FileWrite writes[] = {{dir / "a", na}, {dir / "b", nb}, {dir / "c", nc}};
        ScopedFileFault fault(c.step, c.skip, std::errc::no_space_on_device);
        auto st = writeFilesTogether(writes);
        ASSERT_FALSE(st);
        EXPECT_EQ(st.error().cause, std::errc::no_space_on_device);
        EXPECT_EQ(ovtest::readBytes(dir / "a"), Bytes{1});
        EXPECT_FALSE(fs::exists(dir / "b"));
        EXPECT_EQ(ovtest::readBytes(dir / "c"), Bytes{3});
        EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());
    }

    ovtest::ScratchDir dir;
    ovtest::writeBytes(dir / "a", Bytes{1});
    const Bytes na{10}, nb{20};
    const FileWrite writes[] = {{dir / "a", na}, {dir / "b", nb}};
    ASSERT_TRUE(writeFilesTogether(writes));
    EXPECT_EQ(ovtest::readBytes(dir / "a"), na);
    EXPECT_EQ(ovtest::readBytes(dir / "b"), nb);
    EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());

    // When even putting back fails, the old bytes stay under the name the message gives.
    ovtest::writeBytes(dir / "a", Bytes{1});
    ovtest::writeBytes(dir / "b", Bytes{2});
    {
        ScopedFileFault fault(FileStep::Rename, 1, std::errc::io_error, true);
        auto st = writeFilesTogether(writes);
        ASSERT_FALSE(st);
        EXPECT_NE(st.error().message.find("could not be put back"), std::string::npos);
    }
    auto left = temporaryFilesIn(dir.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(ovtest::readBytes(left[0].path), Bytes{1});
    EXPECT_EQ(ovtest::readBytes(dir / "b"), Bytes{2});
}

TEST(FileIo, IdentityFollowsLinksNotNames) {
    ovtest::ScratchDir dir;
    ovtest::writeBytes(dir / "f", Bytes{1});
    ovtest::writeBytes(dir / "g", Bytes{1});
    fs::create_directory(dir / "sub");
    EXPECT_TRUE(sameFile(dir / "f", dir / "sub" / ".." / "f"));
    EXPECT_FALSE(sameFile(dir / "f", dir / "g"));
    EXPECT_FALSE(sameFile(dir / "f", dir / "missing"));
#ifndef _WIN32
    fs::create_hard_link(dir / "f", dir / "hard");
    fs::create_symlink(dir / "f", dir / "soft");
    EXPECT_TRUE(sameFile(dir / "f", dir / "hard"));
    EXPECT_TRUE(sameFile(dir / "soft", dir / "f"));
#endif
    auto open = ReadOnlyFile::open(dir / "f");
    ASSERT_TRUE(open);
    EXPECT_EQ(*open->id(), *fileIdOf(dir / "f"));
    EXPECT_EQ(fileIdOf(dir / "missing").error().kind, ErrorKind::NotFound);
}

TEST(FileIo, PrintableShowsControlCharactersAsQuestionMarks) {
    EXPECT_EQ(printable("ships\\fighter.shp"), "ships\\fighter.shp");
    EXPECT_EQ(printable("a\x1b[2Jb\x07\x7f"), "a?[2Jb??");
    EXPECT_EQ(printable("\xc2\x9b"
                        "1m \xc3\xa9 \xc2\xa0"),
              "?1m \xc3\xa9 \xc2\xa0");  // C1 only
    EXPECT_EQ(printable("line\nbreak\r"), "line?break?");
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

TEST(FileIo, WrittenInPiecesReplacesOnlyOnCommit) {
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
        auto staged = AtomicFile::create(target);
        ASSERT_TRUE(staged);
        ASSERT_TRUE(staged->write(Bytes(10, 1)));
        EXPECT_EQ(ovtest::readBytes(target), old);
        // The source ends before the range asked for.
        EXPECT_EQ(staged->copyFrom(*from, src.size() - 5, 10).error().kind, ErrorKind::ReadFailed);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    auto staged = AtomicFile::create(target);
    ASSERT_TRUE(staged);
    ASSERT_TRUE(staged->write(Bytes(4, 0)));
    ASSERT_TRUE(staged->copyFrom(*from, 1000, 600000));
    ASSERT_TRUE(staged->writeAt(0, Bytes{1, 2, 3, 4}));
    EXPECT_EQ(staged->size(), 600004u);
    ASSERT_TRUE(staged->commit(AtomicFile::Flush::ToDisk));
    Bytes expected{1, 2, 3, 4};
    expected.insert(expected.end(), src.begin() + 1000, src.begin() + 601000);
    EXPECT_EQ(ovtest::readBytes(target), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    EXPECT_FALSE(AtomicFile::create(dir / "missing" / "x"));
}

TEST(FileIo, WriteLockWaitsThenSaysBusyAndFollowsARename) {
    ovtest::ScratchDir dir;
    const fs::path p = dir / "a.bin";
    ovtest::writeBytes(p, Bytes{1, 2, 3});
    std::optional<Result<WriteLock>> held = WriteLock::acquire(p);
    ASSERT_TRUE(*held);
    EXPECT_EQ((*held)->id(), fileIdOf(p).value());
    auto second = WriteLock::acquire(p, std::chrono::milliseconds(100));
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().kind, ErrorKind::Refused);
    EXPECT_NE(second.error().message.find("is busy"), std::string::npos);

    // The holder renames a new file over the path and lets go: a writer that was
    // waiting locks the new file, not the one that has gone.
    std::optional<Result<WriteLock>> waited;
    std::thread waiter([&] { waited = WriteLock::acquire(p, std::chrono::seconds(10)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(writeFileAtomic(p, Bytes{4, 5}));
    EXPECT_FALSE((*held)->stillNamedBy(p));
    held.reset();
    waiter.join();
    ASSERT_TRUE(*waited);
    EXPECT_EQ((*waited)->id(), fileIdOf(p).value());
    EXPECT_TRUE((*waited)->stillNamedBy(p));
}

#ifndef _WIN32
TEST(FileIo, OnlyRegularFilesAreReplacedAndOthersAreNamed) {
    ovtest::ScratchDir dir;
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto st = writeFileAtomic(fifo, Bytes{1});
    ASSERT_FALSE(st);
    EXPECT_EQ(st.error().kind, ErrorKind::Refused);
    EXPECT_NE(st.error().message.find("a FIFO"), std::string::npos) << st.error().message;
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());
    // A device reached through a link (a test must not make one, nor touch /dev).
    fs::create_symlink("/dev/null", dir / "null");
    EXPECT_FALSE(writeFileAtomic(dir / "null", Bytes{1}));
    EXPECT_TRUE(fs::is_symlink(dir / "null"));

    fs::create_directory(dir / "folder");
    for (auto [path, what] : {std::pair{dir / "folder", "a folder"}, {fifo, "a FIFO"},
                              {fs::path("/dev/zero"), "a device"}, {dir / "none", "no such file"}}) {
        SCOPED_TRACE(what);
        auto size = fileSize(path);
        ASSERT_FALSE(size);
        EXPECT_NE(size.error().message.find(what), std::string::npos) << size.error().message;
        EXPECT_FALSE(readFile(path));
        auto patched = writeFileAt(path, 0, Bytes{1});
        ASSERT_FALSE(patched);
        EXPECT_NE(patched.error().message.find(what), std::string::npos);
    }
}
#endif

// Files written by bare name in an open folder: nothing under the name until the
// file is complete, never a replaced file unless asked, and nothing left behind.
TEST(FileIo, FilesInAnOpenFolderAppearOnlyWhole) {
    ovtest::ScratchDir dir;
    EXPECT_EQ(OpenFolder::open(dir / "missing").error().kind, ErrorKind::NotFound);
    auto folder = OpenFolder::open(dir.path());
    ASSERT_TRUE(folder);
    auto count = [&] {
        return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
    };

    const Bytes data = ovtest::randomBytes(200000, 5);
    ovtest::writeBytes(dir / "src", data);
    auto src = ReadOnlyFile::open(dir / "src");
    ASSERT_TRUE(src);
    {
        auto file = FolderFile::create(*folder, "new.bin");
        ASSERT_TRUE(file);
        EXPECT_EQ(file->target(), dir / "new.bin");
        ASSERT_TRUE(file->copyFrom(*src, 0, 150000));
        ASSERT_TRUE(file->write(ByteSpan(data).subspan(150000)));
        EXPECT_FALSE(fs::exists(dir / "new.bin"));
        auto placed = file->commitIfAbsent();
        ASSERT_TRUE(placed);
        EXPECT_TRUE(*placed);
        EXPECT_FALSE(file->commit());  // nothing left to commit
    }
    EXPECT_EQ(ovtest::readBytes(dir / "new.bin"), data);

    ovtest::writeBytes(dir / "old.bin", Bytes{1});
    fs::permissions(dir / "old.bin", fs::perms::owner_read | fs::perms::owner_write);
    {
        auto file = FolderFile::create(*folder, "old.bin");
        ASSERT_TRUE(file->write(Bytes{2, 3}));
        auto placed = file->commitIfAbsent();
        ASSERT_TRUE(placed);
        EXPECT_FALSE(*placed);
        EXPECT_EQ(ovtest::readBytes(dir / "old.bin"), Bytes{1});
        ASSERT_TRUE(file->commit());
    }
    EXPECT_EQ(ovtest::readBytes(dir / "old.bin"), (Bytes{2, 3}));
#ifndef _WIN32
    EXPECT_EQ(fs::status(dir / "old.bin").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
#endif
    EXPECT_EQ(count(), 3);

    // Discarded, kept from a folder, refused over a FIFO: no trace of any.
    {
        auto file = FolderFile::create(*folder, "dropped.bin");
        ASSERT_TRUE(file->write(data));
    }
    fs::create_directory(dir / "sub");
    {
        auto file = FolderFile::create(*folder, "sub");
        ASSERT_TRUE(file->write(Bytes{4}));
        auto placed = file->commitIfAbsent();
        ASSERT_TRUE(placed);
        EXPECT_FALSE(*placed);
        auto replaced = file->commit();
        ASSERT_FALSE(replaced);
        EXPECT_EQ(replaced.error().cause, std::errc::is_a_directory);
    }
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    {
        auto file = FolderFile::create(*folder, "pipe");
        ASSERT_TRUE(file->write(Bytes{5}));
        EXPECT_FALSE(*file->commitIfAbsent());
        auto replaced = file->commit();
        ASSERT_FALSE(replaced);
        EXPECT_EQ(replaced.error().kind, ErrorKind::Refused);
    }
    EXPECT_EQ(fs::status(dir / "pipe").type(), fs::file_type::fifo);
    EXPECT_EQ(count(), 5);
#else
    EXPECT_EQ(count(), 4);
#endif
    EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());
}
