// ovcli stats ...: the figures of the ships in shipstats.bin, their pristine copy
// shipstats.def, and the records of imported ships.
//
// Every command that changes shipstats.bin first makes shipstats.def (unless it is
// there), as the editor does, so that `stats revert` can always put the figures
// back. Nothing here deletes shipstats.bin without --yes.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli.h"
#include "common/fileio.h"
#include "json.h"
#include "ovedit/ships/game_files.h"
#include "ovedit/ships/ship_table.h"
#include "ovedit/ships/stats.h"

namespace ovcli {

namespace {

namespace fs = std::filesystem;
namespace ships = ov::ships;

std::string fmtFigure(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", double(v));
    return buf;
}

std::vector<std::string> figureLabels() {
    std::vector<std::string> labels;
    for (const auto& f : ships::statsFieldsInDisplayOrder())
        labels.emplace_back(f.label);
    return labels;
}

std::string joined(const std::vector<std::string>& items) {
    std::string s;
    for (const auto& i : items)
        s += (s.empty() ? "" : ", ") + i;
    return s;
}

// The statistics file a command names: FILE itself, or shipstats.bin in a game
// folder. Letter case of the file name is not minded (game folders copied from
// Windows keep their own). `mustExist` false lets a new file be named.
// The statistics file a command names: the file itself, or the game folder's
// shipstats.bin, found ignoring case. With `mustExist` a file that is not there
// (or is no file) gets the editor routine's own message through `reporter`, as
// the editor would show it, then a line saying what the path is.
std::optional<fs::path> statsFileOf(const std::string& given, bool mustExist,
                                    ov::Reporter* reporter = nullptr) {
    const fs::path p = ov::pathFromText(ov::trim(given));
    std::error_code ec;
    auto missing = [&](const std::string& line) -> std::optional<fs::path> {
        if (reporter) ships::GetShipsStats(given, 0, *reporter);
        printError(line);
        return std::nullopt;
    };
    if (fs::is_directory(p, ec)) {
        if (auto found = ships::findInFolder(p, ships::kShipStatsFile)) return *found;
        if (!mustExist) return p / ships::kShipStatsFile;
        return missing(given +
                       ": is a folder without a shipstats.bin; expected a game folder or a "
                       "statistics file");
    }
    if (fs::exists(p, ec)) {
        if (mustExist && !fs::is_regular_file(p, ec))
            return missing(pathProblem(given, "shipstats.bin, shipstats.def or a game folder"));
        return p;
    }
    const fs::path parent = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    if (auto found = ships::findInFolder(parent, ov::pathText(p.filename())))
        return p.parent_path().empty() ? found->filename() : *found;
    if (!mustExist) return p;
    return missing(pathProblem(given, "shipstats.bin, shipstats.def or a game folder"));
}

bool isLiveStatsFile(const fs::path& p) {
    return ov::sameNameIgnoringCase(ov::pathText(p.filename()), ships::kShipStatsFile);
}

fs::path folderOf(const fs::path& file) {
    return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

size_t recordCount(const fs::path& file) {
    auto size = ov::fileSize(file);
    return size ? size_t(*size / ships::kStatsRecordSize) : 0;
}

std::string rangeText(size_t records) {
    return records == 0 ? "it holds no record" : "0-" + std::to_string(records - 1);
}

// A ship as people name it: its statistics index (decimal or 0x...), or its name in
// the ship table (or, without one, in the statistics file), ignoring case.
std::optional<int> shipIndexOf(const std::string& text, const fs::path& file,
                               const std::string& editorDir) {
    if (auto n = parseUnsigned(text)) {
        const size_t records = recordCount(file);
        if (*n >= records) {
            printError("ship index " + text + " is out of range: " + ov::pathText(file) +
                       " holds " + std::to_string(records) + " record(s) (" + rangeText(records) +
                       ")");
            return std::nullopt;
        }
        return int(*n);
    }
    const fs::path folder = folderOf(file);
    auto table = ships::loadShipTable(ov::pathFromText(editorDir.empty() ? ov::pathText(folder) : editorDir),
                                      folder);
    if (!table || table->empty()) table = ships::shipsFromStatsFile(file);
    std::vector<std::string> names;
    if (table) {
        for (const auto& s : *table) {
            if (ov::sameNameIgnoringCase(ov::trim(s.name), ov::trim(text))) return s.statsIndex;
            names.push_back(s.name);
        }
    }
    printError("no ship named '" + text + "'" + didYouMean(text, names) +
               (names.empty() ? "" : " (the ships: " + joined(names) + ")"));
    return std::nullopt;
}

struct Change {
    const char* label;
    float before, after;
};

std::vector<Change> changesBetween(const ships::ShipStats& before, const ships::ShipStats& after) {
    std::vector<Change> out;
    for (const auto& f : ships::statsFieldsInDisplayOrder()) {
        float a = before.field[f.fileIndex], b = after.field[f.fileIndex];
        if (std::memcmp(&a, &b, sizeof a) != 0) out.push_back({f.label, a, b});
    }
    return out;
}

void printChanges(const std::vector<Change>& changes) {
    if (changes.empty()) std::cout << "  no figure changed\n";
    for (const auto& c : changes)
        std::printf("  %-17s %s -> %s\n", (std::string(c.label) + ":").c_str(),
                    fmtFigure(c.before).c_str(), fmtFigure(c.after).c_str());
    std::fflush(stdout);
}

void jsonChanges(Json& j, const std::vector<Change>& changes) {
    j.key("changes").beginArray();
    for (const auto& c : changes)
        j.beginObject().field("label", c.label).field("old", c.before).field("new", c.after).endObject();
    j.endArray();
}

void printStats(const ships::ShipStats& stats, bool json) {
    const auto& fields = ships::statsFieldsInDisplayOrder();
    if (json) {
        Json j;
        j.beginObject();
        for (const auto& f : fields)
            j.field(f.label, stats.field[f.fileIndex]);
        j.endObject();
        std::cout << j.str() << '\n';
        return;
    }
    for (const auto& f : fields)
        std::printf("%-17s %s\n", (std::string(f.label) + ":").c_str(),
                    fmtFigure(stats.field[f.fileIndex]).c_str());
}

bool defaultExists(const fs::path& liveFile) {
    return ships::findInFolder(folderOf(liveFile), ships::kShipStatsDefaultFile).has_value();
}

struct WriteOptions {
    bool dryRun = false, json = false;
};

// Writes one ship's figures, after making shipstats.def when the file is the live
// shipstats.bin and has no pristine copy yet.
int writeFigures(Cli& cli, const fs::path& file, int index, const ships::ShipStats& before,
                 const ships::ShipStats& after, const WriteOptions& o) {
    const auto changes = changesBetween(before, after);
    const bool makeDefault = isLiveStatsFile(file) && !defaultExists(file) && !changes.empty();
    const uint64_t offset = uint64_t(index) * ships::kStatsRecordSize + ships::kStatsBlockOffset;
    const std::string shown = ov::pathText(file);
    if (!o.dryRun && !changes.empty()) {
        if (makeDefault &&
            !ships::EnsureDefaultShipStats(ov::pathText(folderOf(file)), cli.reporter))
            return kFailed;
        if (!ships::PutShipsStats(shown, index, after, cli.reporter)) return kFailed;
    }
    if (o.json) {
        Json j;
        j.beginObject()
            .field("file", shown)
            .field("index", index)
            .field("offset", offset)
            .field("bytes", changes.empty() ? 0 : ships::kStatsBlockSize)
            .field("dryRun", o.dryRun)
            .field("defaultMade", makeDefault);
        jsonChanges(j, changes);
        j.endObject();
        std::cout << j.str() << '\n';
        return kOk;
    }
    if (makeDefault)
        std::cout << (o.dryRun ? "would copy " : "copied ") << ships::kShipStatsFile << " to "
                  << ships::kShipStatsDefaultFile << " first (the figures before any change)\n";
    std::cout << (o.dryRun ? "would write " : "wrote ")
              << (changes.empty() ? 0 : ships::kStatsBlockSize) << " bytes at offset " << offset
              << " of " << shown << " (ship " << index << ")\n";
    printChanges(changes);
    return kOk;
}

std::optional<ships::ShipStats> currentFigures(Cli& cli, const fs::path& file, int index) {
    auto got = ships::GetShipsStats(ov::pathText(file), index, cli.reporter);
    if (!got) cli.exitCode = kFailed;
    return got;
}

struct StatsArgs {
    std::string file, ship, text, name, editorDir, table, model, tigerModel;
    std::vector<std::string> values, shipsNamed;
    bool dryRun = false, json = false, yes = false, swapped = false;
};

int runGet(Cli& cli, const StatsArgs& a) {
    auto file = statsFileOf(a.file, true, &cli.reporter);
    if (!file) return kFailed;
    auto index = shipIndexOf(a.ship, *file, a.editorDir);
    if (!index) return kFailed;
    auto s = currentFigures(cli, *file, *index);
    if (!s) return kFailed;
    printStats(*s, a.json);
    return kOk;
}

int runSet(Cli& cli, const StatsArgs& a) {
    // Every assignment is checked before anything is read or written.
    std::vector<std::pair<ships::StatsField, float>> wanted;
    for (const auto& v : a.values) {
        const size_t eq = v.find('=');
        const std::string label = ov::trim(std::string_view(v).substr(0, eq));
        auto field = eq == std::string::npos ? std::nullopt : ships::statsFieldByLabel(label);
        if (!field) {
            printError(eq == std::string::npos
                           ? "\"" + v + "\": expected LABEL=NUMBER, e.g. \"Max Speed=480\""
                           : "unknown figure '" + label + "'" + didYouMean(label, figureLabels()) +
                                 " (the figures: " + joined(figureLabels()) + ")");
            return kUsage;
        }
        auto value = ships::parseStatsNumber(std::string_view(v).substr(eq + 1));
        if (!value) {
            printError("\"" + v + "\": the value is not a number");
            return kUsage;
        }
        wanted.emplace_back(*field, *value);
    }
    auto file = statsFileOf(a.file, true, &cli.reporter);
    if (!file) return kFailed;
    auto index = shipIndexOf(a.ship, *file, a.editorDir);
    if (!index) return kFailed;
    auto before = currentFigures(cli, *file, *index);
    if (!before) return kFailed;
    ships::ShipStats after = *before;
    for (const auto& [field, value] : wanted)
        after.field[field.fileIndex] = value;
    return writeFigures(cli, *file, *index, *before, after, {a.dryRun, a.json});
}

int runImport(Cli& cli, const StatsArgs& a) {
    auto file = statsFileOf(a.file, true, &cli.reporter);
    if (!file) return kFailed;
    auto index = shipIndexOf(a.ship, *file, a.editorDir);
    if (!index) return kFailed;
    // The current figures are read first, so that a bad index is said before the text.
    auto before = currentFigures(cli, *file, *index);
    if (!before) return kFailed;
    auto after = ships::GetImportStats(a.text, cli.reporter);
    if (!after) {
        explainPath(a.text, "a text file of 15 numbers");
        return kFailed;
    }
    return writeFigures(cli, *file, *index, *before, *after, {a.dryRun, a.json});
}

int runAdd(Cli& cli, const StatsArgs& a) {
    auto file = statsFileOf(a.file, false);
    if (!file) return kFailed;
    const std::string recordName = ships::statsRecordName(a.name);
    if (recordName.empty()) {
        printError("the ship needs a name");
        return kUsage;
    }
    std::error_code ec;
    const bool exists = fs::exists(*file, ec);
    if (exists) {
        auto present = ships::shipsFromStatsFile(*file);
        if (present)
            for (const auto& s : *present)
                if (ov::sameNameIgnoringCase(s.name, recordName)) {
                    printError(ov::pathText(*file) + " holds a record named '" + s.name +
                               "' already (ship " + std::to_string(s.statsIndex) +
                               "); `ovcli stats import` changes its figures");
                    return kFailed;
                }
    }
    auto stats = ships::GetImportStats(a.text, cli.reporter);
    if (!stats) {
        explainPath(a.text, "a text file of 15 numbers");
        return kFailed;
    }
    // The editor's ship table, when the folder has one, learns of the new ship, so
    // that `stats list` shows it and switching off knows it was imported.
    const fs::path editor = a.editorDir.empty() ? folderOf(*file) : ov::pathFromText(a.editorDir);
    std::optional<fs::path> tableFile = ships::findInFolder(editor, ships::kShipTableFile);
    std::optional<ships::ShipTable> table;
    if (tableFile) {
        auto read = ships::readShipTable(*tableFile);
        if (!read) {
            printError(read.error().describe());
            return kFailed;
        }
        table = *read;
        for (const auto& s : *table)
            if (ov::sameNameIgnoringCase(ov::trim(s.name), recordName)) {
                printError(ov::pathText(*tableFile) + " names a ship '" + s.name +
                           "' already (ship " + std::to_string(s.statsIndex) + ")");
                return kFailed;
            }
    }
    uint64_t length = 0;
    if (auto size = exists ? ov::fileSize(*file) : ov::Result<uint64_t>(uint64_t(0)); size) length = *size;
    const bool makeDefault = exists && isLiveStatsFile(*file) && !defaultExists(*file);
    // With --json, one document at the end, also when the ship table could not be
    // written after the record was appended.
    auto printAdded = [&](uint64_t index, bool tableWritten) {
        Json j;
        j.beginObject()
            .field("file", ov::pathText(*file))
            .field("name", recordName)
            .field("index", index)
            .field("offset", length)
            .field("bytes", ships::kStatsRecordSize)
            .field("dryRun", a.dryRun)
            .field("defaultMade", makeDefault)
            .key("shipTable");
        if (table)
            j.beginObject().field("path", ov::pathText(*tableFile)).field("added", tableWritten).endObject();
        else
            j.value(nullptr);
        printJson(j.endObject());
    };
    if (a.dryRun && a.json) {
        printAdded(length / ships::kStatsRecordSize, false);
        return kOk;
    }
    if (a.dryRun) {
        std::cout << "would append " << ships::kStatsRecordSize << " bytes at offset " << length
                  << " of " << ov::pathText(*file) << " (ship " << length / ships::kStatsRecordSize
                  << ", \"" << recordName << "\")\n";
        if (table) std::cout << "would add the ship to " << ov::pathText(*tableFile) << '\n';
        return kOk;
    }
    if (makeDefault && !ships::EnsureDefaultShipStats(ov::pathText(folderOf(*file)), cli.reporter))
        return kFailed;
    ships::ShipTable one{ships::Ship{}};
    one[0].name = a.name;
    warnAboutTemporariesBeside(*file);
    auto index = ships::AddShipStatsRecord(ov::pathText(*file), one, 0, *stats, cli.reporter);
    if (!index) return kFailed;
    if (!a.json) std::cout << one[0].name << ": ship " << *index << " of " << ov::pathText(*file) << '\n';
    if (table) {
        ships::Ship s;
        s.name = one[0].name;
        s.statsIndex = *index;
        s.model = a.model;
        s.tigerModel = a.tigerModel;
        s.imported = true;
        table->push_back(s);
        if (auto st = ships::writeShipTable(*tableFile, *table); !st) {
            printError(st.error().describe() + "; the record was appended, the ship table is as it was");
            if (a.json) printAdded(*index, false);
            return kFailed;
        }
        if (!a.json) std::cout << "added to " << ov::pathText(*tableFile) << " as an imported ship\n";
    }
    if (a.json) printAdded(*index, true);
    return kOk;
}

struct GameFiles {
    fs::path folder, live, pristine;
    ships::ShipTable table;
    bool tableFromFile = false;
};

std::optional<GameFiles> gameFiles(const std::string& gameDir, const std::string& editorDir) {
    GameFiles g;
    g.folder = ov::pathFromText(ov::trim(gameDir));
    std::error_code ec;
    if (!fs::is_directory(g.folder, ec)) {
        printError(pathProblem(gameDir, "a game folder").empty()
                       ? gameDir + ": is a file; expected a game folder (the folder of shipstats.bin)"
                       : pathProblem(gameDir, "a game folder"));
        return std::nullopt;
    }
    auto live = ships::findInFolder(g.folder, ships::kShipStatsFile);
    if (!live) {
        printError(gameDir + ": no shipstats.bin in this folder");
        return std::nullopt;
    }
    g.live = *live;
    auto pristine = ships::findInFolder(g.folder, ships::kShipStatsDefaultFile);
    if (!pristine) {
        printError(gameDir + ": no shipstats.def, the copy of the figures from before the first "
                             "change; `stats set` and `stats import` make it before they change "
                             "anything, `stats ensure-default` makes it now");
        return std::nullopt;
    }
    g.pristine = *pristine;
    const fs::path editor = editorDir.empty() ? g.folder : ov::pathFromText(editorDir);
    if (auto tableFile = ships::findInFolder(editor, ships::kShipTableFile)) {
        auto t = ships::readShipTable(*tableFile);
        if (!t) {
            printError(t.error().describe());
            return std::nullopt;
        }
        g.table = *t;
        g.tableFromFile = true;
    } else {
        // Without a table, the stock ships are the records of the pristine copy.
        auto t = ships::shipsFromStatsFile(g.pristine);
        if (!t) {
            printError(t.error().describe());
            return std::nullopt;
        }
        g.table = *t;
    }
    return g;
}

int runRevert(const StatsArgs& a) {
    auto g = gameFiles(a.file, a.editorDir);
    if (!g) return kFailed;
    std::vector<const ships::Ship*> chosen;
    bool named = !a.shipsNamed.empty();
    for (const auto& name : a.shipsNamed) {
        const ships::Ship* found = nullptr;
        auto n = parseUnsigned(name);
        std::vector<std::string> names;
        for (const auto& s : g->table) {
            names.push_back(s.name);
            if ((n && s.statsIndex >= 0 && uint64_t(s.statsIndex) == *n) ||
                (!n && ov::sameNameIgnoringCase(ov::trim(s.name), ov::trim(name))))
                found = found ? found : &s;
        }
        if (!found) {
            printError("no ship '" + name + "'" + didYouMean(name, names) + " (the ships: " +
                       joined(names) + ")");
            return kUsage;
        }
        chosen.push_back(found);
    }
    if (!named)
        for (const auto& s : g->table)
            chosen.push_back(&s);
    Json j;
    if (a.json) j.beginObject().field("file", ov::pathText(g->live)).field("dryRun", a.dryRun).key("ships").beginArray();
    size_t reverted = 0, unchanged = 0, skipped = 0;
    bool failed = false;
    for (const ships::Ship* s : chosen) {
        if (s->imported) {
            if (!a.json)
                std::cout << s->name << ": skipped, an imported ship (shipstats.def has no figures for it)\n";
            ++skipped;
            if (named) failed = true;
            continue;
        }
        auto before = ships::readShipStats(g->live, s->statsIndex);
        auto pristine = ships::readShipStats(g->pristine, s->statsIndex);
        if (!before || !pristine) {
            printError(s->name + ": " + (before ? pristine : before).error().describe());
            failed = true;
            continue;
        }
        const auto changes = changesBetween(*before, *pristine);
        if (a.json) {
            j.beginObject().field("name", s->name).field("index", s->statsIndex);
            jsonChanges(j, changes);
            j.endObject();
        }
        if (changes.empty()) {
            ++unchanged;
            continue;
        }
        if (!a.dryRun) {
            if (auto st = ships::writeShipStats(g->live, s->statsIndex, *pristine); !st) {
                printError(st.error().describe());
                failed = true;
                continue;
            }
        }
        ++reverted;
        if (!a.json) {
            std::cout << s->name << " (ship " << s->statsIndex << ")"
                      << (a.dryRun ? ", would be reverted:\n" : ":\n");
            printChanges(changes);
        }
    }
    if (a.json) {
        j.endArray().field("reverted", reverted).field("unchanged", unchanged).field("skipped", skipped).endObject();
        std::cout << j.str() << '\n';
    } else {
        std::cout << reverted << " ship(s) " << (a.dryRun ? "would be " : "") << "reverted, "
                  << unchanged << " had their default figures" << (skipped ? ", " + std::to_string(skipped) + " skipped" : "")
                  << '\n';
    }
    return failed ? kFailed : kOk;
}

int runEnsureDefault(Cli& cli, const StatsArgs& a) {
    const fs::path folder = ov::pathFromText(ov::trim(a.file));
    auto live = ships::findInFolder(folder, ships::kShipStatsFile);
    const auto pristine = ships::findInFolder(folder, ships::kShipStatsDefaultFile);
    if (a.dryRun && !live) {
        printError(a.file + ": no shipstats.bin in this folder");
        return kFailed;
    }
    if (!a.dryRun) {
        if (!ships::EnsureDefaultShipStats(a.file, cli.reporter)) {
            explainPath(a.file + "/" + ships::kShipStatsFile, "a game folder holding shipstats.bin");
            return kFailed;
        }
        live = ships::findInFolder(folder, ships::kShipStatsFile);
    }
    uint64_t bytes = 0;
    if (auto size = live ? ov::fileSize(*live) : ov::Result<uint64_t>(uint64_t(0)); size) bytes = *size;
    if (a.json) {
        const auto made = ships::findInFolder(folder, ships::kShipStatsDefaultFile);
        Json j;
        j.beginObject()
            .field("file", live ? ov::pathText(*live) : std::string())
            .field("default", ov::pathText(pristine ? *pristine
                                           : made   ? *made
                                                    : folder / ships::kShipStatsDefaultFile))
            .field("copied", !pristine)
            .field("bytes", pristine ? 0 : bytes)
            .field("dryRun", a.dryRun);
        printJson(j.endObject());
    } else if (a.dryRun) {
        if (pristine)
            std::cout << "shipstats.def exists; nothing would change\n";
        else
            std::cout << "would copy " << ov::pathText(*live) << " (" << bytes << " bytes) to shipstats.def\n";
    }
    return kOk;
}

// Asks before a step that deletes a file; --yes answers, and without a terminal
// nothing is deleted.
bool confirmDeletion(Cli& cli, const std::string& what, bool yes) {
    if (yes) return true;
    if (stdinIsTerminal()) {
        ov::Answer answer = cli.reporter.question("ovcli", what + " Go on?", ov::Buttons::YesNo,
                                                  ov::Icon::Question);
        if (answer == ov::Answer::Yes) return true;
    } else {
        std::cerr << what << '\n';
    }
    printError("nothing was changed; give --yes to do it");
    return false;
}

int runSwitchOff(Cli& cli, const StatsArgs& a) {
    auto g = gameFiles(a.file, a.editorDir);
    if (!g) return kFailed;
    size_t stock = 0;
    for (const auto& s : g->table)
        stock += s.imported ? 0 : 1;
    const size_t dropped = recordCount(g->live) > recordCount(g->pristine)
                               ? recordCount(g->live) - recordCount(g->pristine)
                               : 0;
    const std::string what =
        "This copies the figures of " + std::to_string(stock) + " stock ship(s) from " +
        ov::pathText(g->live) + " (the live file the game reads) into " +
        ov::pathText(g->pristine) + " (the pristine copy), drops " + std::to_string(dropped) +
        " record(s) of imported ships, and deletes " + ov::pathText(g->live) + ".";
    auto printSwitched = [&] {
        Json j;
        j.beginObject()
            .field("live", ov::pathText(g->live))
            .field("pristine", ov::pathText(g->pristine))
            .field("stockShips", stock)
            .field("droppedRecords", dropped)
            .field("deleted", ov::pathText(g->live))
            .field("dryRun", a.dryRun);
        printJson(j.endObject());
    };
    if (a.dryRun) {
        if (a.json)
            printSwitched();
        else
            std::cout << "would do: " << what << '\n';
        return kOk;
    }
    if (!confirmDeletion(cli, what, a.yes)) return kFailed;
    if (!ships::RestoreShipStats(ov::pathText(g->pristine), ov::pathText(g->live), g->table,
                                 g->table.size(), cli.reporter))
        return kFailed;
    if (a.json) {
        printSwitched();
        return kOk;
    }
    std::cout << "shipstats.bin deleted; " << ov::pathText(g->pristine)
              << " holds the stock ships' figures (copy it to shipstats.bin to play with them)\n";
    return kOk;
}

int runRestore(Cli& cli, const StatsArgs& a, const std::string& target, const std::string& source) {
    // Missing files are the routine's to report, with its own message.
    auto t = statsFileOf(target, false), s = statsFileOf(source, false);
    if (!t || !s) return kFailed;
    auto table = ships::shipTableForRestore(*t, ov::pathFromText(a.table));
    if (!table) {
        printError(table.error().describe());
        return kFailed;
    }
    const std::string what = a.swapped
                                 ? "This copies the figures of swapped ships from " + ov::pathText(*s) +
                                       " to the ships they were swapped with in " + ov::pathText(*t) + "."
                                 : "This copies the figures of " + std::to_string(table->size()) +
                                       " ship(s) from " + ov::pathText(*s) + " into " +
                                       ov::pathText(*t) + ", then deletes " + ov::pathText(*s) + ".";
    if (a.dryRun) {
        std::cout << "would do: " << what << '\n';
        return kOk;
    }
    // With a file missing the routine refuses before it deletes anything.
    std::error_code ec;
    const bool bothThere = fs::exists(*t, ec) && fs::exists(*s, ec);
    if (!a.swapped && bothThere && !confirmDeletion(cli, what, a.yes)) return kFailed;
    bool done = a.swapped ? ships::RestoreSwappedShipStats(ov::pathText(*t), ov::pathText(*s), *table,
                                                          table->size(), cli.reporter)
                          : ships::RestoreShipStats(ov::pathText(*t), ov::pathText(*s), *table,
                                                    table->size(), cli.reporter);
    if (!done) {
        explainPath(target, "the file that receives the figures");
        explainPath(source, "the file the figures come from");
    }
    return done ? kOk : kFailed;
}

int runList(const StatsArgs& a) {
    const std::string game = a.file;
    auto table = ships::loadShipTable(ov::pathFromText(a.editorDir.empty() ? game : a.editorDir),
                                      ov::pathFromText(game));
    if (!table) {
        printError(table.error().describe());
        explainPath(game + "/" + ships::kShipStatsFile, "a game folder holding shipstats.bin");
        return kFailed;
    }
    if (a.json) {
        Json j;
        j.beginArray();
        for (size_t i = 0; i < table->size(); ++i) {
            const auto& s = (*table)[i];
            j.beginObject()
                .field("position", i)
                .field("name", s.name)
                .field("statsIndex", s.statsIndex)
                .field("model", s.model)
                .field("tigerModel", s.tigerModel)
                .field("imported", s.imported)
                .field("swapped", s.swapped)
                .field("swapTarget", s.swapTarget)
                .endObject();
        }
        j.endArray();
        std::cout << j.str() << '\n';
        return kOk;
    }
    std::printf("%4s %6s  %-30s  %-20s %-20s %s\n", "pos", "index", "name", "model", "Tiger model",
                "flags");
    for (size_t i = 0; i < table->size(); ++i) {
        const auto& s = (*table)[i];
        std::string flags = s.imported ? "imported" : "";
        if (s.swapped)
            flags += (flags.empty() ? "" : ",") + std::string("swapped->") +
                     std::to_string(s.swapTarget);
        std::printf("%4zu %6d  %-30s  %-20s %-20s %s\n", i, s.statsIndex,
                    printable(s.name).c_str(), s.model.empty() ? "-" : printable(s.model).c_str(),
                    s.tigerModel.empty() ? "-" : printable(s.tigerModel).c_str(), flags.c_str());
    }
    return kOk;
}

void addEditorDir(CLI::App* sub, StatsArgs& a) {
    sub->add_option("--editor-dir", a.editorDir, "Folder of the ship table (default: the game folder)");
}

void addWriteFlags(CLI::App* sub, StatsArgs& a) {
    sub->add_flag("--dry-run", a.dryRun, "Say what would change and change nothing");
    sub->add_flag("--json", a.json, "Print what changed as JSON");
}

const char* kShipHelp = "Ship name, or statistics index (from 0)";
const char* kFileHelp = "Game folder, or the statistics file (shipstats.bin or shipstats.def)";

}  // namespace

void addStatsCommands(Cli& cli) {
    auto* stats = cli.app.add_subcommand("stats", "Ship statistics in shipstats.bin");
    stats->require_subcommand(1);

    {
        auto* list = stats->add_subcommand("list", "List the ships of a game folder");
        auto a = std::make_shared<StatsArgs>();
        list->add_option("GAMEDIR", a->file, "Game folder")->required();
        addEditorDir(list, *a);
        list->add_flag("--json", a->json, "Print a JSON array");
        list->callback([&cli, a] { cli.exitCode = runList(*a); });
    }
    {
        auto* get = stats->add_subcommand("get", "Show the figures of one ship");
        auto a = std::make_shared<StatsArgs>();
        get->add_option("FILE", a->file, kFileHelp)->required();
        get->add_option("SHIP", a->ship, kShipHelp)->required();
        addEditorDir(get, *a);
        get->add_flag("--json", a->json, "Print a JSON object");
        get->callback([&cli, a] { cli.exitCode = runGet(cli, *a); });
    }
    {
        auto* set = stats->add_subcommand(
            "set", "Change figures of one ship (shipstats.def is made first, as the editor does)");
        auto a = std::make_shared<StatsArgs>();
        set->add_option("FILE", a->file, kFileHelp)->required();
        set->add_option("SHIP", a->ship, kShipHelp)->required();
        set->add_option("VALUES", a->values, "\"Label=number\" as `stats get` labels them")->required();
        addEditorDir(set, *a);
        addWriteFlags(set, *a);
        set->callback([&cli, a] { cli.exitCode = runSet(cli, *a); });
    }
    {
        auto* imp = stats->add_subcommand(
            "import", "Set one ship's figures from a text file (shipstats.def is made first)");
        auto a = std::make_shared<StatsArgs>();
        imp->add_option("FILE", a->file, kFileHelp)->required();
        imp->add_option("SHIP", a->ship, kShipHelp)->required();
        imp->add_option("TEXTFILE", a->text, "15 numbers in the order `stats get` shows them")->required();
        addEditorDir(imp, *a);
        addWriteFlags(imp, *a);
        imp->callback([&cli, a] { cli.exitCode = runImport(cli, *a); });
    }
    {
        auto* add = stats->add_subcommand(
            "add", "Append a record for a new ship (and add it to the ship table, when there is one)");
        auto a = std::make_shared<StatsArgs>();
        add->add_option("FILE", a->file, "Game folder, or the statistics file (created when missing)")
            ->required();
        add->add_option("NAME", a->name, "Ship name (at most 30 characters), not used yet")->required();
        add->add_option("TEXTFILE", a->text, "15 numbers in the order `stats get` shows them")->required();
        add->add_option("--model", a->model, "The new ship's model file name, for the ship table");
        add->add_option("--tiger-model", a->tigerModel, "Its Tiger model's file name");
        addEditorDir(add, *a);
        addWriteFlags(add, *a);
        add->callback([&cli, a] { cli.exitCode = runAdd(cli, *a); });
    }
    {
        auto* ens = stats->add_subcommand(
            "ensure-default", "Copy shipstats.bin to shipstats.def unless the copy exists");
        auto a = std::make_shared<StatsArgs>();
        ens->add_option("GAMEDIR", a->file, "Game folder")->required();
        ens->add_flag("--dry-run", a->dryRun, "Say what would be copied and copy nothing");
        ens->add_flag("--json", a->json, "Print what was copied as JSON");
        ens->callback([&cli, a] { cli.exitCode = runEnsureDefault(cli, *a); });
    }
    {
        auto* rev = stats->add_subcommand(
            "revert",
            "Put the figures of the named ships (or of every stock ship) back from shipstats.def "
            "into shipstats.bin; nothing is deleted");
        auto a = std::make_shared<StatsArgs>();
        rev->add_option("GAMEDIR", a->file, "Game folder")->required();
        rev->add_option("SHIP", a->shipsNamed, "Ship names or statistics indexes (default: every stock ship)");
        addEditorDir(rev, *a);
        addWriteFlags(rev, *a);
        rev->callback([&cli, a] { cli.exitCode = runRevert(*a); });
    }
    {
        auto* off = stats->add_subcommand(
            "switch-off",
            "End ship import: copy the stock ships' figures from shipstats.bin (the live file) "
            "into shipstats.def (the pristine copy), drop the imported ships' records and DELETE "
            "shipstats.bin (asks first; --yes answers)");
        auto a = std::make_shared<StatsArgs>();
        off->add_option("GAMEDIR", a->file, "Game folder")->required();
        addEditorDir(off, *a);
        off->add_flag("--yes,-y", a->yes, "Delete shipstats.bin without asking");
        addWriteFlags(off, *a);
        off->callback([&cli, a] { cli.exitCode = runSwitchOff(cli, *a); });
    }
    {
        auto* res = stats->add_subcommand(
            "restore",
            "Copy the stock ships' figures from SOURCE into TARGET, then DELETE SOURCE (asks "
            "first; --yes answers). To undo changes use `stats revert`; to end ship import, "
            "`stats switch-off`. --swapped: copy swapped ships' figures back, SOURCE kept");
        auto a = std::make_shared<StatsArgs>();
        auto target = std::make_shared<std::string>();
        auto source = std::make_shared<std::string>();
        res->add_option("TARGET", *target, "File that receives the figures")->required();
        res->add_option("SOURCE", *source, "File the figures come from; deleted afterwards")->required();
        res->add_option("--table", a->table,
                        "Ship table file (default: every record of TARGET, none imported)");
        res->add_flag("--swapped", a->swapped, "Undo ship swaps instead (SOURCE is kept)");
        res->add_flag("--yes,-y", a->yes, "Delete SOURCE without asking");
        res->add_flag("--dry-run", a->dryRun, "Say what would happen and change nothing");
        res->callback([&cli, a, target, source] {
            cli.exitCode = runRestore(cli, *a, *target, *source);
        });
    }
}

}  // namespace ovcli
