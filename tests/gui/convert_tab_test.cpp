// OVEdit's 3DS conversion tab, driven as a user drives it: paths typed or dropped,
// Convert clicked, the converter run by the real helper process (OVEdit itself)
// with the real library, and the result compared with ovcli's conversion.

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "common/fileio.h"
#include "common/shp_model.h"
#include "gui/gui_test_support.h"
#include "ovcli/sample_models.h"
#include "ovedit/convert/converter_library.h"
#include "ovedit/ui/convert_tab.h"
#include "ovedit/ui/main_window.h"
#include "ovtool/interchange/interchange.h"
#include "common/ui/qt_reporter.h"
#include "common/ui/screenshot.h"

using namespace ov;
using namespace ov::edit;
using desktop::ReportRequest;
using desktop::ScopedReportHandler;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString spokenName(QWidget* w) {
    QAccessibleInterface* a = w ? QAccessible::queryAccessibleInterface(w) : nullptr;
    return a ? a->text(QAccessible::Name) : QString();
}

// Replaces a text box's text as a screen reader's or automation tool's "set text" does.
bool setTextAccessibly(QLineEdit* box, const QString& text) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
    if (!a || !a->editableTextInterface() || !a->textInterface()) return false;
    a->editableTextInterface()->replaceText(0, a->textInterface()->characterCount(), text);
    return box->text() == text;
}

struct Recorder {
    std::vector<ReportRequest> said;
    Answer answer = Answer::No;
    ScopedReportHandler scope{[this](const ReportRequest& r) {
        said.push_back(r);
        return r.isQuestion() ? answer : Answer::Ok;
    }};
};

}  // namespace

class ConvertTabTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir sampleDir_;
    std::unique_ptr<QTemporaryDir> work_;
    std::unique_ptr<MainWindow> window_;
    ConvertTab* tab_ = nullptr;

    QString drone() const { return sampleDir_.filePath("game/models/drone.3ds"); }
    QString workPath(const QString& name) const { return work_->filePath(name); }
    template <class T>
    T* control(const char* name) const {
        T* w = window_->findChild<T*>(name);
        if (!w) qWarning("no control %s", name);
        return w;
    }
    void typeInto(const char* name, const QString& text) {
        auto* box = control<QLineEdit>(name);
        box->clear();
        QTest::keyClicks(box, text);
    }
    // Types the three fields and clicks Convert; waits for the helper to end.
    void convertByTyping(const QString& source, const QString& texture, const QString& shp) {
        typeInto("txt3dsPath", source);
        typeInto("txtTextureName", texture);
        typeInto("txtShpPath", shp);
        QTest::mouseClick(control<QPushButton>("cmdConvert"), Qt::LeftButton);
        QVERIFY(tab_->waitForConversion(60000));
    }
    // A stand-in for the helper that prints the converter's banner, waits, then
    // ends with `exitCode` and no report.
    QString slowHelper(int seconds, int exitCode) {
        qputenv("OV_SLOW_HELPER_SECONDS", QByteArray::number(seconds));
        qputenv("OV_SLOW_HELPER_EXIT", QByteArray::number(exitCode));
        return QStringLiteral(OV_SLOW_HELPER_FILE);
    }
    QWidget* progressWindow() const {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "convertProgress" && w->isVisible()) return w;
        return nullptr;
    }
    // What ovcli's conversion of the same input writes.
    QByteArray ovcliConversion(const QString& source, const QString& texture) {
        const QString out = workPath("by-ovcli.shp");
        QProcess cli;
        cli.start(OV_OVCLI_FILE, {"convert", source, texture, out});
        if (!cli.waitForFinished(60000)) return {};
        return readAll(out);
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase() { ovtest::keepGlDriversLoaded(); }

    void convertsTheSampleAndShowsWhatTheLibraryPrinted();
    void failedConversionShowsItsCodeAndWritesNothing();
    void missingLibraryIsSaid();
    void existingModelIsReplacedOnlyOnYes();
    void droppedModelBecomesTheSource();
    void slowConversionShowsProgressAndNoWindowOverItsMessage();
    void cancelInTheProgressWindowEndsTheConverter();
    void meshesGoThroughTheInterchangeLibrary();
    void refusedMeshWritesNothing();
    void automationSetsTheTextsAndPressesConvert();
    void enterInAFieldConverts_data();
    void enterInAFieldConverts();
    void mnemonicsAreUnique();
    void fitsTheScreenAtTwiceTheScale();
    void screenshotOfTheTab();
};

