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

// The name of component `k` in the model's component table; empty without one.
std::string componentNameOf(const ov::shp::BlockChain& chain, size_t k) {
    auto table = chain.componentTable();
    if (!table) return {};
    auto& b = chain.blocks()[*table];
    return k < b.recordCount ? ov::shp::ConstComponentView(b.record(k)).name() : std::string();
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
    auto componentName = [&](size_t k) { return componentNameOf(model->chain, k); };
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
    bool dryRun = false, json = false;
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

// One of a ship's models as the weapon commands see it: its weapon points, and
// whether ships\ holds its first state (.bak) already.
struct ModelWeapons {
    std::string name;
    ov::shp::BlockChain chain;
    std::vector<ships::WeaponEntry> entries;
    bool backupWas = false;
};

// The ship's standard and Tiger models (those the table names), as they are now.
std::optional<std::vector<ModelWeapons>> shipWeapons(const fs::path& game, const ships::Ship& ship) {
    std::vector<ModelWeapons> out;
    for (const std::string& name : {ship.model, ship.tigerModel}) {
        if (name.empty()) continue;
        auto model = ships::loadShipModel(game, name);
        if (!model) {
            printError(model.error().describe());
            return std::nullopt;
        }
        ModelWeapons m{name, model->chain, ships::weaponEntries(model->chain), false};
        m.backupWas = ships::findInFolder(game, std::string(ships::kShipsFolder) + "/" +
                                                    ships::backupName(name))
                          .has_value();
        out.push_back(std::move(m));
    }
    return out;
}

// weapons set's --json document: each weapon point whose type changed, model by
// model, and each model file written with its .bak.
void printWeaponsJson(const WeaponsSetArgs& a, const ships::Ship& ship,
                      const std::vector<ModelWeapons>& before,
                      const std::vector<std::vector<ships::WeaponEntry>>& after) {
    Json j;
    j.beginObject().field("ship", ship.name).field("dryRun", a.dryRun).key("changes").beginArray();
    for (size_t m = 0; m < before.size(); ++m)
        for (size_t p = 0; p < before[m].entries.size() && p < after[m].size(); ++p) {
            const auto &o = before[m].entries[p], &n = after[m][p];
            if (o.typeId == n.typeId && o.kind == n.kind) continue;
            j.beginObject()
                .field("model", before[m].name)
                .field("point", p)
                .field("component", o.component)
                .field("componentName", componentNameOf(before[m].chain, o.component))
                .field("sort", ships::weaponSortName(ships::WeaponSort(o.kind)));
            for (auto [key, e] : {std::pair{"old", &o}, std::pair{"new", &n}})
                j.key(key).beginObject().field("type", e->typeId).field("name", ships::weaponName(*e)).endObject();
            j.endObject();
        }
    j.endArray().key("files").beginArray();
    for (const auto& m : before) {
        j.beginObject().field("model", std::string(ships::kShipsFolder) + "\\" + m.name);
        jsonBackup(j, std::string(ships::kShipsFolder) + "\\" + ships::backupName(m.name), !m.backupWas);
        j.endObject();
    }
    printJson(j.endArray().endObject());
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
    const ships::Ship& chosen = found->first[found->second];
    std::optional<std::vector<ModelWeapons>> before;
    if (a.json) {
        before = shipWeapons(ov::pathFromText(ov::trim(a.gameDir)), chosen);
        if (!before) return kFailed;
    }
    if (a.dryRun && a.json) {
        std::vector<std::vector<ships::WeaponEntry>> after;
        for (const auto& m : *before) {
            after.push_back(m.entries);
            for (size_t p : points) {
                if (p >= m.entries.size()) {
                    printError("point " + std::to_string(p) + " is out of range: " + m.name + " has " +
                               std::to_string(m.entries.size()) + " weapon point(s)");
                    return kFailed;
                }
                if (ships::WeaponSort(m.entries[p].kind) == sort) after.back()[p].typeId = *id;
            }
        }
        printWeaponsJson(a, chosen, *before, after);
        return kOk;
    }
    if (a.dryRun) {
        const ships::Ship& ship = chosen;
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
    if (!ships::ChangeWeapons(a.gameDir, chosen, sort, *id, points, reporter)) return kFailed;
    if (a.json) {
        auto now = shipWeapons(ov::pathFromText(ov::trim(a.gameDir)), chosen);
        if (!now) return kFailed;
        std::vector<std::vector<ships::WeaponEntry>> after;
        for (const auto& m : *now)
            after.push_back(m.entries);
        printWeaponsJson(a, chosen, *before, after);
        return kOk;
    }
    return runWeaponsList(a.gameDir, a.editorDir, a.ship, false);
}

int runWeaponsRestore(Cli& cli, const std::string& game, const std::string& editor,
                      const std::string& shipName, bool dryRun, bool json) {
    auto found = resolveShip(game, editor, shipName);
    if (!found) return kFailed;
    const ships::Ship& ship = found->first[found->second];
    const fs::path gamePath = ov::pathFromText(ov::trim(game));
    // Where each model may come back from, in the order the restore tries them.
    struct Source {
        std::string shown;
        std::optional<fs::path> file;
    };
    auto sourcesOf = [&](const std::string& name) {
        return std::vector<Source>{
            {"ships\\" + ships::backupName(name),
             ships::findInFolder(gamePath, std::string(ships::kShipsFolder) + "/" + ships::backupName(name))},
            {"addons\\ships\\" + name, ships::findInFolder(ov::pathFromText(editor), "addons/ships/" + name)}};
    };
    if (!dryRun) {
        warnAboutShipsFolder(game);
        if (!ships::RestoreWeapons(game, editor, found->first, found->second, cli.reporter))
            return kFailed;
    }
    Json j;
    if (json) j.beginObject().field("ship", ship.name).field("dryRun", dryRun).key("files").beginArray();
    for (const std::string& name : {ship.model, ship.tigerModel}) {
        if (name.empty()) continue;
        const auto sources = sourcesOf(name);
        const Source* from = nullptr;
        if (dryRun) {
            for (const auto& src : sources)
                if (!from && src.file) from = &src;
        } else {
            // The copy whose bytes the model now has.
            auto now = ships::findInFolder(gamePath, std::string(ships::kShipsFolder) + "/" + name);
            auto bytes = now ? ov::readFile(*now) : ov::Result<ov::Bytes>(ov::Bytes{});
            for (const auto& src : sources) {
                if (from || !src.file || !bytes) continue;
                if (auto copy = ov::readFile(*src.file); copy && *copy == *bytes) from = &src;
            }
        }
        if (json) {
            j.beginObject().field("model", "ships\\" + name).key("from");
            from ? j.value(from->shown) : j.value(nullptr);
            j.endObject();
        } else if (dryRun && from) {
            std::cout << "would put " << from->shown << " back as ships\\" << name
                      << (from == &sources[0] ? " (when it still corresponds to the model)" : "") << '\n';
        } else if (dryRun) {
            std::cout << "ships\\" << name << ": no backup and no addons copy; nothing to put back\n";
        }
    }
    if (json) printJson(j.endArray().endObject());
    return kOk;
}

struct CloakArgs {
    std::vector<std::string> targets;
    std::string out, editorDir;
    bool on = false, off = false, toggle = false, dryRun = false, force = false, json = false;
};

const char* cloakText(uint8_t cls) {
    return ships::isCloakedClass(cls) ? "on" : "off";
}

// ship cloak's --json document: the model's class and cloak before and after, the
// file written (nothing for a look) and its first state's backup when one is kept.
void printCloakJson(const CloakArgs& c, const std::string& model, uint8_t before,
                    std::optional<uint8_t> after, const std::string& target = {},
                    std::optional<bool> backupMade = std::nullopt) {
    Json j;
    j.beginObject().field("model", model).field("class", before).field("cloak", cloakText(before));
    if (after) {
        j.field("newClass", *after)
            .field("newCloak", cloakText(*after))
            .field("changed", *after != before)
            .field("dryRun", c.dryRun);
        if (*after != before) j.field("output", target);
        if (backupMade) jsonBackup(j, backupPathFor(target), *backupMade);
    }
    printJson(j.endObject());
}

int runCloak(Cli& cli, const CloakArgs& c) {
    const bool change = c.on || c.off || c.toggle;
    std::string model;
    bool madeLoose = false;
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
                    if (c.json)
                        printCloakJson(c, ship.model, *cls, std::nullopt);
                    else
                        std::cout << "cloak " << cloakText(*cls) << '\n';
                    return kOk;
                }
                const uint8_t want = c.on ? 2 : c.off ? (*cls == 2 ? 0 : *cls) : (*cls == 2 ? 0 : 2);
                const std::string target =
                    c.out.empty() ? ov::pathText(game / ships::kShipsFolder / ship.model) : c.out;
                if (c.json && (want == *cls || c.dryRun)) {
                    // Made loose, the archive's copy is kept as the backup.
                    std::error_code ec;
                    const bool backupMade = !fs::exists(ov::pathFromText(backupPathFor(target)), ec);
                    printCloakJson(c, ship.model, *cls, want, target,
                                   c.out.empty() && want != *cls ? std::optional<bool>(backupMade)
                                                                 : std::nullopt);
                    return kOk;
                }
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
                if (c.json)
                    printCloakJson(c, ship.model, *cls, want, c.out);
                else
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
            // Making the model loose keeps the archive's copy as its backup.
            madeLoose = !ships::findInFolder(game, std::string(ships::kShipsFolder) + "/" +
                                                       ships::backupName(ship.model));
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
        if (c.json)
            printCloakJson(c, model, *cls, std::nullopt);
        else
            std::cout << "cloak " << cloakText(*cls) << '\n';
        return kOk;
    }
    const uint8_t want = c.on ? 2 : c.off ? (*cls == 2 ? 0 : *cls) : (*cls == 2 ? 0 : 2);
    const std::string target = c.out.empty() ? model : c.out;
    if (c.json && (want == *cls || c.dryRun)) {
        std::error_code ec;
        const bool backupMade = !fs::exists(ov::pathFromText(backupPathFor(model)), ec);
        printCloakJson(c, model, *cls, want, target,
                       c.out.empty() && want != *cls ? std::optional<bool>(backupMade) : std::nullopt);
        return kOk;
    }
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
        if (!mayReplace(cli.reporter, c.out, c.force, {model})) return kFailed;
        if (auto st = ov::copyFileAtomic(ov::pathFromText(model), ov::pathFromText(c.out)); !st) {
            printError(st.error().describe());
            return kFailed;
        }
    }
    std::optional<bool> backupMade;
    if (c.out.empty()) {
        backupMade = keepFirstBackup(model);
        if (!backupMade) return kFailed;
        *backupMade = *backupMade || madeLoose;
    }
    if (!ships::ToggleCloak(target, cli.reporter)) {
        if (!c.out.empty()) std::filesystem::remove(ov::pathFromText(c.out));
        return kFailed;
    }
    if (c.json) {
        printCloakJson(c, model, *cls, want, target, backupMade);
        return kOk;
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
        auto json = std::make_shared<bool>(false);
        cls->add_option("MODEL", *model, "SHP model")->required();
        cls->add_flag("--json", *json, "Print a JSON object");
        cls->callback([&cli, model, json] {
            auto c = ships::readShipClass(*model, "IsCapitalShip", cli.reporter);
            if (!c) {
                explainPath(*model, "an SHP model");
                cli.exitCode = kFailed;
                return;
            }
            if (*json) {
                Json j;
                j.beginObject()
                    .field("model", *model)
                    .field("class", *c)
                    .field("name", ov::shp::shipClassName(*c))
                    .field("capital", ships::isCapitalClass(*c))
                    .field("cloaked", ships::isCloakedClass(*c));
                printJson(j.endObject());
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
        cloak->add_flag("--json", c->json, "Print the class and cloak before and after as JSON");
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
        set->add_flag("--json", a->json, "Print each weapon point changed, in each model, as JSON");
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
        auto json = std::make_shared<bool>(false);
        res->add_flag("--dry-run", *dryRun, "Say which copies would be put back and change nothing");
        res->add_flag("--json", *json, "Print which copy each model was put back from as JSON");
        res->callback([&cli, game, editor, shipName, dryRun, json] {
            cli.exitCode = runWeaponsRestore(cli, *game, editorFolder(*editor, *game), *shipName,
                                             *dryRun, *json);
        });
    }
}

}  // namespace ovcli
