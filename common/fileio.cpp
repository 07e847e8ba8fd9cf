#include "fileio.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ov {

namespace {

// ---- The test seam ----------------------------------------------------------------

struct Fault {
    bool armed = false;
    FileStep step = FileStep::Create;
    unsigned skip = 0;
    std::errc error = std::errc::io_error;
    bool sticky = false;
    unsigned struck = 0;
};

thread_local Fault t_fault;

// The error a test has asked this step to fail with, if any.
std::error_code injected(FileStep step) {
    Fault& f = t_fault;
    if (!f.armed || f.step != step) return {};
    if (f.skip > 0) {
        --f.skip;
        return {};
    }
    ++f.struck;
    if (!f.sticky) f.armed = false;
    return std::make_error_code(f.error);
}

// ---- Small helpers ----------------------------------------------------------------

std::error_code lastError() {
#ifdef _WIN32
    return std::error_code(int(GetLastError()), std::system_category());
#else
    return std::error_code(errno, std::generic_category());
#endif
}

Error systemError(ErrorKind kind, std::string message, std::error_code cause) {
    Error e = makeError(kind, std::move(message) + ": " + cause.message());
    e.cause = cause;
    return e;
}

bool isMissing(std::error_code ec) {
    return ec == std::errc::no_such_file_or_directory
#ifdef _WIN32
           || ec.value() == ERROR_PATH_NOT_FOUND || ec.value() == ERROR_FILE_NOT_FOUND
#endif
        ;
}

constexpr std::string_view kTempPrefix = ".ov-";
constexpr std::string_view kTempSuffix = ".ovtmp";
constexpr size_t kTempRandom = 12;

// Twelve letters and digits, different in every call of every process.
std::string randomLetters() {
    static std::atomic<uint64_t> counter{0};
    static const uint64_t seed = [] {
        std::random_device rd;
        return (uint64_t(rd()) << 32) ^ rd() ^
               uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    }();
    uint64_t v = seed + ++counter * 0x9E3779B97F4A7C15ull;
    // A final mix, so consecutive names share no visible pattern.
    v ^= v >> 31;
    v *= 0xBF58476D1CE4E5B9ull;
    v ^= v >> 29;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s;
    for (size_t i = 0; i < kTempRandom; ++i) {
        s += digits[v % 36];
        v /= 36;
    }
    return s;
}

fs::path folderOf(const fs::path& target) {
    fs::path dir = target.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

// ---- System calls, one set per platform ---------------------------------------------

constexpr intptr_t kNoHandle = -1;

#ifdef _WIN32

HANDLE asHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// Creates a file that did not exist before; an error code when the system refuses.
intptr_t createNew(const fs::path& p, std::error_code& ec) {
    HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ec = lastError();
        return kNoHandle;
    }
    return reinterpret_cast<intptr_t>(h);
}

bool existsError(std::error_code ec) {
    return ec.value() == ERROR_FILE_EXISTS || ec.value() == ERROR_ALREADY_EXISTS;
}

// Writes at a position; the handle's own position is never used.
std::error_code writeAllAt(intptr_t h, uint64_t offset, const uint8_t* data, size_t n) {
    while (n > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD chunk = DWORD(std::min<size_t>(n, size_t(1) << 30));
        DWORD put = 0;
        if (!WriteFile(asHandle(h), data, chunk, &put, &at)) return lastError();
        if (put == 0) return std::make_error_code(std::errc::no_space_on_device);
        data += put;
        offset += put;
        n -= put;
    }
    return {};
}

std::error_code syncHandle(intptr_t h) {
    return FlushFileBuffers(asHandle(h)) ? std::error_code() : lastError();
}

// Windows keeps a rename on the disk with the file's own flush; nothing to do.
void syncFolder(const fs::path&) {}

std::error_code closeHandle(intptr_t h) {
    return CloseHandle(asHandle(h)) ? std::error_code() : lastError();
}

// Renames without replacing: false when the target exists.
std::error_code renameNoReplace(const fs::path& from, const fs::path& to, bool& existed) {
    existed = false;
    if (MoveFileExW(from.c_str(), to.c_str(), 0)) return {};
    std::error_code ec = lastError();
    if (existsError(ec)) {
        existed = true;
        return {};
    }
    return ec;
}

std::error_code renameReplace(const fs::path& from, const fs::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return {};
    return lastError();
}

std::error_code hardLink(const fs::path& existing, const fs::path& link) {
    if (CreateHardLinkW(link.c_str(), existing.c_str(), nullptr)) return {};
    return lastError();
}

Result<FileId> idOfHandle(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        return systemError(ErrorKind::ReadFailed, "cannot tell the file's identity", lastError());
    return FileId{info.dwVolumeSerialNumber,
                  (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

#else

intptr_t createNew(const fs::path& p, std::error_code& ec) {
    int fd;
    do {
        fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) ec = lastError();
    return fd;
}

bool existsError(std::error_code ec) {
    return ec == std::errc::file_exists;
}

std::error_code writeAllAt(intptr_t fd, uint64_t offset, const uint8_t* data, size_t n) {
    while (n > 0) {
        ssize_t put = ::pwrite(int(fd), data, n, off_t(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        if (put == 0) return std::make_error_code(std::errc::no_space_on_device);
        data += put;
        offset += uint64_t(put);
        n -= size_t(put);
    }
    return {};
}

std::error_code syncHandle(intptr_t fd) {
    return ::fsync(int(fd)) == 0 ? std::error_code() : lastError();
}

// Puts a rename in `folder` on the disk; a failure leaves a whole file either way.
void syncFolder(const fs::path& folder) {
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
}

std::error_code closeHandle(intptr_t fd) {
    // A close that fails has still released the descriptor; its error is a write
    // error (NFS and some full disks report there).
    return ::close(int(fd)) == 0 ? std::error_code() : lastError();
}

std::error_code renameReplace(const fs::path& from, const fs::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : lastError();
}

std::error_code renameNoReplace(const fs::path& from, const fs::path& to, bool& existed) {
    existed = false;
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    if (errno == EEXIST) {
        existed = true;
        return {};
    }
    // File systems without it say EINVAL; old kernels ENOSYS. Then a link, which
    // never replaces either.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return lastError();
#endif
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return {};
    }
    if (errno == EEXIST) {
        existed = true;
        return {};
    }
    // A file system without links: look first, then rename.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        existed = true;
        return {};
    }
    return renameReplace(from, to);
}

std::error_code hardLink(const fs::path& existing, const fs::path& link) {
    return ::link(existing.c_str(), link.c_str()) == 0 ? std::error_code() : lastError();
}

#endif

// Creates "<folder>/<prefix><random><suffix>" exclusively.
intptr_t createUnique(const fs::path& folder, std::string_view prefix, std::string_view suffix,
                      fs::path& out, std::error_code& ec) {
    if (std::error_code fault = injected(FileStep::Create)) {
        ec = fault;
        return kNoHandle;
    }
    for (int attempt = 0; attempt < 64; ++attempt) {
        fs::path candidate = folder / (std::string(prefix) + randomLetters() + std::string(suffix));
        ec.clear();
        intptr_t h = createNew(candidate, ec);
        if (h != kNoHandle) {
            out = std::move(candidate);
            return h;
        }
        if (!existsError(ec)) return kNoHandle;
    }
    return kNoHandle;
}

// A second name for `target` in its folder, so it can be put back after being
// replaced: a hard link where the file system has them, else the file itself moved
// there.
Result<fs::path> keepAside(const fs::path& target) {
    const fs::path folder = folderOf(target);
    std::error_code ec;
    for (int attempt = 0; attempt < 64; ++attempt) {
        fs::path aside =
            folder / (std::string(kTempPrefix) + randomLetters() + std::string(kTempSuffix));
        ec = hardLink(target, aside);
        if (!ec) return aside;
        if (existsError(ec)) continue;
        ec = renameReplace(target, aside);
        if (!ec) return aside;
        break;
    }
    return systemError(ErrorKind::WriteFailed, pathText(target) + ": cannot keep it aside", ec);
}

#ifdef _WIN32
// Moves `target` to a fresh temporary name beside it.
std::optional<fs::path> movedAside(const fs::path& target) {
    for (int attempt = 0; attempt < 64; ++attempt) {
        fs::path aside = folderOf(target) /
                         (std::string(kTempPrefix) + randomLetters() + std::string(kTempSuffix));
        if (MoveFileExW(target.c_str(), aside.c_str(), 0)) return aside;
        if (!existsError(lastError())) break;
    }
    return std::nullopt;
}
#endif

}  // namespace

// ---- Identity -------------------------------------------------------------------------

#ifdef _WIN32

Result<FileId> fileIdOf(const fs::path& path) {
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::error_code ec = lastError();
        return systemError(isMissing(ec) ? ErrorKind::NotFound : ErrorKind::ReadFailed,
                           pathText(path), ec);
    }
    auto id = idOfHandle(h);
    CloseHandle(h);
    return id;
}

Result<FileId> ReadOnlyFile::id() const {
    return idOfHandle(asHandle(handle_));
}

#else

Result<FileId> fileIdOf(const fs::path& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        std::error_code ec = lastError();
        return systemError(isMissing(ec) ? ErrorKind::NotFound : ErrorKind::ReadFailed,
                           pathText(path), ec);
    }
    return FileId{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

Result<FileId> ReadOnlyFile::id() const {
    struct stat st;
    if (::fstat(int(handle_), &st) != 0)
        return systemError(ErrorKind::ReadFailed, "cannot tell the file's identity", lastError());
    return FileId{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

#endif

bool sameFile(const fs::path& a, const fs::path& b) {
    auto x = fileIdOf(a);
    auto y = fileIdOf(b);
    return x && y && *x == *y;
}

namespace {

const char* nonRegularKind(const fs::file_status& st) {
    switch (st.type()) {
        case fs::file_type::not_found:
            return "no such file";
        case fs::file_type::directory:
            return "a folder";
        case fs::file_type::fifo:
            return "a FIFO";
        case fs::file_type::block:
        case fs::file_type::character:
            return "a device";
        case fs::file_type::socket:
            return "a socket";
        case fs::file_type::regular:
            return nullptr;
        default:
            return "not a regular file";
    }
}

}  // namespace

std::optional<std::string> notARegularFile(const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec && st.type() != fs::file_type::not_found) return ec.message();
    if (const char* kind = nonRegularKind(st)) return std::string(kind);
    return std::nullopt;
}

Error notAFileError(const fs::path& path, const std::string& what) {
    if (what == "no such file") return makeError(ErrorKind::NotFound, pathText(path) + ": " + what);
    return makeError(ErrorKind::NotFound, pathText(path) + ": " + what + ", not a file");
}

Result<uint64_t> fileSize(const fs::path& path) {
    std::error_code ec;
    if (auto what = notARegularFile(path)) return notAFileError(path, *what);
    uint64_t size = fs::file_size(path, ec);
    if (ec) return systemError(ErrorKind::ReadFailed, pathText(path), ec);
    return size;
}

// ---- WriteLock ----------------------------------------------------------------------

namespace {

#ifdef _WIN32
// Windows locks are mandatory for the bytes they cover: the one byte locked lies far
// past the end of any archive, so readers of the file never meet it.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFEu, kLockOffsetHigh = 0x7FFFFFFFu;

intptr_t openForLock(const fs::path& path, std::error_code& ec) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ec = lastError();
        return kNoHandle;
    }
    return reinterpret_cast<intptr_t>(h);
}

// True when locked; false when another holder has it.
bool tryLock(intptr_t h, std::error_code& ec) {
    OVERLAPPED at{};
    at.Offset = kLockOffsetLow;
    at.OffsetHigh = kLockOffsetHigh;
    if (LockFileEx(asHandle(h), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return true;
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING)
        ec = lastError();
    return false;
}

Result<FileId> idOfLocked(intptr_t h) {
    return idOfHandle(asHandle(h));
}

void closeLocked(intptr_t h) {
    CloseHandle(asHandle(h));  // drops the lock with the handle
}
#else
intptr_t openForLock(const fs::path& path, std::error_code& ec) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) ec = lastError();
    return fd;
}

bool tryLock(intptr_t fd, std::error_code& ec) {
    while (::flock(int(fd), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) ec = lastError();
        return false;
    }
    return true;
}

Result<FileId> idOfLocked(intptr_t fd) {
    struct stat st;
    if (::fstat(int(fd), &st) != 0)
        return systemError(ErrorKind::ReadFailed, "cannot tell the file's identity", lastError());
    return FileId{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

void closeLocked(intptr_t fd) {
    ::close(int(fd));  // drops the lock with the descriptor
}
#endif

}  // namespace

Result<WriteLock> WriteLock::acquire(const fs::path& path, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (auto what = notARegularFile(path)) return notAFileError(path, *what);
        std::error_code ec;
        const intptr_t h = openForLock(path, ec);
        if (h == kNoHandle) {
            if (isMissing(ec)) return makeError(ErrorKind::NotFound, pathText(path) + ": no such file");
            return systemError(ErrorKind::ReadFailed, pathText(path) + ": cannot open", ec);
        }
        bool locked = tryLock(h, ec);
        while (!locked && !ec && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            locked = tryLock(h, ec);
        }
        if (!locked) {
            closeLocked(h);
            if (ec) return systemError(ErrorKind::WriteFailed, pathText(path) + ": cannot lock", ec);
            return makeError(ErrorKind::Refused,
                             pathText(path) + " is busy: another program is writing it; try "
                                              "again when it has finished");
        }
        auto id = idOfLocked(h);
        auto named = fileIdOf(path);
        if (!id) {
            closeLocked(h);
            return id.error();
        }
        if (named && *named == *id) return WriteLock(h, *id);
        // The holder before us renamed a new file over the path: lock that one.
        closeLocked(h);
        if (!named && named.error().kind != ErrorKind::NotFound) return named.error();
    }
}

WriteLock::WriteLock(WriteLock&& other) noexcept : handle_(other.handle_), id_(other.id_) {
    other.handle_ = kNoHandle;
}

WriteLock& WriteLock::operator=(WriteLock&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = other.handle_;
        id_ = other.id_;
        other.handle_ = kNoHandle;
    }
    return *this;
}

WriteLock::~WriteLock() {
    release();
}

void WriteLock::release() {
    if (handle_ != kNoHandle) closeLocked(handle_);
    handle_ = kNoHandle;
}

bool WriteLock::stillNamedBy(const fs::path& path) const {
    auto named = fileIdOf(path);
    return named && *named == id_;
}

// ---- ReadOnlyFile -------------------------------------------------------------------

#ifdef _WIN32

Result<ReadOnlyFile> ReadOnlyFile::open(const fs::path& path) {
    // Sharing writes and deletes as well: the editors patch an open archive in place.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return systemError(ErrorKind::ReadFailed, pathText(path) + ": cannot open for reading",
                           lastError());
    return ReadOnlyFile(reinterpret_cast<intptr_t>(h));
}

