// OVEdit's main window and hog tab, driven as a user drives them: controls found by
// their names, typed into and clicked, on a game folder from the sample generator.
// Message boxes are answered through the reporter's handler, never left open.

#include <QAccessible>
#include <QCheckBox>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QDialog>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <map>

#include "common/refpack.h"
#include "common/shp_build.h"
#include "gui/gui_test_support.h"
#include "ovedit/archive/hog.h"
#include "ovedit/archive/hog_edit.h"
#include "ovedit/ui/entry_dialog.h"
#include "ovedit/ui/entry_drag.h"
#include "ovedit/ui/fat_editor.h"
#include "ovedit/ui/hog_list_model.h"
#include "ovedit/ui/hog_preview.h"
#include "ovedit/ui/hog_tab.h"
#include "ovedit/ui/main_window.h"
#include "common/ui/model_view.h"
#include "common/ui/qt_reporter.h"

using namespace ov;
using namespace ov::edit;
using archive::ExtractMode;
using archive::HogArchive;
using desktop::ReportRequest;
using desktop::ScopedReportHandler;

Q_DECLARE_METATYPE(ov::Answer)
Q_DECLARE_METATYPE(ov::archive::ExtractMode)

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray toQt(ByteSpan b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

// Every file below `root`, by its path relative to it, with its bytes.
std::map<QString, QByteArray> treeOf(const QString& root) {
    std::map<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out[QDir(root).relativeFilePath(path)] = readAll(path);
    }
    return out;
}

// Records every message and question and answers questions from a script (the
// cautious answer once it runs out), optionally doing something first.
struct Answerer {
    std::vector<ReportRequest> said;
    std::deque<Answer> answers;
    std::function<void(const ReportRequest&)> onQuestion;
    // How long the user reads each message or question before answering: a
    // progress window that was to come up has then come up.
    int readMs = 0;
    // Whether a progress window was in view as each message or question was answered.
    std::vector<bool> progressInView;
    std::optional<ScopedReportHandler> scope;

    Answerer() {
        scope.emplace([this](const ReportRequest& r) {
            said.push_back(r);
            if (readMs > 0) QTest::qWait(readMs);
            bool inView = false;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->objectName().endsWith("Progress")) inView = true;
            progressInView.push_back(inView);
            if (!r.isQuestion()) return Answer::Ok;
            if (onQuestion) onQuestion(r);
            if (answers.empty()) return cautiousAnswer(*r.buttons);
            const Answer a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    bool progressEverInView() const {
        return std::find(progressInView.begin(), progressInView.end(), true) !=
               progressInView.end();
    }
    bool saw(const QString& text) const {
        return std::any_of(said.begin(), said.end(),
                           [&](const ReportRequest& r) { return r.text == text; });
    }
    QStringList texts() const {
        QStringList out;
        for (const auto& r : said)
            out << r.text;
        return out;
    }
};

}  // namespace

class HogTabTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settingsDir_;
    QTemporaryDir sampleDir_;
    QString sampleArchive_;
    std::unique_ptr<QTemporaryDir> work_;
    std::unique_ptr<MainWindow> window_;
    HogTab* tab_ = nullptr;

    QString workPath(const QString& name) const { return work_->filePath(name); }
    QString archivePath() const { return workPath("resource.hog"); }

    template <class T>
    T* control(const char* name) const {
        T* w = window_->findChild<T*>(name);
        if (!w) qWarning("no control %s", name);
        return w;
    }
    QString labelText(const char* name) const { return control<QLabel>(name)->text(); }
    QAction* popupAction(const char* name) const {
        return tab_->popupMenu()->findChild<QAction*>(name);
    }

    // Types the path into the path box and presses Open.
    void openByTyping(const QString& path) {
        auto* box = control<QLineEdit>("txtHogPath");
        box->clear();
        QTest::keyClicks(box, path);
        QTest::mouseClick(control<QPushButton>("cmdOpen"), Qt::LeftButton);
    }
    void openSample() {
        openByTyping(archivePath());
        QVERIFY(tab_->hasArchive());
        QTRY_VERIFY(!tab_->listModel()->packScanRunning());
    }
    int proxyRowOf(int entryRow) const {
        const QModelIndex i =
            tab_->filterModel()->mapFromSource(tab_->listModel()->index(entryRow, 0));
        return i.row();
    }
    QRect rectOf(int entryRow) const {
        return tab_->listView()->visualRect(tab_->filterModel()->index(proxyRowOf(entryRow), 0));
    }
    // Clicks a row (with Ctrl it is added to the selection).
    void clickRow(int entryRow, Qt::KeyboardModifiers mods = {}) {
        tab_->listView()->scrollTo(tab_->filterModel()->index(proxyRowOf(entryRow), 0));
        QTest::mouseClick(tab_->listView()->viewport(), Qt::LeftButton, mods,
                          rectOf(entryRow).center());
    }
    // Right-clicks a row and chooses a popup entry, as a user does.
    void popupCommand(int entryRow, const char* action) {
        QTest::mouseClick(tab_->listView()->viewport(), Qt::RightButton, {},
                          rectOf(entryRow).center());
        // The right button press selects the row; the menu comes with the release.
        const QPoint at = rectOf(entryRow).center();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at,
                               tab_->listView()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tab_->listView()->viewport(), &menu);
        QTRY_VERIFY(tab_->popupMenu()->isVisible());
        QAction* a = popupAction(action);
        QVERIFY(a);
        QVERIFY(a->isEnabled());
        tab_->popupMenu()->hide();
        a->trigger();
    }
    void extractWith(const char* buttonName, const QString& dest) {
        auto* destBox = control<QLineEdit>("txtHogDest");
        destBox->clear();
        QTest::keyClicks(destBox, dest);
        QTest::mouseClick(control<QPushButton>(buttonName), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!tab_->isBusy(), 60000);
    }
    HogArchive libraryArchive() const {
        auto a = HogArchive::read(archivePath().toStdString());
        if (!a) qFatal("library read failed: %s", a.error().describe().c_str());
        return std::move(*a);
    }
    // Every entry's name and stored bytes, as the library reads them from the file.
    std::map<QString, QByteArray> libraryContents(const QString& path) const {
        std::map<QString, QByteArray> out;
        auto a = HogArchive::read(path.toStdString());
        if (!a) {
            qWarning("library read failed: %s", a.error().describe().c_str());
            return out;
        }
        for (const auto& e : a->entries())
            out[QString::fromLatin1(e.name.c_str())] = toQt(a->readRaw(e).value());
        return out;
    }
    // Files from outside dropped on the list, on a row or (row -1) below the rows.
    void dropOnList(const QStringList& files, int entryRow) {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& f : files)
            urls << QUrl::fromLocalFile(f);
        data->setUrls(urls);
        QWidget* viewport = tab_->listView()->viewport();
        const QPoint at = entryRow >= 0 ? rectOf(entryRow).center()
                                        : QPoint(viewport->width() / 2, viewport->height() - 3);
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
        QVERIFY(move.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        delete data;
    }
    EntryDialog* entryDialog() const {
        (void)QTest::qWaitFor(
            [&] { return tab_->entryDialog() && tab_->entryDialog()->isVisible(); }, 5000);
        return tab_->entryDialog();
    }
    static void retype(QLineEdit* box, const QString& text) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    QString cell(int entryRow, int column) const {
        return tab_->listView()->model()->index(proxyRowOf(entryRow), column).data().toString();
    }
    // Clicks Apply and waits for the rebuild to end.
    void applyAndWait() {
        auto* apply = control<QPushButton>("cmdApplyHogChanges");
        QVERIFY(apply->isEnabled());
        QTest::mouseClick(apply, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!tab_->isBusy(), 60000);
    }
    int rowNamed(const QString& name) const {
        const auto& entries = tab_->archive()->entries();
        for (size_t i = 0; i < entries.size(); ++i)
            if (QString::fromStdString(entries[i].name) == name) return int(i);
        qWarning("no entry %s", qPrintable(name));
        return -1;
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase() { ovtest::keepGlDriversLoaded(); }

    void typedPathOpensWithTheLibrarysLabelsAndRows();
    void refusedOpenKeepsTheWindow_data();
    void refusedOpenKeepsTheWindow();
    void filterNarrowsAndSelectAllActsOnRowsShown();
    void sortsByEveryColumn();
    void extractsWhatTheLibraryExtracts_data();
    void extractsWhatTheLibraryExtracts();
    void notPackedQuestion_data();
    void notPackedQuestion();
    void cancelMidExtractionLeavesOnlyWholeFiles();
    void fatEditorRefusesThenSavesOneEntry();
    void copyAndPastePointsOneEntryAtAnother();
    void backupThenRestoreGivesTheArchiveBack();
    void previewShowsTextHexImageAndModel();
    void previewCutsLongLinesAndBoundsHostileModels();
    void draggedEntriesAreExtractedUnpackedOnDrop();
    void droppedFilesAreAskedAboutAddedAndApplied();
    void replaceRenameAndDeleteInOneRebuild();
    void undoAndDiscardLeaveTheArchiveAlone();
    void cancelDuringApplyLeavesTheArchive();
    void pendingChangesAreAskedAbout_data();
    void pendingChangesAreAskedAbout();
    void everyControlIsNamedAndReadable();
    void gameFolderAndRecentArchivesAreKept();
    void fileDroppedOnTheWindowOpens();
    void screenshotOptionWritesThePicture();
    void pathFollowsTheGameFolderInForce();
    void sortingStaysThroughFilterAndPaste();
    void noWindowOverTheWorksQuestionsAndMessages();
    void previewStaysDrawnAfterAnExtraction();
    void extractToAMissingFolderOffersToCreateIt();
    void openWithAnArchiveOpenReplacesIt();
    void applyProgressSaysItPacks();
    void editMenuUndoesAndRedoesWithThePlatformsKeys();
    void valueLabelsSayTheirValues();
    void mnemonicsAreUniqueInEveryStateAndDialog();
    void theListLetsTabOutAndReportsRowsAndSelection();
    void theTabFitsASmallScreen();
};

void HogTabTest::initTestCase() {
    QVERIFY(settingsDir_.isValid());
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_.path());
    QCoreApplication::setOrganizationName("Orvane Toolkit Test");
    QCoreApplication::setApplicationName("OVEditTest");

    QProcess sample;
    sample.start(OV_OVCLI_FILE, {"sample-game", sampleDir_.filePath("game")});
    QVERIFY(sample.waitForFinished(60000));
    QCOMPARE(sample.exitCode(), 0);
    sampleArchive_ = sampleDir_.filePath("game/resource.hog");
    QVERIFY(QFileInfo(sampleArchive_).isFile());
}

