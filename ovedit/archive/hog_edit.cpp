// Edit plans over an open archive, edit scripts, and the rebuild that applies them.

#include "hog_edit.h"

#include <algorithm>

#include "common/fileio.h"
#include "common/refpack.h"
#include "hog_internal.h"

namespace ov::archive {

namespace {

std::string inQuotes(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += '"';
    out += s;
    out += '"';
    return out;
}

std::string_view lastPart(std::string_view name) {
    size_t sep = name.find_last_of('\\');
    return sep == std::string_view::npos ? name : name.substr(sep + 1);
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

// New names take the game's separator, so "ships/x.shp" typed on any system is the
// same entry as "ships\\x.shp".
std::string gameSeparators(std::string_view name) {
    std::string s(name);
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

// The checks on a file that goes into the archive, made when it is planned.
Status checkSource(const fs::path& file, bool pack) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return makeError(ErrorKind::NotFound, file.string() + ": no such file");
    const uint64_t size = fs::file_size(file, ec);
    if (ec) return makeError(ErrorKind::ReadFailed, file.string() + ": " + ec.message());
    if (size > UINT32_MAX)
        return makeError(ErrorKind::OutOfRange,
                         file.string() + ": too large for an archive (4 GiB at most)");
    if (pack && size > refpack::kMaxPackInput) {
        auto head = readFileAt(file, 0, 2);
        if (!head) return head.error();
        if (!refpack::isPacked(*head))
            return makeError(ErrorKind::Refused,
                             file.string() + ": " + std::to_string(size) +
                                 " bytes is too large to pack (the limit is 16 MiB less one byte)");
    }
    return {};
}

}  // namespace

std::string describe(const HogEdit& step) {
    const std::string packed = step.pack ? ", packed" : "";
    switch (step.kind) {
        case EditKind::Add:
            return "Add " + inQuotes(step.name) + " from " + step.file.string() + packed +
                   (step.before ? " before row " + std::to_string(*step.before + 1) : "");
        case EditKind::Replace:
            return "Replace " + inQuotes(step.name) + " with " + step.file.string() + packed;
        case EditKind::Rename:
            return "Rename " + inQuotes(step.name) + " to " + inQuotes(step.newName);
        case EditKind::Delete:
            return "Delete " + inQuotes(step.name);
    }
    return {};
}

// ---- The plan -----------------------------------------------------------------------

HogEditPlan::HogEditPlan(const HogArchive& archive)
    : path_(archive.path()),
      original_(archive.entries()),
      hogSize_(archive.hogSize()),
      itemCount_(archive.itemCount()),
      fatLength_(archive.fatLength()),
      fileSize_(archive.fileSize()),
      walkNote_(archive.walkNote()) {
    std::error_code ec;
    modified_ = fs::last_write_time(path_, ec);
    reset();
}

void HogEditPlan::reset() {
    entries_.clear();
    entries_.reserve(original_.size());
    liveNames_.clear();
    namesCounted_ = false;
    for (size_t i = 0; i < original_.size(); ++i)
        entries_.push_back(PlannedEntry{original_[i].name, i, {}, false, false, false});
    live_ = original_.size();
    steps_.clear();
    taken_.clear();
    indexed_ = false;
}

void HogEditPlan::countName(const std::string& name, int delta) const {
    if (!namesCounted_) return;
    const std::string key = lowerAscii(name);
    size_t& n = liveNames_[key];
    n = delta > 0 ? n + 1 : n - 1;
    if (n == 0) liveNames_.erase(key);
}

void HogEditPlan::indexRow(size_t row) const {
    const std::string& name = entries_[row].name;
    byName_[lowerAscii(name)].push_back(row);
    byLastPart_[lowerAscii(std::string(lastPart(name)))].push_back(row);
}

void HogEditPlan::unindexRow(size_t row) const {
    const std::string& name = entries_[row].name;
    for (auto [index, key] : {std::pair{&byName_, lowerAscii(name)},
                              std::pair{&byLastPart_, lowerAscii(std::string(lastPart(name)))}}) {
        auto it = index->find(key);
        if (it == index->end()) continue;
        std::erase(it->second, row);
        if (it->second.empty()) index->erase(it);
    }
}

Result<size_t> HogEditPlan::find(std::string_view nameText) const {
    const std::string name = gameSeparators(nameText);
    if (!indexed_) {
        byName_.clear();
        byLastPart_.clear();
        for (size_t i = 0; i < entries_.size(); ++i)
            indexRow(i);
        indexed_ = true;
    }
    auto live = [&](const std::unordered_map<std::string, std::vector<size_t>>& index) {
        std::vector<size_t> rows;
        if (auto it = index.find(lowerAscii(name)); it != index.end())
            for (size_t i : it->second)
                if (!entries_[i].deleted) rows.push_back(i);
        return rows;
    };
    const std::vector<size_t> whole = live(byName_);
    const std::vector<size_t> hits = whole.empty() ? live(byLastPart_) : whole;
    if (hits.empty()) return makeError(ErrorKind::NotFound, "no entry " + inQuotes(nameText));
    if (hits.size() > 1)
        return makeError(ErrorKind::Refused, std::to_string(hits.size()) + " entries are named " +
                                                 inQuotes(nameText) +
                                                 ": give the whole name or the row number");
    return hits.front();
}

Status HogEditPlan::checkNewName(std::string& name, std::optional<size_t> except) const {
    name = gameSeparators(name);
    if (auto st = checkEntryName(name); !st) return st;
    if (!namesCounted_) {
        namesCounted_ = true;
        liveNames_.reserve(entries_.size());
        for (const PlannedEntry& e : entries_)
            if (!e.deleted) countName(e.name, +1);
    }
    const std::string key = lowerAscii(name);
    auto it = liveNames_.find(key);
    const size_t others =
        (it == liveNames_.end() ? 0 : it->second) -
        (except && lowerAscii(entries_[*except].name) == key ? size_t(1) : size_t(0));
    if (others == 0) return {};
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].deleted || (except && *except == i)) continue;
        if (sameNameIgnoringCase(entries_[i].name, name))
            return makeError(ErrorKind::Refused,
                             "an entry named " + inQuotes(entries_[i].name) +
                                 " is already in the archive (names are matched ignoring case)");
    }
    return {};
}

