// ovcli temp-files: the temporary files that writes of the toolkit left behind
// (a killed process, a power cut), listed and removed.

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "cli.h"
#include "common/fileio.h"

namespace ovcli {

namespace {

namespace fs = std::filesystem;

// A file changed this recently may still be written by a program running now.
constexpr auto kBusy = std::chrono::minutes(1);

std::string quantity(uint64_t bytes) {
    char text[32];
    if (bytes < 10 * 1024)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else if (bytes < 10 * 1024 * 1024)
        std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>(bytes >> 10));
    else
        std::snprintf(text, sizeof text, "%llu MB", static_cast<unsigned long long>(bytes >> 20));
    return text;
}

std::string hint(const fs::path& folder) {
    return "`ovcli temp-files \"" + ov::printable(folder.string()) + "\" --remove` removes them";
}

int runTempFiles(const std::string& folderText, bool recursive, bool remove) {
    const fs::path folder(folderText);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        printError(folderText + ": no such folder");
        return kFailed;
    }
    const auto found = ov::temporaryFilesIn(folder, recursive);
    const auto now = fs::file_time_type::clock::now();
    size_t removed = 0, busy = 0, failed = 0;
    uint64_t bytes = 0;
    for (const auto& t : found) {
        const std::string shown = ov::printable(t.path.string());
        if (!remove) {
            std::cout << shown << "  " << quantity(t.size) << '\n';
            bytes += t.size;
            continue;
        }
        if (now - t.modified < kBusy) {
            std::cerr << "ovcli: left alone, changed less than a minute ago (a write may be "
                         "running): "
                      << shown << '\n';
            ++busy;
            continue;
        }
        if (fs::remove(t.path, ec)) {
            std::cout << "removed " << shown << "  " << quantity(t.size) << '\n';
            bytes += t.size;
            ++removed;
        } else {
            printError(shown + ": " + ec.message());
            ++failed;
        }
    }
    if (!remove)
        std::cout << found.size() << " temporary file(s), " << quantity(bytes) << '\n';
    else
        std::cout << removed << " temporary file(s) removed, " << quantity(bytes) << " freed"
                  << (busy ? ", " + std::to_string(busy) + " left alone" : "") << '\n';
    return failed ? kFailed : kOk;
}

}  // namespace

size_t warnAboutTemporaries(const fs::path& folder) {
    const auto found = ov::temporaryFilesIn(folder);
    if (found.empty()) return 0;
    uint64_t bytes = 0;
    for (const auto& t : found)
        bytes += t.size;
    printError(ov::printable(folder.string()) + " holds " + std::to_string(found.size()) +
               " temporary file(s) of writes that never finished (" + quantity(bytes) + "); " +
               hint(folder));
    return found.size();
}

size_t warnAboutTemporariesBeside(const fs::path& target) {
    fs::path folder = target.parent_path();
    return warnAboutTemporaries(folder.empty() ? fs::path(".") : folder);
}

void addFileCommands(Cli& cli) {
    struct Args {
        std::string folder;
        bool recursive = false, remove = false;
    };
    auto a = std::make_shared<Args>();
    auto* tmp = cli.app.add_subcommand(
        "temp-files",
        "List (or remove) the temporary files that writes of the toolkit left in a folder when "
        "they were cut short (named .ov-XXXXXXXXXXXX.ovtmp)");
    tmp->add_option("FOLDER", a->folder, "Folder to look in")->required();
    tmp->add_flag("-r,--recursive", a->recursive, "Look in its subfolders too");
    tmp->add_flag("--remove", a->remove,
                  "Remove them (files changed in the last minute are left alone: a program may be "
                  "writing them)");
    tmp->callback([&cli, a] { cli.exitCode = runTempFiles(a->folder, a->recursive, a->remove); });
}

}  // namespace ovcli
