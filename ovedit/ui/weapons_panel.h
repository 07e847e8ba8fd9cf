#pragma once
// The weapon points of the shown ship's model, with the popup menus that change
// their types, the cloak, Restore Weapons and Open in OVTool. A view of the ships
// workspace: the selection of points is the panel's own, every change the
// workspace's.

#include <QGroupBox>

#include "ovedit/ships/weapons.h"

class QCheckBox;
class QMenu;
class QPushButton;
class QTableView;

namespace ov::desktop {
class ValueLabel;
}

namespace ov::edit {

class ShipsWorkspace;

class WeaponsPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit WeaponsPanel(ShipsWorkspace& workspace, QWidget* parent = nullptr);

    // The popup of the weapons list (its sort menus are its children).
    QMenu* weaponsMenu() const { return weaponsMenu_; }

private:
    void createMenus();
    void refresh();
    void refreshCommands();
    void showMenu(const QPoint& pos);
    void changeSelected(ships::WeaponSort sort, uint32_t typeId);

    ShipsWorkspace& ws_;
    desktop::ValueLabel* lblModel_ = nullptr;
    QTableView* lstWeapons_ = nullptr;
    QPushButton* cmdWeaponType_ = nullptr;
    QCheckBox* chkHasCloak_ = nullptr;
    desktop::ValueLabel* lblCapitalShip_ = nullptr;
    QPushButton* cmdRestoreWeapons_ = nullptr;
    QPushButton* cmdOpenInOVTool_ = nullptr;
    QMenu* weaponsMenu_ = nullptr;
    QMenu* pldGunType_ = nullptr;
    QMenu* pldExtGunType_ = nullptr;
    QMenu* pldMissileType_ = nullptr;
};

}  // namespace ov::edit
