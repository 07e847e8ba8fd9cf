#pragma once
// Building SHP models from simple parts: used by the sample game folder and the
// tests. Every component gets the full group of blocks the editors expect, in the
// order 2 (group opener), 7 (boxes), 9 (attachments), 13, 4 (vertices), 3 (faces),
// 6 (texture names). Plain functions of their arguments, for any thread.

#include <array>
#include <string>
#include <vector>

#include "shp.h"

namespace ov::shp {

struct BoxSpec {
    Vec3 centre;
    Vec3 halfExtents;
};

struct FaceSpec {
    uint32_t a = 0, b = 0, c = 0;
    uint32_t texture = 0;
    std::array<float, 3> u{};
    std::array<float, 3> v{};
    uint32_t sideMode = 0;
};

struct ComponentSpec {
    std::string name;
    uint32_t kind = 0;
    Vec3 position;
    uint32_t value212 = 0;
    uint32_t switch240 = 0;
    uint32_t value260 = 0;
    std::vector<Vec3> vertices;
    std::vector<FaceSpec> faces;
    std::vector<std::string> textures;
    std::vector<std::array<uint8_t, kAttachmentRecordSize>> attachments;
    std::vector<BoxSpec> boxes;
    bool block13 = false;
};

inline constexpr uint32_t kHeaderRecordSize = 88;
inline constexpr uint32_t kVertexRecordSize = 32;
inline constexpr uint32_t kTextureRecordSize = 64;

// An attachment of kind 0-4: the default record with its position (and, for kind 1
// and kind 3, its object or gun type) set.
std::array<uint8_t, kAttachmentRecordSize> makeAttachment(uint32_t kind, Vec3 position,
                                                          uint32_t type = 0);

BlockChain buildModel(uint8_t shipClass, const std::vector<ComponentSpec>& components);

}  // namespace ov::shp
