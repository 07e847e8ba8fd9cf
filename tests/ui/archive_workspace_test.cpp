// The hog tab's workspace without a window: each change to the plan one undo step,
// refused changes none, Undo and Redo giving the same plan back, and a new
// snapshot or a discard leaving no history behind; the FAT commands writing in
// place only while no change is pending, and leaving a fresh read as the snapshot.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <fstream>

#include "ovedit/archive/hog.h"
#include "ovedit/ui/archive_workspace.h"
#include "support/test_support.h"

using namespace ov;
using ov::edit::ArchiveWorkspace;

namespace {

Bytes text(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

// Names and marks of the planned rows, to compare plans.
QStringList rows(const ArchiveWorkspace& ws) {
    QStringList out;
    if (!ws.plan()) return out;
    for (const archive::PlannedEntry& e : ws.plan()->entries())
        out << QString::fromStdString(e.name) + (e.deleted ? "-" : "") + (e.added() ? "+" : "");
    return out;
}

}  // namespace

class ArchiveWorkspaceTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        const std::vector<archive::HogItem> items = {
            {"a.txt", text("a")}, {"b.txt", text("b")}, {"c.txt", text("c")}};
        hog_ = dir_.filePath("t.hog").toStdString();
        QVERIFY(archive::writeHog(hog_, items));
        file_ = dir_.filePath("new.bin").toStdString();
        std::ofstream(file_) << "new";
        auto a = archive::HogArchive::read(hog_);
        QVERIFY(a);
        ws_ = std::make_unique<ArchiveWorkspace>();
        // A FAT backup an earlier test made goes with it.
        std::filesystem::remove(a->backupPath());
        ws_->setArchive(std::make_shared<const archive::HogArchive>(std::move(*a)));
    }
    void cleanup() { ws_.reset(); }

    void everyChangeIsOneStepAndComesBack();
    void refusedChangesLeaveNoStep();
    void aNewSnapshotOrDiscardForgetsTheHistory();
    void fatCommandsWriteInPlaceAndTakeAFreshRead();
    void fatCommandsWaitForPendingChanges();

private:
    QTemporaryDir dir_;
    std::string hog_, file_;
    std::unique_ptr<ArchiveWorkspace> ws_;
};

void ArchiveWorkspaceTest::everyChangeIsOneStepAndComesBack() {
    QUndoStack* undo = ws_->undoStack();
    QSignalSpy changed(ws_.get(), &ArchiveWorkspace::planChanged);
    QVERIFY(ws_->add(file_, "d.bin", false));
    QVERIFY(ws_->rename(0, "z.txt"));
    size_t taken = 0;
    QVERIFY(ws_->remove({1, 2, 2}, taken));
    QCOMPARE(taken, size_t(2));
    // Two deletions at once are one step.
    QCOMPARE(undo->count(), 3);
    QCOMPARE(undo->text(2), QString("Delete 2 entries"));
    QCOMPARE(changed.count(), 3);
    const QStringList after = rows(*ws_);
    QCOMPARE(after, (QStringList{"z.txt", "b.txt-", "c.txt-", "d.bin+"}));

    std::vector<QStringList> seen;
    while (undo->canUndo()) {
        undo->undo();
        seen.push_back(rows(*ws_));
    }
    QCOMPARE(seen.back(), (QStringList{"a.txt", "b.txt", "c.txt"}));
    QVERIFY(!ws_->hasPendingChanges());
    QCOMPARE(seen[0], (QStringList{"z.txt", "b.txt", "c.txt", "d.bin+"}));
    while (undo->canRedo())
        undo->redo();
    QCOMPARE(rows(*ws_), after);
    QCOMPARE(ws_->plan()->steps().size(), size_t(4));
    QCOMPARE(changed.count(), 3 + 3 + 3);
}

void ArchiveWorkspaceTest::refusedChangesLeaveNoStep() {
    QVERIFY(ws_->add(file_, "d.bin", false));
    QVERIFY(!ws_->rename(0, "b.txt"));        // a name another entry has
    QVERIFY(!ws_->add(file_, "D.BIN", false));  // the same ignoring case
    QVERIFY(!ws_->replace(9, file_, false));    // no such row
    QVERIFY(!ws_->add(dir_.filePath("missing").toStdString(), "m.bin", false));
    size_t taken = 0;
    QVERIFY(ws_->remove({7, 8}, taken));
    QCOMPARE(taken, size_t(0));
    QCOMPARE(ws_->undoStack()->count(), 1);
    QCOMPARE(ws_->plan()->steps().size(), size_t(1));
}

