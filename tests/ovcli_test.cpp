// ovcli through its executable, on a fresh sample game: exit codes, help and the
// suggestions for mistakes, the JSON it prints, and that no command deletes or
// loses a game file unless told to.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "common/shp_model.h"
#include "support/test_support.h"

#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using ovtest::readBytes;
using ovtest::ScratchDir;

struct Outcome {
    int code = -1;
    std::string out, err;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A scratch folder holding the sample game in game/; ovcli runs there, with no
// terminal to ask.
class Ovcli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(run({"sample-game", "game"}).code, 0); }

    Outcome run(const std::vector<std::string>& args, const std::string& environment = {}) {
        // Appended piece by piece: GCC 12 sees a false overlap (-Wrestrict) in
        // "literal" + string.
        std::string cmd = "cd ";
        cmd += quoted(dir.path().string());
        cmd += " && ";
        cmd += environment;
        cmd += ' ';
        cmd += quoted(OV_OVCLI_FILE);
        for (const auto& a : args) {
            cmd += ' ';
            cmd += quoted(a);
        }
        cmd += " </dev/null >";
        cmd += quoted((dir / "stdout").string());
        cmd += " 2>";
        cmd += quoted((dir / "stderr").string());
        Outcome r;
        int rc = std::system(cmd.c_str());
        r.code = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        r.out = slurp(dir / "stdout");
        r.err = slurp(dir / "stderr");
        return r;
    }
    nlohmann::json json(const std::vector<std::string>& args, int code = 0) {
        Outcome r = run(args);
        EXPECT_EQ(r.code, code) << r.err;
        return nlohmann::json::parse(r.out);
    }
    fs::path at(const std::string& p) const { return dir / p; }

    ScratchDir dir;
};

// ---- Help and mistakes ------------------------------------------------------------

TEST_F(Ovcli, MistakesNameTheProblemAndTheFix) {
    ASSERT_EQ(run({"hog", "unpack", "game/resource.hog", "out", "raptor.shp"}).code, 0);
    const struct {
        std::vector<std::string> args;
        int code;
        const char* said;  // on standard error
    } cases[] = {
        {{"hgo"}, 2, "unknown command 'hgo'; did you mean 'hog'?"},
        {{"hog", "crate", "x.hog"}, 2, "unknown command 'crate'; did you mean 'create'?"},
        {{"help", "sttas"}, 2, "did you mean 'stats'?"},
        {{"hog", "create", "--froce", "x.hog", "game"}, 2, "did you mean '--force'?"},
        {{"stats", "set", "game", "Raptor", "Max Sped=1"}, 2, "did you mean 'Max Speed'?"},
        {{"stats", "set", "game", "Raptr", "Ammo=1"}, 1, "did you mean 'Raptor'?"},
        {{"stats", "get", "game", "9"}, 1, "ship index 9 is out of range"},
        {{"stats", "get", "game", "0x9"}, 1, "holds 6 record(s) (0-5)"},
        {{"weapons", "set", "game", "Raptor", "--points", "0", "--gun", "Proton"}, 2,
         "did you mean 'Proton Cannon'?"},
        {{"weapons", "set", "game", "Raptor", "--points", "0", "--gun", "99"}, 2,
         "--gun 99 is out of range: the types are 0-15"},
        {{"weapons", "set", "game", "Raptor", "--points", "2", "--ext-gun", "9"}, 2,
         "the types are 0-7, 11"},
        {{"hog", "list", "game"}, 1, "game: is a folder; expected a .hog file"},
        {{"hog", "list", "game/none.hog"}, 1, "game/none.hog: no such file"},
        {{"hog", "extract", "game/resource.hog", "out"}, 2, "or give --all"},
        {{"hog", "cat", "game/resource.hog", "raptr.shp"}, 1, "did you mean 'raptor.shp'?"},
        {{"model", "set-class", "out/raptor.shp", "Capshp"}, 2, "did you mean 'Capship'?"},
        {{"model", "delete-component", "out/raptor.shp", "7"}, 1,
         "component 7 is out of range: the model has 2 component(s) (0-1)"},
        {{"stats", "revert", "game"}, 1, "no shipstats.def"},
        // A dry run refuses what the change itself would refuse.
        {{"hog", "set-entry", "game/resource.hog", "2", "--offset", "zz", "--dry-run"}, 2,
         "--offset zz: not a hexadecimal number of 1-8 digits"},
    };
    for (const auto& c : cases) {
        Outcome r = run(c.args);
        EXPECT_EQ(r.code, c.code) << c.args[0] << " " << c.args[1] << "\n" << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << c.said << "\n" << r.err;
    }
    // A file that is not there is said once, on one line, with what was expected.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"model", "import", "out/none.gltf", "out/none.shp"},
          std::vector<std::string>{"model", "export", "out/none.shp", "out/none.gltf"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        const std::string missing = args[2] + ": no such file; expected ";
        ASSERT_NE(r.err.find(missing), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(missing), r.err.rfind(args[2])) << r.err;  // the path once
    }
    // Nothing was changed by any of them.
    EXPECT_FALSE(fs::exists(at("out/raptor.bak")));
    EXPECT_FALSE(fs::exists(at("game/shipstats.def")));
}

