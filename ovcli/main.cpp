// ovcli: the toolkit's command-line front end.

#include <string>
#include <vector>

#include "cli.h"
#include "ov/version.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

#ifdef _WIN32
// The arguments as UTF-8, from the wide command line: the narrow argv holds them
// in the ANSI code page, where characters it lacks become look-alikes ("Ω" turns
// into "O") and a file would silently be written under another name.
std::vector<std::string> utf8Arguments() {
    std::vector<std::string> out;
    int n = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return out;
    for (int i = 0; i < n; ++i) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(size_t(bytes > 0 ? bytes : 1), '\0');
        if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, s.data(), bytes, nullptr, nullptr);
        s.pop_back();  // the terminator
        out.push_back(std::move(s));
    }
    LocalFree(wide);
    return out;
}

// Messages are UTF-8: a console shows them as such while ovcli runs, and gets its
// own code page back afterwards.
class Utf8Console {
public:
    Utf8Console() : before_(GetConsoleOutputCP()) {
        if (before_ != 0) SetConsoleOutputCP(CP_UTF8);
    }
    ~Utf8Console() {
        if (before_ != 0) SetConsoleOutputCP(before_);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    UINT before_;
};
#endif

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Orvane modding toolkit: archives, ship models, statistics and converters",
                 "ovcli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("ovcli ") + ov::kVersionText);
    // "/tmp/x" is a path, never an option, on every platform.
    app.allow_windows_style_options(false);

    ovcli::CliReporter reporter;
    int exitCode = ovcli::kOk;
    ovcli::Cli cli{app, reporter, exitCode};
    ovcli::addCodecCommands(cli);
    ovcli::addShpCommands(cli);
    ovcli::addSampleCommands(cli);
    ovcli::addHogCommands(cli);
    ovcli::addShipsCommands(cli);
    ovcli::addModelCommands(cli);
    ovcli::addConvertCommands(cli);
    ovcli::addFileCommands(cli);

#ifdef _WIN32
    Utf8Console console;
    std::vector<std::string> args = utf8Arguments();
    std::vector<char*> pointers;
    for (auto& a : args)
        pointers.push_back(a.data());
    if (!pointers.empty()) {
        argc = int(pointers.size());
        argv = pointers.data();
    }
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : ovcli::kUsage;
    }
    return exitCode;
}
