#pragma once
// Helpers for the GUI tests. Linked into every GUI test, they also make each test
// use Qt's own file dialogs, never the platform's native ones.

#include <functional>

class QFileDialog;
class QObject;

namespace ovtest {

// Answers the next file dialog, which the caller's next action opens: once it is
// the active modal window, `answer` picks a file and accepts it. Waits up to 30
// seconds, as a dialog can take seconds to open on a loaded machine under the
// sanitizers.
void answerNextFileDialog(QObject* context, std::function<void(QFileDialog*)> answer);

// Mesa unloads its driver when the display closes, before LeakSanitizer looks at
// the heap, and the driver's allocations then show with no library name for the
// suppressions file to match. Call this once OpenGL has been used (for example in
// cleanupTestCase) to keep every loaded DRI driver in memory to the end.
void keepGlDriversLoaded();

}  // namespace ovtest

#include <QStringList>

class QWidget;

namespace ovtest {

// The mnemonics (Alt+letter) that more than one control answers in `window` as it
// stands: its menu bar's menus, the tabs of every tab bar shown, and every button,
// check box, group box and buddied label shown (so a tab widget's current page
// counts, the others not); and, within each menu of the menu bar, its items.
// One line per clash, for example "Alt+V: \"Sa&ve\" (QPushButton btnSave),
// \"3DS Con&version\" (tab)". Empty when every mnemonic is unique.
QStringList mnemonicClashes(QWidget* window);

// The buttons of `window`, shown or not, that have no accessible name: "class
// objectName" each.
QStringList unnamedButtons(QWidget* window);

// Runs `program` with `args` where no display is to be had (outside Windows: no
// DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM) and returns its standard output,
// or a null array when it did not end by itself with 0.
QByteArray outputWithoutDisplay(const QString& program, const QStringList& args);

}  // namespace ovtest
