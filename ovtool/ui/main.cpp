// OVTool [--screenshot FILE] [MODEL]: the model component editor.

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "ovtool/ui/editor_window.h"
#include "common/ui/console.h"
#include "common/ui/qt_reporter.h"
#include "common/ui/screenshot.h"

int main(int argc, char** argv) {
    ov::desktop::useStartingConsole();
    QApplication::setOrganizationName("Orvane");
    QApplication::setApplicationName("OVTool");
    QApplication::setApplicationVersion(OV_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("The model component editor of the Orvane modding toolkit.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshot(
        "screenshot", "Open MODEL, write a picture of the window to FILE (PNG) and exit.", "FILE");
    parser.addOption(screenshot);
    parser.addPositionalArgument(
        "MODEL", "The SHP model to open, or a glTF, OBJ or other mesh to import as a new model.", "[MODEL]");
    ov::desktop::answerHelpBeforeWindows(parser, argc, argv);
    QApplication app(argc, argv);
    ov::desktop::processCommandLine(parser, app);
    const QStringList models = parser.positionalArguments();
    if (models.size() > 1) {
        std::fprintf(stderr, "OVTool takes one model; %d were given.\n", int(models.size()));
        return 2;
    }
    const QString model = models.value(0);

    ov::tool::EditorWindow window;
    if (parser.isSet(screenshot)) {
        // No one is there to answer a box: messages go to standard error and
        // questions get the answer that changes nothing.
        ov::desktop::QtReporter::installHandler([](const ov::desktop::ReportRequest& r) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(r.title), qPrintable(r.text));
            return r.buttons ? ov::cautiousAnswer(*r.buttons) : ov::Answer::Ok;
        });
        window.show();
        if (!model.isEmpty()) window.openFile(model);
        ov::desktop::screenshotAndQuit(&window, parser.value(screenshot));
        return app.exec();
    }

    window.show();
    // Once the window is on screen, so that the model's messages show over it.
    if (!model.isEmpty())
        QTimer::singleShot(0, &window, [&window, model] { window.openFile(model); });
    return app.exec();
}
