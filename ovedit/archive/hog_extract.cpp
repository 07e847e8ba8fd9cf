// Copying items out of an archive, as stored or unpacked.
//
// Every item goes to a temporary file in its folder first, renamed to the item's
// name only when it is complete and only where no file has that name; a file that
// is already there is replaced only after asking (and never when it is the archive
// being read). Raw items are copied by the system from the archive to the new file
// where it can (copy_file_range), so they never pass through memory; packed items
// are read and unpacked into buffers reused from item to item.

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_map>

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

// Failures after which no later write can succeed either: the whole run stops.
bool stopsEveryWrite(std::error_code ec) {
    if (ec == std::errc::no_space_on_device || ec == std::errc::read_only_file_system) return true;
#ifdef EDQUOT
    if (ec.category() == std::generic_category() && ec.value() == EDQUOT) return true;
#endif
#ifdef _WIN32
    if (ec.category() == std::system_category() &&
        (ec.value() == 112 /* ERROR_DISK_FULL */ || ec.value() == 39 /* ERROR_HANDLE_DISK_FULL */))
        return true;
#endif
    return false;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Hash and equality of names that ignore ASCII letter case.
struct FoldedHash {
    size_t operator()(std::string_view s) const {
        uint64_t h = 14695981039346656037ull;
        for (char c : s)
            h = (h ^ uint8_t(lowerAscii(c))) * 1099511628211ull;
        return size_t(h);
    }
};
struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const {
        return sameNameIgnoringCase(a, b);
    }
};

// "name (2).ext" for "name.ext"; the number goes before the last extension.
std::string numbered(std::string_view name, unsigned n) {
    size_t dot = name.rfind('.');
    if (name == "." || name == ".." || dot == std::string_view::npos || dot == 0)
        dot = name.size();
    std::string out(name.substr(0, dot));
    out += " (" + std::to_string(n) + ")";
    out += name.substr(dot);
    return out;
}

// Whether the file system of `folder` takes names that differ in letter case for
// one file: a temporary file made there is looked for under its name in capitals.
bool ignoresCase(const fs::path& folder) {
    auto probe = AtomicFile::create(folder / "probe");
    if (!probe) return false;
    std::string upper = probe->temporaryPath().filename().string();
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    std::error_code ec;
    return fs::exists(probe->temporaryPath().parent_path() / upper, ec);
}

// The parts of an entry's name under the destination, or why it is refused.
std::optional<Error> nameParts(std::string_view name, std::vector<std::string_view>& parts) {
    auto refuse = [&](const char* why) {
        return makeError(ErrorKind::Refused,
                         "Refused to extract \"" + printable(name) + "\": " + why);
    };
    parts.clear();
    if (name.empty()) return refuse("the name is empty");
    if (name[0] == '\\' || name[0] == '/') return refuse("the name is an absolute path");
    // "C:x" names a drive; a colon further on would name an alternate data stream.
    if (name.find(':') != std::string_view::npos)
        return refuse("the name has a drive letter or a colon");
    size_t start = 0;
    for (;;) {
        size_t sep = name.find_first_of("\\/", start);
        std::string_view part =
            name.substr(start, sep == std::string_view::npos ? sep : sep - start);
        if (!part.empty() && part != ".") {
            // Windows drops trailing dots and blanks, so "... " would act like "..".
            if (onlyDotsAndBlanks(part)) return refuse("the name has a \"..\" part");
            parts.push_back(part);
        }
        if (sep == std::string_view::npos) {
            if (part.empty() || part == ".") return refuse("the name ends in a folder, not a file");
            break;
        }
        start = sep + 1;
    }
    if (parts.empty()) return refuse("the name is empty");
    return std::nullopt;
}

// Where each chosen row goes: a folder of the plan and a bare file name in it.
// Rows whose names lead to the same file (the same name twice, or names differing
// only in letter case on a file system that does not tell them apart) keep the
// first one's file; each later one gets a numbered name of its own, so that no
// item of the run overwrites another.
struct Planned {
    size_t row = 0;
    uint32_t folder = 0;
    // The folders and the file name joined by '/', which tells targets apart; a
    // numbered name replaces the file name in renamedKey.
    std::string key, renamedKey;
    size_t nameAt = 0;  // where the file name starts in the keys
    std::optional<Error> refused;
    std::optional<size_t> sameAsRow;  // the row whose name this one repeats
    bool again = false;               // the same row chosen earlier in the run

