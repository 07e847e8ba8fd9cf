#include "ovedit/ui/hog_tab.h"

#include <QAction>
#include <QDir>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
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
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QScrollArea>
#include <QSplitter>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "common/fileio.h"
#include "ovedit/ui/archive_workspace.h"
#include "ovedit/ui/entry_dialog.h"
#include "ovedit/ui/entry_drag.h"
#include "ovedit/ui/fat_editor.h"
#include "ovedit/ui/hog_archive_bar.h"
#include "ovedit/ui/hog_commands.h"
#include "ovedit/ui/hog_entry_list.h"
#include "ovedit/ui/hog_list_model.h"
#include "ovedit/ui/hog_preview.h"
#include "ovedit/ui/ui_text.h"
#include "common/ui/drops.h"
#include "common/ui/job_runner.h"
#include "common/ui/qt_reporter.h"
#include "common/ui/value_label.h"

namespace ov::edit {

using archive::ExtractMode;
using archive::HogArchive;
using archive::HogEditPlan;

namespace {

constexpr const char* kTitle = "OV Edit";

}  // namespace

// ---- HogTab ---------------------------------------------------------------------------

HogTab::HogTab(desktop::QtReporter& reporter, QWidget* parent) : QWidget(parent), reporter_(reporter) {
    setObjectName("hogTab");
    setAccessibleName("Hog Editor");
    model_ = new HogListModel(this);
    proxy_ = new HogFilterModel(this);
    proxy_->setSourceModel(model_);
    // An extraction or a rebuild gets a thread of its own, so previews never wait behind it.
    runner_ = std::make_unique<desktop::JobRunner>(this, reporter_);
    connect(runner_.get(), &desktop::JobRunner::progressed, this, &HogTab::showProgress);
    createControls();
    createPopupMenu();
    connectSignals();
    updateCommands();
    preview_->clear();
}

// The tab lists the new snapshot itself, once the list's model has it.
void HogTab::takeArchive(std::shared_ptr<const HogArchive> archive) {
    const QSignalBlocker quiet(ws_);
    model_->setPlan(nullptr);
    ws_->setArchive(std::move(archive));
}

bool HogTab::hasPendingChanges() const {
    return ws_->hasPendingChanges();
}

const archive::HogEditPlan* HogTab::editPlan() const {
    return ws_->plan();
}

QUndoStack* HogTab::undoStack() const {
    return ws_->undoStack();
}

HogTab::~HogTab() {
    // A running extraction or rebuild reads the archive and the plan: it is stopped
    // (answering its questions meanwhile) before they go.
    runner_.reset();
}

void HogTab::createControls() {
    archiveBar_ = new HogArchiveBar(this);
    entryList_ = new HogEntryList(model_, proxy_, this);
    list_ = entryList_->view();
    list_->setDropAllowed([this] { return archive_ != nullptr && !busy_ && !entryDialog_; });
    list_->setDragFactory([this] { return makeDragData(); });
    changesBar_ = new HogChangesBar(this);
    preview_ = new HogPreview(this);
    extractBox_ = new HogExtractBox(this);
    fatBox_ = new HogFatBox(this);

    auto* listSide = new QWidget(this);
    auto* listLayout = new QVBoxLayout(listSide);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(entryList_, 1);
    listLayout->addWidget(changesBar_);
    // The preview gives way first: it takes what the list leaves, and may be folded
    // away altogether on a small screen.
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("hogSplitter");
    splitter_->addWidget(listSide);
    splitter_->addWidget(preview_);
    splitter_->setStretchFactor(0, 2);
    splitter_->setStretchFactor(1, 1);
    splitter_->setCollapsible(0, false);
    splitter_->setCollapsible(1, true);

    lblHogStatus_ = new desktop::ValueLabel("Status", this);
    lblHogStatus_->setObjectName("lblHogStatus");
    lblHogStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblHogStatus_->hide();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(extractBox_, 1);
    bottom->addWidget(fatBox_, 0, Qt::AlignBottom);

    // On a small screen (or at a large scale) the tab scrolls rather than pushing
    // its last controls off the window.
    auto* content = new QWidget;
    content->setObjectName("hogContent");
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(archiveBar_);
    layout->addWidget(splitter_, 1);
    layout->addLayout(bottom);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("hogScroll");
    scroll->setAccessibleName("Hog Editor");
    // Tab goes through the controls; the scroll area follows the focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    summaryTimer_.setSingleShot(true);
    summaryTimer_.setInterval(0);
}

QLabel* HogTab::statusLabel() const {
    return lblHogStatus_;
}

// The list's popup menu: the FAT commands, then the entry edits.
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
    popup_->addSeparator();
    pldHogReplace_ = popup_->addAction("R&eplace...", this, [this] {
        if (auto row = commandRow()) replaceEntry(int(*row));
    });
    pldHogReplace_->setObjectName("pldHogReplace");
    pldHogReplace_->setStatusTip(
        "Put another file's bytes in this entry when the changes are applied");
    pldHogRename_ = popup_->addAction("Re&name", this, [this] {
        if (auto row = commandRow()) renameEntry(int(*row));
    });
    pldHogRename_->setObjectName("pldHogRename");
    pldHogRename_->setStatusTip("Give this entry another name, of any length");
    pldHogDelete_ = popup_->addAction("&Delete", this, [this] {
        if (archive_ && !busy_) deleteEntries(selectedListRows());
    });
    pldHogDelete_->setObjectName("pldHogDelete");
    pldHogDelete_->setStatusTip("Take the selected entries out when the changes are applied");
    // The keys work on the list as the menu entries do.
    pldHogRename_->setShortcut(Qt::Key_F2);
    pldHogDelete_->setShortcut(QKeySequence::Delete);
    for (QAction* a : {pldHogRename_, pldHogDelete_}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        list_->addAction(a);
    }
    // Shift+F10 opens the popup on the current row, as the menu key does.
    auto* menuKey = new QAction(this);
    menuKey->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10));
    menuKey->setShortcutContext(Qt::WidgetShortcut);
    list_->addAction(menuKey);
    connect(menuKey, &QAction::triggered, this,
            [this] { showPopup(list_->visualRect(list_->currentIndex()).center()); });
    // The popup disables what does not fit the row it was opened on; the keys then
    // act on whatever is selected, and the commands look for themselves.
    connect(popup_, &QMenu::aboutToHide, this, [this] {
        pldHogRename_->setEnabled(true);
        pldHogDelete_->setEnabled(true);
    });
}