namespace {

bool runOvcli(const QStringList& args) {
    QProcess cli;
    cli.start(OV_OVCLI_FILE, args);
    return cli.waitForFinished(60000) && cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0;
}

// A crate of six quads with a material, as another program writes it.
void writeCrate(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return;
    QByteArray text = "mtllib crate.mtl\n";
    for (int v = 0; v < 8; ++v)
        text += QStringLiteral("v %1 %2 %3\n")
                    .arg((v & 1) ? 3 : -3)
                    .arg((v & 2) ? 2 : -2)
                    .arg((v & 4) ? 5 : -5)
                    .toUtf8();
    text += "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nusemtl wood\n"
            "f 1/1 3/2 4/3 2/4\nf 5/1 6/2 8/3 7/4\nf 1/1 2/2 6/3 5/4\n"
            "f 3/1 7/2 8/3 4/4\nf 1/1 5/2 7/3 3/4\nf 2/1 4/2 8/3 6/4\n";
    f.write(text);
}

}  // namespace

void ConvertTabTest::initTestCase() {
    QProcess sample;
    sample.start(OV_OVCLI_FILE, {"sample-game", sampleDir_.filePath("game")});
    QVERIFY(sample.waitForFinished(60000));
    QCOMPARE(sample.exitCode(), 0);
    QVERIFY(QFileInfo(drone()).isFile());
}

