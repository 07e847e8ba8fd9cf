#pragma once
// Editing an archive's entries: add, replace, rename and delete, planned in memory
// and then applied in one rebuild of the archive.
//
// A plan is held over an open archive and changes nothing until it is applied. It
// lists what will become of every row (for a window to mark its list) and the steps
// taken, one line each; every step is checked as it is added, and a refused step
// leaves the plan as it was and says why. Applying streams a new archive into a
// temporary file beside the old one (untouched entries' bytes copied as stored,
// never unpacked or packed again; added and replacing files copied or packed) and
// renames it over the archive at the end, so a failed or stopped rebuild leaves the
// archive exactly as it was. Before the first rebuild the archive is kept beside it
// as "NAME.org" (resource.hog.org), never overwritten afterwards.
//
// Two layers, as everywhere in the archive library: HogEditPlan, parseEditScript,
// previewEdits, rebuildHog and refreshFatBackup never talk to the user and may run
// on a worker thread (one thread per plan; the archive is only read, so a window
// may keep reading its own open copy meanwhile). applyHogEdits talks, through the
// Reporter, with the hog tab's texts.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hog.h"

namespace ov::archive {

enum class EditKind : uint8_t { Add, Replace, Rename, Delete };

// One step of a plan, as a script writes it and a list of pending changes shows it.
struct HogEdit {
    EditKind kind = EditKind::Add;
    std::string name;     // the entry (Add: the new entry's name)
    std::string newName;  // Rename
    fs::path file;        // Add, Replace: the file whose bytes go in
    bool pack = false;    // Add, Replace: RefPack-pack the file unless it is packed already
    // Add: the row of the planned list it goes before; nothing for the end.
    std::optional<size_t> before;
};

// The step in one line: "Replace \"ships\\raptor.shp\" with mod/raptor.shp, packed".
std::string describe(const HogEdit& step);

// What becomes of one row of the archive.
struct PlannedEntry {
    std::string name;                // the name it will have
    std::optional<size_t> original;  // its row in the archive; nothing for an added entry
    fs::path file;                   // the file its new bytes come from; empty: kept as stored
    bool pack = false;               // the file is to be packed
    bool renamed = false;
    bool deleted = false;  // shown until applied; an added entry that is deleted goes at once

    bool added() const { return !original; }
    bool replaced() const { return original && !file.empty(); }
    bool changed() const { return added() || replaced() || renamed || deleted; }
};

class HogEditPlan {
public:
    // A plan over the archive as it is now. Its path, header and FAT are kept, and
    // applying refuses when the file has changed since.
    explicit HogEditPlan(const HogArchive& archive);

    const fs::path& archivePath() const { return path_; }
    // The archive's rows as they were when the plan began.
    const std::vector<HogEntry>& originalEntries() const { return original_; }
    // The planned list: the archive's rows in order (deleted ones still there,
    // marked) with added entries where they go. Rows below are indices into it.
    const std::vector<PlannedEntry>& entries() const { return entries_; }
    // The steps taken so far, in order.
    const std::vector<HogEdit>& steps() const { return steps_; }
    bool empty() const { return steps_.empty(); }
    // Rows that will be in the rebuilt archive.
    size_t liveCount() const { return live_; }

    // The live row named `name` ignoring case: the whole name, otherwise the last
    // folder part ("raptor.shp" finds "ships\\raptor.shp"). NotFound when none is,
    // Refused when the name fits several. Found through an index of the names built
    // on the first call, so a plan is not for two threads at once.
    Result<size_t> find(std::string_view name) const;

    // Each step is checked before it is taken: names as checkEntryName checks them,
    // with "/" taken as the game's "\\" and unique ignoring case among the live rows;
    // files that exist, fit an archive and, when they are to be packed, the packer
    // (16 MiB less one byte, unless already packed); rows that exist and are not
    // deleted; at most kMaxItemCount rows. A refused step (ErrorKind Refused,
    // NotFound or OutOfRange, with a sentence saying why) changes nothing.
    Status add(const fs::path& file, std::string_view name, bool pack,
               std::optional<size_t> before = std::nullopt);
    Status replace(size_t row, const fs::path& file, bool pack);
    Status rename(size_t row, std::string_view newName);
    Status remove(size_t row);
    // A step whose entries are named (a script line): they are looked up with find().
    Status apply(const HogEdit& step);

    // Whether `name` may be given now to a new entry (no `row`) or to the live row
    // `row`: the name checks add and rename make, with the same sentences, and no
    // step taken. A window checks a name as it is typed with it.
    Status checkName(std::string_view name, std::optional<size_t> row = std::nullopt) const;

