#include "ovedit/ui/ships_tab.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "common/fileio.h"
#include "ovedit/ships/game_files.h"
#include "ovedit/ui/controls.h"
#include "ovedit/ui/ship_models.h"
#include "ovedit/ui/tool_launcher.h"
#include "ovedit/ui/ui_text.h"
#include "common/ui/qt_reporter.h"

namespace ov::edit {

using ships::ShipStats;
using ships::WeaponSort;

namespace {

constexpr const char* kTitle = "OV Edit";
constexpr double kDefaultMaximum = 1000000.0;

// "Max Speed" -> "txtMaxSpeed".
QString boxName(const char* label) {
    QString name = "txt";
    for (const QString& word : QString::fromLatin1(label).split(' ', Qt::SkipEmptyParts))
        name += word;
    return name;
}

std::string utf8(const QString& s) {
    return s.toStdString();
}

QString fromUtf8Path(const std::filesystem::path& p) {
    return QString::fromStdString(ov::pathText(p));
}

}  // namespace

// One Apply: the figures before and after, written back by undo and redo.
class ShipsTab::StatsCommand : public QUndoCommand {
public:
    StatsCommand(ShipsTab* tab, size_t position, const ShipStats& before, const ShipStats& after)
        : tab_(tab), position_(position), before_(before), after_(after) {
        setText(QStringLiteral("Apply the figures of %1")
                    .arg(fromEntryName(tab->ships()[position].name)));
    }
    void undo() override { tab_->writeStats(position_, before_); }
    void redo() override {
        // The first redo is the Apply itself, already written.
        if (std::exchange(applied_, false)) return;
        tab_->writeStats(position_, after_);
    }

private:
    ShipsTab* tab_;
    size_t position_;
    ShipStats before_, after_;
    bool applied_ = true;
};

ShipsTab::ShipsTab(desktop::QtReporter& reporter, QWidget* parent)
    : QWidget(parent), reporter_(reporter), toolProgram_(defaultToolProgram()) {
    setObjectName("shipsTab");
    setAccessibleName("Ship Stats and Weapons");
    shipsModel_ = new ShipListModel(this);
    shipsProxy_ = new QSortFilterProxyModel(this);
    shipsProxy_->setSourceModel(shipsModel_);
    shipsProxy_->setFilterKeyColumn(ShipListModel::Name);
    shipsProxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    weapons_ = new WeaponListModel(this);
    undo_ = new QUndoStack(this);
    createControls();
    createWeaponsMenu();
    showShip(std::nullopt);
}

ShipsTab::~ShipsTab() {
    // The children go after this part of the tab: none may call back into it then.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
}

void ShipsTab::createControls() {
    // The ships.
    txtShipFilter_ = makeTextBox(this, "txtShipFilter", "Filter ships by name");
    txtShipFilter_->setPlaceholderText("Part of a name");
    txtShipFilter_->setClearButtonEnabled(true);
    lblShipCount_ = makeLabel(this, "lblShipCount", "Ships shown");
    lstShips_ = new QTableView(this);
    lstShips_->setObjectName("lstShips");
    lstShips_->setAccessibleName("Ships");
    lstShips_->setModel(shipsProxy_);
    lstShips_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstShips_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstShips_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstShips_->setAlternatingRowColors(true);
    lstShips_->setWordWrap(false);
    lstShips_->verticalHeader()->hide();
    lstShips_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lstShips_->verticalHeader()->setDefaultSectionSize(lstShips_->fontMetrics().height() + 6);
    lstShips_->horizontalHeader()->setHighlightSections(false);
    lstShips_->horizontalHeader()->setSectionResizeMode(ShipListModel::Name, QHeaderView::Stretch);
    lstShips_->horizontalHeader()->setSectionResizeMode(ShipListModel::StatsIndex,
                                                        QHeaderView::ResizeToContents);
    lstShips_->setColumnHidden(ShipListModel::Model, true);
    lstShips_->setColumnHidden(ShipListModel::TigerModel, true);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(makeCaption(this, "&Filter:", txtShipFilter_));
    filterRow->addWidget(txtShipFilter_, 1);
    auto* shipsSide = new QWidget(this);
    auto* shipsLayout = new QVBoxLayout(shipsSide);
    shipsLayout->setContentsMargins(0, 0, 0, 0);
    shipsLayout->addLayout(filterRow);
    shipsLayout->addWidget(lstShips_, 1);
    shipsLayout->addWidget(lblShipCount_);

    // The figures, in display order, down three columns of five.
    frameStats_ = new QGroupBox("Statistics", this);
    frameStats_->setObjectName("frameStats");
    lblShipName_ = makeLabel(frameStats_, "lblShipName", "Ship shown");
    QFont bold = lblShipName_->font();
    bold.setBold(true);
    lblShipName_->setFont(bold);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    const auto& fields = ships::statsFieldsInDisplayOrder();
    for (size_t i = 0; i < fields.size(); ++i) {
        auto* box = new QDoubleSpinBox(frameStats_);
        box->setObjectName(boxName(fields[i].label));
        box->setAccessibleName(fields[i].label);
        box->setDecimals(3);
        box->setRange(0.0, kDefaultMaximum);
        box->setAlignment(Qt::AlignRight);
        box->setAccelerated(true);
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance("0000000.000") + 36);
        boxes_[i] = box;
        const int row = int(i % 5), column = int(i / 5) * 2;
        auto* caption = makeCaption(frameStats_, QString::fromLatin1(fields[i].label) + ":", box);
        grid->addWidget(caption, row, column);
        grid->addWidget(box, row, column + 1);
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] {
            if (!showing_) refreshEdited();
        });
    }
    for (int c : {1, 3, 5})
        grid->setColumnStretch(c, 1);
    cmdApplyStats_ = makeButton(frameStats_, "cmdApplyStats", "&Apply");
    cmdApplyStats_->setToolTip("Write the figures into shipstats.bin");
    cmdRevertStats_ = makeButton(frameStats_, "cmdRevertStats", "Re&vert");
    cmdRevertStats_->setToolTip("Show the figures in shipstats.bin again");
    cmdDefaultStats_ = makeButton(frameStats_, "cmdDefaultStats", "&Defaults");
    cmdDefaultStats_->setToolTip("Show the ship's figures from shipstats.def, the copy kept "
                                 "before the first change");
    cmdImportStats_ = makeButton(frameStats_, "cmdImportStats", "&Import...");
    cmdImportStats_->setToolTip("Show figures read from a text file of 15 numbers");
    cmdUndoStats_ = makeButton(frameStats_, "cmdUndoStats", "&Undo Apply");
    auto* statsButtons = new QHBoxLayout;
    statsButtons->addWidget(cmdApplyStats_);
    statsButtons->addWidget(cmdRevertStats_);
    statsButtons->addWidget(cmdDefaultStats_);
    statsButtons->addWidget(cmdImportStats_);
    statsButtons->addStretch(1);
    statsButtons->addWidget(cmdUndoStats_);
    auto* statsLayout = new QVBoxLayout(frameStats_);
    statsLayout->addWidget(lblShipName_);
    statsLayout->addLayout(grid);
    statsLayout->addLayout(statsButtons);

    // The weapons.
    frameWeapons_ = new QGroupBox("Weapons", this);
    frameWeapons_->setObjectName("frameWeapons");
    lblModel_ = makeLabel(frameWeapons_, "lblModel", "Model");
    lblModel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lstWeapons_ = new QTableView(frameWeapons_);
    lstWeapons_->setObjectName("lstWeapons");
    lstWeapons_->setAccessibleName("Weapon points");
    lstWeapons_->setModel(weapons_);
    lstWeapons_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstWeapons_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstWeapons_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstWeapons_->setContextMenuPolicy(Qt::CustomContextMenu);
    lstWeapons_->setAlternatingRowColors(true);
    lstWeapons_->setWordWrap(false);
    lstWeapons_->verticalHeader()->hide();
    lstWeapons_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lstWeapons_->verticalHeader()->setDefaultSectionSize(lstWeapons_->fontMetrics().height() + 6);
    lstWeapons_->horizontalHeader()->setHighlightSections(false);
    lstWeapons_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstWeapons_->horizontalHeader()->setSectionResizeMode(WeaponListModel::Type,
                                                          QHeaderView::Stretch);
    cmdWeaponType_ = makeButton(frameWeapons_, "cmdWeaponType", "Change &Type",
                                "Change the type of the selected weapon points");
    chkHasCloak_ = new QCheckBox("Has &Cloak", frameWeapons_);
    chkHasCloak_->setObjectName("chkHasCloak");
    chkHasCloak_->setAccessibleName("Has cloak");
    chkHasCloak_->setToolTip("The ship's cloaking device (the model's class byte)");
    lblCapitalShip_ = makeLabel(frameWeapons_, "lblCapitalShip", "Ship class");
    cmdRestoreWeapons_ = makeButton(frameWeapons_, "cmdRestoreWeapons", "&Restore Weapons");
    cmdRestoreWeapons_->setToolTip("Put the models back as they were before the first change");
    cmdOpenInOVTool_ = makeButton(frameWeapons_, "cmdOpenInOVTool", "Open in OV&Tool");
    cmdOpenInOVTool_->setToolTip("Open the ship's model in the model component editor");
    auto* weaponButtons = new QHBoxLayout;
    weaponButtons->addWidget(cmdWeaponType_);
    weaponButtons->addSpacing(12);
    weaponButtons->addWidget(chkHasCloak_);
    weaponButtons->addSpacing(12);
    weaponButtons->addWidget(lblCapitalShip_);
    weaponButtons->addStretch(1);
    weaponButtons->addWidget(cmdRestoreWeapons_);
    weaponButtons->addWidget(cmdOpenInOVTool_);
    auto* weaponsLayout = new QVBoxLayout(frameWeapons_);
    weaponsLayout->addWidget(lblModel_);
    weaponsLayout->addWidget(lstWeapons_, 1);
    weaponsLayout->addLayout(weaponButtons);

    auto* detail = new QWidget(this);
    auto* detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->addWidget(frameStats_);
    detailLayout->addWidget(frameWeapons_, 1);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName("shipsSplitter");
    splitter->addWidget(shipsSide);
    splitter->addWidget(detail);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    // Room for a ship name of 30 characters and its record number.
    const int listWidth = lstShips_->fontMetrics().horizontalAdvance(QString(24, 'n')) + 90;
    shipsSide->setMinimumWidth(listWidth);
    splitter->setSizes({listWidth, 3 * listWidth});
    splitter->setChildrenCollapsible(false);

    lblShipStatus_ = makeLabel(this, "lblShipStatus", "Status");
    lblShipStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);

    // Undo and redo of Apply, while the focus is anywhere in the tab (a figure's
    // box being typed in keeps Ctrl+Z for its own text).
    undoAction_ = new QAction("&Undo Apply", this);
    undoAction_->setObjectName("actUndoStats");
    undoAction_->setShortcut(QKeySequence::Undo);
    undoAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    redoAction_ = new QAction("&Redo Apply", this);
    redoAction_->setObjectName("actRedoStats");
    redoAction_->setShortcut(QKeySequence::Redo);
    redoAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(undoAction_);
    addAction(redoAction_);
    connect(undoAction_, &QAction::triggered, this, [this] {
        if (undo_->canUndo() && maybeLeave()) undo_->undo();
    });
    connect(redoAction_, &QAction::triggered, this, [this] {
        if (undo_->canRedo() && maybeLeave()) undo_->redo();
    });
    connect(undo_, &QUndoStack::indexChanged, this, &ShipsTab::refreshCommands);

    connect(txtShipFilter_, &QLineEdit::textChanged, this, &ShipsTab::filterChanged);
    connect(lstShips_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ShipsTab::currentRowChanged);
    connect(cmdApplyStats_, &QPushButton::clicked, this, &ShipsTab::applyStats);
    connect(cmdRevertStats_, &QPushButton::clicked, this, &ShipsTab::revertStats);
    connect(cmdDefaultStats_, &QPushButton::clicked, this, &ShipsTab::loadDefaultStats);
    connect(cmdImportStats_, &QPushButton::clicked, this, &ShipsTab::browseImport);
    connect(cmdUndoStats_, &QPushButton::clicked, undoAction_, &QAction::trigger);
    connect(lstWeapons_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ShipsTab::refreshCommands);
    connect(lstWeapons_, &QWidget::customContextMenuRequested, this, &ShipsTab::showWeaponsMenu);
    // A click toggles the box before `clicked` comes; the box then shows what the
    // model says, whatever the toggle did.
    connect(chkHasCloak_, &QCheckBox::clicked, this, [this] { toggleCloak(); });
    connect(cmdRestoreWeapons_, &QPushButton::clicked, this, &ShipsTab::restoreWeapons);
    connect(cmdOpenInOVTool_, &QPushButton::clicked, this, &ShipsTab::openInTool);
}