void HogTabTest::init() {
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(work_->isValid());
    QVERIFY(QFile::copy(sampleArchive_, archivePath()));
    QSettings().clear();
    window_ = std::make_unique<MainWindow>(true);
    tab_ = window_->hogTab();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void HogTabTest::cleanup() {
    window_.reset();
    work_.reset();
}

void HogTabTest::typedPathOpensWithTheLibrarysLabelsAndRows() {
    QVERIFY(!control<QPushButton>("cmdExtract")->isEnabled());
    openSample();
    const HogArchive lib = libraryArchive();

    QCOMPARE(labelText("lblHogPath"), archivePath());
    QCOMPARE(labelText("lblHogSize"), QString::fromStdString(archive::hogSizeText(lib.hogSize())));
    QCOMPARE(labelText("lblHogCount"), QString::fromStdString(archive::countText(lib.itemCount())));
    QCOMPARE(labelText("lblHogCount"), QString("16 file(s)"));
    QCOMPARE(labelText("lblHogFilterCount"), QString("16 of 16"));

    // The open command gives way to the archive commands; nothing to restore yet.
    // Open stays on: another archive opens in place of this one.
    QVERIFY(control<QPushButton>("cmdOpen")->isEnabled());
    for (const char* name : {"cmdExtract", "cmdUnpackExtract", "cmdSelectAll", "cmdSelectNone",
                             "cmdBackupFAT", "cmdCloseHog"})
        QVERIFY2(control<QPushButton>(name)->isEnabled(), name);
    QVERIFY(!control<QPushButton>("cmdRestoreFAT")->isEnabled());

    // Every row as the library reads it, in FAT order, numbered from 1.
    QAbstractItemModel* shown = tab_->listView()->model();
    QCOMPARE(shown->rowCount(), int(lib.entries().size()));
    QCOMPARE(shown->headerData(0, Qt::Horizontal).toString(), QString("File Name"));
    QCOMPARE(shown->headerData(1, Qt::Horizontal).toString(), QString("Offset (Hex)"));
    QCOMPARE(shown->headerData(2, Qt::Horizontal).toString(), QString("Size (Hex)"));
    for (int r = 0; r < shown->rowCount(); ++r) {
        const archive::HogEntry& e = lib.entries()[size_t(r)];
        auto cell = [&](int c) { return shown->index(r, c).data().toString(); };
        QCOMPARE(cell(HogListModel::Name), QString::fromStdString(e.name));
        QCOMPARE(cell(HogListModel::Offset), QString::fromStdString(archive::hexText(e.offset)));
        QCOMPARE(cell(HogListModel::Size), QString::fromStdString(archive::hexText(e.size)));
        QCOMPARE(cell(HogListModel::Type), QString::fromStdString(archive::fileType(e.name)));
        QCOMPARE(cell(HogListModel::Row), QString::number(r + 1));
        const auto info = lib.packInfo(e).value();
        const QString packed =
            !info.packed
                ? QString("No")
                : QString("Yes, %1 bytes")
                      .arg(QLocale(QLocale::English).toString(qulonglong(*info.unpackedSize)));
        QCOMPARE(cell(HogListModel::Packed), packed);
    }

    // Closing gives the open command back and empties the list.
    QTest::mouseClick(control<QPushButton>("cmdCloseHog"), Qt::LeftButton);
    QVERIFY(!tab_->hasArchive());
    QCOMPARE(shown->rowCount(), 0);
    QVERIFY(control<QPushButton>("cmdOpen")->isEnabled());
    QVERIFY(!control<QPushButton>("cmdExtract")->isEnabled());
}

void HogTabTest::refusedOpenKeepsTheWindow_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing") << "missing.hog" << QByteArray() << "File path error"
                             << "File not found";
    QTest::newRow("wrong magic") << "zip.hog" << QByteArray("PK\x03\x04 not an archive")
                                 << "Extractor"
                                 << "This file is not a valid OV Hog file";
}

void HogTabTest::refusedOpenKeepsTheWindow() {
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, title);
    QFETCH(QString, text);
    if (!bytes.isEmpty()) writeAll(workPath(file), bytes);
    for (bool withArchive : {false, true}) {
        if (withArchive) openSample();
        Answerer answers;
        QVERIFY(!window_->openArchive(workPath(file)));
        QCOMPARE(answers.said.size(), size_t(1));
        QCOMPARE(answers.said[0].title, title);
        QCOMPARE(answers.said[0].text, text);
        QCOMPARE(answers.said[0].icon, Icon::Exclamation);
        // An archive that was open stays open and listed.
        QCOMPARE(tab_->hasArchive(), withArchive);
        QCOMPARE(tab_->listView()->model()->rowCount(), withArchive ? 16 : 0);
        if (withArchive) QCOMPARE(labelText("lblHogPath"), archivePath());
    }
}

void HogTabTest::filterNarrowsAndSelectAllActsOnRowsShown() {
    openSample();
    auto* filter = control<QLineEdit>("txtHogFilter");
    QTest::keyClicks(filter, "SHP");  // case is ignored
    QTRY_COMPARE(labelText("lblHogFilterCount"), QString("12 of 16"));
    QAbstractItemModel* shown = tab_->listView()->model();
    for (int r = 0; r < shown->rowCount(); ++r)
        QVERIFY(shown->index(r, 0).data().toString().endsWith(".shp"));

    QTest::mouseClick(control<QPushButton>("cmdSelectAll"), Qt::LeftButton);
    const std::vector<size_t> rows = tab_->selectedEntryRows();
    QCOMPARE(rows.size(), size_t(12));
    uint64_t bytes = 0;
    for (size_t row : rows) {
        QVERIFY(tab_->archive()->entries()[row].name.ends_with(".shp"));
        bytes += tab_->archive()->entries()[row].size;
    }
    QTRY_COMPARE(control<QLabel>("lblSelection")->text(),
                 QString("12 selected, %1 bytes")
                     .arg(QLocale(QLocale::English).toString(qulonglong(bytes))));

    // Rows the filter hides are not selected; emptying the filter shows them again.
    filter->clear();
    QTRY_COMPARE(labelText("lblHogFilterCount"), QString("16 of 16"));
    QCOMPARE(tab_->selectedEntryRows().size(), size_t(12));
    QTest::keyClicks(filter, "data\\");
    QTRY_COMPARE(labelText("lblHogFilterCount"), QString("2 of 16"));
    QTest::mouseClick(control<QPushButton>("cmdSelectAll"), Qt::LeftButton);
    QCOMPARE(tab_->selectedEntryRows(), (std::vector<size_t>{0, 13}));
    QTest::mouseClick(control<QPushButton>("cmdSelectNone"), Qt::LeftButton);
    QVERIFY(tab_->selectedEntryRows().empty());
    QTRY_COMPARE(control<QLabel>("lblSelection")->text(), QString("No entries selected"));
    filter->clear();
    QTest::keyClicks(filter, "no such name");
    QTRY_COMPARE(labelText("lblHogFilterCount"), QString("0 of 16"));
}

void HogTabTest::sortsByEveryColumn() {
    openSample();
    QHeaderView* header = tab_->listView()->horizontalHeader();
    const HogListModel* model = tab_->listModel();
    const HogFilterModel* proxy = tab_->filterModel();
    for (int column = 0; column < HogListModel::ColumnCount; ++column) {
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
            QCOMPARE(header->sortIndicatorSection(), column);
            QCOMPARE(header->sortIndicatorOrder(), order);
            for (int r = 1; r < proxy->rowCount(); ++r) {
                const int a = proxy->sourceRow(r - 1), b = proxy->sourceRow(r);
                // No row may come before one it is ordered after.
                const bool wrong = order == Qt::AscendingOrder ? model->lessThan(b, a, column)
                                                               : model->lessThan(a, b, column);
                QVERIFY2(!wrong,
                         qPrintable(QString("column %1 rows %2, %3").arg(column).arg(a).arg(b)));
            }
        }
    }
    // An archive opened while the list is sorted by the Packed column comes sorted by
    // it once that column is filled in.
    const int packedX = header->sectionViewportPosition(HogListModel::Packed) + 5;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(packedX, 5));
    QCOMPARE(header->sortIndicatorSection(), int(HogListModel::Packed));
    QVERIFY(QFile::copy(archivePath(), workPath("again.hog")));
    QVERIFY(window_->openArchive(workPath("again.hog")));
    QTRY_VERIFY(!model->packScanRunning());
    for (int r = 1; r < proxy->rowCount(); ++r) {
        const int a = proxy->sourceRow(r - 1), b = proxy->sourceRow(r);
        QVERIFY(header->sortIndicatorOrder() == Qt::AscendingOrder
                    ? !model->lessThan(b, a, HogListModel::Packed)
                    : !model->lessThan(a, b, HogListModel::Packed));
    }

    // Offsets sort as numbers, not as texts ("DBD" is below "10C4").
    const int x = header->sectionViewportPosition(HogListModel::Offset) + 5;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    for (int r = 1; r < proxy->rowCount(); ++r)
        QVERIFY(model->entry(proxy->sourceRow(r - 1)).offset <=
                model->entry(proxy->sourceRow(r)).offset);
}

void HogTabTest::extractsWhatTheLibraryExtracts_data() {
    QTest::addColumn<ExtractMode>("mode");
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("done");
    QTest::newRow("as stored") << ExtractMode::Raw << "cmdExtract"
                               << "Extraction Complete";
    QTest::newRow("unpacked") << ExtractMode::Unpack << "cmdUnpackExtract"
                              << "Unpacking and extraction Complete";
}

void HogTabTest::extractsWhatTheLibraryExtracts() {
    QFETCH(ExtractMode, mode);
    QFETCH(QString, buttonName);
    QFETCH(QString, done);
    openSample();
    QTest::mouseClick(control<QPushButton>("cmdSelectAll"), Qt::LeftButton);
    QVERIFY(QDir().mkpath(workPath("window")));
    QVERIFY(QDir().mkpath(workPath("library")));

    Answerer answers;
    answers.answers.assign(10, Answer::Yes);  // the items that are not packed
    extractWith(qPrintable(buttonName), workPath("window"));
    QCOMPARE(answers.said.back().text, done);
    QCOMPARE(answers.said.back().icon, Icon::Information);
    QCOMPARE(tab_->lastExtraction().written, size_t(16));
    QCOMPARE(labelText("lblHogCount"), QString("16 file(s)"));
    QVERIFY(labelText("lblHogStatus").startsWith("16 file(s) written"));

    struct : Reporter {
        void message(std::string_view, std::string_view, Icon) override {}
        Answer question(std::string_view, std::string_view, Buttons, Icon) override {
            return Answer::Yes;
        }
    } library;
    const HogArchive lib = libraryArchive();
    std::vector<size_t> all(lib.entries().size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    archive::extract(lib, all, workPath("library").toStdString(), mode, {}, library);
    const auto ours = treeOf(workPath("window"));
    QCOMPARE(ours.size(), size_t(16));
    QVERIFY(ours == treeOf(workPath("library")));
    QVERIFY(ours.count("data/readme.txt"));
}

void HogTabTest::notPackedQuestion_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("readmeWritten");
    QTest::addColumn<bool>("raptorWritten");
    QTest::addColumn<QString>("last");
    QTest::newRow("Yes") << Answer::Yes << true << true << "Unpacking and extraction Complete";
    QTest::newRow("No") << Answer::No << false << true << "Unpacking and extraction Complete";
    QTest::newRow("Cancel") << Answer::Cancel << false << false
                            << "Exiting unpack / extract function";
}