Status HogEditPlan::checkName(std::string_view nameText, std::optional<size_t> row) const {
    if (row && *row >= entries_.size())
        return makeError(ErrorKind::OutOfRange,
                         "there is no row " + std::to_string(*row + 1) + " in the list");
    std::string name(nameText);
    return checkNewName(name, row);
}

Status HogEditPlan::take(const HogEdit& editIn, size_t row, bool replay) {
    HogEdit edit = editIn;
    auto liveRow = [&]() -> Status {
        if (row >= entries_.size())
            return makeError(ErrorKind::OutOfRange,
                             "there is no row " + std::to_string(row + 1) + " in the list");
        if (entries_[row].deleted)
            return makeError(ErrorKind::NotFound,
                             inQuotes(entries_[row].name) + " is already to be deleted");
        return {};
    };

    switch (edit.kind) {
        case EditKind::Add: {
            if (row > entries_.size())
                return makeError(ErrorKind::OutOfRange,
                                 "there is no row " + std::to_string(row + 1) + " in the list");
            if (live_ >= kMaxItemCount)
                return makeError(
                    ErrorKind::OutOfRange,
                    "an archive holds at most " + std::to_string(kMaxItemCount) + " items");
            if (auto st = checkNewName(edit.name, std::nullopt); !st) return st;
            if (!replay)
                if (auto st = checkSource(edit.file, edit.pack); !st) return st;
            PlannedEntry e;
            e.name = edit.name;
            e.file = edit.file;
            e.pack = edit.pack;
            const bool atEnd = row == entries_.size();
            entries_.insert(entries_.begin() + std::ptrdiff_t(row), std::move(e));
            if (!atEnd)
                indexed_ = false;
            else if (indexed_)
                indexRow(row);
            countName(edit.name, +1);
            ++live_;
            break;
        }
        case EditKind::Replace: {
            if (auto st = liveRow(); !st) return st;
            if (!replay)
                if (auto st = checkSource(edit.file, edit.pack); !st) return st;
            edit.name = entries_[row].name;
            entries_[row].file = edit.file;
            entries_[row].pack = edit.pack;
            break;
        }
        case EditKind::Rename: {
            if (auto st = liveRow(); !st) return st;
            if (auto st = checkNewName(edit.newName, row); !st) return st;
            PlannedEntry& e = entries_[row];
            edit.name = e.name;
            countName(e.name, -1);
            countName(edit.newName, +1);
            if (indexed_) unindexRow(row);
            e.name = edit.newName;
            if (indexed_) indexRow(row);
            e.renamed = e.original && e.name != original_[*e.original].name;
            break;
        }
        case EditKind::Delete: {
            if (auto st = liveRow(); !st) return st;
            edit.name = entries_[row].name;
            countName(edit.name, -1);
            --live_;
            if (entries_[row].added()) {
                if (indexed_) unindexRow(row);
                if (row + 1 != entries_.size()) indexed_ = false;
                entries_.erase(entries_.begin() + std::ptrdiff_t(row));
            } else
                entries_[row].deleted = true;
            break;
        }
    }
    steps_.push_back(edit);
    if (!replay) taken_.push_back({edit, row});
    return {};
}