void ConvertTabTest::init() {
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(work_->isValid());
    window_ = std::make_unique<MainWindow>(false);
    tab_ = window_->convertTab();
    tab_->setHelperProgram(OV_OVEDIT_FILE);
    QVERIFY(window_->showTab("convert"));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void ConvertTabTest::cleanup() {
    window_.reset();
    work_.reset();
}

void ConvertTabTest::convertsTheSampleAndShowsWhatTheLibraryPrinted() {
    Recorder said;
    const QString shp = workPath("drone.shp");
    convertByTyping(drone(), "drone.bmp", shp);
    QVERIFY2(said.said.empty(), qPrintable(said.said.empty() ? "" : said.said[0].text));

    QCOMPARE(tab_->lastResultCode(), std::optional<int>(0));
    QCOMPARE(control<QLabel>("lblConvertResult")->text(),
             QString("Result code 0: the SHP model was written"));
    const QString printed = control<QPlainTextEdit>("txtConvertLog")->toPlainText();
    QVERIFY2(printed.startsWith("3DS -> OV Converter, v0.1\n"), qPrintable(printed));
    QVERIFY(printed.contains("  Assigning texture name: drone.bmp\n"));
    QVERIFY(printed.contains("- Saving SHP file (drone.shp) "));
    // The same bytes as the command line's conversion through the same library.
    const QByteArray written = readAll(shp);
    QVERIFY(!written.isEmpty());
    QCOMPARE(written, ovcliConversion(drone(), "drone.bmp"));

    // Check lists what the model core finds, or says there is nothing.
    QVERIFY(control<QPushButton>("cmdCheckConverted")->isEnabled());
    QTest::mouseClick(control<QPushButton>("cmdCheckConverted"), Qt::LeftButton);
    auto chain = shp::readModel(
        ByteSpan(reinterpret_cast<const uint8_t*>(written.data()), size_t(written.size())));
    QVERIFY(chain.ok());
    const auto problems = shp::checkModel(chain->chain);
    if (problems.empty())
        QCOMPARE(tab_->problems(), QStringList{"No problems found."});
    else
        QCOMPARE(tab_->problems().size(), qsizetype(problems.size()));
    QVERIFY(control<QPushButton>("cmdOpenConverted")->isEnabled());

    // A destination under a long path still converts: the library is given only
    // the file name, in the destination's folder.
    const QString deep = workPath(QString(90, 'd'));
    QVERIFY(QDir().mkpath(deep));
    convertByTyping(drone(), "drone.bmp", deep + "/drone.shp");
    QCOMPARE(tab_->lastResultCode(), std::optional<int>(0));
    QCOMPARE(readAll(deep + "/drone.shp"), written);
}

void ConvertTabTest::failedConversionShowsItsCodeAndWritesNothing() {
    Recorder said;
    // A mesh with three vertices and no mapping list.
    QFile bad(workPath("bad.3ds"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray::fromHex("4d4d460000003d3d4000000000403a000000610000413200000010412c0000"
                                  "0003000000000000000000000000000000803f000000000000000000000000"
                                  "0000803f00000000"));
    bad.close();
    convertByTyping(workPath("bad.3ds"), "x", workPath("bad.shp"));
    QCOMPARE(tab_->lastResultCode(), std::optional<int>(1));
    const int code = 1;
    QVERIFY(control<QPlainTextEdit>("txtConvertLog")
                ->toPlainText()
                .contains("    CANNOT FIND TEXTURE COORDINATES!!\n"));
    const QString meaning = QString::fromStdString(converterResultText(code));
    QCOMPARE(control<QLabel>("lblConvertResult")->text(),
             QStringLiteral("Result code %1: %2").arg(code).arg(meaning));
    QCOMPARE(said.said.size(), size_t(1));
    QVERIFY(said.said[0].text.contains(meaning));
    QVERIFY(!QFileInfo::exists(workPath("bad.shp")));
    QVERIFY(!control<QPushButton>("cmdCheckConverted")->isEnabled());
}

void ConvertTabTest::missingLibraryIsSaid() {
    Recorder said;
    tab_->setConverterLibrary(workPath("nowhere/") + ConverterLibrary::kFileName);
    convertByTyping(drone(), "drone.bmp", workPath("drone.shp"));
    QVERIFY(!tab_->lastResultCode());
    QCOMPARE(said.said.size(), size_t(1));
    QCOMPARE(said.said[0].title, QString("OV Edit"));
    QCOMPARE(said.said[0].icon, Icon::Critical);
    QVERIFY(said.said[0].text.startsWith("Cannot load the converter library"));
    QVERIFY(said.said[0].text.contains("nowhere"));
    QVERIFY(control<QLabel>("lblConvertResult")->text().startsWith("Not converted: "));
    QVERIFY(!QFileInfo::exists(workPath("drone.shp")));
}

void ConvertTabTest::existingModelIsReplacedOnlyOnYes() {
    Recorder said;
    const QString shp = workPath("keep.shp");
    QFile f(shp);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("the player's model");
    f.close();
    convertByTyping(drone(), "drone.bmp", shp);
    QCOMPARE(said.said.size(), size_t(1));
    QVERIFY(said.said[0].isQuestion());
    QCOMPARE(readAll(shp), QByteArray("the player's model"));
    QVERIFY(!tab_->lastResultCode());

    said.answer = Answer::Yes;
    QTest::mouseClick(control<QPushButton>("cmdConvert"), Qt::LeftButton);
    QVERIFY(tab_->waitForConversion(60000));
    QCOMPARE(tab_->lastResultCode(), std::optional<int>(0));
    QVERIFY(readAll(shp).size() > 476);
}

void ConvertTabTest::droppedModelBecomesTheSource() {
    QVERIFY(window_->showTab("hog"));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(drone())});
    const QPoint at = window_->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &drop);
    QCOMPARE(window_->tabs()->currentWidget(), static_cast<QWidget*>(tab_));
    QCOMPARE(tab_->source(), drone());
    // The destination follows: NAME.shp beside it; the texture name from its name.
    QCOMPARE(tab_->destination(), sampleDir_.filePath("game/models/drone.shp"));
    QCOMPARE(control<QLineEdit>("txtTextureName")->text(), QString("drone"));

    // A destination typed by the user stays when another model is dropped on the tab.
    typeInto("txtShpPath", workPath("mine.shp"));
    QDragEnterEvent again(tab_->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(tab_, &again);
    QVERIFY(again.isAccepted());
    QDropEvent dropAgain(tab_->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(tab_, &dropAgain);
    QCOMPARE(tab_->destination(), workPath("mine.shp"));

    // A mesh of another format dropped on the window is a source too, not an
    // archive to open; so is one named on the command line. (glTF: every build
    // reads it; OBJ and the others need the mesh reader.)
    QVERIFY(window_->showTab("hog"));
    {
        QFile f(workPath("ship.GLTF"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{}");
    }
    QMimeData mesh;
    mesh.setUrls({QUrl::fromLocalFile(workPath("ship.GLTF"))});
    QDropEvent meshDrop(at, Qt::CopyAction, &mesh, Qt::LeftButton, {});
    QDragEnterEvent meshEnter(at, Qt::CopyAction, &mesh, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &meshEnter);
    QVERIFY(meshEnter.isAccepted());
    QApplication::sendEvent(window_.get(), &meshDrop);
    QCOMPARE(window_->tabs()->currentWidget(), static_cast<QWidget*>(tab_));
    QCOMPARE(tab_->source(), workPath("ship.GLTF"));
    QVERIFY(window_->showTab("hog"));
    QVERIFY(window_->openFile(workPath("ship.glb")));
    QCOMPARE(window_->tabs()->currentWidget(), static_cast<QWidget*>(tab_));
    QCOMPARE(tab_->source(), workPath("ship.glb"));

    // An OBJ goes there in every build. One that reads no OBJ says so when asked
    // to convert it, and writes nothing, instead of reading it as a 3D Studio model.
    writeCrate(workPath("crate.obj"));
    QVERIFY(window_->showTab("hog"));
    // Named relative to the current folder, as on a command line.
    const QString folder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work_->path()));
    const bool opened = window_->openFile("crate.obj");
    QVERIFY(QDir::setCurrent(folder));
    QVERIFY(opened);
    QCOMPARE(window_->tabs()->currentWidget(), static_cast<QWidget*>(tab_));
    QCOMPARE(tab_->source(), workPath("crate.obj"));
    tab_->setDestination(workPath("crate.shp"));
    const auto reads = ov::interchange::importExtensions();
    const bool readsObj = std::find(reads.begin(), reads.end(), "obj") != reads.end();
    Recorder said;
    QTest::mouseClick(control<QPushButton>("cmdConvert"), Qt::LeftButton);
    QVERIFY(tab_->waitForConversion(60000));
    if (readsObj) {
        QVERIFY(said.said.empty());
        QVERIFY(QFileInfo(workPath("crate.shp")).isFile());
    } else {
        QCOMPARE(said.said.size(), size_t(1));
        QVERIFY2(said.said[0].text.contains("crate.obj: not a mesh file this build reads (it reads .gltf, .glb)"),
                 qPrintable(said.said[0].text));
        QVERIFY(!QFile::exists(workPath("crate.shp")));
    }
}

void ConvertTabTest::slowConversionShowsProgressAndNoWindowOverItsMessage() {
    // The helper prints, then ends without a report: its message comes once the
    // progress window has gone, over a tab that is done (Convert back, Stop not,
    // the status saying so).
    tab_->setHelperProgram(slowHelper(2, 3));
    std::vector<bool> windowOverMessage;
    QStringList tabAtMessage;
    ScopedReportHandler scope([&](const ReportRequest& r) {
        windowOverMessage.push_back(progressWindow() != nullptr);
        tabAtMessage << QStringLiteral("%1 %2 %3")
                            .arg(control<QPushButton>("cmdConvert")->isEnabled())
                            .arg(control<QPushButton>("cmdStopConvert")->isEnabled())
                            .arg(tab_->statusLabel()->text());
        return r.isQuestion() ? Answer::No : Answer::Ok;
    });
    typeInto("txt3dsPath", drone());
    typeInto("txtShpPath", workPath("slow.shp"));
    QTest::mouseClick(control<QPushButton>("cmdConvert"), Qt::LeftButton);
    QVERIFY(tab_->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(progressWindow() != nullptr, 10000);
    // What the converter printed shows while it still runs.
    QTRY_VERIFY(tab_->output().startsWith("3DS -> OV Converter, v0.1"));
    QVERIFY(tab_->isBusy());
    QVERIFY(tab_->waitForConversion(30000));
    QCOMPARE(windowOverMessage, std::vector<bool>{false});
    QCOMPARE(tabAtMessage, QStringList{"1 0 Not converted"});
    QVERIFY(!progressWindow());
    QVERIFY(control<QLabel>("lblConvertResult")->text().contains("exit code 3"));
}

void ConvertTabTest::cancelInTheProgressWindowEndsTheConverter() {
    Recorder said;
    tab_->setHelperProgram(slowHelper(60, 0));
    typeInto("txt3dsPath", drone());
    typeInto("txtShpPath", workPath("slow.shp"));
    QTest::mouseClick(control<QPushButton>("cmdConvert"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(progressWindow() != nullptr, 10000);
    QPushButton* cancel = progressWindow()->findChild<QPushButton*>("cmdCancelJob");
    QVERIFY(cancel);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(cancel, Qt::LeftButton);
    QVERIFY(tab_->waitForConversion(20000));
    QVERIFY(clock.elapsed() < 20000);
    QVERIFY(said.said.empty());
    QCOMPARE(control<QLabel>("lblConvertResult")->text(), QString("Not converted: stopped"));
    QVERIFY(control<QPushButton>("cmdConvert")->isEnabled());
}

void ConvertTabTest::automationSetsTheTextsAndPressesConvert() {
    Recorder said;
    const QString shp = workPath("drone.shp");
    auto* texture = control<QLineEdit>("txtTextureName");
    QAccessibleInterface* textureBox = QAccessible::queryAccessibleInterface(texture);
    QVERIFY(textureBox);
    textureBox->setText(QAccessible::Value, "drone.bmp");
    QCOMPARE(texture->text(), QString("drone.bmp"));
    // The destination follows a source set this way, as it follows a typed one.
    QVERIFY(setTextAccessibly(control<QLineEdit>("txt3dsPath"), drone()));
    QCOMPARE(tab_->destination(), sampleDir_.filePath("game/models/drone.shp"));
    QVERIFY(setTextAccessibly(control<QLineEdit>("txtShpPath"), QDir::toNativeSeparators(shp)));
    QCOMPARE(tab_->destination(), shp);

    QAccessibleInterface* convert = QAccessible::queryAccessibleInterface(control<QPushButton>("cmdConvert"));
    QVERIFY(convert && convert->actionInterface());
    QVERIFY(!convert->state().disabled);
    QSignalSpy finished(tab_, &ConvertTab::conversionFinished);
    convert->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QCOMPARE(finished[0][0].toBool(), true);
    QVERIFY2(said.said.empty(), qPrintable(said.said.empty() ? "" : said.said[0].text));
    QCOMPARE(readAll(shp), ovcliConversion(drone(), "drone.bmp"));

    // What the tab says of the result is read out with it.
    QCOMPARE(spokenName(control<QLabel>("lblConvertResult")),
             QString("Result: Result code 0: the SHP model was written"));
    QCOMPARE(spokenName(control<QLabel>("lblConvertStatus")),
             "Status: Converted into " + QDir::toNativeSeparators(shp));
    // A source chosen later no longer moves the destination the tool gave.
    QVERIFY(setTextAccessibly(control<QLineEdit>("txt3dsPath"), workPath("other.3ds")));
    QCOMPARE(tab_->destination(), shp);
}

void ConvertTabTest::enterInAFieldConverts_data() {
    QTest::addColumn<QString>("field");
    QTest::newRow("model") << "txt3dsPath";
    QTest::newRow("texture") << "txtTextureName";
    QTest::newRow("shp") << "txtShpPath";
}

void ConvertTabTest::enterInAFieldConverts() {
    QFETCH(QString, field);
    Recorder said;
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    auto* box = control<QLineEdit>(qPrintable(field));
    // With nothing to convert, Enter does nothing, not even a message.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(!tab_->isBusy());
    QVERIFY(said.said.empty());

    const QString shp = workPath("drone.shp");
    typeInto("txt3dsPath", drone());
    typeInto("txtTextureName", "drone.bmp");
    typeInto("txtShpPath", shp);
    QSignalSpy finished(tab_, &ConvertTab::conversionFinished);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QCOMPARE(finished[0][0].toBool(), true);
    QVERIFY(QFileInfo(shp).isFile());
    QVERIFY(said.said.empty());
}

void ConvertTabTest::mnemonicsAreUnique() {
    const QStringList clashes = ovtest::mnemonicClashes(window_.get());
    QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join('\n')));
}

// 1920 x 1080 at 200 %: 960 x 540 logical pixels for the whole window.
void ConvertTabTest::fitsTheScreenAtTwiceTheScale() {
    const QSize least = tab_->minimumSizeHint();
    QVERIFY2(least.width() <= 960 && least.height() <= 540,
             qPrintable(QStringLiteral("%1 x %2").arg(least.width()).arg(least.height())));

    // The tab as small as it is in such a window: every command can be reached.
    desktop::QtReporter reporter;
    ConvertTab narrow(reporter);
    narrow.resize(940, 420);
    narrow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&narrow));
    for (const char* name : {"cmdBrowse3ds", "cmdBrowseShp", "cmdConvert", "cmdStopConvert",
                             "cmdCheckConverted", "cmdOpenConverted"}) {
        auto* w = narrow.findChild<QWidget*>(name);
        QVERIFY2(w, name);
        for (QWidget* up = w->parentWidget(); up && up != &narrow; up = up->parentWidget())
            if (auto* scroll = qobject_cast<QScrollArea*>(up)) scroll->ensureWidgetVisible(w, 0, 0);
        const QRect at(w->mapTo(&narrow, QPoint(0, 0)), w->size());
        QVERIFY2(narrow.rect().contains(at), name);
    }
}

