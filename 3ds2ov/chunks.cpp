#include "chunks.h"

#include <array>
#include <charconv>
#include <cstdarg>
#include <cstdio>

namespace ov::conv {

void appendFormatted(std::string& out, const char* format, std::va_list args) {
    std::va_list again;
    va_copy(again, args);
    char buffer[512];
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n >= 0 && size_t(n) < sizeof buffer) {
        out.append(buffer, size_t(n));
    } else if (n >= 0) {
        size_t at = out.size();
        out.resize(at + size_t(n) + 1);
        std::vsnprintf(out.data() + at, size_t(n) + 1, format, again);
        out.resize(at + size_t(n));
    }
    va_end(again);
}

namespace {

std::string hex(size_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%zX", offset);
    return text;
}

}  // namespace

class DumpContext {
public:
    DumpContext(ByteSpan file, const DumpOptions& options)
        : file_(file),
          options_(options),
          budget_(file.size() * kDumpBytesPerFileByte + kDumpSlack) {}

    // True once the dump has outgrown its budget: every loop stops then.
    bool full() {
        if (out_.size() > budget_) cut_ = true;
        return cut_;
    }
    bool cut() const { return cut_; }

    // Notes the first place where a chunk does not fit where it stands.
    void truncated(size_t at, std::string why) {
        if (truncatedAt_) return;
        truncatedAt_ = at;
        truncation_ = std::move(why);
    }
    const std::optional<size_t>& truncatedAt() const { return truncatedAt_; }
    std::string& truncation() { return truncation_; }

    // mingw-w64: the C99 printf its runtime uses here, not the msvcrt dialect.
#if defined(__MINGW32__)
    __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)))
#elif defined(__GNUC__) || defined(__clang__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    print(const char* format, ...) {
        va_list args;
        va_start(args, format);
        appendFormatted(out_, format, args);
        va_end(args);
    }

    // A zero-ended name from the chunk, written as is except for control bytes,
    // which become '?': a name must not be able to start a line of its own.
    void name(ByteReader& r) {
        std::string s = r.cstring();
        for (char& c : s)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
        out_ += s;
    }

    // Fast forms of "%*s", "%f" and "%d" for the long vertex, mapping and face
    // lists: the same text as printf in the C locale, without its per-call cost.
    void indent(int n) {
        out_.append(size_t(n), ' ');
    }
    void text(std::string_view s) {
        out_ += s;
    }
    void fixed(float v) {
        char buffer[64];
        auto r =
            std::to_chars(buffer, buffer + sizeof buffer, double(v), std::chars_format::fixed, 6);
        out_.append(buffer, r.ptr);
    }
    void integer(int v) {
        char buffer[16];
        auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
        out_.append(buffer, r.ptr);
    }

    void walk(size_t pos, int indent, size_t end);

    std::string take() {
        return std::move(out_);
    }

private:
    ByteSpan file_;
    DumpOptions options_;
    size_t budget_;
    std::string out_;
    int depth_ = 0;
    bool cut_ = false;
    std::optional<size_t> truncatedAt_;
    std::string truncation_;
};

namespace {

// Entries that a reader can hold given the bytes left in its chunk.
size_t fitting(const ByteReader& r, size_t count, size_t entrySize) {
    size_t room = r.remaining() / entrySize;
    return count < room ? count : room;
}

void walkChildren(DumpContext& ctx, ByteReader& r, int indent) {
    ctx.walk(r.pos(), indent, r.size());
}

void printFloatValue(DumpContext& ctx, ByteReader& r, int indent) {
    if (r.has(4)) ctx.print("%*s Value: %f\n", indent, "", double(r.f32le()));
}

void printByteValue(DumpContext& ctx, ByteReader& r, int indent) {
    if (r.has(1)) ctx.print("%*s Value: %d\n", indent, "", r.u8());
}

void printPosition(DumpContext& ctx, ByteReader& r, int indent, const char* label) {
    if (!r.has(12)) return;
    float x = r.f32le(), y = r.f32le(), z = r.f32le();
    ctx.print("%*s %s: X: %f, Y: %f, Z: %f\n", indent, "", label, double(x), double(y), double(z));
}

// Flag chunks carry no data: the head line says it all.
void printFlag(DumpContext&, ByteReader&, int) {}

void printObjectBlock(DumpContext& ctx, ByteReader& r, int indent) {
    ctx.print("%*sObject name \"", indent, "");
    ctx.name(r);
    ctx.print("\"\n");
    walkChildren(ctx, r, indent);
}

void printVertexList(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(2)) return;
    uint16_t count = r.u16le();
    ctx.print("%*sVertices: %d\n", indent, "", count);
    // Each line reads "%*s X: %f, Y: %f, Z: %f\n".
    for (size_t i = 0, n = fitting(r, count, 12); i < n && !ctx.full(); ++i) {
        ctx.indent(indent);
        ctx.text(" X: ");
        ctx.fixed(r.f32le());
        ctx.text(", Y: ");
        ctx.fixed(r.f32le());
        ctx.text(", Z: ");
        ctx.fixed(r.f32le());
        ctx.text("\n");
    }
}

