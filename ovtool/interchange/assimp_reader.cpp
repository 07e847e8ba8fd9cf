// The mesh reader module: OBJ, FBX, COLLADA, PLY and STL through assimp, read
// from the file's bytes in memory, polygons triangulated. Each node with meshes
// becomes one part in scene space. Loaded by the interchange library when such a
// file is imported (assimp_reader.h).

#include "assimp_reader.h"

#include <algorithm>
#include <array>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#if defined(__GNUC__)
#define OV_READER_EXPORT __attribute__((visibility("default")))
#else
#define OV_READER_EXPORT
#endif

namespace {

// The formats offered, as far as this assimp reads them. 3DS files have the
// converter of their own.
constexpr const char* kOffered[] = {"obj", "fbx", "dae", "ply", "stl"};

using Affine = std::array<double, 16>;  // column-major

Affine affineOf(const aiMatrix4x4& m) {
    const float rows[4][4] = {{m.a1, m.a2, m.a3, m.a4}, {m.b1, m.b2, m.b3, m.b4},
                              {m.c1, m.c2, m.c3, m.c4}, {m.d1, m.d2, m.d3, m.d4}};
    Affine a{};
    for (size_t c = 0; c < 4; ++c)
        for (size_t r = 0; r < 4; ++r)
            a[4 * c + r] = rows[r][c];
    return a;
}

Affine multiply(const Affine& a, const Affine& b) {
    Affine out{};
    for (size_t c = 0; c < 4; ++c)
        for (size_t r = 0; r < 4; ++r) {
            double sum = 0;
            for (size_t k = 0; k < 4; ++k)
                sum += a[4 * k + r] * b[4 * c + k];
            out[4 * c + r] = sum;
        }
    return out;
}

struct Part {
    std::string name;
    Affine world{};
    std::vector<float> positions, uvs;
    std::vector<uint32_t> triangles;
    std::vector<int32_t> triangleMaterials;
    std::vector<std::string> materials;
    std::vector<const char*> materialNames;
};

// The result handed out, with everything its pointers point into.
struct Result : OvAssimpResult {
    std::string message;
    std::vector<Part> parts;
    std::vector<OvAssimpPart> cParts;
};

const OvAssimpResult* fail(std::unique_ptr<Result> r, int32_t status, std::string message) {
    r->parts.clear();
    r->message = std::move(message);
    static_cast<OvAssimpResult&>(*r) = {status, r->message.c_str(), 0, nullptr};
    return r.release();
}

const OvAssimpResult* read(const unsigned char* bytes, size_t size, const std::string& extension) {
    auto result = std::make_unique<Result>();
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFileFromMemory(
        bytes, size, aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_ValidateDataStructure,
        extension.c_str());
    if (!scene || !scene->mRootNode)
        return fail(std::move(result), OV_ASSIMP_BAD_DATA,
                    "not a ." + extension + " mesh file: " + importer.GetErrorString());

    std::vector<Part>& parts = result->parts;
    bool sawPointsOrLines = false;
    struct Item {
        const aiNode* node;
        Affine world;
    };
    std::vector<Item> stack{{scene->mRootNode, affineOf(scene->mRootNode->mTransformation)}};
    size_t visited = 0;
    while (!stack.empty()) {
        const Item it = stack.back();
        stack.pop_back();
        if (++visited > 1'000'000)
            return fail(std::move(result), OV_ASSIMP_BAD_DATA, "the file's node tree is too deep or too wide");
        const aiNode* node = it.node;
        Part part;
        part.name = node->mName.length ? std::string(node->mName.C_Str()) : "mesh " + std::to_string(parts.size());
        part.world = it.world;
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            if (node->mMeshes[i] >= scene->mNumMeshes) continue;
            const aiMesh* mesh = scene->mMeshes[node->mMeshes[i]];
            if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) {
                sawPointsOrLines = true;
                continue;
            }
            const size_t first = part.positions.size() / 3;
            if (first + mesh->mNumVertices > UINT32_MAX)
                return fail(std::move(result), OV_ASSIMP_REFUSED, "node '" + part.name + "' has too many vertices");
            int32_t material = -1;
            if (mesh->mMaterialIndex < scene->mNumMaterials) {
                aiString name;
                scene->mMaterials[mesh->mMaterialIndex]->Get(AI_MATKEY_NAME, name);
                const std::string n = name.C_Str();
                auto at = std::find(part.materials.begin(), part.materials.end(), n);
                material = int32_t(at - part.materials.begin());
                if (at == part.materials.end()) part.materials.push_back(n);
            }
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                const aiVector3D& p = mesh->mVertices[v];
                part.positions.insert(part.positions.end(), {p.x, p.y, p.z});
                const aiVector3D uv = mesh->HasTextureCoords(0) ? mesh->mTextureCoords[0][v] : aiVector3D();
                part.uvs.insert(part.uvs.end(), {uv.x, uv.y});
            }
            for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
                const aiFace& face = mesh->mFaces[f];
                if (face.mNumIndices != 3) {
                    if (face.mNumIndices < 3) {
                        sawPointsOrLines = true;
                        continue;
                    }
                    return fail(std::move(result), OV_ASSIMP_REFUSED,
                                "node '" + part.name + "' has a face of " + std::to_string(face.mNumIndices) +
                                    " corners that could not be made into triangles");
                }
                bool inside = true;
                for (unsigned j = 0; j < 3; ++j)
                    inside = inside && face.mIndices[j] < mesh->mNumVertices;
                if (!inside)
                    return fail(std::move(result), OV_ASSIMP_BAD_DATA,
                                "node '" + part.name + "' has a face beyond its vertices");
                for (unsigned j = 0; j < 3; ++j)
                    part.triangles.push_back(uint32_t(first + face.mIndices[j]));
                part.triangleMaterials.push_back(material);
            }
        }
        if (!part.triangles.empty()) parts.push_back(std::move(part));
        for (unsigned c = node->mNumChildren; c-- > 0;) {
            const aiNode* child = node->mChildren[c];
            stack.push_back({child, multiply(it.world, affineOf(child->mTransformation))});
        }
    }
    if (parts.empty())
        return fail(std::move(result), sawPointsOrLines ? OV_ASSIMP_REFUSED : OV_ASSIMP_BAD_DATA,
                    sawPointsOrLines ? "the file holds only points or lines, which cannot be made into triangles"
                                     : "the file holds no meshes");

    for (Part& p : parts) {
        for (const std::string& m : p.materials)
            p.materialNames.push_back(m.c_str());
        OvAssimpPart c{};
        c.name = p.name.c_str();
        std::copy(p.world.begin(), p.world.end(), c.world);
        c.vertexCount = uint32_t(p.positions.size() / 3);
        c.positions = p.positions.data();
        c.uvs = p.uvs.data();
        c.triangleCount = uint32_t(p.triangleMaterials.size());
        c.triangles = p.triangles.data();
        c.triangleMaterials = p.triangleMaterials.data();
        c.materialCount = uint32_t(p.materialNames.size());
        c.materials = p.materialNames.data();
        result->cParts.push_back(c);
    }
    static_cast<OvAssimpResult&>(*result) = {OV_ASSIMP_READ, "", uint32_t(result->cParts.size()),
                                             result->cParts.data()};
    return result.release();
}