    std::string_view name() const {
        return std::string_view(renamedKey.empty() ? key : renamedKey).substr(nameAt);
    }
};

struct Plan {
    std::vector<Planned> items;
    std::vector<std::string_view> folders;  // each folder's part of a key ("" for dest)
};

Plan plan(const HogArchive& archive, std::span<const size_t> rows, const fs::path& dest) {
    Plan out;
    out.items.resize(rows.size());
    std::unordered_map<std::string_view, uint32_t> folderIndex;
    std::vector<std::string_view> parts;
    for (size_t i = 0; i < rows.size(); ++i) {
        Planned& p = out.items[i];
        p.row = rows[i];
        if (rows[i] >= archive.entries().size()) continue;
        if ((p.refused = nameParts(archive.entries()[rows[i]].name, parts))) continue;
        size_t length = parts.size() - 1;
        for (auto part : parts)
            length += part.size();
        p.key.reserve(length);
        for (size_t k = 0; k < parts.size(); ++k) {
            if (k) p.key += '/';
            if (k + 1 == parts.size()) p.nameAt = p.key.size();
            p.key += parts[k];
        }
        const std::string_view folder =
            std::string_view(p.key).substr(0, p.nameAt ? p.nameAt - 1 : 0);
        auto [at, fresh] = folderIndex.try_emplace(folder, uint32_t(out.folders.size()));
        if (fresh) out.folders.push_back(folder);
        p.folder = at->second;
    }

    // Keys are views of the plan's strings, which stay where they are from here on.
    std::unordered_map<std::string_view, size_t> exact;  // target -> the plan that has it
    std::unordered_map<std::string_view, size_t, FoldedHash, FoldedEqual> folded;
    exact.reserve(rows.size());
    folded.reserve(rows.size());
    std::vector<std::pair<size_t, size_t>> repeats, caseOnly;
    for (size_t i = 0; i < out.items.size(); ++i) {
        Planned& p = out.items[i];
        if (p.key.empty()) continue;
        auto [at, fresh] = exact.emplace(p.key, i);
        if (!fresh) {
            // The same entry chosen twice is written once.
            if (out.items[at->second].row == p.row)
                p.again = true;
            else
                repeats.push_back({i, at->second});
            continue;
        }
        auto [fat, ffresh] = folded.emplace(p.key, i);
        if (!ffresh) caseOnly.push_back({i, fat->second});
    }
    const bool foldCase = !caseOnly.empty() && ignoresCase(dest);
    if (foldCase) repeats.insert(repeats.end(), caseOnly.begin(), caseOnly.end());
    std::sort(repeats.begin(), repeats.end());

    auto taken = [&](std::string_view key) {
        return exact.count(key) || (foldCase && folded.count(key));
    };
    // The next number to try for each repeated name: ten thousand repeats of one
    // name would otherwise try every number already given, once per repeat.
    std::unordered_map<std::string, unsigned> nextNumber;
    for (auto [i, first] : repeats) {
        Planned& p = out.items[i];
        std::string key = p.key;
        if (foldCase)
            for (char& c : key)
                c = lowerAscii(c);
        unsigned& next = nextNumber.try_emplace(std::move(key), 2).first->second;
        const std::string_view name = std::string_view(p.key).substr(p.nameAt);
        std::string renamed;
        for (;; ++next) {
            renamed = p.key.substr(0, p.nameAt) + numbered(name, next);
            if (!taken(renamed)) break;
        }
        ++next;
        p.renamedKey = std::move(renamed);
        exact.emplace(p.renamedKey, i);
        folded.emplace(p.renamedKey, i);
        p.sameAsRow = out.items[first].row;
    }
    return out;
}

// A buffer whose bytes are not cleared when it grows: an unpacked item overwrites
// every byte it reports.
class ScratchBuffer {
public:
    std::span<uint8_t> get(size_t n) {
        if (n > capacity_) {
            data_ = std::make_unique_for_overwrite<uint8_t[]>(n);
            capacity_ = n;
        }
        return {data_.get(), n};
    }

private:
    std::unique_ptr<uint8_t[]> data_;
    size_t capacity_ = 0;
};

