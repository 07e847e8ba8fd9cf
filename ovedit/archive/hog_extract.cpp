// Copying items out of an archive, as stored or unpacked.

#include <set>

#include "common/fileio.h"
#include "common/refpack.h"
#include "hog.h"
#include "hog_internal.h"

namespace ov::archive {

namespace {

constexpr const char* kTitle = "OV Edit";

bool onlyDotsAndBlanks(std::string_view part) {
    return part.find_first_not_of(". ") == std::string_view::npos;
}

// Whether `p` (made of plain names under dest) stays inside dest once symbolic links
// already present in the destination are followed.
bool staysInside(const fs::path& destCanonical, const fs::path& p) {
    std::error_code ec;
    fs::path existing = p;
    while (!existing.empty() && !fs::exists(existing, ec)) {
        fs::path up = existing.parent_path();
        if (up == existing) break;
        existing = up;
    }
    fs::path real = fs::canonical(existing, ec);
    if (ec) return false;
    auto rel = real.lexically_relative(destCanonical);
    return !rel.empty() && *rel.begin() != "..";
}

}  // namespace

Result<fs::path> targetPath(const fs::path& dest, std::string_view name) {
    auto refuse = [&](const char* why) {
        return makeError("Refused to extract \"" + std::string(name) + "\": " + why);
    };
    if (name.empty()) return refuse("the name is empty");
    if (name[0] == '\\' || name[0] == '/') return refuse("the name is an absolute path");
    // "C:x" names a drive; a colon further on would name an alternate data stream.
    if (name.find(':') != std::string_view::npos)
        return refuse("the name has a drive letter or a colon");
    fs::path out = dest;
    size_t start = 0;
    bool any = false;
    for (;;) {
        size_t sep = name.find_first_of("\\/", start);
        std::string_view part =
            name.substr(start, sep == std::string_view::npos ? sep : sep - start);
        if (!part.empty() && part != ".") {
            // Windows drops trailing dots and blanks, so "... " would act like "..".
            if (onlyDotsAndBlanks(part)) return refuse("the name has a \"..\" part");
            out /= fs::path(std::string(part));
            any = true;
        }
        if (sep == std::string_view::npos) {
            if (part.empty() || part == ".") return refuse("the name ends in a folder, not a file");
            break;
        }
        start = sep + 1;
    }
    if (!any) return refuse("the name is empty");
    return out;
}

ExtractResult extract(const HogArchive& archive, std::span<const size_t> rows,
                      std::string_view destText, ExtractMode mode, const Job& job,
                      Reporter& reporter) {
    ExtractResult result;
    const fs::path dest = pathFromText(trim(destText));
    std::error_code ec;
    if (dest.empty() || !fs::is_directory(dest, ec)) {
        reporter.message(kTitle, "Destination path doesn't exist", Icon::Critical);
        result.failed = true;
        return result;
    }
    const fs::path destCanonical = fs::canonical(dest, ec);
    if (ec) {
        reporter.message(kTitle, "Error - " + pathText(dest) + ": " + ec.message(), Icon::Critical);
        result.failed = true;
        return result;
    }

    Progress p;
    p.total = rows.size();
    if (mode == ExtractMode::Raw) {
        uint64_t total = 0;
        for (size_t row : rows)
            if (row < archive.entries().size()) total += archive.entries()[row].size;
        p.totalBytes = total;
    }
    auto failItem = [&](std::string text) {
        reporter.message(kTitle, text, Icon::Critical);
        ++result.errors;
    };
    auto refuseItem = [&](std::string text) {
        reporter.message(kTitle, text, Icon::Exclamation);
        ++result.errors;
    };

    std::set<fs::path> checkedFolders{dest};
    Bytes item;
    for (size_t i = 0; i < rows.size(); ++i) {
        p.done = i;
        if (job.stopRequested()) {
            result.stopped = true;
            p.status.clear();
            job.report(p);
            reporter.message(kTitle, "Exiting unpack / extract function", Icon::Information);
            return result;
        }
        const size_t row = rows[i];
        if (row >= archive.entries().size()) {
            refuseItem("Error - there is no entry " + std::to_string(row + 1) + " in the FAT");
            continue;
        }
        const HogEntry& e = archive.entries()[row];
        auto status = [&](std::string text) {
            p.status = std::move(text);
            job.report(p);
        };

        auto target = targetPath(dest, e.name);
        if (!target) {
            refuseItem(target.error().message);
            continue;
        }
        fs::path folder = target->parent_path();
        if (!checkedFolders.count(folder)) {
            if (!staysInside(destCanonical, folder)) {
                refuseItem("Refused to extract \"" + e.name +
                           "\": its folder leads outside the destination");
                continue;
            }
            fs::create_directories(folder, ec);
            if (ec || !staysInside(destCanonical, folder)) {
                failItem("Error extracting " + e.name + ": can't create the folder " +
                         pathText(folder));
                continue;
            }
            checkedFolders.insert(folder);
        }

        status((mode == ExtractMode::Unpack ? "Unpacking and Extracting " : "Extracting ") +
               e.name);
        if (auto st = archive.readRawInto(e, item); !st) {
            failItem("Error extracting " + e.name + ": " + st.error().describe());
            continue;
        }

        ByteSpan out = item;
        Bytes plain;
        if (mode != ExtractMode::Raw) {
            if (refpack::isPacked(item)) {
                auto unpacked = unpackItem(item);
                if (!unpacked) {
                    failItem("Error unpacking " + e.name + ": " + unpacked.error().describe());
                    continue;
                }
                plain = std::move(*unpacked);
                out = plain;
            } else if (mode == ExtractMode::Unpack) {
                status("Error unpacking " + e.name);
                Answer a = reporter.question(
                    kTitle,
                    "Error unpacking " + e.name + " file not compressed. Do you want to extract?",
                    Buttons::YesNoCancel, Icon::Question);
                if (a == Answer::Cancel) {
                    result.cancelled = true;
                    reporter.message(kTitle, "Exiting unpack / extract function",
                                     Icon::Information);
                    return result;
                }
                if (a != Answer::Yes) {
                    ++result.skipped;
                    continue;
                }
            }
        }

        if (auto st = writeFileAtomic(*target, out); !st) {
            reporter.message(kTitle, "Error extracting " + e.name + ": " + st.error().describe(),
                             Icon::Critical);
            result.failed = true;
            return result;
        }
        ++result.written;
        p.bytes += out.size();
    }
    p.done = rows.size();
    p.status.clear();
    job.report(p);
    reporter.message(
        kTitle,
        mode == ExtractMode::Unpack ? "Unpacking and extraction Complete" : "Extraction Complete",
        Icon::Information);
    return result;
}

namespace {

// UnpackFile without its messages: the item at offset/size of `archive`, unpacked
// when it is packed, written to `dest`.
Status unpackToFile(const fs::path& archive, const fs::path& dest, uint32_t size, uint32_t offset) {
    auto archiveSize = fileSize(archive);
    if (!archiveSize || uint64_t(offset) + size > *archiveSize)
        return makeError(ErrorKind::OutOfRange, "the item lies past the end of the archive");
    auto item = readFileAt(archive, offset, size);
    if (!item || item->size() != size)
        return makeError(ErrorKind::ReadFailed, "can't read the item from " + pathText(archive));
    Bytes plain;
    ByteSpan out = *item;
    if (refpack::isPacked(*item)) {
        auto unpacked = unpackItem(*item);
        if (!unpacked) return unpacked.error();
        plain = std::move(*unpacked);
        out = plain;
    }
    return writeFileAtomic(dest, out);
}

}  // namespace

bool UnpackFile(std::string_view archivePathText, std::string_view destPathText, uint32_t size,
                uint32_t offset, Reporter& reporter) {
    const char* title = "UnpackFile()";
    const fs::path archive = pathFromText(trim(archivePathText));
    const fs::path dest = pathFromText(trim(destPathText));
    fs::path folder = dest.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    if (archive.empty() || dest.filename().empty() || !fs::is_regular_file(archive, ec) ||
        !fs::is_directory(folder, ec)) {
        reporter.message(title, "Error - Path(s) not found", Icon::Exclamation);
        return false;
    }
    if (auto st = unpackToFile(archive, dest, size, offset); !st) {
        reporter.message(title, "Error - " + st.error().describe(), Icon::Critical);
        return false;
    }
    return true;
}

}  // namespace ov::archive
