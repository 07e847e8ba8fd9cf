#include "ovedit/ui/weapons_panel.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "common/ui/table_setup.h"
#include "common/ui/value_label.h"
#include "ovedit/ui/controls.h"
#include "ovedit/ui/ship_models.h"
#include "ovedit/ui/ships_workspace.h"

namespace ov::edit {

using ships::WeaponSort;

WeaponsPanel::WeaponsPanel(ShipsWorkspace& workspace, QWidget* parent)
    : QGroupBox("Weapons", parent), ws_(workspace) {
    setObjectName("frameWeapons");
    lblModel_ = new desktop::ValueLabel("Model", this);
    lblModel_->setObjectName("lblModel");
    lblModel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lstWeapons_ = new QTableView(this);
    lstWeapons_->setObjectName("lstWeapons");
    lstWeapons_->setAccessibleName("Weapon points");
    lstWeapons_->setModel(ws_.weaponsModel());
    desktop::setUpTable(lstWeapons_);
    // Tab leaves the list; the arrows (with Shift or Ctrl) choose the points.
    lstWeapons_->setTabKeyNavigation(false);
    lstWeapons_->setContextMenuPolicy(Qt::CustomContextMenu);
    lstWeapons_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstWeapons_->horizontalHeader()->setSectionResizeMode(WeaponListModel::Type,
                                                          QHeaderView::Stretch);
    cmdWeaponType_ = makeButton(this, "cmdWeaponType", "Change &Type",
                                "Change the type of the selected weapon points");
    chkHasCloak_ = new QCheckBox("Has &Cloak", this);
    chkHasCloak_->setObjectName("chkHasCloak");
    chkHasCloak_->setAccessibleName("Has cloak");
    chkHasCloak_->setToolTip("The ship's cloaking device (the model's class byte)");
    lblCapitalShip_ = new desktop::ValueLabel("Ship class", this);
    lblCapitalShip_->setObjectName("lblCapitalShip");
    cmdRestoreWeapons_ = makeButton(this, "cmdRestoreWeapons", "Restore &Weapons");
    cmdRestoreWeapons_->setToolTip("Put the models back as they were before the first change");
    cmdOpenInOVTool_ = makeButton(this, "cmdOpenInOVTool", "Ope&n in OVTool");
    cmdOpenInOVTool_->setToolTip("Open the ship's model in the model component editor");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdWeaponType_);
    buttons->addSpacing(12);
    buttons->addWidget(chkHasCloak_);
    buttons->addSpacing(12);
    buttons->addWidget(lblCapitalShip_);
    buttons->addStretch(1);
    buttons->addWidget(cmdRestoreWeapons_);
    buttons->addWidget(cmdOpenInOVTool_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblModel_);
    layout->addWidget(lstWeapons_, 1);
    layout->addLayout(buttons);
    createMenus();

    connect(lstWeapons_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &WeaponsPanel::refreshCommands);
    connect(lstWeapons_, &QWidget::customContextMenuRequested, this, &WeaponsPanel::showMenu);
    // A click toggles the box before `clicked` comes; the box then shows what the
    // model says, whatever the toggle did.
    connect(chkHasCloak_, &QCheckBox::clicked, this, [this] {
        ws_.toggleCloak();
        refreshCommands();
    });
    connect(cmdRestoreWeapons_, &QPushButton::clicked, &ws_, &ShipsWorkspace::restoreWeapons);
    connect(cmdOpenInOVTool_, &QPushButton::clicked, &ws_, &ShipsWorkspace::openInTool);
    connect(&ws_, &ShipsWorkspace::weaponsChanged, this, &WeaponsPanel::refresh);
    refresh();
}

