// ovcli hog add / replace / rename / delete / edit: changes to an archive's entries,
// each command (or a whole script) applied in one rebuild, or only shown with
// --dry-run.

#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>

#include "cli.h"
#include "common/fileio.h"
#include "json.h"
#include "ovedit/archive/hog.h"
#include "ovedit/archive/hog_edit.h"

namespace ovcli {

namespace {

namespace hog = ov::archive;

// 1234567 -> "1,234,567".
std::string grouped(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// A row given as its 1-based number in `hog list`, or as an entry name.
ov::Result<size_t> rowOf(const hog::HogEditPlan& plan, const std::string& text) {
    if (!text.empty() && text.size() <= 9 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
        const size_t n = std::stoul(text);
        if (n >= 1 && n <= plan.entries().size()) return n - 1;
        return ov::makeError(ov::ErrorKind::NotFound, "no row " + text);
    }
    return plan.find(text);
}

std::string changeOf(const hog::PlannedEntry& e) {
    if (e.deleted) return "deleted";
    if (e.added()) return "added";
    if (e.replaced() && e.renamed) return "replaced, renamed";
    if (e.replaced()) return "replaced";
    if (e.renamed) return "renamed";
    return "moved";
}

std::string fromTo(uint32_t before, uint32_t after) {
    if (before == after) return hog::hexText(after);
    return hog::hexText(before) + " -> " + hog::hexText(after);
}

// Calls `row` for each entry the plan changes or moves, in the planned order: its
// row in the new archive (0 for a deleted one), and the entry before (nothing for an
// added one) and after (nothing for a deleted one).
void forEachChange(const hog::HogEditPlan& plan, const hog::WrittenHog& after,
                   const std::function<void(const hog::PlannedEntry&, size_t, const hog::HogEntry*,
                                            const hog::HogEntry*)>& row) {
    const auto& original = plan.originalEntries();
    size_t n = 0;
    for (const hog::PlannedEntry& e : plan.entries()) {
        const hog::HogEntry* o = e.original ? &original[*e.original] : nullptr;
        if (e.deleted) {
            row(e, 0, o, nullptr);
            continue;
        }
        const hog::HogEntry& now = after.entries[n++];
        if (o && !e.changed() && o->offset == now.offset && o->size == now.size) continue;
        row(e, n, o, &now);
    }
}

// With --json: the steps, each entry changed, the sizes before and after, and for an
// applied plan how the original was kept and whether the FAT backup was refreshed.
void printEditJson(const hog::HogEditPlan& plan, const hog::WrittenHog& after, uint64_t sizeNow,
                   uint32_t fatNow, const hog::EditOutcome* applied, bool fatBackupWas) {
    Json j;
    j.beginObject()
        .field("archive", ov::pathText(plan.archivePath()))
        .field("dryRun", applied == nullptr)
        .key("steps")
        .beginArray();
    for (const auto& step : plan.steps())
        j.value(hog::describe(step));
    j.endArray().key("changes").beginArray();
    forEachChange(plan, after, [&](const hog::PlannedEntry& e, size_t row, const hog::HogEntry* o,
                                   const hog::HogEntry* n) {
        j.beginObject().field("change", changeOf(e)).field("name", n ? n->name : o->name);
        if (n) j.field("row", row);
        if (o && e.renamed) j.field("was", o->name);
        auto place = [&j](const char* key, const hog::HogEntry* x) {
            if (x) j.key(key).beginObject().field("offset", x->offset).field("size", x->size).endObject();
        };
        place("before", o);
        place("after", n);
        j.endObject();
    });
    j.endArray()
        .field("files", after.entries.size())
        .field("hogSize", after.hogSize)
        .field("previousSize", applied ? applied->previousSize : sizeNow)
        .field("fatLength", after.fatLength)
        .field("previousFatLength", fatNow);
    if (applied) {
        jsonBackup(j, ov::pathText(applied->originalPath),
                   applied->original != hog::OriginalKept::Already);
        j.key("fatBackup");
        if (fatBackupWas)
            j.beginObject()
                .field("path", ov::pathText(applied->fatBackupPath))
                .field("refreshed", !applied->fatBackupStale)
                .endObject();
        else
            j.value(nullptr);
    }
    printJson(j.endObject());
}

void printPreview(const hog::HogEditPlan& plan, const hog::WrittenHog& after, uint64_t sizeNow,
                  uint32_t fatNow) {
    std::cout << ov::pathText(plan.archivePath()) << ": " << plan.steps().size()
              << " change(s), nothing written (--dry-run)\n";
    for (const auto& step : plan.steps())
        std::cout << "  " << printable(hog::describe(step)) << '\n';
    std::cout << "Afterwards: " << after.entries.size() << " file(s), " << grouped(after.hogSize)
              << " bytes (now " << grouped(sizeNow) << "), FAT " << grouped(after.fatLength)
              << " bytes (now " << grouped(fatNow) << ")\n";
    std::printf("%7s  %-17s %-40s %20s %20s\n", "#", "Change", "File Name", "Offset (Hex)",
                "Size (Hex)");
    forEachChange(plan, after, [](const hog::PlannedEntry& e, size_t row, const hog::HogEntry* o,
                                  const hog::HogEntry* n) {
        if (!n) {
            std::printf("%7s  %-17s %-40s %20s %20s\n", "-", "deleted", printable(o->name).c_str(),
                        hog::hexText(o->offset).c_str(), hog::hexText(o->size).c_str());
            return;
        }
        std::string offset = hog::hexText(n->offset), size = hog::hexText(n->size);
        std::string name = printable(n->name);
        if (o) {
            offset = fromTo(o->offset, n->offset);
            size = fromTo(o->size, n->size);
            if (e.renamed) name += " (was " + printable(o->name) + ")";
        }
        std::printf("%7zu  %-17s %-40s %20s %20s\n", row, changeOf(e).c_str(), name.c_str(),
                    offset.c_str(), size.c_str());
    });
}

std::string summaryOf(const hog::HogEditPlan& plan, const hog::EditOutcome& out) {
    size_t added = 0, replaced = 0, renamed = 0, deleted = 0;
    for (const auto& e : plan.entries()) {
        added += e.added();
        replaced += e.replaced();
        renamed += e.renamed;
        deleted += e.deleted;
    }
    std::string changes;
    auto count = [&](size_t n, const char* what) {
        if (n == 0) return;
        if (!changes.empty()) changes += ", ";
        changes += std::to_string(n) + " " + what;
    };
    count(added, "added");
    count(replaced, "replaced");
    count(renamed, "renamed");
    count(deleted, "deleted");
    if (changes.empty()) changes = "rebuilt unchanged";
    std::string s = ov::pathText(plan.archivePath()) + ": " + changes + "; " +
                    std::to_string(out.written.entries.size()) + " file(s), " +
                    grouped(out.written.hogSize) + " bytes (was " + grouped(out.previousSize) +
                    "); ";
    const std::string org = ov::pathText(out.originalPath.filename());
    switch (out.original) {
        case hog::OriginalKept::Already:
            s += "the original is in " + org;
            break;
        case hog::OriginalKept::Linked:
        case hog::OriginalKept::Copied:
            s += "original kept as " + org;
            break;
    }
    if (out.fatBackupStale)
        s += "; " + out.fatBackupPath.filename().string() + " no longer matches the archive";
    return s;
}

struct EditArgs {
    std::string archive, name, file, as, base, script, from, to;
    std::string level = "best";
    std::vector<std::string> files, names;
    bool pack = false, dryRun = false, json = false;
};

// Opens the archive, plans the changes with `plan`, then shows or applies them.
int runEdit(Cli& cli, const EditArgs& args,
            const std::function<ov::Status(hog::HogEditPlan&)>& plan) {
    auto archive = hog::HogArchive::open(args.archive, cli.reporter);
    if (!archive) {
        explainPath(args.archive, "a .hog file");
        return kFailed;
    }
    hog::HogEditPlan edits(*archive);
    if (auto st = plan(edits); !st) {
        printError(args.archive + ": " + st.error().describe());
        return kFailed;
    }
    if (edits.empty()) {
        if (args.json) {
            Json j;
            j.beginObject().field("archive", ov::pathText(edits.archivePath())).field("dryRun", args.dryRun);
            printJson(j.key("steps").beginArray().endArray().key("changes").beginArray().endArray().endObject());
        } else {
            std::cout << args.archive << ": no changes\n";
        }
        return kOk;
    }
    hog::PackOptions options;
    options.level = packLevelNamed(args.level);
    ProgressLine line(cli.reporter);
    if (args.dryRun) {
        auto after = hog::previewEdits(edits, options, line.job());
        line.clear();
        if (!after) {
            printError(after.error().describe());
            return kFailed;
        }
        if (args.json)
            printEditJson(edits, *after, archive->fileSize(), archive->fatLength(), nullptr, false);
        else
            printPreview(edits, *after, archive->fileSize(), archive->fatLength());
        return kOk;
    }
    warnAboutTemporariesBeside(edits.archivePath());
    std::error_code ec;
    const bool fatBackupWas = std::filesystem::exists(archive->backupPath(), ec);
    auto out = hog::applyHogEdits(edits, options, line.job(), line);
    line.clear();
    if (!out) return kFailed;
    if (args.json)
        printEditJson(edits, out->written, out->previousSize, archive->fatLength(), &*out, fatBackupWas);
    else
        std::cout << summaryOf(edits, *out) << '\n';
    return kOk;
}

ov::Status planFromScript(hog::HogEditPlan& plan, const std::string& scriptPath) {
    auto text = ov::readFile(ov::pathFromText(scriptPath), uint64_t(16) << 20);
    if (!text) return text.error();
    const std::filesystem::path script = ov::pathFromText(scriptPath);
    auto steps = hog::parseEditScript(
        std::string_view(reinterpret_cast<const char*>(text->data()), text->size()),
        script.parent_path());
    if (!steps) return ov::makeError(steps.error().kind, scriptPath + ": " + steps.error().message);
    size_t line = 0;
    for (const auto& step : *steps) {
        ++line;
        if (auto st = plan.apply(step); !st)
            return ov::makeError(st.error().kind, scriptPath + ": step " + std::to_string(line) +
                                                      " (" + hog::describe(step) +
                                                      "): " + st.error().message);
    }
    return {};
}

const char* const kScriptHelp = R"(Apply the steps of a script in one rebuild. One step per line:
  add FILE [as NAME] [pack]
  replace NAME FILE [pack]
  rename OLD NEW
  delete NAME
Lines starting with # are comments. Words holding blanks go in double quotes.
FILE is relative to the script's folder; NAME is an entry name.)";

}  // namespace

void addHogEditCommands(Cli& cli, CLI::App* h) {
    auto args = std::make_shared<EditArgs>();
    auto common = [&cli, args](CLI::App* sub) {
        sub->add_flag("--dry-run", args->dryRun,
                      "Print what would change (entries, offsets, sizes) and change nothing");
        sub->add_flag("--json", args->json,
                      "Print the changes, sizes and backups as JSON");
        addAnswerFlags(sub, cli.reporter);
    };
    auto packing = [args](CLI::App* sub, bool packFlag) {
        if (packFlag)
            sub->add_flag("--pack", args->pack, "RefPack-pack the file (unless already packed)");
        sub->add_option("--level", args->level, "Packer level: best (default) or fast")
            ->check(CLI::IsMember(packLevelNames()));
    };

    auto* add = h->add_subcommand("add", "Add files as new entries at the end (one rebuild)");
    add->add_option("ARCHIVE", args->archive, "HOG file")->required();
    add->add_option("FILE", args->files, "Files to add")->required();
    add->add_option("--as", args->as, "Entry name (one FILE only)");
    add->add_option("--base", args->base,
                    "Name entries by their path below this folder (backslash-separated)");
    common(add);
    packing(add, true);
    add->callback([&cli, args] {
        if (!args->as.empty() && args->files.size() != 1) {
            printError("--as names one file, not " + std::to_string(args->files.size()));
            cli.exitCode = kUsage;
            return;
        }
        cli.exitCode = runEdit(cli, *args, [&](hog::HogEditPlan& plan) -> ov::Status {
            for (const auto& f : args->files) {
                const std::string name =
                    args->as.empty()
                        ? hog::entryNameFor(ov::pathFromText(f), ov::pathFromText(args->base))
                        : args->as;
                if (auto st = plan.add(ov::pathFromText(f), name, args->pack); !st) return st;
            }
            return {};
        });
    });

    auto* replace = h->add_subcommand("replace", "Replace an entry's data with a file");
    replace->add_option("ARCHIVE", args->archive, "HOG file")->required();
    replace->add_option("NAME", args->name, "Entry name or row number")->required();
    replace->add_option("FILE", args->file, "File whose bytes go in")->required();
    common(replace);
    packing(replace, true);
    replace->callback([&cli, args] {
        cli.exitCode = runEdit(cli, *args, [&](hog::HogEditPlan& plan) -> ov::Status {
            auto row = rowOf(plan, args->name);
            if (!row) return row.error();
            return plan.replace(*row, ov::pathFromText(args->file), args->pack);
        });
    });

    auto* rename = h->add_subcommand("rename", "Rename an entry (any length)");
    rename->add_option("ARCHIVE", args->archive, "HOG file")->required();
    rename->add_option("OLD", args->from, "Entry name or row number")->required();
    rename->add_option("NEW", args->to, "New name")->required();
    common(rename);
    rename->callback([&cli, args] {
        cli.exitCode = runEdit(cli, *args, [&](hog::HogEditPlan& plan) -> ov::Status {
            auto row = rowOf(plan, args->from);
            if (!row) return row.error();
            return plan.rename(*row, args->to);
        });
    });

    auto* del = h->add_subcommand("delete", "Delete entries");
    del->add_option("ARCHIVE", args->archive, "HOG file")->required();
    del->add_option("NAME", args->names, "Entry names or row numbers")->required();
    common(del);
    del->callback([&cli, args] {
        cli.exitCode = runEdit(cli, *args, [&](hog::HogEditPlan& plan) -> ov::Status {
            // Rows are looked up before any is deleted, so numbers mean what hog list shows.
            std::vector<size_t> rows;
            for (const auto& n : args->names) {
                auto row = rowOf(plan, n);
                if (!row) return row.error();
                rows.push_back(*row);
            }
            for (size_t row : rows)
                if (auto st = plan.remove(row); !st) return st;
            return {};
        });
    });

    auto* edit = h->add_subcommand("edit", "Apply a script of changes in one rebuild");
    edit->footer(kScriptHelp);
    edit->add_option("ARCHIVE", args->archive, "HOG file")->required();
    edit->add_option("--script", args->script, "The script")->required();
    common(edit);
    packing(edit, false);
    edit->callback([&cli, args] {
        cli.exitCode = runEdit(
            cli, *args, [&](hog::HogEditPlan& plan) { return planFromScript(plan, args->script); });
    });
}

}  // namespace ovcli
