// The desktop programs' reporter: real message boxes with the given title, text,
// icon and buttons, answers mapped back, and calls from worker threads answered on
// the GUI thread.

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtConcurrent>
#include <QtTest>
#include <atomic>
#include <vector>

#include "common/ui/qt_reporter.h"

using ov::Answer;
using ov::Buttons;
using ov::Icon;
using ov::desktop::QtReporter;
using ov::desktop::ReportRequest;
using ov::desktop::ScopedReportHandler;

Q_DECLARE_METATYPE(ov::Buttons)
Q_DECLARE_METATYPE(ov::Answer)
Q_DECLARE_METATYPE(ov::Icon)

namespace {

// Waits for the reporter's box to appear, checks it, and presses one of its
// buttons; gives up (and leaves `seen` empty) after a few seconds.
struct BoxAnswerer {
    QMessageBox::StandardButton press;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool seen = false;
    QPointer<QTimer> timer;

    explicit BoxAnswerer(QMessageBox::StandardButton button) : press(button) {}
    ~BoxAnswerer() { delete timer.data(); }

    void start() {
        timer = new QTimer;
        timer->setInterval(20);
        auto tries = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, timer, [this, tries] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box && ++*tries < 250) return;
            timer->deleteLater();
            if (!box) return;
            seen = true;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            if (QAbstractButton* b = box->button(press))
                b->click();
            else
                box->reject();
        });
        timer->start();
    }
};

}  // namespace

class QtReporterTest : public QObject {
    Q_OBJECT

private slots:
    void realBoxShowsAndAnswers_data();
    void realBoxShowsAndAnswers();
    void closingWithoutAButtonGivesTheCautiousAnswer();
    void handlerTakesEveryCallInsteadOfABox();
    void workerThreadsAreAnsweredOnTheGuiThread();
    void textsAreUtf8ElseLatin1_data();
    void textsAreUtf8ElseLatin1();
    void assistiveTechnologyReadsTheTextAndButtons();
};

void QtReporterTest::realBoxShowsAndAnswers_data() {
    QTest::addColumn<Buttons>("buttons");
    QTest::addColumn<Icon>("icon");
    QTest::addColumn<int>("press");
    QTest::addColumn<int>("expectedButtons");
    QTest::addColumn<QMessageBox::Icon>("expectedIcon");
    QTest::addColumn<Answer>("expected");

    const int ync = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QTest::newRow("Yes of Yes/No/Cancel")
        << Buttons::YesNoCancel << Icon::Question << int(QMessageBox::Yes) << ync
        << QMessageBox::Question << Answer::Yes;
    QTest::newRow("No of Yes/No/Cancel")
        << Buttons::YesNoCancel << Icon::Exclamation << int(QMessageBox::No) << ync
        << QMessageBox::Warning << Answer::No;
    QTest::newRow("Cancel of Yes/No/Cancel")
        << Buttons::YesNoCancel << Icon::Critical << int(QMessageBox::Cancel) << ync
        << QMessageBox::Critical << Answer::Cancel;
    const int yanc = QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel;
    QTest::newRow("Yes to all of Yes/Yes to all/No/Cancel")
        << Buttons::YesYesToAllNoCancel << Icon::Question << int(QMessageBox::YesToAll) << yanc
        << QMessageBox::Question << Answer::YesToAll;
    QTest::newRow("No of Yes/Yes to all/No/Cancel")
        << Buttons::YesYesToAllNoCancel << Icon::Question << int(QMessageBox::No) << yanc
        << QMessageBox::Question << Answer::No;
    QTest::newRow("No of Yes/No") << Buttons::YesNo << Icon::Information << int(QMessageBox::No)
                                  << int(QMessageBox::Yes | QMessageBox::No)
                                  << QMessageBox::Information << Answer::No;
    QTest::newRow("Ok of Ok/Cancel")
        << Buttons::OkCancel << Icon::None << int(QMessageBox::Ok)
        << int(QMessageBox::Ok | QMessageBox::Cancel) << QMessageBox::NoIcon << Answer::Ok;
    QTest::newRow("Ok") << Buttons::Ok << Icon::Exclamation << int(QMessageBox::Ok)
                        << int(QMessageBox::Ok) << QMessageBox::Warning << Answer::Ok;
}