void WeaponsPanel::createMenus() {
    weaponsMenu_ = new QMenu(this);
    weaponsMenu_->setObjectName("pldWeaponPopup");
    struct SortMenu {
        QMenu** menu;
        const char* name;
        const char* caption;
        WeaponSort sort;
    };
    const SortMenu menus[] = {
        {&pldGunType_, "pldGunType", "&Gun Type", WeaponSort::Gun},
        {&pldExtGunType_, "pldExtGunType", "&External Gun Type", WeaponSort::ExternalGun},
        {&pldMissileType_, "pldMissileType", "&Missile Type", WeaponSort::Missile},
    };
    for (const SortMenu& m : menus) {
        QMenu* menu = weaponsMenu_->addMenu(m.caption);
        menu->setObjectName(m.name);
        menu->setAccessibleName(QString(m.caption).remove('&'));
        *m.menu = menu;
        for (uint32_t id = 0; id < 16; ++id) {
            if (!ships::isOfferedType(m.sort, id)) continue;
            QString text;
            switch (m.sort) {
                case WeaponSort::Gun:
                    text = QString::fromLatin1(ships::gunMenuName(id));
                    break;
                case WeaponSort::ExternalGun:
                    text = QString::fromLatin1(ships::externalGunMenuName(id));
                    break;
                case WeaponSort::Missile:
                    text = QString::fromStdString(ships::missileMenuName(id));
                    break;
            }
            QAction* a = menu->addAction(text);
            a->setObjectName(QStringLiteral("%1_%2").arg(m.name).arg(id));
            a->setData(id);
            connect(a, &QAction::triggered, this,
                    [this, sort = m.sort, id] { changeSelected(sort, id); });
        }
    }
    cmdWeaponType_->setMenu(weaponsMenu_);
}

void WeaponsPanel::refresh() {
    lblModel_->setValue(ws_.modelText());
    setTitle(QStringLiteral("Weapons (%1 point(s))").arg(ws_.weaponsModel()->rowCount()));
    refreshCommands();
}

void WeaponsPanel::refreshCommands() {
    const WeaponListModel* weapons = ws_.weaponsModel();
    bool sorts[4] = {false, false, false, false};
    for (const QModelIndex& row : lstWeapons_->selectionModel()->selectedRows())
        if (row.row() < weapons->rowCount())
            sorts[std::min<uint32_t>(weapons->entries()[size_t(row.row())].kind, 3)] = true;
    const bool loaded = ws_.modelLoaded();
    const uint8_t shipClass = ws_.shipClass();
    pldGunType_->setEnabled(sorts[3]);
    pldExtGunType_->setEnabled(sorts[1]);
    pldMissileType_->setEnabled(sorts[0]);
    cmdWeaponType_->setEnabled(loaded && (sorts[0] || sorts[1] || sorts[3]));
    chkHasCloak_->setEnabled(loaded);
    chkHasCloak_->setChecked(loaded && ships::isCloakedClass(shipClass));
    lblCapitalShip_->setValue(!loaded ? QString()
                             : ships::isCapitalClass(shipClass)
                                 ? QStringLiteral("Capital ship (class %1)").arg(shipClass)
                                 : QStringLiteral("Fighter (class %1)").arg(shipClass));
    cmdRestoreWeapons_->setEnabled(ws_.hasWeaponsBackup());
    cmdOpenInOVTool_->setEnabled(loaded);
}

void WeaponsPanel::showMenu(const QPoint& pos) {
    if (!cmdWeaponType_->isEnabled()) return;
    weaponsMenu_->popup(lstWeapons_->viewport()->mapToGlobal(pos));
}

void WeaponsPanel::changeSelected(WeaponSort sort, uint32_t typeId) {
    std::vector<size_t> points;
    for (const QModelIndex& row : lstWeapons_->selectionModel()->selectedRows())
        points.push_back(size_t(row.row()));
    if (!ws_.changeWeapons(sort, typeId, points)) return;
    // The same points stay selected for a further change.
    const WeaponListModel* weapons = ws_.weaponsModel();
    QItemSelection again;
    for (size_t p : points)
        if (int(p) < weapons->rowCount())
            again.select(weapons->index(int(p), 0),
                         weapons->index(int(p), WeaponListModel::ColumnCount - 1));
    lstWeapons_->selectionModel()->select(again, QItemSelectionModel::ClearAndSelect);
}

}  // namespace ov::edit
