#pragma once
// The exported interface of the converter library (lib3ds2ov.so / 3ds2ov.dll).
//
// convert3ds2ov(inputPath, textureName, shpPath) reads a textured 3DS model and
// writes a one-component SHP ship model, printing its progress to standard output.
// It returns 0 when the SHP was written, otherwise a code that says why not:
// 1 a mesh has no texture coordinates, 2 a mesh's texture coordinates do not
// match its vertices, 3 the 3DS file cannot be opened, 4 more than 5000 vertices
// or 5000 faces, 5 every vertex lies at the origin, 6 texture name over 63 or
// output path over 79 characters, 7 the SHP file cannot be written, 8 malformed
// 3DS data (a file that does not start with the 3DS main chunk included), 9 the
// 3DS file holds no mesh with vertices and faces. Nothing is written unless the result is 0. The caller owns the strings.
// The paths are UTF-8 text; on Windows a path that is not valid UTF-8 is read one
// byte per character, as Latin-1 (the Western ANSI code page outside 0x80-0x9F).

#if defined(_WIN32) && !defined(_WIN64)
#define OV_3DS2OV_CALL __stdcall
#else
#define OV_3DS2OV_CALL
#endif

#if defined(_WIN32)
#if defined(OV_3DS2OV_BUILDING)
#define OV_3DS2OV_API __declspec(dllexport)
#else
#define OV_3DS2OV_API __declspec(dllimport)
#endif
#else
#define OV_3DS2OV_API __attribute__((visibility("default")))
#endif

// The entry point is exported by the module definition file on Windows, under its
// plain name only; elsewhere by visibility.
#if defined(_WIN32)
#define OV_3DS2OV_ENTRY
#else
#define OV_3DS2OV_ENTRY OV_3DS2OV_API
#endif

extern "C" {
typedef int(OV_3DS2OV_CALL* Convert3ds2ovFn)(const char* inputPath, const char* textureName,
                                             const char* shpPath);

// Exported by its plain name (through the module definition file on Windows).
int OV_3DS2OV_CALL convert3ds2ov(const char* inputPath, const char* textureName,
                                 const char* shpPath);
}

// Exported for compatibility with callers that link against them; they do nothing.
class OV_3DS2OV_API CX1 {
public:
    CX1();
    CX1& operator=(const CX1& other);
};

extern OV_3DS2OV_API int nX1;
OV_3DS2OV_API int fnX1();
