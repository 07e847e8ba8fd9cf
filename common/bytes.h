#pragma once
// Bounded little- and big-endian access to byte buffers, used by every file format
// of the toolkit. ByteReader never reads past the span it was given: a read that
// does not fit marks the reader as failed (sticky), returns zero, and remembers
// the offset at which the data ran out.

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

inline uint16_t loadU16LE(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint16_t loadU16BE(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t loadU24BE(const uint8_t* p) {
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}
inline uint32_t loadU32LE(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint32_t loadU32BE(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline float loadF32LE(const uint8_t* p) {
    return std::bit_cast<float>(loadU32LE(p));
}

inline void storeU16LE(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void storeU16BE(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void storeU24BE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 16);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v);
}
inline void storeU32LE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void storeU32BE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void storeF32LE(uint8_t* p, float v) {
    storeU32LE(p, std::bit_cast<uint32_t>(v));
}

class ByteReader {
public:
    explicit ByteReader(ByteSpan data, size_t pos = 0)
        : data_(data), pos_(pos <= data.size() ? pos : data.size()) {}

    size_t pos() const { return pos_; }
    size_t size() const { return data_.size(); }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }
    ByteSpan data() const { return data_; }

    // True while every read so far fitted.
    bool ok() const { return !failed_; }
    // Offset at which the first failed read was attempted.
    size_t failedAt() const { return failedAt_; }

    bool has(size_t n) const { return n <= remaining(); }

    bool seek(size_t p) {
        if (p > data_.size()) return fail();
        pos_ = p;
        return true;
    }
    bool skip(size_t n) {
        if (!has(n)) return fail();
        pos_ += n;
        return true;
    }

    uint8_t u8() { return take(1) ? data_[pos_ - 1] : 0; }
    uint16_t u16le() { return take(2) ? loadU16LE(&data_[pos_ - 2]) : 0; }
    uint16_t u16be() { return take(2) ? loadU16BE(&data_[pos_ - 2]) : 0; }
    uint32_t u24be() { return take(3) ? loadU24BE(&data_[pos_ - 3]) : 0; }
    uint32_t u32le() { return take(4) ? loadU32LE(&data_[pos_ - 4]) : 0; }
    uint32_t u32be() { return take(4) ? loadU32BE(&data_[pos_ - 4]) : 0; }
    float f32le() { return std::bit_cast<float>(u32le()); }

    // The next n bytes, or an empty span (and failure) when fewer remain.
    ByteSpan bytes(size_t n) {
        if (!take(n)) return {};
        return data_.subspan(pos_ - n, n);
    }

    // A zero-ended string; the cursor ends just past the zero byte. When no zero
    // byte follows, the rest of the data is returned and the reader fails.
    std::string cstring() {
        const uint8_t* begin = data_.data() + pos_;
        const void* z = std::memchr(begin, 0, remaining());
        if (!z) {
            std::string s(reinterpret_cast<const char*>(begin), remaining());
            failedAt_ = data_.size();
            failed_ = true;
            pos_ = data_.size();
            return s;
        }
        size_t n = size_t(static_cast<const uint8_t*>(z) - begin);
        std::string s(reinterpret_cast<const char*>(begin), n);
        pos_ += n + 1;
        return s;
    }

private:
    bool take(size_t n) {
        if (!has(n)) return fail();
        pos_ += n;
        return true;
    }
    bool fail() {
        if (!failed_) failedAt_ = pos_;
        failed_ = true;
        return false;
    }

    ByteSpan data_;
    size_t pos_ = 0;
    bool failed_ = false;
    size_t failedAt_ = 0;
};

class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(size_t reserve) { out_.reserve(reserve); }

    void u8(uint8_t v) { out_.push_back(v); }
    void u16le(uint16_t v) { storeU16LE(grow(2), v); }
    void u16be(uint16_t v) { storeU16BE(grow(2), v); }
    void u24be(uint32_t v) { storeU24BE(grow(3), v); }
    void u32le(uint32_t v) { storeU32LE(grow(4), v); }
    void u32be(uint32_t v) { storeU32BE(grow(4), v); }
    void f32le(float v) { storeF32LE(grow(4), v); }
    void bytes(ByteSpan b) { out_.insert(out_.end(), b.begin(), b.end()); }
    void zeros(size_t n) { out_.resize(out_.size() + n, 0); }
    // A string padded with zero bytes (or cut) to exactly `width` bytes.
    void fixedString(std::string_view s, size_t width) {
        size_t n = s.size() < width ? s.size() : width;
        bytes(ByteSpan(reinterpret_cast<const uint8_t*>(s.data()), n));
        zeros(width - n);
    }

    size_t size() const { return out_.size(); }
    Bytes& buffer() { return out_; }
    Bytes take() { return std::move(out_); }

private:
    uint8_t* grow(size_t n) {
        out_.resize(out_.size() + n);
        return out_.data() + out_.size() - n;
    }
    Bytes out_;
};

}  // namespace ov
