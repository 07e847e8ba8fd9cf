#include "ovedit/ui/tool_launcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace ov::edit {

namespace {

#ifdef Q_OS_WIN
const QString kToolName = QStringLiteral("OVTool.exe");
#else
const QString kToolName = QStringLiteral("OVTool");
#endif

bool isProgram(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString notFoundText(const QStringList& looked) {
    QString text = QStringLiteral("OVTool was not found. It was looked for in:");
    for (const QString& place : looked)
        text += "\n" + QDir::toNativeSeparators(place);
    if (looked.isEmpty()) text += " (nowhere)";
    return text + "\nReinstall the toolkit, or build OVTool beside OVEdit.";
}

}  // namespace

QStringList toolProgramCandidates(const QString& programDir) {
    QStringList out;
    auto add = [&out](const QString& file) {
        const QString clean = QDir::cleanPath(file);
        if (!clean.isEmpty() && !out.contains(clean)) out << clean;
    };
    if (!programDir.isEmpty()) add(QDir(programDir).filePath(kToolName));
#ifdef OV_OVTOOL_BUILD_FILE
    add(QStringLiteral(OV_OVTOOL_BUILD_FILE));
#endif
#ifdef OV_INSTALLED_BINDIR
    add(QDir(QStringLiteral(OV_INSTALLED_BINDIR)).filePath(kToolName));
#endif
    const QString path = qEnvironmentVariable("PATH");
    for (const QString& dir : path.split(QDir::listSeparator(), Qt::SkipEmptyParts))
        add(QDir(dir).filePath(kToolName));
    return out;
}

QString findToolProgram(const QStringList& candidates) {
    for (const QString& c : candidates)
        if (isProgram(c)) return c;
    return {};
}

QString findToolProgram(const QStringList& candidates, Reporter& reporter) {
    const QString found = findToolProgram(candidates);
    if (found.isEmpty())
        reporter.message("OV Edit", notFoundText(candidates).toStdString(), Icon::Exclamation);
    return found;
}

QString findToolProgram() {
    return findToolProgram(toolProgramCandidates(QCoreApplication::applicationDirPath()));
}

bool checkToolProgram(const QString& program, Reporter& reporter) {
    if (program.isEmpty())
        return !findToolProgram(toolProgramCandidates(QCoreApplication::applicationDirPath()),
                                reporter)
                    .isEmpty();
    if (isProgram(program)) return true;
    reporter.message("OV Edit", notFoundText({program}).toStdString(), Icon::Exclamation);
    return false;
}

bool startToolOn(const QString& program, const QString& file, Reporter& reporter) {
    const QString tool =
        program.isEmpty()
            ? findToolProgram(toolProgramCandidates(QCoreApplication::applicationDirPath()), reporter)
            : program;
    if (tool.isEmpty() || !checkToolProgram(tool, reporter)) return false;
    // Detached: the process is not OVEdit's child, so nothing has to reap it.
    QProcess process;
    process.setProgram(tool);
    process.setArguments({QDir::toNativeSeparators(file)});
    process.setWorkingDirectory(QFileInfo(file).absolutePath());
    if (!process.startDetached()) {
        reporter.message("OV Edit",
                         ("OVTool could not be started (" + QDir::toNativeSeparators(tool) +
                          "): " + process.errorString())
                             .toStdString(),
                         Icon::Critical);
        return false;
    }
    return true;
}

}  // namespace ov::edit
