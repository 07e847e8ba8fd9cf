#pragma once
// Whole-file and positioned file access for every tool of the kit.
//
// Whole files are always rewritten through a temporary file in the target's own
// folder that is renamed over the target once it is complete, so a failed write
// never leaves a half-written file behind. Positioned patches (a few bytes of a
// statistics record, a FAT entry) write in place, as the game files are large and
// the changes small.
//
// Every function here is safe to call from any thread; two threads writing the
// same file at once get whichever write lands last.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "bytes.h"
#include "result.h"

namespace ov {

namespace fs = std::filesystem;

// Reads a whole file. Refuses files larger than maxBytes (ErrorKind::OutOfRange);
// a missing file is ErrorKind::NotFound, one that cannot be read ReadFailed.
Result<Bytes> readFile(const fs::path& path, uint64_t maxBytes = uint64_t(1) << 32);

// Reads up to n bytes at offset; fewer when the file ends first.
Result<Bytes> readFileAt(const fs::path& path, uint64_t offset, size_t n);

// Writes bytes at offset of an existing file without changing its length beyond
// offset + bytes.size(). The file must exist (ErrorKind::NotFound otherwise).
Status writeFileAt(const fs::path& path, uint64_t offset, ByteSpan bytes);

// Replaces (or creates) path with exactly `bytes`, through a temporary file in the
// same folder renamed over the target. A missing folder is ErrorKind::NotFound.
Status writeFileAtomic(const fs::path& path, ByteSpan bytes);

// Copies a file through writeFileAtomic.
Status copyFileAtomic(const fs::path& from, const fs::path& to);

// Size of a file, or an error when it does not exist or is not a regular file.
Result<uint64_t> fileSize(const fs::path& path);

// A file kept open for reading at any offset. Every read names its own offset
// (pread on POSIX, ReadFile with an offset on Windows) and no file position is
// shared, so any number of threads may read one open file at the same time.
// Bytes patched through another handle are seen by the next read.
class ReadOnlyFile {
public:
    static Result<ReadOnlyFile> open(const fs::path& path);

    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile();

    // Reads up to dst.size() bytes at offset; fewer only where the file ends.
    Result<size_t> readAt(uint64_t offset, std::span<uint8_t> dst) const;

private:
    friend class StagedFile;
    explicit ReadOnlyFile(intptr_t handle) : handle_(handle) {}
    void close();

    intptr_t handle_;  // a file descriptor, or a Windows HANDLE
};

// A whole file written in pieces, for outputs too large to hold in memory (a
// rebuilt archive): the bytes go to a temporary file in the target's folder, and
// commit() flushes it to the disk and renames it over the target, keeping the
// replaced file's permissions. Until then the target is untouched, and an object
// dropped without a successful commit() removes its temporary file. One thread at a
// time.
class StagedFile {
public:
    // A missing folder is ErrorKind::NotFound; a target that is a folder, or a folder
    // where no file can be created, WriteFailed.
    static Result<StagedFile> create(const fs::path& target);

    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile();

    // Appends bytes at the end.
    Status write(ByteSpan bytes);
    // Writes bytes at offset, growing the file when they reach past its end (a header
    // filled in once the rest is written).
    Status writeAt(uint64_t offset, ByteSpan bytes);
    // Appends `size` bytes of `from` starting at `offset`. The system copies them
    // (copy_file_range) where it can, otherwise they pass through a fixed buffer, so
    // memory does not grow with `size`. Fails (ReadFailed) when `from` ends first.
    Status copyFrom(const ReadOnlyFile& from, uint64_t offset, uint64_t size);

    uint64_t size() const { return size_; }
    const fs::path& target() const { return target_; }

    // Flushes the file to the disk and renames it over the target. After a failure the
    // target is as it was and the temporary file is gone.
    Status commit();

private:
    StagedFile() = default;
    void discard();
    Status writeRaw(uint64_t offset, ByteSpan bytes);

    fs::path target_;
    fs::path temp_;
    intptr_t handle_ = -1;  // a file descriptor, or a Windows HANDLE
    uint64_t size_ = 0;
    Bytes buffer_;  // for copies the system does not make itself
};

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

// A path from its text and back. Text is UTF-8 on every platform. On Windows a
// std::string made into a path directly is read in the C runtime's code page by
// mingw-w64's C++ library, and anything outside Latin-1 turns into other
// characters: text given by the user becomes a path through pathFromText. Text
// that is not UTF-8 is taken byte by byte.
fs::path pathFromText(std::string_view text);
std::string pathText(const fs::path& path);

// Removes leading and trailing blanks (spaces, tabs, line ends), as every file
// procedure of the data editor does with its path arguments.
std::string trim(std::string_view s);

// True when two names are equal ignoring ASCII letter case: how the game's file
// names, archive entries and ship names are matched.
bool sameNameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace ov