// The archive's bytes around the items being copied, read a large piece at a time:
// small items stored one after another then cost a write each instead of a copy
// inside the system each, which costs more than the write for a few kilobytes.
class ReadAhead {
public:
    static constexpr size_t kWindow = size_t(1) << 20;
    static constexpr uint32_t kLargestItem = 64 * 1024;

    // The item's bytes, or an empty span when they cannot be read here (the
    // caller copies it the other way, which reports the error).
    ByteSpan get(const HogArchive& archive, uint32_t offset, uint32_t size) {
        if (size == 0 || size > kLargestItem) return {};
        if (offset < start_ || uint64_t(offset) + size > start_ + filled_) {
            const uint64_t left = archive.fileSize() > offset ? archive.fileSize() - offset : 0;
            if (left < size) return {};
            auto window = buffer_.get(size_t(std::min<uint64_t>(left, kWindow)));
            auto got = archive.file().readAt(offset, window);
            start_ = offset;
            filled_ = got ? *got : 0;
            if (filled_ < size) return {};
        }
        return buffer_.get(filled_).subspan(size_t(offset - start_), size);
    }

private:
    ScratchBuffer buffer_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
};

std::string sizeText(uint64_t bytes) {
    if (bytes < 10 * 1024) return std::to_string(bytes) + " bytes";
    if (bytes < 10 * 1024 * 1024) return std::to_string(bytes / 1024) + " KB";
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

}  // namespace

Result<fs::path> targetPath(const fs::path& dest, std::string_view name) {
    std::vector<std::string_view> parts;
    if (auto refused = nameParts(name, parts)) return *refused;
    fs::path out = dest;
    for (auto part : parts)
        out /= fs::path(std::string(part));
    return out;
}

ExtractResult extract(const HogArchive& archive, std::span<const size_t> rows,
                      std::string_view destText, ExtractMode mode, const Job& job,
                      Reporter& reporter) {
    return extract(archive, rows, destText, mode, Overwrite::Ask, job, reporter);
}