TEST_F(Ovcli, HelpForEveryCommandEndsWithExamplesAndCompletionNamesThem) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"help"}, {"help", "hog"}}) {
        Outcome r = run(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_NE(r.out.find("Example"), std::string::npos) << r.out;
    }
    EXPECT_NE(run({"help", "hog"}).out.find("extract"), std::string::npos);
    // A group named without a command shows what it holds.
    Outcome group = run({"stats"});
    EXPECT_EQ(group.code, 2);
    EXPECT_NE(group.out.find("revert"), std::string::npos);

    Outcome commands = run({"completion", "commands"});
    ASSERT_EQ(commands.code, 0);
    const std::string script = slurp(fs::path(OV_SOURCE_DIR) / "ovcli/completion/ovcli.bash");
    EXPECT_EQ(run({"completion", "bash"}).out, script)
        << "ovcli/completion/ovcli.bash is out of date: write it with `ovcli completion bash`";
    std::istringstream lines(commands.out);
    size_t count = 0;
    for (std::string path; std::getline(lines, path); ++count) {
        std::vector<std::string> args;
        std::istringstream words(path);
        for (std::string w; words >> w;)
            args.push_back(w);
        const std::string last = args.back();
        args.push_back("--help");
        Outcome r = run(args);
        EXPECT_EQ(r.code, 0) << path;
        EXPECT_NE(r.out.find("Example"), std::string::npos) << path;
        EXPECT_NE(script.find(last), std::string::npos) << path;
        // A command named first gets only its own parser built; its help is the
        // one it has among all the others.
        if (args.size() == 2) {
            std::string alone = r.out;  // `help X` names no program in its usage line
            if (auto at = alone.find("Usage: ovcli "); at != std::string::npos)
                alone.erase(at + 7, 6);
            EXPECT_EQ(alone, run({"help", args[0]}).out) << path;
        }
    }
    EXPECT_GT(count, 50u);
    // `--version` alone answers before the parser is built; with more on the line
    // the parser's flag answers: the two say the same.
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("ovcli ", 0), 0u);
    EXPECT_EQ(version.out, run({"--version", "pack"}).out);
}

// ---- Ship figures ------------------------------------------------------------------

