// OVEdit's main window and hog tab, driven as a user drives them: controls found by
// their names, typed into and clicked, on a game folder from the sample generator.
// Message boxes are answered through the reporter's handler, never left open.

#include <QAccessible>
#include <QCheckBox>
#include <QDirIterator>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
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
#include "ovedit/ui/entry_drag.h"
#include "ovedit/ui/fat_editor.h"
#include "ovedit/ui/hog_list_model.h"
#include "ovedit/ui/hog_preview.h"
#include "ovedit/ui/hog_tab.h"
#include "ovedit/ui/main_window.h"
#include "ovtool/ui/model_view.h"
#include "ovtool/ui/qt_reporter.h"

using namespace ov;
using namespace ov::edit;
using archive::ExtractMode;
using archive::HogArchive;
using ui::ReportRequest;
using ui::ScopedReportHandler;

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
    std::optional<ScopedReportHandler> scope;

    Answerer() {
        scope.emplace([this](const ReportRequest& r) {
            said.push_back(r);
            if (!r.isQuestion()) return Answer::Ok;
            if (onQuestion) onQuestion(r);
            if (answers.empty()) return cautiousAnswer(*r.buttons);
            const Answer a = answers.front();
            answers.pop_front();
            return a;
        });
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
    void draggedEntriesAreExtractedUnpackedOnDrop();
    void everyControlIsNamedAndReadable();
    void gameFolderAndRecentArchivesAreKept();
    void fileDroppedOnTheWindowOpens();
    void screenshotOptionWritesThePicture();
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
    QVERIFY(!control<QPushButton>("cmdOpen")->isEnabled());
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
    // An older file of the same name is replaced only by a Yes.
    QVERIFY(QDir().mkpath(workPath("out/data")));
    writeAll(workPath("out/data/readme.txt"), "older");

    Answerer answers;
    answers.answers = {answer};
    extractWith("cmdUnpackExtract", workPath("out"));
    QCOMPARE(answers.said.front().title, QString("OV Edit"));
    QCOMPARE(
        answers.said.front().text,
        QString("Error unpacking data\\readme.txt file not compressed. Do you want to extract?"));
    QCOMPARE(answers.said.front().icon, Icon::Question);
    QCOMPARE(*answers.said.front().buttons, Buttons::YesNoCancel);
    QCOMPARE(answers.said.back().text, last);
    QCOMPARE(answers.said.size(), size_t(2));

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
        auto* progress = tab_->findChild<QProgressDialog*>("hogExtractProgress");
        QVERIFY(progress);
        QVERIFY(tab_->isBusy());
        // Its one button, whether or not the dialog has come up yet.
        auto* cancel = progress->findChild<QPushButton*>();
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
    auto* view = preview->findChild<ui::ModelViewWidget*>("hogPreviewModel");
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

void HogTabTest::everyControlIsNamedAndReadable() {
    openSample();
    // The names the editor's controls are known by.
    for (const char* name :
         {"cmdOpen", "txtHogPath", "hogList", "cmdExtract", "cmdUnpackExtract", "cmdSelectAll",
          "cmdSelectNone", "cmdBrowseHogDest", "cmdBackupFAT", "cmdRestoreFAT", "cmdCloseHog",
          "cmdBrowseHog", "txtHogDest", "txtHogFilter", "lblHogPath", "lblHogSize", "lblHogCount",
          "lblHogStatus", "lblHogFilterCount"})
        QVERIFY2(window_->findChild<QWidget*>(name), name);
    QCOMPARE(tab_->popupMenu()->objectName(), QString("pldHogPopup"));
    for (const char* name : {"pldHogCopy", "pldHogPaste", "pldHogProperties"})
        QVERIFY2(popupAction(name), name);

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
             QString("OV Edit - %1").arg(QDir::toNativeSeparators(work_->path())));
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
}

QTEST_MAIN(HogTabTest)
#include "hog_tab_test.moc"
