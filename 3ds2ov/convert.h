#pragma once
// Mesh conversion: a textured 3DS model becomes a one-component SHP ship model.
//
// The pipeline dumps the 3DS chunk tree to text (chunks.h), parses the vertex,
// mapping and face lists back from that text, carries each vertex's texture
// coordinate into the face corners, scales the model so its farthest vertex lies
// 750 units from the origin, points every face corner at the first vertex of the
// same position, computes face and vertex normals, and writes the SHP from a
// fixed 476-byte template plus the vertex, face and texture-name blocks.
//
// Progress and failures are printed as text lines to an Output; the library's
// export binds it to standard output. Safe on hostile input: every count is
// checked against the limits and against what the file holds. The pipeline keeps
// no state between calls: conversions may run on several threads at once, each
// with its own Output.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"

namespace ov::conv {

enum ResultCode : int {
    kConverted = 0,
    kNoMapping = 1,        // a mesh has a vertex list but no mapping list
    kMappingMismatch = 2,  // a mapping list's count differs from its vertex list's
    kCannotOpen = 3,       // the 3DS file cannot be opened
    kTooLarge = 4,         // more than kMaxVertices vertices or kMaxFaces faces
    kAllAtOrigin = 5,      // every vertex lies at the origin: no scale exists
    kNameTooLong = 6,      // texture name or output path does not fit its buffer
    kCannotWrite = 7,      // the SHP file cannot be written
    kMalformed = 8,        // a file cut short (a chunk running past its parent or the file's
                           // end), a count the chunk cannot hold, a corner beyond its mesh, ...
};

inline constexpr int kMaxVertices = 5000;
inline constexpr int kMaxFaces = 5000;
inline constexpr size_t kMaxTextureName = 63;
inline constexpr size_t kMaxShpPath = 79;
inline constexpr float kScaledRadius = 750.0f;
inline constexpr size_t kTemplateSize = 476;

struct ConvVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
    int32_t index;
};

struct ConvFace {
    int32_t a, b, c;
    float u0, v0, u1, v1, u2, v2;
    float nx, ny, nz;
};

struct ConvModel {
    std::vector<ConvVertex> vertices;
    std::vector<ConvFace> faces;
};

// Where the converter's lines go.
class Output {
public:
    virtual ~Output() = default;
    virtual void write(std::string_view text) = 0;
    // Called where a progress line stops without a line end.
    virtual void flush() {}
    void printf(const char* format, ...)
        // mingw-w64: the C99 printf its runtime uses here, not the msvcrt dialect.
#if defined(__MINGW32__)
        __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)))
#elif defined(__GNUC__) || defined(__clang__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
};

class StringOutput final : public Output {
public:
    void write(std::string_view text) override { text_ += text; }
    std::string text_;
};

class DiscardOutput final : public Output {
public:
    void write(std::string_view) override {}
};

// The whole conversion, as the exported entry point runs it. Never throws.
int convert(const char* inputPath, const char* textureName, const char* shpPath, Output& out);

// Steps of the pipeline, for callers that work in memory.

// Dumps and parses the file into `model` (cleared first): prints the gathering and
// processing lines. Returns kConverted or the failure's code.
int readModel(ByteSpan file3ds, ConvModel& model, Output& out);

// Copies each corner's vertex texture coordinate into its face.
void copyTextureCoordinates(ConvModel& model);

// Scales the model so its farthest vertex lies at kScaledRadius. Returns false
// (and changes nothing) when every vertex lies at the origin.
bool smartScale(ConvModel& model);

// Points every face corner at the first vertex with the same x, y and z (0.0
// equals -0.0; NaN equals nothing, so such corners keep their vertex).
void removeRepeatedVertices(ConvModel& model);

// Face normals (unit length; a zero-length one prints a warning and stays as is)
// and vertex normals (the plain average of the normals of the faces that use the
// vertex, summed in face order).
void calculateNormals(ConvModel& model, Output& out);

// The 476 bytes every converted model starts with.
const std::array<uint8_t, kTemplateSize>& shpTemplate();

// The complete SHP file of a converted model.
Bytes shpBytes(const ConvModel& model, std::string_view textureName);

}  // namespace ov::conv
