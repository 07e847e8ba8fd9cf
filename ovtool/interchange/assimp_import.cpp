// Other mesh formats in through the mesh reader module (assimp_reader.h), loaded
// the first time such a file is imported. It is looked for beside the running
// program, then where an installed program has it (../lib/orvane-toolkit), then
// where this build made it, so that a build works without installing.

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "assimp_reader.h"
#include "common/fileio.h"
#include "detail.h"

namespace ov::interchange::detail {

namespace {

std::vector<std::filesystem::path> readerCandidates() {
    std::vector<std::filesystem::path> out;
    if (auto dir = programFolder(); !dir.empty()) {
        out.push_back(dir / OV_ASSIMP_READER_FILE);
#ifdef OV_ASSIMP_READER_INSTALLED_DIR
        out.push_back((dir / OV_ASSIMP_READER_INSTALLED_DIR / OV_ASSIMP_READER_FILE).lexically_normal());
#endif
    }
#ifdef OV_ASSIMP_READER_BUILD_FILE
    out.push_back(OV_ASSIMP_READER_BUILD_FILE);
#endif
    return out;
}

std::filesystem::path readerFile() {
    std::error_code ec;
    for (const auto& c : readerCandidates())
        if (std::filesystem::is_regular_file(c, ec)) return c;
    return {};
}

struct Reader {
    OvAssimpSupportsFn supports = nullptr;
    OvAssimpReadFn read = nullptr;
    OvAssimpFreeFn free = nullptr;
    std::string problem;  // why there is none
};

// Loaded once and kept for the life of the process.
const Reader& reader() {
    static const Reader loaded = [] {
        Reader r;
        const std::filesystem::path file = readerFile();
        if (file.empty()) {
            r.problem = std::string("the mesh reader ") + OV_ASSIMP_READER_FILE + " is not installed";
            return r;
        }
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            r.problem = "the mesh reader " + pathText(file) + " cannot be loaded: " + (why ? why : "unknown error");
            return r;
        }
        r.supports = reinterpret_cast<OvAssimpSupportsFn>(dlsym(handle, OV_ASSIMP_SUPPORTS));
        r.read = reinterpret_cast<OvAssimpReadFn>(dlsym(handle, OV_ASSIMP_READ_FN));
        r.free = reinterpret_cast<OvAssimpFreeFn>(dlsym(handle, OV_ASSIMP_FREE));
        if (!r.supports || !r.read || !r.free) {
            r = Reader{};
            r.problem = "the mesh reader " + pathText(file) + " is not one this program can use";
            dlclose(handle);
        }
        return r;
    }();
    return loaded;
}

}  // namespace

std::vector<std::string> assimpExtensions() {
    // Offered when the module is there; whether it reads each one is asked when a
    // file is imported, so that listing the formats loads nothing.
    if (readerFile().empty()) return {};
    return {std::begin(kReaderFormats), std::end(kReaderFormats)};
}

Result<std::vector<MeshPart>> readWithAssimp(ByteSpan bytes, const std::string& extension) {
    const Reader& r = reader();
    if (!r.read) return makeError(ErrorKind::Refused, "." + extension + " files cannot be read: " + r.problem);
    if (!r.supports(extension.c_str()))
        return makeError(ErrorKind::Refused, "this build's mesh reader does not read ." + extension + " files");
    std::unique_ptr<const OvAssimpResult, OvAssimpFreeFn> got(r.read(bytes.data(), bytes.size(), extension.c_str()),
                                                              r.free);
    if (got->status != OV_ASSIMP_READ)
        return makeError(got->status == OV_ASSIMP_REFUSED ? ErrorKind::Refused : ErrorKind::BadData, got->message);
    std::vector<MeshPart> parts;
    parts.reserve(got->partCount);
    for (uint32_t i = 0; i < got->partCount; ++i) {
        const OvAssimpPart& c = got->parts[i];
        MeshPart part;
        part.name = c.name;
        std::copy(c.world, c.world + 16, part.world.begin());
        MeshData& m = part.mesh;
        m.positions.resize(c.vertexCount);
        m.uvs.resize(c.vertexCount);
        for (uint32_t v = 0; v < c.vertexCount; ++v) {
            m.positions[v] = {c.positions[3 * v], c.positions[3 * v + 1], c.positions[3 * v + 2]};
            m.uvs[v] = {c.uvs[2 * v], c.uvs[2 * v + 1]};
        }
        m.triangles.resize(c.triangleCount);
        m.triangleMaterial.resize(c.triangleCount);
        for (uint32_t t = 0; t < c.triangleCount; ++t) {
            m.triangles[t] = {c.triangles[3 * t], c.triangles[3 * t + 1], c.triangles[3 * t + 2]};
            m.triangleMaterial[t] = c.triangleMaterials[t];
        }
        m.materials.assign(c.materials, c.materials + c.materialCount);
        parts.push_back(std::move(part));
    }
    return parts;
}

}  // namespace ov::interchange::detail
