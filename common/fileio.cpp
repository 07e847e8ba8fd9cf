#include "fileio.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <system_error>

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
#include <unistd.h>

#include <cerrno>
#endif

namespace ov {

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

std::string uniqueSuffix() {
    static std::atomic<uint64_t> counter{0};
    static const uint64_t seed = [] {
        std::random_device rd;
        return (uint64_t(rd()) << 32) ^ rd() ^
               uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    }();
    uint64_t v = seed ^ (++counter * 0x9E3779B97F4A7C15ull);
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s;
    for (int i = 0; i < 10; ++i) {
        s += digits[v % 36];
        v /= 36;
    }
    return s;
}

// Opens a new file for binary writing; fails when the name exists already.
FilePtr openNew(const fs::path& path) {
#ifdef _WIN32
    // The Windows C runtime knows no "x" in a mode text: create through the
    // low-level call, which does refuse an existing name.
    int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    FilePtr f(_fdopen(fd, "wb"));
    if (!f) _close(fd);
    return f;
#else
    return openFile(path, "wbx");
#endif
}

// A name for a new temporary file in `dir`.
fs::path temporaryName(const fs::path& dir, std::string_view stem) {
    return dir / (std::string(stem) + "." + uniqueSuffix() + ".tmp");
}

// Creates a new file that did not exist before.
FilePtr createExclusive(const fs::path& dir, std::string_view stem, fs::path& out) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = temporaryName(dir, stem);
        if (FilePtr f = openNew(candidate)) {
            out = candidate;
            return f;
        }
        std::error_code ec;
        if (!fs::exists(dir, ec)) break;
    }
    return nullptr;
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

Result<uint64_t> fileSize(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return makeError(ErrorKind::NotFound, pathText(path) + ": no such file");
    uint64_t size = fs::file_size(path, ec);
    if (ec) return makeError(ErrorKind::ReadFailed, pathText(path) + ": " + ec.message());
    return size;
}

// ---- ReadOnlyFile -------------------------------------------------------------------

#ifdef _WIN32

Result<ReadOnlyFile> ReadOnlyFile::open(const fs::path& path) {
    // Sharing writes and deletes as well: the editors patch an open archive in place.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return makeError(ErrorKind::ReadFailed, pathText(path) + ": cannot open for reading");
    return ReadOnlyFile(reinterpret_cast<intptr_t>(h));
}

void ReadOnlyFile::close() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
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
        if (!ReadFile(reinterpret_cast<HANDLE>(handle_), dst.data() + done, chunk, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return makeError(ErrorKind::ReadFailed,
                             "read error (" + std::to_string(GetLastError()) + ")", pos);
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
        return makeError(ErrorKind::ReadFailed, pathText(path) + ": cannot open for reading");
    return ReadOnlyFile(fd);
}

void ReadOnlyFile::close() {
    if (handle_ != -1) ::close(int(handle_));
    handle_ = -1;
}

Result<size_t> ReadOnlyFile::readAt(uint64_t offset, std::span<uint8_t> dst) const {
    size_t done = 0;
    while (done < dst.size()) {
        const uint64_t pos = offset + done;
        ssize_t got = ::pread(int(handle_), dst.data() + done, dst.size() - done, off_t(pos));
        if (got < 0) {
            if (errno == EINTR) continue;
            return makeError(ErrorKind::ReadFailed,
                             std::string("read error: ") + std::generic_category().message(errno),
                             pos);
        }
        if (got == 0) break;
        done += size_t(got);
    }
    return done;
}

#endif

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept : handle_(other.handle_) {
    other.handle_ = -1;
}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
    close();
}

// ---- Whole files and patches --------------------------------------------------------

Result<Bytes> readFile(const fs::path& path, uint64_t maxBytes) {
    auto size = fileSize(path);
    if (!size) return size.error();
    if (*size > maxBytes)
        return makeError(ErrorKind::OutOfRange,
                         pathText(path) + ": file too large (" + std::to_string(*size) + " bytes)");
    auto file = ReadOnlyFile::open(path);
    if (!file) return file.error();
    Bytes data(static_cast<size_t>(*size));
    auto got = file->readAt(0, data);
    if (!got) return makeError(ErrorKind::ReadFailed, pathText(path) + ": read error");
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
    if (!got) return makeError(ErrorKind::ReadFailed, pathText(path) + ": read error");
    data.resize(*got);
    return data;
}