    // Takes back the last step; false when there is none.
    bool undo();
    // Takes back every step.
    void clear();

private:
    struct Taken {
        HogEdit edit;
        size_t row = 0;  // the row it was taken on (Add: where it went)
    };
    // With `replay` (taking back a step) the files are not looked at again: one may
    // have gone since, which applying will say.
    Status take(const HogEdit& edit, size_t row, bool replay = false);
    Status checkNewName(std::string& name, std::optional<size_t> except) const;
    void countName(const std::string& name, int delta) const;
    void reset();

    fs::path path_;
    std::vector<HogEntry> original_;
    uint32_t hogSize_ = 0;
    uint32_t itemCount_ = 0;
    uint32_t fatLength_ = 0;
    uint64_t fileSize_ = 0;
    fs::file_time_type modified_{};
    std::string walkNote_;
    std::vector<PlannedEntry> entries_;
    std::vector<HogEdit> steps_;
    std::vector<Taken> taken_;
    size_t live_ = 0;
    // How many live rows bear each name, in lower case: new names are checked
    // against it in constant time, however many rows there are. Counted when a new
    // name is first checked (a plan that only replaces data never needs it).
    mutable std::unordered_map<std::string, size_t> liveNames_;
    mutable bool namesCounted_ = false;
    // Rows by whole name and by last folder part, in lower case, for find(): built
    // when first needed, kept up to date by renames and adds at the end, and built
    // again after rows move. Deleted rows stay in it and are passed over.
    void indexRow(size_t row) const;
    void unindexRow(size_t row) const;
    mutable std::unordered_map<std::string, std::vector<size_t>> byName_, byLastPart_;
    mutable bool indexed_ = false;

    friend struct PlanRebuild;
};

// "<archive path>.org": the archive as it was before its first rebuild.
fs::path originalPathOf(const fs::path& archive);

// How the original was kept by a rebuild.
enum class OriginalKept : uint8_t {
    Already,  // NAME.org was there from an earlier rebuild, and was left alone
    Linked,   // a second name for the old file: it took no time and no extra space,
              // and the rebuild, which writes a new file, never changes the old one
    Copied,   // a copy, where the file system has no hard links
};

struct EditOutcome {
    WrittenHog written;         // the new header and FAT
    uint64_t previousSize = 0;  // the archive's size before
    OriginalKept original = OriginalKept::Already;
    fs::path originalPath;
    fs::path fatBackupPath;  // HogArchive::backupPath() of the archive
    // A FAT backup lies beside the archive and describes the old layout: restoring it
    // would now damage the archive. applyHogEdits clears it when it refreshes the backup.
    bool fatBackupStale = false;
};

// Reads an edit script: one step per line,
//   add FILE [as NAME] [pack]
//   replace NAME FILE [pack]
//   rename OLD NEW
//   delete NAME
// with "#" starting a comment line and blank lines ignored, and a UTF-8 byte-order
// mark at the start passed over. Words are separated by blanks; a word holding
// blanks is put in double quotes. Keywords may be in any case. FILE is taken relative to `base` unless absolute; an added entry is named
// after its file unless "as NAME" is given. The error names the faulty line.
Result<std::vector<HogEdit>> parseEditScript(std::string_view text, const fs::path& base);

// The archive the plan would make, without writing it: files to be packed are
// packed to learn their sizes, nothing else is read. The same refusals as rebuildHog.
Result<WrittenHog> previewEdits(const HogEditPlan& plan, const PackOptions& options = {},
                                const Job& job = {});

// Applies the plan: checks that the archive is as the plan found it (path, size,
// time and FAT), that its FAT is whole, and that every entry kept points inside the
// file; writes the new archive to a temporary file beside it; keeps the original as
// originalPathOf(path) unless that exists; renames the new archive over the old.
// Entries keep their order; entries that shared bytes (or overlapped) still do, and
// the bytes no entry points at are dropped. Progress goes to the job before each
// piece of data; a stop request is honoured between pieces (ErrorKind::Stopped).
// On any failure the archive is byte for byte as it was and no file is left behind.
Result<EditOutcome> rebuildHog(const HogEditPlan& plan, const PackOptions& options = {},
                               const Job& job = {});

// Writes the archive's FAT region to its FAT backup (HogArchive::backupPath) through
// a temporary file, so the backup matches the archive again.
Status refreshFatBackup(const fs::path& archive);

// The hog tab's "Apply changes": rebuildHog, with every failure reported once under
// "OV Edit" ("Rebuild stopped: the archive is unchanged" for a stop). When a FAT
// backup lies beside the archive it says that the backup no longer matches and asks
// whether to refresh it (Yes refreshes it). Returns the outcome, or nothing when the
// archive was not changed.
std::optional<EditOutcome> applyHogEdits(const HogEditPlan& plan, const PackOptions& options,
                                         const Job& job, Reporter& reporter);

}  // namespace ov::archive
