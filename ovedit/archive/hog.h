#pragma once
// HOG archives: the game's resource archive `resource.hog` and its FAT.
//
// Layout (every integer is a 32-bit big-endian unsigned number):
//
//   0   "BIGF"
//   4   hog size     total size of the archive, as shown to the user
//   8   item count   number of FAT entries
//   12  FAT length   bytes from the start of the file to the end of the FAT
//   16  FAT entries, back to back: data offset (4), data size (4), name ended by
//       one zero byte (a name may carry folder parts separated by backslashes)
//
// Item data lives anywhere after the FAT. A packed item starts with the RefPack
// bytes 0x10 0xFB and keeps its packed size in the FAT.
//
// Every reader here is bounded by the bytes actually read from the file and is safe
// on hostile input: a FAT that claims more entries than its region holds is read up
// to where it ends, never further.
//
// Two layers. The core never talks to the user and may run on any thread:
// HogArchive::read and the const members of an archive, packInfoOf, targetPath,
// checkEntryName, entryNameFor, parseHex, buildHog, writeHog and writeHogFiles. Over
// it, the hog tab's own operations (HogArchive::open, GetHogData, extract,
// UnpackFile and the FAT commands) report every failure through the Reporter
// exactly once, with the editor's titles and texts, and return whether they
// succeeded. Editing an archive's entries (add, replace, rename, delete, then one
// rebuild) lives in hog_edit.h.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/fileio.h"
#include "common/job.h"
#include "common/refpack.h"
#include "common/report.h"
#include "common/result.h"

namespace ov::archive {

namespace fs = std::filesystem;

// Binary readers over bytes already read from an archive, at a zero-based offset.
// Each returns nothing when the bytes it needs lie past the end of `data`.
namespace Hex_Util {
std::optional<uint32_t> bigEndian32(ByteSpan data, size_t offset);
std::optional<uint32_t> littleEndian32(ByteSpan data, size_t offset);
std::optional<uint32_t> bigEndian24(ByteSpan data, size_t offset);
std::optional<uint16_t> bigEndian16(ByteSpan data, size_t offset);
std::optional<uint16_t> littleEndian16(ByteSpan data, size_t offset);

struct Name {
    std::string text;  // the bytes before the zero byte, one character per byte
    size_t next = 0;   // offset just past the zero byte
};
// The zero-ended name at offset; nothing when no zero byte follows within `data`.
std::optional<Name> zeroEndedName(ByteSpan data, size_t offset);
}  // namespace Hex_Util

// One FAT entry in memory.
struct HogEntry {
    std::string name;
    uint32_t size = 0;      // data size as stored (packed size for packed items)
    uint32_t offset = 0;    // absolute offset of the item's data
    uint32_t entryPos = 0;  // where this FAT entry itself begins in the file (16 for the first)
};

inline constexpr uint32_t kMaxItemCount = 100000;
inline constexpr size_t kHeaderSize = 16;
// Room given to an unpacked item beyond the unpacked size its packed header states.
inline constexpr size_t kUnpackMargin = 5000;

// ---- Texts shown with the archive's list ------------------------------------------

// Uppercase hexadecimal without leading zeros ("0" for zero).
std::string hexText(uint32_t value);
// The text after the last "." of the trimmed name; empty when there is none.
std::string fileType(std::string_view name);
// "Hog Size: 12,345,678 byte(s)".
std::string hogSizeText(uint32_t hogSize);
// "967 file(s)".
std::string countText(uint32_t itemCount);

// ---- Packed items -------------------------------------------------------------------

// What an item's first bytes say about it, without unpacking it.
struct PackInfo {
    bool packed = false;  // it starts 0x10 0xFB (0x11 0xFB is not recognised, as in the editor)
    // The unpacked size the packed header states (24-bit big-endian at byte 2);
    // nothing when the item is not packed or too short to hold it.
    std::optional<uint32_t> unpackedSize;
};
PackInfo packInfoOf(ByteSpan firstBytes);
// The bytes packInfoOf looks at.
inline constexpr size_t kPackInfoBytes = 5;

// Unpacks a packed item's bytes as extraction does: into room for the unpacked size
// its header states plus kUnpackMargin, cut to the bytes produced. Fails (BadData)
// when the stream needs more room, ends early or makes other than the stated size.
// Safe on hostile input.
Result<Bytes> unpackItem(ByteSpan packed);

// ---- An open archive ----------------------------------------------------------------

struct ArchiveLoader;

// An archive read into memory: its header values and its FAT, with the file kept
// open for reading items. The const members may be called from any number of
// threads at once: every item read names its own offset and no file position is
// shared (a preview may read while an extraction runs). reload() and the FAT
// commands below change the object; nothing else may use it meanwhile.
class HogArchive {
public:
    // Opens an archive the way the hog tab does: trims the path, checks the magic and
    // the count (falling back on the ".fat" companion when the count is 0 or above
    // 100000), and reads the FAT. Problems are reported through `reporter` with the
    // editor's titles and texts; nothing is returned then. A FAT that ends before
    // its stated count is reported too (see walkNote()), but the archive is returned.
    // Never writes to the file.
    static std::optional<HogArchive> open(std::string_view path, Reporter& reporter);