void ShipsTab::createWeaponsMenu() {
    weaponsMenu_ = new QMenu(this);
    weaponsMenu_->setObjectName("pldWeaponPopup");
    struct SortMenu {
        QMenu** menu;
        const char* name;
        const char* caption;
        WeaponSort sort;
        std::vector<uint32_t> ids;
    };
    std::vector<uint32_t> guns, externalGuns, missiles;
    for (uint32_t id = 0; id < 16; ++id) {
        if (ships::isOfferedType(WeaponSort::Gun, id)) guns.push_back(id);
        if (ships::isOfferedType(WeaponSort::ExternalGun, id)) externalGuns.push_back(id);
        if (ships::isOfferedType(WeaponSort::Missile, id)) missiles.push_back(id);
    }
    const SortMenu menus[] = {
        {&pldGunType_, "pldGunType", "&Gun Type", WeaponSort::Gun, guns},
        {&pldExtGunType_, "pldExtGunType", "&External Gun Type", WeaponSort::ExternalGun,
         externalGuns},
        {&pldMissileType_, "pldMissileType", "&Missile Type", WeaponSort::Missile, missiles},
    };
    for (const SortMenu& m : menus) {
        QMenu* menu = weaponsMenu_->addMenu(m.caption);
        menu->setObjectName(m.name);
        menu->setAccessibleName(QString(m.caption).remove('&'));
        *m.menu = menu;
        for (uint32_t id : m.ids) {
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
                    [this, sort = m.sort, id] { changeWeapons(sort, id); });
        }
    }
    cmdWeaponType_->setMenu(weaponsMenu_);
}

