#pragma once
// The ship stats and weapons tab: the ships of the game folder with a filter; the
// shown ship's 15 figures, applied to shipstats.bin (every Apply one undo step),
// reverted, or loaded from shipstats.def or an import text; and the weapon points
// of its model, whose types are changed in the standard and the Tiger model
// together, its cloak, its weapons restored from the backup, and OVTool opened on
// it.
//
// Every file is read and written by ovedit/ships; the tab keeps only what it shows.
// A figure that is shown and not edited is written back with its exact 4 bytes.

#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "ovedit/ships/ship_table.h"
#include "ovedit/ships/stats.h"
#include "ovedit/ships/weapons.h"

class QAction;
class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSettings;
class QSortFilterProxyModel;
class QTableView;
class QTemporaryDir;
class QUndoStack;

namespace ov::desktop {
class QtReporter;
}

namespace ov::edit {

class ShipListModel;
class WeaponListModel;

class ShipsTab : public QWidget {
    Q_OBJECT

public:
    explicit ShipsTab(desktop::QtReporter& reporter, QWidget* parent = nullptr);
    ~ShipsTab() override;

    // Loads the ships of the game folder (the ship table in it, else the ships of
    // its shipstats.bin). Figures edited and not applied are asked about first;
    // false when the user kept them.
    bool setGameFolder(const QString& folder);
    QString gameFolder() const { return gameFolder_; }
    // Reads the ships again, keeping the shown ship when it is still there.
    void reload();

    const ships::ShipTable& ships() const;
    // Shows the ship at this table position (asking about unapplied figures first).
    bool selectShip(size_t position);
    std::optional<size_t> currentShip() const { return current_; }

    // The figures as the boxes hold them: the exact figures shown where a box was
    // not edited.
    ships::ShipStats shownStats() const;
    // The figures of the shown ship differ from those in shipstats.bin.
    bool statsEdited() const;
    // Asks whether to apply edited figures before they would be lost: Yes applies,
    // No drops them; false on Cancel (or when applying failed).
    bool maybeLeave();

    // The commands of the buttons, for the window and its tests.
    bool applyStats();
    void revertStats();
    bool loadDefaultStats();
    bool importStats(const QString& textFile);
    bool changeWeapons(ships::WeaponSort sort, uint32_t typeId);
    bool toggleCloak();
    bool restoreWeapons();
    bool openInTool();

    QUndoStack* undoStack() const { return undo_; }
    QAction* undoAction() const { return undoAction_; }
    QAction* redoAction() const { return redoAction_; }
    WeaponListModel* weaponsModel() const { return weapons_; }
    QTableView* weaponsView() const { return lstWeapons_; }
    QTableView* shipsView() const { return lstShips_; }
    QMenu* weaponsMenu() const { return weaponsMenu_; }
    QLabel* statusLabel() const { return lblShipStatus_; }
    QDoubleSpinBox* statsBox(size_t displayPosition) const { return boxes_[displayPosition]; }

    // The OVTool program "Open in OVTool" starts (beside OVEdit unless set).
    void setToolProgram(const QString& program) { toolProgram_ = program; }
    QString toolProgram() const { return toolProgram_; }

    void readSettings(const QSettings& settings);
    void writeSettings(QSettings& settings) const;

signals:
    void shipShown(int position);

private:
    class StatsCommand;

    void createControls();
    void createWeaponsMenu();
    void setStatus(const QString& text);
    void filterChanged(const QString& text);
    void currentRowChanged(const QModelIndex& current, const QModelIndex& previous);
    void showShip(std::optional<size_t> position);
    void showStats(const ships::ShipStats& stats);
    void showFileStats();
    void refreshEdited();
    void refreshWeapons();
    void refreshCommands();
    void showWeaponsMenu(const QPoint& pos);
    void browseImport();

    QString statsPath() const;
    QString defaultStatsPath() const;
    // Writes figures for the ship at `position` and shows them when it is shown.
    bool writeStats(size_t position, const ships::ShipStats& stats);

    desktop::QtReporter& reporter_;
    QString gameFolder_;
    QString toolProgram_;
    std::unique_ptr<QTemporaryDir> scratch_;

    ShipListModel* shipsModel_ = nullptr;
    QSortFilterProxyModel* shipsProxy_ = nullptr;
    WeaponListModel* weapons_ = nullptr;
    QUndoStack* undo_ = nullptr;

    std::optional<size_t> current_;
    bool restoringRow_ = false;
    bool showing_ = false;
    // The figures in the file, and the figures the boxes were last filled from with
    // the values they then showed: a box still showing its value stands for the
    // exact figure.
    ships::ShipStats fileStats_;
    bool statsLoaded_ = false;
    ships::ShipStats baseStats_;
    std::array<double, ships::kStatsFieldCount> shownValues_{};
    // The shown ship's model, when it could be read.
    bool modelLoaded_ = false;
    bool modelFromArchive_ = false;
    uint8_t shipClass_ = 0;

    QLineEdit* txtShipFilter_ = nullptr;
    QLabel* lblShipCount_ = nullptr;
    QTableView* lstShips_ = nullptr;
    QGroupBox* frameStats_ = nullptr;
    QLabel* lblShipName_ = nullptr;
    std::array<QDoubleSpinBox*, ships::kStatsFieldCount> boxes_{};
    QPushButton* cmdApplyStats_ = nullptr;
    QPushButton* cmdRevertStats_ = nullptr;
    QPushButton* cmdDefaultStats_ = nullptr;
    QPushButton* cmdImportStats_ = nullptr;
    QPushButton* cmdUndoStats_ = nullptr;
    QGroupBox* frameWeapons_ = nullptr;
    QLabel* lblModel_ = nullptr;
    QTableView* lstWeapons_ = nullptr;
    QPushButton* cmdWeaponType_ = nullptr;
    QCheckBox* chkHasCloak_ = nullptr;
    QLabel* lblCapitalShip_ = nullptr;
    QPushButton* cmdRestoreWeapons_ = nullptr;
    QPushButton* cmdOpenInOVTool_ = nullptr;
    QLabel* lblShipStatus_ = nullptr;

    QMenu* weaponsMenu_ = nullptr;
    QMenu* pldGunType_ = nullptr;
    QMenu* pldExtGunType_ = nullptr;
    QMenu* pldMissileType_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
};

}  // namespace ov::edit
