#include "cli.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "common/fileio.h"
#include "json.h"

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

bool stdoutIsTerminal() {
#ifdef _WIN32
    return isConsole(STD_OUTPUT_HANDLE);
#else
    return isatty(STDOUT_FILENO) != 0;
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

int standardOutputFailed(int err) {
    printError(std::string("cannot write to standard output") +
               (err ? std::string(": ") + std::strerror(err) : std::string()));
    return kFailed;
}

int finishStandardOutput(int exitCode) {
    errno = 0;
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int err = errno;
    if (flushed && !std::cout.bad() && !std::ferror(stdout)) return exitCode;
    standardOutputFailed(err);
    return exitCode == kOk ? kFailed : exitCode;
}

namespace {

char lower(char c) {
    return char(std::tolower(static_cast<unsigned char>(c)));
}

// Edit distance with a swap of two neighbouring letters as one change.
size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) &&
                lower(a[i - 2]) == lower(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

std::optional<std::string> nearest(std::string_view word, const std::vector<std::string>& candidates) {
    if (word.size() > 64) return std::nullopt;
    std::optional<std::string> best;
    size_t bestDistance = 0;
    for (const auto& c : candidates) {
        if (c.empty()) continue;
        size_t d = editDistance(word, c);
        // A word that starts a candidate ("cre" for "create") is as good as one change.
        if (word.size() >= 2 && c.size() > word.size() &&
            ov::sameNameIgnoringCase(std::string_view(c).substr(0, word.size()), word))
            d = std::min<size_t>(d, 1);
        if (!best || d < bestDistance) {
            best = c;
            bestDistance = d;
        }
    }
    const size_t allowed = std::max<size_t>(2, word.size() / 3);
    if (best && bestDistance <= allowed && bestDistance < std::max(word.size(), size_t(1)))
        return best;
    return std::nullopt;
}

std::string didYouMean(std::string_view word, const std::vector<std::string>& candidates) {
    auto n = nearest(word, candidates);
    return n ? "; did you mean '" + *n + "'?" : std::string();
}

void addExamples(CLI::App* sub, std::initializer_list<const char*> examples) {
    std::string text = examples.size() == 1 ? "Example:\n" : "Examples:\n";
    for (const char* e : examples)
        text += std::string("  ") + e + "\n";
    sub->footer(text);
}

std::string pathProblem(const std::string& path, const std::string& expected) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path p = ov::pathFromText(ov::trim(path));
    const auto st = fs::status(p, ec);
    if (st.type() == fs::file_type::directory) return path + ": is a folder; expected " + expected;
    if (st.type() == fs::file_type::not_found) {
        fs::path parent = p.parent_path();
        if (!parent.empty() && !fs::is_directory(parent, ec))
            return path + ": no such file (the folder " + ov::pathText(parent) +
                   " does not exist); expected " + expected;
        return path + ": no such file; expected " + expected;
    }
    if (ec) return path + ": " + ec.message() + "; expected " + expected;
    if (auto what = ov::notARegularFile(p)) return path + ": is " + *what + "; expected " + expected;
    return {};
}

void explainPath(const std::string& path, const std::string& expected) {
    if (auto problem = pathProblem(path, expected); !problem.empty()) printError(problem);
}

bool mayReplace(CliReporter& reporter, const std::string& path, bool force,
                const std::vector<std::string>& inputs) {
    std::error_code ec;
    const auto target = ov::pathFromText(path);
    if (!std::filesystem::exists(target, ec)) return true;
    for (const std::string& in : inputs)
        if (ov::sameFile(ov::pathFromText(in), target)) {
            printError(path + ": is the input file " + in + "; write to another file");
            return false;
        }
    if (auto what = ov::notARegularFile(target)) {
        printError(path + ": is " + *what + "; expected a file name to write");
        return false;
    }
    if (force) return true;
    if (!reporter.preset && stdinIsTerminal()) {
        ov::Answer a = reporter.question("ovcli", path + " exists. Replace it?", ov::Buttons::YesNo,
                                         ov::Icon::Question);
        if (a == ov::Answer::Yes) return true;
        printError(path + ": kept as it was");
        return false;
    }
    if (reporter.preset == ov::Answer::Yes) return true;
    printError(path + ": exists; give --force to replace it");
    return false;
}

std::string backupPathFor(const std::string& path) {
    std::filesystem::path p = ov::pathFromText(path);
    p.replace_extension(".bak");
    return ov::pathText(p);
}

std::optional<bool> keepFirstBackup(const std::string& path) {
    const std::string bak = backupPathFor(path);
    std::error_code ec;
    if (std::filesystem::exists(ov::pathFromText(bak), ec)) return false;
    if (auto st = ov::copyFileAtomic(ov::pathFromText(path), ov::pathFromText(bak)); !st) {
        printError(bak + ": the backup cannot be written (" + st.error().describe() +
                   "); nothing was changed");
        return std::nullopt;
    }
    std::cerr << "ovcli: kept the model as it was in " << bak << '\n';
    return true;
}

void printJson(const Json& j) {
    std::cout << j.str() << '\n';
}

void jsonBackup(Json& j, const std::string& path, bool made) {
    j.key("backup").beginObject().field("path", path).field("made", made).endObject();
}

std::string jsonText(std::string_view bytes) {
    // Valid UTF-8 is kept; anything else is taken byte by byte as Latin-1.
    size_t i = 0;
    bool valid = true;
    while (i < bytes.size() && valid) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > bytes.size()) {
            valid = false;
            break;
        }
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) valid = false;
        // Overlong forms and surrogates are not UTF-8.
        if (valid && n == 2 && c < 0xC2) valid = false;
        if (valid && n == 3) {
            const unsigned char d = static_cast<unsigned char>(bytes[i + 1]);
            if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0)) valid = false;
        }
        if (valid && n == 4) {
            const unsigned char d = static_cast<unsigned char>(bytes[i + 1]);
            if ((c == 0xF0 && d < 0x90) || (c == 0xF4 && d >= 0x90) || c > 0xF4) valid = false;
        }
        i += n;
    }
    if (valid) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::optional<unsigned long long> parseUnsigned(std::string_view text) {
    std::string s = ov::trim(text);
    int base = 10;
    std::string_view digits = s;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    unsigned long long v = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return v;
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
        case ov::Buttons::YesYesToAllNoNoToAllCancel:
            return "[y]es/yes to [a]ll/[n]o/no to a[l]l/[c]ancel";
    }
    return "";
}