// ---- The ships ------------------------------------------------------------------------

const ships::ShipTable& ShipsTab::ships() const {
    return shipsModel_->ships();
}

QString ShipsTab::statsPath() const {
    if (gameFolder_.isEmpty()) return {};
    auto p = ships::findInFolder(ov::pathFromText(utf8(gameFolder_)), ships::kShipStatsFile);
    return p ? fromUtf8Path(*p) : QString();
}

QString ShipsTab::defaultStatsPath() const {
    if (gameFolder_.isEmpty()) return {};
    auto p =
        ships::findInFolder(ov::pathFromText(utf8(gameFolder_)), ships::kShipStatsDefaultFile);
    return p ? fromUtf8Path(*p) : QString();
}

bool ShipsTab::setGameFolder(const QString& folder) {
    if (!maybeLeave()) return false;
    gameFolder_ = folder;
    undo_->clear();
    current_.reset();
    reload();
    return true;
}

void ShipsTab::reload() {
    std::optional<std::string> shown;
    if (current_ && *current_ < ships().size()) shown = ships()[*current_].name;
    ships::ShipTable table;
    if (!gameFolder_.isEmpty()) {
        const auto game = ov::pathFromText(utf8(gameFolder_));
        // The editor keeps its own files (the ship table, addons\) in the game folder.
        auto loaded = ships::loadShipTable(game, game);
        if (loaded)
            table = std::move(*loaded);
        else
            setStatus("No ships: " + QString::fromStdString(loaded.error().describe()));
    }
    current_.reset();
    shipsModel_->setShips(std::move(table));
    filterChanged(txtShipFilter_->text());
    if (!ships().empty()) setStatus(QStringLiteral("%1 ship(s)").arg(ships().size()));
    size_t select = 0;
    for (size_t i = 0; shown && i < ships().size(); ++i)
        if (ships()[i].name == *shown) select = i;
    if (!ships().empty())
        selectShip(select);
    else
        showShip(std::nullopt);
}

