#include "refpack.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace ov::refpack {

Result<Header> readHeader(ByteSpan in) {
    if (in.size() < 2 || in[1] != 0xFB)
        return makeError("not a packed stream: it does not start with a 0x10 0xFB header", 0);
    Header h;
    ByteReader r(in, 2);
    h.hasPackedSize = (in[0] & 1) != 0;
    if (h.hasPackedSize) h.packedSize = r.u24be();
    h.unpackedSize = r.u24be();
    if (!r.ok()) return makeError("packed stream truncated inside its header", in.size());
    h.commandsAt = r.pos();
    return h;
}

namespace {

// Wide copies may touch up to this many bytes beyond the bytes they are asked for;
// they are used only while that much room is left in both buffers. Near either end
// the decoder copies exactly.
constexpr size_t kSlack = 32;

inline void copy8(uint8_t* d, const uint8_t* s) {
    std::memcpy(d, s, 8);
}
inline void copy16(uint8_t* d, const uint8_t* s) {
    std::memcpy(d, s, 16);
}

// Literals, in 16-byte pieces; may read and write up to kSlack - 1 bytes past n.
inline void wideLiterals(uint8_t* d, const uint8_t* s, size_t n) {
    uint8_t* end = d + n;
    do {
        copy16(d, s);
        d += 16;
        s += 16;
    } while (d < end);
}

// Short patterns repeated to fill 8 bytes: for a distance below 8 the run is
// periodic, so the 8 bytes at the run's start may be stored again every
// kPatternStep[distance] bytes (the largest multiple of the distance that is <= 8).
constexpr uint8_t kPatternStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};

// A run of n bytes from `distance` back, where the run may overlap itself (the
// pattern repeats). May write up to kSlack - 1 bytes past n; every byte it reads
// lies before the byte being written, so the result equals a byte-by-byte copy.
inline void wideRun(uint8_t* d, size_t distance, size_t n) {
    const uint8_t* s = d - distance;
    uint8_t* end = d + n;
    if (distance >= 16) {
        do {
            copy16(d, s);
            d += 16;
            s += 16;
        } while (d < end);
    } else if (distance >= 8) {
        do {
            copy8(d, s);
            d += 8;
            s += 8;
        } while (d < end);
    } else {
        // Byte by byte for the first 8 (the forward copy repeats the pattern),
        // then those 8 bytes again every step.
        for (size_t i = 0; i < 8; ++i)
            d[i] = s[i];
        uint8_t pattern[8];
        std::memcpy(pattern, d, 8);
        const size_t step = kPatternStep[distance];
        d += step;
        while (d < end) {
            std::memcpy(d, pattern, 8);
            d += step;
        }
    }
}

// Exact forms for the last bytes of either buffer.
inline void exactRun(uint8_t* d, size_t distance, size_t n) {
    const uint8_t* s = d - distance;
    for (size_t i = 0; i < n; ++i)
        d[i] = s[i];
}

// Faults are rare: keep their message building out of the decoding loop.
#if defined(__GNUC__)
#define OV_COLD __attribute__((noinline, cold))
#elif defined(_MSC_VER)
#define OV_COLD __declspec(noinline)
#else
#define OV_COLD
#endif

OV_COLD Error noEnd(size_t at) {
    return makeError("packed stream ends without its end command", at);
}
OV_COLD Error truncatedCommand(size_t at) {
    return makeError("packed stream truncated inside a command", at);
}
OV_COLD Error truncatedLiterals(size_t at) {
    return makeError("packed stream truncated inside the literals of a command", at);
}
OV_COLD Error tooLong(size_t at) {
    return makeError("packed stream produces more than its stated size", at);
}
OV_COLD Error reachesBack(size_t at, size_t distance, size_t produced) {
    return makeError("copy reaches back " + std::to_string(distance) + " bytes, but only " +
                         std::to_string(produced) + " have been produced",
                     at);
}

// A run command's fields, from its first byte b0 and the three bytes after it:
// literals = literals + (b1 >> 6 & literalsFromB1), length = length + (b3 &
// lengthFromB3), distance = distance + ((b1 << 8 | b2) >> distanceShift &
// distanceMask). Covers b0 below 0xE0 (the 2-, 3- and 4-byte commands).
struct RunForm {
    uint32_t distance;
    uint16_t length;
    uint16_t distanceMask;
    uint8_t literals, literalsFromB1, lengthFromB3, distanceShift;
};
struct RunForms {
    RunForm at[0xE0];
};
constexpr RunForms makeRunForms() {
    RunForms t{};
    for (uint32_t b0 = 0; b0 < 0xE0; ++b0) {
        RunForm& f = t.at[b0];
        if (b0 < 0x80) {  // 0DDLLLll dddddddd
            f = {((b0 & 0x60) << 3) + 1, uint16_t(((b0 & 0x1C) >> 2) + 3), 0xFF, uint8_t(b0 & 3), 0, 0, 8};
        } else if (b0 < 0xC0) {  // 10LLLLLL llDDDDDD dddddddd
            f = {1, uint16_t((b0 & 0x3F) + 4), 0x3FFF, 0, 3, 0, 0};
        } else {  // 110DLLll DDDDDDDD dddddddd LLLLLLLL
            f = {((b0 & 0x10) << 12) + 1, uint16_t(((b0 & 0x0C) << 6) + 5), 0xFFFF, uint8_t(b0 & 3), 0, 0xFF, 0};
        }
    }
    return t;
}
constexpr RunForms kRunForms = makeRunForms();

// How a stretch of commands ended: at the end command, or before a command that
// does not fit in the output.
enum class Ran { End, Full };

