#include "weapons.h"

#include <algorithm>
#include <system_error>

#include "common/fileio.h"
#include "common/shp_model.h"
#include "game_files.h"
#include "ovedit/archive/hog.h"

namespace ov::ships {

namespace {

constexpr const char* kMainTitle = "OV Edit";
constexpr const char* kFileNotFound = "Error - file not found";
constexpr const char* kNoMatch = "Error - standard ship and Tiger ship attachments don't match";
constexpr uint32_t kShortRecord = 0xFFFFFFFF;

bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

const char* sortPhrase(WeaponSort sort) {
    switch (sort) {
        case WeaponSort::Missile:
            return "missile";
        case WeaponSort::ExternalGun:
            return "external gun";
        case WeaponSort::Gun:
            break;
    }
    return "gun";
}

std::string modelsPath(std::string_view name) {
    return std::string(kShipsFolder) + "\\" + std::string(name);
}

std::string stemOf(std::string_view name) {
    size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot));
}

// The model's loose path in ships\, creating the folder when the game has none.
Result<fs::path> loosePathFor(const fs::path& gameFolder, std::string_view name) {
    if (!findInFolder(gameFolder, kShipsFolder)) {
        std::error_code ec;
        fs::create_directory(gameFolder / kShipsFolder, ec);
        if (ec) return makeError(pathText(gameFolder / kShipsFolder) + ": " + ec.message());
    }
    auto p = pathInFolder(gameFolder, modelsPath(name));
    if (!p) return makeError(std::string(name) + ": not a model file name");
    return *p;
}

}  // namespace

// ---- Class byte --------------------------------------------------------------------

bool isCapitalClass(uint8_t c) {
    return c == 1 || c == 3 || c == 5;
}

bool isCloakedClass(uint8_t c) {
    return c == 2;
}

Result<uint8_t> shipClassOf(const fs::path& modelPath) {
    auto size = fileSize(modelPath);
    if (!size) return makeError(ErrorKind::NotFound, pathText(modelPath) + ": file not found");
    // The terminator test needs only the last six bytes; an unpacked model's class
    // byte is then read where it stands.
    if (*size > shp::kShipClassFileOffset + 6) {
        auto tail = readFileAt(modelPath, *size - 6, 6);
        if (tail && shp::recognize(*tail) == shp::Recognition::Unpacked) {
            auto b = readFileAt(modelPath, shp::kShipClassFileOffset, 1);
            if (b && b->size() == 1) return (*b)[0];
        }
    }
    auto data = readFile(modelPath, shp::kMaxModelFile);
    if (!data) return data.error();
    auto plain = shp::unpackModel(*data);
    if (!plain || plain->size() <= shp::kShipClassFileOffset + 6)
        return makeError(ErrorKind::BadData, pathText(modelPath) + ": " + shp::kNotShpText);
    return (*plain)[shp::kShipClassFileOffset];
}

Result<uint8_t> toggleCloak(const fs::path& modelPath) {
    auto size = fileSize(modelPath);
    if (!size) return makeError(ErrorKind::NotFound, pathText(modelPath) + ": file not found");
    std::optional<Bytes> tail;
    if (*size > shp::kShipClassFileOffset + 6)
        if (auto t = readFileAt(modelPath, *size - 6, 6)) tail = std::move(*t);
    if (!tail || shp::recognize(*tail) != shp::Recognition::Unpacked)
        return makeError(ErrorKind::Refused,
                         pathText(modelPath) +
                             " is not an unpacked SHP model; only the class byte of an "
                             "unpacked model can be changed");
    auto c = shipClassOf(modelPath);
    if (!c) return c.error();
    const uint8_t next = isCloakedClass(*c) ? 0 : 2;
    if (auto written = writeFileAt(modelPath, shp::kShipClassFileOffset, ByteSpan(&next, 1));
        !written)
        return written.error();
    return next;
}

namespace {

// The class-byte routines' messages for a failure.
void reportClassFault(const char* title, const Error& e, Reporter& reporter) {
    switch (e.kind) {
        case ErrorKind::NotFound:
            reporter.message(title, kFileNotFound, Icon::Exclamation);
            break;
        case ErrorKind::BadData:
        case ErrorKind::Refused:
            reporter.message(title, "Error - " + e.message, Icon::Exclamation);
            break;
        default:
            reporter.message(title, "Error - " + e.describe(), Icon::Critical);
            break;
    }
}

}  // namespace

std::optional<uint8_t> readShipClass(std::string_view modelPath, const char* title,
                                     Reporter& reporter) {
    auto c = shipClassOf(pathFromText(trim(modelPath)));
    if (!c) {
        reportClassFault(title, c.error(), reporter);
        return std::nullopt;
    }
    return *c;
}

