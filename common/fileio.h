#pragma once
// Whole-file and positioned file access for every tool of the kit.
//
// Whole files are always rewritten through a temporary file in the target's own
// folder that is renamed over the target once it is complete, so a failed write
// never leaves a half-written file behind. Positioned patches (a few bytes of a
// statistics record, a FAT entry) write in place, as the game files are large and
// the changes small.
//
// Temporary files are named ".ov-" followed by twelve letters and digits and
// ".ovtmp", whatever the target's name (so a target name of any legal length still
// has room for one). One that outlives its writer (a killed process, a power cut)
// is found again by temporaryFilesIn().
//
// Every failure of a system call carries the system's reason in Error::cause and
// its text in the message.
//
// Every function here is safe to call from any thread; two threads writing the
// same file at once get whichever write lands last.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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

// Copies a file through a temporary file renamed over `to`.
Status copyFileAtomic(const fs::path& from, const fs::path& to);

struct FileWrite {
    fs::path path;
    ByteSpan bytes;
};

// Replaces (or creates) every file of `files`, or none of them: all are written to
// temporary files first, and only when every one is complete are they renamed into
// place, in order. When a rename fails, the files already renamed are put back as
// they were (a file that did not exist is removed again). Needs no free space for
// putting back.
Status writeFilesTogether(std::span<const FileWrite> files);

// Size of a file, or an error when it does not exist or is not a regular file.
Result<uint64_t> fileSize(const fs::path& path);

// Nothing when a path names a regular file (links followed); otherwise what it
// names: "no such file", "a folder", "a FIFO", "a device", "a socket" or "not a
// regular file".
std::optional<std::string> notARegularFile(const fs::path& path);
// A NotFound error for such a path, saying what is there: "PATH: no such file" or
// "PATH: a folder, not a file".
Error notAFileError(const fs::path& path, const std::string& what);

// What tells one file from another on its volume, whatever names lead to it.
struct FileId {
    uint64_t volume = 0;
    uint64_t file = 0;
    bool operator==(const FileId&) const = default;
};

// The identity of the file a path names, following symbolic links. A missing file
// is ErrorKind::NotFound.
Result<FileId> fileIdOf(const fs::path& path);

// Whether two paths name one file (a link, a second name, the same path spelled
// differently). False when either does not exist.
bool sameFile(const fs::path& a, const fs::path& b);

// An advisory lock that every writer of a file takes while it writes, held from
// before it checks the file until after its last write or rename, so that two
// writers never work from one old state. A writer that renames a new file over the
// path keeps the lock on the old one; a writer waiting for it then finds the path
// naming another file and locks that one instead. A process that dies drops its
// locks. Readers need none. Locks of one file taken twice in one process exclude
// each other as they would in two.
class WriteLock {
public:
    // Locks the file a path names (links followed), trying again for up to `wait`
    // while another writer holds it. Errors: NotFound (no such file), Refused with
    // "PATH is busy: another program is writing it" once the wait is over.
    static Result<WriteLock> acquire(const fs::path& path,
                                     std::chrono::milliseconds wait = std::chrono::seconds(3));

    WriteLock(WriteLock&& other) noexcept;
    WriteLock& operator=(WriteLock&& other) noexcept;
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    ~WriteLock();

    // The file locked: the one the path named when the lock was taken.
    const FileId& id() const { return id_; }
    // Whether the path still names the file locked (a writer that ignores the lock
    // may have replaced it).
    bool stillNamedBy(const fs::path& path) const;

private:
    WriteLock(intptr_t handle, FileId id) : handle_(handle), id_(id) {}
    void release();

    intptr_t handle_;
    FileId id_;
};

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

    // The identity of the open file (not of whatever its path names now).
    Result<FileId> id() const;

private:
    friend class AtomicFile;
    friend class FolderFile;
    explicit ReadOnlyFile(intptr_t handle) : handle_(handle) {}
    void close();

    intptr_t handle_;  // a file descriptor, or a Windows HANDLE
};

// A whole file being written, at once or in pieces (a rebuilt archive too large to
// hold in memory): its bytes go to a fresh temporary file in the target's folder,
// which one of the commits renames to the target's name. Until then the target is
// untouched, and a file never committed is removed when this object goes away. Not
// for use by two threads at once.
class AtomicFile {
public:
    // Whether a commit first puts the bytes on the disk, so a crash leaves the old
    // file or the whole new one: worth its cost for a large file that replaces a
    // player's only copy, not for each of thousands of extracted items.
    enum class Flush { None, ToDisk };

    // Creates the temporary file. Errors: NotFound (the folder does not exist),
    // WriteFailed (the folder takes no new file; the cause says why).
    static Result<AtomicFile> create(const fs::path& target);

    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&& other) noexcept;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    const fs::path& target() const { return target_; }
    const fs::path& temporaryPath() const { return temp_; }

    // Appends bytes. A failure (a full disk, say) is WriteFailed with its cause.
    Status write(ByteSpan bytes);
    // Writes bytes at offset, growing the file when they reach past its end (a header
    // filled in once the rest is written).
    Status writeAt(uint64_t offset, ByteSpan bytes);
    // Appends `size` bytes of `source` from `offset`: copied inside the system where
    // it can (copy_file_range), otherwise through one small buffer, so the bytes never
    // need to be held in memory. Fails (ReadFailed) when the source ends first.
    Status copyFrom(const ReadOnlyFile& source, uint64_t offset, uint64_t size);
    // The file's size so far.
    uint64_t size() const { return size_; }

    // Closes the temporary file, reporting a write error that closing reveals. The
    // commits call it; call it early to know every byte is written before deciding.
    Status finish(Flush flush = Flush::None);

    // Renames the file to the target's name unless something already has that
    // name: true when done, false when the target exists (the file is kept for
    // commit() or discard()).
    Result<bool> commitIfAbsent();
    // Renames the file over the target, which keeps its permissions. Only a regular
    // file is replaced: a folder, a FIFO or a device is refused (Refused), never
    // turned into a file. On Windows an open target (the archive being rebuilt) is moved
    // aside first and deleted once its readers close it.
    Status commit(Flush flush = Flush::None);
    // Removes the temporary file.
    void discard();

