#pragma once
// Helpers shared by the unit tests: a reporter that records what the library said
// and answers from a script, and a scratch folder removed after each test.

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/report.h"

namespace ovtest {

struct Said {
    std::string title;
    std::string text;
    ov::Icon icon;
    bool question;
};

class RecordingReporter final : public ov::Reporter {
public:
    void message(std::string_view title, std::string_view text, ov::Icon icon) override {
        said.push_back({std::string(title), std::string(text), icon, false});
    }
    ov::Answer question(std::string_view title, std::string_view text, ov::Buttons buttons,
                        ov::Icon icon) override {
        said.push_back({std::string(title), std::string(text), icon, true});
        if (answers.empty()) return ov::cautiousAnswer(buttons);
        ov::Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    bool saidText(std::string_view text) const {
        for (const auto& s : said)
            if (s.text == text) return true;
        return false;
    }

    std::vector<Said> said;
    std::deque<ov::Answer> answers;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

void writeBytes(const std::filesystem::path& p, ov::ByteSpan bytes);
ov::Bytes readBytes(const std::filesystem::path& p);

// Deterministic pseudo-random bytes.
ov::Bytes randomBytes(size_t n, uint32_t seed);

// Runs a program with the arguments (each quoted), standard input from nothing (so
// a question is never waited on) and standard output and error both into `log`.
// Returns its exit status.
int runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::filesystem::path& log);

}  // namespace ovtest