Status HogEditPlan::add(const fs::path& file, std::string_view name, bool pack,
                        std::optional<size_t> before) {
    HogEdit e;
    e.kind = EditKind::Add;
    e.name = std::string(name);
    e.file = file;
    e.pack = pack;
    e.before = before;
    return take(e, before.value_or(entries_.size()));
}

Status HogEditPlan::replace(size_t row, const fs::path& file, bool pack) {
    HogEdit e;
    e.kind = EditKind::Replace;
    e.file = file;
    e.pack = pack;
    return take(e, row);
}

Status HogEditPlan::rename(size_t row, std::string_view newName) {
    HogEdit e;
    e.kind = EditKind::Rename;
    e.newName = std::string(newName);
    return take(e, row);
}

Status HogEditPlan::remove(size_t row) {
    HogEdit e;
    e.kind = EditKind::Delete;
    return take(e, row);
}

Status HogEditPlan::apply(const HogEdit& step) {
    if (step.kind == EditKind::Add) return add(step.file, step.name, step.pack, step.before);
    auto row = find(step.name);
    if (!row) return row.error();
    switch (step.kind) {
        case EditKind::Replace:
            return replace(*row, step.file, step.pack);
        case EditKind::Rename:
            return rename(*row, step.newName);
        default:
            return remove(*row);
    }
}

bool HogEditPlan::undo() {
    if (taken_.empty()) return false;
    std::vector<Taken> keep(taken_.begin(), taken_.end() - 1);
    reset();
    for (const Taken& t : keep)
        if (auto st = take(t.edit, t.row, true); !st) break;
    taken_ = std::move(keep);
    return true;
}

void HogEditPlan::clear() {
    reset();
}

// ---- Scripts -------------------------------------------------------------------------

namespace {

struct Word {
    std::string text;
    bool quoted = false;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

Result<std::vector<Word>> wordsOf(std::string_view line) {
    std::vector<Word> words;
    size_t i = 0;
    while (i < line.size()) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        Word w;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos)
                return makeError(ErrorKind::BadData, "a double quote is not closed");
            w.text = std::string(line.substr(i + 1, end - i - 1));
            w.quoted = true;
            i = end + 1;
        } else {
            size_t end = i;
            while (end < line.size() && !isBlank(line[end]))
                ++end;
            w.text = std::string(line.substr(i, end - i));
            i = end;
        }
        words.push_back(std::move(w));
    }
    return words;
}

bool isKeyword(const Word& w, std::string_view keyword) {
    return !w.quoted && sameNameIgnoringCase(w.text, keyword);
}

}  // namespace

