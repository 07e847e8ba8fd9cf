// ovcli hog ...: listing, extracting and unpacking HOG archives, FAT backup,
// restore and editing, and building new archives.

#include <cstdio>
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

using ov::printable;

std::optional<hog::HogArchive> openArchive(Cli& cli, const std::string& path) {
    return hog::HogArchive::open(path, cli.reporter);
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
    if (!e) return std::nullopt;
    return size_t(e - a.entries().data());
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
               bool overwrite) {
    auto a = openArchive(cli, path);
    if (!a) return kFailed;
    std::vector<size_t> rows;
    if (all) {
        rows.resize(a->entries().size());
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = i;
    } else {
        for (const auto& n : names) {
            auto row = findRow(*a, n);
            if (!row) {
                printError(path + ": no entry " + printable(n));
                return kFailed;
            }
            rows.push_back(*row);
        }
    }
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
    // An archive whose FAT ends early was listed only in part: that is a failure too.
    if (!r.ok() || !a->walkNote().empty()) return kFailed;
    return kOk;
}

int runCat(Cli& cli, const std::string& path, const std::string& name, bool unpack) {
    auto a = openArchive(cli, path);
    if (!a) return kFailed;
    auto row = findRow(*a, name);
    if (!row) {
        printError(path + ": no entry " + printable(name));
        return kFailed;
    }
    const auto& e = a->entries()[*row];
    auto bytes = unpack ? a->readUnpacked(e) : a->readRaw(e);
    if (!bytes) {
        printError(path + ": " + bytes.error().describe());
        return kFailed;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::cout.flush();
    if (!bytes->empty() && std::fwrite(bytes->data(), 1, bytes->size(), stdout) != bytes->size())
        return kFailed;
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

int runCreate(Cli& cli, const std::string& path, const std::vector<std::string>& files,
              const std::string& base, bool pack, const std::string& level) {
    warnAboutTemporariesBeside(ov::pathFromText(path));
    std::vector<hog::HogFileItem> items;
    items.reserve(files.size());
    for (const auto& f : files)
        items.push_back({hog::entryNameFor(ov::pathFromText(f), ov::pathFromText(base)), ov::pathFromText(f)});
    ProgressLine line(cli.reporter);
    hog::PackOptions options;
    options.level = packLevelNamed(level);
    auto written = hog::writeHogFiles(ov::pathFromText(path), items, pack, options, line.job());
    if (!written) {
        line.clear();
        printError(path + ": " + written.error().describe());
        return kFailed;
    }
    std::cout << path << ": " << items.size() << " file(s), " << written->hogSize << " bytes\n";
    return kOk;
}

struct Args {
    std::string archive, dest, name, from, to, row, base, level = "best";
    std::vector<std::string> names;
    bool all = false, json = false, unpack = false, pack = false, overwrite = false, yes = false,
         replace = false;
    std::string ifNotPacked;
    std::optional<std::string> newName, offset, size;
};

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
        sub->add_option("DEST", args->dest, "Existing destination folder")->required();
        auto* names = sub->add_option("NAME", args->names, "Entry names or row numbers");
        sub->add_flag("--all", args->all, "Every entry")->excludes(names);
        sub->add_flag("--overwrite", args->replace,
                      "Replace files that already exist in DEST (never the archive itself). "
                      "Without it the terminal is asked; with no terminal they are kept");
    }
    extract->callback([&cli, args] {
        cli.exitCode = runExtract(cli, args->archive, args->dest, args->names, args->all,
                                  hog::ExtractMode::Raw, args->replace);
    });
    unpack
        ->add_option("--if-not-packed", args->ifNotPacked, "Answer for entries that are not packed")
        ->check(CLI::IsMember({"extract", "skip", "cancel"}));
    unpack->callback([&cli, args] {
        if (args->ifNotPacked == "extract") cli.reporter.preset = ov::Answer::Yes;
        if (args->ifNotPacked == "skip") cli.reporter.preset = ov::Answer::No;
        if (args->ifNotPacked == "cancel") cli.reporter.preset = ov::Answer::Cancel;
        cli.exitCode = runExtract(cli, args->archive, args->dest, args->names, args->all,
                                  hog::ExtractMode::Unpack, args->replace);
    });

    auto* cat = h->add_subcommand("cat", "Write one entry to standard output");
    cat->add_option("ARCHIVE", args->archive, "HOG file")->required();
    cat->add_option("NAME", args->name, "Entry name or row number")->required();
    cat->add_flag("--unpack", args->unpack, "Unpack it when it is packed");
    cat->callback(
        [&cli, args] { cli.exitCode = runCat(cli, args->archive, args->name, args->unpack); });

    auto* backup = h->add_subcommand(
        "backup-fat",
        "Save the FAT region beside the archive: NAME.hog -> NAME.FAT, other names -> NAME.FAT "
        "after the whole name");
    backup->add_option("ARCHIVE", args->archive, "HOG file")->required();
    backup->add_flag("--overwrite", args->overwrite, "Replace an existing backup");
    backup->callback([&cli, args] {
        if (args->overwrite) cli.reporter.preset = ov::Answer::Yes;
        auto a = openArchive(cli, args->archive);
        if (a) warnAboutTemporariesBeside(a->backupPath());
        if (!a || !hog::backupFat(*a, cli.reporter)) {
            cli.exitCode = kFailed;
            return;
        }
        std::cout << ov::pathText(a->backupPath()) << ": " << a->fatLength() << " bytes\n";
    });

    auto* restore = h->add_subcommand(
        "restore-fat",
        "Write the FAT backup (see backup-fat) back over the FAT; refused unless it is this "
        "archive's own");
    restore->add_option("ARCHIVE", args->archive, "HOG file")->required();
    restore->add_flag("--yes,-y", args->yes, "Answer yes");
    restore->callback([&cli, args] {
        if (args->yes) cli.reporter.preset = ov::Answer::Yes;
        auto a = openArchive(cli, args->archive);
        if (!a || !hog::restoreFat(*a, cli.reporter)) cli.exitCode = kFailed;
    });

    auto* paste = h->add_subcommand("paste", "Point entry TO at the data of entry FROM");
    paste->add_option("ARCHIVE", args->archive, "HOG file")->required();
    paste->add_option("FROM", args->from, "Row number or name")->required();
    paste->add_option("TO", args->to, "Row number or name")->required();
    paste->callback([&cli, args] {
        auto a = openArchive(cli, args->archive);
        if (!a) {
            cli.exitCode = kFailed;
            return;
        }
        auto from = findRow(*a, args->from);
        auto to = findRow(*a, args->to);
        if (!from || !to) {
            printError(args->archive + ": no entry " + (from ? args->to : args->from));
            cli.exitCode = kFailed;
            return;
        }
        if (!hog::pasteEntry(*a, *from, *to, cli.reporter)) cli.exitCode = kFailed;
    });

    auto* set = h->add_subcommand("set-entry", "Change one FAT entry in place");
    set->add_option("ARCHIVE", args->archive, "HOG file")->required();
    set->add_option("ROW", args->row, "Row number or name")->required();
    set->add_option("--name", args->newName, "New name of the same length");
    set->add_option("--offset", args->offset, "Data offset, hexadecimal");
    set->add_option("--size", args->size, "Data size, hexadecimal");
    set->callback([&cli, args] {
        auto a = openArchive(cli, args->archive);
        if (!a) {
            cli.exitCode = kFailed;
            return;
        }
        auto row = findRow(*a, args->row);
        if (!row) {
            printError(args->archive + ": no entry " + args->row);
            cli.exitCode = kFailed;
            return;
        }
        const auto& e = a->entries()[*row];
        std::string name = args->newName.value_or(e.name);
        std::string offset = args->offset.value_or(hog::hexText(e.offset));
        std::string size = args->size.value_or(hog::hexText(e.size));
        if (!hog::saveEntry(*a, *row, name, offset, size, cli.reporter)) cli.exitCode = kFailed;
    });

    auto* create = h->add_subcommand("create", "Build a new archive from files");
    create->add_option("ARCHIVE", args->archive, "HOG file to write")->required();
    create->add_option("FILE", args->names, "Files to store, in order")->required();
    create->add_option("--base", args->base,
                       "Name entries by their path below this folder (backslash-separated)");
    create->add_flag("--pack", args->pack, "RefPack-pack every entry (on every core)");
    create->add_option("--level", args->level, "Packer level with --pack: best (default) or fast")
        ->check(CLI::IsMember(packLevelNames()));
    create->callback([&cli, args] {
        cli.exitCode =
            runCreate(cli, args->archive, args->names, args->base, args->pack, args->level);
    });

    addHogEditCommands(cli, h);
}

}  // namespace ovcli
