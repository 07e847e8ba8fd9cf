// The ships workspace without a window: figures applied, undone and redone on a
// sample game folder, OVTool handed the model where the game loads it, and where
// OVTool is looked for. Every file is compared with what the ship library reads.

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/fileio.h"
#include "ovedit/ships/stats.h"
#include "ovedit/ships/weapons.h"
#include "ovedit/ui/ships_workspace.h"
#include "ovedit/ui/tool_launcher.h"
#include "support/test_support.h"

using namespace ov;
using namespace ov::edit;
using ships::ShipStats;

namespace {

constexpr size_t Raptor = 0, Kestrel = 1, Wraith = 2;
// Display positions.
constexpr size_t MaxSpeed = 0, Ammo = 14;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString dst = QDir(to).filePath(QDir(from).relativeFilePath(src));
        QDir().mkpath(QFileInfo(dst).absolutePath());
        QFile::copy(src, dst);
    }
}

#ifdef Q_OS_WIN
const QString kToolName = QStringLiteral("OVTool.exe");
#else
const QString kToolName = QStringLiteral("OVTool");
#endif

// A stand-in for OVTool (a program, so that Windows starts it too) that writes
// down the file it was started on, then ends.
QString writeStandIn(const QString& folder, const QString& record) {
    const QString tool = QDir(folder).filePath(kToolName);
    QFile::remove(tool);
    if (!QFile::copy(QStringLiteral(OV_STAND_IN_FILE), tool)) return {};
    qputenv("OV_STAND_IN_RECORD", QDir::toNativeSeparators(record).toLocal8Bit());
    return tool;
}

#ifndef _WIN32
// Children of this process that have ended and were never reaped.
int defunctChildren() {
    int count = 0;
    QDirIterator it("/proc", QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QByteArray stat = readAll(it.next() + "/stat");
        // pid (name) state ppid ...
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0) continue;
        const QList<QByteArray> rest = stat.mid(close + 2).split(' ');
        if (rest.size() > 1 && rest[0] == "Z" && rest[1].toLongLong() == getpid()) ++count;
    }
    return count;
}
#endif

}  // namespace

class ShipsWorkspaceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir sampleDir_;
    std::unique_ptr<QTemporaryDir> work_;
    std::unique_ptr<ovtest::RecordingReporter> reporter_;
    std::unique_ptr<ShipsWorkspace> ws_;

    QString game() const { return work_->filePath("game"); }
    QString gamePath(const QString& name) const { return QDir(game()).filePath(name); }
    QString stats() const { return gamePath("shipstats.bin"); }
    ShipStats fileStats(size_t ship) const {
        auto s = ships::readShipStats(ov::pathFromText(stats().toStdString()),
                                      ws_->ships()[ship].statsIndex);
        if (!s) qFatal("%s", s.error().describe().c_str());
        return *s;
    }
    float shown(size_t displayPosition) const {
        return ws_->shownStats().field[ships::statsFieldsInDisplayOrder()[displayPosition].fileIndex];
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void applyIsOneStepThatUndoAndRedoWrite();
    void applyThatCannotWriteLeavesNoStep();
    void undoKeepsFiguresBeingEdited();
    void undoOfAnotherShipShowsItUnlessFiguresAreBeingEdited();
    void openInToolPutsAnArchiveModelIntoTheShipsFolder_data();
    void openInToolPutsAnArchiveModelIntoTheShipsFolder();
    void toolIsFoundInTheBuildTreeAndTheSearchIsSaid();
    void endedToolIsNotLeftDefunct();
};

void ShipsWorkspaceTest::initTestCase() {
    QProcess sample;
    sample.start(OV_OVCLI_FILE, {"sample-game", sampleDir_.filePath("game")});
    QVERIFY(sample.waitForFinished(60000));
    QCOMPARE(sample.exitCode(), 0);
}

void ShipsWorkspaceTest::init() {
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(work_->isValid());
    copyTree(sampleDir_.filePath("game"), game());
    reporter_ = std::make_unique<ovtest::RecordingReporter>();
    ws_ = std::make_unique<ShipsWorkspace>(*reporter_);
    QVERIFY(ws_->setGameFolder(game()));
    QCOMPARE(ws_->currentShip(), std::optional<size_t>(Raptor));
}

void ShipsWorkspaceTest::cleanup() {
    ws_.reset();
    reporter_.reset();
    work_.reset();
}

