// glTF out: the plan of a model turned into nodes, meshes and materials, with the
// model's bytes in the scene's extras.

#include <cctype>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "detail.h"
#include "tinygltf_config.h"

namespace ov::interchange::detail {

namespace {

using tinygltf::Value;

class Builder {
public:
    explicit Builder(tinygltf::Model& g) : g_(g) { g_.buffers.resize(1); }

    int view(const void* p, size_t n, int target) {
        auto& data = g_.buffers[0].data;
        data.resize((data.size() + 3) / 4 * 4, 0);
        tinygltf::BufferView v;
        v.buffer = 0;
        v.byteOffset = data.size();
        v.byteLength = n;
        v.target = target;
        const auto* b = static_cast<const uint8_t*>(p);
        data.insert(data.end(), b, b + n);
        g_.bufferViews.push_back(v);
        return int(g_.bufferViews.size() - 1);
    }

    int accessor(int view, int componentType, int type, size_t count, std::vector<double> min = {},
                 std::vector<double> max = {}) {
        tinygltf::Accessor a;
        a.bufferView = view;
        a.componentType = componentType;
        a.type = type;
        a.count = count;
        a.minValues = std::move(min);
        a.maxValues = std::move(max);
        g_.accessors.push_back(a);
        return int(g_.accessors.size() - 1);
    }

    int vec3s(const std::vector<Vec3>& v, bool bounds) {
        std::vector<float> flat;
        flat.reserve(v.size() * 3);
        std::vector<double> lo(3, std::numeric_limits<double>::max()), hi(3, -std::numeric_limits<double>::max());
        for (const Vec3& p : v) {
            const float c[3] = {p.x, p.y, p.z};
            for (size_t i = 0; i < 3; ++i) {
                flat.push_back(c[i]);
                lo[i] = std::min(lo[i], double(c[i]));
                hi[i] = std::max(hi[i], double(c[i]));
            }
        }
        const int vw = view(flat.data(), flat.size() * 4, TINYGLTF_TARGET_ARRAY_BUFFER);
        if (!bounds) return accessor(vw, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, v.size());
        return accessor(vw, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, v.size(), lo, hi);
    }

    int uvs(const std::vector<UV>& v) {
        const int vw = view(v.data(), v.size() * sizeof(UV), TINYGLTF_TARGET_ARRAY_BUFFER);
        return accessor(vw, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, v.size());
    }

