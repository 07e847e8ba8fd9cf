#pragma once
// The SHP ship model: a plain chain of blocks, each a 6-byte head (u16 type,
// u16 record size, u16 record count, little-endian) followed by count x size bytes
// of records, ended by the terminator FF FF 00 00 00 00.
//
// Record sizes are taken from each block, never assumed: a block of a known type may
// carry longer or shorter records than the layouts below, whose fields are those at
// the start of each record. Unknown block types are carried through unchanged, so an
// unpacked model read and written again comes back byte for byte.
//
// Chains and record views are plain values over memory and nothing here talks to
// the user: a chain that no thread changes may be read from any number of threads.

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "bytes.h"
#include "result.h"

namespace ov::shp {

namespace BlockType {
inline constexpr uint16_t ShipHeader = 0;
inline constexpr uint16_t ComponentTable = 1;
inline constexpr uint16_t GroupOpener = 2;
inline constexpr uint16_t Faces = 3;
inline constexpr uint16_t Vertices = 4;
inline constexpr uint16_t TextureNames = 6;
inline constexpr uint16_t Boxes = 7;
inline constexpr uint16_t Attachments = 9;
inline constexpr uint16_t Block13 = 13;
inline constexpr uint16_t Block14 = 14;
inline constexpr uint16_t Terminator = 0xFFFF;
}  // namespace BlockType

// The name this system gives a block type, or nullptr for types it only carries.
const char* blockTypeName(uint16_t type);

inline constexpr uint32_t kComponentRecordSize = 312;
inline constexpr uint32_t kFaceRecordSize = 80;
inline constexpr uint32_t kBoxRecordSize = 72;
inline constexpr uint32_t kAttachmentRecordSize = 168;
// The bytes a record needs before it is listed or drawn as an object of its type:
// an attachment its kind, a box its orientation, half-extents and centre, a
// texture name one byte.
inline constexpr size_t kAttachmentFieldsEnd = 4;
inline constexpr size_t kBoxFieldsEnd = 64;
inline constexpr size_t kTextureNameFieldsEnd = 1;
inline constexpr size_t kShipClassOffsetInRecord = 20;
// Ship class byte of an unpacked model: byte 20 of the header record, after the
// 6-byte block head.
inline constexpr size_t kShipClassFileOffset = 26;

inline constexpr std::array<uint8_t, 6> kTerminatorBytes{0xFF, 0xFF, 0, 0, 0, 0};

struct Block {
    uint32_t type = 0;
    uint32_t recordSize = 0;
    uint32_t recordCount = 0;
    Bytes data;  // recordCount * recordSize bytes
    // Offset of the block head in the file it was read from (0 for new blocks).
    uint64_t fileOffset = 0;

    std::span<uint8_t> record(size_t i) { return {data.data() + i * recordSize, recordSize}; }
    std::span<const uint8_t> record(size_t i) const {
        return {data.data() + i * recordSize, recordSize};
    }
};

// The records of a block that a reader takes as objects of the block's type: all of
// them when each holds `fieldsEnd` bytes, none otherwise. Records too short for the
// fields are what the file states, but they stand for nothing: a count of zero-size
// records costs the file no bytes, so objects made of them would be memory that
// the file's size does not bound.
inline size_t objectCount(const Block& b, size_t fieldsEnd) {
    return b.recordSize >= fieldsEnd ? b.recordCount : 0;
}

class BlockChain {
public:
    // Reads a chain from unpacked bytes, stopping at the first terminator head.
    // Safe on hostile input: every block's records are checked against the bytes
    // left before anything is allocated; a truncated chain or one without a
    // terminator is refused with an Error naming the byte and block.
    static Result<BlockChain> read(ByteSpan data);

    // The chain and the terminator, always unpacked.
    Bytes write() const;
    // Writes through a temporary file renamed over the target.
    Status writeFile(const std::filesystem::path& path) const;

    std::vector<Block>& blocks() { return blocks_; }
    const std::vector<Block>& blocks() const { return blocks_; }
    bool empty() const { return blocks_.empty(); }
    size_t size() const { return blocks_.size(); }

    // Index of the n-th (0-based) block of a type.
    std::optional<size_t> nth(uint16_t type, size_t n) const;
    // Index of the first block of a type after block `after`.
    std::optional<size_t> firstAfter(size_t after, uint16_t type) const;
    size_t count(uint16_t type) const;

    // The component table: the last type-1 block of the chain.
    std::optional<size_t> componentTable() const;

    // Grows a block by one record (padded with zeros or cut to the block's record
    // size). Fails when the count would no longer fit in 16 bits.
    bool appendRecord(size_t block, ByteSpan record);
    bool removeRecord(size_t block, size_t index);

