// ovcli stats / ship / weapons: ship statistics in shipstats.bin, the class byte
// of a model, and the weapons of a ship's models in a game folder.

#include <charconv>
#include <cstdio>
#include <iostream>
#include <memory>

#include "cli.h"
#include "common/fileio.h"
#include "common/shp.h"
#include "json.h"
#include "ovedit/ships/game_files.h"
#include "ovedit/ships/ship_table.h"
#include "ovedit/ships/stats.h"
#include "ovedit/ships/weapons.h"

namespace ovcli {

namespace {

namespace ships = ov::ships;

bool parseNumber(std::string_view s, long long& out) {
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

// A file named on the command line, found ignoring the case of its last part when
// it is not there as spelled: game files copied from Windows keep their own case.
std::string caseFound(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = ov::pathFromText(path);
    if (std::filesystem::exists(p, ec)) return path;
    auto parent = p.parent_path().empty() ? std::filesystem::path(".") : p.parent_path();
    auto found = ships::findInFolder(parent, ov::pathText(p.filename()));
    return found ? ov::pathText(p.parent_path().empty() ? found->filename() : *found) : path;
}

// Where the editor keeps its own files (the ship table, addons\): the game folder
// unless said otherwise.
std::string editorFolder(const std::string& given, const std::string& gameDir) {
    return given.empty() ? gameDir : given;
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
        std::printf("%-17s %g\n", (std::string(f.label) + ":").c_str(),
                    double(stats.field[f.fileIndex]));
}

int runStatsList(const std::string& gameDir, const std::string& editorDir, bool json) {
    auto table = ships::loadShipTable(ov::pathFromText(editorFolder(editorDir, gameDir)),
                                      ov::pathFromText(gameDir));
    if (!table) {
        printError(table.error().describe());
        return kFailed;
    }
    if (json) {
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
        // Names come from the game's files: shown with control characters as '?'.
        std::printf(
            "%4zu %6d  %-30s  %-20s %-20s %s\n", i, s.statsIndex, ov::printable(s.name).c_str(),
            s.model.empty() ? "-" : ov::printable(s.model).c_str(),
            s.tigerModel.empty() ? "-" : ov::printable(s.tigerModel).c_str(), flags.c_str());
    }
    return kOk;
}

int runStatsSet(CliReporter& reporter, const std::string& file, int index,
                const std::vector<std::string>& assignments) {
    auto got = ships::GetShipsStats(file, index, reporter);
    if (!got) return kFailed;
    ships::ShipStats stats = *got;
    for (const auto& a : assignments) {
        size_t eq = a.find('=');
        auto field = eq == std::string::npos
                         ? std::nullopt
                         : ships::statsFieldByLabel(std::string_view(a).substr(0, eq));
        if (!field) {
            printError("\"" + a + "\": expected LABEL=NUMBER with a label of `stats get`");
            return kUsage;
        }
        auto value = ships::parseStatsNumber(std::string_view(a).substr(eq + 1));
        if (!value) {
            printError("\"" + a + "\": the value is not a number");
            return kUsage;
        }
        stats.field[field->fileIndex] = *value;
    }
    if (!ships::PutShipsStats(file, index, stats, reporter)) return kFailed;
    printStats(stats, false);
    return kOk;
}

int runStatsImport(CliReporter& reporter, const std::string& file, int index,
                   const std::string& text) {
    // The current figures are read first, so that a bad index is said before the text.
    if (!ships::GetShipsStats(file, index, reporter)) return kFailed;
    auto stats = ships::GetImportStats(text, reporter);
    if (!stats) return kFailed;
    if (!ships::PutShipsStats(file, index, *stats, reporter)) return kFailed;
    printStats(*stats, false);
    return kOk;
}

// The weapon commands write their models into the game's ships folder.
void warnAboutShipsFolder(const std::string& gameDir) {
    if (auto folder = ships::findInFolder(ov::trim(gameDir), ships::kShipsFolder))
        warnAboutTemporaries(*folder);
}

int runStatsAdd(CliReporter& reporter, const std::string& file, const std::string& name,
                const std::string& text) {
    auto stats = ships::GetImportStats(text, reporter);
    if (!stats) return kFailed;
    ships::ShipTable table{ships::Ship{}};
    table[0].name = name;
    warnAboutTemporariesBeside(file);
    auto index = ships::AddShipStatsRecord(file, table, 0, *stats, reporter);
    if (!index) return kFailed;
    std::cout << table[0].name << ": statistics index " << *index << '\n';
    return kOk;
}

int runStatsRestore(CliReporter& reporter, const std::string& target, const std::string& source,
                    const std::string& tablePath, bool swapped) {
    auto table = ships::shipTableForRestore(ov::pathFromText(target), ov::pathFromText(tablePath));
    if (!table) {
        printError(table.error().describe());
        return kFailed;
    }
    bool done =
        swapped ? ships::RestoreSwappedShipStats(target, source, *table, table->size(), reporter)
                : ships::RestoreShipStats(target, source, *table, table->size(), reporter);
    return done ? kOk : kFailed;
}

// The ship named SHIP in the editor's ship table (ignoring case), else the ship at
// that table position, else a ship whose standard model is the file SHIP.
std::optional<std::pair<ships::ShipTable, size_t>> resolveShip(const std::string& gameDir,
                                                               const std::string& editorDir,
                                                               const std::string& ship) {
    auto table = ships::loadShipTable(ov::pathFromText(editorDir), ov::pathFromText(gameDir));
    if (table) {
        for (size_t i = 0; i < table->size(); ++i)
            if (ov::sameNameIgnoringCase(ov::trim((*table)[i].name), ov::trim(ship)))
                return std::make_pair(*table, i);
        long long pos = 0;
        if (parseNumber(ship, pos) && pos >= 0 && size_t(pos) < table->size())
            return std::make_pair(*table, size_t(pos));
    }
    if (ships::isPlainFileName(ship) && ship.find('.') != std::string::npos) {
        ships::Ship s;
        s.name = ship;
        s.model = ship;
        return std::make_pair(ships::ShipTable{s}, size_t(0));
    }
    printError(ship + ": no such ship in the ship table" +
               (table ? "" : " (" + table.error().describe() + ")"));
    return std::nullopt;
}

int runWeaponsList(const std::string& gameDir, const std::string& editorDir,
                   const std::string& shipName, bool json) {
    auto found = resolveShip(gameDir, editorFolder(editorDir, gameDir), shipName);
    if (!found) return kFailed;
    const ships::Ship& ship = found->first[found->second];
    if (ship.model.empty()) {
        printError(ship.name + ": the ship table names no model for this ship");
        return kFailed;
    }
    auto model = ships::loadShipModel(ov::pathFromText(gameDir), ship.model);
    if (!model) {
        printError(model.error().describe());
        return kFailed;
    }
    auto entries = ships::weaponEntries(model->chain);
    auto table = model->chain.componentTable();
    auto componentName = [&](size_t k) {
        if (!table) return std::string();
        auto& b = model->chain.blocks()[*table];
        return k < b.recordCount ? ov::shp::ComponentView(b.record(k)).name() : std::string();
    };
    const char* from = model->fromArchive ? "resource.hog" : "ships";
    if (json) {
        Json j;
        j.beginObject().field("ship", ship.name).field("model", ship.model).field("from", from);
        j.key("points").beginArray();
        for (size_t i = 0; i < entries.size(); ++i) {
            const auto& e = entries[i];
            j.beginObject()
                .field("point", i)
                .field("component", e.component)
                .field("componentName", componentName(e.component))
                .field("sort", ships::weaponSortName(ships::WeaponSort(e.kind)))
                .field("kind", e.kind)
                .field("type", e.typeId)
                .field("name", ships::weaponName(e))
                .endObject();
        }
        j.endArray().endObject();
        std::cout << j.str() << '\n';
        return kOk;
    }
    std::printf("%s: %s (from %s)\n", ov::printable(ship.name).c_str(),
                ov::printable(ship.model).c_str(), from);
    std::printf("%5s  %-20s %-14s %6s  %s\n", "point", "component", "sort", "type", "name");
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        std::printf("%5zu  %-20s %-14s %6u  %s\n", i,
                    ov::printable(componentName(e.component)).c_str(),
                    ships::weaponSortName(ships::WeaponSort(e.kind)), e.typeId,
                    ships::weaponName(e).c_str());
    }
    return kOk;
}

struct WeaponsSetArgs {
    std::string gameDir, editorDir, ship, points;
    long long gun = -1, extGun = -1, missile = -1;
};

int runWeaponsSet(CliReporter& reporter, const WeaponsSetArgs& a) {
    std::vector<size_t> points;
    size_t start = 0;
    while (start <= a.points.size()) {
        size_t comma = a.points.find(',', start);
        std::string part = ov::trim(std::string_view(a.points).substr(
            start, comma == std::string::npos ? std::string::npos : comma - start));
        long long n = 0;
        if (!parseNumber(part, n) || n < 0) {
            printError("--points: \"" + a.points + "\" is not a list of point numbers");
            return kUsage;
        }
        points.push_back(size_t(n));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    ships::WeaponSort sort = a.gun >= 0      ? ships::WeaponSort::Gun
                             : a.extGun >= 0 ? ships::WeaponSort::ExternalGun
                                             : ships::WeaponSort::Missile;
    long long id = a.gun >= 0 ? a.gun : a.extGun >= 0 ? a.extGun : a.missile;
    if (id > 0xFFFFFFFFll) id = 0xFFFFFFFFll;
    auto found = resolveShip(a.gameDir, editorFolder(a.editorDir, a.gameDir), a.ship);
    if (!found) return kFailed;
    warnAboutShipsFolder(a.gameDir);
    if (!ships::ChangeWeapons(a.gameDir, found->first[found->second], sort, uint32_t(id), points,
                              reporter))
        return kFailed;
    return runWeaponsList(a.gameDir, a.editorDir, a.ship, false);
}

}  // namespace

void addShipsCommands(Cli& cli) {
    auto* stats = cli.app.add_subcommand("stats", "Ship statistics in shipstats.bin");
    stats->require_subcommand(1);

    {
        auto* list = stats->add_subcommand("list", "List the ships of a game folder");
        auto game = std::make_shared<std::string>();
        auto editor = std::make_shared<std::string>();
        auto json = std::make_shared<bool>(false);
        list->add_option("GAMEDIR", *game, "Game folder")->required();
        list->add_option("--editor-dir", *editor, "Folder of the ship table (default GAMEDIR)");
        list->add_flag("--json", *json, "Print a JSON array");
        list->callback(
            [&cli, game, editor, json] { cli.exitCode = runStatsList(*game, *editor, *json); });
    }
    {
        auto* get = stats->add_subcommand("get", "Show the statistics of one ship");
        auto file = std::make_shared<std::string>();
        auto index = std::make_shared<int>(0);
        auto json = std::make_shared<bool>(false);
        get->add_option("FILE", *file, "shipstats.bin or shipstats.def")->required();
        get->add_option("INDEX", *index, "Statistics index")->required();
        get->add_flag("--json", *json, "Print a JSON object");
        get->callback([&cli, file, index, json] {
            auto s = ships::GetShipsStats(caseFound(*file), *index, cli.reporter);
            if (!s) {
                cli.exitCode = kFailed;
                return;
            }
            printStats(*s, *json);
        });
    }
    {
        auto* set = stats->add_subcommand("set", "Change figures of one ship");
        auto file = std::make_shared<std::string>();
        auto index = std::make_shared<int>(0);
        auto values = std::make_shared<std::vector<std::string>>();
        set->add_option("FILE", *file, "shipstats.bin")->required();
        set->add_option("INDEX", *index, "Statistics index")->required();
        set->add_option("VALUES", *values, "\"Label=number\", e.g. \"Max Speed=120\"")->required();
        set->callback([&cli, file, index, values] {
            cli.exitCode = runStatsSet(cli.reporter, caseFound(*file), *index, *values);
        });
    }
    {
        auto* imp = stats->add_subcommand("import", "Set one ship's figures from a text file");
        auto file = std::make_shared<std::string>();
        auto index = std::make_shared<int>(0);
        auto text = std::make_shared<std::string>();
        imp->add_option("FILE", *file, "shipstats.bin")->required();
        imp->add_option("INDEX", *index, "Statistics index")->required();
        imp->add_option("TEXTFILE", *text, "15 numbers in display order")->required();
        imp->callback([&cli, file, index, text] {
            cli.exitCode = runStatsImport(cli.reporter, caseFound(*file), *index, *text);
        });
    }
    {
        auto* add = stats->add_subcommand("add", "Append a record for a new ship");
        auto file = std::make_shared<std::string>();
        auto name = std::make_shared<std::string>();
        auto text = std::make_shared<std::string>();
        add->add_option("FILE", *file, "shipstats.bin (created when missing)")->required();
        add->add_option("NAME", *name, "Ship name (at most 30 characters)")->required();
        add->add_option("TEXTFILE", *text, "15 numbers in display order")->required();
        add->callback([&cli, file, name, text] {
            cli.exitCode = runStatsAdd(cli.reporter, caseFound(*file), *name, *text);
        });
    }
    {
        auto* ens = stats->add_subcommand(
            "ensure-default", "Copy shipstats.bin to shipstats.def unless the copy exists");
        auto game = std::make_shared<std::string>();
        ens->add_option("GAMEDIR", *game, "Game folder")->required();
        ens->callback([&cli, game] {
            cli.exitCode = ships::EnsureDefaultShipStats(*game, cli.reporter) ? kOk : kFailed;
        });
    }
    {
        auto* res = stats->add_subcommand(
            "restore",
            "Copy the stock ships' figures from SOURCE to TARGET, then delete SOURCE "
            "(--swapped: copy swapped ships' figures back, keep SOURCE)");
        auto target = std::make_shared<std::string>();
        auto source = std::make_shared<std::string>();
        auto table = std::make_shared<std::string>();
        auto swapped = std::make_shared<bool>(false);
        res->add_option("TARGET", *target, "e.g. shipstats.def")->required();
        res->add_option("SOURCE", *source, "e.g. shipstats.bin")->required();
        res->add_option("--table", *table,
                        "Ship table file (default: every record of TARGET, none imported)");
        res->add_flag("--swapped", *swapped, "Undo ship swaps instead");
        res->callback([&cli, target, source, table, swapped] {
            cli.exitCode = runStatsRestore(cli.reporter, caseFound(*target), caseFound(*source),
                                           *table, *swapped);
        });
    }

    auto* ship = cli.app.add_subcommand("ship", "The class byte of a ship model");
    ship->require_subcommand(1);
    {
        auto* cls = ship->add_subcommand("class", "Show the ship class of a model");
        auto model = std::make_shared<std::string>();
        cls->add_option("MODEL", *model, "SHP model")->required();
        cls->callback([&cli, model] {
            auto c = ships::readShipClass(*model, "IsCapitalShip", cli.reporter);
            if (!c) {
                cli.exitCode = kFailed;
                return;
            }
            std::printf("class %u (%s)%s%s\n", unsigned(*c), ov::shp::shipClassName(*c).c_str(),
                        ships::isCapitalClass(*c) ? ", capital ship" : "",
                        ships::isCloakedClass(*c) ? ", cloaked" : "");
        });
    }
    {
        auto* cloak = ship->add_subcommand("cloak", "Show or toggle the cloaking device");
        auto model = std::make_shared<std::string>();
        auto toggle = std::make_shared<bool>(false);
        cloak->add_option("MODEL", *model, "Unpacked SHP model")->required();
        cloak->add_flag("--toggle", *toggle, "Switch the cloak on or off");
        cloak->callback([&cli, model, toggle] {
            if (*toggle && !ships::ToggleCloak(*model, cli.reporter)) {
                cli.exitCode = kFailed;
                return;
            }
            // IsCloaked's question, with its messages, told apart from a failure.
            auto c = ships::readShipClass(*model, "IsCloaked", cli.reporter);
            if (!c) {
                cli.exitCode = kFailed;
                return;
            }
            std::cout << "cloak " << (ships::isCloakedClass(*c) ? "on" : "off") << '\n';
        });
    }

    auto* weapons = cli.app.add_subcommand("weapons", "Weapons of a ship's models");
    weapons->require_subcommand(1);
    {
        auto* list = weapons->add_subcommand("list", "List the weapon points of a ship");
        auto game = std::make_shared<std::string>();
        auto editor = std::make_shared<std::string>();
        auto shipName = std::make_shared<std::string>();
        auto json = std::make_shared<bool>(false);
        list->add_option("GAMEDIR", *game, "Game folder")->required();
        list->add_option("SHIP", *shipName, "Ship name, table position or model file")->required();
        list->add_option("--editor-dir", *editor, "Folder of the ship table (default GAMEDIR)");
        list->add_flag("--json", *json, "Print a JSON object");
        list->callback([&cli, game, editor, shipName, json] {
            cli.exitCode = runWeaponsList(*game, *editor, *shipName, *json);
        });
    }
    {
        auto* set = weapons->add_subcommand(
            "set", "Change the type of weapon points in the standard and Tiger model");
        auto a = std::make_shared<WeaponsSetArgs>();
        set->add_option("GAMEDIR", a->gameDir, "Game folder")->required();
        set->add_option("SHIP", a->ship, "Ship name, table position or model file")->required();
        set->add_option("--points", a->points, "Point numbers of `weapons list`, e.g. 0,2")
            ->required();
        set->add_option("--editor-dir", a->editorDir, "Folder of the ship table (default GAMEDIR)");
        auto* group = set->add_option_group("type", "The new type");
        group->add_option("--gun", a->gun, "Gun type 0-15")->check(CLI::NonNegativeNumber);
        group->add_option("--ext-gun", a->extGun, "External gun 0-7 or 11")
            ->check(CLI::NonNegativeNumber);
        group->add_option("--missile", a->missile, "Missile type 0-15")
            ->check(CLI::NonNegativeNumber);
        group->require_option(1);
        set->callback([&cli, a] { cli.exitCode = runWeaponsSet(cli.reporter, *a); });
    }
    {
        auto* res = weapons->add_subcommand("restore", "Put a ship's models back as they were");
        auto game = std::make_shared<std::string>();
        auto editor = std::make_shared<std::string>();
        auto shipName = std::make_shared<std::string>();
        res->add_option("GAMEDIR", *game, "Game folder")->required();
        res->add_option("SHIP", *shipName, "Ship name, table position or model file")->required();
        res->add_option("--editor-dir", *editor,
                        "Folder of the ship table and addons\\ships (default GAMEDIR)");
        res->callback([&cli, game, editor, shipName] {
            std::string ed = editorFolder(*editor, *game);
            auto found = resolveShip(*game, ed, *shipName);
            if (!found) {
                cli.exitCode = kFailed;
                return;
            }
            warnAboutShipsFolder(*game);
            cli.exitCode =
                ships::RestoreWeapons(*game, ed, found->first, found->second, cli.reporter)
                    ? kOk
                    : kFailed;
        });
    }
}

}  // namespace ovcli
