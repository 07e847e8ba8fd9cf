#include "refpack.h"

#include <cstring>

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

Result<size_t> decodeInto(ByteSpan in, std::span<uint8_t> out) {
    auto header = readHeader(in);
    if (!header) return header.error();
    const uint8_t* src = in.data();
    size_t ip = header->commandsAt;
    const size_t iend = in.size();
    uint8_t* dst = out.data();
    size_t op = 0;
    const size_t oend = out.size();

    for (;;) {
        if (ip >= iend) return makeError("packed stream ends without its end command", ip);
        const size_t cmdAt = ip;
        const uint8_t b0 = src[ip];
        size_t literals, length = 0, distance = 0;
        bool last = false;
        if (b0 < 0x80) {
            if (iend - ip < 2) return makeError("packed stream truncated inside a command", ip);
            const uint8_t b1 = src[ip + 1];
            ip += 2;
            literals = b0 & 3;
            length = ((b0 & 0x1C) >> 2) + 3;
            distance = (size_t(b0 & 0x60) << 3) + b1 + 1;
        } else if (b0 < 0xC0) {
            if (iend - ip < 3) return makeError("packed stream truncated inside a command", ip);
            const uint8_t b1 = src[ip + 1], b2 = src[ip + 2];
            ip += 3;
            literals = b1 >> 6;
            length = (b0 & 0x3F) + 4;
            distance = (size_t(b1 & 0x3F) << 8) + b2 + 1;
        } else if (b0 < 0xE0) {
            if (iend - ip < 4) return makeError("packed stream truncated inside a command", ip);
            const uint8_t b1 = src[ip + 1], b2 = src[ip + 2], b3 = src[ip + 3];
            ip += 4;
            literals = b0 & 3;
            length = (size_t(b0 & 0x0C) << 6) + b3 + 5;
            distance = (size_t(b0 & 0x10) << 12) + (size_t(b1) << 8) + b2 + 1;
        } else if (b0 < 0xFC) {
            ip += 1;
            literals = (size_t(b0 & 0x1F) + 1) * 4;
        } else {
            ip += 1;
            literals = b0 & 3;
            last = true;
        }
        if (literals > iend - ip)
            return makeError("packed stream truncated inside the literals of a command", cmdAt);
        if (literals > oend - op)
            return makeError("packed stream produces more than its stated size", cmdAt);
        if (literals) std::memcpy(dst + op, src + ip, literals);
        ip += literals;
        op += literals;
        if (last) return op;
        if (distance > op)
            return makeError("copy reaches back " + std::to_string(distance) + " bytes, but only " +
                                 std::to_string(op) + " have been produced",
                             cmdAt);
        if (length > oend - op)
            return makeError("packed stream produces more than its stated size", cmdAt);
        // Overlapping copies repeat the pattern, so copy forwards byte by byte.
        const uint8_t* from = dst + op - distance;
        for (size_t i = 0; i < length; ++i)
            dst[op + i] = from[i];
        op += length;
    }
}

Result<Bytes> decode(ByteSpan in) {
    auto header = readHeader(in);
    if (!header) return header.error();
    Bytes out(header->unpackedSize);
    auto n = decodeInto(in, out);
    if (!n) return n.error();
    if (*n != out.size())
        return makeError("packed stream produces " + std::to_string(*n) +
                         " bytes, its header states " + std::to_string(out.size()));
    return out;
}

}  // namespace ov::refpack

namespace ov::refpack {

namespace {

constexpr size_t kMaxDistance = 131072;
constexpr size_t kMaxLength = 1028;

class Emitter {
public:
    explicit Emitter(Bytes& out) : out_(out) {}

    // Emits literals [from, to) of src in 4-byte multiples, leaving 0-3 pending.
    void literals(const uint8_t* src, size_t from, size_t to) {
        while (to - from >= 4) {
            size_t n = (to - from) & ~size_t(3);
            if (n > 112) n = 112;
            out_.push_back(uint8_t(0xE0 + (n / 4 - 1)));
            out_.insert(out_.end(), src + from, src + from + n);
            from += n;
        }
        pendingFrom_ = from;
        pending_ = to - from;
    }

    // A run, carrying the 0-3 pending literals. Caller ensures len/dist are legal.
    void match(const uint8_t* src, size_t len, size_t dist) {
        size_t d = dist - 1;
        size_t lit = pending_;
        if (len <= 10 && dist <= 1024) {
            out_.push_back(uint8_t(((d >> 3) & 0x60) | ((len - 3) << 2) | lit));
            out_.push_back(uint8_t(d));
        } else if (len <= 67 && dist <= 16384) {
            out_.push_back(uint8_t(0x80 | (len - 4)));
            out_.push_back(uint8_t((lit << 6) | (d >> 8)));
            out_.push_back(uint8_t(d));
        } else {
            size_t l = len - 5;
            out_.push_back(uint8_t(0xC0 | ((d >> 12) & 0x10) | ((l >> 6) & 0x0C) | lit));
            out_.push_back(uint8_t(d >> 8));
            out_.push_back(uint8_t(d));
            out_.push_back(uint8_t(l));
        }
        out_.insert(out_.end(), src + pendingFrom_, src + pendingFrom_ + lit);
        pending_ = 0;
    }

    void finish(const uint8_t* src) {
        out_.push_back(uint8_t(0xFC | pending_));
        out_.insert(out_.end(), src + pendingFrom_, src + pendingFrom_ + pending_);
        pending_ = 0;
    }

private:
    Bytes& out_;
    size_t pendingFrom_ = 0;
    size_t pending_ = 0;
};

bool legal(size_t len, size_t dist) {
    if (len < 3 || len > kMaxLength || dist == 0 || dist > kMaxDistance) return false;
    if (len == 3) return dist <= 1024;
    if (len == 4) return dist <= 16384;
    return true;
}

inline uint32_t hash3(const uint8_t* p) {
    uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    return (v * 2654435761u) >> 16;
}

}  // namespace

Result<Bytes> encode(ByteSpan in, Level) {
    if (in.size() > kMaxPackInput)
        return makeError("input of " + std::to_string(in.size()) +
                         " bytes is too large to pack: the limit is 16 MiB less one byte");
    Bytes out;
    out.reserve(in.size() + in.size() / 64 + 16);
    out.push_back(0x10);
    out.push_back(0xFB);
    out.push_back(uint8_t(in.size() >> 16));
    out.push_back(uint8_t(in.size() >> 8));
    out.push_back(uint8_t(in.size()));

    const uint8_t* src = in.data();
    const size_t n = in.size();
    std::vector<int64_t> head(1 << 16, -1);
    Emitter e(out);
    size_t litStart = 0;
    size_t i = 0;
    while (i + 3 <= n) {
        uint32_t h = hash3(src + i);
        int64_t cand = head[h];
        head[h] = int64_t(i);
        size_t len = 0, dist = 0;
        if (cand >= 0 && i - size_t(cand) <= kMaxDistance) {
            dist = i - size_t(cand);
            size_t limit = n - i < kMaxLength ? n - i : kMaxLength;
            while (len < limit && src[size_t(cand) + len] == src[i + len])
                ++len;
        }
        if (!legal(len, dist)) {
            ++i;
            continue;
        }
        e.literals(src, litStart, i);
        e.match(src, len, dist);
        for (size_t k = 1; k < len && i + k + 3 <= n; ++k)
            head[hash3(src + i + k)] = int64_t(i + k);
        i += len;
        litStart = i;
    }
    e.literals(src, litStart, n);
    e.finish(src);
    return out;
}

}  // namespace ov::refpack
