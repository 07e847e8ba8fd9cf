// ovcli ship / weapons: the class byte of a model, and the weapons of a ship's
// models in a game folder.

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
namespace fs = std::filesystem;

bool parseNumber(std::string_view s, long long& out) {
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

// Where the editor keeps its own files (the ship table, addons\): the game folder
// unless said otherwise.
std::string editorFolder(const std::string& given, const std::string& gameDir) {
    return given.empty() ? gameDir : given;
}

// The weapon commands write their models into the game's ships folder.
void warnAboutShipsFolder(const std::string& gameDir) {
    if (auto folder = ships::findInFolder(ov::trim(gameDir), ships::kShipsFolder))
        warnAboutTemporaries(*folder);
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
    bool dryRun = false;
    std::optional<std::string> gun, extGun, missile;
};

// The ids each sort's menu offers, with their names.
std::vector<std::pair<uint32_t, std::string>> offeredTypes(ships::WeaponSort sort) {
    std::vector<std::pair<uint32_t, std::string>> out;
    for (uint32_t id = 0; id < 64; ++id) {
        if (!ships::isOfferedType(sort, id)) continue;
        switch (sort) {
            case ships::WeaponSort::Gun:
                out.emplace_back(id, ships::gunMenuName(id));
                break;
            case ships::WeaponSort::ExternalGun:
                out.emplace_back(id, ships::externalGunMenuName(id));
                break;
            case ships::WeaponSort::Missile:
                out.emplace_back(id, ships::missileMenuName(id));
                break;
        }
    }
    return out;
}

// A weapon type as given to --gun, --ext-gun or --missile: its id (decimal or
// 0x...) or its name, ignoring case.
std::optional<uint32_t> weaponTypeOf(ships::WeaponSort sort, const std::string& given,
                                     const char* option) {
    const auto offered = offeredTypes(sort);
    // The ids as runs: "0-7, 11".
    std::string ids;
    std::vector<std::string> names;
    for (size_t i = 0; i < offered.size();) {
        size_t j = i;
        while (j + 1 < offered.size() && offered[j + 1].first == offered[j].first + 1)
            ++j;
        ids += (ids.empty() ? "" : ", ") + std::to_string(offered[i].first) +
               (j > i ? "-" + std::to_string(offered[j].first) : "");
        i = j + 1;
    }
    for (const auto& entry : offered)
        names.push_back(entry.second);
    const std::string list = "`ovcli weapons types` lists them";
    if (auto n = parseUnsigned(given)) {
        for (const auto& [id, name] : offered)
            if (id == *n) return id;
        printError(std::string(option) + " " + given + " is out of range: the types are " + ids +
                   " (" + list + ")");
        return std::nullopt;
    }
    for (const auto& [id, name] : offered)
        if (ov::sameNameIgnoringCase(name, ov::trim(given))) return id;
    printError(std::string(option) + " \"" + given + "\": no such type" + didYouMean(given, names) +
               " (" + list + ")");
    return std::nullopt;
}

int runWeaponTypes(bool json) {
    const std::pair<ships::WeaponSort, const char*> sorts[] = {
        {ships::WeaponSort::Gun, "--gun"},
        {ships::WeaponSort::ExternalGun, "--ext-gun"},
        {ships::WeaponSort::Missile, "--missile"}};
    if (json) {
        Json j;
        j.beginObject();
        for (const auto& [sort, option] : sorts) {
            j.key(std::string_view(option).substr(2)).beginArray();
            for (const auto& [id, name] : offeredTypes(sort))
                j.beginObject().field("id", id).field("name", name).endObject();
            j.endArray();
        }
        j.endObject();
        std::cout << j.str() << '\n';
        return kOk;
    }
    for (const auto& [sort, option] : sorts) {
        std::cout << ships::weaponSortName(sort) << " types (" << option << "):\n";
        for (const auto& [id, name] : offeredTypes(sort))
            std::printf("  %3u  %s\n", id, name.c_str());
    }
    return kOk;
}

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
    ships::WeaponSort sort = a.gun      ? ships::WeaponSort::Gun
                             : a.extGun ? ships::WeaponSort::ExternalGun
                                        : ships::WeaponSort::Missile;
    auto id = a.gun      ? weaponTypeOf(sort, *a.gun, "--gun")
              : a.extGun ? weaponTypeOf(sort, *a.extGun, "--ext-gun")
                         : weaponTypeOf(sort, *a.missile, "--missile");
    if (!id) return kUsage;
    auto found = resolveShip(a.gameDir, editorFolder(a.editorDir, a.gameDir), a.ship);
    if (!found) return kFailed;
    if (a.dryRun) {
        const ships::Ship& ship = found->first[found->second];
        const fs::path game = ov::pathFromText(ov::trim(a.gameDir));
        auto model = ships::loadShipModel(game, ship.model);
        if (!model) {
            printError(model.error().describe());
            return kFailed;
        }
        const auto entries = ships::weaponEntries(model->chain);
        for (size_t p : points) {
            if (p >= entries.size()) {
                printError("point " + std::to_string(p) + " is out of range: " + ship.model + " has " +
                           std::to_string(entries.size()) + " weapon point(s)" +
                           (entries.empty() ? "" : " (0-" + std::to_string(entries.size() - 1) + ")"));
                return kFailed;
            }
            const auto& e = entries[p];
            if (ships::WeaponSort(e.kind) != sort) {
                std::cout << "point " << p << ": " << ships::weaponSortName(ships::WeaponSort(e.kind))
                          << ", left alone\n";
                continue;
            }
            ships::WeaponEntry after = e;
            after.typeId = *id;
            std::cout << "point " << p << ": " << ships::weaponName(e) << " -> "
                      << ships::weaponName(after) << " (the attachment record at byte "
                      << e.recordOffset << " of the unpacked model)\n";
        }
        for (const std::string& name : {ship.model, ship.tigerModel}) {
            if (name.empty()) continue;
            std::cout << "would write ships\\" << name;
            if (!ships::findInFolder(game, std::string(ships::kShipsFolder) + "/" + ships::backupName(name)))
                std::cout << ", keeping the model as it is now as ships\\" << ships::backupName(name);
            std::cout << '\n';
        }
        return kOk;
    }
    warnAboutShipsFolder(a.gameDir);
    if (!ships::ChangeWeapons(a.gameDir, found->first[found->second], sort, *id, points,
                              reporter))
        return kFailed;
    return runWeaponsList(a.gameDir, a.editorDir, a.ship, false);
}

