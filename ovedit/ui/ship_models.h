#pragma once
// The ship stats and weapons tab's lists: the ship table (name, statistics record,
// models; a ship with figures edited and not applied is marked) and the weapon
// points of the shown ship's model.

#include <QAbstractTableModel>
#include <vector>

#include "ovedit/ships/ship_table.h"
#include "ovedit/ships/weapons.h"

namespace ov::edit {

class ShipListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Name, StatsIndex, Model, TigerModel, ColumnCount };

    explicit ShipListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void setShips(ships::ShipTable table);
    const ships::ShipTable& ships() const { return ships_; }
    // Marks the ship at `position` as edited and not applied (one at most).
    void setEdited(int position);
    int edited() const { return edited_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    ships::ShipTable ships_;
    int edited_ = -1;
};

class WeaponListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Point, Component, Sort, Type, ColumnCount };

    explicit WeaponListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void setEntries(std::vector<ships::WeaponEntry> entries);
    const std::vector<ships::WeaponEntry>& entries() const { return entries_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<ships::WeaponEntry> entries_;
};

}  // namespace ov::edit
