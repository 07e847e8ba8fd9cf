// OVEdit [--game DIR] [--tab hog|ships|convert] [--screenshot FILE] [ARCHIVE]
//
// Parses the command line and starts the main window. With --screenshot it loads
// what it was given, writes a picture of the window and exits: messages then go to
// standard error and every question gets the answer that changes nothing.
//
// OVEdit --run-converter SOURCE TEXTURE DESTINATION [LIBRARY] is the conversion
// tab's helper process (ovedit/convert/converter_helper.h): no window, one call of
// the converter library.

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <optional>

#include "ovedit/convert/converter_helper.h"
#include "ovedit/ui/main_window.h"
#include "common/ui/console.h"
#include "common/ui/qt_reporter.h"
#include "common/ui/screenshot.h"

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "OVEdit: %s\n", qPrintable(text));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    ov::desktop::useStartingConsole();
    if (argc > 1 && std::strcmp(argv[1], ov::kConverterHelperOption) == 0) {
        // The arguments as Qt reads them (from the wide command line on Windows), in UTF-8.
        QCoreApplication helper(argc, argv);
        std::vector<std::string> args;
        const QStringList all = QCoreApplication::arguments();
        for (qsizetype i = 2; i < all.size(); ++i)
            args.push_back(all[i].toStdString());
        return ov::runConverterHelper(args);
    }
    QApplication::setOrganizationName("Orvane Toolkit");
    QApplication::setApplicationName("OVEdit");
    QApplication::setApplicationVersion(OV_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("The Orvane data editor.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption game("game", "The game's installation folder (kept for later runs).",
                                  "DIR");
    const QCommandLineOption tab("tab", "The tab to show first: hog, ships or convert.", "NAME",
                                 "hog");
    const QCommandLineOption screenshot(
        "screenshot", "Write a picture of the window to FILE (PNG) once loaded, and exit.", "FILE");
    parser.addOptions({game, tab, screenshot});
    parser.addPositionalArgument(
        "ARCHIVE",
        "An archive to open (a folder is taken as --game, a .3ds model or another mesh goes to the conversion tab).",
        "[ARCHIVE]");
    ov::desktop::answerHelpBeforeWindows(parser, argc, argv);
    QApplication app(argc, argv);
    ov::desktop::processCommandLine(parser, app);

    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) return fail("give at most one archive");
    QString gameFolder = parser.value(game);
    QString archive = positional.isEmpty() ? QString() : positional.front();
    if (!archive.isEmpty() && QFileInfo(archive).isDir()) {
        if (!gameFolder.isEmpty()) return fail(archive + " is a folder, not an archive");
        gameFolder = archive;
        archive.clear();
    }
    if (!gameFolder.isEmpty() && !QFileInfo(gameFolder).isDir())
        return fail("the game folder " + gameFolder + " does not exist");

    const bool picture = parser.isSet(screenshot);
    std::optional<ov::desktop::ScopedReportHandler> quiet;
    if (picture)
        quiet.emplace([](const ov::desktop::ReportRequest& r) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(r.title), qPrintable(r.text));
            return r.buttons ? ov::cautiousAnswer(*r.buttons) : ov::Answer::Ok;
        });

    ov::edit::MainWindow window(/*useSettings=*/!picture);
    if (!window.showTab(parser.value(tab)))
        return fail("no tab \"" + parser.value(tab) +
                    "\"; the tabs are: " + window.tabKeys().join(", "));
    if (!gameFolder.isEmpty()) window.setGameFolder(gameFolder);
    window.show();

    if (picture) {
        if (!archive.isEmpty() && !window.openFile(archive)) return 1;
        window.whenSettled(10000, [&window, file = parser.value(screenshot)] {
            ov::desktop::screenshotAndQuit(&window, file);
        });
        return QApplication::exec();
    }

    // Once the window is up: the game folder when none is known yet, then the archive.
    QTimer::singleShot(0, &window, [&window, archive] {
        if (window.gameFolder().isEmpty()) window.chooseGameFolder();
        if (!archive.isEmpty()) window.openFile(archive);
    });
    return QApplication::exec();
}