void ShipsTab::filterChanged(const QString& text) {
    shipsProxy_->setFilterFixedString(text.trimmed());
    lblShipCount_->setText(
        QStringLiteral("%1 of %2 ship(s)").arg(shipsProxy_->rowCount()).arg(shipsModel_->rowCount()));
}

bool ShipsTab::selectShip(size_t position) {
    if (position >= ships().size()) return false;
    QModelIndex at = shipsProxy_->mapFromSource(shipsModel_->index(int(position), 0));
    if (!at.isValid()) {
        txtShipFilter_->clear();
        at = shipsProxy_->mapFromSource(shipsModel_->index(int(position), 0));
    }
    lstShips_->setCurrentIndex(at);
    lstShips_->scrollTo(at);
    return current_ == position;
}

void ShipsTab::currentRowChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (restoringRow_) return;
    const QModelIndex source = shipsProxy_->mapToSource(current);
    // A filter that hides every ship leaves the shown one as it is.
    if (!source.isValid()) return;
    const std::optional<size_t> next = size_t(source.row());
    if (next == current_) return;
    if (!maybeLeave()) {
        // Back to the ship whose figures the user kept, once the view is done.
        const QPersistentModelIndex back(previous);
        QTimer::singleShot(0, this, [this, back] {
            restoringRow_ = true;
            lstShips_->setCurrentIndex(back);
            restoringRow_ = false;
        });
        return;
    }
    showShip(next);
}

