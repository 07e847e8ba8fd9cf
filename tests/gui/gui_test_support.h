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
