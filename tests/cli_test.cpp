// What ovcli itself decides around the libraries: its flags for existing files, its
// exit codes after faults, and its way of removing leftover temporary files. Each
// case runs the real program with no terminal to ask.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

#include "3ds2ov/writer3ds.h"
#include "common/fileio.h"
#include "ovedit/archive/hog.h"
#include "support/test_support.h"

using namespace ov;
using ovtest::readBytes;
using ovtest::ScratchDir;
using ovtest::writeBytes;
namespace fs = std::filesystem;

namespace {

Bytes text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

struct Outcome {
    int code;
    std::string output;  // standard output and error together
};

Outcome ovcli(const ScratchDir& dir, const std::vector<std::string>& args) {
    const fs::path log = dir / "ovcli.log";
    Outcome r{ovtest::runProgram(OV_OVCLI_FILE, args, log), ""};
    std::ifstream f(log);
    std::stringstream all;
    all << f.rdbuf();
    r.output = all.str();
    return r;
}

void writeArchive(const fs::path& path, std::vector<archive::HogItem> items) {
    ASSERT_TRUE(archive::writeHog(path, items));
}

}  // namespace

// An existing file is replaced only with --overwrite; with no terminal to ask and no
// flag it is kept and the command says how to replace it. The archive being read is
// never replaced, with or without the flag.
TEST(Ovcli, ExtractionKeepsExistingFilesUnlessToldAndNeverReplacesTheArchive) {
    ScratchDir dir;
    writeArchive(dir / "x.hog", {{"a.txt", text("new")}, {"b.txt", text("b")}});
    fs::create_directory(dir / "out");
    writeBytes(dir / "out" / "a.txt", text("old"));
    const std::string hog = (dir / "x.hog").string(), out = (dir / "out").string();

    Outcome kept = ovcli(dir, {"hog", "extract", hog, out, "--all"});
    EXPECT_EQ(kept.code, 0) << kept.output;
    EXPECT_EQ(readBytes(dir / "out" / "a.txt"), text("old"));
    EXPECT_EQ(readBytes(dir / "out" / "b.txt"), text("b"));
    EXPECT_NE(kept.output.find("give --overwrite to replace them"), std::string::npos)
        << kept.output;

    // --if-not-packed answers its own question, never the one about replacing.
    Outcome unpack = ovcli(dir, {"hog", "unpack", hog, out, "a.txt", "--if-not-packed", "extract"});
    EXPECT_EQ(unpack.code, 0) << unpack.output;
    EXPECT_EQ(readBytes(dir / "out" / "a.txt"), text("old"));

    Outcome replaced = ovcli(dir, {"hog", "extract", hog, out, "--all", "--overwrite"});
    EXPECT_EQ(replaced.code, 0) << replaced.output;
    EXPECT_EQ(readBytes(dir / "out" / "a.txt"), text("new"));

    // The reproducer: an archive holding an entry of its own name, extracted into
    // its own folder.
    fs::create_directory(dir / "b");
    writeBytes(dir / "b" / "mods.hog", text("tiny\n"));
    writeArchive(dir / "mods.hog", {{"mods.hog", text("tiny\n")}});
    const Bytes archive = readBytes(dir / "mods.hog");
    Outcome self = ovcli(dir, {"hog", "extract", (dir / "mods.hog").string(), dir.path().string(),
                               "--all", "--overwrite"});
    EXPECT_EQ(self.code, 1);
    EXPECT_EQ(readBytes(dir / "mods.hog"), archive);
    EXPECT_NE(self.output.find("0 file(s) written, 1 failed"), std::string::npos) << self.output;
    EXPECT_EQ(self.output.find("Extraction Complete"), std::string::npos) << self.output;
}

