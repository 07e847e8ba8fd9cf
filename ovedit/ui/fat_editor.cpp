#include "ovedit/ui/fat_editor.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

#include "ovedit/ui/controls.h"

namespace ov::edit {

namespace {

QLineEdit* box(QWidget* parent, const char* name, const QString& text, const QString& label) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    e->setAccessibleName(label);
    return e;
}

}  // namespace

FatEditor::FatEditor(const QString& name, const QString& offsetHex, const QString& sizeHex,
                     SaveFunction save, QWidget* parent)
    : QDialog(parent), saveFunction_(std::move(save)) {
    setObjectName("FAT_Editor");
    setWindowTitle("Table Editor");
    setAccessibleName("Table Editor");

    name_ = box(this, "txtName", name, "Name");
    name_->setValidator(new Latin1Validator(name_));
    name_->setMinimumWidth(name_->fontMetrics().horizontalAdvance(QString(36, QChar('M'))));
    offset_ = box(this, "txtOffset", offsetHex, "Offset (Hex)");
    size_ = box(this, "txtSize", sizeHex, "Size (Hex)");

    auto* form = new QFormLayout;
    form->addRow("&Name:", name_);
    form->addRow("&Offset (Hex):", offset_);
    form->addRow("Si&ze (Hex):", size_);

    saveButton_ = new QPushButton("&Save", this);
    saveButton_->setObjectName("cmdSave");
    saveButton_->setAccessibleName("Save");
    saveButton_->setDefault(true);
    cancelButton_ = new QPushButton("Cancel", this);
    cancelButton_->setObjectName("cmdCancel");
    cancelButton_->setAccessibleName("Cancel");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveButton_);
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(saveButton_, &QPushButton::clicked, this, &FatEditor::save);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void FatEditor::save() {
    if (saveFunction_(name_->text(), offset_->text(), size_->text())) accept();
}

}  // namespace ov::edit
