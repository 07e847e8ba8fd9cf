// ovcli: the toolkit's command-line front end.

#include <algorithm>
#include <array>
#include <cctype>
#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
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

std::vector<CLI::App*> commandsOf(CLI::App* app) {
    return app->get_subcommands([](CLI::App* sub) { return !sub->get_name().empty(); });
}

std::vector<std::string> namesOf(const std::vector<CLI::App*>& apps) {
    std::vector<std::string> names;
    for (auto* a : apps)
        names.push_back(a->get_name());
    return names;
}

// The long and short option names a command takes, its option groups' included.
void optionNames(CLI::App* app, std::vector<std::string>& out) {
    for (const CLI::Option* o : app->get_options()) {
        for (const auto& n : o->get_lnames())
            out.push_back("--" + n);
        for (const auto& n : o->get_snames())
            out.push_back("-" + n);
    }
    for (auto* g : app->get_subcommands([](CLI::App* sub) { return sub->get_name().empty(); }))
        optionNames(g, out);
}

std::string commandPath(CLI::App* app) {
    std::string path;
    for (CLI::App* a = app; a && a->get_parent(); a = a->get_parent())
        path = a->get_name() + (path.empty() ? "" : " " + path);
    return path.empty() ? "ovcli" : "ovcli " + path;
}

bool isNumber(const std::string& s) {
    return s.size() > 1 && s[0] == '-' && (std::isdigit(static_cast<unsigned char>(s[1])) || s[1] == '.');
}

// Looks at the command line before CLI11 does, for the mistakes people make most:
// no command at all, `help [COMMAND...]`, a misspelt command or option. Returns the
// exit code when it has dealt with the line itself.
std::optional<int> preflight(CLI::App& app, const std::vector<std::string>& args) {
    CLI::App* at = &app;
    size_t i = 0;
    if (args.empty()) {
        std::cout << app.help();
        return ovcli::kOk;
    }
    if (args[0] == "help") {
        for (i = 1; i < args.size(); ++i) {
            auto subs = commandsOf(at);
            auto it = std::find_if(subs.begin(), subs.end(),
                                   [&](CLI::App* s) { return s->get_name() == args[i]; });
            if (it == subs.end()) {
                ovcli::printError("unknown command '" + args[i] + "'" +
                                  ovcli::didYouMean(args[i], namesOf(subs)) + " (`" +
                                  commandPath(at) + " --help` lists them)");
                return ovcli::kUsage;
            }
            at = *it;
        }
        std::cout << at->help();
        return ovcli::kOk;
    }
    bool optionsEnded = false;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded) continue;
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        auto subs = commandsOf(at);
        if (a.size() > 1 && a[0] == '-' && !isNumber(a)) {
            if (a == "--help" || a == "-h") return std::nullopt;
            std::string name = a.substr(0, a.find('='));
            std::vector<std::string> known;
            optionNames(at, known);
            if (std::find(known.begin(), known.end(), name) == known.end() &&
                (at != &app || name != "--version")) {
                ovcli::printError("unknown option '" + name + "' for '" + commandPath(at) + "'" +
                                  ovcli::didYouMean(name, known) + " (`" + commandPath(at) +
                                  " --help` lists them)");
                return ovcli::kUsage;
            }
            continue;
        }
        if (subs.empty()) continue;
        auto it = std::find_if(subs.begin(), subs.end(),
                               [&](CLI::App* s) { return s->get_name() == a; });
        if (it != subs.end()) {
            at = *it;
            continue;
        }
        // A group of commands takes nothing but a command.
        if (at->get_options([](const CLI::Option* o) { return o->get_positional(); }).empty()) {
            ovcli::printError("unknown command '" + a + "'" + ovcli::didYouMean(a, namesOf(subs)) +
                              " (`" + commandPath(at) + " --help` lists them)");
            return ovcli::kUsage;
        }
    }
    // A group named without one of its commands: its help, which lists them.
    if (!commandsOf(at).empty() && at != &app &&
        at->get_options([](const CLI::Option* o) { return o->get_positional(); }).empty()) {
        std::cout << at->help();
        return ovcli::kUsage;
    }
    return std::nullopt;
}

// The commands, in the order help lists them, by the names they add at the top.
struct CommandGroup {
    std::array<std::string_view, 3> names;  // unused ones empty
    void (*add)(ovcli::Cli&);
};

void addModelAndInterchange(ovcli::Cli& cli) {
    ovcli::addModelCommands(cli);
    ovcli::addInterchangeCommands(cli, cli.app.get_subcommand("model"));
}

const CommandGroup kGroups[] = {
    {{"pack", "unpack"}, ovcli::addCodecCommands},
    {{"shp"}, ovcli::addShpCommands},
    {{"sample-game"}, ovcli::addSampleCommands},
    {{"hog"}, ovcli::addHogCommands},
    {{"ship", "weapons", "stats"}, ovcli::addShipsCommands},
    {{"model"}, addModelAndInterchange},
    {{"convert", "3ds"}, ovcli::addConvertCommands},
    {{"temp-files"}, ovcli::addFileCommands},
    {{"completion"}, ovcli::addCompletionCommands},
};

// Only the parser of the command given is built, which is most of what starting up
// costs: every command's when the line names none of them (help, a misspelt
// command). Completion lists every command.
void addCommands(ovcli::Cli& cli, const std::vector<std::string>& args) {
    const CommandGroup* chosen = nullptr;
    if (!args.empty() && !args[0].empty() && args[0] != "completion")
        for (const CommandGroup& g : kGroups)
            if (std::find(g.names.begin(), g.names.end(), args[0]) != g.names.end()) chosen = &g;
    if (chosen) {
        chosen->add(cli);
        return;
    }
    for (const CommandGroup& g : kGroups)
        g.add(cli);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string version = std::string("ovcli ") + ov::kVersionText;
    // `ovcli --version` alone is what scripts run to find the toolkit: it answers
    // before any parser is built, as the parser's own version flag would.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << version << '\n';
        return ovcli::finishStandardOutput(ovcli::kOk);
    }
    CLI::App app{"Orvane modding toolkit: archives, ship models, statistics and converters",
                 "ovcli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", version);
    // "/tmp/x" is a path, never an option, on every platform.
    app.allow_windows_style_options(false);

    ovcli::CliReporter reporter;
    int exitCode = ovcli::kOk;
    ovcli::Cli cli{app, reporter, exitCode};
    addCommands(cli, argc > 1 ? std::vector<std::string>(argv + 1, argv + argc)
                              : std::vector<std::string>());
    ovcli::addAllExamples(app);

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
#ifndef _WIN32
    // A reader that goes away (`| head`) ends the program quietly, as it ends the
    // C tools, whatever the parent left the signal set to.
    std::signal(SIGPIPE, SIG_DFL);
#endif
    std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (auto rc = preflight(app, words)) return *rc;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return ovcli::finishStandardOutput(rc == 0 ? 0 : ovcli::kUsage);
    }
    return ovcli::finishStandardOutput(exitCode);
}