void printVertexFlags(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(2)) return;
    uint16_t count = r.u16le();
    ctx.print("%*sVertices: %d\n", indent, "", count);
    for (size_t i = 0, n = fitting(r, count, 2); i < n && !ctx.full(); ++i)
        ctx.print("%*s Value: %d\n", indent, "", r.u16le());
}

void printFaceList(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(2)) return;
    uint16_t count = r.u16le();
    ctx.print("%*sFaces: %d\n", indent, "", count);
    size_t n = fitting(r, count, 8);
    // Each line reads "%*s A %d, B %d, C %d, " then
    // "AB %d BC %d CA %d UWrap %d VWrap %d\n" with the edge and wrap flags.
    for (size_t i = 0; i < n && !ctx.full(); ++i) {
        uint16_t a = r.u16le(), b = r.u16le(), c = r.u16le(), flags = r.u16le();
        ctx.indent(indent);
        ctx.text(" A ");
        ctx.integer(a);
        ctx.text(", B ");
        ctx.integer(b);
        ctx.text(", C ");
        ctx.integer(c);
        ctx.text(", AB ");
        ctx.text((flags & 0x4) ? "1" : "0");
        ctx.text(" BC ");
        ctx.text((flags & 0x2) ? "1" : "0");
        ctx.text(" CA ");
        ctx.text((flags & 0x1) ? "1" : "0");
        ctx.text(" UWrap ");
        ctx.text((flags & 0x8) ? "1" : "0");
        ctx.text(" VWrap ");
        ctx.text((flags & 0x10) ? "1\n" : "0\n");
    }
    // The face material and smoothing chunks follow the faces; a list that claims
    // more faces than it holds has no room left for them.
    if (n == count) walkChildren(ctx, r, indent);
}

void printFaceMaterial(DumpContext& ctx, ByteReader& r, int indent) {
    ctx.print("%*sMaterial name for faces: \"", indent, "");
    ctx.name(r);
    ctx.print("\"\n");
    if (r.has(2)) ctx.print("%*sFaces with this material: %d\n", indent, "", r.u16le());
}

void printMappingList(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(2)) return;
    uint16_t count = r.u16le();
    ctx.print("%*sVertices: %d\n", indent, "", count);
    // Each line reads "%*s U: %f, V: %f\n".
    for (size_t i = 0, n = fitting(r, count, 8); i < n && !ctx.full(); ++i) {
        ctx.indent(indent);
        ctx.text(" U: ");
        ctx.fixed(r.f32le());
        ctx.text(", V: ");
        ctx.fixed(r.f32le());
        ctx.text("\n");
    }
}

// Mapping type, then the tiling, icon position, icon matrix and sizes as floats.
void printTextureInfo(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(2)) return;
    ctx.print("%*s Value: %d\n", indent, "", r.u16le());
    while (r.has(4) && !ctx.full())
        printFloatValue(ctx, r, indent);
}

void printSmoothings(DumpContext& ctx, ByteReader& r, int indent) {
    while (r.has(4) && !ctx.full()) {
        uint32_t groups = r.u32le();
        ctx.print("%*sSmoothing groups:", indent, "");
        for (int bit = 0; bit < 32; ++bit)
            if (groups & (uint32_t(1) << bit)) ctx.print(" %d", bit + 1);
        ctx.print("\n");
    }
}

void printMatrix(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(48)) return;
    ctx.print("%*sRotation matrix:\n", indent, "");
    for (int row = 0; row < 3; ++row) {
        float a = r.f32le(), b = r.f32le(), c = r.f32le();
        ctx.print("%*s %f, %f, %f\n", indent, "", double(a), double(b), double(c));
    }
    float x = r.f32le(), y = r.f32le(), z = r.f32le();
    ctx.print("%*sTranslation matrix: %f, %f, %f\n", indent, "", double(x), double(y), double(z));
}

