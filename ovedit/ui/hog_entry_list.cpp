#include "ovedit/ui/hog_entry_list.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/ui/drops.h"
#include "common/ui/table_setup.h"
#include "common/ui/value_label.h"
#include "ovedit/ui/controls.h"
#include "ovedit/ui/hog_list_model.h"

namespace ov::edit {

// ---- HogListView ----------------------------------------------------------------------

HogListView::HogListView(QWidget* parent) : QTableView(parent) {
    // Tab goes on to the next control; the arrows move from row to row.
    setTabKeyNavigation(false);
}

// Only files from outside the program: entries dragged out of the list are not taken
// back. A drop the list refuses goes on to the window (which opens an archive).
bool HogListView::accepts(const QDropEvent* event) const {
    return event->source() == nullptr && dropAllowed_ && dropAllowed_() &&
           !desktop::droppedFiles(event->mimeData()).isEmpty();
}

void HogListView::dragEnterEvent(QDragEnterEvent* event) {
    // An enter event is a move event that comes first: the same answer.
    dragMoveEvent(event);
}

void HogListView::dragMoveEvent(QDragMoveEvent* event) {
    if (!accepts(event)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void HogListView::dropEvent(QDropEvent* event) {
    if (!accepts(event)) {
        event->ignore();
        return;
    }
    const QStringList files = desktop::droppedFiles(event->mimeData());
    const QModelIndex at = indexAt(event->position().toPoint());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Asked about once the drop has finished, so the dialog does not hold up the
    // program the files came from.
    QTimer::singleShot(
        0, this, [this, files, at = QPersistentModelIndex(at)] { emit filesDropped(files, at); });
}

void HogListView::startDrag(Qt::DropActions) {
    if (!dragFactory_) return;
    QMimeData* data = dragFactory_();
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

// ---- HogEntryList ---------------------------------------------------------------------

HogEntryList::HogEntryList(HogListModel* model, HogFilterModel* proxy, QWidget* parent)
    : QWidget(parent), model_(model), proxy_(proxy) {
    setObjectName("hogEntryList");
    txtHogFilter_ = makeTextBox(this, "txtHogFilter", "Filter by name");
    txtHogFilter_->setPlaceholderText("Part of a name");
    txtHogFilter_->setClearButtonEnabled(true);
    for (QToolButton* b : txtHogFilter_->findChildren<QToolButton*>())
        b->setAccessibleName("Clear the filter");
    lblHogFilterCount_ = new desktop::ValueLabel("Entries shown", this);
    lblHogFilterCount_->setObjectName("lblHogFilterCount");
    cmdSelectAll_ = makeButton(this, "cmdSelectAll", "Select All");
    cmdSelectNone_ = makeButton(this, "cmdSelectNone", "Select None");
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(makeCaption(this, "Fi&lter:", txtHogFilter_));
    filterRow->addWidget(txtHogFilter_, 1);
    filterRow->addWidget(lblHogFilterCount_);
    filterRow->addSpacing(8);
    filterRow->addWidget(cmdSelectAll_);
    filterRow->addWidget(cmdSelectNone_);

    list_ = new HogListView(this);
    list_->setObjectName("hogList");
    list_->setAccessibleName("Archive entries");
    list_->setModel(proxy_);
    // No sort column at first: the rows stand in FAT order until a header is clicked.
    desktop::setUpTable(list_, {.multiSelect = true, .editable = false, .sortable = true});
    list_->setDragEnabled(true);
    list_->setDragDropMode(QAbstractItemView::DragDrop);
    list_->setDefaultDropAction(Qt::CopyAction);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* header = list_->horizontalHeader();
    header->setSectionsMovable(true);
    const QFontMetrics fm = list_->fontMetrics();
    auto widthFor = [&](const QString& sample) { return fm.horizontalAdvance(sample) + 28; };
    header->resizeSection(HogListModel::Name, widthFor(QString(20, 'n')));
    header->resizeSection(HogListModel::Offset, widthFor("Offset (Hex)"));
    header->resizeSection(HogListModel::Size, widthFor("Size (Hex)"));
    header->resizeSection(HogListModel::Type, widthFor("Type"));
    header->resizeSection(HogListModel::Row, widthFor("100000"));
    header->resizeSection(HogListModel::Packed, widthFor("Yes, 16,777,215 bytes"));
    header->resizeSection(HogListModel::Change, widthFor("Replaced"));
    // The names keep their room on a narrow window; the last columns scroll.
    header->setStretchLastSection(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(filterRow);
    layout->addWidget(list_, 1);

    filterTimer_.setSingleShot(true);
    filterTimer_.setInterval(120);
    connect(txtHogFilter_, &QLineEdit::textChanged, &filterTimer_,
            static_cast<void (QTimer::*)()>(&QTimer::start));
    connect(&filterTimer_, &QTimer::timeout, this, [this] {
        proxy_->setNameFilter(txtHogFilter_->text());
        updateCount(archiveOpen_);
    });
    auto recount = [this] { updateCount(archiveOpen_); };
    connect(proxy_, &QAbstractItemModel::modelReset, this, recount);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, recount);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, recount);
    connect(cmdSelectAll_, &QPushButton::clicked, list_, &QAbstractItemView::selectAll);
    connect(cmdSelectNone_, &QPushButton::clicked, list_, &QAbstractItemView::clearSelection);
}

void HogEntryList::updateCount(bool archiveOpen) {
    archiveOpen_ = archiveOpen;
    if (!archiveOpen) {
        lblHogFilterCount_->setValue({});
        return;
    }
    lblHogFilterCount_->setValue(
        QStringLiteral("%1 of %2").arg(proxy_->rowCount()).arg(model_->entryCount()));
}

void HogEntryList::setCommands(bool archiveOpen, bool idle) {
    txtHogFilter_->setEnabled(archiveOpen);
    cmdSelectAll_->setEnabled(archiveOpen && idle);
    cmdSelectNone_->setEnabled(archiveOpen && idle);
    updateCount(archiveOpen);
}

}  // namespace ov::edit
