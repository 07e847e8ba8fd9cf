// OBJ out, with its .mtl: the geometry in ship space, one group per component and
// one material per texture name. Attachments, boxes and the game's own data have
// no place in OBJ and are not written.

#include <cstdio>
#include <string>

#include "common/fileio.h"
#include "detail.h"

namespace ov::interchange::detail {

namespace {

// Nine significant digits bring every float back exactly.
void put(std::string& out, const char* prefix, std::initializer_list<float> values) {
    out += prefix;
    char buf[32];
    for (float v : values) {
        std::snprintf(buf, sizeof buf, " %.9g", double(v));
        out += buf;
    }
    out += '\n';
}

// OBJ names run to the end of the line: no line breaks inside.
std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s.empty() ? std::string("unnamed") : s;
}

}  // namespace

Result<std::vector<ExportedFile>> objFiles(const shp::BlockChain& chain, const std::filesystem::path& out) {
    shp::ChainIndex index(chain);
    shp::ModelView model(chain, index);
    if (!model.componentTable())
        return makeError(ErrorKind::Refused, "the model has no component table (Type-1 block): nothing to export");
    const Plan plan = makePlan(model);
    std::filesystem::path mtl = out;
    mtl.replace_extension(".mtl");

    std::string obj = "# Orvane ship model: geometry and groups only (no attachments, boxes or game data)\n";
    obj += "mtllib " + pathText(mtl.filename()) + "\n";
    size_t base = 1;
    for (const PlannedComponent& pc : plan.components) {
        obj += "o " + oneLine(pc.name) + "\ng " + oneLine(pc.name) + "\n";
        if (!pc.hasMesh) continue;
        const MeshData& m = pc.mesh;
        const Vec3 at = pc.translation;
        for (const Vec3& p : m.positions)
            put(obj, "v", {p.x + at.x, p.y + at.y, p.z + at.z});
        for (const UV& uv : m.uvs)
            put(obj, "vt", {uv[0], uv[1]});
        for (const Vec3& n : m.normals)
            put(obj, "vn", {n.x, n.y, n.z});
        int material = -2;
        for (size_t t = 0; t < m.triangles.size(); ++t) {
            if (m.triangleMaterial[t] != material) {
                material = m.triangleMaterial[t];
                if (material >= 0) obj += "usemtl " + oneLine(plan.materials[size_t(material)]) + "\n";
            }
            obj += "f";
            for (uint32_t i : m.triangles[t]) {
                const std::string v = std::to_string(base + i);
                obj += " " + v + "/" + v + (m.normals.empty() ? "" : "/" + v);
            }
            obj += '\n';
        }
        base += m.positions.size();
    }
    std::string lib = "# Materials of an Orvane ship model, one per texture name\n";
    for (const std::string& name : plan.materials)
        lib += "newmtl " + oneLine(name) + "\nKd 0.8 0.8 0.8\n";
    return std::vector<ExportedFile>{{out, Bytes(obj.begin(), obj.end())}, {mtl, Bytes(lib.begin(), lib.end())}};
}

}  // namespace ov::interchange::detail
