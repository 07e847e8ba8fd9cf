#pragma once
// The ship table: the ships the editor knows, each with its statistics record and
// its two models. It is kept in a small tab-separated text file in the editor's
// folder (format in docs/SHIP_TABLE.md); without that file the ships are taken
// from the names in shipstats.bin. Nothing here talks to the user; every function
// may run on any thread.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace ov::ships {

namespace fs = std::filesystem;

inline constexpr size_t kShipNameWidth = 30;
inline constexpr size_t kModelNameWidth = 30;
inline constexpr int kMaxStatsIndex = 32767;  // statistics indexes are 16-bit
inline constexpr const char* kShipTableFile = "shiptable.txt";

struct Ship {
    std::string name;        // at most 30 characters
    int statsIndex = 0;      // record number in shipstats.bin
    std::string model;       // standard model file name in ships\ or the archive
    std::string tigerModel;  // the Tiger ship's model file name; may be empty
    bool imported = false;   // has a record appended to shipstats.bin
    bool swapped = false;
    int swapTarget = -1;  // table position of the ship it was swapped with
};

using ShipTable = std::vector<Ship>;

// Parses the text form. Refused with the line number: a line with fewer than two
// fields, a name or model name over 30 characters, a model name that is not a
// plain file name, a statistics index outside 0-32767, a flag other than 0 or 1,
// a swap target outside the table.
Result<ShipTable> parseShipTable(std::string_view text);
std::string formatShipTable(const ShipTable& table);

Result<ShipTable> readShipTable(const fs::path& path);
// Written through a temporary file; refused when the text would not read back as
// the same table.
Status writeShipTable(const fs::path& path, const ShipTable& table);

// One ship per whole record of a statistics file: the name (cut to 30
// characters), index = record number, no models.
Result<ShipTable> shipsFromStatsFile(const fs::path& statsPath);

// The editor's ship table file when `editorFolder` has one, else the ships of the
// game folder's shipstats.bin.
Result<ShipTable> loadShipTable(const fs::path& editorFolder, const fs::path& gameFolder);

// The ships whose figures a statistics restore copies: those of `tableFile` when
// one is given (an error when it cannot be read), else one per whole record of the
// restore's target, the pristine copy, which lacks the records appended for
// imported ships. A target that cannot be read gives an empty table, so that the
// restore itself reports the missing file.
Result<ShipTable> shipTableForRestore(const fs::path& target, const fs::path& tableFile = {});

}  // namespace ov::ships