TEST_F(Ovcli, StatsKeepThePristineCopyAndNeverDeleteWithoutYes) {
    const ov::Bytes original = readBytes(at("game/shipstats.bin"));

    // A dry run changes nothing, not even the pristine copy.
    EXPECT_EQ(run({"stats", "set", "game", "Raptor", "Max Speed=480", "--dry-run"}).code, 0);
    EXPECT_EQ(readBytes(at("game/shipstats.bin")), original);
    EXPECT_FALSE(fs::exists(at("game/shipstats.def")));

    Outcome set = run({"stats", "set", "game", "Raptor", "Max Speed=480"});
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_NE(set.out.find("Max Speed:        420 -> 480"), std::string::npos) << set.out;
    EXPECT_EQ(readBytes(at("game/shipstats.def")), original);
    // A second change leaves the pristine copy as it was.
    ASSERT_EQ(run({"stats", "set", "game", "0", "Ammo=99"}).code, 0);
    EXPECT_EQ(readBytes(at("game/shipstats.def")), original);
    const ov::Bytes changed = readBytes(at("game/shipstats.bin"));

    // restore deletes its SOURCE: never without an answer.
    Outcome restore = run({"stats", "restore", "game/shipstats.def", "game/shipstats.bin"});
    EXPECT_EQ(restore.code, 1);
    EXPECT_NE(restore.err.find("give --yes"), std::string::npos) << restore.err;
    EXPECT_EQ(readBytes(at("game/shipstats.bin")), changed);
    EXPECT_EQ(run({"stats", "switch-off", "game"}).code, 1);
    EXPECT_EQ(readBytes(at("game/shipstats.bin")), changed);

    auto reverted = json({"stats", "revert", "game", "Raptor", "--json"});
    EXPECT_EQ(reverted["reverted"], 1);
    EXPECT_EQ(reverted["ships"][0]["changes"].size(), 2u);
    EXPECT_EQ(readBytes(at("game/shipstats.bin")), original);
    EXPECT_EQ(readBytes(at("game/shipstats.def")), original);

    // Switching off with --yes: the Part's step, the live file's figures kept in
    // the pristine copy.
    ASSERT_EQ(run({"stats", "set", "game", "Kestrel", "Ammo=7"}).code, 0);
    const ov::Bytes live = readBytes(at("game/shipstats.bin"));
    ASSERT_EQ(run({"stats", "switch-off", "game", "--yes"}).code, 0);
    EXPECT_FALSE(fs::exists(at("game/shipstats.bin")));
    EXPECT_EQ(readBytes(at("game/shipstats.def")), live);
}

TEST_F(Ovcli, AddedShipsAreListedAndAddedOnce) {
    const size_t before = readBytes(at("game/shipstats.bin")).size();
    const std::vector<std::string> add = {"stats", "add", "game", "Heron",
                                          "game/addons/stats/corsair.txt", "--model", "heron.shp"};
    ASSERT_EQ(run(add).code, 0);
    EXPECT_EQ(readBytes(at("game/shipstats.bin")).size(), before + 352);
    EXPECT_EQ(readBytes(at("game/shipstats.def")).size(), before);
    Outcome again = run(add);
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("already"), std::string::npos) << again.err;
    EXPECT_EQ(readBytes(at("game/shipstats.bin")).size(), before + 352);

    auto list = json({"stats", "list", "game", "--json"});
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[6]["name"], "Heron");
    EXPECT_EQ(list[6]["statsIndex"], 6);
    EXPECT_EQ(list[6]["imported"], true);
    EXPECT_EQ(list[6]["model"], "heron.shp");
    // Reverting every ship passes over the imported one, which has no defaults.
    auto reverted = json({"stats", "revert", "game", "--json"});
    EXPECT_EQ(reverted["skipped"], 1);
}

// ---- Models and cloak -------------------------------------------------------------