void ConvertTabTest::screenshotOfTheTab() {
    const QString png = workPath("convert.png");
    QProcess program;
    program.start(OV_OVEDIT_FILE, {"--screenshot", png, drone()});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(!QImage(png).isNull());
    // The tab after a conversion, as the guide shows it.
    Recorder said;
    convertByTyping(drone(), "drone.bmp", workPath("drone.shp"));
    QTest::mouseClick(control<QPushButton>("cmdCheckConverted"), Qt::LeftButton);
    QString error;
    QVERIFY2(desktop::saveWindowImage(window_.get(), workPath("converted.png"), &error),
             qPrintable(error));
    if (const QByteArray keep = qgetenv("OV_KEEP_SCREENSHOTS"); !keep.isEmpty())
        QFile::copy(workPath("converted.png"), QDir(QString::fromLocal8Bit(keep)).filePath("convert-tab.png"));
}

void ConvertTabTest::meshesGoThroughTheInterchangeLibrary() {
    Recorder said;
    // An exported ship comes back as it went out, the texture field left empty.
    const QString original = workPath("fighter.shp");
    {
        QFile f(original);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const Bytes bytes = ovcli::sampleFighter().write();
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    QVERIFY(runOvcli({"model", "export", original, workPath("fighter.glb")}));
    convertByTyping(workPath("fighter.glb"), "", workPath("back.shp"));
    QVERIFY2(said.said.empty(), qPrintable(said.said.empty() ? "" : said.said[0].text));
    QCOMPARE(readAll(workPath("back.shp")), readAll(original));
    QVERIFY2(control<QLabel>("lblConvertResult")->text().startsWith("Converted: the exported ship, 0 of "),
             qPrintable(control<QLabel>("lblConvertResult")->text()));
    QVERIFY(!tab_->lastResultCode());  // the 3DS converter was not called

    if (!ov::interchange::haveAssimp()) QSKIP("this build has no assimp, so it reads no OBJ");
    // A dropped or browsed mesh leaves the texture to its materials.
    writeCrate(workPath("crate.obj"));
    control<QLineEdit>("txtTextureName")->clear();
    tab_->setSource(workPath("crate.obj"));
    QCOMPARE(control<QLineEdit>("txtTextureName")->text(), QString());
    tab_->setSource(drone());
    QCOMPARE(control<QLineEdit>("txtTextureName")->text(), QString("drone"));

    // A foreign OBJ with a texture typed: what ovcli's import with --texture writes,
    // and a model the checks find nothing wrong with.
    convertByTyping(workPath("crate.obj"), "crate.bmp", workPath("crate.shp"));
    QVERIFY2(said.said.empty(), qPrintable(said.said.empty() ? "" : said.said[0].text));
    QCOMPARE(control<QLabel>("lblConvertResult")->text(), QString("Converted: a new ship of 1 component(s)"));
    QVERIFY(runOvcli({"model", "import", workPath("crate.obj"), workPath("by-ovcli.shp"), "--texture", "crate.bmp"}));
    QCOMPARE(readAll(workPath("crate.shp")), readAll(workPath("by-ovcli.shp")));
    QVERIFY(readAll(workPath("crate.shp")).contains("crate.bmp"));
    QTest::mouseClick(control<QPushButton>("cmdCheckConverted"), Qt::LeftButton);
    QCOMPARE(tab_->problems(), QStringList{"No problems found."});
}

void ConvertTabTest::refusedMeshWritesNothing() {
    Recorder said;
    QFile broken(workPath("broken.gltf"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("{\"asset\": {\"version\": ");
    broken.close();
    convertByTyping(workPath("broken.gltf"), "", workPath("broken.shp"));
    QCOMPARE(said.said.size(), size_t(1));
    QCOMPARE(said.said[0].icon, Icon::Critical);
    QVERIFY2(said.said[0].text.startsWith("The model was not converted: "), qPrintable(said.said[0].text));
    QVERIFY(control<QLabel>("lblConvertResult")->text().startsWith("Not converted: "));
    QVERIFY(!QFile::exists(workPath("broken.shp")));
    QVERIFY(!control<QPushButton>("cmdCheckConverted")->isEnabled());

    // Replacing was agreed to, but a folder is not a model to write over.
    said.said.clear();
    said.answer = Answer::Yes;
    {
        QFile f(workPath("fighter.shp"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        const Bytes bytes = ovcli::sampleFighter().write();
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    QVERIFY(runOvcli({"model", "export", workPath("fighter.shp"), workPath("fighter.glb")}));
    QVERIFY(QDir(work_->path()).mkdir("folder.shp"));
    convertByTyping(workPath("fighter.glb"), "", workPath("folder.shp"));
    QCOMPARE(said.said.size(), size_t(2));
    QVERIFY2(said.said[1].text.contains("is not a regular file"), qPrintable(said.said[1].text));
    QVERIFY(QFileInfo(workPath("folder.shp")).isDir());
    QVERIFY(QDir(workPath("folder.shp")).isEmpty());
}

QTEST_MAIN(ConvertTabTest)
#include "convert_tab_test.moc"