struct CloakArgs {
    std::vector<std::string> targets;
    std::string out, editorDir;
    bool on = false, off = false, toggle = false, dryRun = false, force = false;
};

int runCloak(Cli& cli, const CloakArgs& c) {
    const bool change = c.on || c.off || c.toggle;
    std::string model;
    if (c.targets.size() == 2) {
        auto found = resolveShip(c.targets[0], editorFolder(c.editorDir, c.targets[0]), c.targets[1]);
        if (!found) return kFailed;
        const ships::Ship& ship = found->first[found->second];
        if (ship.model.empty()) {
            printError(ship.name + ": the ship table names no model for this ship");
            return kFailed;
        }
        const fs::path game = ov::pathFromText(ov::trim(c.targets[0]));
        if (!change || c.dryRun || !c.out.empty()) {
            // Looked at where it is: nothing is made loose for a look.
            auto loaded = ships::loadShipModel(game, ship.model);
            if (!loaded) {
                printError(loaded.error().describe());
                return kFailed;
            }
            if (loaded->fromArchive || !c.out.empty()) {
                auto cls = ov::shp::shipClass(loaded->chain);
                if (!cls) {
                    printError(ship.model + ": the model has no ship header record");
                    return kFailed;
                }
                if (!change) {
                    std::cout << "cloak " << (ships::isCloakedClass(*cls) ? "on" : "off") << '\n';
                    return kOk;
                }
                const uint8_t want = c.on ? 2 : c.off ? (*cls == 2 ? 0 : *cls) : (*cls == 2 ? 0 : 2);
                if (want == *cls) {
                    std::cout << "cloak already " << (want == 2 ? "on" : "off") << "; nothing changed\n";
                    return kOk;
                }
                if (c.dryRun) {
                    std::cout << "would make ships\\" << ship.model << " loose (the archive's copy kept as "
                              << ships::backupName(ship.model) << ") and write 1 byte at offset "
                              << ov::shp::kShipClassFileOffset << ": class " << unsigned(*cls)
                              << " -> " << unsigned(want) << '\n';
                    return kOk;
                }
                // --output: the model's unpacked bytes with the class byte changed.
                if (!mayReplace(cli.reporter, c.out, c.force)) return kFailed;
                ov::Bytes bytes = loaded->unpacked;
                bytes[ov::shp::kShipClassFileOffset] = want;
                if (auto st = ov::writeFileAtomic(ov::pathFromText(c.out), bytes); !st) {
                    printError(st.error().describe());
                    return kFailed;
                }
                std::cout << c.out << ": cloak " << (want == 2 ? "on" : "off") << '\n';
                return kOk;
            }
            auto loose = ships::findInFolder(game, std::string(ships::kShipsFolder) + "/" + ship.model);
            if (!loose) {
                printError(ship.model + ": not found in the game's ships folder");
                return kFailed;
            }
            model = ov::pathText(*loose);
        } else {
            auto loose = ships::looseShipModel(game, ship.model);
            if (!loose) {
                printError(loose.error().describe());
                return kFailed;
            }
            model = ov::pathText(*loose);
        }
    } else {
        model = c.targets[0];
    }
    auto cls = ships::readShipClass(model, "IsCloaked", cli.reporter);
    if (!cls) {
        explainPath(model, "an SHP model");
        return kFailed;
    }
    if (!change) {
        std::cout << "cloak " << (ships::isCloakedClass(*cls) ? "on" : "off") << '\n';
        return kOk;
    }
    const uint8_t want = c.on ? 2 : c.off ? (*cls == 2 ? 0 : *cls) : (*cls == 2 ? 0 : 2);
    const std::string target = c.out.empty() ? model : c.out;
    if (want == *cls) {
        std::cout << "cloak already " << (want == 2 ? "on" : "off") << "; nothing changed\n";
        return kOk;
    }
    if (c.dryRun) {
        std::cout << "would write 1 byte at offset " << ov::shp::kShipClassFileOffset << " of "
                  << target << ": class " << unsigned(*cls) << " -> " << unsigned(want)
                  << " (cloak " << (want == 2 ? "on" : "off") << ")\n";
        return kOk;
    }
    if (!c.out.empty()) {
        if (!mayReplace(cli.reporter, c.out, c.force)) return kFailed;
        if (auto st = ov::copyFileAtomic(ov::pathFromText(model), ov::pathFromText(c.out)); !st) {
            printError(st.error().describe());
            return kFailed;
        }
    } else if (!keepFirstBackup(model)) {
        return kFailed;
    }
    if (!ships::ToggleCloak(target, cli.reporter)) {
        if (!c.out.empty()) std::filesystem::remove(ov::pathFromText(c.out));
        return kFailed;
    }
    std::cout << target << ": cloak " << (want == 2 ? "on" : "off") << " (class " << unsigned(want)
              << ")\n";
    return kOk;
}

}  // namespace

