#pragma once
// Pieces shared by the archive library's sources; not part of its interface.

#include <string>
#include <vector>

#include "hog.h"

namespace ov::archive {

// Entries from `pos` on, until `out` holds `count` entries or the next entry does not
// fit in `region`. Returns the offset at which the walk stopped.
size_t walkFat(ByteSpan region, size_t pos, uint64_t count, std::vector<HogEntry>& out);

// Reads `count` FAT entries from offset 16 into `out`, bounded by fatLength (when it
// fits the file) and by the file's end. Returns a note saying where the walk
// stopped when it found fewer entries, otherwise an empty text.
Result<std::string> readFat(const ReadOnlyFile& file, uint64_t fileSize, uint32_t fatLength,
                            uint32_t count, std::vector<HogEntry>& out);
// How many whole entries the first fatLength bytes hold (0 when fatLength does not fit).
Result<uint32_t> countFatEntries(const ReadOnlyFile& file, uint64_t fileSize, uint32_t fatLength);

// See HogArchive::backupPath().
fs::path backupPathOf(const fs::path& archive);

// Unpacks a packed item into a buffer of its stated unpacked size + kUnpackMargin.
Result<Bytes> unpackItem(ByteSpan packed);

}  // namespace ov::archive