void QtReporterTest::realBoxShowsAndAnswers() {
    QFETCH(Buttons, buttons);
    QFETCH(Icon, icon);
    QFETCH(int, press);
    QFETCH(int, expectedButtons);
    QFETCH(QMessageBox::Icon, expectedIcon);
    QFETCH(Answer, expected);

    QWidget window;
    window.show();
    QtReporter reporter(&window);
    BoxAnswerer answerer{QMessageBox::StandardButton(press)};
    answerer.start();
    const Answer got = reporter.question("FAT Editor", "Save the entry?", buttons, icon);

    QVERIFY(answerer.seen);
    QCOMPARE(answerer.title, QString("FAT Editor"));
    QCOMPARE(answerer.text, QString("Save the entry?"));
    QCOMPARE(answerer.icon, expectedIcon);
    QCOMPARE(int(answerer.buttons), expectedButtons);
    QCOMPARE(got, expected);
}

void QtReporterTest::closingWithoutAButtonGivesTheCautiousAnswer() {
    QtReporter reporter;
    BoxAnswerer answerer{QMessageBox::NoButton};  // closed with Escape-like reject
    answerer.start();
    QCOMPARE(reporter.question("t", "Overwrite?", Buttons::YesNoCancel, Icon::Question),
             Answer::Cancel);
    QVERIFY(answerer.seen);

    // A button the question does not offer never becomes its answer.
    QCOMPARE(QtReporter::answerFor(QMessageBox::Ok, Buttons::YesNo), Answer::No);
    QCOMPARE(QtReporter::answerFor(QMessageBox::Yes, Buttons::OkCancel), Answer::Cancel);
    QCOMPARE(QtReporter::answerFor(QMessageBox::YesToAll, Buttons::YesNoCancel), Answer::Cancel);
    BoxAnswerer closed{QMessageBox::NoButton};
    closed.start();
    QCOMPARE(reporter.question("t", "Replace?", Buttons::YesYesToAllNoCancel, Icon::Question),
             Answer::Cancel);
    QVERIFY(closed.seen);

    // A message is a box with only OK.
    BoxAnswerer ok{QMessageBox::Ok};
    ok.start();
    reporter.message("OV Edit", "Done.", Icon::Information);
    QVERIFY(ok.seen);
    QCOMPARE(int(ok.buttons), int(QMessageBox::Ok));
    QCOMPARE(ok.icon, QMessageBox::Information);
}

void QtReporterTest::handlerTakesEveryCallInsteadOfABox() {
    std::vector<ReportRequest> seen;
    QtReporter reporter;
    {
        ScopedReportHandler handler([&](const ReportRequest& r) {
            seen.push_back(r);
            return Answer::Yes;
        });
        reporter.message("Uh oh...", "Missing \xC3\xA9 boxes", Icon::Exclamation);
        QCOMPARE(reporter.question("q", "Unpack?", Buttons::YesNoCancel, Icon::Question),
                 Answer::Yes);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
    QCOMPARE(seen.size(), size_t(2));
    QCOMPARE(seen[0].title, QString("Uh oh..."));
    QCOMPARE(seen[0].text, QString::fromUtf8("Missing \xC3\xA9 boxes"));
    QCOMPARE(seen[0].icon, Icon::Exclamation);
    QVERIFY(!seen[0].isQuestion());
    QCOMPARE(*seen[1].buttons, Buttons::YesNoCancel);

    // Removed with its scope: boxes again.
    BoxAnswerer answerer{QMessageBox::No};
    answerer.start();
    QCOMPARE(reporter.question("q", "Again?", Buttons::YesNo, Icon::Question), Answer::No);
    QVERIFY(answerer.seen);
}

void QtReporterTest::workerThreadsAreAnsweredOnTheGuiThread() {
    QThread* gui = QThread::currentThread();
    std::atomic<int> onGuiThread{0}, elsewhere{0};
    ScopedReportHandler handler([&](const ReportRequest& r) {
        (QThread::currentThread() == gui ? onGuiThread : elsewhere)++;
        return r.text.endsWith('1') ? Answer::Yes : Answer::No;
    });

    QtReporter reporter;
    // Two workers at once, each asking twice and saying something once.
    auto ask = [&reporter](int n) {
        std::vector<Answer> answers;
        for (int i = 0; i < 2; ++i)
            answers.push_back(reporter.question("Extract", "Item " + std::to_string(n + i),
                                                Buttons::YesNoCancel, Icon::Question));
        reporter.message("Extract", "done", Icon::Information);
        return answers;
    };
    QFuture<std::vector<Answer>> a = QtConcurrent::run(ask, 0);
    QFuture<std::vector<Answer>> b = QtConcurrent::run(ask, 10);
    // The GUI thread keeps its event loop running while the workers wait.
    QTRY_VERIFY_WITH_TIMEOUT(a.isFinished() && b.isFinished(), 20000);

    QCOMPARE(a.result(), (std::vector<Answer>{Answer::No, Answer::Yes}));
    QCOMPARE(b.result(), (std::vector<Answer>{Answer::No, Answer::Yes}));
    QCOMPARE(onGuiThread.load(), 6);
    QCOMPARE(elsewhere.load(), 0);
}

void QtReporterTest::textsAreUtf8ElseLatin1_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ASCII") << QByteArray("File not found") << QString("File not found");
    QTest::newRow("UTF-8") << QByteArray("Caf\xC3\xA9 \xE2\x84\xA6.shp")
                           << QString::fromUtf8("Caf\xC3\xA9 \xE2\x84\xA6.shp");
    // An archive entry name of Latin-1 bytes quoted in a message.
    QTest::newRow("Latin-1 name") << QByteArray("Error unpacking caf\xE9.shp file")
                                  << QString::fromLatin1("Error unpacking caf\xE9.shp file");
    // Bytes that only start a UTF-8 sequence, or one cut at the end.
    QTest::newRow("Latin-1 pair") << QByteArray("\xC3\x28") << QString::fromLatin1("\xC3\x28");
    QTest::newRow("cut sequence") << QByteArray("ships\\\xE2\x84")
                                  << QString::fromLatin1("ships\\\xE2\x84");
    QTest::newRow("empty") << QByteArray() << QString();
}