void HogTabTest::notPackedQuestion() {
    QFETCH(Answer, answer);
    QFETCH(bool, readmeWritten);
    QFETCH(bool, raptorWritten);
    QFETCH(QString, last);
    openSample();
    // The not-packed readme first, then a packed model.
    clickRow(rowNamed("data\\readme.txt"));
    clickRow(rowNamed("raptor.shp"), Qt::ControlModifier);
    QCOMPARE(tab_->selectedEntryRows().size(), size_t(2));
    QVERIFY(QDir().mkpath(workPath("out")));
    // An older file of the same name is replaced only by a Yes, and then only after
    // a second question says so.
    QVERIFY(QDir().mkpath(workPath("out/data")));
    writeAll(workPath("out/data/readme.txt"), "older");

    Answerer answers;
    answers.answers = {answer, Answer::Yes};
    extractWith("cmdUnpackExtract", workPath("out"));
    QCOMPARE(answers.said.front().title, QString("OV Edit"));
    QCOMPARE(
        answers.said.front().text,
        QString("Error unpacking data\\readme.txt file not compressed. Do you want to extract?"));
    QCOMPARE(answers.said.front().icon, Icon::Question);
    QCOMPARE(*answers.said.front().buttons, Buttons::YesYesToAllNoNoToAllCancel);
    QCOMPARE(answers.said.back().text, last);
    QCOMPARE(answers.said.size(), size_t(readmeWritten ? 3 : 2));
    if (readmeWritten) {
        QCOMPARE(answers.said[1].title, QString("OV Edit"));
        QVERIFY(answers.said[1].text.contains("already exists"));
        QCOMPARE(*answers.said[1].buttons, Buttons::YesYesToAllNoCancel);
    }

    const HogArchive lib = libraryArchive();
    QCOMPARE(readAll(workPath("out/data/readme.txt")),
             readmeWritten ? toQt(lib.readRaw(lib.entries()[0]).value()) : QByteArray("older"));
    QCOMPARE(QFileInfo::exists(workPath("out/raptor.shp")), raptorWritten);
    if (raptorWritten)
        QCOMPARE(readAll(workPath("out/raptor.shp")),
                 toQt(lib.readUnpacked(*lib.find("raptor.shp")).value()));
}

void HogTabTest::cancelMidExtractionLeavesOnlyWholeFiles() {
    // 400 packed entries of 64 KiB, with one that is not packed at row 150: its
    // question is where the user presses Cancel on the progress dialog.
    Bytes plain(64 * 1024);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = uint8_t((i * 7) ^ (i >> 9));
    const Bytes packed = refpack::encode(plain, refpack::Level::Fast).value();
    std::vector<archive::HogItem> items;
    for (int i = 0; i < 400; ++i)
        items.push_back({"big\\item" + std::to_string(i) + ".bin",
                         i == 150 ? Bytes{'p', 'l', 'a', 'i', 'n'} : packed});
    QVERIFY(archive::writeHog(workPath("big.hog").toStdString(), items));
    QVERIFY(window_->openArchive(workPath("big.hog")));
    QTest::mouseClick(control<QPushButton>("cmdSelectAll"), Qt::LeftButton);
    QVERIFY(QDir().mkpath(workPath("out")));

    Answerer answers;
    answers.answers = {Answer::Yes};
    answers.onQuestion = [&](const ReportRequest&) {
        auto* progress = window_->findChild<QDialog*>("hogExtractProgress");
        QVERIFY(progress);
        QVERIFY(tab_->isBusy());
        // Its Cancel, whether or not the window has come up yet.
        auto* cancel = progress->findChild<QPushButton*>("cmdCancelJob");
        QVERIFY(cancel);
        cancel->click();
    };
    extractWith("cmdUnpackExtract", workPath("out"));

    QVERIFY(tab_->lastExtraction().stopped);
    QCOMPARE(answers.said.back().text, QString("Exiting unpack / extract function"));
    QCOMPARE(answers.said.back().icon, Icon::Information);
    // The item the question was about was finished; nothing after it was begun.
    const auto files = treeOf(workPath("out"));
    QCOMPARE(files.size(), size_t(151));
    for (const auto& [name, bytes] : files) {
        const int n = name.mid(QString("big/item").size()).chopped(4).toInt();
        QVERIFY2(n <= 150, qPrintable(name));
        QCOMPARE(bytes, n == 150 ? QByteArray("plain") : toQt(plain));
    }
    QVERIFY(!tab_->isBusy());
    QVERIFY(control<QPushButton>("cmdExtract")->isEnabled());
}

void HogTabTest::fatEditorRefusesThenSavesOneEntry() {
    openSample();
    const QByteArray before = readAll(archivePath());
    const int row = rowNamed("kestrel.shp");
    const archive::HogEntry entry = tab_->archive()->entries()[size_t(row)];

    struct Attempt {
        QString name, offset, size, message;
    };
    const Attempt refusals[] = {
        {"kestrel2.shp", "7B3", "302",
         "The name of the file MUST be the same length or the\nentire .hog file will have to be "
         "rebuilt. Changes not saved"},
        {"kestrel.shp", "7G3", "302",
         "The value entered for offset is an invalid hexadecimal number"},
        {"kestrel.shp", "7B3", "", "The value entered for size is an invalid hexadecimal number"},
    };
    popupCommand(row, "pldHogProperties");
    FatEditor* editor = nullptr;
    QTRY_VERIFY((editor = tab_->findChild<FatEditor*>("FAT_Editor")) != nullptr);
    QCOMPARE(editor->findChild<QLineEdit*>("txtName")->text(), QString("kestrel.shp"));
    QCOMPARE(editor->findChild<QLineEdit*>("txtOffset")->text(), QString("7B3"));
    QCOMPARE(editor->findChild<QLineEdit*>("txtSize")->text(), QString("302"));
    auto fill = [&](const QString& name, const QString& offset, const QString& size) {
        for (auto [box, text] : {std::pair{"txtName", name}, std::pair{"txtOffset", offset},
                                 std::pair{"txtSize", size}}) {
            auto* e = editor->findChild<QLineEdit*>(box);
            e->selectAll();
            QTest::keyClick(e, Qt::Key_Delete);
            QTest::keyClicks(e, text);
        }
        QTest::mouseClick(editor->findChild<QPushButton*>("cmdSave"), Qt::LeftButton);
    };
    for (const Attempt& a : refusals) {
        Answerer answers;
        fill(a.name, a.offset, a.size);
        QCOMPARE(answers.texts(), QStringList{a.message});
        QCOMPARE(answers.said[0].title, QString("Table Editor"));
        QCOMPARE(answers.said[0].icon, Icon::Exclamation);
        QCOMPARE(readAll(archivePath()), before);
        QVERIFY(editor->isVisible());  // still open for a correction
    }

    // Same length, other letters, lowercase digits: written in place, nothing else.
    Answerer answers;
    QPointer<FatEditor> open = editor;
    fill("KESTREL.SHX", "1db", "2e9");
    QVERIFY(answers.said.empty());
    QTRY_VERIFY(open.isNull() || !open->isVisible());
    QByteArray expected = before;
    const char patch[] = "\x00\x00\x01\xDB\x00\x00\x02\xE9KESTREL.SHX";
    expected.replace(qsizetype(entry.entryPos), 8 + 11, QByteArray(patch, 8 + 11));
    QCOMPARE(readAll(archivePath()), expected);
    QAbstractItemModel* shown = tab_->listView()->model();
    const int shownRow = proxyRowOf(row);
    QCOMPARE(shown->index(shownRow, HogListModel::Name).data().toString(), QString("KESTREL.SHX"));
    QCOMPARE(shown->index(shownRow, HogListModel::Offset).data().toString(), QString("1DB"));
    QCOMPARE(shown->index(shownRow, HogListModel::Size).data().toString(), QString("2E9"));
    QCOMPARE(shown->index(shownRow, HogListModel::Type).data().toString(), QString("SHX"));
    // It now points at raptor.shp's packed bytes, and the Packed cell says so again.
    QTRY_COMPARE(
        shown->index(shownRow, HogListModel::Packed).data().toString(),
        shown->index(proxyRowOf(rowNamed("raptor.shp")), HogListModel::Packed).data().toString());

    // Cancel writes nothing.
    const QByteArray saved = readAll(archivePath());
    popupCommand(row, "pldHogProperties");
    QTRY_VERIFY((editor = tab_->findChild<FatEditor*>("FAT_Editor")) != nullptr &&
                editor->isVisible());
    editor->findChild<QLineEdit*>("txtOffset")->setText("0");
    QTest::mouseClick(editor->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    QCOMPARE(readAll(archivePath()), saved);
}

void HogTabTest::copyAndPastePointsOneEntryAtAnother() {
    openSample();
    const QByteArray before = readAll(archivePath());
    const int from = rowNamed("raptor.shp"), to = rowNamed("lancer.shp");
    const archive::HogEntry source = tab_->archive()->entries()[size_t(from)];
    const archive::HogEntry target = tab_->archive()->entries()[size_t(to)];

    // Paste needs something copied first.
    clickRow(to);
    const QPoint at = rectOf(to).center();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at,
                           tab_->listView()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tab_->listView()->viewport(), &menu);
    QTRY_VERIFY(tab_->popupMenu()->isVisible());
    QVERIFY(!popupAction("pldHogPaste")->isEnabled());
    tab_->popupMenu()->hide();

    popupCommand(from, "pldHogCopy");
    popupCommand(to, "pldHogPaste");
    QByteArray expected = before;
    expected.replace(qsizetype(target.entryPos), 8, before.mid(qsizetype(source.entryPos), 8));
    QCOMPARE(readAll(archivePath()), expected);
    QAbstractItemModel* shown = tab_->listView()->model();
    QCOMPARE(shown->index(proxyRowOf(to), HogListModel::Offset).data().toString(),
             QString::fromStdString(archive::hexText(source.offset)));
    QCOMPARE(shown->index(proxyRowOf(to), HogListModel::Name).data().toString(),
             QString("lancer.shp"));

    // Onto itself: nothing changes.
    popupCommand(from, "pldHogCopy");
    popupCommand(from, "pldHogPaste");
    QCOMPARE(readAll(archivePath()), expected);
}

void HogTabTest::backupThenRestoreGivesTheArchiveBack() {
    openSample();
    const QByteArray original = readAll(archivePath());
    const QString backup = workPath("resource.FAT");
    {
        Answerer answers;
        QTest::mouseClick(control<QPushButton>("cmdBackupFAT"), Qt::LeftButton);
        QVERIFY(answers.said.empty());
    }
    const uint32_t fatLength = tab_->archive()->fatLength();
    QCOMPARE(readAll(backup), original.left(fatLength));
    QVERIFY(control<QPushButton>("cmdRestoreFAT")->isEnabled());

    // A second backup asks first; No keeps the first one.
    popupCommand(1, "pldHogCopy");
    popupCommand(2, "pldHogPaste");
    const QByteArray edited = readAll(archivePath());
    QVERIFY(edited != original);
    {
        Answerer answers;
        answers.answers = {Answer::No};
        QTest::mouseClick(control<QPushButton>("cmdBackupFAT"), Qt::LeftButton);
        QCOMPARE(answers.said.size(), size_t(1));
        QCOMPARE(answers.said[0].title, QString("Backup FAT table"));
        QCOMPARE(answers.said[0].text, QString("A hog FAT backup file already exists at this "
                                               "location.\nDo you want to overwrite this file?"));
        QCOMPARE(readAll(backup), original.left(fatLength));
    }

    // The restore question: No changes nothing, Yes gives the archive back.
    const QString restoreText =
        "Restoring the FAT table will overwrite any changes made to the table in this hog file "
        "from the hog editor. It can't restore damage done to the hog from other apps. and it "
        "can CAUSE INTERFERENCE with the ship switcher if enabled.";
    for (Answer answer : {Answer::No, Answer::Yes}) {
        Answerer answers;
        answers.answers = {answer};
        QTest::mouseClick(control<QPushButton>("cmdRestoreFAT"), Qt::LeftButton);
        QCOMPARE(answers.said.size(), size_t(1));
        QCOMPARE(answers.said[0].title, QString("Hog File Allocation Table Restore"));
        QCOMPARE(answers.said[0].text, restoreText);
        QCOMPARE(readAll(archivePath()), answer == Answer::Yes ? original : edited);
    }
    QCOMPARE(
        tab_->listView()->model()->index(proxyRowOf(2), HogListModel::Offset).data().toString(),
        QString::fromStdString(archive::hexText(libraryArchive().entries()[2].offset)));

    // Without a backup file the restore is refused.
    QVERIFY(QFile::remove(backup));
    Answerer answers;
    QVERIFY(QMetaObject::invokeMethod(control<QPushButton>("cmdRestoreFAT"), "click"));
    QCOMPARE(answers.texts(), QStringList{"Restore file can't be found. Restore aborted."});
    QCOMPARE(answers.said[0].title, QString("Error"));
    QCOMPARE(answers.said[0].icon, Icon::Critical);
}

