#include "fileio.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

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

// Creates a new file that did not exist before ("x": fail if it exists).
FilePtr createExclusive(const fs::path& dir, std::string_view stem, fs::path& out) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = dir / (std::string(stem) + "." + uniqueSuffix() + ".tmp");
        if (FilePtr f = openFile(candidate, "wbx")) {
            out = candidate;
            return f;
        }
        std::error_code ec;
        if (!fs::exists(dir, ec)) break;
    }
    return nullptr;
}

std::string pathText(const fs::path& p) {
    return p.string();
}

}  // namespace

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

Result<AtomicWriter> AtomicWriter::create(const fs::path& path) {
    fs::path dir = path.parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return makeError(pathText(dir) + ": no such folder");
    if (fs::is_directory(path, ec)) return makeError(pathText(path) + ": is a folder");
    // A hidden name beside the target: ".model.shp.<random>.tmp".
    std::string stem = path.filename().string();
    stem.insert(stem.begin(), '.');
    fs::path tmp;
    FilePtr f = createExclusive(dir, stem, tmp);
    if (!f) return makeError(pathText(path) + ": cannot create a file in " + pathText(dir));
    return AtomicWriter(path, tmp, f.release());
}

AtomicWriter::AtomicWriter(fs::path target, fs::path tmp, std::FILE* file)
    : target_(std::move(target)), tmp_(std::move(tmp)), file_(file) {}

AtomicWriter::AtomicWriter(AtomicWriter&& other) noexcept
    : target_(std::move(other.target_)),
      tmp_(std::move(other.tmp_)),
      file_(std::exchange(other.file_, nullptr)),
      failed_(other.failed_) {
    other.tmp_.clear();
}

AtomicWriter::~AtomicWriter() {
    discard();
}

void AtomicWriter::discard() {
    if (file_) std::fclose(std::exchange(file_, nullptr));
    if (!tmp_.empty()) {
        std::error_code ec;
        fs::remove(tmp_, ec);
        tmp_.clear();
    }
}

Status AtomicWriter::write(ByteSpan bytes) {
    if (!file_ || failed_) return makeError(pathText(target_) + ": write error");
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        failed_ = true;
        return makeError(pathText(target_) + ": write error");
    }
    return std::nullopt;
}

Status AtomicWriter::commit() {
    if (!file_ || failed_) {
        discard();
        return makeError(pathText(target_) + ": write error");
    }
    bool good = std::fflush(file_) == 0;
    good = std::fclose(std::exchange(file_, nullptr)) == 0 && good;
    if (!good) {
        discard();
        return makeError(pathText(target_) + ": write error");
    }
    std::error_code ec;
    // Keep the permissions of the file being replaced.
    if (fs::exists(target_, ec)) {
        auto perms = fs::status(target_, ec).permissions();
        if (!ec) fs::permissions(tmp_, perms, ec);
    }
    fs::rename(tmp_, target_, ec);
    if (ec) {
        discard();
        return makeError(pathText(target_) + ": " + ec.message());
    }
    tmp_.clear();
    return std::nullopt;
}

Status writeFileAtomic(const fs::path& path, ByteSpan bytes) {
    auto writer = AtomicWriter::create(path);
    if (!writer) return writer.error();
    if (auto err = writer->write(bytes)) return err;
    return writer->commit();
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
