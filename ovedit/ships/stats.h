#pragma once
// shipstats.bin (and its pristine copy shipstats.def): a flat run of 352-byte
// records, one per ship, no header. Record i starts at byte i * 352:
//
//   0   64 bytes  ship name, one ANSI byte per character, zero padded
//   64  60 bytes  ShipStats: 15 little-endian floats
//   124 228 bytes never read or changed here; zero in records appended here
//
// A trailing partial record is not addressable. Every routine reports its own
// failures to the user and changes nothing when it fails; the bool results only
// tell the caller whether it went through.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/report.h"
#include "common/result.h"
#include "ship_table.h"

namespace ov::ships {

inline constexpr uint64_t kStatsRecordSize = 352;
inline constexpr uint64_t kStatsBlockOffset = 64;
inline constexpr size_t kStatsFieldCount = 15;
inline constexpr size_t kStatsBlockSize = kStatsFieldCount * 4;

// The 15 figures of one ship, in file order.
struct ShipStats {
    std::array<float, kStatsFieldCount> field{};

    static ShipStats fromBytes(ByteSpan block);  // block.size() >= 60
    std::array<uint8_t, kStatsBlockSize> toBytes() const;
    bool operator==(const ShipStats&) const = default;
};

struct StatsField {
    const char* label;     // as shown
    size_t fileIndex;      // position in ShipStats::field
    uint32_t blockOffset;  // fileIndex * 4
};

// The fields in display order, which is also the order of the import text file.
// It differs from the file order in one place: "Shield Recharge" (stored at block
// offset 44, after "Afterburner Fuel") is shown right after "Shield Strength".
const std::array<StatsField, kStatsFieldCount>& statsFieldsInDisplayOrder();

// The field with this label, ignoring case and surrounding blanks.
std::optional<StatsField> statsFieldByLabel(std::string_view label);

// Reads the block of ship `index` into `stats`. Messages (title "GetShipsStats"):
// "Error - file not found", "Error - invalid ship" (also for a negative index).
bool GetShipsStats(Reporter& reporter, std::string path, int index, ShipStats& stats);

// Writes exactly the 60 bytes of the block of ship `index`; never extends the
// file. Same checks as GetShipsStats, title "PutShipsStats".
bool PutShipsStats(Reporter& reporter, std::string path, int index, const ShipStats& stats);

// One figure as written by hand: a decimal or exponent number with an optional
// sign, blanks around it ignored. Nothing for anything else, and for numbers that
// are not finite or do not fit a float.
std::optional<float> parseStatsNumber(std::string_view text);

// Parses an import statistics text: numbers separated by commas or line ends, in
// display order. Blanks around a number and blank lines are ignored; the first 15
// numbers are taken and anything after them is not looked at. Fewer than 15
// numbers, an empty field or anything that is not a finite number is refused.
// Safe on any input.
Result<ShipStats> parseImportStats(std::string_view text);

// Reads an import statistics text file into `stats`. A missing file: "File not
// found!" (title "GetImportStats", critical); a text that does not parse: the
// reason, title "GetImportStats"; `stats` unchanged either way.
bool GetImportStats(Reporter& reporter, std::string path, ShipStats& stats);

// Appends a record for the ship at `position` of `table`: zeros, the ship's name
// (trimmed, and stored trimmed back into the table) and `stats`. Creates the file
// when it is missing. Returns the new record's statistics index, or -1 when it
// was refused (title "AddShipStatsRecord").
int32_t AddShipStatsRecord(Reporter& reporter, std::string path, ShipTable& table, size_t position,
                           const ShipStats& stats);

// Copies shipstats.bin to shipstats.def in the game folder unless the copy exists
// already, so it keeps the figures from before the first change. A missing
// shipstats.bin: "Can't find shipstats.bin" (title "OV Edit").
bool EnsureDefaultShipStats(Reporter& reporter, std::string gameFolder);

// For the ships at table positions 0 .. count-1 that were not imported, copies
// the block at the ship's statistics index from `source` to `target`; then deletes
// `source`, but only when every block was copied. A missing file: "Error -
// Path(s) not found", title "RestoreShipStats".
bool RestoreShipStats(Reporter& reporter, std::string target, std::string source,
                      const ShipTable& table, size_t count);

// For every swapped ship at positions 0 .. count-1 whose swap target lies after
// it, copies the block of its own statistics index in `source` to the statistics
// index of the swap-target ship in `target`. The source is kept. Same path check
// and message as RestoreShipStats.
bool RestoreSwappedShipStats(Reporter& reporter, std::string target, std::string source,
                             const ShipTable& table, size_t count);

}  // namespace ov::ships
