#include "ovedit/ui/stats_panel.h"

#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "common/fileio.h"
#include "common/ui/value_label.h"
#include "ovedit/ships/game_files.h"
#include "ovedit/ui/controls.h"
#include "ovedit/ui/ships_workspace.h"
#include "ovedit/ui/ui_text.h"

namespace ov::edit {

namespace {

constexpr double kDefaultMaximum = 1000000.0;

// "Max Speed" -> "txtMaxSpeed".
QString boxName(const char* label) {
    QString name = "txt";
    for (const QString& word : QString::fromLatin1(label).split(' ', Qt::SkipEmptyParts))
        name += word;
    return name;
}

}  // namespace

StatsPanel::StatsPanel(ShipsWorkspace& workspace, QWidget* parent)
    : QGroupBox("Statistics", parent), ws_(workspace) {
    setObjectName("frameStats");
    lblShipName_ = new desktop::ValueLabel("Ship shown", this);
    lblShipName_->setObjectName("lblShipName");
    lblShipName_->setWordWrap(true);
    QFont bold = lblShipName_->font();
    bold.setBold(true);
    lblShipName_->setFont(bold);

    // Down three columns of five.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    const auto& fields = ships::statsFieldsInDisplayOrder();
    for (size_t i = 0; i < fields.size(); ++i) {
        auto* box = new QDoubleSpinBox(this);
        box->setObjectName(boxName(fields[i].label));
        box->setAccessibleName(fields[i].label);
        box->setDecimals(3);
        box->setRange(0.0, kDefaultMaximum);
        box->setAlignment(Qt::AlignRight);
        box->setAccelerated(true);
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance("0000000.000") + 36);
        boxes_[i] = box;
        const int row = int(i % 5), column = int(i / 5) * 2;
        grid->addWidget(makeCaption(this, QString::fromLatin1(fields[i].label) + ":", box), row,
                        column);
        grid->addWidget(box, row, column + 1);
        connect(box, &QDoubleSpinBox::valueChanged, this, [this, i] {
            if (!filling_) boxEdited(i);
        });
    }
    for (int c : {1, 3, 5})
        grid->setColumnStretch(c, 1);

    cmdApplyStats_ = makeButton(this, "cmdApplyStats", "&Apply");
    cmdApplyStats_->setToolTip("Write the figures into shipstats.bin");
    cmdRevertStats_ = makeButton(this, "cmdRevertStats", "&Revert");
    cmdRevertStats_->setToolTip("Show the figures in shipstats.bin again");
    cmdDefaultStats_ = makeButton(this, "cmdDefaultStats", "&Defaults");
    cmdDefaultStats_->setToolTip("Show the ship's figures from shipstats.def, the copy kept "
                                 "before the first change");
    cmdImportStats_ = makeButton(this, "cmdImportStats", "&Import...");
    cmdImportStats_->setToolTip("Show figures read from a text file of 15 numbers");
    cmdUndoStats_ = makeButton(this, "cmdUndoStats", "&Undo Apply");
    cmdRedoStats_ = makeButton(this, "cmdRedoStats", "Redo A&pply");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {cmdApplyStats_, cmdRevertStats_, cmdDefaultStats_, cmdImportStats_})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(cmdUndoStats_);
    buttons->addWidget(cmdRedoStats_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblShipName_);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    QUndoStack* undo = ws_.undoStack();
    connect(cmdApplyStats_, &QPushButton::clicked, &ws_, &ShipsWorkspace::applyStats);
    connect(cmdRevertStats_, &QPushButton::clicked, &ws_, &ShipsWorkspace::revertStats);
    connect(cmdDefaultStats_, &QPushButton::clicked, &ws_, &ShipsWorkspace::loadDefaultStats);
    connect(cmdImportStats_, &QPushButton::clicked, this, &StatsPanel::browseImport);
    connect(cmdUndoStats_, &QPushButton::clicked, undo, &QUndoStack::undo);
    connect(cmdRedoStats_, &QPushButton::clicked, undo, &QUndoStack::redo);
    connect(undo, &QUndoStack::indexChanged, this, &StatsPanel::refresh);
    connect(&ws_, &ShipsWorkspace::statsShown, this, &StatsPanel::fillBoxes);
    connect(&ws_, &ShipsWorkspace::editedChanged, this, &StatsPanel::refresh);
    fillBoxes();
}

void StatsPanel::fillBoxes() {
    filling_ = true;
    const auto& fields = ships::statsFieldsInDisplayOrder();
    const ships::ShipStats& stats = ws_.shownStats();
    for (size_t i = 0; i < fields.size(); ++i) {
        QDoubleSpinBox* box = boxes_[i];
        const float v = stats.field[fields[i].fileIndex];
        const double d = std::isfinite(v) ? double(v) : 0.0;
        // A figure outside the usual range is shown as it is, not cut to it.
        box->setRange(std::min(0.0, d), std::max(kDefaultMaximum, d));
        box->setValue(d);
        shownValues_[i] = box->value();
        shownFigures_[i] = v;
    }
    filling_ = false;
    if (auto at = ws_.currentShip()) {
        const ships::Ship& s = ws_.ships()[*at];
        lblShipName_->setValue(QStringLiteral("%1 (record %2 of shipstats.bin)")
                                  .arg(fromEntryName(s.name))
                                  .arg(s.statsIndex));
    } else {
        lblShipName_->setValue(ws_.gameFolder().isEmpty()
                                  ? QStringLiteral("Choose the game folder (File > Choose Game Folder)")
                                  : QStringLiteral("No ship chosen"));
    }
    refresh();
}

void StatsPanel::boxEdited(size_t i) {
    const double v = boxes_[i]->value();
    ws_.setFigure(i, v == shownValues_[i] ? shownFigures_[i] : float(v));
}

void StatsPanel::refresh() {
    const bool edited = ws_.statsEdited();
    const bool loaded = ws_.statsLoaded();
    setTitle(edited ? QStringLiteral("Statistics (changed, not applied)")
                    : QStringLiteral("Statistics"));
    cmdApplyStats_->setEnabled(edited);
    cmdRevertStats_->setEnabled(edited);
    cmdDefaultStats_->setEnabled(ws_.hasDefaultStats());
    cmdImportStats_->setEnabled(loaded);
    for (QDoubleSpinBox* b : boxes_)
        b->setEnabled(loaded);
    const QUndoStack* undo = ws_.undoStack();
    cmdUndoStats_->setEnabled(undo->canUndo());
    cmdUndoStats_->setToolTip(undo->canUndo() ? undo->undoText() : QString());
    cmdRedoStats_->setEnabled(undo->canRedo());
    cmdRedoStats_->setToolTip(undo->canRedo() ? undo->redoText() : QString());
}

void StatsPanel::browseImport() {
    QString start = ws_.gameFolder();
    if (!start.isEmpty())
        if (auto p = ships::findInFolder(ov::pathFromText(start.toStdString()), "addons\\stats"))
            start = QString::fromStdString(ov::pathText(*p));
    const QString file = QFileDialog::getOpenFileName(
        this, "Import Statistics", start, "Statistics texts (*.txt *.TXT);;All files (*)");
    if (!file.isEmpty()) ws_.importStats(file);
}

}  // namespace ov::edit
