#pragma once
// On Windows the desktop programs are windowed programs: started from a command
// prompt they get no console of their own, and what they write to standard
// output and standard error (--help, --version, the failures of --screenshot)
// would go nowhere.

class QCommandLineParser;
class QCoreApplication;

namespace ov::desktop {

// Sends standard output and standard error that lead nowhere to the console of
// the process that started this one, when it has one. Streams already led to a
// file or a pipe stay as they are. Call it first in main. Does nothing outside
// Windows.
void useStartingConsole();

// QCommandLineParser::process, except that on Windows --help, --version and the
// parser's errors are written to standard output or standard error whenever those
// lead somewhere (a console, a file, a pipe): Qt shows them in a message box there
// unless the program was started with handles of its own, so a script reading
// `OVEdit.exe --help > help.txt` would wait on a box nobody sees. Exits as Qt
// does: 0 after help or the version, 1 on an error.
void processCommandLine(QCommandLineParser& parser, const QCoreApplication& app);

}  // namespace ov::desktop