void printLight(DumpContext& ctx, ByteReader& r, int indent) {
    printPosition(ctx, r, indent, "Position");
    walkChildren(ctx, r, indent);
}

// Target, hotspot and falloff of a spotlight, then its option chunks.
void printSpotlight(DumpContext& ctx, ByteReader& r, int indent) {
    printPosition(ctx, r, indent, "Target");
    printFloatValue(ctx, r, indent);
    printFloatValue(ctx, r, indent);
    walkChildren(ctx, r, indent);
}

void printCamera(DumpContext& ctx, ByteReader& r, int indent) {
    printPosition(ctx, r, indent, "Position");
    printPosition(ctx, r, indent, "Target");
    if (!r.has(8)) return;
    float bank = r.f32le(), lens = r.f32le();
    ctx.print("%*s Bank: %f, Lens: %f\n", indent, "", double(bank), double(lens));
    walkChildren(ctx, r, indent);
}

// The layout form and its six settings, then the per-view chunks.
void printViewport(DumpContext& ctx, ByteReader& r, int indent) {
    for (int i = 0; i < 7 && r.has(2); ++i)
        ctx.print("%*s Value: %d\n", indent, "", r.u16le());
    walkChildren(ctx, r, indent);
}

void printMaterialName(DumpContext& ctx, ByteReader& r, int indent) {
    ctx.print("%*sMaterial name \"", indent, "");
    ctx.name(r);
    ctx.print("\"\n");
}

void printShading(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(2)) return;
    uint16_t type = r.u16le();
    switch (type) {
        case 1:
            ctx.print("%*s Flat\n", indent, "");
            break;
        case 2:
            ctx.print("%*s Gouraud\n", indent, "");
            break;
        case 3:
            ctx.print("%*s Phong\n", indent, "");
            break;
        case 4:
            ctx.print("%*s Metal\n", indent, "");
            break;
        default:
            ctx.print("%*s Value: %d\n", indent, "", type);
    }
}

// The tiling flags of a map: where its colour comes from, how it is filtered, how
// it repeats, and what is left over.
void printTextureFlags(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(2)) return;
    uint16_t f = r.u16le();
    constexpr uint16_t kDecal = 0x1, kMirror = 0x2, kNegative = 0x8, kNoTile = 0x10,
                       kSummedArea = 0x20, kAlphaSource = 0x40, kTint = 0x80, kIgnoreAlpha = 0x100,
                       kRgbTint = 0x200;
    const char* source = "RGB\n";
    if (f & kRgbTint)
        source = "RGB tint\n";
    else if ((f & kTint) && (f & kAlphaSource))
        source = "Alpha tint\n";
    else if (f & kTint)
        source = "RGB luma tint\n";
    ctx.print("%*sSource: %s", indent, "", source);
    ctx.print("%*sFiltering: %s", indent, "", (f & kSummedArea) ? "Summed arial\n" : "Pyramidal\n");
    const char* tiling = "Tile";
    if ((f & kDecal) && !(f & kNoTile))
        tiling = "Tile & Decal";
    else if (f & (kDecal | kNoTile))
        tiling = "Decal";
    ctx.print("%*s%s", indent, "", tiling);
    if (f & kMirror) ctx.print(" - Mirror");
    if (f & kNegative) ctx.print(" - Negative");
    if (f & kIgnoreAlpha) ctx.print(" - Ignoge map alpha");
    ctx.print("\n");
    uint16_t known = kDecal | kMirror | kNegative | kNoTile | kSummedArea | kAlphaSource | kTint |
                     kIgnoreAlpha | kRgbTint;
    if (f & ~known) ctx.print("%*sOther parameters: 0x%X\n", indent, "", unsigned(f & ~known));
}

void printTint(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(3)) return;
    int red = r.u8(), green = r.u8(), blue = r.u8();
    ctx.print("%*s Red: %d, Green: %d, Blue: %d\n", indent, "", red, green, blue);
}

void printMapFilename(DumpContext& ctx, ByteReader& r, int indent) {
    ctx.print("%*sMap filename \"", indent, "");
    ctx.name(r);
    ctx.print("\"\n");
}

void printFrames(DumpContext& ctx, ByteReader& r, int indent) {
    for (int i = 0; i < 2 && r.has(4); ++i)
        ctx.print("%*sFrame: %d\n", indent, "", int(int32_t(r.u32le())));
}

