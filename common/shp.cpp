#include "shp.h"

#include <cstring>

#include "fileio.h"

namespace ov::shp {

const char* blockTypeName(uint16_t type) {
    switch (type) {
        case BlockType::ShipHeader:
            return "ship header";
        case BlockType::ComponentTable:
            return "Type-1 block";
        case BlockType::GroupOpener:
            return "component group opener";
        case BlockType::Faces:
            return "face block";
        case BlockType::Vertices:
            return "vertex block";
        case BlockType::TextureNames:
            return "texture-name block";
        case BlockType::Boxes:
            return "box block";
        case BlockType::Attachments:
            return "block9";
        case BlockType::Block13:
            return "block13";
        case BlockType::Block14:
            return "block14";
        case BlockType::Terminator:
            return "terminator";
        default:
            return nullptr;
    }
}

Result<BlockChain> BlockChain::read(ByteSpan data) {
    BlockChain chain;
    ByteReader r(data);
    for (;;) {
        size_t head = r.pos();
        if (!r.has(6)) {
            if (r.atEnd())
                return makeError("the model ends at byte " + std::to_string(head) +
                                     " without its terminator block",
                                 head);
            return makeError("the model is truncated at byte " + std::to_string(data.size()) +
                                 " inside the head of block " +
                                 std::to_string(chain.blocks_.size()),
                             head);
        }
        uint16_t type = r.u16le();
        uint16_t size = r.u16le();
        uint16_t count = r.u16le();
        if (type == BlockType::Terminator) break;
        uint64_t need = uint64_t(size) * count;
        if (need > r.remaining())
            return makeError("the model is truncated at byte " + std::to_string(data.size()) +
                                 ": block " + std::to_string(chain.blocks_.size()) + " (type " +
                                 std::to_string(type) + ") at byte " + std::to_string(head) +
                                 " needs " + std::to_string(need) + " bytes of records, " +
                                 std::to_string(r.remaining()) + " are left",
                             head);
        Block b;
        b.type = type;
        b.recordSize = size;
        b.recordCount = count;
        b.fileOffset = head;
        ByteSpan recs = r.bytes(size_t(need));
        b.data.assign(recs.begin(), recs.end());
        chain.blocks_.push_back(std::move(b));
    }
    return chain;
}

Bytes BlockChain::write() const {
    size_t total = 6;
    for (const Block& b : blocks_)
        total += 6 + b.data.size();
    ByteWriter w(total);
    for (const Block& b : blocks_) {
        w.u16le(uint16_t(b.type));
        w.u16le(uint16_t(b.recordSize));
        w.u16le(uint16_t(b.recordCount));
        w.bytes(b.data);
    }
    w.bytes(kTerminatorBytes);
    return w.take();
}

Status BlockChain::writeFile(const std::filesystem::path& path) const {
    return writeFileAtomic(path, write());
}

std::optional<size_t> BlockChain::nth(uint16_t type, size_t n) const {
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (blocks_[i].type != type) continue;
        if (n == 0) return i;
        --n;
    }
    return std::nullopt;
}

std::optional<size_t> BlockChain::firstAfter(size_t after, uint16_t type) const {
    for (size_t i = after + 1; i < blocks_.size(); ++i)
        if (blocks_[i].type == type) return i;
    return std::nullopt;
}

size_t BlockChain::count(uint16_t type) const {
    size_t n = 0;
    for (const Block& b : blocks_)
        n += b.type == type;
    return n;
}

std::optional<size_t> BlockChain::componentTable() const {
    for (size_t i = blocks_.size(); i-- > 0;)
        if (blocks_[i].type == BlockType::ComponentTable) return i;
    return std::nullopt;
}

bool BlockChain::appendRecord(size_t block, ByteSpan record) {
    if (block >= blocks_.size()) return false;
    Block& b = blocks_[block];
    if (b.recordCount >= 0xFFFF) return false;
    size_t n = record.size() < b.recordSize ? record.size() : b.recordSize;
    b.data.insert(b.data.end(), record.begin(), record.begin() + n);
    b.data.resize(b.data.size() + (b.recordSize - n), 0);
    ++b.recordCount;
    return true;
}