    // The same without talking to the user. The error's kind says what went wrong:
    // NotFound (no such file), BadData (no "BIGF" magic), ReadFailed.
    static Result<HogArchive> read(const fs::path& path);

    HogArchive(HogArchive&&) noexcept;
    HogArchive& operator=(HogArchive&&) noexcept;
    ~HogArchive();

    const fs::path& path() const { return path_; }
    uint32_t hogSize() const { return hogSize_; }
    // The count the header (or the companion) states; entries().size() may be smaller
    // when the FAT ends first, see walkNote().
    uint32_t itemCount() const { return itemCount_; }
    uint32_t fatLength() const { return fatLength_; }
    uint64_t fileSize() const { return fileSize_; }
    const std::vector<HogEntry>& entries() const { return entries_; }
    // True when the header values came from the ".fat" companion.
    bool usedCompanion() const { return usedCompanion_; }
    // Empty, or a sentence saying where and why the FAT walk stopped early.
    const std::string& walkNote() const { return walkNote_; }

    // The first entry whose name matches, ignoring ASCII case: the whole name first,
    // otherwise the last folder part ("ships\\fighter.shp" is found as
    // "fighter.shp"). Null when none matches.
    const HogEntry* find(std::string_view name) const;

    // The item's bytes as stored. Fails (OutOfRange) when the entry points past the
    // end of the file.
    Result<Bytes> readRaw(const HogEntry& entry) const;
    // readRaw into `out` (resized to the item's size), reusing its storage.
    Status readRawInto(const HogEntry& entry, Bytes& out) const;
    // The first min(maxBytes, size) bytes of the item as stored, for a look at an
    // item without reading all of it. Fails as readRaw does.
    Result<Bytes> readHead(const HogEntry& entry, size_t maxBytes) const;
    // The item's bytes, unpacked when it starts with 0x10 0xFB (output bounded by the
    // stated unpacked size + kUnpackMargin), as stored otherwise.
    Result<Bytes> readUnpacked(const HogEntry& entry) const;
    // Whether the item is packed, and the unpacked size it states, from its first
    // bytes only: one small read, cheap enough for every entry of a large archive.
    Result<PackInfo> packInfo(const HogEntry& entry) const;


    // Reads the file's FAT again (after an edit made through this object or elsewhere).
    Status reload();

    // Where the FAT backup goes: for a name ending in a dot and three characters,
    // the path less those four characters followed by ".FAT" ("resource.hog" ->
    // "resource.FAT", as players' existing backups are named); for any other name
    // (and where that rule would give the archive's own name) the whole path
    // followed by ".FAT".
    fs::path backupPath() const;
    bool hasBackup() const;

    // The open file, for copying items' bytes as stored without reading them into
    // memory (AtomicFile::copyFrom). Positioned reads only, like the members above.
    const ReadOnlyFile& file() const { return *file_; }

private:
    HogArchive();
    friend struct ArchiveLoader;