bool IsCapitalShip(std::string_view modelPath, Reporter& reporter) {
    auto c = readShipClass(modelPath, "IsCapitalShip", reporter);
    return c && isCapitalClass(*c);
}

bool IsCloaked(std::string_view modelPath, Reporter& reporter) {
    auto c = readShipClass(modelPath, "IsCloaked", reporter);
    return c && isCloakedClass(*c);
}

bool ToggleCloak(std::string_view modelPath, Reporter& reporter) {
    auto next = toggleCloak(pathFromText(trim(modelPath)));
    if (!next) reportClassFault("IsCloaked", next.error(), reporter);
    return next.ok();
}

// ---- Weapon points ---------------------------------------------------------------

std::vector<std::vector<uint32_t>> attachmentLayout(const shp::BlockChain& chain) {
    const shp::ChainIndex index(chain);
    const shp::ModelView model(chain, index);
    std::vector<std::vector<uint32_t>> layout;
    for (size_t k = 0; k < model.componentCount(); ++k) {
        auto at = model.locate(k).attachments;
        if (!at) break;
        const shp::Block& b = chain.blocks()[*at];
        std::vector<uint32_t> kinds;
        for (size_t i = 0; i < b.recordCount; ++i) {
            const shp::ConstAttachmentView a(b.record(i));
            kinds.push_back(a.has(0, 4) ? a.kind() : kShortRecord);
        }
        layout.push_back(std::move(kinds));
    }
    return layout;
}

namespace {

size_t typeField(uint32_t kind) {
    switch (kind) {
        case 0:
            return kMissileTypeField;
        case 1:
            return kExternalGunField;
        default:
            return kGunTypeField;
    }
}

// Writes a point's type id through its record's view.
void setWeaponType(shp::AttachmentView record, uint32_t kind, uint32_t typeId) {
    switch (kind) {
        case 0:
            record.setMissileType(typeId);
            break;
        case 1:
            record.setObjectIndex(typeId);
            break;
        default:
            record.setGunType(typeId);
            break;
    }
}

}  // namespace

uint32_t weaponTypeId(const shp::ConstAttachmentView& record) {
    switch (record.kind()) {
        case 0:
            return record.missileType();
        case 1:
            return record.objectIndex();
        default:
            return record.gunType();
    }
}

std::vector<WeaponEntry> weaponEntries(const shp::BlockChain& chain) {
    const shp::ChainIndex index(chain);
    const shp::ModelView model(chain, index);
    std::vector<WeaponEntry> out;
    for (size_t k = 0; k < model.componentCount(); ++k) {
        auto at = model.locate(k).attachments;
        if (!at) break;
        const shp::Block& b = chain.blocks()[*at];
        for (size_t i = 0; i < b.recordCount; ++i) {
            const shp::ConstAttachmentView a(b.record(i));
            if (!a.has(0, 4)) continue;
            const uint32_t kind = a.kind();
            if (kind != 0 && kind != 1 && kind != 3) continue;
            if (!a.has(typeField(kind), 4)) continue;
            WeaponEntry e;
            e.kind = kind;
            e.typeId = weaponTypeId(a);
            e.component = k;
            e.attachment = i;
            e.recordOffset = size_t(b.fileOffset) + 6 + i * b.recordSize;
            e.recordSize = b.recordSize;
            out.push_back(e);
        }
    }
    return out;
}

bool modelsCorrespond(const shp::BlockChain& a, const shp::BlockChain& b) {
    return attachmentLayout(a) == attachmentLayout(b);
}

const char* gunMenuName(uint32_t id) {
    static const char* const names[] = {"Unspecified Gun",
                                        "Laser",
                                        "Pulse Cannon",
                                        "Messon Blaster",
                                        "Proton Cannon",
                                        "Gatling Lasers",
                                        "Tachyon Gun",
                                        "Neutron Particle Gun",
                                        "Collapser Guns",
                                        "Gattling Plasma Cannon",
                                        "Vulcan Battery",
                                        "Nova Cannon",
                                        "Turret Flak Projectiles",
                                        "Turret Lasers",
                                        "Allied Huge Gun",
                                        "Coalition Huge Gun"};
    return id < std::size(names) ? names[id] : "Unknown Gun";
}

const char* externalGunMenuName(uint32_t id) {
    static const char* const names[] = {
        "Pulse Cannon",        "Gatling Laser",       "Proton Cannon",       "Dbl. Barrel Lasers",
        "Laser Cannon Type 1", "Laser Cannon Type 2", "Laser Cannon Type 3", "Laser Cannon Type 4"};
    if (id < std::size(names)) return names[id];
    return id == 11 ? "Laser Cannon Type 5" : "Unknown";
}