void ShipsWorkspaceTest::applyIsOneStepThatUndoAndRedoWrite() {
    const QByteArray before = readAll(stats());
    const ShipStats original = ws_->shownStats();
    // Nothing edited: nothing written, no step.
    QVERIFY(ws_->applyStats());
    QCOMPARE(ws_->undoStack()->count(), 0);

    ws_->setFigure(MaxSpeed, 512.5f);
    ws_->setFigure(Ammo, 33.0f);
    QVERIFY(ws_->statsEdited());
    QVERIFY(ws_->applyStats());
    QVERIFY(!ws_->statsEdited());
    QCOMPARE(ws_->undoStack()->count(), 1);
    const QByteArray after = readAll(stats());
    QCOMPARE(after.size(), before.size());
    QCOMPARE(fileStats(Raptor).field[0], 512.5f);
    QCOMPARE(readAll(gamePath("shipstats.def")), before);

    ws_->undoStack()->undo();
    QCOMPARE(readAll(stats()), before);
    QCOMPARE(ws_->shownStats(), original);
    QVERIFY(!ws_->statsEdited());
    ws_->undoStack()->redo();
    QCOMPARE(readAll(stats()), after);
    QCOMPARE(shown(MaxSpeed), 512.5f);
    QVERIFY(reporter_->said.empty());
}

void ShipsWorkspaceTest::applyThatCannotWriteLeavesNoStep() {
    SilentReporter silent;
    QVERIFY(ships::EnsureDefaultShipStats(game().toStdString(), silent));
    const QByteArray before = readAll(stats());
    ws_->setFigure(MaxSpeed, 99.0f);
    {
        ScopedFileFault full(FileStep::Write, 0, std::errc::no_space_on_device, true);
        QVERIFY(!ws_->applyStats());
    }
    QCOMPARE(ws_->undoStack()->count(), 0);
    QCOMPARE(readAll(stats()), before);
    // The figure is still there to apply once the disk has room.
    QVERIFY(ws_->statsEdited());
    QCOMPARE(reporter_->said.size(), size_t(1));
    QCOMPARE(reporter_->said[0].title, std::string("PutShipsStats"));
    QVERIFY(ws_->applyStats());
    QCOMPARE(ws_->undoStack()->count(), 1);
}

void ShipsWorkspaceTest::undoKeepsFiguresBeingEdited() {
    const ShipStats original = ws_->shownStats();
    ws_->setFigure(MaxSpeed, 600.0f);
    QVERIFY(ws_->applyStats());
    // Typed and not applied when the Apply is undone.
    ws_->setFigure(Ammo, 7.0f);
    ws_->undoStack()->undo();
    QCOMPARE(fileStats(Raptor), original);
    QCOMPARE(shown(MaxSpeed), original.field[0]);
    QCOMPARE(shown(Ammo), 7.0f);
    QVERIFY(ws_->statsEdited());
    ws_->undoStack()->redo();
    QCOMPARE(fileStats(Raptor).field[0], 600.0f);
    QCOMPARE(shown(Ammo), 7.0f);
    QVERIFY(reporter_->said.empty());
}

void ShipsWorkspaceTest::undoOfAnotherShipShowsItUnlessFiguresAreBeingEdited() {
    QVERIFY(ws_->selectShip(Kestrel));
    const ShipStats kestrel = ws_->shownStats();
    ws_->setFigure(Ammo, 99.0f);
    QVERIFY(ws_->applyStats());
    QVERIFY(ws_->selectShip(Wraith));
    ws_->undoStack()->undo();
    QCOMPARE(ws_->currentShip(), std::optional<size_t>(Kestrel));
    QCOMPARE(fileStats(Kestrel), kestrel);

    // The Wraith's figures are being edited: the redo writes the Kestrel's, and the
    // Wraith stays shown with its edit.
    QVERIFY(ws_->selectShip(Wraith));
    ws_->setFigure(MaxSpeed, 1.5f);
    ws_->undoStack()->redo();
    QCOMPARE(fileStats(Kestrel).field[14], 99.0f);
    QCOMPARE(ws_->currentShip(), std::optional<size_t>(Wraith));
    QCOMPARE(shown(MaxSpeed), 1.5f);
    QVERIFY(reporter_->said.empty());
}

void ShipsWorkspaceTest::openInToolPutsAnArchiveModelIntoTheShipsFolder_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes copies and opens") << true;
    QTest::newRow("No opens nothing") << false;
}

