#pragma once
// Pictures of whole windows, for the programs' --screenshot FILE option and for
// looking at the windows in tests.

#include <QString>

class QWidget;

namespace ov::desktop {

// Shows the window if it is hidden, waits until it is on screen and painted, and
// writes it (OpenGL views included) as PNG at the screen's device pixel ratio,
// through a temporary file renamed over `path`. On failure returns false and says
// why in *error.
bool saveWindowImage(QWidget* window, const QString& path, QString* error = nullptr);

// For --screenshot: once the event loop runs, saves the window's image and quits
// the application with exit code 0, or 1 after printing why to standard error.
void screenshotAndQuit(QWidget* window, const QString& path);

}  // namespace ov::desktop
