#include "common/ui/table_setup.h"

#include <QHeaderView>
#include <QTableView>

namespace ov::desktop {

void setUpTable(QTableView* view, const TableSetup& setup) {
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(setup.multiSelect ? QAbstractItemView::ExtendedSelection
                                             : QAbstractItemView::SingleSelection);
    if (!setup.editable) view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->setAlternatingRowColors(true);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setHighlightSections(false);
    if (setup.sortable) {
        view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        view->setSortingEnabled(true);
    }
}

}  // namespace ov::desktop