Status writeFileAt(const fs::path& path, uint64_t offset, ByteSpan bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return makeError(ErrorKind::NotFound, pathText(path) + ": no such file");
    auto failed = [&](const char* what) {
        return makeError(ErrorKind::WriteFailed, pathText(path) + ": " + what);
    };
    FilePtr f = openFile(path, "r+b");
    if (!f) return failed("cannot open for writing");
    if (!seekTo(f.get(), offset)) return failed("cannot seek");
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
        return failed("write error");
    if (std::fflush(f.get()) != 0) return failed("write error");
    FILE* raw = f.release();
    if (std::fclose(raw) != 0) return failed("write error");
    return {};
}

Status writeFileAtomic(const fs::path& path, ByteSpan bytes) {
    fs::path dir = path.parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return makeError(ErrorKind::NotFound, pathText(dir) + ": no such folder");
    if (fs::is_directory(path, ec))
        return makeError(ErrorKind::WriteFailed, pathText(path) + ": is a folder");

    fs::path tmp;
    // A hidden name beside the target: ".model.shp.<random>.tmp".
    std::string stem = path.filename().string();
    stem.insert(stem.begin(), '.');
    FilePtr f = createExclusive(dir, stem, tmp);
    if (!f)
        return makeError(ErrorKind::WriteFailed,
                         pathText(path) + ": cannot create a file in " + pathText(dir));

    bool good =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    good = std::fflush(f.get()) == 0 && good;
    good = std::fclose(f.release()) == 0 && good;
    if (!good) {
        fs::remove(tmp, ec);
        return makeError(ErrorKind::WriteFailed, pathText(path) + ": write error");
    }
    // Keep the permissions of the file being replaced.
    if (fs::exists(path, ec)) {
        auto perms = fs::status(path, ec).permissions();
        if (!ec) fs::permissions(tmp, perms, ec);
    }
    fs::rename(tmp, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(tmp, ignored);
        return makeError(ErrorKind::WriteFailed, pathText(path) + ": " + ec.message());
    }
    return {};
}

Status copyFileAtomic(const fs::path& from, const fs::path& to) {
    auto data = readFile(from);
    if (!data) return data.error();
    return writeFileAtomic(to, *data);
}

// ---- StagedFile ---------------------------------------------------------------------

namespace {

// Buffer of the copies the system does not make itself: large enough that the
// calls cost nothing next to the bytes, small enough to stay in the cache.
constexpr size_t kCopyBuffer = size_t(256) << 10;

}  // namespace

StagedFile::StagedFile(StagedFile&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      handle_(other.handle_),
      size_(other.size_),
      buffer_(std::move(other.buffer_)) {
    other.handle_ = -1;
    other.temp_.clear();
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        temp_ = std::move(other.temp_);
        handle_ = other.handle_;
        size_ = other.size_;
        buffer_ = std::move(other.buffer_);
        other.handle_ = -1;
        other.temp_.clear();
    }
    return *this;
}

StagedFile::~StagedFile() {
    discard();
}

Status StagedFile::write(ByteSpan bytes) {
    if (auto st = writeRaw(size_, bytes); !st) return st;
    size_ += bytes.size();
    return {};
}

Status StagedFile::writeAt(uint64_t offset, ByteSpan bytes) {
    if (auto st = writeRaw(offset, bytes); !st) return st;
    if (offset + bytes.size() > size_) size_ = offset + bytes.size();
    return {};
}

#ifdef _WIN32

namespace {
std::string windowsError(DWORD code) {
    return "system error " + std::to_string(code);
}
}  // namespace

Result<StagedFile> StagedFile::create(const fs::path& target) {
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return makeError(ErrorKind::NotFound, pathText(dir) + ": no such folder");
    if (fs::is_directory(target, ec))
        return makeError(ErrorKind::WriteFailed, pathText(target) + ": is a folder");
    std::string stem = pathText(target.filename());
    stem.insert(stem.begin(), '.');
    DWORD last = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = temporaryName(dir, stem);
        HANDLE h = CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            StagedFile f;
            f.target_ = target;
            f.temp_ = candidate;
            f.handle_ = reinterpret_cast<intptr_t>(h);
            return f;
        }
        last = GetLastError();
        if (last != ERROR_FILE_EXISTS && last != ERROR_ALREADY_EXISTS) break;
    }
    return makeError(ErrorKind::WriteFailed, pathText(target) + ": cannot create a file in " +
                                                 pathText(dir) + " (" + windowsError(last) + ")");
}

