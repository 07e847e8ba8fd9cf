// ovcli hog ...: listing, extracting and unpacking HOG archives, FAT backup,
// restore and editing, and building new archives.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <utility>

#include "cli.h"
#include "common/fileio.h"
#include "json.h"
#include "ovedit/archive/hog.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace ovcli {

namespace {

namespace hog = ov::archive;
namespace fs = std::filesystem;

using ov::printable;

std::optional<hog::HogArchive> openArchive(Cli& cli, const std::string& path) {
    auto a = hog::HogArchive::open(path, cli.reporter);
    if (!a) explainPath(path, "a .hog file");
    return a;
}

bool hasWildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

// A name pattern as people type it: * any run of characters (folder separators
// included), ? any one; letter case and / against \ are not minded.
bool matches(std::string_view pattern, std::string_view name) {
    auto same = [](char p, char n) {
        if (p == '/') p = '\\';
        if (n == '/') n = '\\';
        return std::tolower(static_cast<unsigned char>(p)) == std::tolower(static_cast<unsigned char>(n));
    };
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<std::string> entryNames(const hog::HogArchive& a) {
    std::vector<std::string> names;
    for (const auto& e : a.entries())
        names.push_back(e.name);
    return names;
}

// "no entry NAME", with the nearest name and how to see them all.
void noEntry(const hog::HogArchive& a, const std::string& path, const std::string& name) {
    printError(path + ": no entry " + printable(name) + didYouMean(name, entryNames(a)) +
               " (`ovcli hog list` shows them; rows are numbered 1-" +
               std::to_string(a.entries().size()) + ")");
}

// A row given as its 1-based number in the list, or as an entry name.
std::optional<size_t> findRow(const hog::HogArchive& a, const std::string& text) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        if (text.size() > 9) return std::nullopt;
        size_t n = std::stoul(text);
        if (n >= 1 && n <= a.entries().size()) return n - 1;
        return std::nullopt;
    }
    const hog::HogEntry* e = a.find(text);
    if (!e) {
        std::string backslashed = text;
        std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
        e = a.find(backslashed);
    }
    if (!e) return std::nullopt;
    return size_t(e - a.entries().data());
}

void jsonEntry(Json& j, std::string_view key, const hog::HogEntry& e) {
    j.key(key)
        .beginObject()
        .field("name", e.name)
        .field("offset", e.offset)
        .field("size", e.size)
        .field("offsetHex", hog::hexText(e.offset))
        .field("sizeHex", hog::hexText(e.size))
        .endObject();
}

// What paste and set-entry change in one FAT entry: the entry before and after. The
// text form is said only for a dry run (the change itself is silent, as the editor's);
// set-entry's names the name too.
void reportEntryChange(const std::string& archive, size_t row, const hog::HogEntry& before,
                       const hog::HogEntry& after, bool dryRun, bool json, bool withName) {
    if (json) {
        Json j;
        j.beginObject()
            .field("archive", archive)
            .field("row", row + 1)
            .field("entryPos", before.entryPos)
            .field("dryRun", dryRun);
        jsonEntry(j, "before", before);
        jsonEntry(j, "after", after);
        printJson(j.endObject());
        return;
    }
    if (!dryRun) return;
    std::cout << "would change the FAT entry of " << printable(before.name) << " (row " << row + 1
              << ", at byte " << before.entryPos << "): ";
    if (withName)
        std::cout << "name " << printable(before.name) << " -> " << printable(after.name) << ", ";
    std::cout << "offset " << hog::hexText(before.offset) << " -> " << hog::hexText(after.offset)
              << ", size " << hog::hexText(before.size) << " -> " << hog::hexText(after.size)
              << " (hexadecimal)\n";
}

// The entry at `row` as the archive holds it now, read again after a change.
std::optional<hog::HogEntry> entryOnDisk(const std::string& path, size_t row) {
    auto a = hog::HogArchive::read(ov::pathFromText(path));
    if (!a || row >= a->entries().size()) return std::nullopt;
    return a->entries()[row];
}

