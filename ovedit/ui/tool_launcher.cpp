#include "ovedit/ui/tool_launcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace ov::edit {

QString defaultToolProgram() {
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("OVTool.exe");
#else
    const QString name = QStringLiteral("OVTool");
#endif
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

bool checkToolProgram(const QString& program, Reporter& reporter) {
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable()) {
        reporter.message("OV Edit",
                         ("OVTool was not found: there is no " +
                          QDir::toNativeSeparators(program) +
                          ". OVTool is looked for beside OVEdit; reinstall the toolkit to get it back.")
                             .toStdString(),
                         Icon::Exclamation);
        return false;
    }
    return true;
}

bool startToolOn(const QString& program, const QString& file, Reporter& reporter) {
    if (!checkToolProgram(program, reporter)) return false;
    QProcess process;
    process.setProgram(program);
    process.setArguments({QDir::toNativeSeparators(file)});
    process.setWorkingDirectory(QFileInfo(file).absolutePath());
    if (!process.startDetached()) {
        reporter.message("OV Edit",
                         ("OVTool could not be started (" + QDir::toNativeSeparators(program) +
                          "): " + process.errorString())
                             .toStdString(),
                         Icon::Critical);
        return false;
    }
    return true;
}

}  // namespace ov::edit
