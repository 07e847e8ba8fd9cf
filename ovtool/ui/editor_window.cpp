#include "ovtool/ui/editor_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "common/ui/model_view.h"
#include "common/ui/paths.h"
#include "common/ui/qt_button_names.h"
#include "common/ui/undo_actions.h"
#include "common/ui/value_label.h"
#include "ovtool/interchange/interchange.h"
#include "ovtool/ui/attachments_panel.h"
#include "ovtool/ui/boxes_panel.h"
#include "ovtool/ui/component_panel.h"
#include "ovtool/ui/components_panel.h"
#include "ovtool/ui/view_panel.h"
#include "ovtool/workspace/model_workspace.h"

namespace ov::tool {

namespace {

constexpr const char* kProgramName = "OVTool";
constexpr const char* kRecentKey = "recentModels";
constexpr const char* kGeometryKey = "geometry";
constexpr const char* kSplitterKey = "splitter";
constexpr int kStatusTimeout = 4000;

using desktop::ModelViewWidget;

}  // namespace

QString EditorWindow::fileFilter() {
    return QStringLiteral("Orvane SHP (*.shp);;All Files (*.*)");
}

QStringList EditorWindow::exportFilters() {
    return {tr("glTF 2.0 (*.gltf)"), tr("glTF 2.0 binary (*.glb)"),
            tr("Wavefront OBJ, geometry only (*.obj)")};
}

QStringList EditorWindow::exportSuffixes() {
    return {QStringLiteral("gltf"), QStringLiteral("glb"), QStringLiteral("obj")};
}

QString EditorWindow::importFilter() {
    QStringList patterns;
    for (const std::string& e : interchange::importExtensions())
        patterns << QStringLiteral("*.") + QString::fromStdString(e);
    return tr("Meshes (%1);;glTF 2.0 (*.gltf *.glb);;All Files (*.*)").arg(patterns.join(' '));
}

EditorWindow::EditorWindow(QWidget* parent) : QMainWindow(parent), reporter_(this) {
    setObjectName("OVToolWindow");
    setAcceptDrops(true);
    ws_ = new ModelWorkspace(reporter_, this);
    ws_->setObjectName("workspace");
    connect(ws_, &ModelWorkspace::fileStateChanged, this, &EditorWindow::updateTitle);
    connect(ws_, &ModelWorkspace::modelReset, this, &EditorWindow::updateActions);
    connect(ws_, &ModelWorkspace::statusChanged, this,
            [this](const QString& text) { statusBar()->showMessage(text, kStatusTimeout); });

    createActions();
    createWidgets();
    createMenus();
    desktop::nameQtButtons(this);
    readSettings();
    updateTitle();
    updateActions();
}

EditorWindow::~EditorWindow() {
    // The panels go while the workspace they call is still there: a focused field
    // that loses its focus says its editing finished. What watches them goes first.
    disconnect(focusFollower_);
    partsTabs_->tabBar()->removeEventFilter(this);
    delete takeCentralWidget();
    delete ws_;
}

// ---- building the window ----------------------------------------------------------

void EditorWindow::createActions() {
    auto make = [this](const char* name, const QString& text, QKeySequence key) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        if (!key.isEmpty()) a->setShortcut(key);
        return a;
    };
    actOpen_ = make("actOpen", tr("&Open SHP File"), QKeySequence::Open);
    actMerge_ = make("actMerge", tr("&Merge SHP"), QKeySequence(tr("Ctrl+M")));
    actSave_ = make("actSave", tr("&Save"), QKeySequence::Save);
    // Not QKeySequence::SaveAs: Windows and plain X11 sessions give it no key.
    actSaveAs_ = make("actSaveAs", tr("Save &As"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    actExport_ = make("actExport", tr("&Export…"), {});
    actExport_->setStatusTip(tr("Write the model as glTF or OBJ for Blender or another 3D suite"));
    actImport_ = make("actImport", tr("&Import…"), {});
    actImport_->setStatusTip(
        tr("Open a glTF, OBJ, FBX or other mesh file as a new model (an exported ship comes back "
           "as it went out)"));
    actQuit_ = make("actQuit", tr("&Quit"), QKeySequence::Quit);
    connect(actExport_, &QAction::triggered, this, &EditorWindow::exportModel);
    connect(actImport_, &QAction::triggered, this, &EditorWindow::importModel);
    connect(actOpen_, &QAction::triggered, this, &EditorWindow::open);
    connect(actMerge_, &QAction::triggered, this, &EditorWindow::merge);
    connect(actSave_, &QAction::triggered, this, &EditorWindow::save);
    connect(actSaveAs_, &QAction::triggered, this, &EditorWindow::saveAs);
    connect(actQuit_, &QAction::triggered, this, &QWidget::close);

    // The Edit menu names the step; Ctrl+Y redoes as well as the platform's key.
    QUndoStack* undo = ws_->undoStack();
    actUndo_ = undo->createUndoAction(this, tr("&Undo"));
    actUndo_->setObjectName("actUndo");
    actUndo_->setShortcut(QKeySequence::Undo);
    actRedo_ = undo->createRedoAction(this, tr("&Redo"));
    actRedo_->setObjectName("actRedo");
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    if (!redoKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Y)))
        redoKeys << QKeySequence(Qt::CTRL | Qt::Key_Y);
    actRedo_->setShortcuts(redoKeys);
    desktop::showStepNamesAsTheyAre(undo, actUndo_, tr("&Undo"), actRedo_, tr("&Redo"));