std::string missileMenuName(uint32_t id) {
    return id < kMissileTypeCount ? "Missile type " + std::to_string(id) : "Unknown Missile";
}

std::string weaponName(const WeaponEntry& e) {
    switch (e.kind) {
        case 0:
            return missileMenuName(e.typeId);
        case 1:
            return externalGunMenuName(e.typeId);
        default:
            return gunMenuName(e.typeId);
    }
}

const char* weaponSortName(WeaponSort sort) {
    switch (sort) {
        case WeaponSort::Missile:
            return "Missile mount";
        case WeaponSort::ExternalGun:
            return "External gun";
        case WeaponSort::Gun:
            return "Gun";
    }
    return "";
}

bool isOfferedType(WeaponSort sort, uint32_t id) {
    switch (sort) {
        case WeaponSort::Missile:
            return id < kMissileTypeCount;
        case WeaponSort::ExternalGun:
            return id <= 7 || id == 11;
        case WeaponSort::Gun:
            return id <= 15;
    }
    return false;
}

// ---- Models of the game folder ------------------------------------------------------

std::string backupName(std::string_view modelName) {
    return stemOf(modelName) + ".bak";
}

Result<ShipModel> loadShipModel(const fs::path& gameFolder, std::string_view modelName) {
    std::string name = trim(modelName);
    if (!isPlainFileName(name)) return makeError(name + ": not a model file name");
    ShipModel m;
    m.name = name;
    auto loose = findInFolder(gameFolder, modelsPath(name));
    if (loose && isFile(*loose)) {
        auto data = readFile(*loose, shp::kMaxModelFile);
        if (!data) return data.error();
        m.original = std::move(*data);
    } else {
        auto hogPath = findInFolder(gameFolder, kArchiveFile);
        if (!hogPath)
            return makeError(name + ": not in " + kShipsFolder + " and no " + kArchiveFile);
        auto hog = archive::HogArchive::read(*hogPath);
        if (!hog) return makeError(hogPath->string() + ": " + hog.error().describe());
        const archive::HogEntry* entry = hog->find(name);
        if (!entry) return makeError(name + ": not in " + kShipsFolder + " nor in " + kArchiveFile);
        auto data = hog->readUnpacked(*entry);
        if (!data) return makeError(name + " in " + kArchiveFile + ": " + data.error().describe());
        m.original = std::move(*data);
        m.fromArchive = true;
    }
    auto plain = shp::unpackModel(m.original);
    if (!plain) return makeError(plain.error().kind, name + ": " + plain.error().describe());
    m.unpacked = std::move(*plain);
    auto model = shp::readModel(m.unpacked);
    if (!model) return makeError(model.error().kind, name + ": " + model.error().describe());
    m.chain = std::move(model->chain);
    return m;
}

namespace {

// The writes that put a changed model in place as its loose file, keeping the
// unchanged one as NAME.bak first unless a .bak is there already.
Status addChangedModel(const fs::path& gameFolder, const ShipModel& m, const Bytes& changed,
                       std::vector<FileWrite>& writes) {
    auto target = loosePathFor(gameFolder, m.name);
    if (!target) return target.error();
    auto bak = pathInFolder(gameFolder, modelsPath(backupName(m.name)));
    if (!bak) return makeError(m.name + ": no place for its backup copy");
    std::error_code ec;
    if (!fs::exists(*bak, ec)) writes.push_back({*bak, m.original});
    writes.push_back({*target, changed});
    return {};
}

// Sets the type of the chosen points of `model` in a copy of its bytes, through
// the view of each point's attachment record.
Bytes patched(const ShipModel& m, const std::vector<WeaponEntry>& entries,
              const std::vector<size_t>& chosen, uint32_t typeId) {
    Bytes out = m.unpacked;
    for (size_t i : chosen) {
        const WeaponEntry& e = entries[i];
        setWeaponType(
            shp::AttachmentView(std::span<uint8_t>(out.data() + e.recordOffset, e.recordSize)),
            e.kind, typeId);
    }
    return out;
}

}  // namespace

Result<fs::path> shipModelFile(const fs::path& gameFolder, std::string_view modelName,
                               const fs::path& scratchFolder) {
    const std::string name = trim(modelName);
    if (!isPlainFileName(name)) return makeError(ErrorKind::Refused, name + ": not a model file name");
    if (auto loose = findInFolder(gameFolder, modelsPath(name)); loose && isFile(*loose))
        return *loose;
    auto m = loadShipModel(gameFolder, name);
    if (!m) return m.error();
    const fs::path out = scratchFolder / pathFromText(name);
    if (auto st = writeFileAtomic(out, m->unpacked); !st) return st.error();
    return out;
}

