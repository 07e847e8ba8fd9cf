#pragma once
// A small 3DS writer: enough chunks for a textured mesh model (main, editor,
// object, tri-mesh, vertex, mapping and face lists, face material, material with
// a texture map file name). Used to make sample models and test inputs; it never
// needs a third-party model file.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"

namespace ov::conv {

// Chunk identifiers the writer uses.
enum ChunkId : uint16_t {
    kChunkMain = 0x4D4D,
    kChunkVersion = 0x0002,
    kChunkEditor = 0x3D3D,
    kChunkMeshVersion = 0x3D3E,
    kChunkObject = 0x4000,
    kChunkTriMesh = 0x4100,
    kChunkVertexList = 0x4110,
    kChunkFaceList = 0x4120,
    kChunkFaceMaterial = 0x4130,
    kChunkMappingList = 0x4140,
    kChunkSmoothing = 0x4150,
    kChunkMatrix = 0x4160,
    kChunkMaterial = 0xAFFF,
    kChunkMaterialName = 0xA000,
    kChunkTextureMap = 0xA200,
    kChunkMapFilename = 0xA300,
};

// Builds a chunk tree in memory: open() starts a chunk, close() fills in its size.
class ChunkWriter {
public:
    void open(uint16_t id);
    void close();
    void u16(uint16_t v) { w_.u16le(v); }
    void u32(uint32_t v) { w_.u32le(v); }
    void f32(float v) { w_.f32le(v); }
    void cstring(std::string_view s);
    void raw(ByteSpan b) { w_.bytes(b); }

    // The finished bytes; every opened chunk must be closed.
    Bytes take();

private:
    ByteWriter w_;
    std::vector<size_t> open_;
};

struct Face3ds {
    uint16_t a, b, c;
    uint16_t flags = 0x7;  // all three edges visible
};

struct Mesh3ds {
    std::string name = "Mesh";
    std::vector<std::array<float, 3>> vertices;
    // One (u, v) per vertex; left empty, the mesh gets no mapping list.
    std::vector<std::array<float, 2>> mapping;
    std::vector<Face3ds> faces;
};

struct Model3ds {
    std::vector<Mesh3ds> meshes;
    // The one material every face uses, with its texture map file.
    std::string materialName = "Skin";
    std::string textureFile = "skin.bmp";
};

// The model as a 3DS file.
Bytes write3ds(const Model3ds& model);

// Writes one tri-mesh object chunk (for building unusual files piece by piece).
void writeMeshObject(ChunkWriter& w, const Mesh3ds& mesh, std::string_view materialName);

}  // namespace ov::conv