void ReadOnlyFile::close() {
    if (handle_ != kNoHandle) CloseHandle(asHandle(handle_));
    handle_ = kNoHandle;
}

Result<size_t> ReadOnlyFile::readAt(uint64_t offset, std::span<uint8_t> dst) const {
    size_t done = 0;
    while (done < dst.size()) {
        // The offset travels with the call, so concurrent reads do not disturb each
        // other even on a handle opened for synchronous access.
        OVERLAPPED at{};
        const uint64_t pos = offset + done;
        at.Offset = DWORD(pos & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(pos >> 32);
        const size_t want = dst.size() - done;
        DWORD chunk = DWORD(want < (size_t(1) << 30) ? want : (size_t(1) << 30));
        DWORD got = 0;
        if (!ReadFile(asHandle(handle_), dst.data() + done, chunk, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            Error e = systemError(ErrorKind::ReadFailed, "read error", lastError());
            e.offset = pos;
            return e;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

#else

Result<ReadOnlyFile> ReadOnlyFile::open(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return systemError(ErrorKind::ReadFailed, pathText(path) + ": cannot open for reading",
                           lastError());
    return ReadOnlyFile(fd);
}

void ReadOnlyFile::close() {
    if (handle_ != kNoHandle) ::close(int(handle_));
    handle_ = kNoHandle;
}

Result<size_t> ReadOnlyFile::readAt(uint64_t offset, std::span<uint8_t> dst) const {
    size_t done = 0;
    while (done < dst.size()) {
        const uint64_t pos = offset + done;
        ssize_t got = ::pread(int(handle_), dst.data() + done, dst.size() - done, off_t(pos));
        if (got < 0) {
            if (errno == EINTR) continue;
            Error e = systemError(ErrorKind::ReadFailed, "read error", lastError());
            e.offset = pos;
            return e;
        }
        if (got == 0) break;
        done += size_t(got);
    }
    return done;
}

#endif

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kNoHandle;
}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = kNoHandle;
    }
    return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
    close();
}

// ---- AtomicFile ---------------------------------------------------------------------

Result<AtomicFile> AtomicFile::create(const fs::path& target) {
    AtomicFile f;
    f.target_ = target;
    const fs::path folder = folderOf(target);
    std::error_code ec;
    // Refused before anything is made beside it (in /dev, say): see commit().
    if (const auto st = fs::status(target, ec);
        fs::exists(st) && !fs::is_regular_file(st) && !fs::is_directory(st))
        return makeError(ErrorKind::Refused, pathText(target) + ": cannot replace it: it is " +
                                                 nonRegularKind(st) + ", not a file");
    f.handle_ = createUnique(folder, kTempPrefix, kTempSuffix, f.temp_, ec);
    if (f.handle_ == kNoHandle) {
        if (isMissing(ec)) {
            Error e = makeError(ErrorKind::NotFound, pathText(folder) + ": no such folder");
            e.cause = ec;
            return e;
        }
        return systemError(ErrorKind::WriteFailed,
                           pathText(target) + ": cannot create a file in " + pathText(folder), ec);
    }
    return f;
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      handle_(other.handle_),
      size_(other.size_),
      done_(other.done_) {
    other.handle_ = kNoHandle;
    other.done_ = true;
}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        temp_ = std::move(other.temp_);
        handle_ = other.handle_;
        size_ = other.size_;
        done_ = other.done_;
        other.handle_ = kNoHandle;
        other.done_ = true;
    }
    return *this;
}

AtomicFile::~AtomicFile() {
    discard();
}

Error AtomicFile::failure(const char* what, std::error_code cause) const {
    return systemError(ErrorKind::WriteFailed, pathText(target_) + ": " + what, cause);
}

Status AtomicFile::write(ByteSpan bytes) {
    return writeAt(size_, bytes);
}

Status AtomicFile::writeAt(uint64_t offset, ByteSpan bytes) {
    if (handle_ == kNoHandle)
        return makeError(ErrorKind::WriteFailed, pathText(target_) + ": closed");
    if (std::error_code fault = injected(FileStep::Write)) return failure("write error", fault);
    if (std::error_code ec = writeAllAt(handle_, offset, bytes.data(), bytes.size()))
        return failure("write error", ec);
    size_ = std::max<uint64_t>(size_, offset + bytes.size());
    return {};
}

namespace {

// Appends `size` bytes of `source` from `offset` to the file `dst`, whose size so far
// `dstSize` counts the bytes as they land. `fail` makes the error of a failed write.
template <class Fail>
Status copyInto(const ReadOnlyFile& source, intptr_t sourceHandle, uint64_t offset,
                uint64_t size, intptr_t dst, uint64_t& dstSize, Fail fail) {
    if (std::error_code fault = injected(FileStep::Write)) return fail("write error", fault);
    auto cutShort = [&](uint64_t at) {
        return makeError(ErrorKind::ReadFailed, "the source ends before its stated size", at);
    };
#if defined(__linux__)
    // In-kernel copy: the bytes never pass through this process. Not every file
    // system pair or kernel takes it; the first refusal turns it off for good.
    static std::atomic<bool> kernelCopyWorks{true};
    while (size > 0 && kernelCopyWorks.load(std::memory_order_relaxed)) {
        off64_t from = off64_t(offset), to = off64_t(dstSize);
        ssize_t n = ::copy_file_range(int(sourceHandle), &from, int(dst), &to,
                                      size_t(std::min<uint64_t>(size, uint64_t(1) << 30)), 0);
        if (n > 0) {
            offset += uint64_t(n);
            size -= uint64_t(n);
            dstSize += uint64_t(n);
            continue;
        }
        if (n == 0) return cutShort(offset);
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
            errno == EBADF || errno == EPERM) {
            kernelCopyWorks.store(false, std::memory_order_relaxed);
            break;
        }
        return fail("write error", lastError());
    }
#else
    (void)sourceHandle;
#endif
    if (size == 0) return {};
    // Through one buffer small enough to stay in the processor's cache.
    const size_t bufferSize = size_t(std::min<uint64_t>(size, 128 * 1024));
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[bufferSize]);
    while (size > 0) {
        const size_t want = size_t(std::min<uint64_t>(size, bufferSize));
        auto got = source.readAt(offset, std::span<uint8_t>(buffer.get(), want));
        if (!got) return got.error();
        if (*got == 0) return cutShort(offset);
        if (std::error_code ec = writeAllAt(dst, dstSize, buffer.get(), *got))
            return fail("write error", ec);
        dstSize += *got;
        offset += *got;
        size -= *got;
    }
    return {};
}

}  // namespace