Result<fs::path> looseShipModel(const fs::path& gameFolder, std::string_view modelName) {
    auto m = loadShipModel(gameFolder, modelName);
    if (!m) return m.error();
    if (!m->fromArchive && m->original == m->unpacked) {
        auto loose = findInFolder(gameFolder, modelsPath(m->name));
        if (loose) return *loose;
    }
    if (sameNameIgnoringCase(backupName(m->name), m->name))
        return makeError(ErrorKind::Refused,
                         m->name + ": a model needs a name with its own backup copy "
                                   "(NAME.shp -> NAME.bak)");
    std::vector<FileWrite> writes;
    if (auto st = addChangedModel(gameFolder, *m, m->unpacked, writes); !st) return st.error();
    if (auto st = writeFilesTogether(writes); !st) return st.error();
    return loosePathFor(gameFolder, m->name);
}

bool ChangeWeapons(std::string_view gameFolderText, const Ship& ship, WeaponSort sort,
                   uint32_t typeId, std::span<const size_t> points, Reporter& reporter) {
    const fs::path gameFolder = pathFromText(trim(gameFolderText));
    if (!isOfferedType(sort, typeId)) {
        reporter.message(kMainTitle,
                         std::string("Error - there is no ") + sortPhrase(sort) + " type " +
                             std::to_string(typeId),
                         Icon::Exclamation);
        return false;
    }
    if (ship.model.empty()) {
        reporter.message(kMainTitle, "Error - the ship \"" + ship.name + "\" has no model",
                         Icon::Exclamation);
        return false;
    }
    auto standard = loadShipModel(gameFolder, ship.model);
    if (!standard) {
        reporter.message(kMainTitle, "Error - " + standard.error().describe(), Icon::Critical);
        return false;
    }
    std::optional<ShipModel> tiger;
    if (!ship.tigerModel.empty() && !sameNameIgnoringCase(ship.tigerModel, ship.model)) {
        auto t = loadShipModel(gameFolder, ship.tigerModel);
        if (!t) {
            reporter.message(kMainTitle, "Error - " + t.error().describe(), Icon::Critical);
            return false;
        }
        tiger = std::move(*t);
    }

    // Each model needs a backup name of its own: a model named NAME.bak would be
    // its own backup, and two models of one stem would share one.
    if (sameNameIgnoringCase(backupName(ship.model), ship.model) ||
        (tiger && (sameNameIgnoringCase(backupName(ship.tigerModel), ship.tigerModel) ||
                   sameNameIgnoringCase(backupName(ship.model), backupName(ship.tigerModel))))) {
        reporter.message(kMainTitle,
                         "Error - the models of \"" + ship.name +
                             "\" need names with their own backup copy (NAME.shp -> NAME.bak)",
                         Icon::Exclamation);
        return false;
    }

    auto entries = weaponEntries(standard->chain);
    std::vector<WeaponEntry> tigerEntries;
    if (tiger) {
        tigerEntries = weaponEntries(tiger->chain);
        // Equal layouts give equal weapon lists, except where one model's records
        // are too short for a field; both must hold every point.
        bool same = modelsCorrespond(standard->chain, tiger->chain) &&
                    tigerEntries.size() == entries.size();
        for (size_t i = 0; same && i < entries.size(); ++i)
            same = tigerEntries[i].component == entries[i].component &&
                   tigerEntries[i].attachment == entries[i].attachment;
        if (!same) {
            reporter.message(kMainTitle, kNoMatch, Icon::Critical);
            return false;
        }
    }

    std::vector<size_t> chosen;
    for (size_t p : points) {
        if (p >= entries.size()) {
            reporter.message(kMainTitle,
                             "Error - the model has no weapon point " + std::to_string(p),
                             Icon::Exclamation);
            return false;
        }
        if (entries[p].kind == uint32_t(sort) &&
            std::find(chosen.begin(), chosen.end(), p) == chosen.end())
            chosen.push_back(p);
    }
    if (chosen.empty()) {
        reporter.message(kMainTitle,
                         std::string("Error - none of the chosen weapon points is a ") +
                             sortPhrase(sort) + " point",
                         Icon::Exclamation);
        return false;
    }

    Bytes changed = patched(*standard, entries, chosen, typeId);
    Bytes tigerChanged;
    if (tiger) tigerChanged = patched(*tiger, tigerEntries, chosen, typeId);

    // Both models (and their first backups) are written, or neither: a standard
    // model changed without its Tiger model is a pair this routine refuses to make.
    std::vector<FileWrite> writes;
    Status planned = addChangedModel(gameFolder, *standard, changed, writes);
    if (planned && tiger) planned = addChangedModel(gameFolder, *tiger, tigerChanged, writes);
    if (planned) planned = writeFilesTogether(writes);
    if (!planned) {
        reporter.message(kMainTitle, "Error - " + printable(planned.error().describe()),
                         Icon::Critical);
        return false;
    }
    return true;
}

