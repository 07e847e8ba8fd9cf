// Other mesh formats in through assimp (the Linux build): OBJ, FBX, COLLADA, PLY
// and STL, read from the file's bytes in memory, polygons triangulated. Each node
// with meshes becomes one mesh part in scene space.

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "detail.h"

namespace ov::interchange::detail {

namespace {

// The formats offered, as far as this assimp reads them. 3DS files have the
// converter of their own.
constexpr const char* kOffered[] = {"obj", "fbx", "dae", "ply", "stl"};

Affine affineOf(const aiMatrix4x4& m) {
    const float rows[4][4] = {{m.a1, m.a2, m.a3, m.a4}, {m.b1, m.b2, m.b3, m.b4},
                              {m.c1, m.c2, m.c3, m.c4}, {m.d1, m.d2, m.d3, m.d4}};
    Affine a{};
    for (size_t c = 0; c < 4; ++c)
        for (size_t r = 0; r < 4; ++r)
            a[4 * c + r] = rows[r][c];
    return a;
}

}  // namespace

std::vector<std::string> assimpExtensions() {
    Assimp::Importer importer;
    std::vector<std::string> out;
    for (const char* e : kOffered)
        if (importer.IsExtensionSupported(std::string(".") + e)) out.push_back(e);
    return out;
}

Result<std::vector<MeshPart>> readWithAssimp(ByteSpan bytes, const std::string& extension) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFileFromMemory(
        bytes.data(), bytes.size(), aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_ValidateDataStructure,
        extension.c_str());
    if (!scene || !scene->mRootNode)
        return makeError(ErrorKind::BadData, "not a ." + extension + " mesh file: " + importer.GetErrorString());

    std::vector<MeshPart> parts;
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
        if (++visited > 1'000'000) return makeError(ErrorKind::BadData, "the file's node tree is too deep or too wide");
        const aiNode* node = it.node;
        MeshPart part;
        part.name = node->mName.length ? std::string(node->mName.C_Str()) : "mesh " + std::to_string(parts.size());
        part.world = it.world;
        MeshData& m = part.mesh;
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            if (node->mMeshes[i] >= scene->mNumMeshes) continue;
            const aiMesh* mesh = scene->mMeshes[node->mMeshes[i]];
            if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) {
                sawPointsOrLines = true;
                continue;
            }
            const uint32_t first = uint32_t(m.positions.size());
            int material = -1;
            if (mesh->mMaterialIndex < scene->mNumMaterials) {
                aiString name;
                scene->mMaterials[mesh->mMaterialIndex]->Get(AI_MATKEY_NAME, name);
                const std::string n = name.C_Str();
                auto at = std::find(m.materials.begin(), m.materials.end(), n);
                material = int(at - m.materials.begin());
                if (at == m.materials.end()) m.materials.push_back(n);
            }
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                const aiVector3D& p = mesh->mVertices[v];
                m.positions.push_back({p.x, p.y, p.z});
                const aiVector3D uv = mesh->HasTextureCoords(0) ? mesh->mTextureCoords[0][v] : aiVector3D();
                m.uvs.push_back({uv.x, uv.y});
            }
            for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
                const aiFace& face = mesh->mFaces[f];
                if (face.mNumIndices != 3) {
                    if (face.mNumIndices < 3) {
                        sawPointsOrLines = true;
                        continue;
                    }
                    return makeError(ErrorKind::Refused, "node '" + part.name + "' has a face of " +
                                                             std::to_string(face.mNumIndices) +
                                                             " corners that could not be made into triangles");
                }
                bool inside = true;
                for (unsigned j = 0; j < 3; ++j)
                    inside = inside && face.mIndices[j] < mesh->mNumVertices;
                if (!inside) return makeError(ErrorKind::BadData, "node '" + part.name + "' has a face beyond its vertices");
                m.triangles.push_back({first + face.mIndices[0], first + face.mIndices[1], first + face.mIndices[2]});
                m.triangleMaterial.push_back(material);
            }
        }
        if (!m.triangles.empty()) parts.push_back(std::move(part));
        for (unsigned c = node->mNumChildren; c-- > 0;) {
            const aiNode* child = node->mChildren[c];
            stack.push_back({child, multiply(it.world, affineOf(child->mTransformation))});
        }
    }
    if (parts.empty())
        return makeError(sawPointsOrLines ? ErrorKind::Refused : ErrorKind::BadData,
                         sawPointsOrLines ? "the file holds only points or lines, which cannot be made into triangles"
                                          : "the file holds no meshes");
    return parts;
}

}  // namespace ov::interchange::detail
