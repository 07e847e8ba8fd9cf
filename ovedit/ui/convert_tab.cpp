#include "ovedit/ui/convert_tab.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStringListModel>
#include <QVBoxLayout>
#include <algorithm>

#include "common/fileio.h"
#include "ovedit/convert/converter_helper.h"
#include "ovedit/convert/converter_library.h"
#include "common/shp_model.h"
#include "ovedit/ui/controls.h"
#include "ovedit/ui/tool_launcher.h"
#include "common/ui/drops.h"
#include "common/ui/job_runner.h"
#include "common/ui/paths.h"
#include "common/ui/qt_reporter.h"
#include "common/ui/value_label.h"
#include "ovtool/interchange/interchange.h"

namespace ov::edit {

namespace {

constexpr const char* kTitle = "OV Edit";

// A mesh of a format that is read through the interchange library (glTF, OBJ and
// the others): named so even where this build cannot read it, so that the
// conversion says what this build reads instead of trying it as a .3ds.
bool isMeshFile(const QString& path) {
    return interchange::isMeshName(desktop::toPath(QFileInfo(path).fileName()));
}

QString sourceFilter() {
    QStringList patterns = {"*.3ds"};
    for (const std::string& e : interchange::importExtensions())
        if (e != "3ds") patterns << "*." + QString::fromStdString(e);
    return "Models (" + patterns.join(' ') +
           ");;3D Studio models (*.3ds *.3DS);;glTF 2.0 (*.gltf *.glb);;All files (*)";
}

QString shpBeside(const QString& source) {
    const QFileInfo info(source);
    return info.dir().filePath(info.completeBaseName() + ".shp");
}

}  // namespace

bool ConvertTab::converts(const QString& path) {
    return QFileInfo(path).suffix().compare("3ds", Qt::CaseInsensitive) == 0 || isMeshFile(path);
}

ConvertTab::ConvertTab(desktop::QtReporter& reporter, QWidget* parent)
    : QWidget(parent),
      reporter_(reporter),
      helperProgram_(QCoreApplication::applicationFilePath()) {
    setObjectName("convertTab");
    setAccessibleName("3DS Conversion");
    setAcceptDrops(true);
    runner_ = new desktop::JobRunner(this, reporter_, this);
    connect(runner_, &desktop::JobRunner::progressed, this,
            [this](const Progress& p) { showOutput(QString::fromStdString(p.status)); });
    createControls();
    refreshCommands();
}

ConvertTab::~ConvertTab() {
    // The helper is ended before the controls its result would go to.
    delete runner_;
}

void ConvertTab::createControls() {
    txt3dsPath_ = makeTextBox(this, "txt3dsPath", "3DS model");
    txt3dsPath_->setPlaceholderText(
        "A textured .3ds model, or a .gltf, .glb, .obj or .fbx mesh (or drop one on this tab)");
    cmdBrowse3ds_ = makeButton(this, "cmdBrowse3ds", "&Browse...", "Browse for a model to convert");
    txtTextureName_ = makeTextBox(this, "txtTextureName", "Texture name");
    txtTextureName_->setPlaceholderText("The texture the model names, at most 63 characters");
    txtTextureName_->setMaxLength(63);
    txtShpPath_ = makeTextBox(this, "txtShpPath", "SHP model to write");
    txtShpPath_->setPlaceholderText("NAME.shp beside the 3DS model");
    cmdBrowseShp_ = makeButton(this, "cmdBrowseShp", "Bro&wse...", "Browse for the SHP to write");
    cmdConvert_ = makeButton(this, "cmdConvert", "&Convert");
    cmdConvert_->setDefault(true);
    cmdStopConvert_ = makeButton(this, "cmdStopConvert", "Sto&p");
    // Typed paths are text; the tab takes dropped files itself.
    for (QLineEdit* e : {txt3dsPath_, txtTextureName_, txtShpPath_})
        e->setAcceptDrops(false);

    auto* inputBox = new QGroupBox("Convert a 3DS model into an SHP model", this);
    inputBox->setObjectName("frameConvert");
    auto* grid = new QGridLayout(inputBox);
    grid->addWidget(makeCaption(inputBox, "&3DS model:", txt3dsPath_), 0, 0);
    grid->addWidget(txt3dsPath_, 0, 1);
    grid->addWidget(cmdBrowse3ds_, 0, 2);
    grid->addWidget(makeCaption(inputBox, "&Texture name:", txtTextureName_), 1, 0);
    grid->addWidget(txtTextureName_, 1, 1);
    grid->addWidget(makeCaption(inputBox, "SHP &model:", txtShpPath_), 2, 0);
    grid->addWidget(txtShpPath_, 2, 1);
    grid->addWidget(cmdBrowseShp_, 2, 2);
    auto* runRow = new QHBoxLayout;
    runRow->addStretch(1);
    runRow->addWidget(cmdStopConvert_);
    runRow->addWidget(cmdConvert_);
    grid->addLayout(runRow, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    txtConvertLog_ = new QPlainTextEdit(this);
    txtConvertLog_->setObjectName("txtConvertLog");
    txtConvertLog_->setAccessibleName("Converter output");
    txtConvertLog_->setReadOnly(true);
    txtConvertLog_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtConvertLog_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtConvertLog_->setPlaceholderText("What the converter prints shows here.");
    lblConvertResult_ = new desktop::ValueLabel("Result", this);
    lblConvertResult_->setObjectName("lblConvertResult");
    lblConvertResult_->setWordWrap(true);
    auto* logBox = new QGroupBox("Converter output", this);
    logBox->setObjectName("frameConvertLog");
    auto* logLayout = new QVBoxLayout(logBox);
    logLayout->addWidget(txtConvertLog_, 1);
    logLayout->addWidget(lblConvertResult_);

    cmdOpenConverted_ = makeButton(this, "cmdOpenConverted", "Ope&n in OVTool");
    cmdOpenConverted_->setToolTip("Open the converted model in the model component editor");
    cmdCheckConverted_ = makeButton(this, "cmdCheckConverted", "Chec&k");
    cmdCheckConverted_->setToolTip("Run the model editor's validity tests on the converted model");
    problems_ = new QStringListModel(this);
    lstProblems_ = new QListView(this);
    lstProblems_->setObjectName("lstProblems");
    lstProblems_->setAccessibleName("Problems found");
    lstProblems_->setModel(problems_);
    lstProblems_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstProblems_->setWordWrap(true);
    auto* modelBox = new QGroupBox("The converted model", this);
    modelBox->setObjectName("frameConverted");
    auto* modelLayout = new QVBoxLayout(modelBox);
    auto* modelButtons = new QHBoxLayout;
    modelButtons->addWidget(cmdCheckConverted_);
    modelButtons->addWidget(cmdOpenConverted_);
    modelButtons->addStretch(1);
    modelLayout->addLayout(modelButtons);
    modelLayout->addWidget(lstProblems_, 1);

    lblConvertStatus_ = new desktop::ValueLabel("Status", this);
    lblConvertStatus_->setObjectName("lblConvertStatus");
    lblConvertStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* lower = new QHBoxLayout;
    lower->addWidget(logBox, 3);
    lower->addWidget(modelBox, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(inputBox);
    layout->addLayout(lower, 1);

    connect(cmdBrowse3ds_, &QPushButton::clicked, this, &ConvertTab::browseSource);
    connect(cmdBrowseShp_, &QPushButton::clicked, this, &ConvertTab::browseDestination);
    connect(cmdConvert_, &QPushButton::clicked, this, &ConvertTab::convert);
    connect(cmdStopConvert_, &QPushButton::clicked, this, &ConvertTab::stop);
    connect(cmdCheckConverted_, &QPushButton::clicked, this, &ConvertTab::checkModel);
    connect(cmdOpenConverted_, &QPushButton::clicked, this, &ConvertTab::openInTool);
    // Text counts however it came: typed, pasted, or set by an assistive or automation
    // tool through the accessibility interface.
    connect(txt3dsPath_, &QLineEdit::textChanged, this, &ConvertTab::sourceTextChanged);
    connect(txtShpPath_, &QLineEdit::textChanged, this, &ConvertTab::destinationTextChanged);
    connect(txtTextureName_, &QLineEdit::textChanged, this, &ConvertTab::refreshCommands);
    for (QLineEdit* e : {txt3dsPath_, txtTextureName_, txtShpPath_})
        connect(e, &QLineEdit::returnPressed, this, [this] {
            if (cmdConvert_->isEnabled()) convert();
        });
}

// ---- Paths ----------------------------------------------------------------------------

void ConvertTab::setSource(const QString& path) {
    setOwnText(txt3dsPath_, QDir::toNativeSeparators(path));
    if (!destinationTyped_) setOwnText(txtShpPath_, QDir::toNativeSeparators(shpBeside(path)));
    // A mesh's materials name its textures unless a name is typed.
    if (txtTextureName_->text().trimmed().isEmpty() && !isMeshFile(path))
        txtTextureName_->setText(QFileInfo(path).completeBaseName().left(63));
    refreshCommands();
}

void ConvertTab::setOwnText(QLineEdit* box, const QString& text) {
    const bool was = settingTexts_;
    settingTexts_ = true;
    box->setText(text);
    settingTexts_ = was;
}

// The destination follows the source until the user gives one of their own.
void ConvertTab::sourceTextChanged(const QString& text) {
    if (settingTexts_) return;
    if (!destinationTyped_) {
        const QString source = text.trimmed();
        setOwnText(txtShpPath_, source.isEmpty() ? QString() : QDir::toNativeSeparators(shpBeside(source)));
    }
    refreshCommands();
}

void ConvertTab::destinationTextChanged(const QString& text) {
    if (settingTexts_) return;
    destinationTyped_ = !text.trimmed().isEmpty();
    refreshCommands();
}

QString ConvertTab::source() const {
    return QDir::fromNativeSeparators(txt3dsPath_->text().trimmed());
}

void ConvertTab::setTexture(const QString& name) {
    txtTextureName_->setText(name);
}

void ConvertTab::setDestination(const QString& path) {
    setOwnText(txtShpPath_, QDir::toNativeSeparators(path));
    destinationTyped_ = !path.isEmpty();
    refreshCommands();
}

QString ConvertTab::destination() const {
    return QDir::fromNativeSeparators(txtShpPath_->text().trimmed());
}

void ConvertTab::browseSource() {
    const QString path =
        QFileDialog::getOpenFileName(this, "Choose a Model to Convert", source(), sourceFilter());
    if (!path.isEmpty()) setSource(path);
}

void ConvertTab::browseDestination() {
    QString start = destination();
    if (start.isEmpty() && !source().isEmpty()) start = shpBeside(source());
    const QString path = QFileDialog::getSaveFileName(this, "SHP Model to Write", start,
                                                      "SHP models (*.shp *.SHP);;All files (*)");
    if (!path.isEmpty()) setDestination(path);
}

void ConvertTab::dragEnterEvent(QDragEnterEvent* event) {
    if (!isBusy() && !desktop::droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void ConvertTab::dropEvent(QDropEvent* event) {
    const QString path = desktop::droppedFile(event->mimeData());
    if (path.isEmpty() || isBusy()) return;
    event->acceptProposedAction();
    setSource(path);
}

// ---- Converting -----------------------------------------------------------------------

// One run of the helper, as the worker saw it.
struct ConvertTab::Run {
    QString output;      // what the library printed
    QByteArray errors;   // the helper's standard error, with its report line
    int exitCode = 0;
    bool crashed = false;
    bool stopped = false;
    QString startError;  // set when the helper could not be started
};

namespace {

// What the library prints is a few lines per mesh; a helper that prints without end
// is not let to fill the memory.
constexpr qsizetype kMaxOutput = qsizetype(4) << 20;

QString lastLine(const std::string& text) {
    const QString all = QString::fromUtf8(text.data(), qsizetype(text.size())).trimmed();
    return all.mid(all.lastIndexOf('\n') + 1);
}

}  // namespace

bool ConvertTab::isBusy() const {
    return runner_->isRunning();
}

bool ConvertTab::convert() {
    if (isBusy()) return false;
    const QString src = source(), dest = destination();
    const QString texture = txtTextureName_->text().trimmed();
    if (src.isEmpty() || !QFileInfo(src).isFile()) {
        reporter_.message(kTitle, "File not found", Icon::Exclamation);
        return false;
    }
    if (dest.isEmpty()) {
        reporter_.message(kTitle, "Choose the SHP model to write", Icon::Exclamation);
        return false;
    }
    const QFileInfo target(dest);
    if (!target.absoluteDir().exists()) {
        reporter_.message(kTitle, "Destination path doesn't exist", Icon::Exclamation);
        return false;
    }
    if (target.exists()) {
        const Answer a = reporter_.question(
            kTitle,
            (QDir::toNativeSeparators(target.absoluteFilePath()) + " already exists. Replace it?")
                .toStdString(),
            Buttons::YesNo, Icon::Question);
        if (a != Answer::Yes) return false;
    }

    lastCode_.reset();
    converted_.clear();
    problems_->setStringList({});
    txtConvertLog_->clear();
    lblConvertResult_->setValue("Converting...");
    runDestination_ = target.absoluteFilePath();
    if (isMeshFile(src)) return convertMesh(src, texture, runDestination_);

    const QString program = helperProgram_;
    // The library takes an output path of at most 79 characters; run in the
    // destination's folder, it gets only the file's name.
    const QString folder = target.absolutePath();
    const QStringList args = {kConverterHelperOption, QFileInfo(src).absoluteFilePath(), texture,
                              target.fileName(), library_};
    desktop::JobWindowText texts;
    texts.objectName = "convertProgress";
    texts.accessibleName = "Conversion progress";
    texts.title = "3DS Conversion";
    texts.label = "Converting " + QFileInfo(src).fileName() + "...";
    texts.describe = [](const Progress& p) { return lastLine(p.status); };
    auto work = [program, folder, args](const Job& job, Reporter&) {
        Run run;
        QProcess helper;
        helper.setProgram(program);
        helper.setWorkingDirectory(folder);
        helper.setArguments(args);
        helper.start();
        if (!helper.waitForStarted(30000)) {
            run.startError = helper.errorString();
            return run;
        }
        QByteArray out;
        Progress progress;
        while (helper.state() != QProcess::NotRunning) {
            if (job.stopRequested()) {
                helper.kill();
                run.stopped = true;
                helper.waitForFinished(5000);
                break;
            }
            helper.waitForReadyRead(100);
            const QByteArray more = helper.readAllStandardOutput();
            if (more.isEmpty()) continue;
            out += more.left(kMaxOutput - out.size());
            progress.status = out.toStdString();
            job.report(progress);
            if (out.size() >= kMaxOutput) {
                helper.kill();
                helper.waitForFinished(5000);
            }
        }
        out += helper.readAllStandardOutput().left(std::max<qsizetype>(0, kMaxOutput - out.size()));
        run.output = QString::fromUtf8(out);
        run.errors = helper.readAllStandardError().left(kMaxOutput);
        run.crashed = helper.exitStatus() == QProcess::CrashExit;
        run.exitCode = helper.exitCode();
        return run;
    };
    const bool started = runner_->run<Run>(texts, work, [this](Run run) { finished(run); });
    if (!started) return false;
    setStatus("Converting " + QFileInfo(src).fileName() + "...");
    refreshCommands();
    emit busyChanged(true);
    return true;
}

void ConvertTab::stop() {
    runner_->cancel();
}

bool ConvertTab::waitForConversion(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (isBusy() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !isBusy();
}

void ConvertTab::showOutput(const QString& text) {
    if (text == txtConvertLog_->toPlainText()) return;
    txtConvertLog_->setPlainText(text);
    txtConvertLog_->moveCursor(QTextCursor::End);
}

void ConvertTab::finished(const Run& run) {
    showOutput(run.output);
    bool converted = false;
    std::string problem;
    Icon icon = Icon::Critical;
    const auto report = parseConverterReport(run.errors.toStdString());
    if (!run.startError.isEmpty()) {
        lblConvertResult_->setValue("Not converted: the converter could not be started");
        problem = ("The converter could not be started (" + QDir::toNativeSeparators(helperProgram_) +
                   "): " + run.startError)
                      .toStdString();
    } else if (run.stopped) {
        lblConvertResult_->setValue("Not converted: stopped");
    } else if (run.crashed || !report) {
        const QString why = run.crashed
                                ? QStringLiteral("it ended abnormally")
                                : QStringLiteral("it ended with exit code %1").arg(run.exitCode);
        lblConvertResult_->setValue("Not converted: the converter gave no result (" + why + ")");
        problem = ("The converter gave no result: " + why + ".").toStdString();
    } else if (!report->resultCode) {
        lblConvertResult_->setValue("Not converted: " + QString::fromStdString(report->failure));
        problem = report->failure;
    } else {
        lastCode_ = *report->resultCode;
        const QString meaning = QString::fromStdString(converterResultText(*lastCode_));
        lblConvertResult_->setValue(QStringLiteral("Result code %1: %2").arg(*lastCode_).arg(meaning));
        converted = *lastCode_ == 0;
        if (converted) {
            converted_ = runDestination_;
        } else {
            problem = QStringLiteral("The model was not converted (result code %1): %2")
                          .arg(*lastCode_)
                          .arg(meaning)
                          .toStdString();
            icon = Icon::Exclamation;
        }
    }
    endRun(converted, problem, icon);
}

// The tab as it stands after a run, before any message about it: the box then
// shows over a window that is no longer busy.
void ConvertTab::endRun(bool converted, const std::string& problem, Icon icon) {
    setStatus(converted ? "Converted into " + QDir::toNativeSeparators(converted_)
                        : QStringLiteral("Not converted"));
    refreshCommands();
    emit busyChanged(false);
    if (!problem.empty()) reporter_.message(kTitle, problem, icon);
    emit conversionFinished(converted);
}

// ---- Meshes through the interchange library ----------------------------------------------

struct ConvertTab::MeshRun {
    bool converted = false;
    bool stopped = false;
    QString failure;  // why nothing was written
    QString summary;  // what the model is
    QStringList notes;
};

bool ConvertTab::convertMesh(const QString& source, const QString& texture, const QString& destination) {
    namespace ix = interchange;
    const std::filesystem::path in = pathFromText(source.toStdString());
    const std::filesystem::path out = pathFromText(destination.toStdString());
    // Checked again here: the Replace question above saw only that it exists.
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(out, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        lblConvertResult_->setValue("Not converted: the SHP to write is not a regular file");
        reporter_.message(kTitle,
                          (QDir::toNativeSeparators(destination) + " is not a regular file; it is not written over.")
                              .toStdString(),
                          Icon::Exclamation);
        return false;
    }
    if (sameFile(in, out)) {
        lblConvertResult_->setValue("Not converted: the SHP to write is the model being read");
        reporter_.message(kTitle, "The SHP to write is the model being converted; choose another name.",
                          Icon::Exclamation);
        return false;
    }
    ix::ImportOptions options;
    if (!texture.isEmpty()) options.texture = texture.toLatin1().toStdString();

    desktop::JobWindowText texts;
    texts.objectName = "convertProgress";
    texts.accessibleName = "Conversion progress";
    texts.title = "Mesh Conversion";
    texts.label = "Converting " + QFileInfo(source).fileName() + "...";
    auto work = [in, out, options](const Job& job, Reporter&) {
        MeshRun run;
        auto imported = ix::importFile(in, options);
        if (!imported) {
            run.failure = QString::fromStdString(imported.error().describe());
            return run;
        }
        if (job.stopRequested()) {
            run.stopped = true;
            return run;
        }
        if (auto written = writeFileAtomic(out, imported->chain.write()); !written) {
            run.failure = QString::fromStdString(written.error().describe());
            return run;
        }
        const ix::ImportReport& r = imported->report;
        run.converted = true;
        run.summary = r.fromExtras ? QStringLiteral("the exported ship, %1 of %2 component(s) changed")
                                         .arg(r.components - r.componentsKept)
                                         .arg(r.components)
                                   : QStringLiteral("a new ship of %1 component(s)").arg(r.components);
        for (const std::string& n : r.notes)
            run.notes << QString::fromStdString(n);
        const ix::FileFormat format = ix::formatOf(in);
        if (!r.fromExtras && (format == ix::FileFormat::Gltf || format == ix::FileFormat::Glb))
            run.notes.prepend("The file carries no ship data of an export, so it became a new ship; to "
                              "bring an exported ship back from Blender, tick Include > Custom "
                              "Properties when exporting.");
        return run;
    };
    const bool started = runner_->run<MeshRun>(texts, work, [this](MeshRun run) { meshFinished(run); });
    if (!started) return false;
    setStatus("Converting " + QFileInfo(source).fileName() + "...");
    refreshCommands();
    emit busyChanged(true);
    return true;
}

void ConvertTab::meshFinished(const MeshRun& run) {
    std::string problem;
    if (run.converted) {
        converted_ = runDestination_;
        lblConvertResult_->setValue("Converted: " + run.summary);
        showOutput(run.notes.join('\n'));
    } else if (run.stopped) {
        lblConvertResult_->setValue("Not converted: stopped");
    } else {
        lblConvertResult_->setValue("Not converted: " + run.failure);
        problem = ("The model was not converted: " + run.failure).toStdString();
    }
    endRun(run.converted, problem, Icon::Critical);
}

QString ConvertTab::output() const {
    return txtConvertLog_->toPlainText();
}

QStringList ConvertTab::problems() const {
    return problems_->stringList();
}

// ---- The converted model ----------------------------------------------------------------

bool ConvertTab::checkModel() {
    if (converted_.isEmpty()) return false;
    auto model = shp::loadModelFile(ov::pathFromText(converted_.toStdString()));
    if (!model) {
        problems_->setStringList(
            {"The model could not be read: " + QString::fromStdString(model.error().describe())});
        return false;
    }
    QStringList lines;
    for (const shp::Problem& p : shp::checkModel(model->chain)) {
        QString line = QString::fromStdString(p.caption) + ": " + QString::fromStdString(p.text);
        if (p.component >= 0) line = QStringLiteral("Component %1 - ").arg(p.component) + line;
        lines << line;
    }
    if (lines.isEmpty()) lines << "No problems found.";
    problems_->setStringList(lines);
    setStatus(QStringLiteral("Checked %1").arg(QFileInfo(converted_).fileName()));
    return true;
}

bool ConvertTab::openInTool() {
    if (converted_.isEmpty()) return false;
    if (!startToolOn(toolProgram_, converted_, reporter_)) return false;
    setStatus("OVTool opened " + QDir::toNativeSeparators(converted_));
    return true;
}

void ConvertTab::refreshCommands() {
    const bool busy = isBusy();
    cmdConvert_->setEnabled(!busy && !txt3dsPath_->text().trimmed().isEmpty() &&
                            !txtShpPath_->text().trimmed().isEmpty());
    cmdStopConvert_->setEnabled(busy);
    for (QWidget* w : {static_cast<QWidget*>(txt3dsPath_), static_cast<QWidget*>(txtTextureName_),
                       static_cast<QWidget*>(txtShpPath_), static_cast<QWidget*>(cmdBrowse3ds_),
                       static_cast<QWidget*>(cmdBrowseShp_)})
        w->setEnabled(!busy);
    const bool have = !busy && !converted_.isEmpty();
    cmdOpenConverted_->setEnabled(have);
    cmdCheckConverted_->setEnabled(have);
}

void ConvertTab::setStatus(const QString& text) {
    lblConvertStatus_->setValue(text);
}

void ConvertTab::readSettings(const QSettings& settings) {
    const QString last = settings.value("convert/source").toString();
    if (!last.isEmpty()) setSource(last);
    const QString texture = settings.value("convert/texture").toString();
    if (!texture.isEmpty()) setTexture(texture);
}

void ConvertTab::writeSettings(QSettings& settings) const {
    settings.setValue("convert/source", source());
    settings.setValue("convert/texture", txtTextureName_->text().trimmed());
}

}  // namespace ov::edit