Status StagedFile::writeRaw(uint64_t offset, ByteSpan bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at{};
        const uint64_t pos = offset + done;
        at.Offset = DWORD(pos & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(pos >> 32);
        const size_t want = bytes.size() - done;
        DWORD chunk = DWORD(want < (size_t(1) << 30) ? want : (size_t(1) << 30));
        DWORD put = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data() + done, chunk, &put, &at) ||
            put == 0)
            return makeError(
                ErrorKind::WriteFailed,
                pathText(target_) + ": write error (" + windowsError(GetLastError()) + ")", pos);
        done += put;
    }
    return {};
}

Status StagedFile::copyFrom(const ReadOnlyFile& from, uint64_t offset, uint64_t size) {
    if (buffer_.size() < kCopyBuffer) buffer_.resize(kCopyBuffer);
    uint64_t done = 0;
    while (done < size) {
        const size_t want = size_t(std::min<uint64_t>(size - done, buffer_.size()));
        auto got = from.readAt(offset + done, std::span<uint8_t>(buffer_.data(), want));
        if (!got) return got.error();
        if (*got == 0)
            return makeError(ErrorKind::ReadFailed, "the source ends before the bytes to copy",
                             offset + done);
        if (auto st = write(ByteSpan(buffer_.data(), *got)); !st) return st;
        done += *got;
    }
    return {};
}

Status StagedFile::commit() {
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    if (handle_ == -1 || temp_.empty())
        return makeError(ErrorKind::WriteFailed, pathText(target_) + ": nothing to commit");
    const bool flushed = FlushFileBuffers(h) != 0;
    const DWORD code = flushed ? 0 : GetLastError();
    CloseHandle(h);
    handle_ = -1;
    if (!flushed) {
        discard();
        return makeError(ErrorKind::WriteFailed,
                         pathText(target_) + ": write error (" + windowsError(code) + ")");
    }
    std::error_code ec;
    if (fs::exists(target_, ec)) {
        auto perms = fs::status(target_, ec).permissions();
        if (!ec) fs::permissions(temp_, perms, ec);
    }
    if (!MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD code = GetLastError();
        // Windows refuses to replace a file that is open, even for reading with
        // delete sharing (an archive being rebuilt is): such a file can still be
        // renamed, so move it aside, move the new one in and delete the old one,
        // which goes once its last reader closes it.
        bool replaced = false;
        if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
            std::string stem = pathText(target_.filename());
            stem.insert(stem.begin(), '.');
            const fs::path aside = temporaryName(target_.parent_path(), stem);
            if (MoveFileExW(target_.c_str(), aside.c_str(), 0)) {
                if (MoveFileExW(temp_.c_str(), target_.c_str(), 0)) {
                    replaced = true;
                    DeleteFileW(aside.c_str());
                } else {
                    MoveFileExW(aside.c_str(), target_.c_str(), 0);
                }
            }
        }
        if (!replaced) {
            discard();
            return makeError(ErrorKind::WriteFailed,
                             pathText(target_) + ": cannot replace it (" + windowsError(code) + ")");
        }
    }
    temp_.clear();
    return {};
}

void StagedFile::discard() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
    if (!temp_.empty()) {
        std::error_code ec;
        fs::remove(temp_, ec);
        temp_.clear();
    }
}

#else

namespace {
std::string errnoText(int code) {
    return std::generic_category().message(code);
}
}  // namespace

Result<StagedFile> StagedFile::create(const fs::path& target) {
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return makeError(ErrorKind::NotFound, pathText(dir) + ": no such folder");
    if (fs::is_directory(target, ec))
        return makeError(ErrorKind::WriteFailed, pathText(target) + ": is a folder");
    std::string stem = pathText(target.filename());
    stem.insert(stem.begin(), '.');
    int last = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = temporaryName(dir, stem);
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            StagedFile f;
            f.target_ = target;
            f.temp_ = candidate;
            f.handle_ = fd;
            return f;
        }
        last = errno;
        if (last != EEXIST) break;
    }
    return makeError(ErrorKind::WriteFailed, pathText(target) + ": cannot create a file in " +
                                                 pathText(dir) + " (" + errnoText(last) + ")");
}