void HogTabTest::previewShowsTextHexImageAndModel() {
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 40));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    const Bytes pngBytes(png.begin(), png.end());
    shp::ComponentSpec hull;
    hull.name = "Hull";
    hull.vertices = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}};
    hull.faces = {{0, 1, 2, 0, {}, {}, 0}};
    hull.textures = {"plates"};
    const Bytes model = shp::buildModel(0, {hull}).write();
    const Bytes packedModel = refpack::encode(model).value();
    const std::vector<archive::HogItem> items = {
        {"notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'}},
        {"flag.png", pngBytes},
        {"sound.raw", {0, 1, 2, 3, 0xFF}},
        {"ship.shp", packedModel},
        {"empty.dat", {}},
    };
    QVERIFY(archive::writeHog(workPath("p.hog").toStdString(), items));
    QVERIFY(window_->openArchive(workPath("p.hog")));

    HogPreview* preview = tab_->preview();
    auto* pages = preview->findChild<QStackedWidget*>();
    auto page = [&] { return pages->currentWidget()->objectName(); };
    auto showRow = [&](int row) {
        clickRow(row);
        QTRY_VERIFY(!preview->isBusy());
        QTRY_COMPARE(preview->findChild<QLabel*>("lblHogPreviewName")->text(),
                     QString::fromStdString(items[size_t(row)].name));
    };
    showRow(0);
    QCOMPARE(page(), QString("txtHogPreviewText"));
    QCOMPARE(preview->findChild<QPlainTextEdit*>("txtHogPreviewText")->toPlainText(),
             QString("hello\n"));
    showRow(1);
    QCOMPARE(page(), QString("hogPreviewImage"));
    showRow(2);
    QCOMPARE(page(), QString("txtHogPreviewHex"));
    QVERIFY(preview->findChild<QPlainTextEdit*>("txtHogPreviewHex")
                ->toPlainText()
                .startsWith("00000000  00 01 02 03 FF "));
    showRow(3);
    QCOMPARE(page(), QString("hogPreviewModel"));
    auto* view = preview->findChild<desktop::ModelViewWidget*>("hogPreviewModel");
    QCOMPARE(view->mesh().components.size(), size_t(1));
    QCOMPARE(view->mesh().triangleCount(), size_t(1));
    showRow(4);
    QCOMPARE(page(), QString("lblHogPreviewMessage"));

    // A packed entry as stored, and any entry as hex.
    showRow(3);
    auto* stored = preview->findChild<QCheckBox*>("chkHogStoredBytes");
    QVERIFY(stored->isEnabled());
    stored->click();
    QTRY_COMPARE(pages->currentWidget()->objectName(), QString("txtHogPreviewHex"));
    QVERIFY(preview->findChild<QPlainTextEdit*>("txtHogPreviewHex")
                ->toPlainText()
                .startsWith("00000000  10 FB "));
    stored->click();
    QTRY_COMPARE(pages->currentWidget()->objectName(), QString("hogPreviewModel"));
    preview->findChild<QCheckBox*>("chkHogPreviewHex")->click();
    QTRY_COMPARE(pages->currentWidget()->objectName(), QString("txtHogPreviewHex"));
    // Unpacked: the model's own first bytes.
    QVERIFY(preview->findChild<QPlainTextEdit*>("txtHogPreviewHex")
                ->toPlainText()
                .startsWith(hexDump(ByteSpan(model).subspan(0, 16)).left(57)));
}

// One line of a megabyte (plain or packed) is shown cut, at once; a tiny packed
// model claiming millions of zero-size records is drawn without making them.
void HogTabTest::previewCutsLongLinesAndBoundsHostileModels() {
    const Bytes line(1 << 20, 'a');
    Bytes lines;
    for (int i = 0; i < 3; ++i) {
        lines.insert(lines.end(), 300000, char('x' + i));
        lines.push_back('\n');
    }
    shp::ComponentSpec part;
    part.name = "p";
    part.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    part.faces = {{0, 1, 2, 0, {}, {}, 0}};
    part.textures = {"t"};
    shp::BlockChain zero = shp::buildModel(0, std::vector<shp::ComponentSpec>(20, part));
    for (shp::Block& b : zero.blocks())
        if (b.type == shp::BlockType::Boxes || b.type == shp::BlockType::Attachments ||
            b.type == shp::BlockType::Vertices || b.type == shp::BlockType::Faces) {
            b.recordSize = 0;
            b.recordCount = 65535;
            b.data.clear();
        }
    const std::vector<archive::HogItem> items = {
        {"zero.shp", refpack::encode(zero.write()).value()},
        {"line.txt", line},
        {"packed.txt", refpack::encode(line).value()},
        {"lines.txt", lines},
    };
    QVERIFY(archive::writeHog(workPath("long.hog").toStdString(), items));
    QVERIFY(window_->openArchive(workPath("long.hog")));
    HogPreview* preview = tab_->preview();
    auto* text = preview->findChild<QPlainTextEdit*>("txtHogPreviewText");
    for (int row : {1, 2, 3}) {
        QElapsedTimer timer;
        timer.start();
        clickRow(row);
        QTRY_VERIFY(!preview->isBusy());
        QTRY_COMPARE(preview->findChild<QLabel*>("lblHogPreviewName")->text(),
                     QString::fromStdString(items[size_t(row)].name));
        QCoreApplication::processEvents();
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        const QStringList shown = text->toPlainText().split('\n');
        QCOMPARE(shown.size(), row == 3 ? 4 : 1);
        for (const QString& l : shown)
            QVERIFY(l.size() < 2100);
        QVERIFY(shown[0].endsWith("more characters]"));
        QVERIFY(preview->findChild<QLabel*>("lblHogPreviewDetails")->text().contains("cut"));
    }
    clickRow(0);
    QTRY_VERIFY(!preview->isBusy());
    QTRY_COMPARE(preview->findChild<QLabel*>("lblHogPreviewName")->text(), QString("zero.shp"));
    auto* pages = preview->findChild<QStackedWidget*>();
    QTRY_COMPARE(pages->currentWidget()->objectName(), QString("hogPreviewModel"));
    auto* view = preview->findChild<desktop::ModelViewWidget*>("hogPreviewModel");
    QCOMPARE(view->mesh().components.size(), size_t(20));
    for (const auto& c : view->mesh().components) {
        QVERIFY(c.attachments.empty());
        QVERIFY(c.boxes.empty());
        QVERIFY(c.positions.empty());
    }
}

void HogTabTest::draggedEntriesAreExtractedUnpackedOnDrop() {
    openSample();
    const int readme = rowNamed("data\\readme.txt"), raptor = rowNamed("raptor.shp");
    clickRow(readme);
    clickRow(raptor, Qt::ControlModifier);
    std::unique_ptr<QMimeData> data(tab_->makeDragData());
    QVERIFY(data);
    auto* drag = qobject_cast<EntryDragData*>(data.get());
    QVERIFY(drag);
    QVERIFY(data->hasUrls());
    QVERIFY(!drag->extracted());  // nothing is written before a target asks

    const QList<QUrl> urls = data->urls();
    QVERIFY(drag->extracted());
    QCOMPARE(urls.size(), 2);
    const HogArchive lib = libraryArchive();
    QCOMPARE(QFileInfo(urls[0].toLocalFile()).fileName(), QString("readme.txt"));
    QCOMPARE(readAll(urls[0].toLocalFile()),
             toQt(lib.readRaw(lib.entries()[size_t(readme)]).value()));
    QCOMPARE(QFileInfo(urls[1].toLocalFile()).fileName(), QString("raptor.shp"));
    QCOMPARE(readAll(urls[1].toLocalFile()),
             toQt(lib.readUnpacked(lib.entries()[size_t(raptor)]).value()));
    // The same list as text for targets that ask for it so.
    QCOMPARE(data->data("text/uri-list"),
             urls[0].toEncoded() + "\r\n" + urls[1].toEncoded() + "\r\n");
}

