#include "ovedit/ui/ships_tab.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>

#include "common/ui/qt_reporter.h"
#include "common/ui/table_setup.h"
#include "common/ui/value_label.h"
#include "ovedit/ui/controls.h"
#include "ovedit/ui/ship_models.h"
#include "ovedit/ui/ships_workspace.h"
#include "ovedit/ui/stats_panel.h"
#include "ovedit/ui/weapons_panel.h"

namespace ov::edit {

ShipsTab::ShipsTab(desktop::QtReporter& reporter, QWidget* parent) : QWidget(parent) {
    setObjectName("shipsTab");
    setAccessibleName("Ship Stats and Weapons");
    ws_ = new ShipsWorkspace(reporter, this);
    shipsProxy_ = new QSortFilterProxyModel(this);
    shipsProxy_->setSourceModel(ws_->shipsModel());
    shipsProxy_->setFilterKeyColumn(ShipListModel::Name);
    shipsProxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    createControls();
}

ShipsTab::~ShipsTab() {
    // The views go while the workspace they show is whole, and none calls back into
    // this part of the tab once it is gone.
    lstShips_->selectionModel()->disconnect(this);
    delete weapons_;
    delete stats_;
    delete lstShips_;
    ws_->disconnect(this);
}

QUndoStack* ShipsTab::undoStack() const {
    return ws_->undoStack();
}

void ShipsTab::createControls() {
    txtShipFilter_ = makeTextBox(this, "txtShipFilter", "Filter ships by name");
    txtShipFilter_->setPlaceholderText("Part of a name");
    txtShipFilter_->setClearButtonEnabled(true);
    lblShipCount_ = new desktop::ValueLabel("Ships shown", this);
    lblShipCount_->setObjectName("lblShipCount");
    lstShips_ = new QTableView(this);
    lstShips_->setObjectName("lstShips");
    lstShips_->setAccessibleName("Ships");
    lstShips_->setModel(shipsProxy_);
    desktop::setUpTable(lstShips_, {.multiSelect = false});
    // Tab leaves the list; the arrows choose the ship.
    lstShips_->setTabKeyNavigation(false);
    lstShips_->horizontalHeader()->setSectionResizeMode(ShipListModel::Name, QHeaderView::Stretch);
    lstShips_->horizontalHeader()->setSectionResizeMode(ShipListModel::StatsIndex,
                                                        QHeaderView::ResizeToContents);
    lstShips_->setColumnHidden(ShipListModel::Model, true);
    lstShips_->setColumnHidden(ShipListModel::TigerModel, true);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(makeCaption(this, "Fi&lter:", txtShipFilter_));
    filterRow->addWidget(txtShipFilter_, 1);
    auto* shipsSide = new QWidget(this);
    auto* shipsLayout = new QVBoxLayout(shipsSide);
    shipsLayout->setContentsMargins(0, 0, 0, 0);
    shipsLayout->addLayout(filterRow);
    shipsLayout->addWidget(lstShips_, 1);
    shipsLayout->addWidget(lblShipCount_);

    stats_ = new StatsPanel(*ws_, this);
    weapons_ = new WeaponsPanel(*ws_, this);
    auto* detail = new QWidget;
    auto* detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->addWidget(stats_);
    detailLayout->addWidget(weapons_, 1);
    // On a small screen (or at a large scale) the figures and the weapons scroll
    // rather than push the window past the screen.
    auto* detailScroll = new QScrollArea(this);
    detailScroll->setObjectName("shipDetailScroll");
    detailScroll->setWidgetResizable(true);
    detailScroll->setFrameShape(QFrame::NoFrame);
    detailScroll->setWidget(detail);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName("shipsSplitter");
    splitter->addWidget(shipsSide);
    splitter->addWidget(detailScroll);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    // Room for a ship name of 30 characters and its record number at first; the
    // user can narrow it.
    const int listWidth = lstShips_->fontMetrics().horizontalAdvance(QString(24, 'n')) + 90;
    splitter->setSizes({listWidth, 3 * listWidth});
    splitter->setChildrenCollapsible(false);

    lblShipStatus_ = new desktop::ValueLabel("Status", this);
    lblShipStatus_->setObjectName("lblShipStatus");
    lblShipStatus_->setValue(ws_->status());
    lblShipStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);

    connect(txtShipFilter_, &QLineEdit::textChanged, this, &ShipsTab::filterChanged);
    connect(lstShips_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ShipsTab::currentRowChanged);
    connect(ws_, &ShipsWorkspace::shipsChanged, this,
            [this] { filterChanged(txtShipFilter_->text()); });
    connect(ws_, &ShipsWorkspace::shipShown, this, &ShipsTab::showShipRow);
    connect(ws_, &ShipsWorkspace::statusChanged, lblShipStatus_, &desktop::ValueLabel::setValue);
}

bool ShipsTab::setGameFolder(const QString& folder) {
    return ws_->setGameFolder(folder);
}

bool ShipsTab::maybeLeave() {
    return ws_->maybeLeave();
}

void ShipsTab::setToolProgram(const QString& program) {
    ws_->setToolProgram(program);
}

void ShipsTab::filterChanged(const QString& text) {
    shipsProxy_->setFilterFixedString(text.trimmed());
    lblShipCount_->setValue(QStringLiteral("%1 of %2 ship(s)")
                               .arg(shipsProxy_->rowCount())
                               .arg(ws_->shipsModel()->rowCount()));
}

// The list follows the ship the workspace shows (a reload, an undo of another ship).
void ShipsTab::showShipRow(int position) {
    if (position < 0) return;
    QModelIndex at = shipsProxy_->mapFromSource(ws_->shipsModel()->index(position, 0));
    if (!at.isValid()) {
        txtShipFilter_->clear();
        at = shipsProxy_->mapFromSource(ws_->shipsModel()->index(position, 0));
    }
    followingWorkspace_ = true;
    lstShips_->setCurrentIndex(at);
    lstShips_->scrollTo(at);
    followingWorkspace_ = false;
}

void ShipsTab::currentRowChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (followingWorkspace_) return;
    const QModelIndex source = shipsProxy_->mapToSource(current);
    // A filter that hides every ship leaves the shown one as it is.
    if (!source.isValid()) return;
    if (ws_->selectShip(size_t(source.row()))) return;
    // Back to the ship whose figures the user kept, once the view is done.
    const QPersistentModelIndex back(previous);
    QTimer::singleShot(0, this, [this, back] {
        followingWorkspace_ = true;
        lstShips_->setCurrentIndex(back);
        followingWorkspace_ = false;
    });
}

void ShipsTab::readSettings(const QSettings& settings) {
    txtShipFilter_->setText(settings.value("ships/filter").toString());
}

void ShipsTab::writeSettings(QSettings& settings) const {
    settings.setValue("ships/filter", txtShipFilter_->text());
}

}  // namespace ov::edit