ExtractResult extract(const HogArchive& archive, std::span<const size_t> rows,
                      std::string_view destText, ExtractMode mode, Overwrite ifExists,
                      const Job& job, Reporter& reporter) {
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
    const auto archiveId = archive.file().id();

    Progress p;
    p.total = rows.size();
    if (mode == ExtractMode::Raw) {
        uint64_t total = 0;
        for (size_t row : rows)
            if (row < archive.entries().size()) total += archive.entries()[row].size;
        p.totalBytes = total;
    }
    auto status = [&](std::string_view what, const std::string& name) {
        if (!job.progress) return;
        p.status = std::string(what) + printable(name);
        job.report(p);
    };
    auto failItem = [&](std::string text) {
        reporter.message(kTitle, text, Icon::Critical);
        ++result.errors;
    };
    auto refuseItem = [&](std::string text) {
        reporter.message(kTitle, text, Icon::Exclamation);
        ++result.errors;
    };

    // Folders are checked once each: that they stay inside the destination, and,
    // for those that were there before, what temporary files writes left in them.
    // Each is kept open while its items are written, up to a number of them.
    struct FolderState {
        enum { Unready, Ready, Bad } state = Unready;
        fs::path path;
        std::optional<OpenFolder> open;
        std::string reason;  // why it is bad
        size_t notTried = 0;
    };
    constexpr size_t kMostOpenFolders = 256;
    std::vector<TemporaryFile> leftovers;
    auto lookForLeftovers = [&](const fs::path& folder) {
        auto found = temporaryFilesIn(folder);
        leftovers.insert(leftovers.end(), found.begin(), found.end());
    };
    lookForLeftovers(dest);

    const Plan planned = plan(archive, rows, dest);
    std::vector<FolderState> folders(planned.folders.size());
    std::vector<uint32_t> openFolders;
    bool replaceAll = ifExists == Overwrite::Replace;
    std::optional<Answer> notPackedForAll;  // Yes to all or No to all given
    bool stopAll = false;
    ScratchBuffer packedBytes, plainBytes;
    ReadAhead stored;

    for (size_t i = 0; i < planned.items.size() && !stopAll; ++i) {
        p.done = i;
        if (job.stopRequested()) {
            result.stopped = true;
            break;
        }
        const Planned& item = planned.items[i];
        if (item.again) continue;
        if (item.row >= archive.entries().size()) {
            refuseItem("Error - there is no entry " + std::to_string(item.row + 1) + " in the FAT");
            continue;
        }
        const HogEntry& e = archive.entries()[item.row];
        if (item.refused) {
            refuseItem(item.refused->message);
            continue;
        }

        FolderState& folder = folders[item.folder];
        if (folder.state == FolderState::Bad) {
            ++folder.notTried;
            ++result.errors;
            continue;
        }
        if (folder.state == FolderState::Unready) {
            const std::string_view rel = planned.folders[item.folder];
            folder.path = rel.empty() ? dest : dest / fs::path(std::string(rel));
            if (rel.empty()) {
                folder.state = FolderState::Ready;
            } else {
                // A folder that cannot be had costs its other items no second try.
                const bool existed = fs::is_directory(folder.path, ec);
                if (!staysInside(destCanonical, folder.path)) {
                    refuseItem("Refused to extract \"" + printable(e.name) +
                               "\": its folder leads outside the destination");
                    folder.state = FolderState::Bad;
                    folder.reason = "it leads outside the destination";
                    continue;
                }
                fs::create_directories(folder.path, ec);
                if (ec || !staysInside(destCanonical, folder.path)) {
                    const std::string reason =
                        ec ? ec.message() : "it leads outside the destination";
                    failItem("Error extracting " + printable(e.name) +
                             ": can't create the folder " + printable(pathText(folder.path)) +
                             ": " + reason);
                    folder.state = FolderState::Bad;
                    folder.reason = reason;
                    if (stopsEveryWrite(ec)) {
                        result.failed = true;
                        stopAll = true;
                    }
                    continue;
                }
                folder.state = FolderState::Ready;
                if (existed) lookForLeftovers(folder.path);
            }
        }
        if (!folder.open) {
            if (openFolders.size() >= kMostOpenFolders) {
                for (uint32_t f : openFolders)
                    folders[f].open.reset();
                openFolders.clear();
            }
            auto opened = OpenFolder::open(folder.path);
            if (!opened) {
                failItem("Error extracting " + printable(e.name) + ": " +
                         printable(opened.error().message));
                folder.state = FolderState::Bad;
                folder.reason = opened.error().message;
                continue;
            }
            folder.open.emplace(std::move(*opened));
            openFolders.push_back(item.folder);
        }
        const std::string_view fileName = item.name();
        auto targetPath = [&] { return folder.path / fs::path(std::string(fileName)); };
        if (item.sameAsRow)
            reporter.message(kTitle,
                             "Entry " + std::to_string(item.row + 1) + " \"" + printable(e.name) +
                                 "\" has the same name as entry " +
                                 std::to_string(*item.sameAsRow + 1) + "; it is extracted as \"" +
                                 printable(pathText(fs::path(std::string(fileName)))) + "\"",
                             Icon::Exclamation);

        if (uint64_t(e.offset) + e.size > archive.fileSize()) {
            failItem("Error extracting " + printable(e.name) +
                     ": it points past the end of the archive (offset " + hexText(e.offset) +
                     ", size " + hexText(e.size) + ")");
            continue;
        }

        // What goes into the file: the item as stored, or its unpacked bytes.
        bool unpack = false;
        if (mode != ExtractMode::Raw) {
            auto info = archive.packInfo(e);
            if (!info) {
                failItem("Error unpacking " + printable(e.name) + ": " + info.error().describe());
                continue;
            }
            unpack = info->packed;
            if (!unpack && mode == ExtractMode::Unpack) {
                status("Error unpacking ", e.name);
                Answer a = notPackedForAll.value_or(Answer::Cancel);
                if (!notPackedForAll) {
                    a = reporter.question(kTitle,
                                          "Error unpacking " + printable(e.name) +
                                              " file not compressed. Do you want to extract?",
                                          Buttons::YesYesToAllNoNoToAllCancel, Icon::Question);
                    if (a == Answer::YesToAll) notPackedForAll = a = Answer::Yes;
                    if (a == Answer::NoToAll) notPackedForAll = a = Answer::No;
                }
                if (a == Answer::Cancel) {
                    result.cancelled = true;
                    break;
                }
                if (a != Answer::Yes) {
                    ++result.skipped;
                    continue;
                }
            }
        }
        status(unpack ? "Unpacking and Extracting " : "Extracting ", e.name);

        std::span<const uint8_t> plain;
        if (unpack) {
            auto packed = packedBytes.get(e.size);
            auto got = archive.file().readAt(e.offset, packed);
            if (!got || *got != e.size) {
                failItem("Error unpacking " + printable(e.name) + ": " +
                         (got ? std::string("the archive ends first") : got.error().describe()));
                continue;
            }
            const auto stated = Hex_Util::bigEndian24(packed, 2);
            if (!stated) {
                failItem("Error unpacking " + printable(e.name) +
                         ": the packed header is cut short");
                continue;
            }
            auto n = refpack::decodeInto(packed, plainBytes.get(size_t(*stated) + kUnpackMargin));
            if (n)
                if (auto st = refpack::checkProduced(*n, *stated); !st) n = st.error();
            if (!n) {
                failItem("Error unpacking " + printable(e.name) + ": " + n.error().describe());
                continue;
            }
            plain = plainBytes.get(size_t(*stated) + kUnpackMargin).first(*n);
        }

        // One write, or one in-system copy; then into place.
        const ByteSpan bytes = unpack ? plain : stored.get(archive, e.offset, e.size);
        auto file = FolderFile::create(*folder.open, fileName);
        Status written = !file                        ? Status(file.error())
                         : unpack || !bytes.empty() ? file->write(bytes)
                                                     : file->copyFrom(archive.file(), e.offset, e.size);
        Result<bool> placed = written ? file->commitIfAbsent() : Result<bool>(written.error());
        if (placed && !*placed) {
            // A file of that name is there already.
            const fs::path target = targetPath();
            if (archiveId && fileIdOf(target).ok() && *fileIdOf(target) == *archiveId) {
                refuseItem("Refused to extract \"" + printable(e.name) +
                           "\": " + printable(pathText(target)) + " is the archive being read");
                continue;
            }
            if (fs::is_directory(target, ec)) {
                failItem("Error extracting " + printable(e.name) + ": " +
                         printable(pathText(target)) + " is a folder");
                continue;
            }
            Answer a = Answer::No;
            if (replaceAll) {
                a = Answer::Yes;
            } else if (ifExists == Overwrite::Ask) {
                a = reporter.question(kTitle,
                                      printable(pathText(target)) +
                                          " already exists. Do you want to replace it with " +
                                          printable(e.name) + " from the archive?",
                                      Buttons::YesYesToAllNoCancel, Icon::Question);
            }
            if (a == Answer::Cancel) {
                result.cancelled = true;
                break;
            }
            if (a == Answer::YesToAll) replaceAll = true;
            if (a != Answer::Yes && a != Answer::YesToAll) {
                ++result.kept;
                continue;
            }
            written = file->commit();
            placed = written ? Result<bool>(true) : Result<bool>(written.error());
        }
        if (!placed) {
            const Error& err = placed.error();
            const std::string text =
                "Error extracting " + printable(e.name) + ": " + printable(err.message);
            if (stopsEveryWrite(err.cause)) {
                failItem(text);
                result.failed = true;
                stopAll = true;
            } else if (!file && err.kind == ErrorKind::WriteFailed) {
                // The folder takes no new file: its other items need not be tried.
                failItem(text);
                folder.state = FolderState::Bad;
                folder.reason = err.cause ? err.cause.message() : err.message;
            } else {
                failItem(text);
            }
            continue;
        }
        ++result.written;
        if (unpack) ++result.unpacked;
        if (item.sameAsRow) ++result.renamed;
        p.bytes += unpack ? plain.size() : e.size;
    }

    for (const FolderState& folder : folders)
        if (folder.notTried > 0)
            reporter.message(kTitle,
                             std::to_string(folder.notTried) + " more file(s) for " +
                                 printable(pathText(folder.path)) +
                                 " were not written: " + folder.reason,
                             Icon::Critical);
    if (!leftovers.empty()) {
        result.temporaries = leftovers.size();
        uint64_t bytes = 0;
        std::string names;
        for (size_t i = 0; i < leftovers.size(); ++i) {
            bytes += leftovers[i].size;
            if (i < 3) names += (i ? ", " : "") + printable(pathText(leftovers[i].path));
        }
        if (leftovers.size() > 3) names += ", ...";
        reporter.message(kTitle,
                         std::to_string(leftovers.size()) +
                             " temporary file(s) of writes that never finished were found (" +
                             sizeText(bytes) + "): " + names +
                             ". They are no extracted items and can be removed.",
                         Icon::Exclamation);
    }

    p.done = result.written + result.skipped + result.kept + result.errors;
    p.status.clear();
    job.report(p);

    const std::string counts = std::to_string(result.written) + " file(s) written";
    std::string text;
    if (result.stopped) {
        text = "Exiting unpack / extract function";
    } else if (result.cancelled) {
        text = mode == ExtractMode::Unpack ? "Exiting unpack / extract function"
                                           : "Extraction cancelled: " + counts;
    } else if (result.errors == 0 && result.kept == 0) {
        text =
            mode == ExtractMode::Unpack ? "Unpacking and extraction Complete" : "Extraction Complete";
    } else {
        text = mode == ExtractMode::Unpack ? "Unpacking and extraction" : "Extraction";
        text += result.errors
                    ? (result.failed ? " stopped after an error: " : " finished with errors: ")
                    : " Complete: ";
        text += counts;
        if (result.errors) text += ", " + std::to_string(result.errors) + " failed";
        if (result.kept) text += ", " + std::to_string(result.kept) + " existing file(s) kept";
        if (result.failed) {
            const size_t untouched =
                rows.size() - (result.written + result.skipped + result.kept + result.errors);
            if (untouched) text += ", " + std::to_string(untouched) + " not tried";
        }
    }
    reporter.message(kTitle, text, Icon::Information);
    return result;
}