// The FAT backup of an archive without a three-letter type lies beside it and is
// never restored over another archive.
TEST(Ovcli, FatBackupOfAnArchiveWithoutATypeStaysItsOwn) {
    ScratchDir dir;
    fs::create_directory(dir / "mods");
    writeArchive(dir / "mods" / "abc", {{"one.txt", text("1")}, {"two.txt", text("22")}});
    writeArchive(dir / "mods" / "abd", {{"shipstats.bin", text("stats")}});
    const Bytes abd = readBytes(dir / "mods" / "abd");
    EXPECT_EQ(ovcli(dir, {"hog", "backup-fat", (dir / "mods" / "abc").string()}).code, 0);
    EXPECT_TRUE(fs::exists(dir / "mods" / "abc.FAT"));
    EXPECT_FALSE(fs::exists(dir / "mods.FAT"));
    EXPECT_EQ(ovcli(dir, {"hog", "restore-fat", (dir / "mods" / "abd").string(), "--yes"}).code, 1);
    fs::copy_file(dir / "mods" / "abc.FAT", dir / "mods" / "abd.FAT");
    Outcome foreign = ovcli(dir, {"hog", "restore-fat", (dir / "mods" / "abd").string(), "--yes"});
    EXPECT_EQ(foreign.code, 1);
    EXPECT_NE(foreign.output.find("FAT backup of another hog file"), std::string::npos)
        << foreign.output;
    EXPECT_EQ(readBytes(dir / "mods" / "abd"), abd);
}

// A dump of a file cut short still prints what was read, then warns and fails.
TEST(Ovcli, DumpOfACutShortFileWarnsAndFails) {
    ScratchDir dir;
    conv::Model3ds model;
    conv::Mesh3ds mesh;
    mesh.name = "Tri";
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    mesh.mapping = {{0, 0}, {1, 0}, {0, 1}};
    mesh.faces = {{0, 1, 2}};
    model.meshes = {mesh, mesh};
    const Bytes whole = conv::write3ds(model);
    writeBytes(dir / "whole.3ds", whole);
    writeBytes(dir / "cut.3ds", Bytes(whole.begin(), whole.end() - 60));
    writeBytes(dir / "empty.3ds", {});
    writeBytes(dir / "text.3ds", text("not a model, only words\n"));

    EXPECT_EQ(ovcli(dir, {"3ds", "dump", (dir / "whole.3ds").string()}).code, 0);
    Outcome cut = ovcli(dir, {"3ds", "dump", (dir / "cut.3ds").string()});
    EXPECT_EQ(cut.code, 1);
    EXPECT_NE(cut.output.find("Chunk type \"Vertex list\""), std::string::npos) << cut.output;
    EXPECT_NE(cut.output.find("warning: "), std::string::npos) << cut.output;
    for (const char* name : {"empty.3ds", "text.3ds"}) {
        Outcome r = ovcli(dir, {"3ds", "dump", (dir / name).string()});
        EXPECT_EQ(r.code, 1) << name;
        EXPECT_NE(r.output.find("cut short or not a 3DS file"), std::string::npos) << r.output;
    }
}

// Temporary files left by a killed writer are listed, named by the next command that
// writes there, and removed on request unless a write may still be running.
TEST(Ovcli, LeftoverTemporaryFilesAreListedAndRemoved) {
    ScratchDir dir;
    fs::create_directories(dir / "out" / "sub");
    const fs::path old = dir / "out" / "sub" / ".ov-aaaaaaaaaaaa.ovtmp";
    const fs::path fresh = dir / "out" / ".ov-bbbbbbbbbbbb.ovtmp";
    writeBytes(old, Bytes(5000, 1));
    writeBytes(fresh, Bytes(10, 2));
    writeBytes(dir / "out" / "keep.ovtmp", Bytes(1, 3));  // not one of ours
    fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(2));

    Outcome list = ovcli(dir, {"temp-files", (dir / "out").string(), "--recursive"});
    EXPECT_EQ(list.code, 0);
    EXPECT_NE(list.output.find(old.string()), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("2 temporary file(s)"), std::string::npos) << list.output;

    writeArchive(dir / "x.hog", {{"a.txt", text("a")}});
    Outcome extract =
        ovcli(dir, {"hog", "extract", (dir / "x.hog").string(), (dir / "out").string(), "--all"});
    EXPECT_EQ(extract.code, 0);
    EXPECT_NE(extract.output.find("temporary file(s) of writes that never finished"),
              std::string::npos)
        << extract.output;

    Outcome removed = ovcli(dir, {"temp-files", (dir / "out").string(), "-r", "--remove"});
    EXPECT_EQ(removed.code, 0) << removed.output;
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(fresh));  // changed a moment ago: a write may be running
    EXPECT_TRUE(fs::exists(dir / "out" / "keep.ovtmp"));
    EXPECT_TRUE(fs::exists(dir / "out" / "a.txt"));
}