    // The tool bar's buttons keep their text, so that none of them moves as the
    // step's name changes; the name shows as the button's tip.
    toolUndo_ = make("actToolUndo", tr("Undo"), {});
    toolRedo_ = make("actToolRedo", tr("Redo"), {});
    connect(toolUndo_, &QAction::triggered, undo, &QUndoStack::undo);
    connect(toolRedo_, &QAction::triggered, undo, &QUndoStack::redo);
    connect(undo, &QUndoStack::canUndoChanged, toolUndo_, &QAction::setEnabled);
    connect(undo, &QUndoStack::canRedoChanged, toolRedo_, &QAction::setEnabled);
    connect(undo, &QUndoStack::undoTextChanged, toolUndo_, [this](const QString& text) {
        toolUndo_->setToolTip(text.isEmpty() ? tr("Undo") : tr("Undo %1").arg(text));
    });
    connect(undo, &QUndoStack::redoTextChanged, toolRedo_, [this](const QString& text) {
        toolRedo_->setToolTip(text.isEmpty() ? tr("Redo") : tr("Redo %1").arg(text));
    });
    toolUndo_->setEnabled(false);
    toolRedo_->setEnabled(false);
}

void EditorWindow::createWidgets() {
    auto* left = new QWidget;
    left->setObjectName("leftPanel");
    auto* leftLayout = new QVBoxLayout(left);

    auto* files = new QHBoxLayout;
    auto button = [files](const char* name, QAction* action) {
        auto* b = new QPushButton(action->text());
        b->setObjectName(name);
        b->setAccessibleName(QString(action->text()).remove('&'));
        connect(b, &QPushButton::clicked, action, &QAction::trigger);
        files->addWidget(b);
        return b;
    };
    button("cmdOpen", actOpen_);
    cmdMerge_ = button("cmdMerge", actMerge_);
    cmdSave_ = button("cmdSave", actSave_);
    cmdSaveAs_ = button("cmdSaveAs", actSaveAs_);
    leftLayout->addLayout(files);

    leftLayout->addWidget(new ComponentsPanel(*ws_), 1);
    leftLayout->addWidget(new ComponentPanel(*ws_));
    auto* parts = new QTabWidget;
    parts->setObjectName("tabParts");
    parts->addTab(new AttachmentsPanel(*ws_), tr("Atta&chments"));
    parts->addTab(new BoxesPanel(*ws_), tr("Collision &boxes"));
    leftLayout->addWidget(parts, 1);
    // A page picked by its mnemonic takes the keyboard along to its list (a tab
    // bar's mnemonic alone would leave the focus where it was, on another panel).
    parts->tabBar()->installEventFilter(this);
    partsTabs_ = parts;

    // On a small or scaled screen the panels scroll rather than push the window
    // past the screen's edge.
    leftScroll_ = new QScrollArea;
    leftScroll_->setObjectName("scrollLeft");
    leftScroll_->setWidget(left);
    leftScroll_->setWidgetResizable(true);
    leftScroll_->setFrameShape(QFrame::NoFrame);
    // No Tab stop of its own: the control with the focus keeps itself in view.
    leftScroll_->setFocusPolicy(Qt::NoFocus);
    focusFollower_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // A control reached by its mnemonic comes into view, as one reached by Tab does.
        if (now && leftScroll_->widget()->isAncestorOf(now)) leftScroll_->ensureWidgetVisible(now);
    });

    viewPanel_ = new ViewPanel(*ws_);

    splitter_ = new QSplitter;
    splitter_->setObjectName("splitter");
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(leftScroll_);
    splitter_->addWidget(viewPanel_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    setCentralWidget(splitter_);

    statusBar()->setObjectName("statusBar");
    statusBar()->setAccessibleName(tr("Status"));
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
        statusBar()->setAccessibleName(text.isEmpty() ? tr("Status") : tr("Status: %1").arg(text));
    });
    summary_ = new desktop::ValueLabel(tr("Model"));
    summary_->setObjectName("lblSummary");
    // A long summary is cut, never a reason for the window to be wider; its tip has it whole.
    summary_->setMinimumWidth(1);
    statusBar()->addPermanentWidget(summary_);
    auto showSummary = [this](const QString& text) {
        summary_->setValue(text);
        summary_->setToolTip(text);
    };
    showSummary(viewPanel_->summary());
    connect(viewPanel_, &ViewPanel::summaryChanged, this, showSummary);
}