void ShipsTab::showShip(std::optional<size_t> position) {
    current_ = position;
    statsLoaded_ = false;
    shipsModel_->setEdited(-1);
    if (!current_) {
        lblShipName_->setText(gameFolder_.isEmpty()
                                  ? QStringLiteral("Choose the game folder (File > Choose Game Folder)")
                                  : QStringLiteral("No ship chosen"));
        showing_ = true;
        for (QDoubleSpinBox* b : boxes_)
            b->setValue(0);
        showing_ = false;
    } else {
        const ships::Ship& s = ships()[*current_];
        lblShipName_->setText(QStringLiteral("%1 (record %2 of shipstats.bin)")
                                  .arg(fromEntryName(s.name))
                                  .arg(s.statsIndex));
        if (auto st = ships::GetShipsStats(utf8(statsPath()), s.statsIndex, reporter_)) {
            fileStats_ = *st;
            statsLoaded_ = true;
            showStats(*st);
        }
    }
    refreshWeapons();
    refreshEdited();
    if (current_) emit shipShown(int(*current_));
}

// ---- The figures ----------------------------------------------------------------------

void ShipsTab::showStats(const ShipStats& stats) {
    showing_ = true;
    const auto& fields = ships::statsFieldsInDisplayOrder();
    for (size_t i = 0; i < fields.size(); ++i) {
        QDoubleSpinBox* box = boxes_[i];
        const float v = stats.field[fields[i].fileIndex];
        const double d = std::isfinite(v) ? double(v) : 0.0;
        // A figure outside the usual range is shown as it is, not cut to it.
        box->setRange(std::min(0.0, d), std::max(kDefaultMaximum, d));
        box->setValue(d);
        shownValues_[i] = box->value();
    }
    baseStats_ = stats;
    showing_ = false;
    refreshEdited();
}

ShipStats ShipsTab::shownStats() const {
    ShipStats out = baseStats_;
    const auto& fields = ships::statsFieldsInDisplayOrder();
    for (size_t i = 0; i < fields.size(); ++i)
        if (boxes_[i]->value() != shownValues_[i])
            out.field[fields[i].fileIndex] = float(boxes_[i]->value());
    return out;
}

bool ShipsTab::statsEdited() const {
    return current_ && statsLoaded_ && shownStats().toBytes() != fileStats_.toBytes();
}

void ShipsTab::refreshEdited() {
    const bool edited = statsEdited();
    shipsModel_->setEdited(edited ? int(*current_) : -1);
    frameStats_->setTitle(edited ? QStringLiteral("Statistics (changed, not applied)")
                                 : QStringLiteral("Statistics"));
    refreshCommands();
}

