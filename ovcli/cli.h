#pragma once
// Shared pieces of ovcli's commands: the terminal reporter, exit codes, and the
// registration functions each command area provides.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <chrono>
#include <initializer_list>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "common/fileio.h"
#include "common/job.h"
#include "common/refpack.h"
#include "common/report.h"

namespace ovcli {

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

// Library messages go to standard error as "TITLE: TEXT". A question takes its
// answer from a flag when one was given, asks on the terminal when standard input
// is one, and otherwise takes the answer that changes nothing.
class CliReporter final : public ov::Reporter {
public:
    void message(std::string_view title, std::string_view text, ov::Icon icon) override;
    ov::Answer question(std::string_view title, std::string_view text, ov::Buttons buttons,
                        ov::Icon icon) override;

    std::optional<ov::Answer> preset;
    // Said after a question that no flag answered: the flag that would.
    std::string hint;
};

// One progress line on standard error when it is a terminal, redrawn in place;
// messages and questions passed through it first clear it, so they start on a clean
// line. While it exists, Ctrl+C asks its job to stop (the work then finishes the
// item it is on and leaves no partial file); a second Ctrl+C ends the program.
class ProgressLine final : public ov::Reporter {
public:
    explicit ProgressLine(CliReporter& inner);
    ~ProgressLine() override;

    void message(std::string_view title, std::string_view text, ov::Icon icon) override;
    ov::Answer question(std::string_view title, std::string_view text, ov::Buttons buttons,
                        ov::Icon icon) override;
    void update(const ov::Progress& p);
    // A job whose progress this line shows and that Ctrl+C stops.
    ov::Job job();
    // Takes the line away (before printing something else).
    void clear();

private:
    CliReporter& inner_;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
    std::stop_source stop_;
};

// A name as it may be printed on a terminal: control characters shown as '?'.
using ov::printable;

// The packer levels by the names the --level options take.
const std::vector<std::string>& packLevelNames();
ov::refpack::Level packLevelNamed(const std::string& name);

struct Cli {
    CLI::App& app;
    CliReporter& reporter;
    int& exitCode;
};

// Adds --yes / --no (and --cancel when offered) that answer the command's questions.
void addAnswerFlags(CLI::App* sub, CliReporter& reporter, bool withCancel = false);

bool stdinIsTerminal();
bool stderrIsTerminal();
bool stdoutIsTerminal();

// Prints "ovcli: TEXT" on standard error.
void printError(const std::string& text);

// Before a command writes into `folder`: says on standard error when the folder
// holds temporary files of earlier writes that never finished, and how to remove
// them. Returns how many there are.
size_t warnAboutTemporaries(const std::filesystem::path& folder);
// The same for the folder of the file `target`.
size_t warnAboutTemporariesBeside(const std::filesystem::path& target);

// The candidate nearest to `word` (letter case ignored; a swapped pair of letters
// counts as one change), when it is near enough to be what was meant.
std::optional<std::string> nearest(std::string_view word, const std::vector<std::string>& candidates);
// "; did you mean 'X'?" for the nearest candidate, or nothing.
std::string didYouMean(std::string_view word, const std::vector<std::string>& candidates);

// Ends the command's --help with its examples.
void addExamples(CLI::App* sub, std::initializer_list<const char*> examples);

// Why a path given for `expected` (e.g. "a .hog file") cannot be used, as a line for
// the user: "game: is a folder; expected a .hog file". Empty when it is a file.
std::string pathProblem(const std::string& path, const std::string& expected);
// Says that writing standard output failed, with the system's reason for `err`
// when there is one. Returns kFailed.
int standardOutputFailed(int err);
// Flushes standard output at the end of a command: a write or flush that failed
// (a full disk, a closed file) turns `exitCode` into a failure and is said once.
int finishStandardOutput(int exitCode);

// Prints pathProblem as a second line after a library's message, when there is one.
void explainPath(const std::string& path, const std::string& expected);

// Before a whole file is written over an existing one: true when `force` says so or
// the person at the terminal agrees; without a terminal it refuses and says how to
// replace the file. Never over something that is not a regular file, nor over one
// of `inputs` (under any of its names), whatever `force` says.
bool mayReplace(CliReporter& reporter, const std::string& path, bool force,
                const std::vector<std::string>& inputs = {});

// "FILE.bak" for FILE.ext, as the weapon changes name the first state of a model.
std::string backupPathFor(const std::string& path);
// Before a file is changed in place: keeps its current bytes as backupPathFor(path)
// unless a backup is there already (the first state is never overwritten). Says so
// when it makes one. Nothing when the backup cannot be written; else whether this
// call made it.
std::optional<bool> keepFirstBackup(const std::string& path);

// Numbers as people type them: decimal, or hexadecimal with a 0x prefix.
std::optional<unsigned long long> parseUnsigned(std::string_view text);

void addCodecCommands(Cli& cli);
void addShpCommands(Cli& cli);
void addSampleCommands(Cli& cli);
void addHogCommands(Cli& cli);
// add, replace, rename, delete and edit, under the hog command.
void addHogEditCommands(Cli& cli, CLI::App* hog);
void addShipsCommands(Cli& cli);
// stats ..., under addShipsCommands.
void addStatsCommands(Cli& cli);
void addModelCommands(Cli& cli);
// export and import, under the model command.
void addInterchangeCommands(Cli& cli, CLI::App* model);
void addConvertCommands(Cli& cli);
void addFileCommands(Cli& cli);
// The examples of every command's --help, added once every command is there.
void addAllExamples(CLI::App& app);
// completion bash / commands, from the commands added before it.
void addCompletionCommands(Cli& cli);

}  // namespace ovcli