private:
    AtomicFile() = default;
    Error failure(const char* what, std::error_code cause) const;

    fs::path target_;
    fs::path temp_;
    intptr_t handle_ = -1;  // open while bytes are being written
    uint64_t size_ = 0;     // bytes in the file
    bool done_ = false;     // committed or discarded
};

// A folder kept open so that many whole files can be written in it by bare name
// (thousands of extracted items): each system call then looks up one name, not
// every folder of a long path. Not for use by two threads at once.
class OpenFolder {
public:
    // Errors: NotFound (no such folder), ReadFailed (it cannot be opened).
    static Result<OpenFolder> open(const fs::path& folder);

    OpenFolder(OpenFolder&& other) noexcept;
    OpenFolder& operator=(OpenFolder&& other) noexcept;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    ~OpenFolder();

    const fs::path& path() const { return path_; }

private:
    friend class FolderFile;
    OpenFolder() = default;

    fs::path path_;
    intptr_t handle_ = -1;  // a folder descriptor on POSIX; unused on Windows
};

// A whole file being written in an open folder, under the same rule as AtomicFile:
// nothing stands under its name until every byte is written. On Linux the file is
// made without a name (O_TMPFILE) and given its name when complete, which changes
// the folder once instead of twice; elsewhere, or where the file system cannot,
// it is a temporary file renamed into place. The folder must outlive it.
class FolderFile {
public:
    // Errors as AtomicFile::create's.
    static Result<FolderFile> create(const OpenFolder& folder, std::string_view name);

    FolderFile(FolderFile&& other) noexcept;
    FolderFile& operator=(FolderFile&& other) noexcept;
    FolderFile(const FolderFile&) = delete;
    FolderFile& operator=(const FolderFile&) = delete;
    ~FolderFile();

    // The path the file gets, for messages.
    fs::path target() const;

    // As AtomicFile's.
    Status write(ByteSpan bytes);
    Status copyFrom(const ReadOnlyFile& source, uint64_t offset, uint64_t size);
    Result<bool> commitIfAbsent();
    Status commit();
    void discard();

private:
    FolderFile() = default;
    Error failure(const char* what, std::error_code cause) const;
    Status finishNamed();

    const OpenFolder* folder_ = nullptr;
    std::string name_;
    intptr_t handle_ = -1;  // open until the file has its name
    uint64_t size_ = 0;
    std::string temp_;  // the temporary name in the folder, when the file has one
    bool done_ = false;
#ifdef _WIN32
    std::optional<AtomicFile> atomic_;
#endif
};

// Whether a file name is that of one of the kit's temporary files.
bool isTemporaryFileName(std::string_view fileName);

struct TemporaryFile {
    fs::path path;
    uint64_t size = 0;
    fs::file_time_type modified;
};

// The kit's temporary files in a folder (and its subfolders, with `recursive`;
// links to folders are not followed). Any one found before a writer starts in that
// folder is left over from a write that never finished, or belongs to another
// program writing there at this moment. Unreadable folders are skipped.
std::vector<TemporaryFile> temporaryFilesIn(const fs::path& folder, bool recursive = false);

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

// The folder of the running program's executable, where the libraries it loads
// by name are first looked for; empty where the system cannot tell.
fs::path programFolder();

// Removes leading and trailing blanks (spaces, tabs, line ends), as every file
// procedure of the data editor does with its path arguments.
std::string trim(std::string_view s);

// The text with every control character (ASCII 0-31 and 127, and the C1 controls
// 128-159 written as UTF-8) shown as '?', so that a name read from a file cannot
// drive a terminal or start a line of its own in a message.
std::string printable(std::string_view text);

// True when two names are equal ignoring ASCII letter case: how the game's file
// names, archive entries and ship names are matched.
bool sameNameIgnoringCase(std::string_view a, std::string_view b);

// ---- Test seam --------------------------------------------------------------------
// Makes a step of this file layer fail on purpose, on the calling thread only, so a
// test can see what a writer does when the disk fills up half-way or a rename is
// refused. Inert unless a test creates one; the steps of other threads never see it.

enum class FileStep {
    Create,  // creating a temporary file
    Write,   // writing bytes (AtomicFile::write and copyFrom, writeFileAt)
    Rename,  // a commit's rename, and putting a file back after one failed
};

class ScopedFileFault {
public:
    // The step after `skip` more successful steps of this kind fails with `error`;
    // so does every later one when `sticky` (a disk that stays full).
    ScopedFileFault(FileStep step, unsigned skip, std::errc error, bool sticky = false);
    ~ScopedFileFault();
    ScopedFileFault(const ScopedFileFault&) = delete;
    ScopedFileFault& operator=(const ScopedFileFault&) = delete;

    // How many times the fault has struck so far.
    unsigned struck() const;
};

}  // namespace ov