void ArchiveWorkspaceTest::aNewSnapshotOrDiscardForgetsTheHistory() {
    QVERIFY(ws_->add(file_, "d.bin", false));
    ws_->undoStack()->undo();
    QVERIFY(ws_->undoStack()->canRedo());
    ws_->discard();
    QCOMPARE(ws_->undoStack()->count(), 0);
    QVERIFY(!ws_->plan());
    QVERIFY(ws_->rename(1, "y.txt"));
    auto a = archive::HogArchive::read(hog_);
    QVERIFY(a);
    ws_->setArchive(std::make_shared<const archive::HogArchive>(std::move(*a)));
    QCOMPARE(ws_->undoStack()->count(), 0);
    QVERIFY(!ws_->hasPendingChanges());
}

void ArchiveWorkspaceTest::fatCommandsWriteInPlaceAndTakeAFreshRead() {
    ovtest::RecordingReporter reporter;
    QSignalSpy rewritten(ws_.get(), &ArchiveWorkspace::fatRewritten);
    const auto before = ws_->archive();
    const archive::HogEntry first = before->entries()[0];

    QVERIFY(ws_->backupFat(reporter));
    QVERIFY(std::filesystem::exists(before->backupPath()));
    QCOMPARE(rewritten.count(), 0);  // the FAT itself is as it was

    QVERIFY(!ws_->pasteEntry(2, reporter));  // nothing copied yet
    QVERIFY(ws_->copyEntry(0));
    QVERIFY(ws_->pasteEntry(2, reporter));
    QCOMPARE(rewritten.count(), 1);
    QVERIFY(ws_->archive() != before);
    QCOMPARE(ws_->archive()->entries()[2].offset, first.offset);
    QCOMPARE(ws_->archive()->entries()[2].size, first.size);
    // The old snapshot, which a worker may still read, is untouched.
    QVERIFY(before->entries()[2].offset != first.offset);
    // The archive on disk says the same as the snapshot.
    auto reread = archive::HogArchive::read(hog_);
    QVERIFY(reread);
    QCOMPARE(reread->entries()[2].offset, first.offset);
    QCOMPARE(ws_->copiedEntry(), std::optional<size_t>(0));

    const archive::HogEntry second = ws_->archive()->entries()[1];
    QVERIFY(ws_->saveEntry(1, "B.TXT", archive::hexText(second.offset),
                           archive::hexText(second.size), reporter));
    QCOMPARE(QString::fromStdString(ws_->archive()->entries()[1].name), QString("B.TXT"));
    reporter.answers.push_back(Answer::Yes);
    QVERIFY(ws_->restoreFat(reporter));
    const auto& restored = ws_->archive()->entries();
    QCOMPARE(restored[2].offset, before->entries()[2].offset);
    QCOMPARE(QString::fromStdString(restored[1].name), QString("b.txt"));

    auto a = archive::HogArchive::read(hog_);
    QVERIFY(a);
    ws_->setArchive(std::make_shared<const archive::HogArchive>(std::move(*a)));
    QVERIFY(!ws_->copiedEntry());
}

void ArchiveWorkspaceTest::fatCommandsWaitForPendingChanges() {
    ovtest::RecordingReporter reporter;
    QVERIFY(ws_->copyEntry(0));
    QVERIFY(ws_->rename(1, "y.txt"));
    QVERIFY(!ws_->fatCommandsAllowed());
    const auto before = ws_->archive();
    QVERIFY(!ws_->pasteEntry(2, reporter));
    QVERIFY(!ws_->copyEntry(1));
    QVERIFY(!ws_->backupFat(reporter));
    QVERIFY(!ws_->saveEntry(0, "A.TXT", "0", "1", reporter));
    QVERIFY(!std::filesystem::exists(before->backupPath()));
    QCOMPARE(ws_->archive(), before);
    // The plan still stands on the archive as it was.
    QCOMPARE(ws_->undoStack()->count(), 1);
    QVERIFY(ws_->hasPendingChanges());
    auto reread = archive::HogArchive::read(hog_);
    QVERIFY(reread);
    QCOMPARE(reread->entries()[2].offset, before->entries()[2].offset);
}

QTEST_GUILESS_MAIN(ArchiveWorkspaceTest)
#include "archive_workspace_test.moc"