// For a failure that leaves no room for a result of its own.
const OvAssimpResult kOutOfMemory = {OV_ASSIMP_REFUSED, "not enough memory to read the mesh file", 0, nullptr};

}  // namespace

extern "C" {

OV_READER_EXPORT int ov_assimp_supports(const char* extension) {
    if (!extension || std::find_if(std::begin(kOffered), std::end(kOffered), [&](const char* e) {
                          return std::string(e) == extension;
                      }) == std::end(kOffered))
        return 0;
    try {
        Assimp::Importer importer;
        return importer.IsExtensionSupported(std::string(".") + extension) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

OV_READER_EXPORT const OvAssimpResult* ov_assimp_read(const unsigned char* bytes, size_t size,
                                                     const char* extension) {
    try {
        return read(bytes, size, extension ? extension : "");
    } catch (const std::bad_alloc&) {
        return &kOutOfMemory;
    } catch (const std::exception& e) {
        try {
            return fail(std::make_unique<Result>(), OV_ASSIMP_BAD_DATA,
                        std::string("the mesh file could not be read: ") + e.what());
        } catch (...) {
            return &kOutOfMemory;
        }
    } catch (...) {
        return &kOutOfMemory;
    }
}

OV_READER_EXPORT void ov_assimp_free(const OvAssimpResult* result) {
    // Every result but the static one is a Result.
    if (result && result != &kOutOfMemory) delete static_cast<const Result*>(result);
}

}  // extern "C"
