#include "shp_build.h"

namespace ov::shp {

namespace {

Block makeBlock(uint32_t type, uint32_t recordSize, uint32_t count, Bytes data) {
    Block b;
    b.type = type;
    b.recordSize = recordSize;
    b.recordCount = count;
    b.data = std::move(data);
    return b;
}

}  // namespace

std::array<uint8_t, kAttachmentRecordSize> makeAttachment(uint32_t kind, Vec3 position,
                                                          uint32_t type) {
    auto rec = defaultAttachment(kind);
    AttachmentView v(rec);
    v.setVec3(4, position);
    if (kind == 1) v.setU32(52, type);
    if (kind == 3) v.setU32(100, type);
    return rec;
}

BlockChain buildModel(uint8_t shipClass, const std::vector<ComponentSpec>& components) {
    BlockChain chain;
    Bytes header(kHeaderRecordSize, 0);
    header[kShipClassOffsetInRecord] = shipClass;
    chain.appendBlock(makeBlock(BlockType::ShipHeader, kHeaderRecordSize, 1, header));

    Bytes table(components.size() * kComponentRecordSize, 0);
    for (size_t i = 0; i < components.size(); ++i) {
        const ComponentSpec& c = components[i];
        ComponentView v(
            std::span<uint8_t>(table.data() + i * kComponentRecordSize, kComponentRecordSize));
        v.setName(c.name);
        v.setU32(64, c.kind);
        v.setVec3(68, c.position);
        v.setU32(212, c.value212);
        v.setU32(240, c.switch240);
        v.setU32(260, c.value260);
    }
    chain.appendBlock(makeBlock(BlockType::ComponentTable, kComponentRecordSize,
                                uint32_t(components.size()), std::move(table)));

    for (const ComponentSpec& c : components) {
        ByteWriter opener;
        opener.f32le(5000.0f);
        chain.appendBlock(makeBlock(BlockType::GroupOpener, 4, 1, opener.take()));

        ByteWriter boxes;
        for (const BoxSpec& b : c.boxes) {
            boxes.f32le(0.0f);
            const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
            for (float m : identity)
                boxes.f32le(m);
            boxes.f32le(b.halfExtents.x);
            boxes.f32le(b.halfExtents.y);
            boxes.f32le(b.halfExtents.z);
            boxes.f32le(b.centre.x);
            boxes.f32le(b.centre.y);
            boxes.f32le(b.centre.z);
            boxes.zeros(8);
        }
        chain.appendBlock(
            makeBlock(BlockType::Boxes, kBoxRecordSize, uint32_t(c.boxes.size()), boxes.take()));

        ByteWriter att;
        for (const auto& a : c.attachments)
            att.bytes(a);
        chain.appendBlock(makeBlock(BlockType::Attachments, kAttachmentRecordSize,
                                    uint32_t(c.attachments.size()), att.take()));

        ByteWriter b13;
        if (c.block13) {
            b13.u32le(2);
            b13.u32le(5);
        }
        chain.appendBlock(makeBlock(BlockType::Block13, 4, c.block13 ? 2 : 0, b13.take()));

        ByteWriter verts;
        for (size_t i = 0; i < c.vertices.size(); ++i) {
            const Vec3& p = c.vertices[i];
            verts.f32le(p.x);
            verts.f32le(p.y);
            verts.f32le(p.z);
            verts.zeros(12);  // normal, left for the game to compute
            verts.u32le(1);
            verts.u32le(uint32_t(i));
        }
        chain.appendBlock(makeBlock(BlockType::Vertices, kVertexRecordSize,
                                    uint32_t(c.vertices.size()), verts.take()));

        ByteWriter faces;
        for (const FaceSpec& f : c.faces) {
            faces.u32le(f.texture);
            faces.zeros(8);
            faces.u32le(f.a);
            faces.u32le(f.b);
            faces.u32le(f.c);
            for (float u : f.u)
                faces.f32le(u);
            for (float v : f.v)
                faces.f32le(v);
            faces.zeros(24);
            faces.u32le(f.sideMode);
            faces.zeros(4);
        }
        chain.appendBlock(
            makeBlock(BlockType::Faces, kFaceRecordSize, uint32_t(c.faces.size()), faces.take()));

        ByteWriter tex;
        for (const std::string& t : c.textures)
            tex.fixedString(t.substr(0, 63), kTextureRecordSize);
        chain.appendBlock(makeBlock(BlockType::TextureNames, kTextureRecordSize,
                                    uint32_t(c.textures.size()), tex.take()));
    }
    return chain;
}

}  // namespace ov::shp
