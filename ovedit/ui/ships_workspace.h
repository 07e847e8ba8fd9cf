#pragma once
// What the ship stats and weapons tab works on, without any widget: the game
// folder and its ship table, the shown ship with its figures (as in shipstats.bin
// and as shown, edited or not) and its model's weapon points and class byte, the
// undo history of Apply, and the status line.
//
// Every file is read and written by ovedit/ships and every message goes through
// the reporter. Panels show the workspace and call it; they listen to its signals
// and never to each other. Apply is a QUndoCommand whose redo() writes the
// figures; an Apply that writes nothing leaves no step. Undo and redo keep figures
// the user edited and has not applied yet: they change only what the file holds.

#include <QObject>
#include <QString>
#include <optional>
#include <vector>

#include "common/report.h"
#include "ovedit/ships/ship_table.h"
#include "ovedit/ships/stats.h"
#include "ovedit/ships/weapons.h"

class QUndoStack;

namespace ov::edit {

class ShipListModel;
class WeaponListModel;

class ShipsWorkspace : public QObject {
    Q_OBJECT

public:
    explicit ShipsWorkspace(Reporter& reporter, QObject* parent = nullptr);
    ~ShipsWorkspace() override;

    Reporter& reporter() const { return reporter_; }

    // Loads the ships of the game folder (the ship table in it, else the ships of
    // its shipstats.bin) and forgets the undo history. Figures edited and not
    // applied are asked about first; false when the user kept them.
    bool setGameFolder(const QString& folder);
    QString gameFolder() const { return gameFolder_; }
    // Reads the ships again, keeping the shown ship when it is still there.
    void reload();

    const ships::ShipTable& ships() const;
    ShipListModel* shipsModel() const { return shipsModel_; }
    WeaponListModel* weaponsModel() const { return weapons_; }

    // Shows the ship at this table position, asking about unapplied figures first;
    // whether it is shown afterwards.
    bool selectShip(size_t position);
    std::optional<size_t> currentShip() const { return current_; }

    // ---- The figures
    bool statsLoaded() const { return current_ && statsLoaded_; }
    // The figures Apply would write, and those shipstats.bin holds.
    const ships::ShipStats& shownStats() const { return shown_; }
    const ships::ShipStats& fileStats() const { return fileStats_; }
    bool statsEdited() const;
    // An edit of one figure (by display position).
    void setFigure(size_t displayPosition, float value);
    // Asks whether to apply edited figures before they would be lost: Yes applies,
    // No drops them; false on Cancel (or when applying failed).
    bool maybeLeave();
    bool applyStats();
    void revertStats();
    bool hasDefaultStats() const;
    bool loadDefaultStats();
    bool importStats(const QString& textFile);
    QString statsPath() const;
    QUndoStack* undoStack() const { return undo_; }

    // ---- The weapons
    bool modelLoaded() const { return modelLoaded_; }
    bool modelFromArchive() const { return modelFromArchive_; }
    uint8_t shipClass() const { return shipClass_; }
    // Where the model was read from, or why it was not.
    QString modelText() const { return modelText_; }
    bool hasWeaponsBackup() const;
    // `points` are rows of the weapons model.
    bool changeWeapons(ships::WeaponSort sort, uint32_t typeId, std::vector<size_t> points);
    bool toggleCloak();
    bool restoreWeapons();

    // Starts OVTool on the shown ship's model where the game loads it: a model only
    // in resource.hog is first copied into ships\ (asked before, its .bak kept as a
    // weapon change keeps it).
    bool openInTool();
    // The OVTool program to start; empty: looked for (tool_launcher.h).
    void setToolProgram(const QString& program) { toolProgram_ = program; }

    QString status() const { return status_; }

signals:
    void shipsChanged();
    // The shown ship changed (-1: none).
    void shipShown(int position);
    // The shown figures were replaced (another ship, a revert, defaults, an import,
    // an undo); not sent for setFigure.
    void statsShown();
    void editedChanged(bool edited);
    void weaponsChanged();
    void statusChanged(const QString& text);

private:
    class ApplyCommand;

    void showShip(std::optional<size_t> position);
    void showStats(const ships::ShipStats& stats);
    void refreshEdited();
    void refreshWeapons();
    void setStatus(const QString& text);
    QString defaultStatsPath() const;
    // Writes figures for the ship at `position` (an Apply, its undo or redo).
    bool writeStats(size_t position, const ships::ShipStats& stats);

    Reporter& reporter_;
    QString gameFolder_;
    QString toolProgram_;
    QString status_;
    ShipListModel* shipsModel_ = nullptr;
    WeaponListModel* weapons_ = nullptr;
    QUndoStack* undo_ = nullptr;

    std::optional<size_t> current_;
    bool statsLoaded_ = false;
    bool edited_ = false;
    ships::ShipStats fileStats_;
    ships::ShipStats shown_;

    bool modelLoaded_ = false;
    bool modelFromArchive_ = false;
    uint8_t shipClass_ = 0;
    QString modelText_;
};

}  // namespace ov::edit
