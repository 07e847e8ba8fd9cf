#pragma once
// Pieces shared by the archive library's sources; not part of its interface.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hog.h"

namespace ov::archive {

// The archive open for binary reading.
class HogFile {
public:
    HogFile() = default;
    ~HogFile();
    HogFile(const HogFile&) = delete;
    HogFile& operator=(const HogFile&) = delete;

    static std::unique_ptr<HogFile> open(const fs::path& path);
    // Reads up to n bytes at offset; returns how many were read.
    size_t readAt(uint64_t offset, uint8_t* dst, size_t n);

private:
    std::FILE* f_ = nullptr;
};

enum class LoadFault { None, NotFound, NotHog, Io };

// Reads `count` FAT entries from offset 16 into `out`, bounded by fatLength (when it
// fits the file) and by the file's end. Returns a note saying where the walk
// stopped when it found fewer entries, otherwise nothing.
std::string readFat(HogFile& file, uint64_t fileSize, uint32_t fatLength, uint32_t count,
                    std::vector<HogEntry>& out);
// How many whole entries the first fatLength bytes hold (0 when fatLength does not fit).
uint32_t countFatEntries(HogFile& file, uint64_t fileSize, uint32_t fatLength);

fs::path backupPathOf(const fs::path& archive);

// Unpacks a packed item into a buffer of its stated unpacked size + kUnpackMargin.
Result<Bytes> unpackItem(ByteSpan packed);

}  // namespace ov::archive
