// glTF in: the file read through tinygltf (buffers only from beside the file, no
// images), every accessor checked against its buffer before it is read, then
// either an exported ship rebuilt from its extras with what the 3D suite changed,
// or a new ship made of the file's meshes.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "common/fileio.h"
#include "detail.h"
#include "tinygltf_config.h"

namespace ov::interchange {

namespace detail {
namespace {

// ---- Reading the file -------------------------------------------------------------------

struct FileAccess {
    std::optional<std::filesystem::path> base;
    uint64_t budget = kMaxMeshFile;
};

// Only files inside the glTF's own folder are read: a file names its buffers, and a
// name like "../../secret" must not reach anything else.
std::optional<std::filesystem::path> inside(const std::string& path, const FileAccess& fa) {
    if (!fa.base) return std::nullopt;
    const std::filesystem::path p = pathFromText(path).lexically_normal();
    const std::filesystem::path base = fa.base->lexically_normal();
    const std::filesystem::path rel = p.lexically_relative(base);
    if (rel.empty() || rel.is_absolute()) return std::nullopt;
    for (const auto& part : rel)
        if (part == "..") return std::nullopt;
    return p;
}

bool fileExists(const std::string& path, void* user) {
    auto p = inside(path, *static_cast<FileAccess*>(user));
    std::error_code ec;
    return p && std::filesystem::is_regular_file(*p, ec);
}

std::string expandPath(const std::string& path, void*) {
    return path;
}

bool readWholeFile(std::vector<unsigned char>* out, std::string* err, const std::string& path, void* user) {
    auto& fa = *static_cast<FileAccess*>(user);
    auto p = inside(path, fa);
    if (!p) {
        if (err) *err += "buffer '" + path + "' is not in the glTF's own folder; it is not read\n";
        return false;
    }
    auto bytes = readFile(*p, fa.budget);
    if (!bytes) {
        if (err) *err += bytes.error().message + "\n";
        return false;
    }
    fa.budget -= bytes->size();
    out->assign(bytes->begin(), bytes->end());
    return true;
}

bool writeWholeFile(std::string* err, const std::string&, const std::vector<unsigned char>&, void*) {
    if (err) *err += "nothing is written while reading\n";
    return false;
}

bool skipImage(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int,
               void*) {
    return true;
}

Error bad(std::string text) {
    return makeError(ErrorKind::BadData, std::move(text));
}

// The reader's message without the JSON library's tag ("[json.exception.parse_error.101] "),
// which says nothing to a player.
std::string withoutTag(std::string s) {
    const size_t open = s.find("[json.exception.");
    const size_t close = open == std::string::npos ? open : s.find("] ", open);
    if (close != std::string::npos) s.erase(open, close + 2 - open);
    return s;
}

std::string firstLine(const std::string& s) {
    std::string line = withoutTag(s.substr(0, s.find('\n')));
    return line.empty() ? std::string("not a glTF file") : line;
}

// ---- Accessors ---------------------------------------------------------------------------

// The elements of an accessor as floats, `width` per element. Positions and
// normals must be floats; texture coordinates may also be normalised bytes or
// shorts, as glTF allows.
Result<std::vector<float>> readFloats(const tinygltf::Model& g, int index, int type, bool allowNormalised,
                                      const std::string& what) {
    if (index < 0 || size_t(index) >= g.accessors.size()) return bad(what + ": no such accessor");
    const tinygltf::Accessor& a = g.accessors[size_t(index)];
    const size_t width = type == TINYGLTF_TYPE_VEC3 ? 3 : 2;
    if (a.type != type) return bad(what + ": the accessor has the wrong type");
    if (a.sparse.isSparse) return bad(what + ": sparse accessors are not read");
    size_t compSize = 0;
    if (a.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT)
        compSize = 4;
    else if (allowNormalised && a.normalized && a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE)
        compSize = 1;
    else if (allowNormalised && a.normalized && a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT)
        compSize = 2;
    else
        return bad(what + ": the accessor's component type is not one glTF allows here");
    if (a.bufferView < 0 || size_t(a.bufferView) >= g.bufferViews.size())
        return bad(what + ": the accessor has no buffer view");
    const tinygltf::BufferView& v = g.bufferViews[size_t(a.bufferView)];
    if (v.buffer < 0 || size_t(v.buffer) >= g.buffers.size()) return bad(what + ": no such buffer");
    const auto& data = g.buffers[size_t(v.buffer)].data;
    if (v.byteOffset > data.size() || v.byteLength > data.size() - v.byteOffset)
        return bad(what + ": the buffer view runs past its buffer");
    const size_t elem = width * compSize;
    const size_t stride = v.byteStride ? v.byteStride : elem;
    if (stride < elem) return bad(what + ": the buffer view's stride is shorter than an element");
    std::vector<float> out;
    if (a.count == 0) return out;
    if (a.byteOffset > v.byteLength || elem > v.byteLength - a.byteOffset ||
        (a.count - 1) > (v.byteLength - a.byteOffset - elem) / stride)
        return bad(what + ": the accessor runs past its buffer view");
    out.resize(a.count * width);
    const uint8_t* base = data.data() + v.byteOffset + a.byteOffset;
    for (size_t i = 0; i < a.count; ++i) {
        const uint8_t* p = base + i * stride;
        for (size_t j = 0; j < width; ++j) {
            float f;
            if (compSize == 4)
                std::memcpy(&f, p + 4 * j, 4);
            else if (compSize == 1)
                f = float(p[j]) / 255.0f;
            else
                f = float(loadU16LE(p + 2 * j)) / 65535.0f;
            out[i * width + j] = f;
        }
    }
    return out;
}

Result<std::vector<uint32_t>> readIndices(const tinygltf::Model& g, int index, const std::string& what) {
    if (index < 0 || size_t(index) >= g.accessors.size()) return bad(what + ": no such index accessor");
    const tinygltf::Accessor& a = g.accessors[size_t(index)];
    if (a.type != TINYGLTF_TYPE_SCALAR || a.sparse.isSparse) return bad(what + ": the indices are not plain scalars");
    size_t size = 0;
    switch (a.componentType) {
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: size = 1; break;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: size = 2; break;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: size = 4; break;
        default: return bad(what + ": the indices' component type is not one glTF allows");
    }
    if (a.bufferView < 0 || size_t(a.bufferView) >= g.bufferViews.size())
        return bad(what + ": the indices have no buffer view");
    const tinygltf::BufferView& v = g.bufferViews[size_t(a.bufferView)];
    if (v.buffer < 0 || size_t(v.buffer) >= g.buffers.size()) return bad(what + ": no such buffer");
    const auto& data = g.buffers[size_t(v.buffer)].data;
    if (v.byteOffset > data.size() || v.byteLength > data.size() - v.byteOffset)
        return bad(what + ": the buffer view runs past its buffer");
    const size_t stride = v.byteStride ? v.byteStride : size;
    if (stride < size) return bad(what + ": the buffer view's stride is shorter than an index");
    std::vector<uint32_t> out;
    if (a.count == 0) return out;
    if (a.byteOffset > v.byteLength || size > v.byteLength - a.byteOffset ||
        (a.count - 1) > (v.byteLength - a.byteOffset - size) / stride)
        return bad(what + ": the indices run past their buffer view");
    out.resize(a.count);
    const uint8_t* base = data.data() + v.byteOffset + a.byteOffset;
    for (size_t i = 0; i < a.count; ++i) {
        const uint8_t* p = base + i * stride;
        out[i] = size == 1 ? p[0] : size == 2 ? loadU16LE(p) : loadU32LE(p);
    }
    return out;
}

Result<MeshData> readMesh(const tinygltf::Model& g, int meshIndex, const std::string& node) {
    if (meshIndex < 0 || size_t(meshIndex) >= g.meshes.size()) return bad("node '" + node + "': no such mesh");
    const tinygltf::Mesh& mesh = g.meshes[size_t(meshIndex)];
    MeshData m;
    bool normals = true, uvs = true;
    std::map<std::string, int> materialOf;
    for (size_t pi = 0; pi < mesh.primitives.size(); ++pi) {
        const tinygltf::Primitive& p = mesh.primitives[pi];
        const std::string what = "node '" + node + "', primitive " + std::to_string(pi);
        const int mode = p.mode < 0 ? TINYGLTF_MODE_TRIANGLES : p.mode;
        if (mode != TINYGLTF_MODE_TRIANGLES && mode != TINYGLTF_MODE_TRIANGLE_STRIP && mode != TINYGLTF_MODE_TRIANGLE_FAN)
            return makeError(ErrorKind::Refused,
                             what + ": points or lines, which cannot be made into triangles");
        auto pos = p.attributes.find("POSITION");
        if (pos == p.attributes.end()) return bad(what + ": no POSITION attribute");
        auto positions = readFloats(g, pos->second, TINYGLTF_TYPE_VEC3, false, what + " POSITION");
        if (!positions) return positions.error();
        const size_t count = positions->size() / 3;
        const size_t first = m.positions.size();
        if (count > kMaxMeshFile / 12 || first + count > kMaxMeshFile / 12)
            return makeError(ErrorKind::Refused, what + ": too many vertices");
        for (size_t i = 0; i < count; ++i) {
            const Vec3 v{(*positions)[3 * i], (*positions)[3 * i + 1], (*positions)[3 * i + 2]};
            if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
                return bad(what + ": vertex " + std::to_string(i) + " has a position that is NaN or infinite");
            m.positions.push_back(v);
        }
        auto readOptional = [&](const char* name, int type, bool normalised, size_t width,
                                std::vector<float>& out) -> Status {
            auto it = p.attributes.find(name);
            if (it == p.attributes.end()) {
                out.clear();
                return {};
            }
            auto r = readFloats(g, it->second, type, normalised, what + " " + name);
            if (!r) return r.error();
            if (r->size() != count * width) return bad(what + ": " + name + " does not have one value per vertex");
            out = std::move(*r);
            return {};
        };
        std::vector<float> n, t;
        if (auto s = readOptional("NORMAL", TINYGLTF_TYPE_VEC3, false, 3, n); !s) return s.error();
        if (auto s = readOptional("TEXCOORD_0", TINYGLTF_TYPE_VEC2, true, 2, t); !s) return s.error();
        normals = normals && !n.empty();
        uvs = uvs && !t.empty();
        for (size_t i = 0; i < count; ++i) {
            m.normals.push_back(n.empty() ? Vec3{} : Vec3{n[3 * i], n[3 * i + 1], n[3 * i + 2]});
            m.uvs.push_back(t.empty() ? UV{0, 0} : UV{t[2 * i], t[2 * i + 1]});
        }

        std::vector<uint32_t> idx;
        if (p.indices >= 0) {
            auto r = readIndices(g, p.indices, what);
            if (!r) return r.error();
            idx = std::move(*r);
        } else {
            idx.resize(count);
            for (size_t i = 0; i < count; ++i)
                idx[i] = uint32_t(i);
        }
        for (uint32_t i : idx)
            if (i >= count) return bad(what + ": index " + std::to_string(i) + " is beyond its " +
                                       std::to_string(count) + " vertices");

        int material = -1;
        if (p.material >= 0 && size_t(p.material) < g.materials.size()) {
            const std::string& name = g.materials[size_t(p.material)].name;
            auto [it, added] = materialOf.try_emplace(name, int(m.materials.size()));
            if (added) m.materials.push_back(name);
            material = it->second;
        }
        auto add = [&](uint32_t a, uint32_t b, uint32_t c) {
            m.triangles.push_back({uint32_t(first + a), uint32_t(first + b), uint32_t(first + c)});
            m.triangleMaterial.push_back(material);
        };
        if (mode == TINYGLTF_MODE_TRIANGLES) {
            for (size_t i = 0; i + 3 <= idx.size(); i += 3)
                add(idx[i], idx[i + 1], idx[i + 2]);
        } else if (mode == TINYGLTF_MODE_TRIANGLE_STRIP) {
            for (size_t i = 0; i + 3 <= idx.size(); ++i)
                if (i % 2 == 0)
                    add(idx[i], idx[i + 1], idx[i + 2]);
                else
                    add(idx[i + 1], idx[i], idx[i + 2]);
        } else {
            for (size_t i = 1; i + 2 <= idx.size(); ++i)
                add(idx[0], idx[i], idx[i + 1]);
        }
    }
    if (!normals) m.normals.clear();
    if (!uvs) m.uvs.clear();
    return m;
}

// ---- The scene graph ---------------------------------------------------------------------

Affine localMatrix(const tinygltf::Node& n) {
    if (n.matrix.size() == 16) {
        Affine m;
        std::copy(n.matrix.begin(), n.matrix.end(), m.begin());
        return m;
    }
    Affine m = identity();
    if (n.rotation.size() == 4) {
        double x = n.rotation[0], y = n.rotation[1], z = n.rotation[2], w = n.rotation[3];
        const double len = std::sqrt(x * x + y * y + z * z + w * w);
        if (len > 0 && std::isfinite(len) && len != 1.0) {
            x /= len;
            y /= len;
            z /= len;
            w /= len;
        }
        m[0] = 1 - 2 * (y * y + z * z);
        m[1] = 2 * (x * y + z * w);
        m[2] = 2 * (x * z - y * w);
        m[4] = 2 * (x * y - z * w);
        m[5] = 1 - 2 * (x * x + z * z);
        m[6] = 2 * (y * z + x * w);
        m[8] = 2 * (x * z + y * w);
        m[9] = 2 * (y * z - x * w);
        m[10] = 1 - 2 * (x * x + y * y);
    }
    if (n.scale.size() == 3)
        for (size_t c = 0; c < 3; ++c)
            for (size_t r = 0; r < 3; ++r)
                m[4 * c + r] *= n.scale[c];
    if (n.translation.size() == 3)
        for (size_t i = 0; i < 3; ++i)
            m[12 + i] = n.translation[i];
    return m;
}

bool finiteMatrix(const Affine& m) {
    for (double v : m)
        if (!std::isfinite(v)) return false;
    return true;
}

struct Placed {
    int node = -1;
    int parent = -1;
    Affine local = identity(), world = identity();
};

// The nodes of the scene in depth-first order with their world matrices. A node
// reached twice (a cycle, or a node shared by two parents) is refused.
Result<std::vector<Placed>> walk(const tinygltf::Model& g) {
    std::vector<int> roots;
    if (!g.scenes.empty()) {
        const size_t s = g.defaultScene >= 0 && size_t(g.defaultScene) < g.scenes.size() ? size_t(g.defaultScene) : 0;
        roots = g.scenes[s].nodes;
    } else {
        std::vector<bool> child(g.nodes.size(), false);
        for (const auto& n : g.nodes)
            for (int c : n.children)
                if (c >= 0 && size_t(c) < g.nodes.size()) child[size_t(c)] = true;
        for (size_t i = 0; i < g.nodes.size(); ++i)
            if (!child[i]) roots.push_back(int(i));
    }
    std::vector<bool> seen(g.nodes.size(), false);
    std::vector<Placed> out;
    std::vector<Placed> stack;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it)
        stack.push_back({*it, -1, identity(), identity()});
    while (!stack.empty()) {
        Placed p = stack.back();
        stack.pop_back();
        if (p.node < 0 || size_t(p.node) >= g.nodes.size()) return bad("the scene names node " + std::to_string(p.node) + ", which is not there");
        if (seen[size_t(p.node)]) return bad("node " + std::to_string(p.node) + " is reached twice in the scene");
        seen[size_t(p.node)] = true;
        const tinygltf::Node& n = g.nodes[size_t(p.node)];
        const Affine parentWorld = p.world;
        p.local = localMatrix(n);
        if (!finiteMatrix(p.local)) return bad("node '" + n.name + "' has a transform that is NaN or infinite");
        p.world = p.parent < 0 ? p.local : multiply(parentWorld, p.local);
        out.push_back(p);
        for (auto c = n.children.rbegin(); c != n.children.rend(); ++c)
            stack.push_back({*c, p.node, identity(), p.world});
    }
    return out;
}

// ---- Our own exports ---------------------------------------------------------------------

struct Tag {
    int component = -1, attachment = -1, box = -1;
};

// -2: the key is there but not a small whole number.
int intField(const tinygltf::Value& o, const char* key) {
    if (!o.Has(key)) return -1;
    const tinygltf::Value& v = o.Get(key);
    if (!v.IsNumber()) return -2;
    const double d = v.GetNumberAsDouble();
    if (!(d >= 0 && d <= 1e9) || d != std::floor(d)) return -2;
    return int(d);
}

Result<std::optional<Tag>> tagOf(const tinygltf::Node& n) {
    if (!n.extras.IsObject() || !n.extras.Has("orvane")) return std::optional<Tag>();
    const tinygltf::Value& o = n.extras.Get("orvane");
    if (!o.IsObject()) return bad("node '" + n.name + "': its extras do not fit the model");
    Tag t{intField(o, "component"), intField(o, "attachment"), intField(o, "box")};
    if (t.component < 0 || t.attachment == -2 || t.box == -2 || (t.attachment >= 0 && t.box >= 0))
        return bad("node '" + n.name + "': its extras do not fit the model");
    return std::optional<Tag>(t);
}

bool near3(Vec3 a, Vec3 b) {
    return nearlyEqual(a.x, b.x) && nearlyEqual(a.y, b.y) && nearlyEqual(a.z, b.z);
}

bool nearUV(const UV& a, const UV& b) {
    return nearlyEqual(a[0], b[0]) && nearlyEqual(a[1], b[1]);
}

std::string materialName(const MeshData& m, size_t t) {
    const int i = m.triangleMaterial[t];
    return i >= 0 && size_t(i) < m.materials.size() ? m.materials[size_t(i)] : std::string();
}

// The rotation r (0-2) that lays triangle t of `got` onto triangle t of `was`
// (corner j of was is corner (j + r) % 3 of got), when all three corners match.
std::optional<int> sameCorners(const MeshData& got, size_t tg, const MeshData& was, size_t tw, bool uv) {
    for (int r = 0; r < 3; ++r) {
        bool ok = true;
        for (size_t j = 0; j < 3 && ok; ++j) {
            const uint32_t a = got.triangles[tg][(j + size_t(r)) % 3], b = was.triangles[tw][j];
            ok = near3(got.positions[a], was.positions[b]);
            if (ok && uv) ok = nearUV(got.uvs.empty() ? UV{0, 0} : got.uvs[a], was.uvs[b]);
        }
        if (ok) return r;
    }
    return std::nullopt;
}

bool sameMesh(const MeshData& got, const MeshData& was) {
    if (got.triangles.size() != was.triangles.size()) return false;
    for (size_t t = 0; t < got.triangles.size(); ++t)
        if (materialName(got, t) != materialName(was, t) || !sameCorners(got, t, was, t, true)) return false;
    return true;
}

Affine inverseAffine(const Affine& m) {
    // The inverse of the 3 x 3 part by cofactors, then the translation.
    const double a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
    const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    Affine r = identity();
    if (det == 0 || !std::isfinite(det)) return r;
    const double inv[9] = {(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det,
                           (f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det,
                           (d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det};
    // inv is row-major.
    for (size_t row = 0; row < 3; ++row)
        for (size_t col = 0; col < 3; ++col)
            r[4 * col + row] = inv[3 * row + col];
    for (size_t row = 0; row < 3; ++row)
        r[12 + row] = -(r[row] * m[12] + r[4 + row] * m[13] + r[8 + row] * m[14]);
    return r;
}

class Rebuild {
public:
    Rebuild(const tinygltf::Model& g, shp::BlockChain chain, const ImportOptions& options)
        : g_(g), chain_(std::move(chain)), index_(chain_), model_(chain_, index_), options_(options) {
        plan_ = makePlan(model_);
    }

    Result<Imported> run(const std::vector<Placed>& placed);

private:
    Status reshape(size_t k, const MeshData& got, std::vector<shp::Block>& blocks);
    Status placeRecords(size_t k, bool boxes, std::vector<shp::Block>& blocks,
                        std::vector<std::vector<size_t>>& removeRecords);

    const tinygltf::Model& g_;
    shp::BlockChain chain_;
    shp::ChainIndex index_;
    shp::ModelView model_;
    const ImportOptions& options_;
    Plan plan_;
    ImportReport report_;

    std::vector<const Placed*> componentNode_;
    std::vector<std::vector<const Placed*>> attachmentNode_, boxNode_;
    std::vector<const Placed*> newMeshes_;
};

Status Rebuild::placeRecords(size_t k, bool boxes, std::vector<shp::Block>& blocks,
                             std::vector<std::vector<size_t>>& removeRecords) {
    const shp::ComponentBlocks at = model_.locate(k);
    const auto bi = boxes ? at.boxes : at.attachments;
    if (!bi) return {};
    shp::Block& b = blocks[*bi];
    const auto& nodes = boxes ? boxNode_[k] : attachmentNode_[k];
    const auto& planned = boxes ? plan_.components[k].boxes : plan_.components[k].attachments;
    const Placed* comp = componentNode_[k];
    for (size_t i = 0; i < b.recordCount; ++i) {
        const Placed* p = nodes[i];
        if (!p) {
            removeRecords[*bi].push_back(i);
            ++(boxes ? report_.boxesRemoved : report_.attachmentsRemoved);
            continue;
        }
        // In component space: the node's own matrix when it still hangs below its
        // component, as exported; otherwise taken through the component's world.
        const Affine m = p->parent == comp->node ? p->local : multiply(inverseAffine(comp->world), p->world);
        const Affine& was = planned[i].matrix;
        bool moved = false, turned = false;
        for (size_t j = 12; j < 15; ++j)
            moved = moved || !nearlyEqual(m[j], was[j]);
        for (size_t c = 0; c < 3; ++c)
            for (size_t r = 0; r < 3; ++r)
                turned = turned || !nearlyEqual(m[4 * c + r], was[4 * c + r]);
        if (!moved && !turned) continue;
        shp::RecordView rec(b.record(i));
        const size_t posAt = boxes ? 52 : 4, rowsAt = boxes ? 4 : 16;
        const Vec3 at = narrow3(m[12], m[13], m[14]);
        if (!finite3(at)) return bad("node '" + g_.nodes[size_t(p->node)].name + "' is placed beyond what a model can hold");
        if (moved) rec.setVec3(posAt, at);
        if (turned) {
            Vec3 half{};
            float* h = &half.x;
            for (size_t c = 0; c < 3; ++c) {
                double len = 1;
                if (boxes) {
                    len = std::sqrt(m[4 * c] * m[4 * c] + m[4 * c + 1] * m[4 * c + 1] + m[4 * c + 2] * m[4 * c + 2]);
                    h[c] = narrow(len);
                }
                for (size_t r = 0; r < 3; ++r) {
                    if (boxes && len == 0) continue;
                    rec.setF32(rowsAt + 4 * (3 * c + r), narrow(m[4 * c + r] / len));
                }
            }
            if (boxes) rec.setVec3(40, half);
        }
        ++(boxes ? report_.boxesChanged : report_.attachmentsChanged);
    }
    return {};
}

// The vertices, faces and texture names of component k made from `got`, keeping
// the records of the vertices and faces that map back to the model's.
Status Rebuild::reshape(size_t k, const MeshData& got, std::vector<shp::Block>& blocks) {
    const shp::ComponentBlocks at = model_.locate(k);
    const std::string node = plan_.components[k].name;
    if (!at.vertices || !at.faces || !at.textures)
        return makeError(ErrorKind::Refused, "component '" + node +
                                                 "' has no vertex, face or texture-name block to take its new mesh");
    for (size_t j = 0; j < model_.componentCount(); ++j) {
        if (j == k) continue;
        const shp::ComponentBlocks o = model_.locate(j);
        if (o.vertices == at.vertices || o.faces == at.faces || o.textures == at.textures)
            return makeError(ErrorKind::Refused, "component '" + node + "' shares its geometry blocks with component " +
                                                     std::to_string(j) + "; its mesh cannot be changed on its own");
    }
    const shp::Block& vb = chain_.blocks()[*at.vertices];
    const shp::Block& fb = chain_.blocks()[*at.faces];
    const shp::Block& tb = chain_.blocks()[*at.textures];
    const PlannedComponent& pc = plan_.components[k];
    const MeshData& was = pc.mesh;

    // Which face of the model each new triangle comes from, and how it is turned.
    struct Map {
        int64_t face = -1;  // record index
        int64_t planned = -1;
        int rot = 0;
    };
    std::vector<Map> faceOf(got.triangles.size());
    if (pc.hasMesh && got.triangles.size() == was.triangles.size()) {
        for (size_t t = 0; t < got.triangles.size(); ++t) {
            auto r = sameCorners(got, t, was, t, false);
            faceOf[t] = {int64_t(pc.triangleFace[t]), int64_t(t), r ? *r : 0};
        }
    } else if (pc.hasMesh) {
        // Faces added or deleted: a triangle maps back when its corners are where a
        // triangle of the model had them.
        auto keyOf = [](const MeshData& m, size_t t) {
            std::array<uint32_t, 9> key{};
            std::array<Vec3, 3> c{m.positions[m.triangles[t][0]], m.positions[m.triangles[t][1]],
                                  m.positions[m.triangles[t][2]]};
            size_t lowest = 0;
            for (size_t j = 1; j < 3; ++j)
                if (std::tie(c[j].x, c[j].y, c[j].z) < std::tie(c[lowest].x, c[lowest].y, c[lowest].z)) lowest = j;
            for (size_t j = 0; j < 3; ++j) {
                const Vec3& v = c[(lowest + j) % 3];
                key[3 * j] = std::bit_cast<uint32_t>(v.x);
                key[3 * j + 1] = std::bit_cast<uint32_t>(v.y);
                key[3 * j + 2] = std::bit_cast<uint32_t>(v.z);
            }
            return std::pair{key, int(lowest)};
        };
        std::map<std::array<uint32_t, 9>, std::vector<size_t>> byCorners;
        for (size_t t = was.triangles.size(); t-- > 0;)
            byCorners[keyOf(was, t).first].push_back(t);
        for (size_t t = 0; t < got.triangles.size(); ++t) {
            auto [key, lowest] = keyOf(got, t);
            auto it = byCorners.find(key);
            if (it == byCorners.end() || it->second.empty()) continue;
            const size_t w = it->second.back();
            it->second.pop_back();
            const int wasLowest = keyOf(was, w).second;
            faceOf[t] = {int64_t(pc.triangleFace[w]), int64_t(w), (lowest - wasLowest + 3) % 3};
        }
    }

    // Vertices: one per position (and normal), the model's own record where a
    // vertex maps back to one of its vertices.
    std::vector<int64_t> origOf(got.positions.size(), -1);
    for (size_t t = 0; t < got.triangles.size(); ++t) {
        if (faceOf[t].planned < 0) continue;
        for (size_t j = 0; j < 3; ++j) {
            const uint32_t gv = got.triangles[t][(j + size_t(faceOf[t].rot)) % 3];
            const uint32_t pv = was.triangles[size_t(faceOf[t].planned)][j];
            if (origOf[gv] < 0) origOf[gv] = pc.vertexOf[pv];
        }
    }
    // The model's vertices keep their places (and those no face uses now stay, as
    // the converter leaves them); a vertex that moved is changed in its place, and
    // only copies of it that went apart, and vertices that are new, are appended.
    shp::Block nv = vb;
    std::vector<int64_t> first(vb.recordCount, -1);
    std::map<std::array<uint32_t, 7>, uint32_t> added;
    std::vector<uint32_t> shpOf(got.positions.size());
    const bool normals = !got.normals.empty();
    for (size_t v = 0; v < got.positions.size(); ++v) {
        const Vec3 p = got.positions[v];
        const int64_t o = origOf[v];
        if (o >= 0) {
            const size_t slot = size_t(o);
            if (first[slot] < 0) {
                first[slot] = int64_t(v);
                shp::RecordView rec(nv.record(slot));
                if (!near3(p, rec.vec3(0))) {
                    rec.setVec3(0, p);
                    if (normals) rec.setVec3(12, got.normals[v]);
                }
                shpOf[v] = uint32_t(slot);
                continue;
            }
            if (near3(p, got.positions[size_t(first[slot])])) {
                shpOf[v] = uint32_t(slot);
                continue;
            }
        }
        const Vec3 n = normals ? got.normals[v] : Vec3{};
        const std::array<uint32_t, 7> key =
            o >= 0 ? std::array<uint32_t, 7>{3, uint32_t(o), std::bit_cast<uint32_t>(p.x), std::bit_cast<uint32_t>(p.y),
                                             std::bit_cast<uint32_t>(p.z), 0, 0}
                   : std::array<uint32_t, 7>{2,
                                             std::bit_cast<uint32_t>(p.x),
                                             std::bit_cast<uint32_t>(p.y),
                                             std::bit_cast<uint32_t>(p.z),
                                             std::bit_cast<uint32_t>(n.x),
                                             std::bit_cast<uint32_t>(n.y),
                                             std::bit_cast<uint32_t>(n.z)};
        auto [it, isNew] = added.try_emplace(key, nv.recordCount);
        if (isNew) {
            if (nv.recordCount >= kMaxRecords)
                return makeError(ErrorKind::Refused, "node '" + node +
                                                         "' has more than 65,535 vertices; a component holds at "
                                                         "most 65,535: split it into several objects in the 3D suite");
            Bytes rec(vb.recordSize, 0);
            if (o >= 0) {
                const auto src = vb.record(size_t(o));
                std::copy(src.begin(), src.end(), rec.begin());
            }
            shp::RecordView r(rec);
            r.setVec3(0, p);
            if (normals) r.setVec3(12, n);
            if (o < 0) r.setU32(24, 1);
            if (o < 0 || shp::ConstRecordView(vb.record(size_t(o))).u32(28) == uint32_t(o)) r.setU32(28, nv.recordCount);
            nv.data.insert(nv.data.end(), rec.begin(), rec.end());
            ++nv.recordCount;
        }
        shpOf[v] = it->second;
    }

    // Texture names: the model's, then any new material's.
    shp::Block nt = tb;
    std::map<std::string, uint32_t> textureIndex;
    for (uint32_t i = 0; i < tb.recordCount; ++i)
        textureIndex.try_emplace(shp::textureName(tb, i), i);
    const TextureChoice choice{&options_, &plan_};
    auto textureFor = [&](size_t t) -> Result<uint32_t> {
        auto name = textureNameFor(got, got.triangleMaterial[t], choice, node);
        if (!name) return name.error();
        auto it = textureIndex.find(*name);
        if (it != textureIndex.end()) return it->second;
        if (name->size() + 1 > nt.recordSize)
            return makeError(ErrorKind::Refused, "node '" + node + "': the texture name '" + *name +
                                                     "' does not fit the component's " +
                                                     std::to_string(nt.recordSize) + "-byte texture records");
        if (nt.recordCount >= kMaxRecords)
            return makeError(ErrorKind::Refused, "node '" + node + "' uses more than 65,535 materials");
        Bytes rec(nt.recordSize, 0);
        std::memcpy(rec.data(), name->data(), name->size());
        nt.data.insert(nt.data.end(), rec.begin(), rec.end());
        textureIndex.emplace(*name, nt.recordCount);
        return nt.recordCount++;
    };

    if (got.triangles.size() > kMaxRecords)
        return makeError(ErrorKind::Refused, "node '" + node + "' has " + std::to_string(got.triangles.size()) +
                                                 " faces; a component holds at most 65,535: split it into "
                                                 "several objects in the 3D suite");
    shp::Block nf = fb;
    nf.data.assign(size_t(fb.recordSize) * got.triangles.size(), 0);
    nf.recordCount = uint32_t(got.triangles.size());
    for (size_t t = 0; t < got.triangles.size(); ++t) {
        shp::RecordView rec(nf.record(t));
        const auto& tri = got.triangles[t];
        const Map& mp = faceOf[t];
        std::array<size_t, 3> order{0, 1, 2};
        if (mp.face >= 0) {
            const auto src = fb.record(size_t(mp.face));
            std::copy(src.begin(), src.end(), rec.bytes().begin());
            for (size_t j = 0; j < 3; ++j)
                order[j] = (j + size_t(mp.rot)) % 3;
        } else {
            rec.setU32(0, 0);
            if (rec.has(4, 1)) rec.bytes()[4] = 0x17;
        }
        const shp::ConstFaceView old(mp.face >= 0 ? fb.record(size_t(mp.face)) : std::span<const uint8_t>());
        for (size_t j = 0; j < 3; ++j) {
            const uint32_t gv = tri[order[j]];
            rec.setU32(12 + 4 * j, shpOf[gv]);
            const UV uv = got.uvs.empty() ? UV{0, 0} : got.uvs[gv];
            if (mp.face < 0 || !nearlyEqual(uv[0], old.u()[j])) rec.setF32(24 + 4 * j, uv[0]);
            if (mp.face < 0 || !nearlyEqual(uv[1], old.v()[j])) rec.setF32(36 + 4 * j, uv[1]);
        }
        const bool sameMaterial = mp.face >= 0 && materialName(got, t) == materialName(was, size_t(mp.planned));
        if (!sameMaterial) {
            auto ti = textureFor(t);
            if (!ti) return ti.error();
            rec.setU32(0, *ti);
        }
        // The face normal, where the record holds one (the converter's layout), follows
        // the corners; bytes that are something else are left alone.
        const Vec3 a = got.positions[tri[order[0]]], b = got.positions[tri[order[1]]],
                   c = got.positions[tri[order[2]]];
        const Vec3 e1{b.x - a.x, b.y - a.y, b.z - a.z}, e2{c.x - a.x, c.y - a.y, c.z - a.z};
        Vec3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
        const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        n = {n.x / (len == 0 ? 1 : len), n.y / (len == 0 ? 1 : len), n.z / (len == 0 ? 1 : len)};
        bool writeNormal = mp.face < 0;
        if (mp.face >= 0 && rec.has(48, 12)) {
            const auto& wt = was.triangles[size_t(mp.planned)];
            const Vec3 oa = was.positions[wt[0]], ob = was.positions[wt[1]], oc = was.positions[wt[2]];
            const Vec3 f1{ob.x - oa.x, ob.y - oa.y, ob.z - oa.z}, f2{oc.x - oa.x, oc.y - oa.y, oc.z - oa.z};
            Vec3 on{f1.y * f2.z - f1.z * f2.y, f1.z * f2.x - f1.x * f2.z, f1.x * f2.y - f1.y * f2.x};
            const float ol = std::sqrt(on.x * on.x + on.y * on.y + on.z * on.z);
            const Vec3 stored = old.vec3(48);
            const bool wasNormal = ol > 0 && std::fabs(stored.x - on.x / ol) < 1e-3f &&
                                   std::fabs(stored.y - on.y / ol) < 1e-3f && std::fabs(stored.z - on.z / ol) < 1e-3f;
            const bool cornersMoved = !near3(a, oa) || !near3(b, ob) || !near3(c, oc);
            writeNormal = wasNormal && cornersMoved;
        }
        if (writeNormal) rec.setVec3(48, n);
    }
    blocks[*at.vertices] = std::move(nv);
    blocks[*at.faces] = std::move(nf);
    blocks[*at.textures] = std::move(nt);
    report_.vertices += blocks[*at.vertices].recordCount;
    report_.faces += blocks[*at.faces].recordCount;
    return {};
}

Result<Imported> Rebuild::run(const std::vector<Placed>& placed) {
    const size_t n = model_.componentCount();
    const auto table = model_.componentTable();
    if (!table) return bad("the ship's bytes in the extras have no component table");
    componentNode_.assign(n, nullptr);
    attachmentNode_.resize(n);
    boxNode_.resize(n);
    const auto& blocks0 = chain_.blocks();
    for (size_t k = 0; k < n; ++k) {
        const shp::ComponentBlocks at = model_.locate(k);
        attachmentNode_[k].assign(at.attachments ? blocks0[*at.attachments].recordCount : 0, nullptr);
        boxNode_[k].assign(at.boxes ? blocks0[*at.boxes].recordCount : 0, nullptr);
    }
    for (const Placed& p : placed) {
        const tinygltf::Node& node = g_.nodes[size_t(p.node)];
        auto tag = tagOf(node);
        if (!tag) return tag.error();
        if (!*tag) {
            if (node.mesh >= 0) newMeshes_.push_back(&p);
            continue;
        }
        const Tag t = **tag;
        if (size_t(t.component) >= n)
            return bad("node '" + node.name + "' names component " + std::to_string(t.component) +
                       ", and the ship has " + std::to_string(n) + ": its extras do not fit the model");
        auto claim = [&](std::vector<const Placed*>& slots, int i, const char* what) -> Status {
            if (size_t(i) >= slots.size())
                return bad("node '" + node.name + "' names " + what + " " + std::to_string(i) + " of component " +
                           std::to_string(t.component) + ", which has " + std::to_string(slots.size()) +
                           ": its extras do not fit the model");
            // A copy made in the 3D suite carries the same extras: the first node
            // is the record's, the copy is ignored.
            if (!slots[size_t(i)]) slots[size_t(i)] = &p;
            return {};
        };
        if (t.attachment >= 0) {
            if (auto s = claim(attachmentNode_[size_t(t.component)], t.attachment, "attachment"); !s) return s.error();
        } else if (t.box >= 0) {
            if (auto s = claim(boxNode_[size_t(t.component)], t.box, "box"); !s) return s.error();
        } else if (!componentNode_[size_t(t.component)]) {
            componentNode_[size_t(t.component)] = &p;
        } else if (node.mesh >= 0) {
            newMeshes_.push_back(&p);  // a copy of a component: a new one
        }
    }

    std::vector<shp::Block> blocks = chain_.blocks();
    std::vector<std::vector<size_t>> removeRecords(blocks.size());
    std::vector<bool> drop(blocks.size(), false);
    std::vector<size_t> removedComponents;
    for (size_t k = 0; k < n; ++k) {
        const Placed* p = componentNode_[k];
        const PlannedComponent& pc = plan_.components[k];
        if (!p) {
            // Deleted in the 3D suite: the component goes with its group of blocks,
            // which must hold exactly its own box and Type9 blocks.
            const shp::ComponentBlocks at = model_.locate(k);
            auto group = model_.group(k);
            bool own = group && at.attachments && at.boxes;
            if (own) {
                size_t sevens = 0, nines = 0;
                for (size_t i = group->first; i < group->second; ++i) {
                    const uint32_t type = blocks[i].type;
                    sevens += type == shp::BlockType::Boxes;
                    nines += type == shp::BlockType::Attachments;
                    own = own && type != shp::BlockType::ShipHeader && type != shp::BlockType::ComponentTable;
                }
                own = own && sevens == 1 && nines == 1 && *at.attachments >= group->first &&
                      *at.attachments < group->second && *at.boxes >= group->first && *at.boxes < group->second;
            }
            if (!own)
                return makeError(ErrorKind::Refused, "component '" + pc.name +
                                                         "' was deleted, and it does not own exactly one box "
                                                         "block and one Type9 block in its own group of blocks; "
                                                         "removing it would pair later components with the wrong "
                                                         "blocks");
            for (size_t i = group->first; i < group->second; ++i)
                drop[i] = true;
            removedComponents.push_back(k);
            ++report_.componentsRemoved;
            continue;
        }
        const tinygltf::Node& node = g_.nodes[size_t(p->node)];
        bool changed = false;
        const Vec3 t = narrow3(p->world[12], p->world[13], p->world[14]);
        if (!finite3(t)) return bad("node '" + node.name + "' is placed beyond what a model can hold");
        if (!near3(t, pc.translation)) {
            shp::ComponentView(blocks[*table].record(k)).setPosition(t);
            ++report_.componentsMoved;
            changed = true;
        }
        if (node.mesh >= 0) {
            auto got = readMesh(g_, node.mesh, node.name);
            if (!got) return got.error();
            Affine linear = p->world;
            linear[12] = linear[13] = linear[14] = 0;
            if (!linearIsIdentity(linear))
                for (Vec3& v : got->positions) {
                    v = transformVector(linear, v);
                    if (!finite3(v)) return bad("node '" + node.name + "': its transform takes vertices beyond what a model can hold");
                }
            if (!pc.hasMesh || !sameMesh(*got, pc.mesh)) {
                if (got->triangles.empty())
                    return makeError(ErrorKind::Refused, "node '" + node.name + "' has a mesh without faces");
                if (auto s = reshape(k, *got, blocks); !s) return s.error();
                ++report_.componentsReshaped;
                changed = true;
            }
        } else if (pc.hasMesh) {
            report_.notes.push_back("component '" + pc.name + "' came back without its mesh; its geometry is kept");
        }
        if (auto s = placeRecords(k, false, blocks, removeRecords); !s) return s.error();
        if (auto s = placeRecords(k, true, blocks, removeRecords); !s) return s.error();
        if (!changed) ++report_.componentsKept;
    }
    for (size_t i = 0; i < blocks.size(); ++i)
        for (auto r = removeRecords[i].rbegin(); r != removeRecords[i].rend(); ++r) {
            shp::Block& b = blocks[i];
            b.data.erase(b.data.begin() + ptrdiff_t(*r * b.recordSize), b.data.begin() + ptrdiff_t((*r + 1) * b.recordSize));
            --b.recordCount;
        }

    shp::BlockChain out;
    for (size_t i = 0; i < blocks.size(); ++i)
        if (!drop[i]) out.appendBlock(std::move(blocks[i]));
    // Positions of the table after the drops: nothing before it is ever dropped,
    // as groups start at a type-2 block after the table.
    auto outTable = out.componentTable();
    if (!outTable) return bad("the ship's bytes in the extras have no component table");
    for (auto k = removedComponents.rbegin(); k != removedComponents.rend(); ++k)
        out.removeRecord(*outTable, *k);

    for (const Placed* p : newMeshes_) {
        const tinygltf::Node& node = g_.nodes[size_t(p->node)];
        auto got = readMesh(g_, node.mesh, node.name);
        if (!got) return got.error();
        if (got->triangles.empty()) continue;
        Affine linear = p->world;
        linear[12] = linear[13] = linear[14] = 0;
        auto geometry = newGeometry(*got, linear, TextureChoice{&options_, &plan_}, node.name);
        if (!geometry) return geometry.error();
        shp::Block& table1 = out.blocks()[*outTable];
        const Vec3 at = narrow3(p->world[12], p->world[13], p->world[14]);
        if (!finite3(at)) return bad("node '" + node.name + "' is placed beyond what a model can hold");
        const Bytes rec = templateComponentRecord(table1.recordSize, node.name, at);
        if (!out.appendRecord(*outTable, rec))
            return makeError(ErrorKind::Refused, "the ship would have more than 65,535 components");
        for (shp::Block& b : templateGroup())
            out.appendBlock(std::move(b));
        report_.vertices += geometry->vertices.recordCount;
        report_.faces += geometry->faces.recordCount;
        out.appendBlock(std::move(geometry->vertices));
        out.appendBlock(std::move(geometry->faces));
        out.appendBlock(std::move(geometry->textures));
        ++report_.componentsAdded;
    }
    report_.fromExtras = true;
    report_.components = out.blocks()[*outTable].recordCount;
    return Imported{std::move(out), std::move(report_)};
}

Result<std::optional<shp::BlockChain>> exportedChain(const tinygltf::Model& g) {
    if (g.scenes.empty()) return std::optional<shp::BlockChain>();
    const size_t s = g.defaultScene >= 0 && size_t(g.defaultScene) < g.scenes.size() ? size_t(g.defaultScene) : 0;
    const tinygltf::Value& extras = g.scenes[s].extras;
    if (!extras.IsObject() || !extras.Has("orvane")) return std::optional<shp::BlockChain>();
    const tinygltf::Value& o = extras.Get("orvane");
    if (!o.IsObject() || intField(o, "format") != 1 || !o.Has("chain") || !o.Get("chain").IsString())
        return bad("the scene's extras do not fit the model (written by a later version?)");
    auto bytes = base64Decode(o.Get("chain").Get<std::string>());
    if (!bytes) return bad("the ship's bytes in the scene's extras are not base64");
    auto chain = shp::BlockChain::read(*bytes);
    if (!chain) return bad("the ship's bytes in the scene's extras are not a model: " + chain.error().describe());
    return std::optional<shp::BlockChain>(std::move(*chain));
}

}  // namespace
}  // namespace detail

Result<Imported> importGltf(ByteSpan bytes, const ImportOptions& options,
                            const std::optional<std::filesystem::path>& baseDir) {
    using namespace detail;
    if (bytes.size() > kMaxMeshFile) return makeError(ErrorKind::OutOfRange, "the file is too large for a mesh");
    FileAccess access{baseDir, kMaxMeshFile};
    tinygltf::Model g;
    std::string err, warn;
    bool ok = false;
    try {
        tinygltf::TinyGLTF loader;
        loader.SetFsCallbacks({&fileExists, &expandPath, &readWholeFile, &writeWholeFile, &access});
        loader.SetImageLoader(&skipImage, nullptr);
        const std::string base = baseDir ? pathText(*baseDir) : std::string();
        const bool glb = bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0;
        ok = glb ? loader.LoadBinaryFromMemory(&g, &err, &warn, bytes.data(), unsigned(bytes.size()), base)
                 : loader.LoadASCIIFromString(&g, &err, &warn, reinterpret_cast<const char*>(bytes.data()),
                                              unsigned(bytes.size()), base);
    } catch (const std::exception& e) {
        return bad("not a glTF file: " + withoutTag(e.what()));
    }
    if (!ok) return bad("not a glTF file: " + firstLine(err));

    auto placed = walk(g);
    if (!placed) return placed.error();
    auto exported = exportedChain(g);
    if (!exported) return exported.error();
    if (*exported) {
        Rebuild rebuild(g, std::move(**exported), options);
        return rebuild.run(*placed);
    }

    std::vector<MeshPart> parts;
    for (const Placed& p : *placed) {
        const tinygltf::Node& node = g.nodes[size_t(p.node)];
        if (node.mesh < 0) continue;
        auto mesh = readMesh(g, node.mesh, node.name);
        if (!mesh) return mesh.error();
        parts.push_back({node.name.empty() ? "mesh " + std::to_string(parts.size()) : node.name, p.world,
                         std::move(*mesh)});
    }
    auto chain = newShip(parts, options);
    if (!chain) return chain.error();
    Imported out{std::move(*chain), {}};
    shp::ChainIndex index(out.chain);
    out.report.components = shp::ModelView(out.chain, index).componentCount();
    out.report.componentsAdded = out.report.components;
    return out;
}

}  // namespace ov::interchange