// Runs the commands of `in` from `ip` into `out` from `op`. out[0, op) holds the
// output so far, or at least the part of it that runs may still reach back into
// (runs reach back no further than op). Stops after the end command, or before
// a command that does not fit (ip and op then point at that command). Never
// reads or writes outside the two spans.
Result<Ran> runCommands(ByteSpan in, size_t& ipRef, std::span<uint8_t> out, size_t& opRef) {
    const uint8_t* const src = in.data();
    const size_t iend = in.size();
    size_t ip = ipRef;
    uint8_t* const dst = out.data();
    const size_t oend = out.size();
    size_t op = opRef;
    auto stopAt = [&](Ran how, size_t i, size_t o) -> Result<Ran> {
        ipRef = i;
        opRef = o;
        return how;
    };

    // Fast loop: while the input has room for the longest command with its
    // literals and the output for the most one command can produce, plus the
    // slack of the wide copies, no command needs a bounds check of its own;
    // only a run's distance is checked. The last stretch of either buffer goes
    // through the careful loop below, which checks every step.
    constexpr size_t kMaxCommandIn = 1 + 112;    // a literal command
    constexpr size_t kMaxCommandOut = 3 + 1028;  // a run command with 3 literals
    if (iend - ip > kMaxCommandIn + kSlack && oend - op > kMaxCommandOut + kSlack) {
        const uint8_t* p = src + ip;
        uint8_t* o = dst + op;
        const uint8_t* const pSafe = src + iend - (kMaxCommandIn + kSlack);
        uint8_t* const oSafe = dst + oend - (kMaxCommandOut + kSlack);
        while (p < pSafe && o < oSafe) {
            const uint8_t* const cmd = p;
            const uint32_t b0 = p[0];
            if (b0 >= 0xE0) [[unlikely]] {
                if (b0 >= 0xFC) break;  // the end command: the careful loop finishes
                // Bytes that do not pack come as a row of literal commands: copied
                // one after another without going back to the top of the loop.
                uint32_t c = b0;
                do {
                    if (c == 0xFB) {  // the longest, in one fixed copy
                        std::memcpy(o, p + 1, 112);
                        p += 113;
                        o += 112;
                    } else {
                        const size_t literals = (size_t(c & 0x1F) + 1) * 4;
                        wideLiterals(o, p + 1, literals);
                        p += 1 + literals;
                        o += literals;
                    }
                    c = p[0];
                } while (c - 0xE0 < 0x1C && p < pSafe && o < oSafe);
                continue;
            }
            // The three run forms through one table, without a branch on the form
            // (which form comes next is hard to predict).
            const RunForm& form = kRunForms.at[b0];
            const uint32_t b1 = p[1], b2 = p[2];
            const size_t literals = form.literals + ((b1 >> 6) & form.literalsFromB1);
            const size_t length = form.length + (p[3] & form.lengthFromB3);
            const size_t distance = form.distance + ((((b1 << 8) | b2) >> form.distanceShift) & form.distanceMask);
            // The size from b0 itself rather than the table keeps the step to the
            // next command short.
            p += 2 + (b0 >> 7) + (b0 >> 6 & b0 >> 7);
            std::memcpy(o, p, 4);
            p += literals;
            o += literals;
            if (distance > size_t(o - dst)) [[unlikely]]
                return reachesBack(size_t(cmd - src), distance, size_t(o - dst));
            // Runs are mostly short: fixed copies of 32 bytes (16 for distances of
            // 8 to 15, in 8-byte pieces that each read only bytes already
            // written), a loop only for the rest of a longer run.
            const uint8_t* const from = o - distance;
            if (distance >= 16) {
                copy16(o, from);
                copy16(o + 16, from + 16);
                if (length > 32) wideRun(o + 32, distance, length - 32);
            } else if (distance >= 8) {
                copy8(o, from);
                copy8(o + 8, from + 8);
                if (length > 16) wideRun(o + 16, distance, length - 16);
            } else {
                wideRun(o, distance, length);
            }
            o += length;
        }
        ip = size_t(p - src);
        op = size_t(o - dst);
    }

    // Every command checks its bounds exactly; the loop terminates because each
    // command consumes at least one input byte.
    for (;;) {
        if (ip >= iend) [[unlikely]]
            return noEnd(ip);
        const size_t cmdAt = ip;
        const uint32_t b0 = src[ip];
        size_t literals, length, distance;
        if (b0 < 0x80) {
            if (iend - ip < 2) [[unlikely]]
                return truncatedCommand(cmdAt);
            const uint32_t b1 = src[ip + 1];
            ip += 2;
            literals = b0 & 3;
            length = ((b0 & 0x1C) >> 2) + 3;
            distance = (size_t(b0 & 0x60) << 3) + b1 + 1;
        } else if (b0 < 0xC0) {
            if (iend - ip < 3) [[unlikely]]
                return truncatedCommand(cmdAt);
            const uint32_t b1 = src[ip + 1], b2 = src[ip + 2];
            ip += 3;
            literals = b1 >> 6;
            length = (b0 & 0x3F) + 4;
            distance = (size_t(b1 & 0x3F) << 8) + b2 + 1;
        } else if (b0 < 0xE0) {
            if (iend - ip < 4) [[unlikely]]
                return truncatedCommand(cmdAt);
            const uint32_t b1 = src[ip + 1], b2 = src[ip + 2], b3 = src[ip + 3];
            ip += 4;
            literals = b0 & 3;
            length = (size_t(b0 & 0x0C) << 6) + b3 + 5;
            distance = (size_t(b0 & 0x10) << 12) + (size_t(b1) << 8) + b2 + 1;
        } else {
            ip += 1;
            const bool last = b0 >= 0xFC;
            literals = last ? (b0 & 3) : (size_t(b0 & 0x1F) + 1) * 4;
            if (literals > iend - ip) [[unlikely]]
                return truncatedLiterals(cmdAt);
            if (literals > oend - op) return stopAt(Ran::Full, cmdAt, op);
            if (iend - ip >= literals + kSlack && oend - op >= literals + kSlack)
                wideLiterals(dst + op, src + ip, literals);
            else if (literals)
                std::memcpy(dst + op, src + ip, literals);
            ip += literals;
            op += literals;
            if (last) return stopAt(Ran::End, ip, op);
            continue;
        }

        // A run command: 0-3 literals, then the run.
        if (literals > iend - ip) [[unlikely]]
            return truncatedLiterals(cmdAt);
        if (literals + length > oend - op) return stopAt(Ran::Full, cmdAt, op);
        if (distance > op + literals) [[unlikely]]
            return reachesBack(cmdAt, distance, op + literals);
        if (oend - op >= literals + length + kSlack) {
            if (iend - ip >= 4) {
                std::memcpy(dst + op, src + ip, 4);
            } else {
                for (size_t i = 0; i < literals; ++i)
                    dst[op + i] = src[ip + i];
            }
            ip += literals;
            op += literals;
            wideRun(dst + op, distance, length);
        } else {
            for (size_t i = 0; i < literals; ++i)
                dst[op + i] = src[ip + i];
            ip += literals;
            op += literals;
            exactRun(dst + op, distance, length);
        }
        op += length;
    }
}

}  // namespace

Result<size_t> decodeInto(ByteSpan in, std::span<uint8_t> out) {
    auto header = readHeader(in);
    if (!header) return header.error();
    size_t ip = header->commandsAt, op = 0;
    auto ran = runCommands(in, ip, out, op);
    if (!ran) return ran.error();
    if (*ran == Ran::Full) return tooLong(ip);
    return op;
}

