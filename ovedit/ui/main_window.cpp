#include "ovedit/ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUndoGroup>
#include <QUndoStack>

#include "ovedit/ships/game_files.h"
#include "ovedit/ui/convert_tab.h"
#include "ovedit/ui/hog_tab.h"
#include "ovedit/ui/ships_tab.h"
#include "ovedit/ui/ui_text.h"
#include "common/ui/drops.h"
#include "common/ui/qt_button_names.h"
#include "common/ui/qt_reporter.h"
#include "common/ui/undo_actions.h"
#include "common/ui/value_label.h"

namespace ov::edit {

namespace {

constexpr const char* kTitle = "OV Edit";

// resource.hog in the game folder, matched ignoring case; empty when it has none.
QString archiveInGameFolder(const QString& folder) {
    if (folder.isEmpty()) return {};
    auto found = ships::findInFolder(toPathText(folder), ships::kArchiveFile);
    if (!found || !std::filesystem::is_regular_file(*found)) return {};
    return fromPath(found->string());
}

}  // namespace

MainWindow::MainWindow(bool useSettings, QWidget* parent)
    : QMainWindow(parent),
      useSettings_(useSettings),
      reporter_(std::make_unique<desktop::QtReporter>(this)) {
    setObjectName("mainWindow");
    setAcceptDrops(true);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("tabMain");
    tabs_->setAccessibleName("Editors");
    tabs_->setDocumentMode(true);
    setCentralWidget(tabs_);
    createStatusBar();
    hogTab_ = new HogTab(*reporter_, tabs_);
    addTab(hogTab_, "hog", "H&og Editor", hogTab_->statusLabel());
    shipsTab_ = new ShipsTab(*reporter_, tabs_);
    addTab(shipsTab_, "ships", "&Ship Stats && Weapons", shipsTab_->statusLabel());
    convertTab_ = new ConvertTab(*reporter_, tabs_);
    addTab(convertTab_, "convert", "3DS Con&version", convertTab_->statusLabel());
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int current) {
        for (qsizetype i = 0; i < tabStatus_.size(); ++i)
            if (tabStatus_[i]) tabStatus_[i]->setVisible(i == current);
        followUndoStack();
    });

    undoGroup_ = new QUndoGroup(this);
    createActions();
    registerUndoStack(hogTab_, hogTab_->undoStack());
    registerUndoStack(shipsTab_, shipsTab_->undoStack());
    createMenus();
    desktop::nameQtButtons(this);

    connect(hogTab_, &HogTab::archiveOpened, this, [this](const QString& path) {
        rememberArchive(path);
        updateTitle();
    });
    connect(hogTab_, &HogTab::archiveClosed, this, &MainWindow::updateTitle);
    connect(hogTab_, &HogTab::selectionSummaryChanged, selectionLabel_,
            &desktop::ValueLabel::setValue);
    connect(hogTab_, &HogTab::busyChanged, this, [this](bool busy) {
        openAction_->setEnabled(!busy);
        recentMenu_->setEnabled(!busy);
        closeArchiveAction_->setEnabled(!busy);
        // No step is taken back under a running rebuild.
        followUndoStack();
    });
    connect(hogTab_, &HogTab::extractionFinished, this, [this] {
        if (closeWhenIdle_) close();
    });
    connect(hogTab_, &HogTab::changesApplied, this, [this] {
        if (closeWhenIdle_) close();
    });
    connect(hogTab_, &HogTab::pendingChangesChanged, this, &QWidget::setWindowModified);

    // A first size that fits the screen, whatever its size and scale.
    QSize size(1100, 720);
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableSize() * 0.95);
    resize(size);
    if (useSettings_) readSettings();
    updateTitle();
    updateRecentMenu();
}

MainWindow::~MainWindow() {
    // The tabs go first: their workers may still be talking through the reporter.
    delete tabs_;
}

void MainWindow::registerUndoStack(QWidget* tab, QUndoStack* stack) {
    undoStacks_.append({tab, stack});
    undoGroup_->addStack(stack);
    followUndoStack();
}

void MainWindow::followUndoStack() {
    if (!undoGroup_) return;
    QWidget* current = tabs_->currentWidget();
    QUndoStack* active = nullptr;
    for (const auto& [tab, stack] : undoStacks_)
        if (tab == current) active = stack;
    if (current == hogTab_ && hogTab_->isBusy()) active = nullptr;
    undoGroup_->setActiveStack(active);
}

void MainWindow::addTab(QWidget* tab, const QString& key, const QString& title,
                        QLabel* statusLabel) {
    tabKeys_.append(key);
    tabStatus_.append(statusLabel);
    if (statusLabel) {
        statusBar()->addWidget(statusLabel, 1);
        statusLabel->setVisible(tabs_->count() == 0);
    }
    tabs_->addTab(tab, title);
}

QStringList MainWindow::tabKeys() const {
    return tabKeys_;
}