bool ShipsTab::maybeLeave() {
    if (!statsEdited()) return true;
    const std::string name = ships()[*current_].name;
    const Answer a = reporter_.question(
        kTitle, "The figures of " + name + " have been changed and not applied.\nApply them now?",
        Buttons::YesNoCancel, Icon::Question);
    if (a == Answer::Yes) return applyStats();
    if (a == Answer::No) {
        showStats(fileStats_);
        return true;
    }
    return false;
}

bool ShipsTab::writeStats(size_t position, const ShipStats& stats) {
    if (position >= ships().size()) return false;
    const ships::Ship& s = ships()[position];
    if (!ships::PutShipsStats(utf8(statsPath()), s.statsIndex, stats, reporter_)) return false;
    if (current_ == position) {
        fileStats_ = stats;
        statsLoaded_ = true;
        showStats(stats);
    } else {
        selectShip(position);
    }
    setStatus(QStringLiteral("Figures of %1 written to shipstats.bin (record %2)")
                  .arg(fromEntryName(s.name))
                  .arg(s.statsIndex));
    return true;
}

bool ShipsTab::applyStats() {
    if (!current_ || !statsLoaded_) return false;
    const size_t position = *current_;
    const ships::Ship& s = ships()[position];
    const ShipStats after = shownStats();
    // shipstats.def keeps the figures from before the first change.
    if (!ships::EnsureDefaultShipStats(utf8(gameFolder_), reporter_)) return false;
    auto before = ships::GetShipsStats(utf8(statsPath()), s.statsIndex, reporter_);
    if (!before) return false;
    if (!ships::PutShipsStats(utf8(statsPath()), s.statsIndex, after, reporter_)) return false;
    fileStats_ = after;
    showStats(after);
    if (before->toBytes() != after.toBytes())
        undo_->push(new StatsCommand(this, position, *before, after));
    setStatus(QStringLiteral("Figures of %1 written to shipstats.bin (record %2)")
                  .arg(fromEntryName(s.name))
                  .arg(s.statsIndex));
    return true;
}

void ShipsTab::revertStats() {
    if (!current_) return;
    const ships::Ship& s = ships()[*current_];
    if (auto st = ships::GetShipsStats(utf8(statsPath()), s.statsIndex, reporter_)) {
        fileStats_ = *st;
        statsLoaded_ = true;
        showStats(*st);
        setStatus("Figures of " + fromEntryName(s.name) + " read again from shipstats.bin");
    }
}

bool ShipsTab::loadDefaultStats() {
    if (!current_ || !statsLoaded_) return false;
    const ships::Ship& s = ships()[*current_];
    auto st = ships::GetShipsStats(utf8(defaultStatsPath()), s.statsIndex, reporter_);
    if (!st) return false;
    showStats(*st);
    setStatus("Figures of " + fromEntryName(s.name) +
              " from shipstats.def shown; Apply writes them");
    return true;
}

void ShipsTab::browseImport() {
    QString start = gameFolder_;
    if (!gameFolder_.isEmpty())
        if (auto p = ships::findInFolder(ov::pathFromText(utf8(gameFolder_)), "addons\\stats"))
            start = fromUtf8Path(*p);
    const QString file = QFileDialog::getOpenFileName(
        this, "Import Statistics", start, "Statistics texts (*.txt *.TXT);;All files (*)");
    if (!file.isEmpty()) importStats(file);
}

bool ShipsTab::importStats(const QString& textFile) {
    if (!current_ || !statsLoaded_) return false;
    auto st = ships::GetImportStats(utf8(textFile), reporter_);
    if (!st) return false;
    showStats(*st);
    setStatus("Figures of " + fromEntryName(ships()[*current_].name) + " read from " +
              QFileInfo(textFile).fileName() + "; Apply writes them");
    return true;
}

// ---- The weapons ----------------------------------------------------------------------