// unpack gives back exactly what pack took; a stream whose header states more bytes
// than its commands produce, or more than any commands could, writes nothing.
TEST(Ovcli, UnpackRoundTripsAndRefusesAFalseStatedSize) {
    ScratchDir dir;
    const Bytes plain = ovtest::randomBytes(5000, 7);
    Bytes doubled = plain;
    doubled.insert(doubled.end(), plain.begin(), plain.end());
    writeBytes(dir / "in.bin", doubled);
    Outcome packed = ovcli(dir, {"pack", (dir / "in.bin").string(), (dir / "p.bin").string()});
    ASSERT_EQ(packed.code, 0) << packed.output;
    Outcome back = ovcli(dir, {"unpack", (dir / "p.bin").string(), (dir / "out.bin").string()});
    ASSERT_EQ(back.code, 0) << back.output;
    EXPECT_EQ(readBytes(dir / "out.bin"), doubled);

    Bytes p = readBytes(dir / "p.bin");
    struct Case {
        const char* name;
        uint32_t stated;
    };
    for (const Case& c : {Case{"one byte more", uint32_t(doubled.size() + 1)},
                          Case{"more than any commands make", 0xFFFFFFu}}) {
        SCOPED_TRACE(c.name);
        p[2] = uint8_t(c.stated >> 16);
        p[3] = uint8_t(c.stated >> 8);
        p[4] = uint8_t(c.stated);
        writeBytes(dir / "false.bin", p);
        Outcome r = ovcli(dir, {"unpack", (dir / "false.bin").string(), (dir / "f.out").string()});
        EXPECT_EQ(r.code, 1) << r.output;
        EXPECT_FALSE(fs::exists(dir / "f.out"));
    }
}

#ifndef _WIN32
namespace {

// Runs ovcli through the shell, so that standard output can be a full device, a
// closed descriptor or a pipe whose reader leaves early. Standard error goes to a
// file of its own.
Outcome ovcliShell(const ScratchDir& dir, const std::string& args, const std::string& redirect) {
    const fs::path err = dir / "stderr.log";
    const std::string command = "'" + std::string(OV_OVCLI_FILE) + "' " + args + " " + redirect +
                                " 2>'" + err.string() + "' </dev/null";
    const int status = std::system(("sh -c \"" + command + "\"").c_str());
    std::ifstream f(err);
    std::stringstream all;
    all << f.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, all.str()};
}

}  // namespace

