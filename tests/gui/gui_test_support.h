#pragma once
// Helpers for the GUI tests.

namespace ovtest {

// Mesa unloads its driver when the display closes, before LeakSanitizer looks at
// the heap, and the driver's allocations then show with no library name for the
// suppressions file to match. Call this once OpenGL has been used (for example in
// cleanupTestCase) to keep every loaded DRI driver in memory to the end.
void keepGlDriversLoaded();

}  // namespace ovtest
