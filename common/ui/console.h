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

// Answers --help and --version before the program opens its window system, which
// they do not need: without a display (a shell on another machine) the window
// system would end the program before it could answer. Reads the command line
// with a core application of its own, made and ended here, and answers as
// processCommandLine does (and exits) when it asks for help or the version and
// reads without a mistake; otherwise returns, and the program reads it again with
// its QApplication (whose own options, such as -platform, only that one knows).
// Call before the QApplication is made.
void answerHelpBeforeWindows(QCommandLineParser& parser, int& argc, char** argv);

}  // namespace ov::desktop
