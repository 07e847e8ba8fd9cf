#pragma once
// The 3DS chunk walker and its text dump.
//
// A 3DS file is a tree of chunks, each a 6-byte head (u16 identifier, u32 total
// size including the head, little-endian) followed by its data and, for
// containers, its child chunks. The walker knows a fixed table of identifiers
// (`ChunkKind`); it writes one head line per known chunk and, for entries with a
// detail printer, the chunk's own values. The converter parses this dump back.
//
// Safe on hostile input: a child never reads past its parent's end, counts larger
// than their chunk print only what the chunk holds, a size below 6 ends the level,
// nesting is capped, and the output grows only with the bytes actually present. A
// chunk that claims more bytes than its parent or the file holds is dumped up to
// that end and reported as a fault (DumpFaults), never passed over in silence.

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/bytes.h"

namespace ov::conv {

class DumpContext;

// Prints a chunk's own data and, where it has children, walks them. The reader is
// bounded to the chunk's end and stands just past its head.
using DetailPrinter = void (*)(DumpContext& ctx, ByteReader& chunk, int indent);

struct ChunkKind {
    uint16_t id;
    const char* name;
    DetailPrinter detail;  // null for plain containers
};

// The table of known chunks, in lookup order.
std::span<const ChunkKind> chunkKinds();

// The first table entry with this identifier, or null.
const ChunkKind* findChunkKind(uint16_t id);

struct DumpOptions {
    bool printUnknown = false;         // a line for every chunk outside the table
    bool printUnknownHex = false;      // and its data bytes in hexadecimal
    bool suppressDetailHeads = false;  // no head line for chunks that have a detail printer
};

// Nesting deeper than this is not walked; real files nest about six levels.
inline constexpr int kMaxChunkDepth = 32;

// The dump of a real file is about four to five times the file's size. A dump
// that would grow past this many bytes per file byte (plus kDumpSlack) is cut
// short: hostile nesting and lists could otherwise blow it up a hundredfold.
inline constexpr size_t kDumpBytesPerFileByte = 24;
inline constexpr size_t kDumpSlack = 64 * 1024;

// Appends printf-formatted text to `out` (any length).
void appendFormatted(std::string& out, const char* format, std::va_list args);

// What was wrong with a file besides what the dump shows.
struct DumpFaults {
    bool cut = false;  // the dump outgrew its budget and was cut short
    // The first chunk that runs past its parent chunk or past the end of the file
    // (or, for an empty file or one ending inside a chunk head, where the file
    // ends): the file was cut short or is no 3DS file. The chunk is dumped up to
    // where its parent or the file ends.
    std::optional<size_t> truncatedAt;
    std::string truncation;  // a sentence saying which chunk and where
};

// The indented text dump of a whole 3DS file, with its faults in *faults (if given).
std::string dump3ds(ByteSpan file, const DumpOptions& options = {}, DumpFaults* faults = nullptr);

}  // namespace ov::conv
