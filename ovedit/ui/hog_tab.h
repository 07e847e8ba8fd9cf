#pragma once
// The hog tab: opens a HOG archive, lists its FAT, previews entries, extracts them
// as stored or unpacked, backs up, restores and edits the FAT in place, and edits the
// archive's entries (files dropped on the list are added; entries are replaced,
// renamed and deleted from the popup menu) in an edit plan applied in one rebuild.
//
// Every operation goes through ovedit/archive; the tab reads and writes no file of
// its own. The open archive and the pending edit plan, with its undo history, are
// the ArchiveWorkspace's, and so are the FAT commands; extractions and rebuilds run
// on the job runner. The open archive is a read-only snapshot shared with the
// workers (the Packed column, the preview, an extraction, a rebuild).

#include <QPointer>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "common/job.h"
#include "ovedit/archive/hog.h"
#include "ovedit/archive/hog_edit.h"
#include "ovedit/ui/archive_workspace.h"
#include "ovedit/ui/entry_dialog.h"
#include "ovedit/ui/hog_entry_list.h"

class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QMimeData;
class QPushButton;
class QSettings;
class QSplitter;
class QTemporaryDir;
class QUndoStack;

namespace ov::desktop {
class JobRunner;
class QtReporter;
class ValueLabel;
}

namespace ov::edit {

class HogArchiveBar;
class HogChangesBar;
class HogExtractBox;
class HogFatBox;
class HogFilterModel;
class HogListModel;
class HogPreview;

class HogTab : public QWidget {
    Q_OBJECT

public:
    explicit HogTab(desktop::QtReporter& reporter, QWidget* parent = nullptr);
    ~HogTab() override;

    // Puts the path into txtHogPath and opens it as cmdOpen does; an archive already
    // open is replaced only when the new one opens.
    bool openArchive(const QString& path);
    // cmdCloseHog; false when it was not closed (changes pending and Cancel chosen).
    bool closeArchive();
    bool hasArchive() const { return archive_ != nullptr; }
    const std::shared_ptr<const archive::HogArchive>& archive() const { return archive_; }
    ArchiveWorkspace* workspace() const { return ws_; }
    // The entry changes' Undo and Redo, for the Edit menu.
    QUndoStack* undoStack() const;
    // The path box's text, for a start-up that suggests an archive without opening it.
    void suggestArchive(const QString& path);

    QString destination() const;
    void setDestination(const QString& folder);

    // The table indices of the selected rows, in the order the list shows them.
    std::vector<size_t> selectedEntryRows() const;
    // "3 selected, 12,345 bytes", or empty without an archive.
    QString selectionSummary() const;

    // An extraction or a rebuild is running.
    bool isBusy() const { return busy_; }
    // Asks a running extraction to stop after the item it is on, or a rebuild to stop
    // (the archive is then left as it was).
    void stopExtraction();

    // ---- Editing the entries ----
    // Edits taken and not yet applied.
    bool hasPendingChanges() const;
    // The plan the edits are taken into; null before the first edit of an archive.
    const archive::HogEditPlan* editPlan() const;
    // Asks for each file (in turn) its entry name, suggested in `folder` when given,
    // and whether to pack it, then adds it to the plan. Files dropped on the list
    // come here, with the folder of the row they were dropped on.
    void addFiles(const QStringList& files, const QString& folder = {});
    // The dialog asking about a file to add, a replacing file or a new name; null
    // while none is open.
    EntryDialog* entryDialog() const { return entryDialog_; }
    // "Replace...", "Rename" and "Delete" on the given list rows (the popup menu acts
    // on the selected ones).
    void replaceEntry(int row);
    void renameEntry(int row);
    void deleteEntries(std::vector<int> rows);
    // "Apply changes": rebuilds the archive on a worker with a progress dialog; the
    // archive is then read again and listed. Returns at once.
    void applyChanges();
    // "Discard changes".
    void discardChanges();
    // Takes back the last change.
    void undoChange();
    // Before the archive is closed or another opened, or the window closes: with
    // changes pending, asks whether to apply them (and waits for the rebuild), discard
    // them, or cancel. False when the caller should not go on.
    bool maybeApply();
    // The list rows (planned rows under a plan) selected, in the order shown.
    std::vector<int> selectedListRows() const;
    // What the last extraction did.
    const archive::ExtractResult& lastExtraction() const { return lastExtraction_; }
    // The Packed column or the preview is still being worked out.
    bool backgroundWorkRunning() const;

