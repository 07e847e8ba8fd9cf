#include "ovedit/ui/ship_models.h"

#include <QFont>

#include "ovedit/ui/ui_text.h"

namespace ov::edit {

// ---- ShipListModel --------------------------------------------------------------------

void ShipListModel::setShips(ships::ShipTable table) {
    beginResetModel();
    ships_ = std::move(table);
    edited_ = -1;
    endResetModel();
}

void ShipListModel::setEdited(int position) {
    if (position == edited_) return;
    const int before = std::exchange(edited_, position);
    for (int row : {before, position})
        if (row >= 0 && row < rowCount())
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int ShipListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(ships_.size());
}

int ShipListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ShipListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ships::Ship& s = ships_[size_t(index.row())];
    const bool edited = index.row() == edited_;
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case Name:
                    return fromEntryName(s.name) + (edited ? " *" : "");
                case StatsIndex:
                    return s.statsIndex;
                case Model:
                    return fromEntryName(s.model);
                case TigerModel:
                    return fromEntryName(s.tigerModel);
            }
            return {};
        case Qt::FontRole:
            if (edited) {
                QFont f;
                f.setItalic(true);
                return f;
            }
            return {};
        case Qt::ToolTipRole:
            return edited ? QStringLiteral("Figures changed and not applied") : QVariant();
        case Qt::TextAlignmentRole:
            return index.column() == StatsIndex ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                : QVariant();
    }
    return {};
}

QVariant ShipListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case Name:
            return QStringLiteral("Ship");
        case StatsIndex:
            return QStringLiteral("Record");
        case Model:
            return QStringLiteral("Model");
        case TigerModel:
            return QStringLiteral("Tiger Model");
    }
    return {};
}

// ---- WeaponListModel ------------------------------------------------------------------

void WeaponListModel::setEntries(std::vector<ships::WeaponEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

int WeaponListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(entries_.size());
}

int WeaponListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant WeaponListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ships::WeaponEntry& e = entries_[size_t(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case Point:
                return index.row() + 1;
            case Component:
                return qulonglong(e.component);
            case Sort:
                return QString::fromLatin1(ships::weaponSortName(ships::WeaponSort(e.kind)));
            case Type:
                return QString::fromStdString(ships::weaponName(e));
        }
    }
    if (role == Qt::ToolTipRole)
        return QStringLiteral("Component %1, attachment %2, type id %3")
            .arg(e.component)
            .arg(e.attachment)
            .arg(e.typeId);
    if (role == Qt::TextAlignmentRole && (index.column() == Point || index.column() == Component))
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant WeaponListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case Point:
            return QStringLiteral("#");
        case Component:
            return QStringLiteral("Component");
        case Sort:
            return QStringLiteral("Weapon");
        case Type:
            return QStringLiteral("Type");
    }
    return {};
}

}  // namespace ov::edit