Status AtomicFile::copyFrom(const ReadOnlyFile& source, uint64_t offset, uint64_t size) {
    if (handle_ == kNoHandle)
        return makeError(ErrorKind::WriteFailed, pathText(target_) + ": closed");
    return copyInto(source, source.handle_, offset, size, handle_, size_,
                    [this](const char* what, std::error_code ec) { return failure(what, ec); });
}

Status AtomicFile::finish(Flush flush) {
    if (handle_ == kNoHandle) return {};
    std::error_code ec = flush == Flush::ToDisk ? syncHandle(handle_) : std::error_code();
    std::error_code closed = closeHandle(handle_);
    handle_ = kNoHandle;
    if (ec || closed) return failure("write error", ec ? ec : closed);
    return {};
}

Result<bool> AtomicFile::commitIfAbsent() {
    if (done_) return makeError(ErrorKind::WriteFailed, pathText(target_) + ": nothing to commit");
    if (auto st = finish(); !st) return st.error();
    if (std::error_code fault = injected(FileStep::Rename))
        return failure("cannot rename the written file into place", fault);
    bool existed = false;
    if (std::error_code ec = renameNoReplace(temp_, target_, existed))
        return failure("cannot rename the written file into place", ec);
    if (existed) return false;
    done_ = true;
    return true;
}

