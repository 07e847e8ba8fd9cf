#include "fileio.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
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
    if (!fs::is_regular_file(path, ec)) return makeError(pathText(path) + ": no such file");
    uint64_t size = fs::file_size(path, ec);
    if (ec) return makeError(pathText(path) + ": " + ec.message());
    return size;
}

Result<Bytes> readFile(const fs::path& path, uint64_t maxBytes) {
    auto size = fileSize(path);
    if (!size) return size.error();
    if (*size > maxBytes)
        return makeError(pathText(path) + ": file too large (" + std::to_string(*size) + " bytes)");
    FilePtr f = openFile(path, "rb");
    if (!f) return makeError(pathText(path) + ": cannot open for reading");
    Bytes data(static_cast<size_t>(*size));
    size_t got = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), f.get());
    if (got != data.size()) data.resize(got);  // the file shrank while we read it
    if (std::ferror(f.get())) return makeError(pathText(path) + ": read error");
    return data;
}

Result<Bytes> readFileAt(const fs::path& path, uint64_t offset, size_t n) {
    auto size = fileSize(path);
    if (!size) return size.error();
    FilePtr f = openFile(path, "rb");
    if (!f) return makeError(pathText(path) + ": cannot open for reading");
    if (offset >= *size) return Bytes{};
    uint64_t avail = *size - offset;
    Bytes data(static_cast<size_t>(n < avail ? n : avail));
    if (!seekTo(f.get(), offset)) return makeError(pathText(path) + ": cannot seek");
    size_t got = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), f.get());
    data.resize(got);
    if (std::ferror(f.get())) return makeError(pathText(path) + ": read error");
    return data;
}

Status writeFileAt(const fs::path& path, uint64_t offset, ByteSpan bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return makeError(pathText(path) + ": no such file");
    FilePtr f = openFile(path, "r+b");
    if (!f) return makeError(pathText(path) + ": cannot open for writing");
    if (!seekTo(f.get(), offset)) return makeError(pathText(path) + ": cannot seek");
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
        return makeError(pathText(path) + ": write error");
    if (std::fflush(f.get()) != 0) return makeError(pathText(path) + ": write error");
    FILE* raw = f.release();
    if (std::fclose(raw) != 0) return makeError(pathText(path) + ": write error");
    return std::nullopt;
}

Status writeFileAtomic(const fs::path& path, ByteSpan bytes) {
    fs::path dir = path.parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return makeError(pathText(dir) + ": no such folder");
    if (fs::is_directory(path, ec)) return makeError(pathText(path) + ": is a folder");

    fs::path tmp;
    // A hidden name beside the target: ".model.shp.<random>.tmp".
    std::string stem = path.filename().string();
    stem.insert(stem.begin(), '.');
    FilePtr f = createExclusive(dir, stem, tmp);
    if (!f) return makeError(pathText(path) + ": cannot create a file in " + pathText(dir));

    bool good =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    good = std::fflush(f.get()) == 0 && good;
    good = std::fclose(f.release()) == 0 && good;
    if (!good) {
        fs::remove(tmp, ec);
        return makeError(pathText(path) + ": write error");
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
        return makeError(pathText(path) + ": " + ec.message());
    }
    return std::nullopt;
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

}  // namespace ov
