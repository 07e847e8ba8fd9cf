#include "writer3ds.h"

#include <cassert>

namespace ov::conv {

void ChunkWriter::open(uint16_t id) {
    open_.push_back(w_.size());
    w_.u16le(id);
    w_.u32le(0);
}

void ChunkWriter::close() {
    assert(!open_.empty());
    size_t start = open_.back();
    open_.pop_back();
    storeU32LE(w_.buffer().data() + start + 2, uint32_t(w_.size() - start));
}

void ChunkWriter::cstring(std::string_view s) {
    w_.bytes(ByteSpan(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
    w_.u8(0);
}

Bytes ChunkWriter::take() {
    assert(open_.empty());
    return w_.take();
}

void writeMeshObject(ChunkWriter& w, const Mesh3ds& mesh, std::string_view materialName) {
    w.open(kChunkObject);
    w.cstring(mesh.name);
    w.open(kChunkTriMesh);

    w.open(kChunkVertexList);
    w.u16(uint16_t(mesh.vertices.size()));
    for (const auto& v : mesh.vertices)
        for (float c : v)
            w.f32(c);
    w.close();

    if (!mesh.mapping.empty()) {
        w.open(kChunkMappingList);
        w.u16(uint16_t(mesh.mapping.size()));
        for (const auto& m : mesh.mapping)
            for (float c : m)
                w.f32(c);
        w.close();
    }

    w.open(kChunkFaceList);
    w.u16(uint16_t(mesh.faces.size()));
    for (const auto& f : mesh.faces) {
        w.u16(f.a);
        w.u16(f.b);
        w.u16(f.c);
        w.u16(f.flags);
    }
    w.open(kChunkFaceMaterial);
    w.cstring(materialName);
    w.u16(uint16_t(mesh.faces.size()));
    for (size_t i = 0; i < mesh.faces.size(); ++i)
        w.u16(uint16_t(i));
    w.close();
    w.open(kChunkSmoothing);
    for (size_t i = 0; i < mesh.faces.size(); ++i)
        w.u32(1);
    w.close();
    w.close();  // face list

    // Identity placement.
    w.open(kChunkMatrix);
    const float matrix[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (float m : matrix)
        w.f32(m);
    w.close();

    w.close();  // tri-mesh
    w.close();  // object
}

Bytes write3ds(const Model3ds& model) {
    ChunkWriter w;
    w.open(kChunkMain);
    w.open(kChunkVersion);
    w.u32(3);
    w.close();
    w.open(kChunkEditor);
    w.open(kChunkMeshVersion);
    w.u32(3);
    w.close();

    w.open(kChunkMaterial);
    w.open(kChunkMaterialName);
    w.cstring(model.materialName);
    w.close();
    w.open(kChunkTextureMap);
    w.open(kChunkMapFilename);
    w.cstring(model.textureFile);
    w.close();
    w.close();
    w.close();

    for (const auto& mesh : model.meshes)
        writeMeshObject(w, mesh, model.materialName);

    w.close();  // editor
    w.close();  // main
    return w.take();
}

}  // namespace ov::conv
