#include "ship_table.h"

#include <charconv>

#include "common/fileio.h"
#include "game_files.h"
#include "stats.h"

namespace ov::ships {

namespace {

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) return out;
        start = tab + 1;
    }
}

bool parseInt(std::string_view s, int& out) {
    std::string t = trim(s);
    if (t.empty()) return false;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
    return ec == std::errc() && end == t.data() + t.size();
}

Error lineError(size_t line, const std::string& what) {
    return makeError("ship table line " + std::to_string(line) + ": " + what);
}

}  // namespace

Result<ShipTable> parseShipTable(std::string_view text) {
    ShipTable table;
    size_t lineNo = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        std::string_view line =
            text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        start = nl == std::string_view::npos ? text.size() : nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string bare = trim(line);
        if (bare.empty() || bare.front() == '#') continue;

        auto f = splitTabs(line);
        if (f.size() < 2) return lineError(lineNo, "needs at least a name and a statistics index");
        if (f.size() > 7) return lineError(lineNo, "has more than 7 fields");
        Ship s;
        s.name = trim(f[0]);
        if (s.name.empty() || s.name.size() > kShipNameWidth)
            return lineError(lineNo, "the ship name must have 1 to 30 characters");
        if (!parseInt(f[1], s.statsIndex) || s.statsIndex < 0 || s.statsIndex > kMaxStatsIndex)
            return lineError(lineNo, "the statistics index must be a number from 0 to 32767");
        for (size_t i : {size_t(2), size_t(3)}) {
            if (i >= f.size()) break;
            std::string m = trim(f[i]);
            if (!m.empty() && (m.size() > kModelNameWidth || !isPlainFileName(m)))
                return lineError(lineNo,
                                 "a model name must be a file name of at most 30 characters");
            (i == 2 ? s.model : s.tigerModel) = m;
        }
        for (size_t i : {size_t(4), size_t(5)}) {
            if (i >= f.size()) break;
            std::string v = trim(f[i]);
            if (v.empty()) continue;
            if (v != "0" && v != "1") return lineError(lineNo, "a flag must be 0 or 1");
            (i == 4 ? s.imported : s.swapped) = v == "1";
        }
        if (f.size() > 6 && !trim(f[6]).empty() && !parseInt(f[6], s.swapTarget))
            return lineError(lineNo, "the swap target must be a number");
        table.push_back(std::move(s));
    }
    for (size_t i = 0; i < table.size(); ++i) {
        const Ship& s = table[i];
        if (s.swapped && (s.swapTarget < 0 || size_t(s.swapTarget) >= table.size()))
            return makeError("ship table: the swap target of \"" + s.name +
                             "\" is not a ship of the table");
    }
    return table;
}

std::string formatShipTable(const ShipTable& table) {
    std::string out = "# name\tstats index\tmodel\tTiger model\timported\tswapped\tswap target\n";
    for (const Ship& s : table) {
        out += s.name + '\t' + std::to_string(s.statsIndex) + '\t' + s.model + '\t' + s.tigerModel +
               '\t' + (s.imported ? "1" : "0") + '\t' + (s.swapped ? "1" : "0") + '\t' +
               std::to_string(s.swapTarget) + '\n';
    }
    return out;
}

Result<ShipTable> readShipTable(const fs::path& path) {
    auto data = readFile(path, 1 << 20);
    if (!data) return data.error();
    auto table =
        parseShipTable(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    if (!table) return makeError(pathText(path) + ": " + table.error().message);
    return table;
}

Status writeShipTable(const fs::path& path, const ShipTable& table) {
    std::string text = formatShipTable(table);
    // A table that would not read back as it is (a tab in a name, a name the reader
    // takes for a comment, a field out of range) is not written.
    auto back = parseShipTable(text);
    if (!back) return makeError(pathText(path) + ": not written: " + back.error().message);
    if (back->size() != table.size())
        return makeError(pathText(path) + ": not written: a ship name starts with '#'");
    return writeFileAtomic(path,
                           ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

Result<ShipTable> shipsFromStatsFile(const fs::path& statsPath) {
    auto data = readFile(statsPath, uint64_t(kStatsRecordSize) * (kMaxStatsIndex + 1));
    if (!data) return data.error();
    ShipTable table;
    size_t records = data->size() / kStatsRecordSize;
    for (size_t i = 0; i < records; ++i) {
        const char* rec = reinterpret_cast<const char*>(data->data() + i * kStatsRecordSize);
        std::string_view name(rec, kStatsBlockOffset);
        name = name.substr(0, name.find('\0'));
        Ship s;
        s.name = trim(name.substr(0, kShipNameWidth));
        s.statsIndex = int(i);
        table.push_back(std::move(s));
    }
    return table;
}

Result<ShipTable> loadShipTable(const fs::path& editorFolder, const fs::path& gameFolder) {
    if (auto own = findInFolder(editorFolder, kShipTableFile)) return readShipTable(*own);
    auto stats = findInFolder(gameFolder, kShipStatsFile);
    if (!stats) return makeError(pathText(gameFolder) + ": no shipstats.bin and no ship table");
    return shipsFromStatsFile(*stats);
}

Result<ShipTable> shipTableForRestore(const fs::path& target, const fs::path& tableFile) {
    if (!tableFile.empty()) return readShipTable(tableFile);
    auto stock = shipsFromStatsFile(target);
    if (!stock) return ShipTable{};
    return stock;
}

}  // namespace ov::ships