TEST_F(Ovcli, ModelEditsKeepTheFirstStateOrWriteElsewhere) {
    ASSERT_EQ(run({"hog", "unpack", "game/resource.hog", "out", "raptor.shp"}).code, 0);
    const ov::Bytes model = readBytes(at("out/raptor.shp"));

    EXPECT_EQ(run({"model", "set-class", "out/raptor.shp", "Capship", "--dry-run"}).code, 0);
    EXPECT_EQ(run({"model", "attach", "out/raptor.shp", "0", "3", "-o", "out/gun.shp"}).code, 0);
    EXPECT_EQ(readBytes(at("out/raptor.shp")), model);
    EXPECT_FALSE(fs::exists(at("out/raptor.bak")));
    // -o does not replace a file without --force.
    EXPECT_EQ(run({"model", "attach", "out/raptor.shp", "0", "3", "-o", "out/gun.shp"}).code, 1);

    ASSERT_EQ(run({"model", "set-class", "out/raptor.shp", "fighter + cloak"}).code, 0);
    EXPECT_EQ(readBytes(at("out/raptor.shp"))[26], 2);
    ASSERT_EQ(run({"model", "detach", "out/raptor.shp", "0", "0"}).code, 0);
    EXPECT_EQ(readBytes(at("out/raptor.bak")), model);

    // Saving a packed model unpacked in place keeps the packed file, once.
    ASSERT_EQ(run({"pack", "out/raptor.bak", "out/packed.shp"}).code, 0);
    const ov::Bytes packed = readBytes(at("out/packed.shp"));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(run({"model", "save", "out/packed.shp"}).code, 0);
        EXPECT_EQ(readBytes(at("out/packed.shp")), model);
        EXPECT_EQ(readBytes(at("out/packed.bak")), packed);
    }

    // The cloak: --on twice stays on; --off puts the byte back; the first state kept.
    const ov::Bytes kestrel = readBytes(at("game/ships/kestrel.shp"));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(run({"ship", "cloak", "game", "Kestrel", "--on"}).code, 0);
        EXPECT_EQ(readBytes(at("game/ships/kestrel.shp"))[26], 2);
    }
    ASSERT_EQ(run({"ship", "cloak", "game/ships/kestrel.shp", "--off"}).code, 0);
    EXPECT_EQ(readBytes(at("game/ships/kestrel.shp")), kestrel);
    EXPECT_EQ(readBytes(at("game/ships/kestrel.bak")), kestrel);
    // A ship only in the archive: a dry run makes nothing loose.
    EXPECT_EQ(run({"ship", "cloak", "game", "Raptor", "--on", "--dry-run"}).code, 0);
    EXPECT_FALSE(fs::exists(at("game/ships/raptor.shp")));
}

TEST_F(Ovcli, ModelCheckFlagsEmptyComponents) {
    ASSERT_EQ(run({"hog", "unpack", "game/resource.hog", "out", "raptor.shp"}).code, 0);
    auto clean = json({"model", "check", "out/raptor.shp", "--json"});
    EXPECT_TRUE(clean["problems"].empty());
    EXPECT_EQ(clean["components"], 2);

    auto loaded = ov::shp::loadModelFile(at("out/raptor.shp"));
    ASSERT_TRUE(loaded);
    const ov::shp::ChainIndex index(loaded->chain);
    const auto blocks = ov::shp::ModelView(loaded->chain, index).locate(1);
    ASSERT_TRUE(blocks.vertices && blocks.faces);
    for (size_t b : {*blocks.vertices, *blocks.faces}) {
        loaded->chain.blocks()[b].recordCount = 0;
        loaded->chain.blocks()[b].data.clear();
    }
    ASSERT_TRUE(loaded->chain.writeFile(at("out/empty.shp")));
    auto found = json({"model", "check", "out/empty.shp", "--json"}, 1);
    std::vector<std::string> texts;
    for (const auto& p : found["problems"])
        if (p["component"] == 1) texts.push_back(p["text"]);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "The vertex block holds no vertices."),
              texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "The face block holds no faces."), texts.end());
}

// assimp and the libraries behind it are loaded by an import of a format only
// they read, never to start ovcli, export or read glTF (the dynamic loader names
// each library it loads).
TEST_F(Ovcli, TheMeshReaderIsLoadedOnlyByAnImportThatNeedsIt) {
    auto loads = [&](const std::vector<std::string>& args) {
        Outcome r = run(args, "LD_DEBUG=files");
        EXPECT_EQ(r.code, 0) << r.err;
        return std::pair(r.err.find("libassimp") != std::string::npos,
                         r.err.find("libov_assimp_reader") != std::string::npos);
    };
    if (run({"--version"}, "LD_DEBUG=files").err.find("file=") == std::string::npos)
        GTEST_SKIP() << "this system's dynamic loader does not name what it loads";
    using Loaded = std::pair<bool, bool>;
    EXPECT_EQ(loads({"--version"}), Loaded(false, false));
    EXPECT_EQ(loads({"model", "export", "game/ships/kestrel.shp", "k.gltf"}), Loaded(false, false));
    EXPECT_EQ(loads({"model", "export", "game/ships/kestrel.shp", "k.obj"}), Loaded(false, false));
    EXPECT_EQ(loads({"model", "import", "k.gltf", "from-gltf.shp"}), Loaded(false, false));
    if (run({"model", "import", "--help"}).out.find(".obj") == std::string::npos)
        GTEST_SKIP() << "this build reads no OBJ";
    EXPECT_EQ(loads({"model", "import", "k.obj", "from-obj.shp"}), Loaded(true, true));
}