// A write to standard output that fails is a failure with a message naming
// standard output, for text, JSON and bytes alike; a reader that goes away early
// (`| head`) ends the program quietly.
TEST(Ovcli, FailedWritesToStandardOutputAreFailures) {
    ScratchDir dir;
    std::vector<archive::HogItem> items;
    for (int i = 0; i < 20000; ++i)
        items.push_back({"entry" + std::to_string(i) + ".txt", text("x")});
    writeArchive(dir / "big.hog", items);
    ASSERT_EQ(ovcli(dir, {"sample-game", (dir / "game").string()}).code, 0);
    const std::string hog = "'" + (dir / "big.hog").string() + "'";
    const std::string game = "'" + (dir / "game").string() + "'";
    const std::string commands[] = {
        "hog list " + hog,
        "hog list --json " + hog,
        "hog cat " + hog + " entry7.txt",
        "model info '" + (dir / "game" / "ships" / "kestrel.shp").string() + "'",
        "model info --json '" + (dir / "game" / "ships" / "kestrel.shp").string() + "'",
        "stats list " + game,
    };
    for (const std::string& args : commands) {
        SCOPED_TRACE(args);
        if (fs::exists("/dev/full")) {
            Outcome full = ovcliShell(dir, args, ">/dev/full");
            EXPECT_NE(full.code, 0);
            EXPECT_NE(full.output.find("standard output"), std::string::npos) << full.output;
        }
        Outcome closed = ovcliShell(dir, args, ">&-");
        EXPECT_NE(closed.code, 0);
        EXPECT_NE(closed.output.find("standard output"), std::string::npos) << closed.output;
        Outcome fine = ovcliShell(dir, args, ">/dev/null");
        EXPECT_EQ(fine.code, 0) << fine.output;
    }
    Outcome piped = ovcliShell(dir, "hog list " + hog, "| head -c 1 >/dev/null");
    EXPECT_EQ(piped.output, "");
}

// No command writes over its own input or over something that is not a file.
TEST(Ovcli, WritersRefuseTheirOwnInputAndFilesThatAreNone) {
    ScratchDir dir;
    writeBytes(dir / "in.bin", text("some bytes to pack, some bytes to pack"));
    const std::string in = (dir / "in.bin").string();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"pack", in, in, "--force"},
          {"pack", in, (dir / "." / "in.bin").string(), "--force"},
          {"convert", in, "tex", in, "--force"}}) {
        Outcome own = ovcli(dir, args);
        EXPECT_NE(own.code, 0);
        EXPECT_NE(own.output.find("is the input file"), std::string::npos) << own.output;
    }
    EXPECT_EQ(readBytes(dir / "in.bin"), text("some bytes to pack, some bytes to pack"));
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    Outcome fifo = ovcli(dir, {"pack", in, (dir / "pipe").string(), "--force"});
    EXPECT_NE(fifo.code, 0);
    EXPECT_NE(fifo.output.find("a FIFO"), std::string::npos) << fifo.output;
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
}
#endif

// A routine that has the editor's own message says it (title and text) before the
// line that says what the path is; a path that is not a file is named for what it is.
TEST(Ovcli, TheEditorsMessageComesFirstThenThePath) {
    ScratchDir dir;
    fs::create_directory(dir / "folder");
    const std::string missing = (dir / "missing.bin").string();
    struct Case {
        std::vector<std::string> args;
        std::string first, second;
    };
    std::vector<Case> cases = {
        {{"stats", "get", missing, "0"},
         "GetShipsStats: Error - file not found",
         missing + ": no such file"},
        {{"stats", "set", missing, "0", "Max Speed=1"},
         "GetShipsStats: Error - file not found",
         missing + ": no such file"},
        {{"stats", "get", (dir / "folder").string(), "0"},
         "GetShipsStats: Error - file not found",
         "is a folder without a shipstats.bin"},
        {{"hog", "add", (dir / "nope.hog").string(), missing},
         "File path error: File not found",
         "nope.hog: no such file"},
    };
#ifndef _WIN32
    cases.push_back({{"stats", "get", "/dev/zero", "0"},
                     "GetShipsStats: Error - file not found",
                     "/dev/zero: is a device"});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2]);
        Outcome o = ovcli(dir, c.args);
        EXPECT_EQ(o.code, 1);
        const size_t first = o.output.find(c.first), second = o.output.find(c.second);
        ASSERT_NE(first, std::string::npos) << o.output;
        ASSERT_NE(second, std::string::npos) << o.output;
        EXPECT_LT(first, second) << o.output;
    }
}