void HogTabTest::droppedFilesAreAskedAboutAddedAndApplied() {
    openSample();
    const QByteArray original = readAll(archivePath());
    const auto before = libraryContents(archivePath());
    const QByteArray notes("notes for the mod\n");
    QByteArray model(30000, '\0');
    for (qsizetype i = 0; i < model.size(); ++i)
        model[i] = char((i * 7) % 64);  // repetitive enough to pack well
    writeAll(workPath("notes.txt"), notes);
    writeAll(workPath("model.shp"), model);
    QVERIFY(!control<QPushButton>("cmdApplyHogChanges")->isEnabled());

    // One dialog per file, in turn. The name is checked as it is typed, with the
    // library's reason, and a refused name cannot be taken.
    const int taken = rowNamed("raptor.shp");
    dropOnList({workPath("notes.txt"), workPath("model.shp")}, taken);
    EntryDialog* dialog = entryDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->mode(), EntryDialog::Mode::Add);
    QCOMPARE(dialog->nameBox()->text(), QString("notes.txt"));
    QVERIFY(!dialog->packBox()->isChecked());
    retype(dialog->nameBox(), "RAPTOR.SHP");
    QVERIFY(dialog->problemLabel()->isVisible());
    QCOMPARE(dialog->problemLabel()->text(),
             QString::fromStdString(tab_->editPlan()->checkName("RAPTOR.SHP").error().message));
    QVERIFY(!dialog->okButton()->isEnabled());
    for (const char* bad : {"..\\notes.txt", "C:notes.txt", ""}) {
        retype(dialog->nameBox(), bad);
        QVERIFY2(!dialog->okButton()->isEnabled(), bad);
    }
    retype(dialog->nameBox(), "mods/notes.txt");
    QVERIFY(dialog->problemLabel()->isHidden());
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);

    // The second file's dialog, once the first has gone (it may take the first's
    // address: it is known by its file).
    QTRY_VERIFY(tab_->entryDialog() &&
                tab_->entryDialog()->nameBox()->text() == QString("model.shp"));
    dialog = entryDialog();
    QCOMPARE(dialog->nameBox()->text(), QString("model.shp"));
    dialog->packBox()->setChecked(true);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    QTRY_VERIFY(!tab_->entryDialog());
    // The new row is the selected one; it has no bytes in the archive yet.
    QCOMPARE(tab_->selectionSummary(), QString("1 selected, 0 bytes"));
    QVERIFY(tab_->selectedEntryRows().empty());

    // The list shows them at the end, marked; the archive is not touched yet.
    const int notesRow = 16, modelRow = 17;
    QCOMPARE(tab_->listModel()->entryCount(), 18);
    QCOMPARE(cell(notesRow, HogListModel::Name), QString("mods\\notes.txt"));
    QCOMPARE(cell(notesRow, HogListModel::Change), QString("Added"));
    QCOMPARE(cell(modelRow, HogListModel::Change), QString("Added, packed"));
    QVERIFY(cell(modelRow, HogListModel::Name + 0).size() > 0);
    const QModelIndex shown = tab_->listView()->model()->index(proxyRowOf(notesRow), 0);
    QVERIFY(shown.data(Qt::FontRole).value<QFont>().italic());
    QVERIFY(shown.data(Qt::ToolTipRole).toString().contains("To be added from"));
    QCOMPARE(labelText("lblHogChanges"), QString("2 changes pending"));
    QCOMPARE(readAll(archivePath()), original);
    // In-place FAT commands would change the archive under the changes.
    QVERIFY(!control<QPushButton>("cmdBackupFAT")->isEnabled());
    QVERIFY(window_->isWindowModified());

    // A file dropped on a row in a folder is suggested in that folder.
    dropOnList({workPath("notes.txt")}, notesRow);
    dialog = entryDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->nameBox()->text(), QString("mods\\notes.txt"));
    QVERIFY(!dialog->okButton()->isEnabled());  // taken by the first drop
    dialog->reject();
    QTRY_VERIFY(!tab_->entryDialog());
    QCOMPARE(tab_->listModel()->entryCount(), 18);

    {
        Answerer answers;
        applyAndWait();
        QVERIFY2(answers.said.empty(), qPrintable(answers.texts().join('\n')));
    }
    // Every old entry keeps its bytes, the new ones are there, the packed one packed;
    // the list shows the archive as it now is, and the original is kept beside it.
    auto after = libraryContents(archivePath());
    QCOMPARE(after.size(), size_t(18));
    QCOMPARE(after["mods\\notes.txt"], notes);
    const QByteArray stored = after["model.shp"];
    QVERIFY(refpack::isPacked(
        ByteSpan(reinterpret_cast<const uint8_t*>(stored.data()), size_t(stored.size()))));
    QVERIFY(stored.size() < model.size());
    QCOMPARE(toQt(archive::unpackItem(ByteSpan(reinterpret_cast<const uint8_t*>(stored.data()),
                                               size_t(stored.size())))
                      .value()),
             model);
    after.erase("mods\\notes.txt");
    after.erase("model.shp");
    QVERIFY(after == before);
    QCOMPARE(readAll(archivePath() + ".org"), original);
    QCOMPARE(tab_->listModel()->entryCount(), 18);
    QVERIFY(tab_->listModel()->plan() == nullptr);
    QCOMPARE(labelText("lblHogCount"), QString("18 file(s)"));
    QCOMPARE(labelText("lblHogChanges"), QString("No changes pending"));
    QVERIFY(!control<QPushButton>("cmdApplyHogChanges")->isEnabled());
    QVERIFY(control<QPushButton>("cmdBackupFAT")->isEnabled());
    QVERIFY(!window_->isWindowModified());
    QVERIFY(labelText("lblHogStatus").contains("resource.hog.org"));
}

void HogTabTest::replaceRenameAndDeleteInOneRebuild() {
    openSample();
    const auto before = libraryContents(archivePath());
    const QByteArray replacement("a different model");
    writeAll(workPath("replacement.shp"), replacement);
    const int replaced = rowNamed("raptor.shp"), renamed = rowNamed("lancer.shp");
    const int gone1 = 2, gone2 = 3;
    const QString oldName = cell(renamed, HogListModel::Name);
    const QString gone1Name = cell(gone1, HogListModel::Name);
    const QString gone2Name = cell(gone2, HogListModel::Name);
    QVERIFY(replaced != gone1 && replaced != gone2 && renamed != gone1 && renamed != gone2);

    // A FAT backup made before the rebuild no longer matches it: refreshing is offered.
    QTest::mouseClick(control<QPushButton>("cmdBackupFAT"), Qt::LeftButton);
    QVERIFY(QFile::exists(workPath("resource.FAT")));

    // Replace: a packed entry suggests packing; the file is typed in.
    clickRow(replaced);
    popupCommand(replaced, "pldHogReplace");
    EntryDialog* dialog = entryDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->mode(), EntryDialog::Mode::Replace);
    QCOMPARE(dialog->packBox()->isChecked(),
             tab_->listModel()->packCell(replaced).state == PackCell::State::Packed);
    QVERIFY(!dialog->okButton()->isEnabled());
    QTest::keyClicks(dialog->fileBox(), workPath("missing.shp"));
    dialog->packBox()->setChecked(false);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    // A file that is not there is said in the dialog, which stays.
    QVERIFY(dialog->problemLabel()->text().contains("no such file"));
    QVERIFY(tab_->entryDialog());
    retype(dialog->fileBox(), workPath("replacement.shp"));
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    QTRY_VERIFY(!tab_->entryDialog());
    QCOMPARE(cell(replaced, HogListModel::Change), QString("Replaced"));

    // Rename, to a longer name than in-place FAT editing allows.
    clickRow(renamed);
    popupCommand(renamed, "pldHogRename");
    dialog = entryDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->nameBox()->text(), oldName);
    QVERIFY(dialog->okButton()->isEnabled());
    retype(dialog->nameBox(), "ships\\..\\..\\x");
    QVERIFY(!dialog->okButton()->isEnabled());
    QVERIFY(!dialog->problemLabel()->text().isEmpty());
    retype(dialog->nameBox(), "ships\\lancer_mk2.shp");
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    QTRY_VERIFY(!tab_->entryDialog());
    QCOMPARE(cell(renamed, HogListModel::Name), QString("ships\\lancer_mk2.shp"));
    QCOMPARE(cell(renamed, HogListModel::Change), QString("Renamed"));
    QVERIFY(cell(renamed, HogListModel::Name).size() > oldName.size());

    // Delete two rows at once; they stay listed, struck out, until applied.
    clickRow(gone1);
    clickRow(gone2, Qt::ControlModifier);
    popupCommand(gone2, "pldHogDelete");
    for (int row : {gone1, gone2}) {
        QCOMPARE(cell(row, HogListModel::Change), QString("Deleted"));
        const QModelIndex i = tab_->listView()->model()->index(proxyRowOf(row), 0);
        QVERIFY(i.data(Qt::FontRole).value<QFont>().strikeOut());
        QVERIFY(i.data(Qt::ToolTipRole).toString().contains("To be deleted"));
    }
    // A deleted row offers no more edits.
    clickRow(gone1);
    const QPoint at = rectOf(gone1).center();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at,
                           tab_->listView()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tab_->listView()->viewport(), &menu);
    QTRY_VERIFY(tab_->popupMenu()->isVisible());
    for (const char* name :
         {"pldHogReplace", "pldHogRename", "pldHogDelete", "pldHogPaste", "pldHogProperties"})
        QVERIFY2(!popupAction(name)->isEnabled(), name);
    tab_->popupMenu()->hide();
    // Each deleted row is a step of its own.
    QCOMPARE(labelText("lblHogChanges"), QString("4 changes pending"));
    QCOMPARE(libraryContents(archivePath()), before);

    {
        Answerer answers;
        answers.answers = {Answer::Yes};
        applyAndWait();
        QCOMPARE(answers.said.size(), size_t(1));
        QCOMPARE(answers.said[0].title, QString("Backup FAT table"));
    }
    const HogArchive rebuilt = libraryArchive();
    QCOMPARE(readAll(workPath("resource.FAT")), readAll(archivePath()).left(rebuilt.fatLength()));
    QVERIFY(control<QPushButton>("cmdRestoreFAT")->isEnabled());
    QVERIFY(tab_->editPlan() == nullptr);
    auto expected = before;
    expected["raptor.shp"] = replacement;
    expected["ships\\lancer_mk2.shp"] = expected[oldName];
    expected.erase(oldName);
    expected.erase(gone1Name);
    expected.erase(gone2Name);
    QVERIFY(libraryContents(archivePath()) == expected);
    // Order kept: the renamed entry stands where it stood, less the rows deleted above it.
    const int shift = int(gone1 < renamed) + int(gone2 < renamed);
    QCOMPARE(QString::fromStdString(libraryArchive().entries()[size_t(renamed - shift)].name),
             QString("ships\\lancer_mk2.shp"));
    QCOMPARE(tab_->listModel()->entryCount(), 14);

    // Delete and F2 on the list act as the menu entries do.
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    tab_->listView()->setFocus();
    QTRY_VERIFY(tab_->listView()->hasFocus());
    clickRow(0);
    QTest::keyClick(tab_->listView(), Qt::Key_Delete);
    QCOMPARE(cell(0, HogListModel::Change), QString("Deleted"));
    clickRow(1);
    QTest::keyClick(tab_->listView(), Qt::Key_F2);
    EntryDialog* renaming = entryDialog();
    QVERIFY(renaming);
    QCOMPARE(renaming->mode(), EntryDialog::Mode::Rename);
    renaming->reject();
    QTRY_VERIFY(!tab_->entryDialog());
}

void HogTabTest::undoAndDiscardLeaveTheArchiveAlone() {
    openSample();
    const QByteArray original = readAll(archivePath());
    writeAll(workPath("extra.txt"), "extra");
    tab_->addFiles({workPath("extra.txt")});
    EntryDialog* dialog = entryDialog();
    QVERIFY(dialog);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    QTRY_VERIFY(!tab_->entryDialog());
    tab_->deleteEntries({0, 1});
    QCOMPARE(labelText("lblHogChanges"), QString("3 changes pending"));
    QCOMPARE(tab_->listModel()->entryCount(), 17);

    // Undo takes back the last step: both deletions, made at once, were one.
    QTest::mouseClick(control<QPushButton>("cmdUndoHogChange"), Qt::LeftButton);
    QCOMPARE(labelText("lblHogChanges"), QString("1 change pending"));
    QCOMPARE(cell(0, HogListModel::Change), QString());
    QCOMPARE(cell(1, HogListModel::Change), QString());
    // Deleting an added file takes its row out at once.
    tab_->deleteEntries({16});
    QCOMPARE(tab_->listModel()->entryCount(), 16);

    QTest::mouseClick(control<QPushButton>("cmdDiscardHogChanges"), Qt::LeftButton);
    QVERIFY(!tab_->hasPendingChanges());
    QCOMPARE(tab_->listModel()->entryCount(), 16);
    for (int r = 0; r < 16; ++r)
        QCOMPARE(cell(r, HogListModel::Change), QString());
    QVERIFY(!control<QPushButton>("cmdApplyHogChanges")->isEnabled());
    QVERIFY(!control<QPushButton>("cmdDiscardHogChanges")->isEnabled());
    QCOMPARE(readAll(archivePath()), original);
    QVERIFY(!QFile::exists(archivePath() + ".org"));

    // Every change taken back: the FAT commands write in place again, and a change
    // made after one of them is planned over the archive as it then is.
    tab_->deleteEntries({0});
    QTest::mouseClick(control<QPushButton>("cmdUndoHogChange"), Qt::LeftButton);
    QVERIFY(!tab_->hasPendingChanges());
    const int from = rowNamed("raptor.shp"), to = rowNamed("lancer.shp");
    popupCommand(from, "pldHogCopy");
    popupCommand(to, "pldHogPaste");
    const auto pasted = libraryContents(archivePath());
    tab_->deleteEntries({0});
    {
        Answerer answers;
        applyAndWait();
        QVERIFY2(answers.said.empty(), qPrintable(answers.texts().join('\n')));
    }
    auto expected = pasted;
    expected.erase("data\\readme.txt");
    QVERIFY(libraryContents(archivePath()) == expected);
    QCOMPARE(libraryContents(archivePath())["lancer.shp"], pasted.at("raptor.shp"));

    // The archive is closed without a question now.
    Answerer answers;
    QVERIFY(tab_->closeArchive());
    QVERIFY(answers.said.empty());
}

