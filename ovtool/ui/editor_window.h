#pragma once
// OVTool's window: composes the panels over one model workspace (components,
// the selected component, its attachments and boxes, the 3D view) with the
// menus, the tool bar and the file actions. The workspace holds the model, its
// undo history and the selection; the window holds only what is about windows:
// the file dialogs, the question about unsaved changes, the recent models and
// the window's geometry.
//
// A File-menu action that makes a model in memory (an import) calls
// openBuilt() with it: the model opens as new and unsaved, and Save asks where.
// File > Import... does so through the workspace, which reads the mesh file;
// File > Export... has the workspace write the model for a 3D suite.

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include "common/shp.h"
#include "common/ui/qt_reporter.h"

class QAction;
class QMenu;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTabWidget;

namespace ov::desktop {
class ValueLabel;
}

namespace ov::tool {

class ModelWorkspace;
class ViewPanel;

class EditorWindow : public QMainWindow {
    Q_OBJECT

public:
    // The open and save dialogs' filter.
    static QString fileFilter();
    // The export dialog's filters, in the order of exportSuffixes().
    static QStringList exportFilters();
    static QStringList exportSuffixes();
    // The import dialog's filter: every mesh format this build reads first.
    static QString importFilter();
    static constexpr int kMaxRecentFiles = 8;

    explicit EditorWindow(QWidget* parent = nullptr);
    ~EditorWindow() override;

    // Asks about unsaved changes, then opens the model; a glTF, OBJ or other mesh
    // is imported as a new model. False when the user cancelled or nothing was
    // loaded (the reason has been shown).
    bool openFile(const QString& path);
    // Asks about unsaved changes, then takes a model built in memory as a new,
    // unsaved one; Save As proposes `suggestedName`.
    bool openBuilt(shp::BlockChain chain, const QString& suggestedName);

public slots:
    void open();
    void merge();
    bool save();
    bool saveAs();
    bool exportModel();
    void importModel();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createWidgets();
    void createMenus();
    void readSettings();
    void writeSettings();
    bool maybeSave();
    QString chooseModel(const QString& caption);

    QStringList recentFiles() const;
    void addRecentFile(const QString& path);
    void updateRecentMenu();

    void updateTitle();
    void updateActions();

    desktop::QtReporter reporter_;
    ModelWorkspace* ws_ = nullptr;
    ViewPanel* viewPanel_ = nullptr;
    QScrollArea* leftScroll_ = nullptr;
    QTabWidget* partsTabs_ = nullptr;
    QMetaObject::Connection focusFollower_;
    QSplitter* splitter_ = nullptr;
    desktop::ValueLabel* summary_ = nullptr;
    QPushButton* cmdMerge_ = nullptr;
    QPushButton* cmdSave_ = nullptr;
    QPushButton* cmdSaveAs_ = nullptr;

    QAction* actOpen_ = nullptr;
    QAction* actMerge_ = nullptr;
    QAction* actSave_ = nullptr;
    QAction* actSaveAs_ = nullptr;
    QAction* actExport_ = nullptr;
    QAction* actImport_ = nullptr;
    QAction* actQuit_ = nullptr;
    QAction* actUndo_ = nullptr;
    QAction* actRedo_ = nullptr;
    QAction* toolUndo_ = nullptr;
    QAction* toolRedo_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* recentMenu_ = nullptr;
};

}  // namespace ov::tool
