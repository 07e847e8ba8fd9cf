#include "hog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/fileio.h"
#include "common/refpack.h"
#include "hog_internal.h"

namespace ov::archive {

// ---- Hex_Util ---------------------------------------------------------------------

namespace Hex_Util {

namespace {
// `width` bytes at `offset` through `load`, or nothing when they are not all there.
template <class T>
std::optional<T> readAt(ByteSpan data, size_t offset, size_t width, T (*load)(const uint8_t*)) {
    if (offset > data.size() || width > data.size() - offset) return std::nullopt;
    return load(data.data() + offset);
}
}  // namespace

std::optional<uint32_t> bigEndian32(ByteSpan data, size_t offset) {
    return readAt(data, offset, 4, loadU32BE);
}
std::optional<uint32_t> littleEndian32(ByteSpan data, size_t offset) {
    return readAt(data, offset, 4, loadU32LE);
}
std::optional<uint32_t> bigEndian24(ByteSpan data, size_t offset) {
    return readAt(data, offset, 3, loadU24BE);
}
std::optional<uint16_t> bigEndian16(ByteSpan data, size_t offset) {
    return readAt(data, offset, 2, loadU16BE);
}
std::optional<uint16_t> littleEndian16(ByteSpan data, size_t offset) {
    return readAt(data, offset, 2, loadU16LE);
}
std::optional<Name> zeroEndedName(ByteSpan data, size_t offset) {
    if (offset >= data.size()) return std::nullopt;
    ByteReader r(data, offset);
    std::string text = r.cstring();
    if (!r.ok()) return std::nullopt;
    return Name{std::move(text), r.pos()};
}

}  // namespace Hex_Util

// ---- Texts --------------------------------------------------------------------------

std::string hexText(uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    char buf[8];
    int n = 0;
    do {
        buf[n++] = digits[value & 15];
        value >>= 4;
    } while (value != 0);
    std::string s;
    while (n > 0)
        s += buf[--n];
    return s;
}

std::string fileType(std::string_view name) {
    std::string t = trim(name);
    size_t dot = t.rfind('.');
    return dot == std::string::npos ? std::string() : t.substr(dot + 1);
}

std::string hogSizeText(uint32_t hogSize) {
    std::string digits = std::to_string(hogSize);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return "Hog Size: " + grouped + " byte(s)";
}

std::string countText(uint32_t itemCount) {
    return std::to_string(itemCount) + " file(s)";
}

PackInfo packInfoOf(ByteSpan firstBytes) {
    PackInfo info;
    info.packed = refpack::isPacked(firstBytes);
    if (info.packed) info.unpackedSize = Hex_Util::bigEndian24(firstBytes, 2);
    return info;
}

// ---- Reading the FAT ----------------------------------------------------------------

namespace {

bool isHogMagic(ByteSpan header) {
    return header.size() >= 4 && std::memcmp(header.data(), "BIGF", 4) == 0;
}

}  // namespace

size_t walkFat(ByteSpan region, size_t pos, uint64_t count, std::vector<HogEntry>& out) {
    while (out.size() < count) {
        auto offset = Hex_Util::bigEndian32(region, pos);
        auto size = Hex_Util::bigEndian32(region, pos + 4);
        auto name = Hex_Util::zeroEndedName(region, pos + 8);
        if (!offset || !size || !name) break;
        out.push_back(HogEntry{std::move(name->text), *size, *offset, uint32_t(pos)});
        pos = name->next;
    }
    return pos;
}

namespace {

struct Header {
    uint32_t hogSize = 0;
    uint32_t itemCount = 0;
    uint32_t fatLength = 0;
};

// Header values of a file whose first 16 bytes are `b`; missing bytes read as zero,
// as they did in the editor.
Header headerOf(ByteSpan b) {
    return {Hex_Util::bigEndian32(b, 4).value_or(0), Hex_Util::bigEndian32(b, 8).value_or(0),
            Hex_Util::bigEndian32(b, 12).value_or(0)};
}

bool fatLengthFits(uint32_t fatLength, uint64_t fileSize) {
    return fatLength >= kHeaderSize && fatLength <= fileSize;
}

// Reads [have, want) of the file into region, which ends up holding what was read.
Status growRegion(const ReadOnlyFile& file, Bytes& region, uint64_t want) {
    const size_t have = region.size();
    region.resize(size_t(want));
    auto got = file.readAt(have, std::span<uint8_t>(region).subspan(have));
    if (!got) return got.error();
    region.resize(have + *got);
    return {};
}

}  // namespace

Result<std::string> readFat(const ReadOnlyFile& file, uint64_t fileSize, uint32_t fatLength,
                            uint32_t count, std::vector<HogEntry>& out) {
    out.clear();
    if (count == 0 || fileSize <= kHeaderSize) {
        if (count == 0) return std::string();
        return "The hog file ends before its FAT: none of the " + std::to_string(count) +
               " entries its header states can be read.";
    }
    // The FAT lies within fatLength bytes of the start; when that value cannot be
    // right, the file's end is the only bound left.
    const bool fatKnown = fatLengthFits(fatLength, fileSize);
    const uint64_t limit = fatKnown ? fatLength : fileSize;
    out.reserve(size_t(std::min<uint64_t>(count, (limit - kHeaderSize) / 9)));

    // One read covers the FAT of any archive with names of ordinary length; the
    // region grows only for longer names, and a hostile count or FAT length costs no
    // more than the bytes the walk really reaches.
    uint64_t want = std::min<uint64_t>(limit, kHeaderSize + count * 64ull + 65536);
    Bytes region;
    size_t pos = kHeaderSize;
    for (;;) {
        if (auto grown = growRegion(file, region, want); !grown) return grown.error();
        pos = walkFat(region, pos, count, out);
        if (out.size() == count || region.size() < want || want == limit) break;
        want = std::min<uint64_t>(limit, want * 2);
    }
    if (out.size() == count) return std::string();
    return "The FAT ends at byte " + std::to_string(pos) + " (the end of the " +
           (fatKnown ? "FAT region" : "file") + ") after " + std::to_string(out.size()) +
           " of the " + std::to_string(count) +
           " entries its header states; only those are listed.";
}

Result<uint32_t> countFatEntries(const ReadOnlyFile& file, uint64_t fileSize, uint32_t fatLength) {
    if (!fatLengthFits(fatLength, fileSize)) return uint32_t(0);
    Bytes region;
    if (auto read = growRegion(file, region, fatLength); !read) return read.error();
    std::vector<HogEntry> entries;
    walkFat(region, kHeaderSize, UINT32_MAX, entries);
    return uint32_t(entries.size());
}

// ---- HogArchive ---------------------------------------------------------------------

HogArchive::HogArchive() = default;
HogArchive::HogArchive(HogArchive&&) noexcept = default;
HogArchive& HogArchive::operator=(HogArchive&&) noexcept = default;
HogArchive::~HogArchive() = default;

struct ArchiveLoader {
    // The file, its header and its FAT. With `useCompanion` a count of 0 or above
    // 100000 is taken, with the other header values, from a companion FAT file.
    static Result<HogArchive> load(const fs::path& path, bool useCompanion) {
        std::error_code ec;
        if (path.empty() || !fs::is_regular_file(path, ec))
            return makeError(ErrorKind::NotFound, pathText(path) + ": file not found");
        auto size = ov::fileSize(path);
        if (!size) return size.error();
        auto file = ReadOnlyFile::open(path);
        if (!file) return file.error();

        uint8_t head[kHeaderSize];
        auto got = file->readAt(0, head);
        if (!got) return got.error();
        ByteSpan header(head, *got);
        if (!isHogMagic(header))
            return makeError(ErrorKind::BadData,
                             pathText(path) + ": not a HOG archive (no \"BIGF\" at byte 0)", 0);

        HogArchive a;
        a.path_ = path;
        a.fileSize_ = *size;
        Header h = headerOf(header);
        a.hogSize_ = h.hogSize;
        a.itemCount_ = h.itemCount;
        a.fatLength_ = h.fatLength;
        if (useCompanion && (h.itemCount == 0 || h.itemCount > kMaxItemCount)) {
            // A FAT backup made beside the archive has the same header; it tells the
            // count when the archive's own count field has been damaged.
            for (const fs::path& companion : companionPaths(path)) {
                auto cb = readFileAt(companion, 0, kHeaderSize);
                if (!cb || cb->size() < kHeaderSize) continue;
                Header c = headerOf(*cb);
                a.hogSize_ = c.hogSize;
                a.itemCount_ = c.itemCount;
                a.fatLength_ = c.fatLength;
                a.usedCompanion_ = true;
                break;
            }
        }
        auto note = readFat(*file, a.fileSize_, a.fatLength_, a.itemCount_, a.entries_);
        if (!note) return note.error();
        a.walkNote_ = std::move(*note);
        a.file_ = std::make_unique<ReadOnlyFile>(std::move(*file));
        return a;
    }

