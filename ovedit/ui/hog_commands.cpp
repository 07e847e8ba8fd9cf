#include "ovedit/ui/hog_commands.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "common/ui/value_label.h"
#include "ovedit/ui/controls.h"

namespace ov::edit {

// ---- HogExtractBox --------------------------------------------------------------------

HogExtractBox::HogExtractBox(QWidget* parent) : QGroupBox("Extract selected entries", parent) {
    setObjectName("frameHogExtract");
    txtHogDest_ = makeTextBox(this, "txtHogDest", "Destination folder");
    txtHogDest_->setPlaceholderText("Folder to extract into");
    cmdBrowseHogDest_ =
        makeButton(this, "cmdBrowseHogDest", "Bro&wse...", "Browse for a destination folder");
    cmdExtract_ = makeButton(this, "cmdExtract", "Ex&tract");
    cmdExtract_->setToolTip("Copy the selected entries into the destination folder as stored");
    cmdUnpackExtract_ = makeButton(this, "cmdUnpackExtract", "&Unpack and Extract");
    cmdUnpackExtract_->setToolTip(
        "Copy the selected entries into the destination folder, "
        "unpacking the packed ones");
    // Two rows: the folder, then the commands, so the box stays narrow.
    auto* grid = new QGridLayout(this);
    grid->addWidget(makeCaption(this, "&Destination:", txtHogDest_), 0, 0);
    grid->addWidget(txtHogDest_, 0, 1);
    grid->addWidget(cmdBrowseHogDest_, 0, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdExtract_);
    buttons->addWidget(cmdUnpackExtract_);
    grid->addLayout(buttons, 1, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    connect(cmdBrowseHogDest_, &QPushButton::clicked, this, &HogExtractBox::browseRequested);
    connect(cmdExtract_, &QPushButton::clicked, this,
            [this] { emit extractRequested(archive::ExtractMode::Raw); });
    connect(cmdUnpackExtract_, &QPushButton::clicked, this,
            [this] { emit extractRequested(archive::ExtractMode::Unpack); });
}

QString HogExtractBox::destination() const {
    return txtHogDest_->text();
}

void HogExtractBox::setDestination(const QString& folder) {
    txtHogDest_->setText(folder);
}

void HogExtractBox::setCommands(bool archiveOpen, bool idle) {
    txtHogDest_->setEnabled(idle);
    cmdBrowseHogDest_->setEnabled(idle);
    cmdExtract_->setEnabled(archiveOpen && idle);
    cmdUnpackExtract_->setEnabled(archiveOpen && idle);
}

// ---- HogFatBox ------------------------------------------------------------------------

HogFatBox::HogFatBox(QWidget* parent) : QGroupBox("File allocation table", parent) {
    setObjectName("frameHogFat");
    cmdBackupFAT_ = makeButton(this, "cmdBackupFAT", "Bac&kup FAT");
    cmdBackupFAT_->setToolTip("Save the file allocation table beside the archive (.FAT)");
    cmdRestoreFAT_ = makeButton(this, "cmdRestoreFAT", "&Restore FAT");
    cmdRestoreFAT_->setToolTip("Write the saved file allocation table back over the archive's");
    auto* row = new QHBoxLayout(this);
    row->addWidget(cmdBackupFAT_);
    row->addWidget(cmdRestoreFAT_);
    connect(cmdBackupFAT_, &QPushButton::clicked, this, &HogFatBox::backupRequested);
    connect(cmdRestoreFAT_, &QPushButton::clicked, this, &HogFatBox::restoreRequested);
}

void HogFatBox::setCommands(bool backup, bool restore) {
    cmdBackupFAT_->setEnabled(backup);
    cmdRestoreFAT_->setEnabled(restore);
}

// ---- HogChangesBar --------------------------------------------------------------------

HogChangesBar::HogChangesBar(QWidget* parent) : QWidget(parent) {
    setObjectName("hogChanges");
    lblHogChanges_ = new desktop::ValueLabel("Pending changes", this);
    lblHogChanges_->setObjectName("lblHogChanges");
    cmdUndoHogChange_ = makeButton(this, "cmdUndoHogChange", "Undo Chan&ge");
    cmdUndoHogChange_->setToolTip("Take back the last change not yet applied");
    cmdDiscardHogChanges_ = makeButton(this, "cmdDiscardHogChanges", "D&iscard Changes");
    cmdDiscardHogChanges_->setToolTip("Forget every change not yet applied");
    cmdApplyHogChanges_ = makeButton(this, "cmdApplyHogChanges", "&Apply Changes");
    cmdApplyHogChanges_->setToolTip(
        "Rebuild the archive with the changes; before the first rebuild the archive is "
        "kept beside it as NAME.org");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(lblHogChanges_, 1);
    row->addWidget(cmdUndoHogChange_);
    row->addWidget(cmdDiscardHogChanges_);
    row->addWidget(cmdApplyHogChanges_);
    connect(cmdUndoHogChange_, &QPushButton::clicked, this, &HogChangesBar::undoRequested);
    connect(cmdDiscardHogChanges_, &QPushButton::clicked, this, &HogChangesBar::discardRequested);
    connect(cmdApplyHogChanges_, &QPushButton::clicked, this, &HogChangesBar::applyRequested);
}

void HogChangesBar::showPending(size_t steps, bool commandsAllowed) {
    for (QPushButton* b : {cmdUndoHogChange_, cmdDiscardHogChanges_, cmdApplyHogChanges_})
        b->setEnabled(commandsAllowed && steps > 0);
    lblHogChanges_->setValue(steps == 0   ? QStringLiteral("No changes pending")
                             : steps == 1 ? QStringLiteral("1 change pending")
                                          : QStringLiteral("%1 changes pending").arg(steps));
}

}  // namespace ov::edit
