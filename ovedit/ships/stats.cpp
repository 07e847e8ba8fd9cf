#include "stats.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <system_error>

#include "common/fileio.h"
#include "game_files.h"

namespace ov::ships {

namespace {

constexpr const char* kFileNotFound = "Error - file not found";
constexpr const char* kInvalidShip = "Error - invalid ship";
constexpr const char* kPathsNotFound = "Error - Path(s) not found";
// Restoring a file from itself would copy nothing and then delete it.
constexpr const char* kSameFile =
    "Error - the target and the source are the same file; nothing was restored";
// The largest import text looked at; a real one is a few hundred bytes.
constexpr uint64_t kMaxImportText = 64 * 1024;

bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// Byte offset of the statistics block of ship `index`, checked against the file's
// current length before the file is touched.
Result<uint64_t> blockOffset(const fs::path& path, int index) {
    auto size = fileSize(path);
    if (!size) return makeError(ErrorKind::NotFound, pathText(path) + ": file not found");
    if (index < 0 || uint64_t(index) * kStatsRecordSize + kStatsRecordSize > *size)
        return makeError(ErrorKind::OutOfRange,
                         pathText(path) + ": there is no ship " + std::to_string(index));
    return uint64_t(index) * kStatsRecordSize + kStatsBlockOffset;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

ShipStats ShipStats::fromBytes(ByteSpan block) {
    assert(block.size() >= kStatsBlockSize);
    ShipStats s;
    for (size_t i = 0; i < kStatsFieldCount; ++i)
        s.field[i] = loadF32LE(block.data() + 4 * i);
    return s;
}

std::array<uint8_t, kStatsBlockSize> ShipStats::toBytes() const {
    std::array<uint8_t, kStatsBlockSize> out{};
    for (size_t i = 0; i < kStatsFieldCount; ++i)
        storeF32LE(out.data() + 4 * i, field[i]);
    return out;
}

const std::array<StatsField, kStatsFieldCount>& statsFieldsInDisplayOrder() {
    static const std::array<StatsField, kStatsFieldCount> fields{{
        {"Max Speed", 0, 0},
        {"Inertia", 1, 4},
        {"Yaw Max", 2, 8},
        {"Yaw Inertia", 3, 12},
        {"Pitch Max", 4, 16},
        {"Pitch Inertia", 5, 20},
        {"Roll Max", 6, 24},
        {"Roll Inertia", 7, 28},
        {"Shield Strength", 8, 32},
        {"Shield Recharge", 11, 44},
        {"Armor Strength", 9, 36},
        {"Afterburner Fuel", 10, 40},
        {"Gun Energy", 12, 48},
        {"Gun Recharge", 13, 52},
        {"Ammo", 14, 56},
    }};
    return fields;
}

std::optional<StatsField> statsFieldByLabel(std::string_view label) {
    std::string wanted = trim(label);
    for (const StatsField& f : statsFieldsInDisplayOrder())
        if (sameNameIgnoringCase(f.label, wanted)) return f;
    return std::nullopt;
}

Result<ShipStats> readShipStats(const fs::path& path, int index) {
    auto at = blockOffset(path, index);
    if (!at) return at.error();
    auto block = readFileAt(path, *at, kStatsBlockSize);
    if (!block || block->size() != kStatsBlockSize)
        return makeError(ErrorKind::ReadFailed, "can't read " + pathText(path));
    return ShipStats::fromBytes(*block);
}

Status writeShipStats(const fs::path& path, int index, const ShipStats& stats) {
    auto at = blockOffset(path, index);
    if (!at) return at.error();
    auto bytes = stats.toBytes();
    return writeFileAt(path, *at, bytes);
}

namespace {

// The messages GetShipsStats and PutShipsStats give for a failed read or write.
void reportBlockFault(const char* title, const Error& e, Reporter& reporter) {
    switch (e.kind) {
        case ErrorKind::NotFound:
            reporter.message(title, kFileNotFound, Icon::Exclamation);
            break;
        case ErrorKind::OutOfRange:
            reporter.message(title, kInvalidShip, Icon::Exclamation);
            break;
        case ErrorKind::ReadFailed:
            reporter.message(title, "Error - " + e.message, Icon::Critical);
            break;
        default:
            reporter.message(title, "Error - " + e.describe(), Icon::Critical);
            break;
    }
}

}  // namespace

std::optional<ShipStats> GetShipsStats(std::string_view path, int index, Reporter& reporter) {
    auto stats = readShipStats(pathFromText(trim(path)), index);
    if (!stats) {
        reportBlockFault("GetShipsStats", stats.error(), reporter);
        return std::nullopt;
    }
    return *stats;
}

bool PutShipsStats(std::string_view path, int index, const ShipStats& stats, Reporter& reporter) {
    auto written = writeShipStats(pathFromText(trim(path)), index, stats);
    if (!written) reportBlockFault("PutShipsStats", written.error(), reporter);
    return written.ok();
}

std::optional<float> parseStatsNumber(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    // from_chars takes no leading '+', which a hand-written text may carry.
    std::string_view digits = !text.empty() && text.front() == '+' ? text.substr(1) : text;
    if (digits.empty() || (digits.size() < text.size() && digits.front() == '-'))
        return std::nullopt;
    float v = 0;
    auto [stop, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec != std::errc() || stop != digits.data() + digits.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

Result<ShipStats> parseImportStats(std::string_view text) {
    std::array<float, kStatsFieldCount> numbers{};
    size_t found = 0;
    size_t pos = 0;
    size_t line = 1;
    while (found < kStatsFieldCount && pos < text.size()) {
        // One field runs to the next comma or line end.
        size_t end = text.find_first_of(",\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view f = text.substr(pos, end - pos);
        bool lineEnd = end < text.size() && text[end] == '\n';
        pos = end + 1;
        while (!f.empty() && isBlank(f.front()))
            f.remove_prefix(1);
        while (!f.empty() && isBlank(f.back()))
            f.remove_suffix(1);
        size_t fieldLine = line;
        if (lineEnd) ++line;
        if (f.empty()) {
            if (lineEnd || end >= text.size()) continue;  // a blank line or the end
            return makeError("line " + std::to_string(fieldLine) + ": number " +
                             std::to_string(found + 1) + " is empty");
        }
        auto v = parseStatsNumber(f);
        if (!v) {
            std::string shown(f.substr(0, 40));
            return makeError("line " + std::to_string(fieldLine) + ": \"" + shown +
                             "\" is not a number");
        }
        numbers[found++] = *v;
    }
    if (found < kStatsFieldCount)
        return makeError("the text holds " + std::to_string(found) +
                         " numbers; a ship's statistics need 15");
    ShipStats stats;
    const auto& order = statsFieldsInDisplayOrder();
    for (size_t i = 0; i < kStatsFieldCount; ++i)
        stats.field[order[i].fileIndex] = numbers[i];
    return stats;
}

Result<ShipStats> readImportStats(const fs::path& path) {
    if (!isFile(path)) return makeError(ErrorKind::NotFound, pathText(path) + ": file not found");
    auto data = readFile(path, kMaxImportText);
    if (!data) return data.error();
    auto parsed = parseImportStats(
        std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    if (!parsed)
        return makeError(ErrorKind::BadData, pathText(path) + ": " + parsed.error().describe());
    return *parsed;
}

std::optional<ShipStats> GetImportStats(std::string_view path, Reporter& reporter) {
    constexpr const char* title = "GetImportStats";
    auto stats = readImportStats(pathFromText(trim(path)));
    if (stats) return *stats;
    switch (stats.error().kind) {
        case ErrorKind::NotFound:
            reporter.message(title, "File not found!", Icon::Critical);
            break;
        case ErrorKind::BadData:
            reporter.message(title, "Error - " + stats.error().message, Icon::Exclamation);
            break;
        default:
            reporter.message(title, "Error - " + stats.error().describe(), Icon::Critical);
            break;
    }
    return std::nullopt;
}

std::string statsRecordName(std::string_view shipName) {
    std::string name = trim(shipName);
    if (name.size() > kShipNameWidth) name.resize(kShipNameWidth);
    return name;
}

Result<int32_t> appendShipStatsRecord(const fs::path& path, std::string_view shipName,
                                      const ShipStats& stats) {
    Bytes data;
    if (isFile(path)) {
        auto old = readFile(path, uint64_t(kStatsRecordSize) * (kMaxStatsIndex + 1));
        if (!old) return old.error();
        data = std::move(*old);
    }
    // A record appended behind a partial one would not start at index * 352, and
    // the index handed back would address the wrong bytes.
    if (data.size() % kStatsRecordSize != 0)
        return makeError(
            ErrorKind::Refused,
            pathText(path) + " is damaged: its length is not a whole number of ship records");
    size_t index = data.size() / kStatsRecordSize;
    if (index > size_t(kMaxStatsIndex))
        return makeError(ErrorKind::OutOfRange,
                         pathText(path) + " holds the largest number of ships possible");
    const std::string name = statsRecordName(shipName);

    size_t at = data.size();
    data.resize(at + kStatsRecordSize, 0);
    std::copy(name.begin(), name.end(), data.begin() + ptrdiff_t(at));
    auto block = stats.toBytes();
    std::copy(block.begin(), block.end(), data.begin() + ptrdiff_t(at + kStatsBlockOffset));
    // The whole file goes through a temporary copy, so a failed append leaves the
    // old file as it was.
    if (auto written = writeFileAtomic(path, data); !written) return written.error();
    return int32_t(index);
}

std::optional<int32_t> AddShipStatsRecord(std::string_view path, ShipTable& table, size_t position,
                                          const ShipStats& stats, Reporter& reporter) {
    constexpr const char* title = "AddShipStatsRecord";
    if (position >= table.size()) {
        reporter.message(title, kInvalidShip, Icon::Exclamation);
        return std::nullopt;
    }
    auto index = appendShipStatsRecord(pathFromText(trim(path)), table[position].name, stats);
    if (!index) {
        const Error& e = index.error();
        const bool refused = e.kind == ErrorKind::Refused || e.kind == ErrorKind::OutOfRange;
        reporter.message(title, "Error - " + (refused ? e.message : e.describe()),
                         refused ? Icon::Exclamation : Icon::Critical);
        return std::nullopt;
    }
    table[position].name = statsRecordName(table[position].name);
    return *index;
}

Status ensureDefaultShipStats(const fs::path& gameFolder) {
    auto bin = findInFolder(gameFolder, kShipStatsFile);
    if (!bin || !isFile(*bin))
        return makeError(ErrorKind::NotFound, pathText(gameFolder) + ": no shipstats.bin");
    auto def = pathInFolder(gameFolder, kShipStatsDefaultFile);
    // The folder holds shipstats.bin, so it has a place for the copy.
    if (!def) return makeError(pathText(gameFolder) + ": no place for shipstats.def");
    std::error_code ec;
    if (fs::exists(*def, ec)) return {};
    return copyFileAtomic(*bin, *def);
}

bool EnsureDefaultShipStats(std::string_view gameFolder, Reporter& reporter) {
    auto made = ensureDefaultShipStats(pathFromText(trim(gameFolder)));
    if (made) return true;
    if (made.error().kind == ErrorKind::NotFound)
        reporter.message("OV Edit", "Can't find shipstats.bin", Icon::Exclamation);
    else
        reporter.message("OV Edit", "Error - " + made.error().describe(), Icon::Critical);
    return false;
}

bool RestoreShipStats(std::string_view target, std::string_view source, const ShipTable& table,
                      size_t count, Reporter& reporter) {
    constexpr const char* title = "RestoreShipStats";
    const fs::path to = pathFromText(trim(target)), from = pathFromText(trim(source));
    if (!isFile(to) || !isFile(from)) {
        reporter.message(title, kPathsNotFound, Icon::Exclamation);
        return false;
    }
    if (sameFile(to, from)) {
        reporter.message(title, kSameFile, Icon::Exclamation);
        return false;
    }
    bool all = true;
    count = std::min(count, table.size());
    for (size_t i = 0; i < count; ++i) {
        if (table[i].imported) continue;
        // A block that could not be read is not written: the target would get the
        // previous ship's figures.
        auto stats = GetShipsStats(pathText(from), table[i].statsIndex, reporter);
        if (!stats || !PutShipsStats(pathText(to), table[i].statsIndex, *stats, reporter))
            all = false;
    }
    if (!all) return false;  // keep the source: it still holds figures not copied
    std::error_code ec;
    fs::remove(from, ec);
    return true;
}

bool RestoreSwappedShipStats(std::string_view target, std::string_view source,
                             const ShipTable& table, size_t count, Reporter& reporter) {
    constexpr const char* title = "RestoreShipStats";
    const fs::path to = pathFromText(trim(target)), from = pathFromText(trim(source));
    if (!isFile(to) || !isFile(from)) {
        reporter.message(title, kPathsNotFound, Icon::Exclamation);
        return false;
    }
    if (sameFile(to, from)) {
        reporter.message(title, kSameFile, Icon::Exclamation);
        return false;
    }
    bool all = true;
    count = std::min(count, table.size());
    for (size_t i = 0; i < count; ++i) {
        const Ship& s = table[i];
        if (!s.swapped || s.swapTarget <= int(i) || size_t(s.swapTarget) >= table.size()) continue;
        auto stats = GetShipsStats(pathText(from), s.statsIndex, reporter);
        if (!stats ||
            !PutShipsStats(pathText(to), table[size_t(s.swapTarget)].statsIndex, *stats, reporter))
            all = false;
    }
    return all;
}

}  // namespace ov::ships