Result<size_t> decodeStream(ByteSpan in, size_t limit, const Sink& sink) {
    auto header = readHeader(in);
    if (!header) return header.error();
    // The window: what runs may reach back into, then room for new output.
    constexpr size_t kHistory = kMaxRunDistance;
    constexpr size_t kChunk = size_t(256) << 10;
    constexpr size_t kBuffer = kHistory + kChunk;
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kBuffer);
    size_t ip = header->commandsAt;
    size_t base = 0;  // output bytes before buffer[0]
    size_t op = 0, handed = 0;
    for (;;) {
        const size_t room = std::min(kBuffer - op, limit - (base + op));
        auto ran = runCommands(in, ip, std::span<uint8_t>(buffer.get(), op + room), op);
        if (!ran) return ran.error();
        if (op > handed) {
            if (auto st = sink(ByteSpan(buffer.get() + handed, op - handed)); !st) return st.error();
            handed = op;
        }
        if (*ran == Ran::End) return base + op;
        if (room < kBuffer - op) return tooLong(ip);  // the limit, not the buffer, is full
        // Keep the last kHistory bytes and go on after them.
        const size_t keep = std::min(op, kHistory);
        std::memmove(buffer.get(), buffer.get() + op - keep, keep);
        base += op - keep;
        op = handed = keep;
    }
}

Result<Bytes> decode(ByteSpan in) {
    auto header = readHeader(in);
    if (!header) return header.error();
    // No command makes more than 257 bytes per byte it takes (a 4-byte run of
    // 1028), so a larger stated size is false; refusing it here keeps a few
    // hostile bytes from allocating megabytes.
    const uint64_t most = uint64_t(in.size() - header->commandsAt) * 257;
    if (header->unpackedSize > most)
        return makeError("packed stream states " + std::to_string(header->unpackedSize) +
                             " unpacked bytes, more than its " +
                             std::to_string(in.size() - header->commandsAt) +
                             " bytes of commands can produce",
                         2);
    Bytes out(header->unpackedSize);
    auto n = decodeInto(in, out);
    if (!n) return n.error();
    if (auto st = checkProduced(*n, header->unpackedSize); !st) return st.error();
    return out;
}

Status checkProduced(size_t produced, uint32_t stated) {
    if (produced == stated) return {};
    return makeError("packed stream produces " + std::to_string(produced) +
                     " bytes, its header states " + std::to_string(stated));
}

}  // namespace ov::refpack

// ---------------------------------------------------------------------------
// Packer

namespace ov::refpack {

namespace {

constexpr size_t kMaxDistance = kMaxRunDistance;
constexpr size_t kLazyLen = 64;  // runs this long are taken without looking further
constexpr size_t kInsertEdge = 8;  // positions added at each end of a long run
constexpr size_t kMaxLength = 1028;
constexpr size_t kMinMatch = 3;

// The smallest command that can carry a run, in bytes, or 0 when none can.
inline uint32_t runCost(size_t len, size_t dist) {
    if (len <= 10 && dist <= 1024) return len >= 3 ? 2 : 0;
    if (len <= 67 && dist <= 16384) return len >= 4 ? 3 : 0;
    if (len <= kMaxLength && dist <= kMaxDistance) return len >= 5 ? 4 : 0;
    return 0;
}

// Writes commands. Literals are buffered as a range of the input; a run command
// takes the last 0-3 of them, literal-only commands the rest in multiples of 4.
class Emitter {
public:
    // Commands for the n bytes at src, appended to out. The room the longest
    // stream needs (every byte a literal: one command byte per 112 of them, and the
    // end command) is made once, so a command is written without a check of its
    // own; finish() trims the rest.
    Emitter(Bytes& out, const uint8_t* src, size_t n)
        : out_(out), src_(src), at_(out.size()) {
        out_.resize(at_ + n + n / 112 + 8);
    }

    // Literals [from, to) followed by a run of len bytes from dist back.
    void run(size_t from, size_t to, size_t len, size_t dist) {
        const size_t lit = literalBlocks(from, to);
        const size_t d = dist - 1;
        uint8_t* o = out_.data() + at_;
        if (len <= 10 && dist <= 1024) {
            o[0] = uint8_t(((d >> 3) & 0x60) | ((len - 3) << 2) | lit);
            o[1] = uint8_t(d);
            o += 2;
        } else if (len <= 67 && dist <= 16384) {
            o[0] = uint8_t(0x80 | (len - 4));
            o[1] = uint8_t((lit << 6) | (d >> 8));
            o[2] = uint8_t(d);
            o += 3;
        } else {
            const size_t l = len - 5;
            o[0] = uint8_t(0xC0 | ((d >> 12) & 0x10) | ((l >> 6) & 0x0C) | lit);
            o[1] = uint8_t(d >> 8);
            o[2] = uint8_t(d);
            o[3] = uint8_t(l);
            o += 4;
        }
        // The 0-3 literals that ride in the command.
        for (size_t k = 0; k < lit; ++k)
            o[k] = src_[to - lit + k];
        at_ = size_t(o + lit - out_.data());
    }

    // Literals [from, to) and the end command; the stream is complete.
    void finish(size_t from, size_t to) {
        const size_t lit = literalBlocks(from, to);
        out_[at_++] = uint8_t(0xFC | lit);
        for (size_t k = 0; k < lit; ++k)
            out_[at_ + k] = src_[to - lit + k];
        out_.resize(at_ + lit);
    }

private:
    // Emits the literal-only commands for [from, to) and returns how many (0-3)
    // literals are left for the next command.
    size_t literalBlocks(size_t from, size_t to) {
        uint8_t* o = out_.data() + at_;
        while (to - from >= 4) {
            size_t n = (to - from) & ~size_t(3);
            if (n > 112) n = 112;
            *o++ = uint8_t(0xE0 + (n / 4 - 1));
            std::memcpy(o, src_ + from, n);
            o += n;
            from += n;
        }
        at_ = size_t(o - out_.data());
        return to - from;
    }

