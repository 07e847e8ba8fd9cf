#include "convert.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <unordered_map>

#include "chunks.h"
#include "common/fileio.h"

namespace ov::conv {

void Output::printf(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    appendFormatted(text, format, args);
    va_end(args);
    write(text);
}

namespace {

constexpr std::string_view kMappingHint = "    Check that all meshes in the model were textured!\n";

// The dump as the parser sees it: head lines are found by their chunk name, and
// only at the start of a line, so a name inside an object or material name never
// counts as a chunk.
class DumpText {
public:
    static constexpr size_t npos = std::string_view::npos;

    explicit DumpText(std::string_view text) : text_(text) {}

    size_t size() const { return text_.size(); }

    // The first head line of `name` that lies in [from, limit), or npos. Searches
    // never look outside their range, so the parse stays linear in the dump.
    size_t findHead(std::string_view name, size_t from, size_t limit) const {
        std::string pattern = headPattern(name);
        std::string_view range = text_.substr(0, std::min(limit, text_.size()));
        for (size_t p = range.find(pattern, from); p != npos; p = range.find(pattern, p + 1))
            if (atLineStart(p)) return p;
        return npos;
    }

    // The last head line of `name` that lies in [from, limit), or npos.
    size_t findLastHead(std::string_view name, size_t from, size_t limit) const {
        if (limit <= from || from >= text_.size()) return npos;
        std::string pattern = headPattern(name);
        std::string_view range = text_.substr(from, limit - from);
        for (size_t p = range.rfind(pattern); p != npos; p = p ? range.rfind(pattern, p - 1) : npos)
            if (atLineStart(from + p)) return from + p;
        return npos;
    }

    // Moves pos to the start of the following line; false at the end of the text.
    bool nextLine(size_t& pos) const {
        size_t nl = text_.find('\n', pos);
        if (nl == npos || nl + 1 >= text_.size()) return false;
        pos = nl + 1;
        return true;
    }

    // Reads the line at pos with a scanf-style pattern holding only %d or only %f
    // conversions: a blank matches any run of blanks, as does the start of each
    // number. True when the line matched and every value converted.
    template <class T, size_t N>
    bool scan(size_t pos, const char* pattern, std::array<T*, N> values) const {
        size_t nl = text_.find('\n', pos);
        std::string_view line = text_.substr(pos, (nl == npos ? text_.size() : nl) - pos);
        size_t i = 0, k = 0;
        auto skipBlanks = [&] {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
                ++i;
        };
        for (const char* p = pattern; *p; ++p) {
            if (*p == ' ') {
                skipBlanks();
            } else if (*p == '%') {
                ++p;  // the conversion letter; T says which
                skipBlanks();
                if (k == N) return false;
                auto r = std::from_chars(line.data() + i, line.data() + line.size(), *values[k++]);
                if (r.ec != std::errc()) return false;
                i = size_t(r.ptr - line.data());
            } else {
                if (i >= line.size() || line[i] != *p) return false;
                ++i;
            }
        }
        return k == N;
    }

private:
    static std::string headPattern(std::string_view name) {
        std::string s = "Chunk type \"";
        s += name;
        s += '"';
        return s;
    }

    bool atLineStart(size_t p) const {
        while (p > 0 && text_[p - 1] == ' ')
            --p;
        return p == 0 || text_[p - 1] == '\n';
    }