    static std::vector<fs::path> companionPaths(const fs::path& path) {
        fs::path lower = path;
        lower.replace_extension(".fat");
        std::vector<fs::path> out;
        std::error_code ec;
        // The backup is named "<path less 4 characters>.FAT"; on a file system that
        // tells case apart it is a different name from the ".fat" one.
        for (const fs::path& p : {lower, backupPathOf(path)})
            if (fs::is_regular_file(p, ec) && std::find(out.begin(), out.end(), p) == out.end() &&
                !sameFile(p, path))
                out.push_back(p);
        return out;
    }

    // The count-0 repair of GetHogData: the number of entries the FAT region holds,
    // written into the header, and the FAT read again with it.
    static Status repairCount(HogArchive& a) {
        auto count = countFatEntries(*a.file_, a.fileSize_, a.fatLength_);
        if (!count) return count.error();
        a.itemCount_ = *count;
        if (*count == 0) return {};
        uint8_t field[4];
        storeU32BE(field, *count);
        auto lock = lockOpenArchive(a);
        Status written = lock ? writeFileAt(a.path_, 8, field) : Status(lock.error());
        auto note = readFat(*a.file_, a.fileSize_, a.fatLength_, a.itemCount_, a.entries_);
        if (!note) return note.error();
        a.walkNote_ = std::move(*note);
        return written;
    }
};

Result<WriteLock> lockArchive(const fs::path& path) {
    auto lock = WriteLock::acquire(path);
    if (!lock && lock.error().kind == ErrorKind::Refused)
        return makeError(ErrorKind::Refused,
                         pathText(path) + ": the archive is busy: another program is writing "
                                          "it; try again when it has finished");
    return lock;
}

Result<WriteLock> lockOpenArchive(const HogArchive& archive) {
    auto lock = lockArchive(archive.path());
    if (!lock) return lock;
    auto opened = archive.file().id();
    auto size = fileSize(archive.path());
    if (!opened || *opened != lock->id() || !size || *size != archive.fileSize())
        return makeError(ErrorKind::Refused,
                         pathText(archive.path()) +
                             ": the archive has changed since it was opened; open it again");
    return lock;
}

fs::path backupPathOf(const fs::path& archive) {
    const std::string name = archive.filename().string();
    // "resource.hog" -> "resource.FAT": how the editor named its backups, which
    // players keep. Any other name gets ".FAT" after it, so the backup stays in
    // the archive's folder and no two archives share one.
    const bool threeLetterType = name.size() > 4 && name[name.size() - 4] == '.' &&
                                 name.find_last_of('.') == name.size() - 4;
    if (threeLetterType) {
        fs::path p = archive.parent_path() / (name.substr(0, name.size() - 4) + ".FAT");
        if (!sameNameIgnoringCase(p.filename().string(), name)) return p;
    }
    fs::path p = archive;
    p += ".FAT";
    return p;
}

Result<HogArchive> HogArchive::read(const fs::path& path) {
    return ArchiveLoader::load(path, true);
}

std::optional<HogArchive> HogArchive::open(std::string_view pathArg, Reporter& reporter) {
    auto a = read(pathFromText(trim(pathArg)));
    if (!a) {
        switch (a.error().kind) {
            case ErrorKind::NotFound:
                reporter.message("File path error", "File not found", Icon::Exclamation);
                break;
            case ErrorKind::BadData:
                reporter.message("Extractor", "This file is not a valid OV Hog file",
                                 Icon::Exclamation);
                break;
            default:
                reporter.message("OV Edit", "Error - " + a.error().describe(), Icon::Critical);
                break;
        }
        return std::nullopt;
    }
    if (!a->walkNote().empty()) reporter.message("OV Edit", a->walkNote(), Icon::Exclamation);
    return std::move(*a);
}

Status HogArchive::reload() {
    auto a = read(path_);
    if (!a) return a.error();
    *this = std::move(*a);
    return {};
}

fs::path HogArchive::backupPath() const {
    return backupPathOf(path_);
}

bool HogArchive::hasBackup() const {
    std::error_code ec;
    return fs::is_regular_file(backupPath(), ec);
}

namespace {

std::string_view lastPart(std::string_view name) {
    size_t sep = name.find_last_of("\\/");
    return sep == std::string_view::npos ? name : name.substr(sep + 1);
}

}  // namespace

const HogEntry* HogArchive::find(std::string_view name) const {
    for (const HogEntry& e : entries_)
        if (sameNameIgnoringCase(e.name, name)) return &e;
    for (const HogEntry& e : entries_)
        if (sameNameIgnoringCase(lastPart(e.name), name)) return &e;
    return nullptr;
}

namespace {

Error pastTheEnd(const HogEntry& entry) {
    return makeError(ErrorKind::OutOfRange,
                     "\"" + entry.name + "\" points past the end of the archive (offset " +
                         hexText(entry.offset) + ", size " + hexText(entry.size) + ")",
                     entry.entryPos);
}

}  // namespace

Status HogArchive::readRawInto(const HogEntry& entry, Bytes& out) const {
    if (uint64_t(entry.offset) + entry.size > fileSize_) return pastTheEnd(entry);
    out.resize(entry.size);
    auto got = file_->readAt(entry.offset, out);
    if (!got || *got != out.size())
        return makeError(ErrorKind::ReadFailed,
                         pathText(path_) + ": read error in \"" + entry.name + "\"");
    return {};
}

Result<Bytes> HogArchive::readHead(const HogEntry& entry, size_t maxBytes) const {
    if (uint64_t(entry.offset) + entry.size > fileSize_) return pastTheEnd(entry);
    Bytes out(std::min<size_t>(entry.size, maxBytes));
    auto got = file_->readAt(entry.offset, out);
    if (!got || *got != out.size())
        return makeError(ErrorKind::ReadFailed,
                         path_.string() + ": read error in \"" + entry.name + "\"");
    return out;
}

Result<Bytes> HogArchive::readRaw(const HogEntry& entry) const {
    Bytes out;
    if (auto st = readRawInto(entry, out); !st) return st.error();
    return out;
}

Result<PackInfo> HogArchive::packInfo(const HogEntry& entry) const {
    uint8_t first[kPackInfoBytes];
    const size_t n = std::min<size_t>(entry.size, sizeof first);
    if (uint64_t(entry.offset) + n > fileSize_)
        return makeError(ErrorKind::OutOfRange,
                         "\"" + entry.name + "\" points past the end of the archive",
                         entry.entryPos);
    auto got = file_->readAt(entry.offset, std::span<uint8_t>(first, n));
    if (!got) return got.error();
    return packInfoOf(ByteSpan(first, *got));
}

Result<Bytes> unpackItem(ByteSpan packed) {
    // The output buffer holds the unpacked size the header states plus a margin, and
    // the decoder stops rather than write past it.
    auto stated = Hex_Util::bigEndian24(packed, 2);
    if (!stated) return makeError(ErrorKind::BadData, "the packed header is cut short", 0);
    Bytes out(size_t(*stated) + kUnpackMargin);
    auto n = refpack::decodeInto(packed, out);
    if (!n) return n.error();
    if (auto st = refpack::checkProduced(*n, *stated); !st) return st.error();
    out.resize(*n);
    return out;
}

Result<Bytes> HogArchive::readUnpacked(const HogEntry& entry) const {
    auto raw = readRaw(entry);
    if (!raw || !refpack::isPacked(*raw)) return raw;
    auto plain = unpackItem(*raw);
    if (!plain)
        return makeError(ErrorKind::BadData, "\"" + entry.name + "\": " + plain.error().describe());
    return plain;
}

// ---- GetHogData -------------------------------------------------------------------

std::optional<std::vector<HogEntry>> GetHogData(std::string_view pathArg, Reporter& reporter) {
    const char* title = "GetHogData";
    const fs::path path = pathFromText(trim(pathArg));
    auto a = ArchiveLoader::load(path, false);
    if (!a) {
        switch (a.error().kind) {
            case ErrorKind::NotFound:
                reporter.message(title, "Error - hog not found", Icon::Exclamation);
                break;
            case ErrorKind::BadData:
                // Without the magic the file is no archive, and repairing its "count"
                // would damage whatever it really is.
                reporter.message(title, "Error - " + pathText(path) + " is not a valid OV Hog file",
                                 Icon::Exclamation);
                break;
            default:
                reporter.message(title, "Error - can't open " + pathText(path), Icon::Critical);
                break;
        }
        return std::nullopt;
    }
    if (a->itemCount() == 0) {
        reporter.message("OV Edit",
                         "Error in resource.hog - Hog says number of items = 0 - attempting to "
                         "correct",
                         Icon::Exclamation);
        if (auto repaired = ArchiveLoader::repairCount(*a); !repaired)
            reporter.message(title, "Error - " + repaired.error().describe(), Icon::Critical);
    }
    if (!a->walkNote().empty()) reporter.message(title, a->walkNote(), Icon::Exclamation);
    return a->entries();
}

}  // namespace ov::archive