void EditorWindow::createMenus() {
    ModelViewWidget* view = viewPanel_->view();
    fileMenu_ = menuBar()->addMenu(tr("&File"));
    fileMenu_->addAction(actOpen_);
    recentMenu_ = fileMenu_->addMenu(tr("&Recent models"));
    recentMenu_->setObjectName("mnuRecent");
    fileMenu_->addAction(actMerge_);
    fileMenu_->addSeparator();
    fileMenu_->addAction(actSave_);
    fileMenu_->addAction(actSaveAs_);
    fileMenu_->addSeparator();
    fileMenu_->addAction(actImport_);
    fileMenu_->addAction(actExport_);
    fileMenu_->addSeparator();
    fileMenu_->addAction(view->action(ModelViewWidget::Action::SaveImage));
    fileMenu_->addSeparator();
    fileMenu_->addAction(actQuit_);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(actUndo_);
    edit->addAction(actRedo_);

    QMenu* viewMenu = menuBar()->addMenu(tr("&View"));
    auto* tools = addToolBar(tr("View"));
    tools->setObjectName("viewToolBar");
    tools->addAction(toolUndo_);
    tools->addAction(toolRedo_);
    tools->addSeparator();
    using A = ModelViewWidget::Action;
    for (A a :
         {A::Wireframe, A::Boxes, A::Attachments, A::Normals, A::FrameAll, A::FrameSelected}) {
        viewMenu->addAction(view->action(a));
        tools->addAction(view->action(a));
        if (a == A::Normals) {
            viewMenu->addSeparator();
            tools->addSeparator();
        }
    }
    tools->addAction(view->action(A::SaveImage));
}

bool EditorWindow::eventFilter(QObject* watched, QEvent* event) {
    if (partsTabs_ && watched == partsTabs_->tabBar() && event->type() == QEvent::Shortcut) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (QWidget* page = partsTabs_->currentWidget())
                    page->setFocus(Qt::ShortcutFocusReason);
            },
            Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void EditorWindow::readSettings() {
    QSettings settings;
    const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        QSize size(1180, 760);
        if (const QScreen* s = screen()) size = size.boundedTo(s->availableSize() * 0.95);
        resize(size);
    }
    const QByteArray state = settings.value(kSplitterKey).toByteArray();
    if (state.isEmpty() || !splitter_->restoreState(state)) {
        // The panels as wide as they ask (with room for their scroll bar), the view the rest.
        const int left = leftScroll_->widget()->sizeHint().width() +
                         leftScroll_->verticalScrollBar()->sizeHint().width();
        splitter_->setSizes({left, std::max(width() - left, 1)});
    }
    updateRecentMenu();
}

void EditorWindow::writeSettings() {
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kSplitterKey, splitter_->saveState());
}

void EditorWindow::updateTitle() {
    if (!ws_->loaded()) {
        setWindowTitle(kProgramName);
        setWindowModified(false);
        return;
    }
    setWindowTitle(QStringLiteral("%1[*] - %2").arg(ws_->displayName(), QString(kProgramName)));
    setWindowModified(ws_->modified());
}

void EditorWindow::updateActions() {
    const bool loaded = ws_->loaded();
    for (QAction* a : {actMerge_, actSave_, actSaveAs_, actExport_})
        a->setEnabled(loaded);
    for (QPushButton* b : {cmdMerge_, cmdSave_, cmdSaveAs_})
        b->setEnabled(loaded);
}

// ---- files ------------------------------------------------------------------------