int runList(Cli& cli, const std::string& path, bool json) {
    auto a = openArchive(cli, path);
    if (!a) return kFailed;
    if (json) {
        Json j;
        j.beginObject()
            .field("path", ov::pathText(a->path()))
            .field("hogSize", a->hogSize())
            .field("itemCount", a->itemCount())
            .field("fatLength", a->fatLength())
            .field("usedCompanion", a->usedCompanion())
            .field("note", a->walkNote())
            .key("entries")
            .beginArray();
        size_t row = 0;
        for (const auto& e : a->entries()) {
            j.beginObject()
                .field("row", ++row)
                .field("name", e.name)
                .field("offset", e.offset)
                .field("size", e.size)
                .field("offsetHex", hog::hexText(e.offset))
                .field("sizeHex", hog::hexText(e.size))
                .field("type", hog::fileType(e.name))
                .field("entryPos", e.entryPos)
                .endObject();
        }
        j.endArray().endObject();
        std::cout << j.str() << '\n';
        return kOk;
    }
    std::cout << ov::pathText(a->path()) << '\n'
              << hog::hogSizeText(a->hogSize()) << '\n'
              << hog::countText(a->itemCount()) << '\n';
    std::printf("%7s  %-40s %12s %12s  %s\n", "#", "File Name", "Offset (Hex)", "Size (Hex)",
                "Type");
    size_t row = 0;
    for (const auto& e : a->entries())
        std::printf("%7zu  %-40s %12s %12s  %s\n", ++row, printable(e.name).c_str(),
                    hog::hexText(e.offset).c_str(), hog::hexText(e.size).c_str(),
                    printable(hog::fileType(e.name)).c_str());
    return kOk;
}

