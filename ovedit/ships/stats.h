#pragma once
// shipstats.bin (and its pristine copy shipstats.def): a flat run of 352-byte
// records, one per ship, no header. Record i starts at byte i * 352:
//
//   0   64 bytes  ship name, one ANSI byte per character, zero padded
//   64  60 bytes  ShipStats: 15 little-endian floats
//   124 228 bytes never read or changed here; zero in records appended here
//
// A trailing partial record is not addressable.
//
// Two layers. The core (readShipStats, writeShipStats, readImportStats,
// appendShipStatsRecord, ensureDefaultShipStats and the parsers) says nothing and
// returns a Result whose error kind tells what went wrong; it may run on any
// thread. The editor's routines over it (GetShipsStats ... RestoreSwappedShipStats)
// trim their path arguments, report every failure exactly once with the editor's
// titles and texts, change nothing when they fail, and return whether they went
// through.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/report.h"
#include "common/result.h"
#include "ship_table.h"

namespace ov::ships {

namespace fs = std::filesystem;

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

// ---- Core ---------------------------------------------------------------------------

// The block of ship `index`. Errors: NotFound (no such file), OutOfRange (the
// record does not lie wholly inside the file, or a negative index), ReadFailed.
Result<ShipStats> readShipStats(const fs::path& path, int index);

// Writes exactly the 60 bytes of the block of ship `index`; never extends the file.
// Errors as readShipStats, and WriteFailed.
Status writeShipStats(const fs::path& path, int index, const ShipStats& stats);

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

// An import statistics text file. Errors: NotFound, OutOfRange (a file far too
// large to be one), ReadFailed, and BadData ("PATH: line N: ...") for a text that
// does not parse.
Result<ShipStats> readImportStats(const fs::path& path);

// The name a record appended for a ship gets: trimmed, at most 30 characters.
std::string statsRecordName(std::string_view shipName);

// Appends a record: zeros, statsRecordName(shipName) and `stats`; creates the file
// when it is missing. Returns the new record's statistics index. Errors: Refused
// (the file's length is not a whole number of records), OutOfRange (the file holds
// the most records a 16-bit index reaches), ReadFailed, WriteFailed. The whole
// file is rewritten through a temporary file, so a failed append changes nothing.
Result<int32_t> appendShipStatsRecord(const fs::path& path, std::string_view shipName,
                                      const ShipStats& stats);

// Copies shipstats.bin to shipstats.def in the game folder unless the copy exists
// already, so it keeps the figures from before the first change. Errors: NotFound
// (no shipstats.bin), WriteFailed.
Status ensureDefaultShipStats(const fs::path& gameFolder);

// ---- The editor's routines -----------------------------------------------------------

// The block of ship `index`. Messages (title "GetShipsStats"): "Error - file not
// found", "Error - invalid ship" (also for a negative index).
std::optional<ShipStats> GetShipsStats(std::string_view path, int index, Reporter& reporter);

// Writes exactly the 60 bytes of the block of ship `index`; never extends the
// file. Same checks as GetShipsStats, title "PutShipsStats".
bool PutShipsStats(std::string_view path, int index, const ShipStats& stats, Reporter& reporter);

// An import statistics text file. A missing file: "File not found!" (title
// "GetImportStats", critical); a text that does not parse: the reason, title
// "GetImportStats".
std::optional<ShipStats> GetImportStats(std::string_view path, Reporter& reporter);

// Appends a record for the ship at `position` of `table` and stores the name as
// written (trimmed) back into the table. Returns the new record's statistics index;
// refusals are reported under "AddShipStatsRecord".
std::optional<int32_t> AddShipStatsRecord(std::string_view path, ShipTable& table, size_t position,
                                          const ShipStats& stats, Reporter& reporter);

// ensureDefaultShipStats of the game folder. A missing shipstats.bin: "Can't find
// shipstats.bin" (title "OV Edit").
bool EnsureDefaultShipStats(std::string_view gameFolder, Reporter& reporter);

// For the ships at table positions 0 .. count-1 that were not imported, copies
// the block at the ship's statistics index from `source` to `target`; then deletes
// `source`, but only when every block was copied. A missing file: "Error -
// Path(s) not found", title "RestoreShipStats"; target and source that are one
// file (under any names) are refused; a block that cannot be copied is reported by
// GetShipsStats or PutShipsStats.
bool RestoreShipStats(std::string_view target, std::string_view source, const ShipTable& table,
                      size_t count, Reporter& reporter);

// For every swapped ship at positions 0 .. count-1 whose swap target lies after
// it, copies the block of its own statistics index in `source` to the statistics
// index of the swap-target ship in `target`. The source is kept. Same path check
// and messages as RestoreShipStats.
bool RestoreSwappedShipStats(std::string_view target, std::string_view source,
                             const ShipTable& table, size_t count, Reporter& reporter);

}  // namespace ov::ships
