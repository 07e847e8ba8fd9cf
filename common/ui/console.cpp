#include "common/ui/console.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace ov::desktop {

#ifdef _WIN32
namespace {

bool leadsNowhere(DWORD stream) {
    HANDLE h = GetStdHandle(stream);
    return h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) == FILE_TYPE_UNKNOWN;
}

}  // namespace

void useStartingConsole() {
    const bool out = leadsNowhere(STD_OUTPUT_HANDLE);
    const bool err = leadsNowhere(STD_ERROR_HANDLE);
    if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // The C runtime's streams are what Qt's --help and the programs' messages use.
    if (out) std::freopen("CONOUT$", "w", stdout);
    if (err) std::freopen("CONOUT$", "w", stderr);
}

void processCommandLine(QCommandLineParser& parser, const QCoreApplication& app) {
    if (leadsNowhere(STD_OUTPUT_HANDLE) && leadsNowhere(STD_ERROR_HANDLE)) {
        parser.process(app);
        return;
    }
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s\n", parser.errorText().toLocal8Bit().constData());
        std::fflush(stderr);
        std::exit(1);
    }
    const QStringList names = parser.optionNames();
    if (names.contains(QStringLiteral("help")) || names.contains(QStringLiteral("h")) ||
        names.contains(QStringLiteral("?"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        std::exit(0);
    }
    if (names.contains(QStringLiteral("version")) || names.contains(QStringLiteral("v"))) {
        const QString line = QCoreApplication::applicationName() + QLatin1Char(' ') +
                             QCoreApplication::applicationVersion() + QLatin1Char('\n');
        std::fputs(line.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        std::exit(0);
    }
    parser.process(app);
}
#else
void useStartingConsole() {}

void processCommandLine(QCommandLineParser& parser, const QCoreApplication& app) {
    parser.process(app);
}
#endif

namespace {

// The names of the options that Qt's help and version options answer to.
bool asksForHelpOrVersion(std::string_view name) {
    for (std::string_view n : {"h", "help", "?", "help-all", "v", "version"})
        if (name == n) return true;
    return false;
}

}  // namespace

void answerHelpBeforeWindows(QCommandLineParser& parser, int& argc, char** argv) {
    bool asks = false;
    for (int i = 1; i < argc && !asks; ++i) {
        std::string_view a = argv[i];
        if (a == "--") break;
        if (a.size() < 2 || a[0] != '-') continue;
        a.remove_prefix(a[1] == '-' ? 2 : 1);
        asks = asksForHelpOrVersion(a);
    }
    if (!asks) return;
    const QCoreApplication reader(argc, argv);
    if (!parser.parse(QCoreApplication::arguments())) return;
    for (const QString& name : parser.optionNames())
        if (asksForHelpOrVersion(name.toStdString()))
            processCommandLine(parser, reader);  // answers and exits
}

}  // namespace ov::desktop