Status AtomicFile::commit(Flush flush) {
    if (done_) return makeError(ErrorKind::WriteFailed, pathText(target_) + ": nothing to commit");
    if (auto st = finish(flush); !st) return st.error();
    std::error_code ec;
    const auto status = fs::status(target_, ec);
    if (fs::is_directory(status))
        return failure("cannot replace it", std::make_error_code(std::errc::is_a_directory));
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        // Renaming over a FIFO or a device node would put a file where the system
        // had something else (run as root, over /dev/null).
        return makeError(ErrorKind::Refused, pathText(target_) + ": cannot replace it: it is " +
                                                 nonRegularKind(status) + ", not a file");
    }
    // Keep the permissions of the file being replaced.
    if (fs::is_regular_file(status)) fs::permissions(temp_, status.permissions(), ec);
    if (std::error_code fault = injected(FileStep::Rename))
        return failure("cannot rename the written file into place", fault);
    if (std::error_code e = renameReplace(temp_, target_)) {
#ifdef _WIN32
        // Windows refuses to replace a file that is open, even one opened for reading
        // with delete sharing (an archive being rebuilt is). Such a file can still be
        // renamed: move it aside, move the new one in, and delete the old one, which
        // goes once its last reader closes it.
        if (e.value() == ERROR_ACCESS_DENIED || e.value() == ERROR_SHARING_VIOLATION) {
            if (auto aside = movedAside(target_)) {
                if (!renameReplace(temp_, target_)) {
                    DeleteFileW(aside->c_str());
                    done_ = true;
                    return {};
                }
                (void)renameReplace(*aside, target_);
            }
        }
#endif
        return failure("cannot rename the written file into place", e);
    }
    if (flush == Flush::ToDisk) syncFolder(folderOf(target_));
    done_ = true;
    return {};
}