Result<std::vector<HogEdit>> parseEditScript(std::string_view text, const fs::path& base) {
    std::vector<HogEdit> steps;
    size_t lineNo = 0;
    // Editors on Windows start UTF-8 text with a byte-order mark.
    size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string line = trim(text.substr(start, end - start));
        const size_t lineStart = start;
        start = end + 1;
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;

        auto bad = [&](const std::string& why) {
            return makeError(ErrorKind::BadData, "line " + std::to_string(lineNo) + ": " + why,
                             lineStart);
        };
        auto words = wordsOf(line);
        if (!words) return bad(words.error().message);
        const std::vector<Word>& w = *words;
        auto fileOf = [&](const Word& word) {
            const fs::path p = pathFromText(word.text);
            return p.is_absolute() || base.empty() ? p : base / p;
        };
        // The optional trailing "pack" from word i on; false when anything else follows.
        auto tail = [&](size_t i, bool& pack) {
            pack = i < w.size() && isKeyword(w[i], "pack");
            return i + (pack ? 1 : 0) == w.size();
        };

        HogEdit step;
        if (isKeyword(w[0], "add")) {
            step.kind = EditKind::Add;
            size_t i = 2;
            std::optional<std::string> as;
            if (w.size() >= 4 && isKeyword(w[2], "as")) {
                as = w[3].text;
                i = 4;
            }
            if (w.size() < 2 || !tail(i, step.pack))
                return bad("expected: add FILE [as NAME] [pack]");
            step.file = fileOf(w[1]);
            step.name = as ? *as : entryNameFor(pathFromText(w[1].text));
        } else if (isKeyword(w[0], "replace")) {
            step.kind = EditKind::Replace;
            if (w.size() < 3 || !tail(3, step.pack))
                return bad("expected: replace NAME FILE [pack]");
            step.name = w[1].text;
            step.file = fileOf(w[2]);
        } else if (isKeyword(w[0], "rename")) {
            step.kind = EditKind::Rename;
            if (w.size() != 3) return bad("expected: rename OLD NEW");
            step.name = w[1].text;
            step.newName = w[2].text;
        } else if (isKeyword(w[0], "delete")) {
            step.kind = EditKind::Delete;
            if (w.size() != 2) return bad("expected: delete NAME");
            step.name = w[1].text;
        } else {
            return bad("unknown step " + inQuotes(w[0].text) +
                       " (the steps are add, replace, rename and delete)");
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

// ---- Rebuilding ----------------------------------------------------------------------

fs::path originalPathOf(const fs::path& archive) {
    fs::path p = archive;
    p += ".org";
    return p;
}

namespace {

bool sameEntries(const std::vector<HogEntry>& a, const std::vector<HogEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const HogEntry& x, const HogEntry& y) {
                          return x.name == y.name && x.offset == y.offset && x.size == y.size &&
                                 x.entryPos == y.entryPos;
                      });
}

}  // namespace

// The archive as it is now, checked against the plan, and the layout of the new one.
struct PlanRebuild {
    HogArchive archive;
    Layout layout;

    static bool sizeAndTimeAsPlanned(const HogEditPlan& plan, const fs::path& file) {
        std::error_code ec;
        auto size = fileSize(file);
        return size && *size == plan.fileSize_ && fs::last_write_time(file, ec) == plan.modified_;
    }

    static Result<PlanRebuild> prepare(const HogEditPlan& plan) {
        const std::string where = plan.path_.string() + ": ";
        auto fresh = HogArchive::read(plan.path_);
        if (!fresh) return fresh.error();
        std::error_code ec;
        const auto modified = fs::last_write_time(plan.path_, ec);
        if (fresh->fileSize() != plan.fileSize_ || fresh->hogSize() != plan.hogSize_ ||
            fresh->itemCount() != plan.itemCount_ || fresh->fatLength() != plan.fatLength_ ||
            modified != plan.modified_ || !sameEntries(fresh->entries(), plan.original_))
            return makeError(ErrorKind::Refused,
                             where +
                                 "the archive has changed since these changes were planned; "
                                 "open it again and plan them anew");
        if (!plan.walkNote_.empty())
            return makeError(
                ErrorKind::Refused,
                where + plan.walkNote_ + " A rebuild would drop the rest: restore the FAT first.");

        PlanRebuild r{std::move(*fresh), {}};
        const auto& original = plan.original_;
        const uint64_t fileSize = r.archive.fileSize();

        // Ranges of the bytes kept as stored. Ranges that overlap (rows sharing bytes
        // after a paste, or pointing into each other) become one cluster written once.
        struct Range {
            uint64_t begin, end;
        };
        std::vector<Range> ranges;
        for (const PlannedEntry& e : plan.entries_) {
            if (e.deleted || e.added() || e.replaced()) continue;
            const HogEntry& o = original[*e.original];
            if (uint64_t(o.offset) + o.size > fileSize)
                return makeError(ErrorKind::Refused,
                                 where + inQuotes(o.name) +
                                     " points past the end of the archive (offset " +
                                     hexText(o.offset) + ", size " + hexText(o.size) +
                                     "); delete or replace it first");
            if (o.size > 0) ranges.push_back({o.offset, uint64_t(o.offset) + o.size});
        }
        std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) {
            return a.begin < b.begin || (a.begin == b.begin && a.end > b.end);
        });
        std::vector<Range> clusters;
        for (const Range& g : ranges) {
            if (!clusters.empty() && g.begin < clusters.back().end)
                clusters.back().end = std::max(clusters.back().end, g.end);
            else
                clusters.push_back(g);
        }
        auto clusterOf = [&](uint64_t offset) {
            auto it = std::upper_bound(clusters.begin(), clusters.end(), offset,
                                       [](uint64_t v, const Range& c) { return v < c.begin; });
            return size_t(it - clusters.begin()) - 1;
        };

        // Chunks in the order of the rows that first need them, so data follows the FAT.
        std::vector<std::optional<size_t>> chunkOfCluster(clusters.size());
        for (const PlannedEntry& e : plan.entries_) {
            if (e.deleted) continue;
            LayoutRow row;
            row.name = e.name;
            if (!e.file.empty()) {
                ChunkSource c;
                c.kind = ChunkSource::Kind::File;
                c.file = e.file;
                c.pack = e.pack;
                c.label = e.name;
                row.chunk = r.layout.chunks.size();
                r.layout.chunks.push_back(std::move(c));
            } else {
                const HogEntry& o = original[*e.original];
                row.size = o.size;
                if (o.size == 0) {
                    ChunkSource empty;
                    empty.label = e.name;
                    row.chunk = r.layout.chunks.size();
                    r.layout.chunks.push_back(std::move(empty));
                } else {
                    const size_t k = clusterOf(o.offset);
                    if (!chunkOfCluster[k]) {
                        ChunkSource c;
                        c.kind = ChunkSource::Kind::Archive;
                        c.from = &r.archive.file();
                        c.offset = clusters[k].begin;
                        c.size = clusters[k].end - clusters[k].begin;
                        c.label = e.name;
                        chunkOfCluster[k] = r.layout.chunks.size();
                        r.layout.chunks.push_back(std::move(c));
                    }
                    row.chunk = *chunkOfCluster[k];
                    row.within = o.offset - clusters[k].begin;
                }
            }
            r.layout.rows.push_back(std::move(row));
        }
        return r;
    }
};