bool BlockChain::removeRecord(size_t block, size_t index) {
    if (block >= blocks_.size()) return false;
    Block& b = blocks_[block];
    if (index >= b.recordCount) return false;
    auto first = b.data.begin() + ptrdiff_t(index * b.recordSize);
    b.data.erase(first, first + b.recordSize);
    --b.recordCount;
    return true;
}

Recognition recognize(ByteSpan data) {
    if (data.size() >= 6 &&
        std::memcmp(data.data() + data.size() - 6, kTerminatorBytes.data(), 6) == 0)
        return Recognition::Unpacked;
    if (data.size() >= 2 && data[0] == 0x10 && data[1] == 0xFB) return Recognition::Packed;
    return Recognition::Unknown;
}

std::optional<uint8_t> shipClass(const BlockChain& chain) {
    auto i = chain.nth(BlockType::ShipHeader, 0);
    if (!i) return std::nullopt;
    const Block& b = chain.blocks()[*i];
    if (b.recordCount == 0 || b.recordSize <= kShipClassOffsetInRecord) return std::nullopt;
    return b.data[kShipClassOffsetInRecord];
}

bool setShipClass(BlockChain& chain, uint8_t value) {
    auto i = chain.nth(BlockType::ShipHeader, 0);
    if (!i) return false;
    Block& b = chain.blocks()[*i];
    if (b.recordCount == 0 || b.recordSize <= kShipClassOffsetInRecord) return false;
    b.data[kShipClassOffsetInRecord] = value;
    return true;
}

std::vector<uint32_t> block13Values(const Block& block) {
    std::vector<uint32_t> v;
    for (size_t i = 0; i < block.recordCount; ++i)
        if (block.recordSize >= 4) v.push_back(loadU32LE(block.record(i).data()));
    return v;
}

namespace {
std::string valueText(uint32_t v) {
    return "[Value = " + std::to_string(v) + "]";
}
}  // namespace

std::string shipClassName(uint32_t value) {
    switch (value) {
        case 0:
            return "Fighter";
        case 1:
            return "Capship";
        case 2:
            return "Fighter + Cloak";
        default:
            return valueText(value);
    }
}

std::string componentKindName(uint32_t kind) {
    switch (kind) {
        case 0:
            return "Fighter-type";
        case 1:
            return "Capship-type";
        case 2:
            return "Fighter cockpit";
        case 3:
            return "Fighter turret";
        default:
            return valueText(kind & 0xFF);
    }
}

const char* attachMenuName(uint32_t kind) {
    static const char* const names[] = {"Missile Mounting Point", "Gun Object (type1)",
                                        "Engine Flame", "Gun (type3)", "Blinking Light"};
    return kind < 5 ? names[kind] : nullptr;
}

const char* gunTypeName(uint32_t index) {
    static const char* const names[] = {"",
                                        "Laser Cannon",
                                        "Pulse Cannon",
                                        "Messon Blaster",
                                        "Proton Cannon",
                                        "Gattling Lasers",
                                        "Tachyon Cannon",
                                        "Neutron Particle Gun",
                                        "Collapser Gun",
                                        "Gattling Plasma Cannon",
                                        "Vulcan Battery",
                                        "Nova Cannon",
                                        "Turret Flak Projectiles",
                                        "Turret Lasers",
                                        "Allied Huge Gun",
                                        "Coalition Huge Gun"};
    return index < std::size(names) ? names[index] : nullptr;
}

