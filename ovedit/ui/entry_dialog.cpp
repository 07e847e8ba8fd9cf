#include "ovedit/ui/entry_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/ui/value_label.h"
#include "ovedit/ui/controls.h"

namespace ov::edit {

EntryDialog::EntryDialog(Mode mode, const QString& name, const QString& file, bool pack,
                         Check check, Submit submit, QWidget* parent)
    : QDialog(parent),
      mode_(mode),
      originalName_(name),
      file_(file),
      check_(std::move(check)),
      submit_(std::move(submit)) {
    setObjectName("EntryDialog");
    const char* title = mode == Mode::Add       ? "Add File to Archive"
                        : mode == Mode::Replace ? "Replace Entry"
                                                : "Rename Entry";
    setWindowTitle(title);
    setAccessibleName(title);

    auto* form = new QFormLayout;
    if (mode == Mode::Add) {
        auto* source = makeLabel(this, "lblEntrySource", "File to add");
        source->setText(QDir::toNativeSeparators(file));
        source->setToolTip(source->text());
        source->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow("File:", source);
    }
    if (mode == Mode::Replace) {
        auto* entry = new desktop::ValueLabel("Entry", this);
        entry->setObjectName("lblEntryName");
        entry->setValue(name);
        form->addRow("Entry:", entry);
        txtEntryFile_ = makeTextBox(this, "txtEntryFile", "File to put in its place");
        txtEntryFile_->setText(QDir::toNativeSeparators(file));
        txtEntryFile_->setPlaceholderText("The file whose bytes go in");
        cmdBrowseEntryFile_ =
            makeButton(this, "cmdBrowseEntryFile", "&Browse...", "Browse for the file");
        auto* row = new QHBoxLayout;
        row->addWidget(txtEntryFile_, 1);
        row->addWidget(cmdBrowseEntryFile_);
        form->addRow(makeCaption(this, "&File:", txtEntryFile_), row);
    } else {
        txtEntryName_ = makeTextBox(this, "txtEntryName", "Entry name");
        txtEntryName_->setValidator(new Latin1Validator(txtEntryName_));
        txtEntryName_->setText(name);
        txtEntryName_->setMinimumWidth(
            txtEntryName_->fontMetrics().horizontalAdvance(QString(40, QChar('M'))));
        txtEntryName_->setToolTip("The name in the archive; a folder part is written with \"\\\"");
        form->addRow(
            makeCaption(this, mode == Mode::Add ? "Entry &name:" : "&New name:", txtEntryName_),
            txtEntryName_);
    }
    if (mode != Mode::Rename) {
        chkPackEntry_ =
            new QCheckBox("&Pack the file (a file packed already is stored as it is)", this);
        chkPackEntry_->setObjectName("chkPackEntry");
        chkPackEntry_->setAccessibleName("Pack the file");
        chkPackEntry_->setChecked(pack);
        form->addRow(QString(), chkPackEntry_);
    }

    lblEntryProblem_ = makeLabel(this, "lblEntryProblem", "Why the entry is refused");
    lblEntryProblem_->setWordWrap(true);
    QPalette warn = lblEntryProblem_->palette();
    warn.setColor(QPalette::WindowText, QColor(0xb0, 0x20, 0x20));
    lblEntryProblem_->setPalette(warn);
    lblEntryProblem_->hide();

    cmdEntryOk_ = makeButton(this, "cmdEntryOk",
                             mode == Mode::Add       ? "&Add"
                             : mode == Mode::Replace ? "&Replace"
                                                     : "&Rename");
    cmdEntryOk_->setDefault(true);
    cmdEntryCancel_ = makeButton(this, "cmdEntryCancel", "Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdEntryOk_);
    buttons->addWidget(cmdEntryCancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lblEntryProblem_);
    layout->addLayout(buttons);

    connect(cmdEntryOk_, &QPushButton::clicked, this, &EntryDialog::submit);
    connect(cmdEntryCancel_, &QPushButton::clicked, this, &QDialog::reject);
    if (txtEntryName_) {
        connect(txtEntryName_, &QLineEdit::textChanged, this, &EntryDialog::checkName);
        txtEntryName_->selectAll();
        checkName();
    }
    if (txtEntryFile_) {
        connect(cmdBrowseEntryFile_, &QPushButton::clicked, this, &EntryDialog::browse);
        connect(txtEntryFile_, &QLineEdit::textChanged, this, [this](const QString& text) {
            cmdEntryOk_->setEnabled(!text.trimmed().isEmpty());
            showProblem({});
        });
        cmdEntryOk_->setEnabled(!txtEntryFile_->text().trimmed().isEmpty());
    }
}

QString EntryDialog::entryName() const {
    return txtEntryName_ ? txtEntryName_->text() : originalName_;
}

QString EntryDialog::file() const {
    return txtEntryFile_ ? txtEntryFile_->text().trimmed() : file_;
}

bool EntryDialog::pack() const {
    return chkPackEntry_ && chkPackEntry_->isChecked();
}

void EntryDialog::showProblem(const QString& text) {
    lblEntryProblem_->setText(text);
    lblEntryProblem_->setVisible(!text.isEmpty());
}

// Said at once, while typing; OK waits for a name that can be taken. A rename to the
// name it has is no change, and is allowed (it closes the dialog).
void EntryDialog::checkName() {
    const QString name = txtEntryName_->text();
    const QString problem = mode_ == Mode::Rename && name == originalName_
                                ? QString()
                                : (check_ ? check_(name) : QString());
    showProblem(problem);
    cmdEntryOk_->setEnabled(problem.isEmpty());
}

void EntryDialog::browse() {
    const QString start = txtEntryFile_->text().trimmed();
    const QString path = QFileDialog::getOpenFileName(
        this, "Replace " + originalName_,
        start.isEmpty() ? QDir::homePath() : QFileInfo(start).absolutePath());
    if (!path.isEmpty()) txtEntryFile_->setText(QDir::toNativeSeparators(path));
}

void EntryDialog::submit() {
    const QString problem = submit_ ? submit_(*this) : QString();
    if (problem.isEmpty()) {
        accept();
        return;
    }
    showProblem(problem);
}

}  // namespace ov::edit
