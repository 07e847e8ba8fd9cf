#pragma once
// Whole-file and positioned file access for every tool of the kit.
//
// Whole files are always rewritten through a temporary file in the target's own
// folder that is renamed over the target once it is complete, so a failed write
// never leaves a half-written file behind. Positioned patches (a few bytes of a
// statistics record, a FAT entry) write in place, as the game files are large and
// the changes small.

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "bytes.h"
#include "result.h"

namespace ov {

namespace fs = std::filesystem;

// Reads a whole file. Refuses files larger than maxBytes.
Result<Bytes> readFile(const fs::path& path, uint64_t maxBytes = uint64_t(1) << 32);

// Reads up to n bytes at offset; fewer when the file ends first.
Result<Bytes> readFileAt(const fs::path& path, uint64_t offset, size_t n);

// Writes bytes at offset of an existing file without changing its length beyond
// offset + bytes.size(). The file must exist.
Status writeFileAt(const fs::path& path, uint64_t offset, ByteSpan bytes);

// Replaces (or creates) path with exactly `bytes`, through a temporary file in the
// same folder renamed over the target.
Status writeFileAtomic(const fs::path& path, ByteSpan bytes);

// Writes a whole file in pieces, for output too large to hold at once: to a
// temporary file in the target's own folder, renamed over the target by commit().
// A writer that is never committed removes its temporary file and leaves the
// target as it was.
class AtomicWriter {
public:
    // Creates the temporary file beside `path`.
    static Result<AtomicWriter> create(const fs::path& path);

    AtomicWriter(AtomicWriter&& other) noexcept;
    AtomicWriter& operator=(AtomicWriter&&) = delete;
    AtomicWriter(const AtomicWriter&) = delete;
    ~AtomicWriter();

    // Appends bytes; after a failed write the writer only refuses.
    Status write(ByteSpan bytes);
    // Completes the file and renames it over the target, keeping the target's
    // permissions when it exists.
    Status commit();

private:
    AtomicWriter(fs::path target, fs::path tmp, std::FILE* file);
    void discard();

    fs::path target_;
    fs::path tmp_;
    std::FILE* file_;
    bool failed_ = false;
};

// Copies a file through writeFileAtomic.
Status copyFileAtomic(const fs::path& from, const fs::path& to);

// Size of a file, or an error when it does not exist or is not a regular file.
Result<uint64_t> fileSize(const fs::path& path);

// A fresh, private temporary file in the system's temporary folder, removed when
// this object goes away.
class TempFile {
public:
    explicit TempFile(std::string_view stem = "ov");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const fs::path& path() const { return path_; }
    bool valid() const { return !path_.empty(); }

private:
    fs::path path_;
};

// Removes leading and trailing blanks (spaces, tabs, line ends), as every file
// procedure of the data editor does with its path arguments.
std::string trim(std::string_view s);

}  // namespace ov