bool MainWindow::showTab(const QString& key) {
    const int i = int(tabKeys_.indexOf(key));
    if (i < 0) return false;
    tabs_->setCurrentIndex(i);
    return true;
}

void MainWindow::createActions() {
    openAction_ = new QAction("&Open Archive...", this);
    openAction_->setObjectName("actOpenArchive");
    openAction_->setShortcut(QKeySequence::Open);
    openAction_->setStatusTip("Open a .hog archive on the hog tab");
    connect(openAction_, &QAction::triggered, this, &MainWindow::browseForArchive);

    closeArchiveAction_ = new QAction("&Close Archive", this);
    closeArchiveAction_->setObjectName("actCloseArchive");
    closeArchiveAction_->setShortcut(QKeySequence::Close);
    connect(closeArchiveAction_, &QAction::triggered, hogTab_, &HogTab::closeArchive);

    undoAction_ = undoGroup_->createUndoAction(this, "&Undo");
    undoAction_->setObjectName("actUndo");
    undoAction_->setShortcuts(QKeySequence::Undo);
    redoAction_ = undoGroup_->createRedoAction(this, "&Redo");
    redoAction_->setObjectName("actRedo");
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence& k : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                  QKeySequence(Qt::CTRL | Qt::Key_Y)})
        if (!redoKeys.contains(k)) redoKeys.append(k);
    redoAction_->setShortcuts(redoKeys);
    desktop::showStepNamesAsTheyAre(undoGroup_, undoAction_, "&Undo", redoAction_, "&Redo");

    gameFolderAction_ = new QAction("Choose &Game Folder...", this);
    gameFolderAction_->setObjectName("actGameFolder");
    gameFolderAction_->setStatusTip("The folder the game is installed in");
    connect(gameFolderAction_, &QAction::triggered, this, &MainWindow::chooseGameFolder);

    quitAction_ = new QAction("&Quit", this);
    quitAction_->setObjectName("actQuit");
    quitAction_->setShortcut(QKeySequence::Quit);
    connect(quitAction_, &QAction::triggered, this, &QWidget::close);

    aboutAction_ = new QAction("&About OV Edit", this);
    aboutAction_->setObjectName("actAbout");
    connect(aboutAction_, &QAction::triggered, this, &MainWindow::about);
}

void MainWindow::createMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("menuFile");
    file->addAction(openAction_);
    recentMenu_ = file->addMenu("Open &Recent");
    recentMenu_->setObjectName("menuRecent");
    file->addAction(closeArchiveAction_);
    file->addSeparator();
    file->addAction(gameFolderAction_);
    file->addSeparator();
    file->addAction(quitAction_);

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->setObjectName("menuEdit");
    edit->addAction(undoAction_);
    edit->addAction(redoAction_);

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("menuHelp");
    help->addAction(aboutAction_);
}

void MainWindow::createStatusBar() {
    selectionLabel_ = new desktop::ValueLabel("Selection", this);
    selectionLabel_->setObjectName("lblSelection");
    statusBar()->addPermanentWidget(selectionLabel_);
}

// ---- Settings -------------------------------------------------------------------------

void MainWindow::readSettings() {
    QSettings settings;
    const QByteArray geometry = settings.value("window/geometry").toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
    restoreState(settings.value("window/state").toByteArray());
    gameFolder_ = settings.value("gameFolder").toString();
    recent_ = settings.value("recentArchives").toStringList();
    hogTab_->readSettings(settings);
    hogTab_->suggestArchive(archiveInGameFolder(gameFolder_));
    shipsTab_->readSettings(settings);
    shipsTab_->setGameFolder(gameFolder_);
    convertTab_->readSettings(settings);
}

void MainWindow::writeSettings() {
    if (!useSettings_) return;
    QSettings settings;
    settings.setValue("window/geometry", saveGeometry());
    settings.setValue("window/state", saveState());
    settings.setValue("gameFolder", gameFolder_);
    settings.setValue("recentArchives", recent_);
    hogTab_->writeSettings(settings);
    shipsTab_->writeSettings(settings);
    convertTab_->writeSettings(settings);
}

void MainWindow::setToolProgram(const QString& program) {
    shipsTab_->setToolProgram(program);
    convertTab_->setToolProgram(program);
}

// ---- The game folder and the title ------------------------------------------------------

void MainWindow::setGameFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (!shipsTab_->setGameFolder(clean)) return;
    gameFolder_ = clean;
    if (useSettings_) QSettings().setValue("gameFolder", gameFolder_);
    hogTab_->suggestArchive(archiveInGameFolder(gameFolder_));
    updateTitle();
}

bool MainWindow::chooseGameFolder() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, "Choose the Game Folder", gameFolder_.isEmpty() ? QDir::homePath() : gameFolder_);
    if (folder.isEmpty()) return false;
    if (archiveInGameFolder(folder).isEmpty()) {
        const auto answer =
            reporter_->question(kTitle,
                                toPathText(QDir::toNativeSeparators(folder)) +
                                    " holds no resource.hog. Use it as the game folder anyway?",
                                Buttons::YesNo, Icon::Question);
        if (answer != Answer::Yes) return false;
    }
    setGameFolder(folder);
    return true;
}