std::optional<ov::Answer> parseAnswer(const std::string& line, ov::Buttons b) {
    if (line.empty()) return std::nullopt;
    char c = char(std::tolower(static_cast<unsigned char>(line[0])));
    bool noToAll = b == ov::Buttons::YesYesToAllNoNoToAllCancel;
    bool all = b == ov::Buttons::YesYesToAllNoCancel || noToAll;
    bool yesNo = b == ov::Buttons::YesNo || b == ov::Buttons::YesNoCancel || all;
    bool cancel = b != ov::Buttons::Ok && b != ov::Buttons::YesNo;
    bool ok = b == ov::Buttons::Ok || b == ov::Buttons::OkCancel;
    if (all && c == 'a') return ov::Answer::YesToAll;
    if (noToAll && c == 'l') return ov::Answer::NoToAll;
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
            return a != ov::Answer::Ok && a != ov::Answer::YesToAll && a != ov::Answer::NoToAll;
        case ov::Buttons::YesYesToAllNoCancel:
            return a != ov::Answer::Ok && a != ov::Answer::NoToAll;
        case ov::Buttons::YesYesToAllNoNoToAllCancel:
            return a != ov::Answer::Ok;
    }
    return false;
}

}  // namespace

ov::Answer CliReporter::question(std::string_view title, std::string_view text, ov::Buttons buttons,
                                 ov::Icon) {
    // A question a flag answered is not shown.
    if (preset && offered(*preset, buttons)) return *preset;
    if (preset && *preset == ov::Answer::Yes && buttons == ov::Buttons::OkCancel)
        return ov::Answer::Ok;
    std::cout.flush();
    std::cerr << title << ": " << text << '\n';
    if (!hint.empty() && buttons != ov::Buttons::Ok) std::cerr << "  " << hint << '\n';
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