namespace {

enum class Restored { Done, Refused, NoOriginal };

// The model's original, checked and ready to go back: its loose path and bytes.
struct Original {
    fs::path target;
    Bytes bytes;
};

Restored findOriginal(Reporter& reporter, const fs::path& gameFolder, const fs::path& editorFolder,
                      const std::string& modelName, bool useAddons, std::optional<Original>& out) {
    std::string bakName = backupName(modelName);
    auto bak = findInFolder(gameFolder, modelsPath(bakName));
    std::optional<Bytes> original;
    if (bak && isFile(*bak)) {
        auto data = readFile(*bak, shp::kMaxModelFile);
        if (!data) {
            reporter.message(kMainTitle, "Error - " + data.error().describe(), Icon::Critical);
            return Restored::Refused;
        }
        // The current model, from ships\ or compared in memory straight from the
        // archive, must be the same ship as its backup.
        auto current = loadShipModel(gameFolder, modelName);
        std::optional<shp::BlockChain> backupChain;
        if (auto backup = shp::readModel(*data)) backupChain = std::move(backup->chain);
        if (!backupChain || (current && !modelsCorrespond(current->chain, *backupChain))) {
            reporter.message(kMainTitle,
                             "This file's backup copy is too different than the\nthe original "
                             "to restore from. " +
                                 printable(modelName) + " <> " + printable(bakName),
                             Icon::Exclamation);
            return Restored::Refused;
        }
        original = std::move(*data);
    } else if (useAddons) {
        auto addon = findInFolder(
            editorFolder, std::string(kAddonShipsFolder) + "\\" + stemOf(modelName) + ".shp");
        if (!addon || !isFile(*addon)) return Restored::NoOriginal;
        auto data = readFile(*addon, shp::kMaxModelFile);
        if (!data) {
            reporter.message(kMainTitle, "Error - " + data.error().describe(), Icon::Critical);
            return Restored::Refused;
        }
        original = std::move(*data);
    } else {
        return Restored::NoOriginal;
    }
    auto target = loosePathFor(gameFolder, modelName);
    if (!target) {
        reporter.message(kMainTitle, "Error - " + target.error().describe(), Icon::Critical);
        return Restored::Refused;
    }
    out = Original{*target, std::move(*original)};
    return Restored::Done;
}

}  // namespace

bool RestoreWeapons(std::string_view gameFolderText, std::string_view editorFolderText,
                    const ShipTable& table, size_t position, Reporter& reporter) {
    constexpr const char* title = "RestoreWeapons";
    const fs::path gameFolder = pathFromText(trim(gameFolderText));
    const fs::path editorFolder = pathFromText(trim(editorFolderText));
    if (position >= table.size()) {
        reporter.message(title, "Error - invalid ship", Icon::Exclamation);
        return false;
    }
    const Ship& ship = table[position];
    if (ship.model.empty() || !isPlainFileName(ship.model)) {
        reporter.message(title, "No suitable original can be found", Icon::Exclamation);
        return false;
    }
    std::optional<Original> standard, tiger;
    Restored r = findOriginal(reporter, gameFolder, editorFolder, ship.model, true, standard);
    if (r == Restored::NoOriginal) {
        reporter.message(title, "No suitable original can be found", Icon::Exclamation);
        return false;
    }
    if (r == Restored::Refused) return false;
    // The Tiger model was changed together with the standard one; it goes back
    // from its own backup when it has one, in the same step: both or neither.
    if (!ship.tigerModel.empty() && isPlainFileName(ship.tigerModel) &&
        !sameNameIgnoringCase(ship.tigerModel, ship.model))
        if (findOriginal(reporter, gameFolder, editorFolder, ship.tigerModel, false, tiger) ==
            Restored::Refused)
            return false;
    std::vector<FileWrite> writes{{standard->target, standard->bytes}};
    if (tiger) writes.push_back({tiger->target, tiger->bytes});
    if (auto st = writeFilesTogether(writes); !st) {
        reporter.message(kMainTitle, "Error - " + printable(st.error().describe()), Icon::Critical);
        return false;
    }
    return true;
}

}  // namespace ov::ships