    void appendBlock(Block b) { blocks_.push_back(std::move(b)); }

private:
    std::vector<Block> blocks_;
};

enum class Recognition { Unpacked, Packed, Unknown };

// Terminator test first (the last six bytes), then the packed signature 0x10 0xFB.
Recognition recognize(ByteSpan data);

inline constexpr const char* kNotShpText =
    "The file you attempted to load doesn't appear to be a compressed or uncompressed SHP "
    "file!";
inline constexpr const char* kNotShpCaption = "Something went wrong...";

// ---------------------------------------------------------------------------
// Typed views over records. A view reads a field only when the record is long
// enough to hold it and reports 0 otherwise; setters write only fields that fit.
// Each view comes in two forms: XView over a writable record, ConstXView over one
// that may only be read (a record of a const chain).

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

template <class Byte>
class BasicRecordView {
public:
    explicit BasicRecordView(std::span<Byte> rec) : rec_(rec) {}
    bool has(size_t offset, size_t width) const {
        return offset <= rec_.size() && width <= rec_.size() - offset;
    }
    uint32_t u32(size_t off) const { return has(off, 4) ? loadU32LE(&rec_[off]) : 0; }
    float f32(size_t off) const { return has(off, 4) ? loadF32LE(&rec_[off]) : 0.0f; }
    Vec3 vec3(size_t off) const { return {f32(off), f32(off + 4), f32(off + 8)}; }
    std::array<float, 9> matrix(size_t off) const {
        std::array<float, 9> m{};
        for (size_t i = 0; i < 9; ++i)
            m[i] = f32(off + 4 * i);
        return m;
    }
    bool setU32(size_t off, uint32_t v) requires(!std::is_const_v<Byte>) {
        if (!has(off, 4)) return false;
        storeU32LE(&rec_[off], v);
        return true;
    }
    bool setF32(size_t off, float v) requires(!std::is_const_v<Byte>) {
        if (!has(off, 4)) return false;
        storeF32LE(&rec_[off], v);
        return true;
    }
    bool setVec3(size_t off, Vec3 v) requires(!std::is_const_v<Byte>) {
        return has(off, 12) && setF32(off, v.x) && setF32(off + 4, v.y) && setF32(off + 8, v.z);
    }
    // Zero-ended text in the first `width` bytes (or the whole record if shorter).
    std::string text(size_t off, size_t width) const {
        if (off >= rec_.size()) return {};
        size_t n = rec_.size() - off < width ? rec_.size() - off : width;
        const char* p = reinterpret_cast<const char*>(rec_.data() + off);
        const void* z = std::memchr(p, 0, n);
        return std::string(p, z ? size_t(static_cast<const char*>(z) - p) : n);
    }
    std::span<Byte> bytes() const { return rec_; }

protected:
    std::span<Byte> rec_;
};

// Type-1 record: one component.
template <class Byte>
class BasicComponentView : public BasicRecordView<Byte> {
public:
    using BasicRecordView<Byte>::BasicRecordView;
    std::string name() const { return this->text(0, 64); }
    // Writes the name, zero-padded to 64 bytes; longer names are cut to 63 bytes.
    bool setName(std::string_view name) requires(!std::is_const_v<Byte>) {
        if (!this->has(0, 64)) return false;
        size_t n = name.size() < 63 ? name.size() : 63;
        std::memset(this->rec_.data(), 0, 64);
        std::memcpy(this->rec_.data(), name.data(), n);
        return true;
    }
    uint32_t kind() const { return this->u32(64); }
    Vec3 position() const { return this->vec3(68); }
    uint32_t value212() const { return this->u32(212); }
    uint32_t switch240() const { return this->u32(240); }
    uint32_t value260() const { return this->u32(260); }
    bool setKind(uint32_t v) requires(!std::is_const_v<Byte>) { return this->setU32(64, v); }
    bool setPosition(Vec3 v) requires(!std::is_const_v<Byte>) { return this->setVec3(68, v); }
    bool setValue212(uint32_t v) requires(!std::is_const_v<Byte>) { return this->setU32(212, v); }
    bool setSwitch240(uint32_t v) requires(!std::is_const_v<Byte>) { return this->setU32(240, v); }
    bool setValue260(uint32_t v) requires(!std::is_const_v<Byte>) { return this->setU32(260, v); }
};

// Type-3 record: one triangle.
template <class Byte>
class BasicFaceView : public BasicRecordView<Byte> {
public:
    using BasicRecordView<Byte>::BasicRecordView;
    uint32_t textureIndex() const { return this->u32(0); }
    std::array<uint32_t, 3> corners() const {
        return {this->u32(12), this->u32(16), this->u32(20)};
    }
    std::array<float, 3> u() const { return {this->f32(24), this->f32(28), this->f32(32)}; }
    std::array<float, 3> v() const { return {this->f32(36), this->f32(40), this->f32(44)}; }
    // Only meaningful for 80-byte records: 3 hides the front face, others the back.
    uint32_t sideMode() const { return this->u32(72); }
};

// Type-7 record: one oriented collision box.
template <class Byte>
class BasicBoxView : public BasicRecordView<Byte> {
public:
    using BasicRecordView<Byte>::BasicRecordView;
    std::array<float, 9> matrix() const { return BasicRecordView<Byte>::matrix(4); }
    Vec3 halfExtents() const { return this->vec3(40); }
    Vec3 centre() const { return this->vec3(52); }
    bool setHalfExtents(Vec3 v) requires(!std::is_const_v<Byte>) { return this->setVec3(40, v); }
    bool setCentre(Vec3 v) requires(!std::is_const_v<Byte>) { return this->setVec3(52, v); }
};

inline constexpr size_t kObjectIndexField = 52;
inline constexpr size_t kMissileTypeField = 56;
inline constexpr size_t kGunTypeField = 100;

// Type-9 record: one attached object.
template <class Byte>
class BasicAttachmentView : public BasicRecordView<Byte> {
public:
    using BasicRecordView<Byte>::BasicRecordView;
    uint32_t kind() const { return this->u32(0); }
    Vec3 position() const { return this->vec3(4); }
    std::array<float, 9> matrix() const { return BasicRecordView<Byte>::matrix(16); }
    // Attached-object index for kind 1; kind-specific otherwise.
    uint32_t objectIndex() const { return this->u32(kObjectIndexField); }
    // Missile type for kind 0 (the field the weapons editor changes); kind-specific
    // otherwise.
    uint32_t missileType() const { return this->u32(kMissileTypeField); }
    // Gun-type index for kind 3; kind-specific otherwise.
    uint32_t gunType() const { return this->u32(kGunTypeField); }
    bool setPosition(Vec3 v) requires(!std::is_const_v<Byte>) { return this->setVec3(4, v); }
    bool setObjectIndex(uint32_t v) requires(!std::is_const_v<Byte>) {
        return this->setU32(kObjectIndexField, v);
    }
    bool setMissileType(uint32_t v) requires(!std::is_const_v<Byte>) {
        return this->setU32(kMissileTypeField, v);
    }
    bool setGunType(uint32_t v) requires(!std::is_const_v<Byte>) {
        return this->setU32(kGunTypeField, v);
    }
};

using RecordView = BasicRecordView<uint8_t>;
using ConstRecordView = BasicRecordView<const uint8_t>;
using ComponentView = BasicComponentView<uint8_t>;
using ConstComponentView = BasicComponentView<const uint8_t>;
using FaceView = BasicFaceView<uint8_t>;
using ConstFaceView = BasicFaceView<const uint8_t>;
using BoxView = BasicBoxView<uint8_t>;
using ConstBoxView = BasicBoxView<const uint8_t>;
using AttachmentView = BasicAttachmentView<uint8_t>;
using ConstAttachmentView = BasicAttachmentView<const uint8_t>;

// Ship class byte of the first ship-header record, if there is one long enough.
std::optional<uint8_t> shipClass(const BlockChain& chain);
bool setShipClass(BlockChain& chain, uint8_t value);

// The two 32-bit values of a block13 block (count 2), or nothing when it is off.
std::vector<uint32_t> block13Values(const Block& block);

// ---------------------------------------------------------------------------
// Tables.

// "Fighter", "Capship", "Fighter + Cloak", else "[Value = %d]".
std::string shipClassName(uint32_t value);
// "Fighter-type", "Capship-type", "Fighter cockpit", "Fighter turret", else
// "[Value = %d]" with the low byte.
std::string componentKindName(uint32_t kind);
// Name of a kind in the editor's "attach" list, or nullptr outside 0-4.
const char* attachMenuName(uint32_t kind);
// Gun-type name for index 0-15 (index 0 is the empty name), nullptr otherwise.
const char* gunTypeName(uint32_t index);
// Attached-object name for index 0-17, nullptr otherwise.
const char* attachedObjectName(uint32_t index);
// The attachment's line in the attachment list: "Missile Mount Point",
// "Obj: %s", "Engine Flame", "Gun: %s", "Blinking Light" or "Unknown: Type %d".
std::string attachmentListName(uint32_t kind, uint32_t objectIndex, uint32_t gunType);
template <class Byte>
std::string attachmentListName(const BasicAttachmentView<Byte>& a) {
    return attachmentListName(a.kind(), a.objectIndex(), a.gunType());
}

inline constexpr int kAttachmentKinds = 5;
// The default 168-byte record of a newly attached object of kind 0-4.
const std::array<uint8_t, kAttachmentRecordSize>& defaultAttachment(uint32_t kind);

}  // namespace ov::shp