void ShipsWorkspaceTest::openInToolPutsAnArchiveModelIntoTheShipsFolder() {
    QFETCH(bool, yes);
    const QString record = work_->filePath("started.txt");
    ws_->setToolProgram(writeStandIn(work_->path(), record));
    QVERIFY(ws_->modelFromArchive());
    auto archived = ships::loadShipModel(ov::pathFromText(game().toStdString()), "raptor.shp");
    QVERIFY(archived.ok());

    reporter_->answers = {yes ? Answer::Yes : Answer::No};
    QCOMPARE(ws_->openInTool(), yes);
    QCOMPARE(reporter_->said.size(), size_t(1));
    QVERIFY(reporter_->said[0].question);
    QVERIFY(QString::fromStdString(reporter_->said[0].text).contains("ships\\raptor.shp"));
    if (!yes) {
        QTest::qWait(300);
        QVERIFY(!QFileInfo::exists(record));
        QVERIFY(!QFileInfo::exists(gamePath("ships/raptor.shp")));
        return;
    }
    // OVTool gets the loose, unpacked copy where the game loads it; the archive's
    // bytes are kept as the .bak, as a weapon change keeps them.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record), 20000);
    QCOMPARE(readAll(record).trimmed(), QDir::toNativeSeparators(gamePath("ships/raptor.shp")).toUtf8());
    QCOMPARE(readAll(gamePath("ships/raptor.shp")),
             QByteArray(reinterpret_cast<const char*>(archived->unpacked.data()),
                        qsizetype(archived->unpacked.size())));
    QCOMPARE(readAll(gamePath("ships/raptor.bak")),
             QByteArray(reinterpret_cast<const char*>(archived->original.data()),
                        qsizetype(archived->original.size())));
    QVERIFY(!ws_->modelFromArchive());

    // Now loose: opened again without a question.
    QFile::remove(record);
    QVERIFY(ws_->openInTool());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record), 20000);
    QCOMPARE(reporter_->said.size(), size_t(1));
}

void ShipsWorkspaceTest::toolIsFoundInTheBuildTreeAndTheSearchIsSaid() {
    // This test runs from the build tree, where nothing lies beside it but OVTool
    // lies in ovtool/ui.
    QCOMPARE(QFileInfo(findToolProgram()).canonicalFilePath(),
             QFileInfo(OV_OVTOOL_FILE).canonicalFilePath());

    // Beside the program first, then the build tree, then PATH.
    const QString beside = work_->filePath("bin");
    const QStringList places = toolProgramCandidates(beside);
    QVERIFY(places.size() >= 2);
    QCOMPARE(places[0], QDir(beside).filePath(kToolName));
    QCOMPARE(QFileInfo(places[1]).canonicalFilePath(), QFileInfo(OV_OVTOOL_FILE).canonicalFilePath());
    QDir().mkpath(beside);
    const QString standIn = writeStandIn(beside, work_->filePath("unused"));
    QCOMPARE(findToolProgram(places), standIn);

    // Nowhere to be found: the message names every place looked in.
    const QStringList nowhere = {work_->filePath("a/OVTool"), work_->filePath("b/OVTool")};
    QVERIFY(findToolProgram(nowhere, *reporter_).isEmpty());
    QCOMPARE(reporter_->said.size(), size_t(1));
    const QString text = QString::fromStdString(reporter_->said[0].text);
    QVERIFY(text.startsWith("OVTool was not found"));
    for (const QString& place : nowhere)
        QVERIFY2(text.contains(QDir::toNativeSeparators(place)), qPrintable(text));
    QVERIFY(!checkToolProgram(work_->filePath("c/OVTool"), *reporter_));
    QVERIFY(QString::fromStdString(reporter_->said.back().text)
                .contains(QDir::toNativeSeparators(work_->filePath("c/OVTool"))));
}

void ShipsWorkspaceTest::endedToolIsNotLeftDefunct() {
    const QString record = work_->filePath("started.txt");
    const QString tool = writeStandIn(work_->path(), record);
    QVERIFY(startToolOn(tool, gamePath("shipstats.bin"), *reporter_));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record), 20000);
#ifndef _WIN32  // Windows has no defunct processes to look for
    QTest::qWait(500);
    QCOMPARE(defunctChildren(), 0);
#endif
}

QTEST_GUILESS_MAIN(ShipsWorkspaceTest)
#include "ships_workspace_test.moc"