void AtomicFile::discard() {
    if (handle_ != kNoHandle) {
        (void)closeHandle(handle_);
        handle_ = kNoHandle;
    }
    if (!done_ && !temp_.empty()) {
        std::error_code ec;
        fs::remove(temp_, ec);
    }
    done_ = true;
}

// ---- OpenFolder and FolderFile --------------------------------------------------------

OpenFolder::OpenFolder(OpenFolder&& other) noexcept
    : path_(std::move(other.path_)), handle_(other.handle_) {
    other.handle_ = kNoHandle;
}

OpenFolder& OpenFolder::operator=(OpenFolder&& other) noexcept {
    if (this != &other) {
#ifndef _WIN32
        if (handle_ != kNoHandle) ::close(int(handle_));
#endif
        path_ = std::move(other.path_);
        handle_ = other.handle_;
        other.handle_ = kNoHandle;
    }
    return *this;
}

OpenFolder::~OpenFolder() {
#ifndef _WIN32
    if (handle_ != kNoHandle) ::close(int(handle_));
#endif
}

Result<OpenFolder> OpenFolder::open(const fs::path& folder) {
    OpenFolder f;
    f.path_ = folder;
#ifdef _WIN32
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return makeError(ErrorKind::NotFound, pathText(folder) + ": no such folder");
#else
    int fd;
    do {
        fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const std::error_code ec = lastError();
        if (isMissing(ec) || ec == std::errc::not_a_directory) {
            Error e = makeError(ErrorKind::NotFound, pathText(folder) + ": no such folder");
            e.cause = ec;
            return e;
        }
        return systemError(ErrorKind::ReadFailed, pathText(folder) + ": cannot open the folder",
                           ec);
    }
    f.handle_ = fd;
#endif
    return f;
}

FolderFile::FolderFile(FolderFile&& other) noexcept
    : folder_(other.folder_),
      name_(std::move(other.name_)),
      handle_(other.handle_),
      size_(other.size_),
      temp_(std::move(other.temp_)),
      done_(other.done_)
#ifdef _WIN32
      ,
      atomic_(std::move(other.atomic_))
#endif
{
    other.handle_ = kNoHandle;
    other.done_ = true;
}

FolderFile& FolderFile::operator=(FolderFile&& other) noexcept {
    if (this != &other) {
        discard();
        folder_ = other.folder_;
        name_ = std::move(other.name_);
        handle_ = other.handle_;
        size_ = other.size_;
        temp_ = std::move(other.temp_);
        done_ = other.done_;
#ifdef _WIN32
        atomic_ = std::move(other.atomic_);
#endif
        other.handle_ = kNoHandle;
        other.done_ = true;
    }
    return *this;
}

FolderFile::~FolderFile() {
    discard();
}

fs::path FolderFile::target() const {
    return folder_ ? folder_->path() / fs::path(name_) : fs::path(name_);
}

Error FolderFile::failure(const char* what, std::error_code cause) const {
    return systemError(ErrorKind::WriteFailed, pathText(target()) + ": " + what, cause);
}

#ifdef _WIN32

// The portable way: a temporary file beside the target, by its whole path.
Result<FolderFile> FolderFile::create(const OpenFolder& folder, std::string_view name) {
    FolderFile f;
    f.folder_ = &folder;
    f.name_ = std::string(name);
    auto a = AtomicFile::create(f.target());
    if (!a) return a.error();
    f.atomic_.emplace(std::move(*a));
    return f;
}

Status FolderFile::write(ByteSpan bytes) {
    if (!atomic_) return makeError(ErrorKind::WriteFailed, pathText(target()) + ": closed");
    return atomic_->write(bytes);
}

