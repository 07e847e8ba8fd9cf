#include "ovtool/ui/item_list.h"

#include <QItemSelectionModel>
#include <QScopedValueRollback>
#include <QStringListModel>

namespace ov::tool {

ItemList::ItemList(const char* objectName, const QString& accessibleName, QWidget* parent)
    : QListView(parent), names_(new QStringListModel(this)) {
    setObjectName(objectName);
    setAccessibleName(accessibleName);
    setModel(names_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) {
                if (!filling_) emit rowPicked(now.isValid() ? now.row() : -1);
            });
}

void ItemList::setNames(const QStringList& names) {
    const QScopedValueRollback guard(filling_, true);
    if (names != names_->stringList()) names_->setStringList(names);
}

void ItemList::showRow(int row) {
    const QScopedValueRollback guard(filling_, true);
    if (row >= 0 && row < names_->rowCount())
        setCurrentIndex(names_->index(row));
    else
        selectionModel()->clear();
}

}  // namespace ov::tool