    std::string_view text_;
};

int malformed(Output& out, const char* what, int mesh, int item) {
    out.printf("\n    MALFORMED 3DS DATA!!\n    Mesh %d: %s %d cannot be read.\n", mesh, what,
               item);
    return kMalformed;
}

int tooLarge(Output& out) {
    out.printf("\n    MODEL TOO LARGE!!\n    A model may have at most %d vertices and %d faces.\n",
               kMaxVertices, kMaxFaces);
    return kTooLarge;
}

// Reads one mesh whose vertex list head stands at `head`; the mesh's own lists lie
// in [sectionStart, sectionEnd).
int parseMesh(const DumpText& t, size_t head, size_t sectionStart, size_t sectionEnd, int mesh,
              ConvModel& model, Output& out) {
    const int32_t base = int32_t(model.vertices.size());
    size_t line = head;
    int count = 0;
    if (!t.nextLine(line) || !t.scan(line, " Vertices: %d", std::array{&count}) || count < 0)
        return malformed(out, "vertex count", mesh, 0);
    out.printf("  Processing %d vertices\n", count);
    if (count > kMaxVertices - base) return tooLarge(out);
    for (int i = 0; i < count; ++i) {
        ConvVertex v{};
        if (!t.nextLine(line) ||
            !t.scan(line, " X: %f, Y: %f, Z: %f", std::array{&v.x, &v.y, &v.z}))
            return malformed(out, "vertex", mesh, i);
        v.index = base + i;
        model.vertices.push_back(v);
    }

    size_t mapping = t.findHead("Mappings list", sectionStart, sectionEnd);
    if (mapping == DumpText::npos) {
        out.write("    CANNOT FIND TEXTURE COORDINATES!!\n");
        out.write(kMappingHint);
        return kNoMapping;
    }
    line = mapping;
    int mapped = 0;
    if (!t.nextLine(line) || !t.scan(line, " Vertices: %d", std::array{&mapped}))
        return malformed(out, "mapping count", mesh, 0);
    if (mapped != count) {
        out.write("    ERROR READING TEXTURE COORDINATES!!\n");
        out.write(kMappingHint);
        return kMappingMismatch;
    }
    out.printf("  Processing %d mapping coordinates\n", mapped);
    for (int i = 0; i < count; ++i) {
        ConvVertex& v = model.vertices[size_t(base + i)];
        if (!t.nextLine(line) || !t.scan(line, " U: %f, V: %f", std::array{&v.u, &v.v}))
            return malformed(out, "mapping coordinate", mesh, i);
    }

    // A mesh without a face list is a cloud of points: it adds vertices only.
    int faces = 0;
    size_t faceHead = t.findHead("Face list", sectionStart, sectionEnd);
    line = faceHead;
    if (faceHead != DumpText::npos &&
        (!t.nextLine(line) || !t.scan(line, " Faces: %d", std::array{&faces}) || faces < 0))
        return malformed(out, "face count", mesh, 0);
    out.printf("  Processing %d polygons... ", faces);
    out.flush();
    if (faces > kMaxFaces - int(model.faces.size())) return tooLarge(out);
    for (int i = 0; i < faces; ++i) {
        ConvFace f{};
        if (!t.nextLine(line) || !t.scan(line, " A %d, B %d, C %d", std::array{&f.a, &f.b, &f.c}))
            return malformed(out, "face", mesh, i);
        for (int32_t* corner : {&f.a, &f.b, &f.c}) {
            if (*corner < 0 || *corner >= count) {
                out.printf(
                    "\n    MALFORMED 3DS DATA!!\n    Mesh %d: face %d uses vertex %d of %d.\n",
                    mesh, i, *corner, count);
                return kMalformed;
            }
            *corner += base;
        }
        model.faces.push_back(f);
    }
    out.write("DONE!\n");
    out.write("\n");
    return kConverted;
}

int parseDump(std::string_view dump, ConvModel& model, Output& out) {
    out.write("- Processing 3DS data...\n\n");
    DumpText t(dump);
    size_t cursor = 0;
    int mesh = 0;
    for (;;) {
        size_t head = t.findHead("Vertex list", cursor, t.size());
        if (head == DumpText::npos) {
            out.write("- Done processing 3DS data.\n");
            return kConverted;
        }
        ++mesh;
        // A mesh's lists are those of its own tri-mesh chunk: from its head (or the
        // vertex list, when there is none) up to the next mesh, object or vertex list.
        size_t after = head + 1;
        size_t end = t.size();
        for (std::string_view next : {"Vertex list", "Tri-Mesh", "Object Block"})
            end = std::min(end, t.findHead(next, after, end));
        size_t start = t.findLastHead("Tri-Mesh", cursor, head);
        if (start == DumpText::npos) start = head;
        if (int code = parseMesh(t, head, start, end, mesh, model, out); code != kConverted)
            return code;
        cursor = end;
    }
}

// Position bits with -0.0 folded into 0.0, so that equal floats have equal keys.
struct PositionKey {
    uint32_t x, y, z;
    bool operator==(const PositionKey&) const = default;
};

struct PositionKeyHash {
    size_t operator()(const PositionKey& k) const {
        uint64_t h = k.x * 0x9E3779B97F4A7C15ull;
        h ^= (h >> 29) + k.y * 0xBF58476D1CE4E5B9ull;
        h ^= (h >> 31) + k.z * 0x94D049BB133111EBull;
        return size_t(h ^ (h >> 32));
    }
};

uint32_t canonicalBits(float f) {
    return f == 0.0f ? 0u : std::bit_cast<uint32_t>(f);
}

}  // namespace

int readModel(ByteSpan file3ds, ConvModel& model, Output& out) {
    model.vertices.clear();
    model.faces.clear();
    // Anything else (a text file, a picture) would be dumped as nothing and
    // converted into an empty model. An empty file or a main chunk cut short is said
    // to be cut short below.
    if (!file3ds.empty() && (file3ds.size() < 2 || loadU16LE(file3ds.data()) != 0x4D4D)) {
        out.write("\n    MALFORMED 3DS DATA!!\n    The file does not start with the 3DS main chunk.\n");
        return kMalformed;
    }
    out.write("- Gathering 3DS data... ");
    out.flush();
    DumpFaults faults;
    std::string dump = dump3ds(file3ds, {}, &faults);
    out.write("DONE!\n");
    if (faults.cut) {
        out.write("\n    MALFORMED 3DS DATA!!\n    The chunk tree is too large to read.\n");
        return kMalformed;
    }
    // A cut-short file would lose whatever its missing part held (a whole mesh,
    // say) without a word: refused, never converted in part.
    if (faults.truncatedAt) {
        out.printf("\n    MALFORMED 3DS DATA!!\n    The file is cut short: %s.\n",
                   faults.truncation.c_str());
        return kMalformed;
    }
    return parseDump(dump, model, out);
}

void copyTextureCoordinates(ConvModel& model) {
    const auto& vs = model.vertices;
    auto at = [&](int32_t i) -> const ConvVertex* {
        return i >= 0 && size_t(i) < vs.size() ? &vs[size_t(i)] : nullptr;
    };
    for (auto& f : model.faces) {
        if (auto* v = at(f.a)) f.u0 = v->u, f.v0 = v->v;
        if (auto* v = at(f.b)) f.u1 = v->u, f.v1 = v->v;
        if (auto* v = at(f.c)) f.u2 = v->u, f.v2 = v->v;
    }
}

bool smartScale(ConvModel& model) {
    float r = 0.0f;
    for (const auto& v : model.vertices) {
        float d = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        if (d > r) r = d;
    }
    if (r == 0.0f) return model.vertices.empty();
    const float factor = kScaledRadius / r;
    for (auto& v : model.vertices) {
        v.x *= factor;
        v.y *= factor;
        v.z *= factor;
    }
    return true;
}

void removeRepeatedVertices(ConvModel& model) {
    const auto& vs = model.vertices;
    // first[i]: the first vertex at vertex i's position. A NaN coordinate equals
    // nothing, not even itself, so such a vertex keeps its own references.
    std::vector<int32_t> first(vs.size());
    std::unordered_map<PositionKey, int32_t, PositionKeyHash> seen;
    seen.reserve(vs.size());
    for (size_t i = 0; i < vs.size(); ++i) {
        const auto& v = vs[i];
        first[i] = int32_t(i);
        if (std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z)) continue;
        auto [it, fresh] = seen.try_emplace(
            PositionKey{canonicalBits(v.x), canonicalBits(v.y), canonicalBits(v.z)}, int32_t(i));
        if (!fresh) first[i] = it->second;
    }
    for (auto& f : model.faces)
        for (int32_t* corner : {&f.a, &f.b, &f.c})
            if (*corner >= 0 && size_t(*corner) < first.size()) *corner = first[size_t(*corner)];
}