Status FolderFile::copyFrom(const ReadOnlyFile& source, uint64_t offset, uint64_t size) {
    if (!atomic_) return makeError(ErrorKind::WriteFailed, pathText(target()) + ": closed");
    return atomic_->copyFrom(source, offset, size);
}

Result<bool> FolderFile::commitIfAbsent() {
    if (!atomic_) return makeError(ErrorKind::WriteFailed, pathText(target()) + ": nothing to commit");
    return atomic_->commitIfAbsent();
}

Status FolderFile::commit() {
    if (!atomic_) return makeError(ErrorKind::WriteFailed, pathText(target()) + ": nothing to commit");
    return atomic_->commit();
}

void FolderFile::discard() {
    if (atomic_) atomic_->discard();
    atomic_.reset();
    done_ = true;
}

Status FolderFile::finishNamed() {
    return {};
}

#else

namespace {

#ifdef O_TMPFILE
// Whether the folders written so far take files without a name; the first that
// does not turns it off for the run (tmpfs, ext4, xfs and btrfs do; some others
// do not).
std::atomic<bool> g_unnamedFiles{true};
// How a file without a name gets one: by its descriptor (needs a kernel from 6.10,
// or the right to read any folder), or through its /proc link.
std::atomic<bool> g_linkByDescriptor{true};

int linkUnnamed(int fd, int dirFd, const char* name) {
    if (g_linkByDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", dirFd, name, AT_EMPTY_PATH) == 0) return 0;
        if (errno != ENOENT && errno != EPERM && errno != EINVAL) return -1;
        // ENOENT is also what a missing folder says; the /proc link tells them apart.
        g_linkByDescriptor.store(false, std::memory_order_relaxed);
    }
    char proc[40];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, proc, dirFd, name, AT_SYMLINK_FOLLOW);
}
#endif

int renameNoReplaceAt(int dirFd, const char* from, const char* to, bool& existed) {
    existed = false;
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno == EEXIST) {
        existed = true;
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
    if (::linkat(dirFd, from, dirFd, to, 0) == 0) {
        ::unlinkat(dirFd, from, 0);
        return 0;
    }
    if (errno == EEXIST) {
        existed = true;
        return 0;
    }
    struct stat st;
    if (::fstatat(dirFd, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        existed = true;
        return 0;
    }
    return ::renameat(dirFd, from, dirFd, to);
}

std::string tempName() {
    return std::string(kTempPrefix) + randomLetters() + std::string(kTempSuffix);
}

}  // namespace

Result<FolderFile> FolderFile::create(const OpenFolder& folder, std::string_view name) {
    FolderFile f;
    f.folder_ = &folder;
    f.name_ = std::string(name);
    const int dirFd = int(folder.handle_);
    std::error_code ec;
    if (std::error_code fault = injected(FileStep::Create)) {
        ec = fault;
    } else {
#ifdef O_TMPFILE
        if (g_unnamedFiles.load(std::memory_order_relaxed)) {
            int fd;
            do {
                fd = ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
            } while (fd < 0 && errno == EINTR);
            if (fd >= 0) {
                f.handle_ = fd;
                return f;
            }
            if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
                g_unnamedFiles.store(false, std::memory_order_relaxed);
            else
                ec = lastError();
        }
#endif
        for (int attempt = 0; !ec && attempt < 64; ++attempt) {
            std::string candidate = tempName();
            int fd;
            do {
                fd = ::openat(dirFd, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              0666);
            } while (fd < 0 && errno == EINTR);
            if (fd >= 0) {
                f.handle_ = fd;
                f.temp_ = std::move(candidate);
                return f;
            }
            if (errno != EEXIST) ec = lastError();
        }
    }
    if (isMissing(ec)) {
        Error e = makeError(ErrorKind::NotFound, pathText(folder.path()) + ": no such folder");
        e.cause = ec;
        return e;
    }
    return systemError(ErrorKind::WriteFailed,
                       pathText(f.target()) + ": cannot create a file in " +
                           pathText(folder.path()),
                       ec ? ec : std::make_error_code(std::errc::file_exists));
}

Status FolderFile::write(ByteSpan bytes) {
    if (handle_ == kNoHandle) return makeError(ErrorKind::WriteFailed, pathText(target()) + ": closed");
    if (std::error_code fault = injected(FileStep::Write)) return failure("write error", fault);
    if (std::error_code ec = writeAllAt(handle_, size_, bytes.data(), bytes.size()))
        return failure("write error", ec);
    size_ += bytes.size();
    return {};
}

Status FolderFile::copyFrom(const ReadOnlyFile& source, uint64_t offset, uint64_t size) {
    if (handle_ == kNoHandle) return makeError(ErrorKind::WriteFailed, pathText(target()) + ": closed");
    return copyInto(source, source.handle_, offset, size, handle_, size_,
                    [this](const char* what, std::error_code ec) { return failure(what, ec); });
}

// A file with a temporary name is closed before it is renamed, so that a write
// error that closing reveals is known first.
Status FolderFile::finishNamed() {
    if (temp_.empty() || handle_ == kNoHandle) return {};
    std::error_code closed = closeHandle(handle_);
    handle_ = kNoHandle;
    if (closed) return failure("write error", closed);
    return {};
}

Result<bool> FolderFile::commitIfAbsent() {
    if (done_ || (handle_ == kNoHandle && temp_.empty()))
        return makeError(ErrorKind::WriteFailed, pathText(target()) + ": nothing to commit");
    if (auto st = finishNamed(); !st) return st.error();
    if (std::error_code fault = injected(FileStep::Rename))
        return failure("cannot rename the written file into place", fault);
    const int dirFd = int(folder_->handle_);
    if (temp_.empty()) {
#ifdef O_TMPFILE
        if (linkUnnamed(int(handle_), dirFd, name_.c_str()) != 0) {
            if (errno == EEXIST) return false;
            return failure("cannot rename the written file into place", lastError());
        }
        done_ = true;
        std::error_code closed = closeHandle(handle_);
        handle_ = kNoHandle;
        if (closed) return failure("write error", closed);
        return true;
#endif
    }
    bool existed = false;
    if (renameNoReplaceAt(dirFd, temp_.c_str(), name_.c_str(), existed) != 0)
        return failure("cannot rename the written file into place", lastError());
    if (existed) return false;
    done_ = true;
    return true;
}

