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
// The largest import text looked at; a real one is a few hundred bytes.
constexpr uint64_t kMaxImportText = 64 * 1024;

bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// Byte offset of the statistics block of ship `index`, after the checks shared by
// GetShipsStats and PutShipsStats; the bound is checked against the current length
// before the file is touched.
std::optional<uint64_t> blockOffset(Reporter& reporter, const char* title, const fs::path& path,
                                    int index) {
    auto size = fileSize(path);
    if (!size) {
        reporter.message(title, kFileNotFound, Icon::Exclamation);
        return std::nullopt;
    }
    if (index < 0 || uint64_t(index) * kStatsRecordSize + kStatsRecordSize > *size) {
        reporter.message(title, kInvalidShip, Icon::Exclamation);
        return std::nullopt;
    }
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

bool GetShipsStats(Reporter& reporter, std::string pathArg, int index, ShipStats& stats) {
    constexpr const char* title = "GetShipsStats";
    const fs::path path = pathFromText(trim(pathArg));
    auto at = blockOffset(reporter, title, path, index);
    if (!at) return false;
    auto block = readFileAt(path, *at, kStatsBlockSize);
    if (!block || block->size() != kStatsBlockSize) {
        reporter.message(title, "Error - can't read " + pathText(path), Icon::Critical);
        return false;
    }
    stats = ShipStats::fromBytes(*block);
    return true;
}

bool PutShipsStats(Reporter& reporter, std::string pathArg, int index, const ShipStats& stats) {
    constexpr const char* title = "PutShipsStats";
    const fs::path path = pathFromText(trim(pathArg));
    auto at = blockOffset(reporter, title, path, index);
    if (!at) return false;
    auto bytes = stats.toBytes();
    if (auto err = writeFileAt(path, *at, bytes)) {
        reporter.message(title, "Error - " + err->describe(), Icon::Critical);
        return false;
    }
    return true;
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

bool GetImportStats(Reporter& reporter, std::string pathArg, ShipStats& stats) {
    constexpr const char* title = "GetImportStats";
    const fs::path path = pathFromText(trim(pathArg));
    if (!isFile(path)) {
        reporter.message(title, "File not found!", Icon::Critical);
        return false;
    }
    auto data = readFile(path, kMaxImportText);
    if (!data) {
        reporter.message(title, "Error - " + data.error().describe(), Icon::Critical);
        return false;
    }
    auto parsed = parseImportStats(
        std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    if (!parsed) {
        reporter.message(title, "Error - " + pathText(path) + ": " + parsed.error().describe(),
                         Icon::Exclamation);
        return false;
    }
    stats = *parsed;
    return true;
}

int32_t AddShipStatsRecord(Reporter& reporter, std::string pathArg, ShipTable& table,
                           size_t position, const ShipStats& stats) {
    constexpr const char* title = "AddShipStatsRecord";
    const fs::path path = pathFromText(trim(pathArg));
    if (position >= table.size()) {
        reporter.message(title, kInvalidShip, Icon::Exclamation);
        return -1;
    }
    Bytes data;
    if (isFile(path)) {
        auto old = readFile(path, uint64_t(kStatsRecordSize) * (kMaxStatsIndex + 1));
        if (!old) {
            reporter.message(title, "Error - " + old.error().describe(), Icon::Critical);
            return -1;
        }
        data = std::move(*old);
    }
    // A record appended behind a partial one would not start at index * 352, and
    // the index handed back would address the wrong bytes.
    if (data.size() % kStatsRecordSize != 0) {
        reporter.message(title,
                         "Error - " + pathText(path) +
                             " is damaged: its length is not a whole number "
                             "of ship records",
                         Icon::Exclamation);
        return -1;
    }
    size_t index = data.size() / kStatsRecordSize;
    if (index > size_t(kMaxStatsIndex)) {
        reporter.message(title,
                         "Error - " + pathText(path) + " holds the largest number of ships possible",
                         Icon::Exclamation);
        return -1;
    }
    std::string name = trim(table[position].name);
    if (name.size() > kShipNameWidth) name.resize(kShipNameWidth);

    size_t at = data.size();
    data.resize(at + kStatsRecordSize, 0);
    std::copy(name.begin(), name.end(), data.begin() + ptrdiff_t(at));
    auto block = stats.toBytes();
    std::copy(block.begin(), block.end(), data.begin() + ptrdiff_t(at + kStatsBlockOffset));
    // The whole file goes through a temporary copy, so a failed append leaves the
    // old file as it was.
    if (auto err = writeFileAtomic(path, data)) {
        reporter.message(title, "Error - " + err->describe(), Icon::Critical);
        return -1;
    }
    table[position].name = name;
    return int32_t(index);
}

bool EnsureDefaultShipStats(Reporter& reporter, std::string gameFolderArg) {
    const fs::path gameFolder = pathFromText(trim(gameFolderArg));
    auto bin = findInFolder(gameFolder, kShipStatsFile);
    if (!bin || !isFile(*bin)) {
        reporter.message("OV Edit", "Can't find shipstats.bin", Icon::Exclamation);
        return false;
    }
    auto def = pathInFolder(gameFolder, kShipStatsDefaultFile);
    std::error_code ec;
    if (def && fs::exists(*def, ec)) return true;
    if (!def) return false;  // unreachable: the folder holds shipstats.bin
    if (auto err = copyFileAtomic(*bin, *def)) {
        reporter.message("OV Edit", "Error - " + err->describe(), Icon::Critical);
        return false;
    }
    return true;
}

bool RestoreShipStats(Reporter& reporter, std::string target, std::string source,
                      const ShipTable& table, size_t count) {
    constexpr const char* title = "RestoreShipStats";
    target = trim(target);
    source = trim(source);
    if (!isFile(pathFromText(target)) || !isFile(pathFromText(source))) {
        reporter.message(title, kPathsNotFound, Icon::Exclamation);
        return false;
    }
    bool all = true;
    count = std::min(count, table.size());
    for (size_t i = 0; i < count; ++i) {
        if (table[i].imported) continue;
        ShipStats stats;
        // A block that could not be read is not written: the target would get the
        // previous ship's figures.
        if (!GetShipsStats(reporter, source, table[i].statsIndex, stats) ||
            !PutShipsStats(reporter, target, table[i].statsIndex, stats))
            all = false;
    }
    if (!all) return false;  // keep the source: it still holds figures not copied
    std::error_code ec;
    fs::remove(pathFromText(source), ec);
    return true;
}

bool RestoreSwappedShipStats(Reporter& reporter, std::string target, std::string source,
                             const ShipTable& table, size_t count) {
    constexpr const char* title = "RestoreShipStats";
    target = trim(target);
    source = trim(source);
    if (!isFile(pathFromText(target)) || !isFile(pathFromText(source))) {
        reporter.message(title, kPathsNotFound, Icon::Exclamation);
        return false;
    }
    bool all = true;
    count = std::min(count, table.size());
    for (size_t i = 0; i < count; ++i) {
        const Ship& s = table[i];
        if (!s.swapped || s.swapTarget <= int(i) || size_t(s.swapTarget) >= table.size()) continue;
        ShipStats stats;
        if (!GetShipsStats(reporter, source, s.statsIndex, stats) ||
            !PutShipsStats(reporter, target, table[size_t(s.swapTarget)].statsIndex, stats))
            all = false;
    }
    return all;
}

}  // namespace ov::ships
