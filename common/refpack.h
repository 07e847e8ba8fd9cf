#pragma once
// RefPack, the LZ77 packing of the game's models and archive items.
//
// Header: byte 0 flags (0x10, or 0x11 when a 3-byte big-endian packed size
// follows), byte 1 0xFB, then the 3-byte big-endian unpacked size, then the
// command stream. Each command copies 0-3 (or 4-112) literal bytes from the stream
// and then, except for the literal-only commands, a run from earlier output:
//
//   0x00-0x7F  2 bytes  literals b0&3, length 3-10,   distance 1-1024
//   0x80-0xBF  3 bytes  literals b1>>6, length 4-67,  distance 1-16384
//   0xC0-0xDF  4 bytes  literals b0&3, length 5-1028, distance 1-131072
//   0xE0-0xFB  1 byte   literals ((b0&0x1F)+1)*4, no run
//   0xFC-0xFF  1 byte   literals b0&3, end of stream

#include <cstdint>
#include <functional>

#include "bytes.h"
#include "result.h"

namespace ov::refpack {

// First two bytes 0x10 0xFB: how both the model editor and the archive recognise a
// packed stream. (0x11 0xFB is decoded but not recognised, as in the game's tools.)
inline bool isPacked(ByteSpan data) {
    return data.size() >= 2 && data[0] == 0x10 && data[1] == 0xFB;
}

struct Header {
    bool hasPackedSize = false;
    uint32_t packedSize = 0;
    uint32_t unpackedSize = 0;
    size_t commandsAt = 0;  // offset of the first command
};

// Reads the header of a stream whose first byte has bit 0 clear or set and whose
// second byte is 0xFB.
Result<Header> readHeader(ByteSpan in);

// Runs the command stream of `in` (header included) into `out`, never writing past
// out.size() and never reading past in.size(); a copy may reach back only into the
// bytes already produced. Returns the number of bytes produced. Fails when a bound
// is hit or the stream ends before its 0xFC-0xFF command; bytes after that command
// are not read (archive items may be padded). On failure `out` holds unspecified
// bytes, but nothing past out.size() is touched. Safe on hostile input.
Result<size_t> decodeInto(ByteSpan in, std::span<uint8_t> out);

// The farthest back a run can reach.
inline constexpr size_t kMaxRunDistance = 131072;

// Receives decoded bytes in order, a piece at a time; an error stops the decode.
using Sink = std::function<Status(ByteSpan)>;

// Decodes the stream `in` (header included) without an output buffer of its
// size: the output goes through a window of a few hundred KiB that keeps the last
// kMaxRunDistance bytes for the runs to reach back into, and each piece is handed
// to `sink` as soon as it is made. Produces at most `limit` bytes: a stream that
// would make more is refused, as is one that ends before its end command (the
// stated size is not looked at). Returns the number of bytes produced. On failure
// the sink may have received part of the output. Safe on hostile input.
Result<size_t> decodeStream(ByteSpan in, size_t limit, const Sink& sink);

// Fails (BadData) unless a decode produced exactly the size its header states: a
// stream that ends properly short of that size is damaged, not a smaller file.
Status checkProduced(size_t produced, uint32_t stated);

// Decodes a whole stream to exactly its stated unpacked size; a stream that
// produces any other length is refused, and so is a stated size larger than its
// command bytes could ever produce (checked before anything is allocated). Safe
// on hostile input.
Result<Bytes> decode(ByteSpan in);

enum class Level {
    Fastest,  // greedy, one hash probe per position: several hundred MB/s
    Fast,     // hash chains and two steps of lazy matching: about a third of
              // Fastest's speed, some 14% smaller
    Best,     // smallest: shortest-path parse over the real command costs, a few
              // MB/s; of equally small parses the one with fewer commands, which
              // decodes faster; never larger than Fast's stream
};

inline constexpr size_t kMaxPackInput = (size_t(1) << 24) - 1;

// Packs `in` into a stream with header 0x10 0xFB and the 3-byte unpacked size.
// Refuses input of 16 MiB or more (the size field has 24 bits).
Result<Bytes> encode(ByteSpan in, Level level = Level::Best);

}  // namespace ov::refpack