void printTrackName(DumpContext& ctx, ByteReader& r, int indent) {
    ctx.print("%*sTrack object name \"", indent, "");
    ctx.name(r);
    ctx.print("\"\n");
    if (!r.has(6)) return;
    unsigned f1 = r.u16le(), f2 = r.u16le();
    int parent = int16_t(r.u16le());
    ctx.print("%*sObject name data: Flags 0x%X, 0x%X, Parent %d\n", indent, "", f1, f2, parent);
}

void printPivot(DumpContext& ctx, ByteReader& r, int indent) {
    if (!r.has(12)) return;
    float x = r.f32le(), y = r.f32le(), z = r.f32le();
    ctx.print("%*s Pivot at X: %f, Y: %f, Z: %f\n", indent, "", double(x), double(y), double(z));
}

enum class KeyValue { Position, Rotation, Scale, Morph, Hide, Single };

// A keyframer track: flags, eight unused bytes, the key count, then per key its
// frame, the spline flags with one float per flag bit, and the key's value.
void printTrack(DumpContext& ctx, ByteReader& r, int indent, const char* countFormat,
                KeyValue value) {
    if (!r.has(14)) return;
    r.skip(10);
    uint32_t count = r.u32le();
    ctx.print(countFormat, indent, "", int(int32_t(count)));
    for (uint32_t i = 0; i < count && r.has(6) && !ctx.full(); ++i) {
        ctx.print("%*sFrame: %d\n", indent, "", int(int32_t(r.u32le())));
        uint16_t spline = r.u16le();
        for (int bit = 0; bit < 5; ++bit)
            if (spline & (1u << bit)) r.skip(4);
        if (!r.ok()) return;
        switch (value) {
            case KeyValue::Position:
                printPosition(ctx, r, indent, "Position");
                break;
            case KeyValue::Rotation:
                printFloatValue(ctx, r, indent);
                printPosition(ctx, r, indent, "Position");
                break;
            case KeyValue::Scale:
                for (int k = 0; k < 3; ++k)
                    printFloatValue(ctx, r, indent);
                break;
            case KeyValue::Morph:
                ctx.print("%*sObject name \"", indent, "");
                ctx.name(r);
                ctx.print("\"\n");
                break;
            case KeyValue::Hide:
                break;
            case KeyValue::Single:
                printFloatValue(ctx, r, indent);
                break;
        }
    }
}

void printPositionKeys(DumpContext& c, ByteReader& r, int i) {
    printTrack(c, r, i, "%*sPosition keys: %d\n", KeyValue::Position);
}
void printRotationKeys(DumpContext& c, ByteReader& r, int i) {
    printTrack(c, r, i, "%*sRotation keys: %d\n", KeyValue::Rotation);
}
void printScaleKeys(DumpContext& c, ByteReader& r, int i) {
    printTrack(c, r, i, "%*sScale keys: %d\n", KeyValue::Scale);
}
void printMorphKeys(DumpContext& c, ByteReader& r, int i) {
    printTrack(c, r, i, "%*sMorph keys: %d\n", KeyValue::Morph);
}
void printHideKeys(DumpContext& c, ByteReader& r, int i) {
    printTrack(c, r, i, "%*sHide keys: %d\n", KeyValue::Hide);
}
void printFovKeys(DumpContext& c, ByteReader& r, int i) {
    printTrack(c, r, i, "%*sFOV keys: %d\n", KeyValue::Single);
}
void printRollKeys(DumpContext& c, ByteReader& r, int i) {
    printTrack(c, r, i, "%*sRoll keys: %d\n", KeyValue::Single);
}

void printObjectNumber(DumpContext& ctx, ByteReader& r, int indent) {
    if (r.has(2)) ctx.print("%*sObject number: %d\n", indent, "", r.u16le());
}