const char* attachedObjectName(uint32_t index) {
    static const char* const names[] = {"Pulse Cannon",
                                        "Gattling Lasers",
                                        "Proton Cannon (Long in length)",
                                        "Double Barrel Lasers",
                                        "Laser Cannon (short) (4)",
                                        "Laser Cannon (short) (5)",
                                        "Laser Cannon (short, small)",
                                        "Laser Cannon (short, gatt. look)",
                                        "Pukov Turret",
                                        "Kurgen Turret",
                                        "Yamato Turret",
                                        "Smal Proton",
                                        "Yamato Turret 2",
                                        "Small Turret",
                                        "Capship Miss Turret",
                                        "Capship Miss Turret2",
                                        "Alli. Capship Turret",
                                        "Coal. Capship Turret"};
    return index < std::size(names) ? names[index] : nullptr;
}

std::string attachmentListName(uint32_t kind, uint32_t objectIndex, uint32_t gunType) {
    switch (kind) {
        case 0:
            return "Missile Mount Point";
        case 1: {
            const char* n = attachedObjectName(objectIndex);
            return std::string("Obj: ") + (n ? n : valueText(objectIndex).c_str());
        }
        case 2:
            return "Engine Flame";
        case 3: {
            const char* n = gunTypeName(gunType);
            return std::string("Gun: ") + (n ? n : valueText(gunType).c_str());
        }
        case 4:
            return "Blinking Light";
        default:
            return "Unknown: Type " + std::to_string(int32_t(kind));
    }
}

namespace {

using Record = std::array<uint8_t, kAttachmentRecordSize>;

struct Field {
    uint16_t offset;
    uint32_t bits;  // integer value or float bit pattern
};

constexpr uint32_t kOne = 0x3F800000;
constexpr uint32_t kNegZero = 0x80000000;
constexpr uint32_t f(float v) {
    return std::bit_cast<uint32_t>(v);
}

Record build(std::initializer_list<Field> fields) {
    Record r{};
    for (const Field& fl : fields)
        storeU32LE(&r[fl.offset], fl.bits);
    return r;
}

const std::array<Record, kAttachmentKinds> kDefaults = {
    // 0: missile mount point
    build({{16, kOne},
           {32, kOne},
           {48, kOne},
           {56, 5},
           {60, 8},
           {64, 6},
           {72, f(100.0f)},
           {76, f(50.0f)},
           {80, f(-400.0f)},
           {100, 479},
           {116, f(1000.0f)},
           {120, kOne}}),
    // 1: gun object
    build({{0, 1},
           {16, 0x3F3BD5B8},
           {20, 0x3F2DEFDE},
           {28, 0xBF2DEFDE},
           {32, 0x3F3BD5B8},
           {36, kNegZero},
           {40, kNegZero},
           {48, kOne},
           {52, 2},
           {56, 2},
           {72, f(130.0f)},
           {76, f(65.0f)},
           {80, f(-520.0f)},
           {116, 0x3F3BD399},
           {120, 0x3F2DF227}}),
    // 2: engine flame
    build({{0, 2},
           {16, kOne},
           {20, kNegZero},
           {32, kOne},
           {36, kNegZero},
           {48, kOne},
           {52, 1},
           {72, f(120.0f)},
           {76, f(60.0f)},
           {80, f(-440.0f)}}),
    // 3: gun
    build({{0, 3},
           {16, 0x3F5E3C9A},
           {20, 0x3EFE23F4},
           {28, 0xBEFE23F4},
           {32, 0x3F5E3C9A},
           {36, kNegZero},
           {40, kNegZero},
           {48, kOne},
           {72, f(100.0f)},
           {76, f(50.0f)},
           {80, f(-400.0f)},
           {100, 4},
           {116, f(1000.0f)},
           {120, kOne}}),
    // 4: blinking light
    build({{0, 4},
           {16, kOne},
           {20, kNegZero},
           {32, kOne},
           {36, kNegZero},
           {48, kOne},
           {52, 3},
           {72, f(48.0f)},
           {76, f(48.0f)},
           {84, 100},
           {88, 1500},
           {116, f(600.0f)},
           {120, kOne}}),
};

}  // namespace

const std::array<uint8_t, kAttachmentRecordSize>& defaultAttachment(uint32_t kind) {
    return kDefaults[kind < kAttachmentKinds ? kind : 0];
}

}  // namespace ov::shp