    fs::path path_;
    uint32_t hogSize_ = 0;
    uint32_t itemCount_ = 0;
    uint32_t fatLength_ = 0;
    uint64_t fileSize_ = 0;
    bool usedCompanion_ = false;
    std::string walkNote_;
    std::vector<HogEntry> entries_;
    std::unique_ptr<ReadOnlyFile> file_;  // kept open for reading, like the editor's file 1
};

// Reads the FAT of an archive (typically resource.hog) for the ship switcher and
// ship import; the item count is the size of the table. When the header's count is
// 0 it is repaired on disk to the number of entries the FAT region really holds
// (nothing is written when it holds none). Reports "Error - hog not found" under
// "GetHogData" and returns nothing when the file is missing or not an archive.
std::optional<std::vector<HogEntry>> GetHogData(std::string_view path, Reporter& reporter);

// ---- Extraction -----------------------------------------------------------------------

enum class ExtractMode {
    Raw,             // copy items as stored
    Unpack,          // unpack packed items; ask about the others
    UnpackIfPacked,  // unpack packed items, copy the others as stored without asking
};

// What to do when an item's file already exists in the destination.
enum class Overwrite {
    Ask,      // ask: Yes, Yes to all, No (keep it) or Cancel
    Replace,  // replace it without asking
    Keep,     // keep it without asking
};

struct ExtractResult {
    size_t written = 0;      // files written
    size_t unpacked = 0;     // of those, the ones written unpacked
    size_t skipped = 0;      // entries answered No to the not-packed question
    size_t kept = 0;         // existing files not replaced
    size_t renamed = 0;      // written under a numbered name (their name repeats an earlier one)
    size_t errors = 0;       // entries not written for a fault, each reported (a refused
                             // name, an item past the archive's end, one that does not
                             // unpack, a write the system refused)
    size_t temporaries = 0;  // leftover temporary files found where the run wrote
    bool cancelled = false;  // answered Cancel
    bool stopped = false;    // the job was asked to stop
    bool failed = false;     // no destination, or a write failed in a way every later write
                             // would too (a full disk, a read-only file system): the run stopped