void addShipsCommands(Cli& cli) {
    addStatsCommands(cli);

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
        auto* cloak = ship->add_subcommand(
            "cloak",
            "Show or switch the cloaking device of a model file, or of a ship of a game folder "
            "(its model is then made loose in ships\\, the original kept as .bak)");
        auto c = std::make_shared<CloakArgs>();
        cloak->add_option("TARGET", c->targets, "MODEL, or GAMEDIR SHIP")->required()->expected(1, 2);
        auto* on = cloak->add_flag("--on", c->on, "Switch the cloak on (class 2)");
        auto* off = cloak->add_flag("--off", c->off, "Switch the cloak off (class 0)");
        auto* toggle = cloak->add_flag("--toggle", c->toggle, "Switch the cloak over");
        on->excludes(off)->excludes(toggle);
        off->excludes(toggle);
        cloak->add_option("-o,--output", c->out, "Write the changed model here (MODEL is kept)");
        cloak->add_option("--editor-dir", c->editorDir, "Folder of the ship table (default GAMEDIR)");
        cloak->add_flag("--dry-run", c->dryRun, "Say what would change and change nothing");
        cloak->add_flag("--force", c->force, "Replace an existing --output file");
        cloak->callback([&cli, c] { cli.exitCode = runCloak(cli, *c); });
    }

    auto* weapons = cli.app.add_subcommand("weapons", "Weapons of a ship's models");
    weapons->require_subcommand(1);
    {
        auto* types = weapons->add_subcommand(
            "types", "List the gun, external-gun and missile types by number and name");
        auto json = std::make_shared<bool>(false);
        types->add_flag("--json", *json, "Print a JSON object");
        types->callback([&cli, json] { cli.exitCode = runWeaponTypes(*json); });
    }
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
        set->add_flag("--dry-run", a->dryRun, "Say what would change and change nothing");
        auto* group = set->add_option_group("type", "The new type");
        group->add_option("--gun", a->gun, "Gun type 0-15, by number or name");
        group->add_option("--ext-gun", a->extGun, "External gun 0-7 or 11, by number or name");
        group->add_option("--missile", a->missile, "Missile type 0-15, by number or name");
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
        auto dryRun = std::make_shared<bool>(false);
        res->add_flag("--dry-run", *dryRun, "Say which copies would be put back and change nothing");
        res->callback([&cli, game, editor, shipName, dryRun] {
            std::string ed = editorFolder(*editor, *game);
            auto found = resolveShip(*game, ed, *shipName);
            if (!found) {
                cli.exitCode = kFailed;
                return;
            }
            if (*dryRun) {
                const ships::Ship& ship = found->first[found->second];
                const fs::path gamePath = ov::pathFromText(ov::trim(*game));
                for (const std::string& name : {ship.model, ship.tigerModel}) {
                    if (name.empty()) continue;
                    const std::string bak = std::string(ships::kShipsFolder) + "/" + ships::backupName(name);
                    if (ships::findInFolder(gamePath, bak))
                        std::cout << "would put ships\\" << ships::backupName(name) << " back as ships\\"
                                  << name << " (when it still corresponds to the model)\n";
                    else if (ships::findInFolder(ov::pathFromText(ed), "addons/ships/" + name))
                        std::cout << "would put addons\\ships\\" << name << " back as ships\\" << name << '\n';
                    else
                        std::cout << "ships\\" << name << ": no backup and no addons copy; nothing to put back\n";
                }
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
