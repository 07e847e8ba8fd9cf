#include "ovedit/ui/ships_workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QUndoStack>
#include <algorithm>
#include <cstring>

#include "common/fileio.h"
#include "ovedit/ships/game_files.h"
#include "ovedit/ui/ship_models.h"
#include "ovedit/ui/tool_launcher.h"
#include "ovedit/ui/ui_text.h"

namespace ov::edit {

using ships::ShipStats;
using ships::WeaponSort;

namespace {

constexpr const char* kTitle = "OV Edit";

std::string utf8(const QString& s) {
    return s.toStdString();
}

QString fromUtf8Path(const std::filesystem::path& p) {
    return QString::fromStdString(ov::pathText(p));
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

// One Apply: the figures before and after. The first redo is the Apply itself; a
// write that fails makes the step obsolete, so the stack drops it.
class ShipsWorkspace::ApplyCommand : public QUndoCommand {
public:
    ApplyCommand(ShipsWorkspace* ws, size_t position, const ShipStats& before,
                 const ShipStats& after, bool* written)
        : ws_(ws), position_(position), before_(before), after_(after), written_(written) {
        setText(QStringLiteral("Apply the figures of %1")
                    .arg(fromEntryName(ws->ships()[position].name)));
    }
    void undo() override { setObsolete(!ws_->writeStats(position_, before_)); }
    void redo() override {
        const bool ok = ws_->writeStats(position_, after_);
        if (written_) *std::exchange(written_, nullptr) = ok;
        setObsolete(!ok);
    }

private:
    ShipsWorkspace* ws_;
    size_t position_;
    ShipStats before_, after_;
    bool* written_;
};

ShipsWorkspace::ShipsWorkspace(Reporter& reporter, QObject* parent)
    : QObject(parent), reporter_(reporter) {
    shipsModel_ = new ShipListModel(this);
    weapons_ = new WeaponListModel(this);
    undo_ = new QUndoStack(this);
}

ShipsWorkspace::~ShipsWorkspace() {
    // The stack goes first, while everything its listeners may ask about is still here.
    undo_->blockSignals(true);
    delete undo_;
}

const ships::ShipTable& ShipsWorkspace::ships() const {
    return shipsModel_->ships();
}

QString ShipsWorkspace::statsPath() const {
    if (gameFolder_.isEmpty()) return {};
    auto p = ships::findInFolder(ov::pathFromText(utf8(gameFolder_)), ships::kShipStatsFile);
    return p ? fromUtf8Path(*p) : QString();
}

QString ShipsWorkspace::defaultStatsPath() const {
    if (gameFolder_.isEmpty()) return {};
    auto p =
        ships::findInFolder(ov::pathFromText(utf8(gameFolder_)), ships::kShipStatsDefaultFile);
    return p ? fromUtf8Path(*p) : QString();
}

void ShipsWorkspace::setStatus(const QString& text) {
    status_ = text;
    emit statusChanged(text);
}

// ---- The ships ------------------------------------------------------------------------

bool ShipsWorkspace::setGameFolder(const QString& folder) {
    if (!maybeLeave()) return false;
    gameFolder_ = folder;
    undo_->clear();
    current_.reset();
    reload();
    return true;
}

void ShipsWorkspace::reload() {
    std::optional<std::string> shown;
    if (current_ && *current_ < ships().size()) shown = ships()[*current_].name;
    ships::ShipTable table;
    QString status;
    if (!gameFolder_.isEmpty()) {
        const auto game = ov::pathFromText(utf8(gameFolder_));
        // The editor keeps its own files (the ship table, addons\) in the game folder.
        auto loaded = ships::loadShipTable(game, game);
        if (loaded)
            table = std::move(*loaded);
        else
            status = "No ships: " + QString::fromStdString(loaded.error().describe());
    }
    current_.reset();
    shipsModel_->setShips(std::move(table));
    emit shipsChanged();
    setStatus(ships().empty() ? status : QStringLiteral("%1 ship(s)").arg(ships().size()));
    size_t select = 0;
    for (size_t i = 0; shown && i < ships().size(); ++i)
        if (ships()[i].name == *shown) select = i;
    showShip(ships().empty() ? std::nullopt : std::optional<size_t>(select));
}

bool ShipsWorkspace::selectShip(size_t position) {
    if (position >= ships().size()) return false;
    if (current_ == position) return true;
    if (!maybeLeave()) return false;
    showShip(position);
    return true;
}

void ShipsWorkspace::showShip(std::optional<size_t> position) {
    current_ = position;
    statsLoaded_ = false;
    fileStats_ = shown_ = ShipStats{};
    if (current_) {
        const ships::Ship& s = ships()[*current_];
        if (auto st = ships::GetShipsStats(utf8(statsPath()), s.statsIndex, reporter_)) {
            fileStats_ = shown_ = *st;
            statsLoaded_ = true;
        }
    }
    refreshWeapons();
    emit shipShown(current_ ? int(*current_) : -1);
    emit statsShown();
    refreshEdited();
}

// ---- The figures ----------------------------------------------------------------------

bool ShipsWorkspace::statsEdited() const {
    return statsLoaded() && shown_.toBytes() != fileStats_.toBytes();
}

void ShipsWorkspace::refreshEdited() {
    const bool edited = statsEdited();
    shipsModel_->setEdited(edited ? int(*current_) : -1);
    if (edited != edited_) {
        edited_ = edited;
        emit editedChanged(edited);
    }
}

void ShipsWorkspace::showStats(const ShipStats& stats) {
    shown_ = stats;
    emit statsShown();
    refreshEdited();
}

void ShipsWorkspace::setFigure(size_t displayPosition, float value) {
    const auto& fields = ships::statsFieldsInDisplayOrder();
    if (!statsLoaded() || displayPosition >= fields.size()) return;
    shown_.field[fields[displayPosition].fileIndex] = value;
    refreshEdited();
}

bool ShipsWorkspace::maybeLeave() {
    if (!statsEdited()) return true;
    const std::string name = ships()[*current_].name;
    const Answer a = reporter_.question(
        kTitle, "The figures of " + name + " have been changed and not applied.\nApply them now?",
        Buttons::YesNoCancel, Icon::Question);
    if (a == Answer::Yes) return applyStats();
    if (a == Answer::No) {
        showStats(fileStats_);
        return true;
    }
    return false;
}

bool ShipsWorkspace::writeStats(size_t position, const ShipStats& stats) {
    if (position >= ships().size()) return false;
    const ships::Ship& s = ships()[position];
    if (!ships::PutShipsStats(utf8(statsPath()), s.statsIndex, stats, reporter_)) return false;
    const QString written = QStringLiteral("Figures of %1 written to shipstats.bin (record %2)")
                                .arg(fromEntryName(s.name))
                                .arg(s.statsIndex);
    if (current_ == position && statsLoaded_) {
        // Figures edited and not applied stay as the user typed them.
        ShipStats next = stats;
        for (size_t i = 0; i < next.field.size(); ++i)
            if (!sameBits(shown_.field[i], fileStats_.field[i])) next.field[i] = shown_.field[i];
        fileStats_ = stats;
        showStats(next);
    } else if (statsEdited()) {
        // Showing that ship would drop the figures being edited here.
        setStatus(written + "; the figures of " + fromEntryName(ships()[*current_].name) +
                  " are still being changed");
        return true;
    } else {
        showShip(position);
    }
    setStatus(written);
    return true;
}

bool ShipsWorkspace::applyStats() {
    if (!statsLoaded()) return false;
    const size_t position = *current_;
    const ships::Ship& s = ships()[position];
    const ShipStats after = shown_;
    // shipstats.def keeps the figures from before the first change.
    if (!ships::EnsureDefaultShipStats(utf8(gameFolder_), reporter_)) return false;
    auto before = ships::GetShipsStats(utf8(statsPath()), s.statsIndex, reporter_);
    if (!before) return false;
    if (before->toBytes() == after.toBytes()) {
        fileStats_ = after;
        refreshEdited();
        return true;
    }
    bool written = false;
    undo_->push(new ApplyCommand(this, position, *before, after, &written));
    return written;
}

void ShipsWorkspace::revertStats() {
    if (!current_) return;
    const ships::Ship& s = ships()[*current_];
    if (auto st = ships::GetShipsStats(utf8(statsPath()), s.statsIndex, reporter_)) {
        fileStats_ = *st;
        statsLoaded_ = true;
        showStats(*st);
        setStatus("Figures of " + fromEntryName(s.name) + " read again from shipstats.bin");
    }
}

bool ShipsWorkspace::hasDefaultStats() const {
    return statsLoaded() && !defaultStatsPath().isEmpty();
}

bool ShipsWorkspace::loadDefaultStats() {
    if (!statsLoaded()) return false;
    const ships::Ship& s = ships()[*current_];
    auto st = ships::GetShipsStats(utf8(defaultStatsPath()), s.statsIndex, reporter_);
    if (!st) return false;
    showStats(*st);
    setStatus("Figures of " + fromEntryName(s.name) +
              " from shipstats.def shown; Apply writes them");
    return true;
}

bool ShipsWorkspace::importStats(const QString& textFile) {
    if (!statsLoaded()) return false;
    auto st = ships::GetImportStats(utf8(textFile), reporter_);
    if (!st) return false;
    showStats(*st);
    setStatus("Figures of " + fromEntryName(ships()[*current_].name) + " read from " +
              QFileInfo(textFile).fileName() + "; Apply writes them");
    return true;
}

// ---- The weapons ----------------------------------------------------------------------

void ShipsWorkspace::refreshWeapons() {
    modelLoaded_ = false;
    modelFromArchive_ = false;
    shipClass_ = 0;
    modelText_.clear();
    std::vector<ships::WeaponEntry> entries;
    if (current_) {
        const ships::Ship& s = ships()[*current_];
        if (s.model.empty()) {
            modelText_ = fromEntryName(s.name) + " has no model in the ship table";
        } else if (auto m = ships::loadShipModel(ov::pathFromText(utf8(gameFolder_)), s.model);
                   !m) {
            modelText_ = "The model cannot be read: " + QString::fromStdString(m.error().describe());
        } else {
            modelLoaded_ = true;
            modelFromArchive_ = m->fromArchive;
            shipClass_ = m->unpacked.size() > shp::kShipClassFileOffset
                             ? m->unpacked[shp::kShipClassFileOffset]
                             : 0;
            entries = ships::weaponEntries(m->chain);
            modelText_ = fromEntryName(s.model) +
                         (m->fromArchive ? " (in resource.hog)" : " (in the ships folder)");
            if (!s.tigerModel.empty()) modelText_ += "; Tiger ship: " + fromEntryName(s.tigerModel);
            if (!entries.empty()) modelText_ += ". Select points, then Change Type or right-click.";
        }
    }
    weapons_->setEntries(std::move(entries));
    emit weaponsChanged();
}

bool ShipsWorkspace::hasWeaponsBackup() const {
    if (!current_ || ships()[*current_].model.empty()) return false;
    const std::string bak =
        std::string(ships::kShipsFolder) + "\\" + ships::backupName(ships()[*current_].model);
    return ships::findInFolder(ov::pathFromText(utf8(gameFolder_)), bak).has_value();
}

bool ShipsWorkspace::changeWeapons(WeaponSort sort, uint32_t typeId, std::vector<size_t> points) {
    if (!current_ || !modelLoaded_) return false;
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    const ships::Ship ship = ships()[*current_];
    if (!ships::ChangeWeapons(utf8(gameFolder_), ship, sort, typeId, points, reporter_))
        return false;
    size_t changed = 0;
    for (size_t p : points)
        changed += p < weapons_->entries().size() && weapons_->entries()[p].kind == uint32_t(sort);
    refreshWeapons();
    QString models = fromEntryName(ship.model);
    if (!ship.tigerModel.empty()) models += " and " + fromEntryName(ship.tigerModel);
    QString type;
    if (!points.empty() && points.front() < weapons_->entries().size())
        type = QString::fromStdString(ships::weaponName(weapons_->entries()[points.front()]));
    setStatus(QStringLiteral("%1 point(s) set to %2 in %3").arg(changed).arg(type).arg(models));
    return true;
}

bool ShipsWorkspace::toggleCloak() {
    if (!current_ || !modelLoaded_) return false;
    const ships::Ship ship = ships()[*current_];
    if (ships::isCapitalClass(shipClass_)) {
        const Answer a = reporter_.question(
            kTitle,
            ship.name + " is a capital ship. A cloak makes its model a fighter with a cloak "
                        "(class byte 2), and switching the cloak off again makes it a fighter "
                        "(class byte 0).\nGive it a cloak anyway?",
            Buttons::YesNo, Icon::Question);
        if (a != Answer::Yes) {
            emit weaponsChanged();
            return false;
        }
    }
    // The class byte is changed in place in the loose, unpacked model; a model only
    // in the archive (or packed) becomes one first, keeping its .bak.
    auto loose = ships::looseShipModel(ov::pathFromText(utf8(gameFolder_)), ship.model);
    bool done = false;
    if (!loose)
        reporter_.message(kTitle, "Error - " + loose.error().describe(), Icon::Critical);
    else
        done = ships::ToggleCloak(ov::pathText(*loose), reporter_);
    refreshWeapons();
    if (done)
        setStatus(fromEntryName(ship.model) +
                  (ships::isCloakedClass(shipClass_) ? ": cloak on" : ": cloak off"));
    return done;
}

bool ShipsWorkspace::restoreWeapons() {
    if (!current_) return false;
    const ships::Ship ship = ships()[*current_];
    const bool done =
        ships::RestoreWeapons(utf8(gameFolder_), utf8(gameFolder_), ships(), *current_, reporter_);
    refreshWeapons();
    if (done) setStatus(fromEntryName(ship.model) + ": weapons restored");
    return done;
}

bool ShipsWorkspace::openInTool() {
    if (!current_ || !modelLoaded_) return false;
    const QString program = toolProgram_.isEmpty() ? findToolProgram() : toolProgram_;
    if (!checkToolProgram(program, reporter_)) return false;
    const ships::Ship ship = ships()[*current_];
    const auto game = ov::pathFromText(utf8(gameFolder_));
    std::filesystem::path file;
    if (modelFromArchive_) {
        // OVTool saves where it opened: a copy anywhere else would never reach the game.
        const std::string shown = std::string(ships::kShipsFolder) + "\\" + ship.model;
        const Answer a = reporter_.question(
            kTitle,
            ship.model + " is only in resource.hog. To change it in OVTool, OVEdit first puts " +
                "an unpacked copy into the ships folder as " + shown +
                ", where the game loads it from (the archive's copy is kept as " +
                ships::backupName(ship.model) + ").\nMake the copy and open it?",
            Buttons::YesNo, Icon::Question);
        if (a != Answer::Yes) return false;
        auto loose = ships::looseShipModel(game, ship.model);
        if (!loose) {
            reporter_.message(kTitle, "Error - " + loose.error().describe(), Icon::Critical);
            return false;
        }
        file = *loose;
        refreshWeapons();
    } else {
        auto loose = ships::findInFolder(game, std::string(ships::kShipsFolder) + "\\" + ship.model);
        if (!loose) {
            reporter_.message(kTitle, "Error - " + ship.model + " is no longer in the ships folder",
                              Icon::Critical);
            refreshWeapons();
            return false;
        }
        file = *loose;
    }
    const QString path = fromUtf8Path(file);
    if (!startToolOn(program, path, reporter_)) return false;
    setStatus("OVTool opened " + QDir::toNativeSeparators(path));
    return true;
}

}  // namespace ov::edit
