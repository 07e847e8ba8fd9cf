// The job runner on real windows: no progress window over a question or message of
// the work, the work paused until answered, the answer reaching the work, the last
// status never dropped, Cancel and Escape stopping the work.

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "common/ui/job_runner.h"
#include "common/ui/qt_reporter.h"

using ov::Answer;
using ov::Buttons;
using ov::Icon;
using ov::desktop::JobRunner;
using ov::desktop::JobWindowText;
using ov::desktop::QtReporter;
using ov::desktop::ReportRequest;
using ov::desktop::ScopedReportHandler;

namespace {

JobWindowText texts() {
    JobWindowText s;
    s.objectName = "testProgress";
    s.accessibleName = "Test progress";
    s.title = "Test";
    s.label = "Working...";
    s.total = 3;
    return s;
}

// Waits on the worker until the GUI thread lets it go.
void waitFor(const std::atomic<bool>& flag) {
    while (!flag)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

class JobRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        window_ = new QWidget;
        window_->resize(400, 300);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_));
        reporter_ = std::make_unique<QtReporter>(window_);
        runner_ = std::make_unique<JobRunner>(window_, *reporter_);
        runner_->setShowDelay(0);
    }
    void cleanup() {
        // A failed check may leave a real box open that the work waits on.
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [] {
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        closer.start(50);
        runner_.reset();
        reporter_.reset();
        delete window_;
    }

    void questionHidesProgressAndPausesWork();
    void completionMessageAfterProgressCloses();
    void realQuestionHasFocusAndItsYesCounts();
    void lastStatusOfABurstIsShown();
    void escapeAndCancelStopTheWork();
    void progressIsReadAsItGoes();

private:
    QDialog* progressWindow() const { return window_->findChild<QDialog*>("testProgress"); }

    QWidget* window_ = nullptr;
    std::unique_ptr<QtReporter> reporter_;
    std::unique_ptr<JobRunner> runner_;
};

void JobRunnerTest::questionHidesProgressAndPausesWork() {
    std::atomic<bool> shown{false}, afterAnswer{false}, release{false};
    bool progressVisibleAtQuestion = true, workWentOn = true;
    ScopedReportHandler handler([&](const ReportRequest& r) {
        progressVisibleAtQuestion = progressWindow() && progressWindow()->isVisible();
        workWentOn = afterAnswer;
        return r.isQuestion() ? Answer::YesToAll : Answer::Ok;
    });
    Answer got = Answer::Cancel;
    bool done = false;
    runner_->start(
        texts(),
        [&](const ov::Job& job, ov::Reporter& reporter) {
            job.report({1, 3, 0, {}, "first"});
            waitFor(shown);
            got = reporter.question("Test", "Go on?", Buttons::YesYesToAllNoCancel,
                                    Icon::Question);
            afterAnswer = true;
            job.report({2, 3, 0, {}, "second"});
            // Held here until the window is seen back.
            waitFor(release);
        },
        [&] { done = true; });
    QTRY_VERIFY(progressWindow() && progressWindow()->isVisible());
    shown = true;
    QTRY_VERIFY(afterAnswer);
    QVERIFY(!progressVisibleAtQuestion);
    QVERIFY(!workWentOn);
    QCOMPARE(got, Answer::YesToAll);
    // The work went on: its window is back, saying what it does.
    QTRY_VERIFY(progressWindow()->isVisible());
    QTRY_COMPARE(progressWindow()->findChild<QLabel*>("lblJobStatus")->text(), QString("second"));
    release = true;
    QTRY_VERIFY(done);
    QVERIFY(!progressWindow());
    QVERIFY(!runner_->isRunning());
}

void JobRunnerTest::completionMessageAfterProgressCloses() {
    std::atomic<bool> shown{false};
    bool visibleAtMessage = true;
    QStringList said;
    ScopedReportHandler handler([&](const ReportRequest& r) {
        visibleAtMessage = progressWindow() && progressWindow()->isVisible();
        said << r.text;
        return Answer::Ok;
    });
    bool progressGoneAtDone = false;
    bool shownAgain = false;
    runner_->start(
        texts(),
        [&](const ov::Job& job, ov::Reporter& reporter) {
            job.report({3, 3, 0, {}, "last"});
            waitFor(shown);
            job.report({3, 3, 0, {}, ""});
            reporter.message("Test", "Extraction Complete", Icon::Information);
        },
        [&] { progressGoneAtDone = !progressWindow() || !progressWindow()->isVisible(); });
    connect(runner_.get(), &JobRunner::progressed, this, [&] {
        if (!said.isEmpty() && progressWindow() && progressWindow()->isVisible()) shownAgain = true;
    });
    QTRY_VERIFY(progressWindow() && progressWindow()->isVisible());
    shown = true;
    QTRY_VERIFY(!runner_->isRunning());
    QCOMPARE(said, QStringList{"Extraction Complete"});
    QVERIFY(!visibleAtMessage);
    QVERIFY(progressGoneAtDone);
    QVERIFY(!shownAgain);
}

