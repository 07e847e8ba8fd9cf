#pragma once
// The hog tab: opens a HOG archive, lists its FAT, previews entries, extracts them
// as stored or unpacked, and backs up, restores and edits the FAT in place.
//
// Every operation goes through ovedit/archive; the tab reads and writes no file of
// its own. The open archive is a read-only snapshot shared with the workers (the
// Packed column, the preview, an extraction); a FAT command works on a fresh read of
// the archive and the tab then takes that as its snapshot, so nothing a worker is
// reading ever changes under it.

#include <QFutureWatcher>
#include <QPointer>
#include <QTableView>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "common/job.h"
#include "ovedit/archive/hog.h"

class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QMimeData;
class QProgressDialog;
class QPushButton;
class QSettings;
class QSplitter;
class QTemporaryDir;

namespace ov::ui {
class QtReporter;
}

namespace ov::edit {

class HogFilterModel;
class HogListModel;
class HogPreview;

// The list: a table view whose drags carry what the tab makes of the selection.
class HogListView : public QTableView {
    Q_OBJECT

public:
    using DragFactory = std::function<QMimeData*()>;
    explicit HogListView(QWidget* parent = nullptr);
    void setDragFactory(DragFactory factory) { dragFactory_ = std::move(factory); }

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    DragFactory dragFactory_;
};

class HogTab : public QWidget {
    Q_OBJECT

public:
    explicit HogTab(ui::QtReporter& reporter, QWidget* parent = nullptr);
    ~HogTab() override;

    // Puts the path into txtHogPath and opens it as cmdOpen does; an archive already
    // open is replaced only when the new one opens.
    bool openArchive(const QString& path);
    // cmdCloseHog.
    void closeArchive();
    bool hasArchive() const { return archive_ != nullptr; }
    const std::shared_ptr<const archive::HogArchive>& archive() const { return archive_; }
    // The path box's text, for a start-up that suggests an archive without opening it.
    void suggestArchive(const QString& path);

    QString destination() const;
    void setDestination(const QString& folder);

    // The table indices of the selected rows, in the order the list shows them.
    std::vector<size_t> selectedEntryRows() const;
    // "3 selected, 12,345 bytes", or empty without an archive.
    QString selectionSummary() const;

    // An extraction is running.
    bool isBusy() const { return busy_; }
    // Asks a running extraction to stop after the item it is on.
    void stopExtraction();
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
    QLabel* statusLabel() const { return lblHogStatus_; }
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
    void selectAll();
    void selectNone();
    void updateFilterCount();
    void scheduleSelectionSummary();
    void showPopup(const QPoint& pos);
    void currentRowChanged();

    void runExtraction(archive::ExtractMode mode);
    void showProgress(const Progress& progress);
    void extractionDone();
    void setBusy(bool busy);

    // The row the popup commands act on: the current row when it is selected, else
    // the first selected one.
    std::optional<size_t> commandRow() const;
    void copyEntry();
    void pasteEntry();
    void editEntry();
    void backupFat();
    void restoreFat();
    // Runs a FAT command on a fresh read of the archive; when the command may have
    // changed the FAT, the tab takes the fresh archive as its own.
    bool editFat(const std::function<bool(archive::HogArchive&)>& command, bool changesFat);
    void adopt(std::shared_ptr<const archive::HogArchive> archive);

    ui::QtReporter& reporter_;
    std::shared_ptr<const archive::HogArchive> archive_;
    std::optional<size_t> copiedRow_;

    HogListModel* model_ = nullptr;
    HogFilterModel* proxy_ = nullptr;

    QLineEdit* txtHogPath_ = nullptr;
    QPushButton* cmdBrowseHog_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
    QPushButton* cmdCloseHog_ = nullptr;
    QLabel* lblHogPath_ = nullptr;
    QLabel* lblHogSize_ = nullptr;
    QLabel* lblHogCount_ = nullptr;
    QLineEdit* txtHogFilter_ = nullptr;
    QLabel* lblHogFilterCount_ = nullptr;
    QPushButton* cmdSelectAll_ = nullptr;
    QPushButton* cmdSelectNone_ = nullptr;
    QSplitter* splitter_ = nullptr;
    HogListView* list_ = nullptr;
    HogPreview* preview_ = nullptr;
    QLineEdit* txtHogDest_ = nullptr;
    QPushButton* cmdBrowseHogDest_ = nullptr;
    QPushButton* cmdExtract_ = nullptr;
    QPushButton* cmdUnpackExtract_ = nullptr;
    QPushButton* cmdBackupFAT_ = nullptr;
    QPushButton* cmdRestoreFAT_ = nullptr;
    QLabel* lblHogStatus_ = nullptr;

    QMenu* popup_ = nullptr;
    QAction* pldHogCopy_ = nullptr;
    QAction* pldHogPaste_ = nullptr;
    QAction* pldHogProperties_ = nullptr;

    QTimer filterTimer_;
    QTimer summaryTimer_;

    bool busy_ = false;
    QThreadPool extractPool_;
    QFutureWatcher<archive::ExtractResult> extractWatcher_;
    std::stop_source extractStop_;
    QPointer<QProgressDialog> progress_;
    bool progressCancelled_ = false;
    archive::ExtractResult lastExtraction_;

    std::unique_ptr<QTemporaryDir> dragRoot_;
    int dragCount_ = 0;
};

}  // namespace ov::edit
