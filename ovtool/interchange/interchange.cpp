// The shared half of export and import: small matrix helpers, base64 and names,
// the glTF side of a model (its plan), and the file-level entry points.

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <unordered_map>

#include "common/fileio.h"
#include "common/shp_model.h"
#include "detail.h"

namespace ov::interchange {

namespace detail {

Affine identity() {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Affine multiply(const Affine& a, const Affine& b) {
    Affine r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += a[size_t(4 * k + row)] * b[size_t(4 * c + k)];
            r[size_t(4 * c + row)] = s;
        }
    return r;
}

float narrow(double d) {
    if (d > double(std::numeric_limits<float>::max())) return std::numeric_limits<float>::infinity();
    if (d < -double(std::numeric_limits<float>::max())) return -std::numeric_limits<float>::infinity();
    return float(d);
}

Vec3 narrow3(double x, double y, double z) {
    return {narrow(x), narrow(y), narrow(z)};
}

bool finite3(Vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

Vec3 transformVector(const Affine& m, Vec3 v) {
    return narrow3(m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
                   m[2] * v.x + m[6] * v.y + m[10] * v.z);
}

Vec3 transformPoint(const Affine& m, Vec3 p) {
    return narrow3(m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                   m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
}

bool nearlyEqual(double a, double b) {
    if (a == b) return true;
    const double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
    return std::fabs(a - b) <= 1e-5 * scale;
}

bool nearlyEqual(const Affine& a, const Affine& b) {
    for (size_t i = 0; i < 16; ++i)
        if (!nearlyEqual(a[i], b[i])) return false;
    return true;
}

bool linearIsIdentity(const Affine& m) {
    const Affine id = identity();
    for (size_t c = 0; c < 3; ++c)
        for (size_t r = 0; r < 3; ++r)
            if (m[4 * c + r] != id[4 * c + r]) return false;
    return true;
}

namespace {
double finite(float v) {
    return std::isfinite(v) ? double(v) : 0.0;
}
}  // namespace

Affine placement(const std::array<float, 9>& rows, Vec3 position, Vec3 scale) {
    Affine m = identity();
    const float s[3] = {scale.x, scale.y, scale.z};
    for (size_t c = 0; c < 3; ++c)
        for (size_t r = 0; r < 3; ++r)
            m[4 * c + r] = finite(rows[3 * c + r]) * finite(s[c]);
    m[12] = finite(position.x);
    m[13] = finite(position.y);
    m[14] = finite(position.z);
    return m;
}

namespace {
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string base64Encode(ByteSpan bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        for (int s = 18; s >= 0; s -= 6)
            out += kBase64[(v >> s) & 63];
    }
    if (const size_t rest = bytes.size() - i) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | (rest == 2 ? uint32_t(bytes[i + 1]) << 8 : 0);
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += rest == 2 ? kBase64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
    if (text.size() % 4) return std::nullopt;
    int8_t value[256];
    std::fill(std::begin(value), std::end(value), int8_t(-1));
    for (int i = 0; i < 64; ++i)
        value[uint8_t(kBase64[i])] = int8_t(i);
    Bytes out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t v = 0;
        int pad = 0;
        for (size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            if (c == '=' && i + 4 == text.size() && j >= 2) {
                ++pad;
                v <<= 6;
                continue;
            }
            if (pad || value[uint8_t(c)] < 0) return std::nullopt;
            v = v << 6 | uint32_t(value[uint8_t(c)]);
        }
        out.push_back(uint8_t(v >> 16));
        if (pad < 2) out.push_back(uint8_t(v >> 8));
        if (pad < 1) out.push_back(uint8_t(v));
    }
    return out;
}

bool isUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const uint8_t c = uint8_t(s[i]);
        size_t n = 0;
        uint8_t lo = 0x80, hi = 0xBF;  // the second byte's range: no overlong forms, no surrogates
        if (c < 0x80) {
            n = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (n > s.size() - i - 1) return false;
        for (size_t j = 1; j <= n; ++j) {
            const uint8_t b = uint8_t(s[i + j]);
            if (b < (j == 1 ? lo : 0x80) || b > (j == 1 ? hi : 0xBF)) return false;
        }
        i += n + 1;
    }
    return true;
}

std::string utf8Name(std::string_view name) {
    if (isUtf8(name)) return std::string(name);
    std::string out;
    for (char ch : name) {
        const uint8_t c = uint8_t(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

bool usable(Vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

struct SplitKey {
    uint32_t vertex, u, v;
    bool operator==(const SplitKey&) const = default;
};
struct SplitHash {
    size_t operator()(const SplitKey& k) const {
        uint64_t h = k.vertex * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t(k.u) << 32 | k.v) + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
        return size_t(h ^ (h >> 29));
    }
};

void planMesh(const shp::ModelView& model, const shp::ComponentBlocks& at, Plan& plan,
              std::map<std::string, int>& materialOf, PlannedComponent& pc) {
    if (!at.vertices || !at.faces) return;
    const auto& blocks = model.chain().blocks();
    const shp::Block& vb = blocks[*at.vertices];
    const shp::Block& fb = blocks[*at.faces];
    const shp::Block* tb = at.textures ? &blocks[*at.textures] : nullptr;
    if (vb.recordSize < 12) return;

    struct Face {
        uint32_t record;
        int material;
    };
    std::vector<Face> faces;
    for (uint32_t i = 0; i < fb.recordCount; ++i) {
        shp::ConstFaceView f(fb.record(i));
        if (!f.has(12, 36)) continue;
        bool ok = true;
        for (uint32_t c : f.corners())
            ok = ok && c < vb.recordCount && usable(shp::ConstRecordView(vb.record(c)).vec3(0));
        if (!ok) continue;
        int material = -1;
        if (tb && f.textureIndex() < tb->recordCount) {
            const std::string texture = shp::textureName(*tb, f.textureIndex());
            std::string name = texture.empty() ? std::string("(unnamed)") : utf8Name(texture);
            auto [it, added] = materialOf.try_emplace(name, int(plan.materials.size()));
            if (added) {
                plan.materials.push_back(name);
                plan.textureOf.push_back(texture);
            }
            material = it->second;
        }
        faces.push_back({i, material});
    }
    if (faces.empty()) return;
    std::stable_sort(faces.begin(), faces.end(), [](const Face& a, const Face& b) {
        return unsigned(a.material) < unsigned(b.material);  // no material last
    });

    bool normals = vb.recordSize >= 24;
    std::unordered_map<SplitKey, uint32_t, SplitHash> split;
    MeshData& m = pc.mesh;
    for (const Face& face : faces) {
        shp::ConstFaceView f(fb.record(face.record));
        const auto corners = f.corners();
        const auto u = f.u();
        const auto v = f.v();
        std::array<uint32_t, 3> tri{};
        for (size_t j = 0; j < 3; ++j) {
            const SplitKey key{corners[j], std::bit_cast<uint32_t>(u[j]), std::bit_cast<uint32_t>(v[j])};
            auto [it, added] = split.try_emplace(key, uint32_t(m.positions.size()));
            if (added) {
                shp::ConstRecordView rec(vb.record(corners[j]));
                m.positions.push_back(rec.vec3(0));
                const Vec3 n = rec.vec3(12);
                const double len = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
                if (!(len > 0) || !std::isfinite(len)) normals = false;
                m.normals.push_back(normals ? Vec3{float(n.x / len), float(n.y / len), float(n.z / len)}
                                            : Vec3{});
                m.uvs.push_back({std::isfinite(u[j]) ? u[j] : 0.0f, std::isfinite(v[j]) ? v[j] : 0.0f});
                pc.vertexOf.push_back(corners[j]);
            }
            tri[j] = it->second;
        }
        m.triangles.push_back(tri);
        m.triangleMaterial.push_back(face.material);
        pc.triangleFace.push_back(face.record);
    }
    if (!normals) m.normals.clear();
    m.materials = plan.materials;
    pc.hasMesh = true;
}

}  // namespace

Plan makePlan(const shp::ModelView& model) {
    Plan plan;
    std::map<std::string, int> materialOf;
    const auto& blocks = model.chain().blocks();
    for (size_t k = 0; k < model.componentCount(); ++k) {
        PlannedComponent pc;
        const auto rec = model.component(k);
        pc.name = utf8Name(rec->name());
        const Vec3 p = rec->position();
        pc.translation = {std::isfinite(p.x) ? p.x : 0.0f, std::isfinite(p.y) ? p.y : 0.0f,
                          std::isfinite(p.z) ? p.z : 0.0f};
        const shp::ComponentBlocks at = model.locate(k);
        planMesh(model, at, plan, materialOf, pc);
        if (at.attachments) {
            const shp::Block& b = blocks[*at.attachments];
            for (size_t i = 0; i < b.recordCount; ++i) {
                shp::ConstAttachmentView a(b.record(i));
                pc.attachments.push_back({utf8Name(shp::attachmentListName(a)),
                                          placement(a.matrix(), a.position())});
            }
        }
        if (at.boxes) {
            const shp::Block& b = blocks[*at.boxes];
            for (size_t i = 0; i < b.recordCount; ++i) {
                shp::ConstBoxView box(b.record(i));
                pc.boxes.push_back({"Box " + std::to_string(i + 1),
                                    placement(box.matrix(), box.centre(), box.halfExtents())});
            }
        }
        plan.components.push_back(std::move(pc));
    }
    // Every component's materials index the one list of the whole model.
    for (auto& pc : plan.components)
        if (pc.hasMesh) pc.mesh.materials = plan.materials;
    return plan;
}

}  // namespace detail

namespace {

std::string lowerExtension(const std::filesystem::path& p) {
    std::string e = pathText(p.extension());
    if (!e.empty() && e[0] == '.') e.erase(0, 1);
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return e;
}

}  // namespace

FileFormat formatOf(const std::filesystem::path& path) {
    const std::string e = lowerExtension(path);
    if (e == "gltf") return FileFormat::Gltf;
    if (e == "glb") return FileFormat::Glb;
    if (e == "obj") return FileFormat::Obj;
    return FileFormat::Other;
}

bool haveAssimp() {
#ifdef OV_HAVE_ASSIMP
    return true;
#else
    return false;
#endif
}

std::vector<std::string> importExtensions() {
    std::vector<std::string> out{"gltf", "glb"};
#ifdef OV_HAVE_ASSIMP
    for (const std::string& e : detail::assimpExtensions())
        if (std::find(out.begin(), out.end(), e) == out.end()) out.push_back(e);
#endif
    return out;
}

bool isMeshName(const std::filesystem::path& path) {
    const std::string ext = lowerExtension(path);
    if (ext == "gltf" || ext == "glb") return true;
    return std::find(std::begin(detail::kReaderFormats), std::end(detail::kReaderFormats), ext) !=
           std::end(detail::kReaderFormats);
}

Result<Bytes> exportGlb(const shp::BlockChain& chain) {
    return detail::gltfJson(chain, true, {}, nullptr);
}

Result<std::vector<ExportedFile>> exportFiles(const shp::BlockChain& chain,
                                              const std::filesystem::path& out) {
    switch (formatOf(out)) {
        case FileFormat::Glb: {
            auto glb = exportGlb(chain);
            if (!glb) return glb.error();
            return std::vector<ExportedFile>{{out, std::move(*glb)}};
        }
        case FileFormat::Gltf: {
            std::filesystem::path bin = out;
            bin.replace_extension(".bin");
            Bytes binBytes;
            auto json = detail::gltfJson(chain, false, pathText(bin.filename()), &binBytes);
            if (!json) return json.error();
            std::vector<ExportedFile> files{{out, std::move(*json)}};
            if (!binBytes.empty()) files.push_back({bin, std::move(binBytes)});
            return files;
        }
        case FileFormat::Obj:
            return detail::objFiles(chain, out);
        case FileFormat::Other:
            break;
    }
    return makeError(ErrorKind::Refused, pathText(out.filename()) +
                                             ": the name must end in .gltf, .glb or .obj");
}

Status exportModel(const shp::BlockChain& chain, const std::filesystem::path& out) {
    auto files = exportFiles(chain, out);
    if (!files) return files.error();
    std::vector<FileWrite> writes;
    for (const ExportedFile& f : *files)
        writes.push_back({f.path, f.bytes});
    return writeFilesTogether(writes);
}

Result<Imported> importFile(const std::filesystem::path& in, ImportOptions options) {
    auto bytes = readFile(in, kMaxMeshFile);
    if (!bytes) return bytes.error();
    if (options.defaultTexture.empty() || options.defaultTexture == ImportOptions{}.defaultTexture) {
        std::string stem = pathText(in.stem());
        if (stem.size() > detail::kMaxTexture) stem.resize(detail::kMaxTexture);
        if (!stem.empty()) options.defaultTexture = stem;
    }
    const std::string ext = lowerExtension(in);
    if (ext == "gltf" || ext == "glb") {
        std::filesystem::path base = in.parent_path();
        if (base.empty()) base = ".";
        return importGltf(*bytes, options, base);
    }
#ifdef OV_HAVE_ASSIMP
    const auto known = detail::assimpExtensions();
    if (std::find(known.begin(), known.end(), ext) != known.end()) {
        auto parts = detail::readWithAssimp(*bytes, ext);
        if (!parts) return parts.error();
        auto chain = detail::newShip(*parts, options);
        if (!chain) return chain.error();
        Imported out{std::move(*chain), {}};
        out.report.components = parts->size();
        out.report.componentsAdded = parts->size();
        return out;
    }
#endif
    std::string list;
    for (const std::string& e : importExtensions())
        list += (list.empty() ? "." : ", .") + e;
    return makeError(ErrorKind::Refused, pathText(in.filename()) +
                                             ": not a mesh file this build reads (it reads " + list + ")");
}

}  // namespace ov::interchange
