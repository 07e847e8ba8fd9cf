#pragma once
// What export and import share: the glTF side of a model (computed from its chain
// the same way on the way out and, to see what a 3D suite changed, on the way
// back), meshes as read from a file, and the building of SHP geometry blocks.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/result.h"
#include "common/shp.h"
#include "common/shp_model.h"
#include "interchange.h"

namespace ov::interchange::detail {

using shp::Vec3;
using UV = std::array<float, 2>;

// A glTF node transform as a 4 x 4 matrix, column-major as glTF stores it.
using Affine = std::array<double, 16>;
Affine identity();
Affine multiply(const Affine& a, const Affine& b);
Vec3 transformPoint(const Affine& m, Vec3 p);
// A double as a float; beyond the float range it is infinite (a plain conversion
// would be undefined), for the finiteness checks to catch.
float narrow(double d);
Vec3 narrow3(double x, double y, double z);
bool finite3(Vec3 v);
Vec3 transformVector(const Affine& m, Vec3 v);
// Within the tolerance that a 3D suite's float arithmetic needs (its own matrix
// decompositions and axis swaps), relative to the size of the values.
bool nearlyEqual(double a, double b);
bool nearlyEqual(const Affine& a, const Affine& b);
bool linearIsIdentity(const Affine& m);

// An orientation as SHP stores it (rows: the object's own axes) and the columns of
// a glTF matrix: each is the other's transpose.
Affine placement(const std::array<float, 9>& rows, Vec3 position, Vec3 scale = {1, 1, 1});

std::string base64Encode(ByteSpan bytes);
std::optional<Bytes> base64Decode(std::string_view text);

// Names as glTF needs them (UTF-8): text that is not UTF-8 is read as Latin-1,
// the game's code page.
std::string utf8Name(std::string_view name);
bool isUtf8(std::string_view text);

// A mesh of one node as a file holds it: vertices and triangles in the node's own
// space, each triangle with the index of its material name (-1: none).
struct MeshData {
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;  // empty, or one per position
    std::vector<UV> uvs;        // empty, or one per position
    std::vector<std::array<uint32_t, 3>> triangles;
    std::vector<int> triangleMaterial;
    std::vector<std::string> materials;
};

// A mesh node of a file that is not one of our exports, in the scene's space.
struct MeshPart {
    std::string name;
    Affine world = identity();
    MeshData mesh;
};

// The glTF side of one component.
struct PlannedNode {
    std::string name;
    Affine matrix = identity();
};

struct PlannedComponent {
    std::string name;
    Vec3 translation;
    // The mesh, one primitive per material; triangles in primitive order, each
    // the record index of the face it was made from.
    MeshData mesh;
    std::vector<uint32_t> triangleFace;
    std::vector<uint32_t> vertexOf;  // per glTF vertex: the SHP vertex index
    bool hasMesh = false;
    std::vector<PlannedNode> attachments, boxes;
};

struct Plan {
    std::vector<std::string> materials;   // glTF names, one per distinct texture name
    std::vector<std::string> textureOf;   // per material: the texture name's own bytes
    std::vector<PlannedComponent> components;
};

Plan makePlan(const shp::ModelView& model);

// Texture names: each name at most this many bytes, so that it keeps its zero.
inline constexpr size_t kMaxTexture = 63;
inline constexpr size_t kMaxRecords = 0xFFFF;

// The texture of a new face whose material is `material` (-1: none).
struct TextureChoice {
    const ImportOptions* options = nullptr;
    // glTF material names of an export mapped back to the textures' own bytes.
    const Plan* plan = nullptr;
};
Result<std::string> textureNameFor(const MeshData& mesh, int material, const TextureChoice& choice,
                                   std::string_view node);

// Geometry blocks of a new component, as the converter writes them: 32-byte vertex
// records (position, the average of its faces' normals, 1, its index; vertices of
// one position merged), 80-byte faces, 64-byte texture names. Positions are taken
// through `linear` (a node's rotation and scale).
struct Geometry {
    shp::Block vertices, faces, textures;
};
Result<Geometry> newGeometry(const MeshData& mesh, const Affine& linear,
                             const TextureChoice& choice, std::string_view node);

// The converter's template: the header and component blocks, and the blocks every
// component's group holds before its geometry.
const Bytes& templateHeaderRecord();
Bytes templateComponentRecord(uint32_t recordSize, std::string_view name, Vec3 position);
std::vector<shp::Block> templateGroup();

Result<shp::BlockChain> newShip(const std::vector<MeshPart>& parts, const ImportOptions& options);

// The formats offered through the mesh reader module where a build has it.
inline constexpr const char* kReaderFormats[] = {"obj", "fbx", "dae", "ply", "stl"};

#ifdef OV_HAVE_ASSIMP
Result<std::vector<MeshPart>> readWithAssimp(ByteSpan bytes, const std::string& extension);
std::vector<std::string> assimpExtensions();
#endif

// Writers of the formats.
Result<Bytes> gltfJson(const shp::BlockChain& chain, bool binary, const std::string& binName,
                       Bytes* bin);
Result<std::vector<ExportedFile>> objFiles(const shp::BlockChain& chain,
                                           const std::filesystem::path& out);

}  // namespace ov::interchange::detail