    HogListModel* listModel() const { return model_; }
    HogFilterModel* filterModel() const { return proxy_; }
    HogListView* listView() const { return list_; }
    HogPreview* preview() const { return preview_; }
    QMenu* popupMenu() const { return popup_; }
    // The status label: what the tab is doing or has just done. The main window
    // shows it in its status bar while the tab is in front.
    QLabel* statusLabel() const;
    // Makes the drag data for the selected rows, as a drag out of the list does.
    QMimeData* makeDragData();

    void readSettings(const QSettings& settings);
    void writeSettings(QSettings& settings) const;

signals:
    void archiveOpened(const QString& path);
    void archiveClosed();
    void selectionSummaryChanged(const QString& summary);
    void busyChanged(bool busy);
    void extractionFinished();
    // A rebuild ended: applied, or stopped or failed with the archive as it was.
    void changesApplied(bool applied);
    // Steps were taken, taken back, discarded or applied.
    void pendingChangesChanged(bool pending);

private:
    void createControls();
    void createPopupMenu();
    void connectSignals();
    void updateCommands();
    void showArchiveLabels();
    void setStatus(const QString& text);

    void open();
    void browseArchive();
    void browseDestination();
    void scheduleSelectionSummary();
    void showPopup(const QPoint& pos);
    void currentRowChanged();

    void runExtraction(archive::ExtractMode mode);
    // A destination that is not there yet is created when the user says so; false
    // when the extraction should not go on.
    bool offerDestination(const QString& folder);
    void showProgress(const Progress& progress);
    void extractionDone();
    void setBusy(bool busy);

    // The row the popup commands act on: the current row when it is selected, else
    // the first selected one.
    std::optional<size_t> commandRow() const;
    void copyEntry();
    void pasteEntry();
    void editEntry();
    void planStepped();
    void openNextAdd();
    void applyDone(std::optional<archive::EditOutcome> outcome);
    void backupFat();
    void restoreFat();
    void fatRewritten();
    void takeArchive(std::shared_ptr<const archive::HogArchive> archive);

    desktop::QtReporter& reporter_;
    ArchiveWorkspace workspace_;
    ArchiveWorkspace* const ws_ = &workspace_;
    // The workspace's snapshot.
    const std::shared_ptr<const archive::HogArchive>& archive_ = workspace_.archive();

    HogListModel* model_ = nullptr;
    HogFilterModel* proxy_ = nullptr;

    // The panels the tab is made of.
    HogArchiveBar* archiveBar_ = nullptr;
    HogEntryList* entryList_ = nullptr;
    HogListView* list_ = nullptr;
    HogPreview* preview_ = nullptr;
    QSplitter* splitter_ = nullptr;
    HogChangesBar* changesBar_ = nullptr;
    HogExtractBox* extractBox_ = nullptr;
    HogFatBox* fatBox_ = nullptr;
    desktop::ValueLabel* lblHogStatus_ = nullptr;

    QMenu* popup_ = nullptr;
    QAction* pldHogCopy_ = nullptr;
    QAction* pldHogPaste_ = nullptr;
    QAction* pldHogProperties_ = nullptr;
    QAction* pldHogReplace_ = nullptr;
    QAction* pldHogRename_ = nullptr;
    QAction* pldHogDelete_ = nullptr;

    QTimer summaryTimer_;

    bool busy_ = false;
    std::unique_ptr<desktop::JobRunner> runner_;
    archive::ExtractResult lastExtraction_;

    QPointer<EntryDialog> entryDialog_;
    QStringList pendingAdds_;  // dropped files still to be asked about
    QString pendingFolder_;
    QString suggested_;  // the archive of the game folder, last suggested

    std::unique_ptr<QTemporaryDir> dragRoot_;
    int dragCount_ = 0;
};

}  // namespace ov::edit
