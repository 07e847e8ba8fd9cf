#pragma once
// The drawable form of a model: for every component, its vertices, triangles,
// collision boxes and attachments as plain arrays, ready for a view to upload.
//
// Building it only reads the chain and says nothing: faces whose corners lie
// outside their vertex block, or use a vertex with a non-finite coordinate, are
// skipped and counted, never read. Safe on any chain, however malformed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/shp.h"
#include "common/shp_model.h"

namespace ov::shp {

// Which side of a triangle is not drawn. Fronts wind counter-clockwise.
enum class Culling : uint8_t { Back, Front, None };

// The side that a face record hides: 80-byte records are one-sided (side mode 3
// hides the front, any other value the back); other record sizes are two-sided.
Culling faceCulling(uint32_t recordSize, uint32_t sideMode);

struct MeshTriangle {
    std::array<uint32_t, 3> corners{};  // indices into the component's positions
    Culling culling = Culling::Back;
    Vec3 normal;   // unit normal from the corners (b - a) x (c - a); zero when degenerate
    uint32_t face = 0;  // record index in the face block
};

// A 3 x 3 orientation as stored: three rows, each one of the object's own axes
// (x, y, z) in component space.
using Axes = std::array<float, 9>;

struct MeshBox {
    Vec3 centre;  // component space
    Vec3 halfExtents;
    Axes axes{};
};

struct MeshAttachment {
    uint32_t kind = 0;
    Vec3 position;  // component space
    Axes axes{};
};

struct ComponentMesh {
    std::string name;
    Vec3 position;  // of the component in ship space; added to everything below
    std::vector<Vec3> positions;
    // One per position: the stored vertex normal (bytes 12-23 of the vertex record),
    // or zero where the record holds none or a zero or non-finite one.
    std::vector<Vec3> normals;
    std::vector<MeshTriangle> triangles;
    std::vector<MeshBox> boxes;
    std::vector<MeshAttachment> attachments;
    bool hasGeometry = false;  // both a vertex and a face block were found
    size_t skippedFaces = 0;   // faces left out as faulty
};

struct RenderMesh {
    std::vector<ComponentMesh> components;

    size_t triangleCount() const;
    size_t skippedFaces() const;
};

// One mesh entry per record of the Type-1 block, in record order; a chain without
// one gives an empty mesh.
RenderMesh buildRenderMesh(const ModelView& model);
// The same for a chain without an index of its own (one is built for the call).
RenderMesh buildRenderMesh(const BlockChain& chain);

// The normal to light corner i (0-2) of a triangle with: its vertex's stored
// normal when there is one, else the triangle's own.
Vec3 shadingNormal(const ComponentMesh& c, const MeshTriangle& t, int i);

// Axis-aligned bounds in ship space; empty until a point is added.
struct Bounds {
    Vec3 min{1, 1, 1};
    Vec3 max{-1, -1, -1};

    bool empty() const { return min.x > max.x; }
    void add(Vec3 p);
    Vec3 centre() const;
    // Half the diagonal: the radius of a sphere around centre() holding the box.
    float radius() const;
};

// The bounds of a component's drawn triangles' corners, boxes and attachments, in
// ship space.
Bounds componentBounds(const ComponentMesh& c);
Bounds meshBounds(const RenderMesh& mesh);

// The distance from `from` to the farthest of those points: the radius of the
// smallest sphere about `from` that holds them (0 when there are none).
float reach(const ComponentMesh& c, Vec3 from);
float reach(const RenderMesh& mesh, Vec3 from);

// A box's eight corners in ship space (component position added), in the order
// of the bits of i: bit 0 picks +x, bit 1 +y, bit 2 +z.
std::array<Vec3, 8> boxCorners(const ComponentMesh& c, const MeshBox& b);

}  // namespace ov::shp