QString EditorWindow::chooseModel(const QString& caption) {
    const QString dir = ws_->hasFileName() ? QFileInfo(ws_->filePath()).absolutePath() : QString();
    return QFileDialog::getOpenFileName(this, caption, dir, fileFilter());
}

void EditorWindow::open() {
    if (!maybeSave()) return;
    const QString path = chooseModel(tr("Open SHP File"));
    if (!path.isEmpty() && ws_->open(path) == model::OpenResult::Loaded) addRecentFile(path);
}

bool EditorWindow::openFile(const QString& path) {
    if (!maybeSave()) return false;
    // A mesh from a 3D suite, dropped or named on the command line, comes in as
    // File > Import takes it: as a new model (an exported ship as it went out).
    if (interchange::isMeshName(desktop::toPath(path)))
        return ws_->importFrom(path) == model::OpenResult::Loaded;
    if (ws_->open(path) != model::OpenResult::Loaded) return false;
    addRecentFile(path);
    return true;
}

bool EditorWindow::openBuilt(shp::BlockChain chain, const QString& suggestedName) {
    return maybeSave() &&
           ws_->openBuilt(std::move(chain), suggestedName) == model::OpenResult::Loaded;
}

void EditorWindow::merge() {
    if (!ws_->loaded()) return;
    const QString path = chooseModel(tr("Merge SHP"));
    if (!path.isEmpty()) ws_->merge(path);
}

bool EditorWindow::save() {
    if (!ws_->loaded()) return false;
    if (!ws_->hasFileName()) return saveAs();
    if (!ws_->save()) return false;
    addRecentFile(ws_->filePath());
    return true;
}

bool EditorWindow::saveAs() {
    if (!ws_->loaded()) return false;
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Save As"), ws_->suggestedPath(), fileFilter());
    if (path.isEmpty() || !ws_->saveAs(path)) return false;
    addRecentFile(path);
    return true;
}

bool EditorWindow::exportModel() {
    if (!ws_->loaded()) return false;
    const QStringList filters = exportFilters();
    const QStringList suffixes = exportSuffixes();
    QString start = ws_->suggestedPath();
    if (!start.isEmpty()) {
        const QFileInfo info(start);
        start = info.dir().filePath(info.completeBaseName() + '.' + suffixes.first());
    }
    QFileDialog dialog(this, tr("Export"), start);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    // A name typed without an extension takes the chosen format's.
    dialog.setDefaultSuffix(suffixes.first());
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        const qsizetype i = filters.indexOf(filter);
        if (i >= 0) dialog.setDefaultSuffix(suffixes[i]);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    return ws_->exportTo(dialog.selectedFiles().first());
}

void EditorWindow::importModel() {
    if (!maybeSave()) return;
    const QString dir = ws_->hasFileName() ? QFileInfo(ws_->filePath()).absolutePath() : QString();
    const QString path = QFileDialog::getOpenFileName(this, tr("Import"), dir, importFilter());
    if (!path.isEmpty()) ws_->importFrom(path);
}

bool EditorWindow::maybeSave() {
    if (!ws_->modified()) return true;
    const ov::Answer answer =
        reporter_.question(kProgramName,
                           tr("The model %1 has been changed.\nDo you want to save your changes?")
                               .arg(ws_->displayName())
                               .toStdString(),
                           ov::Buttons::YesNoCancel, ov::Icon::Question);
    switch (answer) {
        case ov::Answer::Yes:
            return save();
        case ov::Answer::No:
            return true;
        default:
            return false;
    }
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    if (maybeSave()) {
        writeSettings();
        event->accept();
    } else {
        event->ignore();
    }
}

void EditorWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

void EditorWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    const QString path = urls.first().toLocalFile();
    // Leave the drag source before any question or message shows.
    QMetaObject::invokeMethod(
        this, [this, path] { openFile(path); }, Qt::QueuedConnection);
}

QStringList EditorWindow::recentFiles() const {
    return QSettings().value(kRecentKey).toStringList();
}

void EditorWindow::addRecentFile(const QString& path) {
    QStringList files = recentFiles();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > kMaxRecentFiles)
        files.removeLast();
    QSettings().setValue(kRecentKey, files);
    updateRecentMenu();
}

void EditorWindow::updateRecentMenu() {
    recentMenu_->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QAction* a = recentMenu_->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        a->setToolTip(path);
        a->setStatusTip(path);
        connect(a, &QAction::triggered, this, [this, path] { openFile(path); });
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

}  // namespace ov::tool
