#include "common/ui/screenshot.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPixmap>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>

namespace ov::desktop {

namespace {

// Lets pending paints and OpenGL views finish, bounded so a display that never
// exposes the window cannot hang the program.
bool waitUntilShown(QWidget* window) {
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        QWindow* handle = window->windowHandle();
        if (handle && handle->isExposed()) break;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QWindow* handle = window->windowHandle();
    if (!handle || !handle->isExposed()) return false;
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return true;
}

}  // namespace

bool saveWindowImage(QWidget* window, const QString& path, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!window) return fail(QStringLiteral("No window to picture"));
    if (!window->isVisible()) window->show();
    if (!waitUntilShown(window))
        return fail(QStringLiteral("The window was not shown on the display"));

    const QPixmap picture = window->grab();
    if (picture.isNull()) return fail(QStringLiteral("The window could not be pictured"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
    if (!picture.save(&file, "PNG"))
        return fail(QStringLiteral("The picture could not be encoded"));
    if (!file.commit()) return fail(file.errorString());
    return true;
}

void screenshotAndQuit(QWidget* window, const QString& path) {
    QTimer::singleShot(0, window, [window, path] {
        QString error;
        if (saveWindowImage(window, path, &error)) {
            QApplication::exit(0);
            return;
        }
        std::fprintf(stderr, "Screenshot %s: %s\n", qPrintable(path), qPrintable(error));
        QApplication::exit(1);
    });
}

}  // namespace ov::desktop