constexpr std::array kKinds = {
    ChunkKind{0x4D4D, "Main", nullptr},
    ChunkKind{0x3D3D, "Object Mesh", nullptr},
    ChunkKind{0x1200, "Background color", nullptr},
    ChunkKind{0x2100, "Ambient color", nullptr},
    ChunkKind{0x4000, "Object Block", printObjectBlock},
    ChunkKind{0x4100, "Tri-Mesh", nullptr},
    ChunkKind{0x4110, "Vertex list", printVertexList},
    ChunkKind{0x4111, "Vertex flag list", printVertexFlags},
    ChunkKind{0x4120, "Face list", printFaceList},
    ChunkKind{0x4165, "Mesh color", printByteValue},
    ChunkKind{0x4130, "Face material", printFaceMaterial},
    ChunkKind{0x4140, "Mappings list", printMappingList},
    ChunkKind{0x4170, "Texture info", printTextureInfo},
    ChunkKind{0x4150, "Smoothings", printSmoothings},
    ChunkKind{0x4160, "Matrix", printMatrix},
    ChunkKind{0x4600, "Light", printLight},
    ChunkKind{0x4659, "Light Range radius1", printFloatValue},
    ChunkKind{0x465A, "Light Range radius2", printFloatValue},
    ChunkKind{0x465B, "Light Multyplity", printFloatValue},
    ChunkKind{0x4610, "Spotlight", printSpotlight},
    ChunkKind{0x4700, "Camera", printCamera},
    ChunkKind{0x4F00, "Hierarchy", nullptr},
    ChunkKind{0x7001, "Viewport info", printViewport},
    ChunkKind{0xAFFF, "Material", nullptr},
    ChunkKind{0xA000, "Material name", printMaterialName},
    ChunkKind{0xA010, "Ambient color", nullptr},
    ChunkKind{0xA020, "Diffuse color", nullptr},
    ChunkKind{0xA030, "Specular color", nullptr},
    ChunkKind{0xA040, "Shininess", nullptr},
    ChunkKind{0xA041, "Shininess strength", nullptr},
    ChunkKind{0xA050, "Transparency", nullptr},
    ChunkKind{0xA052, "Transparency falloff", nullptr},
    ChunkKind{0xA053, "Reflection blur", nullptr},
    ChunkKind{0xA084, "Self Illumination", nullptr},
    ChunkKind{0xA081, "2Side: ON /flag/", printFlag},
    ChunkKind{0xA083, "Transparency: Add /flag/", printFlag},
    ChunkKind{0xA085, "WireFrame: ON /flag/", printFlag},
    ChunkKind{0xA087, "WireFrame thickness", printFloatValue},
    ChunkKind{0xA08A, "Transparency falloff: In /flag/", printFlag},
    ChunkKind{0xA08E, "WireFrame thickness: Unit /flag/", printFlag},
    ChunkKind{0xA088, "Self Illumination: FaceMap /flag/", printFlag},
    ChunkKind{0xA08C, "Shininess: Soften /flag/", printFlag},
    ChunkKind{0xA100, "Shadeing type", printShading},
    ChunkKind{0xA200, "Texture map", nullptr},
    ChunkKind{0xA204, "Specular map", nullptr},
    ChunkKind{0xA210, "Opacity map", nullptr},
    ChunkKind{0xA33A, "Texture map 2", nullptr},
    ChunkKind{0xA33C, "Shininess map", nullptr},
    ChunkKind{0xA33D, "Self Illumination map", nullptr},
    ChunkKind{0xA220, "Reflection map", nullptr},
    ChunkKind{0xA230, "Bump map", nullptr},
    ChunkKind{0xA33E, "Texture mask", nullptr},
    ChunkKind{0xA348, "Specular mask", nullptr},
    ChunkKind{0xA342, "Opacity mask", nullptr},
    ChunkKind{0xA340, "Texture2 mask", nullptr},
    ChunkKind{0xA346, "Shininess mask", nullptr},
    ChunkKind{0xA34A, "Self Illumination mask", nullptr},
    ChunkKind{0xA34C, "Reflection mask", nullptr},
    ChunkKind{0xA344, "Bump mask", nullptr},
    ChunkKind{0xA351, "Texture flags", printTextureFlags},
    ChunkKind{0xA353, "Texture Blur", printFloatValue},
    ChunkKind{0xA354, "U scale (1/x)", printFloatValue},
    ChunkKind{0xA356, "V scale (1/x)", printFloatValue},
    ChunkKind{0xA358, "U offset", printFloatValue},
    ChunkKind{0xA35A, "V offset", printFloatValue},
    ChunkKind{0xA35C, "Texture Rotation angle", printFloatValue},
    ChunkKind{0xA360, "Black Tint", printTint},
    ChunkKind{0xA362, "White Tint", printTint},
    ChunkKind{0xA364, "Red Tint", printTint},
    ChunkKind{0xA366, "Green Tint", printTint},
    ChunkKind{0xA368, "Blue Tint", printTint},
    ChunkKind{0xA300, "Map filename", printMapFilename},
    ChunkKind{0xB000, "Keyframer data", nullptr},
    ChunkKind{0xB001, "Ambient key", nullptr},
    ChunkKind{0xB002, "Track info", nullptr},
    ChunkKind{0xB008, "Frames", printFrames},
    ChunkKind{0xB010, "Track Obj. Name", printTrackName},
    ChunkKind{0xB013, "Pivot point", printPivot},
    ChunkKind{0xB020, "Position keys", printPositionKeys},
    ChunkKind{0xB021, "Rotation keys", printRotationKeys},
    ChunkKind{0xB022, "Scale keys", printScaleKeys},
    ChunkKind{0xB026, "Morph keys", printMorphKeys},
    ChunkKind{0xB029, "Hide keys", printHideKeys},
    ChunkKind{0xB030, "Object number", printObjectNumber},
    ChunkKind{0xB003, "Camera track", nullptr},
    ChunkKind{0xB004, "Camera target track", nullptr},
    ChunkKind{0xB005, "Pointlight track", nullptr},
    ChunkKind{0xB006, "Pointlight target track", nullptr},
    ChunkKind{0xB007, "Spotlight track", nullptr},
    ChunkKind{0xB023, "FOV track", printFovKeys},
    ChunkKind{0xB024, "Roll track", printRollKeys},
};

}  // namespace