Status FolderFile::commit() {
    if (done_ || (handle_ == kNoHandle && temp_.empty()))
        return makeError(ErrorKind::WriteFailed, pathText(target()) + ": nothing to commit");
    if (auto st = finishNamed(); !st) return st.error();
    const int dirFd = int(folder_->handle_);
    struct stat st;
    if (::fstatat(dirFd, name_.c_str(), &st, 0) == 0) {
        if (S_ISDIR(st.st_mode))
            return failure("cannot replace it", std::make_error_code(std::errc::is_a_directory));
        if (!S_ISREG(st.st_mode)) {
            std::error_code ec;
            return makeError(ErrorKind::Refused, pathText(target()) + ": cannot replace it: it is " +
                                                     nonRegularKind(fs::status(target(), ec)) +
                                                     ", not a file");
        }
        // Keep the permissions of the file being replaced.
        const mode_t mode = st.st_mode & 07777;
        if (handle_ != kNoHandle)
            (void)::fchmod(int(handle_), mode);
        else
            (void)::fchmodat(dirFd, temp_.c_str(), mode, 0);
    }
    if (std::error_code fault = injected(FileStep::Rename))
        return failure("cannot rename the written file into place", fault);
    if (temp_.empty()) {
#ifdef O_TMPFILE
        // A file without a name cannot replace one: it gets a temporary name first.
        for (int attempt = 0; attempt < 64 && temp_.empty(); ++attempt) {
            std::string candidate = tempName();
            if (linkUnnamed(int(handle_), dirFd, candidate.c_str()) == 0)
                temp_ = std::move(candidate);
            else if (errno != EEXIST)
                return failure("cannot rename the written file into place", lastError());
        }
        if (temp_.empty())
            return failure("cannot rename the written file into place",
                           std::make_error_code(std::errc::file_exists));
        std::error_code closed = closeHandle(handle_);
        handle_ = kNoHandle;
        if (closed) return failure("write error", closed);
#endif
    }
    if (::renameat(dirFd, temp_.c_str(), dirFd, name_.c_str()) != 0)
        return failure("cannot rename the written file into place", lastError());
    done_ = true;
    return {};
}

void FolderFile::discard() {
    if (handle_ != kNoHandle) {
        (void)closeHandle(handle_);
        handle_ = kNoHandle;
    }
    if (!done_ && !temp_.empty() && folder_) ::unlinkat(int(folder_->handle_), temp_.c_str(), 0);
    done_ = true;
}

#endif

// ---- Whole files and patches --------------------------------------------------------

Result<Bytes> readFile(const fs::path& path, uint64_t maxBytes) {
    auto size = fileSize(path);
    if (!size) return size.error();
    if (*size > maxBytes)
        return makeError(ErrorKind::OutOfRange, pathText(path) + ": file too large (" +
                                                    std::to_string(*size) + " bytes; at most " +
                                                    std::to_string(maxBytes) + " are read)");
    auto file = ReadOnlyFile::open(path);
    if (!file) return file.error();
    Bytes data(static_cast<size_t>(*size));
    auto got = file->readAt(0, data);
    if (!got) return makeError(ErrorKind::ReadFailed, pathText(path) + ": " + got.error().message);
    data.resize(*got);  // the file shrank while we read it
    return data;
}