void QtReporterTest::textsAreUtf8ElseLatin1() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(QtReporter::decodeText(std::string_view(bytes.constData(), size_t(bytes.size()))),
             shown);
    // What a message box or a handler is given.
    std::vector<ReportRequest> seen;
    ScopedReportHandler handler([&](const ReportRequest& r) {
        seen.push_back(r);
        return Answer::Ok;
    });
    QtReporter reporter;
    reporter.message(std::string_view(bytes.constData(), size_t(bytes.size())),
                     std::string_view(bytes.constData(), size_t(bytes.size())), Icon::Critical);
    QCOMPARE(seen.size(), size_t(1));
    QCOMPARE(seen[0].title, shown);
    QCOMPARE(seen[0].text, shown);
}

namespace {

// Every name below an accessible object, by role.
void collectNames(QAccessibleInterface* a, QMultiMap<QAccessible::Role, QString>& out) {
    for (int i = 0; a && i < a->childCount(); ++i) {
        QAccessibleInterface* child = a->child(i);
        if (!child) continue;
        out.insert(child->role(), child->text(QAccessible::Name));
        collectNames(child, out);
    }
}

}  // namespace

void QtReporterTest::assistiveTechnologyReadsTheTextAndButtons() {
    // An entry name that looks like markup is read, and shown, as it is.
    const QString text = "<b>hull</b>.shp could not be read.\nSkip it?";
    QWidget window;
    window.show();
    QtReporter reporter(&window);
    QString name, description;
    QMultiMap<QAccessible::Role, QString> inside;
    bool seen = false;
    QTimer timer;
    connect(&timer, &QTimer::timeout, &timer, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        timer.stop();
        seen = true;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
        name = a->text(QAccessible::Name);
        description = a->text(QAccessible::Description);
        collectNames(a, inside);
        box->button(QMessageBox::No)->click();
    });
    timer.start(20);
    QCOMPARE(reporter.question("Unpack", text.toStdString(), Buttons::YesYesToAllNoNoToAllCancel,
                               Icon::Question),
             Answer::No);
    QVERIFY(seen);
    QCOMPARE(name, QString("Unpack"));
    QCOMPARE(description, text);
    QVERIFY2(inside.values(QAccessible::StaticText).contains(text),
             qPrintable(inside.values(QAccessible::StaticText).join(" | ")));
    QStringList buttons = inside.values(QAccessible::PushButton);
    buttons.sort();
    QCOMPARE(buttons, QStringList({"Cancel", "No", "No to All", "Yes", "Yes to All"}));
}

QTEST_MAIN(QtReporterTest)
#include "qt_reporter_test.moc"