std::span<const ChunkKind> chunkKinds() {
    return kKinds;
}

const ChunkKind* findChunkKind(uint16_t id) {
    for (const auto& k : kKinds)
        if (k.id == id) return &k;
    return nullptr;
}

void DumpContext::walk(size_t pos, int indent, size_t end) {
    if (end > file_.size()) end = file_.size();
    if (depth_ >= kMaxChunkDepth) return;
    ++depth_;
    while (pos < end && !full()) {
        if (end - pos < 6) {
            // Only the file's own end can cut a head short; a few spare bytes at the
            // end of a chunk are its own business.
            if (depth_ == 1 && end == file_.size())
                truncated(pos, "the file ends inside a chunk head at offset " + hex(pos));
            break;
        }
        size_t start = pos;
        uint16_t id = loadU16LE(&file_[start]);
        uint32_t size = loadU32LE(&file_[start + 2]);
        if (size < 6) break;
        const ChunkKind* kind = findChunkKind(id);
        // A chunk that claims more than its parent holds is cut at the parent's end.
        size_t chunkEnd = size <= end - start ? start + size : end;
        if (size > end - start) {
            char head[48];
            std::snprintf(head, sizeof head, "chunk 0x%04X", unsigned(id));
            truncated(start,
                      std::string(head) + (kind ? std::string(" \"") + kind->name + "\"" : "") +
                          " at offset " + hex(start) + " claims " + std::to_string(size) +
                          " bytes, but " + (depth_ == 1 ? "the file" : "its parent chunk") +
                          " ends after " + std::to_string(end - start));
        }
        if (!kind) {
            if (options_.printUnknown) {
                print("%*sUnknown chunk: 0x%04X, offset 0x%lX, size: %u bytes.", indent, "",
                      unsigned(id), static_cast<unsigned long>(start), unsigned(size));
                if (options_.printUnknownHex) {
                    for (size_t i = start + 6; i < chunkEnd; ++i) {
                        if ((i - start - 6) % 16 == 0) print("\n%*s  ", indent, "");
                        print("%02X ", unsigned(file_[i]));
                    }
                }
                print("\n");
            }
        } else {
            if (!(kind->detail && options_.suppressDetailHeads))
                print("%*sChunk type \"%s\", offset 0x%lX, size %u bytes\n", indent, "", kind->name,
                      static_cast<unsigned long>(start), unsigned(size));
            if (kind->detail) {
                ByteReader chunk(file_.first(chunkEnd), start + 6);
                kind->detail(*this, chunk, indent + 2);
            } else {
                walk(start + 6, indent + 2, chunkEnd);
            }
        }
        pos = chunkEnd;
    }
    --depth_;
}

std::string dump3ds(ByteSpan file, const DumpOptions& options, DumpFaults* faults) {
    DumpContext ctx(file, options);
    ctx.walk(0, 0, file.size());
    if (file.empty()) ctx.truncated(0, "the file is empty");
    if (faults) {
        faults->cut = ctx.cut();
        faults->truncatedAt = ctx.truncatedAt();
        faults->truncation = std::move(ctx.truncation());
    }
    return ctx.take();
}

}  // namespace ov::conv