void HogTabTest::cancelDuringApplyLeavesTheArchive() {
    openSample();
    const QByteArray original = readAll(archivePath());
    // Enough bytes that the rebuild is still going when it is told to stop.
    QByteArray big(64 << 20, '\0');
    for (qsizetype i = 0; i < big.size(); i += 4096)
        big[i] = char(i >> 12);
    writeAll(workPath("big.bin"), big);
    big.clear();
    tab_->addFiles({workPath("big.bin")});
    EntryDialog* dialog = entryDialog();
    QVERIFY(dialog);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    QTRY_VERIFY(!tab_->entryDialog());
    tab_->deleteEntries({4});
    const QStringList filesBefore = QDir(work_->path()).entryList(QDir::Files | QDir::Hidden);

    Answerer answers;
    QTest::mouseClick(control<QPushButton>("cmdApplyHogChanges"), Qt::LeftButton);
    QVERIFY(tab_->isBusy());
    QVERIFY(!control<QPushButton>("cmdDiscardHogChanges")->isEnabled());
    auto* progress = window_->findChild<QDialog*>("hogApplyProgress");
    QVERIFY(progress);
    progress->reject();
    QTRY_VERIFY_WITH_TIMEOUT(!tab_->isBusy(), 60000);

    QCOMPARE(answers.texts(), QStringList{"Rebuild stopped: the archive is unchanged"});
    QCOMPARE(readAll(archivePath()), original);
    QCOMPARE(QDir(work_->path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    // The changes are still there, to be applied again.
    QVERIFY(tab_->hasPendingChanges());
    QVERIFY(control<QPushButton>("cmdApplyHogChanges")->isEnabled());
    QCOMPARE(labelText("lblHogStatus"), QString("Changes not applied; the archive is as it was"));
    applyAndWait();
    QCOMPARE(libraryContents(archivePath()).size(), size_t(16));
    QCOMPARE(readAll(archivePath() + ".org"), original);
}

void HogTabTest::pendingChangesAreAskedAbout_data() {
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<ov::Answer>("answer");
    for (const char* trigger : {"close window", "close archive", "open another"}) {
        QTest::addRow("%s, apply", trigger) << QString(trigger) << Answer::Yes;
        QTest::addRow("%s, discard", trigger) << QString(trigger) << Answer::No;
        QTest::addRow("%s, cancel", trigger) << QString(trigger) << Answer::Cancel;
    }
}

void HogTabTest::pendingChangesAreAskedAbout() {
    QFETCH(QString, trigger);
    QFETCH(Answer, answer);
    QVERIFY(QFile::copy(archivePath(), workPath("other.hog")));
    openSample();
    const QByteArray original = readAll(archivePath());
    tab_->deleteEntries({5});
    QVERIFY(tab_->hasPendingChanges());

    Answerer answers;
    answers.answers = {answer};
    bool done = false;
    if (trigger == "close window") {
        done = window_->close();
    } else if (trigger == "close archive") {
        QTest::mouseClick(control<QPushButton>("cmdCloseHog"), Qt::LeftButton);
        done = !tab_->hasArchive();
    } else {
        done = window_->openArchive(workPath("other.hog"));
    }
    QCOMPARE(answers.said.size(), size_t(1));
    QCOMPARE(answers.said[0].title, QString("OV Edit"));
    QCOMPARE(answers.said[0].text, QString("The archive resource.hog has 1 change not applied.\n"
                                           "Apply them now? (No discards them.)"));
    QCOMPARE(*answers.said[0].buttons, Buttons::YesNoCancel);
    QCOMPARE(done, answer != Answer::Cancel);
    if (answer == Answer::Yes) {
        QCOMPARE(libraryContents(archivePath()).size(), size_t(15));
        QCOMPARE(readAll(archivePath() + ".org"), original);
    } else {
        QCOMPARE(readAll(archivePath()), original);
    }
    QCOMPARE(tab_->hasPendingChanges(), answer == Answer::Cancel);
    if (answer == Answer::Cancel) {
        QVERIFY(window_->isVisible());
        QVERIFY(tab_->hasArchive());
        QCOMPARE(labelText("lblHogPath"), archivePath());
    }
    if (trigger == "open another" && done) QCOMPARE(labelText("lblHogPath"), workPath("other.hog"));
}

void HogTabTest::everyControlIsNamedAndReadable() {
    openSample();
    // The names the editor's controls are known by.
    for (const char* name :
         {"cmdOpen",          "txtHogPath",           "hogList",           "cmdExtract",
          "cmdUnpackExtract", "cmdSelectAll",         "cmdSelectNone",     "cmdBrowseHogDest",
          "cmdBackupFAT",     "cmdRestoreFAT",        "cmdCloseHog",       "cmdBrowseHog",
          "txtHogDest",       "txtHogFilter",         "lblHogPath",        "lblHogSize",
          "lblHogCount",      "lblHogStatus",         "lblHogFilterCount", "lblHogChanges",
          "cmdUndoHogChange", "cmdDiscardHogChanges", "cmdApplyHogChanges"})
        QVERIFY2(window_->findChild<QWidget*>(name), name);
    QCOMPARE(tab_->popupMenu()->objectName(), QString("pldHogPopup"));
    for (const char* name : {"pldHogCopy", "pldHogPaste", "pldHogProperties", "pldHogReplace",
                             "pldHogRename", "pldHogDelete"})
        QVERIFY2(popupAction(name), name);

    // The entry dialogs too, in each of their forms.
    writeAll(workPath("named.txt"), "named");
    for (int form = 0; form < 3; ++form) {
        if (form == 0) tab_->addFiles({workPath("named.txt")});
        if (form == 1) tab_->replaceEntry(0);
        if (form == 2) tab_->renameEntry(0);
        EntryDialog* dialog = entryDialog();
        QVERIFY(dialog);
        for (QWidget* w : dialog->findChildren<QWidget*>()) {
            if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(dialog)) continue;
            QVERIFY2(!QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty(),
                     qPrintable(w->objectName()));
        }
        dialog->reject();
        QTRY_VERIFY(!tab_->entryDialog());
    }

    // Whatever can take the keyboard has a name a screen reader can say.
    popupCommand(0, "pldHogProperties");
    FatEditor* editor = nullptr;
    QTRY_VERIFY((editor = tab_->findChild<FatEditor*>("FAT_Editor")) != nullptr);
    QList<QWidget*> widgets = window_->findChildren<QWidget*>();
    widgets += editor->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(w->window()) ||
            w->objectName().startsWith("qt_"))
            continue;
        if (qobject_cast<QAbstractScrollArea*>(w->parentWidget())) continue;  // a viewport
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY(a);
        QVERIFY2(!a->text(QAccessible::Name).isEmpty(),
                 qPrintable(QString("%1 (%2)").arg(w->objectName(), w->metaObject()->className())));
    }
    editor->reject();
}

void HogTabTest::gameFolderAndRecentArchivesAreKept() {
    QVERIFY(QFile::copy(archivePath(), workPath("second.hog")));
    window_->setGameFolder(work_->path());
    QCOMPARE(window_->windowTitle(),
             QString("OV Edit - %1[*]").arg(QDir::toNativeSeparators(work_->path())));
    // The game's archive is suggested, not opened.
    QCOMPARE(control<QLineEdit>("txtHogPath")->text(), archivePath());
    QVERIFY(!tab_->hasArchive());

    QVERIFY(window_->openArchive(archivePath()));
    QVERIFY(window_->openArchive(workPath("second.hog")));
    QCOMPARE(window_->recentArchives(), (QStringList{workPath("second.hog"), archivePath()}));
    window_.reset();  // a new window reads what this one kept

    window_ = std::make_unique<MainWindow>(true);
    tab_ = window_->hogTab();
    QCOMPARE(window_->gameFolder(), work_->path());
    QCOMPARE(window_->recentArchives(), (QStringList{workPath("second.hog"), archivePath()}));
    auto* recent = window_->findChild<QMenu*>("menuRecent");
    QVERIFY(recent->isEnabled());
    recent->actions().at(1)->trigger();
    QVERIFY(tab_->hasArchive());
    QCOMPARE(labelText("lblHogPath"), archivePath());
    QCOMPARE(window_->recentArchives().front(), archivePath());
}

void HogTabTest::fileDroppedOnTheWindowOpens() {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(archivePath())});
    const QPoint at = window_->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &drop);
    QTRY_VERIFY(tab_->hasArchive());
    QCOMPARE(labelText("lblHogPath"), archivePath());

    // Two files, or a folder, are not an archive.
    data.setUrls({QUrl::fromLocalFile(archivePath()), QUrl::fromLocalFile(archivePath())});
    QDragEnterEvent two(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &two);
    QVERIFY(!two.isAccepted());
}

void HogTabTest::screenshotOptionWritesThePicture() {
    const QString png = workPath("shot.png");
    QProcess program;
    program.start(OV_OVEDIT_FILE, {"--screenshot", png, "--tab", "hog", archivePath()});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 0);
    const QImage shot(png);
    QVERIFY(!shot.isNull());
    QVERIFY(shot.width() >= 800 && shot.height() >= 500);

    // A tab that does not exist, or an archive that does not open, is an error.
    program.start(OV_OVEDIT_FILE, {"--screenshot", png, "--tab", "nowhere"});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 2);
    program.start(OV_OVEDIT_FILE, {"--screenshot", png, workPath("missing.hog")});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 1);
    QVERIFY(program.readAllStandardError().contains("File path error: File not found"));

    // Help and the version need no display.
    QVERIFY(ovtest::outputWithoutDisplay(OV_OVEDIT_FILE, {"--version"}).startsWith("OVEdit "));
    QVERIFY(ovtest::outputWithoutDisplay(OV_OVEDIT_FILE, {"-h"}).contains("The Orvane data editor."));
}

