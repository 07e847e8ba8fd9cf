#pragma once
// On Windows the desktop programs are windowed programs: started from a command
// prompt they get no console of their own, and what they write to standard
// output and standard error (--help, --version, the failures of --screenshot)
// would go nowhere.

namespace ov::desktop {

// Sends standard output and standard error that lead nowhere to the console of
// the process that started this one, when it has one. Streams already led to a
// file or a pipe stay as they are. Call it first in main. Does nothing outside
// Windows.
void useStartingConsole();

}  // namespace ov::desktop