void calculateNormals(ConvModel& model, Output& out) {
    auto& vs = model.vertices;
    const size_t n = vs.size();
    auto valid = [n](int32_t i) { return i >= 0 && size_t(i) < n; };
    for (auto& f : model.faces) {
        if (!valid(f.a) || !valid(f.b) || !valid(f.c)) continue;
        const ConvVertex& a = vs[size_t(f.a)];
        const ConvVertex& b = vs[size_t(f.b)];
        const ConvVertex& c = vs[size_t(f.c)];
        float e1x = b.x - a.x, e1y = b.y - a.y, e1z = b.z - a.z;
        float e2x = c.x - a.x, e2y = c.y - a.y, e2z = c.z - a.z;
        float nx = e1y * e2z - e1z * e2y;
        float ny = e1z * e2x - e1x * e2z;
        float nz = e1x * e2y - e1y * e2x;
        float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (len == 0.0f) {
            out.write("Warning: ||n|| == 0 ?? Attempting to continue...\n");
            len = 1.0f;
        }
        f.nx = nx / len;
        f.ny = ny / len;
        f.nz = nz / len;
    }

    // Each vertex sums the normals of the faces that use it in face order, the
    // same additions a scan over all faces per vertex would make, in one pass.
    std::vector<int32_t> uses(n, 0);
    for (auto& v : vs)
        v.nx = v.ny = v.nz = 0.0f;
    for (const auto& f : model.faces) {
        if (!valid(f.a) || !valid(f.b) || !valid(f.c)) continue;
        auto add = [&](int32_t i) {
            ConvVertex& v = vs[size_t(i)];
            v.nx += f.nx;
            v.ny += f.ny;
            v.nz += f.nz;
            ++uses[size_t(i)];
        };
        add(f.a);
        if (f.b != f.a) add(f.b);
        if (f.c != f.a && f.c != f.b) add(f.c);
    }
    for (size_t i = 0; i < n; ++i) {
        float d = float(uses[i] ? uses[i] : 1);
        vs[i].nx /= d;
        vs[i].ny /= d;
        vs[i].nz /= d;
    }
}

