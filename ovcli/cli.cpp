#include "cli.h"

#include <utility>

#include <csignal>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace ovcli {

#ifdef _WIN32
// A console has a console mode. _isatty only asks for a character device, which
// the NUL device is too: input redirected from NUL would be taken for a person.
static bool isConsole(DWORD stdHandle) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(stdHandle), &mode) != 0;
}
#endif

bool stdinIsTerminal() {
#ifdef _WIN32
    return isConsole(STD_INPUT_HANDLE);
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return isConsole(STD_ERROR_HANDLE);
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void printError(const std::string& text) {
    std::cerr << "ovcli: " << text << '\n';
}

void CliReporter::message(std::string_view title, std::string_view text, ov::Icon) {
    std::cout.flush();
    std::cerr << title << ": " << text << '\n';
}

namespace {

const char* choices(ov::Buttons b) {
    switch (b) {
        case ov::Buttons::Ok:
            return "[o]k";
        case ov::Buttons::OkCancel:
            return "[o]k/[c]ancel";
        case ov::Buttons::YesNo:
            return "[y]es/[n]o";
        case ov::Buttons::YesNoCancel:
            return "[y]es/[n]o/[c]ancel";
        case ov::Buttons::YesYesToAllNoCancel:
            return "[y]es/yes to [a]ll/[n]o/[c]ancel";
    }
    return "";
}

std::optional<ov::Answer> parseAnswer(const std::string& line, ov::Buttons b) {
    if (line.empty()) return std::nullopt;
    char c = char(std::tolower(static_cast<unsigned char>(line[0])));
    bool all = b == ov::Buttons::YesYesToAllNoCancel;
    bool yesNo = b == ov::Buttons::YesNo || b == ov::Buttons::YesNoCancel || all;
    bool cancel = b != ov::Buttons::Ok && b != ov::Buttons::YesNo;
    bool ok = b == ov::Buttons::Ok || b == ov::Buttons::OkCancel;
    if (all && c == 'a') return ov::Answer::YesToAll;
    if (yesNo && c == 'y') return ov::Answer::Yes;
    if (yesNo && c == 'n') return ov::Answer::No;
    if (cancel && c == 'c') return ov::Answer::Cancel;
    if (ok && c == 'o') return ov::Answer::Ok;
    return std::nullopt;
}

bool offered(ov::Answer a, ov::Buttons b) {
    switch (b) {
        case ov::Buttons::Ok:
            return a == ov::Answer::Ok;
        case ov::Buttons::OkCancel:
            return a == ov::Answer::Ok || a == ov::Answer::Cancel;
        case ov::Buttons::YesNo:
            return a == ov::Answer::Yes || a == ov::Answer::No;
        case ov::Buttons::YesNoCancel:
            return a != ov::Answer::Ok && a != ov::Answer::YesToAll;
        case ov::Buttons::YesYesToAllNoCancel:
            return a != ov::Answer::Ok;
    }
    return false;
}

}  // namespace

ov::Answer CliReporter::question(std::string_view title, std::string_view text, ov::Buttons buttons,
                                 ov::Icon) {
    std::cout.flush();
    std::cerr << title << ": " << text << '\n';
    if (preset && offered(*preset, buttons)) return *preset;
    if (preset && *preset == ov::Answer::Yes && buttons == ov::Buttons::OkCancel)
        return ov::Answer::Ok;
    if (buttons == ov::Buttons::Ok) return ov::Answer::Ok;
    if (!stdinIsTerminal()) {
        ov::Answer a = ov::cautiousAnswer(buttons);
        std::cerr << "  (no answer given: " << (a == ov::Answer::No ? "no" : "cancel") << ")\n";
        return a;
    }
    for (;;) {
        std::cerr << choices(buttons) << "? " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return ov::cautiousAnswer(buttons);
        if (auto a = parseAnswer(line, buttons)) return *a;
    }
}

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int) {
    g_interrupted = 1;
    std::signal(SIGINT, SIG_DFL);  // the next Ctrl+C ends the program at once
}

}  // namespace

ProgressLine::ProgressLine(CliReporter& inner) : inner_(inner), enabled_(stderrIsTerminal()) {
    g_interrupted = 0;
    std::signal(SIGINT, onInterrupt);
}

ProgressLine::~ProgressLine() {
    clear();
    std::signal(SIGINT, SIG_DFL);
}

void ProgressLine::message(std::string_view title, std::string_view text, ov::Icon icon) {
    clear();
    inner_.message(title, text, icon);
}

ov::Answer ProgressLine::question(std::string_view title, std::string_view text,
                                  ov::Buttons buttons, ov::Icon icon) {
    clear();
    // The one question with "Yes to all" is whether to replace an existing file:
    // --if-not-packed answers another question and must not answer this one.
    if (buttons == ov::Buttons::YesYesToAllNoCancel) {
        auto preset = std::exchange(inner_.preset, std::nullopt);
        ov::Answer a = inner_.question(title, text, buttons, icon);
        inner_.preset = preset;
        return a;
    }
    return inner_.question(title, text, buttons, icon);
}

void ProgressLine::update(const ov::Progress& p) {
    if (!enabled_) return;
    auto now = std::chrono::steady_clock::now();
    if (shown_ && p.done < p.total && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    std::string status = printable(p.status.substr(0, 60));
    std::fprintf(stderr, "\r\033[K[%llu/%llu] %.1f MB %s", (unsigned long long)p.done,
                 (unsigned long long)p.total, double(p.bytes) / 1e6, status.c_str());
    std::fflush(stderr);
    shown_ = true;
}

ov::Job ProgressLine::job() {
    ov::Job j;
    j.stop = stop_.get_token();
    // The work reports progress between items and between pieces of a long copy,
    // which is where it looks at stop requests.
    j.progress = [this](const ov::Progress& p) {
        if (g_interrupted) stop_.request_stop();
        update(p);
    };
    return j;
}

void ProgressLine::clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

std::string printable(std::string_view name) {
    std::string s(name);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return s;
}

const std::vector<std::string>& packLevelNames() {
    static const std::vector<std::string> names{"fast", "best"};
    return names;
}

ov::refpack::Level packLevelNamed(const std::string& name) {
    return name == "fast" ? ov::refpack::Level::Fast : ov::refpack::Level::Best;
}

void addAnswerFlags(CLI::App* sub, CliReporter& reporter, bool withCancel) {
    auto* group = sub->add_option_group("answers", "Answer the command's questions");
    group->add_flag_callback(
        "--yes,-y", [&reporter] { reporter.preset = ov::Answer::Yes; }, "Answer yes");
    group->add_flag_callback(
        "--no", [&reporter] { reporter.preset = ov::Answer::No; }, "Answer no");
    if (withCancel)
        group->add_flag_callback(
            "--cancel", [&reporter] { reporter.preset = ov::Answer::Cancel; }, "Answer cancel");
    group->require_option(0, 1);
}

}  // namespace ovcli
