#pragma once
// Finding the game's files inside its installation folder.
//
// A game folder copied from Windows keeps the letter case the installer chose
// (`Ships\`, `SHIPSTATS.BIN`), while the editor names its files in lower case. On a
// case-sensitive file system every name is therefore matched without regard to
// ASCII letter case, one path component at a time, and only inside the folder the
// user chose: a name that would climb out of it ("..", an absolute path, a drive
// letter) is refused. Nothing here talks to the user; every function may run on any
// thread.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/fileio.h"

namespace ov::ships {

namespace fs = std::filesystem;

// True for a single plain file name: not empty, no folder separators, no drive
// colon, not "." or "..".
bool isPlainFileName(std::string_view name);

// The existing file or folder `relative` inside `root` (components separated by
// '\\' or '/'), each component matched ignoring case; an exact match wins over
// others. Nothing when it does not exist or the name is refused.
std::optional<fs::path> findInFolder(const fs::path& root, std::string_view relative);

// Like findInFolder, but when the last component does not exist yet, the path it
// would have (spelled as given) inside the existing parent. Nothing when a parent
// is missing or the name is refused.
std::optional<fs::path> pathInFolder(const fs::path& root, std::string_view relative);

// Names of the game's own files.
inline constexpr const char* kShipStatsFile = "shipstats.bin";
inline constexpr const char* kShipStatsDefaultFile = "shipstats.def";
inline constexpr const char* kArchiveFile = "resource.hog";
inline constexpr const char* kShipsFolder = "ships";
// Models an imported ship came from, under the editor's folder.
inline constexpr const char* kAddonShipsFolder = "addons\\ships";

}  // namespace ov::ships
