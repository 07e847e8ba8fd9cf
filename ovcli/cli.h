#pragma once
// Shared pieces of ovcli's commands: the terminal reporter, exit codes, and the
// registration functions each command area provides.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <optional>
#include <string>

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
};

struct Cli {
    CLI::App& app;
    CliReporter& reporter;
    int& exitCode;
};

// Adds --yes / --no (and --cancel when offered) that answer the command's questions.
void addAnswerFlags(CLI::App* sub, CliReporter& reporter, bool withCancel = false);

bool stdinIsTerminal();
bool stderrIsTerminal();

// Prints "ovcli: TEXT" on standard error.
void printError(const std::string& text);

// Before a command writes into `folder`: says on standard error when the folder
// holds temporary files of earlier writes that never finished, and how to remove
// them. Returns how many there are.
size_t warnAboutTemporaries(const std::filesystem::path& folder);
// The same for the folder of the file `target`.
size_t warnAboutTemporariesBeside(const std::filesystem::path& target);

void addCodecCommands(Cli& cli);
void addShpCommands(Cli& cli);
void addSampleCommands(Cli& cli);
void addHogCommands(Cli& cli);
void addShipsCommands(Cli& cli);
void addModelCommands(Cli& cli);
void addConvertCommands(Cli& cli);
void addFileCommands(Cli& cli);

}  // namespace ovcli