// ---- What the write commands say with --json -------------------------------------

// The files below `root` with their bytes, but for the fixture's own two.
std::map<std::string, ov::Bytes> filesBelow(const fs::path& root) {
    std::map<std::string, ov::Bytes> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = readBytes(e.path());
    files.erase("stdout");
    files.erase("stderr");
    return files;
}

TEST_F(Ovcli, DryRunsPrintOneJsonDocumentAndWriteNothing) {
    ASSERT_EQ(run({"hog", "unpack", "game/resource.hog", "out", "raptor.shp", "kestrel.shp"}).code, 0);
    ASSERT_EQ(run({"hog", "backup-fat", "game/resource.hog"}).code, 0);
    ASSERT_EQ(run({"pack", "out/raptor.shp", "out/raptor.packed"}).code, 0);
    const auto before = filesBelow(dir.path());
    const std::vector<std::vector<std::string>> commands = {
        {"pack", "out/raptor.shp", "x.packed"},
        {"unpack", "out/raptor.packed", "x.shp"},
        {"hog", "backup-fat", "game/resource.hog"},
        {"hog", "restore-fat", "game/resource.hog"},
        {"hog", "paste", "game/resource.hog", "1", "2"},
        {"hog", "set-entry", "game/resource.hog", "2", "--size", "0x10"},
        {"hog", "create", "x.hog", "out"},
        {"hog", "add", "game/resource.hog", "out/raptor.shp", "--as", "new.shp"},
        {"hog", "replace", "game/resource.hog", "raptor.shp", "out/kestrel.shp"},
        {"hog", "rename", "game/resource.hog", "raptor.shp", "falcon.shp"},
        {"hog", "delete", "game/resource.hog", "raptor.shp"},
        {"stats", "add", "game", "Heron", "game/addons/stats/corsair.txt"},
        {"stats", "ensure-default", "game"},
        {"ship", "cloak", "game", "Raptor", "--on"},
        {"ship", "cloak", "game/ships/kestrel.shp", "--toggle"},
        {"weapons", "set", "game", "Kestrel", "--points", "0,1", "--gun", "3"},
        {"weapons", "restore", "game", "Kestrel"},
        {"model", "save", "out/raptor.packed", "-o", "x.shp"},
        {"model", "merge", "out/raptor.shp", "out/kestrel.shp", "-o", "x.shp"},
        {"model", "delete-component", "out/raptor.shp", "1"},
        {"model", "attach", "out/raptor.shp", "0", "3"},
        {"model", "detach", "out/raptor.shp", "0", "0"},
        {"model", "set-class", "out/raptor.shp", "Capship"},
        {"model", "block13", "out/raptor.shp", "0", "on"},
    };
    for (auto args : commands) {
        const std::string name = args[0] + " " + args[1];
        args.insert(args.end(), {"--dry-run", "--json"});
        Outcome r = run(args);
        EXPECT_EQ(r.code, 0) << name << "\n" << r.err;
        auto j = nlohmann::json::parse(r.out, nullptr, false);
        ASSERT_TRUE(j.is_object()) << name << "\n" << r.out;
        EXPECT_EQ(j["dryRun"], true) << name;
    }
    EXPECT_EQ(filesBelow(dir.path()), before);
    // A failure prints no document.
    Outcome missing = run({"hog", "rename", "game/resource.hog", "none.shp", "x.shp", "--json"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "");
}

TEST_F(Ovcli, ArchiveChangesInJsonMatchTheArchive) {
    auto entry = [&](const std::string& archive, size_t row) {
        return json({"hog", "list", archive, "--json"})["entries"][row - 1];
    };
    auto set = json({"hog", "set-entry", "game/resource.hog", "raptor.shp", "--size", "0x10", "--json"});
    EXPECT_EQ(set["before"]["size"], 745);
    EXPECT_EQ(set["after"]["size"], 16);
    EXPECT_EQ(set["after"]["size"], entry("game/resource.hog", set["row"])["size"]);
    auto paste = json({"hog", "paste", "game/resource.hog", "1", "2", "--json"});
    EXPECT_EQ(paste["after"]["offset"], entry("game/resource.hog", 1)["offset"]);
    EXPECT_EQ(paste["after"]["offset"], entry("game/resource.hog", 2)["offset"]);

    auto packed = json({"pack", "game/shipstats.bin", "s.packed", "--json"});
    EXPECT_EQ(packed["outputBytes"], fs::file_size(at("s.packed")));
    EXPECT_EQ(packed["inputBytes"], fs::file_size(at("game/shipstats.bin")));

    auto created = json({"hog", "create", "mine.hog", "game/addons", "--pack", "--json"});
    ASSERT_EQ(created["entries"].size(), 2u);
    EXPECT_EQ(created["hogSize"], fs::file_size(at("mine.hog")));
    for (size_t i = 0; i < 2; ++i) {
        const auto& e = created["entries"][i];
        EXPECT_EQ(e["fileSize"], fs::file_size(at(e["file"].get<std::string>())));
        EXPECT_EQ(e["size"], entry("mine.hog", i + 1)["size"]);
        EXPECT_LT(e["size"].get<size_t>(), e["fileSize"].get<size_t>());
    }

    // A rebuild: the entry renamed, the original kept the first time only, and a FAT
    // backup that is not refreshed without an answer said so.
    ASSERT_EQ(run({"hog", "backup-fat", "mine.hog"}).code, 0);
    auto renamed = json({"hog", "rename", "mine.hog", "1", "ships/heron.shp", "--json"});
    ASSERT_EQ(renamed["changes"].size(), 2u);
    EXPECT_EQ(renamed["changes"][0]["change"], "renamed");
    EXPECT_EQ(renamed["changes"][0]["was"], "ships\\corsair.shp");
    EXPECT_EQ(entry("mine.hog", 1)["name"], "ships\\heron.shp");
    EXPECT_EQ(renamed["hogSize"], fs::file_size(at("mine.hog")));
    EXPECT_EQ(renamed["backup"]["made"], true);
    EXPECT_TRUE(fs::exists(at(renamed["backup"]["path"].get<std::string>())));
    EXPECT_EQ(renamed["fatBackup"]["refreshed"], false);
    auto again = json({"hog", "delete", "mine.hog", "2", "--yes", "--json"});
    EXPECT_EQ(again["backup"]["made"], false);
    EXPECT_EQ(again["fatBackup"]["refreshed"], true);
    EXPECT_EQ(again["changes"].back()["change"], "deleted");
    EXPECT_EQ(again["files"], 1);
}

TEST_F(Ovcli, ModelAndShipChangesInJsonMatchTheFiles) {
    ASSERT_EQ(run({"hog", "unpack", "game/resource.hog", "out", "raptor.shp", "kestrel.shp"}).code, 0);
    const ov::Bytes model = readBytes(at("out/raptor.shp"));
    auto cls = json({"model", "set-class", "out/raptor.shp", "Capship", "--json"});
    EXPECT_EQ(cls["oldClass"]["value"], 0);
    EXPECT_EQ(cls["newClass"]["name"], "Capship");
    EXPECT_EQ(readBytes(at("out/raptor.shp"))[26], 1);
    EXPECT_EQ(cls["backup"]["made"], true);
    EXPECT_EQ(readBytes(at(cls["backup"]["path"].get<std::string>())), model);
    auto attached = json({"model", "attach", "out/raptor.shp", "1", "2", "--json"});
    EXPECT_EQ(attached["backup"]["made"], false);
    EXPECT_EQ(attached["component"]["name"], "Cockpit");
    auto info = json({"model", "info", "out/raptor.shp", "--json"});
    const auto& added = info["components"][1]["attachments"][attached["attachment"].get<size_t>()];
    EXPECT_EQ(added["kind"], 2);
    // Written elsewhere: no backup.
    auto merged = json({"model", "merge", "out/raptor.shp", "out/kestrel.shp", "-o", "out/two.shp", "--json"});
    EXPECT_FALSE(merged.contains("backup"));
    EXPECT_EQ(merged["added"].size(), 2u);
    EXPECT_EQ(merged["bytes"], fs::file_size(at("out/two.shp")));

    // The cloak: the state asked, then changed on the loose model and on disk.
    EXPECT_EQ(json({"ship", "cloak", "game", "Kestrel", "--json"})["cloak"], "off");
    auto on = json({"ship", "cloak", "game", "Kestrel", "--on", "--json"});
    EXPECT_EQ(on["newCloak"], "on");
    EXPECT_EQ(readBytes(at(on["output"].get<std::string>()))[26], on["newClass"]);
    EXPECT_EQ(json({"ship", "class", "game/ships/kestrel.shp", "--json"})["cloaked"], true);

    // Weapons: each point changed in both models, as weapons list shows afterwards.
    auto set = json({"weapons", "set", "game", "Kestrel", "--points", "0,2", "--gun", "3", "--json"});
    ASSERT_EQ(set["changes"].size(), 2u) << set;  // point 2 is an external gun
    std::set<std::string> models;
    for (const auto& c : set["changes"]) {
        models.insert(c["model"].get<std::string>());
        EXPECT_EQ(c["point"], 0);
        EXPECT_EQ(c["new"]["type"], 3);
    }
    EXPECT_EQ(models, (std::set<std::string>{"kestrel.shp", "kestrel_t.shp"}));
    EXPECT_EQ(json({"weapons", "list", "game", "Kestrel", "--json"})["points"][0]["type"], 3);
    auto restored = json({"weapons", "restore", "game", "Kestrel", "--json"});
    EXPECT_EQ(restored["files"][0]["from"], "ships\\kestrel.bak");
    EXPECT_EQ(json({"weapons", "list", "game", "Kestrel", "--json"})["points"][0]["type"], 2);
}

TEST_F(Ovcli, StatsWritesInJsonMatchTheFiles) {
    auto added = json({"stats", "add", "game", "Heron", "game/addons/stats/corsair.txt", "--json"});
    EXPECT_EQ(added["defaultMade"], true);
    EXPECT_TRUE(fs::exists(at("game/shipstats.def")));
    EXPECT_EQ(added["offset"].get<size_t>() + added["bytes"].get<size_t>(),
              fs::file_size(at("game/shipstats.bin")));
    EXPECT_EQ(added["shipTable"]["added"], true);
    auto list = json({"stats", "list", "game", "--json"});
    EXPECT_EQ(list.back()["statsIndex"], added["index"]);
    EXPECT_EQ(json({"stats", "ensure-default", "game", "--json"})["copied"], false);
    auto off = json({"stats", "switch-off", "game", "--yes", "--json"});
    EXPECT_EQ(off["droppedRecords"], 1);
    EXPECT_FALSE(fs::exists(at(off["deleted"].get<std::string>())));
}

// ---- Archives, conversion and overwrites -----------------------------------------

TEST_F(Ovcli, ExtractTakesPatternsAndSaysWhatItWrote) {
    auto r = json({"hog", "extract", "game/resource.hog", "new/folder", "*.SHP", "--json"});
    EXPECT_EQ(r["complete"], true);
    ASSERT_GT(r["written"].get<int>(), 3);
    EXPECT_EQ(r["files"].size(), r["written"].get<size_t>());
    for (const auto& f : r["files"]) {
        const std::string name = f["entry"];
        EXPECT_EQ(name.substr(name.size() - 4), ".shp");
        EXPECT_TRUE(fs::exists(at(f["path"].get<std::string>())));
    }
    Outcome unpack = run({"hog", "unpack", "game/resource.hog", "plain", "data/*", "--if-not-packed",
                      "extract"});
    EXPECT_EQ(unpack.code, 0) << unpack.err;
    EXPECT_NE(unpack.out.find(" written to plain: "), std::string::npos) << unpack.out;
    EXPECT_EQ(unpack.err.find("Do you want to extract?"), std::string::npos) << unpack.err;
    EXPECT_TRUE(fs::exists(at("plain/data/readme.txt")));
    EXPECT_EQ(run({"hog", "extract", "game/resource.hog", "x", "*.none"}).code, 1);
}

TEST_F(Ovcli, ExistingFilesAreReplacedOnlyWhenSaidSo) {
    const ov::Bytes hog = readBytes(at("game/resource.hog"));
    const struct {
        std::vector<std::string> args;
        const char* target;
    } cases[] = {
        {{"hog", "create", "game/resource.hog", "game/addons"}, "game/resource.hog"},
        {{"shp", "sample", "game/resource.hog"}, "game/resource.hog"},
        {{"convert", "game/models/drone.3ds", "skin", "game/resource.hog"}, "game/resource.hog"},
        {{"pack", "game/shipstats.bin", "game/resource.hog"}, "game/resource.hog"},
    };
    for (const auto& c : cases) {
        Outcome r = run(c.args);
        EXPECT_EQ(r.code, 1) << c.args[0];
        EXPECT_NE(r.err.find("give --force"), std::string::npos) << r.err;
        EXPECT_EQ(readBytes(at(c.target)), hog) << c.args[0];
    }
    // A folder's files, named relative to it, in name order.
    ASSERT_EQ(run({"hog", "create", "mine.hog", "game/addons"}).code, 0);
    ASSERT_EQ(run({"hog", "create", "mine.hog", "game/addons", "--force"}).code, 0);
    auto list = json({"hog", "list", "mine.hog", "--json"});
    ASSERT_EQ(list["entries"].size(), 2u);
    EXPECT_EQ(list["entries"][0]["name"], "ships\\corsair.shp");
    EXPECT_EQ(list["entries"][1]["name"], "stats\\corsair.txt");
}

TEST_F(Ovcli, PackAndUnpackDryRunsWriteNothing) {
    Outcome r = run({"pack", "game/shipstats.bin", "s.packed", "--dry-run"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("would write s.packed"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(at("s.packed")));

    ASSERT_EQ(run({"pack", "game/shipstats.bin", "s.packed"}).code, 0);
    const std::string size = std::to_string(fs::file_size(at("game/shipstats.bin")));
    r = run({"unpack", "s.packed", "s.bin", "--dry-run"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("-> " + size + " bytes"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(at("s.bin")));

    // A damaged stream is said by the dry run too, and an existing file is kept.
    ov::Bytes cut = readBytes(at("s.packed"));
    cut.resize(cut.size() / 2);
    ovtest::writeBytes(at("cut.packed"), cut);
    EXPECT_EQ(run({"unpack", "cut.packed", "s.bin", "--dry-run"}).code, 1);
    EXPECT_EQ(run({"unpack", "s.packed", "game/resource.hog"}).code, 1);
    EXPECT_EQ(run({"unpack", "s.packed", "s.bin"}).code, 0);
    EXPECT_EQ(readBytes(at("s.bin")), readBytes(at("game/shipstats.bin")));
}

TEST_F(Ovcli, ConvertRefusesWhatIsNotA3dsFileAndReportsInJson) {
    std::ofstream(at("notes.txt")) << "not a model\n";
    Outcome r = run({"convert", "notes.txt", "skin", "notes.shp"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("result code 8"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(at("notes.shp")));

    Outcome swapped = run({"convert", "game/models/drone.3ds", "out/drone.shp", "drone.shp", "--json"});
    EXPECT_NE(swapped.err.find("holds a folder separator"), std::string::npos) << swapped.err;
    auto j = nlohmann::json::parse(swapped.out);
    EXPECT_EQ(j["code"], 0);
    EXPECT_EQ(j["meaning"], "the SHP model was written");
    EXPECT_GT(j["faces"].get<int>(), 0);
}

}  // namespace