int runExtract(Cli& cli, const std::string& path, const std::string& dest,
               const std::vector<std::string>& names, bool all, hog::ExtractMode mode,
               bool overwrite, bool dryRun, bool json) {
    if (!all && names.empty()) {
        printError("name the entries to copy out (names, row numbers or patterns such as '*.shp'), "
                   "or give --all");
        return kUsage;
    }
    auto a = openArchive(cli, path);
    if (!a) return kFailed;
    std::vector<size_t> rows;
    std::vector<bool> chosen(a->entries().size(), false);
    auto choose = [&](size_t row) {
        if (!chosen[row]) rows.push_back(row);
        chosen[row] = true;
    };
    if (all) {
        for (size_t i = 0; i < a->entries().size(); ++i)
            choose(i);
    } else {
        for (const auto& n : names) {
            if (hasWildcard(n)) {
                size_t before = rows.size();
                for (size_t i = 0; i < a->entries().size(); ++i)
                    if (matches(n, a->entries()[i].name)) choose(i);
                if (rows.size() == before && !std::count_if(a->entries().begin(), a->entries().end(), [&](const hog::HogEntry& e) { return matches(n, e.name); })) {
                    printError(path + ": no entry matches " + printable(n));
                    return kFailed;
                }
                continue;
            }
            auto row = findRow(*a, n);
            if (!row) {
                noEntry(*a, path, n);
                return kFailed;
            }
            choose(*row);
        }
    }
    const fs::path destPath = ov::pathFromText(ov::trim(dest));
    std::error_code ec;
    if (fs::exists(destPath, ec) && !fs::is_directory(destPath, ec)) {
        printError(dest + ": is a file; expected the destination folder");
        return kUsage;
    }
    if (dryRun) {
        Json j;
        if (json) j.beginObject().field("archive", path).field("destination", dest).field("dryRun", true).key("files").beginArray();
        for (size_t row : rows) {
            const auto& e = a->entries()[row];
            auto target = hog::targetPath(ov::pathFromText(ov::trim(dest)), e.name);
            const std::string where = target ? ov::pathText(*target) : "(refused: " + target.error().message + ")";
            if (json) {
                j.beginObject().field("entry", e.name).field("path", where).field("size", e.size).endObject();
            } else {
                std::cout << "would write " << printable(where) << " (" << e.size << " bytes as stored)\n";
            }
        }
        if (json) {
            j.endArray().endObject();
            std::cout << j.str() << '\n';
        }
        return kOk;
    }
    if (!fs::exists(destPath, ec)) {
        fs::create_directories(destPath, ec);
        if (ec) {
            printError(dest + ": the folder cannot be made (" + ec.message() + ")");
            return kFailed;
        }
    }
    // With --if-not-packed given, the library's question is answered before it is asked.
    if (mode == hog::ExtractMode::Unpack && !cli.reporter.preset)
        cli.reporter.hint = "(--if-not-packed extract, skip or cancel answers this question)";
    // Existing files are replaced with --overwrite; without it the terminal is asked,
    // and with no terminal to ask they are kept.
    const hog::Overwrite ifExists = overwrite           ? hog::Overwrite::Replace
                                    : stdinIsTerminal() ? hog::Overwrite::Ask
                                                        : hog::Overwrite::Keep;
    ProgressLine line(cli.reporter);
    auto r = hog::extract(*a, rows, dest, mode, ifExists, line.job(), line);
    line.clear();
    if (r.kept > 0 && ifExists == hog::Overwrite::Keep)
        printError(std::to_string(r.kept) +
                   " file(s) already there were kept; give --overwrite to replace them");
    if (r.temporaries > 0)
        printError("`ovcli temp-files \"" + printable(dest) +
                   "\" --recursive --remove` removes the temporary files");
    const size_t unpacked = r.unpacked;
    if (json) {
        Json j;
        j.beginObject()
            .field("archive", path)
            .field("destination", dest)
            .field("written", r.written)
            .field("unpacked", unpacked)
            .field("stored", r.written - unpacked)
            .field("skipped", r.skipped)
            .field("kept", r.kept)
            .field("errors", r.errors)
            .field("complete", r.ok());
        j.key("files").beginArray();
        for (size_t row : rows) {
            const auto& e = a->entries()[row];
            auto target = hog::targetPath(ov::pathFromText(ov::trim(dest)), e.name);
            if (target && fs::exists(*target, ec))
                j.beginObject().field("entry", e.name).field("path", ov::pathText(*target)).endObject();
        }
        j.endArray().endObject();
        std::cout << j.str() << '\n';
    } else {
        std::cout << r.written << " written to " << dest << ": " << unpacked << " unpacked, "
                  << r.written - unpacked << " stored, " << r.skipped << " skipped"
                  << (r.kept ? ", " + std::to_string(r.kept) + " kept" : "")
                  << (r.errors ? ", " + std::to_string(r.errors) + " failed" : "") << '\n';
    }
    // An archive whose FAT ends early was listed only in part: that is a failure too.
    if (!r.ok() || !a->walkNote().empty()) return kFailed;
    return kOk;
}

