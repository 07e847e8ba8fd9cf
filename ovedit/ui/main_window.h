#pragma once
// OVEdit's main window: the data editor's tabs, a File menu with the recent
// archives, the game folder shown in the title bar and kept between runs, and a
// status bar that tells what the list's selection amounts to.
//
// Tabs are registered by a key (the --tab option names them) and a title: the hog
// tab, the ship stats and weapons tab, the 3DS conversion tab. A file dropped on the
// window from outside opens as an archive, or, a .3ds model, on the conversion tab.

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QUndoGroup;
class QUndoStack;

namespace ov::desktop {
class QtReporter;
class ValueLabel;
}

namespace ov::edit {

class ConvertTab;
class HogTab;
class ShipsTab;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // With `useSettings` the window reads and keeps its settings (game folder, recent
    // archives, geometry, the tabs' own); without it, it starts plain and keeps
    // nothing, as for a screenshot.
    explicit MainWindow(bool useSettings = true, QWidget* parent = nullptr);
    ~MainWindow() override;

    static constexpr int kMaxRecentArchives = 8;

    desktop::QtReporter& reporter() { return *reporter_; }
    QTabWidget* tabs() const { return tabs_; }
    HogTab* hogTab() const { return hogTab_; }
    ShipsTab* shipsTab() const { return shipsTab_; }
    ConvertTab* convertTab() const { return convertTab_; }

    // The Edit menu's Undo and Redo act on the stack of the tab in front.
    void registerUndoStack(QWidget* tab, QUndoStack* stack);
    QUndoGroup* undoGroup() const { return undoGroup_; }

    // The OVTool program the tabs start (beside OVEdit unless set).
    void setToolProgram(const QString& program);

    // The keys of the tabs, in order ("hog", "ships", "convert").
    QStringList tabKeys() const;
    // Brings the tab with this key to the front; false when there is none.
    bool showTab(const QString& key);

    QString gameFolder() const { return gameFolder_; }
    // Takes a game folder (kept with the settings) and suggests its resource.hog on
    // the hog tab.
    void setGameFolder(const QString& folder);
    // Asks for the game folder with a folder dialog; when the folder has no
    // resource.hog, asks whether to take it anyway. False when nothing was taken.
    bool chooseGameFolder();

    // Opens an archive on the hog tab and brings the tab to the front.
    bool openArchive(const QString& path);
    // A .3ds model or a mesh the conversion tab reads goes to that tab as its source;
    // anything else opens as an archive.
    bool openFile(const QString& path);
    QStringList recentArchives() const { return recent_; }

    // Work still going on in the background (the Packed column, a preview).
    bool backgroundWorkRunning() const;
    // Calls `done` once no background work is left, or after `timeoutMs`.
    void whenSettled(int timeoutMs, std::function<void()> done);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A tab's status label, when it has one, stands in the status bar while the tab
    // is in front.
    void addTab(QWidget* tab, const QString& key, const QString& title,
                QLabel* statusLabel = nullptr);
    void createActions();
    void createMenus();
    void createStatusBar();
    void readSettings();
    void writeSettings();
    void updateTitle();
    void followUndoStack();
    void updateRecentMenu();
    void rememberArchive(const QString& path);
    void browseForArchive();
    void about();

    bool useSettings_;
    std::unique_ptr<desktop::QtReporter> reporter_;
    QTabWidget* tabs_ = nullptr;
    HogTab* hogTab_ = nullptr;
    ShipsTab* shipsTab_ = nullptr;
    ConvertTab* convertTab_ = nullptr;
    QStringList tabKeys_;
    QList<QLabel*> tabStatus_;

    QString gameFolder_;
    QStringList recent_;
    bool closeWhenIdle_ = false;

    QUndoGroup* undoGroup_ = nullptr;
    QList<QPair<QWidget*, QUndoStack*>> undoStacks_;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;

    QMenu* recentMenu_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* closeArchiveAction_ = nullptr;
    QAction* gameFolderAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    desktop::ValueLabel* selectionLabel_ = nullptr;
};

}  // namespace ov::edit