Status StagedFile::writeRaw(uint64_t offset, ByteSpan bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const uint64_t pos = offset + done;
        ssize_t put = ::pwrite(int(handle_), bytes.data() + done, bytes.size() - done, off_t(pos));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0)
            return makeError(
                ErrorKind::WriteFailed,
                pathText(target_) + ": write error (" + errnoText(put < 0 ? errno : ENOSPC) + ")",
                pos);
        done += size_t(put);
    }
    return {};
}

Status StagedFile::copyFrom(const ReadOnlyFile& from, uint64_t offset, uint64_t size) {
    uint64_t done = 0;
    bool bySystem = true;
    while (done < size) {
        const uint64_t left = size - done;
        if (bySystem) {
            off_t in = off_t(offset + done), out = off_t(size_);
            ssize_t n = ::copy_file_range(int(from.handle_), &in, int(handle_), &out,
                                          size_t(std::min<uint64_t>(left, uint64_t(1) << 30)), 0);
            if (n > 0) {
                done += uint64_t(n);
                size_ += uint64_t(n);
                continue;
            }
            if (n == 0)
                return makeError(ErrorKind::ReadFailed, "the source ends before the bytes to copy",
                                 offset + done);
            const int code = errno;
            if (code == EINTR) continue;
            // Not offered between these files (an older kernel, another file system,
            // a special file): copy through the buffer instead.
            if (code == EXDEV || code == ENOSYS || code == EOPNOTSUPP || code == EINVAL ||
                code == EBADF || code == ETXTBSY) {
                bySystem = false;
                continue;
            }
            return makeError(ErrorKind::WriteFailed,
                             pathText(target_) + ": write error (" + errnoText(code) + ")", size_);
        }
        if (buffer_.size() < kCopyBuffer) buffer_.resize(kCopyBuffer);
        const size_t want = size_t(std::min<uint64_t>(left, buffer_.size()));
        auto got = from.readAt(offset + done, std::span<uint8_t>(buffer_.data(), want));
        if (!got) return got.error();
        if (*got == 0)
            return makeError(ErrorKind::ReadFailed, "the source ends before the bytes to copy",
                             offset + done);
        if (auto st = write(ByteSpan(buffer_.data(), *got)); !st) return st;
        done += *got;
    }
    return {};
}

Status StagedFile::commit() {
    if (handle_ == -1 || temp_.empty())
        return makeError(ErrorKind::WriteFailed, pathText(target_) + ": nothing to commit");
    // On the disk before the rename, so a crash leaves the old file or the whole new
    // one, never a new name over missing data.
    int code = ::fsync(int(handle_)) == 0 ? 0 : errno;
    if (::close(int(handle_)) != 0 && code == 0) code = errno;
    handle_ = -1;
    if (code != 0) {
        discard();
        return makeError(ErrorKind::WriteFailed,
                         pathText(target_) + ": write error (" + errnoText(code) + ")");
    }
    std::error_code ec;
    if (fs::exists(target_, ec)) {
        auto perms = fs::status(target_, ec).permissions();
        if (!ec) fs::permissions(temp_, perms, ec);
    }
    fs::rename(temp_, target_, ec);
    if (ec) {
        discard();
        return makeError(ErrorKind::WriteFailed, pathText(target_) + ": " + ec.message());
    }
    temp_.clear();
    // The rename itself on the disk; a failure here leaves a whole file either way.
    fs::path dir = target_.parent_path();
    if (dir.empty()) dir = ".";
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return {};
}

void StagedFile::discard() {
    if (handle_ != -1) ::close(int(handle_));
    handle_ = -1;
    if (!temp_.empty()) {
        std::error_code ec;
        fs::remove(temp_, ec);
        temp_.clear();
    }
}

#endif

TempFile::TempFile(std::string_view stem) {
    std::error_code ec;
    fs::path dir = fs::temp_directory_path(ec);
    if (ec) return;
    fs::path p;
    if (FilePtr f = createExclusive(dir, stem, p)) path_ = p;
}

TempFile::~TempFile() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove(path_, ec);
}

std::string trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

}  // namespace ov