Result<WrittenHog> previewEdits(const HogEditPlan& plan, const PackOptions& options,
                                const Job& job) {
    auto prep = PlanRebuild::prepare(plan);
    if (!prep) return prep.error();
    CountingSink sink;
    return writeLayout(prep->layout, sink, options, job);
}

namespace {

// The file a rebuild replaces: the one a link leads to, so that the link stays a
// link and its target gets the new archive.
fs::path fileBehind(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
    fs::path real = fs::canonical(path, ec);
    return ec ? path : real;
}

// Whether NAME.org can stand for the kept original: missing, or a regular file that
// reads as an archive (one kept by an earlier rebuild). Anything else there would
// be reported as the original while holding none of it.
Status checkOriginalSlot(const fs::path& org, const fs::path& archive) {
    std::error_code ec;
    const auto st = fs::symlink_status(org, ec);
    if (!fs::exists(st)) return {};
    if (sameFile(org, archive)) return {};  // see keepOriginal
    if (fs::is_symlink(st) || !fs::is_regular_file(fs::status(org, ec)))
        return makeError(ErrorKind::Refused,
                         pathText(org) + " is " +
                             (fs::is_symlink(st) ? std::string("a link")
                                                 : notARegularFile(org).value_or("not a file")) +
                             ", not a copy of the archive, so the original could not be kept "
                             "there; move it away and rebuild again");
    if (!HogArchive::read(org))
        return makeError(ErrorKind::Refused,
                         pathText(org) + " is not a hog archive, so the original could not be "
                                         "kept there; move it away and rebuild again");
    return {};
}

// Keeps the archive (the file `real`) as `org` unless that is there already.
// Returns how, and whether the file was made now (to be taken back if the rebuild
// fails after all).
Result<std::pair<OriginalKept, bool>> keepOriginal(const HogArchive& archive, const fs::path& real,
                                                   const fs::path& org, const Job& job) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(org, ec))) {
        // A second name of the archive itself is what a rebuild interrupted between
        // making the link and replacing the archive leaves: the original is not kept
        // yet.
        if (!sameFile(org, real)) return std::pair{OriginalKept::Already, false};
        fs::remove(org, ec);
        if (ec) return makeError(ErrorKind::WriteFailed, org.string() + ": " + ec.message());
    }
    // The rebuild writes a new file and renames it over the archive; the old file is
    // never written again, so a second name for it holds the original unchanged.
    fs::create_hard_link(real, org, ec);
    if (!ec) return std::pair{OriginalKept::Linked, true};

    auto copy = AtomicFile::create(org);
    if (!copy) return copy.error();
    Progress p;
    p.status = "Keeping the original as " + org.filename().string();
    p.totalBytes = archive.fileSize();
    constexpr uint64_t kPiece = uint64_t(16) << 20;
    for (uint64_t done = 0; done < archive.fileSize();) {
        if (job.stopRequested()) return makeError(ErrorKind::Stopped, "stopped");
        job.report(p);
        const uint64_t piece = std::min(kPiece, archive.fileSize() - done);
        if (auto st = copy->copyFrom(archive.file(), done, piece); !st) return st.error();
        done += piece;
        p.bytes = done;
    }
    if (auto st = copy->commit(AtomicFile::Flush::ToDisk); !st) return st.error();
    return std::pair{OriginalKept::Copied, true};
}

}  // namespace