    Bytes& out_;
    const uint8_t* src_;
    size_t at_;  // where the next command goes
};

#if defined(__GNUC__)
#define OV_PREFETCH(p) __builtin_prefetch(p)
#else
#define OV_PREFETCH(p) ((void)(p))
#endif

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Length of the common prefix of a and b, at most limit bytes; b lies after a.
inline size_t matchLength(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    while (n + 8 <= limit) {
        const uint64_t x = load64(a + n) ^ load64(b + n);
        if (x) {
            if constexpr (std::endian::native == std::endian::little)
                return n + size_t(std::countr_zero(x)) / 8;
            else
                return n + size_t(std::countl_zero(x)) / 8;
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

inline uint32_t hash4(uint32_t v, int bits) {
    return (v * 2654435761u) >> (32 - bits);
}
inline uint32_t hash3(const uint8_t* p, int bits) {
    const uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    return (v * 2246822519u) >> (32 - bits);
}

// Tables sized to the input, so small inputs pack without clearing large tables:
// ceil(log2(n)) bits, between 8 and `most`.
int tableBits(size_t n, int most) {
    int bits = 8;
    while (bits < most && (size_t(1) << bits) < n)
        ++bits;
    return bits;
}

Bytes startStream(size_t n) {
    Bytes out;
    out.reserve(5 + n + n / 112 + 8);
    out.push_back(0x10);
    out.push_back(0xFB);
    out.push_back(uint8_t(n >> 16));
    out.push_back(uint8_t(n >> 8));
    out.push_back(uint8_t(n));
    return out;
}

// Fastest, greedy: one hash table of the last position of each 4-byte value; take
// the run found there when a command can carry it. On long stretches without runs
// the search steps further apart, as incompressible data gains nothing from a
// closer look.
Bytes encodeFastest(ByteSpan in) {
    const uint8_t* src = in.data();
    const size_t n = in.size();
    Bytes out = startStream(n);
    Emitter e(out, src, n);
    const int bits = tableBits(n, 16);
    std::vector<uint32_t> table(size_t(1) << bits, 0);  // position + 1; 0 is empty
    const size_t last = n >= 4 ? n - 4 : 0;  // final position where 4 bytes can be hashed
    // The run at i that the table offers, if a command can carry it (len 0 if
    // not); i is indexed as it is looked at.
    auto probe = [&](size_t i, size_t& dist) -> size_t {
        const uint32_t h = hash4(load32(src + i), bits);
        const size_t cand = table[h];
        table[h] = uint32_t(i + 1);
        if (cand == 0) return 0;
        const size_t c = cand - 1;
        dist = i - c;
        if (dist > kMaxDistance || load32(src + c) != load32(src + i)) return 0;
        const size_t limit = std::min(n - i, kMaxLength);
        const size_t len = 4 + matchLength(src + c + 4, src + i + 4, limit - 4);
        return runCost(len, dist) != 0 ? len : 0;
    };
    size_t litStart = 0;
    size_t i = 0;
    size_t misses = 0;
    while (n >= 4 && i <= last) {
        size_t dist = 0;
        size_t len = probe(i, dist);
        if (len == 0) {
            ++misses;
            i += 1 + (misses >> 6);
            continue;
        }
        // One step of lazy matching: a run starting one byte later that is
        // longer by two or more pays for the extra literal.
        if (len < 32 && i + 1 <= last) {
            size_t dist1 = 0;
            const size_t len1 = probe(i + 1, dist1);
            if (len1 >= len + 2) {
                ++i;
                len = len1;
                dist = dist1;
            }
        }
        e.run(litStart, i, len, dist);
        // Index a few positions inside the run so the next one can reach back
        // into it.
        const size_t end = i + len;
        for (size_t k = i + 2; k < end && k <= last; k += (len > 32 ? 7 : 2))
            table[hash4(load32(src + k), bits)] = uint32_t(k + 1);
        if (end - 1 <= last && end - 1 > i)
            table[hash4(load32(src + end - 1), bits)] = uint32_t(end);
        i = end;
        litStart = i;
        misses = 0;
    }
    e.finish(litStart, n);
    return out;
}

// ---------------------------------------------------------------------------
// Fast: hash chains and two steps of lazy matching.
//
// Every position (but the middle of a run longer than 2 * kInsertEdge) goes into a
// chain of the earlier positions with the same hash of their first 6 bytes; a
// search follows the chain nearest first, for at most kChainDepth positions, and
// keeps the run that saves the most bytes over plain literals (a longer run can
// need a larger command). Shorter runs come from a table of the last position
// of each 3-byte value, within the 16384 bytes that the commands for runs of 3
// and 4 reach (3 bytes within 1024 save one byte, 4 within 16384 one or two).
// Keying the chain on 6 bytes keeps it free of the many 4-byte repeats of binary
// data, which cost a look each and rarely pay. Before taking a run found at i,
// the packer looks at i + 1 and then i + 2: a run there that saves more is worth
// the literal it leaves behind.

struct Run {
    uint32_t len = 0;
    uint32_t dist = 0;
    int32_t gain = 0;  // bytes saved over literals; 0 when there is no run
};

// Bytes a run saves over writing its bytes as literals, or 0 when no command can
// carry it.
inline int32_t runGain(size_t len, size_t dist) {
    const uint32_t cost = runCost(len, dist);
    return cost ? int32_t(len) - int32_t(cost) : 0;
}

inline uint32_t hash6(const uint8_t* p, int bits) {
    return uint32_t(((load64(p) << 16) * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

class ChainFinder {
public:
    ChainFinder(const uint8_t* src, size_t n)
        : src_(src),
          n_(n),
          // 2^18 heads: with fewer, the chains of a large input fill with
          // positions of other values, each a look and a mispredicted branch.
          bits_(tableBits(n, 18)),
          head_(size_t(1) << bits_, kEmpty),
          chain_(std::min(n, kChainSize), kEmpty),
          near_(size_t(1) << kNearBits, kEmpty) {}

    // The best run at i among the positions already added, then adds i; i + 8 <= n.
    // Positions are added in order, each once.
    Run search(size_t i) {
        Run best;
        const uint8_t* cur = src_ + i;
        prefetch(i);
        const uint32_t v = load32(cur);
        const size_t limit = std::min(n_ - i, kMaxLength);
        size_t bestLen = 3;  // a longer run must match the byte after the best one
        uint32_t& head = head_[hash6(cur, bits_)];
        size_t c = head;
        // An empty link (kEmpty) lies farther than any run reaches, also where
        // size_t has 32 bits.
        for (unsigned steps = kChainDepth; steps && uint64_t(i) - c <= kMaxDistance; --steps) {
            const uint8_t* cand = src_ + c;
            // One branch for both tests (bestLen < limit holds: a run as long as
            // the limit ends the walk).
            if ((cand[bestLen] == cur[bestLen]) & (load32(cand) == v)) {
                const size_t len = 4 + matchLength(cand + 4, cur + 4, limit - 4);
                const int32_t gain = runGain(len, i - c);
                if (gain > best.gain) {
                    best = {uint32_t(len), uint32_t(i - c), gain};
                    bestLen = len;
                    if (len >= kNiceLen || len >= limit) break;
                }
            }
            c = chain_[c & kChainMask];
        }
        uint32_t& near = near_[hash4(v & 0xFFFFFF, kNearBits)];
        if (best.gain < 3) consider(best, i, near, v);
        near = uint32_t(i);
        chain_[i & kChainMask] = head;
        head = uint32_t(i);
        return best;
    }

    // Adds position i without a search (i + 8 <= n), in order as search() does.
    void insert(size_t i) {
        const uint8_t* p = src_ + i;
        prefetch(i);
        near_[hash4(load32(p) & 0xFFFFFF, kNearBits)] = uint32_t(i);
        uint32_t& head = head_[hash6(p, bits_)];
        chain_[i & kChainMask] = head;
        head = uint32_t(i);
    }

private:
    // Positions are searched or added nearly in order: start loading the chain
    // head of the position 8 on, which a large table rarely holds in a near cache.
    void prefetch(size_t i) const {
        if (i + 16 <= n_) OV_PREFETCH(&head_[hash6(src_ + i + 8, bits_)]);
    }

    // The run at i from the last position c that began with the same 3 bytes, when
    // it lies within 16384 (beyond that only a run of 5 or more would pay, which the
    // chains find).
    void consider(Run& best, size_t i, size_t c, uint32_t v) const {
        // An empty slot (kEmpty) lies farther than 16384, also where size_t has 32
        // bits; both tests in one branch.
        const uint64_t dist = uint64_t(i) - c;
        const size_t at = dist <= 16384 ? c : 0;  // a position that can be read
        const uint8_t* cur = src_ + i;
        const uint8_t* cand = src_ + at;
        if ((dist > 16384) | (((load32(cand) ^ v) & 0xFFFFFF) != 0)) return;
        const size_t len = 3 + matchLength(cand + 3, cur + 3, std::min(n_ - i, kMaxLength) - 3);
        const int32_t gain = runGain(len, i - c);
        if (gain > best.gain) best = {uint32_t(len), uint32_t(i - c), gain};
    }

    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    // One chain slot per position within reach: a search at i may still follow
    // the slot of i - kMaxDistance, as i is added only after its search.
    static constexpr size_t kChainSize = size_t(1) << 17;
    static constexpr size_t kChainMask = kChainSize - 1;
    static constexpr unsigned kChainDepth = 8;
    static constexpr size_t kNiceLen = 64;
    static constexpr int kNearBits = 14;

    const uint8_t* src_;
    size_t n_;
    int bits_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> chain_;
    std::vector<uint32_t> near_;
};

Bytes encodeFast(ByteSpan in) {
    const uint8_t* src = in.data();
    const size_t n = in.size();
    Bytes out = startStream(n);
    Emitter e(out, src, n);
    if (n < 16) {
        e.finish(0, n);
        return out;
    }
    ChainFinder finder(src, n);
    const size_t last = n - 8;  // the last position whose 8 bytes can be read
    size_t litStart = 0, i = 0, misses = 0;
    while (i <= last) {
        Run run = finder.search(i);
        if (run.gain <= 0) {
            // On long stretches without runs, look less closely.
            ++misses;
            const size_t step = 1 + (misses >> 3);
            for (size_t k = 1; k < step && i + k <= last; ++k)
                finder.insert(i + k);
            i += step;
            continue;
        }
        misses = 0;
        size_t searched = i;  // every position up to here is in the chains
        for (int lazy = 0; lazy < 2 && i + 1 <= last && run.len < kLazyLen; ++lazy) {
            const Run next = finder.search(++searched);
            if (next.gain <= run.gain) break;
            ++i;
            run = next;
        }
        // The run may reach back into the literals before it (a position stepped
        // over, or one whose chain was cut short): take those bytes in while the
        // command stays the same size.
        const size_t start = i;
        while (i > litStart && i > run.dist && src[i - 1] == src[i - 1 - run.dist] &&
               runCost(run.len + 1, run.dist) == runCost(run.len, run.dist)) {
            --i;
            ++run.len;
        }
        e.run(litStart, i, run.len, run.dist);
        // Inside a long run only its first and last few positions are added:
        // the rest would mostly repeat what the run's source already holds.
        const size_t end = i + run.len;
        const size_t head = std::min(end, start + kInsertEdge);
        size_t k = searched + 1;
        for (; k < head && k <= last; ++k)
            finder.insert(k);
        for (k = std::max(k, end - std::min<size_t>(run.len, kInsertEdge)); k < end && k <= last; ++k)
            finder.insert(k);
        i = litStart = end;
    }
    e.finish(litStart, n);
    return out;
}

// ---------------------------------------------------------------------------
// Best: a shortest-path parse over the real command costs.
//
// For each position the match finder lists runs of growing length, each at the
// smallest distance found for it, and of the runs whose distances fit the same
// command fields only the longest. The parse keeps, for each position, the
// cheapest way to get there in five states: just after a run (0), after 1, 2 or 3
// literals (which ride free in the next command), or after 4 or more literals
// (which need literal-only commands: one byte per 112 literals, rounded up). A run
// command costs 2, 3 or 4 bytes by its length and distance.
//
// Costs count bytes first and commands second, so of two parses of the same size
// the one with fewer, longer commands wins: it decodes faster.

struct Match {
    uint32_t len;
    uint32_t dist;
};

// A binary tree of earlier positions per hash of their first 4 bytes, ordered by
// the bytes that follow, newest at the root. Searching for a position also
// inserts it: the walk from the root visits the positions whose continuations
// sort next to this one's, which are the ones sharing the longest prefixes with
// it, and re-links them around the new root. Visited positions get older along
// the walk, so each new longest run is found at its smallest distance. Runs of 3
// come from a table of the last position of each 3-byte value instead: keeping
// them out of the trees keeps the walks short.
//
// The order only looks at the first niceLen bytes (fewer near the end of the
// input, where every later search looks at fewer too): two positions that agree
// that far count as equal, and the newer one takes the older one's place. A walk
// assumes, without looking, that a position shares with it the prefix its two
// bounds share; keeping the order on a fixed number of bytes is what makes that
// true.
class MatchFinder {
public:
    MatchFinder(const uint8_t* src, size_t n, size_t niceLen)
        : src_(src),
          n_(n),
          niceLen_(niceLen),
          hashBits_(tableBits(n, 17)),
          treeMask_((size_t(1) << tableBits(n, 18)) - 1),
          hash3Bits_(tableBits(n, 14)),
          head_(size_t(1) << hashBits_, kEmpty),
          head3_(size_t(1) << hash3Bits_, kEmpty),
          tree_(2 * (treeMask_ + 1), kEmpty) {}

    // Inserts position i (positions are inserted in order, each at most once)
    // and writes to `out` the runs starting there, by growing length and
    // distance, the longest of each distance class only, looking at no more
    // than `depth` earlier positions. Returns the
    // count; the last run may be longer than niceLen, but no run is looked for
    // after one of niceLen is found. `out` needs room for niceLen + 1 runs.
    size_t find(size_t i, unsigned depth, Match* out) { return walk<true>(i, depth, out); }

    // Inserts position i without reporting runs.
    void skip(size_t i, unsigned depth) { walk<false>(i, depth, nullptr); }

    // Starts loading what searching position i will look at first: its hash
    // slot when far ahead, the position in that slot when near.
    void prefetchFar(size_t i) const {
        if (i + 4 <= n_) OV_PREFETCH(&head_[hash4(load32(src_ + i), hashBits_)]);
    }
    void prefetchNear(size_t i) const {
        if (i + 4 <= n_) {
            const uint32_t c = head_[hash4(load32(src_ + i), hashBits_)];
            if (c != kEmpty) {
                OV_PREFETCH(&tree_[2 * (c & treeMask_)]);
                OV_PREFETCH(src_ + c);
            }
        }
    }

private:
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;

    // The tree has a slot per position of the input or, for long inputs, 2^18
    // slots, more than kMaxDistance, so a slot within reach is never reused.

    template <bool kReport>
    size_t walk(size_t i, unsigned depth, Match* out) {
        if (i + 3 > n_) return 0;
        const uint8_t* cur = src_ + i;
        // A run of 3 pays only within 1024 (a 2-byte command), so the last
        // position of each 3-byte value is all it needs; the tree holds the
        // positions by their first 4 bytes and finds the longer runs.
        Match three{0, 0};
        {
            uint32_t& slot = head3_[hash3(cur, hash3Bits_)];
            const size_t c3 = slot;
            slot = uint32_t(i);
            if (kReport && c3 != kEmpty && i - c3 <= 1024 && src_[c3] == cur[0] &&
                src_[c3 + 1] == cur[1] && src_[c3 + 2] == cur[2])
                three = {3, uint32_t(i - c3)};
        }
        if (i + 4 > n_) {
            if (three.len) out[0] = three;
            return three.len ? 1 : 0;
        }
        const size_t count = walkTree<kReport>(i, depth, out);
        // The list grows in length and distance: the run of 3 goes first when it
        // is nearer than everything the tree found.
        if (!kReport || !three.len || (count && out[0].dist <= three.dist)) return count;
        if (count && out[0].len == 3) {
            out[0] = three;
            return count;
        }
        if (count && distanceClass(out[0].dist) == 0) return count;  // carries 3 as well
        std::memmove(out + 1, out, count * sizeof(Match));
        out[0] = three;
        return count + 1;
    }

    // Which command fields a distance fits: within 1024 (all three run commands),
    // within 16384 (the 3- and 4-byte ones) or farther (the 4-byte one).
    static unsigned distanceClass(size_t dist) { return dist <= 1024 ? 0 : dist <= 16384 ? 1 : 2; }

    // Appends a run longer and farther than the ones listed, or puts it in the
    // place of the last one when both distances fit the same command fields:
    // every length the shorter run carries, the longer one carries in a command
    // of the same size, so the list keeps only the longest run of each class.
    static size_t report(Match* out, size_t count, size_t len, size_t dist) {
        if (count && distanceClass(out[count - 1].dist) == distanceClass(dist)) --count;
        out[count] = {uint32_t(len), uint32_t(dist)};
        return count + 1;
    }

    template <bool kReport>
    size_t walkTree(size_t i, unsigned depth, Match* out) {
        const size_t limit = std::min(n_ - i, kMaxLength);
        const size_t keyLen = std::min(limit, niceLen_);
        const uint8_t* cur = src_ + i;
        const uint32_t h = hash4(load32(cur), hashBits_);
        size_t c = head_[h];
        head_[h] = uint32_t(i);
        // The slots where the next position sorting after (right) or before (left)
        // i goes, and the prefix every position under each shares with i.
        uint32_t* left = &tree_[2 * (i & treeMask_)];
        uint32_t* right = left + 1;
        size_t lenRight = 0, lenLeft = 0;
        size_t best = 2, count = 0;
        for (unsigned steps = depth;; --steps) {
            if (c == kEmpty || i - c > kMaxDistance || steps == 0) {
                *right = *left = kEmpty;
                break;
            }
            uint32_t* pair = &tree_[2 * (c & treeMask_)];
            const uint8_t* cand = src_ + c;
            size_t len = std::min(lenRight, lenLeft);
            if (cand[len] == cur[len]) {
                len = len + 1 + matchLength(cand + len + 1, cur + len + 1, keyLen - len - 1);
                if (len > best) {
                    best = len;
                    if (len >= keyLen) {
                        // Equal as far as the order looks: i takes c's place.
                        *left = pair[0];
                        *right = pair[1];
                        if (kReport) {
                            len += matchLength(cand + len, cur + len, limit - len);
                            count = report(out, count, len, i - c);
                        }
                        break;
                    }
                    if (kReport) count = report(out, count, len, i - c);
                }
            }
            if (cand[len] < cur[len]) {
                *left = uint32_t(c);
                left = &pair[1];
                lenLeft = len;
                c = pair[1];
            } else {
                *right = uint32_t(c);
                right = &pair[0];
                lenRight = len;
                c = pair[0];
            }
        }
        return count;
    }

    const uint8_t* src_;
    size_t n_;
    size_t niceLen_;
    int hashBits_;
    size_t treeMask_;
    int hash3Bits_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> head3_;
    std::vector<uint32_t> tree_;
};

// Costs in units of 1/kPerByte byte, plus one unit per command. Within one parse
// window neither the bytes nor the commands reach kPerByte times the window, so
// the bytes always decide and the commands only break ties.
constexpr uint32_t kPerByte = 32768;
constexpr uint32_t kInf = 0xFFFFFFFFu;

struct Node {
    uint32_t cost[5];  // states: 0 after a run, 1-3 short literal tail, 4 long tail
    uint32_t longRun;  // literals in the long tail of state 4
    uint32_t runDist;  // how state 0 was reached: the run's distance,
    uint16_t runLen;   // its length,
    uint8_t runFrom;   // and the state it left
    uint8_t longFrom;  // state 4 came from state 3 or 4
};

inline uint32_t minState(const Node& node, uint8_t* which) {
    uint32_t best = node.cost[0];
    uint8_t w = 0;
    for (uint8_t s = 1; s < 5; ++s)
        if (node.cost[s] < best) {
            best = node.cost[s];
            w = s;
        }
    *which = w;
    return best;
}

// The next position reached from `nd` by one literal, in each state; state 0 is
// left for the runs to fill.
inline void literalStep(const Node& nd, Node& nx) {
    constexpr uint32_t kLiteral = kPerByte;
    auto plus = [](uint32_t c, uint32_t d) { return c == kInf ? kInf : c + d; };
    nx.cost[0] = kInf;
    nx.cost[1] = plus(nd.cost[0], kLiteral);
    nx.cost[2] = plus(nd.cost[1], kLiteral);
    nx.cost[3] = plus(nd.cost[2], kLiteral);
    // The fourth literal opens a literal command.
    uint32_t best = plus(nd.cost[3], 2 * kPerByte + 1), run = 4;
    uint8_t from = 3;
    if (nd.cost[4] != kInf) {
        const uint32_t r = nd.longRun + 1;
        const uint32_t c = nd.cost[4] + kLiteral + ((r - 4) % 112 == 0 ? kPerByte + 1 : 0);
        // Of two tails of the same size the one that has the most literals left
        // before its next literal command wins; the commands come after that.
        const uint32_t cb = c / kPerByte, bb = best / kPerByte;
        if (cb < bb || (cb == bb && ((r - 4) % 112 < (run - 4) % 112 ||
                                     ((r - 4) % 112 == (run - 4) % 112 && c < best)))) {
            best = c;
            run = r;
            from = 4;
        }
    }
    nx.cost[4] = best;
    nx.longRun = run;
    nx.longFrom = from;
}

// The bands of run commands: lengths minLen-maxLen at distances up to maxDist cost
// `bytes` bytes.
struct Band {
    uint32_t minLen, maxLen, maxDist, bytes;
};
constexpr Band kBands[] = {{3, 10, 1024, 2}, {4, 67, 16384, 3}, {5, 1028, 131072, 4}};

// A range of run lengths from one position that cost the same: every position
// from its first to `last` can be reached at `value` by a run of `dist` from
// `from`. Ranges wait in lists by their first position until the parse gets
// there, then in a heap by value until `last` has passed, so a position takes
// the cheapest range that covers it without visiting every length of every run.
struct Reach {
    uint32_t value;
    uint32_t last;
    uint32_t dist;
    uint32_t next;  // the next range of the same waiting list, kNone for none
    uint16_t from;
    uint8_t fromState;
};
constexpr uint32_t kNone = 0xFFFFFFFFu;
struct CheaperFirst {
    bool operator()(const Reach& a, const Reach& b) const { return a.value > b.value; }
};

// Best packs in windows of kWindow positions: the match finder first lists the
// runs of every position of a window, then the parse finds the cheapest way
// through it. Only the path up to kOverlap positions before the window's end is
// written; the next window starts there, in the state the path had, and parses
// the rest again with what follows, so a window's end never forces a choice. A
// run of kNiceLen or more is taken as it is, and the positions inside it are
// only added to the finder.
class BestPacker {
public:
    BestPacker(ByteSpan in, Bytes& out)
        : src_(in.data()), n_(in.size()), emit_(out, in.data(), in.size()), finder_(src_, n_, kNiceLen) {
        nodes_.resize(std::min(n_, kWindow) + 1);
        reaches_.reserve(4 * kWindow);
        firstMatch_.reserve(kWindow + 1);
        matches_.reserve(4 * kWindow);
    }

    void run() {
        Node carried = fresh();
        carried.cost[0] = 0;
        size_t pos = 0;       // the window starts here; everything before is written
        size_t litStart = 0;  // first literal not yet written
        firstMatch_.assign(1, 0);
        while (pos < n_) {
            // The runs of every position of the window, up to the first long one.
            const size_t end = std::min(n_, pos + kWindow);
            size_t stop = end;
            Match forced{0, 0};
            for (size_t i = pos + firstMatch_.size() - 1; i < end; ++i) {
                finder_.prefetchFar(i + 16);
                finder_.prefetchNear(i + 4);
                Match found[kMaxLength + 1];
                const size_t count = finder_.find(i, kDepth, found);
                if (count && found[count - 1].len >= kNiceLen) {
                    forced = found[count - 1];
                    stop = i;
                    break;
                }
                matches_.insert(matches_.end(), found, found + count);
                firstMatch_.push_back(uint32_t(matches_.size()));
            }
            const size_t span = stop - pos;
            parse(span, carried);

            if (stop == n_ || forced.len) {
                // Everything up to `stop` is decided.
                uint8_t s;
                minState(nodes_[span], &s);
                write(pos, span, s, span, litStart);
                if (!forced.len) break;
                emit_.run(litStart, stop, forced.len, forced.dist);
                for (size_t j = stop + 1; j < stop + forced.len; ++j)
                    finder_.skip(j, kDepth);
                pos = litStart = stop + forced.len;
                carried = fresh();
                carried.cost[0] = 0;
                firstMatch_.assign(1, 0);
                matches_.clear();
                continue;
            }
            // Write the path up to kOverlap positions before the end and go on
            // from there.
            uint8_t s;
            minState(nodes_[span], &s);
            const size_t keep = write(pos, span, s, span - kOverlap, litStart);
            carried = fresh();
            carried.cost[keptState_] = 0;
            carried.longRun = nodes_[keep].longRun;
            // Keep the runs found for the positions from `keep` on.
            const uint32_t drop = firstMatch_[keep];
            matches_.erase(matches_.begin(), matches_.begin() + drop);
            firstMatch_.erase(firstMatch_.begin(), firstMatch_.begin() + ptrdiff_t(keep));
            for (auto& f : firstMatch_)
                f -= drop;
            pos += keep;
        }
        emit_.finish(litStart, n_);
    }

private:
    // Long windows keep the share of positions parsed twice small (the overlap is
    // under 5% of a window); a window's costs stay far below kInf, its commands
    // below kPerByte (a command covers 3 positions or more), and its positions
    // fit the 16 bits of Reach::from.
    static constexpr size_t kWindow = size_t(1) << 15;
    static constexpr size_t kOverlap = 1536;
    static_assert(uint64_t(kWindow + 1) * (2 * kPerByte + 1) < kInf);
    static_assert(kWindow / 3 + 1 < kPerByte);
    static_assert(kWindow <= 65536);
    static constexpr size_t kNiceLen = 96;
    static constexpr unsigned kDepth = 64;
    static constexpr size_t kPendingMask = 2047;  // > kMaxLength

    static Node fresh() {
        Node nd{};
        std::fill(std::begin(nd.cost), std::end(nd.cost), kInf);
        return nd;
    }

    // The cheapest way to each of the `span` positions of the window, starting
    // from `start`, with the runs listed for them.
    void parse(size_t span, const Node& start) {
        nodes_[0] = start;
        heap_.clear();
        reaches_.clear();
        std::fill(std::begin(waiting_), std::end(waiting_), kNone);
        // The base cost and the runs of the position before, to skip the runs
        // that merely continue one of its own runs one byte later.
        uint32_t prevBase = kInf, prevBegin = 0, prevEnd = 0;
        for (size_t k = 0;; ++k) {
            Node& nd = nodes_[k];
            if (k > 0) arrive(k, nd);
            if (k == span) break;
            literalStep(nd, nodes_[k + 1]);

            const uint32_t mBegin = firstMatch_[k], mEnd = firstMatch_[k + 1];
            uint8_t fromState;
            const uint32_t base = minState(nd, &fromState);
            // A run from k that k - 1 also has, one byte longer at the same or a
            // smaller distance, ends where that one ends; unless k is cheaper than
            // k - 1, it costs no less, except where the longer one needs a larger
            // command (lengths 11 and 68 from k - 1).
            const bool hasPrev = prevBase != kInf && base != kInf && base >= prevBase;
            const uint32_t gain = hasPrev ? base - prevBase : 0;
            const uint32_t pBegin = prevBegin, pEnd = prevEnd;
            prevBase = base;
            prevBegin = mBegin;
            prevEnd = mEnd;
            if (mBegin == mEnd || base == kInf) continue;
            const size_t room = span - k;
            // A range that the cheapest one reaching k already covers adds nothing.
            const uint32_t topValue = heap_.empty() ? kInf : heap_.front().value;
            const size_t topLast = heap_.empty() ? 0 : heap_.front().last;
            size_t lo = kMinMatch;
            // The longest run of k - 1 at a distance no larger than this one's
            // (both lists grow in length and distance).
            uint32_t prevLen = 0, q = hasPrev ? pBegin : pEnd;
            for (uint32_t m = mBegin; m < mEnd && lo <= room; ++m) {
                const Match match = matches_[m];
                for (; q < pEnd && matches_[q].dist <= match.dist; ++q)
                    prevLen = matches_[q].len;
                const size_t hi = std::min<size_t>(match.len, room);
                for (const Band& b : kBands) {
                    if (match.dist > b.maxDist || lo > hi) continue;
                    size_t first = std::max<size_t>(lo, b.minLen);
                    const size_t last = std::min<size_t>(hi, b.maxLen);
                    if (first > last) continue;
                    lo = last + 1;
                    if (prevLen > last) {
                        if (gain >= kPerByte || last < b.maxLen) continue;
                        first = last;
                    }
                    const uint32_t value = base + b.bytes * kPerByte + 1;
                    if (value >= topValue && k + last <= topLast) continue;
                    uint32_t& list = waiting_[(k + first) & kPendingMask];
                    reaches_.push_back(
                        {value, uint32_t(k + last), match.dist, list, uint16_t(k), fromState});
                    list = uint32_t(reaches_.size() - 1);
                }
                lo = std::max<size_t>(lo, match.len + 1);
            }
        }
    }

    // The runs that reach position k: the cheapest of the ranges covering it.
    void arrive(size_t k, Node& nd) {
        while (!heap_.empty() && heap_.front().last < k) {
            std::pop_heap(heap_.begin(), heap_.end(), CheaperFirst{});
            heap_.pop_back();
        }
        uint32_t& list = waiting_[k & kPendingMask];
        for (uint32_t r = list; r != kNone; r = reaches_[r].next) {
            const Reach& reach = reaches_[r];
            // A range that the cheapest one covers to its end adds nothing.
            if (!heap_.empty() && heap_.front().value <= reach.value &&
                heap_.front().last >= reach.last)
                continue;
            heap_.push_back(reach);
            std::push_heap(heap_.begin(), heap_.end(), CheaperFirst{});
        }
        list = kNone;
        if (!heap_.empty()) {
            const Reach& r = heap_.front();
            nd.cost[0] = r.value;
            nd.runLen = uint16_t(k - r.from);
            nd.runDist = r.dist;
            nd.runFrom = r.fromState;
        }
    }

    // Walks the path back from position `span` in state `s` and writes its runs
    // that end at or before `upTo`. Returns the last position of the path at or
    // before `upTo` that is not inside a run, and leaves its state in keptState_.
    size_t write(size_t pos, size_t span, uint8_t s, size_t upTo, size_t& litStart) {
        path_.clear();
        size_t keep = span;
        keptState_ = s;
        for (size_t k = span; k > 0;) {
            if (k <= upTo && keep > upTo) {
                keep = k;
                keptState_ = s;
            }
            const Node& nd = nodes_[k];
            if (s == 0) {
                if (k <= upTo) path_.push_back({pos + k - nd.runLen, nd.runLen, nd.runDist});
                s = nd.runFrom;
                k -= nd.runLen;
            } else if (s == 4) {
                s = nd.longFrom;
                --k;
            } else {
                --s;
                --k;
            }
        }
        if (keep > upTo) {
            keep = 0;
            keptState_ = s;
        }
        for (auto it = path_.rbegin(); it != path_.rend(); ++it) {
            emit_.run(litStart, it->at, it->len, it->dist);
            litStart = it->at + it->len;
        }
        return keep;
    }

    struct Step {
        size_t at, len, dist;
    };

    const uint8_t* src_;
    size_t n_;
    Emitter emit_;
    MatchFinder finder_;
    std::vector<Node> nodes_;
    std::vector<uint32_t> firstMatch_;  // per position of the window: its first run
    std::vector<Match> matches_;
    std::vector<Reach> reaches_;
    uint32_t waiting_[kPendingMask + 1];
    std::vector<Reach> heap_;
    std::vector<Step> path_;
    uint8_t keptState_ = 0;
};

Bytes encodeBest(ByteSpan in) {
    Bytes out = startStream(in.size());
    BestPacker(in, out).run();
    // The parse is exact for the runs its finder lists; Fast may list others.
    Bytes fast = encodeFast(in);
    return fast.size() < out.size() ? fast : out;
}

}  // namespace

Result<Bytes> encode(ByteSpan in, Level level) {
    if (in.size() > kMaxPackInput)
        return makeError("input of " + std::to_string(in.size()) +
                         " bytes is too large to pack: the limit is 16 MiB less one byte");
    switch (level) {
        case Level::Fastest:
            return encodeFastest(in);
        case Level::Fast:
            return encodeFast(in);
        case Level::Best:
            break;
    }
    return encodeBest(in);
}

}  // namespace ov::refpack
