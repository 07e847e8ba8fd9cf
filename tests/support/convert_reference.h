#pragma once
// The straightforward forms of the converter's repeated-vertex merge and normals:
// a scan of the whole vertex table per face corner, and of all faces per vertex.
// The tests check the converter's fast forms against these bit for bit, and the
// benchmark measures them as the baseline.

#include <cmath>

#include "3ds2ov/convert.h"

namespace ovtest {

using ov::conv::ConvModel;
using ov::conv::Output;

inline void quadraticMerge(ConvModel& m) {
    for (auto& f : m.faces)
        for (int32_t* c : {&f.a, &f.b, &f.c}) {
            const auto& p = m.vertices[size_t(*c)];
            for (const auto& v : m.vertices)
                if (v.x == p.x && v.y == p.y && v.z == p.z) {
                    *c = v.index;
                    break;
                }
        }
}

inline void quadraticFaceNormals(ConvModel& m, Output& out) {
    for (auto& f : m.faces) {
        const auto& a = m.vertices[size_t(f.a)];
        const auto& b = m.vertices[size_t(f.b)];
        const auto& c = m.vertices[size_t(f.c)];
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
}

inline void quadraticVertexNormals(ConvModel& m) {
    for (auto& v : m.vertices) {
        float x = 0, y = 0, z = 0;
        int n = 0;
        for (const auto& f : m.faces)
            if (f.a == v.index || f.b == v.index || f.c == v.index) {
                x += f.nx;
                y += f.ny;
                z += f.nz;
                ++n;
            }
        float d = float(n ? n : 1);
        v.nx = x / d;
        v.ny = y / d;
        v.nz = z / d;
    }
}

inline void quadraticNormals(ConvModel& m, Output& out) {
    quadraticFaceNormals(m, out);
    quadraticVertexNormals(m);
}

}  // namespace ovtest
