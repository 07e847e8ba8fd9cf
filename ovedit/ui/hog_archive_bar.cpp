#include "ovedit/ui/hog_archive_bar.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "common/ui/value_label.h"
#include "ovedit/ui/controls.h"
#include "ovedit/ui/ui_text.h"

namespace ov::edit {

namespace {

desktop::ValueLabel* valueLabel(QWidget* parent, const char* name, const QString& caption) {
    auto* l = new desktop::ValueLabel(caption, parent);
    l->setObjectName(name);
    return l;
}

}  // namespace

HogArchiveBar::HogArchiveBar(QWidget* parent) : QGroupBox("Archive", parent) {
    setObjectName("frameHogArchive");
    txtHogPath_ = makeTextBox(this, "txtHogPath", "Archive path");
    txtHogPath_->setPlaceholderText("Path of a .hog archive, e.g. resource.hog in the game folder");
    cmdBrowseHog_ = makeButton(this, "cmdBrowseHog", "&Browse...", "Browse for an archive");
    cmdOpen_ = makeButton(this, "cmdOpen", "Ope&n");
    cmdCloseHog_ = makeButton(this, "cmdCloseHog", "&Close");
    lblHogPath_ = valueLabel(this, "lblHogPath", "Archive file");
    // A long path is cut rather than widening the window; the tooltip has it whole.
    lblHogPath_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblHogPath_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblHogSize_ = valueLabel(this, "lblHogSize", "Hog size");
    lblHogCount_ = valueLabel(this, "lblHogCount", "Number of files");

    auto* grid = new QGridLayout(this);
    grid->addWidget(makeCaption(this, "&Path:", txtHogPath_), 0, 0);
    grid->addWidget(txtHogPath_, 0, 1);
    grid->addWidget(cmdBrowseHog_, 0, 2);
    grid->addWidget(cmdOpen_, 0, 3);
    grid->addWidget(cmdCloseHog_, 0, 4);
    auto* facts = new QHBoxLayout;
    facts->addWidget(lblHogPath_, 1);
    facts->addSpacing(12);
    facts->addWidget(lblHogSize_);
    facts->addSpacing(12);
    facts->addWidget(lblHogCount_);
    grid->addLayout(facts, 1, 1, 1, 4);
    grid->setColumnStretch(1, 1);

    connect(cmdOpen_, &QPushButton::clicked, this, &HogArchiveBar::openRequested);
    connect(txtHogPath_, &QLineEdit::returnPressed, this, [this] {
        if (cmdOpen_->isEnabled()) emit openRequested();
    });
    connect(cmdBrowseHog_, &QPushButton::clicked, this, &HogArchiveBar::browseRequested);
    connect(cmdCloseHog_, &QPushButton::clicked, this, &HogArchiveBar::closeRequested);
}

QString HogArchiveBar::path() const {
    return txtHogPath_->text();
}

void HogArchiveBar::setPath(const QString& path) {
    txtHogPath_->setText(path);
}

void HogArchiveBar::showArchive(const archive::HogArchive* archive) {
    if (!archive) {
        for (desktop::ValueLabel* l : {lblHogPath_, lblHogSize_, lblHogCount_})
            l->setValue({});
        lblHogSize_->setCaption("Hog size");
        lblHogPath_->setToolTip({});
        return;
    }
    const QString path = fromPath(archive->path().string());
    lblHogPath_->setValue(path);
    lblHogPath_->setToolTip(path);
    // The text names itself ("Hog Size: 26,741 byte(s)"): read as it is shown.
    lblHogSize_->setCaption({});
    lblHogSize_->setValue(fromUtf8(archive::hogSizeText(archive->hogSize())));
    showCount(archive->itemCount());
}

void HogArchiveBar::showCount(uint32_t itemCount) {
    lblHogCount_->setValue(fromUtf8(archive::countText(itemCount)));
}

void HogArchiveBar::setCommands(bool archiveOpen, bool idle) {
    // Open with an archive open closes it (asking about pending changes) first.
    for (QWidget* w : std::initializer_list<QWidget*>{cmdOpen_, cmdBrowseHog_, txtHogPath_})
        w->setEnabled(idle);
    cmdCloseHog_->setEnabled(archiveOpen && idle);
}

}  // namespace ov::edit