void ShipsTab::refreshWeapons() {
    modelLoaded_ = false;
    shipClass_ = 0;
    std::vector<ships::WeaponEntry> entries;
    if (!current_) {
        lblModel_->clear();
    } else if (const ships::Ship& s = ships()[*current_]; s.model.empty()) {
        lblModel_->setText(fromEntryName(s.name) + " has no model in the ship table");
    } else {
        auto m = ships::loadShipModel(ov::pathFromText(utf8(gameFolder_)), s.model);
        if (!m) {
            lblModel_->setText("The model cannot be read: " +
                               QString::fromStdString(m.error().describe()));
        } else {
            modelLoaded_ = true;
            modelFromArchive_ = m->fromArchive;
            shipClass_ = m->unpacked.size() > shp::kShipClassFileOffset
                             ? m->unpacked[shp::kShipClassFileOffset]
                             : 0;
            entries = ships::weaponEntries(m->chain);
            QString text = fromEntryName(s.model) +
                           (m->fromArchive ? " (in resource.hog)" : " (in the ships folder)");
            if (!s.tigerModel.empty()) text += "; Tiger ship: " + fromEntryName(s.tigerModel);
            if (!entries.empty()) text += ". Select points, then Change Type or right-click.";
            lblModel_->setText(text);
        }
    }
    weapons_->setEntries(std::move(entries));
    frameWeapons_->setTitle(QStringLiteral("Weapons (%1 point(s))").arg(weapons_->rowCount()));
    refreshCommands();
}

void ShipsTab::refreshCommands() {
    const bool edited = statsEdited();
    cmdApplyStats_->setEnabled(edited);
    cmdRevertStats_->setEnabled(edited);
    cmdDefaultStats_->setEnabled(current_ && statsLoaded_ && !defaultStatsPath().isEmpty());
    cmdImportStats_->setEnabled(current_ && statsLoaded_);
    for (QDoubleSpinBox* b : boxes_)
        b->setEnabled(current_ && statsLoaded_);
    undoAction_->setEnabled(undo_->canUndo());
    redoAction_->setEnabled(undo_->canRedo());
    cmdUndoStats_->setEnabled(undo_->canUndo());
    cmdUndoStats_->setToolTip(undo_->canUndo() ? undo_->undoText() : QString());

    bool sorts[4] = {false, false, false, false};
    for (const QModelIndex& row : lstWeapons_->selectionModel()->selectedRows())
        if (row.row() < weapons_->rowCount())
            sorts[std::min<uint32_t>(weapons_->entries()[size_t(row.row())].kind, 3)] = true;
    pldGunType_->setEnabled(sorts[3]);
    pldExtGunType_->setEnabled(sorts[1]);
    pldMissileType_->setEnabled(sorts[0]);
    cmdWeaponType_->setEnabled(modelLoaded_ && (sorts[0] || sorts[1] || sorts[3]));
    chkHasCloak_->setEnabled(modelLoaded_);
    chkHasCloak_->setChecked(modelLoaded_ && ships::isCloakedClass(shipClass_));
    lblCapitalShip_->setText(!modelLoaded_ ? QString()
                             : ships::isCapitalClass(shipClass_)
                                 ? QStringLiteral("Capital ship (class %1)").arg(shipClass_)
                                 : QStringLiteral("Fighter (class %1)").arg(shipClass_));
    bool hasBackup = false;
    if (current_ && !ships()[*current_].model.empty()) {
        const std::string bak =
            std::string(ships::kShipsFolder) + "\\" + ships::backupName(ships()[*current_].model);
        hasBackup = ships::findInFolder(ov::pathFromText(utf8(gameFolder_)), bak).has_value();
    }
    cmdRestoreWeapons_->setEnabled(hasBackup);
    cmdOpenInOVTool_->setEnabled(modelLoaded_);
}

void ShipsTab::showWeaponsMenu(const QPoint& pos) {
    if (!cmdWeaponType_->isEnabled()) return;
    weaponsMenu_->popup(lstWeapons_->viewport()->mapToGlobal(pos));
}