int runCat(Cli& cli, const std::string& path, const std::string& name, bool unpack, bool force) {
    auto a = openArchive(cli, path);
    if (!a) return kFailed;
    auto row = findRow(*a, name);
    if (!row) {
        noEntry(*a, path, name);
        return kFailed;
    }
    const auto& e = a->entries()[*row];
    if (stdoutIsTerminal() && !force) {
        const auto info = a->packInfo(e);
        auto head = a->readRaw(e);
        bool binary = !head || (info && info->packed && !unpack);
        if (head && !binary)
            for (size_t i = 0; i < head->size() && i < 4096; ++i) {
                unsigned char c = (*head)[i];
                if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') binary = true;
            }
        if (binary) {
            printError(printable(e.name) + " holds binary data; not written to the terminal. "
                       "Redirect it to a file (> FILE), or use `ovcli hog extract` (--force writes it anyway)");
            return kFailed;
        }
    }
    auto bytes = unpack ? a->readUnpacked(e) : a->readRaw(e);
    if (!bytes) {
        printError(path + ": " + bytes.error().describe());
        return kFailed;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::cout.flush();
    errno = 0;
    if ((!bytes->empty() && std::fwrite(bytes->data(), 1, bytes->size(), stdout) != bytes->size()) ||
        std::fflush(stdout) != 0)
        return standardOutputFailed(errno);
    return kOk;
}

int runCreate(Cli& cli, const std::string& path, const std::vector<std::string>& given,
              const std::string& baseGiven, bool pack, const std::string& level, bool force,
              bool dryRun, bool json) {
    if (!dryRun) warnAboutTemporariesBeside(ov::pathFromText(path));
    std::vector<hog::HogFileItem> items;
    std::error_code ec;
    for (const auto& f : given) {
        const fs::path p = ov::pathFromText(f);
        if (fs::is_directory(p, ec)) {
            // A folder: every file below it, named relative to it, in a stable order.
            std::vector<fs::path> files;
            for (fs::recursive_directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec))
                if (it->is_regular_file(ec)) files.push_back(it->path());
            if (ec) {
                printError(f + ": " + ec.message());
                return kFailed;
            }
            std::sort(files.begin(), files.end(), [](const fs::path& x, const fs::path& y) {
                return ov::pathText(x) < ov::pathText(y);
            });
            const fs::path base = baseGiven.empty() ? p : ov::pathFromText(baseGiven);
            for (const auto& file : files)
                items.push_back({hog::entryNameFor(file, base), file});
            continue;
        }
        if (auto problem = pathProblem(f, "a file or folder to store"); !problem.empty()) {
            printError(problem);
            return kFailed;
        }
        items.push_back({hog::entryNameFor(p, ov::pathFromText(baseGiven)), p});
    }
    if (items.empty()) {
        printError("nothing to store: the folders named hold no files");
        return kFailed;
    }
    // Each entry as written (or, for a dry run, the file it would hold); `written` is
    // nothing for a dry run.
    auto printJsonOf = [&](const hog::WrittenHog* written) {
        Json j;
        j.beginObject().field("archive", path).field("dryRun", dryRun).field("pack", pack);
        if (pack) j.field("level", level);
        if (written) j.field("hogSize", written->hogSize).field("fatLength", written->fatLength);
        j.key("entries").beginArray();
        for (size_t i = 0; i < items.size(); ++i) {
            j.beginObject().field("name", items[i].name).field("file", ov::pathText(items[i].file));
            if (auto size = ov::fileSize(items[i].file)) j.field("fileSize", *size);
            if (written && i < written->entries.size())
                j.field("offset", written->entries[i].offset).field("size", written->entries[i].size);
            j.endObject();
        }
        printJson(j.endArray().endObject());
    };
    if (dryRun && json) {
        printJsonOf(nullptr);
        return kOk;
    }
    if (dryRun) {
        std::cout << "would write " << path << " with " << items.size() << " entr"
                  << (items.size() == 1 ? "y" : "ies") << (pack ? ", packed" : "") << ":\n";
        for (const auto& i : items)
            std::cout << "  " << printable(i.name) << "  <- " << ov::pathText(i.file) << '\n';
        return kOk;
    }
    if (!mayReplace(cli.reporter, path, force)) return kFailed;
    ProgressLine line(cli.reporter);
    hog::PackOptions options;
    options.level = packLevelNamed(level);
    auto written = hog::writeHogFiles(ov::pathFromText(path), items, pack, options, line.job());
    if (!written) {
        line.clear();
        printError(path + ": " + written.error().describe());
        return kFailed;
    }
    if (json)
        printJsonOf(&*written);
    else
        std::cout << path << ": " << items.size() << " file(s), " << written->hogSize << " bytes\n";
    return kOk;
}