const std::array<uint8_t, kTemplateSize>& shpTemplate() {
    static const std::array<uint8_t, kTemplateSize> bytes = [] {
        // Component record bytes from offset 0x40 up to 0xCC; zeros follow.
        static const uint8_t kComponentValues[] = {
            0x00, 0x00, 0x00, 0x00, 0x87, 0x1C, 0xC3, 0xC1, 0x9F, 0xC3, 0xAC, 0x40, 0xD0, 0x0F,
            0x3E, 0xC3, 0x4E, 0x37, 0xC0, 0xC3, 0xEC, 0xFE, 0xD7, 0xC2, 0xFA, 0xFE, 0x8C, 0xC3,
            0x5E, 0x12, 0xC0, 0x43, 0x5C, 0xB7, 0x18, 0x43, 0xE2, 0x99, 0xE6, 0x43, 0xE4, 0xD1,
            0xFF, 0x4B, 0x50, 0x3E, 0xE6, 0x4A, 0xD2, 0x8A, 0x27, 0x4C, 0x70, 0x65, 0xF3, 0x46,
            0xB0, 0xCF, 0xC0, 0xC8, 0xE0, 0x4B, 0x69, 0xC9, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x45, 0x7D, 0x5C, 0xAC, 0x45,
            0xFF, 0xFF, 0xFF, 0xFF, 0x1B, 0x07, 0x04, 0x42, 0xAC, 0x03, 0xB6, 0xBF, 0x33, 0x54,
            0x1D, 0x43, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x2E, 0xBD, 0x3B, 0xB3, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x80, 0xBF, 0x2E, 0xBD, 0x3B, 0xB3, 0x00, 0x00, 0x00, 0x00,
        };
        static_assert(sizeof kComponentValues == 0xCC - 0x40);
        auto head = [](ByteWriter& w, uint16_t type, uint16_t size, uint16_t count) {
            w.u16le(type);
            w.u16le(size);
            w.u16le(count);
        };
        ByteWriter w(kTemplateSize);
        head(w, 0, 88, 1);  // ship header
        const uint8_t header[] = {0x6B, 0x00, 0x00, 0x00, 0x55, 0x38, 0x7F, 0x38};
        w.bytes(header);
        w.zeros(12);
        w.u16le(2);
        w.zeros(66);
        head(w, 1, 312, 1);  // component table: one component
        w.fixedString("Tbolt test", 64);
        w.bytes(kComponentValues);
        w.zeros(0x138 - 0xCC);
        head(w, 2, 4, 1);
        w.f32le(5000.0f);
        head(w, 7, 72, 0);   // no boxes
        head(w, 9, 168, 0);  // no attachments
        head(w, 10, 24, 1);
        w.u8(0x80);
        w.u8(0x3E);
        w.zeros(22);
        head(w, 13, 4, 0);
        head(w, 15, 16, 0);
        std::array<uint8_t, kTemplateSize> out{};
        Bytes b = w.take();
        std::copy(b.begin(), b.end(), out.begin());
        return out;
    }();
    return bytes;
}