    int indices(const std::vector<uint32_t>& idx, size_t vertexCount) {
        if (vertexCount <= 0xFFFF) {
            std::vector<uint16_t> small(idx.begin(), idx.end());
            const int vw = view(small.data(), small.size() * 2, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
            return accessor(vw, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_SCALAR, idx.size());
        }
        const int vw = view(idx.data(), idx.size() * 4, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
        return accessor(vw, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, idx.size());
    }

private:
    tinygltf::Model& g_;
};

Value tag(std::initializer_list<std::pair<const char*, int>> fields) {
    Value::Object o;
    for (const auto& [k, v] : fields)
        o[k] = Value(v);
    Value::Object outer;
    outer["orvane"] = Value(std::move(o));
    return Value(std::move(outer));
}

std::vector<double> matrixOf(const Affine& m) {
    return std::vector<double>(m.begin(), m.end());
}

int meshOf(Builder& b, tinygltf::Model& g, const PlannedComponent& pc) {
    tinygltf::Mesh mesh;
    mesh.name = pc.name;
    const MeshData& m = pc.mesh;
    const int pos = b.vec3s(m.positions, true);
    const int nrm = m.normals.empty() ? -1 : b.vec3s(m.normals, false);
    const int uv = b.uvs(m.uvs);
    for (size_t t = 0; t < m.triangles.size();) {
        const int material = m.triangleMaterial[t];
        std::vector<uint32_t> idx;
        for (; t < m.triangles.size() && m.triangleMaterial[t] == material; ++t)
            idx.insert(idx.end(), m.triangles[t].begin(), m.triangles[t].end());
        tinygltf::Primitive p;
        p.attributes["POSITION"] = pos;
        if (nrm >= 0) p.attributes["NORMAL"] = nrm;
        p.attributes["TEXCOORD_0"] = uv;
        p.indices = b.indices(idx, m.positions.size());
        p.material = material;
        p.mode = TINYGLTF_MODE_TRIANGLES;
        mesh.primitives.push_back(std::move(p));
    }
    g.meshes.push_back(std::move(mesh));
    return int(g.meshes.size() - 1);
}

// A file name as a relative URI: everything but the unreserved characters
// percent-encoded, as readers decode it.
std::string uriOf(const std::string& name) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace

Result<Bytes> gltfJson(const shp::BlockChain& chain, bool binary, const std::string& binName, Bytes* bin) {
    shp::ChainIndex index(chain);
    shp::ModelView model(chain, index);
    if (!model.componentTable())
        return makeError(ErrorKind::Refused, "the model has no component table (Type-1 block): nothing to export");
    const Plan plan = makePlan(model);

    tinygltf::Model g;
    g.asset.version = "2.0";
    g.asset.generator = "Orvane toolkit";
    Builder b(g);
    for (const std::string& name : plan.materials) {
        tinygltf::Material mat;
        mat.name = name;
        g.materials.push_back(std::move(mat));
    }

    tinygltf::Scene scene;
    scene.name = "Ship";
    {
        Value::Object o;
        o["format"] = Value(1);
        o["chain"] = Value(base64Encode(chain.write()));
        Value::Object outer;
        outer["orvane"] = Value(std::move(o));
        scene.extras = Value(std::move(outer));
    }
    for (size_t k = 0; k < plan.components.size(); ++k) {
        const PlannedComponent& pc = plan.components[k];
        tinygltf::Node node;
        node.name = pc.name;
        node.translation = {pc.translation.x, pc.translation.y, pc.translation.z};
        node.extras = tag({{"component", int(k)}});
        if (pc.hasMesh) node.mesh = meshOf(b, g, pc);
        const int self = int(g.nodes.size());
        g.nodes.push_back(std::move(node));
        scene.nodes.push_back(self);
        auto child = [&](const PlannedNode& pn, const char* what, size_t i) {
            tinygltf::Node n;
            n.name = pn.name;
            n.matrix = matrixOf(pn.matrix);
            n.extras = tag({{"component", int(k)}, {what, int(i)}});
            g.nodes[size_t(self)].children.push_back(int(g.nodes.size()));
            g.nodes.push_back(std::move(n));
        };
        for (size_t i = 0; i < pc.attachments.size(); ++i)
            child(pc.attachments[i], "attachment", i);
        for (size_t i = 0; i < pc.boxes.size(); ++i)
            child(pc.boxes[i], "box", i);
    }
    g.scenes.push_back(std::move(scene));
    g.defaultScene = 0;

    // A ship without geometry has no buffer at all: glTF allows no empty one, and
    // readers (ours among them) refuse a glb whose BIN chunk is empty.
    const bool hasBuffer = !g.buffers[0].data.empty();
    Bytes binData;
    if (!hasBuffer) {
        g.buffers.clear();
    } else if (!binary) {
        binData.assign(g.buffers[0].data.begin(), g.buffers[0].data.end());
        g.buffers[0].data.clear();
    }
    std::ostringstream os;
    try {
        tinygltf::TinyGLTF writer;
        if (!writer.WriteGltfSceneToStream(&g, os, !binary, binary))
            return makeError(ErrorKind::WriteFailed, "the glTF could not be put together");
        std::string text = os.str();
        if (!binary && hasBuffer) {
            // Buffers go beside the .gltf, not inside it as base64.
            nlohmann::json j = nlohmann::json::parse(text);
            j["buffers"][0]["uri"] = uriOf(binName);
            j["buffers"][0]["byteLength"] = binData.size();
            text = j.dump(2);
            text += '\n';
            if (bin) *bin = std::move(binData);
        }
        return Bytes(text.begin(), text.end());
    } catch (const std::exception& e) {
        return makeError(ErrorKind::WriteFailed, std::string("the glTF could not be put together: ") + e.what());
    }
}

}  // namespace ov::interchange::detail