struct Args {
    std::string archive, dest, name, from, to, row, base, level = "best";
    std::vector<std::string> names;
    bool all = false, json = false, unpack = false, pack = false, overwrite = false, yes = false,
         replace = false, force = false, dryRun = false;
    std::string ifNotPacked;
    std::optional<std::string> newName, offset, size;
};

// What backup-fat wrote (or would): the backup and its size.
void reportFatCopy(const Args& args, const std::string& backup, uint32_t bytes, bool existed) {
    if (args.json) {
        Json j;
        j.beginObject()
            .field("archive", args.archive)
            .field("backup", backup)
            .field("bytes", bytes)
            .field("replaced", existed)
            .field("dryRun", args.dryRun);
        printJson(j.endObject());
    } else if (args.dryRun) {
        std::cout << "would write " << backup << ": the first " << bytes << " bytes of the archive"
                  << (existed ? " (it exists: asks first)" : "") << '\n';
    } else {
        std::cout << backup << ": " << bytes << " bytes\n";
    }
}

}  // namespace

void addHogCommands(Cli& cli) {
    auto* h = cli.app.add_subcommand("hog", "List, extract and edit HOG archives");
    h->require_subcommand(1);
    auto args = std::make_shared<Args>();

    auto* list = h->add_subcommand("list", "Show the header and the FAT of an archive");
    list->add_option("ARCHIVE", args->archive, "HOG file")->required();
    list->add_flag("--json", args->json, "Print JSON");
    list->callback([&cli, args] { cli.exitCode = runList(cli, args->archive, args->json); });

    auto* extract = h->add_subcommand("extract", "Copy entries out as stored");
    auto* unpack = h->add_subcommand("unpack", "Copy entries out, unpacking packed ones");
    for (auto* sub : {extract, unpack}) {
        sub->add_option("ARCHIVE", args->archive, "HOG file")->required();
        sub->add_option("DEST", args->dest, "Destination folder (made when missing)")->required();
        auto* names = sub->add_option("NAME", args->names,
                                      "Entry names, row numbers or patterns ('*.shp', 'ships\\*')");
        sub->add_flag("--all", args->all, "Every entry")->excludes(names);
        sub->add_flag("--overwrite", args->replace,
                      "Replace files that already exist in DEST (never the archive itself). "
                      "Without it the terminal is asked; with no terminal they are kept");
        sub->add_flag("--dry-run", args->dryRun, "Say which files would be written and write none");
        sub->add_flag("--json", args->json, "Print what was written where as JSON");
    }
    extract->callback([&cli, args] {
        cli.exitCode = runExtract(cli, args->archive, args->dest, args->names, args->all,
                                  hog::ExtractMode::Raw, args->replace, args->dryRun, args->json);
    });
    unpack
        ->add_option("--if-not-packed", args->ifNotPacked, "Answer for entries that are not packed")
        ->check(CLI::IsMember({"extract", "skip", "cancel"}));
    unpack->callback([&cli, args] {
        if (args->ifNotPacked == "extract") cli.reporter.preset = ov::Answer::Yes;
        if (args->ifNotPacked == "skip") cli.reporter.preset = ov::Answer::No;
        if (args->ifNotPacked == "cancel") cli.reporter.preset = ov::Answer::Cancel;
        cli.exitCode = runExtract(cli, args->archive, args->dest, args->names, args->all,
                                  hog::ExtractMode::Unpack, args->replace, args->dryRun, args->json);
    });

    auto* cat = h->add_subcommand("cat", "Write one entry to standard output");
    cat->add_option("ARCHIVE", args->archive, "HOG file")->required();
    cat->add_option("NAME", args->name, "Entry name or row number")->required();
    cat->add_flag("--unpack", args->unpack, "Unpack it when it is packed");
    cat->add_flag("--force", args->force, "Write binary data to a terminal too");
    cat->callback(
        [&cli, args] { cli.exitCode = runCat(cli, args->archive, args->name, args->unpack, args->force); });

    auto* backup = h->add_subcommand(
        "backup-fat",
        "Save the FAT region beside the archive: NAME.hog -> NAME.FAT, other names -> NAME.FAT "
        "after the whole name");
    backup->add_option("ARCHIVE", args->archive, "HOG file")->required();
    backup->add_flag("--overwrite", args->overwrite, "Replace an existing backup");
    backup->add_flag("--dry-run", args->dryRun, "Say what would be written and write nothing");
    backup->add_flag("--json", args->json, "Print the backup written as JSON");
    backup->callback([&cli, args] {
        if (args->overwrite) cli.reporter.preset = ov::Answer::Yes;
        auto a = openArchive(cli, args->archive);
        if (!a) {
            cli.exitCode = kFailed;
            return;
        }
        std::error_code ec;
        const bool existed = fs::exists(a->backupPath(), ec);
        if (!args->dryRun) {
            warnAboutTemporariesBeside(a->backupPath());
            if (!hog::backupFat(*a, cli.reporter)) {
                cli.exitCode = kFailed;
                return;
            }
        }
        reportFatCopy(*args, ov::pathText(a->backupPath()), a->fatLength(), existed);
    });

    auto* restore = h->add_subcommand(
        "restore-fat",
        "Write the FAT backup (see backup-fat) back over the FAT; refused unless it is this "
        "archive's own");
    restore->add_option("ARCHIVE", args->archive, "HOG file")->required();
    restore->add_flag("--yes,-y", args->yes, "Answer yes");
    restore->add_flag("--dry-run", args->dryRun, "Say what would be written and write nothing");
    restore->add_flag("--json", args->json, "Print what was written as JSON");
    restore->callback([&cli, args] {
        if (args->yes) cli.reporter.preset = ov::Answer::Yes;
        auto a = openArchive(cli, args->archive);
        if (!a) {
            cli.exitCode = kFailed;
            return;
        }
        auto size = ov::fileSize(a->backupPath());
        if (args->dryRun && !size) {
            printError(ov::pathText(a->backupPath()) + ": no FAT backup to restore");
            cli.exitCode = kFailed;
            return;
        }
        if (!args->dryRun && !hog::restoreFat(*a, cli.reporter)) {
            cli.exitCode = kFailed;
            return;
        }
        if (args->dryRun && !args->json)
            std::cout << "would write the " << *size << " bytes of "
                      << ov::pathText(a->backupPath()) << " over bytes 0-" << (*size ? *size - 1 : 0)
                      << " of " << args->archive << '\n';
        if (args->json) {
            Json j;
            j.beginObject()
                .field("archive", args->archive)
                .field("backup", ov::pathText(a->backupPath()))
                .field("bytes", size ? *size : 0)
                .field("dryRun", args->dryRun);
            printJson(j.endObject());
        }
    });

    auto* paste = h->add_subcommand("paste", "Point entry TO at the data of entry FROM");
    paste->add_option("ARCHIVE", args->archive, "HOG file")->required();
    paste->add_option("FROM", args->from, "Row number or name")->required();
    paste->add_option("TO", args->to, "Row number or name")->required();
    paste->add_flag("--dry-run", args->dryRun, "Say what would change and change nothing");
    paste->add_flag("--json", args->json, "Print the entry before and after as JSON");
    paste->callback([&cli, args] {
        auto a = openArchive(cli, args->archive);
        if (!a) {
            cli.exitCode = kFailed;
            return;
        }
        auto from = findRow(*a, args->from);
        auto to = findRow(*a, args->to);
        if (!from || !to) {
            noEntry(*a, args->archive, from ? args->to : args->from);
            cli.exitCode = kFailed;
            return;
        }
        const hog::HogEntry before = a->entries()[*to];
        hog::HogEntry after = before;
        after.offset = a->entries()[*from].offset;
        after.size = a->entries()[*from].size;
        if (!args->dryRun) {
            if (!hog::pasteEntry(*a, *from, *to, cli.reporter)) {
                cli.exitCode = kFailed;
                return;
            }
            after = entryOnDisk(args->archive, *to).value_or(after);
        }
        reportEntryChange(args->archive, *to, before, after, args->dryRun, args->json, false);
    });

    auto* set = h->add_subcommand("set-entry", "Change one FAT entry in place");
    set->add_option("ARCHIVE", args->archive, "HOG file")->required();
    set->add_option("ROW", args->row, "Row number or name")->required();
    set->add_option("--name", args->newName, "New name of the same length");
    set->add_option("--offset", args->offset, "Data offset, hexadecimal");
    set->add_option("--size", args->size, "Data size, hexadecimal");
    set->add_flag("--dry-run", args->dryRun, "Say what would change and change nothing");
    set->add_flag("--json", args->json, "Print the entry before and after as JSON");
    set->callback([&cli, args] {
        auto a = openArchive(cli, args->archive);
        if (!a) {
            cli.exitCode = kFailed;
            return;
        }
        auto row = findRow(*a, args->row);
        if (!row) {
            noEntry(*a, args->archive, args->row);
            cli.exitCode = kFailed;
            return;
        }
        const auto& e = a->entries()[*row];
        std::string name = args->newName.value_or(e.name);
        // Hexadecimal, as `hog list` shows it; a 0x prefix is welcome too.
        auto hex = [](std::string t) {
            t = ov::trim(t);
            if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.erase(0, 2);
            return t;
        };
        std::string offset = hex(args->offset.value_or(hog::hexText(e.offset)));
        std::string size = hex(args->size.value_or(hog::hexText(e.size)));
        const hog::HogEntry before = e;
        hog::HogEntry after = e;
        if (args->dryRun) {
            // What the save would refuse is said now, not shown as a change.
            auto o = hog::parseHex(offset), z = hog::parseHex(size);
            if (!o || !z) {
                printError((o ? "--size " + size : "--offset " + offset) +
                           ": not a hexadecimal number of 1-8 digits");
                cli.exitCode = kUsage;
                return;
            }
            after.name = name;
            after.offset = *o;
            after.size = *z;
        } else {
            if (!hog::saveEntry(*a, *row, name, offset, size, cli.reporter)) {
                cli.exitCode = kFailed;
                return;
            }
            after = entryOnDisk(args->archive, *row).value_or(after);
        }
        reportEntryChange(args->archive, *row, before, after, args->dryRun, args->json, true);
    });

    auto* create = h->add_subcommand("create", "Build a new archive from files");
    create->add_option("ARCHIVE", args->archive, "HOG file to write")->required();
    create->add_option("FILE", args->names,
                       "Files to store, in order, or folders (every file below, in name order)")
        ->required();
    create->add_flag("--force", args->force, "Replace an existing ARCHIVE without asking");
    create->add_flag("--dry-run", args->dryRun, "List the entries and write nothing");
    create->add_flag("--json", args->json, "Print the entries written, with their sizes, as JSON");
    create->add_option("--base", args->base,
                       "Name entries by their path below this folder (backslash-separated; for a "
                       "FOLDER argument, the folder itself by default)");
    create->add_flag("--pack", args->pack, "RefPack-pack every entry (on every core)");
    create->add_option("--level", args->level, "Packer level with --pack: best (default) or fast")
        ->check(CLI::IsMember(packLevelNames()));
    create->callback([&cli, args] {
        cli.exitCode =
            runCreate(cli, args->archive, args->names, args->base, args->pack, args->level,
                      args->force, args->dryRun, args->json);
    });

    addHogEditCommands(cli, h);
}

}  // namespace ovcli