void HogTab::connectSignals() {
    connect(archiveBar_, &HogArchiveBar::openRequested, this, &HogTab::open);
    connect(archiveBar_, &HogArchiveBar::browseRequested, this, &HogTab::browseArchive);
    connect(archiveBar_, &HogArchiveBar::closeRequested, this, &HogTab::closeArchive);
    connect(extractBox_, &HogExtractBox::browseRequested, this, &HogTab::browseDestination);
    connect(extractBox_, &HogExtractBox::extractRequested, this, &HogTab::runExtraction);
    connect(fatBox_, &HogFatBox::backupRequested, this, &HogTab::backupFat);
    connect(fatBox_, &HogFatBox::restoreRequested, this, &HogTab::restoreFat);
    connect(changesBar_, &HogChangesBar::applyRequested, this, &HogTab::applyChanges);
    connect(changesBar_, &HogChangesBar::discardRequested, this, &HogTab::discardChanges);
    connect(changesBar_, &HogChangesBar::undoRequested, this, &HogTab::undoChange);
    connect(list_, &HogListView::filesDropped, this,
            [this](const QStringList& files, const QModelIndex& at) {
                QString folder;
                if (at.isValid()) {
                    const QString name =
                        fromEntryName(model_->nameOf(proxy_->mapToSource(at).row()));
                    const qsizetype sep = name.lastIndexOf('\\');
                    if (sep > 0) folder = name.left(sep);
                }
                addFiles(files, folder);
            });

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
    connect(ws_, &ArchiveWorkspace::planChanged, this, &HogTab::planStepped);
    connect(ws_, &ArchiveWorkspace::fatRewritten, this, &HogTab::fatRewritten);
}