    // Every chosen entry was written or deliberately skipped or kept.
    bool ok() const { return !cancelled && !stopped && !failed && errors == 0; }
};

// Extracts the entries at the given table indices, in the order given, into the
// folder `destText` (trimmed). Names map onto subfolders of the destination; a name
// that is empty, absolute, has a drive letter or a ".." part is refused with a
// message naming it. Each file is written to a temporary file renamed into place,
// so whatever stops the run, no partial file is left under an item's name.
//
// A file already there is dealt with as `ifExists` says; the archive being read is
// never replaced (its identity is compared, not its name). Entries whose names lead
// to one file (the same name twice, or differing only in letter case where the file
// system ignores case) are all written: each later one under a numbered name
// ("name (2).ext"), with a message. A failed write is reported and the run goes on
// with the next entry, except after a failure every later write would meet too (a
// full disk or quota, a read-only file system); a folder that takes no new file is
// not tried again for its other entries. Temporary files found in folders that were
// there before are reported once. The run ends with a message saying how many files
// were written and how many failed ("Extraction Complete" when all were written).
//
// Progress goes to the job after each item; a stop request is honoured between
// items and ends the run with "Exiting unpack / extract function" (the result says
// how many files were written), as a Cancel of an unpacking does. Messages and
// questions go to `reporter` on the calling thread. Control characters of entry
// names are shown as '?' in every message.
ExtractResult extract(const HogArchive& archive, std::span<const size_t> rows,
                      std::string_view destText, ExtractMode mode, Overwrite ifExists,
                      const Job& job, Reporter& reporter);
// The same, asking before replacing a file.
ExtractResult extract(const HogArchive& archive, std::span<const size_t> rows,
                      std::string_view destText, ExtractMode mode, const Job& job,
                      Reporter& reporter);

// Unpacks (or copies, when not packed) the item at offset/size of the archive into
// the file destPath. Reports "Error - Path(s) not found" under "UnpackFile()".
bool UnpackFile(std::string_view archivePathText, std::string_view destPathText, uint32_t size,
                uint32_t offset, Reporter& reporter);

// Where an item named `name` goes under `dest`, or an error when the name is not a
// plain relative path (empty, absolute, drive letter, a ".." part).
Result<fs::path> targetPath(const fs::path& dest, std::string_view name);

// ---- FAT backup, restore and editing ----------------------------------------------
// All of these write to the archive in place and read its FAT again afterwards.

// Saves the first fatLength bytes to backupPath(); asks before replacing a backup.
bool backupFat(HogArchive& archive, Reporter& reporter);
// Writes the backup back over the start of the archive after asking.
bool restoreFat(HogArchive& archive, Reporter& reporter);
// Points the entry at row `to` at the data of the entry at row `from`.
bool pasteEntry(HogArchive& archive, size_t from, size_t to, Reporter& reporter);
// The FAT editor's save: same-length name, hexadecimal offset and size.
bool saveEntry(HogArchive& archive, size_t row, std::string_view name, std::string_view offsetHex,
               std::string_view sizeHex, Reporter& reporter);

// A hexadecimal text of 1-8 digits, either case; nothing otherwise.
std::optional<uint32_t> parseHex(std::string_view text);

// ---- Building new archives -----------------------------------------------------------

// Whether `name` may name an entry of an archive built or edited here: what
// extraction refuses is refused (empty, absolute, a drive letter or colon, a ".."
// part, a folder rather than a file), and so is a zero byte, which would end the
// name early in the FAT. ErrorKind::Refused with a sentence saying why.
Status checkEntryName(std::string_view name);

struct HogItem {
    std::string name;
    Bytes data;
};

// How items are packed when packing is asked for.
struct PackOptions {
    // Best: the smallest items, for archives built once and read by the game ever
    // after; Fast when time matters more than a few percent of size.
    refpack::Level level = refpack::Level::Best;
    // Threads packing items at once; 0 for one per core.
    unsigned threads = 0;
};

// An archive as written: its header values and its FAT (entryPos filled in).
struct WrittenHog {
    uint32_t hogSize = 0;
    uint32_t fatLength = 0;
    std::vector<HogEntry> entries;
};

// The entry name of `file` in a new archive: its file name, or with a base folder
// its path below that folder, folder parts joined by backslashes as the game keeps
// them ("ships\\fighter.shp").
std::string entryNameFor(const fs::path& file, const fs::path& base = {});

// A complete archive of the items in order: header, FAT, then the data in the same
// order. With `pack`, items not already packed are RefPack-packed, on every core.
// Names are checked with checkEntryName. Progress goes to the job before each item;
// a stop request ends the build between items with ErrorKind::Stopped.
Result<Bytes> buildHog(std::span<const HogItem> items, bool pack = false, const Job& job = {},
                       const PackOptions& options = {});
// The same archive streamed to `path` through a temporary file in its folder: only
// the items' own bytes are in memory. Nothing is written when the build fails or is
// stopped.
Status writeHog(const fs::path& path, std::span<const HogItem> items, bool pack = false,
                const Job& job = {}, const PackOptions& options = {});

// One file to store in a new archive under `name`.
struct HogFileItem {
    std::string name;
    fs::path file;
};

// An archive of files, streamed: each file is copied into the archive (by the
// system where it can) or, with `pack`, read and packed on one of several threads
// that run ahead of the writer within a window of 16 MiB of input, so memory does
// not grow with the archive. Items are written in the order given and the result
// does not depend on the number of threads. Names must pass checkEntryName and be
// unique ignoring case. Written through a temporary file; nothing is written when
// it fails or is stopped.
Result<WrittenHog> writeHogFiles(const fs::path& path, std::span<const HogFileItem> items,
                                 bool pack = false, const PackOptions& options = {},
                                 const Job& job = {});

}  // namespace ov::archive