bool ShipsTab::changeWeapons(WeaponSort sort, uint32_t typeId) {
    if (!current_ || !modelLoaded_) return false;
    std::vector<size_t> points;
    for (const QModelIndex& row : lstWeapons_->selectionModel()->selectedRows())
        points.push_back(size_t(row.row()));
    std::sort(points.begin(), points.end());
    const ships::Ship ship = ships()[*current_];
    if (!ships::ChangeWeapons(utf8(gameFolder_), ship, sort, typeId, points, reporter_))
        return false;
    size_t changed = 0;
    for (size_t p : points)
        changed += weapons_->entries()[p].kind == uint32_t(sort);
    refreshWeapons();
    // The same points stay selected for a further change.
    QItemSelection again;
    for (size_t p : points)
        if (int(p) < weapons_->rowCount())
            again.select(weapons_->index(int(p), 0),
                         weapons_->index(int(p), WeaponListModel::ColumnCount - 1));
    lstWeapons_->selectionModel()->select(again, QItemSelectionModel::ClearAndSelect);
    QString models = fromEntryName(ship.model);
    if (!ship.tigerModel.empty()) models += " and " + fromEntryName(ship.tigerModel);
    setStatus(QStringLiteral("%1 point(s) set to %2 in %3")
                  .arg(changed)
                  .arg(weapons_->entries().empty() || points.empty()
                           ? QString()
                           : weapons_->data(weapons_->index(int(points.front()),
                                                            WeaponListModel::Type),
                                            Qt::DisplayRole)
                                 .toString())
                  .arg(models));
    return true;
}

bool ShipsTab::toggleCloak() {
    if (!current_ || !modelLoaded_) {
        refreshCommands();
        return false;
    }
    const ships::Ship ship = ships()[*current_];
    if (ships::isCapitalClass(shipClass_)) {
        const Answer a = reporter_.question(
            kTitle,
            ship.name + " is a capital ship. A cloak makes its model a fighter with a cloak "
                        "(class byte 2), and switching the cloak off again makes it a fighter "
                        "(class byte 0).\nGive it a cloak anyway?",
            Buttons::YesNo, Icon::Question);
        if (a != Answer::Yes) {
            refreshCommands();
            return false;
        }
    }
    // The class byte is changed in place in the loose, unpacked model; a model only
    // in the archive (or packed) becomes one first, keeping its .bak.
    auto loose = ships::looseShipModel(ov::pathFromText(utf8(gameFolder_)), ship.model);
    bool done = false;
    if (!loose)
        reporter_.message(kTitle, "Error - " + loose.error().describe(), Icon::Critical);
    else
        done = ships::ToggleCloak(ov::pathText(*loose), reporter_);
    refreshWeapons();
    if (done)
        setStatus(fromEntryName(ship.model) +
                  (ships::isCloakedClass(shipClass_) ? ": cloak on" : ": cloak off"));
    return done;
}

bool ShipsTab::restoreWeapons() {
    if (!current_) return false;
    const ships::Ship ship = ships()[*current_];
    const bool done =
        ships::RestoreWeapons(utf8(gameFolder_), utf8(gameFolder_), ships(), *current_, reporter_);
    refreshWeapons();
    if (done) setStatus(fromEntryName(ship.model) + ": weapons restored");
    return done;
}

bool ShipsTab::openInTool() {
    if (!current_ || !modelLoaded_) return false;
    if (!checkToolProgram(toolProgram_, reporter_)) return false;
    if (!scratch_) {
        scratch_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/ovedit-models-XXXXXX");
        // OVTool may still have the model open after OVEdit has closed.
        scratch_->setAutoRemove(false);
    }
    const ships::Ship& ship = ships()[*current_];
    auto file = ships::shipModelFile(ov::pathFromText(utf8(gameFolder_)), ship.model,
                                     ov::pathFromText(utf8(scratch_->path())));
    if (!file) {
        reporter_.message(kTitle, "Error - " + file.error().describe(), Icon::Critical);
        return false;
    }
    const QString path = fromUtf8Path(*file);
    if (!startToolOn(toolProgram_, path, reporter_)) return false;
    setStatus(modelFromArchive_
                  ? "OVTool opened a copy unpacked from resource.hog: " + QDir::toNativeSeparators(path)
                  : "OVTool opened " + QDir::toNativeSeparators(path));
    return true;
}

// ---- Settings and status ----------------------------------------------------------------

void ShipsTab::setStatus(const QString& text) {
    lblShipStatus_->setText(text);
}

void ShipsTab::readSettings(const QSettings& settings) {
    txtShipFilter_->setText(settings.value("ships/filter").toString());
}

void ShipsTab::writeSettings(QSettings& settings) const {
    settings.setValue("ships/filter", txtShipFilter_->text());
}

}  // namespace ov::edit