void HogTabTest::pathFollowsTheGameFolderInForce() {
    // A previous run kept another game's folder; this run is given this one.
    QTemporaryDir other;
    QVERIFY(QFile::copy(archivePath(), other.filePath("resource.hog")));
    window_->setGameFolder(other.path());
    window_.reset();
    window_ = std::make_unique<MainWindow>(true);
    tab_ = window_->hogTab();
    QCOMPARE(control<QLineEdit>("txtHogPath")->text(), other.filePath("resource.hog"));
    window_->setGameFolder(work_->path());
    QCOMPARE(control<QLineEdit>("txtHogPath")->text(), archivePath());
    QTest::mouseClick(control<QPushButton>("cmdOpen"), Qt::LeftButton);
    QCOMPARE(labelText("lblHogPath"), archivePath());

    // A path the user typed is not taken from them.
    QVERIFY(tab_->closeArchive());
    auto* box = control<QLineEdit>("txtHogPath");
    retype(box, workPath("mine.hog"));
    window_->setGameFolder(other.path());
    QCOMPARE(box->text(), workPath("mine.hog"));
}

void HogTabTest::sortingStaysThroughFilterAndPaste() {
    openSample();
    QHeaderView* header = tab_->listView()->horizontalHeader();
    const HogListModel* model = tab_->listModel();
    const HogFilterModel* proxy = tab_->filterModel();
    auto inOrder = [&](int column) {
        for (int r = 1; r < proxy->rowCount(); ++r)
            if (model->lessThan(proxy->sourceRow(r), proxy->sourceRow(r - 1), column))
                return false;
        return true;
    };
    const int sizeX = header->sectionViewportPosition(HogListModel::Size) + 5;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(sizeX, 5));
    QCOMPARE(header->sortIndicatorSection(), int(HogListModel::Size));
    QVERIFY(inOrder(HogListModel::Size));
    auto* filter = control<QLineEdit>("txtHogFilter");
    QTest::keyClicks(filter, "shp");
    QTRY_VERIFY(proxy->rowCount() < model->entryCount());
    QVERIFY(inOrder(HogListModel::Size));
    filter->clear();
    QTRY_COMPARE(proxy->rowCount(), model->entryCount());
    QVERIFY(inOrder(HogListModel::Size));

    // Paste gives an entry another offset: under the Offset sort it moves.
    const int offsetX = header->sectionViewportPosition(HogListModel::Offset) + 5;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(offsetX, 5));
    QVERIFY(inOrder(HogListModel::Offset));
    const int first = proxy->sourceRow(0), last = proxy->sourceRow(proxy->rowCount() - 1);
    popupCommand(last, "pldHogCopy");
    popupCommand(first, "pldHogPaste");
    QCOMPARE(tab_->archive()->entries()[size_t(first)].offset,
             tab_->archive()->entries()[size_t(last)].offset);
    QVERIFY(inOrder(HogListModel::Offset));
}

void HogTabTest::noWindowOverTheWorksQuestionsAndMessages() {
    // Several not-packed entries: one Yes to all unpacks everything in one run, the
    // question in view with no progress window over it, the completion after.
    openSample();
    QTest::mouseClick(control<QPushButton>("cmdSelectAll"), Qt::LeftButton);
    QVERIFY(QDir().mkpath(workPath("all")));
    Answerer answers;
    answers.readMs = 700;
    answers.answers = {Answer::YesToAll};
    extractWith("cmdUnpackExtract", workPath("all"));
    QCOMPARE(answers.texts().filter("not compressed").size(), 1);
    QCOMPARE(answers.said.back().text, QString("Unpacking and extraction Complete"));
    QVERIFY(!answers.progressEverInView());
    QCOMPARE(tab_->lastExtraction().written, tab_->archive()->entries().size());

    // A plain extraction's completion likewise.
    Answerer again;
    again.readMs = 700;
    QVERIFY(QDir().mkpath(workPath("raw")));
    extractWith("cmdExtract", workPath("raw"));
    QVERIFY(again.saw("Extraction Complete"));
    QVERIFY(!again.progressEverInView());

    // Apply with a FAT backup: the refresh question in view and its Yes taken.
    QTest::mouseClick(control<QPushButton>("cmdBackupFAT"), Qt::LeftButton);
    QVERIFY(QFile::exists(workPath("resource.FAT")));
    tab_->deleteEntries({0});
    Answerer refresh;
    refresh.readMs = 700;
    refresh.answers = {Answer::Yes};
    applyAndWait();
    QVERIFY(refresh.texts().filter("Do you want to refresh it?").size() == 1);
    QVERIFY(!refresh.progressEverInView());
    const HogArchive lib = libraryArchive();
    QCOMPARE(readAll(workPath("resource.FAT")),
             readAll(archivePath()).left(qsizetype(lib.fatLength())));
}

void HogTabTest::previewStaysDrawnAfterAnExtraction() {
    shp::ComponentSpec hull;
    hull.name = "Hull";
    hull.vertices = {{-100, -100, 0}, {100, -100, 0}, {0, 100, 0}};
    hull.faces = {{0, 1, 2, 0, {}, {}, 0}};
    hull.textures = {"plates"};
    const Bytes model = shp::buildModel(0, {hull}).write();
    const std::vector<archive::HogItem> items = {{"notes.txt", {'h', 'i'}},
                                                 {"ship.shp", refpack::encode(model).value()},
                                                 {"other.shp", model}};
    QVERIFY(archive::writeHog(workPath("p.hog").toStdString(), items));
    QVERIFY(window_->openArchive(workPath("p.hog")));
    HogPreview* preview = tab_->preview();
    // What the screen shows where the view is (not what the view would draw if
    // asked: a view its window no longer composes shows black).
    auto drawn = [&] {
        auto* view = preview->findChild<desktop::ModelViewWidget*>("hogPreviewModel");
        if (!view || !view->isVisible()) return 0;
        const QPoint at = view->mapTo(window_.get(), QPoint(0, 0));
        const QImage image = window_->screen()
                                 ->grabWindow(window_->winId(), at.x(), at.y(), view->width(),
                                              view->height())
                                 .toImage();
        if (image.isNull()) return 0;
        const QRgb background = image.pixel(0, 0);
        int covered = 0;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                if (image.pixel(x, y) != background) ++covered;
        // A black frame is what a view without its OpenGL objects shows.
        return qGray(background) == 0 ? 0 : covered;
    };
    auto showRow = [&](int row) {
        clickRow(row);
        QTRY_VERIFY(!preview->isBusy());
        QTRY_COMPARE(preview->findChild<QLabel*>("lblHogPreviewName")->text(),
                     QString::fromStdString(items[size_t(row)].name));
    };
    showRow(1);
    QTRY_VERIFY(drawn() > 0);
    // An extraction with a question on the way, then the models again.
    QTest::mouseClick(control<QPushButton>("cmdSelectAll"), Qt::LeftButton);
    QVERIFY(QDir().mkpath(workPath("out")));
    {
        Answerer answers;
        // Read slowly: the progress window comes up on the way.
        answers.readMs = 700;
        answers.answers = {Answer::Yes, Answer::Yes};
        extractWith("cmdUnpackExtract", workPath("out"));
        QVERIFY2(answers.saw("Unpacking and extraction Complete"),
                 qPrintable(answers.texts().join('\n')));
    }
    QTRY_VERIFY(drawn() > 0);
    // A text, then the models again: the view was hidden under the text's page.
    showRow(0);
    showRow(2);
    QTRY_VERIFY(drawn() > 0);
    showRow(0);
    showRow(1);
    QTRY_VERIFY(drawn() > 0);

    // The sample game as a user clicks through it: a model, a text, another model.
    openSample();
    for (const char* name : {"raptor.shp", "data\\readme.txt", "bastion.shp", "data\\readme.txt",
                             "raptor_t.shp"}) {
        clickRow(rowNamed(name));
        QTRY_VERIFY(!preview->isBusy());
        QTRY_COMPARE(preview->findChild<QLabel*>("lblHogPreviewName")->text(), QString(name));
        QTest::qWait(300);
        if (QString(name).endsWith(".shp")) QTRY_VERIFY2(drawn() > 0, name);
    }
}

void HogTabTest::extractToAMissingFolderOffersToCreateIt() {
    openSample();
    clickRow(rowNamed("raptor.shp"));
    const QString missing = workPath("new/deeper");
    {
        Answerer answers;
        answers.answers = {Answer::No};
        extractWith("cmdExtract", missing);
        QCOMPARE(answers.said.size(), size_t(1));
        QVERIFY(answers.said[0].text.contains("doesn't exist. Do you want to create it?"));
        QCOMPARE(*answers.said[0].buttons, Buttons::YesNo);
        QVERIFY(!QFileInfo::exists(workPath("new")));
    }
    Answerer answers;
    answers.answers = {Answer::Yes};
    extractWith("cmdExtract", missing);
    QVERIFY(answers.saw("Extraction Complete"));
    QCOMPARE(readAll(missing + "/raptor.shp"),
             toQt(libraryArchive().readRaw(*libraryArchive().find("raptor.shp")).value()));
}

void HogTabTest::openWithAnArchiveOpenReplacesIt() {
    const std::vector<archive::HogItem> items = {{"only.txt", {'x'}}};
    QVERIFY(archive::writeHog(workPath("other.hog").toStdString(), items));
    openSample();
    openByTyping(workPath("other.hog"));
    QCOMPARE(labelText("lblHogPath"), workPath("other.hog"));
    QCOMPARE(tab_->listModel()->entryCount(), 1);

    // Pending changes are asked about first; Cancel keeps everything as it was.
    tab_->deleteEntries({0});
    QVERIFY(tab_->hasPendingChanges());
    {
        Answerer answers;
        answers.answers = {Answer::Cancel};
        openByTyping(archivePath());
        QCOMPARE(answers.said.size(), size_t(1));
        QVERIFY(answers.said[0].text.contains("not applied"));
        QCOMPARE(labelText("lblHogPath"), workPath("other.hog"));
        QVERIFY(tab_->hasPendingChanges());
    }
    Answerer answers;
    answers.answers = {Answer::No};
    openByTyping(archivePath());
    QCOMPARE(labelText("lblHogPath"), archivePath());
    QVERIFY(!tab_->hasPendingChanges());
    QCOMPARE(libraryContents(workPath("other.hog")).size(), size_t(1));
}

void HogTabTest::applyProgressSaysItPacks() {
    openSample();
    // A large file packed on the way: the progress says so while it is packed.
    QByteArray big(12 * 1024 * 1024, 0);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char((i * 2654435761u >> 13) & 0x3F);
    writeAll(workPath("big.bin"), big);
    big.clear();
    tab_->addFiles({workPath("big.bin")});
    EntryDialog* dialog = entryDialog();
    QVERIFY(dialog);
    dialog->packBox()->setChecked(true);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    QTRY_VERIFY(!tab_->entryDialog());

    Answerer answers;
    QStringList labels;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (auto* p = window_->findChild<QDialog*>("hogApplyProgress"))
            if (auto* l = p->findChild<QLabel*>("lblJobStatus")) labels << l->text();
    });
    watch.start(10);
    applyAndWait();
    watch.stop();
    QVERIFY2(labels.contains("Packing big.bin"), qPrintable(labels.join(" | ")));
}