void JobRunnerTest::realQuestionHasFocusAndItsYesCounts() {
    // No handler: a real box, clicked as a person would once it has the focus.
    std::atomic<bool> shown{false};
    Answer got = Answer::Cancel;
    runner_->start(texts(), [&](const ov::Job& job, ov::Reporter& reporter) {
        job.report({0, 3, 0, {}, "first"});
        waitFor(shown);
        got = reporter.question("Test", "Error unpacking a file not compressed.",
                                Buttons::YesNoCancel, Icon::Question);
    });
    QTRY_VERIFY(progressWindow() && progressWindow()->isVisible());
    // The box runs its own event loop: it is looked at and clicked from a timer.
    bool boxActive = false, focusInBox = false, progressVisible = true;
    int ticksActive = 0;
    QTimer clicker;
    connect(&clicker, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isActiveWindow()) return;
        QWidget* focus = QApplication::focusWidget();
        focusInBox = focus && box->isAncestorOf(focus);
        // Under Wine the box is active a moment before its button has the focus.
        if (!focusInBox && ++ticksActive < 50) return;
        clicker.stop();
        boxActive = true;
        progressVisible = progressWindow()->isVisible();
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    clicker.start(20);
    shown = true;
    QTRY_VERIFY(!runner_->isRunning());
    QVERIFY(boxActive);
    QVERIFY(focusInBox);
    QVERIFY(!progressVisible);
    QCOMPARE(got, Answer::Yes);
}

void JobRunnerTest::lastStatusOfABurstIsShown() {
    // Two reports in a row: the second is what the work is then busy with, however
    // soon it came after the first.
    std::atomic<bool> release{false};
    runner_->start(texts(), [&](const ov::Job& job, ov::Reporter&) {
        job.report({0, 2, 0, {}, "Copying a"});
        job.report({1, 2, 0, {}, "Packing b"});
        waitFor(release);
    });
    QTRY_VERIFY(progressWindow() && progressWindow()->isVisible());
    QTRY_COMPARE(progressWindow()->findChild<QLabel*>("lblJobStatus")->text(),
                 QString("Packing b"));
    release = true;
    QTRY_VERIFY(!runner_->isRunning());
}

void JobRunnerTest::escapeAndCancelStopTheWork() {
    for (const bool escape : {true, false}) {
        bool stopped = false, done = false;
        runner_->start(
            texts(),
            [&](const ov::Job& job, ov::Reporter&) {
                job.report({0, 3, 0, {}, "first"});
                while (!job.stopRequested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                stopped = true;
            },
            [&] { done = true; });
        QTRY_VERIFY(progressWindow() && progressWindow()->isVisible());
        // Escape where the keyboard is: the window has taken the focus when it showed.
        QTRY_VERIFY(progressWindow()->isActiveWindow());
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus && progressWindow()->isAncestorOf(focus));
        if (escape)
            QTest::keyClick(focus, Qt::Key_Escape);
        else
            QTest::mouseClick(progressWindow()->findChild<QPushButton*>("cmdCancelJob"),
                              Qt::LeftButton);
        QTRY_VERIFY(done);
        QVERIFY(stopped);
        QVERIFY(!runner_->isRunning());
    }
}

void JobRunnerTest::progressIsReadAsItGoes() {
    std::atomic<bool> next{false}, release{false};
    // A failed check lets the work end.
    struct Release {
        std::atomic<bool>& a;
        std::atomic<bool>& b;
        JobRunner& runner;
        ~Release() {
            a = b = true;
            runner.wait();
        }
    } releaseOnReturn{next, release, *runner_};
    runner_->start(texts(), [&](const ov::Job& job, ov::Reporter&) {
        job.report({1, 3, 0, {}, "Copying a"});
        waitFor(next);
        job.report({2, 3, 0, {}, "Copying b"});
        waitFor(release);
    });
    QTRY_VERIFY(progressWindow() && progressWindow()->isVisible());
    auto* bar = progressWindow()->findChild<QProgressBar*>("barJobProgress");
    auto* status = progressWindow()->findChild<QLabel*>("lblJobStatus");
    QVERIFY(bar && status);
    QTRY_COMPARE(status->text(), QString("Copying a"));
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(bar);
    QVERIFY(a && a->valueInterface());
    QCOMPARE(a->text(QAccessible::Name), QString("Progress"));
    QCOMPARE(a->valueInterface()->currentValue().toInt(), 1);
    QCOMPARE(a->valueInterface()->maximumValue().toInt(), 3);
    QCOMPARE(QAccessible::queryAccessibleInterface(status)->text(QAccessible::Name),
             QString("Progress status: Copying a"));

    next = true;
    QTRY_COMPARE(status->text(), QString("Copying b"));
    QCOMPARE(a->valueInterface()->currentValue().toInt(), 2);
    QCOMPARE(QAccessible::queryAccessibleInterface(status)->text(QAccessible::Name),
             QString("Progress status: Copying b"));
    release = true;
    QTRY_VERIFY(!runner_->isRunning());
}

QTEST_MAIN(JobRunnerTest)
#include "job_runner_test.moc"