Result<Bytes> readFileAt(const fs::path& path, uint64_t offset, size_t n) {
    auto size = fileSize(path);
    if (!size) return size.error();
    if (offset >= *size) return Bytes{};
    auto file = ReadOnlyFile::open(path);
    if (!file) return file.error();
    uint64_t avail = *size - offset;
    Bytes data(static_cast<size_t>(n < avail ? n : avail));
    auto got = file->readAt(offset, data);
    if (!got) return makeError(ErrorKind::ReadFailed, pathText(path) + ": " + got.error().message);
    data.resize(*got);
    return data;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr openFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
    std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
    return FilePtr(_wfopen(path.c_str(), wmode.c_str()));
#else
    return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

bool seekTo(std::FILE* f, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::error_code errnoCode() {
    return std::error_code(errno, std::generic_category());
}

}  // namespace

fs::path pathFromText(std::string_view text) {
#ifdef _WIN32
    try {
        return fs::path(std::u8string(text.begin(), text.end()));
    } catch (const std::exception&) {
        return fs::path(text);  // not UTF-8: take the bytes as they come
    }
#else
    return fs::path(text);
#endif
}

std::string pathText(const fs::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

Status writeFileAt(const fs::path& path, uint64_t offset, ByteSpan bytes) {
    if (auto what = notARegularFile(path)) return notAFileError(path, *what);
    auto failed = [&](const char* what, std::error_code cause) {
        return systemError(ErrorKind::WriteFailed, pathText(path) + ": " + what, cause);
    };
    if (std::error_code fault = injected(FileStep::Write)) return failed("write error", fault);
    FilePtr f = openFile(path, "r+b");
    if (!f) return failed("cannot open for writing", errnoCode());
    if (!seekTo(f.get(), offset)) return failed("cannot seek", errnoCode());
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
        return failed("write error", errnoCode());
    if (std::fflush(f.get()) != 0) return failed("write error", errnoCode());
    FILE* raw = f.release();
    if (std::fclose(raw) != 0) return failed("write error", errnoCode());
    return {};
}

Status writeFileAtomic(const fs::path& path, ByteSpan bytes) {
    auto file = AtomicFile::create(path);
    if (!file) return file.error();
    if (auto st = file->write(bytes); !st) return st;
    return file->commit();
}

Status copyFileAtomic(const fs::path& from, const fs::path& to) {
    auto size = fileSize(from);
    if (!size) return size.error();
    auto source = ReadOnlyFile::open(from);
    if (!source) return source.error();
    auto file = AtomicFile::create(to);
    if (!file) return file.error();
    if (auto st = file->copyFrom(*source, 0, *size); !st) return st;
    return file->commit();
}

Status writeFilesTogether(std::span<const FileWrite> files) {
    std::vector<AtomicFile> written;
    written.reserve(files.size());
    for (const FileWrite& f : files) {
        auto file = AtomicFile::create(f.path);
        if (!file) return file.error();
        if (auto st = file->write(f.bytes); !st) return st;
        if (auto st = file->finish(); !st) return st;
        written.push_back(std::move(*file));
    }

    // What each target was before its rename, to put it back if a later one fails.
    struct Placed {
        fs::path target;
        std::optional<fs::path> aside;  // the old file under a temporary name
    };
    std::vector<Placed> placed;
    auto putBack = [&](Error error) {
        for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
            std::error_code ec;
            if (!it->aside) {
                fs::remove(it->target, ec);
                continue;
            }
            // A target whose own rename failed still is the old file (the aside is a
            // second link to it); renaming one link onto another would leave both.
            if (sameFile(*it->aside, it->target)) {
                fs::remove(*it->aside, ec);
                continue;
            }
            ec = injected(FileStep::Rename);
            if (!ec) ec = renameReplace(*it->aside, it->target);
            // The old file is never removed: when it cannot go back under its own
            // name it stays under the temporary one, and the message says where.
            if (ec)
                error.message += "; " + pathText(it->target) + " could not be put back (" +
                                 ec.message() + "): its old content is " + pathText(*it->aside);
        }
        return error;
    };
    for (AtomicFile& file : written) {
        Placed p{file.target(), std::nullopt};
        std::error_code ec;
        const auto status = fs::symlink_status(file.target(), ec);
        if (fs::is_directory(status))
            return putBack(systemError(ErrorKind::WriteFailed,
                                       pathText(file.target()) + ": cannot replace it",
                                       std::make_error_code(std::errc::is_a_directory)));
        if (fs::exists(status)) {
            auto aside = keepAside(file.target());
            if (!aside) return putBack(aside.error());
            p.aside = std::move(*aside);
        }
        if (auto st = file.commit(); !st) {
            // The file this one was to replace goes back too.
            if (p.aside) placed.push_back(std::move(p));
            return putBack(st.error());
        }
        placed.push_back(std::move(p));
    }
    for (const Placed& p : placed)
        if (p.aside) {
            std::error_code ec;
            fs::remove(*p.aside, ec);
        }
    return {};
}

// ---- Temporary files ------------------------------------------------------------------

bool isTemporaryFileName(std::string_view name) {
    if (name.size() != kTempPrefix.size() + kTempRandom + kTempSuffix.size()) return false;
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return false;
    std::string_view middle = name.substr(kTempPrefix.size(), kTempRandom);
    return std::all_of(middle.begin(), middle.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

std::vector<TemporaryFile> temporaryFilesIn(const fs::path& folder, bool recursive) {
    std::vector<TemporaryFile> out;
    auto consider = [&](const fs::directory_entry& e) {
        std::error_code ec;
        if (!isTemporaryFileName(e.path().filename().string())) return;
        if (!e.is_regular_file(ec) || e.is_symlink(ec)) return;
        TemporaryFile t;
        t.path = e.path();
        t.size = e.file_size(ec);
        t.modified = e.last_write_time(ec);
        out.push_back(std::move(t));
    };
    std::error_code ec;
    const auto options = fs::directory_options::skip_permission_denied;
    if (recursive) {
        fs::recursive_directory_iterator it(folder, options, ec), end;
        for (; !ec && it != end; it.increment(ec))
            consider(*it);
    } else {
        fs::directory_iterator it(folder, options, ec), end;
        for (; !ec && it != end; it.increment(ec))
            consider(*it);
    }
    std::sort(out.begin(), out.end(),
              [](const TemporaryFile& a, const TemporaryFile& b) { return a.path < b.path; });
    return out;
}

TempFile::TempFile(std::string_view stem) {
    std::error_code ec;
    fs::path dir = fs::temp_directory_path(ec);
    if (ec) return;
    fs::path p;
    intptr_t h = createUnique(dir, std::string(stem) + "-", ".tmp", p, ec);
    if (h == kNoHandle) return;
    (void)closeHandle(h);
    path_ = p;
}

TempFile::~TempFile() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove(path_, ec);
}

// ---- Text -------------------------------------------------------------------------------

std::string trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += '?';  // U+0080-U+009F: some terminals act on these as they would on ESC
            ++i;
        } else {
            out += char(c);
        }
    }
    return out;
}

fs::path programFolder() {
#if defined(_WIN32)
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return fs::path(buffer.substr(0, n)).parent_path();
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
#elif defined(__linux__)
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
#else
    return {};
#endif
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// ---- Test seam ----------------------------------------------------------------------------

ScopedFileFault::ScopedFileFault(FileStep step, unsigned skip, std::errc error, bool sticky) {
    t_fault = Fault{true, step, skip, error, sticky, 0};
}

ScopedFileFault::~ScopedFileFault() {
    t_fault = Fault{};
}

unsigned ScopedFileFault::struck() const {
    return t_fault.struck;
}

}  // namespace ov