void HogTabTest::editMenuUndoesAndRedoesWithThePlatformsKeys() {
    Answerer answers;
    openSample();
    auto* undo = window_->findChild<QAction*>("actUndo");
    auto* redo = window_->findChild<QAction*>("actRedo");
    QVERIFY(undo && redo);
    QVERIFY(window_->findChild<QMenu*>("menuEdit")->actions().contains(undo));
    QVERIFY(undo->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Z)));
    QVERIFY(redo->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Y)));
    QVERIFY(redo->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
    QVERIFY(!undo->isEnabled());

    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    const QString name = cell(1, HogListModel::Name);
    clickRow(1);
    clickRow(2, Qt::ControlModifier);
    QTest::keyClick(tab_->listView(), Qt::Key_Delete);
    QVERIFY(tab_->hasPendingChanges());
    QCOMPARE(tab_->editPlan()->steps().size(), size_t(2));
    QVERIFY(undo->isEnabled());
    QCOMPARE(undo->text(), QString("&Undo Delete 2 entries"));
    QWidget* list = tab_->listView();
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(!tab_->hasPendingChanges());
    QCOMPARE(labelText("lblHogChanges"), QString("No changes pending"));
    QTest::keyClick(list, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(tab_->editPlan()->steps().size(), size_t(2));
    QVERIFY(tab_->editPlan()->entries()[1].deleted);
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(labelText("lblHogChanges"), QString("2 changes pending"));
    // The tab's own button takes the same step back.
    QTest::mouseClick(control<QPushButton>("cmdUndoHogChange"), Qt::LeftButton);
    QVERIFY(!tab_->hasPendingChanges());
    QVERIFY(redo->isEnabled());
    QCOMPARE(cell(1, HogListModel::Name), name);

    // Nothing is taken back under a running rebuild, and another tab has its own.
    tab_->deleteEntries({1});
    QTest::mouseClick(control<QPushButton>("cmdApplyHogChanges"), Qt::LeftButton);
    QVERIFY(tab_->isBusy());
    QVERIFY(!undo->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!tab_->isBusy(), 60000);
    QVERIFY(!tab_->hasPendingChanges());
    QVERIFY(!undo->isEnabled());
    tab_->deleteEntries({1});
    QVERIFY(undo->isEnabled());
    window_->showTab("convert");
    QVERIFY(!undo->isEnabled());
    window_->showTab("hog");
    QVERIFY(undo->isEnabled());
}

namespace {

QString accessibleName(QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name) : QString();
}

// The Alt letters of a menu's items used more than once.
QStringList menuClashes(const QMenu* menu) {
    QMap<QChar, QStringList> owners;
    for (const QAction* a : menu->actions()) {
        const QString text = a->text();
        const qsizetype at = text.indexOf('&');
        if (a->isSeparator() || at < 0 || at + 1 >= text.size()) continue;
        owners[text[at + 1].toUpper()] << text;
    }
    QStringList out;
    for (auto it = owners.cbegin(); it != owners.cend(); ++it)
        if (it.value().size() > 1) out << it.value().join(", ");
    return out;
}

}  // namespace

// What a sighted user reads beside each caption, a screen reader reads in the
// label's name.
void HogTabTest::valueLabelsSayTheirValues() {
    openSample();
    // Every button of every tab has a name to be read by, also those that show
    // only at times (the menu bar's button for the menus a narrow window has no
    // room for).
    const QStringList unnamed = ovtest::unnamedButtons(window_.get());
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    const HogArchive lib = libraryArchive();
    QCOMPARE(accessibleName(control<QLabel>("lblHogCount")), QString("Number of files: 16 file(s)"));
    // This one's text says what it is.
    QCOMPARE(accessibleName(control<QLabel>("lblHogSize")),
             QString::fromStdString(archive::hogSizeText(lib.hogSize())));
    QVERIFY(accessibleName(control<QLabel>("lblHogSize")).startsWith("Hog Size: "));
    QCOMPARE(accessibleName(control<QLabel>("lblHogPath")), "Archive file: " + archivePath());
    QCOMPARE(accessibleName(control<QLabel>("lblHogFilterCount")), QString("Entries shown: 16 of 16"));
    QCOMPARE(accessibleName(control<QLabel>("lblHogChanges")),
             QString("Pending changes: No changes pending"));

    clickRow(rowNamed("raptor.shp"));
    QTRY_VERIFY(control<QLabel>("lblSelection")->text().startsWith("1 selected"));
    QCOMPARE(accessibleName(control<QLabel>("lblSelection")),
             "Selection: " + control<QLabel>("lblSelection")->text());
    QTRY_COMPARE(accessibleName(control<QLabel>("lblHogPreviewName")),
                 QString("Previewed entry: raptor.shp"));
    auto* details = control<QLabel>("lblHogPreviewDetails");
    QVERIFY(!details->text().isEmpty());
    QCOMPARE(accessibleName(details), "Preview details: " + details->text());

    popupCommand(rowNamed("raptor.shp"), "pldHogCopy");
    auto* status = tab_->statusLabel();
    QVERIFY(status->text().startsWith("Copied entry"));
    QCOMPARE(accessibleName(status), "Status: " + status->text());

    tab_->deleteEntries({rowNamed("raptor.shp")});
    QCOMPARE(accessibleName(control<QLabel>("lblHogChanges")),
             QString("Pending changes: 1 change pending"));

    // Closed, the labels say only what they are.
    tab_->discardChanges();
    QVERIFY(tab_->closeArchive());
    QCOMPARE(accessibleName(control<QLabel>("lblHogCount")), QString("Number of files"));
    QCOMPARE(accessibleName(control<QLabel>("lblHogSize")), QString("Hog size"));
}

// Alt+E, F, H, O, S and V are the window's (menus and tabs); the tab's controls
// answer other letters, each its own, whatever the tab shows, and so do its
// dialogs and its popup menu.
void HogTabTest::mnemonicsAreUniqueInEveryStateAndDialog() {
    auto clashes = [](QWidget* w) { return ovtest::mnemonicClashes(w).join('\n'); };
    QVERIFY2(clashes(window_.get()).isEmpty(), qPrintable(clashes(window_.get())));
    openSample();
    QVERIFY2(clashes(window_.get()).isEmpty(), qPrintable(clashes(window_.get())));
    tab_->deleteEntries({0});
    QVERIFY(tab_->hasPendingChanges());
    QVERIFY2(clashes(window_.get()).isEmpty(), qPrintable(clashes(window_.get())));
    tab_->discardChanges();

    const QStringList popup = menuClashes(tab_->popupMenu());
    QVERIFY2(popup.isEmpty(), qPrintable(popup.join('\n')));

    writeAll(workPath("named.txt"), "named");
    for (int form = 0; form < 3; ++form) {
        if (form == 0) tab_->addFiles({workPath("named.txt")});
        if (form == 1) tab_->replaceEntry(0);
        if (form == 2) tab_->renameEntry(0);
        EntryDialog* dialog = entryDialog();
        QVERIFY(dialog);
        QVERIFY2(clashes(dialog).isEmpty(), qPrintable(QString::number(form) + ": " + clashes(dialog)));
        dialog->reject();
        QTRY_VERIFY(!tab_->entryDialog());
    }
    popupCommand(0, "pldHogProperties");
    FatEditor* editor = nullptr;
    QTRY_VERIFY((editor = tab_->findChild<FatEditor*>("FAT_Editor")) != nullptr);
    QVERIFY2(clashes(editor).isEmpty(), qPrintable(clashes(editor)));
    editor->reject();
}

// The keyboard alone: Enter in Path opens, the arrows move in the list, Tab and
// Shift+Tab leave it; assistive technology reads its rows and its selection.
void HogTabTest::theListLetsTabOutAndReportsRowsAndSelection() {
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    auto* path = control<QLineEdit>("txtHogPath");
    path->setFocus();
    path->clear();
    QTest::keyClicks(path, archivePath());
    QTest::keyClick(path, Qt::Key_Return);
    QVERIFY(tab_->hasArchive());

    HogListView* list = tab_->listView();
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());
    QCOMPARE(list->currentIndex().row(), 0);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex().row(), 2);
    QCOMPARE(tab_->selectedListRows(), std::vector<int>{2});

    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(list);
    QVERIFY(a && a->tableInterface());
    QCOMPARE(a->tableInterface()->rowCount(), 16);
    QCOMPARE(a->tableInterface()->selectedRowCount(), 1);
    QCOMPARE(a->tableInterface()->selectedRows(), QList<int>{2});
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(a->tableInterface()->selectedRowCount(), 2);

    // Shift+F10 opens the popup menu on the current row, as the menu key does.
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(tab_->popupMenu()->isVisible());
    QVERIFY(popupAction("pldHogCopy")->isEnabled());
    tab_->popupMenu()->hide();
    QTRY_VERIFY(list->hasFocus());

    QTest::keyClick(list, Qt::Key_Tab);
    QTRY_VERIFY(!list->hasFocus());
    QVERIFY(QApplication::focusWidget());
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());
    QTest::keyClick(list, Qt::Key_Backtab, Qt::ShiftModifier);
    QTRY_VERIFY(!list->hasFocus());
    // The selection moved with the arrows, not with Tab.
    QCOMPARE(tab_->selectedListRows().size(), size_t(2));
}

// 960 x 540 logical pixels is a 1920 x 1080 screen at 200 %: the tab asks for no
// more, and every command is still in reach there.
void HogTabTest::theTabFitsASmallScreen() {
    openSample();
    QVERIFY(tab_->hasArchive());
    const QSize hint = tab_->minimumSizeHint();
    QVERIFY2(hint.width() <= 960 && hint.height() <= 540,
             qPrintable(QString("%1 x %2").arg(hint.width()).arg(hint.height())));
    // The window as the hog tab alone makes it (the other tabs have their own test).
    auto* tabs = window_->findChild<QTabWidget*>("tabMain");
    while (tabs->count() > 1)
        tabs->removeTab(1);
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    window_->resize(960, 540);
    QTRY_VERIFY2(window_->width() <= 960 + 1, qPrintable(QString::number(window_->width())));
    // Reached with Tab from the path box, as a person without a mouse would, and
    // then in view.
    auto reach = [&](const char* name) {
        auto* b = control<QPushButton>(name);
        QVERIFY2(b->isEnabled(), name);
        auto* path = control<QLineEdit>("txtHogPath");
        path->setFocus();
        QTRY_VERIFY(path->hasFocus());
        for (int i = 0; i < 40 && QApplication::focusWidget() != b; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(QApplication::focusWidget() == b, name);
        QTest::qWait(20);
        const QRect inWindow(b->mapTo(window_.get(), QPoint(0, 0)), b->size());
        QVERIFY2(window_->rect().contains(inWindow),
                 qPrintable(QString("%1 at %2,%3 %4x%5 in %6x%7")
                                .arg(name)
                                .arg(inWindow.x())
                                .arg(inWindow.y())
                                .arg(inWindow.width())
                                .arg(inWindow.height())
                                .arg(window_->width())
                                .arg(window_->height())));
        QVERIFY2(!b->visibleRegion().isEmpty(), name);
    };
    QTest::mouseClick(control<QPushButton>("cmdBackupFAT"), Qt::LeftButton);
    for (const char* name : {"cmdCloseHog", "cmdRestoreFAT", "cmdUnpackExtract", "cmdBrowseHogDest"}) {
        reach(name);
        if (QTest::currentTestFailed()) return;
    }
    // The change commands are on only with changes pending.
    tab_->deleteEntries({0});
    reach("cmdApplyHogChanges");
}

QTEST_MAIN(HogTabTest)
#include "hog_tab_test.moc"