Bytes shpBytes(const ConvModel& model, std::string_view textureName) {
    const auto& tpl = shpTemplate();
    ByteWriter w(tpl.size() + 6 + model.vertices.size() * 32 + 6 + model.faces.size() * 80 + 76);
    w.bytes(tpl);

    w.u16le(4);
    w.u16le(32);
    w.u16le(uint16_t(model.vertices.size()));
    for (size_t i = 0; i < model.vertices.size(); ++i) {
        const auto& v = model.vertices[i];
        for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz})
            w.f32le(f);
        w.u32le(1);
        w.u32le(uint32_t(i));
    }

    w.u16le(3);
    w.u16le(80);
    w.u16le(uint16_t(model.faces.size()));
    for (const auto& f : model.faces) {
        w.u32le(0);
        w.u8(0x17);
        w.zeros(7);
        for (int32_t i : {f.a, f.b, f.c})
            w.u32le(uint32_t(i));
        for (float x : {f.u0, f.u1, f.u2, f.v0, f.v1, f.v2, f.nx, f.ny, f.nz})
            w.f32le(x);
        w.zeros(20);
    }

    w.u16le(6);
    w.u16le(64);
    w.u16le(1);
    w.fixedString(textureName, 64);

    w.u16le(0xFFFF);
    w.u32le(0);
    return w.take();
}

namespace {

// Larger inputs are refused as unopenable: a model within the table limits is a
// small fraction of this, and the text dump grows with the file.
constexpr uint64_t kMaxInputBytes = uint64_t(16) << 20;

int convertUnguarded(const char* inputPath, const char* textureName, const char* shpPath,
                     Output& out) {
    const std::string input = inputPath ? inputPath : "";
    const std::string texture = textureName ? textureName : "";
    const std::string shp = shpPath ? shpPath : "";

    auto data = ov::readFile(pathFromText(input), kMaxInputBytes);
    out.write("3DS -> OV Converter, v0.1\n");
    if (!data) {
        out.printf("Can't open %s!\n", input.c_str());
        return kCannotOpen;
    }
    if (texture.size() > kMaxTextureName) {
        out.printf(
            "    TEXTURE NAME TOO LONG!!\n    A texture name may have at most %zu "
            "characters.\n",
            kMaxTextureName);
        return kNameTooLong;
    }
    if (shp.size() > kMaxShpPath) {
        out.printf(
            "    SHP FILE PATH TOO LONG!!\n    The SHP file path may have at most %zu "
            "characters.\n",
            kMaxShpPath);
        return kNameTooLong;
    }

    ConvModel model;
    if (int code = readModel(*data, model, out); code != kConverted) return code;
    if (model.vertices.empty() || model.faces.empty()) {
        out.write("\n    NO MESH!!\n    The 3DS file holds no mesh with vertices and faces.\n");
        return kNoMesh;
    }
    copyTextureCoordinates(model);

    out.write("- Smart-scaling mesh(es)... ");
    out.flush();
    if (!smartScale(model)) {
        out.write("FAILED!\n    CANNOT SCALE THE MODEL!!\n    Every vertex lies at the origin.\n");
        return kAllAtOrigin;
    }
    out.write("DONE!\n");

    out.write("- Removing repeated vertices from face references... ");
    out.flush();
    removeRepeatedVertices(model);
    out.write("DONE!\n");

    out.write("- Calculating normal vectors... ");
    out.flush();
    calculateNormals(model, out);
    out.write("DONE!\n");

    out.printf("- Saving SHP file (%s) ", shp.c_str());
    out.flush();
    Bytes bytes = shpBytes(model, texture);
    out.printf("\n  Assigning texture name: %s\n  ", texture.c_str());
    // Two names of one file, or the same name spelled otherwise, would replace the
    // mesh being converted with the model made from it.
    if (sameFile(pathFromText(input), pathFromText(shp))) {
        out.printf("FAILED!\nCan't write %s!\n    %s: it is the 3DS file being converted\n",
                   shp.c_str(), shp.c_str());
        return kCannotWrite;
    }
    if (auto st = writeFileAtomic(pathFromText(shp), bytes); !st) {
        out.printf("FAILED!\nCan't write %s!\n    %s\n", shp.c_str(),
                   st.error().describe().c_str());
        return kCannotWrite;
    }
    out.write("DONE!\n");
    return kConverted;
}

}  // namespace

int convert(const char* inputPath, const char* textureName, const char* shpPath, Output& out) {
    try {
        return convertUnguarded(inputPath, textureName, shpPath, out);
    } catch (const std::bad_alloc&) {
        out.write("\n    OUT OF MEMORY!!\n");
        return kTooLarge;
    } catch (const std::exception& e) {
        // Path conversions and the file system report through exceptions.
        out.printf("\n    CONVERSION FAILED!!\n    %s\n", e.what());
        return kCannotWrite;
    }
}

}  // namespace ov::conv