void MainWindow::updateTitle() {
    setWindowTitle(
        gameFolder_.isEmpty()
            ? QStringLiteral("OV Edit - no game folder chosen[*]")
            : QStringLiteral("OV Edit - %1[*]").arg(QDir::toNativeSeparators(gameFolder_)));
}

// ---- Archives ---------------------------------------------------------------------------

bool MainWindow::openArchive(const QString& path) {
    if (hogTab_->isBusy()) return false;
    showTab("hog");
    return hogTab_->openArchive(path);
}

bool MainWindow::openFile(const QString& path) {
    if (!ConvertTab::converts(path)) return openArchive(path);
    if (convertTab_->isBusy()) return false;
    showTab("convert");
    // Named on the command line it may be relative; the tab shows where it is.
    convertTab_->setSource(QFileInfo(path).absoluteFilePath());
    return true;
}

void MainWindow::browseForArchive() {
    QString start = hogTab_->archive() ? fromPath(hogTab_->archive()->path().string())
                                       : archiveInGameFolder(gameFolder_);
    if (start.isEmpty()) start = gameFolder_.isEmpty() ? QDir::homePath() : gameFolder_;
    const QString path = QFileDialog::getOpenFileName(this, "Open Archive", start,
                                                      "Hog archives (*.hog *.HOG);;All files (*)");
    if (!path.isEmpty()) openArchive(path);
}

void MainWindow::rememberArchive(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    recent_.removeAll(full);
    recent_.prepend(full);
    while (recent_.size() > kMaxRecentArchives)
        recent_.removeLast();
    if (useSettings_) QSettings().setValue("recentArchives", recent_);
    updateRecentMenu();
}

void MainWindow::updateRecentMenu() {
    recentMenu_->clear();
    for (qsizetype i = 0; i < recent_.size(); ++i) {
        const QString path = recent_[i];
        QAction* a = recentMenu_->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName().replace('&', "&&")));
        a->setToolTip(QDir::toNativeSeparators(path));
        a->setStatusTip(QDir::toNativeSeparators(path));
        connect(a, &QAction::triggered, this, [this, path] { openArchive(path); });
    }
    if (!recent_.isEmpty()) {
        recentMenu_->addSeparator();
        QAction* clear = recentMenu_->addAction("&Clear List");
        connect(clear, &QAction::triggered, this, [this] {
            recent_.clear();
            if (useSettings_) QSettings().setValue("recentArchives", recent_);
            updateRecentMenu();
        });
    }
    recentMenu_->setEnabled(!recent_.isEmpty() && !hogTab_->isBusy());
}

// ---- Background work, closing and dropping ------------------------------------------------

bool MainWindow::backgroundWorkRunning() const {
    return hogTab_->backgroundWorkRunning() || hogTab_->isBusy();
}

void MainWindow::whenSettled(int timeoutMs, std::function<void()> done) {
    auto* timer = new QTimer(this);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(20);
    connect(timer, &QTimer::timeout, this, [this, timer, clock, timeoutMs, done] {
        if (backgroundWorkRunning() && clock->elapsed() < timeoutMs) return;
        timer->deleteLater();
        timer->stop();
        done();
    });
    timer->start();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Figures edited and not applied are asked about first.
    if (!shipsTab_->maybeLeave()) {
        event->ignore();
        return;
    }
    if (hogTab_->isBusy()) {
        // The extraction finishes the item it is on (a rebuild stops, leaving the
        // archive as it was), says it stopped, then the window closes.
        closeWhenIdle_ = true;
        hogTab_->stopExtraction();
        event->ignore();
        return;
    }
    closeWhenIdle_ = false;
    // Entry edits not applied are asked about: apply, discard, or stay.
    if (!hogTab_->maybeApply()) {
        event->ignore();
        return;
    }
    writeSettings();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // Entries dragged out of the list are not dropped back onto the window.
    if (event->source() == nullptr && !desktop::droppedFile(event->mimeData()).isEmpty() &&
        !hogTab_->isBusy())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (event->source() != nullptr) return;
    const QString path = desktop::droppedFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    if (ConvertTab::converts(path)) {
        openFile(path);
        return;
    }
    // Opened once the drop has finished, so a message box does not hold up the
    // program the file came from.
    QTimer::singleShot(0, this, [this, path] { openArchive(path); });
}

void MainWindow::about() {
    QMessageBox::about(this, "About OV Edit",
                       QStringLiteral("<b>OV Edit %1</b><p>The Orvane data editor: the resource "
                                      "archive and its file allocation table, the ships' figures and weapons, and "
                                      "the conversion of 3DS models.</p>")
                           .arg(QApplication::applicationVersion()));
}

}  // namespace ov::edit
