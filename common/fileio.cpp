#include "fileio.h"

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

// Creates a new file that did not exist before.
FilePtr createExclusive(const fs::path& dir, std::string_view stem, fs::path& out) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = dir / (std::string(stem) + "." + uniqueSuffix() + ".tmp");
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
