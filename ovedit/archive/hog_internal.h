#pragma once
// Pieces shared by the archive library's sources; not part of its interface.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hog.h"

namespace ov::archive {

// Entries from `pos` on, until `out` holds `count` entries or the next entry does not
// fit in `region`. Returns the offset at which the walk stopped.
size_t walkFat(ByteSpan region, size_t pos, uint64_t count, std::vector<HogEntry>& out);

// Reads `count` FAT entries from offset 16 into `out`, bounded by fatLength (when it
// fits the file) and by the file's end. Returns a note saying where the walk
// stopped when it found fewer entries, otherwise an empty text.
Result<std::string> readFat(const ReadOnlyFile& file, uint64_t fileSize, uint32_t fatLength,
                            uint32_t count, std::vector<HogEntry>& out);
// How many whole entries the first fatLength bytes hold (0 when fatLength does not fit).
Result<uint32_t> countFatEntries(const ReadOnlyFile& file, uint64_t fileSize, uint32_t fatLength);

// See HogArchive::backupPath().
fs::path backupPathOf(const fs::path& archive);

// The write lock every change to an archive file takes (WriteLock), with the busy
// refusal said of the archive.
Result<WriteLock> lockArchive(const fs::path& path);
// lockArchive, refused unless the path still names the file `archive` read, at the
// size it read: an archive rebuilt or replaced since then has other bytes where its
// FAT entries point.
Result<WriteLock> lockOpenArchive(const HogArchive& archive);

// ---- The archive writer shared by building and rebuilding ---------------------------

// Where the bytes of one piece of a new archive's data come from.
struct ChunkSource {
    enum class Kind : uint8_t { Memory, File, Archive };
    Kind kind = Kind::Memory;
    ByteSpan memory;                     // Memory: bytes the caller keeps alive
    fs::path file;                       // File
    const ReadOnlyFile* from = nullptr;  // Archive: a range copied as stored
    uint64_t offset = 0;
    uint64_t size = 0;
    bool pack = false;  // Memory and File: RefPack-packed unless already packed
    std::string label;  // the entry's name, for progress and messages
};

// One FAT row of the new archive: its name and where its bytes lie in a chunk.
struct LayoutRow {
    std::string name;
    size_t chunk = 0;
    uint64_t within = 0;           // offset inside the chunk as stored
    std::optional<uint64_t> size;  // nothing: the whole chunk as stored
};

// A new archive: data chunks in the order they are written, and the FAT's rows in
// their order. Rows may share a chunk or lie inside one.
struct Layout {
    std::vector<ChunkSource> chunks;
    std::vector<LayoutRow> rows;
};

// Where the writer puts the archive: a staged file, memory, or nowhere (sizes only).
class HogSink {
public:
    virtual ~HogSink() = default;
    virtual Status append(ByteSpan bytes) = 0;
    virtual Status appendFrom(const ReadOnlyFile& from, uint64_t offset, uint64_t size) = 0;
    virtual Status patch(uint64_t offset, ByteSpan bytes) = 0;
    virtual uint64_t size() const = 0;
};

// Writes the FAT region's place, every chunk in order (copied, streamed from its
// file, or packed on worker threads running ahead within a bounded window), then
// the header and FAT over the first bytes. Sizes past 4 GiB, a FAT of more than
// kMaxItemCount rows, a stop request and every read or write failure end it with
// an error, the sink's contents then being of no use.
Result<WrittenHog> writeLayout(const Layout& layout, HogSink& sink, const PackOptions& options,
                               const Job& job);

// Sinks for writeLayout.
class StagedSink final : public HogSink {
public:
    explicit StagedSink(AtomicFile& file) : file_(file) {}
    Status append(ByteSpan bytes) override { return file_.write(bytes); }
    Status appendFrom(const ReadOnlyFile& from, uint64_t offset, uint64_t size) override {
        return file_.copyFrom(from, offset, size);
    }
    Status patch(uint64_t offset, ByteSpan bytes) override { return file_.writeAt(offset, bytes); }
    uint64_t size() const override { return file_.size(); }

private:
    AtomicFile& file_;
};

// Counts bytes and keeps none: the layout a rebuild would make, without writing it.
class CountingSink final : public HogSink {
public:
    Status append(ByteSpan bytes) override {
        size_ += bytes.size();
        return {};
    }
    Status appendFrom(const ReadOnlyFile&, uint64_t, uint64_t size) override {
        size_ += size;
        return {};
    }
    Status patch(uint64_t, ByteSpan) override { return {}; }
    uint64_t size() const override { return size_; }

private:
    uint64_t size_ = 0;
};

// Refuses the first name of `names` that fails checkEntryName or repeats an earlier
// one ignoring case.
Status checkNewNames(std::span<const std::string> names);

}  // namespace ov::archive
