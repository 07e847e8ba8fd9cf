#pragma once
// Ships out to 3D suites and back.
//
// Export writes a model as glTF 2.0 (.gltf with its .bin, or .glb) or as OBJ (with
// its .mtl: geometry and groups only). In glTF every component is a node named as
// the component, holding its mesh in component space, with the component's
// position as the node's translation; each attachment and collision box is a node
// without a mesh below its component's node, placed and turned by its record. The
// axes and units are the model's own: glTF x, y, z are the model's x, y, z, one
// model unit is one glTF metre, texture coordinates are written as stored. All
// the bytes of the model travel in the scene's extras, so nothing is lost.
//
// Import reads a glTF written that way and rebuilds the ship from those bytes,
// taking from the nodes only what was changed in the 3D suite (moved or turned
// attachments and boxes, moved components, reshaped, added and deleted meshes):
// a file brought back untouched gives the very bytes that went out. Any other
// mesh file (a glTF without those extras; OBJ, FBX, COLLADA, PLY or STL where the
// build has assimp) becomes a new ship as the 3DS converter builds one, one
// component per mesh node.
//
// Nothing here talks to the user. Every reader is safe on hostile input: sizes and
// counts are checked against the bytes read before anything is allocated, and a
// refused file leaves no output. Functions are plain functions of their
// arguments, safe on any thread.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/result.h"
#include "common/shp.h"

namespace ov::interchange {

enum class FileFormat { Gltf, Glb, Obj, Other };

// By the name's extension, ignoring case.
FileFormat formatOf(const std::filesystem::path& path);

// The extensions (lower case, without the dot) that import reads in this build:
// gltf and glb always, and assimp's formats where the build has it.
std::vector<std::string> importExtensions();
bool haveAssimp();

// Whether `path` is named as a mesh of a format that import reads in some build
// (glTF, and OBJ, FBX, COLLADA, PLY and STL through the mesh reader), whether or
// not this one does: such a file is meant for conversion, and where this build
// cannot read it, importFile says so and lists what it reads.
bool isMeshName(const std::filesystem::path& path);

// Files larger than this are not meshes a ship could be made of.
inline constexpr uint64_t kMaxMeshFile = uint64_t(512) << 20;

struct ExportedFile {
    std::filesystem::path path;
    Bytes bytes;
};

// The files an export to `out` writes, in memory: out itself, and beside it the
// .bin of a .gltf (none for a ship without geometry) or the .mtl of an .obj. The
// format comes from out's extension.
// A chain without a component table is refused (ErrorKind::Refused).
Result<std::vector<ExportedFile>> exportFiles(const shp::BlockChain& chain,
                                              const std::filesystem::path& out);

// exportFiles, written together through temporary files (all or none).
Status exportModel(const shp::BlockChain& chain, const std::filesystem::path& out);

// A glb in memory (what exportFiles writes for a .glb).
Result<Bytes> exportGlb(const shp::BlockChain& chain);

struct ImportOptions {
    // Names the texture of every imported face instead of the material names.
    std::optional<std::string> texture;
    // The texture of faces without a material in a new ship (importFile sets the
    // file's stem when this is empty).
    std::string defaultTexture = "texture";
};

// What an import did.
struct ImportReport {
    bool fromExtras = false;  // rebuilt from an exported ship's bytes
    size_t components = 0;    // in the result
    size_t componentsKept = 0, componentsMoved = 0, componentsReshaped = 0;
    size_t componentsAdded = 0, componentsRemoved = 0;
    size_t attachmentsChanged = 0, attachmentsRemoved = 0;
    size_t boxesChanged = 0, boxesRemoved = 0;
    size_t vertices = 0, faces = 0;  // of the components built or reshaped
    // Things worth knowing that did not stop the import, one sentence each.
    std::vector<std::string> notes;
};

struct Imported {
    shp::BlockChain chain;
    ImportReport report;
};

// A glTF (JSON text or glb, told apart by the glb magic) from memory. `baseDir` is
// where the .bin and other buffers named by the file are read from; without it
// only buffers inside the file (glb, data URIs) are read.
//
// Refused, with a message saying which node or component and why: not glTF, no
// meshes, points or lines, a component of more than 65,535 vertices or faces, a
// position that is NaN or infinite, a buffer or accessor that does not fit its
// data, extras that do not fit the model.
Result<Imported> importGltf(ByteSpan bytes, const ImportOptions& options,
                            const std::optional<std::filesystem::path>& baseDir = std::nullopt);

// Any mesh file of importExtensions(), read whole (at most kMaxMeshFile bytes).
Result<Imported> importFile(const std::filesystem::path& in, ImportOptions options);

}  // namespace ov::interchange
