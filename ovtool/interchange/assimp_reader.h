#pragma once
// The interface of the mesh reader module (libov_assimp_reader.so), which reads
// OBJ, FBX, COLLADA, PLY and STL through assimp. Programs load it by name only when
// such a file is imported, so that assimp and what it links cost nothing to start
// a program that never reads one. Plain C across the boundary: the module and the
// program may each carry their own C++ runtime, and nothing allocated on one side
// is freed on the other.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OV_ASSIMP_READER_FILE "libov_assimp_reader.so"

// One node with triangle meshes, in scene space. Arrays hold vertexCount
// positions (x, y, z), vertexCount texture coordinates (u, v; zero where the file
// has none), triangleCount triangles (three vertex indices) and their material
// indices (-1: none), and materialCount material names.
typedef struct OvAssimpPart {
    const char* name;
    double world[16];  // column-major
    uint32_t vertexCount;
    const float* positions;
    const float* uvs;
    uint32_t triangleCount;
    const uint32_t* triangles;
    const int32_t* triangleMaterials;
    uint32_t materialCount;
    const char* const* materials;
} OvAssimpPart;

enum { OV_ASSIMP_READ = 0, OV_ASSIMP_BAD_DATA = 1, OV_ASSIMP_REFUSED = 2 };

// What a read gives: the parts (status OV_ASSIMP_READ), or a status and a message.
typedef struct OvAssimpResult {
    int32_t status;
    const char* message;
    uint32_t partCount;
    const OvAssimpPart* parts;
} OvAssimpResult;

// Nonzero when the module reads files with this extension ("obj", no dot).
typedef int (*OvAssimpSupportsFn)(const char* extension);
// Reads a file's bytes. Never null; free the result with the module's free.
typedef const OvAssimpResult* (*OvAssimpReadFn)(const unsigned char* bytes, size_t size,
                                                 const char* extension);
typedef void (*OvAssimpFreeFn)(const OvAssimpResult* result);

#define OV_ASSIMP_SUPPORTS "ov_assimp_supports"
#define OV_ASSIMP_READ_FN "ov_assimp_read"
#define OV_ASSIMP_FREE "ov_assimp_free"

#ifdef __cplusplus
}
#endif
