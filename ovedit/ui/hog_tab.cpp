#include "ovedit/ui/hog_tab.h"

#include <QAction>
#include <QDir>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <algorithm>
#include <chrono>

#include "ovedit/ui/entry_drag.h"
#include "ovedit/ui/fat_editor.h"
#include "ovedit/ui/hog_list_model.h"
#include "ovedit/ui/hog_preview.h"
#include "ovedit/ui/ui_text.h"
#include "ovtool/ui/qt_reporter.h"

namespace ov::edit {

using archive::ExtractMode;
using archive::HogArchive;

namespace {

constexpr const char* kTitle = "OV Edit";

QPushButton* button(QWidget* parent, const char* name, const QString& text,
                    const QString& accessible = {}) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAccessibleName(accessible.isEmpty() ? QString(text).remove('&') : accessible);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& accessible) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setAccessibleName(accessible);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QLineEdit* textBox(QWidget* parent, const char* name, const QString& accessible) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(accessible);
    return e;
}

// A caption for a text box, with its mnemonic leading to it.
QLabel* caption(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

// ---- HogListView ----------------------------------------------------------------------

HogListView::HogListView(QWidget* parent) : QTableView(parent) {}

void HogListView::startDrag(Qt::DropActions) {
    if (!dragFactory_) return;
    QMimeData* data = dragFactory_();
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

// ---- HogTab ---------------------------------------------------------------------------

HogTab::HogTab(ui::QtReporter& reporter, QWidget* parent) : QWidget(parent), reporter_(reporter) {
    setObjectName("hogTab");
    setAccessibleName("Hog Editor");
    model_ = new HogListModel(this);
    proxy_ = new HogFilterModel(this);
    proxy_->setSourceModel(model_);
    // An extraction gets a thread of its own, so previews never wait behind it.
    extractPool_.setMaxThreadCount(1);
    createControls();
    createPopupMenu();
    connectSignals();
    updateCommands();
    preview_->clear();
}

HogTab::~HogTab() {
    // A running extraction may be waiting for an answer on this thread, so it is
    // stopped and this thread keeps answering until it has ended.
    if (extractWatcher_.isRunning()) {
        extractStop_.request_stop();
        while (!extractWatcher_.isFinished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

void HogTab::createControls() {
    // The archive: path, browse, open and close, and what the header says.
    txtHogPath_ = textBox(this, "txtHogPath", "Archive path");
    txtHogPath_->setPlaceholderText("Path of a .hog archive, e.g. resource.hog in the game folder");
    cmdBrowseHog_ = button(this, "cmdBrowseHog", "&Browse...", "Browse for an archive");
    cmdOpen_ = button(this, "cmdOpen", "&Open");
    cmdCloseHog_ = button(this, "cmdCloseHog", "&Close");
    lblHogPath_ = label(this, "lblHogPath", "Archive file");
    lblHogPath_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblHogPath_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblHogSize_ = label(this, "lblHogSize", "Hog size");
    lblHogCount_ = label(this, "lblHogCount", "Number of files");

    auto* archiveBox = new QGroupBox("Archive", this);
    archiveBox->setObjectName("frameHogArchive");
    auto* archiveGrid = new QGridLayout(archiveBox);
    archiveGrid->addWidget(caption(archiveBox, "&Path:", txtHogPath_), 0, 0);
    archiveGrid->addWidget(txtHogPath_, 0, 1);
    archiveGrid->addWidget(cmdBrowseHog_, 0, 2);
    archiveGrid->addWidget(cmdOpen_, 0, 3);
    archiveGrid->addWidget(cmdCloseHog_, 0, 4);
    auto* facts = new QHBoxLayout;
    facts->addWidget(lblHogPath_, 1);
    facts->addSpacing(16);
    facts->addWidget(lblHogSize_);
    facts->addSpacing(16);
    facts->addWidget(lblHogCount_);
    archiveGrid->addLayout(facts, 1, 1, 1, 4);
    archiveGrid->setColumnStretch(1, 1);

    // The filter and the selection buttons above the list.
    txtHogFilter_ = textBox(this, "txtHogFilter", "Filter by name");
    txtHogFilter_->setPlaceholderText("Part of a name");
    txtHogFilter_->setClearButtonEnabled(true);
    lblHogFilterCount_ = label(this, "lblHogFilterCount", "Entries shown");
    cmdSelectAll_ = button(this, "cmdSelectAll", "Select &All");
    cmdSelectNone_ = button(this, "cmdSelectNone", "Select &None");
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(caption(this, "&Filter:", txtHogFilter_));
    filterRow->addWidget(txtHogFilter_, 1);
    filterRow->addWidget(lblHogFilterCount_);
    filterRow->addSpacing(16);
    filterRow->addWidget(cmdSelectAll_);
    filterRow->addWidget(cmdSelectNone_);

    // The list and the preview.
    list_ = new HogListView(this);
    list_->setObjectName("hogList");
    list_->setAccessibleName("Archive entries");
    list_->setModel(proxy_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setDragEnabled(true);
    list_->setDragDropMode(QAbstractItemView::DragOnly);
    list_->setDefaultDropAction(Qt::CopyAction);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setWordWrap(false);
    list_->setAlternatingRowColors(true);
    list_->verticalHeader()->hide();
    // Every row one line high: no row is measured, whatever the archive's size.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    QHeaderView* header = list_->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionsMovable(true);
    const QFontMetrics fm = list_->fontMetrics();
    auto widthFor = [&](const QString& sample) { return fm.horizontalAdvance(sample) + 28; };
    header->resizeSection(HogListModel::Name, widthFor(QString(30, 'n')));
    header->resizeSection(HogListModel::Offset, widthFor("Offset (Hex)"));
    header->resizeSection(HogListModel::Size, widthFor("Size (Hex)"));
    header->resizeSection(HogListModel::Type, widthFor("Type"));
    header->resizeSection(HogListModel::Row, widthFor("100000"));
    header->resizeSection(HogListModel::Packed, widthFor("Yes, 16,777,215 bytes"));
    header->setSectionResizeMode(HogListModel::Name, QHeaderView::Stretch);
    // No sort column at first: the rows stand in FAT order until a header is clicked.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    list_->setSortingEnabled(true);
    list_->setDragFactory([this] { return makeDragData(); });

    preview_ = new HogPreview(this);
    auto* listSide = new QWidget(this);
    auto* listLayout = new QVBoxLayout(listSide);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addLayout(filterRow);
    listLayout->addWidget(list_, 1);
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("hogSplitter");
    splitter_->addWidget(listSide);
    splitter_->addWidget(preview_);
    splitter_->setStretchFactor(0, 3);
    splitter_->setStretchFactor(1, 2);
    splitter_->setChildrenCollapsible(false);

    // Extraction.
    txtHogDest_ = textBox(this, "txtHogDest", "Destination folder");
    txtHogDest_->setPlaceholderText("Folder to extract into");
    cmdBrowseHogDest_ =
        button(this, "cmdBrowseHogDest", "Bro&wse...", "Browse for a destination folder");
    cmdExtract_ = button(this, "cmdExtract", "&Extract");
    cmdExtract_->setToolTip("Copy the selected entries into the destination folder as stored");
    cmdUnpackExtract_ = button(this, "cmdUnpackExtract", "&Unpack and Extract");
    cmdUnpackExtract_->setToolTip(
        "Copy the selected entries into the destination folder, "
        "unpacking the packed ones");
    auto* extractBox = new QGroupBox("Extract selected entries", this);
    extractBox->setObjectName("frameHogExtract");
    auto* extractRow = new QHBoxLayout(extractBox);
    extractRow->addWidget(caption(extractBox, "&Destination:", txtHogDest_));
    extractRow->addWidget(txtHogDest_, 1);
    extractRow->addWidget(cmdBrowseHogDest_);
    extractRow->addWidget(cmdExtract_);
    extractRow->addWidget(cmdUnpackExtract_);

    // The FAT.
    cmdBackupFAT_ = button(this, "cmdBackupFAT", "Backup &FAT");
    cmdBackupFAT_->setToolTip("Save the file allocation table beside the archive (.FAT)");
    cmdRestoreFAT_ = button(this, "cmdRestoreFAT", "&Restore FAT");
    cmdRestoreFAT_->setToolTip("Write the saved file allocation table back over the archive's");
    auto* fatBox = new QGroupBox("File allocation table", this);
    fatBox->setObjectName("frameHogFat");
    auto* fatRow = new QHBoxLayout(fatBox);
    fatRow->addWidget(cmdBackupFAT_);
    fatRow->addWidget(cmdRestoreFAT_);

    lblHogStatus_ = label(this, "lblHogStatus", "Status");
    lblHogStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblHogStatus_->hide();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(extractBox, 1);
    bottom->addWidget(fatBox);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(archiveBox);
    layout->addWidget(splitter_, 1);
    layout->addLayout(bottom);

    filterTimer_.setSingleShot(true);
    filterTimer_.setInterval(120);
    summaryTimer_.setSingleShot(true);
    summaryTimer_.setInterval(0);
}

// The list's popup menu. Entries that change the archive's table are added here.
void HogTab::createPopupMenu() {
    popup_ = new QMenu(this);
    popup_->setObjectName("pldHogPopup");
    popup_->setAccessibleName("Entry commands");
    pldHogCopy_ = popup_->addAction("&Copy entry", this, &HogTab::copyEntry);
    pldHogCopy_->setObjectName("pldHogCopy");
    pldHogCopy_->setStatusTip("Remember this entry, to point another entry at its data");
    pldHogPaste_ = popup_->addAction("&Paste entry", this, &HogTab::pasteEntry);
    pldHogPaste_->setObjectName("pldHogPaste");
    pldHogPaste_->setStatusTip("Point this entry at the copied entry's data");
    popup_->addSeparator();
    pldHogProperties_ = popup_->addAction("P&roperties...", this, &HogTab::editEntry);
    pldHogProperties_->setObjectName("pldHogProperties");
    pldHogProperties_->setStatusTip("Edit this entry's name, offset and size");
}

void HogTab::connectSignals() {
    connect(cmdOpen_, &QPushButton::clicked, this, &HogTab::open);
    connect(txtHogPath_, &QLineEdit::returnPressed, this, [this] {
        if (cmdOpen_->isEnabled()) open();
    });
    connect(cmdBrowseHog_, &QPushButton::clicked, this, &HogTab::browseArchive);
    connect(cmdCloseHog_, &QPushButton::clicked, this, &HogTab::closeArchive);
    connect(cmdBrowseHogDest_, &QPushButton::clicked, this, &HogTab::browseDestination);
    connect(cmdExtract_, &QPushButton::clicked, this, [this] { runExtraction(ExtractMode::Raw); });
    connect(cmdUnpackExtract_, &QPushButton::clicked, this,
            [this] { runExtraction(ExtractMode::Unpack); });
    connect(cmdSelectAll_, &QPushButton::clicked, this, &HogTab::selectAll);
    connect(cmdSelectNone_, &QPushButton::clicked, this, &HogTab::selectNone);
    connect(cmdBackupFAT_, &QPushButton::clicked, this, &HogTab::backupFat);
    connect(cmdRestoreFAT_, &QPushButton::clicked, this, &HogTab::restoreFat);

    connect(txtHogFilter_, &QLineEdit::textChanged, &filterTimer_,
            static_cast<void (QTimer::*)()>(&QTimer::start));
    connect(&filterTimer_, &QTimer::timeout, this, [this] {
        proxy_->setNameFilter(txtHogFilter_->text());
        updateFilterCount();
    });
    connect(proxy_, &QAbstractItemModel::modelReset, this, &HogTab::updateFilterCount);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, &HogTab::updateFilterCount);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, &HogTab::updateFilterCount);

    QItemSelectionModel* selection = list_->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this,
            &HogTab::scheduleSelectionSummary);
    connect(proxy_, &QAbstractItemModel::modelReset, this, &HogTab::scheduleSelectionSummary);
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, &HogTab::scheduleSelectionSummary);
    connect(&summaryTimer_, &QTimer::timeout, this,
            [this] { emit selectionSummaryChanged(selectionSummary()); });
    connect(selection, &QItemSelectionModel::currentRowChanged, this, &HogTab::currentRowChanged);
    // A list sorted by the Packed column while it was being filled is sorted again
    // once it is complete.
    connect(model_, &HogListModel::packScanFinished, this, [this] {
        const QHeaderView* header = list_->horizontalHeader();
        if (header->sortIndicatorSection() == HogListModel::Packed)
            proxy_->sort(HogListModel::Packed, header->sortIndicatorOrder());
    });
    connect(list_, &QWidget::customContextMenuRequested, this, &HogTab::showPopup);

    connect(&extractWatcher_, &QFutureWatcher<archive::ExtractResult>::finished, this,
            &HogTab::extractionDone);
}

// ---- Opening and closing --------------------------------------------------------------

void HogTab::open() {
    openArchive(txtHogPath_->text());
}

bool HogTab::openArchive(const QString& path) {
    if (busy_) return false;
    txtHogPath_->setText(path);
    auto opened = HogArchive::open(toPathText(path), reporter_);
    if (!opened) return false;

    archive_ = std::make_shared<const HogArchive>(std::move(*opened));
    copiedRow_.reset();
    model_->setArchive(archive_);
    showArchiveLabels();
    setStatus(archive_->usedCompanion()
                  ? QStringLiteral("The item count was taken from the FAT file beside the archive")
                  : QString());
    // The first row is current, not selected: the preview shows it and the keyboard
    // starts there.
    if (proxy_->rowCount() > 0)
        list_->selectionModel()->setCurrentIndex(proxy_->index(0, 0),
                                                 QItemSelectionModel::NoUpdate);
    updateCommands();
    emit archiveOpened(fromPath(archive_->path().string()));
    return true;
}

void HogTab::closeArchive() {
    if (busy_ || !archive_) return;
    archive_.reset();
    copiedRow_.reset();
    model_->setArchive(nullptr);
    preview_->clear();
    lblHogPath_->clear();
    lblHogPath_->setToolTip({});
    lblHogSize_->clear();
    lblHogCount_->clear();
    setStatus({});
    updateCommands();
    emit archiveClosed();
}

void HogTab::suggestArchive(const QString& path) {
    if (!archive_ && txtHogPath_->text().trimmed().isEmpty()) txtHogPath_->setText(path);
}

void HogTab::showArchiveLabels() {
    const QString path = fromPath(archive_->path().string());
    lblHogPath_->setText(path);
    lblHogPath_->setToolTip(path);
    lblHogSize_->setText(fromUtf8(archive::hogSizeText(archive_->hogSize())));
    lblHogCount_->setText(fromUtf8(archive::countText(archive_->itemCount())));
}

void HogTab::browseArchive() {
    QString start = txtHogPath_->text().trimmed();
    if (start.isEmpty()) start = QDir::homePath();
    const QString path = QFileDialog::getOpenFileName(this, "Open Archive", start,
                                                      "Hog archives (*.hog *.HOG);;All files (*)");
    if (path.isEmpty()) return;
    // A file chosen in the dialog is meant to be opened, whether or not one is open.
    openArchive(path);
}

void HogTab::browseDestination() {
    const QString folder =
        QFileDialog::getExistingDirectory(this, "Destination Folder", txtHogDest_->text());
    if (!folder.isEmpty()) txtHogDest_->setText(QDir::toNativeSeparators(folder));
}

QString HogTab::destination() const {
    return txtHogDest_->text();
}

void HogTab::setDestination(const QString& folder) {
    txtHogDest_->setText(folder);
}

void HogTab::setStatus(const QString& text) {
    lblHogStatus_->setText(text);
    lblHogStatus_->setToolTip(text);
}

void HogTab::updateCommands() {
    const bool open = archive_ != nullptr;
    const bool idle = !busy_;
    cmdOpen_->setEnabled(!open && idle);
    for (QWidget* w :
         {static_cast<QWidget*>(cmdBrowseHog_), static_cast<QWidget*>(txtHogPath_),
          static_cast<QWidget*>(cmdBrowseHogDest_), static_cast<QWidget*>(txtHogDest_)})
        w->setEnabled(idle);
    for (QWidget* w :
         {static_cast<QWidget*>(cmdCloseHog_), static_cast<QWidget*>(cmdExtract_),
          static_cast<QWidget*>(cmdUnpackExtract_), static_cast<QWidget*>(cmdSelectAll_),
          static_cast<QWidget*>(cmdSelectNone_), static_cast<QWidget*>(cmdBackupFAT_)})
        w->setEnabled(open && idle);
    cmdRestoreFAT_->setEnabled(open && idle && archive_->hasBackup());
    txtHogFilter_->setEnabled(open);
    updateFilterCount();
}

// ---- The list -------------------------------------------------------------------------

void HogTab::updateFilterCount() {
    if (!archive_) {
        lblHogFilterCount_->clear();
        return;
    }
    lblHogFilterCount_->setText(
        QStringLiteral("%1 of %2").arg(proxy_->rowCount()).arg(model_->entryCount()));
}

void HogTab::selectAll() {
    list_->selectAll();
}

void HogTab::selectNone() {
    list_->clearSelection();
}

std::vector<size_t> HogTab::selectedEntryRows() const {
    std::vector<int> shown;
    for (const QItemSelectionRange& r : list_->selectionModel()->selection())
        for (int row = r.top(); row <= r.bottom(); ++row)
            shown.push_back(row);
    std::sort(shown.begin(), shown.end());
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    std::vector<size_t> rows;
    rows.reserve(shown.size());
    for (int row : shown)
        rows.push_back(size_t(proxy_->sourceRow(row)));
    return rows;
}

QString HogTab::selectionSummary() const {
    if (!archive_) return {};
    const std::vector<size_t> rows = selectedEntryRows();
    if (rows.empty()) return QStringLiteral("No entries selected");
    uint64_t bytes = 0;
    for (size_t row : rows)
        bytes += archive_->entries()[row].size;
    return QStringLiteral("%1 selected, %2 bytes")
        .arg(groupedNumber(rows.size()), groupedNumber(bytes));
}

void HogTab::scheduleSelectionSummary() {
    summaryTimer_.start();
}

void HogTab::currentRowChanged() {
    const QModelIndex current = list_->selectionModel()->currentIndex();
    if (!archive_ || !current.isValid()) {
        preview_->clear();
        return;
    }
    preview_->showEntry(archive_, proxy_->mapToSource(current).row());
}

bool HogTab::backgroundWorkRunning() const {
    return model_->packScanRunning() || preview_->isBusy();
}

QMimeData* HogTab::makeDragData() {
    if (!archive_) return nullptr;
    std::vector<size_t> rows = selectedEntryRows();
    if (rows.empty()) return nullptr;
    if (!dragRoot_) {
        dragRoot_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/OVEdit-drag-XXXXXX");
        if (!dragRoot_->isValid()) {
            reporter_.message(kTitle,
                              "Error - can't create a temporary folder for the dragged files",
                              Icon::Critical);
            dragRoot_.reset();
            return nullptr;
        }
    }
    const QString folder = dragRoot_->filePath(QString::number(++dragCount_));
    if (!QDir().mkpath(folder)) return nullptr;
    return new EntryDragData(archive_, std::move(rows), folder, reporter_);
}

// ---- Extraction -----------------------------------------------------------------------

void HogTab::runExtraction(ExtractMode mode) {
    if (!archive_ || busy_) return;
    std::vector<size_t> rows = selectedEntryRows();
    const std::string dest = toPathText(txtHogDest_->text());

    extractStop_ = std::stop_source();
    progressCancelled_ = false;
    progress_ = new QProgressDialog(this);
    progress_->setObjectName("hogExtractProgress");
    progress_->setWindowTitle(kTitle);
    progress_->setAccessibleName("Extraction progress");
    progress_->setLabelText(mode == ExtractMode::Raw ? "Extracting..."
                                                     : "Unpacking and extracting...");
    progress_->setRange(0, int(std::min<size_t>(rows.size(), INT_MAX)));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(400);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumWidth(progress_->fontMetrics().horizontalAdvance(QString(56, 'x')));
    // Its Cancel button, and Escape or closing it, all stop the run.
    connect(progress_, &QProgressDialog::canceled, this, &HogTab::stopExtraction);
    connect(progress_, &QDialog::rejected, this, &HogTab::stopExtraction);
    setBusy(true);

    Job job;
    job.stop = extractStop_.get_token();
    // Called on the worker after every item; the window hears of it at most every
    // 50 ms, and always of the last item.
    job.progress = [this,
                    last = std::chrono::steady_clock::time_point()](const Progress& p) mutable {
        const auto now = std::chrono::steady_clock::now();
        if (p.done != 0 && p.done != p.total && now - last < std::chrono::milliseconds(50)) return;
        last = now;
        QMetaObject::invokeMethod(
            this, [this, p] { showProgress(p); }, Qt::QueuedConnection);
    };
    extractWatcher_.setFuture(
        QtConcurrent::run(&extractPool_, [archive = archive_, rows = std::move(rows), dest, mode,
                                          job = std::move(job), &reporter = reporter_] {
            return archive::extract(*archive, rows, dest, mode, job, reporter);
        }));
}

void HogTab::showProgress(const Progress& p) {
    if (!busy_) return;
    if (!p.status.empty()) setStatus(fromEntryName(p.status));
    if (!progress_ || progressCancelled_) return;
    progress_->setMaximum(int(std::min<uint64_t>(p.total, INT_MAX)));
    progress_->setValue(int(std::min<uint64_t>(p.done, INT_MAX)));
    if (!p.status.empty()) progress_->setLabelText(fromEntryName(p.status));
}

void HogTab::stopExtraction() {
    if (!busy_) return;
    progressCancelled_ = true;
    extractStop_.request_stop();
    setStatus("Stopping after the current item...");
}

void HogTab::extractionDone() {
    lastExtraction_ = extractWatcher_.result();
    if (progress_) progress_->deleteLater();
    progress_.clear();
    const archive::ExtractResult& r = lastExtraction_;
    if (archive_) lblHogCount_->setText(fromUtf8(archive::countText(archive_->itemCount())));
    QString status = QStringLiteral("%1 file(s) written").arg(groupedNumber(r.written));
    if (r.skipped) status += QStringLiteral(", %1 not packed and skipped").arg(r.skipped);
    if (r.errors) status += QStringLiteral(", %1 not written for an error").arg(r.errors);
    if (r.stopped || r.cancelled) status += QStringLiteral("; stopped before the end");
    setStatus(status);
    setBusy(false);
    emit extractionFinished();
}

void HogTab::setBusy(bool busy) {
    busy_ = busy;
    updateCommands();
    emit busyChanged(busy);
}

// ---- FAT commands ---------------------------------------------------------------------

void HogTab::showPopup(const QPoint& pos) {
    if (!archive_ || busy_) return;
    const bool one = commandRow().has_value();
    pldHogCopy_->setEnabled(one);
    pldHogPaste_->setEnabled(one && copiedRow_.has_value());
    pldHogProperties_->setEnabled(one);
    popup_->popup(list_->viewport()->mapToGlobal(pos));
}

std::optional<size_t> HogTab::commandRow() const {
    const QModelIndex current = list_->selectionModel()->currentIndex();
    if (current.isValid() && list_->selectionModel()->isRowSelected(current.row()))
        return size_t(proxy_->mapToSource(current).row());
    const std::vector<size_t> rows = selectedEntryRows();
    if (rows.empty()) return std::nullopt;
    return rows.front();
}

void HogTab::copyEntry() {
    auto row = commandRow();
    if (!archive_ || !row) return;
    copiedRow_ = row;
    setStatus(QStringLiteral("Copied entry %1, %2")
                  .arg(*row + 1)
                  .arg(fromEntryName(archive_->entries()[*row].name)));
}

void HogTab::pasteEntry() {
    auto row = commandRow();
    if (!archive_ || busy_ || !row || !copiedRow_) return;
    const size_t from = *copiedRow_, to = *row;
    if (editFat([&](HogArchive& a) { return archive::pasteEntry(a, from, to, reporter_); }, true))
        setStatus(QStringLiteral("Entry %1 now points at the data of entry %2")
                      .arg(to + 1)
                      .arg(from + 1));
}

void HogTab::editEntry() {
    auto row = commandRow();
    if (!archive_ || busy_ || !row) return;
    const archive::HogEntry& e = archive_->entries()[*row];
    const size_t r = *row;
    auto* editor = new FatEditor(
        fromEntryName(e.name), QString::fromStdString(archive::hexText(e.offset)),
        QString::fromStdString(archive::hexText(e.size)),
        [this, r](const QString& name, const QString& offset, const QString& size) {
            const bool saved = editFat(
                [&](HogArchive& a) {
                    return archive::saveEntry(a, r, name.toLatin1().toStdString(),
                                              offset.toStdString(), size.toStdString(), reporter_);
                },
                true);
            if (saved) setStatus(QStringLiteral("Entry %1 saved").arg(r + 1));
            return saved;
        },
        this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->open();
}

void HogTab::backupFat() {
    if (!archive_ || busy_) return;
    if (editFat([&](HogArchive& a) { return archive::backupFat(a, reporter_); }, false))
        setStatus(QStringLiteral("FAT saved to %1").arg(fromPath(archive_->backupPath().string())));
}

void HogTab::restoreFat() {
    if (!archive_ || busy_) return;
    if (editFat([&](HogArchive& a) { return archive::restoreFat(a, reporter_); }, true))
        setStatus(
            QStringLiteral("FAT restored from %1").arg(fromPath(archive_->backupPath().string())));
}

bool HogTab::editFat(const std::function<bool(HogArchive&)>& command, bool changesFat) {
    auto fresh = HogArchive::read(archive_->path());
    if (!fresh) {
        reporter_.message(kTitle, "Error - " + fresh.error().describe(), Icon::Critical);
        return false;
    }
    auto next = std::make_shared<HogArchive>(std::move(*fresh));
    const bool done = command(*next);
    // Even a refused command leaves the fresh read as true as the old snapshot.
    if (changesFat) adopt(std::move(next));
    updateCommands();
    return done;
}

void HogTab::adopt(std::shared_ptr<const HogArchive> archive) {
    const QModelIndex current = list_->selectionModel()->currentIndex();
    const int currentRow = current.isValid() ? proxy_->mapToSource(current).row() : -1;
    archive_ = std::move(archive);
    if (copiedRow_ && *copiedRow_ >= archive_->entries().size()) copiedRow_.reset();
    const std::vector<int> changed = model_->updateArchive(archive_);
    showArchiveLabels();
    if (currentRow >= 0 && std::find(changed.begin(), changed.end(), currentRow) != changed.end())
        currentRowChanged();
    scheduleSelectionSummary();
}

// ---- Settings -------------------------------------------------------------------------

void HogTab::readSettings(const QSettings& settings) {
    txtHogDest_->setText(settings.value("hog/destination").toString());
    splitter_->restoreState(settings.value("hog/splitter").toByteArray());
    list_->horizontalHeader()->restoreState(settings.value("hog/columns").toByteArray());
    // The saved header carries a sort column; the list starts in FAT order all the same.
    list_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

void HogTab::writeSettings(QSettings& settings) const {
    settings.setValue("hog/destination", txtHogDest_->text());
    settings.setValue("hog/splitter", splitter_->saveState());
    settings.setValue("hog/columns", list_->horizontalHeader()->saveState());
}

}  // namespace ov::edit