// ---- Opening and closing --------------------------------------------------------------

void HogTab::open() {
    openArchive(archiveBar_->path());
}

bool HogTab::openArchive(const QString& path) {
    if (busy_ || !maybeApply()) return false;
    archiveBar_->setPath(path);
    auto opened = HogArchive::open(toPathText(path), reporter_);
    if (!opened) return false;

    takeArchive(std::make_shared<const HogArchive>(std::move(*opened)));
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

bool HogTab::closeArchive() {
    if (busy_ || !archive_) return false;
    if (!maybeApply()) return false;
    takeArchive(nullptr);
    model_->setArchive(nullptr);
    preview_->clear();
    archiveBar_->showArchive(nullptr);
    setStatus({});
    updateCommands();
    emit archiveClosed();
    emit pendingChangesChanged(false);
    return true;
}

void HogTab::suggestArchive(const QString& path) {
    // The path box follows the game folder in force; a path the user typed stays.
    const QString typed = archiveBar_->path().trimmed();
    if (!archive_ && (typed.isEmpty() || typed == suggested_)) archiveBar_->setPath(path);
    suggested_ = path;
}

void HogTab::showArchiveLabels() {
    archiveBar_->showArchive(archive_.get());
}

void HogTab::browseArchive() {
    QString start = archiveBar_->path().trimmed();
    if (start.isEmpty()) start = QDir::homePath();
    const QString path = QFileDialog::getOpenFileName(this, "Open Archive", start,
                                                      "Hog archives (*.hog *.HOG);;All files (*)");
    if (path.isEmpty()) return;
    // A file chosen in the dialog is meant to be opened, whether or not one is open.
    openArchive(path);
}

void HogTab::browseDestination() {
    const QString folder =
        QFileDialog::getExistingDirectory(this, "Destination Folder", extractBox_->destination());
    if (!folder.isEmpty()) extractBox_->setDestination(QDir::toNativeSeparators(folder));
}

QString HogTab::destination() const {
    return extractBox_->destination();
}

void HogTab::setDestination(const QString& folder) {
    extractBox_->setDestination(folder);
}

void HogTab::setStatus(const QString& text) {
    lblHogStatus_->setValue(text);
    lblHogStatus_->setToolTip(text);
}

void HogTab::updateCommands() {
    const bool open = archive_ != nullptr;
    const bool idle = !busy_;
    archiveBar_->setCommands(open, idle);
    entryList_->setCommands(open, idle);
    extractBox_->setCommands(open, idle);
    // Writing the FAT in place would change the archive under the pending changes.
    const bool fat = idle && ws_->fatCommandsAllowed();
    fatBox_->setCommands(fat, fat && archive_->hasBackup());
    const bool pending = hasPendingChanges();
    changesBar_->showPending(pending ? ws_->plan()->steps().size() : 0, open && idle);
}

// ---- The list -------------------------------------------------------------------------

std::vector<int> HogTab::selectedListRows() const {
    std::vector<int> shown;
    for (const QItemSelectionRange& r : list_->selectionModel()->selection())
        for (int row = r.top(); row <= r.bottom(); ++row)
            shown.push_back(row);
    std::sort(shown.begin(), shown.end());
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    std::vector<int> rows;
    rows.reserve(shown.size());
    for (int row : shown)
        rows.push_back(proxy_->sourceRow(row));
    return rows;
}

// Files still to be added are not in the archive: they are left out.
std::vector<size_t> HogTab::selectedEntryRows() const {
    std::vector<size_t> rows;
    for (int row : selectedListRows())
        if (auto stored = model_->storedIndex(row)) rows.push_back(*stored);
    return rows;
}

QString HogTab::selectionSummary() const {
    if (!archive_) return {};
    // Files still to be added are counted; their bytes are not in the archive yet.
    const std::vector<int> rows = selectedListRows();
    if (rows.empty()) return QStringLiteral("No entries selected");
    uint64_t bytes = 0;
    for (int row : rows)
        if (auto stored = model_->storedIndex(row)) bytes += archive_->entries()[*stored].size;
    return QStringLiteral("%1 selected, %2 bytes")
        .arg(groupedNumber(rows.size()), groupedNumber(bytes));
}

void HogTab::scheduleSelectionSummary() {
    summaryTimer_.start();
}

void HogTab::currentRowChanged() {
    const QModelIndex current = list_->selectionModel()->currentIndex();
    const auto stored =
        current.isValid() ? model_->storedIndex(proxy_->mapToSource(current).row()) : std::nullopt;
    if (!archive_ || !stored) {
        preview_->clear();
        return;
    }
    preview_->showEntry(archive_, int(*stored));
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
    const QString destText = extractBox_->destination().trimmed();
    if (!offerDestination(destText)) return;
    const std::string dest = toPathText(destText);

    desktop::JobWindowText texts;
    texts.objectName = "hogExtractProgress";
    texts.accessibleName = "Extraction progress";
    texts.title = kTitle;
    texts.label = mode == ExtractMode::Raw ? "Extracting..." : "Unpacking and extracting...";
    texts.total = rows.size();
    texts.describe = [](const Progress& p) { return fromEntryName(p.status); };
    setBusy(true);
    runner_->run<archive::ExtractResult>(
        texts,
        [archive = archive_, rows = std::move(rows), dest, mode](const Job& job,
                                                                 Reporter& reporter) {
            return archive::extract(*archive, rows, dest, mode, job, reporter);
        },
        [this](archive::ExtractResult result) {
            lastExtraction_ = result;
            extractionDone();
        });
}

bool HogTab::offerDestination(const QString& folder) {
    // An empty or unusable destination is the library's to refuse, in its words.
    if (folder.isEmpty()) return true;
    const fs::path path = desktop::toPath(folder);
    std::error_code ec;
    if (fs::exists(path, ec) || ec) return true;
    const std::string shown = toPathText(QDir::toNativeSeparators(folder));
    const Answer a = reporter_.question(
        kTitle, "The destination folder " + shown + " doesn't exist. Do you want to create it?",
        Buttons::YesNo, Icon::Question);
    if (a != Answer::Yes) return false;
    fs::create_directories(path, ec);
    if (ec) {
        reporter_.message(kTitle, "Error - can't create the folder " + shown + ": " + ec.message(),
                          Icon::Critical);
        return false;
    }
    return true;
}

void HogTab::showProgress(const Progress& p) {
    if (busy_ && !p.status.empty() && !runner_->cancelRequested())
        setStatus(fromEntryName(p.status));
}

void HogTab::stopExtraction() {
    if (!busy_) return;
    runner_->cancel();
    setStatus("Stopping after the current item...");
}

void HogTab::extractionDone() {
    const archive::ExtractResult& r = lastExtraction_;
    if (archive_) archiveBar_->showCount(archive_->itemCount());
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
    const auto row = commandRow();
    const bool stored = row && model_->storedIndex(int(*row));
    // The FAT commands write in place: not while entry edits are pending.
    const bool inPlace = stored && ws_->fatCommandsAllowed();
    pldHogCopy_->setEnabled(inPlace);
    pldHogPaste_->setEnabled(inPlace && ws_->copiedEntry().has_value());
    pldHogProperties_->setEnabled(inPlace);
    auto live = [this](int r) {
        const archive::PlannedEntry* p = model_->planned(r);
        return !p || !p->deleted;
    };
    pldHogReplace_->setEnabled(row && live(int(*row)));
    pldHogRename_->setEnabled(row && live(int(*row)));
    const std::vector<int> selected = selectedListRows();
    pldHogDelete_->setEnabled(std::any_of(selected.begin(), selected.end(), live));
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
    if (!row || !ws_->copyEntry(*row)) return;
    setStatus(QStringLiteral("Copied entry %1, %2")
                  .arg(*row + 1)
                  .arg(fromEntryName(archive_->entries()[*row].name)));
}

void HogTab::pasteEntry() {
    auto row = commandRow();
    const auto from = ws_->copiedEntry();
    if (busy_ || !row || !from) return;
    if (ws_->pasteEntry(*row, reporter_))
        setStatus(QStringLiteral("Entry %1 now points at the data of entry %2")
                      .arg(*row + 1)
                      .arg(*from + 1));
}

void HogTab::editEntry() {
    auto row = commandRow();
    if (!ws_->fatCommandsAllowed() || busy_ || !row) return;
    const archive::HogEntry& e = archive_->entries()[*row];
    const size_t r = *row;
    auto* editor = new FatEditor(
        fromEntryName(e.name), QString::fromStdString(archive::hexText(e.offset)),
        QString::fromStdString(archive::hexText(e.size)),
        [this, r](const QString& name, const QString& offset, const QString& size) {
            const bool saved = ws_->saveEntry(r, name.toLatin1().toStdString(),
                                              offset.toStdString(), size.toStdString(), reporter_);
            if (saved) setStatus(QStringLiteral("Entry %1 saved").arg(r + 1));
            return saved;
        },
        this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->open();
}

void HogTab::backupFat() {
    if (busy_) return;
    const bool saved = ws_->backupFat(reporter_);
    updateCommands();
    if (saved)
        setStatus(QStringLiteral("FAT saved to %1").arg(fromPath(archive_->backupPath().string())));
}

void HogTab::restoreFat() {
    if (busy_) return;
    if (ws_->restoreFat(reporter_))
        setStatus(
            QStringLiteral("FAT restored from %1").arg(fromPath(archive_->backupPath().string())));
}

// The workspace took a fresh read after a FAT command: the list shows it, and the
// preview follows when the current row changed.
void HogTab::fatRewritten() {
    const QModelIndex current = list_->selectionModel()->currentIndex();
    const int currentRow = current.isValid() ? proxy_->mapToSource(current).row() : -1;
    model_->setPlan(nullptr);
    const std::vector<int> changed = model_->updateArchive(archive_);
    proxy_->resort();
    showArchiveLabels();
    updateCommands();
    if (currentRow >= 0 && std::find(changed.begin(), changed.end(), currentRow) != changed.end())
        currentRowChanged();
    scheduleSelectionSummary();
}

// ---- Entry edits ------------------------------------------------------------------------


namespace {

QString refusal(const Status& status) {
    return status ? QString() : fromUtf8(status.error().message);
}

fs::path pathOf(const QString& file) {
    return ov::pathFromText(file.toUtf8().toStdString());
}

}  // namespace

// After a step was taken or taken back: the list, the commands and the status follow.
void HogTab::planStepped() {
    if (model_->plan() != ws_->plan())
        model_->setPlan(ws_->plan());
    else
        model_->planChanged();
    proxy_->resort();
    if (ws_->hasPendingChanges())
        setStatus(fromUtf8(archive::describe(ws_->plan()->steps().back())));
    else
        setStatus(QStringLiteral("No changes pending"));
    updateCommands();
    currentRowChanged();
    scheduleSelectionSummary();
    emit pendingChangesChanged(hasPendingChanges());
}

void HogTab::addFiles(const QStringList& files, const QString& folder) {
    if (!archive_ || busy_ || files.isEmpty()) return;
    pendingAdds_ << files;
    pendingFolder_ = folder;
    if (!entryDialog_) openNextAdd();
}

void HogTab::openNextAdd() {
    if (pendingAdds_.isEmpty() || !archive_ || busy_) {
        pendingAdds_.clear();
        return;
    }
    const QString file = pendingAdds_.takeFirst();
    const QString fileName = QFileInfo(file).fileName();
    const QString name = pendingFolder_.isEmpty() ? fileName : pendingFolder_ + '\\' + fileName;
    auto* dialog = new EntryDialog(
        EntryDialog::Mode::Add, name, file, false,
        [this](const QString& n) { return refusal(ws_->checkName(n.toLatin1().toStdString())); },
        [this](const EntryDialog& d) {
            return refusal(
                ws_->add(pathOf(d.file()), d.entryName().toLatin1().toStdString(), d.pack()));
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    entryDialog_ = dialog;
    connect(dialog, &QDialog::finished, this, [this](int result) {
        entryDialog_.clear();
        if (result == QDialog::Accepted) {
            // The new row is shown and made current.
            const QModelIndex added =
                proxy_->mapFromSource(model_->index(model_->entryCount() - 1, 0));
            if (added.isValid()) {
                list_->scrollTo(added);
                list_->selectionModel()->setCurrentIndex(
                    added, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            }
        } else if (!pendingAdds_.isEmpty()) {
            setStatus(QStringLiteral("%1 more dropped file(s) not added").arg(pendingAdds_.size()));
            pendingAdds_.clear();
        }
        // The next file is asked about once this dialog has gone.
        QTimer::singleShot(0, this, &HogTab::openNextAdd);
    });
    dialog->open();
}

void HogTab::replaceEntry(int row) {
    if (!archive_ || busy_ || entryDialog_ || row < 0 || row >= model_->entryCount()) return;
    const archive::PlannedEntry* p = model_->planned(row);
    if (p && p->deleted) return;
    // A packed entry is replaced by a packed file unless the user says otherwise.
    const bool packed = model_->packCell(row).state == PackCell::State::Packed || (p && p->pack);
    auto* dialog = new EntryDialog(
        EntryDialog::Mode::Replace, fromEntryName(model_->nameOf(row)),
        p ? fromPath(p->file.string()) : QString(), packed, {},
        [this, row](const EntryDialog& d) {
            return refusal(ws_->replace(size_t(row), pathOf(d.file()), d.pack()));
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    entryDialog_ = dialog;
    connect(dialog, &QDialog::finished, this, [this] { entryDialog_.clear(); });
    dialog->open();
}

void HogTab::renameEntry(int row) {
    if (!archive_ || busy_ || entryDialog_ || row < 0 || row >= model_->entryCount()) return;
    const archive::PlannedEntry* p = model_->planned(row);
    if (p && p->deleted) return;
    const QString present = fromEntryName(model_->nameOf(row));
    auto* dialog = new EntryDialog(
        EntryDialog::Mode::Rename, present, {}, false,
        [this, row](const QString& n) {
            return refusal(ws_->checkName(n.toLatin1().toStdString(), size_t(row)));
        },
        [this, row, present](const EntryDialog& d) {
            if (d.entryName() == present) return QString();
            return refusal(ws_->rename(size_t(row), d.entryName().toLatin1().toStdString()));
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    entryDialog_ = dialog;
    connect(dialog, &QDialog::finished, this, [this] { entryDialog_.clear(); });
    dialog->open();
}

void HogTab::deleteEntries(std::vector<int> rows) {
    if (!archive_ || busy_ || rows.empty()) return;
    size_t taken = 0;
    if (const Status st = ws_->remove(std::move(rows), taken); !st)
        reporter_.message(kTitle, "Error - " + st.error().message, Icon::Exclamation);
    if (taken > 1) setStatus(QStringLiteral("%1 entries to be deleted").arg(taken));
}

void HogTab::undoChange() {
    if (busy_ || !ws_->undoStack()->canUndo()) return;
    ws_->undoStack()->undo();
}

void HogTab::discardChanges() {
    if (!ws_->plan() || busy_) return;
    ws_->discard();
    setStatus(QStringLiteral("Changes discarded; the archive is as it was"));
}

bool HogTab::maybeApply() {
    if (!hasPendingChanges()) return true;
    if (busy_) return false;
    const size_t steps = ws_->plan()->steps().size();
    const std::string text = "The archive " + archive_->path().filename().string() + " has " +
                             std::to_string(steps) + (steps == 1 ? " change" : " changes") +
                             " not applied.\nApply them now? (No discards them.)";
    const Answer a = reporter_.question(kTitle, text, Buttons::YesNoCancel, Icon::Question);
    if (a == Answer::No) {
        discardChanges();
        return true;
    }
    if (a != Answer::Yes) return false;
    applyChanges();
    runner_->wait();
    return !hasPendingChanges();
}

void HogTab::applyChanges() {
    if (!archive_ || busy_ || !hasPendingChanges()) return;
    desktop::JobWindowText texts;
    texts.objectName = "hogApplyProgress";
    texts.accessibleName = "Rebuild progress";
    texts.title = kTitle;
    texts.label = "Rebuilding the archive...";
    texts.total = ws_->plan()->liveCount();
    texts.describe = [](const Progress& p) { return fromEntryName(p.status); };
    setBusy(true);
    setStatus("Rebuilding the archive...");
    // The plan is not touched on this thread while the rebuild runs: every command
    // that would change it is off while the tab is busy.
    runner_->run<std::optional<archive::EditOutcome>>(
        texts,
        [plan = ws_->plan()](const Job& job, Reporter& reporter) {
            return archive::applyHogEdits(*plan, archive::PackOptions{}, job, reporter);
        },
        [this](std::optional<archive::EditOutcome> outcome) { applyDone(std::move(outcome)); });
}

void HogTab::applyDone(std::optional<archive::EditOutcome> outcome) {
    if (!outcome) {
        setStatus(QStringLiteral("Changes not applied; the archive is as it was"));
        setBusy(false);
        emit changesApplied(false);
        return;
    }
    // The archive is read again, and listed as it now is.
    const fs::path path = ws_->plan()->archivePath();
    auto fresh = HogArchive::read(path);
    if (!fresh) {
        reporter_.message(kTitle, "Error - " + fresh.error().describe(), Icon::Critical);
        takeArchive(nullptr);
        model_->setArchive(nullptr);
        preview_->clear();
        setBusy(false);
        emit archiveClosed();
        emit pendingChangesChanged(false);
        emit changesApplied(true);
        return;
    }
    takeArchive(std::make_shared<const HogArchive>(std::move(*fresh)));
    model_->setArchive(archive_);
    showArchiveLabels();
    QString kept;
    const QString org = fromPath(outcome->originalPath.filename().string());
    switch (outcome->original) {
        case archive::OriginalKept::Already:
            kept = QStringLiteral("%1 from the first rebuild is kept as it was").arg(org);
            break;
        case archive::OriginalKept::Linked:
        case archive::OriginalKept::Copied:
            kept = QStringLiteral("the archive as it was is kept as %1").arg(org);
            break;
    }
    setStatus(QStringLiteral("Archive rebuilt: %1 file(s), %2 bytes; %3")
                  .arg(groupedNumber(outcome->written.entries.size()),
                       groupedNumber(outcome->written.hogSize), kept));
    if (proxy_->rowCount() > 0)
        list_->selectionModel()->setCurrentIndex(proxy_->index(0, 0),
                                                 QItemSelectionModel::NoUpdate);
    setBusy(false);
    emit pendingChangesChanged(false);
    emit changesApplied(true);
}

// ---- Settings -------------------------------------------------------------------------

void HogTab::readSettings(const QSettings& settings) {
    extractBox_->setDestination(settings.value("hog/destination").toString());
    splitter_->restoreState(settings.value("hog/splitter").toByteArray());
    list_->horizontalHeader()->restoreState(settings.value("hog/columns").toByteArray());
    // The saved header carries a sort column; the list starts in FAT order all the same.
    list_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

void HogTab::writeSettings(QSettings& settings) const {
    settings.setValue("hog/destination", extractBox_->destination());
    settings.setValue("hog/splitter", splitter_->saveState());
    settings.setValue("hog/columns", list_->horizontalHeader()->saveState());
}

}  // namespace ov::edit