Result<EditOutcome> rebuildHog(const HogEditPlan& plan, const PackOptions& options,
                               const Job& job) {
    // Held until the new archive is in place: a second writer waits, then is told
    // the archive is busy, and never plans from the old file.
    auto lock = lockArchive(plan.archivePath());
    if (!lock) return lock.error();
    auto prep = PlanRebuild::prepare(plan);
    if (!prep) return prep.error();
    const HogArchive& archive = prep->archive;
    const fs::path real = fileBehind(archive.path());
    const fs::path org = originalPathOf(archive.path());
    if (auto st = checkOriginalSlot(org, real); !st) return st.error();

    auto staged = AtomicFile::create(real);
    if (!staged) return staged.error();
    StagedSink sink(*staged);
    auto written = writeLayout(prep->layout, sink, options, job);
    if (!written) return written.error();
    if (job.stopRequested()) return makeError(ErrorKind::Stopped, "stopped before the end");

    // A program that takes no lock may have written meanwhile.
    if (!lock->stillNamedBy(real) || !PlanRebuild::sizeAndTimeAsPlanned(plan, real))
        return makeError(ErrorKind::Refused,
                         pathText(archive.path()) +
                             ": the archive has changed since these changes were planned; "
                             "open it again and plan them anew");
    auto kept = keepOriginal(archive, real, org, job);
    if (!kept) return kept.error();
    if (auto st = staged->commit(AtomicFile::Flush::ToDisk); !st) {
        if (kept->second) {
            std::error_code ec;
            fs::remove(org, ec);
        }
        return st.error();
    }

    EditOutcome out;
    out.written = std::move(*written);
    out.previousSize = archive.fileSize();
    out.original = kept->first;
    out.originalPath = org;
    out.fatBackupPath = archive.backupPath();
    out.fatBackupStale = archive.hasBackup();
    return out;
}

Status refreshFatBackup(const fs::path& path) {
    auto archive = HogArchive::read(path);
    if (!archive) return archive.error();
    auto region = readFileAt(path, 0, archive->fatLength());
    if (!region) return region.error();
    if (region->size() != archive->fatLength() || archive->fatLength() < kHeaderSize)
        return makeError(ErrorKind::BadData,
                         path.string() + ": the FAT length in the header doesn't fit the file");
    return writeFileAtomic(archive->backupPath(), *region);
}

std::optional<EditOutcome> applyHogEdits(const HogEditPlan& plan, const PackOptions& options,
                                         const Job& job, Reporter& reporter) {
    auto out = rebuildHog(plan, options, job);
    if (!out) {
        if (out.error().kind == ErrorKind::Stopped)
            reporter.message("OV Edit", "Rebuild stopped: the archive is unchanged",
                             Icon::Information);
        else
            reporter.message("OV Edit", "Error - " + out.error().describe(), Icon::Critical);
        return std::nullopt;
    }
    if (out->fatBackupStale) {
        Answer a =
            reporter.question("Backup FAT table",
                              "The hog FAT backup file " + out->fatBackupPath.filename().string() +
                                  " was made before this rebuild and no longer matches "
                                  "the archive.\nDo you want to refresh it?",
                              Buttons::YesNo, Icon::Question);
        if (a == Answer::Yes) {
            if (refreshFatBackup(plan.archivePath()))
                out->fatBackupStale = false;
            else
                reporter.message("Error", "Couldn't create FAT backup file.", Icon::Critical);
        }
    }
    return std::move(*out);
}

}  // namespace ov::archive