namespace {

// UnpackFile without its messages: the item at offset/size of `archive`, unpacked
// when it is packed, written to `dest`.
Status unpackToFile(const fs::path& archive, const fs::path& dest, uint32_t size, uint32_t offset) {
    auto source = ReadOnlyFile::open(archive);
    if (!source) return source.error();
    auto archiveSize = fileSize(archive);
    if (!archiveSize || uint64_t(offset) + size > *archiveSize)
        return makeError(ErrorKind::OutOfRange, "the item lies past the end of the archive");
    // Writing over the archive would replace it with one of its own items.
    if (auto id = source->id(); id && fileIdOf(dest).ok() && *fileIdOf(dest) == *id)
        return makeError(ErrorKind::Refused,
                         pathText(dest) + " is the archive itself; choose another file");
    uint8_t first[kPackInfoBytes];
    auto got =
        source->readAt(offset, std::span<uint8_t>(first, std::min<size_t>(size, sizeof first)));
    if (!got) return got.error();
    const PackInfo info = packInfoOf(ByteSpan(first, *got));

    auto file = AtomicFile::create(dest);
    if (!file) return file.error();
    if (!info.packed) {
        if (auto st = file->copyFrom(*source, offset, size); !st) return st;
        return file->commit();
    }
    auto item = std::make_unique_for_overwrite<uint8_t[]>(size);
    got = source->readAt(offset, std::span<uint8_t>(item.get(), size));
    if (!got) return got.error();
    if (*got != size)
        return makeError(ErrorKind::ReadFailed, "can't read the item from " + pathText(archive));
    const size_t room = size_t(info.unpackedSize.value_or(0)) + kUnpackMargin;
    auto plain = std::make_unique_for_overwrite<uint8_t[]>(room);
    auto n = refpack::decodeInto(ByteSpan(item.get(), size), std::span<uint8_t>(plain.get(), room));
    if (!n) return n.error();
    if (auto st = refpack::checkProduced(*n, info.unpackedSize.value_or(0)); !st) return st;
    item.reset();  // the packed bytes are not needed while writing
    if (auto st = file->write(ByteSpan(plain.get(), *n)); !st) return st;
    return file->commit();
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
        reporter.message(title, "Error - " + printable(st.error().describe()), Icon::Critical);
        return false;
    }
    return true;
}

}  // namespace ov::archive
