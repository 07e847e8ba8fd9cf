#pragma once
// Pieces shared by the archive library's sources; not part of its interface.

#include <string>
#include <vector>

#include "hog.h"

namespace ov::archive {

// Reads `count` FAT entries from offset 16 into `out`, bounded by fatLength (when it
// fits the file) and by the file's end. Returns a note saying where the walk
// stopped when it found fewer entries, otherwise an empty text.
Result<std::string> readFat(const ReadOnlyFile& file, uint64_t fileSize, uint32_t fatLength,
                            uint32_t count, std::vector<HogEntry>& out);
// How many whole entries the first fatLength bytes hold (0 when fatLength does not fit).
Result<uint32_t> countFatEntries(const ReadOnlyFile& file, uint64_t fileSize, uint32_t fatLength);

fs::path backupPathOf(const fs::path& archive);

}  // namespace ov::archive
